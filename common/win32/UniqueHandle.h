#pragma once
// Owners for Win32 handles. Handles that are invalid when null (events,
// mutexes, threads) and handles that are invalid at INVALID_HANDLE_VALUE
// (files, devices) get different types, so the wrong check cannot be written.
#include <windows.h>

#include <utility>

namespace vtx {

template <HANDLE Invalid()> class BasicUniqueHandle {
public:
    BasicUniqueHandle() noexcept = default;
    explicit BasicUniqueHandle(HANDLE h) noexcept : m_h(h) {}
    BasicUniqueHandle(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : m_h(other.release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~BasicUniqueHandle() { reset(); }

    HANDLE get() const noexcept { return m_h; }
    bool valid() const noexcept { return m_h != Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    HANDLE release() noexcept { return std::exchange(m_h, Invalid()); }

    // Keeps the caller's last error: a close on a failure path must not mask it.
    void reset(HANDLE h = Invalid()) noexcept {
        HANDLE old = std::exchange(m_h, h);
        if (old != Invalid()) {
            DWORD err = GetLastError();
            CloseHandle(old);
            SetLastError(err);
        }
    }

private:
    HANDLE m_h = Invalid();
};

inline HANDLE NullHandle() noexcept {
    return nullptr;
}
inline HANDLE InvalidHandleValue() noexcept {
    return INVALID_HANDLE_VALUE;
}

// Events, mutexes, threads: null when absent.
using UniqueHandle = BasicUniqueHandle<NullHandle>;
// Files and devices from CreateFile: INVALID_HANDLE_VALUE when absent.
using UniqueFileHandle = BasicUniqueHandle<InvalidHandleValue>;

// Unnamed auto-reset event, created non-signalled; throws std::bad_alloc when
// the system has none left, as any other allocation failure would.
UniqueHandle CreateAutoResetEvent();
// Unnamed manual-reset event, created non-signalled; throws as above.
UniqueHandle CreateManualResetEvent();
// Unnamed mutex, created unowned.
UniqueHandle CreateUnownedMutex();

// An unnamed kernel mutex (none when default-constructed), for std::lock_guard. An abandoned mutex
// counts as taken; unlocking keeps the caller's last error, as a failure path needs it afterwards.
class KernelMutex {
public:
    KernelMutex() noexcept = default;
    explicit KernelMutex(UniqueHandle mutex) noexcept : m_mutex(std::move(mutex)) {}

    explicit operator bool() const noexcept { return m_mutex.valid(); }
    void lock() noexcept { WaitForSingleObject(m_mutex.get(), INFINITE); }
    void unlock() noexcept {
        DWORD err = GetLastError();
        ReleaseMutex(m_mutex.get());
        SetLastError(err);
    }

private:
    UniqueHandle m_mutex;
};

} // namespace vtx
