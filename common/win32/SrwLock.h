#pragma once
// Scope guards for a slim reader/writer lock: held from construction to the end of the scope.
#include <windows.h>

namespace vtx {

class SrwExclusive {
public:
    explicit SrwExclusive(SRWLOCK& lock) noexcept : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~SrwExclusive() { ReleaseSRWLockExclusive(&m_lock); }
    SrwExclusive(const SrwExclusive&) = delete;
    SrwExclusive& operator=(const SrwExclusive&) = delete;

private:
    SRWLOCK& m_lock;
};

class SrwShared {
public:
    explicit SrwShared(SRWLOCK& lock) noexcept : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SrwShared() { ReleaseSRWLockShared(&m_lock); }
    SrwShared(const SrwShared&) = delete;
    SrwShared& operator=(const SrwShared&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace vtx
