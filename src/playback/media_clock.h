// The playback clock of a pass: seconds on the media time line that run with the tick
// count from where they were last set. It stands where a pass or a seek puts it until the
// first picture or sound of the pass starts it, and stands while paused. A value type,
// kept in the instance's playback record.
#pragma once

#include <cstdint>

namespace playback {

struct MediaClock {
    double dAt = 0.0;  // seconds: the time at dwTick, or where the clock stands
    uint32_t dwTick = 0;  // ms, tick count
    bool bStarted = false;  // the pass has begun to play
    bool bRunning = false;  // started and not paused

    // The tick difference is unsigned, so a wrap of the tick count between the two is
    // harmless.
    double At(uint32_t now) const
    {
        return bRunning ? dAt + static_cast<uint32_t>(now - dwTick) / 1000.0 : dAt;
    }
    void Run(double at, uint32_t now)
    {
        dAt = at;
        dwTick = now;
        bStarted = bRunning = true;
    }
    void Stand(uint32_t now)
    {
        dAt = At(now);
        bRunning = false;
    }
    void Resume(uint32_t now)
    {
        if (bStarted) Run(dAt, now);
    }
};

}  // namespace playback
