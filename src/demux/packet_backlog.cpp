#include "demux/packet_backlog.h"

#include <new>

namespace demux {

bool PacketBacklog::Full() const
{
    return m_packets.size() >= BACKLOG_MAX_PACKETS || m_nBytes >= BACKLOG_MAX_BYTES;
}

bool PacketBacklog::Push(AVPacket* packet)
{
    ffmpeg::PacketPtr held(av_packet_alloc());
    if (!held) return false;
    try {
        m_packets.push_back(std::move(held));
    } catch (const std::bad_alloc&) {
        return false;
    }
    av_packet_move_ref(m_packets.back().get(), packet);
    m_nBytes += static_cast<size_t>(m_packets.back()->size);
    return true;
}

void PacketBacklog::PopInto(AVPacket* packet)
{
    av_packet_move_ref(packet, m_packets.front().get());
    m_nBytes -= static_cast<size_t>(packet->size);
    m_packets.pop_front();
}

void PacketBacklog::Clear()
{
    m_packets.clear();
    m_nBytes = 0;
}

}  // namespace demux
