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
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    if (VideoPassDone(playing)) {
        FinishVideoPass(playing);
        return 0;
    }
    const ClockSize size{pWidth, pHeight};
    if (IsTickPaced(playing)) {
        return DeliverByTickCount(playing, size);
    }
    return DeliverByAudioClock(playing, size);
}

bool CQuorvel::IsTickPaced(const quorvel::PlaybackValues& playing)
{
    return m_pCtx->m_pDemuxer->IsVideoOnly() || (!playing.m_bAudioSynced && IsAudioOnly() == 0);
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
// so that video catches up after a seek or a stall.
void CQuorvel::SkipLaggingPictures()
{
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    double lastTaken = playing.m_lstvidep;
    while (lastTaken + playback::PACING_LAG_SKIP_SECONDS < playing.m_dLastPlayAVPTS) {
        VideoFrame picture = TakeVideoFrame(playing.tag);
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
// too, or at once while pictures follow the tick count (the audio left of the pass goes
// with it); until then the audio pull plays on and starts it.
void CQuorvel::FinishVideoPass(const quorvel::PlaybackValues& playing)
{
    if (IsTickPaced(playing) || AudioPassDone(playing)) {
        StartNextPass(playing);
    }
}

// A picture goes out once the audio clock has reached the pts of the one before it.
int CQuorvel::DeliverByAudioClock(const quorvel::PlaybackValues& playing, const ClockSize& size)
{
    if (playing.m_lstvidep > playing.m_dLastPlayAVPTS) {
        return 0;
    }
    VideoFrame picture = TakeClockPicture(playing.tag, size);
    if (picture.pData == nullptr) {
        return 0;
    }
    if (m_events.HasSink()) {
        LogMessage(LOG_INFO, L"OnRenderGetVideoFrame call back m_dLastPlayAVPTS  pts %f,%f",
                   playing.m_dLastPlayAVPTS, picture.dPts);
        SendPicture(picture);
    }
    m_framePool.ReleaseBuffer(picture);
    const double pts = picture.dPts;
    m_playback.UpdateIf(playing.tag,
                        [pts](quorvel::PlaybackValues& values) { values.m_lstvidep = pts; });
    return picture.nSize;
}

// The frame counter moves before the queue is asked, so a tick that finds the queue
// empty still uses up its period and later ticks catch up one picture each. The base and
// the counter change together under the record's lock, so a Resume or a seek cannot tear
// them. Without audio the clock follows the pictures. After the first picture, pictures
// wait with the audio for the decoder to read ahead, and then start from a new base.
int CQuorvel::DeliverByTickCount(const quorvel::PlaybackValues& playing, const ClockSize& size)
{
    if (playing.bPictureShown && AwaitsReadAhead(playing)) {
        m_playback.UpdateIf(playing.tag,
                            [](quorvel::PlaybackValues& values) { values.m_nFrameCount = 0; });
        return 0;
    }
    const uint32_t now = platform::GetTickCount();
    const int32_t frameRate = m_nFrameRate.load();
    bool due = false;
    m_playback.UpdateIf(playing.tag, [now, frameRate, &due](quorvel::PlaybackValues& values) {
        if (values.m_nFrameCount == 0) {
            values.m_nFrameCount = 1;
            values.m_dwStartTick = now;
        }
        due = playback::IsTickPictureDue(static_cast<uint32_t>(values.m_nFrameCount), frameRate,
                                         values.m_dwStartTick, now);
        if (due) {
            ++values.m_nFrameCount;
        }
    });
    if (!due) {
        return 0;
    }
    VideoFrame picture = TakeClockPicture(playing.tag, size);
    if (picture.pData == nullptr) {
        return 0;
    }
    const double pts = picture.dPts;
    LogMessage(LOG_INFO, L"::chun  only video  videosize %d %f %f", picture.nSize, pts,
               playing.m_dLastPlayAVPTS);
    SendPicture(picture);
    m_framePool.ReleaseBuffer(picture);
    m_playback.UpdateIf(playing.tag, [pts](quorvel::PlaybackValues& values) {
        values.m_dLastPlayAVPTS = pts;
        values.m_lstvidep = pts;
        values.bPictureShown = true;
    });
    return picture.nSize;
}

// The taken picture stays lent from the pool until the caller releases it; the clock
// keeps its size.
VideoFrame CQuorvel::TakeClockPicture(const playback::PlaybackTag& tag, const ClockSize& size)
{
    VideoFrame picture = TakeVideoFrame(tag);
    if (picture.pData != nullptr) {
        *size.pWidth = picture.nWidth;
        *size.pHeight = picture.nHeight;
    }
    return picture;
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
