// The Sun raster and SGI format classes: ImageMagick's and netpbm's files, row padding and byte
// orders, run-length streams that cross rows or end early, the writers' codings (runs, the SGI
// row scheme and shared rows), round trips, and headers the files cannot back.
#include "imagefile/extra/NImageFileRAS.h"
#include "imagefile/extra/NImageFileSGI.h"
#include "imagefile/extra/StdioStream.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint32_t BigEndianAt(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// A Sun raster header.
Bytes RasHeader(uint32_t width, uint32_t height, uint32_t depth, uint32_t type = 1, uint32_t mapType = 0,
                uint32_t mapLength = 0)
{
    Bytes h;
    h.u32be(0x59A66A95).u32be(width).u32be(height).u32be(depth).u32be(0).u32be(type).u32be(mapType).u32be(mapLength);
    return h;
}

// A 512-byte SGI header.
Bytes SgiHeader(int storage, int bytesPerChannel, uint32_t x, uint32_t y, uint32_t z, const char* name = "")
{
    Bytes h;
    h.u16be(474).u8(storage).u8(bytesPerChannel).u16be(3).u16be(x).u16be(y).u16be(z).u32be(0).u32be(255).u32be(0);
    char field[80] = {};
    strncpy(field, name, sizeof(field) - 1);
    h.raw(field, sizeof(field)).fill(408, 0);
    return h;
}

// A picture whose every byte differs from its neighbours, so that orders and paddings show.
void Pattern(NImageBuffer& pic, int width, int height, int bpp)
{
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i);
        palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i * 5);
    }
    ASSERT_TRUE(pic.Create(width, height, bpp, 0, palette));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < pic.stride; ++x)
            pic.bits[static_cast<size_t>(y) * pic.stride + x] = static_cast<uint8_t>(x * 29 + y * 71 + 3);
}

::testing::AssertionResult SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const Rgba p = PixelAt(a, x, y);
            const Rgba q = PixelAt(b, x, y);
            if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a)
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

class SunSgi : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes, const wchar_t* name = L"test.img")
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    TestDir dir;
};

}  // namespace

