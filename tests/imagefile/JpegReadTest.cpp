// Reading JPEG files: pixels in the picture's blue-first order, grey and CMYK pictures, ICC
// profiles, the consumed size the recovery scan cuts candidates to, scaled decoding, EXIF,
// comments and XMP, the embedded-JPEG search, and libjpeg errors returning through the jump
// buffer without leaking.
#include "imagefile/formats/NImageFileJPG.h"

#include "common/TestFiles.h"
#include "JpegTestCodec.h"

#include <lcms2.h>
#include <libexif/exif-data.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using jpegtest::Bytes;
using jpegtest::EncodeSpec;

namespace {

std::wstring Fixture(const wchar_t* name)
{
    return TestDataPath(std::wstring(L"jpeg\\") + name);
}

Bytes ReadFixture(const wchar_t* name)
{
    Bytes bytes;
    ReadWholeFile(Fixture(name), bytes);
    return bytes;
}

// Picture row y counted from the top.
const uint8_t* RowFromTop(const NImageBuffer& picture, int y)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - y) * picture.stride;
}

// The row's pixels as blue, green, red bytes from the reference decode's red-first samples.
Bytes ReferenceRowBgr(const jpegtest::Decoded& d, int y)
{
    Bytes row;
    const uint8_t* s = d.samples.data() + static_cast<size_t>(y) * d.width * 3;
    for (int x = 0; x < d.width; ++x) {
        row.push_back(s[3 * x + 2]);
        row.push_back(s[3 * x + 1]);
        row.push_back(s[3 * x]);
    }
    return row;
}

class JpegReadTest : public ::testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const Bytes& bytes)
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    TestDir dir;
};

// ---- Pixels ----

TEST_F(JpegReadTest, ColourPicturesMatchLibjpegInBlueFirstOrder)
{
    for (const wchar_t* name : {L"rgb-gradient.jpg", L"progressive.jpg"}) {
        SCOPED_TRACE(testing::Message() << "fixture " << name);
        NImageFileJPG jpeg;
        ASSERT_EQ(NR_OK, jpeg.Load(Fixture(name).c_str(), 0, 0, nullptr));
        const jpegtest::Decoded reference = jpegtest::DecodeReference(ReadFixture(name), JCS_RGB);
        ASSERT_EQ(24, jpeg.picture.bpp);
        ASSERT_EQ(64, jpeg.picture.width);
        ASSERT_EQ(48, jpeg.picture.height);
        EXPECT_EQ(64, jpeg.fullWidth);
        EXPECT_EQ(48, jpeg.fullHeight);
        for (int y = 0; y < 48; ++y) {
            const Bytes expected = ReferenceRowBgr(reference, y);
            ASSERT_EQ(0, std::memcmp(expected.data(), RowFromTop(jpeg.picture, y), expected.size())) << "row " << y;
        }
    }
}

TEST_F(JpegReadTest, PureRedGivesBlueGreenRedBytes)
{
    EncodeSpec spec;
    spec.quality = 100;
    spec.fill = [](int, uint8_t* s) {
        for (int x = 0; x < 16; ++x) {
            s[3 * x] = 255;
            s[3 * x + 1] = 0;
            s[3 * x + 2] = 0;
        }
    };
    const std::wstring path = Write(L"red.jpg", jpegtest::Encode(spec));
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
    const uint8_t* p = RowFromTop(jpeg.picture, 5) + 3 * 5;
    EXPECT_LE(p[0], 3);
    EXPECT_LE(p[1], 3);
    EXPECT_GE(p[2], 252);
}

TEST_F(JpegReadTest, GreyPictureIsEightBitWithGreyPalette)
{
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(Fixture(L"grey.jpg").c_str(), 0, 0, nullptr));
    ASSERT_EQ(8, jpeg.picture.bpp);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(i, jpeg.picture.palette[i][0]);
        ASSERT_EQ(i, jpeg.picture.palette[i][1]);
        ASSERT_EQ(i, jpeg.picture.palette[i][2]);
    }
    const jpegtest::Decoded reference = jpegtest::DecodeReference(ReadFixture(L"grey.jpg"), JCS_GRAYSCALE);
    ASSERT_EQ(reference.width, jpeg.picture.width);
    for (int y = 0; y < reference.height; ++y)
        ASSERT_EQ(0, std::memcmp(reference.samples.data() + static_cast<size_t>(y) * reference.width,
                                 RowFromTop(jpeg.picture, y), static_cast<size_t>(reference.width)));
}

// Inverted (Adobe-style) CMYK without a usable profile: blue = Y*K/255, green = M*K/255,
// red = C*K/255 on the stored samples.
void ExpectCmykFormula(const NImageBuffer& picture, const Bytes& file)
{
    const jpegtest::Decoded cmyk = jpegtest::DecodeReference(file, JCS_CMYK);
    ASSERT_EQ(24, picture.bpp);
    ASSERT_EQ(cmyk.width, picture.width);
    for (int y = 0; y < cmyk.height; ++y) {
        for (int x = 0; x < cmyk.width; ++x) {
            const uint8_t* s = cmyk.samples.data() + (static_cast<size_t>(y) * cmyk.width + x) * 4;
            const uint8_t* p = RowFromTop(picture, y) + 3 * x;
            ASSERT_EQ(s[2] * s[3] / 255, p[0]);
            ASSERT_EQ(s[1] * s[3] / 255, p[1]);
            ASSERT_EQ(s[0] * s[3] / 255, p[2]);
        }
    }
}

