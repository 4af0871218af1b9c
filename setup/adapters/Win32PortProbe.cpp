// The port probe over the real device namespace.
#include "adapters/Win32PortProbe.h"

#include "registry/AnsiText.h"
#include "win32/UniqueHandle.h"

namespace vtx::setup {

bool Win32PortProbe::CanOpen(const std::wstring& deviceName) {
    // Only the device namespace reaches every port: a bare "COM10" is a file
    // of that name in the current folder (DOS device names stop at COM9 and
    // LPT9), and USB adapters' ports are often numbered above 9. A port
    // another program holds open fails here and is not offered.
    UniqueFileHandle port(CreateFileA(ToAnsi(L"\\\\.\\" + deviceName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return port.valid();
}

} // namespace vtx::setup
