#include "demux/demuxer.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/avstring.h>
}

#include "demux/decode_state.h"
#include "demux/decoder_threads.h"
#include "demux/ffmpeg_log.h"
#include "demux/media_io.h"
#include "demux/media_limits.h"
#include "demux/stream_rules.h"
#include "diag/log.h"
#include "platform/time_source.h"
#include "platform/utf8.h"
#include "quorvel.h"

namespace {

// Decoders refuse pictures of more pixels than this instead of allocating them: the
// largest picture within the limits, with room for the decoders' row alignment. A stream
// that declares more opens with its size unknown to the decoder; the limits judge the size
// the file declares (see GetMediaInfo).
constexpr int64_t DEMUX_MAX_DECODED_PIXELS = 2048 * 1152;
// No media time line is longer than this (some 30 years).
constexpr int64_t DEMUX_LONGEST_MEDIA_SECONDS = 1000000000;
// A longer name cannot be handed over whole; a shortened one could open another file.
constexpr size_t DEMUX_MAX_NAME_BYTES = 1023;
// What the format probe and the stream analysis may read at most, bytes.
constexpr int DEMUX_PROBE_BYTES = 5000000;
// Matches no protocol: a demuxer that opens inputs of its own with the format context's
// protocol lists (a concatenation, say) cannot open anything.
constexpr const char* DEMUX_NO_PROTOCOLS = "none";

// Formats that read further inputs named inside the file (playlists, manifests,
// concatenations, session descriptions) or that open their input themselves (image
// sequences, devices, network inputs): a downloaded file must not make the engine read
// the user's other files or connect anywhere.
bool OpensOtherInputs(const AVInputFormat& format)
{
    if ((format.flags & AVFMT_NOFILE) != 0) return true;
    for (const char* name : {"hls", "dash", "concat", "sdp", "imf", "image2"})
        if (av_match_name(name, format.name)) return true;
    return false;
}

// Nested inputs (a playlist's segments, a movie's external references) are never opened.
int RefuseNestedInput(AVFormatContext* /*context*/, AVIOContext** /*pb*/, const char* /*url*/,
                      int /*flags*/, AVDictionary** /*options*/)
{
    return AVERROR(EPERM);
}

std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

// Marks an open under way for the interrupt callback, which ends it at the deadline.
class OpeningScope {
public:
    OpeningScope(std::atomic<bool>& opening, std::atomic<uint32_t>& start) : m_opening(opening)
    {
        start.store(platform::GetTickCount());
        m_opening.store(true);
    }
    ~OpeningScope() { m_opening.store(false); }
    OpeningScope(const OpeningScope&) = delete;
    OpeningScope& operator=(const OpeningScope&) = delete;

private:
    std::atomic<bool>& m_opening;
};

// The stream's decoder context, opened when a decoder exists. The context is kept even
// without a decoder so the stream's dimensions and audio format stay known. Null when no
// context could be had; the stream then decodes like one whose decoder did not open.
// threads > 1 lets the decoder use frame threads where the codec has them, else slice
// threads; pictures still come out in order, each threadCount - 1 packets later.
ffmpeg::CodecContextPtr OpenDecoder(const AVStream& stream, const wchar_t* unsupportedText,
                                    const wchar_t* cannotOpenText, int threads = 1)
{
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (codec && avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) codec.reset();
    if (codec) {
        codec->pkt_timebase = stream.time_base;
        codec->opaque = demux::EngineContextMark();
        // Before the open, so that the frame threads' copies of the context have it too.
        codec->max_pixels = DEMUX_MAX_DECODED_PIXELS;
        codec->thread_count = threads;
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (!decoder) {
        LogMessage(LOG_ERROR, unsupportedText, static_cast<int>(stream.codecpar->codec_id));
        return codec;
    }
    if (!codec || avcodec_open2(codec.get(), decoder, nullptr) < 0)
        LogMessage(LOG_ERROR, cannotOpenText, static_cast<int>(stream.codecpar->codec_id),
                   static_cast<int>(decoder->id));
    return codec;
}

void CopyDecoderName(const ffmpeg::CodecContextPtr& codec, char (&field)[32])
{
    if (ffmpeg::IsOpen(codec)) std::strncpy(field, codec->codec->name, sizeof(field) - 1);
}

}  // namespace

void demux::DecodeState::Release()
{
    m_picture.Release();
    m_audio.Release();
    m_pVideoFrame.reset();
    m_pAudioFrame.reset();
    m_pPacket.reset();
    m_videoBacklog.Clear();
    m_pVideoCodec.reset();
    m_pAudioCodec.reset();
    m_pVideoStream = m_pAudioStream = nullptr;
    context.reset();
    m_pIo.reset();
    m_nVideoIndex = m_nAudioIndex = -1;
    m_dVideoClock = m_dAudioPts = m_dAudioClock = 0.0;
    m_dPassStart = -std::numeric_limits<double>::infinity();
    m_seek.Clear();
    m_seek.NoteRead({});
    m_bAudioOnly = false;
    m_nRefusedWidth = m_nRefusedHeight = 0;
    m_bVideoBeyondLimits = false;
    m_turn = {};
    m_skipToKey.Stop();
    m_bPausedSeek = false;
}

Demuxer::Demuxer()
    : av(std::make_unique<demux::DecodeState>()),
      m_nVideoThreads(demux::DecoderThreadsFromEnvironment())
{
    demux::RouteFfmpegLogs();
}

// The body uses av, so the worker must end before the members go. One that could not be
// ended may still use it: it is leaked, deliberately.
Demuxer::~Demuxer()
{
    Stop();
    if (Abandoned()) static_cast<void>(av.release());
}

// An abandoned body still uses the state that a new input would replace.
int32_t Demuxer::Init(std::wstring fileName)
{
    if (Abandoned()) return -1;
    const demux::EngineThreadScope engine;
    av->Release();
    m_bEnded.store(false);  // a new input, not yet played out
    m_bFailed.store(false);
    m_bEmptyPass = true;
    std::string utf8Name;
    if (fileName.empty() || !platform::WideToUtf8(fileName, utf8Name) ||
        utf8Name.size() > DEMUX_MAX_NAME_BYTES)
        return -1;
    OpeningScope opening(m_bOpening, m_dwOpenStart);
    if (!OpenInput(fileName, utf8Name)) {
        av->Release();
        return -1;
    }
    int r = avformat_find_stream_info(av->context.get(), nullptr);
    if (r < 0) {
        LogMessage(LOG_ERROR, L"avformat_find_stream_info error: %d, %ls", r, fileName.c_str());
        av->Release();
        return -1;
    }
    ChooseStreams();
    if (av->m_pVideoStream) OpenVideo();
    if (av->m_pAudioStream) OpenAudio();
    if (!KeepDecodableStreams()) {
        av->Release();
        return -1;
    }
    m_bInited = true;
    av->m_bAudioOnly = StreamsSayAudioOnly();
    av->m_timeline.Reset(av->context->start_time,
                         (av->context->iformat->flags & AVFMT_TS_DISCONT) != 0);
    av->m_videoBacklog.SetLead(demux::ReadAheadSeconds(GetFrameRate()));
    m_bReadAheadFull.store(false);
    PublishFacts();
    return 0;
}

// The probe runs on the engine's own I/O before any demuxer is chosen, so a refused
// format never gets to read its header (a playlist would open its entries there).
bool Demuxer::OpenInput(const std::wstring& fileName, const std::string& utf8Name)
{
    if (!OpenSource(fileName)) return false;
    const AVInputFormat* format = nullptr;
    if (av_probe_input_buffer2(av->m_pIo->Context(), &format, utf8Name.c_str(), nullptr, 0,
                               DEMUX_PROBE_BYTES) < 0) {
        LogMessage(LOG_ERROR, L"Demuxer::Init: %ls: not a media file", fileName.c_str());
        return false;
    }
    if (OpensOtherInputs(*format)) {
        LogMessage(LOG_ERROR,
                   L"Demuxer::Init: refused: %ls is a playlist or opens other inputs (%ls)",
                   fileName.c_str(), Wide(format->name).c_str());
        return false;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context) return false;
    context->pb = av->m_pIo->Context();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->opaque = demux::EngineContextMark();
    context->interrupt_callback = {&Demuxer::InterruptRequested, this};
    context->io_open = &RefuseNestedInput;
    context->probesize = DEMUX_PROBE_BYTES;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", DEMUX_NO_PROTOCOLS, 0);
    // On failure the library frees the context (not the I/O, which stays ours).
    const int r = avformat_open_input(&context, utf8Name.c_str(), format, &options);
    av_dict_free(&options);
    if (r < 0) return false;
    av->context.reset(context);
    return true;
}

// A path that is no file but looks like a URL or a stream name is refused as such: the
// engine plays local files only (a file of that name would have been opened).
bool Demuxer::OpenSource(const std::wstring& fileName)
{
    std::wstring whyNot;
    std::unique_ptr<demux::ByteSource> source = std::move(m_pKeptSource);
    if (source && source->Seek(0, SEEK_SET) != 0) source.reset();
    if (!source) source = m_openSource(fileName, &whyNot);
    if (!source) {
        if (demux::LooksLikeUrl(fileName))
            LogMessage(LOG_ERROR,
                       L"Demuxer::Init: refused: %ls is a URL or a stream name; only local "
                       L"files are played",
                       fileName.c_str());
        else
            LogMessage(LOG_ERROR, L"Demuxer::Init: %ls: %ls", fileName.c_str(), whyNot.c_str());
        return false;
    }
    av->m_pIo = demux::MediaIo::Create(std::move(source), {&Demuxer::InterruptRequested, this});
    return av->m_pIo != nullptr;
}

// A stop ends blocking work of the decoder thread; an open ends at its deadline.
int Demuxer::InterruptRequested(void* demuxer)
{
    auto* self = static_cast<Demuxer*>(demuxer);
    return (self->m_bDecoding.load() && self->m_bStop.load()) || self->OpenOverdue();
}

bool Demuxer::OpenOverdue() const
{
    return m_bOpening.load() &&
           platform::GetTickCount() - m_dwOpenStart.load() > DEMUX_OPEN_DEADLINE_MS;
}

// The last stream of each type wins.
void Demuxer::ChooseStreams()
{
    AVFormatContext* context = av->context.get();
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            av->m_pVideoStream = stream;
            av->m_nVideoIndex = static_cast<int32_t>(i);
        } else if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            av->m_pAudioStream = stream;
            av->m_nAudioIndex = static_cast<int32_t>(i);
        }
    }
}

