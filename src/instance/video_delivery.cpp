// Video delivery on the render clock thread: on each tick the next picture goes out once
// the playback clock has reached its own time. The clock runs with the tick count; the
// audio the host takes sets it (audio_pull.cpp), so pictures follow the sound.
#include "demux/host_pixel_format.h"
#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "platform/time_source.h"
#include "playback/pacing.h"

// The clock's buffer is not used: pictures go out in the pool buffers the decoder packed.
int CQuorvel::OnRenderGetVideoFrame(uint8_t* /*pBuffer*/, int /*nBufferSize*/, bool* /*pFlag*/,
                                    int* /*pCount*/, int* pWidth, int* pHeight)
{
    if (m_bPaused.load() && m_bHoldNextPicture.load() && m_nSnapshotSize.load() == 0) {
        HoldNextPicture();
        if (m_nSnapshotSize.load() > 0) {
            m_bHoldNextPicture.store(false);
        }
    }
    if (m_bPaused.load() && m_nSnapshotSize.load() > 0) {
        return ResendSnapshot();
    }
    const uint32_t now = platform::GetTickCount();
    SkipLaggingPictures(now);
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    if (VideoPassDone(playing)) {
        FinishVideoPass(playing, now);
        return 0;
    }
    const ClockSize size{pWidth, pHeight};
    if (!playing.m_dLastPlayAVPTS.bStarted) {
        return StartWithPicture(playing, size, now);
    }
    return DeliverDuePicture(playing, size, now);
}

// The held picture is sent from a reference taken under the lock, so that a Pause
// meanwhile does not wait for the host's handler.
int CQuorvel::ResendSnapshot()
{
    std::shared_ptr<std::vector<uint8_t>> held;
    int size = 0;
    int format = 0;
    int width = 0;
    int height = 0;
    {
        platform::LockGuard guard(m_pCtx->m_csHeld);
        // Read again under the lock: a Pause that just found no picture may have emptied it.
        size = m_nSnapshotSize.load();
        if (size <= 0) {
            return 0;
        }
        held = m_pSnapshot;
        format = m_nSnapshotFormat.load();
        width = m_nWidth.load();
        height = m_nHeight.load();
    }
    SendPicture(format, held->data(), size, width, height);
    return size;
}

// Pictures more than the lag threshold behind the clock go back to the pool undelivered,
// so that video catches up after a stall.
void CQuorvel::SkipLaggingPictures(uint32_t now)
{
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    if (!playing.m_dLastPlayAVPTS.bStarted) {
        return;
    }
    const double lagging = playing.ClockAt(now) - playback::PACING_LAG_SKIP_SECONDS;
    double lastTaken = playing.m_lstvidep;
    while (true) {
        VideoFrame picture = TakeVideoFrameDueBy(playing.tag, lagging);
        if (picture.pData == nullptr) {
            break;
        }
        lastTaken = picture.dPts;
        m_framePool.ReleaseBuffer(picture);
    }
    if (lastTaken != playing.m_lstvidep) {
        m_playback.UpdateIf(playing.tag, [lastTaken](quorvel::PlaybackValues& values) {
            values.m_lstvidep = lastTaken;
        });
    }
}

// Every picture of the pass is shown. The next pass starts once its audio is played out
// too, or at once while the host takes no audio (what is left of it goes with the pass);
// until then the audio pull plays on and starts it.
void CQuorvel::FinishVideoPass(const quorvel::PlaybackValues& playing, uint32_t now)
{
    if (!playing.HostPulls(now) || AudioPassDone(playing)) {
        FinishPass(playing);
    }
}

// The first picture of a pass goes out at once, even while its audio is still being read
// ahead; the clock starts once the pass can play (see StartClock), and the pictures after
// the first wait for it. While the host pulls audio, its next pull starts the clock: the
// clock started here would run up to a pull ahead of the sound heard.
int CQuorvel::StartWithPicture(const quorvel::PlaybackValues& playing, const ClockSize& size,
                               uint32_t now)
{
    if (m_bPaused.load()) {
        return 0;
    }
    if (AwaitsReadAhead(playing)) {
        return playing.bPictureShown ? 0 : DeliverPicture(playing, size, 0.0, false);
    }
    if (PullStartsClock(now)) {
        return 0;
    }
    if (!StartClock(playing, now)) {
        return 0;
    }
    return DeliverDuePicture(m_playback.Snapshot(), size, now);
}

int CQuorvel::DeliverDuePicture(const quorvel::PlaybackValues& playing, const ClockSize& size,
                                uint32_t now)
{
    if (!playing.m_dLastPlayAVPTS.bStarted) {
        return 0;
    }
    return DeliverPicture(playing, size, playing.ClockAt(now) + playback::PACING_DUE_AHEAD_SECONDS,
                          playing.HostPulls(now));
}

// The next picture of the pass, when its time is no later than dueBy (seconds; without a
// bound when the clock has not started). The picture stays lent from the pool until it
// has gone out.
int CQuorvel::DeliverPicture(const quorvel::PlaybackValues& playing, const ClockSize& size,
                             double dueBy, bool followsAudio)
{
    VideoFrame picture = playing.m_dLastPlayAVPTS.bStarted ? TakeVideoFrameDueBy(playing.tag, dueBy)
                                                           : TakeVideoFrame(playing.tag);
    if (picture.pData == nullptr) {
        return 0;
    }
    *size.pWidth = picture.nWidth;
    *size.pHeight = picture.nHeight;
    const double clock = playing.ClockAt(platform::GetTickCount());
    if (followsAudio) {
        if (m_events.HasSink()) {
            LogMessage(LOG_INFO, L"OnRenderGetVideoFrame call back m_dLastPlayAVPTS  pts %f,%f",
                       clock, picture.dPts);
        }
    } else {
        LogMessage(LOG_INFO, L"::chun  only video  videosize %d %f %f", picture.nSize, picture.dPts,
                   clock);
    }
    SendPicture(picture);
    m_framePool.ReleaseBuffer(picture);
    const double pts = picture.dPts;
    m_playback.UpdateIf(playing.tag, [pts](quorvel::PlaybackValues& values) {
        values.m_lstvidep = pts;
        values.bPictureShown = true;
    });
    return picture.nSize;
}

void CQuorvel::SendPicture(int nFormat, uint8_t* pData, int nSize, int nWidth, int nHeight)
{
    VideoFrameInfo info{demux::ToHostPixelFormat(nFormat), pData, nSize, nWidth, nHeight};
    m_events.Send(MEDIA_EVENT_VIDEO_FRAME, reinterpret_cast<uintptr_t>(&info));
}

void CQuorvel::SendPicture(const VideoFrame& picture)
{
    SendPicture(picture.nFormat, picture.pData, picture.nSize, picture.nWidth, picture.nHeight);
}
