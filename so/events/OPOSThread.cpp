// The worker stop protocol shared by the status monitor and the event dispatch thread.
#include "events/OPOSThread.h"

#include "trace/DeviceEventLog.h"
#include "trace/TraceLog.h"

namespace vtx {

namespace {
std::atomic<long> g_forcedStops{0};
}

COPOSThread::COPOSThread()
    : m_evWake(CreateAutoResetEvent()), m_evStopRequest(CreateManualResetEvent()),
      m_evStopped(CreateAutoResetEvent()) {}

COPOSThread::~COPOSThread() = default;

bool COPOSThread::IsRunning() const {
    return m_hThread && WaitForSingleObject(m_hThread.get(), 0) == WAIT_TIMEOUT;
}

bool COPOSThread::Start(LPTHREAD_START_ROUTINE proc, void* arg) {
    if (IsRunning()) {
        return false;
    }
    // A worker that ended on its own leaves its handle behind.
    m_hThread.reset();
    m_bStop = FALSE;
    ResetEvent(m_evStopRequest.get());
    ResetEvent(m_evStopped.get());
    HANDLE h = CreateThread(nullptr, 0, proc, arg, 0, nullptr);
    if (h == nullptr) {
        return false;
    }
    m_hThread.reset(h);
    return true;
}

BOOL COPOSThread::Stop(DWORD limitMs) {
    if (!m_hThread) {
        return TRUE;
    }
    m_bStop = TRUE;
    SetEvent(m_evStopRequest.get());
    SetEvent(m_evWake.get());
    // The thread handle itself is waited on: it is signalled even when the
    // worker ended on an exception, and once it is, none of our code still runs there.
    if (WaitForSingleObject(m_hThread.get(), limitMs) != WAIT_OBJECT_0) {
        // Last resort: the worker may die holding a lock.
        TerminateThread(m_hThread.get(), 0);
        WaitForSingleObject(m_hThread.get(), INFINITE);
        ++g_forcedStops;
    }
    m_hThread.reset();
    // Nobody is left to see the request; clear it for the next worker.
    m_bStop = FALSE;
    ResetEvent(m_evStopRequest.get());
    return TRUE;
}

bool COPOSThread::WaitForStop(DWORD ms) const {
    if (StopRequested()) {
        return true;
    }
    return WaitForSingleObject(m_evStopRequest.get(), ms) == WAIT_OBJECT_0 || StopRequested();
}

long COPOSThread::ForcedStopCount() {
    return g_forcedStops.load();
}

void StopWorker(COPOSThread& worker, DWORD limitMs, const char* name, CTraceLog& trace,
                CDeviceEventLog& events) {
    if (!worker.IsRunning()) {
        return;
    }
    const long forcedBefore = COPOSThread::ForcedStopCount();
    const DWORD start = GetTickCount();
    worker.Stop(limitMs);
    const DWORD spent = GetTickCount() - start;
    if (COPOSThread::ForcedStopCount() != forcedBefore) {
        trace.Log(kTraceFailures, "%s ended by force after %lu ms", name, spent);
        events.WorkerForced(name, limitMs);
    } else {
        trace.Log(kTraceWire, "%s stopped in %lu ms", name, spent);
    }
}

} // namespace vtx
