// The decoder thread's body: read, wait for room, decode, convert, hand out; seek,
// drain, rewind. All of it runs on the decoder thread.
#include <limits>

#include "demux/decode_state.h"
#include "demux/demuxer.h"
#include "demux/media_limits.h"
#include "demux/stream_rules.h"
#include "diag/log.h"
#include "platform/time_source.h"

namespace {

constexpr uint32_t DECODE_EXIT_FAILURE = 0xFFFFFFFF;
constexpr uint32_t DECODE_PAUSE_SLEEP_MS = 10;
constexpr uint32_t DECODE_WAIT_SLEEP_MS = 50;
// The wait for room is slept in slices, so that a seek or a stop posted meanwhile is
// acted on within a slice rather than after the whole period; the owner is still asked
// once a period.
constexpr uint32_t DECODE_WAIT_SLICE_MS = 10;
constexpr int DECODE_PIXEL_FORMAT_YUV420 = 0;

double Seconds(int64_t ts, AVRational timeBase)
{
    return ts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(ts) * av_q2d(timeBase);
}

// A stream whose decoder context could not be had refuses every packet, like one whose
// decoder did not open.
int SendPacket(const ffmpeg::CodecContextPtr& codec, const AVPacket* packet)
{
    return codec ? avcodec_send_packet(codec.get(), packet) : AVERROR(EINVAL);
}

class DecodingScope {
public:
    explicit DecodingScope(std::atomic<bool>& flag) : m_flag(flag) { m_flag.store(true); }
    ~DecodingScope() { m_flag.store(false); }
    DecodingScope(const DecodingScope&) = delete;
    DecodingScope& operator=(const DecodingScope&) = delete;

private:
    std::atomic<bool>& m_flag;
};

}  // namespace

uint32_t Demuxer::Run()
{
    if (!m_bInited) return Failure();
    DecodingScope decoding(m_bDecoding);
    if (!AllocateDecodeObjects()) return Failure();
    m_bEnded.store(false);
    Flow flow = Flow::Continue;
    do {
        flow = Flow::Continue;
        while (flow == Flow::Continue || flow == Flow::NextPass) flow = Pass();
    } while (flow == Flow::End && !EndsWithNothingPending());
    if (flow == Flow::Fail) return Failure();
    if (DemuxerInterface* owner = m_pOwner.load()) owner->OnDemuxEnd();
    return 0;
}

uint32_t Demuxer::Failure()
{
    m_bFailed.store(true);
    return DECODE_EXIT_FAILURE;
}

bool Demuxer::AllocateDecodeObjects()
{
    if (!av->m_pPacket) av->m_pPacket.reset(av_packet_alloc());
    if (!av->m_pVideoFrame) av->m_pVideoFrame.reset(av_frame_alloc());
    if (!av->m_pAudioFrame) av->m_pAudioFrame.reset(av_frame_alloc());
    return av->m_pPacket && av->m_pVideoFrame && av->m_pAudioFrame;
}

// A seek, or looping switched on, that arrives as the input runs out must not be lost: the
// ended flag is published before the last look at the request and the loop flag, and the
// control thread looks at the ended flag after posting or switching (all sequentially
// consistent), so one of the two always sees the other. Without a stop, the body only
// ends at the end of the input; a pass that read nothing does not rewind.
bool Demuxer::EndsWithNothingPending()
{
    if (m_bStop.load()) return true;
    m_bEnded.store(true);
    const bool loopSwitchedOn = m_bLoop.load() && !m_bEmptyPass;
    if (!av->m_seek.Pending() && !loopSwitchedOn) return true;
    m_bEnded.store(false);
    return false;
}

// A paused decoder stays paused through the restart: it must not decode until Resume.
int Demuxer::Restart()
{
    const bool paused = m_bPause.load();
    Stop();
    m_bEnded.store(false);
    m_bFailed.store(false);
    return Start(paused);
}

