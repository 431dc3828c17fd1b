#include "platform/worker_thread.h"

namespace platform {

void JoinOrForceEnd(WorkerThread& thread, uint32_t timeoutMs)
{
    if (!thread.Join(timeoutMs))
        thread.ForceEnd();
}

}  // namespace platform
