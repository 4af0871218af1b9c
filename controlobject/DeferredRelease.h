#pragma once
// Releasing a service object safely from inside one of its own calls. Used on
// the application's thread only (the Control Object is apartment threaded).
// One of two guards: CCashDrawerControl::CallScope (per object) picks when the
// Control Object lets a closed service go; this one (per thread, by a timer)
// holds back that last Release while a service callback is still on the stack,
// which must work after the Control Object itself is gone.
#include <windows.h>
#include <oaidl.h>

#include "com/ComPtr.h"

namespace vtx::co {

// Marks a call from a service (its SOStatusUpdate) as being on this thread's stack.
class ServiceCallGuard {
public:
    ServiceCallGuard();
    ~ServiceCallGuard();
    ServiceCallGuard(const ServiceCallGuard&) = delete;
    ServiceCallGuard& operator=(const ServiceCallGuard&) = delete;
};

// Drops the reference now, unless a call from a service is on this thread's
// stack: the service's frames must not outlive it, so the release then waits
// for this thread's message loop (a thread timer), after that call returned.
void DropService(ComPtr<IDispatch> service);

} // namespace vtx::co
