// The seek request that the control thread posts and the decoder thread carries out.
// Post runs on the control thread; Pending on any thread; Take, Finish and Clear on the
// decoder thread. m_lock guards the target and the ticket; m_bSeekReq is atomic so the
// decode paths can test it cheaply on every picture.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/lock.h"

namespace demux {

struct SeekTarget {
    int64_t llSeekPos = 0;  // microseconds, or bytes with AVSEEK_FLAG_BYTE
    int64_t llSeekRel = 0;  // the step in the target's unit; 0 for a time seek
    int32_t nSeekFlags = 0;  // 0 or AVSEEK_FLAG_BYTE
    uint64_t nGeneration = 0;  // the owner's playback generation that asked for the seek
};

// Seconds after the input's start time (microseconds; the container's own time line
// begins there) to a time target; values beyond the microsecond range are held at its ends.
SeekTarget TimeSeekTarget(int64_t wantedSeconds, int64_t startTimeUs = 0);
// A byte target stepSeconds away from base (a double, so that no difference of two
// positions can overflow), estimated from the bit rate (bits/s; 0 when
// unknown, then 180000 bytes a second are assumed), held within the file (0 to fileSize
// bytes; no upper end when fileSize is not positive).
SeekTarget ByteSeekTarget(double stepSeconds, int64_t base, int64_t bitRate, int64_t fileSize);
// The {minimum, maximum} accepted around the target: unbounded for a time seek; a byte
// seek lands at least 2 bytes beyond its base in the direction of the step (or at the
// target, when that is nearer).
std::pair<int64_t, int64_t> SeekBounds(const SeekTarget& target);

class SeekRequest {
public:
    void Post(const SeekTarget& target);
    bool Pending() const { return m_bSeekReq.load(); }
    // The latest target and a ticket naming it.
    SeekTarget Take(uint64_t* ticket);
    // Ends the request taken with ticket, unless a newer one was posted meanwhile: that
    // one stays pending and is carried out next.
    void Finish(uint64_t ticket);
    void Clear();

private:
    platform::RecursiveLock m_lock;
    SeekTarget m_target GUARDED_BY(m_lock);
    uint64_t m_nTicket GUARDED_BY(m_lock) = 0;
    std::atomic<bool> m_bSeekReq{false};
};

}  // namespace demux
