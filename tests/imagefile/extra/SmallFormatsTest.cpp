// PFM, RLA, PPP, WBMP, XBM and ZBR: ImageMagick's and netpbm's files where they write the format,
// files built byte by byte elsewhere; tone mapping, byte orders, run-length channels, zlib round
// trips, the text variant, multi-byte integers, C text with comments, and headers the files cannot
// back.
#include "imagefile/extra/NImageFilePFM.h"
#include "imagefile/extra/NImageFilePPP.h"
#include "imagefile/extra/NImageFileRLA.h"
#include "imagefile/extra/NImageFileWBMP.h"
#include "imagefile/extra/NImageFileXBM.h"
#include "imagefile/extra/NImageFileZBR.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class SmallFormats : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes, const wchar_t* name = L"test.img")
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    std::wstring WriteText(const std::string& text, const wchar_t* name = L"test.img")
    {
        return Write(std::vector<uint8_t>(text.begin(), text.end()), name);
    }

    TestDir dir;
};

::testing::AssertionResult SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height || a.bpp != b.bpp)
        return ::testing::AssertionFailure() << "pictures differ in size or depth";
    for (int y = 0; y < a.height; ++y)
        if (memcmp(a.bits + static_cast<size_t>(y) * a.stride, b.bits + static_cast<size_t>(y) * b.stride,
                   static_cast<size_t>(a.stride)) != 0)
            return ::testing::AssertionFailure() << "scan line " << y << " differs";
    return ::testing::AssertionSuccess();
}

// A PFM file of one colour pixel per sample triple, rows bottom first, in either byte order.
std::vector<uint8_t> PfmFile(const char* magic, int width, int height, const char* scale, const std::vector<float>& samples,
                             bool bigEndian)
{
    Bytes f;
    f.text(magic).text("\n").text(std::to_string(width).c_str()).text(" ").text(std::to_string(height).c_str());
    f.text("\n").text(scale).text("\n");
    for (float v : samples) {
        uint32_t bits;
        memcpy(&bits, &v, 4);
        if (bigEndian)
            f.u32be(bits);
        else
            f.u32(bits);
    }
    return f.data;
}

// An RLA header: active window, channel counts and bits; the rest zero.
Bytes RlaHeader(int width, int height, int colour, int matte, int bits = 8)
{
    std::vector<uint8_t> h(740, 0);
    auto put16 = [&h](size_t at, int v) {
        h[at] = static_cast<uint8_t>(v >> 8);
        h[at + 1] = static_cast<uint8_t>(v);
    };
    put16(2, width - 1);
    put16(6, height - 1);
    put16(10, width - 1);
    put16(14, height - 1);
    put16(20, colour);
    put16(22, matte);
    put16(658, bits);
    Bytes b;
    b.raw(h);
    return b;
}

// One RLA scan line: per channel its coded bytes.
std::vector<uint8_t> RlaLine(const std::vector<std::vector<uint8_t>>& channels)
{
    Bytes line;
    for (const auto& coded : channels)
        line.u16be(static_cast<unsigned>(coded.size())).raw(coded);
    return line.data;
}

// An RLA file whose scan lines follow the offset table; lines[i] is i rows above the bottom.
std::vector<uint8_t> RlaFile(Bytes header, const std::vector<std::vector<uint8_t>>& lines)
{
    uint32_t at = static_cast<uint32_t>(header.size() + 4 * lines.size());
    for (const auto& line : lines) {
        header.u32be(at);
        at += static_cast<uint32_t>(line.size());
    }
    for (const auto& line : lines)
        header.raw(line);
    return header.data;
}

}  // namespace

TEST_F(SmallFormats, PfmToneMapping)
{
    uint8_t out[3];
    NImageFilePFM::ToneMap(0.15f, 0.0f, -3.0f, 0, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 0);
    NImageFilePFM::ToneMap(0.33f, 1.0f, 1000.0f, 0, out);
    EXPECT_EQ(out[0], 84);
    EXPECT_EQ(out[1], 165);   // (1 - 0.15) x 5.55555 = 4.72, compressed to 3.83: sqrt x 84.66
    EXPECT_EQ(out[2], 255);
    NImageFilePFM::ToneMap(0.33f, std::nanf(""), 0.0f, 1, out);
    EXPECT_EQ(out[0], 117);   // 0.18 x 2^3.47393 = 2.0, compressed to 1.92: sqrt x 84.66
    EXPECT_EQ(out[1], 0);
}

