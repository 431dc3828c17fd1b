#include "diag/read_write_lock.h"

namespace diag {

// Hand-overs: the side that releases sets the state for the side it wakes, under the
// guard and before it opens the gate, and closes the readers' gate whenever it hands the
// lock to a writer. So the state is never stale: a reader that arrives while a writer is
// being woken finds -1 and waits for that writer, and the woken side has nothing left to
// set when it passes its gate.
ReadWriteLock::ReadWriteLock()
    : m_readersGate(platform::Event::Reset::Manual, true),
      m_writersGate(platform::Event::Reset::Auto, true)
{
}

void ReadWriteLock::ReadLock()
{
    m_guard.Lock();
    ++m_nReaders;
    if (m_nState == LOCK_STATE_SHARED) {
        m_guard.Unlock();
        return;
    }
    if (m_nState == LOCK_STATE_FREE) {
        m_writersGate.Reset();
        m_readersGate.Reset();
        m_nState = LOCK_STATE_SHARED;
        m_guard.Unlock();
        return;
    }
    m_guard.Unlock();
    m_readersGate.Wait();  // opened by the writer's Unlock, which set the state to shared
}

void ReadWriteLock::WriteLock()
{
    m_guard.Lock();
    ++m_nWriters;
    if (m_nState == LOCK_STATE_FREE) {
        m_readersGate.Reset();
        m_writersGate.Reset();
        m_nState = LOCK_STATE_EXCLUSIVE;
        m_guard.Unlock();
        return;
    }
    m_guard.Unlock();
    m_writersGate.Wait();  // opened by an Unlock that set the state to exclusive
}

void ReadWriteLock::Unlock()
{
    platform::LockGuard guard(m_guard);
    if (m_nState == LOCK_STATE_SHARED)
        EndSharedHold();
    else if (m_nState == LOCK_STATE_EXCLUSIVE)
        EndExclusiveHold();
}

void ReadWriteLock::EndSharedHold()
{
    if (--m_nReaders > 0) return;
    if (m_nWriters > 0)
        HandOverToWriter();
    else
        Free();
}

void ReadWriteLock::EndExclusiveHold()
{
    if (--m_nWriters > 0) {
        HandOverToWriter();  // waiting writers go before waiting readers
    } else if (m_nReaders > 0) {
        m_nState = LOCK_STATE_SHARED;
        m_readersGate.Set();  // every waiting reader at once
    } else {
        Free();
    }
}

void ReadWriteLock::HandOverToWriter()
{
    m_nState = LOCK_STATE_EXCLUSIVE;
    m_readersGate.Reset();
    m_writersGate.Set();
}

void ReadWriteLock::Free()
{
    m_nState = LOCK_STATE_FREE;
    m_writersGate.Set();
    m_readersGate.Set();
}

}  // namespace diag
