// Whether the decoder should skip the pictures nothing refers to because it cannot keep
// up with the clock: over the last whole window of the tick count, decoding was slower
// than real time and the picture queue was never full (a decoder that waits for room is
// held back by the queue, not behind). Once it skips, it goes on until the queue is full
// again; stopping as soon as a window was fast enough would skip and decode in turn and
// fall behind on average.
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

// Ms of the tick count over which decoding is measured against real time.
constexpr uint32_t CATCH_UP_WINDOW_MS = 200;
// A window longer than this spans a pause or a stall, not decoding: it is not judged.
constexpr uint32_t CATCH_UP_STALE_MS = 1000;

class CatchUp {
public:
    // A picture of tag's pass at pts (seconds) was decoded at nowTick (ms); whether the
    // pictures decoded next should be skipped.
    bool ShouldSkip(double pts, uint32_t nowTick, const PlaybackTag& tag);
    // The picture queue was full when the decoder asked for room.
    void NoteQueueFull() { m_bQueueFull = true; }

private:
    void StartWindow(double pts, uint32_t nowTick);

    PlaybackTag m_tag{};
    bool m_bHaveWindow = false;
    uint32_t m_windowTick = 0;  // ms
    double m_windowPts = 0.0;  // seconds
    bool m_bQueueFull = false;  // since the last answer
    bool m_bFullInWindow = false;  // the queue was full during the current window
    bool m_bSlow = false;  // the last whole window was slow
    bool m_bSkipping = false;
};

}  // namespace playback
