// The registry's reader/writer lock. Readers join a shared hold at once, even while
// writers wait; at the end of an exclusive hold waiting writers go first, one at a time,
// then all waiting readers together; at the end of the last shared hold one waiting
// writer goes. Not re-entrant for writers. Any thread.
#pragma once

#include <cstdint>

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"

namespace diag {

class CAPABILITY("mutex") ReadWriteLock {
public:
    ReadWriteLock();
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    // The bodies work on the guard and the gates, which the analysis cannot relate to
    // the lock they implement; callers are checked against these annotations.
    void ReadLock() ACQUIRE_SHARED() NO_THREAD_SAFETY_ANALYSIS;
    void WriteLock() ACQUIRE() NO_THREAD_SAFETY_ANALYSIS;
    // Releases the hold of whichever kind the lock is in; nothing when it is free.
    void Unlock() RELEASE_GENERIC() NO_THREAD_SAFETY_ANALYSIS;

private:
    friend class ReadWriteLockProbe;  // tests: reads the counts to see who waits

    void EndSharedHold() REQUIRES(m_guard);
    void EndExclusiveHold() REQUIRES(m_guard);
    void HandOverToWriter() REQUIRES(m_guard);
    void Free() REQUIRES(m_guard);

    enum State : int32_t { LOCK_STATE_FREE = 0, LOCK_STATE_SHARED = 1, LOCK_STATE_EXCLUSIVE = -1 };

    int32_t m_nReaders GUARDED_BY(m_guard) = 0;  // readers holding or waiting
    int32_t m_nWriters GUARDED_BY(m_guard) = 0;  // writers holding or waiting
    int32_t m_nState GUARDED_BY(m_guard) = LOCK_STATE_FREE;
    platform::Event m_readersGate;  // manual reset: lets every waiting reader through
    platform::Event m_writersGate;  // auto reset: lets one waiting writer through
    platform::RecursiveLock m_guard;  // never held while waiting on a gate
};

}  // namespace diag
