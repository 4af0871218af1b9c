#pragma once
// The event window and the dispatch thread it is fed by. The window, its
// handlers and the held records belong to the application's thread; the
// dispatch thread only posts to the window; workers only queue.
#include "events/EventDispatchThread.h"
#include "events/EventOwner.h"
#include "events/StatusSink.h"

#include <deque>

namespace vtx {

inline constexpr UINT EVENT_COMMAND_ID = 1124;
// Posted at a thaw: fire the records held while frozen, ahead of any new one.
inline constexpr UINT EVENT_THAW_COMMAND_ID = 1125;
inline constexpr int EVENT_WINDOW_ID = 1463;
inline constexpr DWORD EVENT_HANDOVER_LIMIT_MS = 500;

// Carries events from the worker threads to the application's thread: a
// hidden window created on that thread, and the dispatch thread that posts
// queued records to it one at a time.
class CEventInterface : public IStatusSink {
public:
    CEventInterface() = default;
    CEventInterface(const CEventInterface&) = delete;
    CEventInterface& operator=(const CEventInterface&) = delete;
    // Stops a dispatch thread that still runs, then destroys the window.
    // Runs on the application's thread.
    virtual ~CEventInterface();

    // Records the owner; creates the window on the calling thread the first
    // time only, so later OpenService calls reuse it.
    void CreateEventWindow(IEventOwner* owner);
    HWND Window() const { return m_hWnd; }

    // Called by the status monitor: queue a status update and wake the
    // dispatch thread. Throws std::bad_alloc when no record can be made.
    long QueueStatusUpdate(long status) override;

    // The window's WM_COMMAND handling, on the application's thread.
    BOOL HandleCommand(WPARAM wParam, LPARAM lParam);
    BOOL FireEvent(COPOSEvent* record);

    // Gives back the records of messages still queued for the window and those
    // held while frozen, so none fires after Close. On the application's thread,
    // with the dispatch thread stopped.
    void ReleasePendingMessages();
    // Empties the event queue, whether or not a dispatch thread ever served it.
    void DiscardQueuedEvents();
    // COFreezeEvents(false): held records go first, then the queue moves again.
    void Thaw();

    // Dispatch thread side.
    void RunEventDispatch();
    void DeliverQueuedEvents();
    void TraceGivenUp(const COPOSEvent* record);

    IEventOwner* m_pOwner = nullptr;
    CPOSEventDispatchThread m_dispatchThread;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool Frozen() const { return m_dispatchThread.m_bFrozen.load() != FALSE; }
    // Fires held records in order until none is left or delivery is frozen again.
    void FireHeld();

    // Records that reached the window while frozen (a hand-over that had timed
    // out before the freeze), each with its message's hold. Window thread only.
    std::deque<COPOSEvent*> m_held;
    HWND m_hWnd = nullptr;
};

// Entry of the event dispatch thread; the argument is the CEventInterface.
DWORD WINAPI EventDispatchThreadProc(LPVOID param);

} // namespace vtx
