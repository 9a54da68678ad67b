// Comparisons of two pictures.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "effects/EffectTestPictures.h"
#include "effects/PictureCompare.h"

using namespace effecttest;

namespace {

// Every colour byte of the picture raised by `by` (clamped).
void Raise(NImageBuffer& picture, int by)
{
    GdiFlush();
    for (int line = 0; line < picture.height; ++line) {
        uint8_t* p = picture.bits + static_cast<size_t>(line) * picture.stride;
        for (int x = 0; x < picture.width; ++x, p += picture.bpp / 8)
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::min(p[c] + by, 255));
    }
}

}  // namespace

TEST(PictureCompare, SharesOfEqualAndCloseBytes)
{
    NImageBuffer picture, raised;
    ASSERT_TRUE(MakeNoise(picture, 40, 30, 24, 1));
    // Keep headroom so that +3 never clamps.
    ASSERT_TRUE(picture.AdjustContrast(-20));
    ASSERT_TRUE(raised.Copy(picture));
    Raise(raised, 3);

    int percent = -1;
    ASSERT_TRUE(ComparePictures(picture, picture, &percent, true));
    EXPECT_EQ(100, percent);
    ASSERT_TRUE(ComparePictures(picture, raised, &percent, true));
    EXPECT_EQ(0, percent);
    ASSERT_TRUE(ComparePictures(picture, raised, &percent, false));
    EXPECT_EQ(100, percent) << "within 5 counts as equal";

    NImageBuffer noise;
    ASSERT_TRUE(MakeNoise(noise, 40, 30, 24, 2));
    ASSERT_TRUE(ComparePictures(picture, noise, &percent, false));
    EXPECT_LT(percent, 10);

    NImageBuffer empty;
    EXPECT_FALSE(ComparePictures(picture, empty, &percent, false));
    EXPECT_FALSE(ComparePictures(empty, picture, &percent, false));
    EXPECT_FALSE(ComparePictures(picture, picture, nullptr, false));
}

TEST(PictureCompare, ComparisonLeavesBothPicturesAsTheyWere)
{
    NImageBuffer picture, deep, large;
    ASSERT_TRUE(MakeNoise(picture, 20, 10, 24, 4));
    ASSERT_TRUE(deep.Copy(picture));
    ASSERT_TRUE(deep.ConvertToBpp(32, false));
    ASSERT_TRUE(large.Copy(deep));
    ASSERT_TRUE(large.ResizeImage(40, 20, 0, false));
    ASSERT_EQ(32, large.bpp);
    const auto ownBytes = Snapshot(picture), deepBytes = Snapshot(deep), largeBytes = Snapshot(large);

    int percent = -1;
    ASSERT_TRUE(ComparePictures(picture, deep, &percent, true));
    EXPECT_EQ(100, percent) << "compared at 24 bpp";
    ASSERT_TRUE(ComparePictures(deep, picture, &percent, true));
    EXPECT_EQ(100, percent);
    ASSERT_TRUE(ComparePictures(picture, large, &percent, false));
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    EXPECT_EQ(24, picture.bpp);
    EXPECT_EQ(32, deep.bpp);
    EXPECT_EQ(40, large.width);
    EXPECT_EQ(32, large.bpp);
    EXPECT_EQ(ownBytes, Snapshot(picture));
    EXPECT_EQ(deepBytes, Snapshot(deep));
    EXPECT_EQ(largeBytes, Snapshot(large));

    uint32_t row = 99;
    NImageBuffer same;
    ASSERT_TRUE(same.Copy(deep));
    ASSERT_TRUE(FindRowOverlap(deep, same, 0, 20, 100, &row, &percent));
    EXPECT_EQ(0u, row);
    EXPECT_EQ(32, deep.bpp);
    EXPECT_EQ(32, same.bpp);
    EXPECT_EQ(deepBytes, Snapshot(deep));
    EXPECT_EQ(deepBytes, Snapshot(same));
}

