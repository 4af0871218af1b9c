#include "logic/Win32PortProbe.h"

#include "registry/AnsiText.h"
#include "win32/UniqueHandle.h"

namespace vtx::setup {

bool Win32PortProbe::CanOpen(const std::wstring& deviceName) {
    // A port another program holds open fails here and is not offered.
    UniqueFileHandle port(CreateFileA(ToAnsi(deviceName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return port.valid();
}

} // namespace vtx::setup
