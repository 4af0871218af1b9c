// The event dispatch thread: hands queued records to the event window one at
// a time, so events fire on the application's thread in queue order.
// Protocol mirrored by so/events/models/event_delivery.pml.
#include "events/EventInterface.h"

#include "trace/TraceLog.h"

namespace vtx {

DWORD WINAPI EventDispatchThreadProc(LPVOID param) {
    auto* events = static_cast<CEventInterface*>(param);
    return RunWorker(events->m_dispatchThread, [events] { events->RunEventDispatch(); });
}

void CEventInterface::RunEventDispatch() {
    CPOSEventDispatchThread& t = m_dispatchThread;
    const HANDLE waits[] = {t.WakeEvent(), t.StopRequestEvent()};
    // The stop request event stays set once requested, so this loop and the
    // hand-over wait below both see it however they interleave with Stop.
    while (!t.StopRequested()) {
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (t.StopRequested()) {
            break;
        }
        if (!t.m_bFrozen) {
            DeliverQueuedEvents();
        }
    }
    {
        // The monitor may still be queuing while this thread ends.
        std::lock_guard lock(t.m_events);
        t.m_events.RemoveAll();
    }
    t.SignalStopped();
}

void CEventInterface::TraceGivenUp(const COPOSEvent* record) {
    if (m_pOwner != nullptr && record->IsKind(EVENT_KIND_STATUS_UPDATE)) {
        m_pOwner->Trace().Log(kTraceFailures,
                              "status %ld not taken within %lu ms; the next record goes on (this one fires "
                              "if the application's thread takes it later)",
                              static_cast<const CStatusUpdateEvent*>(record)->m_nStatus,
                              EVENT_HANDOVER_LIMIT_MS);
    }
}

void CEventInterface::DeliverQueuedEvents() {
    CPOSEventDispatchThread& t = m_dispatchThread;
    for (;;) {
        COPOSEvent* record = nullptr;
        {
            std::lock_guard lock(t.m_events);
            if (t.m_events.Count() == 0) {
                ResetEvent(t.WakeEvent());
                return;
            }
            if (t.StopRequested() || t.m_bFrozen) {
                return;
            }
            record = t.m_events.RemoveHead();
        }

        ResetEvent(record->m_evDone.get());
        // The posted message holds the record too; the window lets go once it has handled it.
        record->AddHolder();
        if (m_hWnd == nullptr ||
            !PostMessageW(m_hWnd, WM_COMMAND, EVENT_COMMAND_ID, reinterpret_cast<LPARAM>(record))) {
            record->ReleaseHolder();
        }
        // A stop ends the wait at once: the record stays with its message.
        const HANDLE waits[] = {record->m_evDone.get(), t.StopRequestEvent()};
        if (WaitForMultipleObjects(2, waits, FALSE, EVENT_HANDOVER_LIMIT_MS) == WAIT_TIMEOUT) {
            TraceGivenUp(record);
        }
        record->ReleaseHolder();

        std::lock_guard lock(t.m_events);
        if (t.m_events.Count() != 0) {
            SetEvent(t.WakeEvent());
        } else {
            ResetEvent(t.WakeEvent());
        }
    }
}

} // namespace vtx
