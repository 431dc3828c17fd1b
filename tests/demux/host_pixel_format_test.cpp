#include "demux/host_pixel_format.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "quorvel.h"

namespace {

TEST(HostPixelFormat, CodesByEnumerator)
{
    EXPECT_EQ(demux::ToHostPixelFormat(AV_PIX_FMT_YUV420P), VIDEO_FORMAT_I420);
    EXPECT_EQ(demux::ToHostPixelFormat(AV_PIX_FMT_RGB24), VIDEO_FORMAT_RGB24);
    EXPECT_EQ(demux::ToHostPixelFormat(AV_PIX_FMT_YUVJ420P), VIDEO_FORMAT_J420);
    EXPECT_EQ(demux::ToHostPixelFormat(AV_PIX_FMT_NV12), VIDEO_FORMAT_NV12);
    // 25 was NV12 in the old numbering; it is something else now.
    EXPECT_EQ(demux::ToHostPixelFormat(25), VIDEO_FORMAT_UNKNOWN);
    EXPECT_EQ(demux::ToHostPixelFormat(AV_PIX_FMT_YUV422P), VIDEO_FORMAT_UNKNOWN);
}

}  // namespace
