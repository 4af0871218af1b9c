// The status monitor thread: polls the drawer every 1.5 s while the device is
// enabled and queues a status update for each answered change between open and
// closed (and, when the site and the application ask for it, reopens a dropped
// port and reports power). Only the monitor thread runs MonitorStatus; the port is
// shared with the application's thread through the port mutex (protocol:
// so/device/models/drawer_link.pml).
#include "service/CashDrawer.h"

#include "opos/OposConstants.h"

namespace vtx {

namespace {
constexpr DWORD kPollPauseMs = 1500;
}

DWORD WINAPI CCashDrawer::StatusThreadProc(LPVOID param) {
    auto* self = static_cast<CCashDrawer*>(param);
    return RunWorker(self->m_statusThread, [self] { self->MonitorStatus(); });
}

void CCashDrawer::MonitorStatus() {
    if (!m_statusThread.StopRequested()) {
        // Changes are judged against what this monitor saw itself: WaitForDrawerClose
        // moves DrawerOpened for its own polls, which is no change of the drawer.
        // An unanswered exchange changes nothing, previous included (the exchange
        // itself stores DrawerOpened, and only when the drawer answered).
        bool previous = m_bMonitorStartedOpen;
        for (;;) {
            if (m_properties.m_bAutoReconnect) {
                ReconnectDroppedPort();
            }
            bool answered = false;
            const bool current = QueryDrawerState(previous, &answered);
            // Power first: a drawer replugged while open is online before it is open.
            ReportPower(answered);
            if (answered && current != previous) {
                m_eventInterface.QueueStatusUpdate(current ? opos::CASH_SUE_DRAWEROPEN
                                                           : opos::CASH_SUE_DRAWERCLOSED);
                previous = current;
            }
            // The pause ends early on a stop request, so a stop never waits out the pause.
            if (m_statusThread.WaitForStop(kPollPauseMs)) {
                break;
            }
        }
    }
    m_statusThread.SignalStopped();
}

void CCashDrawer::ReconnectDroppedPort() {
    if (!m_bReopenPort) {
        return;
    }
    // Under the mutex like the other two reopens, so only one is ever under way.
    MutexLock lock(m_hPortMutex.get());
    if (!m_bReopenPort) {
        return;
    }
    const bool reopened = ReopenDroppedPort();
    m_trace.Log(kTraceCalls, "reconnect: %s", reopened ? "port reopened" : "port still missing");
}

void CCashDrawer::ReportPower(bool online) {
    if (!m_bReportPower) {
        return;
    }
    // A silent drawer cannot tell "off" from "offline".
    const long state = online ? opos::OPOS_PS_ONLINE : opos::OPOS_PS_OFF_OFFLINE;
    if (m_properties.PowerState.exchange(state) == state) {
        return;
    }
    m_trace.Log(kTraceCalls, "power state %ld", state);
    m_eventInterface.QueueStatusUpdate(online ? opos::OPOS_SUE_POWER_ONLINE
                                              : opos::OPOS_SUE_POWER_OFF_OFFLINE);
}

} // namespace vtx
