#pragma once
// Whether a port ("COM3", "LPT1") can be opened on this computer now.
#include <string>

namespace vtx::setup {

class PortProbe {
public:
    virtual ~PortProbe() = default;
    virtual bool CanOpen(const std::wstring& deviceName) = 0;
};

} // namespace vtx::setup
