// Deferred releases of service objects, run from the application's message loop.
// Per thread, not per object: the Control Object may be destroyed from an
// event handler while the service's callback still runs (see DeferredRelease.h).
#include "DeferredRelease.h"

#include "com/ModuleLock.h"

#include <map>
#include <mutex>

namespace vtx::co {

namespace {
thread_local int t_serviceCalls = 0;

// Timer id -> reference to drop. Thread timers are per thread, the map is not.
std::mutex g_lock;
std::map<UINT_PTR, IDispatch*> g_pending;

void CALLBACK ReleasePending(HWND, UINT, UINT_PTR id, DWORD) {
    // A modal loop inside the service's call may pump first: wait for the next tick.
    if (t_serviceCalls > 0) {
        return;
    }
    KillTimer(nullptr, id);
    IDispatch* service = nullptr;
    {
        std::lock_guard guard(g_lock);
        auto it = g_pending.find(id);
        if (it == g_pending.end()) {
            return;
        }
        service = it->second;
        g_pending.erase(it);
    }
    service->Release();
    UnlockModule();
}
} // namespace

ServiceCallGuard::ServiceCallGuard() {
    ++t_serviceCalls;
}
ServiceCallGuard::~ServiceCallGuard() {
    --t_serviceCalls;
}

void DropService(ComPtr<IDispatch> service) {
    if (!service || t_serviceCalls == 0) {
        return; // released as the argument goes
    }
    UINT_PTR id = SetTimer(nullptr, 0, 0, &ReleasePending);
    if (id == 0) {
        return; // no timer to be had: releasing now beats leaking the device
    }
    try {
        std::lock_guard guard(g_lock);
        g_pending[id] = service.get();
    } catch (...) {
        KillTimer(nullptr, id);
        return;
    }
    // Our code runs again when the timer fires.
    LockModule();
    service.detach();
}

} // namespace vtx::co
