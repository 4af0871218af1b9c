// OpenDrawer and WaitForDrawerClose. Both run on the Control Object's thread
// and share the port with the status monitor through the port mutex.
#include "service/CashDrawer.h"

#include "device/DrawerProtocol.h"
#include "device/Speaker.h"
#include "device/WriteFailure.h"
#include "service/OposConstants.h"

namespace vtx {

using namespace opos;

namespace {
// An answered exchange never takes less; polls of a dead port are spaced as much.
constexpr DWORD kMinPollSpacingMs = 50;
} // namespace

bool CCashDrawer::ReopenDroppedPort() {
    if (!m_bReopenPort) {
        return true;
    }
    // Another path (re-enabling, Release then Claim) may have opened it already.
    if (m_serialPort.IsOpen()) {
        m_bReopenPort = false;
        return true;
    }
    m_trace.Log(kTraceCalls, "reopening the dropped port");
    return OpenPort(m_properties.m_strPortName, m_properties.m_nBaudRate);
}

void CCashDrawer::OpenDrawer() {
    if (!m_properties.IsOpen() || !m_properties.IsEnabled()) {
        StoreResult(OPOS_E_ILLEGAL);
        return;
    }
    // One hold covers the reopen and the write: a poll that goes unanswered
    // in between would otherwise drop the port under the command.
    MutexLock lock(m_hPortMutex.get());
    if (!ReopenDroppedPort()) {
        StoreResult(OPOS_E_NOHARDWARE);
        return;
    }
    if (!m_serialPort.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (m_serialPort.Write(drawer::kOpenCommand, sizeof(drawer::kOpenCommand))) {
        m_trace.Log(kTraceWire, "TX %s (open drawer)",
                    HexBytes(drawer::kOpenCommand, sizeof(drawer::kOpenCommand)).c_str());
        StoreResult(OPOS_SUCCESS);
        return;
    }
    const DWORD error = GetLastError();
    m_trace.Log(kTraceFailures, "open-drawer command not written: error %lu", error);
    StoreResult(ClassifyWriteFailure(error));
    ClosePort("write failed");
    m_bReopenPort = true;
}

void CCashDrawer::WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration,
                                     long beepDelay) {
    if (!m_properties.IsOpen()) {
        StoreResult(OPOS_E_ILLEGAL);
        return;
    }
    if (!m_properties.IsEnabled()) {
        StoreResult(OPOS_E_DISABLED);
        return;
    }
    ISpeaker& speaker = Speaker();
    // Taken as open until the drawer answers otherwise.
    m_properties.DrawerOpened = 1;
    const DWORD start = speaker.TickCount();

    auto poll = [this] {
        DWORD began = GetTickCount();
        bool answered = false;
        bool open = QueryDrawerState(m_properties.DrawerOpened != 0, &answered);
        m_properties.DrawerOpened = open ? 1 : 0;
        if (!answered) {
            // A drawer that stopped answering: try for the port again, and
            // never poll a dead line faster than a live one is polled.
            {
                MutexLock lock(m_hPortMutex.get());
                ReopenDroppedPort();
            }
            DWORD spent = GetTickCount() - began;
            if (spent < kMinPollSpacingMs) {
                Sleep(kMinPollSpacingMs - spent);
            }
        }
        return open;
    };

    // Quiet phase: the drawer may stay open for beepTimeout ms (unsigned, so
    // a negative timeout never beeps) before the speaker starts.
    bool open;
    do {
        open = poll();
    } while (open && speaker.TickCount() - start < static_cast<DWORD>(beepTimeout));

    // Negative tone or pause values would be taken as days of sound or silence.
    bool sound = beepFrequency >= 0 && beepDuration >= 0 && beepDelay >= 0;
    while (open) {
        open = poll();
        if (sound) {
            speaker.Beep(static_cast<DWORD>(beepFrequency), static_cast<DWORD>(beepDuration));
            speaker.Pause(static_cast<DWORD>(beepDelay));
        }
    }
    StoreResult(OPOS_SUCCESS);
}

} // namespace vtx
