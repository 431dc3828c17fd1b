// The frame queues between the decoder thread and the two consumers, and the callbacks
// through which the decoder fills them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "platform/time_source.h"
#include "playback/pacing.h"

namespace {

// Queue limits of the back-pressure: blocks of an audio-only file.
constexpr size_t QUEUE_AUDIO_ONLY_LIMIT = 50;
// Decoded pictures ready ahead of the one shown: enough for the decoder's frame threads
// and a tick of jitter, and a quarter of a second at most (the decoder reads ahead as
// packets, which are a hundred times smaller).
constexpr int64_t QUEUE_PICTURES_LEAST = 4;
constexpr int64_t QUEUE_PICTURES_MOST = 8;
constexpr int64_t QUEUE_PICTURES_PER_SECOND_DIVISOR = 4;  // a quarter of a second
// The rate the picture queue is sized for when the file declares none that can be
// believed (none, negative, absurd). Its pictures are never beyond the playable limits, so
// the few queued are bounded in bytes too.
constexpr int64_t QUEUE_DEFAULT_FRAME_RATE = 25;
// Seconds of audio queued at most beside pictures: the video queue holds about 2.4 s, and
// audio interleaved with it a little more.
constexpr double QUEUE_AUDIO_SECONDS = 8.0;
// Seconds of audio queued below which the decoder reads on to the audio behind the
// pictures before decoding them: more than the read-ahead a playback starts with, and
// more than a heavy picture takes to decode.
constexpr double QUEUE_AUDIO_FIRST_SECONDS = 0.5;
// Seconds of audio one packet holds at most, for judging a packet by its first sample.
constexpr double QUEUE_AUDIO_PACKET_SECONDS = 0.5;
// Spare blocks kept at most: more than steady playback queues, so blocks are reused
// rather than allocated; storage beyond that (after a flush) is freed.
constexpr size_t QUEUE_AUDIO_SPARE_LIMIT = 128;

// Of the s16 PCM a block holds.
double BytesPerSecond(const AudioFrame& block) { return block.BytesPerSecond(); }

}  // namespace

// A buffer lent but not handed back through OnVideoFrame (the picture was withheld, or a
// seek came) is lent again for the next picture.
uint8_t* CQuorvel::LendPictureBuffer(int nSize)
{
    if (!m_bOpened.load()) {
        return nullptr;
    }
    if (m_lentPicture.pData != nullptr && m_lentPicture.nSize == nSize) {
        return m_lentPicture.pData;
    }
    ReturnLentPicture();
    m_lentPicture.pData = m_framePool.GetBuffer(nSize);
    m_lentPicture.nSize = m_lentPicture.pData != nullptr ? nSize : 0;
    return m_lentPicture.pData;
}

void CQuorvel::ReturnLentPicture()
{
    m_framePool.ReleaseBuffer(m_lentPicture);
    m_lentPicture.nSize = 0;
}

int CQuorvel::OnVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int nFormat,
                           double dPts)
{
    if (!m_bOpened.load()) {
        return 0;
    }
    return PushVideoFrame(pData, nSize, nWidth, nHeight, nFormat, dPts, DecodingTag());
}

int CQuorvel::OnAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels,
                           double dPts)
{
    if (!m_bOpened.load()) {
        return 0;
    }
    return PushAudioFrame(pData, nSize, nSampleRate, nChannels, dPts, DecodingTag());
}

playback::PlaybackTag CQuorvel::DecodingTag() const
{
    const demux::DecodeTag& decoding = m_pCtx->m_pDemuxer->DecodingTag();
    return {decoding.nGeneration, decoding.nPass};
}

// The decoder has read the input to its end with looping off: what is queued of the pass
// is all there is.
void CQuorvel::OnDemuxEnd()
{
    if (m_pCtx->m_pDemuxer->HasEnded()) {
        m_playback.NoteEndOfPass(DecodingTag());
    }
}

