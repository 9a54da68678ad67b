// The FLT and GEM raster format classes, on files built byte by byte: depths and grey
// palettes, the header's skip, the GEM run codes with pattern runs and vertical replication,
// longer headers and other pixel sizes, and files cut short.
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileGEM.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// "IMAGE11", a, b, the ignored word, width, height, depth, then b - a bytes of filler.
Bytes FltHeader(uint32_t width, uint32_t height, int depth, uint16_t a = 0, uint16_t b = 0)
{
    Bytes h;
    h.text("IMAGE11").u8(0).u16(a).u16(b).u16(0).u32(width).u32(height).u16(depth);
    h.fill(static_cast<uint16_t>(b - a), 0xEE);
    return h;
}

template <class Format>
class RasterFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const std::vector<uint8_t>& bytes)
    {
        path = dir.File(L"test.img");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return file.Load(path.c_str(), 0, 0, nullptr);
    }

    TestDir dir;
    std::wstring path;
    Format file;
};

using FltFormat = RasterFormat<NImageFileFLT>;
using GemFormat = RasterFormat<NImageFileGEM>;

}  // namespace

TEST_F(FltFormat, SixteenBitSamplesKeepTheirHighByteTopRowFirst)
{
    Bytes f = FltHeader(2, 2, 16);
    f.u16(0x1234).u16(0xFF00).u16(0x0001).u16(0x8000);
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    ASSERT_EQ(file.picture.bpp, 8);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 0x12);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 0), 0xFF);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 1), 0x00);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 1), 0x80);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).g, 0x12);  // a grey ramp
    EXPECT_EQ(file.GetConsumedSize(), f.size());
    EXPECT_EQ(file.fullWidth, 2);
}

TEST_F(FltFormat, OneBitIsBlackAndWhite)
{
    Bytes f = FltHeader(3, 2, 1);
    f.u32(0x000000A0).u32(0x00000040);  // rows of the picture's stride: 101 and 010
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    ASSERT_EQ(file.picture.bpp, 1);
    EXPECT_EQ(RGB(PixelAt(file.picture, 0, 0).r, PixelAt(file.picture, 0, 0).g, PixelAt(file.picture, 0, 0).b),
              RGB(255, 255, 255));
    EXPECT_EQ(PixelAt(file.picture, 1, 0).r, 0);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 1), 0);
}

TEST_F(FltFormat, SkipsTheBytesTheHeaderAnnounces)
{
    Bytes f = FltHeader(2, 1, 8, 10, 15);  // five filler bytes
    f.bytes({7, 9});
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 7);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 0), 9);
}

TEST_F(FltFormat, FloatSamplesMapToGreyIndexes)
{
    EXPECT_EQ(NImageFileFLT::FloatSampleToIndex(0.0f), 0);
    EXPECT_EQ(NImageFileFLT::FloatSampleToIndex(1.0f), 190);
    EXPECT_EQ(NImageFileFLT::FloatSampleToIndex(-1.0f), 187);
    EXPECT_EQ(NImageFileFLT::FloatSampleToIndex(-100.0f), static_cast<uint8_t>(-11));
    EXPECT_EQ(NImageFileFLT::FloatSampleToIndex(std::numeric_limits<float>::quiet_NaN()), 0);
    // Huge values and infinities give some index without undefined conversions.
    NImageFileFLT::FloatSampleToIndex(3.0e38f);
    NImageFileFLT::FloatSampleToIndex(-std::numeric_limits<float>::infinity());

    Bytes f = FltHeader(2, 1, 32);
    const float samples[2] = {1.0f, 0.0f};
    f.raw(samples, sizeof(samples));
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 190);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 0), 0);
}

TEST_F(FltFormat, RefusesOtherDepthsAndSignatures)
{
    EXPECT_EQ(LoadBytes(FltHeader(2, 2, 24).data), NR_FORMAT_INIT_FAILED);
    Bytes other = FltHeader(2, 2, 8);
    other.data[6] = '2';
    EXPECT_EQ(LoadBytes(other.data), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(LoadBytes(FltHeader(0, 2, 8).data), NR_PICTURE_CREATE_FAILED);
    EXPECT_EQ(LoadBytes(FltHeader(0x80000000u, 1, 8).data), NR_PICTURE_CREATE_FAILED);
}

TEST_F(FltFormat, FileCutShortKeepsTheRowsRead)
{
    Bytes f = FltHeader(3, 3, 8);
    f.bytes({1, 2, 3, 4});
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 0), 3);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 1), 4);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 1), 0);
    EXPECT_EQ(file.GetConsumedSize(), f.size());
}

// ---- GEM ----

namespace {

// The 16-byte header: version 1, header length in words, planes, pattern length, pixel width
// and height in micrometres, width, height.
Bytes GemHeader(int planes, int width, int height, int patternLength = 1, int headerWords = 8, int micrometres = 85)
{
    Bytes h;
    h.u16be(1).u16be(headerWords).u16be(planes).u16be(patternLength).u16be(micrometres).u16be(micrometres);
    h.u16be(width).u16be(height);
    return h;
}

}  // namespace

TEST_F(GemFormat, SolidRunsOfOnePlane)
{
    // Width 16: two bytes a row; 0x82 is two bytes of 0xFF (black), 0x02 two bytes of 0x00.
    Bytes f = GemHeader(1, 16, 2);
    f.bytes({0x82, 0x02});
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    ASSERT_EQ(file.picture.bpp, 1);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(PixelAt(file.picture, x, 0).r, 0) << x;
        EXPECT_EQ(PixelAt(file.picture, x, 1).r, 255) << x;
    }
    EXPECT_EQ(file.GetConsumedSize(), f.size());
}

