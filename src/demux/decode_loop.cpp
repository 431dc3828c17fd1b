// The decoder thread's body: read, wait for room, decode, convert, hand out; seek,
// drain, rewind. All of it runs on the decoder thread.
#include <algorithm>
#include <cmath>
#include <limits>

#include "demux/decode_state.h"
#include "demux/demuxer.h"
#include "demux/ffmpeg_log.h"
#include "demux/media_limits.h"
#include "demux/stream_rules.h"
#include "diag/log.h"
#include "platform/time_source.h"

namespace {

constexpr uint32_t DECODE_EXIT_FAILURE = 0xFFFFFFFF;
constexpr uint32_t DECODE_PAUSE_SLEEP_MS = 10;
constexpr uint32_t DECODE_WAIT_SLEEP_MS = 10;
constexpr int DECODE_PIXEL_FORMAT_YUV420 = 0;

// No media time line is longer than this (seconds, some 30 years).
constexpr double DECODE_LONGEST_MEDIA_SECONDS = 1e9;
// A byte seek aims to land on a key picture this much before its target (playback goes on
// exactly at the target, what lies before it being decoded and dropped); one that lands
// after the target, or more than DECODE_BYTE_SEEK_MOST_BEFORE_SECONDS before it, is
// aimed again.
constexpr double DECODE_BYTE_SEEK_BEFORE_SECONDS = 0.5;
constexpr double DECODE_BYTE_SEEK_MOST_BEFORE_SECONDS = 3.0;
constexpr int DECODE_BYTE_SEEK_ATTEMPTS = 5;
// Packets read after a byte seek to find where it landed, at most.
constexpr int DECODE_LANDING_PACKETS = 256;
// A landing whose time is this far from the one its bytes estimate lies in another
// recording of a joined file.
constexpr double DECODE_OTHER_RECORDING_SECONDS = 10.0;

// The time, or the predicted one when there is none.
double OrPredicted(double seconds, double predicted)
{
    return std::isnan(seconds) ? predicted : seconds;
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
    const demux::EngineThreadScope engine;
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
    // A seek while paused is carried out, and decoding goes on to its first picture.
    while (m_bPause.load() && !av->m_bPausedSeek && !av->m_seek.Pending()) {
        if (m_bStop.load()) return Flow::End;
        platform::Sleep(DECODE_PAUSE_SLEEP_MS);
    }
    if (av->m_seek.Pending()) {
        CarryOutSeek();
        av->m_bPausedSeek = m_bPause.load() && !av->m_bAudioOnly && av->m_pVideoStream != nullptr;
    }
    if (m_bStop.load()) return Flow::End;
    demux::PacketBacklog& backlog = av->m_videoBacklog;
    if (!backlog.Empty() && PictureRoom() && (backlog.Full() || !AudioWantedFirst()))
        return BackloggedVideoPacket();
    // The read-ahead is full: reading waits until pictures leave the queue.
    if (backlog.Full()) return WaitForRoom(av->m_dVideoClock, DEMUX_WAIT_VIDEO);
    AVPacket* packet = av->m_pPacket.get();
    // A read error counts as the end of the input.
    if (av_read_frame(av->context.get(), packet) < 0) return EndOfInput();
    ffmpeg::PacketContents release(packet);
    m_bEmptyPass = false;
    if (!PlacePacket(packet)) return Flow::Continue;
    if (packet->stream_index == av->m_nVideoIndex) return ReadVideoPacket(packet);
    return AudioPacket(*packet);
}

// Onto the media time line; false for a packet of neither stream played.
bool Demuxer::PlacePacket(AVPacket* packet)
{
    demux::Timeline& timeline = av->m_timeline;
    if (packet->stream_index == av->m_nVideoIndex)
        timeline.Place(packet, demux::Timeline::VIDEO, av->m_pVideoStream->time_base);
    else if (packet->stream_index == av->m_nAudioIndex)
        timeline.Place(packet, demux::Timeline::AUDIO, av->m_pAudioStream->time_base);
    else
        return false;
    av->m_seek.NoteRead({timeline.Latest(), timeline.BytesPerSecond()});
    return true;
}

bool Demuxer::AudioWantedFirst() const
{
    if (av->m_bAudioOnly || !ffmpeg::IsOpen(av->m_pAudioCodec)) return false;
    DemuxerInterface* owner = m_pOwner.load();
    return owner && owner->WantsAudioFirst();
}

bool Demuxer::PictureRoom() const
{
    DemuxerInterface* owner = m_pOwner.load();
    return owner == nullptr || owner->CanAcceptFrame(av->m_dVideoClock, DEMUX_WAIT_VIDEO);
}

// A packet is decoded at once while pictures have room and the audio is not wanted
// first; otherwise it is put aside and the reading goes on. Pictures are decoded in read
// order: once one packet waits in the backlog, the packets after it wait behind it. A
// packet that cannot be kept aside is dropped (memory ran out), unless nothing waits
// before it. A cover picture is decoded at once.
Demuxer::Flow Demuxer::ReadVideoPacket(AVPacket* packet)
{
    demux::PacketBacklog& backlog = av->m_videoBacklog;
    if (av->m_bAudioOnly || (backlog.Empty() && PictureRoom() && !AudioWantedFirst()))
        return VideoPacket(*packet);
    const AVRational timeBase = av->m_pVideoStream->time_base;
    const double at =
        av->m_timeline.Seconds(packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts, timeBase);
    if (!backlog.Push(packet, at) && backlog.Empty()) return VideoPacket(*packet);
    m_bReadAheadFull.store(backlog.Full());
    return Flow::Continue;
}

Demuxer::Flow Demuxer::BackloggedVideoPacket()
{
    AVPacket* packet = av->m_pPacket.get();
    av->m_videoBacklog.PopInto(packet);
    m_bReadAheadFull.store(av->m_videoBacklog.Full());
    ffmpeg::PacketContents release(packet);
    return VideoPacket(*packet);
}

// The owner is asked again every 10 ms: a few pictures are queued at most, and the
// decoder must take up a slot soon after it frees.
Demuxer::Flow Demuxer::WaitForRoom(double pts, int waitLimit)
{
    while (true) {
        DemuxerInterface* owner = m_pOwner.load();
        if (!owner || owner->CanAcceptFrame(pts, waitLimit)) return Flow::Continue;
        if (m_bStop.load()) return Flow::End;
        if (av->m_seek.Pending()) return Flow::NextPass;
        platform::Sleep(DECODE_WAIT_SLEEP_MS);
    }
}

Demuxer::Flow Demuxer::VideoPacket(const AVPacket& packet)
{
    const double pts = OrPredicted(
        av->m_timeline.Seconds(packet.pts, av->m_pVideoStream->time_base), av->m_dVideoClock);
    switch (av->m_skipToKey.Next(packet, pts)) {
    case demux::SkipToKey::Step::Skip: return Flow::Continue;
    case demux::SkipToKey::Step::Restart:  // what the decoder holds is late
        if (ffmpeg::IsOpen(av->m_pVideoCodec)) avcodec_flush_buffers(av->m_pVideoCodec.get());
        break;
    default: break;
    }
    Flow flow = WaitForRoom(pts, DEMUX_WAIT_VIDEO);
    if (flow != Flow::Continue) return flow;
    // A packet the decoder refuses is dropped, unreported.
    if (SendPacket(av->m_pVideoCodec, &packet) < 0) return Flow::Continue;
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
    const double step = demux::FrameStep(GetFrameRate(), picture.repeat_pict);
    const double pts = OrPredicted(
        av->m_timeline.Seconds(picture.pts, av->m_pVideoStream->time_base), av->m_dVideoClock);
    av->m_dVideoClock = pts + step;
    // Half a picture early still shows what the seek target is in the middle of.
    if (pts < av->m_dPassStart - step / 2) return true;
    if (!demux::IsPictureWithinLimits(picture.width, picture.height)) {
        RefusePicture(picture);
        return true;
    }
    DemuxerInterface* receiver = av->m_bAudioOnly ? nullptr : m_pOwner.load();
    if (receiver) {
        const DemuxerInterface::Lateness lateness = receiver->LatenessOf(pts);
        // The render clock would drop it unseen.
        if (lateness == DemuxerInterface::Lateness::Lagging) {
            av->m_skipToKey.Start(pts);
            return true;
        }
        av->m_pVideoCodec->skip_frame =
            lateness == DemuxerInterface::Lateness::Slow ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    }
    const uint8_t* packed = PackPicture(picture, receiver);
    if (!packed) return false;
    if (receiver && !av->m_seek.Pending())
        receiver->OnVideoFrame(packed, av->m_picture.BufferSize(), av->m_picture.Width(),
                               av->m_picture.Height(), DECODE_PIXEL_FORMAT_YUV420, pts);
    av->m_bPausedSeek = false;
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
    const demux::PictureLayout layout =
        LayoutOf(picture.width, picture.height, picture.sample_aspect_ratio);
    if (!av->m_picture.Reserve(layout.Width(), layout.Height())) return nullptr;
    uint8_t* lent = lender ? lender->LendPictureBuffer(av->m_picture.BufferSize()) : nullptr;
    if (!av->m_picture.Pack(picture, layout, lent)) return nullptr;
    return lent != nullptr ? lent : av->m_picture.Data();
}

Demuxer::Flow Demuxer::AudioPacket(const AVPacket& packet)
{
    av->m_dAudioPts = OrPredicted(av->m_timeline.Seconds(packet.pts, av->m_pAudioStream->time_base),
                                  av->m_dAudioClock);
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
        const double pts = OrPredicted(
            av->m_timeline.Seconds(frame->pts, av->m_pAudioStream->time_base), av->m_dAudioClock);
        if (frame->sample_rate > 0)
            av->m_dAudioClock = pts + static_cast<double>(frame->nb_samples) / frame->sample_rate;
        demux::PcmBlock block;
        if (!av->m_audio.Convert(*frame, &block)) continue;
        block.dPts = pts;
        if (!demux::TrimBefore(av->m_dPassStart, &block)) continue;
        DemuxerInterface* owner = m_pOwner.load();
        if (owner && !av->m_seek.Pending())
            owner->OnAudioFrame(block.pData, block.nSize, block.nSampleRate, block.nChannels,
                                block.dPts);
    }
}

