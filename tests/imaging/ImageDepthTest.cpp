// Bit-depth conversion, row access and the palette-mapping dither.
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace imagetest;

namespace {

struct FreeDeleter {
    void operator()(uint8_t* p) const { free(p); }
};
using Rows = std::unique_ptr<uint8_t, FreeDeleter>;

// The eight corners of the colour cube survive every depth and both quantisers exactly.
const std::vector<COLORREF> kCorners = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(255, 0, 0),   RGB(0, 255, 0),
                                        RGB(0, 0, 255),   RGB(255, 255, 0),   RGB(0, 255, 255), RGB(255, 0, 255)};
const std::vector<COLORREF> kBlackWhite = {RGB(0, 0, 0), RGB(255, 255, 255)};

constexpr int kWidth = 7;
constexpr int kHeight = 5;

int PatternIndex(int x, int y, int count)
{
    return (x + 2 * y) % count;
}

// A picture of the given depth whose pixel (x, y) shows colours[PatternIndex].
void MakePattern(NImageBuffer& image, int depth, const std::vector<COLORREF>& colours)
{
    std::vector<uint8_t> rgb = PaletteRgb(colours);
    ASSERT_TRUE(image.Create(kWidth, kHeight, depth, 0, rgb.data()));
    ASSERT_EQ(depth, image.bpp);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            int index = PatternIndex(x, y, static_cast<int>(colours.size()));
            COLORREF c = colours[index];
            uint32_t raw;
            switch (depth) {
            case 1:
            case 4:
            case 8:
                raw = index;
                break;
            case 16:
                raw = ((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3);
                break;
            default:
                raw = 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
                break;
            }
            SetRaw(image, x, y, raw);
        }
}

}  // namespace

// Every pair of depths, up and down, on pictures whose colours every depth can hold.
TEST(ImageDepth, ConversionTableKeepsExactColours)
{
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (int from : depths)
        for (int to : depths) {
            if (from == to)
                continue;
            SCOPED_TRACE(testing::Message() << from << " -> " << to);
            const std::vector<COLORREF>& colours = (from == 1 || to == 1) ? kBlackWhite : kCorners;
            NImageBuffer image;
            MakePattern(image, from, colours);
            image.dpiX = image.dpiY = 300;
            if (from > 8) {
                image.hasTransparency = 1;  // a colour key of a direct-colour picture is dropped
                image.transparentColour = colours[0];
            }
            ASSERT_TRUE(image.ConvertToBpp(to, false));
            ASSERT_EQ(to, image.bpp);
            EXPECT_EQ(96, image.dpiX);
            EXPECT_EQ(0, image.hasTransparency);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    COLORREF expected = colours[PatternIndex(x, y, static_cast<int>(colours.size()))];
                    ASSERT_EQ(expected, ColourAt(image, x, y)) << x << "," << y;
                    if (to == 32) {
                        ASSERT_EQ(255, AlphaAt(image, x, y));
                    }
                }
        }
}

TEST(ImageDepth, SameOrUnknownDepthChangesNothing)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(3, 3, 24, RGB(1, 2, 3)));
    image.dpiX = 300;
    HBITMAP before = image.bitmap;
    EXPECT_TRUE(image.ConvertToBpp(24, true));
    EXPECT_TRUE(image.ConvertToBpp(12, false));
    EXPECT_TRUE(image.ConvertToBpp(20, false));
    EXPECT_EQ(before, image.bitmap);
    EXPECT_EQ(300, image.dpiX);
    EXPECT_EQ(24, image.bpp);
    EXPECT_FALSE(image.ConvertUp(16));
    EXPECT_FALSE(image.ConvertDown(32, false));
    NImageBuffer empty;
    EXPECT_FALSE(empty.ConvertToBpp(24, false));
}

