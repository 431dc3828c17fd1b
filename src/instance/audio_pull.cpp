// The host's audio pull: 20 ms of PCM per call, and the playback clock that follows it.
// Host audio thread.
#include <cmath>

#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "playback/pacing.h"

int32_t CQuorvel::OnRenderGetaudioFrame(uint8_t* pBuffer, int32_t* pnBytes, int32_t* pnSampleRate,
                                        int32_t* pnChannels, uint32_t /*nReserved1*/,
                                        uint32_t /*nReserved2*/)
{
    if (m_bPaused.load() || m_pCtx->m_pDemuxer->IsVideoOnly()) {
        return 0;
    }
    const double endOfPassAudio = m_dfinalAudio.load();
    if (endOfPassAudio == m_dLastPlayAVPTS.load()) {
        // The clock stands at the last audio of the pass: pictures take over until the
        // clock is restarted.
        m_bAudioSynced.store(false);
        return 0;
    }
    if (endOfPassAudio < m_dLastPlayAVPTS.load()) {
        return 0;
    }
    double chunkPts = 0.0;
    const int bytes = PopAudioChunk(pBuffer, pnBytes, pnSampleRate, pnChannels, &chunkPts);
    bool endOfPass = false;
    double endPos = 0.0;
    if (bytes == 0) {
        if (!m_bLastFrame.load()) {
            m_bAudioSynced.store(false);
            return 0;
        }
        endOfPass = true;
        endPos = m_dLastPlayAVPTS.load();
    } else if (chunkPts == endOfPassAudio) {
        endOfPass = true;
        endPos = endOfPassAudio;
    }
    return FinishAudioPull(bytes, chunkPts, endOfPass, endPos);
}

int CQuorvel::FinishAudioPull(int nBytes, double dChunkPts, bool bEndOfPass, double dEndPos)
{
    LogMessage(LOG_INFO, L"OnRenderGetaudioFrame::m_dLastPlayAVPTS,pts  m_lstvidep%f %f %f",
               m_dLastPlayAVPTS.load(), dChunkPts, m_lstvidep.load());
    if (!m_bAudioSynced.load() && m_lstvidep.load() > dChunkPts) {
        // Older than the picture already shown: dropped, and from now on pictures wait
        // for the audio while older audio is not decoded at all.
        m_bAudioSynced.store(true);
        return 0;
    }
    if (std::fabs(dChunkPts - m_dLastPlayAVPTS.load()) > playback::PACING_AUDIO_JUMP_SECONDS) {
        return 0;
    }
    m_dLastPlayAVPTS.store(dChunkPts);
    m_bAudioSynced.store(true);
    if (!bEndOfPass) {
        return nBytes;
    }
    if (!m_bAudioOnly.load() && m_dfinal.load() != m_lstvidep.load()) {
        // Pictures of this pass are still to come; the restart is left to video delivery.
        return nBytes;
    }
    DropAudioFrom(dEndPos);
    if (!m_bAudioOnly.load()) {
        DropVideoFrom(m_dfinal.load());
    }
    ResetPlaybackClock();
    return nBytes;
}
