#include "playback/catch_up.h"

namespace playback {

bool CatchUp::ShouldSkip(double pts, double clock, uint32_t nowTick, const PlaybackTag& tag)
{
    if (!m_bHaveWindow || CompareTags(tag, m_tag) != TagOrder::Same) {
        // Another position or pass: its pts are on another time line.
        m_tag = tag;
        m_bSlow = false;
        m_bSkipping = false;
        StartWindow(pts, nowTick);
    }
    const uint32_t elapsed = nowTick - m_windowTick;
    if (elapsed > CATCH_UP_STALE_MS) {
        m_bSlow = false;
        StartWindow(pts, nowTick);
    } else if (elapsed >= CATCH_UP_WINDOW_MS) {
        m_bSlow = pts - m_windowPts < elapsed / 1000.0;
        StartWindow(pts, nowTick);
    }
    const bool leadShort = pts < clock + CATCH_UP_LEAD_SECONDS;
    m_bSkipping = leadShort && (m_bSkipping || m_bSlow);
    return m_bSkipping;
}

void CatchUp::StartWindow(double pts, uint32_t nowTick)
{
    m_bHaveWindow = true;
    m_windowTick = nowTick;
    m_windowPts = pts;
}

}  // namespace playback
