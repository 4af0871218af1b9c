// One status exchange with the drawer, as the monitor and WaitForDrawerClose make it.
// Runs on either thread; everything it touches is under the port mutex.
#include "service/CashDrawer.h"

namespace vtx {

namespace {
constexpr DWORD kReplyPauseMs = 50;
constexpr int kReplyReads = 5;
} // namespace

bool CCashDrawer::QueryDrawerState(bool lastKnown, bool* answered) {
    if (answered != nullptr) {
        *answered = false;
    }
    MutexLock lock(m_hPortMutex.get());
    const uint64_t exchange = ++m_nExchanges;
    if (SendStatusRequest()) {
        Sleep(kReplyPauseMs);
        for (int i = 0; i < kReplyReads; ++i) {
            int reply = ReadStatusReply();
            if (reply >= 0) {
                if (answered != nullptr) {
                    *answered = true;
                }
                // Only an answer moves DrawerOpened: silence says nothing about the drawer.
                m_properties.DrawerOpened = reply;
                m_nLastAnswer = exchange;
                m_bLastAnswerOpen = reply == 1;
                return reply == 1;
            }
            Sleep(kReplyPauseMs);
        }
    }
    // No answer: drop the port, so the next open-drawer command starts with a reopen.
    m_bReopenPort = true;
    if (m_serialPort.IsOpen()) {
        m_trace.Log(kTraceFailures, "no answer to the status request: port dropped, drawer taken as %s",
                    lastKnown ? "open" : "closed");
    }
    ClosePort("dropped");
    return lastKnown;
}

} // namespace vtx
