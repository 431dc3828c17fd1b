// How a decoded picture becomes one a host draws pixel for pixel: scaled to square pixels
// (its width changed, its height kept), then turned as the file's display matrix says.
// Pictures with square pixels and no turn are left exactly as decoded.
//
// Threads: any; nothing here keeps state.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace demux {

// A quarter or half turn, a mirror, or both, said as where each source pixel lands: with
// bTranspose the source's rows become the result's columns; the mirrors then reverse the
// result's columns (X) or rows (Y).
struct Orientation {
    bool bTranspose = false;
    bool bMirrorX = false;
    bool bMirrorY = false;

    bool IsUpright() const { return !bTranspose && !bMirrorX && !bMirrorY; }
};

// What a display matrix (FFmpeg's nine values) asks for. Upright for none, and for a
// matrix that is not a whole number of quarter turns: a picture is never turned by a
// guess.
Orientation OrientationOf(const int32_t* matrix);

// The even width at which pixels of aspect ratio sar are square. The width itself when the
// ratio is unknown or 1:1, or not believable: beyond 1:4 or 4:1, or a result outside 2 to
// 3840 pixels (what a square-pixel picture within the limits may reach).
int SquarePixelWidth(int width, AVRational sar);

struct PictureLayout {
    int nSourceWidth = 0;  // pixels, as decoded
    int nScaledWidth = 0;  // pixels, square; the height is kept
    int nHeight = 0;
    Orientation turn;

    bool IsScaled() const { return nScaledWidth != nSourceWidth; }
    // The size the host gets.
    int Width() const { return turn.bTranspose ? nHeight : nScaledWidth; }
    int Height() const { return turn.bTranspose ? nScaledWidth : nHeight; }
};

PictureLayout LayoutOf(int width, int height, AVRational sar, Orientation turn);

// Writes the width x height plane at source (rows stride bytes apart) turned into
// destination, whose rows are as long as the turned plane is wide.
void TurnPlane(const uint8_t* source, int stride, int width, int height, Orientation turn,
               uint8_t* destination);

}  // namespace demux
