#include "platform/time_source.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <chrono>
#include <ctime>
#endif

namespace platform {
namespace {

#ifdef _WIN32

class SteadyTimeSource : public TimeSource {
public:
    uint32_t TickCount() override { return ::GetTickCount(); }
    void SleepMs(uint32_t ms) override { ::Sleep(ms); }
};

#else

class SteadyTimeSource : public TimeSource {
public:
    uint32_t TickCount() override
    {
        const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed);
        return static_cast<uint32_t>(ms.count());  // keeps the low 32 bits: wraps like GetTickCount
    }

    // A forced end cancels a worker here, and the cancellation unwinds this frame
    // without its epilogue. So the frame is left uninstrumented (no AddressSanitizer
    // stack poison left behind) and sleeps through clock_nanosleep, which no sanitizer
    // intercepts (ThreadSanitizer loses track of a thread cancelled inside one of its
    // interceptors).
    __attribute__((no_sanitize_address)) void SleepMs(uint32_t ms) override
    {
        timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (clock_nanosleep(CLOCK_MONOTONIC, 0, &remaining, &remaining) == EINTR) {
        }
    }
};

#endif  // _WIN32

// Function-local statics: usable from any static initialiser, whatever the order. The
// real clock is never destroyed: threads of an instance that a host leaked still sleep
// on it while the process exits.
std::atomic<TimeSource*>& InstalledSource()
{
    static TimeSource* const realTime = new SteadyTimeSource;
    static std::atomic<TimeSource*> installed{realTime};
    return installed;
}

}  // namespace

TimeSource& Time() { return *InstalledSource().load(); }

ScopedTimeSource::ScopedTimeSource(TimeSource& source)
    : m_pPrevious(InstalledSource().exchange(&source))
{
}

ScopedTimeSource::~ScopedTimeSource() { InstalledSource().store(m_pPrevious); }

}  // namespace platform
