// The seek request that the control thread posts and the decoder thread carries out, and
// where the decoder has read to, which a byte seek aims from. Post and LastRead run on the
// control thread; Pending on any thread; Take, Finish, Clear and NoteRead on the decoder
// thread. m_lock guards the target, the ticket and the read point; m_bSeekReq is atomic so
// the decode paths can test it cheaply on every picture.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "demux/timeline.h"
#include "platform/lock.h"

namespace demux {

struct SeekTarget {
    int64_t llSeekPos = 0;  // microseconds, or bytes with AVSEEK_FLAG_BYTE
    int32_t nSeekFlags = 0;  // 0 or AVSEEK_FLAG_BYTE
    double dTime = 0.0;  // seconds on the media time line: where playback is to go on
    // Byte targets: the time that the byte rate puts at llSeekPos, which is not dTime when
    // the target was held within the file.
    double dAimTime = 0.0;
    uint64_t nGeneration = 0;  // the owner's playback generation that asked for the seek
};

// A time target for wantedSeconds on the media time line, which begins at the input's
// start time (microseconds); values beyond the microsecond range are held at its ends.
SeekTarget TimeSeekTarget(int64_t wantedSeconds, int64_t startTimeUs = 0);
// A byte target for wantedSeconds, from a point where the decoder read (bytes and seconds),
// at bytesPerSecond, held within the file (0 to fileSize bytes; no upper end when fileSize
// is not positive).
SeekTarget ByteSeekTarget(int64_t wantedSeconds, const Timeline::Point& from, double bytesPerSecond,
                          int64_t fileSize);
// The {minimum, maximum} accepted around the target: a time seek lands on the key picture
// at or before its target, so that playback can go on exactly there; a byte seek where the
// bytes are.
std::pair<int64_t, int64_t> SeekBounds(const SeekTarget& target);

class SeekRequest {
public:
    // Where the decoder read last, and the byte rate measured (0 when unknown).
    struct ReadPoint {
        Timeline::Point point;
        double dBytesPerSecond = 0.0;
    };

    void Post(const SeekTarget& target);
    bool Pending() const { return m_bSeekReq.load(); }
    // The latest target and a ticket naming it.
    SeekTarget Take(uint64_t* ticket);
    // Ends the request taken with ticket, unless a newer one was posted meanwhile: that
    // one stays pending and is carried out next.
    void Finish(uint64_t ticket);
    void Clear();

    void NoteRead(const ReadPoint& read);
    ReadPoint LastRead() const;

private:
    mutable platform::RecursiveLock m_lock;
    SeekTarget m_target GUARDED_BY(m_lock);
    uint64_t m_nTicket GUARDED_BY(m_lock) = 0;
    ReadPoint m_read GUARDED_BY(m_lock);
    std::atomic<bool> m_bSeekReq{false};
};

}  // namespace demux
