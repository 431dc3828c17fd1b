#include "status_line.h"

#include <cinttypes>
#include <cstdio>

#include "console.h"

namespace qplay {

std::string FormatClock(int64_t seconds)
{
    if (seconds < 0) return "--:--";
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d", seconds / 3600,
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(seconds / 60),
                      static_cast<int>(seconds % 60));
    }
    return text;
}

std::string FormatStatus(const StatusFields& f)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s / %s  pictures %" PRId64 "  audio %.1f s  %s%s",
                  FormatClock(f.position).c_str(), FormatClock(f.duration).c_str(), f.pictures,
                  f.audio_seconds, f.paused ? "paused" : "playing", f.looping ? "  loop" : "");
    return text;
}

StatusLine::StatusLine(Console& console) : console_(console) {}

void StatusLine::Update(int64_t now_ms, const StatusFields& fields)
{
    if (now_ms - last_draw_ms_ < MIN_INTERVAL_MS) return;
    last_draw_ms_ = now_ms;
    console_.Status(FormatStatus(fields));
}

}  // namespace qplay
