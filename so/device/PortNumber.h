#pragma once
// The port number in a device's stored port name, as OpenPort reads it. No state.
#include <string>

namespace vtx {

// Turns a stored port name ("COM3", "com3", " 3") into its number; 0 when the
// name holds no number ("", "LPT1", a device path). Never a system call.
long ParsePortNumber(std::wstring name);

} // namespace vtx