TEST_F(JpegReadTest, AdobeCmykWithoutProfileUsesTheInvertedFormula)
{
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(Fixture(L"cmyk-adobe.jpg").c_str(), 0, 0, nullptr));
    ExpectCmykFormula(jpeg.picture, ReadFixture(L"cmyk-adobe.jpg"));
}

TEST_F(JpegReadTest, PicturesWithOtherComponentCountsAreRefused)
{
    // libjpeg hands such pictures out as they are; they have no picture depth.
    for (int components : {2, 5}) {
        SCOPED_TRACE(components);
        EncodeSpec spec;
        spec.width = 40;
        spec.height = 8;
        spec.components = components;
        spec.space = JCS_UNKNOWN;
        const std::wstring path = Write(L"odd.jpg", jpegtest::Encode(spec));
        NImageFileJPG jpeg;
        EXPECT_EQ(NR_DECODE_FAILED, jpeg.Load(path.c_str(), 0, 0, nullptr));
    }
}

// ---- ICC profiles ----

class JpegProfileTest : public JpegReadTest {
protected:
    void SetUp() override
    {
        ReadWholeFile(Fixture(L"linear-rgb.icc"), profile);
        ASSERT_GT(profile.size(), 100u);
        EncodeSpec spec;
        spec.width = 24;
        spec.height = 8;
        spec.quality = 100;
        plain = jpegtest::Encode(spec);   // flat grey 128
    }
    // The grey of the picture's centre pixel.
    int LoadCentre(const Bytes& file)
    {
        const std::wstring path = Write(L"profiled.jpg", file);
        NImageFileJPG jpeg;
        EXPECT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
        if (!jpeg.picture.valid)
            return -1;
        return RowFromTop(jpeg.picture, jpeg.picture.height / 2)[3 * (jpeg.picture.width / 2) + 1];
    }
    Bytes profile;
    Bytes plain;
};

// 128 in a linear space is about 188 in sRGB.
constexpr int kLinear128InSrgb = 188;

TEST_F(JpegProfileTest, LinearProfileConvertsToSrgb)
{
    const int converted = LoadCentre(ReadFixture(L"icc-linear.jpg"));
    EXPECT_NEAR(kLinear128InSrgb, converted, 3);
    EXPECT_NEAR(128, LoadCentre(plain), 2);
}