// A stream that declares pictures beyond the limits is kept, with no decoder: the limits
// refuse the file by that size, and none of its pictures is decoded into memory.
void Demuxer::OpenVideo()
{
    size_t matrixSize = 0;
    const uint8_t* matrix =
        av_stream_get_side_data(av->m_pVideoStream, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
    av->m_turn = demux::OrientationOf(
        matrixSize >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(matrix) : nullptr);
    const AVCodecParameters& declared = *av->m_pVideoStream->codecpar;
    if (!demux::IsPictureWithinLimits(declared.width, declared.height)) {
        av->m_bVideoBeyondLimits = true;
        if (!StreamsSayAudioOnly())  // a cover picture is never shown anyway
            LogMessage(LOG_ERROR,
                       L"Demuxer::OpenVideo: pictures of %dx%d are beyond the playable limits",
                       declared.width, declared.height);
        return;
    }
    av->m_pVideoCodec =
        OpenDecoder(*av->m_pVideoStream, L"Demuxer::OpenVideo: unsupported codec: %d",
                    L"Demuxer::OpenVideo: could not open codec: %d, %d", m_nVideoThreads);
    // A buffer that cannot be had now is tried again at the first picture.
    if (ffmpeg::IsOpen(av->m_pVideoCodec)) {
        const demux::PictureLayout layout = DeclaredLayout();
        av->m_picture.Reserve(layout.Width(), layout.Height());
    }
}

// The container's aspect ratio first, as players take it, then the picture's own.
demux::PictureLayout Demuxer::LayoutOf(int width, int height, AVRational pictureAspect) const
{
    const AVRational declared = av->m_pVideoStream->sample_aspect_ratio;
    const AVRational aspect = declared.num > 0 && declared.den > 0 ? declared : pictureAspect;
    return demux::LayoutOf(width, height, aspect, av->m_turn);
}

demux::PictureLayout Demuxer::DeclaredLayout() const
{
    const AVCodecParameters& declared = *av->m_pVideoStream->codecpar;
    return LayoutOf(declared.width, declared.height, declared.sample_aspect_ratio);
}

void Demuxer::GetDeliveredSize(int32_t* width, int32_t* height) const
{
    *width = *height = 0;
    if (!m_bInited || !av->m_pVideoStream) return;
    const demux::PictureLayout layout = DeclaredLayout();
    *width = layout.Width();
    *height = layout.Height();
}

void Demuxer::OpenAudio()
{
    av->m_pAudioCodec =
        OpenDecoder(*av->m_pAudioStream, L"Demuxer::OpenAudio: unsupported codec: %d",
                    L"Demuxer::OpenAudio: could not open codec: %d, %d");
    if (!av->m_pAudioCodec) return;
    const AVCodecContext& codec = *av->m_pAudioCodec;
    // Each decoded block is checked again before it is converted.
    const int rate = codec.sample_rate;
    const int channels = codec.ch_layout.nb_channels;
    if (!demux::MayBePlayableAudio(rate, channels)) {
        LogMessage(LOG_ERROR, L"Demuxer::OpenAudio: unplayable audio: %d Hz, %d channels", rate,
                   channels);
        av->m_pAudioCodec.reset();  // the stream counts as one without a decoder
        return;
    }
    av->m_audio.SetStreamFormat(codec.ch_layout, rate, channels);
}

// A stream whose decoder is missing or did not open counts as absent: the file plays as
// its other stream alone, and one with nothing to decode is refused, naming the codecs,
// rather than read to no end.
bool Demuxer::KeepDecodableStreams()
{
    std::wstring undecodable;
    const auto drop = [&undecodable](AVStream*& stream, int32_t& index,
                                     ffmpeg::CodecContextPtr& codec) {
        if (!stream || ffmpeg::IsOpen(codec)) return;
        const char* name = avcodec_get_name(stream->codecpar->codec_id);
        if (!undecodable.empty()) undecodable += L", ";
        undecodable.append(name, name + std::strlen(name));
        stream = nullptr;
        index = -1;
        codec.reset();
    };
    if (!av->m_bVideoBeyondLimits) drop(av->m_pVideoStream, av->m_nVideoIndex, av->m_pVideoCodec);
    drop(av->m_pAudioStream, av->m_nAudioIndex, av->m_pAudioCodec);
    if (av->m_pVideoStream || av->m_pAudioStream) return true;
    LogMessage(LOG_ERROR, L"Demuxer::Init: nothing to decode: %ls",
               undecodable.empty() ? L"no audio or video stream" : undecodable.c_str());
    return false;
}

bool Demuxer::StreamsSayAudioOnly() const
{
    if (!av->m_pAudioStream) return false;
    if (!av->m_pVideoStream) return true;
    return demux::IsStillPicture(av->m_pVideoStream->avg_frame_rate,
                                 av->m_pVideoStream->r_frame_rate);
}

// Positions count from the input's start time, whatever it is (a negative one too).
void Demuxer::PublishFacts()
{
    const AVFormatContext& context = *av->context;
    m_llDurationUs.store(context.duration);
    m_llBitRate.store(context.bit_rate);
    m_llFileSize.store(context.pb ? avio_size(context.pb) : -1);
    m_llStartTimeUs.store(context.start_time != AV_NOPTS_VALUE ? context.start_time : 0);
    // Formats with timestamp discontinuities (MPEG-TS) seek better by bytes, where they
    // allow byte seeks; formats such as MP4 refuse them, so the mode follows each input.
    const int flags = context.iformat->flags;
    m_bSeekByBytes.store((flags & AVFMT_TS_DISCONT) != 0 && (flags & AVFMT_NO_BYTE_SEEK) == 0);
    m_bVideoOnlyInput.store(av->m_pVideoStream && !av->m_pAudioStream);
    m_bAudioOnlyInput.store(av->m_bAudioOnly);
    m_bHasInput.store(true);
}

void Demuxer::ClearFacts()
{
    m_bHasInput.store(false);
    m_bVideoOnlyInput.store(false);
    m_bAudioOnlyInput.store(false);
    m_llDurationUs.store(0);
    m_llBitRate.store(0);
    m_llFileSize.store(-1);
    m_llStartTimeUs.store(0);
}

// An abandoned body may still use everything: nothing is released.
int32_t Demuxer::UnInit(KeepFile keep)
{
    const demux::EngineThreadScope engine;
    m_pKeptSource.reset();
    if (!m_bInited || Abandoned()) return 0;
    ClearFacts();
    if (keep == KeepFile::ForNextInit && av->m_pIo) m_pKeptSource = av->m_pIo->TakeSource();
    av->Release();
    m_bInited = false;
    return 0;
}

bool Demuxer::IsVideoOnly() const { return m_bVideoOnlyInput.load(); }

bool Demuxer::IsAudioOnly() const { return m_bAudioOnlyInput.load(); }

double Demuxer::GetFrameRate() const
{
    if (!av->m_pVideoStream) return 0.0;
    const double rate = demux::StreamFrameRate(av->m_pVideoStream->avg_frame_rate,
                                               av->m_pVideoStream->r_frame_rate);
    return demux::IsPlausibleFrameRate(rate) ? rate : 0.0;
}

int32_t Demuxer::GetMediaInfo(MediaInfo* info) const
{
    *info = MediaInfo{};
    if (!m_bInited) return -1;
    if (av->m_pVideoStream) {
        info->nWidth = av->m_pVideoStream->codecpar->width;
        info->nHeight = av->m_pVideoStream->codecpar->height;
        info->nFrameRate = demux::WholeFrameRate(av->m_pVideoStream->avg_frame_rate,
                                                 av->m_pVideoStream->r_frame_rate);
    }
    if (av->m_pAudioStream && av->m_pAudioCodec) {
        info->nSampleRate = av->m_pAudioCodec->sample_rate;
        info->nChannels = av->m_pAudioCodec->ch_layout.nb_channels;
    }
    // An input without a start time starts at 0, not at the no-value marker's seconds.
    int64_t start = av->context->start_time;
    info->llStartTime = start == AV_NOPTS_VALUE ? 0 : demux::WholeSeconds(start);
    return 0;
}

int32_t Demuxer::GetFileInfo(MediaFileInfo* info) const
{
    *info = MediaFileInfo{};
    if (!m_bInited) return -1;
    if (av->m_pVideoStream) {
        GetDeliveredSize(&info->nWidth, &info->nHeight);
        CopyDecoderName(av->m_pVideoCodec, info->szVideoCodec);
    }
    CopyDecoderName(av->m_pAudioCodec, info->szAudioCodec);
    info->llFileSize = av->context->pb ? avio_size(av->context->pb) : AVERROR(ENOSYS);
    return 0;
}

int32_t Demuxer::GetDuration() const
{
    if (!m_bHasInput.load()) {
        LogMessage(LOG_ERROR, L"Demuxer::GetDuration error: av->context is null");
        return -1;
    }
    int64_t duration = m_llDurationUs.load();
    // An input that reports no duration shows 0 rather than the marker's low bits.
    if (duration == AV_NOPTS_VALUE) return 0;
    return static_cast<int32_t>(demux::WholeSeconds(duration));
}

void Demuxer::ForceStereoOutput() { av->m_audio.ForceStereo(); }

void Demuxer::ForceSampleRate44100() { av->m_audio.ForceRate44100(); }

// Without an input there is nothing to seek in. A byte seek aims from where the decoder
// read last, at the byte rate it measured there (the container's rate until it has).
int64_t Demuxer::Seek(int64_t wantedPos, uint64_t generation)
{
    if (!m_bHasInput.load()) return -1;
    // A target past the end stays past it, by a second, so that its time can be computed.
    const int64_t duration = m_llDurationUs.load();
    const int64_t last = duration != AV_NOPTS_VALUE && duration > 0
                             ? demux::WholeSeconds(duration) + 1
                             : DEMUX_LONGEST_MEDIA_SECONDS;
    wantedPos = std::clamp<int64_t>(wantedPos, 0, last);
    demux::SeekTarget target;
    if (!m_bSeekByBytes.load()) {
        target = demux::TimeSeekTarget(wantedPos, m_llStartTimeUs.load());
    } else {
        const demux::SeekRequest::ReadPoint read = av->m_seek.LastRead();
        const double rate = read.dBytesPerSecond > 0.0
                                ? read.dBytesPerSecond
                                : static_cast<double>(m_llBitRate.load()) / 8.0;
        target = demux::ByteSeekTarget(wantedPos, read.point, rate, m_llFileSize.load());
    }
    target.nGeneration = generation;
    av->m_seek.Post(target);
    return (target.nSeekFlags & AVSEEK_FLAG_BYTE) != 0 ? target.llSeekPos : -1;
}
