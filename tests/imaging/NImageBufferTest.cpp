// The picture record: creation, depth rounding, copy, release, palette and painting.
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace imagetest;

namespace {

DIBSECTION SectionOf(const NImageBuffer& image)
{
    DIBSECTION section{};
    GetObjectW(image.bitmap, sizeof(section), &section);
    return section;
}

}  // namespace

TEST(NImageBuffer, EmptyRecordAnswersFalseEverywhere)
{
    NImageBuffer image;
    EXPECT_FALSE(image.valid);
    EXPECT_EQ(96, image.dpiX);
    EXPECT_EQ(96, image.dpiY);
    EXPECT_EQ(nullptr, image.bits);
    EXPECT_FALSE(image.Destroy());
    EXPECT_FALSE(image.Fill(0));
    NImageRect rect = {0, 0, 1, 1};
    EXPECT_FALSE(image.FillRect(&rect, 0));
    std::vector<uint8_t> rgb = GreyPaletteRgb();
    EXPECT_FALSE(image.SetPalette(rgb.data(), 256));
    EXPECT_FALSE(image.DeselectBitmap());
    EXPECT_FALSE(image.SelectBitmap());
}

TEST(NImageBuffer, CreateFillsAndDestroyEmpties)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(5, 3, 24, 0x00FF0000));
    EXPECT_TRUE(image.valid);
    EXPECT_EQ(5, image.width);
    EXPECT_EQ(3, image.height);
    EXPECT_EQ(24, image.bpp);
    EXPECT_EQ(16, image.stride);
    EXPECT_EQ(image.bitmap, GetCurrentObject(image.dc, OBJ_BITMAP));
    EXPECT_EQ(image.bits, SectionOf(image).dsBm.bmBits);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t* p = image.bits + y * image.stride + x * 3;
            ASSERT_EQ(255, p[0]);  // blue first in memory
            ASSERT_EQ(0, p[1]);
            ASSERT_EQ(0, p[2]);
        }
    EXPECT_TRUE(image.Destroy());
    EXPECT_FALSE(image.Destroy());
    EXPECT_FALSE(image.valid);
    EXPECT_EQ(0, image.dpiX);
    EXPECT_EQ(0, image.width);
    EXPECT_EQ(nullptr, image.dc);
    EXPECT_EQ(nullptr, image.bitmap);
    EXPECT_EQ(nullptr, image.bits);
}

TEST(NImageBuffer, FillOf32BitPictureLeavesAlphaZero)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(3, 2, 32, RGB(10, 20, 30)));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(0x000A141Eu, RawAt(image, x, y));  // B=30, G=20, R=10, A=0
}

TEST(NImageBuffer, DepthRoundingAndStride)
{
    struct Case {
        int requested;
        int withPalette;
        int withoutPalette;
        int fromBits;
    };
    const Case cases[] = {
        {0, 1, 24, 1},   {1, 1, 24, 1},   {2, 4, 24, 4},   {4, 4, 24, 4},    {5, 8, 24, 8},    {8, 8, 24, 8},
        {9, 16, 16, 16}, {16, 16, 16, 16}, {17, 24, 24, 24}, {24, 24, 24, 24}, {25, 32, 32, 32}, {33, 32, 32, 32},
    };
    std::vector<uint8_t> rgb = GreyPaletteRgb();
    std::vector<uint8_t> rows(64 * 7, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested);
        NImageBuffer image;
        ASSERT_TRUE(image.Create(7, 2, c.requested, 0, rgb.data()));
        EXPECT_EQ(c.withPalette, image.bpp);
        EXPECT_EQ(NImageBuffer::StrideFor(7, image.bpp), image.stride);
        EXPECT_EQ(image.bpp, SectionOf(image).dsBmih.biBitCount);
        ASSERT_TRUE(image.Create(7, 2, c.requested, 0, nullptr));
        EXPECT_EQ(c.withoutPalette, image.bpp);
        ASSERT_TRUE(image.CreateFromBits(7, 2, c.requested, rows.data(), rgb.data()));
        EXPECT_EQ(c.fromBits, image.bpp);
    }
    EXPECT_EQ(4, NImageBuffer::StrideFor(3, 8));
    EXPECT_EQ(16, NImageBuffer::StrideFor(5, 24));
    EXPECT_EQ(4, NImageBuffer::StrideFor(1, 1));
    EXPECT_EQ(8, NImageBuffer::StrideFor(33, 1));
    EXPECT_EQ(4, NImageBuffer::StrideFor(3, 4));
    EXPECT_EQ(0, NImageBuffer::StrideFor(0x7FFFFFFF, 32));
}

