// Positions at the host's interface: whole seconds from the start of the media, held
// within it. Pure arithmetic, so that each rule is checked on its own.
#pragma once

#include <cstdint>

namespace quorvel {

// The clock (seconds on the media time line, which counts from the media's start) as a
// position: truncated toward zero (saturated at the ends of the int64 range; NaN counts
// as 0), held within 0 to the duration (whole seconds; 0 when unknown, which bounds
// nothing above). Without media (a negative duration): 0.
int64_t PositionOf(double clock, int64_t duration);

// A seek target held within the media the same way: before the start plays from the
// start, past the end is at the end. Without media only the start bounds it.
int64_t TargetWithin(int64_t pos, int64_t duration);

}  // namespace quorvel
