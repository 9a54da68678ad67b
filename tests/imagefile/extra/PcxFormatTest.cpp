// The PCX and DCX format classes: ImageMagick's files, planes and palettes, rows that a file
// or a header cuts short, the run-length writer, and DCX page tables, pages and page writing.
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFilePCX.h"
#include "imagefile/extra/StdioStream.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A 128-byte PCX header.
Bytes PcxHeader(int bitsPerPlane, int planes, int width, int height, int bytesPerLine, int encoding = 1,
                const std::vector<uint8_t>& palette16 = {})
{
    Bytes h;
    h.u8(10).u8(5).u8(encoding).u8(bitsPerPlane).u16(0).u16(0).u16(width - 1).u16(height - 1).u16(96).u16(96);
    std::vector<uint8_t> palette = palette16;
    palette.resize(48, 0);
    h.raw(palette).u8(0).u8(planes).u16(bytesPerLine).u16(1).fill(58, 0);
    return h;
}

class PcxFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const std::vector<uint8_t>& bytes)
    {
        path = dir.File(L"test.pcx");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return pcx.Load(path.c_str(), 0, 0, nullptr);
    }

    TestDir dir;
    std::wstring path;
    NImageFilePCX pcx;
};

}  // namespace

TEST_F(PcxFormat, DecodesImageMagickFiles)
{
    struct Case {
        const wchar_t* name;
        int bpp;
        int channels;
    };
    const Case cases[] = {{L"p8", 8, 3}, {L"p24", 24, 3}, {L"p32", 32, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring name = std::wstring(L"pcx\\") + c.name;
        const std::wstring fixture = TestDataPath(name + L".pcx");
        NImageFilePCX file;
        ASSERT_EQ(file.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(file.picture.bpp, c.bpp);
        EXPECT_EQ(file.fullWidth, 13);
        EXPECT_EQ(file.fullHeight, 7);
        EXPECT_EQ(file.GetConsumedSize(), FileSize(fixture));
        EXPECT_TRUE(MatchesReference(file.picture, ReadDataFile(name + (c.channels == 4 ? L".rgba" : L".rgb")), c.channels));
    }
}

TEST_F(PcxFormat, SixteenColoursComeFromBitPlanesAndTheHeaderPalette)
{
    std::vector<uint8_t> palette;
    for (int i = 0; i < 16; ++i)
        palette.insert(palette.end(), {static_cast<uint8_t>(i * 16), 0, static_cast<uint8_t>(255 - i * 16)});
    Bytes file = PcxHeader(1, 4, 8, 1, 1, 0, palette);
    file.bytes({0xF0, 0xCC, 0xAA, 0x00});
    ASSERT_EQ(LoadBytes(file.data), NR_OK);
    ASSERT_EQ(pcx.picture.bpp, 4);
    const int expected[] = {7, 3, 5, 1, 6, 2, 4, 0};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(PaletteIndexAt(pcx.picture, x, 0), expected[x]) << x;
        EXPECT_EQ(PixelAt(pcx.picture, x, 0).r, expected[x] * 16) << x;
    }
}

TEST_F(PcxFormat, TrailingPaletteNeedsItsMarker)
{
    for (const uint8_t marker : {12, 13}) {
        SCOPED_TRACE(marker);
        Bytes file = PcxHeader(8, 1, 2, 1, 2, 0);
        file.bytes({1, 2}).u8(marker);
        std::vector<uint8_t> palette(768, 0);
        palette[3] = 10;
        palette[4] = 20;
        palette[5] = 30;
        file.raw(palette);
        ASSERT_EQ(LoadBytes(file.data), NR_OK);
        const Rgba p = PixelAt(pcx.picture, 0, 0);
        EXPECT_EQ(RGB(p.r, p.g, p.b), marker == 12 ? RGB(10, 20, 30) : RGB(0, 0, 0));
        EXPECT_EQ(pcx.GetConsumedSize(), marker == 12 ? file.size() : 130u);
    }
}

TEST_F(PcxFormat, TwentyFourBitsTakeRedFromPlaneZero)
{
    Bytes file = PcxHeader(8, 3, 3, 2, 3);
    for (int row = 0; row < 2; ++row)
        file.bytes({0xC3, 0xFF, 0xC3, 0x00, 0xC3, 0x00});
    ASSERT_EQ(LoadBytes(file.data), NR_OK);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const Rgba p = PixelAt(pcx.picture, x, y);
            EXPECT_EQ(RGB(p.r, p.g, p.b), RGB(255, 0, 0));
        }
    }
}

