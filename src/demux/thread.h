// Base of an object that owns one worker thread: start, pause/resume flags, and a stop
// with a bounded wait. Start, Stop, Pause and Resume are called from one controlling
// thread (callers serialise them), never from the body. The body (Run) runs on the
// worker and polls m_bStop and m_bPause.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/worker_thread.h"

class Thread {
public:
    // How long Stop waits for the body before forcing the thread to end.
    static constexpr uint32_t kStopWaitMs = 5000;

    Thread() = default;
    // Stops a worker still running. A derived class whose body uses its own members must
    // stop the worker in its own destructor, before those members are gone.
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // 0 when a worker runs (started now, or already there); -1 when creation failed or
    // a worker was abandoned. The pause flag starts as `paused` says, so the worker's
    // first poll already sees it.
    int Start(bool paused = false);
    // Always 0. Requests the stop, waits up to kStopWaitMs, then forces the end.
    int Stop();
    // A Stop could not end the worker and left it running: its body may still use this
    // object at any time, so no worker is started again, and the derived class keeps
    // (and finally leaks) whatever the body uses.
    bool Abandoned() const { return m_bAbandoned.load(); }
    int Pause();  // always 0
    int Resume();  // always 0
    // The exit code of the last worker that Stop ended: Run's result, or 0xFFFFFFFF when
    // it had to be forced; 0 before the first Stop.
    uint32_t LastExitCode() const { return m_hThread.ExitCode(); }

protected:
    // The thread body; its result is the thread's exit code.
    virtual uint32_t Run() = 0;

    // True while no worker runs or once a stop was requested. A body that returns on its
    // own leaves it false.
    std::atomic<bool> m_bStop{true};
    std::atomic<bool> m_bPause{false};
    // Stop's waits: for the body, then for a forced end to take. Tests shorten them.
    uint32_t m_dwStopWaitMs = kStopWaitMs;
    uint32_t m_dwCancelGraceMs = platform::kCancelGraceMs;

private:
    static uint32_t ThreadProc(void* param);

    platform::WorkerThread m_hThread;
    std::atomic<bool> m_bAbandoned{false};
};
