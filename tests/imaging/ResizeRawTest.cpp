// Raw resamplers (modes 0 to 4) on bare DIB rows, checked against values worked out by hand.
#include "imaging/RawResamplers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kSentinel = 0xA5;

size_t Stride(unsigned width, unsigned bpp)
{
    return (width * bpp + 31) / 32 * 4;
}

// A block of rows filled with the sentinel, so that untouched bytes show.
std::vector<uint8_t> Block(unsigned width, unsigned height, unsigned bpp)
{
    return std::vector<uint8_t>(Stride(width, bpp) * height, kSentinel);
}

// A 24-bit single row whose pixels are (v, v + 1, v + 2) for each value v.
std::vector<uint8_t> GreyRow(const std::vector<uint8_t>& values)
{
    std::vector<uint8_t> row = Block(static_cast<unsigned>(values.size()), 1, 24);
    for (size_t i = 0; i < values.size(); ++i) {
        row[i * 3] = values[i];
        row[i * 3 + 1] = static_cast<uint8_t>(values[i] + 1);
        row[i * 3 + 2] = static_cast<uint8_t>(values[i] + 2);
    }
    return row;
}

// First byte of each pixel of a 24-bit row.
std::vector<int> FirstBytes(const std::vector<uint8_t>& row, unsigned width)
{
    std::vector<int> out;
    for (unsigned i = 0; i < width; ++i)
        out.push_back(row[i * 3]);
    return out;
}

}  // namespace

TEST(RawResamplers, ZeroSizesWriteNothingAndEqualSizesCopyInEveryMode)
{
    std::vector<uint8_t> source = GreyRow({10, 20, 30});
    for (uint8_t mode = 0; mode < 8; ++mode) {
        std::vector<uint8_t> out = Block(3, 1, 24);
        ResampleBits(out.data(), 0, 1, source.data(), 3, 1, 24, mode);
        ResampleBits(out.data(), 3, 1, source.data(), 3, 0, 24, mode);
        EXPECT_EQ(out, Block(3, 1, 24)) << "mode " << int(mode);
        ResampleBits(out.data(), 3, 1, source.data(), 3, 1, 24, mode);
        EXPECT_EQ(out, source) << "mode " << int(mode);
    }
}

TEST(RawResamplers, NearestStepsFromTheFirstRowAndPixel)
{
    std::vector<uint8_t> four = GreyRow({10, 20, 30, 40});
    std::vector<uint8_t> out = Block(2, 1, 24);
    ResampleBits(out.data(), 2, 1, four.data(), 4, 1, 24, 0);
    EXPECT_EQ(FirstBytes(out, 2), (std::vector<int>{10, 20}));

    std::vector<uint8_t> two = GreyRow({10, 20});
    out = Block(4, 1, 24);
    ResampleBits(out.data(), 4, 1, two.data(), 2, 1, 24, 0);
    EXPECT_EQ(FirstBytes(out, 4), (std::vector<int>{10, 10, 10, 20}));
    out = Block(5, 1, 24);
    ResampleBits(out.data(), 5, 1, two.data(), 2, 1, 24, 0);
    EXPECT_EQ(FirstBytes(out, 5), (std::vector<int>{10, 10, 10, 20, 20}));
    EXPECT_EQ(kSentinel, out[15]) << "padding untouched";

    // Two rows of one 8-bit pixel to four rows: scan lines 0, 0, 0, 1 (bottom row first).
    std::vector<uint8_t> column = Block(1, 2, 8);
    column[0] = 1;
    column[4] = 2;
    out = Block(1, 4, 8);
    ResampleBits(out.data(), 1, 4, column.data(), 1, 2, 8, 0);
    EXPECT_EQ((std::vector<int>{out[0], out[4], out[8], out[12]}), (std::vector<int>{1, 1, 1, 2}));
}

TEST(RawResamplers, AreaModesTruncateCoverageWeightedMeans)
{
    for (uint8_t mode : {1, 4}) {
        std::vector<uint8_t> three = GreyRow({10, 20, 31});
        std::vector<uint8_t> out = Block(2, 1, 24);
        ResampleBits(out.data(), 2, 1, three.data(), 3, 1, 24, mode);
        // (2*10 + 20)/3 = 13.3 and (20 + 2*31)/3 = 27.3
        EXPECT_EQ(FirstBytes(out, 2), (std::vector<int>{13, 27})) << "mode " << int(mode);
        EXPECT_EQ(out[1], 14);  // (2*11 + 21)/3
        EXPECT_EQ(kSentinel, out[6]);

        std::vector<uint8_t> four = GreyRow({10, 21, 30, 41});
        ResampleBits(out.data(), 2, 1, four.data(), 4, 1, 24, mode);
        EXPECT_EQ(FirstBytes(out, 2), (std::vector<int>{15, 35})) << "mode " << int(mode);
    }
}

