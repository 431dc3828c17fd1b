// The host's audio pull: 20 ms of PCM per call, and the playback clock that follows it.
// Host audio thread.
#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "platform/time_source.h"
#include "playback/pacing.h"

int32_t CQuorvel::OnRenderGetaudioFrame(uint8_t* pBuffer, int32_t* pnBytes, int32_t* pnSampleRate,
                                        int32_t* pnChannels, uint32_t /*nReserved1*/,
                                        uint32_t /*nReserved2*/)
try {
    const uint32_t now = platform::GetTickCount();
    m_llLastPullCall.store(now);
    if (m_bPaused.load() || m_pCtx->m_pDemuxer->IsVideoOnly()) {
        return 0;
    }
    quorvel::PlaybackValues playing = m_playback.Snapshot();
    if (AwaitsReadAhead(playing)) {
        return 0;
    }
    if (!playing.m_dLastPlayAVPTS.bStarted) {
        if (!StartClock(playing, now)) {
            return 0;
        }
        playing = m_playback.Snapshot();
    }
    const AudioChunk chunk =
        PopAudioChunk(pBuffer, pnBytes, pnSampleRate, pnChannels, playing, playing.ClockAt(now));
    if (chunk.nBytes != 0) {
        return FinishAudioPull(playing, chunk, now);
    }
    if (chunk.bPassDone) {
        FinishAudioPass(playing);
    }
    return 0;
} catch (...) {
    return 0;
}

bool CQuorvel::PullStartsClock(uint32_t now) const
{
    const int64_t last = m_llLastPullCall.load();
    return last >= 0 && !m_pCtx->m_pDemuxer->IsVideoOnly() &&
           static_cast<uint32_t>(now - static_cast<uint32_t>(last)) <= playback::PACING_PULL_GAP_MS;
}

// The chunk handed out is the sound that starts now: the clock is set to it, unless it
// goes on from the sound before it and the clock has not passed it (a host that takes
// its audio ahead of playing it, a burst at a time, keeps the clock running smoothly).
// The clock moves only if the record still plays the pass the chunk was taken for: a
// seek or a new pass that came while the chunk was being taken keeps its own clock, and
// the chunk is not played.
int CQuorvel::FinishAudioPull(const quorvel::PlaybackValues& playing, const AudioChunk& chunk,
                              uint32_t now)
{
    LogMessage(LOG_INFO, L"OnRenderGetaudioFrame::m_dLastPlayAVPTS,pts  m_lstvidep%f %f %f",
               playing.ClockAt(now), chunk.dStart, playing.m_lstvidep);
    const bool current =
        m_playback.UpdateIf(playing.tag, [&chunk, now](quorvel::PlaybackValues& values) {
            if (!chunk.bContiguous || values.ClockAt(now) > chunk.dStart) {
                values.m_dLastPlayAVPTS.Run(chunk.dStart, now);
            }
            values.dAudioEnd = chunk.dEnd;
            values.bAudioHeard = true;
            values.dwLastPull = now;
        });
    if (chunk.bPassDone) {
        FinishAudioPass(playing);
    }
    return current ? chunk.nBytes : 0;
}

// The audio of the pass is played out. The next pass starts once its pictures are all
// shown too (at once in an audio-only file); until then the clock runs on by itself.
void CQuorvel::FinishAudioPass(const quorvel::PlaybackValues& playing)
{
    if (m_bAudioOnly.load() || VideoPassDone(playing)) {
        FinishPass(playing);
    }
}