Demuxer::Flow Demuxer::Pass()
{
    if (m_bStop.load()) return Flow::End;
    while (m_bPause.load()) {
        if (m_bStop.load()) return Flow::End;
        platform::Sleep(DECODE_PAUSE_SLEEP_MS);
    }
    if (av->m_seek.Pending() && !CarryOutSeek()) return StoppedOr(Flow::Fail);
    // A backlog that filled up is decoded whole before reading on, so the pictures keep
    // coming, in read order, when the audio has ended or lies far ahead in the file.
    if (!av->m_videoBacklog.Empty() && (av->m_bNoAudioNear || !AudioWantedFirst()))
        return BackloggedVideoPacket();
    AVPacket* packet = av->m_pPacket.get();
    // A read error counts as the end of the input.
    if (av_read_frame(av->context.get(), packet) < 0) return EndOfInput();
    ffmpeg::PacketContents release(packet);
    m_bEmptyPass = false;
    if (av->context->pb) av->m_llReadPos.store(avio_tell(av->context->pb));
    if (packet->stream_index == av->m_nVideoIndex) return ReadVideoPacket(packet);
    if (packet->stream_index == av->m_nAudioIndex) return AudioPacket(*packet);
    return Flow::Continue;
}

bool Demuxer::AudioWantedFirst() const
{
    if (av->m_bAudioOnly || !ffmpeg::IsOpen(av->m_pAudioCodec)) return false;
    DemuxerInterface* owner = m_pOwner.load();
    return owner && owner->WantsAudioFirst();
}

// Pictures are decoded in read order: once one packet waits in the backlog, the packets
// after it wait behind it. A packet that cannot be kept aside is dropped (memory ran
// out), unless nothing waits before it.
Demuxer::Flow Demuxer::ReadVideoPacket(AVPacket* packet)
{
    demux::PacketBacklog& backlog = av->m_videoBacklog;
    if (backlog.Empty() && (av->m_bNoAudioNear || !AudioWantedFirst())) return VideoPacket(*packet);
    if (!backlog.Push(packet) && backlog.Empty()) return VideoPacket(*packet);
    if (backlog.Full()) av->m_bNoAudioNear = true;
    return Flow::Continue;
}

Demuxer::Flow Demuxer::BackloggedVideoPacket()
{
    AVPacket* packet = av->m_pPacket.get();
    av->m_videoBacklog.PopInto(packet);
    ffmpeg::PacketContents release(packet);
    return VideoPacket(*packet);
}

Demuxer::Flow Demuxer::WaitForRoom(double pts, int waitLimit)
{
    while (true) {
        DemuxerInterface* owner = m_pOwner.load();
        if (!owner || owner->CanAcceptFrame(pts, waitLimit)) return Flow::Continue;
        // Measured on the tick count: a sleep may last longer than asked.
        const uint32_t start = platform::GetTickCount();
        do {
            if (m_bStop.load()) return Flow::End;
            if (av->m_seek.Pending()) return Flow::NextPass;
            platform::Sleep(DECODE_WAIT_SLICE_MS);
        } while (platform::GetTickCount() - start < DECODE_WAIT_SLEEP_MS);
    }
}

Demuxer::Flow Demuxer::VideoPacket(const AVPacket& packet)
{
    double pts = Seconds(packet.pts, av->m_pVideoStream->time_base);
    if (pts == 0.0) pts = av->m_dVideoClock;
    Flow flow = WaitForRoom(pts, DEMUX_WAIT_VIDEO);
    if (flow != Flow::Continue) return flow;
    // A packet the decoder refuses is dropped, unreported.
    if (SendPacket(av->m_pVideoCodec, &packet) < 0) return Flow::Continue;
    av->m_llVideoPos.store(packet.pos);
    return ReceivePictures();
}

Demuxer::Flow Demuxer::ReceivePictures()
{
    AVFrame* picture = av->m_pVideoFrame.get();
    while (avcodec_receive_frame(av->m_pVideoCodec.get(), picture) >= 0) {
        ffmpeg::FrameContents release(picture);
        if (!HandlePicture(*picture)) return Flow::Fail;
    }
    return Flow::Continue;
}