TEST_F(JpegProfileTest, ChunksAreJoinedInSequenceOrderAndBadSetsAreIgnored)
{
    const size_t half = profile.size() / 2;
    const uint8_t* a = profile.data();
    const uint8_t* b = profile.data() + half;
    const size_t bLength = profile.size() - half;
    struct Case {
        const char* name;
        std::vector<Bytes> chunks;
        bool applied;
    };
    const std::vector<Case> cases = {
        {"one chunk", {jpegtest::IccChunk(1, 1, a, profile.size())}, true},
        {"two chunks", {jpegtest::IccChunk(1, 2, a, half), jpegtest::IccChunk(2, 2, b, bLength)}, true},
        {"two chunks reversed", {jpegtest::IccChunk(2, 2, b, bLength), jpegtest::IccChunk(1, 2, a, half)}, true},
        {"second missing", {jpegtest::IccChunk(1, 2, a, half)}, false},
        {"sequence twice", {jpegtest::IccChunk(1, 2, a, half), jpegtest::IccChunk(1, 2, b, bLength)}, false},
        {"counts differ", {jpegtest::IccChunk(1, 2, a, half), jpegtest::IccChunk(2, 3, b, bLength)}, false},
        {"sequence 0", {jpegtest::IccChunk(0, 1, a, profile.size())}, false},
        {"sequence above count", {jpegtest::IccChunk(2, 1, a, profile.size())}, false},
        {"count 0", {jpegtest::IccChunk(1, 0, a, profile.size())}, false},
        {"no bytes", {jpegtest::IccChunk(1, 1, a, 0)}, false},
        {"damaged profile", {jpegtest::IccChunk(1, 1, a, 60)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int centre = LoadCentre(jpegtest::InsertAfterSoi(plain, c.chunks));
        if (c.applied)
            EXPECT_NEAR(kLinear128InSrgb, centre, 3);
        else
            EXPECT_NEAR(128, centre, 2);
    }
}

TEST_F(JpegProfileTest, RgbProfileOnCmykPictureIsNotApplied)
{
    const Bytes file = jpegtest::InsertAfterSoi(ReadFixture(L"cmyk-adobe.jpg"),
                                                {jpegtest::IccChunk(1, 1, profile.data(), profile.size())});
    const std::wstring path = Write(L"cmyk-rgb-profile.jpg", file);
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
    ExpectCmykFormula(jpeg.picture, file);
}

// The CMYK fixture's four patch centres and their sRGB colours as ImageMagick gives them, through
// the file's profile and by the plain inverted formula (see the fixture README).
struct PatchColour {
    int x, y;
    int red, green, blue;
};
constexpr PatchColour kCmykThroughProfile[] = {
    {8, 8, 255, 255, 255}, {24, 8, 13, 255, 255}, {8, 24, 217, 84, 105}, {24, 24, 81, 66, 34}};
constexpr PatchColour kCmykByFormula[] = {
    {8, 8, 255, 255, 255}, {24, 8, 1, 255, 255}, {8, 24, 190, 47, 94}, {24, 24, 0, 0, 0}};

void ExpectPatches(const NImageBuffer& picture, const PatchColour* patches, size_t count, int tolerance)
{
    ASSERT_TRUE(picture.valid);
    ASSERT_EQ(24, picture.bpp);
    for (size_t i = 0; i < count; ++i) {
        const PatchColour& c = patches[i];
        SCOPED_TRACE(testing::Message() << "pixel " << c.x << "," << c.y);
        const uint8_t* p = RowFromTop(picture, c.y) + 3 * c.x;
        EXPECT_NEAR(c.blue, p[0], tolerance);
        EXPECT_NEAR(c.green, p[1], tolerance);
        EXPECT_NEAR(c.red, p[2], tolerance);
    }
}

// The file without its APP2 segments.
Bytes WithoutIcc(const Bytes& file)
{
    Bytes out = file;
    const std::vector<size_t> app2 = jpegtest::FindSegments(file, 0xE2);
    for (auto at = app2.rbegin(); at != app2.rend(); ++at) {
        const size_t length = (static_cast<size_t>(file[*at + 2]) << 8) | file[*at + 3];
        const auto start = out.begin() + static_cast<std::ptrdiff_t>(*at);
        out.erase(start, start + static_cast<std::ptrdiff_t>(2 + length));
    }
    return out;
}

TEST_F(JpegProfileTest, CmykProfileGivesTheColoursImageMagickGives)
{
    const Bytes file = ReadFixture(L"cmyk-icc.jpg");
    ASSERT_EQ(1u, jpegtest::FindSegments(file, 0xE2).size());
    NImageFileJPG profiled;
    ASSERT_EQ(NR_OK, profiled.Load(Fixture(L"cmyk-icc.jpg").c_str(), 0, 0, nullptr));
    ExpectPatches(profiled.picture, kCmykThroughProfile, std::size(kCmykThroughProfile), 4);

    // Without the profile, or with one cut short, the inverted formula applies.
    Bytes cut = WithoutIcc(file);
    const Bytes fullChunk = jpegtest::SegmentBody(file, jpegtest::FindSegments(file, 0xE2).at(0));
    // The chunk header (14 bytes) and the first 300 bytes of the profile.
    cut = jpegtest::InsertAfterSoi(cut, {jpegtest::Segment(0xE2, Bytes(fullChunk.begin(), fullChunk.begin() + 314))});
    const std::pair<const char*, Bytes> plainCases[] = {{"no profile", WithoutIcc(file)}, {"cut profile", cut}};
    for (const auto& [name, bytes] : plainCases) {
        SCOPED_TRACE(name);
        const std::wstring path = Write(L"cmyk-plain.jpg", bytes);
        NImageFileJPG plain;
        ASSERT_EQ(NR_OK, plain.Load(path.c_str(), 0, 0, nullptr));
        ExpectPatches(plain.picture, kCmykByFormula, std::size(kCmykByFormula), 2);
        ExpectCmykFormula(plain.picture, bytes);
    }

    // ImageMagick's sRGB for the flat Adobe CMYK fixture.
    NImageFileJPG flat;
    ASSERT_EQ(NR_OK, flat.Load(Fixture(L"cmyk-adobe.jpg").c_str(), 0, 0, nullptr));
    const PatchColour flatColour[] = {{0, 0, 142, 106, 71}, {15, 7, 142, 106, 71}};
    ExpectPatches(flat.picture, flatColour, std::size(flatColour), 2);
}

// ---- Restart markers and arithmetic coding ----

// The rose coded with restart markers or arithmetic coding decodes to the very pixels of its
// plain Huffman coding, also as a carved candidate followed by other data.
TEST_F(JpegReadTest, RestartMarkersAndArithmeticCodingDecodeToTheSamePixels)
{
    NImageFileJPG baseline;
    ASSERT_EQ(NR_OK, baseline.Load(Fixture(L"rose-baseline.jpg").c_str(), 0, 0, nullptr));
    ASSERT_EQ(70, baseline.picture.width);
    ASSERT_EQ(46, baseline.picture.height);
    const jpegtest::Decoded reference = jpegtest::DecodeReference(ReadFixture(L"rose-baseline.jpg"), JCS_RGB);
    for (int y = 0; y < 46; ++y)
        ASSERT_EQ(0, std::memcmp(ReferenceRowBgr(reference, y).data(), RowFromTop(baseline.picture, y), 70 * 3));

    for (const wchar_t* name : {L"rose-restart.jpg", L"rose-arithmetic.jpg"}) {
        const Bytes file = ReadFixture(name);
        Bytes candidate = file;
        candidate.resize(file.size() + 6000, 0x5A);
        for (const auto& [bytes, consumed] : {std::pair<Bytes, uint64_t>{file, file.size()}, {candidate, 4096}}) {
            SCOPED_TRACE(testing::Message() << "fixture " << name << ", " << bytes.size() << " bytes");
            const std::wstring path = Write(L"coded.jpg", bytes);
            NImageFileJPG jpeg;
            ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
            ASSERT_EQ(70, jpeg.picture.width);
            ASSERT_EQ(46, jpeg.picture.height);
            for (int y = 0; y < 46; ++y)
                ASSERT_EQ(0, std::memcmp(RowFromTop(baseline.picture, y), RowFromTop(jpeg.picture, y), 70 * 3))
                    << "row " << y;
            EXPECT_EQ(consumed, jpeg.GetConsumedSize());
        }
    }
}

TEST_F(JpegReadTest, DamagedRestartIntervalSpoilsOnlyItsOwnRows)
{
    Bytes file = ReadFixture(L"rose-restart.jpg");
    const size_t sos = jpegtest::FindSegments(file, 0xDA).at(0);
    const size_t scan = sos + 2 + ((static_cast<size_t>(file[sos + 2]) << 8) | file[sos + 3]);
    size_t firstRestart = scan;
    while (firstRestart + 1 < file.size() && !(file[firstRestart] == 0xFF && file[firstRestart + 1] == 0xD0))
        ++firstRestart;
    ASSERT_LT(firstRestart + 1, file.size());
    // Scramble the middle half of the first interval (MCU row 0, picture rows 0-15) without
    // making or breaking any FF byte.
    const size_t length = firstRestart - scan;
    for (size_t i = scan + length / 4; i < scan + 3 * length / 4; ++i) {
        if (file[i] == 0xFF || file[i - 1] == 0xFF || (file[i] ^ 0x5A) == 0xFF)
            continue;
        file[i] ^= 0x5A;
    }
    const std::wstring path = Write(L"damaged-restart.jpg", file);
    NImageFileJPG damaged;
    ASSERT_EQ(NR_OK, damaged.Load(path.c_str(), 0, 0, nullptr));
    NImageFileJPG baseline;
    ASSERT_EQ(NR_OK, baseline.Load(Fixture(L"rose-baseline.jpg").c_str(), 0, 0, nullptr));
    ASSERT_EQ(46, damaged.picture.height);
    bool spoilt = false;
    for (int y = 0; y < 16; ++y)
        spoilt |= std::memcmp(RowFromTop(baseline.picture, y), RowFromTop(damaged.picture, y), 70 * 3) != 0;
    EXPECT_TRUE(spoilt);
    // Row 16 shares chroma with the damaged row block; from row 17 on the decoder is back in step.
    for (int y = 17; y < 46; ++y)
        EXPECT_EQ(0, std::memcmp(RowFromTop(baseline.picture, y), RowFromTop(damaged.picture, y), 70 * 3))
            << "row " << y;
}

TEST_F(JpegReadTest, CutArithmeticStreams)
{
    const Bytes file = ReadFixture(L"rose-arithmetic.jpg");
    const size_t scan = jpegtest::FindSegments(file, 0xDA).at(0);
    struct Case {
        const char* name;
        size_t size;
        NRESULT result;
    };
    // Cut inside the scan, libjpeg fills the rest of the picture and warns; cut in the headers,
    // there is no picture.
    const Case cases[] = {
        {"two thirds", file.size() * 2 / 3, NR_OK},
        {"right after the scan header", scan + 10, NR_OK},
        {"inside the headers", scan - 20, NR_DECODE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(c.size));
        const std::wstring path = Write(L"cut-arithmetic.jpg", cut);
        NImageFileJPG jpeg;
        EXPECT_EQ(c.result, jpeg.Load(path.c_str(), 0, 0, nullptr));
        if (c.result == NR_OK) {
            EXPECT_EQ(70, jpeg.picture.width);
            EXPECT_EQ(46, jpeg.picture.height);
            EXPECT_EQ(c.size, jpeg.GetConsumedSize());
        } else {
            EXPECT_FALSE(jpeg.picture.valid);
            EXPECT_FALSE(jpeg.decoderMessage.IsEmpty());
        }
    }
}

// ---- Consumed size ----

// A small JPEG padded with a comment so that its end-of-image marker ends exactly at `end`.
Bytes JpegEndingAt(size_t end)
{
    EncodeSpec spec;
    spec.width = 32;
    spec.height = 32;
    const Bytes base = jpegtest::Encode(spec);
    const size_t padding = end - base.size() - 4;
    return jpegtest::InsertAfterSoi(base, {jpegtest::Segment(0xFE, Bytes(padding, 'c'))});
}

TEST_F(JpegReadTest, ConsumedSizeIsTheEndOfTheReadBlockHoldingTheEnd)
{
    struct Case {
        size_t jpegEnd;
        size_t fileSize;
        uint64_t consumed;
    };
    const Case cases[] = {
        {5000, 10000, 8192},   // EOI inside the second 4096-byte block
        {5000, 6000, 6000},    // the file ends before that block does
        {5000, 5000, 5000},
        {4096, 9000, 4096},    // EOI ends exactly at a block's end
        {1000, 1000, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "end " << c.jpegEnd << " file " << c.fileSize);
        Bytes file = JpegEndingAt(c.jpegEnd);
        ASSERT_EQ(c.jpegEnd, file.size());
        file.resize(c.fileSize, 0x5A);
        const std::wstring path = Write(L"candidate.jpg", file);
        NImageFileJPG jpeg;
        ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 1, nullptr));
        EXPECT_EQ(c.consumed, jpeg.GetConsumedSize());
    }
}

