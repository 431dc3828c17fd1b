#include "instance/file_limits.h"

#include <algorithm>
#include <array>

#include "demux/media_limits.h"

namespace quorvel {
namespace {

constexpr std::array<int, 5> LIMITS_NATIVE_AUDIO_ONLY_RATES{8000, 16000, 32000, 48000, 44100};

// Values from 1 to below min, or above max, are out; 0 and below stand for "none".
bool IsOutside(int32_t value, int32_t min, int32_t max)
{
    return (value >= 1 && value < min) || value > max;
}

}  // namespace

bool IsWithinPlayableLimits(const MediaInfo& info, PlayedStreams streams)
{
    if (streams != PlayedStreams::AudioOnly &&
        (IsOutside(info.nWidth, 100, demux::STREAM_MAX_PICTURE_WIDTH) ||
         IsOutside(info.nHeight, 80, demux::STREAM_MAX_PICTURE_HEIGHT) ||
         IsOutside(info.nFrameRate, 5, 60))) {
        return false;
    }
    if (info.nChannels >= 6) {
        return false;
    }
    return info.nChannels != 0 || streams == PlayedStreams::VideoOnly;
}

bool IsNativeAudioOnlyRate(int sampleRate)
{
    const auto& rates = LIMITS_NATIVE_AUDIO_ONLY_RATES;
    return std::find(rates.begin(), rates.end(), sampleRate) != rates.end();
}

}  // namespace quorvel