TEST_F(GemFormat, PlanesGiveWhiteForNoneAndBlackForAll)
{
    struct Case {
        int planes;
        int bpp;
        int noneIndex;
    };
    for (const Case& c : {Case{4, 4, 15}, Case{6, 8, 63}}) {
        SCOPED_TRACE(c.planes);
        // Width 8 (one byte a plane); row 0 all planes clear, row 1 all set.
        Bytes f = GemHeader(c.planes, 8, 2);
        f.u8(c.planes);           // c.planes bytes of 0x00
        f.u8(0x80 | c.planes);    // c.planes bytes of 0xFF
        ASSERT_EQ(LoadBytes(f.data), NR_OK);
        ASSERT_EQ(file.picture.bpp, c.bpp);
        EXPECT_EQ(PaletteIndexAt(file.picture, 3, 0), c.noneIndex);
        EXPECT_EQ(PixelAt(file.picture, 3, 0).r, c.noneIndex * (255 / c.noneIndex));  // 255, or 252 for 6 planes
        EXPECT_EQ(PaletteIndexAt(file.picture, 3, 1), 0);
        EXPECT_EQ(PixelAt(file.picture, 3, 1).r, 0);
    }
}

TEST_F(GemFormat, PlaneOrderFollowsThePlaneCount)
{
    // One pixel set in plane 0 only: the least significant bit for 2 to 4 planes, the most
    // significant for 5 to 8.
    for (const int planes : {2, 5}) {
        SCOPED_TRACE(planes);
        Bytes f = GemHeader(planes, 8, 1);
        f.bytes({0x80, 1, 0x80}).u8(planes - 1);
        ASSERT_EQ(LoadBytes(f.data), NR_OK);
        const int white = (1 << planes) - 1;
        EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), planes == 2 ? white - 1 : white - (1 << (planes - 1)));
        EXPECT_EQ(PaletteIndexAt(file.picture, 1, 0), white);
    }
}

TEST_F(GemFormat, PatternRunsRepeatThePatternLength)
{
    // Pattern length 2: 00 03 AA 55 gives AA 55 three times.
    Bytes f = GemHeader(1, 48, 1, 2);
    f.bytes({0x00, 0x03, 0xAA, 0x55});
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    for (int x = 0; x < 48; ++x)
        EXPECT_EQ(PaletteIndexAt(file.picture, x, 0), ((x / 8) % 2 == 0) ? ((0xAA >> (7 - x % 8)) & 1) : ((0x55 >> (7 - x % 8)) & 1)) << x;
}

TEST_F(GemFormat, VerticalReplicationRepeatsTheNextScanLine)
{
    Bytes f = GemHeader(1, 8, 4);
    f.bytes({0x00, 0x00, 0xFF, 0x03, 0x81});  // the black row three times
    f.bytes({0x01});                          // then a white row
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(PaletteIndexAt(file.picture, 0, y), 1) << y;
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 3), 0);
}

TEST_F(GemFormat, DataStartsBehindALongerHeader)
{
    Bytes f = GemHeader(1, 8, 1, 1, 11);
    f.text("XIMG").u16be(0);  // three more header words
    f.bytes({0x81});
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 1);
}

TEST_F(GemFormat, OtherPixelSizesLoadAndGarbageDoesNot)
{
    Bytes f = GemHeader(1, 8, 1, 1, 8, 372);
    f.bytes({0x81});
    EXPECT_FALSE(NImageFileGEM::IsFormat(f.data.data(), 0, f.size()));
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 7, 0), 1);

    Bytes garbage = GemHeader(0, 8, 1, 1, 8, 372);
    EXPECT_EQ(LoadBytes(garbage.data), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(LoadBytes(std::vector<uint8_t>(11, 0x55)), NR_NOT_THIS_FORMAT);

    // No planes behind the usual signature: nothing to read, and no 1-bit picture written as
    // 4-bit pixels past its rows (a wide one overran it).
    Bytes noPlanes = GemHeader(0, 32784, 4);
    noPlanes.bytes({0x00, 0x00, 0xFF, 0x02, 0x81});
    EXPECT_EQ(LoadBytes(noPlanes.data), NR_INVALID_DATA);
}

TEST_F(GemFormat, TrueColourRunsUseTheRepeatFactor)
{
    // Header length 9: the word behind the header holds the repeat factor 2; a row of width 2
    // is 6 bytes: 0x83 gives 3 x 2 bytes of 0xFF.
    Bytes f = GemHeader(24, 2, 2, 1, 9);
    f.u16be(2);
    f.bytes({0x83, 0x80, 0x03, 1, 2, 3, 4, 5, 6});
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    ASSERT_EQ(file.picture.bpp, 24);
    EXPECT_EQ(PixelAt(file.picture, 1, 0).r, 255);
    const uint8_t* bottom = file.picture.bits;
    EXPECT_EQ(bottom[0], 1);
    EXPECT_EQ(bottom[5], 6);
}

TEST_F(GemFormat, FileCutShortEndsTheDecoding)
{
    Bytes f = GemHeader(1, 8, 100);
    f.bytes({0x81, 0x80, 0x05, 0xFF});  // a literal run cut off
    ASSERT_EQ(LoadBytes(f.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 2), 0);
    EXPECT_EQ(file.GetConsumedSize(), f.size());
}