TEST_F(SmallFormats, PfmFilesOfBothByteOrdersLoadTheSame)
{
    NImageFilePFM big;
    ASSERT_EQ(big.Load(TestDataPath(L"pfm\\p_be.pfm").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(big.picture.bpp, 24);
    EXPECT_EQ(big.picture.width, 13);
    EXPECT_EQ(big.GetConsumedSize(), FileSize(TestDataPath(L"pfm\\p_be.pfm")));
    EXPECT_TRUE(big.IsHighDynamicRange());
    // Top-left red, bottom-left green (1.0 maps to 165): the rows run from the bottom up.
    EXPECT_EQ(PixelAt(big.picture, 0, 0).r, 165);
    EXPECT_EQ(PixelAt(big.picture, 0, 0).g, 0);
    EXPECT_EQ(PixelAt(big.picture, 0, 6).g, 165);
    EXPECT_EQ(PixelAt(big.picture, 0, 6).r, 0);
    for (const wchar_t* other : {L"pfm\\p_le.pfm", L"pfm\\np_le.pfm"}) {
        SCOPED_TRACE(other);
        NImageFilePFM little;
        ASSERT_EQ(little.Load(TestDataPath(other).c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_TRUE(SamePixels(little.picture, big.picture));
    }
    NImageFilePFM grey;
    ASSERT_EQ(grey.Load(TestDataPath(L"pfm\\pg.pfm").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(grey.picture.bpp, 8);
    EXPECT_EQ(PixelAt(grey.picture, 5, 5).r, PixelAt(grey.picture, 5, 5).b);
}

TEST_F(SmallFormats, PfmScaleExposureAndRefusals)
{
    // The scale divides every sample: 0.66 / 2 maps like 0.33.
    NImageFilePFM scaled;
    ASSERT_EQ(scaled.Load(Write(PfmFile("Pf", 1, 1, "-2.0", {0.66f}, false)).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PaletteIndexAt(scaled.picture, 0, 0), 84);
    NImageFilePFM exposed;
    exposed.loadOptions.toneParameter = 1;
    ASSERT_EQ(exposed.Load(Write(PfmFile("PF", 1, 1, "1.0", {0.33f, 0.0f, 0.0f}, true)).c_str(), 0, 0, nullptr),
              NR_OK);
    EXPECT_EQ(PixelAt(exposed.picture, 0, 0).r, 117);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    } const cases[] = {
        {"not PF", PfmFile("P6", 1, 1, "1.0", {0, 0, 0}, true), NR_NOT_THIS_FORMAT},
        {"scale 0", PfmFile("PF", 1, 1, "0", {0, 0, 0}, true), NR_FORMAT_INIT_FAILED},
        {"scale not a number", PfmFile("PF", 1, 1, "x1", {0, 0, 0}, true), NR_FORMAT_INIT_FAILED},
        {"width 0", PfmFile("PF", 0, 1, "1.0", {0, 0, 0}, true), NR_FORMAT_INIT_FAILED},
        {"floats the file lacks", PfmFile("PF", 3000, 3000, "1.0", {0, 0, 0}, true), NR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFilePFM file;
        EXPECT_EQ(file.Load(Write(c.bytes).c_str(), 0, 0, nullptr), c.expected);
    }
}

TEST_F(SmallFormats, RlaColourAndMatteChannels)
{
    // 3 colour channels and a matte: 32 bits with the matte as alpha; scan lines bottom first,
    // literal runs (negative counts) and repeats.
    const std::vector<uint8_t> bottom = RlaLine({{0xFE, 10, 11}, {0x01, 20}, {0x01, 30}, {0x01, 255}});
    const std::vector<uint8_t> top = RlaLine({{0x01, 90}, {0x01, 80}, {0xFE, 70, 71}, {0x05, 128}});
    NImageFileRLA file;
    ASSERT_EQ(file.Load(Write(RlaFile(RlaHeader(2, 2, 3, 1), {bottom, top})).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 32);
    const Rgba a = PixelAt(file.picture, 1, 1);
    EXPECT_EQ(a.r, 11);
    EXPECT_EQ(a.g, 20);
    EXPECT_EQ(a.b, 30);
    EXPECT_EQ(a.a, 255);
    const Rgba b = PixelAt(file.picture, 1, 0);
    EXPECT_EQ(b.r, 90);
    EXPECT_EQ(b.b, 71);
    EXPECT_EQ(b.a, 128);

    // One colour channel: 8 bits with a falling grey palette. One channel and a matte: grey and
    // alpha in 32 bits.
    NImageFileRLA grey;
    ASSERT_EQ(grey.Load(Write(RlaFile(RlaHeader(1, 1, 1, 0), {RlaLine({{0x00, 40}})})).c_str(), 0, 0, nullptr),
              NR_OK);
    ASSERT_EQ(grey.picture.bpp, 8);
    EXPECT_EQ(PaletteIndexAt(grey.picture, 0, 0), 40);
    EXPECT_EQ(PixelAt(grey.picture, 0, 0).r, 215);
    NImageFileRLA greyAlpha;
    ASSERT_EQ(greyAlpha.Load(Write(RlaFile(RlaHeader(1, 1, 1, 1), {RlaLine({{0x00, 40}, {0x00, 99}})})).c_str(), 0,
                             0, nullptr),
              NR_OK);
    ASSERT_EQ(greyAlpha.picture.bpp, 32);
    EXPECT_EQ(PixelAt(greyAlpha.picture, 0, 0).g, 40);
    EXPECT_EQ(PixelAt(greyAlpha.picture, 0, 0).a, 99);
}

TEST_F(SmallFormats, RlaRunsStayInTheirRowAndBadOffsetsAreSkipped)
{
    // A repeat of 100 and a literal of 128 into a row of 3; the second line's offset is outside.
    const std::vector<uint8_t> line = RlaLine({{0x63, 5}, {0x80, 1, 2, 3}, {0x02, 7}});
    std::vector<uint8_t> bytes = RlaFile(RlaHeader(3, 2, 3, 0), {line, line});
    const size_t secondOffset = 740 + 4;
    bytes[secondOffset] = 0x7F;
    NImageFileRLA file;
    ASSERT_EQ(file.Load(Write(bytes).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 24);
    EXPECT_EQ(PixelAt(file.picture, 2, 1).r, 5);
    EXPECT_EQ(PixelAt(file.picture, 2, 1).g, 3);
    EXPECT_EQ(PixelAt(file.picture, 2, 1).b, 7);
    EXPECT_EQ(PixelAt(file.picture, 2, 0).r, 0);

    NImageFileRLA refused;
    EXPECT_EQ(refused.Load(Write(RlaFile(RlaHeader(1, 1, 3, 0, 16), {line})).c_str(), 0, 0, nullptr), NR_WRONG_BPP);
    EXPECT_EQ(refused.Load(Write(RlaHeader(1, 30000, 3, 0).data).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Load(Write(std::vector<uint8_t>(700, 0)).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Load(Write(RlaFile(RlaHeader(0, 1, 3, 0), {line})).c_str(), 0, 0, nullptr),
              NR_PICTURE_CREATE_FAILED);
    EXPECT_FALSE(NImageFileRLA::IsFormat(bytes.data(), 0, bytes.size()));
}

TEST_F(SmallFormats, PppRoundTripKeepsTheRowsAndRecordsThePackedSize)
{
    for (int bpp : {24, 8, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer pic;
        uint8_t palette[256 * 3];
        for (int i = 0; i < 768; ++i)
            palette[i] = static_cast<uint8_t>(i * 7);
        ASSERT_TRUE(pic.Create(37, 9, bpp, 0, palette));
        for (int y = 0; y < pic.height; ++y)
            for (int x = 0; x < pic.stride; ++x)
                pic.bits[static_cast<size_t>(y) * pic.stride + x] = static_cast<uint8_t>(x / 3 + y * 11);
        if (bpp == 32)
            pic.SetChannel(4, 255);
        NImageFilePPP writer;
        const std::wstring path = dir.File(L"round.ppp");
        ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(path, bytes));
        ASSERT_GT(bytes.size(), 15u);
        EXPECT_TRUE(NImageFilePPP::IsFormat(bytes.data(), 0, bytes.size()));
        const uint32_t unpacked = bytes[7] | (bytes[8] << 8) | (bytes[9] << 16) | (uint32_t{bytes[10]} << 24);
        const uint32_t packed = bytes[11] | (bytes[12] << 8) | (bytes[13] << 16) | (uint32_t{bytes[14]} << 24);
        EXPECT_EQ(unpacked, 112u * 9);   // rows of 37 x 3 bytes padded to 112
        EXPECT_EQ(packed, bytes.size() - 15);

        NImageFilePPP reader;
        ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        ASSERT_EQ(reader.picture.bpp, 24);
        EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
        for (int y = 0; y < pic.height; ++y)
            for (int x = 0; x < pic.width; ++x) {
                const Rgba p = PixelAt(pic, x, y);
                const Rgba q = PixelAt(reader.picture, x, y);
                ASSERT_TRUE(p.r == q.r && p.g == q.g && p.b == q.b) << x << "," << y;
            }
    }
}

TEST_F(SmallFormats, PppBinaryRefusals)
{
    auto file = [](uint16_t width, uint16_t height, uint32_t unpacked, const std::vector<uint8_t>& packed,
                   uint32_t packedField) {
        Bytes f;
        f.text("PP").u8(2).u16(width).u16(height).u32(unpacked).u32(packedField).raw(packed);
        return f.data;
    };
    std::vector<uint8_t> rows(8, 0x55);   // one 2 x 1 row: 6 bytes padded to 8
    uLongf size = compressBound(8);
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, rows.data(), 8, 9);
    packed.resize(size);
    std::vector<uint8_t> broken = packed;
    broken[0] ^= 0xFF;
    const uint32_t n = static_cast<uint32_t>(packed.size());
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    } const cases[] = {
        {"sound", file(2, 1, 8, packed, n), NR_OK},
        {"packed bytes the file lacks", file(2, 1, 8, packed, n + 100), NR_INVALID_DATA},
        {"fewer unpacked bytes than rows", file(2, 2, 8, packed, n), NR_INVALID_DATA},
        {"more unpacked bytes than zlib can make", file(2, 1, 0x7FFFFFFF, packed, n), NR_INVALID_DATA},
        {"broken zlib data", file(2, 1, 8, broken, n), NR_DECOMPRESSION_FAILED},
        {"height 0", file(2, 0, 8, packed, n), NR_PICTURE_CREATE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFilePPP ppp;
        EXPECT_EQ(ppp.Load(Write(c.bytes).c_str(), 0, 0, nullptr), c.expected);
    }
    NImageFilePPP ppp;
    EXPECT_EQ(ppp.Save(dir.File(L"none.ppp").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
}

TEST_F(SmallFormats, PppTextPlainAndRunModes)
{
    NImageFilePPP plain;
    ASSERT_EQ(plain.Load(WriteText("Punk\n0 2 1 0 0 0\n# red, then blue\n255 0 0\t0 0 255\r\n").c_str(), 0, 0, nullptr),
              NR_OK);
    ASSERT_EQ(plain.picture.width, 2);
    EXPECT_EQ(PixelAt(plain.picture, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(plain.picture, 0, 0).b, 0);
    EXPECT_EQ(PixelAt(plain.picture, 1, 0).b, 255);
    EXPECT_EQ(plain.GetFormatId(), FT_PPP);

    // Runs fill pixels in order over the rows; a count below 1 is skipped; the last run is cut at
    // the picture's end.
    NImageFilePPP runs;
    ASSERT_EQ(runs.Load(WriteText("Punk 0 3 2 1 0 0  2 10 20 30  0 99 99 99  -4 1 1 1  9 40 50 60").c_str(), 0, 0,
                        nullptr),
              NR_OK);
    EXPECT_EQ(PixelAt(runs.picture, 1, 0).g, 20);
    EXPECT_EQ(PixelAt(runs.picture, 2, 0).g, 50);
    EXPECT_EQ(PixelAt(runs.picture, 2, 1).b, 60);

    // Noise adds rand() % amplitude to every channel of every pixel of a run.
    srand(17);
    const int r1 = rand() % 5, g1 = rand() % 5, b1 = rand() % 5;
    srand(17);
    NImageFilePPP noisy;
    ASSERT_EQ(noisy.Load(WriteText("Punk 0 1 1 1 5 0 1 100 100 100").c_str(), 0, 0, nullptr), NR_OK);
    const Rgba p = PixelAt(noisy.picture, 0, 0);
    EXPECT_EQ(p.r, 100 + r1);
    EXPECT_EQ(p.g, 100 + g1);
    EXPECT_EQ(p.b, 100 + b1);

    NImageFilePPP refused;
    EXPECT_EQ(refused.Load(WriteText("Punx 0 1 1 0 0 0 1 2 3").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(refused.Load(WriteText("Punk 0 100000 100000 0 0 0 1 2 3").c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Load(WriteText("Punk 0 0 1 0 0 0").c_str(), 0, 0, nullptr), NR_PICTURE_CREATE_FAILED);
}

TEST_F(SmallFormats, WbmpFixtureAndMultiByteIntegers)
{
    NImageFileWBMP file;
    ASSERT_EQ(file.Load(TestDataPath(L"bilevel\\pat.wbmp").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(MatchesReference(file.picture, ReadDataFile(L"bilevel\\pat.rgb"), 3));
    EXPECT_EQ(file.GetConsumedSize(), FileSize(TestDataPath(L"bilevel\\pat.wbmp")));

    // Width 81 00 is 128; an extension header of one parameter (0x61: 6 bytes of name and 1 of
    // value) is skipped.
    Bytes wide;
    wide.bytes({0x00, 0x80, 0x61}).text("abcdefg").bytes({0x81, 0x00, 0x01});
    wide.fill(15, 0).u8(0x01);
    NImageFileWBMP extended;
    ASSERT_EQ(extended.Load(Write(wide.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(extended.picture.width, 128);
    EXPECT_EQ(PixelAt(extended.picture, 127, 0).r, 255);   // a set bit is white
    EXPECT_EQ(PixelAt(extended.picture, 126, 0).r, 0);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    } const cases[] = {
        {"type 1", {0x01, 0x00, 0x01, 0x01, 0xFF}, NR_NOT_THIS_FORMAT},
        {"width 0", {0x00, 0x00, 0x00, 0x01, 0xFF}, NR_INVALID_DATA},
        {"a width of six bytes", {0x00, 0x00, 0x81, 0x81, 0x81, 0x81, 0x81, 0x01, 0x01, 0xFF}, NR_INVALID_DATA},
        {"rows the file lacks", {0x00, 0x00, 0x8F, 0x7F, 0x8F, 0x7F, 0xFF}, NR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileWBMP refused;
        EXPECT_EQ(refused.Load(Write(c.bytes).c_str(), 0, 0, nullptr), c.expected);
    }
}

TEST_F(SmallFormats, XbmFixturesOfCharAndShortElements)
{
    for (const wchar_t* name : {L"bilevel\\pat_char.xbm", L"bilevel\\pat_short.xbm"}) {
        SCOPED_TRACE(name);
        NImageFileXBM file;
        ASSERT_EQ(file.Load(TestDataPath(name).c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_TRUE(MatchesReference(file.picture, ReadDataFile(L"bilevel\\pat.rgb"), 3));
    }
}

TEST_F(SmallFormats, XbmNumbersCommentsAndRefusals)
{
    NImageFileXBM file;
    ASSERT_EQ(file.Load(WriteText("/* a 16 x 1 picture */\n#define a_width 16\n#define a_height 1\n"
                                  "#define a_x_hot 3\nstatic unsigned char a_bits[] = { 0x01, 0x80 };\n")
                            .c_str(),
                        0, 0, nullptr),
              NR_OK);
    ASSERT_EQ(file.picture.width, 16);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).r, 0);      // black
    EXPECT_EQ(PixelAt(file.picture, 1, 0).r, 255);
    EXPECT_EQ(PixelAt(file.picture, 15, 0).r, 0);

    // 017 is octal 15 (bits 0-3), 0X1F hexadecimal 31, 5 decimal; a lone '/' is text.
    NImageFileXBM numbers;
    ASSERT_EQ(numbers.Load(WriteText("#define n_width 8 // w\n#define n_height 3\nstatic char n_bits[] = {017, 0X1F, 5};")
                               .c_str(),
                           0, 0, nullptr),
              NR_OK);
    EXPECT_EQ(PaletteIndexAt(numbers.picture, 3, 0), 1);
    EXPECT_EQ(PaletteIndexAt(numbers.picture, 4, 0), 0);
    EXPECT_EQ(PaletteIndexAt(numbers.picture, 4, 1), 1);
    EXPECT_EQ(PaletteIndexAt(numbers.picture, 5, 1), 0);
    EXPECT_EQ(PaletteIndexAt(numbers.picture, 2, 2), 1);
    EXPECT_EQ(PaletteIndexAt(numbers.picture, 1, 2), 0);

    struct Case {
        const char* what;
        const char* text;
    } const cases[] = {
        {"no array", "#define a_width 8\n#define a_height 1\nstatic char a_bits[] = "},
        {"no height", "#define a_width 8\nstatic char a_bits[] = {0};"},
        {"no element type", "#define a_width 8\n#define a_height 1\nstatic a_bits[] = {0};"},
        {"width in a comment only", "/* #define a_width 8 */#define a_height 1\nstatic char a_bits[] = {0};"},
        {"more elements than the text holds", "#define a_width 30000\n#define a_height 30000\nstatic char a_bits[] = {0};"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileXBM refused;
        EXPECT_EQ(refused.Load(WriteText(c.text).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    }
}

TEST_F(SmallFormats, ZbrPreviewPaletteAndDescription)
{
    auto zbr = [](uint16_t version, size_t previewBytes) {
        Bytes f;
        f.u16(666).u16(version);
        char description[100] = "a drawing";
        f.raw(description, sizeof(description));
        for (int i = 0; i < 16; ++i)
            f.bytes({static_cast<uint8_t>(i), static_cast<uint8_t>(i * 2), static_cast<uint8_t>(i * 16), 0});
        Bytes rows;
        for (int y = 0; y < 100; ++y) {
            rows.u8(y == 0 ? 0x3F : 0x00);   // the bottom row starts with pixels 3 and 15
            rows.fill(51, 0x11);
        }
        f.raw(rows.data);
        f.data.resize(4 + 100 + previewBytes);
        return f.data;
    };
    NImageFileZBR file;
    const std::vector<uint8_t> bytes = zbr(4, 5264);
    ASSERT_EQ(file.Load(Write(bytes).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 4);
    EXPECT_EQ(file.picture.width, 100);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 99), 3);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 99), 15);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 0), 1);
    const Rgba p = PixelAt(file.picture, 1, 99);
    EXPECT_EQ(p.r, 240);
    EXPECT_EQ(p.g, 30);
    EXPECT_EQ(p.b, 15);
    EXPECT_STREQ(file.metadata.comment.c_str(), L"a drawing");
    EXPECT_EQ(file.GetConsumedSize(), 5368u);
    EXPECT_TRUE(NImageFileZBR::IsFormat(bytes.data(), 0, bytes.size()));

    const std::vector<uint8_t> five = zbr(5, 5264);
    EXPECT_FALSE(NImageFileZBR::IsFormat(five.data(), 0, five.size()));
    NImageFileZBR refused;
    EXPECT_EQ(refused.Load(Write(five).c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    EXPECT_EQ(refused.Load(Write(zbr(1, 5000)).c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    EXPECT_EQ(refused.Load(Write({0x9B, 0x02, 0, 0}).c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
}