bool Demuxer::HandlePicture(const AVFrame& picture)
{
    double pts = Seconds(picture.pts, av->m_pVideoStream->time_base);
    if (pts != 0.0)
        av->m_dVideoClock = pts;
    else
        pts = av->m_dVideoClock;
    av->m_dVideoClock += demux::FrameStep(GetFrameRate(), picture.repeat_pict);
    if (!demux::IsPictureWithinLimits(picture.width, picture.height)) {
        RefusePicture(picture);
        return true;
    }
    DemuxerInterface* receiver = av->m_bAudioOnly ? nullptr : m_pOwner.load();
    // Decides for the packets sent from now on (see IsBehindClock).
    if (receiver)
        av->m_pVideoCodec->skip_frame =
            receiver->IsBehindClock(pts) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    // A withheld picture goes into a lent buffer too (the owner lends it again for the
    // next one), so that the packer's own buffer stays untouched while the owner lends.
    const uint8_t* packed = PackPicture(picture, receiver);
    if (!packed) return false;
    if (av->m_bSkipNextPicture) {
        av->m_bSkipNextPicture = false;
        return true;
    }
    if (receiver && !av->m_seek.Pending())
        receiver->OnVideoFrame(packed, av->m_picture.BufferSize(), av->m_picture.Width(),
                               av->m_picture.Height(), DECODE_PIXEL_FORMAT_YUV420, pts,
                               picture.pkt_pos);
    return true;
}

// A stream may change its picture size at any point, past what the file declared when it
// was probed: such pictures are not packed (nor is memory taken for them), and the size is
// logged once.
void Demuxer::RefusePicture(const AVFrame& picture)
{
    if (picture.width == av->m_nRefusedWidth && picture.height == av->m_nRefusedHeight) return;
    av->m_nRefusedWidth = picture.width;
    av->m_nRefusedHeight = picture.height;
    LogMessage(LOG_ERROR, L"Demuxer: pictures of %dx%d are beyond the playable limits; not shown",
               picture.width, picture.height);
}

// Into a buffer the lender keeps, when it lends one, else into the packer's own; null
// when the picture could not be packed.
const uint8_t* Demuxer::PackPicture(const AVFrame& picture, DemuxerInterface* lender)
{
    if (!av->m_picture.Reserve(picture.width, picture.height)) return nullptr;
    uint8_t* lent = lender ? lender->LendPictureBuffer(av->m_picture.BufferSize()) : nullptr;
    if (!av->m_picture.Pack(picture, lent)) return nullptr;
    return lent != nullptr ? lent : av->m_picture.Data();
}

Demuxer::Flow Demuxer::AudioPacket(const AVPacket& packet)
{
    av->m_bNoAudioNear = false;
    av->m_dAudioPts = Seconds(packet.pts, av->m_pAudioStream->time_base);
    if (av->m_bAudioOnly) {
        Flow flow = WaitForRoom(av->m_dAudioPts, DEMUX_WAIT_AUDIO_ONLY);
        if (flow != Flow::Continue) return flow;
    } else if (DemuxerInterface* owner = m_pOwner.load()) {
        if (!owner->AcceptAudioPts(av->m_dAudioPts)) return Flow::Continue;
        // Audio waits for room too, so that a file whose audio runs far ahead of (or long
        // after) its pictures is not read into memory whole.
        Flow flow = WaitForRoom(av->m_dAudioPts, DEMUX_WAIT_AUDIO);
        if (flow != Flow::Continue) return flow;
    }
    int r = SendPacket(av->m_pAudioCodec, &packet);
    if (r < 0) {
        LogMessage(LOG_ERROR, L"Error while decoding audio: %d", r);
        return Flow::Continue;
    }
    return ReceiveAudio();
}

