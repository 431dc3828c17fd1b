#include "platform/stoppable_worker.h"

namespace platform {

bool StoppableWorker::StopWorker()
{
    if (m_bStop.load()) return true;
    m_bStop.store(true);
    if (JoinOrForceEnd(m_hThread, m_dwStopWaitMs, m_dwCancelGraceMs)) return true;
    m_bAbandoned.store(true);
    return false;
}

uint32_t StoppableWorker::ThreadProc(void* param)
{
    return static_cast<StoppableWorker*>(param)->Run();
}

}  // namespace platform
