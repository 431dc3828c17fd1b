#include "platform/worker_thread.h"

namespace platform {

bool JoinOrForceEnd(WorkerThread& thread, uint32_t timeoutMs, uint32_t graceMs)
{
    return thread.Join(timeoutMs) || thread.ForceEnd(graceMs);
}

}  // namespace platform
