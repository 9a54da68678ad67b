// Neighbourhood filters and NImageBuffer::ApplyFilter.
#include "imaging/NImageFilter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/NImageBuffer.h"
#include "imaging/PixelReference.h"

namespace {

int RadiusOf(int index)
{
    return ImageFilterTable[index]->radius;
}

struct Reference {
    int index;
    const wchar_t* name;
};

}  // namespace

TEST(NImageFilter, TableShape)
{
    EXPECT_EQ(nullptr, ImageFilterTable[0]);
    for (int i = 1; i < kImageFilterCount; ++i) {
        ASSERT_NE(nullptr, ImageFilterTable[i]) << i;
        EXPECT_EQ(i <= 2 ? 2 : 1, RadiusOf(i)) << i;
    }
    EXPECT_EQ(1, Mean33Filter.radius);
    EXPECT_EQ(2, Mean55Filter.radius);
}

TEST(NImageFilter, MatchesImageMagickInside)
{
    // Row -1 of a kernel is the row below on screen: the two diagonal embosses show a flipped
    // row order at once.
    const Reference references[] = {{1, L"mean3"},    {2, L"mean5"},   {3, L"soften"},  {4, L"sharpen"},
                                    {6, L"edges"},    {7, L"emboss7"}, {9, L"emboss9"}, {10, L"dilate"},
                                    {11, L"erode"},   {12, L"outline"}};
    for (int bpp : {24, 32})
        for (const Reference& ref : references) {
            SCOPED_TRACE(testing::Message() << "filter " << ref.index << " at " << bpp << " bpp");
            NImageBuffer image;
            ASSERT_TRUE(LoadReferencePicture(image, bpp));
            ASSERT_TRUE(image.ApplyFilter(ref.index));
            // Filter 1 computes a 3 x 3 mean but leaves two pixels unfiltered at each edge.
            EXPECT_LE(WorstDifference(image, LoadReference(ref.name), RadiusOf(ref.index)), 1);
        }
}

TEST(NImageFilter, BordersWithinTheRadiusStay)
{
    NImageBuffer original;
    ASSERT_TRUE(LoadReferencePicture(original, 24));
    for (int index = 1; index < kImageFilterCount; ++index) {
        SCOPED_TRACE(index);
        NImageBuffer image;
        ASSERT_TRUE(image.Copy(original));
        ASSERT_TRUE(image.ApplyFilter(index));
        const int r = RadiusOf(index);
        bool innerChanged = false;
        for (int line = 0; line < image.height; ++line)
            for (int x = 0; x < image.width; ++x) {
                const bool border = line < r || line >= image.height - r || x < r || x >= image.width - r;
                const bool same = std::memcmp(image.bits + line * image.stride + 3 * x,
                                              original.bits + line * original.stride + 3 * x, 3) == 0;
                if (border) {
                    ASSERT_TRUE(same) << x << "," << line;
                } else if (!same && (line == r || x == r)) {
                    innerChanged = true;
                }
            }
        EXPECT_TRUE(innerChanged) << "the first rows and columns inside the border are filtered";
    }
}

TEST(NImageFilter, FlatGrey)
{
    const int expected[kImageFilterCount] = {0, 100, 100, 100, 100, 100, 128, 192, 192, 192, 100, 100, 0};
    for (int index = 1; index < kImageFilterCount; ++index) {
        NImageBuffer image;
        ASSERT_TRUE(image.Create(7, 7, 24, RGB(100, 100, 100)));
        ASSERT_TRUE(image.ApplyFilter(index));
        const uint8_t* centre = image.bits + 3 * image.stride + 3 * 3;
        EXPECT_EQ(expected[index], centre[0]) << index;
        EXPECT_EQ(expected[index], centre[2]) << index;
    }
}

TEST(NImageFilter, AlphaPassesThrough)
{
    NImageBuffer image;
    ASSERT_TRUE(LoadReferencePicture(image, 32));
    ASSERT_TRUE(image.ApplyFilter(6));
    // WorstDifference checks that every alpha is still 0x80 + x.
    EXPECT_LT(WorstDifference(image, LoadReference(L"edges"), 0), 1000);
}