TEST_F(SunSgi, SunRasterFilesOfImageMagickAndNetpbmMatchTheirReferences)
{
    struct Case {
        const wchar_t* name;
        int bpp;
        int channels;
    };
    // r24 and r32 are the RGB variant with padded odd rows and alpha first; n24 the BGR type with
    // 31-pixel rows; n8rle and n1rle run-length streams whose runs cross rows.
    const Case cases[] = {{L"r24", 24, 3}, {L"r32", 32, 4}, {L"r8", 8, 3}, {L"n24", 24, 3},
                          {L"n8rle", 8, 3}, {L"n1", 1, 3}, {L"n1rle", 1, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring fixture = TestDataPath(std::wstring(L"ras\\") + c.name + L".ras");
        NImageFileRAS file;
        ASSERT_EQ(file.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(file.picture.bpp, c.bpp);
        EXPECT_TRUE(MatchesReference(file.picture,
                                     ReadDataFile(std::wstring(L"ras\\") + c.name + (c.channels == 4 ? L".rgba" : L".rgb")),
                                     c.channels));
        EXPECT_EQ(file.GetConsumedSize(), FileSize(fixture));
        EXPECT_EQ(file.fullWidth, file.picture.width);
        EXPECT_STREQ(file.GetFileName(), fixture.c_str());
    }
}

TEST_F(SunSgi, SunRasterOneBitRowsArePaddedToEvenBytes)
{
    // Width 9: two bytes a row, no padding. Width 1: one byte and one padding byte.
    Bytes nine = RasHeader(9, 2, 1);
    nine.bytes({0x80, 0x80, 0x00, 0x80});
    NImageFileRAS a;
    ASSERT_EQ(a.Load(Write(nine.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(a.GetConsumedSize(), 36u);
    EXPECT_EQ(PaletteIndexAt(a.picture, 0, 0), 1);
    EXPECT_EQ(PaletteIndexAt(a.picture, 8, 0), 1);
    EXPECT_EQ(PaletteIndexAt(a.picture, 0, 1), 0);
    EXPECT_EQ(PaletteIndexAt(a.picture, 8, 1), 1);
    EXPECT_EQ(PixelAt(a.picture, 0, 0).r, 0);     // a set bit is black without a colour map
    EXPECT_EQ(PixelAt(a.picture, 1, 0).r, 255);

    Bytes one = RasHeader(1, 2, 1);
    one.bytes({0x80, 0xFF, 0x00, 0xFF});
    NImageFileRAS b;
    ASSERT_EQ(b.Load(Write(one.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(b.GetConsumedSize(), 36u);
    EXPECT_EQ(PaletteIndexAt(b.picture, 0, 0), 1);
    EXPECT_EQ(PaletteIndexAt(b.picture, 0, 1), 0);
}

TEST_F(SunSgi, SunRasterRoundTripsAtEveryDepthWithAndWithoutRuns)
{
    struct Case {
        int bpp;
        int width;
        bool runLength;
        int writtenDepth;
    };
    const Case cases[] = {{8, 7, false, 8},  {8, 7, true, 8},   {24, 5, false, 24}, {24, 5, true, 24},
                          {32, 3, false, 32}, {32, 3, true, 32}, {1, 13, false, 1},  {4, 9, true, 24}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " bits, width " << c.width << (c.runLength ? " runs" : ""));
        NImageBuffer source;
        Pattern(source, c.width, 4, c.bpp);
        if (c.bpp == 1) {
            const uint8_t whiteBlack[6] = {255, 255, 255, 0, 0, 0};   // what a file without a map means
            source.SetPalette(whiteBlack, 2);
        }
        NImageFileRAS writer;
        writer.saveOptions.rasRunLength = c.runLength;
        const std::wstring path = dir.File(L"round.ras");
        ASSERT_EQ(writer.Save(path.c_str(), &source, nullptr), NR_OK);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(path, bytes));
        EXPECT_EQ(BigEndianAt(bytes, 12), static_cast<uint32_t>(c.writtenDepth));
        const uint32_t mapLength = BigEndianAt(bytes, 28);
        EXPECT_EQ(BigEndianAt(bytes, 16), bytes.size() - 32 - mapLength);   // the length field
        if (!c.runLength && c.writtenDepth == 24)
            EXPECT_EQ(bytes.size(), 32u + 4 * (c.width * 3 + 1));   // odd rows padded to even

        NImageFileRAS reader;
        ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_TRUE(SamePixels(reader.picture, source));
        EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
    }
}

TEST_F(SunSgi, SunRasterRunsAreCutAt256AndEscapeTheMarker)
{
    // One 8-bit row: 300 pixels of 7, one 0x80, two 0x80, then 5 and 6.
    NImageBuffer pic;
    Pattern(pic, 305, 1, 8);
    uint8_t* row = pic.bits;
    memset(row, 7, 300);
    row[300] = 0x80;
    row[301] = 0x90;
    row[302] = 0x80;
    row[303] = 0x80;
    row[304] = 5;
    NImageFileRAS writer;
    const std::wstring path = dir.File(L"runs.ras");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(BigEndianAt(bytes, 20), 2u);
    const std::vector<uint8_t> data(bytes.begin() + 32 + 768, bytes.end());
    // 256 + 44 copies of 7, a lone 0x80, 0x90, a pair of 0x80, then 5 and the padding 0 byte.
    const std::vector<uint8_t> expected = {0x80, 0xFF, 7, 0x80, 0x2B, 7, 0x80, 0x00, 0x90, 0x80, 0x01, 0x80, 5, 0};
    EXPECT_EQ(data, expected);
    NImageFileRAS reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(reader.picture, pic));
}

TEST_F(SunSgi, SunRasterOneBitSaveIsRawAndTurnsRunsOff)
{
    NImageBuffer pic;
    const uint8_t blackFirst[256 * 3] = {0, 0, 0, 255, 255, 255};
    ASSERT_TRUE(pic.Create(8, 1, 1, 0, blackFirst));
    pic.bits[0] = 0x0F;   // left half black (index 0), right half white
    NImageFileRAS writer;
    ASSERT_EQ(writer.saveOptions.rasRunLength, 1);
    const std::wstring path = dir.File(L"mono.ras");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    EXPECT_EQ(writer.saveOptions.rasRunLength, 0);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(BigEndianAt(bytes, 20), 1u);
    ASSERT_EQ(bytes.size(), 34u);
    EXPECT_EQ(bytes[32], 0xF0);   // inverted: a set bit is black
    NImageFileRAS reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(reader.picture, 0, 0).r, 0);
    EXPECT_EQ(PixelAt(reader.picture, 7, 0).r, 255);
}

TEST_F(SunSgi, SunRasterRunStreamEndingEarlyKeepsItsRows)
{
    // Rows of 3 pixels and a padding byte: six 9s run into the second row, then 1 2 3; the rest is
    // missing.
    Bytes f = RasHeader(3, 3, 8, 2);
    f.bytes({0x80, 0x05, 9, 1, 2, 3});
    NImageFileRAS file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 0), 9);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 1), 9);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 2), 3);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 2), 0);
    EXPECT_EQ(PixelAt(file.picture, 2, 0).g, 9);   // grey ramp without a colour map
    EXPECT_EQ(file.GetConsumedSize(), f.size());
}

