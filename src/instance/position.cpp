#include "instance/position.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel {

namespace {

int64_t SaturatedSeconds(double seconds)
{
    constexpr double POSITION_TWO_TO_63 = 9223372036854775808.0;
    if (std::isnan(seconds)) {
        return 0;
    }
    if (seconds >= POSITION_TWO_TO_63) {
        return std::numeric_limits<int64_t>::max();
    }
    if (seconds <= -POSITION_TWO_TO_63) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(seconds);
}

}  // namespace

int64_t PositionOf(double clock, int64_t duration)
{
    if (duration < 0) {
        return 0;
    }
    return TargetWithin(SaturatedSeconds(clock), duration);
}

int64_t TargetWithin(int64_t pos, int64_t duration)
{
    return std::clamp<int64_t>(pos, 0,
                               duration > 0 ? duration : std::numeric_limits<int64_t>::max());
}

}  // namespace quorvel
