// While the pictures decoded lag so far behind the clock that the render clock would drop
// them unseen, the video packets up to the next key picture are not decoded at all, and
// decoding starts afresh there: a machine too busy to decode every picture still plays
// the sound whole and shows what it can. A stream that marks no key picture within
// SKIP_TO_KEY_MOST_SECONDS is decoded again anyway, so that such a stream is never left
// without pictures.
//
// Threads: the decoder thread only.
#pragma once

#include <cmath>

extern "C" {
#include <libavcodec/packet.h>
}

namespace demux {

constexpr double SKIP_TO_KEY_MOST_SECONDS = 10.0;

class SkipToKey {
public:
    enum class Step {
        Decode,
        Skip,
        Restart,  // flush the decoder, then decode
    };

    // A picture at pts (seconds) lagged: skipping starts, unless it has already.
    void Start(double pts)
    {
        if (m_bSkipping) return;
        m_bSkipping = true;
        m_dSince = pts;
    }
    // The decoder was flushed for another reason (a seek, the next pass).
    void Stop() { m_bSkipping = false; }
    // What to do with the video packet at pts.
    Step Next(const AVPacket& packet, double pts)
    {
        if (!m_bSkipping) return Step::Decode;
        const bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0;
        if (!key && std::fabs(pts - m_dSince) < SKIP_TO_KEY_MOST_SECONDS) return Step::Skip;
        m_bSkipping = false;
        return Step::Restart;
    }

private:
    bool m_bSkipping = false;
    double m_dSince = 0.0;  // seconds: the picture that lagged first
};

}  // namespace demux
