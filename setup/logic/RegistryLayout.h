#pragma once
// Where a device's logical names and settings live under HKEY_LOCAL_MACHINE.
#include "BuildConstants.h"

#include <string>

namespace vtx::setup {

inline constexpr wchar_t kClassKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

inline std::wstring DeviceKey(const BuildProfile& build) {
    return std::wstring(kClassKey) + L"\\" + std::wstring(build.deviceName);
}

} // namespace vtx::setup