TEST(NImageBuffer, RejectedArgumentsKeepTheOldPicture)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(4, 4, 24, RGB(1, 2, 3)));
    HBITMAP old = image.bitmap;
    std::vector<uint8_t> rows(64, 0);

    EXPECT_FALSE(image.Create(0, 4, 24, 0));
    EXPECT_FALSE(image.Create(4, -1, 24, 0));
    EXPECT_FALSE(image.CreateFromBits(4, 4, 8, rows.data(), nullptr));
    EXPECT_FALSE(image.CreateFromBits(4, 4, 24, nullptr, nullptr));
    EXPECT_FALSE(image.Create(0x7FFFFFF, 0x7FFFFFF, 32, 0));
    NImageBuffer empty;
    EXPECT_FALSE(image.Copy(empty));

    EXPECT_TRUE(image.valid);
    EXPECT_EQ(old, image.bitmap);
    EXPECT_EQ(RGB(1, 2, 3), ColourAt(image, 3, 3));
}

TEST(NImageBuffer, CreateFromBitsCopiesRowsAndPalette)
{
    // 3 x 2 at 8 bpp: stride 4, bottom row first in memory.
    const uint8_t rows[8] = {1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
    std::vector<uint8_t> rgb = PaletteRgb({RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                                           RGB(10, 20, 30), RGB(40, 50, 60), RGB(70, 80, 90)});
    NImageBuffer image;
    ASSERT_TRUE(image.CreateFromBits(3, 2, 8, rows, rgb.data()));
    EXPECT_EQ(0, memcmp(rows, image.bits, 8));
    EXPECT_EQ(4u, RawAt(image, 0, 0));  // top row is the second in memory
    EXPECT_EQ(1u, RawAt(image, 0, 1));
    EXPECT_EQ(RGB(10, 20, 30), ColourAt(image, 0, 0));
    EXPECT_EQ(255, image.palette[1][2]);  // stored blue, green, red
    EXPECT_EQ(0, image.palette[1][0]);
    RGBQUAD table[8] = {};
    ASSERT_EQ(8u, GetDIBColorTable(image.dc, 0, 8, table));
    EXPECT_EQ(255, table[3].rgbBlue);
    EXPECT_EQ(30, table[4].rgbBlue);
    EXPECT_EQ(10, table[4].rgbRed);
}

TEST(NImageBuffer, CopyIsDeepAndKeepsResolutionAndColourKey)
{
    NImageBuffer source;
    ASSERT_TRUE(source.Create(4, 3, 32, 0));
    SetRaw(source, 1, 2, 0x80112233);
    source.dpiX = 300;
    source.dpiY = 72;
    source.hasTransparency = 1;
    source.transparentColour = RGB(1, 2, 3);
    source.transparentIndex = 7;

    NImageBuffer copy;
    ASSERT_TRUE(copy.Create(9, 9, 8, 0, GreyPaletteRgb().data()));
    ASSERT_TRUE(copy.Copy(source));
    EXPECT_NE(source.bits, copy.bits);
    EXPECT_NE(source.dc, copy.dc);
    EXPECT_EQ(4, copy.width);
    EXPECT_EQ(32, copy.bpp);
    EXPECT_EQ(0x80112233u, RawAt(copy, 1, 2));
    EXPECT_EQ(300, copy.dpiX);
    EXPECT_EQ(72, copy.dpiY);
    EXPECT_EQ(11811, SectionOf(copy).dsBmih.biXPelsPerMeter);
    EXPECT_EQ(2834, SectionOf(copy).dsBmih.biYPelsPerMeter);
    EXPECT_EQ(1, copy.hasTransparency);
    EXPECT_EQ(RGB(1, 2, 3), static_cast<COLORREF>(copy.transparentColour));
    EXPECT_EQ(7, copy.transparentIndex);

    SetRaw(copy, 1, 2, 0);
    EXPECT_EQ(0x80112233u, RawAt(source, 1, 2));

    // Every other creation writes 96 dpi and drops the key.
    ASSERT_TRUE(copy.Create(2, 2, 24, 0));
    EXPECT_EQ(3779, SectionOf(copy).dsBmih.biXPelsPerMeter);
    EXPECT_EQ(96, copy.dpiX);
    EXPECT_EQ(0, copy.hasTransparency);
}

TEST(NImageBuffer, CopyOfPalettePicture)
{
    std::vector<uint8_t> rgb = PaletteRgb({RGB(200, 100, 50), RGB(1, 2, 3)});
    NImageBuffer source;
    ASSERT_TRUE(source.Create(9, 2, 1, RGB(1, 2, 3), rgb.data()));
    SetRaw(source, 8, 0, 0);
    NImageBuffer copy;
    ASSERT_TRUE(copy.Copy(source));
    EXPECT_EQ(1, copy.bpp);
    EXPECT_EQ(RGB(200, 100, 50), ColourAt(copy, 8, 0));
    EXPECT_EQ(RGB(1, 2, 3), ColourAt(copy, 7, 0));
    RGBQUAD table[2] = {};
    ASSERT_EQ(2u, GetDIBColorTable(copy.dc, 0, 2, table));
    EXPECT_EQ(200, table[0].rgbRed);
}

TEST(NImageBuffer, FillRectUsesPictureCoordinatesAndExcludesFarEdges)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(6, 5, 24, RGB(0, 0, 0)));
    NImageRect rect = {1, 0, 3, 2};
    ASSERT_TRUE(image.FillRect(&rect, RGB(9, 8, 7)));
    EXPECT_FALSE(image.FillRect(nullptr, 0));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            bool inside = x >= 1 && x < 4 && y < 2;
            ASSERT_EQ(inside ? RGB(9, 8, 7) : RGB(0, 0, 0), ColourAt(image, x, y)) << x << "," << y;
        }
    // Top rows of the picture are the last scan lines in memory.
    const uint8_t* topScanLine = image.bits + 4 * image.stride;
    EXPECT_EQ(7, topScanLine[3]);
}

