// Hands decoded audio out as interleaved signed 16-bit PCM in the output format: the
// decoder's own buffer when it already is that format, else through a resampler that is
// rebuilt only when the decoder's sample format, layout or rate changes.
// Control thread: SetStreamFormat, ForceStereo, ForceRate44100, Release (decoder thread
// stopped). Decoder thread: Convert.
#pragma once

#include <array>
#include <cstdint>

#include "demux/ffmpeg_ptr.h"

namespace demux {

// A block of PCM, valid until the next Convert.
struct PcmBlock {
    const uint8_t* pData = nullptr;
    int nSize = 0;  // bytes
    int nSampleRate = 0;  // Hz
    int nChannels = 0;
    double dPts = 0.0;  // seconds, of its first sample
};

// Cuts what lies before start (seconds) off the block, to the sample; false when nothing
// is left of it.
bool TrimBefore(double start, PcmBlock* block);

// The layout a decoder's output counts as: its own when it is a channel mask for its
// channel count, else the default layout for that count. Never a custom-order layout, so
// the value owns no memory and copies freely.
AVChannelLayout DecoderLayout(const AVChannelLayout& layout);

class AudioConverter {
public:
    static constexpr int AUDIO_BUFFER_BYTES = 768000;

    // Source and output both become the stream's format in 16-bit samples.
    void SetStreamFormat(const AVChannelLayout& layout, int sampleRate, int channels);
    void ForceStereo();
    void ForceRate44100();
    // False when the frame gives no PCM (resampler could not be made, conversion failed).
    bool Convert(const AVFrame& frame, PcmBlock* block);
    void Release() { m_pSwrCtx.reset(); }

private:
    bool MatchesSource(const AVFrame& frame, const AVChannelLayout& layout) const;
    bool Rebuild(const AVFrame& frame, const AVChannelLayout& layout);
    bool Resample(const AVFrame& frame, PcmBlock* block);

    AVSampleFormat m_nSrcSampleFmt = AV_SAMPLE_FMT_S16;
    int m_nSrcSampleRate = 0;
    AVChannelLayout m_srcChannelLayout{};
    AVChannelLayout m_tgtChannelLayout{};
    AVSampleFormat m_nTgtSampleFmt = AV_SAMPLE_FMT_S16;
    int m_nTgtSampleRate = 0;
    int m_nTgtChannels = 0;
    ffmpeg::SwrPtr m_pSwrCtx;  // null while the decoder delivers the output format
    std::array<uint8_t, AUDIO_BUFFER_BYTES> m_audioBuffer{};
};

}  // namespace demux