TEST_F(JpegReadTest, TruncatedPictureLoadsWholeAndConsumesTheFile)
{
    EncodeSpec spec;
    spec.width = 64;
    spec.height = 64;
    spec.fill = [](int row, uint8_t* s) {
        for (int i = 0; i < 64 * 3; ++i)
            s[i] = static_cast<uint8_t>(row * 7 + i * 13);
    };
    Bytes file = jpegtest::Encode(spec);
    file.resize(file.size() * 2 / 3);
    const std::wstring path = Write(L"truncated.jpg", file);
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(64, jpeg.picture.width);
    EXPECT_EQ(64, jpeg.picture.height);
    EXPECT_EQ(file.size(), jpeg.GetConsumedSize());
}

// ---- Errors ----

size_t CountInFile(const std::wstring& path, const std::string& needle)
{
    Bytes bytes;
    if (!ReadWholeFile(path, bytes))
        return 0;
    const std::string text(bytes.begin(), bytes.end());
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

TEST_F(JpegReadTest, NonJpegAnswersNotThisFormatWithOneLogLine)
{
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1};
    const std::wstring path = Write(L"not-a-jpeg-7f3a.jpg", png);
    // The log outlives the run: count the lines this load adds.
    const std::wstring log = ProgramFolder() + L"\\_NLogMsg.txt";
    const std::string line = "JPG Decoder: Not a JPEG file: starts with 0x89 0x50 - " + Narrow(path);
    const auto before = CountInFile(log, line);
    NImageFileJPG jpeg;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, jpeg.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_NE(-1, jpeg.decoderMessage.Find(L"Not a JPEG file"));
    EXPECT_EQ(before + 1, CountInFile(log, line));
    EXPECT_EQ(NR_FILE_OPEN_READ, jpeg.Load(dir.File(L"missing.jpg").c_str(), 0, 0, nullptr));
}

