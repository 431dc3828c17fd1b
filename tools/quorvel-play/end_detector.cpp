#include "end_detector.h"

namespace qplay {

EndDetector::EndDetector(int64_t start_ms) : last_activity_ms_(start_ms) {}

void EndDetector::Restart(int64_t now_ms) { last_activity_ms_ = now_ms; }

bool EndDetector::PlayedOut(const PlaybackSample& s)
{
    if (s.pictures != pictures_ || s.chunks != chunks_) {
        seen_output_ = seen_output_ || s.pictures > 0 || s.chunks > 0;
        pictures_ = s.pictures;
        chunks_ = s.chunks;
        last_activity_ms_ = s.now_ms;
    }
    if (s.paused || s.looping) {
        last_activity_ms_ = s.now_ms;
        return false;
    }
    const int64_t quiet = s.now_ms - last_activity_ms_;
    if (!seen_output_) return quiet >= STARTUP_MS;
    const bool at_end = s.duration > 0 && s.position >= s.duration;
    return at_end || quiet >= IDLE_MS;
}

}  // namespace qplay
