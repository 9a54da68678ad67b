// The TGA format class: ImageMagick's files of every image type read like ImageMagick reads
// them, hand-made headers at the limits, files cut short, and the writer (headers, run-length
// packets, ImageMagick reading what it wrote).
#include "imagefile/extra/NImageFileTGA.h"

#include "RasterFixtures.h"
#include "common/NativeTool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An 18-byte TGA header.
Bytes TgaHeader(unsigned type, unsigned width, unsigned height, unsigned depth, unsigned descriptor = 0,
                unsigned mapType = 0, unsigned mapFirst = 0, unsigned mapLength = 0, unsigned mapBits = 0,
                unsigned idLength = 0)
{
    Bytes b;
    b.u8(idLength).u8(mapType).u8(type).u16(mapFirst).u16(mapLength).u8(mapBits).u16(0).u16(0);
    b.u16(width).u16(height).u8(depth).u8(descriptor);
    return b;
}

class TgaFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const Bytes& bytes)
    {
        EXPECT_TRUE(WriteWholeFile(path, bytes.data));
        return tga.Load(path.c_str(), 0, 0, nullptr);
    }
    std::vector<uint8_t> Saved(const NImageBuffer& picture, bool runLength)
    {
        NImageFileTGA writer;
        writer.saveOptions.tgaRunLength = runLength ? 1 : 0;
        EXPECT_EQ(writer.Save(path.c_str(), const_cast<NImageBuffer*>(&picture), nullptr), NR_OK);
        std::vector<uint8_t> bytes;
        ReadWholeFile(path, bytes);
        return bytes;
    }

    TestDir dir;
    std::wstring path = dir.File(L"test.tga");
    NImageFileTGA tga;
};

// A picture whose pixels run through many values, with a run of equal pixels in every row.
void Pattern(NImageBuffer& picture, int width, int height, int bpp)
{
    uint8_t palette[768];
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i);
        palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i * 5);
    }
    ASSERT_TRUE(picture.Create(width, height, bpp, 0, palette));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
        for (int x = 0; x < picture.stride; ++x)
            row[x] = static_cast<uint8_t>(x < picture.stride / 2 ? 0x5A : x * 31 + y * 7);
    }
}

}  // namespace

