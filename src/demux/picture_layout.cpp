#include "demux/picture_layout.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace demux {

namespace {

// A matrix entry this much smaller than the largest counts as zero: writers round the
// sine and cosine of a quarter turn to 16.16 fixed point.
constexpr double LAYOUT_ZERO_SHARE = 1.0 / 256;
constexpr double LAYOUT_MOST_PIXEL_RATIO = 4.0;
constexpr int LAYOUT_MOST_SCALED_WIDTH = 3840;  // pixels
// Pixels a side of the blocks a plane is turned in: a block's rows and columns stay in the
// caches while its columns are written.
constexpr int LAYOUT_TURN_BLOCK = 32;

}  // namespace

// The matrix maps a source point (x, y), y downwards, to (a x + c y, b x + d y): with b and
// c zero the axes stay and a negative a or d mirrors one; with a and d zero they swap, and
// a negative c or b mirrors the result's columns or rows.
Orientation OrientationOf(const int32_t* matrix)
{
    if (matrix == nullptr) return {};
    const double a = matrix[0];
    const double b = matrix[1];
    const double c = matrix[3];
    const double d = matrix[4];
    const double largest = std::max({std::fabs(a), std::fabs(b), std::fabs(c), std::fabs(d)});
    auto zero = [largest](double value) { return std::fabs(value) <= largest * LAYOUT_ZERO_SHARE; };
    if (largest == 0.0) return {};
    if (zero(b) && zero(c) && !zero(a) && !zero(d)) return {false, a < 0, d < 0};
    if (zero(a) && zero(d) && !zero(b) && !zero(c)) return {true, c < 0, b < 0};
    return {};
}

int SquarePixelWidth(int width, AVRational sar)
{
    if (width <= 0 || sar.num <= 0 || sar.den <= 0 || sar.num == sar.den) return width;
    const double ratio = static_cast<double>(sar.num) / sar.den;
    if (ratio < 1.0 / LAYOUT_MOST_PIXEL_RATIO || ratio > LAYOUT_MOST_PIXEL_RATIO) return width;
    const double scaled = 2.0 * std::round(width * ratio / 2.0);
    if (scaled < 2.0 || scaled > LAYOUT_MOST_SCALED_WIDTH) return width;
    return static_cast<int>(scaled);
}

PictureLayout LayoutOf(int width, int height, AVRational sar, Orientation turn)
{
    return {width, SquarePixelWidth(width, sar), height, turn};
}

// Each source pixel goes to origin + x * stepX + y * stepY in the destination.
void TurnPlane(const uint8_t* source, int stride, int width, int height, Orientation turn,
               uint8_t* destination)
{
    const ptrdiff_t outWidth = turn.bTranspose ? height : width;
    const ptrdiff_t outHeight = turn.bTranspose ? width : height;
    const ptrdiff_t column = turn.bMirrorX ? -1 : 1;
    const ptrdiff_t row = turn.bMirrorY ? -outWidth : outWidth;
    const ptrdiff_t stepX = turn.bTranspose ? row : column;
    const ptrdiff_t stepY = turn.bTranspose ? column : row;
    uint8_t* const origin = destination + (turn.bMirrorY ? (outHeight - 1) * outWidth : 0) +
                            (turn.bMirrorX ? outWidth - 1 : 0);
    for (int top = 0; top < height; top += LAYOUT_TURN_BLOCK) {
        const int bottom = std::min(height, top + LAYOUT_TURN_BLOCK);
        for (int left = 0; left < width; left += LAYOUT_TURN_BLOCK) {
            const int right = std::min(width, left + LAYOUT_TURN_BLOCK);
            for (int y = top; y < bottom; ++y) {
                const uint8_t* in = source + static_cast<ptrdiff_t>(y) * stride;
                uint8_t* out = origin + y * stepY;
                for (int x = left; x < right; ++x) out[x * stepX] = in[x];
            }
        }
    }
}

}  // namespace demux
