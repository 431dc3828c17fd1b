// Video packets read but not yet decoded, oldest first. The decoder thread reads on past
// pictures into it while the audio interleaved behind them is wanted first (a picture of a
// heavy file costs longer to decode than the audio queued lasts), and decodes them in read
// order afterwards. Bounded, so that a file whose audio lies far from its pictures is not
// read into memory whole.
//
// Threads: the decoder thread while it runs, the control thread while it is stopped.
#pragma once

#include <cstddef>
#include <deque>

#include "demux/ffmpeg_ptr.h"

namespace demux {

// At most this many packets, or this many bytes of them, are held.
constexpr size_t BACKLOG_MAX_PACKETS = 64;
constexpr size_t BACKLOG_MAX_BYTES = 32u << 20;

class PacketBacklog {
public:
    bool Empty() const { return m_packets.empty(); }
    bool Full() const;
    // Moves packet's contents to the back; false, with packet untouched, when memory ran
    // out.
    bool Push(AVPacket* packet);
    // Moves the oldest packet's contents into packet, which must be blank.
    void PopInto(AVPacket* packet);
    void Clear();

private:
    std::deque<ffmpeg::PacketPtr> m_packets;
    size_t m_nBytes = 0;
};

}  // namespace demux
