#include "events/OPOSThread.h"

namespace vtx {

namespace {
std::atomic<long> g_forcedStops{0};
}

COPOSThread::COPOSThread()
    : m_evWake(CreateAutoResetEvent()), m_evStopRequest(CreateAutoResetEvent()),
      m_evStopped(CreateAutoResetEvent()) {}

COPOSThread::~COPOSThread() = default;

bool COPOSThread::Start(LPTHREAD_START_ROUTINE proc, void* arg) {
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
    ResetEvent(m_evStopped.get());
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
    m_bStop = FALSE;
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

} // namespace vtx