// Corrupt streams: one that libjpeg rejects in the header, and one whose error comes after the
// picture and a colour transform exist (a bad quantisation table after the scan).
std::vector<std::pair<const char*, Bytes>> CorruptStreams(const Bytes& profile)
{
    EncodeSpec spec;
    spec.width = 1200;
    spec.height = 64;
    const Bytes good = jpegtest::Encode(spec);
    Bytes zeroWidth = good;
    const size_t sof = jpegtest::FindSegments(good, 0xC0).at(0);
    zeroWidth[sof + 7] = 0;
    zeroWidth[sof + 8] = 0;
    Bytes badTable = jpegtest::InsertBeforeEoi(good, jpegtest::Segment(0xDB, Bytes(65, 0x07)));
    badTable = jpegtest::InsertAfterSoi(badTable, {jpegtest::IccChunk(1, 1, profile.data(), profile.size())});
    return {{"zero width", zeroWidth}, {"bad table after the scan", badTable}};
}

TEST_F(JpegReadTest, CorruptStreamReturnsDecodeFailedAndReleasesEverything)
{
    Bytes profile;
    ReadWholeFile(Fixture(L"linear-rgb.icc"), profile);
    for (const auto& [name, bytes] : CorruptStreams(profile)) {
        SCOPED_TRACE(name);
        const std::wstring path = Write(L"corrupt.jpg", bytes);
        {
            NImageFileJPG jpeg;
            EXPECT_EQ(NR_DECODE_FAILED, jpeg.Load(path.c_str(), 0, 0, nullptr));
            EXPECT_FALSE(jpeg.decoderMessage.IsEmpty());
        }
        // The file was closed: it can be deleted.
        EXPECT_TRUE(DeleteFileW(path.c_str()));

        // Repeated failures leave no handles and no memory behind.
        Write(L"corrupt.jpg", bytes);
        auto decodeMany = [&](int times) {
            NImageFileJPG jpeg;
            for (int i = 0; i < times; ++i)
                jpeg.Load(path.c_str(), 0, 0, nullptr);
        };
        decodeMany(20);
        DWORD handlesBefore = 0;
        GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
        PROCESS_MEMORY_COUNTERS_EX before = {};
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof(before));
        decodeMany(300);
        DWORD handlesAfter = 0;
        GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
        PROCESS_MEMORY_COUNTERS_EX after = {};
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof(after));
        EXPECT_LE(handlesAfter, handlesBefore + 2);
        EXPECT_LT(static_cast<int64_t>(after.PrivateUsage) - static_cast<int64_t>(before.PrivateUsage),
                  8 * 1024 * 1024);
    }
}

