// Radiance reading: run-length and flat scanlines, every orientation of the resolution line,
// the tone mapping (gamma 2.0 and exposure shift), the header rules, and damaged files.
#include "imagefile/extra/NImageFileHDR.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

Bytes HdrHeader(const char* resolution, const char* format = "FORMAT=32-bit_rle_rgbe\n")
{
    Bytes b;
    b.text("#?RADIANCE\n").text(format).text("EXPOSURE=1.0\n\n").text(resolution).text("\n");
    return b;
}

NRESULT LoadBytes(NImageFileHDR& hdr, const TestDir& dir, const Bytes& file)
{
    const std::wstring path = dir.File(L"made.hdr");
    if (!WriteWholeFile(path, file.data))
        return NR_FILE_ERROR;
    return hdr.Load(path.c_str(), 0, 0, nullptr);
}

// One pixel through the tone mapping, with an optional exposure shift.
Rgba Display(uint8_t r, uint8_t g, uint8_t b, uint8_t e, int shift = 0)
{
    NImageFileHDR hdr;
    EXPECT_TRUE(hdr.SetGamma(2.0));
    uint8_t p[4] = {r, g, b, e};
    NImageFileHDR::ShiftExposure(p, 1, shift);
    hdr.ToGammaBytes(p, 1);
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(HdrFormat, EveryStorageOrderGivesTheSamePicture)
{
    // small.hdr was written by ImageMagick (run-length scanlines, "-Y 21 +X 33"); make_hdr.py
    // stored its pixels flat, by columns ("+X 33 -Y 21") and bottom-up right to left
    // ("+Y 21 -X 33"), and computed the expected display bytes.
    const std::vector<uint8_t> reference = ReadDataFile(L"hdr\\small.rgb");
    for (const wchar_t* file : {L"hdr\\small.hdr", L"hdr\\small-flat.hdr", L"hdr\\small-xmajor.hdr",
                                L"hdr\\small-flipped.hdr"}) {
        SCOPED_TRACE(testing::Message() << file);
        NImageFileHDR hdr;
        const std::wstring path = TestDataPath(file);
        ASSERT_EQ(hdr.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(hdr.picture.bpp, 24);
        EXPECT_EQ(hdr.fullWidth, 33);
        EXPECT_EQ(hdr.fullHeight, 21);
        EXPECT_TRUE(MatchesReference(hdr.picture, reference, 3));
        EXPECT_EQ(hdr.GetConsumedSize(), FileSize(path));
    }
    NImageFileHDR hdr;
    EXPECT_TRUE(hdr.IsHighDynamicRange());
    EXPECT_EQ(hdr.GetFormatId(), FT_HDR);
}

TEST(HdrFormat, ToneMappingOfSinglePixels)
{
    Rgba p = Display(128, 64, 32, 129);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 182);
    EXPECT_EQ(p.b, 129);
    p = Display(255, 255, 255, 128);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.b, 255);
    EXPECT_EQ(p.a, 128);
    p = Display(200, 200, 200, 0);
    EXPECT_EQ(p.r, 0);
    p = Display(200, 200, 200, 1, -1);
    EXPECT_EQ(p.r, 0);
    p = Display(200, 200, 200, 100);   // far below one: black
    EXPECT_EQ(p.g, 0);
    p = Display(128, 128, 128, 94);    // exponent -34: the last table level
    EXPECT_EQ(p.r, Display(16, 16, 16, 97).r);

    // A shift of +2 makes a pixel four times as bright: the same as two more in the exponent.
    p = Display(40, 80, 20, 120, 2);
    const Rgba same = Display(40, 80, 20, 122);
    EXPECT_EQ(p.r, same.r);
    EXPECT_EQ(p.g, same.g);
    EXPECT_EQ(p.b, same.b);

    // A large shift saturates the exponent: a bright pixel stays bright instead of wrapping.
    uint8_t bright[4] = {100, 100, 100, 200};
    NImageFileHDR::ShiftExposure(bright, 1, 100);
    EXPECT_EQ(bright[3], 255);
    p = Display(100, 100, 100, 200, 100);
    EXPECT_EQ(p.r, 255);
}

