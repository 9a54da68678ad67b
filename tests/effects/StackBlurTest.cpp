// Stack blur.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>

#include "effects/EffectTestPictures.h"
#include "effects/StackBlur.h"
#include "imaging/PixelReference.h"

using namespace effecttest;

namespace {

// The blur written out directly: for every output the whole triangular window, edge pixels
// repeated, along the rows and then along the columns, on every byte of the pixel.
void BruteForceBlur(NImageBuffer& picture, int radius)
{
    const int step = picture.bpp / 8, w = picture.width, h = picture.height;
    const uint64_t multiplier = StackBlurMultiplier(radius);
    const int shift = StackBlurShift(radius);
    GdiFlush();
    auto blur = [&](auto at, int count, int c) {
        std::vector<uint8_t> line(count), out(count);
        for (int i = 0; i < count; ++i)
            line[i] = *at(i, c);
        for (int i = 0; i < count; ++i) {
            uint64_t sum = 0;
            for (int k = -radius; k <= radius; ++k)
                sum += static_cast<uint64_t>(radius + 1 - std::abs(k)) * line[std::clamp(i + k, 0, count - 1)];
            out[i] = static_cast<uint8_t>((sum * multiplier) >> shift);
        }
        for (int i = 0; i < count; ++i)
            *at(i, c) = out[i];
    };
    for (int y = 0; y < h; ++y)
        for (int c = 0; c < step; ++c)
            blur([&](int i, int ch) { return picture.bits + y * picture.stride + i * step + ch; }, w, c);
    for (int x = 0; x < w; ++x)
        for (int c = 0; c < step; ++c)
            blur([&](int i, int ch) { return picture.bits + i * picture.stride + x * step + ch; }, h, c);
}

}  // namespace

TEST(StackBlur, DivisionTablesOfThePublishedAlgorithm)
{
    const uint32_t multipliers[] = {512, 512, 456, 512, 328, 456, 335, 512, 405, 328, 271, 456};
    const int shifts[] = {9, 11, 12, 13, 13, 14, 14, 15, 15, 15, 15, 16};
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(multipliers[r], StackBlurMultiplier(r)) << r;
        EXPECT_EQ(shifts[r], StackBlurShift(r)) << r;
    }
    EXPECT_EQ(259u, StackBlurMultiplier(254));
    EXPECT_EQ(24, StackBlurShift(254));
    EXPECT_EQ(507u, StackBlurMultiplier(90));
    EXPECT_EQ(22, StackBlurShift(90));
    // Every full sum divides back to 255: 255 (r + 1)^2 * multiplier >> shift.
    for (int r = 0; r <= 254; ++r) {
        const uint64_t full = 255ull * (r + 1) * (r + 1);
        ASSERT_EQ(255u, (full * StackBlurMultiplier(r)) >> StackBlurShift(r)) << r;
        ASSERT_LT(full * StackBlurMultiplier(r), 1ull << 32) << r;
    }
}

TEST(StackBlur, EqualsTheTriangularKernelWrittenOut)
{
    const struct {
        int width, height, radius;
    } cases[] = {{37, 23, 1}, {37, 23, 2}, {37, 23, 5}, {37, 23, 30}, {1, 9, 3}, {9, 1, 3}, {300, 2, 254},
                 {2, 300, 100}, {130, 70, 7}};
    for (int bpp : {24, 32})
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp " << c.width << "x" << c.height << " r" << c.radius);
            NImageBuffer picture, expected;
            ASSERT_TRUE(MakeNoise(picture, c.width, c.height, bpp, c.radius));
            ASSERT_TRUE(expected.Copy(picture));
            BruteForceBlur(expected, c.radius);
            ASSERT_TRUE(StackBlur(picture, c.radius));
            EXPECT_EQ(Snapshot(expected), Snapshot(picture));
        }
}

TEST(StackBlur, RadiusLimitsAndRefusals)
{
    NImageBuffer picture, original;
    ASSERT_TRUE(MakeNoise(picture, 40, 30, 32, 7));
    ASSERT_TRUE(original.Copy(picture));
    EXPECT_TRUE(StackBlur(picture, 0));
    EXPECT_TRUE(StackBlur(picture, -5));
    EXPECT_EQ(Snapshot(original), Snapshot(picture));

    NImageBuffer capped;
    ASSERT_TRUE(capped.Copy(original));
    ASSERT_TRUE(StackBlur(picture, 1000));
    ASSERT_TRUE(StackBlur(capped, 254));
    EXPECT_EQ(Snapshot(capped), Snapshot(picture));

    NImageBuffer grey, empty;
    ASSERT_TRUE(MakeGrey8(grey, 4, 4));
    EXPECT_FALSE(StackBlur(grey, 3));
    EXPECT_FALSE(StackBlur(empty, 3));
}

TEST(StackBlur, CloseToImageMagicksGaussianBlur)
{
    // A triangle of radius r has the variance of a Gaussian with sigma^2 = ((r + 1)^2 - 1) / 6.
    const struct {
        int radius;
        const wchar_t* reference;
        int tolerance;
    } cases[] = {{2, L"blur-r2", 12}, {4, L"blur-r4", 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.radius);
        NImageBuffer picture;
        ASSERT_TRUE(LoadReferencePicture(picture, 24));
        ASSERT_TRUE(StackBlur(picture, c.radius));
        EXPECT_LE(effecttest::WorstDifference(picture, RawBytes(c.reference), c.radius), c.tolerance);
    }
}

TEST(StackBlur, SameResultOnOneThreadAndOnMany)
{
    auto run = [](int threads) {
        const int old = omp_get_max_threads();
        omp_set_num_threads(threads);
        NImageBuffer picture;
        EXPECT_TRUE(MakeNoise(picture, 301, 77, 24, 3));
        EXPECT_TRUE(StackBlur(picture, 9));
        omp_set_num_threads(old);
        return Snapshot(picture);
    };
    EXPECT_EQ(run(1), run(4));
}
