#include "demux/host_pixel_format.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "quorvel.h"

namespace demux {

int32_t ToHostPixelFormat(int32_t avPixelFormat)
{
    switch (avPixelFormat) {
    case AV_PIX_FMT_YUV420P: return VIDEO_FORMAT_I420;
    case AV_PIX_FMT_RGB24: return VIDEO_FORMAT_RGB24;
    case AV_PIX_FMT_YUVJ420P: return VIDEO_FORMAT_J420;
    case AV_PIX_FMT_NV12: return VIDEO_FORMAT_NV12;
    default: return VIDEO_FORMAT_UNKNOWN;
    }
}

}  // namespace demux
