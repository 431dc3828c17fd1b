#include "instance/quorvel_instance.h"

#include "demux/media_limits.h"
#include "diag/instance_registry.h"
#include "diag/log.h"
#include "instance/file_limits.h"
#include "playback/pacing.h"

CQuorvel::CQuorvel(const wchar_t* path, MediaFileInterface* events)
    : m_pCtx(std::make_unique<quorvel::PlaybackContext>()), m_strFile(path), m_events(this, events)
{
    diag::RegisterInstance(static_cast<DemuxerInterface*>(this));
    SetLoop(0);
}

CQuorvel::~CQuorvel()
{
    Detach();
    diag::UnregisterInstance(static_cast<DemuxerInterface*>(this));
    FlushQueues();
    m_pCtx->m_pVideoModel.reset();
    // A decoder thread that could not be ended still uses its Demuxer: kept, deliberately.
    if (m_pCtx->m_pDemuxer->Abandoned()) static_cast<void>(m_pCtx->m_pDemuxer.release());
    m_pCtx->m_pDemuxer.reset();
    m_pCtx.reset();
}

void* CQuorvel::DeletingDestructor(uint32_t flags)
{
    void* self = static_cast<IMediaFile*>(this);
    Detach();
    if (m_pCtx->m_pDemuxer->Abandoned() || m_pCtx->m_pVideoModel->Abandoned()) {
        // A decoder or clock thread that could not be ended may still call this instance
        // at any time: the whole instance is kept, deliberately, out of the log registry
        // and without the host's object.
        diag::UnregisterInstance(static_cast<DemuxerInterface*>(this));
        return self;
    }
    if ((flags & QUORVEL_DELETE_MEMORY) != 0) {
        delete this;
    } else {
        this->~CQuorvel();
    }
    return self;
}

// Unlinks the workers and the host first, so that no callback or event starts after
// this; only then are the threads stopped.
void CQuorvel::Detach()
{
    m_pCtx->m_pVideoModel->SetOwner(nullptr);
    m_pCtx->m_pDemuxer->SetOwner(nullptr);
    m_events.Detach();
    if (IsOpen() != 0) {
        Close();
    }
    if (m_pCtx->m_pVideoModel->IsRunning()) {
        m_pCtx->m_pVideoModel->Stop();
    }
}

void CQuorvel::NotifyOpenFailed() { m_events.Post(MEDIA_EVENT_OPEN_FAILED, 0, nullptr); }

int32_t CQuorvel::CheckFile()
{
    Demuxer& demuxer = *m_pCtx->m_pDemuxer;
    if (demuxer.Init(m_strFile) < 0) {
        NotifyOpenFailed();
        return 0;
    }
    MediaInfo info{};
    demuxer.GetMediaInfo(&info);
    const quorvel::PlayedStreams streams = demuxer.IsVideoOnly() ? quorvel::PlayedStreams::VideoOnly
                                           : demuxer.IsAudioOnly()
                                               ? quorvel::PlayedStreams::AudioOnly
                                               : quorvel::PlayedStreams::AudioAndVideo;
    if (!quorvel::IsWithinPlayableLimits(info, streams)) {
        LogMessage(LOG_INFO, L"invalid file");
        return 0;
    }
    return 1;
}

// Refused on an open instance: its Demuxer is in use by the decoder thread. The file of a
// playable answer stays open for the next Open (see Demuxer::UnInit).
int32_t CQuorvel::GetFileInfo(uint32_t /*reserved*/, int32_t* pbAudioOnly, MediaFileInfo* pInfo)
try {
    if (pbAudioOnly == nullptr || pInfo == nullptr || m_bOpened.load()) {
        return 0;
    }
    Demuxer& demuxer = *m_pCtx->m_pDemuxer;
    if (CheckFile() == 0) {
        demuxer.UnInit();
        return 0;
    }
    *pbAudioOnly = IsAudioOnly() != 0 ? 1 : 0;
    demuxer.GetFileInfo(pInfo);
    demuxer.UnInit(Demuxer::KeepFile::ForNextInit);
    return 1;
} catch (...) {
    return 0;
}

// Refused on an open instance (also after a failed Open, until Close): initialising the
// Demuxer again under a running decoder thread is not safe.
int32_t CQuorvel::Open()
try {
    if (m_bOpened.load()) {
        return 0;
    }
    CVideoModel& clock = *m_pCtx->m_pVideoModel;
    Demuxer& demuxer = *m_pCtx->m_pDemuxer;
    if (clock.IsRunning()) {
        clock.Stop();
    }
    ResetForOpen();
    m_bOpened.store(true);
    if (demuxer.Init(m_strFile) < 0) {
        NotifyOpenFailed();
        return 0;
    }
    MediaInfo info{};
    demuxer.GetMediaInfo(&info);
    // The limits judge the declared rate; pacing and the queue take only a believable one.
    m_nFrameRate.store(demux::IsPlausibleFrameRate(info.nFrameRate) ? info.nFrameRate : 0);
    if (demuxer.IsAudioOnly() && !quorvel::IsNativeAudioOnlyRate(info.nSampleRate)) {
        demuxer.ForceSampleRate44100();
    }
    if (info.nChannels == 6) {
        demuxer.ForceStereoOutput();
    }
    // The host gets pictures upright and with square pixels; the limits judged the coded size.
    int32_t width = 0;
    int32_t height = 0;
    demuxer.GetDeliveredSize(&width, &height);
    if (IsAudioOnly() == 0) {
        clock.SetVideoSize(width, height);
        clock.Start();
    } else {
        m_bAudioOnly.store(true);
    }
    demuxer.Start();
    m_nWidth.store(width);
    m_nHeight.store(height);
    return 1;
} catch (...) {
    return 0;
}

void CQuorvel::Close()
{
    CVideoModel& clock = *m_pCtx->m_pVideoModel;
    Demuxer& demuxer = *m_pCtx->m_pDemuxer;
    if (IsAudioOnly() == 0) {
        clock.Stop();
        clock.FreeBuffers();
    }
    demuxer.Stop();
    demuxer.UnInit();
    if (!demuxer.Abandoned()) {
        ReturnLentPicture();  // else the decoder thread may still be packing into it
    }
    ResetForClose();
    m_bOpened.store(false);
}