TEST_F(TgaFormat, ReadsImageMagickFilesOfEveryImageType)
{
    // Each file against ImageMagick's decoding of it (x.tga: x.rgb, or x.rgba for 32 bits).
    struct Case {
        const wchar_t* name;
        int bpp;
        int tolerance;
    };
    const Case cases[] = {
        {L"rgb24", 24, 0},     {L"rgb24-rle", 24, 0},  {L"rgb24-top", 24, 0}, {L"rgb24-right", 24, 0},
        {L"mapped", 8, 0},     {L"mapped-rle", 8, 0},  {L"grey", 8, 0},       {L"grey-rle", 8, 0},
        {L"rgb16", 16, 1},     {L"rgba", 32, 0},       {L"rgba-rle", 32, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        const std::wstring base = std::wstring(L"tga\\") + c.name;
        const std::wstring file = TestDataPath(base + L".tga");
        NImageFileTGA reader;
        ASSERT_EQ(reader.Load(file.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(reader.picture.bpp, c.bpp);
        EXPECT_EQ(reader.fullWidth, 23);
        EXPECT_EQ(reader.fullHeight, 17);
        const bool alpha = c.bpp == 32;
        EXPECT_TRUE(MatchesReference(reader.picture, ReadDataFile(base + (alpha ? L".rgba" : L".rgb")), alpha ? 4 : 3,
                                     c.tolerance));
        EXPECT_EQ(reader.GetConsumedSize(), FileSize(file));
        EXPECT_STREQ(reader.GetFileName(), file.c_str());
    }
    // The same rows stored bottom-left and top-left give pictures upside down to each other.
    NImageFileTGA bottom, top;
    ASSERT_EQ(bottom.Load(TestDataPath(L"tga\\rgb24.tga").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(top.Load(TestDataPath(L"tga\\rgb24-top.tga").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(bottom.picture, 3, 0).r, PixelAt(top.picture, 3, 16).r);
    EXPECT_EQ(PixelAt(bottom.picture, 3, 0).g, PixelAt(top.picture, 3, 16).g);
}

TEST_F(TgaFormat, HandMadeFilesFollowTheHeader)
{
    // 15 bits are read as 16; the check refuses them.
    Bytes fifteen = TgaHeader(2, 2, 1, 15);
    fifteen.u16(0x7C00).u16(0x001F);   // red, blue
    ASSERT_EQ(LoadBytes(fifteen), NR_OK);
    EXPECT_EQ(tga.picture.bpp, 16);
    EXPECT_EQ(PixelAt(tga.picture, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(tga.picture, 1, 0).b, 255);
    EXPECT_FALSE(NImageFileTGA::IsFormat(fifteen.data.data(), 0, fifteen.size()));

    // 1 bit without a colour map: 0 black, 1 white; the first byte's high bit is the left pixel.
    Bytes bits = TgaHeader(3, 10, 1, 1);
    bits.u8(0x80).u8(0x40);
    ASSERT_EQ(LoadBytes(bits), NR_OK);
    EXPECT_EQ(tga.picture.bpp, 1);
    EXPECT_EQ(PixelAt(tga.picture, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(tga.picture, 1, 0).r, 0);
    EXPECT_EQ(PixelAt(tga.picture, 9, 0).g, 255);

    // A run packet that goes on from the end of one row into the next: 3 x 2 pixels, one run
    // of 4 then a literal of 2.
    Bytes crossing = TgaHeader(11, 3, 2, 8);
    crossing.u8(0x83).u8(50).u8(0x01).u8(60).u8(70);
    ASSERT_EQ(LoadBytes(crossing), NR_OK);
    EXPECT_EQ(PaletteIndexAt(tga.picture, 2, 1), 50);   // bottom row first
    EXPECT_EQ(PaletteIndexAt(tga.picture, 0, 0), 50);
    EXPECT_EQ(PaletteIndexAt(tga.picture, 1, 0), 60);
    EXPECT_EQ(PaletteIndexAt(tga.picture, 2, 0), 70);

    // A 24-bit colour map placed from index 254: the third entry would pass 255 and is dropped.
    Bytes mapped = TgaHeader(1, 2, 1, 8, 0, 1, 254, 3, 24, 2);
    mapped.text("id").bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}).u8(254).u8(255);
    ASSERT_EQ(LoadBytes(mapped), NR_OK);
    EXPECT_EQ(PixelAt(tga.picture, 0, 0).r, 3);   // stored blue, green, red
    EXPECT_EQ(PixelAt(tga.picture, 0, 0).b, 1);
    EXPECT_EQ(PixelAt(tga.picture, 1, 0).g, 5);

    // Width 20000 loads but the check stops at 19999.
    Bytes wide = TgaHeader(3, 20000, 1, 8);
    wide.fill(20000, 9);
    ASSERT_EQ(LoadBytes(wide), NR_OK);
    EXPECT_EQ(tga.picture.width, 20000);
    EXPECT_FALSE(NImageFileTGA::IsFormat(wide.data.data(), 0, wide.size()));
    wide.data[12] = 0x1F;   // 19999
    wide.data[13] = 0x4E;
    EXPECT_TRUE(NImageFileTGA::IsFormat(wide.data.data(), 0, wide.size()));
    EXPECT_FALSE(NImageFileTGA::IsFormat(wide.data.data(), 0, 18));
}

TEST_F(TgaFormat, RefusesHeadersItDoesNotRead)
{
    struct Case {
        const char* what;
        Bytes bytes;
        NRESULT expected;
    };
    Case cases[] = {
        {"image type 4", TgaHeader(4, 1, 1, 8).fill(4, 0), NR_NOT_THIS_FORMAT},
        {"two bytes", Bytes().u8(0).u8(0), NR_NOT_THIS_FORMAT},
        {"header cut short", TgaHeader(2, 1, 1, 24).fill(0, 0), NR_INVALID_DATA},
        {"depth 7", TgaHeader(2, 1, 1, 7).fill(4, 0), NR_INVALID_DATA},
        {"width 0", TgaHeader(2, 0, 1, 24).fill(4, 0), NR_INVALID_DATA},
        {"height 20001", TgaHeader(3, 1, 20001, 8).fill(30000, 0), NR_INVALID_DATA},
        {"32-bit map entries", TgaHeader(1, 1, 1, 8, 0, 1, 0, 1, 32).fill(8, 0), NR_INVALID_DATA},
        {"map longer than the file", TgaHeader(1, 1, 1, 8, 0, 1, 0, 256, 24).fill(20, 0), NR_INVALID_DATA},
        {"identification past the end", TgaHeader(2, 1, 1, 24, 0, 0, 0, 0, 0, 200).fill(3, 0), NR_INVALID_DATA},
        // A few bytes that claim 20000 x 20000 pixels: no picture of 1.6 GB is made for them.
        {"raw data far too short", TgaHeader(2, 20000, 20000, 32).fill(1000, 0), NR_INVALID_DATA},
        {"packets far too few", TgaHeader(10, 20000, 20000, 32).fill(1000, 0xFF), NR_INVALID_DATA},
    };
    cases[2].bytes.data.resize(10);
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileTGA reader;
        ASSERT_TRUE(WriteWholeFile(path, c.bytes.data));
        EXPECT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), c.expected);
        EXPECT_FALSE(reader.picture.valid);
    }
    EXPECT_EQ(tga.Load(dir.File(L"missing.tga").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

// A file that ends inside its pixels loads the rows it holds; the others stay black.
TEST_F(TgaFormat, AFileCutShortKeepsTheRowsItHolds)
{
    for (const wchar_t* name : {L"rgb24.tga", L"rgb24-rle.tga"}) {
        SCOPED_TRACE(testing::Message() << name);
        std::vector<uint8_t> bytes = ReadDataFile(std::wstring(L"tga\\") + name);
        bytes.resize(18 + 23 * 3 * 10 + 5);   // ten rows and a bit (from the bottom)
        Bytes cut;
        cut.raw(bytes);
        ASSERT_EQ(LoadBytes(cut), NR_OK);
        EXPECT_EQ(tga.GetConsumedSize(), bytes.size());
        const std::vector<uint8_t> reference = ReadDataFile(L"tga\\rgb24.rgb");
        const Rgba bottom = PixelAt(tga.picture, 4, 16);
        EXPECT_EQ(bottom.r, reference[(16 * 23 + 4) * 3]);
        EXPECT_EQ(bottom.g, reference[(16 * 23 + 4) * 3 + 1]);
        const Rgba top = PixelAt(tga.picture, 4, 0);
        EXPECT_EQ(top.r + top.g + top.b, 0);
    }
}

TEST_F(TgaFormat, WritesEveryDepthAndReadsItBack)
{
    struct Case {
        int bpp;
        bool runLength;
        uint8_t type, mapType, depth, descriptor;
    };
    const Case cases[] = {
        {1, false, 1, 1, 1, 0},  {1, true, 1, 1, 1, 0},   {4, false, 2, 0, 24, 0}, {4, true, 10, 0, 24, 0},
        {8, false, 1, 1, 8, 0},  {8, true, 9, 1, 8, 0},   {16, true, 10, 0, 16, 0}, {24, false, 2, 0, 24, 0},
        {24, true, 10, 0, 24, 0}, {32, false, 2, 0, 32, 8}, {32, true, 10, 0, 32, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " bpp, run-length " << c.runLength);
        NImageBuffer picture;
        Pattern(picture, 45, 7, c.bpp);
        NImageFileTGA writer;
        writer.saveOptions.tgaRunLength = c.runLength;
        ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);
        // A 1-bit save switches the run-length option off for this object.
        EXPECT_EQ(writer.saveOptions.tgaRunLength, c.bpp == 1 ? 0 : c.runLength);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(path, bytes));
        ASSERT_GE(bytes.size(), 18u);
        EXPECT_EQ(bytes[1], c.mapType);
        EXPECT_EQ(bytes[2], c.type);
        EXPECT_EQ(bytes[16], c.depth);
        EXPECT_EQ(bytes[17], c.descriptor);
        EXPECT_EQ(bytes[12] | (bytes[13] << 8), 45);

        NImageFileTGA reader;
        ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
        EXPECT_EQ(reader.picture.bpp, c.bpp == 4 ? 24 : c.bpp);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 45; ++x) {
                const Rgba a = PixelAt(picture, x, y);
                const Rgba b = PixelAt(reader.picture, x, y);
                ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << x << "," << y;
            }
    }
    NImageFileTGA writer;
    NImageBuffer none;
    EXPECT_EQ(writer.Save(path.c_str(), &none, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_EQ(writer.Save(dir.File(L"no\\folder\\x.tga").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    NImageBuffer small;
    ASSERT_TRUE(small.Create(2, 2, 24, 0));
    EXPECT_EQ(writer.Save(dir.File(L"no\\folder\\x.tga").c_str(), &small, nullptr), NR_FILE_OPEN_WRITE);
    EXPECT_EQ(writer.SaveFrom(path.c_str(), nullptr), NR_INVALID_DATA);
}

TEST_F(TgaFormat, RunLengthPacketsStayInTheirRowAndKeepAlphaApart)
{
    // 300 equal pixels: runs of 128, 128 and 44.
    NImageBuffer row;
    ASSERT_TRUE(row.Create(300, 1, 24, RGB(10, 20, 30)));
    std::vector<uint8_t> bytes = Saved(row, true);
    ASSERT_EQ(bytes.size(), 18u + 3 * 4);
    EXPECT_EQ(bytes[18], 0xFF);
    EXPECT_EQ(bytes[22], 0xFF);
    EXPECT_EQ(bytes[26], 0xAB);
    EXPECT_EQ(bytes[27], 30);   // blue first

    // Two rows of two equal pixels each: one run per row, none across.
    NImageBuffer two;
    ASSERT_TRUE(two.Create(2, 2, 24, RGB(1, 2, 3)));
    bytes = Saved(two, true);
    ASSERT_EQ(bytes.size(), 18u + 2 * 4);
    EXPECT_EQ(bytes[18], 0x81);
    EXPECT_EQ(bytes[22], 0x81);

    // Same colour, different alpha: a literal packet of two; single pixels gather.
    NImageBuffer alpha;
    ASSERT_TRUE(alpha.Create(5, 1, 32, 0));
    const uint8_t pixels[5][4] = {{1, 1, 1, 255}, {1, 1, 1, 128}, {9, 9, 9, 9}, {9, 9, 9, 9}, {7, 7, 7, 7}};
    memcpy(alpha.bits, pixels, sizeof pixels);
    bytes = Saved(alpha, true);
    ASSERT_EQ(bytes.size(), 18u + 1 + 8 + 1 + 4 + 1 + 4);
    EXPECT_EQ(bytes[18], 0x01);
    EXPECT_EQ(bytes[27], 0x81);
    EXPECT_EQ(bytes[32], 0x00);
}

// ImageMagick reads what the writer wrote, with the same pixels.
TEST_F(TgaFormat, ImageMagickReadsTheWrittenFiles)
{
    if (UnixPath(dir.Path()).empty() || !NativeProgramExists("/usr/bin/convert"))
        GTEST_SKIP() << "needs Wine and ImageMagick";
    // True colour (read top-down, written bottom-up), alpha, colour-mapped, grey (written with
    // a grey colour map) and 5-5-5 pixels (widened to 8 bits a little apart).
    struct Case {
        const wchar_t* fixture;
        int tolerance;
    };
    for (const bool runLength : {false, true}) {
        for (const Case& c : {Case{L"rgb24-top.tga", 0}, Case{L"rgba.tga", 0}, Case{L"mapped.tga", 0},
                              Case{L"grey.tga", 0}, Case{L"rgb16.tga", 1}}) {
            SCOPED_TRACE(testing::Message() << c.fixture << " run-length " << runLength);
            NImageFileTGA source;
            ASSERT_EQ(source.Load(TestDataPath(std::wstring(L"tga\\") + c.fixture).c_str(), 0, 0, nullptr), NR_OK);
            Saved(source.picture, runLength);
            const bool alpha = source.picture.bpp == 32;
            ASSERT_TRUE(RunNativeCommand(dir.Path(), std::string("/usr/bin/convert test.tga -auto-orient -depth 8 ") +
                                                         (alpha ? "rgba:out.raw" : "rgb:out.raw")));
            std::vector<uint8_t> decoded;
            ASSERT_TRUE(ReadWholeFile(dir.File(L"out.raw"), decoded));
            EXPECT_TRUE(MatchesReference(source.picture, decoded, alpha ? 4 : 3, c.tolerance));
        }
    }
}
