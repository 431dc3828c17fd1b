#include "demux/thread.h"

#include "diag/log.h"

Thread::~Thread()
{
    if (m_hThread.IsStarted())
        Stop();
}

int Thread::Start(bool paused)
{
    if (m_bAbandoned.load())
        return -1;
    if (!m_bStop.load())
        return 0;
    // Set before the worker exists, so its first poll already sees them.
    m_bStop.store(false);
    m_bPause.store(paused);
    if (!m_hThread.Start(&Thread::ThreadProc, this)) {
        m_bStop.store(true);
        return -1;
    }
    m_hThread.SetPriority(platform::Priority::Normal);
    return 0;
}

int Thread::Stop()
{
    if (m_bStop.load())
        return 0;
    m_bStop.store(true);
    if (!platform::JoinOrForceEnd(m_hThread, m_dwStopWaitMs, m_dwCancelGraceMs)) {
        m_bAbandoned.store(true);
        LogMessage(LOG_ERROR, L"Thread::Stop: the worker did not end and is left running; "
                              L"what it uses is kept");
    }
    return 0;
}

int Thread::Pause()
{
    m_bPause.store(true);
    return 0;
}

int Thread::Resume()
{
    m_bPause.store(false);
    return 0;
}

uint32_t Thread::ThreadProc(void* param) { return static_cast<Thread*>(param)->Run(); }
