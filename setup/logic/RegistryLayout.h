#pragma once
// Where a device's logical names and settings live under HKEY_LOCAL_MACHINE.
#include "BuildConstants.h"
#include "opos/OposConstants.h"

#include <string>

namespace vtx::setup {

inline std::wstring DeviceKey(const BuildProfile& build) {
    return std::wstring(opos::kCashDrawerClassKey) + L"\\" + std::wstring(build.deviceName);
}

} // namespace vtx::setup