// Both limits admit a queue that holds exactly the limit, so the queue may grow to one
// entry more (and by the pictures the decoder's frame threads hand out at once). Audio that cannot
// be played is never queued, so an audio-only queue would never fill: once some was refused, the
// decoder is held instead of reading (and, when looping, rewinding) at full speed.
bool CQuorvel::CanAcceptFrame(double /*dPts*/, int nWaitLimit)
{
    if (nWaitLimit == DEMUX_WAIT_AUDIO) {
        return AudioHasRoom();
    }
    if (m_bAudioOnly.load()) {
        if (m_bAudioRefused.load()) {
            return false;
        }
        platform::LockGuard guard(m_pCtx->m_csAudio);
        return m_audioQueue.size() <= QUEUE_AUDIO_ONLY_LIMIT;
    }
    if (VideoQueueFull()) {
        m_catchUp.NoteQueueFull();
        return false;
    }
    return true;
}

// Full when the decoder has to wait.
bool CQuorvel::VideoQueueFull()
{
    const int64_t frameRate = m_nFrameRate.load();
    const auto limit = static_cast<size_t>(std::clamp(
        (frameRate > 0 ? frameRate : QUEUE_DEFAULT_FRAME_RATE) / QUEUE_PICTURES_PER_SECOND_DIVISOR,
        QUEUE_PICTURES_LEAST, QUEUE_PICTURES_MOST));
    platform::LockGuard guard(m_pCtx->m_csVideo);
    return m_videoQueue.size() > limit;
}

// Audio beside pictures is held to a few seconds. While the host is not taking audio, the
// clock runs by itself and what it has passed can never be heard: it is dropped to make
// room, so that pictures keep coming.
bool CQuorvel::AudioHasRoom()
{
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    const uint32_t now = platform::GetTickCount();
    platform::LockGuard guard(m_pCtx->m_csAudio);
    if (playing.m_dLastPlayAVPTS.bStarted && !playing.HostPulls(now)) {
        const double passed = playing.ClockAt(now) - playback::PACING_LAG_SKIP_SECONDS;
        while (!m_audioQueue.empty() &&
               playback::CompareTags(m_audioQueue.front().tag, playing.tag) !=
                   playback::TagOrder::Newer &&
               m_audioQueue.front().EndPts() < passed) {
            m_nAudioBytes -= m_audioQueue.front().nSize;
            PopAudioBlock();
        }
    }
    if (m_audioQueue.empty()) {
        return true;
    }
    return m_nAudioBytes <= QUEUE_AUDIO_SECONDS * BytesPerSecond(m_audioQueue.front());
}

// Codes other than the end of a pass and the two log codes are sent by nobody; they are
// ignored.
void CQuorvel::OnDemuxEvent(int nCode, intptr_t nParam, double /*dValue*/)
{
    switch (nCode) {
    case DEMUX_EVENT_END_OF_PASS:
        m_playback.NoteEndOfPass(DecodingTag());
        LogMessage(LOG_INFO, L"last frame m_dfinal pts %f", GetLastVideoPts());
        LogMessage(LOG_INFO, L"last frame m_dfinal audio pts %f", GetLastAudioPts());
        break;
    case DEMUX_EVENT_LOG_ERROR:
    case DEMUX_EVENT_LOG_INFO: ForwardLog(nCode, nParam); break;
    default: break;
    }
}

void CQuorvel::ForwardLog(int nCode, intptr_t nParam)
{
    const uintptr_t level = nCode == DEMUX_EVENT_LOG_ERROR ? LOG_ERROR : LOG_INFO;
    m_events.Post(MEDIA_EVENT_LOG, level, reinterpret_cast<const wchar_t*>(nParam));
}

// Audio the clock has passed by more than the lag threshold would only be dropped by the
// pull: it is not decoded. Audio of another pass than the one played (the decoder reads
// the next pass, whose time line starts again) is not older than the clock; audio of an
// older generation is refused when it is queued.
bool CQuorvel::AcceptAudioPts(double dPts)
{
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    const bool samePass =
        playback::CompareTags(DecodingTag(), playing.tag) == playback::TagOrder::Same;
    if (!samePass || !playing.bAudioHeard) {
        return true;
    }
    return dPts + QUEUE_AUDIO_PACKET_SECONDS + playback::PACING_LAG_SKIP_SECONDS >=
           playing.ClockAt(platform::GetTickCount());
}

