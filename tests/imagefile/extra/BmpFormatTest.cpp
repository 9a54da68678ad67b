// The BMP format class: every header kind and depth against ImageMagick's decoding, bit fields,
// top-down rows, RLE8 and RLE4 (also cut short or pushed past the buffer), and the writer.
#include "imagefile/extra/NImageFileBMP.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An info header of `size` bytes with the 40-byte fields set and the rest 0.
Bytes InfoHeader(uint32_t size, int32_t width, int32_t height, int bitCount, uint32_t compression, int32_t ppm = 0)
{
    Bytes b;
    b.u32(size).u32(static_cast<uint32_t>(width)).u32(static_cast<uint32_t>(height)).u16(1).u16(bitCount);
    b.u32(compression).u32(0).u32(static_cast<uint32_t>(ppm)).u32(static_cast<uint32_t>(ppm)).u32(0).u32(0);
    b.fill(size - 40, 0);
    return b;
}

// "BM", the file header, the info header, the palette and the pixels, in that order.
std::vector<uint8_t> BitmapFile(const Bytes& info, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& pixels)
{
    const uint32_t offset = static_cast<uint32_t>(14 + info.size() + palette.size());
    Bytes file;
    file.text("BM").u32(offset + static_cast<uint32_t>(pixels.size())).u32(0).u32(offset);
    file.raw(info.data).raw(palette).raw(pixels);
    return file.data;
}

class BmpFormat : public ::testing::Test {
protected:
    // Writes the bytes and loads them into `file`.
    NRESULT LoadBytes(const std::vector<uint8_t>& bytes)
    {
        path = dir.File(L"test.bmp");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return file.Load(path.c_str(), 0, 0, nullptr);
    }

    TestDir dir;
    std::wstring path;
    NImageFileBMP file;
};

}  // namespace

TEST_F(BmpFormat, DecodesEveryHeaderAndDepthAsImageMagickDoes)
{
    struct Case {
        const wchar_t* name;
        int bpp;
        int channels;
        int tolerance;
    };
    // 16-bit channels widen by the table round(i * 255 / 31) where ImageMagick repeats the bits
    // (one step apart), and 5-6-5 green keeps its five high bits.
    const Case cases[] = {
        {L"v3-1", 1, 3, 0},   {L"v3-4", 4, 3, 0},   {L"v3-8", 8, 3, 0},    {L"rle8", 8, 3, 0},
        {L"v3-24", 24, 3, 0}, {L"os2-8", 8, 3, 0},  {L"v5-24", 24, 3, 0},  {L"v5-565", 24, 3, 5},
        {L"v5-555", 24, 3, 1}, {L"v5-32", 32, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring name = std::wstring(L"bmp\\") + c.name;
        const std::wstring fixture = TestDataPath(name + L".bmp");
        NImageFileBMP bmp;
        ASSERT_EQ(bmp.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(bmp.picture.bpp, c.bpp);
        EXPECT_EQ(bmp.fullWidth, 13);
        EXPECT_EQ(bmp.fullHeight, 7);
        EXPECT_STREQ(bmp.GetFileName(), fixture.c_str());
        EXPECT_EQ(bmp.GetConsumedSize(), FileSize(fixture));
        EXPECT_TRUE(MatchesReference(bmp.picture, ReadDataFile(name + (c.channels == 4 ? L".rgba" : L".rgb")), c.channels,
                                     c.tolerance));
    }
}

TEST_F(BmpFormat, RecognisesTheVersionFiveHeaderOfCommonTools)
{
    const std::vector<uint8_t> v5 = ReadDataFile(L"bmp\\v5-24.bmp");
    ASSERT_GE(v5.size(), 18u);
    EXPECT_TRUE(NImageFileBMP::IsFormat(v5.data(), 0, v5.size()));
    EXPECT_TRUE(NImageFileBMP::IsFormat(v5.data(), 0, 18));
    EXPECT_FALSE(NImageFileBMP::IsFormat(v5.data(), 0, 17));
}

TEST_F(BmpFormat, DecodesSixteenBitFieldsByTheGreenMask)
{
    // One pixel 0x07E0 in a 108-byte header: 5-6-5 reads it as full green, 5-5-5 as green with
    // one step of red.
    for (const uint32_t greenMask : {0x7E0u, 0x3E0u}) {
        SCOPED_TRACE(greenMask);
        Bytes info = InfoHeader(108, 1, 1, 16, 3);
        info.put32(40, 0xF800);
        info.put32(44, greenMask);
        info.put32(48, 0x1F);
        ASSERT_EQ(LoadBytes(BitmapFile(info, {}, {0xE0, 0x07, 0, 0})), NR_OK);
        EXPECT_EQ(file.picture.bpp, 24);
        const Rgba p = PixelAt(file.picture, 0, 0);
        EXPECT_EQ(p.r, greenMask == 0x7E0 ? 0 : 8);
        EXPECT_EQ(p.g, 255);
        EXPECT_EQ(p.b, 0);
    }
}

TEST_F(BmpFormat, NegativeHeightStoresRowsTopDown)
{
    // Three rows of one 24-bit pixel each, stored red, green, blue from the top.
    const std::vector<uint8_t> pixels = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 1, -3, 24, 0), {}, pixels)), NR_OK);
    EXPECT_EQ(file.fullHeight, 3);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(file.picture, 0, 1).g, 255);
    EXPECT_EQ(PixelAt(file.picture, 0, 2).b, 255);
}

