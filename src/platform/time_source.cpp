#include "platform/time_source.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {

class SteadyTimeSource : public TimeSource {
public:
    uint32_t TickCount() override
    {
        const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed);
        return static_cast<uint32_t>(ms.count());  // keeps the low 32 bits: wraps like GetTickCount
    }

    void SleepMs(uint32_t ms) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

// Function-local statics: usable from any static initialiser, whatever the order.
std::atomic<TimeSource*>& InstalledSource()
{
    static SteadyTimeSource realTime;
    static std::atomic<TimeSource*> installed{&realTime};
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
