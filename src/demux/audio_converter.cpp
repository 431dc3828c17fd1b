#include "demux/audio_converter.h"

#include <cmath>

#include "demux/media_limits.h"
#include "diag/log.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace demux {

namespace {

AVChannelLayout DefaultLayout(int channels)
{
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    return layout;
}

// Drops the stereo-downmix flags a decoder may add; keeps the layout if that changes
// the channel count.
AVChannelLayout WithoutDownmixChannels(const AVChannelLayout& layout)
{
    if (layout.order != AV_CHANNEL_ORDER_NATIVE) return layout;
    AVChannelLayout cleared{};
    uint64_t mask = layout.u.mask & ~(AV_CH_STEREO_LEFT | AV_CH_STEREO_RIGHT);
    if (av_channel_layout_from_mask(&cleared, mask) < 0 ||
        cleared.nb_channels != layout.nb_channels)
        return DefaultLayout(layout.nb_channels);
    return cleared;
}

}  // namespace

AVChannelLayout DecoderLayout(const AVChannelLayout& layout)
{
    if (layout.order == AV_CHANNEL_ORDER_NATIVE && layout.u.mask != 0) return layout;
    return DefaultLayout(layout.nb_channels);
}

bool TrimBefore(double start, PcmBlock* block)
{
    if (!(block->dPts < start)) return true;
    const int frameBytes = 2 * block->nChannels;
    const int frames = block->nSize / frameBytes;
    const double cut = std::ceil((start - block->dPts) * block->nSampleRate);
    if (cut >= frames) return false;
    const int bytes = static_cast<int>(cut) * frameBytes;
    block->pData += bytes;
    block->nSize -= bytes;
    block->dPts += cut / block->nSampleRate;
    return true;
}

void AudioConverter::SetStreamFormat(const AVChannelLayout& layout, int sampleRate, int channels)
{
    AVChannelLayout chosen =
        layout.nb_channels == channels ? DecoderLayout(layout) : DefaultLayout(channels);
    chosen = WithoutDownmixChannels(chosen);
    m_srcChannelLayout = m_tgtChannelLayout = chosen;
    m_nSrcSampleFmt = m_nTgtSampleFmt = AV_SAMPLE_FMT_S16;
    m_nSrcSampleRate = m_nTgtSampleRate = sampleRate;
    m_nTgtChannels = channels;
}

void AudioConverter::ForceStereo()
{
    m_srcChannelLayout = m_tgtChannelLayout = DefaultLayout(2);
    m_nTgtChannels = 2;
}

void AudioConverter::ForceRate44100() { m_nSrcSampleRate = m_nTgtSampleRate = 44100; }

// A block in a format no resampler is built for gives no PCM, whatever it would need.
bool AudioConverter::Convert(const AVFrame& frame, PcmBlock* block)
{
    if (!IsPlayableAudioInput(frame.sample_rate, frame.ch_layout.nb_channels)) return false;
    AVChannelLayout layout = DecoderLayout(frame.ch_layout);
    if (!MatchesSource(frame, layout) && !Rebuild(frame, layout)) return false;
    if (m_pSwrCtx) return Resample(frame, block);
    auto format = static_cast<AVSampleFormat>(frame.format);
    block->pData = frame.data[0];
    block->nSize = av_samples_get_buffer_size(nullptr, frame.ch_layout.nb_channels,
                                              frame.nb_samples, format, 1);
    block->nSampleRate = frame.sample_rate;
    block->nChannels = frame.ch_layout.nb_channels;
    return block->nSize > 0;
}

bool AudioConverter::MatchesSource(const AVFrame& frame, const AVChannelLayout& layout) const
{
    // The channel count is not compared: the layout already says it.
    return frame.format == m_nSrcSampleFmt && frame.sample_rate == m_nSrcSampleRate &&
           av_channel_layout_compare(&layout, &m_srcChannelLayout) == 0;
}

bool AudioConverter::Rebuild(const AVFrame& frame, const AVChannelLayout& layout)
{
    m_pSwrCtx.reset();
    SwrContext* swr = nullptr;
    auto format = static_cast<AVSampleFormat>(frame.format);
    AVChannelLayout input = layout;  // the library takes non-const layouts
    if (swr_alloc_set_opts2(&swr, &m_tgtChannelLayout, m_nTgtSampleFmt, m_nTgtSampleRate, &input,
                            format, frame.sample_rate, 0, nullptr) < 0)
        return false;
    ffmpeg::SwrPtr resampler(swr);
    if (swr_init(resampler.get()) < 0) return false;
    m_pSwrCtx = std::move(resampler);
    m_srcChannelLayout = layout;
    m_nSrcSampleRate = frame.sample_rate;
    m_nSrcSampleFmt = format;
    return true;
}

bool AudioConverter::Resample(const AVFrame& frame, PcmBlock* block)
{
    if (m_nTgtChannels <= 0) return false;
    int bytesPerSample = av_get_bytes_per_sample(m_nTgtSampleFmt);
    int capacity = AUDIO_BUFFER_BYTES / m_nTgtChannels / bytesPerSample;
    uint8_t* out = m_audioBuffer.data();
    int n = swr_convert(m_pSwrCtx.get(), &out, capacity,
                        const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    if (n < 0) {
        LogMessage(LOG_ERROR, L"audio_resample() failed");
        return false;
    }
    if (n == capacity) {
        LogMessage(LOG_INFO, L"warning: audio buffer is probably too small");
        swr_init(m_pSwrCtx.get());
    }
    block->pData = m_audioBuffer.data();
    block->nSize = n * m_nTgtChannels * bytesPerSample;
    block->nSampleRate = m_nTgtSampleRate;
    block->nChannels = m_nTgtChannels;
    // A resampler may hold back the first samples; an empty block is not handed out.
    return block->nSize > 0;
}

}  // namespace demux