TEST(ImageDepth, ThirtyTwoToTwentyFourCompositesOverWhite)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(3, 2, 32, 0));
    SetRaw(image, 0, 0, 0x00112233);  // transparent: white
    SetRaw(image, 1, 0, 0xFF112233);  // opaque: unchanged
    SetRaw(image, 2, 0, 0x80C86432);  // (200, 100, 50) at 128
    SetRaw(image, 0, 1, 0xFF000000);
    SetRaw(image, 1, 1, 0x80000000);  // black at 128
    SetRaw(image, 2, 1, 0x00000000);

    // Hand-computed: c * a / 255 + 255 - a, within the rounding of the blend.
    struct Expect {
        int x, y, r, g, b;
    };
    const Expect expected[] = {{0, 0, 255, 255, 255}, {1, 0, 0x11, 0x22, 0x33}, {2, 0, 227, 177, 152},
                               {0, 1, 0, 0, 0},       {1, 1, 127, 127, 127},    {2, 1, 255, 255, 255}};

    for (bool flatten : {false, true}) {
        NImageBuffer converted;
        ASSERT_TRUE(converted.Copy(image));
        ASSERT_TRUE(converted.ConvertToBpp(24, flatten));
        ASSERT_EQ(24, converted.bpp);
        for (const Expect& e : expected) {
            COLORREF c = ColourAt(converted, e.x, e.y);
            EXPECT_NEAR(e.r, GetRValue(c), 1) << e.x << "," << e.y;
            EXPECT_NEAR(e.g, GetGValue(c), 1) << e.x << "," << e.y;
            EXPECT_NEAR(e.b, GetBValue(c), 1) << e.x << "," << e.y;
        }
    }

    // The row access composites the same way; scan line 0 is the bottom row (y = 1).
    Rows row(image.GetRowAs(24, 0));
    ASSERT_TRUE(row);
    EXPECT_EQ(0, row.get()[0]);
    EXPECT_NEAR(127, row.get()[3], 1);
    EXPECT_EQ(255, row.get()[6]);
    Rows top(image.GetRowAs(24, 1));
    ASSERT_TRUE(top);
    EXPECT_EQ(255, top.get()[0]);
    EXPECT_EQ(0x33, top.get()[3]);
    EXPECT_NEAR(152, top.get()[6], 1);
    EXPECT_EQ(32, image.bpp);  // the picture itself is untouched
    EXPECT_EQ(0x80C86432u, RawAt(image, 2, 0));
}

// Every alpha value from 0 to 255, composited over white, against ImageMagick's -flatten.
TEST(ImageDepth, OverWhiteMatchesImageMagick)
{
    std::vector<unsigned char> input, reference;
    ASSERT_TRUE(ReadWholeFile(TestDataPath(L"depth\\flatten-input.rgba"), input));
    ASSERT_TRUE(ReadWholeFile(TestDataPath(L"depth\\flatten-white.rgb"), reference));
    ASSERT_EQ(16u * 16 * 4, input.size());
    ASSERT_EQ(16u * 16 * 3, reference.size());
    NImageBuffer image;
    ASSERT_TRUE(image.Create(16, 16, 32, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const unsigned char* p = &input[(y * 16 + x) * 4];
            SetRaw(image, x, y, p[2] | (p[1] << 8) | (p[0] << 16) | (static_cast<uint32_t>(p[3]) << 24));
        }
    NImageBuffer rows;
    ASSERT_TRUE(rows.Copy(image));
    ASSERT_TRUE(image.ConvertToBpp(24, true));
    for (int y = 0; y < 16; ++y) {
        Rows row(rows.GetRowAs(24, 15 - y));
        ASSERT_TRUE(row);
        for (int x = 0; x < 16; ++x) {
            const unsigned char* want = &reference[(y * 16 + x) * 3];
            COLORREF got = ColourAt(image, x, y);
            SCOPED_TRACE(testing::Message() << x << "," << y);
            // The blend works on premultiplied bytes: truncation and rounding cost up to 2.
            ASSERT_NEAR(want[0], GetRValue(got), 2);
            ASSERT_NEAR(want[1], GetGValue(got), 2);
            ASSERT_NEAR(want[2], GetBValue(got), 2);
            ASSERT_NEAR(want[0], row.get()[x * 3 + 2], 2);
            ASSERT_NEAR(want[1], row.get()[x * 3 + 1], 2);
            ASSERT_NEAR(want[2], row.get()[x * 3 + 0], 2);
        }
    }
}

TEST(ImageDepth, RowAccessInFixedDepths)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(2, 3, 24, RGB(255, 0, 0)));
    SetRaw(image, 1, 2, 0x00FFFFFF);  // bottom row, right pixel white

    Rows all16(image.GetBitsAs(16));
    ASSERT_TRUE(all16);
    const uint16_t* words = reinterpret_cast<const uint16_t*>(all16.get());
    EXPECT_EQ(0x7C00, words[0]);
    EXPECT_EQ(0x7FFF, words[1]);
    EXPECT_EQ(0x7C00, words[2]);  // stride of 2 x 16 bits is 4 bytes

    Rows row32(image.GetRowAs(32, 0));
    ASSERT_TRUE(row32);
    EXPECT_EQ(0, memcmp(row32.get(), "\x00\x00\xFF\x00\xFF\xFF\xFF\x00", 8));

    EXPECT_EQ(nullptr, image.GetBitsAs(8));
    EXPECT_EQ(nullptr, image.GetRowAs(12, 0));
    EXPECT_EQ(nullptr, image.GetRowAs(24, -1));
    EXPECT_EQ(nullptr, image.GetRowAs(24, 3));
    NImageBuffer empty;
    EXPECT_EQ(nullptr, empty.GetBitsAs(24));
}