TEST_F(JpegReadTest, DecodesOnSeveralThreadsKeepTheirErrorsApart)
{
    Bytes profile;
    ReadWholeFile(Fixture(L"linear-rgb.icc"), profile);
    const std::wstring corrupt = Write(L"threads-corrupt.jpg", CorruptStreams(profile)[1].second);
    const std::wstring good = Fixture(L"icc-linear.jpg");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                NImageFileJPG jpeg;
                const bool bad = (i + t) % 2 == 0;
                const NRESULT r = jpeg.Load((bad ? corrupt : good).c_str(), 0, 1, nullptr);
                if (r != (bad ? NR_DECODE_FAILED : NR_OK))
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong.load());
}

TEST_F(JpegReadTest, DecodeStreamAnswersErrorsAndLeavesTheFileOpen)
{
    Bytes profile;
    ReadWholeFile(Fixture(L"linear-rgb.icc"), profile);
    const Bytes corrupt = CorruptStreams(profile)[0].second;
    const std::wstring path = Write(L"stream.bin", corrupt);
    FILE* file = _wfopen(path.c_str(), L"rb");
    ASSERT_NE(nullptr, file);
    NImageBuffer picture;
    EXPECT_EQ(NR_DECODE_FAILED, NImageFileJPG::DecodeStream(nullptr, picture, file, 0));
    EXPECT_EQ(0, std::fseek(file, 0, SEEK_SET));   // still open
    std::fclose(file);

    const std::wstring textPath = Write(L"text.bin", jpegtest::Text("plain text, no picture"));
    file = _wfopen(textPath.c_str(), L"rb");
    ASSERT_NE(nullptr, file);
    NImageFileJPG owner;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, NImageFileJPG::DecodeStream(&owner, picture, file, 0));
    EXPECT_NE(-1, owner.decoderMessage.Find(L"Not a JPEG file"));
    std::fclose(file);
}

// ---- Scaled decoding ----

std::wstring WriteFlat(TestDir& dir, const wchar_t* name, int width, int height, int components)
{
    EncodeSpec spec;
    spec.width = width;
    spec.height = height;
    spec.components = components;
    spec.space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    spec.quality = 50;
    const std::wstring path = dir.File(name);
    EXPECT_TRUE(WriteWholeFile(path, jpegtest::Encode(spec)));
    return path;
}

TEST_F(JpegReadTest, PreviewDecodesAtAFractionByTheLargerSide)
{
    struct Case {
        int width, height, outWidth, outHeight;
    };
    const Case cases[] = {
        {2001, 8, 251, 1}, {2000, 8, 500, 2}, {8, 1001, 2, 251}, {1000, 8, 500, 4}, {501, 8, 251, 4}, {500, 8, 500, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const std::wstring path = WriteFlat(dir, L"preview.jpg", c.width, c.height, 1);
        NImageFileJPG jpeg;
        ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 1, 1, nullptr));
        EXPECT_EQ(c.outWidth, jpeg.picture.width);
        EXPECT_EQ(c.outHeight, jpeg.picture.height);
        EXPECT_EQ(c.width, jpeg.fullWidth);
        EXPECT_EQ(c.height, jpeg.fullHeight);
    }
}

TEST_F(JpegReadTest, CameraSizedPreviewIsAnEighth)
{
    const std::wstring path = WriteFlat(dir, L"camera.jpg", 6000, 4000, 3);
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 1, 1, nullptr));
    EXPECT_EQ(750, jpeg.picture.width);
    EXPECT_EQ(500, jpeg.picture.height);
    EXPECT_EQ(6000, jpeg.fullWidth);
    EXPECT_EQ(4000, jpeg.fullHeight);
}

