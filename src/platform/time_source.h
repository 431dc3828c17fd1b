// The process's clock: millisecond sleeps and a 32-bit millisecond tick count that wraps
// like GetTickCount. Everything that paces or polls goes through Time(), so tests can
// install a fake and drive time by hand.
#pragma once

#include <cstdint>

namespace platform {

class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual uint32_t TickCount() = 0;  // ms, monotonic, wraps at 2^32
    virtual void SleepMs(uint32_t ms) = 0;
};

// The installed source (the real clock unless a test installed another). Any thread.
TimeSource& Time();

// Installs a source for the lifetime of this object, then restores the previous one.
// Tests only; install before any engine thread starts.
class ScopedTimeSource {
public:
    explicit ScopedTimeSource(TimeSource& source);
    ~ScopedTimeSource();
    ScopedTimeSource(const ScopedTimeSource&) = delete;
    ScopedTimeSource& operator=(const ScopedTimeSource&) = delete;

private:
    TimeSource* m_pPrevious;
};

inline uint32_t GetTickCount() { return Time().TickCount(); }
inline void Sleep(uint32_t ms) { Time().SleepMs(ms); }

}  // namespace platform
