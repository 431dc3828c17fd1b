#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "demux/picture_packer.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

// A 10-bit 4:2:0 picture of random samples, with rows at the top of the range and, as a
// hostile file's raw video may hold, rows of samples beyond it.
ffmpeg::FramePtr TenBitPicture(int width, int height, uint32_t seed)
{
    ffmpeg::FramePtr picture(av_frame_alloc());
    picture->format = AV_PIX_FMT_YUV420P10LE;
    picture->width = width;
    picture->height = height;
    EXPECT_EQ(av_frame_get_buffer(picture.get(), 0), 0);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(0, 1023);
    std::uniform_int_distribution<int> beyond(1024, 65535);
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? height : (height + 1) / 2;
        const int columns = plane == 0 ? width : (width + 1) / 2;
        for (int y = 0; y < rows; ++y) {
            auto* row =
                reinterpret_cast<uint16_t*>(picture->data[plane] + y * picture->linesize[plane]);
            for (int x = 0; x < columns; ++x)
                row[x] = static_cast<uint16_t>(y % 3 == 0   ? 1023 - x % 2
                                               : y % 5 == 4 ? beyond(random)
                                                            : sample(random));
        }
    }
    return picture;
}

// What the scaler makes of it, in the packed layout (chroma rounded down).
std::vector<uint8_t> ScalerPacked(const AVFrame& picture)
{
    const int width = picture.width;
    const int height = picture.height;
    ffmpeg::FramePtr converted(av_frame_alloc());
    converted->format = AV_PIX_FMT_YUV420P;
    converted->width = width;
    converted->height = height;
    EXPECT_EQ(av_frame_get_buffer(converted.get(), 0), 0);
    ffmpeg::SwsPtr scaler(sws_getContext(width, height, AV_PIX_FMT_YUV420P10LE, width, height,
                                         AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                         nullptr));
    sws_scale(scaler.get(), picture.data, picture.linesize, 0, height, converted->data,
              converted->linesize);
    std::vector<uint8_t> packed;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? height : height / 2;
        const int columns = plane == 0 ? width : width / 2;
        for (int y = 0; y < rows; ++y) {
            const uint8_t* row = converted->data[plane] + y * converted->linesize[plane];
            packed.insert(packed.end(), row, row + columns);
        }
    }
    return packed;
}

// 10-bit pictures are reduced without the scaler, to the very same bytes, at every width
// (whole vector blocks, and a tail of each odd length) and odd heights; the rounded-up
// tail of an odd-sized buffer stays zero.
TEST(PicturePacker, TenBitPicturesPackToWhatTheScalerMakesOfThem)
{
    const int sizes[][2] = {{64, 32}, {1920, 8}, {37, 23}, {17, 2}, {2, 2}, {33, 5}};
    uint32_t seed = 1;
    for (const auto& size : sizes) {
        const ffmpeg::FramePtr picture = TenBitPicture(size[0], size[1], seed++);
        demux::PicturePacker packer;
        ASSERT_TRUE(packer.Reserve(size[0], size[1]));
        std::vector<uint8_t> lent(static_cast<size_t>(packer.BufferSize()), 0xAB);
        ASSERT_TRUE(packer.Pack(*picture, lent.data()));
        const std::vector<uint8_t> expected = ScalerPacked(*picture);
        ASSERT_LE(expected.size(), lent.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), lent.begin()))
            << size[0] << "x" << size[1];
        for (size_t i = expected.size(); i < lent.size(); ++i) ASSERT_EQ(lent[i], 0) << i;
    }
}

}  // namespace