TEST(HdrFormat, ExposureShiftComesFromTheLoadOptions)
{
    TestDir dir;
    Bytes file = HdrHeader("-Y 1 +X 2");
    file.bytes({40, 80, 20, 120, 40, 80, 20, 1});
    NImageFileHDR hdr;
    ImageLoadOptions options;
    options.toneParameter = 2;
    hdr.SetLoadOptions(&options);
    ASSERT_EQ(LoadBytes(hdr, dir, file), NR_OK);
    const Rgba expected = Display(40, 80, 20, 122);
    EXPECT_EQ(PixelAt(hdr.picture, 0, 0).g, expected.g);
    EXPECT_EQ(PixelAt(hdr.picture, 1, 0).g, Display(40, 80, 20, 3).g);
}

TEST(HdrFormat, HeaderRules)
{
    TestDir dir;
    NImageFileHDR hdr;
    Bytes pixel;
    pixel.bytes({128, 128, 128, 128});

    Bytes noFormat = HdrHeader("-Y 1 +X 1", "");
    noFormat.raw(pixel.data);
    EXPECT_EQ(LoadBytes(hdr, dir, noFormat), NR_OK);

    Bytes xyze = HdrHeader("-Y 1 +X 1", "FORMAT=32-bit_rle_xyze\n");
    xyze.raw(pixel.data);
    EXPECT_EQ(LoadBytes(hdr, dir, xyze), NR_FORMAT_INIT_FAILED);

    Bytes spaced = HdrHeader("-Y 1 +X 1", "FORMAT=  32-bit_rle_rgbe  \n");
    spaced.raw(pixel.data);
    EXPECT_EQ(LoadBytes(hdr, dir, spaced), NR_OK);

    const std::string longValue = "FORMAT=32-bit_rle_rgbe" + std::string(300, 'x') + "\n";
    Bytes tooLong = HdrHeader("-Y 1 +X 1", longValue.c_str());
    tooLong.raw(pixel.data);
    EXPECT_EQ(LoadBytes(hdr, dir, tooLong), NR_FORMAT_INIT_FAILED);

    EXPECT_EQ(LoadBytes(hdr, dir, Bytes().text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n")), NR_FORMAT_INIT_FAILED);
    for (const char* resolution : {"-Y 0 +X 4", "-Y 4", "+X 4", "-Y -4 +X 4", "-Y 99999999999 +X 4",
                                   "-Y 1 +X 1                                                          "}) {
        SCOPED_TRACE(resolution);
        Bytes bad = HdrHeader(resolution);
        bad.raw(pixel.data);
        EXPECT_EQ(LoadBytes(hdr, dir, bad), NR_FORMAT_INIT_FAILED);
    }
    EXPECT_EQ(hdr.Load(dir.File(L"missing.hdr").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST(HdrFormat, FormatPatterns)
{
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
    };
    const Case cases[] = {
        {"32-bit_rle_rgbe", "32-bit_rle_rgbe", true},
        {"32-bit_rle_????", "32-bit_rle_xyze", true},
        {"32-bit_rle_???", "32-bit_rle_xyze", false},
        {"32-bit*", "32-bit_rle_rgbe", true},
        {"*rgbe", "32-bit_rle_rgbe", true},
        {"**_rle_**", "32-bit_rle_rgbe", true},
        {"*xyze", "32-bit_rle_rgbe", false},
        {"32-bit_rle_[a-r]gbe", "32-bit_rle_rgbe", true},
        {"32-bit_rle_[s-z]gbe", "32-bit_rle_rgbe", false},
        {"32-bit_rle_[xr]gbe", "32-bit_rle_rgbe", true},
        {"a\\*b", "a*b", true},
        {"a\\*b", "axb", false},
        {"a[b", "a[b", true},
        {"", "", true},
        {"?", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NImageFileHDR::MatchFormat(c.pattern, c.text), c.matches) << c.pattern << " / " << c.text;
}

TEST(HdrFormat, OldEncodingRepeatsAndShortScanlines)
{
    TestDir dir;
    NImageFileHDR hdr;

    // 7 pixels are always the old encoding, even when they begin with 2, 2.
    Bytes seven = HdrHeader("-Y 1 +X 7");
    for (int i = 0; i < 7; ++i)
        seven.bytes({2, 2, static_cast<uint8_t>(100 + i), 130});
    ASSERT_EQ(LoadBytes(hdr, dir, seven), NR_OK);
    EXPECT_EQ(PixelAt(hdr.picture, 6, 0).b, 255);
    EXPECT_EQ(PixelAt(hdr.picture, 6, 0).r, Display(2, 2, 106, 130).r);

    // Repeats: 1, 1, 1, n repeats the previous pixel n times; a second repeat pixel counts in
    // units of 256; counts are cut at the end of the scanline; a repeat with nothing before it
    // repeats black.
    Bytes repeats = HdrHeader("-Y 2 +X 6");
    repeats.bytes({1, 1, 1, 2});                                   // row 0: black, black
    repeats.bytes({200, 100, 50, 128}).bytes({1, 1, 1, 1}).bytes({1, 1, 1, 1});   // then 3 more
    repeats.bytes({60, 60, 60, 128}).bytes({1, 1, 1, 255});        // row 1: one pixel, then 255 x
    ASSERT_EQ(LoadBytes(hdr, dir, repeats), NR_OK);
    EXPECT_EQ(PixelAt(hdr.picture, 0, 0).r, 0);
    EXPECT_EQ(PixelAt(hdr.picture, 1, 0).r, 0);
    EXPECT_EQ(PixelAt(hdr.picture, 2, 0).r, Display(200, 100, 50, 128).r);
    EXPECT_EQ(PixelAt(hdr.picture, 5, 0).b, Display(200, 100, 50, 128).b);
    EXPECT_EQ(PixelAt(hdr.picture, 5, 1).g, Display(60, 60, 60, 128).g);

    // New run-length scanline: a run past the scanline's end fails that scanline.
    Bytes overrun = HdrHeader("-Y 2 +X 8");
    overrun.bytes({2, 2, 0, 8, 0x80 + 9, 50});
    overrun.fill(64, 0);
    const size_t overrunSize = overrun.size();
    ASSERT_EQ(LoadBytes(hdr, dir, overrun), NR_OK);
    EXPECT_EQ(PixelAt(hdr.picture, 0, 0).r, 0);
    EXPECT_EQ(hdr.GetConsumedSize(), overrunSize);   // the end is unknown: the whole file
}

TEST(HdrFormat, DamagedFilesKeepTheRowsRead)
{
    const std::vector<uint8_t> whole = ReadDataFile(L"hdr\\small-flat.hdr");
    const std::vector<uint8_t> reference = ReadDataFile(L"hdr\\small.rgb");
    TestDir dir;
    const std::wstring path = dir.File(L"cut.hdr");
    const size_t keep = whole.size() - 33 * 4 * 11 + 40;   // rows 0 to 9 and part of row 10
    ASSERT_TRUE(WriteWholeFile(path, whole.data(), keep));
    NImageFileHDR hdr;
    ASSERT_EQ(hdr.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(hdr.GetConsumedSize(), keep);
    EXPECT_EQ(PixelAt(hdr.picture, 30, 9).g, reference[(9 * 33 + 30) * 3 + 1]);
    EXPECT_EQ(PixelAt(hdr.picture, 30, 10).g, 0);
    EXPECT_EQ(PixelAt(hdr.picture, 30, 20).g, 0);

    // A scanline whose length does not match: the rows before it stay, the whole file counts.
    std::vector<uint8_t> rle = ReadDataFile(L"hdr\\small.hdr");
    size_t at = 0;
    for (size_t i = 0; i + 1 < rle.size(); ++i) {
        if (rle[i] == '\n' && rle[i + 1] == '-') {
            at = i + 1;
            break;
        }
    }
    ASSERT_NE(at, 0u);
    while (rle[at] != '\n')
        ++at;
    rle[at + 1 + 3] = 34;   // the first scanline claims 34 pixels
    ASSERT_TRUE(WriteWholeFile(path, rle));
    ASSERT_EQ(hdr.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(hdr.picture, 0, 0).r, 0);
    EXPECT_EQ(hdr.GetConsumedSize(), rle.size());
}