// Late: pictures nothing refers to are not decoded while the decoder cannot keep up with
// the clock (see playback::CatchUp), nor while the pictures are ones the render clock
// would drop as lagging anyway, once the audio of the pass has set the clock (when decoding
// falls behind, the audio read beside the pictures runs dry, and the pictures then follow
// a clock that runs by itself); far behind it, the decoder skips to the next key picture.
// Never while paused, before the clock starts, nor for another pass or position than the
// one played.
DemuxerInterface::Lateness CQuorvel::LatenessOf(double dPts)
{
    if (m_bPaused.load()) {
        return Lateness::OnTime;
    }
    const quorvel::PlaybackValues playing = m_playback.Snapshot();
    if (playback::CompareTags(DecodingTag(), playing.tag) != playback::TagOrder::Same ||
        !playing.m_dLastPlayAVPTS.bStarted) {
        return Lateness::OnTime;
    }
    const uint32_t now = platform::GetTickCount();
    const double behind = playing.bAudioHeard ? playing.ClockAt(now) - dPts : 0.0;
    // Asked whatever the answer, so that its measure goes on.
    const bool slow = m_catchUp.ShouldSkip(dPts, now, playing.tag);
    if (behind > playback::PACING_SKIP_TO_KEY_SECONDS) {
        return Lateness::Lagging;
    }
    return slow || behind > playback::PACING_LAG_SKIP_SECONDS ? Lateness::Slow : Lateness::OnTime;
}

// Audio that cannot be played is not wanted at all. The audio of every pass counts: the
// decoder reads ahead into the next one.
bool CQuorvel::WantsAudioFirst()
{
    if (!m_bOpened.load() || m_bAudioOnly.load() || m_bAudioRefused.load()) {
        return false;
    }
    platform::LockGuard guard(m_pCtx->m_csAudio);
    if (m_audioQueue.empty()) {
        return true;
    }
    return m_nAudioBytes < QUEUE_AUDIO_FIRST_SECONDS * BytesPerSecond(m_audioQueue.front());
}

// Started on the first block, the audio of a file that decodes slower than real time would
// run dry at once; so the first chunk after Open or a seek waits until the decoder has read
// some ahead, and after the first picture so do the pictures (they would pass the audio
// by). Passes after the first start with what the decoder read ahead meanwhile.
bool CQuorvel::AwaitsReadAhead(const quorvel::PlaybackValues& playing)
{
    if (playing.bReadAhead || playing.bAudioHeard || playing.tag.nPass != 0 ||
        m_bAudioOnly.load() || m_pCtx->m_pDemuxer->IsVideoOnly()) {
        return false;
    }
    if (!m_pCtx->m_pDemuxer->ReadsOn()) {
        return false;  // nothing more to wait for, until it is started again
    }
    if (!ReadAheadDone(playing)) {
        return true;
    }
    m_playback.UpdateIf(playing.tag,
                        [](quorvel::PlaybackValues& values) { values.bReadAhead = true; });
    return false;
}

// Enough audio of the pass is queued, or no more of it will be for now: the decoder's
// read-ahead is full, it has read the pass to its end, or the audio cannot be played.
bool CQuorvel::ReadAheadDone(const quorvel::PlaybackValues& playing)
{
    if (playing.PassRead() || m_bAudioRefused.load() || m_pCtx->m_pDemuxer->ReadAheadFull()) {
        return true;
    }
    platform::LockGuard guard(m_pCtx->m_csAudio);
    if (m_audioQueue.empty()) {
        return false;
    }
    if (playback::CompareTags(m_audioQueue.back().tag, playing.tag) == playback::TagOrder::Newer) {
        return true;
    }
    return PassBytes(playing.tag) >=
           playback::PACING_READ_AHEAD_SECONDS * BytesPerSecond(m_audioQueue.front());
}

