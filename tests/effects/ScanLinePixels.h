// Pixels addressed by scan line (0 = the bottom row), as the distortions and path blurs count
// their coordinates, and a gradient picture whose colour tells the position it came from.
#pragma once
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "effects/EffectTestPictures.h"

namespace effecttest {

inline uint8_t* PixelOnLine(const NImageBuffer& picture, int x, int line)
{
    GdiFlush();
    return picture.bits + static_cast<size_t>(line) * picture.stride + static_cast<size_t>(x) * (picture.bpp / 8);
}

// 0xAARRGGBB of the pixel at column x of scan line `line`.
inline uint32_t ValueOnLine(const NImageBuffer& picture, int x, int line)
{
    return RawAt(picture, x, picture.height - 1 - line);
}

// Blue 10 x, green 10 line, red 77 (alpha 255 at 32 bpp): a bilinear sample at (sx, sy) reads
// blue trunc(10 sx) and green trunc(10 sy). Sides up to 26 keep the values below 256.
inline bool MakeGradient(NImageBuffer& picture, int width, int height, int bpp)
{
    if (!picture.Create(width, height, bpp, 0))
        return false;
    for (int line = 0; line < height; ++line)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = PixelOnLine(picture, x, line);
            p[0] = static_cast<uint8_t>(10 * x);
            p[1] = static_cast<uint8_t>(10 * line);
            p[2] = 77;
            if (bpp == 32)
                p[3] = 255;
        }
    return true;
}

// The picture after the effect, run on `threads` threads on a noise picture of that size.
inline std::vector<uint8_t> NoiseAfter(const std::function<bool(NImageBuffer&)>& effect, int width, int height,
                                       int bpp, int threads)
{
    const int old = omp_get_max_threads();
    omp_set_num_threads(threads);
    NImageBuffer picture;
    EXPECT_TRUE(MakeNoise(picture, width, height, bpp, 11));
    EXPECT_TRUE(effect(picture));
    omp_set_num_threads(old);
    return Snapshot(picture);
}

}  // namespace effecttest
