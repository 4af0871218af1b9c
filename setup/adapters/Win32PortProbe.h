#pragma once
// The port probe over the real device namespace.
#include "logic/PortProbe.h"

namespace vtx::setup {

// Opens the port ("\\.\COM10") for reading and writing and closes it at once.
class Win32PortProbe final : public PortProbe {
public:
    bool CanOpen(const std::wstring& deviceName) override;
};

} // namespace vtx::setup
