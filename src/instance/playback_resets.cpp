// The per-playback values each playback event starts afresh, one function per event, so
// that a value added later is reset by every event that needs it.
#include "diag/log.h"
#include "instance/quorvel_instance.h"

// Every value of a playback, as a new instance has it, so that a reopened instance plays
// like a new one. Control thread, with the render clock and the decoder thread stopped;
// the host's audio thread may pull meanwhile, and finds nothing to play.
void CQuorvel::ResetForOpen()
{
    m_bPaused.store(false);
    m_nSnapshotSize.store(0);
    m_nSnapshotFormat.store(0);
    m_nWidth.store(0);
    m_nHeight.store(0);
    m_nFrameRate.store(0);
    m_llStartTime.store(0);
    m_bAudioOnly.store(false);
    m_bAudioRefused.store(false);
    {
        platform::LockGuard guard(m_pCtx->m_csVideo);
        m_llShownPos = -1;
        m_dShownPts = 0.0;
    }
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

// Resume: the tick pacing starts a new base, so the time paused is not owed pictures.
void CQuorvel::ResetForResume()
{
    m_playback.Update([](quorvel::PlaybackValues& values) { values.m_nFrameCount = 0; });
}

void CQuorvel::StartGeneration(double clock)
{
    m_pCtx->m_pDemuxer->SetDecodeGeneration(m_playback.BeginGeneration(clock));
}

// The clock starts again from 0, tick-paced until the audio of the new pass is heard;
// what is left of the old pass is dropped. (Not from the start time: no picture has been
// taken in the new pass, and one the clock were ahead of would be skipped as lagging.)
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

double CQuorvel::StartOfMediaClock() const
{
    const int64_t startTime = m_llStartTime.load();
    return startTime > 0 ? static_cast<double>(startTime) : 0.0;
}