// A picture of an older generation than the record's (decoded before a seek or Open that
// the decoder has not yet taken up) is refused, checked under the queue lock: the event
// begins its generation before it empties the queue, so nothing of the old position
// can land in the emptied queue.
int CQuorvel::PushVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int nFormat,
                             double dPts, const playback::PlaybackTag& tag)
{
    if (pData == nullptr || nSize <= 0 || tag.nGeneration != m_playback.Generation()) {
        return 0;
    }
    VideoFrame frame{nullptr, nSize, nWidth, nHeight, nFormat, dPts, tag};
    if (pData == m_lentPicture.pData && nSize == m_lentPicture.nSize) {
        // Packed in place: the lent buffer is queued as it is.
        frame.pData = m_lentPicture.pData;
        m_lentPicture = VideoFrame{};
    } else {
        frame.pData = m_framePool.GetBuffer(nSize);
        if (frame.pData == nullptr) {
            return 0;
        }
        std::memcpy(frame.pData, pData, static_cast<size_t>(nSize));
    }
    try {
        platform::LockGuard guard(m_pCtx->m_csVideo);
        if (tag.nGeneration == m_playback.Generation()) {
            m_videoQueue.push_back(frame);
            return nSize;
        }
    } catch (const std::bad_alloc&) {
    }
    m_framePool.ReleaseBuffer(frame);
    return 0;
}