TEST_F(PcxFormat, PlanesShorterThanTheWidthReadAsZero)
{
    // Width 4 with only 2 bytes a plane.
    Bytes file = PcxHeader(8, 3, 4, 1, 2, 0);
    file.bytes({10, 20, 30, 40, 50, 60});
    ASSERT_EQ(LoadBytes(file.data), NR_OK);
    EXPECT_EQ(RGB(PixelAt(pcx.picture, 0, 0).r, PixelAt(pcx.picture, 0, 0).g, PixelAt(pcx.picture, 0, 0).b),
              RGB(10, 30, 50));
    EXPECT_EQ(RGB(PixelAt(pcx.picture, 1, 0).r, PixelAt(pcx.picture, 1, 0).g, PixelAt(pcx.picture, 1, 0).b),
              RGB(20, 40, 60));
    for (int x = 2; x < 4; ++x)
        EXPECT_EQ(PixelAt(pcx.picture, x, 0).r | PixelAt(pcx.picture, x, 0).g | PixelAt(pcx.picture, x, 0).b, 0);

    // Bit planes of one byte for a width of 12: pixels 8 to 11 are index 0.
    Bytes planar = PcxHeader(1, 4, 12, 1, 1, 0);
    planar.bytes({0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(LoadBytes(planar.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 7, 0), 15);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 8, 0), 0);
}

TEST_F(PcxFormat, FileCutShortKeepsTheRowsRead)
{
    Bytes file = PcxHeader(8, 1, 4, 4, 4);
    file.bytes({0xC4, 7, 0xC4, 8, 0xC4});  // two rows and the count of a third run
    ASSERT_EQ(LoadBytes(file.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 3, 0), 7);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 3, 1), 8);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 0, 2), 0);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 0, 3), 0);
    EXPECT_EQ(pcx.GetConsumedSize(), file.size());
}

TEST_F(PcxFormat, RunsAreCutAtTheRowEnd)
{
    // A run of 10 in a row of 4 bytes: the rest of the run is dropped, the next row reads on.
    Bytes file = PcxHeader(8, 1, 4, 2, 4);
    file.bytes({0xCA, 5, 0xC4, 6});
    ASSERT_EQ(LoadBytes(file.data), NR_OK);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 3, 0), 5);
    EXPECT_EQ(PaletteIndexAt(pcx.picture, 0, 1), 6);
}

