// The status monitor thread: polls the drawer while the device is enabled, with a pause of 1.5 s
// (or the site's "PollInterval") between polls, and queues a status update for each answered
// change between open and closed. It reopens a dropped port when the site asks for it
// ("AutoReconnect") and reports power when the application does (PowerNotify); a drawer that
// stops answering or comes back goes to the event log either way. The port
// is shared with the application's thread through the drawer link (protocol:
// so/device/models/drawer_link.pml; its stop: so/events/models/worker_stop.pml).
#include "device/StatusMonitor.h"

#include "opos/OposConstants.h"

#include <mutex>

namespace vtx {

namespace {
// What the monitor may take to see a stop between two exchanges.
constexpr DWORD kStopLimitMs = 1000;
} // namespace

CStatusMonitor::CStatusMonitor(CDrawerLink& link, IStatusSink& sink, CTraceLog& trace,
                               CDeviceEventLog& events, std::atomic<long>& powerState)
    : m_link(link), m_sink(sink), m_trace(trace), m_events(events), m_powerState(powerState) {}

CStatusMonitor::~CStatusMonitor() {
    Stop();
}

bool CStatusMonitor::Start(const Settings& settings) {
    if (m_thread.IsRunning()) {
        return false;
    }
    m_settings = settings;
    // Before the monitor runs: its first power report must not be overwritten.
    m_powerState = opos::OPOS_PS_UNKNOWN;
    if (!m_thread.Start(&CStatusMonitor::ThreadProc, this)) {
        m_trace.Log(kTraceFailures, "status monitor not started: error %lu", GetLastError());
        return false;
    }
    m_trace.Log(kTraceWire, "status monitor started: %lu ms between polls", settings.pollPauseMs);
    return true;
}

void CStatusMonitor::Stop() {
    // Every step the monitor takes under a lock is one exchange, bounded by the
    // port's capped write limit; its reopen waits for the port outside any lock
    // and ends on the request. The bound of any port, not of the port held now:
    // a reopen may hand the monitor another port's time-outs after this point.
    // So a monitor is never ended by force for its drawer.
    StopWorker(m_thread, kStopLimitMs + CSerialPort::kMaxExchangeBoundMs, "status monitor", m_trace,
               m_events);
}

void CStatusMonitor::RestartPowerReporting() {
    std::lock_guard lock(m_powerLock);
    m_powerState = opos::OPOS_PS_UNKNOWN;
}

DWORD WINAPI CStatusMonitor::ThreadProc(LPVOID param) {
    auto* self = static_cast<CStatusMonitor*>(param);
    return RunWorker(self->m_thread, [self] { self->Run(); });
}

void CStatusMonitor::Run() {
    if (!m_thread.StopRequested()) {
        // Changes are judged against what this monitor saw itself: WaitForDrawerClose
        // moves DrawerOpened for its own polls, which is no change of the drawer.
        // An unanswered exchange changes nothing, previous included.
        bool previous = m_settings.startedOpen;
        for (;;) {
            if (m_settings.reconnect) {
                m_link.Reconnect(m_thread.StopRequestEvent());
                if (m_thread.StopRequested()) {
                    break;
                }
            }
            bool answered = false;
            const bool current = m_link.QueryDrawerState(previous, &answered);
            // Power first: a drawer replugged while open is online before it is open.
            ReportPower(answered);
            // Outside the port mutex, which QueryDrawerState has let go of.
            m_events.PollResult(answered, m_link.LastError());
            if (answered && current != previous) {
                m_sink.QueueStatusUpdate(current ? opos::CASH_SUE_DRAWEROPEN : opos::CASH_SUE_DRAWERCLOSED);
                previous = current;
            }
            // The pause ends early on a stop request, so a stop never waits out the pause.
            if (m_thread.WaitForStop(m_settings.pollPauseMs)) {
                break;
            }
        }
    }
    m_thread.SignalStopped();
}

void CStatusMonitor::ReportPower(bool online) {
    if (!m_settings.reportPower) {
        return;
    }
    // A silent drawer cannot tell "off" from "offline".
    const long state = online ? opos::OPOS_PS_ONLINE : opos::OPOS_PS_OFF_OFFLINE;
    std::lock_guard lock(m_powerLock);
    if (m_powerState.exchange(state) == state) {
        return;
    }
    m_trace.Log(kTraceCalls, "power state %ld", state);
    m_sink.QueueStatusUpdate(online ? opos::OPOS_SUE_POWER_ONLINE : opos::OPOS_SUE_POWER_OFF_OFFLINE);
}

} // namespace vtx