TEST(NImageBuffer, FillOfPalettePicturePicksNearestEntry)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(5, 2, 8, RGB(100, 100, 100), GreyPaletteRgb().data()));
    EXPECT_EQ(100u, RawAt(image, 4, 1));
    std::vector<uint8_t> four = PaletteRgb({RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 0, 250), RGB(255, 255, 255)});
    ASSERT_TRUE(image.Create(5, 2, 4, RGB(0, 0, 255), four.data()));
    EXPECT_EQ(2u, RawAt(image, 0, 0));
}

TEST(NImageBuffer, SetPaletteStoresNoMoreThanTheCallerGave)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(4, 4, 8, 0, GreyPaletteRgb().data()));
    const uint8_t two[6] = {255, 0, 0, 0, 255, 0};
    ASSERT_TRUE(image.SetPalette(two, 2));
    EXPECT_EQ(255, image.palette[0][2]);
    EXPECT_EQ(255, image.palette[1][1]);
    EXPECT_EQ(2, image.palette[2][0]);  // untouched grey entry
    RGBQUAD table[3] = {};
    ASSERT_EQ(3u, GetDIBColorTable(image.dc, 0, 3, table));
    EXPECT_EQ(255, table[0].rgbRed);
    EXPECT_EQ(255, table[1].rgbGreen);
    EXPECT_EQ(2, table[2].rgbBlue);

    // A 1-bpp picture takes at most its two entries from a longer array.
    ASSERT_TRUE(image.Create(4, 4, 1, 0, GreyPaletteRgb().data()));
    RGBQUAD quads[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}};
    ASSERT_TRUE(image.SetPaletteRGBQuad(quads, 4));
    EXPECT_EQ(4, image.palette[1][0]);
    EXPECT_EQ(2, image.palette[2][0]);
    EXPECT_FALSE(image.SetPaletteRGBQuad(quads, 0));

    ASSERT_TRUE(image.Create(4, 4, 24, 0));
    EXPECT_FALSE(image.SetPaletteRGBQuad(quads, 4));
}