TEST(PictureCompare, EqualityNoticesOneDifferentByteInALargePicture)
{
    // 3000 x 2000 x 3 = 18 million bytes: one byte in 18 million is below single precision.
    NImageBuffer a, b;
    ASSERT_TRUE(a.Create(3000, 2000, 24, RGB(10, 20, 30)));
    ASSERT_TRUE(b.Copy(a));
    EXPECT_TRUE(IsEqualPicture(a, b));
    EXPECT_TRUE(IsIdenticalPicture(a, b));
    GdiFlush();
    b.bits[1234567] ^= 1;
    EXPECT_FALSE(IsEqualPicture(a, b));
    EXPECT_FALSE(IsIdenticalPicture(a, b));

    int percent = -1;
    ASSERT_TRUE(ComparePictures(a, b, &percent, true));
    EXPECT_EQ(99, percent);
}

TEST(PictureCompare, EqualityNeedsTwo24BitPicturesOfOneSize)
{
    NImageBuffer a, b, wide, deep, empty;
    ASSERT_TRUE(a.Create(7, 6, 24, RGB(1, 2, 3)));
    ASSERT_TRUE(b.Copy(a));
    ASSERT_TRUE(wide.Create(8, 6, 24, RGB(1, 2, 3)));
    ASSERT_TRUE(MakeSolid(deep, 7, 6, 32, RGB(1, 2, 3)));
    // Rows of 21 bytes are padded to 24; padding bytes do not count.
    GdiFlush();
    b.bits[b.stride - 1] ^= 0xFF;
    EXPECT_TRUE(IsEqualPicture(a, b));
    EXPECT_TRUE(IsIdenticalPicture(a, b));
    for (const NImageBuffer* other : {&wide, &deep, &empty}) {
        EXPECT_FALSE(IsEqualPicture(a, *other));
        EXPECT_FALSE(IsIdenticalPicture(a, *other));
        EXPECT_FALSE(IsIdenticalPicture(*other, a));
    }
}

TEST(PictureCompare, RowOverlapFindsTheShiftBetweenTwoFrames)
{
    // other shows the picture moved up by 7 scan lines (its scan line k is the picture's k + 7).
    NImageBuffer picture, other;
    ASSERT_TRUE(MakeNoise(picture, 30, 40, 24, 5));
    ASSERT_TRUE(MakeNoise(other, 30, 40, 24, 6));
    GdiFlush();
    for (int line = 7; line < 40; ++line)
        memcpy(other.bits + (line - 7) * other.stride, picture.bits + line * picture.stride, 90);

    uint32_t row = 99;
    int percent = -1;
    ASSERT_TRUE(FindRowOverlap(picture, other, 0, 30, 100, &row, &percent));
    EXPECT_EQ(7u, row);
    EXPECT_EQ(100, percent);
    ASSERT_TRUE(FindRowOverlap(picture, other, 10, 5, 95, &row, &percent));
    EXPECT_EQ(7u, row);

    // Unrelated noise never reaches 100 %, not even on the last shift, which compares one line.
    NImageBuffer noise;
    ASSERT_TRUE(MakeNoise(noise, 30, 40, 24, 7));
    EXPECT_FALSE(FindRowOverlap(picture, noise, 0, 30, 100, &row, &percent));
    EXPECT_EQ(0u, row);

    // The band must lie inside the pictures, and the sizes must match.
    const struct {
        int first, count;
    } bands[] = {{-1, 5}, {0, 0}, {0, 31}, {26, 5}, {30, 1}, {INT_MAX, 2}};
    for (const auto& band : bands) {
        row = 99;
        percent = -1;
        EXPECT_FALSE(FindRowOverlap(picture, other, band.first, band.count, 50, &row, &percent));
        EXPECT_EQ(99u, row);
        EXPECT_EQ(-1, percent);
    }
    NImageBuffer taller;
    ASSERT_TRUE(MakeNoise(taller, 30, 41, 24, 8));
    EXPECT_FALSE(FindRowOverlap(picture, taller, 0, 30, 50, &row, &percent));
}