TEST(RawResamplers, AreaModesTruncateEachPassInTheirOwnOrder)
{
    // 3 x 3 to 2 x 2 (scan line 0 first). Mode 1 truncates along the rows first: the right column
    // sums become 1, 1, 1 and the top-right pixel (1 + 2)/3 = 1. Mode 4 truncates down the columns
    // first: the top row becomes 3, 2, 0 and the top-right pixel (2 + 2*0)/3 = 0.
    const uint8_t values[3][3] = {{0, 3, 0}, {3, 3, 0}, {3, 2, 1}};
    std::vector<uint8_t> source = Block(3, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                source[y * 12 + x * 3 + c] = values[y][x];
    std::vector<uint8_t> rowsFirst = Block(2, 2, 24);
    std::vector<uint8_t> columnsFirst = Block(2, 2, 24);
    ResampleBits(rowsFirst.data(), 2, 2, source.data(), 3, 3, 24, 1);
    ResampleBits(columnsFirst.data(), 2, 2, source.data(), 3, 3, 24, 4);
    EXPECT_EQ((std::vector<int>{rowsFirst[0], rowsFirst[3], rowsFirst[8], rowsFirst[11]}),
              (std::vector<int>{1, 1, 2, 1}));
    EXPECT_EQ((std::vector<int>{columnsFirst[0], columnsFirst[3], columnsFirst[8], columnsFirst[11]}),
              (std::vector<int>{1, 1, 2, 0}));
}

TEST(RawResamplers, BSplineHandValues)
{
    // One row 0, 60, 120, 180 to 8 pixels: pixel 0 sits on source 0 (weights 1/6, 4/6, 1/6 over
    // clamped 0, 0, 1 give 10); pixel 1 halfway between 0 and 1 (weights 1/48, 23/48, 23/48, 1/48 over
    // 0, 0, 60, 120 give 31.25, truncated).
    std::vector<uint8_t> row = GreyRow({0, 60, 120, 180});
    std::vector<uint8_t> out = Block(8, 1, 24);
    ResampleBits(out.data(), 8, 1, row.data(), 4, 1, 24, 2);
    EXPECT_EQ(10, out[0]);
    EXPECT_EQ(31, out[3]);
    EXPECT_EQ(60, out[6]);   // on source 1: (0 + 4*60 + 120)/6
    EXPECT_EQ(61, out[7]);   // second channel, one higher
}

TEST(RawResamplers, BlendingModesKeepAUniformPictureUniform)
{
    for (uint8_t mode = 1; mode <= 4; ++mode)
        for (uint8_t level : {1, 128, 255}) {
            std::vector<uint8_t> source(Stride(7, 24) * 5, level);
            std::vector<uint8_t> out = Block(11, 3, 24);
            ResampleBits(out.data(), 11, 3, source.data(), 7, 5, 24, mode);
            for (unsigned y = 0; y < 3; ++y)
                for (unsigned i = 0; i < 33; ++i)
                    ASSERT_EQ(level, out[y * Stride(11, 24) + i]) << "mode " << int(mode);
        }
}

TEST(RawResamplers, GaussianBlursAStepSymmetrically)
{
    // A step 0 | 200 between pixels 3 and 4, mapped 8 -> 8 in width and 1 -> 2 in height:
    // the blur spreads the step; far pixels keep their level, and the result rises monotonically.
    std::vector<uint8_t> row = GreyRow({0, 0, 0, 0, 200, 200, 200, 200});
    std::vector<uint8_t> out = Block(8, 2, 24);
    ResampleBits(out.data(), 8, 2, row.data(), 8, 1, 24, 3);
    std::vector<int> first = FirstBytes(out, 8);
    for (int i = 1; i < 8; ++i)
        EXPECT_LE(first[i - 1], first[i]);
    EXPECT_EQ(0, first[0]);
    EXPECT_GT(first[3], 0);
    EXPECT_LT(first[4], 200);
}

TEST(RawResamplers, DepthLimits)
{
    // Mode 4 takes 24 bpp only; modes 5 and above write nothing unless the sizes are equal.
    std::vector<uint8_t> source(Stride(4, 32) * 2, 100);
    std::vector<uint8_t> out = Block(2, 1, 32);
    ResampleBits(out.data(), 2, 1, source.data(), 4, 2, 32, 4);
    EXPECT_EQ(out, Block(2, 1, 32));
    ResampleBits(out.data(), 2, 1, source.data(), 4, 2, 24, 5);
    EXPECT_EQ(out, Block(2, 1, 32));

    // Modes 1 to 3 filter the first three bytes of a 32-bit pixel and leave the fourth alone.
    for (uint8_t mode = 1; mode <= 3; ++mode) {
        out = Block(2, 1, 32);
        ResampleBits(out.data(), 2, 1, source.data(), 4, 2, 32, mode);
        EXPECT_EQ((std::vector<int>{out[0], out[1], out[2], out[3]}), (std::vector<int>{100, 100, 100, kSentinel}));
    }
    // An 8-bit block in modes 1 to 3 filters its one byte per pixel and reads nothing beyond it.
    std::vector<uint8_t> narrow = {10, 20, 30, 40};
    out = Block(2, 1, 8);
    ResampleBits(out.data(), 2, 1, narrow.data(), 4, 1, 8, 1);
    EXPECT_EQ((std::vector<int>{out[0], out[1], out[2]}), (std::vector<int>{15, 35, kSentinel}));
}

TEST(RawResamplers, AllFourBytesVariantFiltersAlphaToo)
{
    std::vector<uint8_t> source = {0, 0, 0, 0, 40, 80, 120, 200};  // two 32-bit pixels
    for (uint8_t mode = 1; mode <= 4; ++mode) {
        std::vector<uint8_t> out = Block(4, 1, 32);
        ResampleBits32(out.data(), 4, 1, source.data(), 2, 1, mode);
        if (mode == 1 || mode == 4) {
            EXPECT_EQ((std::vector<uint8_t>(out.begin(), out.begin() + 8)), (std::vector<uint8_t>(8, 0)));
            EXPECT_EQ((std::vector<uint8_t>(out.begin() + 8, out.end())),
                      (std::vector<uint8_t>{40, 80, 120, 200, 40, 80, 120, 200}));
        }
        // Every byte of a pixel took the same weights: colour / alpha stays 40 / 200 (each truncated).
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(out[i * 4] * 5, out[i * 4 + 3], 6) << "mode " << int(mode) << " pixel " << i;
    }
}
