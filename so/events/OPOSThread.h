#pragma once
// Control block of one worker thread and its stop protocol. Start, Stop and
// IsRunning belong to the owner's thread; the worker only reads the stop
// request and signals m_evStopped.
//
// Stop protocol (mirrored by so/events/models/worker_stop.pml):
// - Start (owner, with no worker alive) clears m_bStop and resets the
//   manual-reset m_evStopRequest, then creates the thread. A request made for
//   an earlier worker therefore never reaches a later one.
// - Stop (owner) sets m_bStop, then m_evStopRequest and m_evWake, and waits on
//   the thread handle. Both stay set until the worker has ended, so no wait
//   of the worker can consume the request; then Stop clears them.
// - The worker ends when it sees either; it never resets them.
#include "win32/UniqueHandle.h"

#include <atomic>

namespace vtx {

class COPOSThread {
public:
    COPOSThread();
    COPOSThread(const COPOSThread&) = delete;
    COPOSThread& operator=(const COPOSThread&) = delete;
    // Does not stop a running worker: the owner stops it first.
    virtual ~COPOSThread();

    // Starts proc(arg) as the worker. False when the thread could not be
    // created, or when a worker is still alive.
    bool Start(LPTHREAD_START_ROUTINE proc, void* arg);
    // True only while the worker's thread has not ended.
    bool IsRunning() const;

    // Asks the worker to stop and waits up to limitMs for it to end. Only a
    // worker that ignores the request is ended by force. Always TRUE.
    BOOL Stop(DWORD limitMs);

    // Worker side.
    bool StopRequested() const { return m_bStop.load() != FALSE; }
    // Sleeps up to ms, returning early (true) when a stop is requested.
    bool WaitForStop(DWORD ms) const;
    void SignalStopped() const { SetEvent(m_evStopped.get()); }
    HANDLE WakeEvent() const { return m_evWake.get(); }
    // Manual-reset: stays signalled from Stop until the next Start.
    HANDLE StopRequestEvent() const { return m_evStopRequest.get(); }

    // Times any worker had to be ended by force since the process started.
    static long ForcedStopCount();

protected:
    UniqueHandle m_hThread;
    UniqueHandle m_evWake;
    UniqueHandle m_evStopRequest;
    std::atomic<BOOL> m_bStop{FALSE};
    UniqueHandle m_evStopped;
};

// A worker thread's body, run so that no exception leaves the thread: one that
// escapes still signals the stop, so whoever waits for it does not wait in vain.
template <class Body> DWORD RunWorker(const COPOSThread& worker, Body&& body) noexcept {
    try {
        body();
        return 0;
    } catch (...) {
        worker.SignalStopped();
        return static_cast<DWORD>(-1);
    }
}

class CTraceLog;
class CDeviceEventLog;

// Stops a running worker within its limit and says in the trace how it went
// (at the failure level when it had to be ended by force, which also goes to the event log).
void StopWorker(COPOSThread& worker, DWORD limitMs, const char* name, CTraceLog& trace,
                CDeviceEventLog& events);

} // namespace vtx