TEST(ImageDepth, SetRowBitsAndSetBitsFromDib)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(2, 3, 32, 0));
    const uint8_t row24[8] = {1, 2, 3, 4, 5, 6, 0, 0};
    ASSERT_TRUE(image.SetRowBits(24, 2, row24));  // scan line 2 is the top row
    EXPECT_EQ(RGB(3, 2, 1), ColourAt(image, 0, 0));
    EXPECT_EQ(RGB(6, 5, 4), ColourAt(image, 1, 0));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(image, 0, 1));
    EXPECT_FALSE(image.SetRowBits(8, 0, row24));
    EXPECT_FALSE(image.SetRowBits(24, 3, row24));
    EXPECT_FALSE(image.SetRowBits(24, 0, nullptr));

    // Whole picture from 16-bpp rows: bottom red, middle green, top blue.
    const uint16_t rows16[6] = {0x7C00, 0x7C00, 0x03E0, 0x03E0, 0x001F, 0x001F};
    NImageBuffer target;
    ASSERT_TRUE(target.Create(2, 3, 24, 0));
    ASSERT_TRUE(target.SetBitsFromDIB(16, rows16));
    EXPECT_EQ(RGB(0, 0, 255), ColourAt(target, 1, 0));
    EXPECT_EQ(RGB(0, 255, 0), ColourAt(target, 0, 1));
    EXPECT_EQ(RGB(255, 0, 0), ColourAt(target, 1, 2));
    EXPECT_FALSE(target.SetBitsFromDIB(8, rows16));
    EXPECT_FALSE(target.SetBitsFromDIB(24, nullptr));
}

TEST(ImageDepth, ConvertUpTo32MakesTheColourKeyTransparent)
{
    std::vector<COLORREF> colours(8, RGB(10, 10, 10));
    colours[5] = RGB(255, 0, 255);
    for (int depth : {4, 8}) {
        SCOPED_TRACE(depth);
        NImageBuffer image;
        MakePattern(image, depth, colours);  // index = (x + 2y) % 8
        image.hasTransparency = 1;
        image.transparentIndex = 5;
        ASSERT_TRUE(image.ConvertToBpp(32, false));
        EXPECT_EQ(0, image.hasTransparency);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                ASSERT_EQ(PatternIndex(x, y, 8) == 5 ? 0 : 255, AlphaAt(image, x, y)) << x << "," << y;
    }
}

