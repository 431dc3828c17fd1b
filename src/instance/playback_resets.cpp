// The per-playback values each playback event starts afresh, one function per event, so
// that a value added later is reset by every event that needs it.
#include "instance/quorvel_instance.h"
#include "playback/pacing.h"

// Every value of a playback, as a new instance has it (the end of the pass as not yet
// seen), so that a reopened instance plays like a new one. Control thread, with the
// render clock and the decoder thread stopped; the host's audio thread may pull
// meanwhile, and finds nothing to play.
void CQuorvel::ResetForOpen()
{
    m_bPaused.store(false);
    m_dLastPlayAVPTS.store(0.0);
    m_nFrameCount.store(0);
    m_dwStartTick.store(0);
    m_bRebaseTicks.store(false);
    m_lstvidep.store(0.0);
    m_bAudioSynced.store(false);
    m_dfinal.store(playback::PACING_NO_END);
    m_dfinalAudio.store(playback::PACING_NO_END);
    m_nSnapshotSize.store(0);
    m_nSnapshotFormat.store(0);
    m_nWidth.store(0);
    m_nHeight.store(0);
    m_nFrameRate.store(0);
    m_llStartTime.store(0);
    m_bAudioOnly.store(false);
    m_bLastFrame.store(false);
    m_bAudioRefused.store(false);
    {
        platform::LockGuard guard(m_pCtx->m_csVideo);
        m_llShownPos = -1;
        m_dShownPts = 0.0;
    }
    FlushQueues();
}

// Close: the queues and the position. The rest waits for the next Open, which resets
// everything; until then the instance answers GetPos with 0.
void CQuorvel::ResetForClose()
{
    FlushQueues();
    m_dLastPlayAVPTS.store(0.0);
}

// Resume: the tick pacing starts a new base, so the time paused is not owed pictures.
void CQuorvel::ResetForResume() { m_bRebaseTicks.store(true); }

// Seek, once the request is posted (the queues were emptied and the clock set to the
// target before): a new tick base, and no picture of the old position counts as taken,
// also one the clock thread took while the request was being posted.
void CQuorvel::ResetForSeek()
{
    m_bRebaseTicks.store(true);
    m_lstvidep.store(0.0);
}

// A new pass of a looping file: the clock starts again from 0, tick-paced until the
// audio of the new pass is heard, and the end of the pass is passed.
void CQuorvel::ResetPlaybackClock()
{
    m_dLastPlayAVPTS.store(0.0);
    m_bRebaseTicks.store(true);
    m_bAudioSynced.store(false);
    m_bLastFrame.store(false);
    m_lstvidep.store(0.0);
}
