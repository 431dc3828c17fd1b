// The host's code for the pixel format the decoder reports with a picture.
#pragma once

#include <cstdint>

namespace demux {

// Host code (VIDEO_FORMAT_*) for a libavutil pixel format; VIDEO_FORMAT_UNKNOWN for the
// formats the host has no code for.
int32_t ToHostPixelFormat(int32_t avPixelFormat);

}  // namespace demux
