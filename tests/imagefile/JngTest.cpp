// The JNG format class: ImageMagick's JNG files (colour, JPEG colour with a deflated alpha
// channel, grey), the consumed size of carved candidates, truncated and damaged files, the
// signature window, and writing (chunk layout, colour order, alpha, progressive mode, how the
// streams are cut into chunks) read back through the reader.
#include "imagefile/formats/NImageFileJNG.h"

#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using pngtest::Bytes;
using pngtest::Row;

namespace {

Bytes Fixture(const std::wstring& name)
{
    return pngtest::ReadFixture(L"mng\\" + name);
}

std::wstring FixturePath(const std::wstring& name)
{
    return TestDataPath(L"mng\\" + name);
}

// Chunk types of a JNG or MNG file in order.
std::vector<std::string> ChunkTypes(const Bytes& file)
{
    std::vector<std::string> types;
    for (const auto& chunk : pngtest::Chunks(file))
        types.push_back(chunk.type);
    return types;
}

// Mean absolute difference of the colour bytes between a 24- or 32-bit picture and a red,
// green, blue reference (top row first).
double MeanError(const NImageBuffer& pic, const Bytes& rgb)
{
    const int step = pic.bpp / 8;
    double sum = 0;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const uint8_t* p = Row(pic, y) + x * step;
            const uint8_t* r = &rgb[(static_cast<size_t>(y) * pic.width + x) * 3];
            sum += std::abs(p[2] - r[0]) + std::abs(p[1] - r[1]) + std::abs(p[0] - r[2]);
        }
    }
    return sum / (3.0 * pic.width * pic.height);
}

size_t CountOf(const std::vector<std::string>& types, const char* type)
{
    return static_cast<size_t>(std::count(types.begin(), types.end(), type));
}

class JngTest : public ::testing::Test {
protected:
    std::wstring Write(const Bytes& bytes, const wchar_t* name = L"test.jng")
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }

    TestDir dir;
};

