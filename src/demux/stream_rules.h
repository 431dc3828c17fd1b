// The arithmetic the demuxer applies to stream and input values: still-picture
// detection, frame rates and whole seconds. Pure functions, any thread.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace demux {

// An attached picture shows up as a video stream at a timer rate such as 90000/1.
inline bool IsStillPicture(AVRational avgRate, AVRational baseRate)
{
    return (avgRate.num == 1 && avgRate.den > 100) || (baseRate.den == 1 && baseRate.num > 100);
}

// The stream's rate as it is (90000/1 gives 90000.0); 0.0 when neither rate is set.
inline double StreamFrameRate(AVRational avgRate, AVRational baseRate)
{
    if (avgRate.num != 0 && avgRate.den != 0) return av_q2d(avgRate);
    if (baseRate.num != 0 && baseRate.den != 0) return av_q2d(baseRate);
    return 0.0;
}

// Whole frames per second for validation; a timer-like base rate counts as unknown.
inline int32_t WholeFrameRate(AVRational avgRate, AVRational baseRate)
{
    if (avgRate.num != 0 && avgRate.den != 0) return static_cast<int32_t>(av_q2d(avgRate));
    bool timerLike = baseRate.den == 1 && baseRate.num > 100;
    if (baseRate.num != 0 && baseRate.den != 0 && !timerLike)
        return static_cast<int32_t>(av_q2d(baseRate));
    return 0;
}

// Microseconds to whole seconds, truncated toward zero (-0.5 s gives 0, 1.9 s gives 1).
inline int64_t WholeSeconds(int64_t microseconds) { return microseconds / 1000000; }

// The step of the video clock per picture; a stream without a rate does not advance it.
inline double FrameStep(double frameRate, int repeatPict)
{
    if (frameRate == 0.0) return 0.0;
    double step = 1.0 / frameRate;
    return step + repeatPict * step * 0.5;
}

}  // namespace demux
