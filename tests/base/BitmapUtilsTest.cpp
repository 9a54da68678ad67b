#include "base/BitmapUtils.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestResourceModule.h"

namespace {

HBITMAP MakeDib(int width, int height, int bits, void** pixels)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, pixels, nullptr, 0);
}

// 3 pixels of 3 bytes: rows of 9 bytes padded to 12.
TEST(RecolorBitmap, RecolorsEveryMatchingPixelAndNoPadding)
{
    for (int height : {2, -2}) {  // bottom-up and top-down
        SCOPED_TRACE(height);
        void* bits = nullptr;
        HBITMAP bitmap = MakeDib(3, height, 24, &bits);
        ASSERT_NE(bitmap, nullptr);
        // from = RGB(0x10, 0x20, 0x30) lies in memory as 30 20 10; the padding repeats it.
        const unsigned char before[24] = {
            0x30, 0x20, 0x10, 0x30, 0x20, 0x11, 0x30, 0x20, 0x10, 0x30, 0x20, 0x10,
            0x10, 0x20, 0x30, 0x30, 0x20, 0x10, 0x30, 0x20, 0x10, 0x30, 0x20, 0x10,
        };
        const unsigned char after[24] = {
            0xCC, 0xBB, 0xAA, 0x30, 0x20, 0x11, 0xCC, 0xBB, 0xAA, 0x30, 0x20, 0x10,
            0x10, 0x20, 0x30, 0xCC, 0xBB, 0xAA, 0xCC, 0xBB, 0xAA, 0x30, 0x20, 0x10,
        };
        memcpy(bits, before, sizeof before);
        EXPECT_TRUE(RecolorBitmap(&bitmap, RGB(0x10, 0x20, 0x30), RGB(0xAA, 0xBB, 0xCC)));
        EXPECT_EQ(memcmp(bits, after, sizeof after), 0);
        DeleteObject(bitmap);
    }
}

TEST(RecolorBitmap, LeavesOtherBitmapsAlone)
{
    void* bits = nullptr;
    HBITMAP wide = MakeDib(2, 2, 32, &bits);
    ASSERT_NE(wide, nullptr);
    memset(bits, 0, 16);
    EXPECT_FALSE(RecolorBitmap(&wide, RGB(0, 0, 0), RGB(255, 255, 255)));
    EXPECT_EQ(static_cast<unsigned char*>(bits)[0], 0);
    DeleteObject(wide);

    HDC screen = GetDC(nullptr);
    HBITMAP device = CreateCompatibleBitmap(screen, 4, 4);
    ReleaseDC(nullptr, screen);
    EXPECT_FALSE(RecolorBitmap(&device, RGB(0, 0, 0), RGB(255, 255, 255)));
    DeleteObject(device);

    HBITMAP none = nullptr;
    EXPECT_FALSE(RecolorBitmap(&none, 0, 0));
    EXPECT_FALSE(RecolorBitmap(nullptr, 0, 0));
}

BITMAPINFOHEADER InfoHeader(DWORD size, WORD bits, DWORD used)
{
    BITMAPINFOHEADER h = {};
    h.biSize = size;
    h.biBitCount = bits;
    h.biClrUsed = used;
    return h;
}

TEST(GetDibColorTable, CountsEntriesAndBytes)
{
    struct Case {
        DWORD size;
        WORD bits;
        DWORD used;
        unsigned entries, bytes;
    } cases[] = {
        {40, 1, 0, 2, 8},       {40, 4, 0, 16, 64},      {40, 8, 0, 256, 1024},  {40, 24, 0, 0, 0},
        {40, 24, 12, 12, 48},   {40, 8, 100, 100, 400},  {124, 8, 0, 256, 1024}, {108, 4, 3, 3, 12},
        {40, 32, 0, 0, 0},      {40, 16, 0, 0, 0},
        // A header from a file may claim any count: a table never holds more than 256 entries.
        {40, 8, 0xFFFFFFFF, 256, 1024}, {40, 24, 70000, 256, 1024}, {40, 1, 257, 256, 1024},
        // Unknown header sizes.
        {20, 8, 0, 0, 0},       {0, 8, 0, 0, 0},
    };
    for (const auto& c : cases) {
        BITMAPINFOHEADER h = InfoHeader(c.size, c.bits, c.used);
        EXPECT_EQ(GetDibColorTableEntries(&h), c.entries) << c.size << "/" << c.bits << "/" << c.used;
        EXPECT_EQ(GetDibColorTableSize(&h), c.bytes) << c.size << "/" << c.bits << "/" << c.used;
    }
    for (WORD bits : {1, 4, 8, 24}) {
        // A core header is 12 bytes; the caller's memory ends there.
        std::vector<unsigned char> memory(sizeof(BITMAPCOREHEADER));
        BITMAPCOREHEADER core = {sizeof core, 1, 1, 1, bits};
        memcpy(memory.data(), &core, sizeof core);
        auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(memory.data());
        unsigned entries = bits == 24 ? 0 : 1u << bits;
        EXPECT_EQ(GetDibColorTableEntries(header), entries) << bits;
        EXPECT_EQ(GetDibColorTableSize(header), entries * 3) << bits;
    }
    EXPECT_EQ(GetDibColorTableEntries(nullptr), 0u);
    EXPECT_EQ(GetDibColorTableSize(nullptr), 0u);
}

