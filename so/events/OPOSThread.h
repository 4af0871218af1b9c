#pragma once
#include "win32/UniqueHandle.h"

#include <atomic>

namespace vtx {

// Control block of one worker thread and its stop protocol. The owner starts
// the thread and hands the handle over with Attach; the worker watches
// m_bStop / m_evStopRequest and signals m_evStopped as its last act.
class COPOSThread {
public:
    COPOSThread();
    COPOSThread(const COPOSThread&) = delete;
    COPOSThread& operator=(const COPOSThread&) = delete;
    // Does not stop a running worker: the owner stops it first.
    virtual ~COPOSThread();

    // Starts proc(arg) as the worker. False when the thread could not be created.
    bool Start(LPTHREAD_START_ROUTINE proc, void* arg);
    bool IsRunning() const { return m_hThread.valid(); }

    // Asks the worker to stop and waits up to limitMs for it to end. Only a
    // worker that ignores the request is ended by force. Always TRUE.
    BOOL Stop(DWORD limitMs);

    // Worker side.
    bool StopRequested() const { return m_bStop.load() != FALSE; }
    // Sleeps up to ms, returning early (true) when a stop is requested.
    bool WaitForStop(DWORD ms) const;
    void SignalStopped() const { SetEvent(m_evStopped.get()); }
    HANDLE WakeEvent() const { return m_evWake.get(); }
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

} // namespace vtx
