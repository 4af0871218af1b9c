#pragma once
#include "events/OPOSThread.h"

#include <atomic>

namespace vtx {

// The event dispatch thread's control block.
class CPOSEventDispatchThread : public COPOSThread {
public:
    // True while COFreezeEvents holds delivery back.
    std::atomic<BOOL> m_bFrozen{FALSE};
};

} // namespace vtx