TEST_F(JngTest, ImageMagickFilesLoadAtTheirDepth)
{
    NImageFileJNG colour;
    ASSERT_EQ(colour.Load(FixturePath(L"colour.jng").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(colour.picture.bpp, 24);
    EXPECT_EQ(colour.picture.width, 24);
    EXPECT_EQ(colour.picture.height, 16);
    EXPECT_EQ(colour.fullWidth, 24);
    EXPECT_EQ(colour.fullHeight, 16);
    EXPECT_LT(MeanError(colour.picture, Fixture(L"frame0.rgb")), 4.0);
    // Blue-first: the block at the top right is red 200, green 0, blue 60.
    const uint8_t* p = Row(colour.picture, 3) + 20 * 3;
    EXPECT_NEAR(p[0], 60, 12);
    EXPECT_NEAR(p[1], 0, 12);
    EXPECT_NEAR(p[2], 200, 12);

    // JPEG colour with deflated alpha: 32 bits, the alpha exact.
    NImageFileJNG alpha;
    ASSERT_EQ(alpha.Load(FixturePath(L"alpha.jng").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(alpha.picture.bpp, 32);
    EXPECT_EQ(alpha.picture.width, 20);
    EXPECT_EQ(alpha.picture.height, 12);
    EXPECT_EQ(Row(alpha.picture, 2)[3 * 4 + 3], 255);
    EXPECT_EQ(Row(alpha.picture, 2)[15 * 4 + 3], 128);
    EXPECT_EQ(Row(alpha.picture, 11)[5 * 4 + 3], 0);
    const uint8_t* red = Row(alpha.picture, 4) + 4 * 4;
    EXPECT_NEAR(red[2], 240, 16);
    EXPECT_NEAR(red[1], 20, 16);

    // Grey (colour type 8) loads at 32 bits, opaque.
    NImageFileJNG grey;
    ASSERT_EQ(grey.Load(FixturePath(L"grey.jng").c_str(), 1, 1, nullptr), NR_OK);
    ASSERT_EQ(grey.picture.bpp, 32);
    EXPECT_EQ(grey.picture.width, 16);
    EXPECT_EQ(grey.picture.height, 10);
    const uint8_t* g = Row(grey.picture, 5) + 4 * 4;   // (4 * 16 + 5 * 2) = 74
    EXPECT_NEAR(g[0], 74, 10);
    EXPECT_EQ(g[0], g[2]);
    EXPECT_EQ(g[3], 255);
}

TEST_F(JngTest, LoadIntoTargetLeavesOwnPictureEmpty)
{
    NImageFileJNG jng;
    NImageBuffer target;
    ASSERT_EQ(jng.Load(FixturePath(L"colour.jng").c_str(), 0, 0, &target), NR_OK);
    EXPECT_TRUE(target.valid);
    EXPECT_FALSE(jng.picture.valid);
    EXPECT_EQ(jng.GetFormatId(), 17);
}

TEST_F(JngTest, CarvedCandidateIsCutAfterIend)
{
    for (const wchar_t* name : {L"colour.jng", L"alpha.jng"}) {
        const Bytes original = Fixture(name);
        const std::wstring carved = std::wstring(L"carved-") + std::wstring(name).substr(0, std::wstring(name).size() - 4) +
                                    L".jng.bin";
        NImageFileJNG jng;
        ASSERT_EQ(jng.Load(FixturePath(carved).c_str(), 0, 1, nullptr), NR_OK) << carved;
        EXPECT_EQ(jng.GetConsumedSize(), original.size()) << carved;
    }
}

TEST_F(JngTest, DamagedJpegDataStillConsumesTheWholeStream)
{
    // The JPEG stream broken right after its start: libmng fails, the chunks still end at IEND.
    Bytes bytes = Fixture(L"colour.jng");
    const size_t originalSize = bytes.size();
    for (const auto& chunk : pngtest::Chunks(bytes)) {
        if (chunk.type == "JDAT") {
            for (size_t i = 4; i < chunk.length; ++i)
                bytes[chunk.offset + 8 + i] = 0xFF;
        }
    }
    bytes.insert(bytes.end(), {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!', '!', '!', '!', '!', '!'});
    NImageFileJNG jng;
    const NRESULT result = jng.Load(Write(bytes).c_str(), 0, 0, nullptr);
    EXPECT_NE(result, NR_NOT_THIS_FORMAT);
    EXPECT_EQ(jng.GetConsumedSize(), originalSize);
}

TEST_F(JngTest, SignatureWithBrokenContentIsADecodeError)
{
    Bytes bytes = {0x8B, 'J', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 1, 'x', 'y', 'z', 'w', 0, 0, 0, 0, 0};
    NImageFileJNG jng;
    EXPECT_EQ(jng.Load(Write(bytes).c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    EXPECT_EQ(std::wstring(jng.GetFileName()), dir.File(L"test.jng"));

    NImageFileJNG other;
    EXPECT_EQ(other.Load(FixturePath(L"single.mng").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(other.Load(dir.File(L"missing.jng").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST_F(JngTest, TruncatedCopiesNeverCrash)
{
    for (const wchar_t* name : {L"colour.jng", L"alpha.jng", L"grey.jng"}) {
        const Bytes original = Fixture(name);
        for (size_t cut = 0; cut < original.size(); cut += (cut < 64 ? 1 : 7)) {
            const Bytes part(original.begin(), original.begin() + cut);
            const std::wstring path = Write(part, L"cut.jng");
            NImageFileJNG jng;
            const NRESULT result = jng.Load(path.c_str(), 0, 0, nullptr);
            EXPECT_LE(jng.GetConsumedSize(), cut);
            if (result == NR_OK) {
                EXPECT_TRUE(jng.picture.valid);
            }
            if (cut > 8) {
                EXPECT_EQ(jng.GetConsumedSize(), cut) << "a truncated stream keeps all of its bytes";
            }
        }
    }
}

TEST_F(JngTest, SignatureWindow)
{
    const uint8_t ten[10] = {0x8B, 'J', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0};
    EXPECT_TRUE(NImageFileJNG::IsFormat(ten, 0, 10));
    EXPECT_FALSE(NImageFileJNG::IsFormat(ten, 6, 10));
    EXPECT_TRUE(NImageFileJNG::IsFormat(ten, 0, 5));
    for (uint64_t length = 0; length < 5; ++length)
        EXPECT_FALSE(NImageFileJNG::IsFormat(ten, 0, length)) << length;
    EXPECT_FALSE(NImageFileJNG::IsFormat(nullptr, 0, 10));
    const uint8_t mng[5] = {0x8A, 'M', 'N', 'G', 0x0D};
    EXPECT_FALSE(NImageFileJNG::IsFormat(mng, 0, 5));
}

TEST_F(JngTest, PiecesOfTheEncodedStreams)
{
    uint64_t colourPiece = 0;
    uint64_t alphaPiece = 0;
    NImageFileJNG::PieceSizes(1049, 0, false, colourPiece, alphaPiece);
    EXPECT_EQ(colourPiece, 104u);
    std::vector<uint64_t> pieces;
    for (uint64_t left = 1049; left > 0;) {
        const uint64_t m = NImageFileJNG::NextPieceSize(left, colourPiece);
        pieces.push_back(m);
        left -= m;
    }
    std::vector<uint64_t> expected(9, 104);
    expected.push_back(113);
    EXPECT_EQ(pieces, expected);

    EXPECT_EQ(NImageFileJNG::NextPieceSize(3, 2), 2u);
    EXPECT_EQ(NImageFileJNG::NextPieceSize(1, 2), 1u);

    struct Case {
        uint64_t colour, alpha;
        bool progressive;
        uint64_t colourPiece, alphaPiece;
    };
    for (const Case& c : {Case{9, 0, false, 1, 1}, Case{34, 0, true, 34, 1}, Case{3500, 700, true, 3500, 500},
                          Case{3500, 7000, true, 3500, 1000}, Case{1000, 2000, false, 100, 200}}) {
        NImageFileJNG::PieceSizes(c.colour, c.alpha, c.progressive, colourPiece, alphaPiece);
        EXPECT_EQ(colourPiece, c.colourPiece) << c.colour;
        EXPECT_EQ(alphaPiece, c.alphaPiece) << c.colour;
    }
}

// A 40 x 24 picture: pure red left half, pure blue right half.
void FillHalves(NImageBuffer& pic, int bpp)
{
    ASSERT_TRUE(pic.Create(40, 24, bpp, 0));
    for (int y = 0; y < 24; ++y) {
        uint8_t* row = pic.bits + static_cast<size_t>(y) * pic.stride;
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = row + x * (bpp / 8);
            p[0] = x < 20 ? 0 : 255;
            p[1] = 0;
            p[2] = x < 20 ? 255 : 0;
            if (bpp == 32)
                p[3] = (23 - y) < 12 ? 255 : 64;   // the top half opaque
        }
    }
}

TEST_F(JngTest, WritesColourAndReadsItBack)
{
    NImageBuffer pic;
    FillHalves(pic, 24);
    NImageFileJNG writer;
    const std::wstring path = dir.File(L"out.jng");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    const auto chunks = pngtest::Chunks(bytes);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "JHDR");
    EXPECT_EQ(chunks.front().data[8], 10);   // colour type
    EXPECT_EQ(chunks.front().data[11], 0);   // not progressive
    EXPECT_EQ(chunks.back().type, "IEND");
    for (const std::string& type : ChunkTypes(bytes))
        EXPECT_NE(type, "JDAA");

    NImageFileJNG reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.picture.bpp, 24);
    EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
    const uint8_t* left = Row(reader.picture, 12) + 5 * 3;
    const uint8_t* right = Row(reader.picture, 12) + 35 * 3;
    EXPECT_LT(left[0], 20);
    EXPECT_GT(left[2], 235);
    EXPECT_GT(right[0], 235);
    EXPECT_LT(right[2], 20);
}

TEST_F(JngTest, WritesAlphaAsJpegChunksAndPaletteAsColour)
{
    NImageBuffer pic;
    FillHalves(pic, 32);
    NImageFileJNG writer;
    writer.saveOptions.jngProgressive = 1;
    const std::wstring path = dir.File(L"alpha.jng");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    const auto types = ChunkTypes(bytes);
    ASSERT_GE(types.size(), 4u);
    EXPECT_EQ(pngtest::Chunks(bytes).front().data[8], 14);
    EXPECT_EQ(pngtest::Chunks(bytes).front().data[11], 8);   // progressive
    EXPECT_EQ(pngtest::Chunks(bytes).front().data[12], 8);   // alpha sample depth
    EXPECT_EQ(types[1], "JDAA");
    EXPECT_EQ(types[2], "JDAT");
    EXPECT_EQ(CountOf(types, "JDAT"), 1u) << "a progressive colour stream stays whole";
    EXPECT_GT(CountOf(types, "JDAA"), 1u);

    NImageFileJNG reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.picture.bpp, 32);
    EXPECT_NEAR(Row(reader.picture, 3)[10 * 4 + 3], 255, 3);
    EXPECT_NEAR(Row(reader.picture, 20)[10 * 4 + 3], 64, 3);
    EXPECT_GT(Row(reader.picture, 3)[10 * 4 + 2], 235);

    // An opaque 32-bit picture still gets the alpha stream; an 8-bit one is written as colour.
    NImageBuffer opaque;
    ASSERT_TRUE(opaque.Create(8, 8, 32, 0));
    ASSERT_TRUE(opaque.SetChannel(4, 255));
    ASSERT_EQ(writer.Save(path.c_str(), &opaque, nullptr), NR_OK);
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(pngtest::Chunks(bytes).front().data[8], 14);

    NImageBuffer palette;
    ASSERT_TRUE(palette.Create(8, 8, 8, RGB(0, 255, 0)));
    ASSERT_EQ(writer.Save(path.c_str(), &palette, nullptr), NR_OK);
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(pngtest::Chunks(bytes).front().data[8], 10);
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_GT(Row(reader.picture, 4)[4 * 3 + 1], 235);
}

TEST_F(JngTest, SaveFailures)
{
    NImageFileJNG writer;
    EXPECT_EQ(writer.Save(dir.File(L"none.jng").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    NImageBuffer pic;
    FillHalves(pic, 24);
    const std::wstring path = dir.File(L"missing\\out.jng");
    EXPECT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_FILE_ERROR);
    EXPECT_FALSE(FileExists(path));
}

}  // namespace
