// The lock that guards one open record file, and its scope guard.
#pragma once

#include "platform/platform.h"

// Mutual exclusion over a critical section; the owning thread may enter it
// again (a key-frame step calls the frame read while holding it).
class CMutexLock {
public:
    CMutexLock() = default;
    virtual ~CMutexLock() = default;
    CMutexLock(const CMutexLock &) = delete;
    CMutexLock &operator=(const CMutexLock &) = delete;

    void Lock() { m_section.Enter(); }
    void Unlock() { m_section.Leave(); }

private:
    plat::RecursiveLock m_section;
};

// Holds a CMutexLock for its scope; a null lock makes a guard that does
// nothing.
class CAutoLock {
public:
    explicit CAutoLock(CMutexLock *lock) : m_lock(lock) {
        if (m_lock) m_lock->Lock();
    }
    virtual ~CAutoLock() {
        if (m_lock) {
            m_lock->Unlock();
            m_lock = nullptr;
        }
    }
    CAutoLock(const CAutoLock &) = delete;
    CAutoLock &operator=(const CAutoLock &) = delete;

private:
    CMutexLock *m_lock;
};
