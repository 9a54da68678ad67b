// Amiga IFF reading: interleaved bit planes of every depth, chunky (PBM) rows, ByteRun1, the
// mask plane, files cut short, and the consumed size of a container.
#include "imagefile/extra/NImageFileIFF.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes Chunk(const char* id, const Bytes& body)
{
    Bytes b;
    b.text(id).u32be(static_cast<uint32_t>(body.size())).raw(body.data);
    if (body.size() & 1)
        b.u8(0);
    return b;
}

Bytes Bmhd(unsigned width, unsigned height, unsigned planes, unsigned masking, unsigned compression)
{
    Bytes b;
    b.u16be(width).u16be(height).u16be(0).u16be(0).u8(planes).u8(masking).u8(compression).u8(0);
    b.u16be(0).u8(1).u8(1).u16be(width).u16be(height);
    return b;
}

Bytes Form(const char* type, std::initializer_list<Bytes> chunks)
{
    Bytes inner;
    inner.text(type);
    for (const Bytes& c : chunks)
        inner.raw(c.data);
    Bytes b;
    b.text("FORM").u32be(static_cast<uint32_t>(inner.size())).raw(inner.data);
    return b;
}

struct FixtureCase {
    const wchar_t* file;
    const wchar_t* reference;
    int bitsPerPixel;
};

}  // namespace

TEST(IffFormat, ReadsNetpbmFilesLikeIlbmtoppm)
{
    // Written by netpbm's ppmtoilbm, references decoded by ilbmtoppm; the chunky files and
    // their reference come from make_pbm.py.
    const FixtureCase cases[] = {
        {L"iff\\mono.iff", L"iff\\mono.rgb", 1},
        {L"iff\\pal3.iff", L"iff\\pal3.rgb", 8},
        {L"iff\\pal4.iff", L"iff\\pal4.rgb", 4},
        {L"iff\\masked4.iff", L"iff\\pal4.rgb", 4},   // a mask plane after the four planes
        {L"iff\\pal8.iff", L"iff\\pal8.rgb", 8},
        {L"iff\\rgb24.iff", L"iff\\rgb24.rgb", 24},
        {L"iff\\rgb24-raw.iff", L"iff\\rgb24.rgb", 24},
        {L"iff\\chunky.iff", L"iff\\chunky.rgb", 8},   // rows of 34 bytes for 33 pixels
        {L"iff\\chunky-rle.iff", L"iff\\chunky.rgb", 8},
    };
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file);
        NImageFileIFF iff;
        const std::wstring path = TestDataPath(c.file);
        ASSERT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(iff.picture.bpp, c.bitsPerPixel);
        EXPECT_EQ(iff.fullWidth, 33);
        EXPECT_EQ(iff.fullHeight, 21);
        EXPECT_TRUE(MatchesReference(iff.picture, ReadDataFile(c.reference), 3));
        EXPECT_EQ(iff.GetConsumedSize(), FileSize(path));
    }
}

