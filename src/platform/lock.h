// Re-entrant lock (the engine's critical sections) and its scoped guard.
// Any thread; a thread that holds the lock may take it again.
#pragma once

#include "platform/thread_annotations.h"

#ifndef _WIN32
#include <mutex>
#endif

namespace platform {

#ifdef _WIN32

// A critical section. It is held as opaque storage so that <windows.h>, with its macros,
// stays out of every engine header; lock_win32.cpp checks the size against the real type.
class CAPABILITY("mutex") RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void Lock() ACQUIRE();
    void Unlock() RELEASE();

    static constexpr unsigned LOCK_SECTION_BYTES = sizeof(void*) == 4 ? 24 : 40;

private:
    alignas(void*) unsigned char m_section[LOCK_SECTION_BYTES];
};

#else

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

#endif

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
