#include "playback/pacing.h"

#include "quorvel.h"

namespace playback {

int32_t AudioChunkBytes(int32_t sampleRate, int32_t channels)
{
    return sampleRate / 50 * 16 / 8 * channels;
}

bool IsPlayableAudioFormat(int32_t sampleRate, int32_t channels)
{
    if (sampleRate <= 0 || channels <= 0) {
        return false;
    }
    // In 64 bits: a declared rate and channel count may be anything.
    const int64_t chunk = int64_t{sampleRate / 50} * 2 * channels;
    return chunk > 0 && chunk <= QUORVEL_MAX_AUDIO_CHUNK_BYTES;
}

}  // namespace playback