TEST_F(JpegReadTest, ShrinkOptionScalesOnlyWhenBothSidesAreLarge)
{
    struct Case {
        int width, height, outWidth, outHeight;
    };
    const Case cases[] = {{4004, 4004, 1001, 1001}, {4003, 4004, 2002, 2002}, {2001, 3000, 2001, 3000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const std::wstring path = WriteFlat(dir, L"large.jpg", c.width, c.height, 1);
        NImageFileJPG jpeg;
        ImageLoadOptions options;
        options.shrinkLargePictures = 1;
        jpeg.SetLoadOptions(&options);
        ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
        EXPECT_EQ(c.outWidth, jpeg.picture.width);
        EXPECT_EQ(c.outHeight, jpeg.picture.height);
        EXPECT_EQ(c.width, jpeg.fullWidth);
    }
    // Without the option the picture keeps its size.
    const std::wstring path = WriteFlat(dir, L"large.jpg", 4004, 8, 1);
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(4004, jpeg.picture.width);
}

TEST_F(JpegReadTest, DecodeStreamPreviewUsesItsOwnLimits)
{
    const int cases[][2] = {{1601, 201}, {1600, 400}, {801, 201}, {800, 400}, {401, 201}, {400, 400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        const std::wstring path = WriteFlat(dir, L"stream.jpg", c[0], 8, 1);
        FILE* file = _wfopen(path.c_str(), L"rb");
        ASSERT_NE(nullptr, file);
        NImageFileJPG owner;
        NImageBuffer picture;
        EXPECT_EQ(NR_OK, NImageFileJPG::DecodeStream(&owner, picture, file, 1));
        std::fclose(file);
        EXPECT_EQ(c[1], picture.width);
        EXPECT_EQ(c[0], owner.fullWidth);
    }
}

// ---- Metadata ----

TEST_F(JpegReadTest, ExifOrientationTurnsThePictureOnlyWhenAsked)
{
    const std::wstring path = Fixture(L"exif-orientation6.jpg");
    NImageFileJPG plain;
    ASSERT_EQ(NR_OK, plain.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_TRUE(plain.metadata.exif.hasExif);
    EXPECT_EQ(24, plain.picture.width);
    EXPECT_EQ(16, plain.picture.height);

    NImageFileJPG turned;
    ImageLoadOptions options;
    options.applyOrientation = 1;
    turned.SetLoadOptions(&options);
    ASSERT_EQ(NR_OK, turned.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_EQ(16, turned.picture.width);
    ASSERT_EQ(24, turned.picture.height);
    // Orientation 6: the stored left half (red) becomes the top.
    const uint8_t* top = RowFromTop(turned.picture, 2) + 3 * 8;
    const uint8_t* bottom = RowFromTop(turned.picture, 21) + 3 * 8;
    EXPECT_GT(top[2], 200);
    EXPECT_LT(top[0], 60);
    EXPECT_GT(bottom[0], 200);
    EXPECT_LT(bottom[2], 60);
    EXPECT_EQ(24, turned.fullWidth);
}

TEST_F(JpegReadTest, PreviewReadsTheDescriptiveExifTexts)
{
    const std::wstring path = Fixture(L"exif-orientation6.jpg");
    NImageFileJPG preview;
    ASSERT_EQ(NR_OK, preview.Load(path.c_str(), 1, 1, nullptr));
    EXPECT_STREQ(L"TestCam", preview.metadata.make.c_str());
    EXPECT_STREQ(L"", preview.metadata.model.c_str());
    EXPECT_STREQ(L"2021:06:15 10:20:30", preview.metadata.date.c_str());
    EXPECT_EQ(300, preview.metadata.resolutionX);
    EXPECT_EQ(300, preview.metadata.resolutionY);

    NImageFileJPG full;
    ASSERT_EQ(NR_OK, full.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_TRUE(full.metadata.make.IsEmpty());
    EXPECT_EQ(96, full.metadata.resolutionX);
}

// An EXIF APP1 segment with only the given IFD0 text tags.
Bytes ExifSegment(const std::vector<std::pair<ExifTag, const char*>>& tags)
{
    ExifData* data = exif_data_new();
    for (const auto& [tag, text] : tags) {
        ExifEntry* entry = exif_entry_new();
        exif_content_add_entry(data->ifd[EXIF_IFD_0], entry);
        exif_entry_initialize(entry, tag);
        ExifMem* mem = exif_mem_new_default();
        if (entry->data)
            exif_mem_free(mem, entry->data);
        const size_t size = std::strlen(text) + 1;
        entry->data = static_cast<unsigned char*>(exif_mem_alloc(mem, static_cast<ExifLong>(size)));
        std::memcpy(entry->data, text, size);
        entry->size = static_cast<unsigned>(size);
        entry->components = size;
        entry->format = EXIF_FORMAT_ASCII;
        exif_mem_unref(mem);
        exif_entry_unref(entry);
    }
    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    exif_data_save_data(data, &bytes, &length);
    Bytes body(bytes, bytes + length);
    std::free(bytes);
    exif_data_unref(data);
    return jpegtest::Segment(0xE1, body);
}

TEST_F(JpegReadTest, PreviewFallsBackToSoftwareAndTheFileDate)
{
    const Bytes file = jpegtest::InsertAfterSoi(jpegtest::Encode(EncodeSpec()),
                                                {ExifSegment({{EXIF_TAG_SOFTWARE, "PaintTool 2"}})});
    const std::wstring path = Write(L"software.jpg", file);
    SYSTEMTIME when = {2019, 11, 0, 23, 8, 5, 0, 0};
    FILETIME local = {};
    FILETIME utc = {};
    ASSERT_TRUE(SystemTimeToFileTime(&when, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    ASSERT_TRUE(SetFileTime(handle, nullptr, nullptr, &utc));
    CloseHandle(handle);

    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 1, 1, nullptr));
    EXPECT_STREQ(L"PaintTool 2", jpeg.metadata.make.c_str());
    EXPECT_STREQ(L"2019/11/23 08:05", jpeg.metadata.date.c_str());
    // libexif completes the main directory with its mandatory entries when it reads EXIF data,
    // so a block without resolution reads as 72 dpi.
    EXPECT_EQ(72, jpeg.metadata.resolutionX);
}

TEST_F(JpegReadTest, CommentsAreJoinedAndTheLastXmpPacketWins)
{
    const std::string signature("http://ns.adobe.com/xap/1.0/\0", 29);
    auto xmp = [&](const std::string& packet) { return jpegtest::Segment(0xE1, jpegtest::Text(signature + packet)); };
    const std::string first = "<x:xmpmeta first packet, long enough to count/>";
    const std::string second = "<x:xmpmeta second packet, long enough as well/>";
    const Bytes file = jpegtest::InsertAfterSoi(
        jpegtest::Encode(EncodeSpec()),
        {jpegtest::Segment(0xFE, jpegtest::Text("first ")), xmp(first),
         jpegtest::Segment(0xFE, jpegtest::Text("second")), xmp(second + std::string("\0tail", 5)), xmp("short")});
    const std::wstring path = Write(L"texts.jpg", file);
    NImageFileJPG jpeg;
    jpeg.metadata.comment = L"old";
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_STREQ(L"first second", jpeg.metadata.comment.c_str());
    EXPECT_EQ(second, jpeg.metadata.xmp);
}

TEST_F(JpegReadTest, PathOutsideTheAnsiCodePageStillReadsExif)
{
    Bytes file;
    ReadWholeFile(Fixture(L"exif-orientation6.jpg"), file);
    const std::wstring path = Write(L"\x0444\x043E\x0442\x043E-\x5199\x771F.jpg", file);
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(path.c_str(), 1, 1, nullptr));
    EXPECT_TRUE(jpeg.metadata.exif.hasExif);
    EXPECT_STREQ(L"TestCam", jpeg.metadata.make.c_str());
}

TEST_F(JpegReadTest, ExifToolThumbnailReachesTheMetadata)
{
    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.Load(Fixture(L"exif-thumbnail.jpg").c_str(), 1, 1, nullptr));
    EXPECT_STREQ(L"TestCam", jpeg.metadata.make.c_str());
    EXPECT_STREQ(L"TC-1 Mark II", jpeg.metadata.model.c_str());
    EXPECT_STREQ(L"2022:03:04 05:06:07", jpeg.metadata.date.c_str());
    ExifData* data = jpeg.metadata.exif.data;
    ASSERT_NE(nullptr, data);
    ASSERT_EQ(598u, data->size);
    EXPECT_EQ(0xFF, data->data[0]);
    EXPECT_EQ(0xD8, data->data[1]);

    // The thumbnail itself is a JPEG of its own.
    const std::wstring path = Write(L"thumbnail.jpg", Bytes(data->data, data->data + data->size));
    NImageFileJPG thumbnail;
    ASSERT_EQ(NR_OK, thumbnail.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(32, thumbnail.picture.width);
    EXPECT_EQ(21, thumbnail.picture.height);
}

// ---- The embedded-JPEG search ----

TEST_F(JpegReadTest, EmbeddedJpegIsFoundAndCountedFromTheFileStart)
{
    EncodeSpec spec;
    spec.width = 40;
    spec.height = 30;
    const Bytes picture = jpegtest::Encode(spec);
    Bytes file(1000, 0x11);
    file.insert(file.end(), picture.begin(), picture.end());
    file.resize(file.size() + 20000, 0x22);
    const std::wstring path = Write(L"container.bin", file);

    NImageFileJPG jpeg;
    ASSERT_EQ(NR_OK, jpeg.LoadEmbeddedJpeg(path.c_str(), nullptr));
    EXPECT_EQ(40, jpeg.picture.width);
    EXPECT_EQ(40, jpeg.fullWidth);
    EXPECT_EQ(30, jpeg.fullHeight);
    // libjpeg reads in 4096-byte blocks from the start of the stream.
    EXPECT_EQ(1000u + 4096u * ((picture.size() + 4095) / 4096), jpeg.GetConsumedSize());

    NImageBuffer target;
    NImageFileJPG other;
    ASSERT_EQ(NR_OK, other.LoadEmbeddedJpeg(path.c_str(), &target));
    EXPECT_EQ(30, target.height);
    EXPECT_FALSE(other.picture.valid);
}

TEST_F(JpegReadTest, EmbeddedSearchCoversOnlyTheFirst100KB)
{
    const Bytes picture = jpegtest::Encode(EncodeSpec());
    struct Case {
        size_t offset;
        NRESULT result;
    };
    // The last offset whose 10-byte window fits in 102400 bytes is 102390.
    const Case cases[] = {{102390, NR_OK}, {102391, NR_NOT_THIS_FORMAT}, {0, NR_OK}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        Bytes file(c.offset, 0);
        file.insert(file.end(), picture.begin(), picture.end());
        const std::wstring path = Write(L"search.bin", file);
        NImageFileJPG jpeg;
        EXPECT_EQ(c.result, jpeg.LoadEmbeddedJpeg(path.c_str(), nullptr));
    }
    NImageFileJPG jpeg;
    EXPECT_EQ(NR_FILE_OPEN_READ, jpeg.LoadEmbeddedJpeg(dir.File(L"missing.bin").c_str(), nullptr));
}

}  // namespace
