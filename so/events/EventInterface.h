#pragma once
#include "events/EventDispatchThread.h"

namespace vtx {

class CCashDrawer;

// Carries events from the worker threads to the Control Object's thread.
class CEventInterface {
public:
    CEventInterface() = default;
    CEventInterface(const CEventInterface&) = delete;
    CEventInterface& operator=(const CEventInterface&) = delete;
    virtual ~CEventInterface();

    CCashDrawer* m_pOwner = nullptr;
    CPOSEventDispatchThread m_dispatchThread;
};

} // namespace vtx
