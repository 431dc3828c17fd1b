#include "demux/depth_reduction.h"

#include <cstddef>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QUORVEL_DEPTH_SSE2 1
#endif

namespace demux {

namespace {

// The dither added before dropping the two low bits: 1, 2, 1, 2, ... on even rows and
// 3, 0, 3, 0, ... on odd ones, counted within each plane.
constexpr uint16_t DITHER[2][2] = {{1, 2}, {3, 0}};

// 1023 + 3 rounds to 256, which wraps to 255 rather than to 0.
inline uint8_t Reduce(uint16_t sample, uint16_t dither)
{
    const auto rounded = static_cast<uint16_t>((sample + dither) >> 2);
    return static_cast<uint8_t>(rounded - (rounded >> 8));
}

// Samples from column start to the end of the row.
void ReduceTail(const uint16_t* source, uint8_t* destination, int start, int width,
                const uint16_t* dither)
{
    for (int x = start; x < width; ++x) destination[x] = Reduce(source[x], dither[x & 1]);
}

void ReduceRow(const uint16_t* source, uint8_t* destination, int width, const uint16_t* dither)
{
    int x = 0;
#ifdef QUORVEL_DEPTH_SSE2
    const __m128i pattern = _mm_set1_epi32(static_cast<int>(dither[0] | (dither[1] << 16)));
    for (; x + 16 <= width; x += 16) {
        __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x + 8));
        low = _mm_srli_epi16(_mm_add_epi16(low, pattern), 2);
        high = _mm_srli_epi16(_mm_add_epi16(high, pattern), 2);
        low = _mm_sub_epi16(low, _mm_srli_epi16(low, 8));
        high = _mm_sub_epi16(high, _mm_srli_epi16(high, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x), _mm_packus_epi16(low, high));
    }
#endif
    ReduceTail(source, destination, x, width, dither);
}

void ReducePlane(const uint8_t* source, int sourceStride, uint8_t* destination, int width,
                 int height)
{
    for (int y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const uint16_t*>(source + static_cast<ptrdiff_t>(y) * sourceStride);
        ReduceRow(row, destination + static_cast<ptrdiff_t>(y) * width, width, DITHER[y & 1]);
    }
}

}  // namespace

bool IsTenBitYuv420(int format) { return format == AV_PIX_FMT_YUV420P10LE; }

void PackTenBit(const AVFrame& picture, uint8_t* packed, int width, int height)
{
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    uint8_t* u = packed + static_cast<ptrdiff_t>(width) * height;
    uint8_t* v = u + static_cast<ptrdiff_t>(chromaWidth) * chromaHeight;
    ReducePlane(picture.data[0], picture.linesize[0], packed, width, height);
    ReducePlane(picture.data[1], picture.linesize[1], u, chromaWidth, chromaHeight);
    ReducePlane(picture.data[2], picture.linesize[2], v, chromaWidth, chromaHeight);
}

}  // namespace demux
