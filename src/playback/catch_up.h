// Whether the decoder should skip the pictures nothing refers to because it cannot keep
// up with the clock: decoding has been slower than real time over the last whole window
// of the tick count while the newest picture is less than a lead ahead of the clock.
// Once it skips, it goes on until the lead is back; stopping as soon as a window was fast
// enough would skip and decode in turn and fall behind on average.
//
// A slow moment alone does not count: a picture that costs more than its period now and
// then (a sanitizer build, a busy machine) leaves the decoder ahead on the window, and a
// fast enough decoder keeps every picture.
//
// Threads: the decoder thread only.
#pragma once

#include <cstdint>

#include "playback/frames.h"

namespace playback {

// Seconds the newest decoded picture should stay ahead of the clock: about what the audio
// read beside it has ahead, which the host hears before it runs dry.
constexpr double CATCH_UP_LEAD_SECONDS = 0.5;
// Ms of the tick count over which decoding is measured against real time.
constexpr uint32_t CATCH_UP_WINDOW_MS = 200;
// A window longer than this spans a pause or a stall, not decoding: it is not judged.
constexpr uint32_t CATCH_UP_STALE_MS = 1000;

class CatchUp {
public:
    // A picture of tag's pass at pts (seconds) was decoded at nowTick (ms) while the clock
    // stood at clock (seconds); whether the pictures decoded next should be skipped.
    bool ShouldSkip(double pts, double clock, uint32_t nowTick, const PlaybackTag& tag);

private:
    void StartWindow(double pts, uint32_t nowTick);

    PlaybackTag m_tag{};
    bool m_bHaveWindow = false;
    uint32_t m_windowTick = 0;  // ms
    double m_windowPts = 0.0;  // seconds
    bool m_bSlow = false;  // the last whole window decoded less than real time
    bool m_bSkipping = false;
};

}  // namespace playback