TEST(IffFormat, BitPlanesBecomeColoursAndRunsAreCutAtTheRow)
{
    TestDir dir;
    const std::wstring path = dir.File(L"made.iff");

    // 24 planes, one 16-pixel row: planes 0 to 7 all set, the rest clear -> pure red. ByteRun1:
    // a run of 16 bytes FF, a no-op (0x80), then 32 bytes of 0 as a run cut at the row's end.
    Bytes body;
    body.u8(0x100 - 15).u8(0xFF).u8(0x80).u8(0x100 - 127).u8(0x00);
    Bytes file = Form("ILBM", {Chunk("BMHD", Bmhd(16, 1, 24, 0, 1)), Chunk("BODY", body)});
    ASSERT_TRUE(WriteWholeFile(path, file.data));
    NImageFileIFF iff;
    ASSERT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(iff.picture.bpp, 24);
    for (int x : {0, 7, 15}) {
        const Rgba p = PixelAt(iff.picture, x, 0);
        EXPECT_EQ(p.r, 255);
        EXPECT_EQ(p.g, 0);
        EXPECT_EQ(p.b, 0);
    }

    // One plane of 16 pixels: a file row of 2 bytes into a picture row of 4.
    Bytes cmap;
    cmap.bytes({0, 0, 0, 255, 255, 255});
    file = Form("ILBM", {Chunk("BMHD", Bmhd(16, 2, 1, 0, 0)), Chunk("CMAP", cmap), Chunk("BODY", Bytes().bytes({0x80, 0x01, 0xFF, 0x00}))});
    ASSERT_TRUE(WriteWholeFile(path, file.data));
    ASSERT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(iff.picture.bpp, 1);
    EXPECT_EQ(PixelAt(iff.picture, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(iff.picture, 1, 0).r, 0);
    EXPECT_EQ(PixelAt(iff.picture, 15, 0).r, 255);
    EXPECT_EQ(PixelAt(iff.picture, 7, 1).r, 255);
    EXPECT_EQ(PixelAt(iff.picture, 8, 1).r, 0);
}

TEST(IffFormat, FilesWithoutAPictureAnswer404)
{
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes sound;
    sound.u16be(1).u32be(4).u16be(16).fill(10, 0);
    Case cases[] = {
        {"first chunk of size 0", Form("ILBM", {Bytes().text("BMHD").u32be(0), Chunk("BODY", Bytes().fill(4, 0))})},
        {"AIFF sound", Form("AIFF", {Chunk("COMM", sound), Chunk("SSND", Bytes().fill(16, 0))})},
        {"body before its header", Form("ILBM", {Chunk("BODY", Bytes().fill(4, 0)), Chunk("BMHD", Bmhd(16, 1, 1, 0, 0))})},
        {"short header chunk", Form("ILBM", {Chunk("BMHD", Bytes().fill(10, 0)), Chunk("BODY", Bytes().fill(4, 0))})},
        {"chunk size past the end", Form("ILBM", {Bytes().text("CMAP").u32be(0xFFFFFFF0).fill(40, 0)})},
        {"container only", Bytes().text("LIST").u32be(4).text("ILBM")},
    };
    TestDir dir;
    const std::wstring path = dir.File(L"bad.iff");
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteWholeFile(path, c.bytes.data));
        NImageFileIFF iff;
        EXPECT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
        EXPECT_FALSE(iff.picture.valid);
    }

    NImageFileIFF iff;
    ASSERT_TRUE(WriteWholeFile(path, Bytes().text("RIFF").fill(20, 0).data));
    EXPECT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    ASSERT_TRUE(WriteWholeFile(path, Bytes().text("FOR").data));
    EXPECT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    ASSERT_TRUE(WriteWholeFile(path, Bytes().text("FORM").u32be(4).data));
    EXPECT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    EXPECT_EQ(iff.Load(dir.File(L"missing.iff").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST(IffFormat, AFileCutInsideTheBodyKeepsTheRowsRead)
{
    std::vector<uint8_t> whole = ReadDataFile(L"iff\\rgb24-raw.iff");
    const std::vector<uint8_t> reference = ReadDataFile(L"iff\\rgb24.rgb");
    // Rows of 24 planes x 6 bytes; keep 10 rows and half of the eleventh.
    const size_t bodyStart = whole.size() - 21 * 144;
    const size_t keep = bodyStart + 10 * 144 + 72;
    TestDir dir;
    const std::wstring path = dir.File(L"cut.iff");
    ASSERT_TRUE(WriteWholeFile(path, whole.data(), keep));
    NImageFileIFF iff;
    ASSERT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(iff.GetConsumedSize(), keep);
    EXPECT_EQ(PixelAt(iff.picture, 20, 9).g, reference[(9 * 33 + 20) * 3 + 1]);
    EXPECT_EQ(PixelAt(iff.picture, 20, 12).r, 0);
    EXPECT_EQ(PixelAt(iff.picture, 20, 20).b, 0);
}

TEST(IffFormat, ConsumedSizeIsTheContainerNotTheBodysEnd)
{
    std::vector<uint8_t> whole = ReadDataFile(L"iff\\pal4.iff");
    // Append an annotation after the body inside the container, then junk after it.
    Bytes longer;
    longer.raw(whole);
    const Bytes note = Chunk("ANNO", Bytes().text("made by a test"));
    longer.raw(note.data);
    const uint32_t formSize = static_cast<uint32_t>(longer.size() - 8);
    longer.data[4] = static_cast<uint8_t>(formSize >> 24);
    longer.data[5] = static_cast<uint8_t>(formSize >> 16);
    longer.data[6] = static_cast<uint8_t>(formSize >> 8);
    longer.data[7] = static_cast<uint8_t>(formSize);
    const size_t fileLength = longer.size();
    longer.fill(100, 0xEE);
    TestDir dir;
    const std::wstring path = dir.File(L"annotated.iff");
    ASSERT_TRUE(WriteWholeFile(path, longer.data));
    NImageFileIFF iff;
    ASSERT_EQ(iff.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(iff.GetConsumedSize(), fileLength);
    EXPECT_EQ(iff.GetFormatId(), FT_IFF);
}
