#pragma once
#include "logic/PortProbe.h"

namespace vtx::setup {

// Opens the bare device name for reading and writing and closes it at once.
class Win32PortProbe final : public PortProbe {
public:
    bool CanOpen(const std::wstring& deviceName) override;
};

} // namespace vtx::setup
