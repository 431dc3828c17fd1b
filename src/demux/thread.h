// Base of an object that owns one worker thread: start, pause/resume flags, and a stop
// with a bounded wait. Start, Stop, Pause and Resume are called from one controlling
// thread (callers serialise them), never from the body. The body (Run) runs on the
// worker and polls m_bStop and m_bPause.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/stoppable_worker.h"

class Thread : public platform::StoppableWorker {
public:
    Thread() : StoppableWorker(platform::Priority::Normal) {}
    // Stops a worker still running. A derived class whose body uses its own members must
    // stop the worker in its own destructor, before those members are gone.
    ~Thread() override;

    // 0 when a worker runs (started now, or already there); -1 when creation failed or
    // a worker was abandoned. The pause flag starts as `paused` says, so the worker's
    // first poll already sees it.
    int Start(bool paused = false);
    // Always 0. Requests the stop, waits up to WORKER_STOP_WAIT_MS, then forces the end;
    // a worker that even that leaves running is abandoned (see Abandoned).
    int Stop();
    int Pause();  // always 0
    int Resume();  // always 0

protected:
    // The thread body; its result is the thread's exit code.
    uint32_t Run() override = 0;

    std::atomic<bool> m_bPause{false};
};
