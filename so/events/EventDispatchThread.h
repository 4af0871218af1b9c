#pragma once
#include "events/OPOSThread.h"
#include "events/ObjectCollection.h"

#include <atomic>

namespace vtx {

// The event dispatch thread's control block, with the event queue it serves.
class CPOSEventDispatchThread : public COPOSThread {
public:
    CPOSEventDispatchThread() {
        m_events.m_nKind = COLLECTION_KIND_EVENTS;
        m_events.InstallMutex(CreateUnownedMutex());
    }

    CEventsCollection m_events;
    // True while COFreezeEvents holds delivery back. Lives as long as the
    // service object: neither Close nor OpenService touches it.
    std::atomic<BOOL> m_bFrozen{FALSE};
};

} // namespace vtx
