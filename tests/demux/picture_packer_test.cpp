#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "demux/picture_packer.h"

extern "C" {
#include <libavutil/display.h>
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
        ASSERT_TRUE(
            packer.Pack(*picture, demux::LayoutOf(size[0], size[1], {1, 1}, {}), lent.data()));
        const std::vector<uint8_t> expected = ScalerPacked(*picture);
        ASSERT_LE(expected.size(), lent.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), lent.begin()))
            << size[0] << "x" << size[1];
        for (size_t i = expected.size(); i < lent.size(); ++i) ASSERT_EQ(lent[i], 0) << i;
    }
}

// One plane of a packed picture turned pixel by pixel, straight from what the orientation
// means: the result's pixel (X, Y) before the mirrors is the source's (Y, X) when
// transposed, else (X, Y).
std::vector<uint8_t> TurnedByHand(const uint8_t* plane, int width, int height,
                                  demux::Orientation turn)
{
    const int outWidth = turn.bTranspose ? height : width;
    const int outHeight = turn.bTranspose ? width : height;
    std::vector<uint8_t> out(static_cast<size_t>(outWidth) * outHeight);
    for (int y = 0; y < outHeight; ++y) {
        for (int x = 0; x < outWidth; ++x) {
            const int unmirroredX = turn.bMirrorX ? outWidth - 1 - x : x;
            const int unmirroredY = turn.bMirrorY ? outHeight - 1 - y : y;
            const int sourceX = turn.bTranspose ? unmirroredY : unmirroredX;
            const int sourceY = turn.bTranspose ? unmirroredX : unmirroredY;
            out[static_cast<size_t>(y) * outWidth + x] = plane[sourceY * width + sourceX];
        }
    }
    return out;
}

// All eight orientations of 10-bit pictures (reduced first, then turned) at sizes beyond
// one block and odd ones: each plane is the reduced plane moved pixel for pixel.
TEST(PicturePacker, TurnedPicturesMoveEveryPixel)
{
    const int sizes[][2] = {{70, 38}, {37, 23}, {2, 2}};
    for (const auto& size : sizes) {
        const int width = size[0];
        const int height = size[1];
        const ffmpeg::FramePtr picture = TenBitPicture(width, height, 7);
        const std::vector<uint8_t> upright = ScalerPacked(*picture);
        for (int bits = 1; bits < 8; ++bits) {
            const demux::Orientation turn{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
            SCOPED_TRACE(testing::Message() << width << "x" << height << " turn " << bits);
            demux::PicturePacker packer;
            const demux::PictureLayout layout = demux::LayoutOf(width, height, {0, 1}, turn);
            ASSERT_TRUE(packer.Pack(*picture, layout));
            EXPECT_EQ(packer.Width(), turn.bTranspose ? height : width);
            const size_t chroma = static_cast<size_t>(width / 2) * (height / 2);
            const size_t planeStart[3] = {0, upright.size() - 2 * chroma, upright.size() - chroma};
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane == 0 ? width : width / 2;
                const int h = plane == 0 ? height : height / 2;
                const std::vector<uint8_t> want =
                    TurnedByHand(upright.data() + planeStart[plane], w, h, turn);
                EXPECT_TRUE(std::equal(want.begin(), want.end(), packer.Data() + planeStart[plane]))
                    << "plane " << plane;
            }
        }
    }
}

// What display matrices ask for, as FFmpeg writes them, and square-pixel widths.
TEST(PictureLayout, ReadsQuarterTurnsMirrorsAndPixelShapes)
{
    struct Turn {
        double degrees;  // clockwise, as av_display_rotation_set counts
        bool mirror;  // then mirrored left to right
        demux::Orientation expected;
    };
    const Turn turns[] = {
        {0, false, {false, false, false}},  {90, false, {true, true, false}},
        {-90, false, {true, false, true}},  {180, false, {false, true, true}},
        {0, true, {false, true, false}},    {90, true, {true, false, false}},
        {30, false, {false, false, false}},  // not a quarter turn: left as it is
    };
    for (const Turn& row : turns) {
        int32_t matrix[9];
        av_display_rotation_set(matrix, row.degrees);
        if (row.mirror) av_display_matrix_flip(matrix, 1, 0);
        const demux::Orientation got = demux::OrientationOf(matrix);
        EXPECT_EQ(got.bTranspose, row.expected.bTranspose) << row.degrees << " " << row.mirror;
        EXPECT_EQ(got.bMirrorX, row.expected.bMirrorX) << row.degrees << " " << row.mirror;
        EXPECT_EQ(got.bMirrorY, row.expected.bMirrorY) << row.degrees << " " << row.mirror;
    }
    EXPECT_TRUE(demux::OrientationOf(nullptr).IsUpright());

    struct Aspect {
        int width;
        AVRational sar;
        int expected;
    };
    const Aspect aspects[] = {
        {720, {64, 45}, 1024}, {720, {16, 15}, 768}, {720, {10, 11}, 654},  // rounded to even
        {720, {1, 1}, 720},    {720, {0, 1}, 720},   {720, {1, 0}, 720},  // unknown
        {720, {-4, 3}, 720},   {720, {5, 1}, 720},   {720, {1, 5}, 720},  // not believable
        {1920, {3, 1}, 1920},  // wider than any picture within the limits
        {1920, {2, 1}, 3840},  {1, {1, 4}, 1},  // too narrow to scale
    };
    for (const Aspect& row : aspects)
        EXPECT_EQ(demux::SquarePixelWidth(row.width, row.sar), row.expected)
            << row.width << " " << row.sar.num << ":" << row.sar.den;
}

}  // namespace
