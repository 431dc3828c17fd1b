// Turns a decoded picture of any pixel format into the packed YUV 4:2:0 buffer handed to
// the owner: Y rows of width bytes, then U and V rows of width/2 bytes, height/2 rows each.
// Decoder thread only (Reserve and Release also on the control thread while the decoder
// thread is stopped). A picture whose size differs from the last one resizes the buffer,
// the scaler and the conversion frame first, so nothing is written past a buffer. The own
// buffer is written only for pictures packed without a destination, so while the owner
// lends buffers its pages are never made resident.
#pragma once

#include <cstdint>

#include "demux/ffmpeg_ptr.h"

namespace demux {

class PicturePacker {
public:
    // Sizes the buffer for the stream's opening dimensions; false when it cannot be had.
    bool Reserve(int width, int height);
    // Converts when needed and packs into destination, which holds BufferSize() bytes
    // for the picture's size (call Reserve for it first), or into the packer's own buffer
    // when destination is null. False when a buffer or the scaler cannot be had.
    bool Pack(const AVFrame& picture, uint8_t* destination = nullptr);
    void Release();

    const uint8_t* Data() const { return m_pPictureBuffer.get(); }
    int32_t BufferSize() const { return m_nPictureBufferSize; }  // bytes allocated
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    // The picture in YUV 4:2:0: itself, or its conversion; null when conversion failed.
    const AVFrame* ToYuv420(const AVFrame& picture);
    bool ScaleInto(const AVFrame& picture, uint8_t* packed);
    bool ReserveScaler(const AVFrame& picture);
    bool ReserveConversion(int width, int height);
    void CopyPacked(const AVFrame& yuv, uint8_t* destination);
    void ZeroTail(uint8_t* packed) const;

    ffmpeg::BufferPtr m_pPictureBuffer;
    int32_t m_nPictureBufferSize = 0;
    int m_nWidth = 0;  // pixels the buffer is sized for
    int m_nHeight = 0;
    ffmpeg::SwsPtr m_pSwsCtx;
    ffmpeg::FramePtr m_pConvFrame;
};

}  // namespace demux
