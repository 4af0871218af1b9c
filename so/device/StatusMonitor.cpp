// The status monitor thread: polls the drawer every 1.5 s while the device is
// enabled and queues a status update for each answered change between open and
// closed. Only the monitor thread runs MonitorStatus; the port is shared with the
// application's thread through the port mutex (protocol: so/device/models/drawer_link.pml).
#include "service/CashDrawer.h"

#include "service/OposConstants.h"

namespace vtx {

namespace {
constexpr DWORD kPollPauseMs = 1500;
}

DWORD WINAPI CCashDrawer::StatusThreadProc(LPVOID param) {
    auto* self = static_cast<CCashDrawer*>(param);
    try {
        self->MonitorStatus();
        return 0;
    } catch (...) {
        // Whoever waits for the stop must not wait in vain.
        self->m_statusThread.SignalStopped();
        return static_cast<DWORD>(-1);
    }
}

void CCashDrawer::MonitorStatus() {
    if (!m_statusThread.StopRequested()) {
        // Changes are judged against what this monitor saw itself: WaitForDrawerClose
        // moves DrawerOpened for its own polls, which is no change of the drawer.
        // An unanswered exchange changes nothing, previous included (the exchange
        // itself stores DrawerOpened, and only when the drawer answered).
        bool previous = m_bMonitorStartedOpen;
        for (;;) {
            bool answered = false;
            const bool current = QueryDrawerState(previous, &answered);
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

} // namespace vtx
