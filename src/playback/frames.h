// The records that travel through the frame queues between the decoder thread and the two
// consumers (render clock, host audio pull).
#pragma once

#include <cstdint>
#include <vector>

// One queued picture. pData points into a buffer lent by the FramePool; it is null once
// the buffer has been given back.
struct VideoFrame {
    uint8_t* pData;
    int32_t nSize;  // bytes in pData, as the decoder reported
    int32_t nWidth;  // pixels
    int32_t nHeight;  // pixels
    int32_t nFormat;  // libavutil pixel format
    double dPts;  // seconds, stream time line
    int64_t llPos = -1;  // bytes: file position of the picture's packet; -1 when unknown
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
    double dPts;  // seconds; the pts of the packet the block came from

    const uint8_t* Unconsumed() const { return bytes.data() + nOffset; }
};