TEST(NImageBuffer, CreateFromHBitmapReadsADeviceBitmap)
{
    HDC screen = GetDC(nullptr);
    HBITMAP device = CreateCompatibleBitmap(screen, 7, 3);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(nullptr, device);
    HDC memoryDc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memoryDc, device);
    RECT all = {0, 0, 7, 3};
    RECT top = {0, 0, 7, 1};
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    FillRect(memoryDc, &all, blue);
    FillRect(memoryDc, &top, green);
    SelectObject(memoryDc, old);
    DeleteDC(memoryDc);
    DeleteObject(blue);
    DeleteObject(green);

    NImageBuffer image;
    ASSERT_TRUE(image.Create(2, 2, 24, 0));
    ASSERT_TRUE(image.CreateFromHBitmap(device));
    DeleteObject(device);
    EXPECT_EQ(7, image.width);
    EXPECT_EQ(3, image.height);
    EXPECT_GE(image.bpp, 16);
    EXPECT_EQ(96, image.dpiX);
    EXPECT_EQ(RGB(0, 255, 0), ColourAt(image, 6, 0));
    EXPECT_EQ(RGB(0, 0, 255), ColourAt(image, 0, 2));

    EXPECT_FALSE(image.CreateFromHBitmap(nullptr));
    EXPECT_TRUE(image.valid);
}

TEST(NImageBuffer, CreateFromHBitmapOfPaletteAnd565Sections)
{
    std::vector<uint8_t> rgb = PaletteRgb({RGB(0, 0, 0), RGB(12, 34, 56), RGB(200, 150, 100)});
    NImageBuffer source;
    ASSERT_TRUE(source.Create(5, 2, 8, RGB(12, 34, 56), rgb.data()));
    SetRaw(source, 4, 0, 2);
    NImageBuffer image;
    ASSERT_TRUE(image.CreateFromHBitmap(source.bitmap));
    EXPECT_EQ(8, image.bpp);
    EXPECT_EQ(1u, RawAt(image, 0, 0));
    EXPECT_EQ(RGB(200, 150, 100), ColourAt(image, 4, 0));

    // A 5-6-5 section is read as plain 5-5-5 pixels.
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = 3;
    info.header.biHeight = -2;  // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = 0xF800;
    info.masks[1] = 0x07E0;
    info.masks[2] = 0x001F;
    void* memory = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &memory, nullptr, 0);
    ASSERT_NE(nullptr, section);
    uint16_t* pixels = static_cast<uint16_t*>(memory);  // rows of 4 words (3 pixels and padding)
    for (int i = 0; i < 8; ++i)
        pixels[i] = 0x07E0;  // pure green
    pixels[0] = 0xF800;      // top-left red
    ASSERT_TRUE(image.CreateFromHBitmap(section));
    DeleteObject(section);
    EXPECT_EQ(16, image.bpp);
    EXPECT_EQ(3, image.width);
    EXPECT_EQ(2, image.height);
    EXPECT_EQ(0x7C00u, RawAt(image, 0, 0));
    EXPECT_EQ(0x03E0u, RawAt(image, 1, 0));
    EXPECT_EQ(0x03E0u, RawAt(image, 2, 1));
}

TEST(NImageBuffer, ManyRecordsDoNotExhaustGdi)
{
    for (int i = 0; i < 3000; ++i) {
        NImageBuffer image;
        ASSERT_TRUE(image.Create(16, 16, 32, 0)) << i;
        NImageBuffer copy;
        ASSERT_TRUE(copy.Copy(image)) << i;
    }
}
