// A hand-driven clock for tests. Install it with platform::ScopedTimeSource before any
// engine thread starts. Any thread may read, set or advance it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/time_source.h"

namespace test {

class FakeTimeSource : public platform::TimeSource {
public:
    explicit FakeTimeSource(uint32_t start = 0) : m_tick(start) {}

    uint32_t TickCount() override { return m_tick.load(); }

    // Time passes only for the sleeper's benefit; yielding lets polling threads progress.
    void SleepMs(uint32_t ms) override
    {
        Advance(ms);
        std::this_thread::yield();
    }

    void Set(uint32_t tick) { m_tick.store(tick); }
    void Advance(uint32_t ms) { m_tick.fetch_add(ms); }  // wraps at 2^32 like the real tick

private:
    std::atomic<uint32_t> m_tick;
};

}  // namespace test
