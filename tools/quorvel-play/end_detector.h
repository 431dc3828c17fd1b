// Decides when a file without looping has played out, from what the main thread samples
// every tick: the position and duration (GetPos), and the counts of pictures shown and
// chunks played. Played out means: the position has reached the duration (which the
// engine answers once the last picture and sound have gone out), or nothing new came for
// IDLE_MS at all. Before anything was shown the grace is STARTUP_MS.
// Main thread only; no locks.
#ifndef QUORVEL_PLAY_END_DETECTOR_H
#define QUORVEL_PLAY_END_DETECTOR_H

#include <cstdint>

namespace qplay {

struct PlaybackSample {
    int64_t now_ms = 0;  // host monotonic time
    int64_t position = 0;  // seconds
    int64_t duration = 0;  // seconds; 0 or less when unknown
    int64_t pictures = 0;
    int64_t chunks = 0;  // non-empty audio chunks
    bool paused = false;
    bool looping = false;
};

class EndDetector {
public:
    static constexpr int64_t IDLE_MS = 1000;
    static constexpr int64_t STARTUP_MS = 5000;

    explicit EndDetector(int64_t start_ms);

    // Forget the quiet time so far (after a seek or a resume).
    void Restart(int64_t now_ms);
    bool PlayedOut(const PlaybackSample& sample);

private:
    int64_t last_activity_ms_;
    int64_t pictures_ = 0;
    int64_t chunks_ = 0;
    bool seen_output_ = false;
};

}  // namespace qplay

#endif
