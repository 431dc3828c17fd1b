#include "demux/seek_request.h"

#include <algorithm>
#include <limits>

extern "C" {
#include <libavformat/avformat.h>
}

namespace demux {

namespace {
constexpr int64_t SEEK_MICROS_PER_SECOND = 1000000;
constexpr double SEEK_BYTES_PER_SECOND_WITHOUT_BIT_RATE = 180000.0;

// Truncated toward zero; values beyond the int64 range are held at its ends.
int64_t SaturatingInt64(double value)
{
    constexpr double SEEK_TWO_TO_63 = 9223372036854775808.0;
    if (value >= SEEK_TWO_TO_63) return std::numeric_limits<int64_t>::max();
    if (value <= -SEEK_TWO_TO_63) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

int64_t SaturatingAdd(int64_t a, int64_t b)
{
    if (b > 0 && a > std::numeric_limits<int64_t>::max() - b)
        return std::numeric_limits<int64_t>::max();
    if (b < 0 && a < std::numeric_limits<int64_t>::min() - b)
        return std::numeric_limits<int64_t>::min();
    return a + b;
}

}  // namespace

SeekTarget TimeSeekTarget(int64_t wantedSeconds, int64_t startTimeUs)
{
    constexpr int64_t SEEK_LIMIT_SECONDS =
        std::numeric_limits<int64_t>::max() / SEEK_MICROS_PER_SECOND;
    SeekTarget target;
    if (wantedSeconds > SEEK_LIMIT_SECONDS)
        target.llSeekPos = std::numeric_limits<int64_t>::max();
    else if (wantedSeconds < -SEEK_LIMIT_SECONDS)
        target.llSeekPos = std::numeric_limits<int64_t>::min();
    else
        target.llSeekPos = wantedSeconds * SEEK_MICROS_PER_SECOND;
    target.llSeekPos = SaturatingAdd(target.llSeekPos, startTimeUs);
    return target;
}

SeekTarget ByteSeekTarget(double stepSeconds, int64_t base, int64_t bitRate, int64_t fileSize)
{
    double bytes = bitRate != 0 ? stepSeconds * static_cast<double>(bitRate) * 0.125
                                : stepSeconds * SEEK_BYTES_PER_SECOND_WITHOUT_BIT_RATE;
    const int64_t last = fileSize > 0 ? fileSize : std::numeric_limits<int64_t>::max();
    SeekTarget target;
    target.llSeekPos = std::clamp<int64_t>(SaturatingAdd(base, SaturatingInt64(bytes)), 0, last);
    // The step actually taken, so that the bounds stay around the base.
    target.llSeekRel = target.llSeekPos - base;
    target.nSeekFlags = AVSEEK_FLAG_BYTE;
    return target;
}

// A target that the clamp brought within 2 bytes of the base stays inside its bounds.
std::pair<int64_t, int64_t> SeekBounds(const SeekTarget& target)
{
    int64_t base = target.llSeekPos - target.llSeekRel;
    int64_t minimum = target.llSeekRel > 0 ? std::min(base + 2, target.llSeekPos)
                                           : std::numeric_limits<int64_t>::min();
    int64_t maximum = target.llSeekRel < 0 ? std::max(base - 2, target.llSeekPos)
                                           : std::numeric_limits<int64_t>::max();
    return {minimum, maximum};
}

void SeekRequest::Post(const SeekTarget& target)
{
    platform::LockGuard guard(m_lock);
    m_target = target;
    ++m_nTicket;
    m_bSeekReq.store(true);
}

SeekTarget SeekRequest::Take(uint64_t* ticket)
{
    platform::LockGuard guard(m_lock);
    *ticket = m_nTicket;
    return m_target;
}

void SeekRequest::Finish(uint64_t ticket)
{
    platform::LockGuard guard(m_lock);
    if (ticket == m_nTicket) m_bSeekReq.store(false);
}

void SeekRequest::Clear()
{
    platform::LockGuard guard(m_lock);
    m_bSeekReq.store(false);
}

}  // namespace demux