Demuxer::Flow Demuxer::ReceiveAudio()
{
    AVFrame* frame = av->m_pAudioFrame.get();
    while (true) {
        int r = avcodec_receive_frame(av->m_pAudioCodec.get(), frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return Flow::Continue;
        if (r < 0) {
            LogMessage(LOG_ERROR, L"Error while decoding audio: %d", r);
            return Flow::Continue;
        }
        ffmpeg::FrameContents release(frame);
        demux::PcmBlock block;
        if (!av->m_audio.Convert(*frame, &block)) continue;
        DemuxerInterface* owner = m_pOwner.load();
        if (owner && !av->m_seek.Pending())
            owner->OnAudioFrame(block.pData, block.nSize, block.nSampleRate, block.nChannels,
                                av->m_dAudioPts);
    }
}

Demuxer::Flow Demuxer::EndOfInput()
{
    // A stop interrupts a blocking read, which then looks like the end of the input.
    if (m_bStop.load()) return Flow::End;
    // One packet at a time, so that a stop, a pause or a seek is seen between them; the
    // next read ends the input again.
    if (!av->m_videoBacklog.Empty()) return BackloggedVideoPacket();
    Flow flow = Drain();
    if (flow != Flow::Continue) return flow;
    // A pass that read nothing (an empty input, or one that cannot really go back, such
    // as a pipe) would only rewind again at once, for ever: it ends like the input does.
    if (!m_bLoop.load() || m_bEmptyPass) return Flow::End;
    return Rewind() ? Flow::Continue : StoppedOr(Flow::Fail);
}

// The decoders still hold their delayed pictures and audio; the last of them belong to
// this pass.
Demuxer::Flow Demuxer::Drain()
{
    if (ffmpeg::IsOpen(av->m_pVideoCodec)) {
        Flow flow = WaitForRoom(av->m_dVideoClock, DEMUX_WAIT_VIDEO);
        if (flow != Flow::Continue) return flow;
        avcodec_send_packet(av->m_pVideoCodec.get(), nullptr);
        flow = ReceivePictures();
        if (flow != Flow::Continue) return flow;
    }
    if (ffmpeg::IsOpen(av->m_pAudioCodec)) {
        if (av->m_bAudioOnly) {
            Flow flow = WaitForRoom(av->m_dAudioPts, DEMUX_WAIT_AUDIO_ONLY);
            if (flow != Flow::Continue) return flow;
        }
        avcodec_send_packet(av->m_pAudioCodec.get(), nullptr);
        return ReceiveAudio();
    }
    return Flow::Continue;
}

// A stop interrupts the input's I/O, so a seek or rewind under way fails because of the
// stop itself: that is the end that was asked for, not a failure to report.
Demuxer::Flow Demuxer::StoppedOr(Flow failure) const
{
    return m_bStop.load() ? Flow::End : failure;
}

bool Demuxer::CarryOutSeek()
{
    uint64_t ticket = 0;
    demux::SeekTarget target = av->m_seek.Take(&ticket);
    auto [minimum, maximum] = demux::SeekBounds(target);
    int r = avformat_seek_file(av->context.get(), -1, minimum, target.llSeekPos, maximum,
                               target.nSeekFlags);
    // What is decoded from here on, from the new position or (after a failure) from where
    // the input stands, answers the newest request.
    m_decodeTag = demux::DecodeTag{target.nGeneration, 0};
    if (r < 0) {
        av->m_seek.Clear();
        if (!m_bStop.load())
            LogMessage(LOG_ERROR, L"avformat_seek_file error: %d, ts=%lld", r,
                       static_cast<long long>(target.llSeekPos));
        return false;
    }
    FlushDecoders();
    // A seek that lands at the end leaves nothing to read, yet the input went somewhere:
    // that pass rewinds like any other.
    m_bEmptyPass = false;
    av->m_seek.Finish(ticket);
    return true;
}

bool Demuxer::Rewind()
{
    if (DemuxerInterface* owner = m_pOwner.load())
        owner->OnDemuxEvent(DEMUX_EVENT_END_OF_PASS, 0, 0.0);
    FlushDecoders();
    int r = avformat_seek_file(av->context.get(), -1, std::numeric_limits<int64_t>::min(), 0,
                               std::numeric_limits<int64_t>::max(), 0);
    if (r < 0) {
        if (!m_bStop.load()) LogMessage(LOG_ERROR, L"avformat_seek_file error: %d, ts=0", r);
        return false;
    }
    av->m_dVideoClock = 0.0;
    m_bEmptyPass = true;
    ++m_decodeTag.nPass;
    return true;
}

void Demuxer::FlushDecoders()
{
    av->m_videoBacklog.Clear();
    av->m_bNoAudioNear = false;
    if (ffmpeg::IsOpen(av->m_pAudioCodec)) avcodec_flush_buffers(av->m_pAudioCodec.get());
    // A cover picture's decoder is flushed too, so it decodes again after a drain, but
    // nothing of it is shown, so no picture needs skipping.
    if (ffmpeg::IsOpen(av->m_pVideoCodec)) {
        avcodec_flush_buffers(av->m_pVideoCodec.get());
        av->m_pVideoCodec->skip_frame = AVDISCARD_DEFAULT;  // a new position is not late
        if (!av->m_bAudioOnly) av->m_bSkipNextPicture = true;
    }
}