TEST_F(BmpFormat, PaletteFollowsA52ByteHeader)
{
    std::vector<uint8_t> palette(256 * 4, 0);
    palette[5 * 4 + 0] = 30;  // entry 5: blue 30, green 20, red 10
    palette[5 * 4 + 1] = 20;
    palette[5 * 4 + 2] = 10;
    const std::vector<uint8_t> bytes = BitmapFile(InfoHeader(52, 1, 1, 8, 0), palette, {5, 0, 0, 0});
    ASSERT_EQ(bytes[66 + 5 * 4 + 2], 10);  // the palette starts at byte 66
    ASSERT_EQ(LoadBytes(bytes), NR_OK);
    const Rgba p = PixelAt(file.picture, 0, 0);
    EXPECT_EQ(p.r, 10);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.b, 30);
}

TEST_F(BmpFormat, ResolutionComesFromInfoHeadersOnly)
{
    const std::wstring core = TestDataPath(L"bmp\\os2-8.bmp");
    NImageFileBMP os2;
    ASSERT_EQ(os2.Load(core.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(os2.picture.dpiX, 96);
    EXPECT_EQ(os2.picture.dpiY, 96);

    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 1, 1, 24, 0, 11811), {}, {1, 2, 3, 0})), NR_OK);
    EXPECT_EQ(file.picture.dpiX, 300);
    EXPECT_EQ(file.picture.dpiY, 300);
}

TEST_F(BmpFormat, TwoBitPixelsWidenToFourBits)
{
    // Width 5: indices 0, 1, 2, 3, 2 in one row (01 10 11 10 | 00 ...).
    std::vector<uint8_t> palette = {10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0, 40, 41, 42, 0};
    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 5, 1, 2, 0), palette, {0x1B, 0x80, 0, 0})), NR_OK);
    ASSERT_EQ(file.picture.bpp, 4);
    const int expected[] = {0, 1, 2, 3, 2};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(PaletteIndexAt(file.picture, x, 0), expected[x]) << x;
    EXPECT_EQ(file.picture.palette[3][2], 42);  // red of entry 3
    EXPECT_EQ(file.picture.palette[4][2], 0);   // entries beyond the file's four are black
}

TEST_F(BmpFormat, Rle4RunsAlternateTheirNibbles)
{
    const std::vector<uint8_t> data = {3, 0x12, 2, 0x34, 0, 0, 0, 1};
    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 5, 1, 4, 2), std::vector<uint8_t>(64, 0), data)), NR_OK);
    const int expected[] = {1, 2, 1, 3, 4};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(PaletteIndexAt(file.picture, x, 0), expected[x]) << x;
}

