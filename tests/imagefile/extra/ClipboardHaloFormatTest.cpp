// The read-only clipboard (CLP) and Dr. Halo (CUT) format classes: bitmaps found among the
// entries of a clipboard file and checked against their entry's data; CUT rows decoded within
// their own records, with and without the palette file beside them.
#include "imagefile/extra/NImageFileCLP.h"
#include "imagefile/extra/NImageFileCUT.h"

#include "RasterFixtures.h"
#include "imagefile/ImageFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct ClipEntry {
    uint16_t format;
    std::vector<uint8_t> data;
    int64_t lengthChange = 0;   // added to the data length written in the directory
};

// A Windows 3 clipboard file: magic, count, the directory, then each entry's data.
Bytes ClipFile(const std::vector<ClipEntry>& entries, int countChange = 0)
{
    Bytes b;
    b.u16(0xC350).u16(static_cast<unsigned>(static_cast<int>(entries.size()) + countChange));
    uint32_t offset = static_cast<uint32_t>(4 + 89 * entries.size());
    for (const ClipEntry& e : entries) {
        b.u16(e.format).u32(static_cast<uint32_t>(e.data.size() + e.lengthChange)).u32(offset).fill(79, 0);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const ClipEntry& e : entries)
        b.raw(e.data);
    return b;
}

// A device-independent bitmap: header, palette (entries quads), rows of the given bytes.
std::vector<uint8_t> Dib(int width, int height, int bits, uint32_t coloursUsed, const std::vector<uint8_t>& palette,
                         const std::vector<uint8_t>& rows)
{
    Bytes b;
    b.u32(40).u32(static_cast<uint32_t>(width)).u32(static_cast<uint32_t>(height)).u16(1).u16(bits).u32(0);
    b.u32(static_cast<uint32_t>(rows.size())).u32(0).u32(0).u32(coloursUsed).u32(0);
    b.raw(palette).raw(rows);
    return b.data;
}

// An 8-bit 3 x 2 bitmap using four colours: rows bottom-up, each padded to 4 bytes.
std::vector<uint8_t> SmallDib(uint32_t coloursUsed = 4, std::vector<uint8_t> palette = {})
{
    if (palette.empty())
        palette = {0, 0, 255, 0, /* red */ 0, 255, 0, 0, /* green */ 255, 0, 0, 0, /* blue */ 9, 9, 9, 0};
    return Dib(3, 2, 8, coloursUsed, palette, {0, 1, 2, 0, 3, 3, 0, 0});
}

class ClipboardFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const Bytes& bytes)
    {
        EXPECT_TRUE(WriteWholeFile(path, bytes.data));
        return clp.Load(path.c_str(), 0, 0, nullptr);
    }
    TestDir dir;
    std::wstring path = dir.File(L"test.clp");
    NImageFileCLP clp;
};

}  // namespace

TEST_F(ClipboardFormat, ReadsTheFirstBitmapEntry)
{
    const std::vector<uint8_t> text = {'h', 'i', 0};
    ClipEntry other{8, Dib(1, 1, 24, 0, {}, {0, 0, 0, 0})};   // a second bitmap is not read
    const Bytes file = ClipFile({{1, text}, {8, SmallDib()}, other});
    ASSERT_EQ(LoadBytes(file), NR_OK);
    EXPECT_EQ(clp.picture.bpp, 8);
    EXPECT_EQ(clp.fullWidth, 3);
    EXPECT_EQ(clp.fullHeight, 2);
    EXPECT_EQ(PixelAt(clp.picture, 0, 1).r, 255);   // bottom row first in the file
    EXPECT_EQ(PixelAt(clp.picture, 1, 1).g, 255);
    EXPECT_EQ(PixelAt(clp.picture, 2, 1).b, 255);
    EXPECT_EQ(PixelAt(clp.picture, 0, 0).r, 9);
    EXPECT_EQ(clp.GetConsumedSize(), 4u + 89 * 3 + text.size() + SmallDib().size());
    EXPECT_EQ(clp.GetFormatId(), FT_CLP);

    // A palette of fewer entries than the depth allows: the rows follow the entries in use.
    std::vector<uint8_t> three = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    std::vector<uint8_t> dib = Dib(2, 1, 8, 3, three, {2, 1, 0, 0});
    ASSERT_EQ(LoadBytes(ClipFile({{8, dib}})), NR_OK);
    EXPECT_EQ(PixelAt(clp.picture, 0, 0).b, 255);
    EXPECT_EQ(PixelAt(clp.picture, 1, 0).g, 255);

    // A 24-bit bitmap stored top row first (negative height).
    std::vector<uint8_t> top = Dib(1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0});
    ASSERT_EQ(LoadBytes(ClipFile({{8, top}})), NR_OK);
    EXPECT_EQ(PixelAt(clp.picture, 0, 0).b, 1);
    EXPECT_EQ(PixelAt(clp.picture, 0, 1).r, 6);

    // A directory that claims more entries than the file holds: the bitmap entry before the end
    // is read all the same.
    ASSERT_EQ(LoadBytes(ClipFile({{8, SmallDib()}}, 2)), NR_OK);
    EXPECT_EQ(clp.fullWidth, 3);

    // 200 entries load; the check recognises 199 at most.
    std::vector<ClipEntry> many(199, ClipEntry{2, {0}});
    many.push_back({8, SmallDib()});
    const Bytes full = ClipFile(many);
    ASSERT_EQ(LoadBytes(full), NR_OK);
    EXPECT_FALSE(NImageFileCLP::IsFormat(full.data.data(), 0, full.size()));
    many.pop_back();
    many.pop_back();
    many.push_back({8, SmallDib()});
    EXPECT_TRUE(NImageFileCLP::IsFormat(ClipFile(many).data.data(), 0, 5));
    EXPECT_FALSE(NImageFileCLP::IsFormat(ClipFile(many).data.data(), 0, 4));
}

