// One OS thread: start, bounded join, forced end. Every member is called from one
// controlling thread; the worker touches only its own start record (on POSIX the shared
// Launch record, whose fields its own mutex guards), so an abandoned worker never reaches
// back into this object.
#pragma once

#include <cstdint>

#ifndef _WIN32
#include <memory>
#include <pthread.h>
#endif

namespace platform {

enum class Priority { Normal, AboveNormal };

// How long a stop waits for a worker's body to end before it forces the end.
constexpr uint32_t WORKER_STOP_WAIT_MS = 5000;
// How long a forced end waits for a cancelled POSIX thread to reach a cancellation point.
constexpr uint32_t WORKER_CANCEL_GRACE_MS = 1000;

class WorkerThread {
public:
    using Entry = uint32_t (*)(void* param);

    WorkerThread() = default;
    ~WorkerThread();  // ends a thread still attached as Stop would, with a bounded wait
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts entry(param) at once. False when the thread cannot be created.
    bool Start(Entry entry, void* param);
    bool IsStarted() const { return m_bStarted; }

    // Best effort; the result is ignored by every caller.
    void SetPriority(Priority priority);

    // Waits up to timeoutMs for the thread to end. True when it has ended; the thread is
    // then reaped and this object is empty again.
    bool Join(uint32_t timeoutMs);

    // Forced end after a failed Join. On POSIX the thread is cancelled at its next
    // cancellation point and reaped; one that does not get there within graceMs is
    // detached and abandoned, still running. On Windows, which has no safe way to end a
    // thread from outside, it is abandoned at once. Everything an abandoned thread can
    // reach must then stay alive. Either way this object is empty afterwards. False when
    // abandoned.
    bool ForceEnd(uint32_t graceMs = WORKER_CANCEL_GRACE_MS);

    // The thread's exit code once Join succeeded; 0xFFFFFFFF after ForceEnd.
    uint32_t ExitCode() const { return m_dwExitCode; }

private:
#ifdef _WIN32
    void Release();

    void* m_hThread = nullptr;  // HANDLE of the thread while started
#else
    struct Launch;

    static void* Trampoline(void* launch);
    bool WaitUntilEnded(uint32_t timeoutMs);
    void Reap();

    pthread_t m_thread{};
    std::shared_ptr<Launch> m_pLaunch;  // shared with the worker while it lives
#endif
    bool m_bStarted = false;
    uint32_t m_dwExitCode = 0;
};

// The stop protocol: join within timeoutMs, else force the end. False when the thread had
// to be abandoned (see ForceEnd).
bool JoinOrForceEnd(WorkerThread& thread, uint32_t timeoutMs,
                    uint32_t graceMs = WORKER_CANCEL_GRACE_MS);

}  // namespace platform
