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

// 1023 + 3 rounds to 256, which wraps to 255 rather than to 0. Samples above 1023 (a
// hostile file's raw video) keep the low byte, as the scaler's 32-bit arithmetic does.
inline uint8_t Reduce(uint32_t sample, uint32_t dither)
{
    const uint32_t rounded = (sample + dither) >> 2;
    return static_cast<uint8_t>(rounded - (rounded >> 8));
}

// Two samples a step (start is even), so each dither is a constant of the loop.
void ReduceTail(const uint16_t* source, uint8_t* destination, int start, int width,
                const uint16_t* dither)
{
    int x = start;
    for (; x + 2 <= width; x += 2) {
        destination[x] = Reduce(source[x], dither[0]);
        destination[x + 1] = Reduce(source[x + 1], dither[1]);
    }
    if (x < width) destination[x] = Reduce(source[x], dither[0]);
}

#ifdef QUORVEL_DEPTH_SSE2
// (s + d) >> 2 as (s >> 2) + ((s & 3) + d) >> 2, which cannot overflow 16 bits; the low
// byte is kept, not saturated, as in Reduce.
inline __m128i ReduceEight(__m128i samples, __m128i dither)
{
    const __m128i low = _mm_and_si128(samples, _mm_set1_epi16(3));
    __m128i rounded =
        _mm_add_epi16(_mm_srli_epi16(samples, 2), _mm_srli_epi16(_mm_add_epi16(low, dither), 2));
    rounded = _mm_sub_epi16(rounded, _mm_srli_epi16(rounded, 8));
    return _mm_and_si128(rounded, _mm_set1_epi16(0xFF));
}
#endif

void ReduceRow(const uint16_t* source, uint8_t* destination, int width, const uint16_t* dither)
{
    int x = 0;
#ifdef QUORVEL_DEPTH_SSE2
    const __m128i pattern = _mm_set1_epi32(static_cast<int>(dither[0] | (dither[1] << 16)));
    for (; x + 16 <= width; x += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x),
                         _mm_packus_epi16(ReduceEight(low, pattern), ReduceEight(high, pattern)));
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
