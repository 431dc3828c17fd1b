// Base of an object that owns one worker thread: a stop flag the body polls, a start at
// the owner's priority, and a stop that waits for the body and then forces the end.
// Start and stop are called from one controlling thread (callers serialise them), never
// from the body. The body (Run) runs on the worker.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/worker_thread.h"

namespace platform {

class StoppableWorker {
public:
    // The derived class stops the worker in its own destructor, before the members its
    // body uses are gone.
    virtual ~StoppableWorker() = default;
    StoppableWorker(const StoppableWorker&) = delete;
    StoppableWorker& operator=(const StoppableWorker&) = delete;

    bool IsRunning() const { return !m_bStop.load(); }
    // A stop could not end the worker and left it running: its body may still use this
    // object at any time, so no worker is started again, and the derived class keeps
    // (and finally leaks) whatever the body uses.
    bool Abandoned() const { return m_bAbandoned.load(); }
    // The exit code of the last worker that a stop ended: Run's result, or 0xFFFFFFFF
    // when it had to be forced; 0 before the first stop.
    uint32_t LastExitCode() const { return m_hThread.ExitCode(); }

protected:
    explicit StoppableWorker(Priority priority) : m_priority(priority) {}

    // 0 when a worker runs (started now, or already there); -1 when creation failed or a
    // worker was abandoned. prepare() runs with the stop flag already cleared, before the
    // new worker exists, so its first poll sees what prepare set.
    template <typename Prepare>
    int StartWorker(Prepare prepare)
    {
        if (m_bAbandoned.load()) return -1;
        if (!m_bStop.load()) return 0;
        m_bStop.store(false);
        prepare();
        if (!m_hThread.Start(&StoppableWorker::ThreadProc, this)) {
            m_bStop.store(true);
            return -1;
        }
        m_hThread.SetPriority(m_priority);
        return 0;
    }
    // Requests the stop, waits up to m_dwStopWaitMs for the body, then forces the end.
    // False when this call had to abandon the worker (see Abandoned).
    bool StopWorker();

    // The thread body; its result is the thread's exit code.
    virtual uint32_t Run() = 0;

    // True while no worker runs or once a stop was requested. A body that returns on its
    // own leaves it false.
    std::atomic<bool> m_bStop{true};
    // The stop's waits: for the body, then for a forced end to take. Tests shorten them.
    uint32_t m_dwStopWaitMs = WORKER_STOP_WAIT_MS;
    uint32_t m_dwCancelGraceMs = WORKER_CANCEL_GRACE_MS;

private:
    static uint32_t ThreadProc(void* param);

    const Priority m_priority;
    WorkerThread m_hThread;
    std::atomic<bool> m_bAbandoned{false};
};

}  // namespace platform
