#ifndef _WIN32

#include "platform/worker_thread.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr uint32_t WORKER_FORCED_EXIT_CODE = 0xFFFFFFFF;
constexpr int WORKER_NO_NICE_REQUEST = INT32_MIN;

void ApplyNice(pid_t threadId, int niceValue)
{
    if (threadId != 0 && niceValue != WORKER_NO_NICE_REQUEST)
        setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), niceValue);
}

}  // namespace

// What the worker needs, kept alive by both sides so either may go first.
struct WorkerThread::Launch {
    Entry entry = nullptr;
    void* param = nullptr;
    std::mutex mutex;
    std::condition_variable ended;
    bool bEnded = false;  // guarded by mutex; also set when cancellation unwinds the worker
    uint32_t dwExitCode = WORKER_FORCED_EXIT_CODE;  // guarded by mutex
    // The priority hand-shake: each side stores its half, then reads the other's, so at
    // least one of them sees both and applies the nice value.
    std::atomic<pid_t> threadId{0};
    std::atomic<int> niceValue{WORKER_NO_NICE_REQUEST};
};

namespace {

// Marks the end on every way out of the body, a cancellation's forced unwind included;
// the unwind itself passes on untouched (catching it would abort the process).
class EndMarker {
public:
    explicit EndMarker(std::mutex& mutex, std::condition_variable& ended, bool& bEnded)
        : m_mutex(mutex), m_ended(ended), m_bEnded(bEnded)
    {
    }
    ~EndMarker()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bEnded = true;
        m_ended.notify_all();
    }
    EndMarker(const EndMarker&) = delete;
    EndMarker& operator=(const EndMarker&) = delete;

private:
    std::mutex& m_mutex;
    std::condition_variable& m_ended;
    bool& m_bEnded;
};

}  // namespace

WorkerThread::~WorkerThread()
{
    if (m_bStarted) JoinOrForceEnd(*this, WORKER_STOP_WAIT_MS);
}

bool WorkerThread::Start(Entry entry, void* param)
{
    if (m_bStarted) return false;
    auto launch = std::make_shared<Launch>();
    launch->entry = entry;
    launch->param = param;
    auto handOver = std::make_unique<std::shared_ptr<Launch>>(launch);
    if (pthread_create(&m_thread, nullptr, &Trampoline, handOver.get()) != 0) return false;
    handOver.release();  // the worker owns its copy now
    m_pLaunch = std::move(launch);
    m_bStarted = true;
    m_dwExitCode = 0;
    return true;
}

void* WorkerThread::Trampoline(void* launch)
{
    const std::shared_ptr<Launch> self = [launch] {
        std::unique_ptr<std::shared_ptr<Launch>> handOver(
            static_cast<std::shared_ptr<Launch>*>(launch));
        return *handOver;
    }();
    EndMarker marker(self->mutex, self->ended, self->bEnded);
    self->threadId.store(gettid());
    ApplyNice(self->threadId.load(), self->niceValue.load());
    const uint32_t exitCode = self->entry(self->param);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->dwExitCode = exitCode;
    return nullptr;
}

// Nice values stand in for thread priorities: the worker runs at the caller's value, one
// lower for AboveNormal. Lowering it needs CAP_SYS_NICE, so an unprivileged process
// keeps the caller's value; the refusal is ignored, as the priority is only a hint.
void WorkerThread::SetPriority(Priority priority)
{
    if (!m_bStarted) return;
    const int callerNice = getpriority(PRIO_PROCESS, 0);
    const int niceValue = priority == Priority::AboveNormal ? callerNice - 1 : callerNice;
    m_pLaunch->niceValue.store(niceValue);
    ApplyNice(m_pLaunch->threadId.load(), niceValue);
}

bool WorkerThread::WaitUntilEnded(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pLaunch->mutex);
    return m_pLaunch->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this] { return m_pLaunch->bEnded; });
}

void WorkerThread::Reap()
{
    pthread_join(m_thread, nullptr);
    m_pLaunch.reset();
    m_bStarted = false;
}

bool WorkerThread::Join(uint32_t timeoutMs)
{
    if (!m_bStarted) return true;
    if (!WaitUntilEnded(timeoutMs)) return false;
    {
        std::lock_guard<std::mutex> lock(m_pLaunch->mutex);
        m_dwExitCode = m_pLaunch->dwExitCode;
    }
    Reap();
    return true;
}

bool WorkerThread::ForceEnd(uint32_t graceMs)
{
    if (!m_bStarted) return true;
    pthread_cancel(m_thread);
    m_dwExitCode = WORKER_FORCED_EXIT_CODE;
    if (WaitUntilEnded(graceMs)) {
        Reap();
        return true;
    }
    pthread_detach(m_thread);  // never reaches a cancellation point: abandoned
    m_pLaunch.reset();
    m_bStarted = false;
    return false;
}

}  // namespace platform

#endif  // _WIN32
