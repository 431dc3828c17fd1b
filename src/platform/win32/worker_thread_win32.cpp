#ifdef _WIN32

#include "platform/worker_thread.h"

#include <memory>

#include <windows.h>

namespace platform {
namespace {

constexpr DWORD WORKER_FORCED_EXIT_CODE = 0xFFFFFFFF;

// Handed to the new thread, which frees it before running the body, so nothing of it
// stays tied to this object once the body is running.
struct StartRecord {
    WorkerThread::Entry entry;
    void* param;
};

DWORD WINAPI Run(LPVOID record)
{
    const StartRecord start = *static_cast<StartRecord*>(record);
    delete static_cast<StartRecord*>(record);
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
    auto record = std::make_unique<StartRecord>(StartRecord{entry, param});
    HANDLE thread = CreateThread(nullptr, 0, &Run, record.get(), 0, nullptr);
    if (thread == nullptr) return false;
    record.release();  // the thread owns it now
    m_hThread = thread;
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

// A thread that did not end in time is abandoned, never terminated: TerminateThread
// would strand whatever it holds (the log registry taken shared in a host's handler, a
// lock of the C runtime or the loader), and every later DestroyInstance, CreateInstance
// or log would then hang. Its handle is closed; it runs on with what its body uses, which
// the owner keeps.
bool WorkerThread::ForceEnd(uint32_t /*graceMs*/)
{
    if (!m_bStarted) return true;
    Release();
    m_dwExitCode = WORKER_FORCED_EXIT_CODE;
    return false;
}

void WorkerThread::Release()
{
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_bStarted = false;
}

}  // namespace platform

#endif  // _WIN32
