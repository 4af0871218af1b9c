#pragma once
// The event dispatch thread's control block, with the event queue it serves. The
// status monitor adds to the queue and the dispatch thread takes from it, both
// under the queue's mutex; the freeze flag is written on the Control Object's
// thread and read there (the event window) and by the dispatch thread.
#include "events/OPOSThread.h"
#include "events/ObjectCollection.h"

#include <atomic>

namespace vtx {

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
