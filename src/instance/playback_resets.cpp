// The per-playback values each playback event starts afresh, one function per event, so
// that a value added later is reset by every event that needs it.
#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "platform/time_source.h"

// Every value of a playback, as a new instance has it, so that a reopened instance plays
// like a new one. Control thread, with the render clock and the decoder thread stopped;
// the host's audio thread may pull meanwhile, and finds nothing to play.
void CQuorvel::ResetForOpen()
{
    m_bPaused.store(false);
    m_nSnapshotSize.store(0);
    m_nSnapshotFormat.store(0);
    m_bHoldNextPicture.store(false);
    m_nWidth.store(0);
    m_nHeight.store(0);
    m_nFrameRate.store(0);
    m_bAudioOnly.store(false);
    m_bAudioRefused.store(false);
    StartGeneration(0.0);
    FlushQueues();
}

// Close, with both threads stopped: the queues, the pool's memory, and a clock at 0 until
// the next Open.
void CQuorvel::ResetForClose()
{
    m_playback.BeginGeneration(0.0);
    FlushQueues();
    m_framePool.Trim();
}

// Pause: the clock stands where it is.
void CQuorvel::ResetForPause()
{
    const uint32_t now = platform::GetTickCount();
    m_playback.Update(
        [now](quorvel::PlaybackValues& values) { values.m_dLastPlayAVPTS.Stand(now); });
}

// Resume: the clock goes on from where it stood, so the time paused is not owed pictures.
void CQuorvel::ResetForResume()
{
    m_bHoldNextPicture.store(false);
    const uint32_t now = platform::GetTickCount();
    m_playback.Update(
        [now](quorvel::PlaybackValues& values) { values.m_dLastPlayAVPTS.Resume(now); });
}

void CQuorvel::StartGeneration(double clock)
{
    m_pCtx->m_pDemuxer->SetDecodeGeneration(m_playback.BeginGeneration(clock));
}

// Every picture and block of the pass played has been taken. When the decoder has ended
// (looping off) the file has played out: the clock stands at its end, and GetPos answers
// the duration. Otherwise the next pass begins.
void CQuorvel::FinishPass(const quorvel::PlaybackValues& playing)
{
    if (m_pCtx->m_pDemuxer->HasEnded()) {
        const uint32_t now = platform::GetTickCount();
        m_playback.UpdateIf(playing.tag, [now](quorvel::PlaybackValues& values) {
            values.m_dLastPlayAVPTS.Stand(now);
            values.bPlayedOut = true;
        });
        return;
    }
    StartNextPass(playing);
}

// The next pass's clock stands at the start of the media until the pass begins to play;
// what is left of the old pass is dropped.
bool CQuorvel::StartNextPass(const quorvel::PlaybackValues& playing)
{
    if (!m_playback.StartNextPass(playing.tag, 0.0)) {
        return false;
    }
    const size_t queued = DropOlderThan({playing.tag.nGeneration, playing.tag.nPass + 1});
    LogMessage(LOG_INFO, L"::last framr  reset %d %f", static_cast<int>(queued),
               playing.m_lstvidep);
    return true;
}
