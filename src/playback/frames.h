// The records that travel through the frame queues between the decoder thread and the two
// consumers (render clock, host audio pull).
#pragma once

#include <cstdint>
#include <memory>

// One queued picture. pData points into a buffer lent by the FramePool; it is null once
// the buffer has been given back.
struct VideoFrame {
    uint8_t* pData;
    int32_t nSize;  // bytes in pData, as the decoder reported
    int32_t nWidth;  // pixels
    int32_t nHeight;  // pixels
    int32_t nFormat;  // libavutil pixel format
    double dPts;  // seconds, stream time line
};

// One queued block of interleaved s16 PCM. The block owns exactly nSize bytes.
struct AudioFrame {
    std::unique_ptr<uint8_t[]> pData;
    int32_t nSize;  // bytes not yet consumed
    int32_t nSampleRate;  // Hz
    int32_t nChannels;
    double dPts;  // seconds; the pts of the packet the block came from
};
