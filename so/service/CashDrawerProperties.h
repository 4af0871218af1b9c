#pragma once
// The cash drawer's properties and device values. The application's thread, except the
// atomic DrawerOpened, which the status monitor writes too.
#include "device/StatusMonitor.h"
#include "service/CommonProperties.h"
#include "trace/TraceLog.h"

#include <atomic>
#include <string>

namespace vtx {

// The cash drawer's own properties, and the port it is reached through.
class CCashDrawerProperties : public CCommonProperties {
public:
    CCashDrawerProperties();

    // Reads the device's "Port", "AutoReconnect", "PollInterval" and "EventLog" values from
    // HKLM\keyPath (all but "Port" from the machine's policy when it sets them: CDeviceSettings),
    // and says in the trace, when given one, what it had to change.
    // False (and 104 stored) when the key cannot be opened.
    bool ReadRegistry(const std::wstring& keyPath, CTraceLog* trace = nullptr);

    long CapStatus = 1;
    long CapStatusMultiDrawerDetect = 0;
    // Written by the status monitor thread too.
    std::atomic<long> DrawerOpened{0};
    std::wstring m_strPortName;
    unsigned long m_nBaudRate = 9600;
    // "AutoReconnect" is 1: the monitor reopens a dropped port. Anything else: it never reopens.
    bool m_bAutoReconnect = false;
    // "EventLog" is 0: no faults of this device go to the Application log. Missing or anything else: they do.
    bool m_bEventLog = true;
    // "PollInterval": the monitor's pause between polls, in ms, within the monitor's limits.
    DWORD m_nPollIntervalMs = CStatusMonitor::kDefaultPollPauseMs;
};

} // namespace vtx
