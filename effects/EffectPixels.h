// Pixel helpers shared by the effects: lumas, clamping, the depth test and the row loops.
//
// Conventions of every effect (the functions of effects/ that change a picture in place):
// - An effect takes the picture it works on first and answers true when it ran, false when it
//   refused; a refusal leaves the picture as it was. It refuses an invalid picture, one below
//   24 bits per pixel (a few take exactly 24, as their comment says) and parameters outside the
//   ranges their comments give.
// - Pixels are blue, green, red (and alpha at 32 bpp), rows bottom-up; alpha stays as it was
//   unless a comment says otherwise. Colours passed in are COLORREF 0x00BBGGRR.
// - Integer luma is (19595 R + 38470 G + 7471 B) >> 16; float luma 0.299 R + 0.587 G + 0.114 B,
//   truncated. Results written to a channel are clamped to 0..255.
// - Effects that read neighbouring pixels read them from an unchanged copy. Pixel loops split
//   rows over the OpenMP team and join before the effect returns; temporary pictures are
//   released on every way out.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imaging/HslColour.h"
#include "imaging/NImageBuffer.h"

namespace effects {

// (19595 R + 38470 G + 7471 B) >> 16.
inline int IntegerLuma(int red, int green, int blue)
{
    return (19595 * red + 38470 * green + 7471 * blue) >> 16;
}

// 0.299 R + 0.587 G + 0.114 B in double precision, truncated.
inline int FloatLuma(int red, int green, int blue)
{
    return static_cast<int>(0.299 * red + 0.587 * green + 0.114 * blue);
}

inline uint8_t ClampByte(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

inline uint8_t ClampByte(int64_t value)
{
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

// Clamps to 0..255 in floating point before truncating, so that no out-of-range value is
// converted to int.
inline uint8_t ClampByte(double value)
{
    return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
}

// A picture the effects work on: valid, 24 or 32 bits per pixel.
inline bool IsEffectPicture(const NImageBuffer& picture)
{
    return picture.valid && (picture.bpp == 24 || picture.bpp == 32);
}

// Hue, lightness and saturation of a pixel (blue, green, red first).
inline HslColour PixelHsl(const uint8_t* pixel)
{
    HslColour colour;
    colour.blue = pixel[0];
    colour.green = pixel[1];
    colour.red = pixel[2];
    colour.SetFromRgb();
    return colour;
}

inline uint8_t* ScanLine(const NImageBuffer& picture, int line)
{
    return picture.bits + static_cast<size_t>(line) * static_cast<size_t>(picture.stride);
}

// op(row pointer, scan line) for every scan line, split over the OpenMP team (static schedule).
template <typename Op>
void ForEachLineParallel(const NImageBuffer& picture, Op op)
{
    GdiFlush();
    const int lines = picture.height;
#pragma omp parallel for schedule(static)
    for (int line = 0; line < lines; ++line)
        op(ScanLine(picture, line), line);
}

// op(pixel) for every pixel of a 24- or 32-bpp picture, rows split over the OpenMP team.
template <typename Op>
void ForEachPixelParallel(NImageBuffer& picture, Op op)
{
    const int step = picture.bpp / 8;
    const int width = picture.width;
    ForEachLineParallel(picture, [&](uint8_t* row, int) {
        for (int x = 0; x < width; ++x, row += step)
            op(row);
    });
}

// op(pixel, other pixel) over two pictures of the same size and depth.
template <typename Op>
void ForEachPixelPairParallel(NImageBuffer& picture, const NImageBuffer& other, Op op)
{
    const int step = picture.bpp / 8;
    const int width = picture.width;
    ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        const uint8_t* o = ScanLine(other, line);
        for (int x = 0; x < width; ++x, row += step, o += step)
            op(row, o);
    });
}

}  // namespace effects
