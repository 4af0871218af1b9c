// The system's port calls, or the stand-in a test has installed (swapped atomically).
#include "device/PortApi.h"

#include <atomic>

namespace vtx {

namespace {
SystemPortApi g_system;
std::atomic<IPortApi*> g_current{&g_system};
} // namespace

IPortApi& PortApi() {
    return *g_current.load();
}

void SetPortApiForTesting(IPortApi* api) {
    g_current = api != nullptr ? api : &g_system;
}

} // namespace vtx
