#include "demux/packet_backlog.h"

#include <cmath>
#include <new>

namespace demux {

bool PacketBacklog::Full() const
{
    return m_packets.size() >= BACKLOG_MAX_PACKETS || m_nBytes >= BACKLOG_MAX_BYTES ||
           Span() >= m_dLead;
}

// From the oldest packet with a time to the newest.
double PacketBacklog::Span() const
{
    for (const Held& held : m_packets) {
        if (std::isnan(held.dSeconds)) continue;
        for (auto newest = m_packets.rbegin(); newest != m_packets.rend(); ++newest)
            if (!std::isnan(newest->dSeconds)) return newest->dSeconds - held.dSeconds;
    }
    return 0.0;
}

bool PacketBacklog::Push(AVPacket* packet, double seconds)
{
    ffmpeg::PacketPtr held(av_packet_alloc());
    if (!held) return false;
    try {
        m_packets.push_back({std::move(held), seconds});
    } catch (const std::bad_alloc&) {
        return false;
    }
    av_packet_move_ref(m_packets.back().packet.get(), packet);
    m_nBytes += static_cast<size_t>(m_packets.back().packet->size);
    return true;
}

void PacketBacklog::PopInto(AVPacket* packet)
{
    av_packet_move_ref(packet, m_packets.front().packet.get());
    m_nBytes -= static_cast<size_t>(packet->size);
    m_packets.pop_front();
}

void PacketBacklog::Clear()
{
    m_packets.clear();
    m_nBytes = 0;
}

}  // namespace demux
