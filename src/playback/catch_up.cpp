#include "playback/catch_up.h"

namespace playback {

bool CatchUp::ShouldSkip(double pts, uint32_t nowTick, const PlaybackTag& tag)
{
    if (!m_bHaveWindow || CompareTags(tag, m_tag) != TagOrder::Same) {
        // Another position or pass: its pts are on another time line.
        m_tag = tag;
        m_bSlow = false;
        m_bSkipping = false;
        StartWindow(pts, nowTick);
    }
    const bool caughtUp = m_bQueueFull;
    m_bFullInWindow = m_bFullInWindow || caughtUp;
    m_bQueueFull = false;
    const uint32_t elapsed = nowTick - m_windowTick;
    if (elapsed > CATCH_UP_STALE_MS) {
        m_bSlow = false;
        StartWindow(pts, nowTick);
    } else if (elapsed >= CATCH_UP_WINDOW_MS) {
        m_bSlow = !m_bFullInWindow && pts - m_windowPts < elapsed / 1000.0;
        StartWindow(pts, nowTick);
    }
    m_bSkipping = !caughtUp && (m_bSkipping || m_bSlow);
    return m_bSkipping;
}

void CatchUp::StartWindow(double pts, uint32_t nowTick)
{
    m_bHaveWindow = true;
    m_windowTick = nowTick;
    m_windowPts = pts;
    m_bFullInWindow = false;
}

}  // namespace playback