// Out of memory drops the block; the byte count moves only with a queued block.
int CQuorvel::PushAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels,
                             double dPts, const playback::PlaybackTag& tag)
{
    if (pData == nullptr || nSize <= 0) {
        return 0;
    }
    if (!playback::IsPlayableAudioFormat(nSampleRate, nChannels)) {
        m_bAudioRefused.store(true);
        return 0;
    }
    platform::LockGuard guard(m_pCtx->m_csAudio);
    if (tag.nGeneration != m_playback.Generation()) {
        return 0;
    }
    try {
        AudioFrame block{TakeAudioStorage(), 0, nSize, nSampleRate, nChannels, dPts, tag};
        block.bytes.assign(pData, pData + nSize);
        m_audioQueue.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    m_nAudioBytes += nSize;
    return nSize;
}

VideoFrame CQuorvel::TakeVideoFrame(const playback::PlaybackTag& tag)
{
    return TakeVideoFrameDueBy(tag, std::numeric_limits<double>::infinity());
}

VideoFrame CQuorvel::TakeVideoFrameDueBy(const playback::PlaybackTag& tag, double dueBy)
{
    platform::LockGuard guard(m_pCtx->m_csVideo);
    DropOlderPictures(tag);
    if (m_videoQueue.empty() ||
        playback::CompareTags(m_videoQueue.front().tag, tag) != playback::TagOrder::Same ||
        m_videoQueue.front().dPts > dueBy) {
        return VideoFrame{};
    }
    const VideoFrame frame = m_videoQueue.front();
    m_videoQueue.pop_front();
    return frame;
}

// The clock of a pass starts at the earliest picture or sound queued of it, which ever
// comes first in the file: a stream that starts later waits for its time.
bool CQuorvel::StartClock(const quorvel::PlaybackValues& playing, uint32_t now)
{
    double start = std::numeric_limits<double>::infinity();
    {
        platform::LockGuard guard(m_pCtx->m_csVideo);
        DropOlderPictures(playing.tag);
        if (!m_videoQueue.empty() && playback::CompareTags(m_videoQueue.front().tag, playing.tag) ==
                                         playback::TagOrder::Same)
            start = m_videoQueue.front().dPts;
    }
    {
        platform::LockGuard guard(m_pCtx->m_csAudio);
        DropOlderBlocks(playing.tag);
        if (FrontIsOfPass(playing.tag)) start = std::min(start, m_audioQueue.front().NextPts());
    }
    if (start == std::numeric_limits<double>::infinity()) {
        return false;
    }
    return m_playback.UpdateIf(playing.tag, [start, now](quorvel::PlaybackValues& values) {
        if (!values.m_dLastPlayAVPTS.bStarted) values.m_dLastPlayAVPTS.Run(start, now);
    });
}

double CQuorvel::GetLastVideoPts()
{
    platform::LockGuard guard(m_pCtx->m_csVideo);
    return m_videoQueue.empty() ? 0.0 : m_videoQueue.back().dPts;
}

double CQuorvel::GetLastAudioPts()
{
    platform::LockGuard guard(m_pCtx->m_csAudio);
    return m_audioQueue.empty() ? 0.0 : m_audioQueue.back().dPts;
}

size_t CQuorvel::DropOlderThan(const playback::PlaybackTag& tag)
{
    size_t queued = 0;
    {
        platform::LockGuard guard(m_pCtx->m_csVideo);
        queued = m_videoQueue.size();
        DropOlderPictures(tag);
    }
    platform::LockGuard guard(m_pCtx->m_csAudio);
    DropOlderBlocks(tag);
    return queued;
}

void CQuorvel::DropOlderPictures(const playback::PlaybackTag& tag)
{
    while (!m_videoQueue.empty() &&
           playback::CompareTags(m_videoQueue.front().tag, tag) == playback::TagOrder::Older) {
        m_framePool.ReleaseBuffer(m_videoQueue.front());
        m_videoQueue.pop_front();
    }
}

void CQuorvel::DropOlderBlocks(const playback::PlaybackTag& tag)
{
    while (!m_audioQueue.empty() &&
           playback::CompareTags(m_audioQueue.front().tag, tag) == playback::TagOrder::Older) {
        m_nAudioBytes -= m_audioQueue.front().nSize;
        PopAudioBlock();
    }
}

bool CQuorvel::VideoPassDone(const quorvel::PlaybackValues& playing)
{
    platform::LockGuard guard(m_pCtx->m_csVideo);
    DropOlderPictures(playing.tag);
    if (m_videoQueue.empty()) {
        return playing.PassRead();
    }
    return playback::CompareTags(m_videoQueue.front().tag, playing.tag) ==
           playback::TagOrder::Newer;
}

bool CQuorvel::AudioPassDone(const quorvel::PlaybackValues& playing)
{
    platform::LockGuard guard(m_pCtx->m_csAudio);
    DropOlderBlocks(playing.tag);
    if (m_audioQueue.empty()) {
        return playing.PassRead();
    }
    return playback::CompareTags(m_audioQueue.front().tag, playing.tag) ==
           playback::TagOrder::Newer;
}

void CQuorvel::FlushQueues()
{
    if (!m_bAudioOnly.load()) {
        {
            platform::LockGuard guard(m_pCtx->m_csVideo);
            m_flushedPictures.swap(m_videoQueue);
        }
        while (!m_flushedPictures.empty()) {
            m_framePool.ReleaseBuffer(m_flushedPictures.front());
            m_flushedPictures.pop_front();
        }
    }
    platform::LockGuard guard(m_pCtx->m_csAudio);
    while (!m_audioQueue.empty()) {
        PopAudioBlock();
    }
    m_nAudioBytes = 0;
}

// The chunk takes only blocks of the pass being played: one that runs into the next pass
// is cut there and ends in silence, so that the next pass starts with its first block
// when its clock does. Blocks the clock (seconds) has passed by more than the lag threshold
// are dropped; a block that does not go on from the audio handed out before waits for its
// time (nothing is taken meanwhile).
CQuorvel::AudioChunk CQuorvel::PopAudioChunk(uint8_t* pDst, int* pnBytes, int* pnSampleRate,
                                             int* pnChannels,
                                             const quorvel::PlaybackValues& playing, double clock)
{
    AudioChunk chunk{};
    if (pDst == nullptr || pnBytes == nullptr || pnSampleRate == nullptr || pnChannels == nullptr) {
        return chunk;
    }
    platform::LockGuard guard(m_pCtx->m_csAudio);
    DropOlderBlocks(playing.tag);
    while (FrontIsOfPass(playing.tag) &&
           m_audioQueue.front().EndPts() < clock - playback::PACING_LAG_SKIP_SECONDS) {
        m_nAudioBytes -= m_audioQueue.front().nSize;
        PopAudioBlock();
    }
    const bool passQueued =
        playing.PassRead() ||
        (!m_audioQueue.empty() &&
         playback::CompareTags(m_audioQueue.back().tag, playing.tag) == playback::TagOrder::Newer);
    if (!FrontIsOfPass(playing.tag)) {
        chunk.bPassDone = passQueued;
        return chunk;
    }
    const AudioFrame& first = m_audioQueue.front();
    chunk.dStart = first.NextPts();
    chunk.bContiguous = playing.bAudioHeard && std::fabs(chunk.dStart - playing.dAudioEnd) <=
                                                   playback::PACING_CONTIGUOUS_SECONDS;
    if (!chunk.bContiguous && chunk.dStart > clock + playback::PACING_AUDIO_AHEAD_SECONDS) {
        return chunk;
    }
    const int size = playback::AudioChunkBytes(first.nSampleRate, first.nChannels);
    const int32_t available = PassBytes(playing.tag);
    if (size <= 0 ||
        (static_cast<uint32_t>(available) < static_cast<uint32_t>(size) && !passQueued)) {
        return chunk;
    }
    *pnBytes = size;
    *pnSampleRate = first.nSampleRate;
    *pnChannels = first.nChannels;
    chunk.dEnd = chunk.dStart + size / first.BytesPerSecond();
    std::memset(pDst, 0, static_cast<size_t>(size));
    int filled = 0;
    while (filled < size && FrontIsOfPass(playing.tag)) {
        AudioFrame& block = m_audioQueue.front();
        const int taken = std::min(block.nSize, size - filled);
        std::memcpy(pDst + filled, block.Unconsumed(), static_cast<size_t>(taken));
        filled += taken;
        m_nAudioBytes -= taken;
        if (taken == block.nSize) {
            PopAudioBlock();
        } else {
            block.nOffset += taken;
            block.nSize -= taken;
        }
    }
    chunk.nBytes = size;
    chunk.bPassDone = passQueued && !FrontIsOfPass(playing.tag);
    return chunk;
}

bool CQuorvel::FrontIsOfPass(const playback::PlaybackTag& tag)
{
    return !m_audioQueue.empty() &&
           playback::CompareTags(m_audioQueue.front().tag, tag) == playback::TagOrder::Same;
}

// Bytes queued of tag's pass; blocks of later passes follow them.
int32_t CQuorvel::PassBytes(const playback::PlaybackTag& tag)
{
    if (m_audioQueue.empty() ||
        playback::CompareTags(m_audioQueue.back().tag, tag) == playback::TagOrder::Same) {
        return m_nAudioBytes;
    }
    int32_t bytes = 0;
    m_audioQueue.ForEach([&bytes, &tag](const AudioFrame& block) {
        if (playback::CompareTags(block.tag, tag) == playback::TagOrder::Same) bytes += block.nSize;
    });
    return bytes;
}

std::vector<uint8_t> CQuorvel::TakeAudioStorage()
{
    if (m_audioSpare.empty()) {
        return {};
    }
    std::vector<uint8_t> storage = std::move(m_audioSpare.back());
    m_audioSpare.pop_back();
    return storage;
}

// Keeps the front block's storage for a later block; without room for it, it is freed.
void CQuorvel::PopAudioBlock()
{
    if (m_audioSpare.size() < QUEUE_AUDIO_SPARE_LIMIT) {
        try {
            m_audioSpare.push_back(std::move(m_audioQueue.front().bytes));
        } catch (const std::bad_alloc&) {
        }
    }
    m_audioQueue.pop_front();
}
