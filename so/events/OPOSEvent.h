#pragma once
// One event on its way from a worker thread to the application's thread.
// Shared between the dispatch thread and the window message that carries it:
// whichever lets go last frees it, so a record whose hand-over timed out is
// reclaimed once its message has been handled, and never before.
#include "win32/UniqueHandle.h"

#include <atomic>

namespace vtx {

inline constexpr int EVENT_KIND_STATUS_UPDATE = 5;

class COPOSEvent {
public:
    COPOSEvent();
    COPOSEvent(const COPOSEvent&) = delete;
    COPOSEvent& operator=(const COPOSEvent&) = delete;
    virtual ~COPOSEvent();

    // Records alive in this process: lets tests and benchmarks see a leak.
    static long LiveCount();

    virtual bool IsKind(int kind) const { return kind == 0; }

    // Adds a holder before the record is handed to a second party.
    void AddHolder() { ++m_holders; }
    // Drops one holder; deletes the record when none is left.
    void ReleaseHolder();

    // Set by the event window once it has fired the record.
    UniqueHandle m_evDone;
    int m_nKind = 0;

private:
    std::atomic<int> m_holders{1};
};

class CStatusUpdateEvent : public COPOSEvent {
public:
    explicit CStatusUpdateEvent(long status);
    bool IsKind(int kind) const override { return kind == EVENT_KIND_STATUS_UPDATE; }

    long m_nStatus;
};

} // namespace vtx
