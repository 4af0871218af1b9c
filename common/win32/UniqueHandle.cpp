// Creating unnamed events and mutexes; failure throws std::bad_alloc, as any allocation failure would.
#include "win32/UniqueHandle.h"

#include <new>

namespace vtx {

UniqueHandle CreateAutoResetEvent() {
    HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (h == nullptr) {
        throw std::bad_alloc();
    }
    return UniqueHandle(h);
}

UniqueHandle CreateManualResetEvent() {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (h == nullptr) {
        throw std::bad_alloc();
    }
    return UniqueHandle(h);
}

UniqueHandle CreateUnownedMutex() {
    HANDLE h = CreateMutexW(nullptr, FALSE, nullptr);
    if (h == nullptr) {
        throw std::bad_alloc();
    }
    return UniqueHandle(h);
}

} // namespace vtx
