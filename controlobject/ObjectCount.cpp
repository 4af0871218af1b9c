#include "ObjectCount.h"

#include <atomic>

namespace vtx::co {

namespace {
std::atomic<long> g_locks{0};
}

void LockModule() {
    ++g_locks;
}
void UnlockModule() {
    --g_locks;
}
long ModuleLockCount() {
    return g_locks.load();
}

} // namespace vtx::co