TEST(ImageDepth, MonochromeDitherOfGreyIsHalfBlack)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(64, 64, 24, RGB(128, 128, 128)));
    NImageRect white = {0, 0, 64, 16};
    ASSERT_TRUE(image.FillRect(&white, RGB(255, 255, 255)));
    ASSERT_TRUE(image.ConvertToBpp(1, false));
    ASSERT_EQ(1, image.bpp);
    EXPECT_EQ(RGB(0, 0, 0), RGB(image.palette[0][2], image.palette[0][1], image.palette[0][0]));
    EXPECT_EQ(RGB(255, 255, 255), RGB(image.palette[1][2], image.palette[1][1], image.palette[1][0]));
    int whiteInGrey = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            if (y < 16)
                ASSERT_EQ(1u, RawAt(image, x, y)) << x << "," << y;
            else
                whiteInGrey += RawAt(image, x, y);
        }
    const int greyPixels = 64 * 48;
    EXPECT_NEAR(greyPixels * 128 / 255, whiteInGrey, greyPixels / 50);
    EXPECT_EQ(nullptr, image.distanceRed);
}

TEST(ImageDepth, MapToSixteenColoursDiffusesTheError)
{
    // Grey 100 between palette greys 0 and 200: the mean over the area stays near 100.
    NImageBuffer image;
    ASSERT_TRUE(image.Create(40, 40, 32, RGB(100, 100, 100)));
    std::vector<uint8_t> rgb(48, 0);
    for (int i = 0; i < 16; ++i)
        rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = static_cast<uint8_t>(i == 1 ? 200 : 0);
    Rows rows(image.MapToPalette16(rgb.data()));
    ASSERT_TRUE(rows);
    int stride = NImageBuffer::StrideFor(40, 4);
    int sum = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t byte = rows.get()[y * stride + x / 2];
            int index = (x & 1) ? (byte & 15) : (byte >> 4);
            ASSERT_TRUE(index == 0 || index == 1);
            sum += index ? 200 : 0;
        }
    EXPECT_NEAR(100.0, sum / 1600.0, 3.0);
    EXPECT_EQ(nullptr, image.distanceGreen);
}

TEST(ImageDepth, DitherRejectsOtherDepths)
{
    std::vector<uint8_t> rgb = GreyPaletteRgb();
    NImageBuffer image;
    ASSERT_TRUE(image.Create(4, 4, 1, 0, rgb.data()));
    EXPECT_EQ(nullptr, image.DitherToMonochrome(rgb.data()));
    ASSERT_TRUE(image.Create(4, 4, 4, 0, rgb.data()));
    EXPECT_EQ(nullptr, image.MapToPalette16(rgb.data()));
    Rows fromFour(image.DitherToMonochrome(rgb.data()));
    EXPECT_TRUE(fromFour);
}

TEST(ImageDepth, EightBitQuantisationOfOneColour)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(6, 4, 24, RGB(100, 150, 200)));
    ASSERT_TRUE(image.ConvertToBpp(8, false));
    ASSERT_EQ(8, image.bpp);
    auto entry = [&](int i) { return RGB(image.palette[i][2], image.palette[i][1], image.palette[i][0]); };
    const COLORREF corners[8] = {RGB(0, 0, 0),     RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255),
                                 RGB(255, 255, 0), RGB(0, 255, 255), RGB(255, 0, 255), RGB(255, 255, 255)};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(corners[i], entry(i)) << i;
    for (int i = 8; i < 255; ++i)
        ASSERT_EQ(RGB(123, 123, 123), entry(i)) << i;
    EXPECT_EQ(RGB(98, 148, 205), entry(255));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(255u, RawAt(image, x, y));
}

TEST(ImageDepth, GreyConversionWeightsAndKeepsResolution)
{
    const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    const uint32_t greys[] = {77, 149, 29, 255};
    for (int depth : {8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        NImageBuffer image;
        MakePattern(image, depth, std::vector<COLORREF>(colours, colours + 4));
        image.dpiX = 72;
        image.dpiY = 300;
        ASSERT_TRUE(image.ConvertToGray8());
        ASSERT_EQ(8, image.bpp);
        EXPECT_EQ(72, image.dpiX);
        EXPECT_EQ(300, image.dpiY);
        EXPECT_EQ(200, image.palette[200][0]);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                ASSERT_EQ(greys[PatternIndex(x, y, 4)], RawAt(image, x, y)) << x << "," << y;
    }
}
