#pragma once
// The trace log's settings, read from a device's registry key. Shared by the
// service object and drawertest, so both name the same file.
#include <windows.h>

#include <cstdint>
#include <string>

namespace vtx {

inline constexpr int kTraceOff = 0;
inline constexpr int kTraceFailures = 1;
inline constexpr int kTraceCalls = 2;
inline constexpr int kTraceWire = 3;

struct TraceSettings {
    int level = kTraceOff;
    std::wstring file;               // empty while off
    uint64_t maxBytes = 1024 * 1024; // before the one rollover to "<file>.1"
};

// "TraceLevel" (REG_DWORD, or REG_SZ holding a decimal number; above 3 counts
// as 3), "TraceFile" (REG_SZ or REG_EXPAND_SZ) and "TraceMaxKB" from the open
// device key, or each from the machine's policy when it sets it
// (CDeviceSettings). Without a "TraceFile" the log is
// <ProgramData>\Veltrix\VTXCashDrawer\<device name>.log.
TraceSettings ReadTraceSettings(HKEY deviceKey, const std::wstring& deviceName);

// The same, from the device key at HKLM\<keyPath>, opened with read access
// only; off when the key cannot be opened.
TraceSettings ReadTraceSettings(const std::wstring& keyPath, const std::wstring& deviceName);

} // namespace vtx