// A bitmap resource of 3 x 2 pixels, 24 bits, upright rows {A, key, B} and {key, C, D}.
const COLORREF kA = RGB(255, 0, 0), kB = RGB(0, 255, 0), kC = RGB(0, 0, 255), kD = RGB(1, 2, 3);
const COLORREF kKey = RGB(0xC0, 0xC0, 0xC0);
const COLORREF kPicture[2][3] = {{kA, kKey, kB}, {kKey, kC, kD}};

std::vector<unsigned char> BitmapResource()
{
    BITMAPINFOHEADER h = InfoHeader(sizeof(BITMAPINFOHEADER), 24, 0);
    h.biWidth = 3;
    h.biHeight = 2;
    h.biPlanes = 1;
    std::vector<unsigned char> data(sizeof h + 2 * 12, 0);
    memcpy(data.data(), &h, sizeof h);
    for (int row = 0; row < 2; ++row) {
        unsigned char* line = data.data() + sizeof h + (1 - row) * 12;  // bottom row first
        for (int x = 0; x < 3; ++x) {
            line[x * 3] = GetBValue(kPicture[row][x]);
            line[x * 3 + 1] = GetGValue(kPicture[row][x]);
            line[x * 3 + 2] = GetRValue(kPicture[row][x]);
        }
    }
    return data;
}

// The pixels of a bitmap as COLORREF values, rows from the top.
std::vector<COLORREF> Pixels(HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<RGBQUAD> quads(static_cast<size_t>(width * height));
    HDC dc = GetDC(nullptr);
    int rows = GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), quads.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(rows, height);
    std::vector<COLORREF> pixels;
    for (const auto& q : quads)
        pixels.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    return pixels;
}

TEST(LoadCenteredBitmap, DrawsThePictureCentredWithTheKeyColourReplaced)
{
    TestResourceModule module({{RT_BITMAP, MAKEINTRESOURCEW(105), BitmapResource()}});
    ASSERT_NE(module.Get(), nullptr) << "the test resources could not be made";
    const COLORREF background = RGB(10, 20, 30);

    // 9 / 2 - 3 / 2 = 3 and 5 / 2 - 2 / 2 = 1, each halving truncated.
    HBITMAP bitmap = LoadCenteredBitmap(module.Get(), 9, 5, 3, 2, 105, kKey, background);
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION section = {};
    EXPECT_EQ(GetObjectW(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24) << "compatible with the loaded DIB section";
    std::vector<COLORREF> pixels = Pixels(bitmap, 9, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 9; ++x) {
            COLORREF expected = background;
            if (x >= 3 && x < 6 && y >= 1 && y < 3 && kPicture[y - 1][x - 3] != kKey)
                expected = kPicture[y - 1][x - 3];
            EXPECT_EQ(pixels[static_cast<size_t>(y * 9 + x)], expected) << x << "," << y;
        }
    }
    DeleteObject(bitmap);

    EXPECT_EQ(LoadCenteredBitmap(module.Get(), 9, 5, 3, 2, 106, kKey, background), nullptr);
    EXPECT_EQ(LoadCenteredBitmap(module.Get(), 0, 5, 3, 2, 105, kKey, background), nullptr);
}

}  // namespace