TEST_F(BmpFormat, Rle4LiteralsAndDeltasStayInsideThePicture)
{
    // A literal of 5 pixels with its pad byte, then a delta far outside and a run there.
    const std::vector<uint8_t> data = {0, 5, 0x56, 0x78, 0x90, 0, 0, 2, 200, 9, 9, 0x11, 0, 1};
    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 6, 2, 4, 2), std::vector<uint8_t>(64, 0), data)), NR_OK);
    const int bottom[] = {5, 6, 7, 8, 9, 0};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(PaletteIndexAt(file.picture, x, 1), bottom[x]) << x;
    EXPECT_EQ(file.GetConsumedSize(), FileSize(path));
}

TEST_F(BmpFormat, Rle8SurplusLineEndsPileIntoTheLastRow)
{
    // Height 2: three end-of-line escapes, then a run, which lands in the last (top) row.
    const std::vector<uint8_t> data = {0, 0, 0, 0, 0, 0, 2, 7, 0, 1};
    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 2, 2, 8, 1), std::vector<uint8_t>(1024, 0), data)), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 7);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 0), 7);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 1), 0);
}

TEST_F(BmpFormat, Rle8DeltaNeverWritesPastTheBuffer)
{
    // Width 8, height 2 (16 bytes). A delta of 10 columns continues into the next row in memory;
    // a second delta pushes the position beyond the buffer, where runs and literals write nothing.
    const std::vector<uint8_t> data = {0, 2, 10, 0, 3, 0x44,          // bytes 10..12
                                       0, 2, 250, 0, 255, 0x55,       // past the end: dropped
                                       0, 4, 1, 2, 3, 4, 0, 0, 0, 1};
    ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 8, 2, 8, 1), std::vector<uint8_t>(1024, 0), data)), NR_OK);
    for (int i = 0; i < 16; ++i) {
        const uint8_t expected = (i >= 10 && i <= 12) ? 0x44 : 0;
        EXPECT_EQ(file.picture.bits[i], expected) << i;
    }
}

TEST_F(BmpFormat, RunLengthDataCutShortLoadsWhatItHas)
{
    for (const int compression : {1, 2}) {
        SCOPED_TRACE(compression);
        const int bits = compression == 1 ? 8 : 4;
        // A run, then a literal that the file cuts off, and no end-of-bitmap escape.
        const std::vector<uint8_t> data = {2, 0x33, 0, 6, 0x12};
        ASSERT_EQ(LoadBytes(BitmapFile(InfoHeader(40, 8, 4, bits, compression),
                                       std::vector<uint8_t>(size_t{4} << bits, 0), data)),
                  NR_OK);
        EXPECT_EQ(PaletteIndexAt(file.picture, 1, 3), compression == 1 ? 0x33 : 3);
        EXPECT_EQ(PaletteIndexAt(file.picture, 2, 3), compression == 1 ? 0x12 : 1);
        EXPECT_EQ(file.GetConsumedSize(), FileSize(path));
    }
}

TEST_F(BmpFormat, UncompressedDataCutShortLeavesTheRestZero)
{
    std::vector<uint8_t> bytes = BitmapFile(InfoHeader(40, 4, 4, 8, 0), std::vector<uint8_t>(1024, 0),
                                            std::vector<uint8_t>(16, 9));
    bytes.resize(bytes.size() - 10);
    ASSERT_EQ(LoadBytes(bytes), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 3), 9);  // the first stored row is the bottom one
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 0);
    EXPECT_EQ(file.GetConsumedSize(), bytes.size());

    // Pixel data said to lie beyond the end of the file: the file holds none of the picture.
    bytes[10] = 0xA0;
    bytes[11] = 0x86;
    bytes[12] = 0x01;  // offset 100000
    EXPECT_EQ(LoadBytes(bytes), NR_INVALID_DATA);
    EXPECT_FALSE(file.picture.valid);
}