TEST_F(PcxFormat, RefusesWhatIsNotPcx)
{
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
        NRESULT expected;
    };
    const Case cases[] = {
        {"manufacturer 11", 0, 11, NR_NOT_THIS_FORMAT},
        {"version 6", 1, 6, NR_NOT_THIS_FORMAT},
        {"encoding 2", 2, 2, NR_NOT_THIS_FORMAT},
        {"xmin above xmax", 4, 9, NR_PICTURE_CREATE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = PcxHeader(8, 1, 4, 1, 4, 0);
        file.fill(4, 1);
        file.data[c.at] = c.value;
        EXPECT_EQ(LoadBytes(file.data), c.expected);
        EXPECT_FALSE(pcx.picture.valid);
    }
    EXPECT_EQ(pcx.Load(dir.File(L"missing.pcx").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST_F(PcxFormat, SavedPicturesLoadBackWithTheirColours)
{
    for (const int bpp : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        uint8_t paletteRgb[256 * 3];
        for (int i = 0; i < 256 * 3; ++i)
            paletteRgb[i] = static_cast<uint8_t>(i * 5 + 3);
        if (bpp == 1) {  // white first: the writer inverts the bits
            const uint8_t whiteBlack[6] = {255, 255, 255, 0, 0, 0};
            memcpy(paletteRgb, whiteBlack, sizeof(whiteBlack));
        }
        NImageBuffer source;
        ASSERT_TRUE(source.Create(13, 5, bpp, 0, paletteRgb));
        for (int i = 0; i < source.stride * source.height; ++i)
            source.bits[i] = static_cast<uint8_t>(i * 29 + 7);
        if (bpp == 32) {
            for (int i = 3; i < source.stride * source.height; i += 4)
                source.bits[i] = 255;
        }
        const std::wstring out = dir.File(L"saved.pcx");
        ASSERT_EQ(pcx.Save(out.c_str(), &source, nullptr), NR_OK);
        NImageFilePCX back;
        ASSERT_EQ(back.Load(out.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(back.picture.bpp, bpp == 16 || bpp == 32 ? 24 : bpp);
        EXPECT_EQ(back.GetConsumedSize(), FileSize(out));
        const int tolerance = bpp == 16 ? 1 : 0;
        int wrong = 0;
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 13; ++x) {
                const Rgba a = PixelAt(source, x, y);
                const Rgba b = PixelAt(back.picture, x, y);
                wrong += std::abs(a.r - b.r) > tolerance || std::abs(a.g - b.g) > tolerance ||
                         std::abs(a.b - b.b) > tolerance;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(PcxFormat, EncodeRunMarksRunsAndHighBytes)
{
    const std::wstring out = dir.File(L"runs.bin");
    {
        StdioStream stream;
        ASSERT_TRUE(stream.Open(out.c_str(), L"wb"));
        const uint8_t first[] = {0xC5, 1, 1, 1, 7};
        ASSERT_TRUE(NImageFilePCX::EncodeRun(stream, first, 5));
        const std::vector<uint8_t> long70(70, 9);
        ASSERT_TRUE(NImageFilePCX::EncodeRun(stream, long70.data(), 70));
    }
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(out, bytes));
    const std::vector<unsigned char> expected = {0xC1, 0xC5, 0xC3, 1, 7, 0xFF, 9, 0xC7, 9};
    EXPECT_EQ(bytes, expected);
}

TEST_F(PcxFormat, SaveRefusesAnInvalidPicture)
{
    NImageBuffer empty;
    EXPECT_EQ(pcx.Save(dir.File(L"none.pcx").c_str(), &empty, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(FileExists(dir.File(L"none.pcx")));
    NImageBuffer source;
    ASSERT_TRUE(source.Create(2, 2, 24, 0));
    EXPECT_EQ(pcx.Save(dir.File(L"no-such-folder\\x.pcx").c_str(), &source, nullptr), NR_FILE_OPEN_WRITE);
}

// ---- DCX ----

namespace {

class DcxFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const std::vector<uint8_t>& bytes)
    {
        path = dir.File(L"test.dcx");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return dcx.Load(path.c_str(), 0, 0, nullptr);
    }

    TestDir dir;
    std::wstring path;
    NImageFileDCX dcx;
};

// An 8-bit raw page of width x 1 pixels of one index.
std::vector<uint8_t> SmallPage(int width, uint8_t index)
{
    Bytes page = PcxHeader(8, 1, width, 1, width, 0);
    page.fill(static_cast<size_t>(width), index);
    return page.data;
}

}  // namespace

TEST_F(DcxFormat, EveryPageDecodesAndEveryLoadConsumesAllPages)
{
    const std::wstring fixture = TestDataPath(L"dcx\\three.dcx");
    const uint64_t size = FileSize(fixture);
    const int widths[] = {13, 7, 5};
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        dcx.SetPage(page);
        ASSERT_EQ(dcx.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(dcx.GetPageCount(), 3);
        EXPECT_TRUE(dcx.IsMultiImage());
        EXPECT_EQ(dcx.fullWidth, widths[page]);
        EXPECT_EQ(dcx.GetConsumedSize(), size);
        EXPECT_TRUE(MatchesReference(dcx.picture, ReadDataFile(L"dcx\\three-" + std::to_wstring(page) + L".rgb"), 3));
    }
}

TEST_F(DcxFormat, ConsumedSizeEndsWithTheLastPage)
{
    std::vector<uint8_t> bytes = ReadDataFile(L"dcx\\three.dcx");
    const size_t pages = bytes.size();
    bytes.insert(bytes.end(), 500, 0x3C);  // what follows the file on a scanned disk
    ASSERT_EQ(LoadBytes(bytes), NR_OK);
    EXPECT_EQ(dcx.GetConsumedSize(), pages);

    // A last page that the file cuts short keeps everything.
    bytes.resize(pages - 800);
    NImageFileDCX cut;
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    ASSERT_EQ(cut.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(cut.GetConsumedSize(), bytes.size());
}

TEST_F(DcxFormat, ShortTableEndsAtItsFirstZero)
{
    Bytes file;
    file.u32(NImageFileDCX::kMagic).u32(16).u32(0).u32(0);
    const std::vector<uint8_t> first = SmallPage(3, 4);
    file.raw(first);
    file.put32(8, static_cast<uint32_t>(file.size()));
    file.raw(SmallPage(6, 9));
    ASSERT_EQ(LoadBytes(file.data), NR_OK);
    EXPECT_EQ(dcx.GetPageCount(), 2);
    EXPECT_EQ(dcx.picture.width, 3);
    dcx.SetPage(1);
    ASSERT_EQ(dcx.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(dcx.picture.width, 6);
    EXPECT_EQ(PaletteIndexAt(dcx.picture, 5, 0), 9);
}

TEST_F(DcxFormat, PagesOutsideTheTableFailCleanly)
{
    const std::wstring fixture = TestDataPath(L"dcx\\three.dcx");
    ASSERT_EQ(dcx.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    for (const int page : {-1, 3, 5000, INT32_MIN}) {
        SCOPED_TRACE(page);
        dcx.SetPage(page);
        EXPECT_EQ(dcx.Load(fixture.c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    }
}

TEST_F(DcxFormat, RefusesWrongMagicOrEmptyTable)
{
    Bytes file;
    file.u32(NImageFileDCX::kMagic).u32(0);
    EXPECT_EQ(LoadBytes(file.data), NR_FORMAT_INIT_FAILED);
    file.data[0] ^= 1;
    EXPECT_EQ(LoadBytes(file.data), NR_NOT_THIS_FORMAT);
}

TEST_F(DcxFormat, WrittenPagesListTheirOffsets)
{
    NImageBuffer first;
    NImageBuffer second;
    ASSERT_TRUE(first.Create(6, 4, 24, RGB(200, 10, 20)));
    ASSERT_TRUE(second.Create(3, 9, 24, RGB(5, 6, 250)));
    const std::wstring out = dir.File(L"written.dcx");
    ASSERT_EQ(dcx.BeginPages(out.c_str(), &first), NR_OK);
    ASSERT_EQ(dcx.AddPage(&first), NR_OK);
    ASSERT_EQ(dcx.AddPage(&second), NR_OK);
    ASSERT_EQ(dcx.EndPages(), NR_OK);

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(out, bytes));
    auto entry = [&](int i) {
        const unsigned char* p = bytes.data() + 4 + 4 * i;
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24));
    };
    EXPECT_EQ(entry(0), 4100u);
    EXPECT_GT(entry(1), 4100u);
    EXPECT_EQ(entry(2), 0u);

    NImageFileDCX back;
    ASSERT_EQ(back.Load(out.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(back.GetPageCount(), 2);
    EXPECT_EQ(RGB(PixelAt(back.picture, 5, 3).r, PixelAt(back.picture, 5, 3).g, PixelAt(back.picture, 5, 3).b),
              RGB(200, 10, 20));
    EXPECT_EQ(back.GetConsumedSize(), bytes.size());
    back.SetPage(1);
    ASSERT_EQ(back.Load(out.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(back.picture.height, 9);
    EXPECT_EQ(PixelAt(back.picture, 2, 8).b, 250);
}

TEST_F(DcxFormat, PageWriterRefusesMisuseAndAFullTable)
{
    NImageBuffer page;
    ASSERT_TRUE(page.Create(1, 1, 24, 0));
    EXPECT_EQ(dcx.AddPage(&page), NR_FILE_ERROR);
    EXPECT_EQ(dcx.EndPages(), NR_FILE_ERROR);

    const std::wstring out = dir.File(L"full.dcx");
    ASSERT_EQ(dcx.BeginPages(out.c_str(), &page), NR_OK);
    EXPECT_EQ(dcx.AddPage(nullptr), NR_PICTURE_NOT_VALID);
    for (int i = 0; i < NImageFileDCX::kMaxPages; ++i)
        ASSERT_EQ(dcx.AddPage(&page), NR_OK) << i;
    EXPECT_EQ(dcx.AddPage(&page), NR_INVALID_DATA);
    ASSERT_EQ(dcx.EndPages(), NR_OK);
    NImageFileDCX back;
    ASSERT_EQ(back.Load(out.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(back.GetPageCount(), NImageFileDCX::kMaxPages);
    EXPECT_EQ(back.GetConsumedSize(), FileSize(out));
}
