// The cash drawer's properties and the device values read at Open. The application's thread only,
// but DrawerOpened and PowerState, which the status monitor writes too.
#include "service/CashDrawerProperties.h"

#include "opos/OposConstants.h"
#include "win32/DeviceSettings.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <algorithm>

namespace vtx {

namespace {
// The longest port name taken, besides its NUL.
constexpr size_t kPortNameMaxChars = 511;
} // namespace

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
    m_strPortName = ReadRegistryText(key.get(), L"Port", kPortNameMaxChars, RegistryTextTypes::Plain)
                        .value_or(std::wstring());
    return true;
}

} // namespace vtx
