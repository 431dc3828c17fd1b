// The live status line: position / duration, pictures shown, seconds of audio played and
// the state, redrawn at most 10 times a second. Main thread only.
#ifndef QUORVEL_PLAY_STATUS_LINE_H
#define QUORVEL_PLAY_STATUS_LINE_H

#include <cstdint>
#include <string>

namespace qplay {

class Console;

struct StatusFields {
    int64_t position = 0;  // seconds
    int64_t duration = 0;  // seconds
    int64_t pictures = 0;
    double audio_seconds = 0;
    bool paused = false;
    bool looping = false;
};

// "mm:ss" (or "h:mm:ss" from an hour on); "--:--" for a negative value.
std::string FormatClock(int64_t seconds);
std::string FormatStatus(const StatusFields& fields);

class StatusLine {
public:
    static constexpr int64_t MIN_INTERVAL_MS = 100;

    explicit StatusLine(Console& console);

    // Draws unless the last draw was less than MIN_INTERVAL_MS ago.
    void Update(int64_t now_ms, const StatusFields& fields);

private:
    Console& console_;
    int64_t last_draw_ms_ = -MIN_INTERVAL_MS;
};

}  // namespace qplay

#endif
