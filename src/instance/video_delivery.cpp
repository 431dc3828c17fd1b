// Video delivery on the render clock thread: decides on each tick whether a picture is
// due, by the audio clock while the host pulls audio and by the tick count otherwise.
#include "demux/host_pixel_format.h"
#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "platform/time_source.h"
#include "playback/pacing.h"

// The clock's buffer is not used: pictures go out in the pool buffers the decoder packed.
int CQuorvel::OnRenderGetVideoFrame(uint8_t* /*pBuffer*/, int /*nBufferSize*/, bool* /*pFlag*/,
                                    int* /*pCount*/, int* pWidth, int* pHeight)
{
    if (m_bPaused.load() && m_nSnapshotSize.load() > 0) {
        return ResendSnapshot();
    }
    SkipLaggingPictures();
    const ClockSize size{pWidth, pHeight};
    const bool tickPaced =
        m_pCtx->m_pDemuxer->IsVideoOnly() || (!m_bAudioSynced.load() && IsAudioOnly() == 0);
    if (tickPaced) {
        return DeliverByTickCount(size);
    }
    return DeliverByAudioClock(size);
}

int CQuorvel::ResendSnapshot()
{
    platform::LockGuard guard(m_pCtx->m_csNotify);
    // Read again under the lock: a Pause that just found no picture may have emptied it.
    const int size = m_nSnapshotSize.load();
    if (size <= 0) {
        return 0;
    }
    SendPicture(m_nSnapshotFormat.load(), m_pSnapshot.get(), size, m_nWidth.load(),
                m_nHeight.load());
    return size;
}

// Pictures more than the lag threshold behind the clock go back to the pool undelivered,
// so that video catches up after a seek or a stall.
void CQuorvel::SkipLaggingPictures()
{
    if (!(m_dfinal.load() > m_lstvidep.load())) {
        return;
    }
    while (m_lstvidep.load() + playback::PACING_LAG_SKIP_SECONDS < m_dLastPlayAVPTS.load()) {
        VideoFrame picture = TakeVideoFrame();
        if (picture.pData == nullptr) {
            return;
        }
        m_lstvidep.store(picture.dPts);
        m_framePool.ReleaseBuffer(picture);
    }
}

// A picture goes out once the audio clock has reached the pts of the one before it.
int CQuorvel::DeliverByAudioClock(const ClockSize& size)
{
    if (m_lstvidep.load() > m_dLastPlayAVPTS.load() || !(m_dfinal.load() > m_lstvidep.load())) {
        return 0;
    }
    VideoFrame picture = TakeClockPicture(size);
    if (picture.pData == nullptr) {
        return 0;
    }
    {
        platform::LockGuard guard(m_pCtx->m_csNotify);
        if (m_pEvents != nullptr) {
            LogMessage(LOG_INFO, L"OnRenderGetVideoFrame call back m_dLastPlayAVPTS  pts %f,%f",
                       m_dLastPlayAVPTS.load(), picture.dPts);
            SendPicture(picture);
        }
    }
    m_framePool.ReleaseBuffer(picture);
    m_lstvidep.store(picture.dPts);
    return picture.nSize;
}

// The frame counter moves before the queue is asked, so a tick that finds the queue
// empty still uses up its period and later ticks catch up one picture each.
int CQuorvel::DeliverByTickCount(const ClockSize& size)
{
    if (m_bRebaseTicks.exchange(false) || m_nFrameCount.load() == 0) {
        m_nFrameCount.store(1);
        m_dwStartTick.store(platform::GetTickCount());
    }
    if (!playback::IsTickPictureDue(static_cast<uint32_t>(m_nFrameCount.load()),
                                    m_nFrameRate.load(), m_dwStartTick.load(),
                                    platform::GetTickCount())) {
        return 0;
    }
    if (!(m_dfinal.load() > m_lstvidep.load())) {
        return 0;
    }
    m_nFrameCount.fetch_add(1);
    VideoFrame picture = TakeClockPicture(size);
    if (picture.pData == nullptr) {
        return 0;
    }
    const double pts = picture.dPts;
    LogMessage(LOG_INFO, L"::chun  only video  videosize %d %f %f", picture.nSize, pts,
               m_dLastPlayAVPTS.load());
    {
        platform::LockGuard guard(m_pCtx->m_csNotify);
        SendPicture(picture);
    }
    m_framePool.ReleaseBuffer(picture);
    if (pts == m_dfinal.load()) {
        RestartLoopAtLastPicture(pts);
    } else {
        // Without audio the clock follows the pictures; at the end of the pass's audio
        // it stays there for the audio pull to restart.
        if (m_dfinalAudio.load() != m_dLastPlayAVPTS.load()) {
            m_dLastPlayAVPTS.store(pts);
        }
        m_lstvidep.store(pts);
    }
    return picture.nSize;
}

// The taken picture stays lent from the pool until the caller releases it; the clock
// keeps its size.
VideoFrame CQuorvel::TakeClockPicture(const ClockSize& size)
{
    VideoFrame picture = TakeVideoFrame();
    if (picture.pData != nullptr) {
        *size.pWidth = picture.nWidth;
        *size.pHeight = picture.nHeight;
    }
    return picture;
}

void CQuorvel::RestartLoopAtLastPicture(double dPts)
{
    DropAudioFrom(m_dLastPlayAVPTS.load());
    const size_t queued = DropVideoFrom(m_dfinal.load());
    LogMessage(LOG_INFO, L"::last framr  reset %d %f", static_cast<int>(queued), dPts);
    ResetPlaybackClock();
}

void CQuorvel::SendPicture(int nFormat, uint8_t* pData, int nSize, int nWidth, int nHeight)
{
    VideoFrameInfo info{demux::ToHostPixelFormat(nFormat), pData, nSize, nWidth, nHeight};
    NotifyHost(MEDIA_EVENT_VIDEO_FRAME, reinterpret_cast<uintptr_t>(&info), 0);
}

void CQuorvel::SendPicture(const VideoFrame& picture)
{
    SendPicture(picture.nFormat, picture.pData, picture.nSize, picture.nWidth, picture.nHeight);
}
