// Re-entrant lock (the engine's critical sections) and its scoped guard.
// Any thread; a thread that holds the lock may take it again.
#pragma once

#include <mutex>

#include "platform/thread_annotations.h"

namespace platform {

class CAPABILITY("mutex") RecursiveLock {
public:
    RecursiveLock() = default;
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void Lock() ACQUIRE() { m_mutex.lock(); }
    void Unlock() RELEASE() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class SCOPED_CAPABILITY LockGuard {
public:
    explicit LockGuard(RecursiveLock& lock) ACQUIRE(lock) : m_lock(lock) { m_lock.Lock(); }
    ~LockGuard() RELEASE() { m_lock.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    RecursiveLock& m_lock;
};

}  // namespace platform
