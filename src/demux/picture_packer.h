// Turns a decoded picture of any pixel format into the packed YUV 4:2:0 buffer handed to
// the owner: Y rows of width bytes, then U and V rows of width/2 bytes, height/2 rows each,
// scaled to square pixels and turned upright as its layout says (see PictureLayout).
// Decoder thread only (Reserve and Release also on the control thread while the decoder
// thread is stopped). A picture whose size differs from the last one resizes the buffer,
// the scaler and the conversion frame first, so nothing is written past a buffer. The own
// buffer is written only for pictures packed without a destination, so while the owner
// lends buffers its pages are never made resident.
#pragma once

#include <cstdint>

#include "demux/ffmpeg_ptr.h"
#include "demux/picture_layout.h"

namespace demux {

class PicturePacker {
public:
    // Sizes the buffer for pictures of this size as delivered; false when it cannot be had.
    bool Reserve(int width, int height);
    // Converts, scales and turns when the layout asks, and packs into destination, which
    // holds BufferSize() bytes for the delivered size (call Reserve for it first), or into
    // the packer's own buffer when destination is null. False when a buffer or the scaler
    // cannot be had.
    bool Pack(const AVFrame& picture, const PictureLayout& layout, uint8_t* destination = nullptr);
    void Release();

    const uint8_t* Data() const { return m_pPictureBuffer.get(); }
    int32_t BufferSize() const { return m_nPictureBufferSize; }  // bytes allocated
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    // YUV 4:2:0 planes at the scaled size, not yet turned.
    struct Planes {
        const uint8_t* data[3];
        int linesize[3];
    };

    bool PackUpright(const AVFrame& picture, int scaledWidth, uint8_t* packed);
    bool PackTurned(const AVFrame& picture, const PictureLayout& layout, uint8_t* packed);
    // The picture in YUV 4:2:0 at scaledWidth: itself, or its conversion; null when
    // conversion failed.
    const AVFrame* ToYuv420(const AVFrame& picture, int scaledWidth);
    bool ScaleInto(const AVFrame& picture, uint8_t* packed);
    bool ReserveScaler(const AVFrame& picture, int scaledWidth);
    bool ReserveConversion(int width, int height);
    bool ReserveTenBitPlanes(int width, int height);
    void CopyPacked(const AVFrame& yuv, uint8_t* destination);
    void TurnPacked(const Planes& upright, const PictureLayout& layout, uint8_t* destination);
    void ZeroTail(uint8_t* packed) const;

    ffmpeg::BufferPtr m_pPictureBuffer;
    int32_t m_nPictureBufferSize = 0;
    int m_nWidth = 0;  // pixels the buffer is sized for
    int m_nHeight = 0;
    ffmpeg::SwsPtr m_pSwsCtx;
    ffmpeg::FramePtr m_pConvFrame;
    // 10-bit pictures to be turned are reduced here first, in the packed layout.
    ffmpeg::BufferPtr m_pTenBitPlanes;
    int32_t m_nTenBitPlanesSize = 0;  // bytes
};

}  // namespace demux
