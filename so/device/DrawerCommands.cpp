// OpenDrawer and WaitForDrawerClose. Both run on the Control Object's thread
// and share the port with the status monitor through the port mutex
// (protocol: so/device/models/drawer_link.pml).
#include "service/CashDrawer.h"

#include "device/DrawerProtocol.h"
#include "device/Speaker.h"
#include "device/WriteFailure.h"
#include "opos/OposConstants.h"

namespace vtx {

using namespace opos;

namespace {
// An answered exchange never takes less; polls of a dead port are spaced as much.
constexpr DWORD kMinPollSpacingMs = 50;
// A wait none of whose polls was answered for this long ends with 107. A
// drawer that answers "open" is no reason to stop: that is what the tones are for.
constexpr DWORD kSilenceLimitMs = 10000;

enum class WaitVerdict { Open, Closed, Gone };
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
    uint64_t firstExchange = 0;
    {
        // Under the mutex, so no exchange begun before this point can store
        // its answer after it: the wait trusts only exchanges numbered from here.
        MutexLock lock(m_hPortMutex.get());
        m_properties.DrawerOpened = 1; // taken as open until the drawer answers otherwise
        firstExchange = m_nExchanges + 1;
    }
    const DWORD start = speaker.TickCount();
    DWORD lastAnswered = GetTickCount();

    // One poll of the wait's own, then the verdict of the latest answered
    // exchange since the wait began, the monitor's included.
    auto poll = [&]() -> WaitVerdict {
        const DWORD began = GetTickCount();
        bool answered = false;
        QueryDrawerState(true, &answered);
        bool closed = false;
        {
            MutexLock lock(m_hPortMutex.get());
            if (!answered) {
                // A drawer that stopped answering: try for the port again.
                ReopenDroppedPort();
            }
            closed = m_nLastAnswer >= firstExchange && !m_bLastAnswerOpen;
        }
        if (closed) {
            return WaitVerdict::Closed;
        }
        if (answered) {
            lastAnswered = GetTickCount();
            return WaitVerdict::Open;
        }
        if (GetTickCount() - lastAnswered >= kSilenceLimitMs) {
            return WaitVerdict::Gone;
        }
        // Never poll a dead line faster than a live one is polled.
        const DWORD spent = GetTickCount() - began;
        if (spent < kMinPollSpacingMs) {
            Sleep(kMinPollSpacingMs - spent);
        }
        return WaitVerdict::Open;
    };

    // Quiet phase: the drawer may stay open for beepTimeout ms (unsigned, so
    // a negative timeout never beeps) before the speaker starts.
    WaitVerdict verdict;
    do {
        verdict = poll();
    } while (verdict == WaitVerdict::Open && speaker.TickCount() - start < static_cast<DWORD>(beepTimeout));

    // Negative tone or pause values would be taken as days of sound or silence.
    const bool sound = beepFrequency >= 0 && beepDuration >= 0 && beepDelay >= 0;
    while (verdict == WaitVerdict::Open) {
        verdict = poll();
        if (sound && verdict != WaitVerdict::Gone) {
            speaker.Beep(static_cast<DWORD>(beepFrequency), static_cast<DWORD>(beepDuration));
            speaker.Pause(static_cast<DWORD>(beepDelay));
        }
    }
    if (verdict == WaitVerdict::Gone) {
        // A drawer gone for good must not hold the application's thread for ever.
        m_trace.Log(kTraceFailures, "WaitForDrawerClose: no answer from the drawer for %lu ms, given up",
                    kSilenceLimitMs);
        StoreResult(OPOS_E_NOHARDWARE);
        return;
    }
    StoreResult(OPOS_SUCCESS);
}

} // namespace vtx
