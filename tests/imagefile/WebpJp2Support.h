// Helpers for the WebP and JPEG 2000 tests: fixtures, pixel comparison with a tolerance, and
// carved or cut copies of a file.
#pragma once

#include "PngTestSupport.h"
#include "common/TestFiles.h"
#include "imaging/NImageBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace webpjp2 {

using Bytes = std::vector<uint8_t>;

inline Bytes Fixture(const std::wstring& name)
{
    Bytes bytes;
    ReadWholeFile(TestDataPath(name), bytes);
    return bytes;
}

inline std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The largest difference of a red, green, blue (or alpha) value between the picture and a dump
// of `channels` bytes a pixel (1 grey, 3 RGB, 4 RGBA), top row first; alpha is compared only
// for 4 channels. -1 when the dump does not hold the picture's size.
inline int MaxDifference(const NImageBuffer& pic, const Bytes& reference, int channels)
{
    if (reference.size() != static_cast<size_t>(pic.width) * pic.height * channels)
        return -1;
    int worst = 0;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            uint8_t got[4];
            pngtest::PixelRgba(pic, x, y, got);
            const uint8_t* want = &reference[(static_cast<size_t>(y) * pic.width + x) * channels];
            for (int c = 0; c < (channels == 4 ? 4 : 3); ++c)
                worst = std::max(worst, std::abs(got[c] - want[channels == 1 ? 0 : c]));
        }
    }
    return worst;
}

// Bytes that follow a carved picture: no JPEG 2000 marker, no RIFF chunk, just noise.
inline Bytes Garbage(size_t count)
{
    Bytes out(count);
    uint32_t state = 0x12345678;
    for (auto& b : out) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

inline Bytes Joined(const Bytes& a, const Bytes& b)
{
    Bytes out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace webpjp2