TEST_F(BmpFormat, RefusesBrokenHeaders)
{
    const std::vector<uint8_t> palette(1024, 0);
    const std::vector<uint8_t> pixels(4, 0);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    };
    std::vector<Case> cases = {
        {"planes 0", BitmapFile(InfoHeader(40, 1, 1, 8, 0), palette, pixels), NR_INVALID_DATA},
        {"bit count 33", BitmapFile(InfoHeader(40, 1, 1, 33, 0), {}, pixels), NR_INVALID_DATA},
        {"compression 4", BitmapFile(InfoHeader(40, 1, 1, 24, 4), {}, pixels), NR_COMPRESSION_NOT_SUPPORTED},
        {"width 0", BitmapFile(InfoHeader(40, 0, 1, 24, 0), {}, pixels), NR_PICTURE_CREATE_FAILED},
        {"not BM", BitmapFile(InfoHeader(40, 1, 1, 24, 0), {}, pixels), NR_NOT_THIS_FORMAT},
    };
    cases[0].bytes[26] = 0;  // planes
    cases[4].bytes[0] = 'X';
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LoadBytes(c.bytes), c.expected);
        EXPECT_FALSE(file.picture.valid);
    }
    EXPECT_EQ(file.Load(dir.File(L"missing.bmp").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST_F(BmpFormat, SavedPicturesLoadBackAtEveryDepth)
{
    for (const int bpp : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        uint8_t paletteRgb[256 * 3];
        for (int i = 0; i < 256 * 3; ++i)
            paletteRgb[i] = static_cast<uint8_t>(i * 7);
        NImageBuffer source;
        ASSERT_TRUE(source.Create(11, 5, bpp, 0, paletteRgb));
        for (int i = 0; i < source.stride * source.height; ++i)
            source.bits[i] = static_cast<uint8_t>(i * 13 + 1);
        if (bpp == 16) {  // keep the unused top bit of 5-5-5 pixels clear
            for (int i = 1; i < source.stride * source.height; i += 2)
                source.bits[i] &= 0x7F;
        }
        const std::wstring out = dir.File(L"saved.bmp");
        ASSERT_EQ(file.Save(out.c_str(), &source, nullptr), NR_OK);
        NImageFileBMP back;
        ASSERT_EQ(back.Load(out.c_str(), 0, 0, nullptr), NR_OK);
        ASSERT_EQ(back.picture.bpp, bpp);
        const int rowBytes = (11 * bpp + 7) / 8;
        for (int y = 0; y < 5; ++y) {
            EXPECT_EQ(memcmp(back.picture.bits + y * back.picture.stride, source.bits + y * source.stride, rowBytes), 0);
        }
        if (bpp <= 8) {
            EXPECT_EQ(memcmp(back.picture.palette, source.palette, (size_t{3} << bpp)), 0);
        }
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(ReadWholeFile(out, bytes));
        const uint32_t paletteBytes = bpp <= 8 ? 4u << bpp : 0;
        EXPECT_EQ(bytes.size(), 54 + paletteBytes + static_cast<size_t>(source.stride) * 5);
        EXPECT_EQ(bytes[2] | (bytes[3] << 8) | (bytes[4] << 16), static_cast<int>(bytes.size()));
        EXPECT_EQ(bytes[10] | (bytes[11] << 8), static_cast<int>(54 + paletteBytes));
    }
}

TEST_F(BmpFormat, SaveWritesPixelsPerMetreOfTheResolution)
{
    NImageBuffer source;
    ASSERT_TRUE(source.Create(2, 2, 24, 0x00FF00));
    const std::wstring out = dir.File(L"dpi.bmp");
    ASSERT_EQ(file.Save(out.c_str(), &source, nullptr), NR_OK);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(out, bytes));
    EXPECT_EQ(bytes[38] | (bytes[39] << 8), 3779);
    EXPECT_EQ(bytes[42] | (bytes[43] << 8), 3779);
    EXPECT_EQ(bytes[14], 40);
    EXPECT_EQ(bytes[30], 0);  // uncompressed
}

TEST_F(BmpFormat, SaveRefusesAnInvalidPictureOrPath)
{
    NImageBuffer empty;
    EXPECT_EQ(file.Save(dir.File(L"none.bmp").c_str(), &empty, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_EQ(file.Save(dir.File(L"none.bmp").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(FileExists(dir.File(L"none.bmp")));
    NImageBuffer source;
    ASSERT_TRUE(source.Create(2, 2, 24, 0));
    EXPECT_EQ(file.Save(dir.File(L"no-such-folder\\x.bmp").c_str(), &source, nullptr), NR_FILE_OPEN_WRITE);
    EXPECT_EQ(file.SaveFrom(dir.File(L"x.bmp").c_str(), nullptr), NR_INVALID_DATA);
}