TEST_F(ClipboardFormat, RefusesWhatItCannotRead)
{
    std::vector<uint8_t> shortRows = SmallDib();
    shortRows.resize(shortRows.size() - 1);
    std::vector<uint8_t> bigHeader = SmallDib();
    bigHeader[0] = 200;   // a header longer than the entry
    std::vector<uint8_t> depth7 = Dib(1, 1, 7, 0, {}, {0, 0, 0, 0});
    struct Case {
        const char* what;
        Bytes bytes;
        NRESULT expected;
    };
    Case cases[] = {
        {"wrong magic", Bytes().u16(0xC351).u16(1).fill(89, 0), NR_NOT_THIS_FORMAT},
        {"no entries", ClipFile({}, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"201 entries", ClipFile(std::vector<ClipEntry>(201, ClipEntry{2, {0}})), NR_SUBFEATURE_NOT_SUPPORTED},
        {"no bitmap entry", ClipFile({{1, {'a', 0}}, {2, {1, 2, 3}}}), NR_SUBFEATURE_NOT_SUPPORTED},
        {"directory ends before a bitmap entry", ClipFile({{1, {'a', 0}}}, 2), NR_INVALID_DATA},
        {"data past the end", ClipFile({{8, SmallDib(), 1}}), NR_INVALID_DATA},
        {"rows past the entry's data", ClipFile({{8, shortRows}}), NR_INVALID_DATA},
        {"palette past the entry's data", ClipFile({{8, SmallDib(0)}}), NR_INVALID_DATA},
        {"header past the entry's data", ClipFile({{8, bigHeader}}), NR_INVALID_DATA},
        {"data shorter than a header", ClipFile({{8, {40, 0, 0, 0}}}), NR_INVALID_DATA},
        {"depth 7", ClipFile({{8, depth7}}), NR_PICTURE_CREATE_FAILED},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileCLP reader;
        ASSERT_TRUE(WriteWholeFile(path, c.bytes.data));
        EXPECT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), c.expected);
        EXPECT_FALSE(reader.picture.valid);
    }
    EXPECT_EQ(clp.Load(dir.File(L"missing.clp").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
    EXPECT_EQ(clp.Save(path.c_str(), nullptr, nullptr), NR_FORMAT_NOT_SUPPORTED);
}

TEST(HaloFormat, ReadsRowsWithAndWithoutThePaletteFile)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* reference;
    };
    for (const Case& c : {Case{L"cut\\halo.cut", L"cut\\halo.rgb"}, Case{L"cut\\grey.cut", L"cut\\grey.rgb"}}) {
        SCOPED_TRACE(testing::Message() << c.name);
        NImageFileCUT cut;
        const std::wstring path = TestDataPath(c.name);
        ASSERT_EQ(cut.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(cut.picture.bpp, 8);
        EXPECT_EQ(cut.fullWidth, 150);
        EXPECT_EQ(cut.fullHeight, 6);
        EXPECT_TRUE(MatchesReference(cut.picture, ReadDataFile(c.reference), 3));
        EXPECT_EQ(cut.GetConsumedSize(), FileSize(path));
        EXPECT_STREQ(cut.GetFileName(), path.c_str());
    }
    // Index 0 is red in the palette; entry 78 (the first of the second block) starts at byte 512;
    // without the palette file index 7 is grey 7.
    NImageFileCUT halo;
    ASSERT_EQ(halo.Load(TestDataPath(L"cut\\halo.cut").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(halo.picture, 0, 1).r, 255);
    EXPECT_EQ(PixelAt(halo.picture, 0, 1).g, 0);
    EXPECT_EQ(PixelAt(halo.picture, 0, 2).r, 234);
    EXPECT_EQ(PixelAt(halo.picture, 0, 2).g, 177);
    EXPECT_EQ(PixelAt(halo.picture, 0, 2).b, 34);
    NImageFileCUT grey;
    ASSERT_EQ(grey.Load(TestDataPath(L"cut\\grey.cut").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(grey.picture, 1, 0).r, 7);
    EXPECT_EQ(PixelAt(grey.picture, 1, 0).b, 7);

    EXPECT_EQ(NImageFileCUT::PalettePath(L"C:\\a.b\\pic.cut"), L"C:\\a.b\\pic.pal");
    EXPECT_EQ(NImageFileCUT::PalettePath(L"C:\\a.b\\pic"), L"C:\\a.b\\pic.pal");
}

TEST(HaloFormat, RowsStayInsideTheirRecords)
{
    TestDir dir;
    const std::wstring path = dir.File(L"rows.cut");
    NImageFileCUT cut;

    // Row 0's record ends inside a literal and before its end marker: the literal keeps the one
    // byte the record holds, and row 1 starts at its own record all the same. Row 2 is empty:
    // it stays black, it does not repeat row 1.
    Bytes b;
    b.u16(4).u16(3).u16(0);
    b.u16(4).bytes({0x83, 5, 0x04, 1});        // a run of 3, then a literal cut by the record
    b.u16(7).bytes({0x02, 8, 9, 0x82, 6, 0, 0xEE});
    b.u16(1).bytes({0});
    ASSERT_TRUE(WriteWholeFile(path, b.data));
    ASSERT_EQ(cut.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    const int expected[3][4] = {{5, 5, 5, 1}, {8, 9, 6, 6}, {0, 0, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(PaletteIndexAt(cut.picture, x, y), expected[y][x]) << x << "," << y;

    // A run longer than the row is cut at the row's end; the file ends after row 0 (whose record
    // holds a few bytes after its end marker), and the rows it does not hold stay black.
    Bytes longRun;
    longRun.u16(3).u16(3).u16(0).u16(10).bytes({0xFF, 4, 0}).fill(7, 0x81);
    ASSERT_TRUE(WriteWholeFile(path, longRun.data));
    ASSERT_EQ(cut.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PaletteIndexAt(cut.picture, 2, 0), 4);
    EXPECT_EQ(PaletteIndexAt(cut.picture, 0, 1), 0);
    EXPECT_EQ(PaletteIndexAt(cut.picture, 2, 2), 0);
    EXPECT_EQ(cut.GetConsumedSize(), longRun.size());

    // Refusals: a header of fewer than 6 bytes, a size the rows could not fill.
    ASSERT_TRUE(WriteWholeFile(path, std::vector<uint8_t>{1, 0, 1, 0, 0}));
    EXPECT_EQ(cut.Load(path.c_str(), 0, 0, nullptr), NR_FORMAT_INIT_FAILED);
    Bytes huge;
    huge.u16(65535).u16(65535).u16(0).fill(100, 0x80);
    ASSERT_TRUE(WriteWholeFile(path, huge.data));
    NImageFileCUT refused;
    EXPECT_EQ(refused.Load(path.c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_FALSE(refused.picture.valid);
    EXPECT_EQ(cut.Load(dir.File(L"missing.cut").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);

    // The check never recognises a CUT file; the extension leads the factory to the class.
    EXPECT_FALSE(NImageFileCUT::IsFormat(huge.data.data(), 0, huge.size()));
    NImageFile* loaded = nullptr;
    EXPECT_EQ(LoadImageFile(&loaded, TestDataPath(L"cut\\halo.cut").c_str(), 0, 0, nullptr, 0), NR_OK);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetFormatId(), FT_CUT);
    delete loaded;
}
