// Playback control on the host's control thread: looping, pause, position and seeking.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "diag/log.h"
#include "instance/position.h"
#include "instance/quorvel_instance.h"
#include "platform/time_source.h"

void CQuorvel::SetLoop(int32_t loop)
try {
    m_pCtx->m_pVideoModel->SetOwner(this);
    m_pCtx->m_pDemuxer->SetOwner(this);
    m_pCtx->m_pDemuxer->SetLoop(loop != 0);
    // Switched on after the decoder has read to the end: it goes on with the next pass.
    if (loop != 0) {
        RestartEndedDecoder();
    }
} catch (...) {
}

int32_t CQuorvel::IsOpen() { return m_bOpened.load() ? 1 : 0; }

// The picture is taken out of the queue first, as the queue lock is never held with
// m_csHeld; the held picture is then replaced under that lock.
void CQuorvel::Pause()
try {
    m_pCtx->m_pDemuxer->Pause();
    m_bPaused.store(true);
    ResetForPause();
    HoldNextPicture();
} catch (...) {
}

// The next picture of the pass played, if one is queued, becomes the held one.
void CQuorvel::HoldNextPicture()
{
    VideoFrame picture = TakeVideoFrame(m_playback.Snapshot().tag);
    bool held = true;
    {
        platform::LockGuard guard(m_pCtx->m_csHeld);
        held = HoldPicture(picture);
    }
    if (!held) {
        LogMessage(LOG_ERROR, L"Quorvel::Pause: no memory to hold a picture of %d bytes",
                   picture.nSize);
    }
    m_framePool.ReleaseBuffer(picture);
}

// No picture (an empty queue, or one whose buffer cannot be had) means none is held. A
// buffer the clock thread is sending still (shared) is left to it.
bool CQuorvel::HoldPicture(const VideoFrame& picture)
{
    m_nSnapshotSize.store(0);
    if (picture.pData == nullptr) {
        return true;
    }
    const auto size = static_cast<size_t>(picture.nSize);
    if (!m_pSnapshot || m_pSnapshot.use_count() > 1 || m_pSnapshot->size() < size) {
        try {
            m_pSnapshot = std::make_shared<std::vector<uint8_t>>(
                std::max(size, m_pSnapshot ? m_pSnapshot->size() : 0));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    std::memcpy(m_pSnapshot->data(), picture.pData, size);
    m_nWidth.store(picture.nWidth);
    m_nHeight.store(picture.nHeight);
    m_nSnapshotFormat.store(picture.nFormat);
    m_nSnapshotSize.store(picture.nSize);
    return true;
}

int32_t CQuorvel::IsPaused() { return m_bPaused.load() ? 1 : 0; }

int32_t CQuorvel::Resume()
{
    m_pCtx->m_pDemuxer->Resume();
    m_bPaused.store(false);
    ResetForResume();
    return 1;
}

// The clock as a position within the media. A closed instance, or one whose file did
// not open, has no media: 0. While the media plays, the duration itself is answered once
// the file has played out, and only then, so that a host can tell the end; a clock that
// stands at a seek's target answers it.
int64_t CQuorvel::CurrentPosition() const
{
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    const int64_t duration = MediaDuration();
    const int64_t position =
        quorvel::PositionOf(playing.ClockAt(platform::GetTickCount()), duration);
    if (duration <= 0 || !playing.m_dLastPlayAVPTS.bStarted) {
        return position;
    }
    return playing.bPlayedOut ? duration : std::min(position, duration - 1);
}

int64_t CQuorvel::MediaDuration() const
{
    return m_bOpened.load() ? m_pCtx->m_pDemuxer->GetDuration() : -1;
}

int32_t CQuorvel::GetPos(int64_t* llCurPos, int64_t* llMaxPos)
try {
    if (llCurPos == nullptr || llMaxPos == nullptr) {
        return 0;
    }
    *llCurPos = CurrentPosition();
    *llMaxPos = static_cast<int64_t>(m_pCtx->m_pDemuxer->GetDuration());
    LogMessage(LOG_INFO, L"Quorvel::GetPos: llCurPos=%lld, llMaxPos=%lld",
               static_cast<long long>(*llCurPos), static_cast<long long>(*llMaxPos));
    return 1;
} catch (...) {
    return 0;
}

// A target before the start plays from the start and one past the end is at the end. While
// paused, the decoder still carries the seek out as far as the first picture of the new
// position, which is then held in place of the old one. The
// new generation comes first, so that a pull, a tick or a decoder push under way can no
// longer store or queue the old position; the queues are emptied before the request is
// posted, so that nothing the decoder queues for the new position is emptied with them.
int32_t CQuorvel::SetPos(int64_t pos)
try {
    const int64_t target = quorvel::TargetWithin(pos, MediaDuration());
    const uint64_t generation = m_playback.BeginGeneration(static_cast<double>(target));
    FlushQueues();
    if (m_bPaused.load()) {
        // The picture held is of the old position: the new one's first picture replaces it.
        {
            platform::LockGuard guard(m_pCtx->m_csHeld);
            m_nSnapshotSize.store(0);
        }
        m_bHoldNextPicture.store(true);
    }
    m_pCtx->m_pDemuxer->Seek(target, generation);
    RestartEndedDecoder();
    return 1;
} catch (...) {
    return 0;
}

// With looping off the decoder thread ends with the input. A host that seeks after that
// expects playback from the new position, so the thread is started again to carry the
// seek out; it keeps the pause that Pause gave it.
void CQuorvel::RestartEndedDecoder()
{
    Demuxer& demuxer = *m_pCtx->m_pDemuxer;
    if (m_bOpened.load() && demuxer.HasEnded()) {
        demuxer.Restart();
    }
}

int32_t CQuorvel::IsAudioOnly() { return m_pCtx->m_pDemuxer->IsAudioOnly() ? 1 : 0; }
