// The records that travel through the frame queues between the decoder thread and the two
// consumers (render clock, host audio pull).
#pragma once

#include <cstdint>
#include <vector>

namespace playback {

// What a queued picture or block was decoded for: the playback generation (Open, Close
// and each seek begin one) and the pass of a looping file within it. Whatever carries an
// older tag than the pass being played is stale and dropped on sight; a newer one waits
// for its pass.
struct PlaybackTag {
    uint64_t nGeneration = 0;
    uint32_t nPass = 0;
};

enum class TagOrder { Older, Same, Newer };

// Where entry stands against playing.
inline TagOrder CompareTags(const PlaybackTag& entry, const PlaybackTag& playing)
{
    if (entry.nGeneration != playing.nGeneration)
        return entry.nGeneration < playing.nGeneration ? TagOrder::Older : TagOrder::Newer;
    if (entry.nPass != playing.nPass)
        return entry.nPass < playing.nPass ? TagOrder::Older : TagOrder::Newer;
    return TagOrder::Same;
}

}  // namespace playback

// One queued picture. pData points into a buffer lent by the FramePool; it is null once
// the buffer has been given back.
struct VideoFrame {
    uint8_t* pData;
    int32_t nSize;  // bytes in pData, as the decoder reported
    int32_t nWidth;  // pixels
    int32_t nHeight;  // pixels
    int32_t nFormat;  // libavutil pixel format
    double dPts;  // seconds, media time line
    playback::PlaybackTag tag{};
};

// One queued block of interleaved s16 PCM. A pull that ends inside the block moves
// nOffset on instead of moving the tail, and the storage is recycled by the instance, so
// steady playback allocates nothing per block or per chunk.
struct AudioFrame {
    std::vector<uint8_t> bytes;  // the block as queued; its first nOffset bytes are used up
    int32_t nOffset;  // bytes already consumed
    int32_t nSize;  // bytes not yet consumed
    int32_t nSampleRate;  // Hz
    int32_t nChannels;
    double dPts;  // seconds, media time line: of the block's first sample
    playback::PlaybackTag tag{};

    const uint8_t* Unconsumed() const { return bytes.data() + nOffset; }
    double BytesPerSecond() const { return 2.0 * nSampleRate * nChannels; }
    // Seconds: where the unconsumed bytes begin, and where the block ends.
    double NextPts() const { return dPts + nOffset / BytesPerSecond(); }
    double EndPts() const { return dPts + (nOffset + nSize) / BytesPerSecond(); }
};