TEST(NImageFilter, ClampingAndTruncation)
{
    // A 3 x 3 neighbourhood of one channel: pixel step 1, row step 3.
    auto run = [](int index, std::vector<uint8_t> cells) { return ImageFilterTable[index]->Kernel(&cells[4], 1, 3); };
    EXPECT_EQ(255, run(4, {0, 0, 0, 0, 255, 0, 0, 0, 0}));
    EXPECT_EQ(0, run(4, {255, 255, 255, 255, 0, 255, 255, 255, 255}));
    EXPECT_EQ(0, run(7, {0, 0, 0, 0, 0, 0, 0, 0, 200}));      // 192 - 200 below 0
    EXPECT_EQ(255, run(7, {64, 0, 0, 0, 0, 0, 0, 0, 0}));     // 192 + 64 above 255
    EXPECT_EQ(254, run(7, {62, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(193, run(8, {0, 10, 0, 0, 0, 0, 0, 9, 0}));     // vertical emboss
    EXPECT_EQ(193, run(9, {0, 0, 10, 0, 0, 0, 9, 0, 0}));
    EXPECT_EQ(11, run(1, {10, 10, 10, 10, 10, 10, 10, 10, 19}));  // 99 / 9
    EXPECT_EQ(10, run(1, {10, 10, 10, 10, 10, 10, 10, 10, 18}));  // 98 / 9 truncated
    EXPECT_EQ(11, run(3, {0, 10, 0, 10, 12, 10, 0, 10, 5}));  // (48 + 40) / 8
    EXPECT_EQ(3, run(5, {0, 1, 0, 1, 2, 1, 0, 2, 0}));        // (12 - 5) / 2 truncated
    EXPECT_EQ(90, run(12, {0, 0, 0, 0, 10, 0, 0, 0, 100}));
    EXPECT_EQ(11, Mean33Filter.Kernel(std::vector<uint8_t>{10, 10, 10, 10, 10, 10, 10, 10, 19}.data() + 4, 1, 3));
    std::vector<uint8_t> big(25, 4);
    big[0] = 29;
    EXPECT_EQ(5, Mean55Filter.Kernel(&big[12], 1, 5));
}

TEST(NImageFilter, RowsNotWiderThanTwiceTheRadiusAreCopied)
{
    // Source: three rows of 4 pixels; a sentinel after the width must never be written.
    std::vector<uint8_t> source(3 * 16);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(i * 13);
    std::vector<uint8_t> destination(16, 0xEE);
    ImageFilterTable[2]->FilterRow32(destination.data(), &source[16], 4, 16);
    EXPECT_EQ(0, std::memcmp(destination.data(), &source[16], 16));

    std::vector<uint8_t> narrow(16, 0xEE);
    ImageFilterTable[1]->FilterRow24(narrow.data(), &source[16], 4, 16);
    EXPECT_EQ(0, std::memcmp(narrow.data(), &source[16], 12));
    for (int i = 12; i < 16; ++i)
        EXPECT_EQ(0xEE, narrow[i]);

    // A whole picture of two rows and a filter of radius 1: nothing changes.
    NImageBuffer image;
    ASSERT_TRUE(LoadReferencePicture(image, 24));
    NImageBuffer flat;
    ASSERT_TRUE(flat.Create(24, 2, 24, 0));
    std::memcpy(flat.bits, image.bits, 2 * image.stride);
    ASSERT_TRUE(flat.ApplyFilter(6));
    EXPECT_EQ(0, std::memcmp(flat.bits, image.bits, 2 * image.stride));
}

TEST(NImageFilter, ApplyFilterRefusals)
{
    NImageBuffer image;
    EXPECT_FALSE(image.ApplyFilter(1)) << "empty record";
    ASSERT_TRUE(image.Create(8, 8, 24, RGB(1, 2, 3)));
    EXPECT_FALSE(image.ApplyFilter(0));
    EXPECT_FALSE(image.ApplyFilter(13));
    EXPECT_FALSE(image.ApplyFilter(-1));
    std::vector<uint8_t> grey(768, 0);
    NImageBuffer palette;
    ASSERT_TRUE(palette.Create(8, 8, 8, 0, grey.data()));
    EXPECT_FALSE(palette.ApplyFilter(1));
    NImageBuffer words;
    ASSERT_TRUE(words.Create(8, 8, 16, 0));
    EXPECT_FALSE(words.ApplyFilter(1));
}
