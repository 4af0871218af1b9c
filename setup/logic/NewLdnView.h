#pragma once
// The new logical device dialog's controls as its logic sees them.
#include <string>

namespace vtx::setup {

class NewLdnView {
public:
    virtual ~NewLdnView() = default;
    virtual void EnableOk(bool enabled) = 0;
    virtual std::wstring NameText() = 0;
    // The device name shown in the dialog; what gets written is read from here.
    virtual std::wstring DeviceText() = 0;
    virtual void Close() = 0;
};

} // namespace vtx::setup
