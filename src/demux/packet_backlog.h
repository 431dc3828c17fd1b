// Video packets read but not yet decoded, oldest first: the engine's read-ahead. The
// decoder thread keeps only a few decoded pictures ready (they are a hundred times larger
// than the packets) and reads on past them into this backlog, so that the audio behind the
// pictures is read and decoded in time; it decodes the packets in read order as pictures
// leave the queue, and, while the audio runs short (a picture of a heavy file costs longer
// to decode than the audio queued lasts), before the next ones. Bounded by the time it
// spans, by bytes (a file of 130 Mbit/s must not queue hundreds of megabytes) and by
// count, so that a file whose audio lies far from its pictures is not read into memory
// whole.
//
// Threads: the decoder thread while it runs, the control thread while it is stopped.
#pragma once

#include <cstddef>
#include <deque>

#include "demux/ffmpeg_ptr.h"

namespace demux {

// At most this many packets, or this many bytes of them, are held.
constexpr size_t BACKLOG_MAX_PACKETS = 2048;
constexpr size_t BACKLOG_MAX_BYTES = 48u << 20;

class PacketBacklog {
public:
    // The time (seconds) the packets may span before the backlog is full.
    void SetLead(double seconds) { m_dLead = seconds; }
    bool Empty() const { return m_packets.empty(); }
    bool Full() const;
    // Moves packet's contents to the back, noting its time (seconds; NaN when it has none);
    // false, with packet untouched, when memory ran out.
    bool Push(AVPacket* packet, double seconds);
    // Moves the oldest packet's contents into packet, which must be blank.
    void PopInto(AVPacket* packet);
    void Clear();

private:
    struct Held {
        ffmpeg::PacketPtr packet;
        double dSeconds;
    };
    double Span() const;

    std::deque<Held> m_packets;
    size_t m_nBytes = 0;
    double m_dLead = 2.4;  // seconds
};

}  // namespace demux
