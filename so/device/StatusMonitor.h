#pragma once
// CStatusMonitor: the thread that polls the drawer while the device is enabled. Start, Stop,
// IsRunning and RestartPowerReporting belong to the application's thread; Run and the
// power reports run on the monitor's thread, which alone reads m_settings and its previous value.
#include "device/DrawerLink.h"
#include "events/OPOSThread.h"
#include "events/StatusSink.h"
#include "trace/DeviceEventLog.h"
#include "trace/TraceLog.h"
#include "win32/SrwLock.h"

#include <atomic>

namespace vtx {

class CStatusMonitor {
public:
    struct Settings {
        // DrawerOpened when the device was enabled: changes are judged against it.
        bool startedOpen = false;
        // "AutoReconnect": reopen a dropped port by itself.
        bool reconnect = false;
        // Report power (OPOS_SUE_POWER_*) and keep PowerState.
        bool reportPower = false;
        // The pause between the end of one poll and the start of the next ("PollInterval").
        DWORD pollPauseMs = kDefaultPollPauseMs;
    };
    static constexpr DWORD kDefaultPollPauseMs = 1500;
    static constexpr DWORD kMinPollPauseMs = 100;
    static constexpr DWORD kMaxPollPauseMs = 10000;

    // powerState is the property the power reports keep; events hears of a drawer that stops
    // answering or comes back, whatever PowerNotify and AutoReconnect are.
    CStatusMonitor(CDrawerLink& link, IStatusSink& sink, CTraceLog& trace, CDeviceEventLog& events,
                   std::atomic<long>& powerState);
    CStatusMonitor(const CStatusMonitor&) = delete;
    CStatusMonitor& operator=(const CStatusMonitor&) = delete;
    ~CStatusMonitor();

    // PowerState starts unknown, then the thread starts. False when it could not.
    bool Start(const Settings& settings);
    // Asks the monitor to stop and waits for it: at most one exchange and the
    // 1000 ms it may take to see the request. A no-op when it is not running.
    void Stop();
    bool IsRunning() const { return m_thread.IsRunning(); }
    // Enabling an enabled device: PowerState is unknown again, and the next
    // report is a change. Never between a report's change and its event.
    void RestartPowerReporting();

private:
    static DWORD WINAPI ThreadProc(LPVOID param);
    void Run();
    // One event per change of PowerState, when reporting.
    void ReportPower(bool online);

    CDrawerLink& m_link;
    IStatusSink& m_sink;
    CTraceLog& m_trace;
    CDeviceEventLog& m_events;
    std::atomic<long>& m_powerState;
    Settings m_settings;
    // Makes a report's change of PowerState and its event one step for RestartPowerReporting.
    SrwLock m_powerLock;
    COPOSThread m_thread;
};

} // namespace vtx
