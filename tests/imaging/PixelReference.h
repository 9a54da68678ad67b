// Reference pictures of the pixel-operation tests: raw 24 x 16 blue, green, red files made by
// ImageMagick (tests/data/imaging/make-pixel-references.sh), rows top-down.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "imaging/NImageBuffer.h"

constexpr int kReferenceWidth = 24;
constexpr int kReferenceHeight = 16;

inline std::vector<uint8_t> LoadReference(const std::wstring& name)
{
    std::vector<uint8_t> bytes;
    ReadWholeFile(TestDataPath(L"imaging\\pixel-" + name + L".bgr"), bytes);
    return bytes;
}

// The reference input as a picture of 24 or 32 bpp (alpha 0x80 + x, so that every alpha differs).
inline bool LoadReferencePicture(NImageBuffer& image, int bpp)
{
    const std::vector<uint8_t> input = LoadReference(L"input");
    if (input.size() != kReferenceWidth * kReferenceHeight * 3 || !image.Create(kReferenceWidth, kReferenceHeight, bpp, 0))
        return false;
    GdiFlush();
    const int step = bpp / 8;
    for (int y = 0; y < kReferenceHeight; ++y)
        for (int x = 0; x < kReferenceWidth; ++x) {
            const uint8_t* in = &input[(y * kReferenceWidth + x) * 3];
            uint8_t* out = image.bits + (kReferenceHeight - 1 - y) * image.stride + x * step;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if (step == 4)
                out[3] = static_cast<uint8_t>(0x80 + x);
        }
    return true;
}

// Largest difference of blue, green and red between the picture and a reference, over the pixels
// at least `border` away from every edge. The alpha of a 32-bpp picture must be 0x80 + x.
inline int WorstDifference(const NImageBuffer& image, const std::vector<uint8_t>& reference, int border)
{
    if (reference.size() != kReferenceWidth * kReferenceHeight * 3)
        return 1000;
    GdiFlush();
    const int step = image.bpp / 8;
    int worst = 0;
    for (int y = border; y < kReferenceHeight - border; ++y)
        for (int x = border; x < kReferenceWidth - border; ++x) {
            const uint8_t* ref = &reference[(y * kReferenceWidth + x) * 3];
            const uint8_t* p = image.bits + (kReferenceHeight - 1 - y) * image.stride + x * step;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(p[c] - ref[c]));
            if (step == 4 && p[3] != 0x80 + x)
                return 2000;
        }
    return worst;
}
