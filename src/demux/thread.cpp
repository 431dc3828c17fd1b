#include "demux/thread.h"

#include "diag/log.h"

Thread::~Thread() { Stop(); }

int Thread::Start(bool paused)
{
    return StartWorker([this, paused] { m_bPause.store(paused); });
}

int Thread::Stop()
{
    if (!StopWorker())
        LogMessage(LOG_ERROR,
                   L"Thread::Stop: the worker did not end and is left running; "
                   L"what it uses is kept");
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
