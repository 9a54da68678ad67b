// Pictures for the effect tests: raw fixtures, made-up patterns and byte snapshots.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "imaging/ImageTestPixels.h"
#include "imaging/NImageBuffer.h"

namespace effecttest {

using imagetest::AlphaAt;
using imagetest::ColourAt;
using imagetest::RawAt;
using imagetest::RowFromTop;
using imagetest::SetRaw;

// A raw fixture of tests/data/effects (blue, green, red, rows top-down) as a picture of 24 or
// 32 bpp (alpha 0x80 + x % 128 at 32 bpp).
inline bool LoadRaw(const std::wstring& name, int width, int height, int bpp, NImageBuffer& picture)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(TestDataPath(L"effects\\" + name + L".bgr"), bytes) ||
        bytes.size() != static_cast<size_t>(width) * height * 3 || !picture.Create(width, height, bpp, 0))
        return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &bytes[(static_cast<size_t>(y) * width + x) * 3];
            uint32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
            if (bpp == 32)
                value |= static_cast<uint32_t>(0x80 + x % 128) << 24;
            SetRaw(picture, x, y, value);
        }
    return true;
}

// The raw bytes of a fixture (blue, green, red, rows top-down).
inline std::vector<unsigned char> RawBytes(const std::wstring& name)
{
    std::vector<unsigned char> bytes;
    ReadWholeFile(TestDataPath(L"effects\\" + name + L".bgr"), bytes);
    return bytes;
}

// Largest difference of blue, green or red between the picture and raw reference bytes over the
// pixels at least `border` from every edge.
inline int WorstDifference(const NImageBuffer& picture, const std::vector<unsigned char>& reference, int border)
{
    if (reference.size() != static_cast<size_t>(picture.width) * picture.height * 3)
        return 1000;
    int worst = 0;
    for (int y = border; y < picture.height - border; ++y)
        for (int x = border; x < picture.width - border; ++x) {
            const uint32_t raw = RawAt(picture, x, y);
            const unsigned char* ref = &reference[(static_cast<size_t>(y) * picture.width + x) * 3];
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(static_cast<int>((raw >> (8 * c)) & 255) - ref[c]));
        }
    return worst;
}

// Every byte of the pixel memory.
inline std::vector<uint8_t> Snapshot(const NImageBuffer& picture)
{
    GdiFlush();
    if (!picture.valid)
        return {};
    return std::vector<uint8_t>(picture.bits, picture.bits + static_cast<size_t>(picture.stride) * picture.height);
}

// A picture of pseudo-random pixels (alpha random too at 32 bpp).
inline bool MakeNoise(NImageBuffer& picture, int width, int height, int bpp, uint32_t seed)
{
    if (!picture.Create(width, height, bpp, 0))
        return false;
    GdiFlush();
    uint32_t state = seed * 2654435761u + 1;
    for (int line = 0; line < height; ++line) {
        uint8_t* p = picture.bits + static_cast<size_t>(line) * picture.stride;
        for (int i = 0; i < width * (bpp / 8); ++i) {
            state = state * 1664525u + 1013904223u;
            p[i] = static_cast<uint8_t>(state >> 24);
        }
    }
    return true;
}

struct PictureSize {
    int width, height;
};

// Every effect (name, effect) on noise pictures of every size, at 24 and 32 bpp: it answers true,
// and the picture keeps its size (and its depth, when keepsDepth).
template <typename Effects>
void ExpectEveryEffectKeepsTheSize(const Effects& effects, std::initializer_list<PictureSize> sizes, bool keepsDepth)
{
    for (const auto& e : effects)
        for (const PictureSize& s : sizes)
            for (int bpp : {24, 32}) {
                SCOPED_TRACE(testing::Message() << e.name << " " << s.width << "x" << s.height << " " << bpp);
                NImageBuffer picture;
                ASSERT_TRUE(MakeNoise(picture, s.width, s.height, bpp, 5));
                EXPECT_TRUE(e.effect(picture));
                EXPECT_TRUE(picture.valid);
                EXPECT_EQ(s.width, picture.width);
                EXPECT_EQ(s.height, picture.height);
                if (keepsDepth)
                    EXPECT_EQ(bpp, picture.bpp);
            }
}

// A picture of one colour with the alpha given (32 bpp) .
inline bool MakeSolid(NImageBuffer& picture, int width, int height, int bpp, COLORREF colour, uint8_t alpha = 255)
{
    if (!picture.Create(width, height, bpp, colour))
        return false;
    if (bpp == 32) {
        GdiFlush();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                RowFromTop(picture, y)[x * 4 + 3] = alpha;
    }
    return true;
}

// A grey palette picture (8 bpp), which the effects refuse.
inline bool MakeGrey8(NImageBuffer& picture, int width, int height)
{
    const std::vector<uint8_t> palette = imagetest::GreyPaletteRgb();
    return picture.Create(width, height, 8, RGB(128, 128, 128), palette.data());
}

}  // namespace effecttest
