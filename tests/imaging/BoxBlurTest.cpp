// Box blur: running sums with repeated edge pixels, against a direct computation.
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace imagetest;

namespace {

// One row of 24-bpp pixels with the same value in blue, green and red.
void MakeGreyRow(NImageBuffer& image, const std::vector<int>& values, bool vertical = false)
{
    const int n = static_cast<int>(values.size());
    ASSERT_TRUE(image.Create(vertical ? 1 : n, vertical ? n : 1, 24, 0));
    for (int i = 0; i < n; ++i)
        SetRaw(image, vertical ? 0 : i, vertical ? i : 0, values[i] * 0x010101u);
}

std::vector<int> GreyRow(const NImageBuffer& image, bool vertical = false)
{
    std::vector<int> values;
    const int n = vertical ? image.height : image.width;
    for (int i = 0; i < n; ++i) {
        uint32_t raw = RawAt(image, vertical ? 0 : i, vertical ? i : 0);
        EXPECT_EQ(raw & 0xFF, (raw >> 8) & 0xFF);
        EXPECT_EQ(raw & 0xFF, (raw >> 16) & 0xFF);
        values.push_back(static_cast<int>(raw & 0xFF));
    }
    return values;
}

// Mean of the 2r + 1 samples around i, the ends repeated.
std::vector<int> ReferenceHalf(const std::vector<int>& in, int r)
{
    const int n = static_cast<int>(in.size());
    std::vector<int> out(n);
    for (int i = 0; i < n; ++i) {
        int sum = 0;
        for (int k = -r; k <= r; ++k)
            sum += in[std::min(std::max(i + k, 0), n - 1)];
        out[i] = sum / (2 * r + 1);
    }
    return out;
}

}  // namespace

TEST(BoxBlur, RowsAndColumnsOfKnownValues)
{
    struct Case {
        std::vector<int> input;
        int radius;
        std::vector<int> expected;
    };
    const int a = 200, b = 10;
    const Case cases[] = {
        {{0, 0, 0, 255, 255, 255}, 1, {0, 0, 85, 170, 255, 255}},
        // A radius beyond the picture repeats the edge pixels.
        {{a, b}, 3, {(4 * a + 3 * b) / 7, (3 * a + 4 * b) / 7}},
        {{a, b}, 4, {(5 * a + 4 * b) / 9, (4 * a + 5 * b) / 9}},
        {{a}, 2, {a}},
        // A radius far beyond any table still gives the exact mean.
        {{a, b}, 5000000, {static_cast<int>((5000001LL * a + 5000000LL * b) / 10000001),
                           static_cast<int>((5000000LL * a + 5000001LL * b) / 10000001)}},
        {{a, b}, INT_MAX, {static_cast<int>(((INT_MAX + 1LL) * a + 1LL * INT_MAX * b) / (2LL * INT_MAX + 1)),
                           static_cast<int>((1LL * INT_MAX * a + (INT_MAX + 1LL) * b) / (2LL * INT_MAX + 1))}},
    };
    for (const Case& c : cases) {
        for (bool vertical : {false, true}) {
            SCOPED_TRACE(testing::Message() << "radius " << c.radius << (vertical ? ", column" : ", row"));
            NImageBuffer image;
            MakeGreyRow(image, c.input, vertical);
            ASSERT_TRUE(image.BoxBlur(c.radius, 1));
            EXPECT_EQ(c.expected, GreyRow(image, vertical));
        }
    }
}

TEST(BoxBlur, MatchesADirectComputationOverPasses)
{
    const int w = 13, h = 9;
    std::vector<std::vector<std::vector<int>>> channels(3, std::vector<std::vector<int>>(h, std::vector<int>(w)));
    NImageBuffer image;
    ASSERT_TRUE(image.Create(w, h, 24, 0));
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            uint32_t raw = (seed >> 8) & 0xFFFFFF;
            SetRaw(image, x, y, raw);
            for (int c = 0; c < 3; ++c)
                channels[c][y][x] = (raw >> (8 * c)) & 0xFF;
        }
    const int radius = 2, passes = 3;
    for (int pass = 0; pass < passes; ++pass)
        for (auto& plane : channels) {
            for (int x = 0; x < w; ++x) {  // vertical half first
                std::vector<int> column(h);
                for (int y = 0; y < h; ++y)
                    column[y] = plane[y][x];
                column = ReferenceHalf(column, radius);
                for (int y = 0; y < h; ++y)
                    plane[y][x] = column[y];
            }
            for (auto& row : plane)
                row = ReferenceHalf(row, radius);
        }
    ASSERT_TRUE(image.BoxBlur(radius, passes));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t raw = RawAt(image, x, y);
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(channels[c][y][x], static_cast<int>((raw >> (8 * c)) & 0xFF)) << x << "," << y << " c" << c;
        }
}

TEST(BoxBlur, UniformPictureStaysAndZeroPassesBlurOnce)
{
    for (int radius : {1, 3, 50}) {
        NImageBuffer image;
        ASSERT_TRUE(image.Create(7, 5, 24, RGB(12, 200, 77)));
        ASSERT_TRUE(image.BoxBlur(radius, 3));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(RGB(12, 200, 77), ColourAt(image, x, y));
    }

    NImageBuffer once, zero;
    MakeGreyRow(once, {0, 90, 255, 3, 0});
    MakeGreyRow(zero, {0, 90, 255, 3, 0});
    ASSERT_TRUE(once.BoxBlur(1, 1));
    ASSERT_TRUE(zero.BoxBlur(1, 0));
    EXPECT_EQ(GreyRow(once), GreyRow(zero));
    EXPECT_NE((std::vector<int>{0, 90, 255, 3, 0}), GreyRow(zero));
}

TEST(BoxBlur, RefusalsLeaveThePicture)
{
    NImageBuffer empty;
    EXPECT_FALSE(empty.BoxBlur(1, 1));

    NImageBuffer row;
    MakeGreyRow(row, {0, 255, 0});
    EXPECT_FALSE(row.BoxBlur(0, 1));
    EXPECT_FALSE(row.BoxBlur(-4, 1));
    EXPECT_EQ((std::vector<int>{0, 255, 0}), GreyRow(row));

    for (int depth : {1, 4, 8, 16, 32}) {
        std::vector<uint8_t> rgb = GreyPaletteRgb();
        NImageBuffer image;
        ASSERT_TRUE(image.Create(3, 1, depth, 0, rgb.data()));
        EXPECT_FALSE(image.BoxBlur(1, 1)) << depth << " bpp";
    }
}
