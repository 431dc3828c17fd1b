// Packs 10-bit YUV 4:2:0 pictures (little-endian, what HEVC Main 10, VP9 profile 2 and
// AV1 decode to) into 8 bits, with the same 2x2 ordered dither and rounding as swscale's
// unscaled conversion, so the result is bit for bit what the scaler gives (samples beyond
// 10 bits included), at a fraction of its cost: its plane copy is plain C, one pixel at a
// time. Eight samples a step with SSE2 where the target has it; a 32-bit build for CPUs
// without it (the mingw default) takes two a step.
//
// Threads: any; it keeps no state.
#pragma once

#include <cstdint>

struct AVFrame;

namespace demux {

// Whether PackTenBit takes pictures of this pixel format.
bool IsTenBitYuv420(int format);

// Writes the packed layout of width x height (Y rows of width bytes, then U and V rows of
// width / 2 bytes, height / 2 rows each) from picture, which holds at least that much.
void PackTenBit(const AVFrame& picture, uint8_t* packed, int width, int height);

}  // namespace demux
