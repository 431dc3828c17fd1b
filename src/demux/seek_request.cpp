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
    target.dTime = static_cast<double>(wantedSeconds);
    return target;
}

SeekTarget ByteSeekTarget(int64_t wantedSeconds, const Timeline::Point& from, double bytesPerSecond,
                          int64_t fileSize)
{
    const double rate =
        bytesPerSecond > 0.0 ? bytesPerSecond : SEEK_BYTES_PER_SECOND_WITHOUT_BIT_RATE;
    const double step = (static_cast<double>(wantedSeconds) - from.dTime) * rate;
    const int64_t base = std::max<int64_t>(from.llPos, 0);
    const int64_t last = fileSize > 0 ? fileSize : std::numeric_limits<int64_t>::max();
    SeekTarget target;
    target.llSeekPos = std::clamp<int64_t>(SaturatingAdd(base, SaturatingInt64(step)), 0, last);
    target.nSeekFlags = AVSEEK_FLAG_BYTE;
    target.dTime = static_cast<double>(wantedSeconds);
    target.dAimTime = from.dTime + static_cast<double>(target.llSeekPos - base) / rate;
    return target;
}

std::pair<int64_t, int64_t> SeekBounds(const SeekTarget& target)
{
    const int64_t lowest = std::numeric_limits<int64_t>::min();
    if ((target.nSeekFlags & AVSEEK_FLAG_BYTE) != 0)
        return {lowest, std::numeric_limits<int64_t>::max()};
    return {lowest, target.llSeekPos};
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

void SeekRequest::NoteRead(const ReadPoint& read)
{
    platform::LockGuard guard(m_lock);
    m_read = read;
}

SeekRequest::ReadPoint SeekRequest::LastRead() const
{
    platform::LockGuard guard(m_lock);
    return m_read;
}

void SeekRequest::Clear()
{
    platform::LockGuard guard(m_lock);
    m_bSeekReq.store(false);
}

}  // namespace demux
