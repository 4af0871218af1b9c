// A COM server DLL's count of live objects and server locks. Any thread may touch the count (it is
// interlocked); one count per DLL, as each links its own copy.
#include "com/ModuleLock.h"

#include <atomic>

namespace vtx {

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

} // namespace vtx
