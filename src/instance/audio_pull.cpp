// The host's audio pull: 20 ms of PCM per call, and the playback clock that follows it.
// Host audio thread.
#include <cmath>

#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "playback/pacing.h"

int32_t CQuorvel::OnRenderGetaudioFrame(uint8_t* pBuffer, int32_t* pnBytes, int32_t* pnSampleRate,
                                        int32_t* pnChannels, uint32_t /*nReserved1*/,
                                        uint32_t /*nReserved2*/)
try {
    if (m_bPaused.load() || m_pCtx->m_pDemuxer->IsVideoOnly()) {
        return 0;
    }
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    if (AwaitsReadAhead(playing)) {
        return 0;
    }
    const AudioChunk chunk = PopAudioChunk(pBuffer, pnBytes, pnSampleRate, pnChannels, playing);
    if (chunk.nBytes != 0) {
        return FinishAudioPull(playing, chunk);
    }
    if (chunk.bPassDone) {
        FinishAudioPass(playing);
    } else {
        // Run dry: pictures follow the tick count until audio comes again.
        m_playback.UpdateIf(playing.tag,
                            [](quorvel::PlaybackValues& values) { values.FallBackToTicks(); });
    }
    return 0;
} catch (...) {
    return 0;
}

// The clock moves only if the record still plays the pass the chunk was taken for: a
// seek or a new pass that came while the chunk was being taken keeps its own clock, and
// the chunk is not played.
int CQuorvel::FinishAudioPull(const quorvel::PlaybackValues& playing, const AudioChunk& chunk)
{
    LogMessage(LOG_INFO, L"OnRenderGetaudioFrame::m_dLastPlayAVPTS,pts  m_lstvidep%f %f %f",
               playing.m_dLastPlayAVPTS, chunk.dPts, playing.m_lstvidep);
    int played = 0;
    if (!playing.m_bAudioSynced && playing.m_lstvidep > chunk.dPts) {
        // Older than the picture already shown: dropped, and from now on pictures wait
        // for the audio while older audio is not decoded at all.
        m_playback.UpdateIf(playing.tag,
                            [](quorvel::PlaybackValues& values) { values.m_bAudioSynced = true; });
    } else if (std::fabs(chunk.dPts - playing.m_dLastPlayAVPTS) <=
               playback::PACING_AUDIO_JUMP_SECONDS) {
        const double pts = chunk.dPts;
        const bool current =
            m_playback.UpdateIf(playing.tag, [pts](quorvel::PlaybackValues& values) {
                values.m_dLastPlayAVPTS = pts;
                values.m_bAudioSynced = true;
                values.bAudioHeard = true;
            });
        played = current ? chunk.nBytes : 0;
    }
    if (chunk.bPassDone) {
        FinishAudioPass(playing);
    }
    return played;
}

// The audio of the pass is played out. The next pass starts once its pictures are all
// shown too (at once in an audio-only file); until then they follow the tick count.
void CQuorvel::FinishAudioPass(const quorvel::PlaybackValues& playing)
{
    if (m_bAudioOnly.load() || VideoPassDone(playing)) {
        StartNextPass(playing);
        return;
    }
    m_playback.UpdateIf(playing.tag,
                        [](quorvel::PlaybackValues& values) { values.FallBackToTicks(); });
}