Demuxer::Flow Demuxer::EndOfInput()
{
    av->m_bPausedSeek = false;
    // A stop interrupts a blocking read, which then looks like the end of the input.
    if (m_bStop.load()) return Flow::End;
    // A joined recording lasts as long as its continued time line, not as long as its
    // first and last timestamps say.
    const double end = av->m_timeline.End();
    if (av->m_timeline.Jumped() && end > 0.0 && end < DECODE_LONGEST_MEDIA_SECONDS)
        m_llDurationUs.store(std::llround(end * 1000) * (AV_TIME_BASE / 1000));
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

// A seek the input refuses is logged and leaves playback going on from where the input
// stands (from its start when it stood at the end); a request posted meanwhile stays
// pending. What is decoded from here on answers the newest request either way.
void Demuxer::CarryOutSeek()
{
    uint64_t ticket = 0;
    const demux::SeekTarget target = av->m_seek.Take(&ticket);
    m_decodeTag = demux::DecodeTag{target.nGeneration, 0};
    const int r =
        (target.nSeekFlags & AVSEEK_FLAG_BYTE) != 0 ? SeekByBytes(target) : SeekByTime(target);
    av->m_seek.Finish(ticket);
    if (r < 0) {
        if (m_bStop.load()) return;
        LogMessage(LOG_ERROR, L"avformat_seek_file error: %d, ts=%lld", r,
                   static_cast<long long>(target.llSeekPos));
        av->m_dPassStart = -std::numeric_limits<double>::infinity();
        if (av->context->pb && avio_feof(av->context->pb)) SeekToStart();
        return;
    }
    FlushDecoders();
    av->m_timeline.Restart();
    av->m_dPassStart = target.dTime;
    // What comes first without a time of its own (a program stream stamps some pictures
    // only) is at the target, not where the input stood before the seek.
    av->m_dVideoClock = av->m_dAudioClock = target.dTime;
    // A seek that lands at the end leaves nothing to read, yet the input went somewhere:
    // that pass rewinds like any other.
    m_bEmptyPass = false;
}

// The key picture at or before the target, so that playback can go on exactly there;
// where there is none before it, the nearest.
int Demuxer::SeekByTime(const demux::SeekTarget& target)
{
    const auto [minimum, maximum] = demux::SeekBounds(target);
    int r = avformat_seek_file(av->context.get(), -1, minimum, target.llSeekPos, maximum, 0);
    if (r < 0)
        r = avformat_seek_file(av->context.get(), -1, minimum, target.llSeekPos,
                               std::numeric_limits<int64_t>::max(), 0);
    return r;
}

// Bytes are aimed by a rate, which a file of varying rate (or two recordings joined)
// does not keep: where the seek landed is read, and a landing whose first key picture is
// after the target, or too far before it, is aimed again from there, by the rate between
// the landings. Every landing is read from the time line as it stood before the seek, so
// that what one landing moved does not carry into the next; playback goes on from the one
// chosen with its move.
int Demuxer::SeekByBytes(const demux::SeekTarget& target)
{
    const demux::Timeline start = av->m_timeline;
    const double goal = target.dTime - DECODE_BYTE_SEEK_BEFORE_SECONDS;
    int64_t aim = std::max<int64_t>(
        target.llSeekPos - std::llround(DECODE_BYTE_SEEK_BEFORE_SECONDS * BytesPerSecond()), 0);
    demux::Timeline::Point previous{-1, 0.0};
    // The latest landing seen before the target: where key pictures are seconds apart, no
    // aim may land near enough, and playback still goes on exactly at the target from
    // there, after decoding more.
    ByteLanding before;
    double beforeTime = -std::numeric_limits<double>::infinity();
    double lastMove = 0.0;
    for (int attempt = 1; attempt < DECODE_BYTE_SEEK_ATTEMPTS; ++attempt) {
        av->m_timeline = start;
        const int r = SeekToByte(aim);
        if (r < 0) return r;
        demux::Timeline::Point landed;
        if (!FindLanding(target, aim, &landed, &lastMove)) {
            // Nothing to begin at before the end: aim earlier.
            if (aim == 0) break;
            aim = std::max<int64_t>(
                aim - std::llround(DECODE_BYTE_SEEK_MOST_BEFORE_SECONDS * BytesPerSecond()), 0);
            continue;
        }
        if (landed.dTime <= target.dTime) {
            if (landed.dTime >= target.dTime - DECODE_BYTE_SEEK_MOST_BEFORE_SECONDS)
                return GoOnFrom(start, {aim, lastMove});
            if (landed.dTime > beforeTime) {
                before = {aim, lastMove};
                beforeTime = landed.dTime;
            }
        }
        const int64_t next = NextAim(previous, landed, goal);
        if (next == aim) break;
        previous = landed;
        aim = next;
    }
    // An aim not read yet most likely lies in the recording of the landing read last.
    return GoOnFrom(start, before.llAim >= 0 ? before : ByteLanding{aim, lastMove});
}

int Demuxer::GoOnFrom(const demux::Timeline& start, const ByteLanding& landing)
{
    av->m_timeline = start;
    const bool video = av->m_pVideoStream != nullptr && !av->m_bAudioOnly;
    av->m_timeline.Align(video ? demux::Timeline::VIDEO : demux::Timeline::AUDIO, landing.dMove);
    return SeekToByte(landing.llAim);
}

// The library does not pass a refused byte seek on: the I/O tells.
int Demuxer::SeekToByte(int64_t position)
{
    av->m_timeline.Restart();
    const uint64_t refused = av->m_pIo->RefusedSeeks();
    const int r =
        avformat_seek_file(av->context.get(), -1, std::numeric_limits<int64_t>::min(), position,
                           std::numeric_limits<int64_t>::max(), AVSEEK_FLAG_BYTE);
    return r >= 0 && av->m_pIo->RefusedSeeks() != refused ? AVERROR(EIO) : r;
}

// Reads on from a byte seek to where playback could begin: the first key picture, or in an
// audio-only file the first audio packet with a time. In a file of joined recordings the
// landing may lie in another one than the time line knows: then `move` is how far the time
// line must move for the landing to be where its bytes put it.
bool Demuxer::FindLanding(const demux::SeekTarget& target, int64_t aim,
                          demux::Timeline::Point* landed, double* move)
{
    *move = 0.0;
    const bool video = av->m_pVideoStream != nullptr && !av->m_bAudioOnly;
    const int index = video ? av->m_nVideoIndex : av->m_nAudioIndex;
    const AVRational timeBase = (video ? av->m_pVideoStream : av->m_pAudioStream)->time_base;
    AVPacket* packet = av->m_pPacket.get();
    for (int read = 0; read < DECODE_LANDING_PACKETS; ++read) {
        if (av_read_frame(av->context.get(), packet) < 0) return false;
        ffmpeg::PacketContents release(packet);
        if (!PlacePacket(packet) || packet->stream_index != index ||
            (video && (packet->flags & AV_PKT_FLAG_KEY) == 0))
            continue;
        double time = av->m_timeline.Seconds(
            packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts, timeBase);
        if (std::isnan(time)) continue;
        // A program stream's parser hands out some packets without a position: the aim
        // stands in (the packet lies at most one packet beyond it).
        const int64_t position = packet->pos >= 0 ? packet->pos : aim;
        const double rate = std::max(BytesPerSecond(), 1.0);
        const double estimate =
            target.dAimTime + static_cast<double>(position - target.llSeekPos) / rate;
        if (av->m_timeline.Discontinuous() &&
            std::fabs(time - estimate) > DECODE_OTHER_RECORDING_SECONDS) {
            *move = estimate - time;
            time = estimate;
        }
        *landed = {position, time};
        return true;
    }
    return false;
}

// The next aim: by the rate between the last two landings when there are two, else by the
// rate measured while reading.
int64_t Demuxer::NextAim(const demux::Timeline::Point& previous,
                         const demux::Timeline::Point& landed, double targetTime) const
{
    double rate = BytesPerSecond();
    if (previous.llPos >= 0 && landed.dTime != previous.dTime) {
        const double between =
            static_cast<double>(landed.llPos - previous.llPos) / (landed.dTime - previous.dTime);
        if (between > 0.0) rate = between;
    }
    if (rate <= 0.0) return landed.llPos;
    const int64_t last = m_llFileSize.load() > 0 ? m_llFileSize.load() : landed.llPos;
    const double aim = static_cast<double>(landed.llPos) + (targetTime - landed.dTime) * rate;
    return std::clamp<int64_t>(static_cast<int64_t>(aim), 0, last);
}

// Measured while reading, else the container's, else 0.
double Demuxer::BytesPerSecond() const
{
    const double measured = av->m_timeline.BytesPerSecond();
    return measured > 0.0 ? measured : static_cast<double>(m_llBitRate.load()) / 8.0;
}

bool Demuxer::Rewind()
{
    if (DemuxerInterface* owner = m_pOwner.load())
        owner->OnDemuxEvent(DEMUX_EVENT_END_OF_PASS, 0, 0.0);
    const int r = SeekToStart();
    if (r < 0) {
        if (!m_bStop.load()) LogMessage(LOG_ERROR, L"avformat_seek_file error: %d, ts=0", r);
        return false;
    }
    m_bEmptyPass = true;
    ++m_decodeTag.nPass;
    return true;
}

// Always a time seek to the start, whatever the byte-seek mode; the time line starts again
// with the file's first recording.
int Demuxer::SeekToStart()
{
    const int r = avformat_seek_file(av->context.get(), -1, std::numeric_limits<int64_t>::min(), 0,
                                     std::numeric_limits<int64_t>::max(), 0);
    if (r < 0) return r;
    FlushDecoders();
    av->m_timeline.Rewind();
    av->m_dVideoClock = av->m_dAudioClock = 0.0;
    av->m_dPassStart = -std::numeric_limits<double>::infinity();
    return r;
}

void Demuxer::FlushDecoders()
{
    av->m_videoBacklog.Clear();
    m_bReadAheadFull.store(false);
    if (ffmpeg::IsOpen(av->m_pAudioCodec)) avcodec_flush_buffers(av->m_pAudioCodec.get());
    // A cover picture's decoder is flushed too, so it decodes again after a drain.
    if (ffmpeg::IsOpen(av->m_pVideoCodec)) {
        avcodec_flush_buffers(av->m_pVideoCodec.get());
        av->m_pVideoCodec->skip_frame = AVDISCARD_DEFAULT;  // a new position is not late
    }
    av->m_skipToKey.Stop();
}
