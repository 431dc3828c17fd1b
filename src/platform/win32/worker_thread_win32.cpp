#ifdef _WIN32

#include "platform/worker_thread.h"

#include <memory>

#include <windows.h>

namespace platform {
namespace {

constexpr DWORD WORKER_FORCED_EXIT_CODE = 0xFFFFFFFF;
// How long a forced end waits for a thread that has not yet reached its body.
constexpr DWORD WORKER_START_GRACE_MS = 1000;

// Handed to the new thread, which frees it before running the body, so nothing of it
// remains for TerminateThread to strand once the body is running.
struct StartRecord {
    WorkerThread::Entry entry;
    void* param;
    HANDLE running;  // set by the thread on entering the body; owned by WorkerThread
};

DWORD WINAPI Run(LPVOID record)
{
    const StartRecord start = *static_cast<StartRecord*>(record);
    delete static_cast<StartRecord*>(record);
    SetEvent(start.running);
    return start.entry(start.param);
}

}  // namespace

WorkerThread::~WorkerThread()
{
    if (m_bStarted) JoinOrForceEnd(*this, WORKER_STOP_WAIT_MS);
}

bool WorkerThread::Start(Entry entry, void* param)
{
    if (m_bStarted) return false;
    HANDLE running = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (running == nullptr) return false;
    auto record = std::make_unique<StartRecord>(StartRecord{entry, param, running});
    HANDLE thread = CreateThread(nullptr, 0, &Run, record.get(), 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(running);
        return false;
    }
    record.release();  // the thread owns it now
    m_hThread = thread;
    m_hRunning = running;
    m_bStarted = true;
    m_dwExitCode = 0;
    return true;
}

void WorkerThread::SetPriority(Priority priority)
{
    if (!m_bStarted) return;
    SetThreadPriority(m_hThread, priority == Priority::AboveNormal ? THREAD_PRIORITY_ABOVE_NORMAL
                                                                   : THREAD_PRIORITY_NORMAL);
}

bool WorkerThread::Join(uint32_t timeoutMs)
{
    if (!m_bStarted) return true;
    if (WaitForSingleObject(m_hThread, timeoutMs) != WAIT_OBJECT_0) return false;
    DWORD exitCode = 0;
    GetExitCodeThread(m_hThread, &exitCode);
    Release();
    m_dwExitCode = exitCode;
    return true;
}

// A thread still starting up may hold the loader lock (its DLL attach notices), and
// terminating it then can hang or crash the process, so the body gets a grace period to
// begin. TerminateThread returns before the thread is gone; the second wait makes sure it
// no longer runs once this object is empty.
bool WorkerThread::ForceEnd(uint32_t /*graceMs*/)
{
    if (!m_bStarted) return true;
    WaitForSingleObject(m_hRunning, WORKER_START_GRACE_MS);
    TerminateThread(m_hThread, WORKER_FORCED_EXIT_CODE);
    WaitForSingleObject(m_hThread, INFINITE);
    Release();
    m_dwExitCode = WORKER_FORCED_EXIT_CODE;
    return true;
}

void WorkerThread::Release()
{
    CloseHandle(m_hThread);
    CloseHandle(m_hRunning);
    m_hThread = nullptr;
    m_hRunning = nullptr;
    m_bStarted = false;
}

}  // namespace platform

#endif  // _WIN32
