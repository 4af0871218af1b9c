// The cash drawer's properties and the device values read at Open. Control Object's thread only,
// but DrawerOpened and PowerState, which the status monitor writes too.
#include "service/CashDrawerProperties.h"

#include "opos/OposConstants.h"
#include "win32/DeviceSettings.h"
#include "win32/UniqueRegKey.h"

#include <algorithm>
#include <cwchar>

namespace vtx {

CCashDrawerProperties::CCashDrawerProperties() {
    Reset();
}

bool CCashDrawerProperties::ReadRegistry(const std::wstring& keyPath, CTraceLog* trace) {
    // Read access is all this needs; asking for more would refuse every
    // application that runs without administrator rights.
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        StoreResult(opos::OPOS_E_NOSERVICE);
        return false;
    }
    const CDeviceSettings settings(key.get());
    m_bAutoReconnect = settings.Number(L"AutoReconnect").value_or(0) == 1;
    m_bEventLog = settings.Number(L"EventLog").value_or(1) != 0;

    // Missing, or no number at all: the default. Out of range: the nearest limit, since a
    // site that asked for "fast" or "slow" should get as near to it as the monitor allows.
    m_nPollIntervalMs = CStatusMonitor::kDefaultPollPauseMs;
    if (const auto asked = settings.Number(L"PollInterval")) {
        m_nPollIntervalMs = static_cast<DWORD>(
            std::clamp<uint64_t>(*asked, CStatusMonitor::kMinPollPauseMs, CStatusMonitor::kMaxPollPauseMs));
        if (trace != nullptr && m_nPollIntervalMs != *asked) {
            trace->Log(kTraceFailures, "PollInterval %llu ms is outside %lu..%lu: %lu ms used",
                       static_cast<unsigned long long>(*asked), CStatusMonitor::kMinPollPauseMs,
                       CStatusMonitor::kMaxPollPauseMs, m_nPollIntervalMs);
        }
    }

    // A missing, non-text or oversized value leaves no port name, so every
    // open attempt fails cleanly rather than on a stale or truncated name.
    wchar_t buffer[512];
    DWORD type = REG_SZ;
    DWORD bytes = sizeof(buffer);
    LSTATUS rc =
        RegQueryValueExW(key.get(), L"Port", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (rc != ERROR_SUCCESS || type != REG_SZ || bytes > sizeof(buffer)) {
        m_strPortName.clear();
        return true;
    }
    // The stored text may lack its terminating NUL: the byte count sets the end.
    size_t units = bytes / sizeof(wchar_t);
    size_t length = wcsnlen(buffer, units);
    m_strPortName.assign(buffer, length);
    return true;
}

} // namespace vtx
