#pragma once
// A slim reader/writer lock with the member names std::lock_guard and std::shared_lock use.
#include <windows.h>

namespace vtx {

// Not recursive: a thread that holds it in either mode must not take it again.
class SrwLock {
public:
    constexpr SrwLock() noexcept = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;

    void lock() noexcept { AcquireSRWLockExclusive(&m_lock); }
    bool try_lock() noexcept { return TryAcquireSRWLockExclusive(&m_lock) != 0; }
    void unlock() noexcept { ReleaseSRWLockExclusive(&m_lock); }
    void lock_shared() noexcept { AcquireSRWLockShared(&m_lock); }
    void unlock_shared() noexcept { ReleaseSRWLockShared(&m_lock); }
    // For SleepConditionVariableSRW.
    PSRWLOCK native() noexcept { return &m_lock; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

} // namespace vtx