TEST_F(SunSgi, SunRasterRefusals)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    };
    Bytes pixels = RasHeader(2, 2, 8);
    pixels.fill(8, 1);
    Bytes typeSix = RasHeader(2, 2, 8, 6);
    typeSix.fill(8, 1);
    Bytes rawMap = RasHeader(2, 2, 8, 1, 2, 3);
    rawMap.fill(11, 1);
    Bytes depth16 = RasHeader(2, 2, 16);
    depth16.fill(8, 1);
    Bytes shortMap = RasHeader(2, 2, 8, 1, 1, 768);
    shortMap.fill(100, 1);
    Bytes huge = RasHeader(60000, 60000, 24);
    huge.fill(64, 1);
    Bytes hugeRuns = RasHeader(60000, 60000, 24, 2);
    hugeRuns.fill(64, 1);
    std::vector<uint8_t> wrongMagic = pixels.data;
    wrongMagic[0] = 0x95;
    const Case cases[] = {
        {"wrong magic", wrongMagic, NR_NOT_THIS_FORMAT},
        {"header cut short", std::vector<uint8_t>(pixels.data.begin(), pixels.data.begin() + 20), NR_INVALID_DATA},
        {"type 6", typeSix.data, NR_FORMAT_NOT_SUPPORTED},
        {"map that is not RGB", rawMap.data, NR_FORMAT_NOT_SUPPORTED},
        {"16 bits", depth16.data, NR_WRONG_BPP},
        {"colour map cut short", shortMap.data, NR_INVALID_DATA},
        {"raw rows the file lacks", huge.data, NR_INVALID_DATA},
        {"runs that cannot fill the picture", hugeRuns.data, NR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileRAS file;
        EXPECT_EQ(file.Load(Write(c.bytes).c_str(), 0, 0, nullptr), c.expected);
        EXPECT_FALSE(file.picture.valid);
    }
    NImageFileRAS file;
    EXPECT_EQ(file.Load(dir.File(L"missing.ras").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
    EXPECT_EQ(file.Save(dir.File(L"x.ras").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(FileExists(dir.File(L"x.ras")));
}

TEST_F(SunSgi, SgiFilesOfImageMagickAndNetpbmMatchTheirReferences)
{
    struct Case {
        const wchar_t* name;
        int bpp;
        const wchar_t* reference;
        int channels;
    };
    const Case cases[] = {{L"s24", 24, L"s24.raw", 3},
                          {L"s24rle", 24, L"s24rle.raw", 3},
                          {L"s32rle", 32, L"s32rle.rgba", 4},
                          {L"s8rle", 8, L"s8rle.raw", 3},
                          {L"n24rle", 24, L"n24rle.raw", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring fixture = TestDataPath(std::wstring(L"sgi\\") + c.name + L".sgi");
        NImageFileSGI file;
        ASSERT_EQ(file.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(file.picture.bpp, c.bpp);
        EXPECT_TRUE(MatchesReference(file.picture, ReadDataFile(std::wstring(L"sgi\\") + c.reference), c.channels));
        EXPECT_EQ(file.GetConsumedSize(), FileSize(fixture));
    }
    NImageFileSGI named;
    ASSERT_EQ(named.Load(TestDataPath(L"sgi\\n24rle.sgi").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_STREQ(named.metadata.comment.c_str(), L"sample image");
}

TEST_F(SunSgi, SgiTwoBytesAChannelIsRefusedByLoadAndCheck)
{
    const std::wstring fixture = TestDataPath(L"sgi\\s48.sgi");
    NImageFileSGI file;
    EXPECT_EQ(file.Load(fixture.c_str(), 0, 0, nullptr), NR_WRONG_PICTURE_FORMAT);
    const std::vector<uint8_t> bytes = ReadDataFile(L"sgi\\s48.sgi");
    EXPECT_FALSE(NImageFileSGI::IsFormat(bytes.data(), 0, bytes.size()));
    const std::vector<uint8_t> good = ReadDataFile(L"sgi\\s24.sgi");
    EXPECT_TRUE(NImageFileSGI::IsFormat(good.data(), 0, good.size()));
}

TEST_F(SunSgi, SgiRowCodingUsesLiteralStretchesAndRuns)
{
    struct Case {
        std::vector<uint8_t> row;
        std::vector<uint8_t> coded;
    };
    std::vector<uint8_t> longLiteral(130);
    for (size_t i = 0; i < longLiteral.size(); ++i)
        longLiteral[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> longLiteralCoded = {0x80 | 126};
    longLiteralCoded.insert(longLiteralCoded.end(), longLiteral.begin(), longLiteral.begin() + 126);
    longLiteralCoded.insert(longLiteralCoded.end(), {0x82, 126, 127, 0x01, 128, 0x01, 129, 0x00});
    const Case cases[] = {
        {{1, 2, 3, 4}, {0x82, 1, 2, 0x01, 3, 0x01, 4, 0x00}},
        {{5, 5, 5, 5, 1}, {0x04, 5, 0x01, 1, 0x00}},
        {{9}, {0x01, 9, 0x00}},
        {std::vector<uint8_t>(300, 7), {126, 7, 126, 7, 48, 7, 0x00}},
        {longLiteral, longLiteralCoded},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(2 * c.row.size() + 2);
        out.resize(NImageFileSGI::EncodeRow(c.row.data(), c.row.size(), out.data()));
        EXPECT_EQ(out, c.coded);
    }
}

TEST_F(SunSgi, SgiRoundTripsForEveryStorageType)
{
    for (int storage = 0; storage <= 2; ++storage) {
        for (int bpp : {24, 32, 8}) {
            SCOPED_TRACE(testing::Message() << "storage " << storage << ", " << bpp << " bits");
            NImageBuffer source;
            Pattern(source, 11, 5, bpp);
            NImageFileSGI writer;
            writer.saveOptions.sgiStorage = storage;
            const std::wstring path = dir.File(L"round.sgi");
            ASSERT_EQ(writer.Save(path.c_str(), &source, nullptr), NR_OK);
            std::vector<uint8_t> bytes;
            ASSERT_TRUE(ReadWholeFile(path, bytes));
            EXPECT_EQ(bytes[2], storage == 0 ? 0 : 1);
            EXPECT_EQ(bytes[11], bpp == 32 ? 4 : 3);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 24), "NImageFileSGI 1.0.0");
            NImageFileSGI reader;
            ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
            EXPECT_EQ(reader.picture.bpp, bpp == 32 ? 32 : 24);
            EXPECT_TRUE(SamePixels(reader.picture, source));   // alpha too, for 32 bits
            EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
        }
    }
}

TEST_F(SunSgi, SgiStorageTwoStoresEachDistinctRowOnce)
{
    NImageBuffer pic;
    ASSERT_TRUE(pic.Create(40, 6, 24, RGB(10, 20, 30)));
    // Channel rows: red 10 everywhere, green 20, blue 30; one row with other values.
    pic.bits[2 * pic.stride + 0] = 99;
    NImageFileSGI two;
    two.saveOptions.sgiStorage = 2;
    NImageFileSGI one;
    const std::wstring pathTwo = dir.File(L"two.sgi");
    const std::wstring pathOne = dir.File(L"one.sgi");
    ASSERT_EQ(two.Save(pathTwo.c_str(), &pic, nullptr), NR_OK);
    ASSERT_EQ(one.Save(pathOne.c_str(), &pic, nullptr), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(pathTwo, bytes));
    const size_t rows = 6;
    auto start = [&](size_t row, size_t channel) { return BigEndianAt(bytes, 512 + 4 * (channel * rows + row)); };
    for (size_t channel = 0; channel < 3; ++channel) {
        for (size_t row = 1; row < rows; ++row) {
            if (channel == 2 && (row == 2))
                EXPECT_NE(start(row, channel), start(0, channel));
            else
                EXPECT_EQ(start(row, channel), start(0, channel)) << "channel " << channel << " row " << row;
        }
    }
    EXPECT_LT(FileSize(pathTwo), FileSize(pathOne));
    NImageFileSGI reader;
    ASSERT_EQ(reader.Load(pathTwo.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(reader.picture, pic));
}

TEST_F(SunSgi, SgiWriterStepsRefuseWhatTheFormatCannotHold)
{
    NImageBuffer wide;
    ASSERT_TRUE(wide.Create(65536, 1, 24, 0));
    NImageFileSGI file;
    EXPECT_EQ(file.Save(dir.File(L"wide.sgi").c_str(), &wide, nullptr), NR_FORMAT_INIT_FAILED);
    EXPECT_FALSE(FileExists(dir.File(L"wide.sgi")));
    NImageBuffer small;
    ASSERT_TRUE(small.Create(2, 2, 24, 0));
    file.saveOptions.sgiStorage = 3;
    EXPECT_EQ(file.Save(dir.File(L"three.sgi").c_str(), &small, nullptr), NR_FORMAT_INIT_FAILED);
    EXPECT_FALSE(FileExists(dir.File(L"three.sgi")));
    EXPECT_EQ(file.Save(dir.File(L"none.sgi").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);

    StdioStream out;
    ASSERT_TRUE(out.Open(dir.File(L"steps.sgi").c_str(), L"w+b"));
    EXPECT_EQ(file.WriteHeader(out, 1, 0, 1, 1), NR_FORMAT_INIT_FAILED);
    ASSERT_EQ(file.WriteHeader(out, 1, 3, 2, 1), NR_OK);
    const uint16_t row[3] = {1, 2, 3};
    EXPECT_GT(file.WriteRow(out, row, 0, 0), 0);
    EXPECT_EQ(file.WriteRow(out, row, 0, 0), -1);   // written before
    EXPECT_EQ(file.WriteRow(out, row, 2, 0), -1);   // no such row
    EXPECT_EQ(file.WriteRow(out, row, 1, 1), -1);   // no such channel
    EXPECT_TRUE(file.WriteTables(out));
}

TEST_F(SunSgi, SgiReadsOnlyWhatTheFileHolds)
{
    // Run-length rows whose offsets lie outside the file stay black; the others decode.
    Bytes f = SgiHeader(1, 1, 3, 2, 1);
    const uint32_t data = 512 + 16;
    f.u32be(data).u32be(0x7FFFFFF0).u32be(4).u32be(4);
    f.bytes({0x83, 7, 8, 9, 0x00});
    NImageFileSGI file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 1), 9);   // row 0 is the bottom row
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 0);
    EXPECT_EQ(file.GetConsumedSize(), f.size());

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    };
    Bytes tables = SgiHeader(1, 1, 100, 60000, 3);
    tables.fill(1000, 0);
    Bytes verbatim = SgiHeader(0, 1, 1000, 1000, 3);
    verbatim.fill(1000, 0);
    Bytes wideRuns = SgiHeader(1, 1, 60000, 1, 1);
    wideRuns.u32be(520).u32be(5).bytes({0x7F, 1, 0});
    Bytes empty = SgiHeader(0, 1, 0, 1, 1);
    empty.fill(4, 0);
    const Case cases[] = {
        {"no magic", std::vector<uint8_t>(600, 0), NR_NOT_THIS_FORMAT},
        {"header cut short", std::vector<uint8_t>(f.data.begin(), f.data.begin() + 300), NR_INVALID_DATA},
        {"offset tables the file lacks", tables.data, NR_INVALID_DATA},
        {"verbatim rows the file lacks", verbatim.data, NR_INVALID_DATA},
        {"rows wider than the runs can fill", wideRuns.data, NR_INVALID_DATA},
        {"width 0", empty.data, NR_PICTURE_CREATE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileSGI refused;
        EXPECT_EQ(refused.Load(Write(c.bytes).c_str(), 0, 0, nullptr), c.expected);
        EXPECT_FALSE(refused.picture.valid);
    }
}

TEST_F(SunSgi, RawFilesCutShortKeepWhatTheyHold)
{
    // A carved file may end early: the raw rows it holds load, the rest stays black.
    const std::vector<uint8_t> sgi = ReadDataFile(L"sgi\\s24.sgi");   // 13 x 7, planar, verbatim
    NImageFileSGI whole;
    ASSERT_EQ(whole.Load(TestDataPath(L"sgi\\s24.sgi").c_str(), 0, 0, nullptr), NR_OK);
    NImageFileSGI cutSgi;
    // The red plane (91 bytes) and 9 bytes of the green one.
    ASSERT_EQ(cutSgi.Load(Write(std::vector<uint8_t>(sgi.begin(), sgi.begin() + 512 + 100)).c_str(), 0, 0, nullptr),
              NR_OK);
    ASSERT_EQ(cutSgi.picture.width, 13);
    ASSERT_EQ(cutSgi.picture.height, 7);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            EXPECT_EQ(PixelAt(cutSgi.picture, x, y).r, PixelAt(whole.picture, x, y).r);
            EXPECT_EQ(PixelAt(cutSgi.picture, x, y).b, 0);
        }
    }
    EXPECT_EQ(cutSgi.GetConsumedSize(), 612u);

    const std::vector<uint8_t> ras = ReadDataFile(L"ras\\r24.ras");   // 13 x 7, rows of 40 bytes
    NImageFileRAS wholeRas;
    ASSERT_EQ(wholeRas.Load(TestDataPath(L"ras\\r24.ras").c_str(), 0, 0, nullptr), NR_OK);
    NImageFileRAS cutRas;
    ASSERT_EQ(cutRas.Load(Write(std::vector<uint8_t>(ras.begin(), ras.begin() + 32 + 100)).c_str(), 0, 0, nullptr),
              NR_OK);
    for (int x = 0; x < 13; ++x) {
        const Rgba a = PixelAt(cutRas.picture, x, 1);
        const Rgba b = PixelAt(wholeRas.picture, x, 1);
        EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b);
        const Rgba last = PixelAt(cutRas.picture, x, 6);
        EXPECT_TRUE(last.r == 0 && last.g == 0 && last.b == 0);
    }
    EXPECT_EQ(cutRas.GetConsumedSize(), 132u);
}

TEST_F(SunSgi, SgiTwoChannelsAreGreyWithAlphaAndFurtherChannelsAreIgnored)
{
    Bytes two = SgiHeader(0, 1, 2, 1, 2);
    two.bytes({10, 20, 200, 100});
    NImageFileSGI a;
    ASSERT_EQ(a.Load(Write(two.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(a.picture.bpp, 32);
    EXPECT_EQ(PixelAt(a.picture, 1, 0).r, 20);
    EXPECT_EQ(PixelAt(a.picture, 1, 0).b, 20);
    EXPECT_EQ(PixelAt(a.picture, 1, 0).a, 100);

    Bytes five = SgiHeader(0, 1, 1, 1, 5);
    five.bytes({1, 2, 3, 4, 5});
    NImageFileSGI b;
    ASSERT_EQ(b.Load(Write(five.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(b.picture.bpp, 32);
    const Rgba p = PixelAt(b.picture, 0, 0);
    EXPECT_EQ(p.r, 1);
    EXPECT_EQ(p.g, 2);
    EXPECT_EQ(p.b, 3);
    EXPECT_EQ(p.a, 4);
}
