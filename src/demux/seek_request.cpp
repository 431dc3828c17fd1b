#include "demux/seek_request.h"

#include <limits>

extern "C" {
#include <libavformat/avformat.h>
}

namespace demux {

namespace {
constexpr int64_t kMicrosPerSecond = 1000000;
constexpr double kBytesPerSecondWithoutBitRate = 180000.0;
}  // namespace

SeekTarget TimeSeekTarget(int64_t wantedSeconds)
{
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / kMicrosPerSecond;
    SeekTarget target;
    if (wantedSeconds > kLimit)
        target.llSeekPos = std::numeric_limits<int64_t>::max();
    else if (wantedSeconds < -kLimit)
        target.llSeekPos = std::numeric_limits<int64_t>::min();
    else
        target.llSeekPos = wantedSeconds * kMicrosPerSecond;
    return target;
}

SeekTarget ByteSeekTarget(int64_t stepSeconds, int64_t base, int64_t bitRate)
{
    double bytes = bitRate != 0 ? static_cast<double>(stepSeconds) * bitRate * 0.125
                                : static_cast<double>(stepSeconds) * kBytesPerSecondWithoutBitRate;
    SeekTarget target;
    target.llSeekRel = static_cast<int64_t>(bytes);
    target.llSeekPos = base + target.llSeekRel;
    target.nSeekFlags = AVSEEK_FLAG_BYTE;
    return target;
}

std::pair<int64_t, int64_t> SeekBounds(const SeekTarget& target)
{
    int64_t base = target.llSeekPos - target.llSeekRel;
    int64_t minimum = target.llSeekRel > 0 ? base + 2 : std::numeric_limits<int64_t>::min();
    int64_t maximum = target.llSeekRel < 0 ? base - 2 : std::numeric_limits<int64_t>::max();
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
