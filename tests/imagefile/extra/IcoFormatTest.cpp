// The icon, cursor and animated-cursor format classes: entries against ImageMagick's decoding,
// AND masks at every depth, the choice of the preferred entry, PNG entries, the consumed size
// of multi-entry files, the writer, and the RIFF walk of animated cursors.
#include "imagefile/extra/NImageFileANI.h"
#include "imagefile/extra/NImageFileICO.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kBackground = 0x00102030;  // red 0x30, green 0x20, blue 0x10

// A bitmap entry: header, palette (RGB triplets, 2^bpp of them for bpp <= 8), colour pixels
// and AND mask, both bottom-up. value(x, y) gives the index, or 0xAARRGGBB for 24 and 32 bits;
// y = 0 is the top row.
std::vector<uint8_t> BitmapEntry(int width, int height, int bpp, const std::vector<uint8_t>& paletteRgb,
                                 const std::function<uint32_t(int, int)>& value,
                                 const std::function<bool(int, int)>& masked)
{
    Bytes b;
    b.u32(40).u32(width).u32(height * 2).u16(1).u16(bpp).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    if (bpp <= 8) {
        for (int i = 0; i < (1 << bpp); ++i) {
            const size_t at = static_cast<size_t>(i) * 3;
            const bool have = at + 2 < paletteRgb.size();
            b.u8(have ? paletteRgb[at + 2] : 0).u8(have ? paletteRgb[at + 1] : 0).u8(have ? paletteRgb[at] : 0).u8(0);
        }
    }
    const size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    for (int row = height - 1; row >= 0; --row) {
        std::vector<uint8_t> line(stride, 0);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, row);
            if (bpp == 4)
                line[x / 2] |= static_cast<uint8_t>((x & 1) ? (v & 15) : (v << 4));
            else if (bpp == 8)
                line[x] = static_cast<uint8_t>(v);
            else
                for (int c = 0; c < bpp / 8; ++c)
                    line[x * (bpp / 8) + c] = static_cast<uint8_t>(v >> (8 * c));
        }
        b.raw(line);
    }
    for (int row = height - 1; row >= 0; --row) {
        std::vector<uint8_t> line(maskStride, 0);
        for (int x = 0; x < width; ++x) {
            if (masked(x, row))
                line[x / 8] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        b.raw(line);
    }
    return b.data;
}

std::vector<uint8_t> PlainEntry(int width, int height, int bpp = 32, uint32_t colour = 0xFF112233)
{
    return BitmapEntry(width, height, bpp, {}, [colour](int, int) { return colour; }, [](int, int) { return false; });
}

// An icon file holding the entries in order, directly behind the directory.
std::vector<uint8_t> IconFile(const std::vector<std::vector<uint8_t>>& entries, int type = 1)
{
    Bytes b;
    b.u16(0).u16(type).u16(static_cast<unsigned>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
    for (const auto& e : entries) {
        b.u8(0).u8(0).u8(0).u8(0).u16(1).u16(32).u32(static_cast<uint32_t>(e.size())).u32(offset);
        offset += static_cast<uint32_t>(e.size());
    }
    for (const auto& e : entries)
        b.raw(e);
    return b.data;
}

// The AND mask bit of pixel (x, y), y = 0 the top row, of a 32-bit entry of an icon file.
bool MaskBitOf32BitEntry(const std::vector<uint8_t>& file, int entry, int x, int y)
{
    const uint8_t* dirEntry = file.data() + 6 + 16 * entry;
    const uint32_t offset = dirEntry[12] | (dirEntry[13] << 8) | (dirEntry[14] << 16) | (dirEntry[15] << 24);
    const uint8_t* header = file.data() + offset;
    const int width = header[4] | (header[5] << 8);
    const int height = (header[8] | (header[9] << 8)) / 2;
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    const uint8_t* mask = header + 40 + static_cast<size_t>(width) * 4 * height;
    return (mask[(height - 1 - y) * maskStride + x / 8] & (0x80 >> (x & 7))) != 0;
}

// Pixels of a decoded 32-bit entry against ImageMagick's: alpha always, colour where the mask
// is clear; masked pixels show the background colour.
::testing::AssertionResult MatchesIconEntry(const NImageBuffer& pic, const std::vector<uint8_t>& file, int entry,
                                            const std::vector<uint8_t>& reference, COLORREF background)
{
    if (!pic.valid || reference.size() != static_cast<size_t>(pic.width) * pic.height * 4)
        return ::testing::AssertionFailure() << "picture or reference missing";
    int wrong = 0;
    int masked = 0;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const uint8_t* e = reference.data() + (static_cast<size_t>(y) * pic.width + x) * 4;
            const Rgba p = PixelAt(pic, x, y);
            const bool isMasked = MaskBitOf32BitEntry(file, entry, x, y);
            masked += isMasked;
            const bool colourOk = isMasked ? (p.r == GetRValue(background) && p.g == GetGValue(background) &&
                                              p.b == GetBValue(background))
                                           : (p.r == e[0] && p.g == e[1] && p.b == e[2]);
            wrong += !colourOk || p.a != e[3];
        }
    }
    if (wrong)
        return ::testing::AssertionFailure() << wrong << " pixels differ";
    if (masked == 0)
        return ::testing::AssertionFailure() << "the entry has no masked pixel to check";
    return ::testing::AssertionSuccess();
}

class IcoFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const std::vector<uint8_t>& bytes, uint8_t preview = 0)
    {
        path = dir.File(L"test.ico");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return icon.Load(path.c_str(), preview, 0, nullptr);
    }
    void UseBackground(COLORREF colour)
    {
        ImageLoadOptions options;
        options.backgroundColour = colour;
        icon.SetLoadOptions(&options);
    }

    TestDir dir;
    std::wstring path;
    NImageFileICO icon;
};

}  // namespace

TEST_F(IcoFormat, PlainLoadShowsEntryZeroAndConsumesEveryEntry)
{
    const std::wstring fixture = TestDataPath(L"ico\\multi.ico");
    const std::vector<uint8_t> file = ReadDataFile(L"ico\\multi.ico");
    ASSERT_EQ(icon.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(icon.GetPageCount(), 3);
    EXPECT_TRUE(icon.IsMultiImage());
    EXPECT_EQ(icon.picture.width, 16);
    EXPECT_EQ(icon.picture.bpp, 32);
    EXPECT_EQ(icon.GetConsumedSize(), file.size());
    EXPECT_TRUE(MatchesIconEntry(icon.picture, file, 0, ReadDataFile(L"ico\\multi-0.rgba"), 0xFFFFFF));
}

TEST_F(IcoFormat, EveryPageDecodesAndThePageIsLimitedToTheLast)
{
    const std::wstring fixture = TestDataPath(L"ico\\multi.ico");
    const std::vector<uint8_t> file = ReadDataFile(L"ico\\multi.ico");
    UseBackground(kBackground);
    ASSERT_EQ(icon.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    for (const int page : {1, 2}) {
        SCOPED_TRACE(page);
        icon.SetPage(page);
        ASSERT_EQ(icon.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(icon.fullWidth, 16 * (page + 1));
        EXPECT_EQ(icon.GetConsumedSize(), file.size());
        const std::wstring reference = L"ico\\multi-" + std::to_wstring(page) + L".rgba";
        EXPECT_TRUE(MatchesIconEntry(icon.picture, file, page, ReadDataFile(reference), kBackground));
    }
    icon.SetPage(9);
    EXPECT_EQ(icon.currentPage, 2);
    icon.SetPage(-1);
    EXPECT_EQ(icon.currentPage, 2);
}

TEST_F(IcoFormat, PreviewAndQuickLoadsShowTheLargestEntry)
{
    const std::wstring fixture = TestDataPath(L"ico\\multi.ico");
    NImageFileICO preview;
    ASSERT_EQ(preview.Load(fixture.c_str(), 1, 0, nullptr), NR_OK);
    EXPECT_EQ(preview.picture.width, 48);
    NImageFileICO quick;
    NImageBuffer target;
    ASSERT_EQ(quick.Load(fixture.c_str(), 0, 1, &target), NR_OK);
    EXPECT_EQ(target.width, 48);
    EXPECT_FALSE(quick.picture.valid);
    EXPECT_EQ(quick.fullHeight, 48);
}

TEST_F(IcoFormat, CursorLoadsLikeAnIcon)
{
    const std::wstring fixture = TestDataPath(L"ico\\arrow.cur");
    const std::vector<uint8_t> file = ReadDataFile(L"ico\\arrow.cur");
    ASSERT_EQ(file[2], 2);
    ASSERT_EQ(icon.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_FALSE(icon.IsMultiImage());
    EXPECT_TRUE(MatchesIconEntry(icon.picture, file, 0, ReadDataFile(L"ico\\arrow.rgba"), 0xFFFFFF));
}

TEST_F(IcoFormat, PaletteEntryMaskShowsTheBackground)
{
    const std::wstring fixture = TestDataPath(L"ico\\pal8.ico");
    UseBackground(kBackground);
    ASSERT_EQ(icon.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(icon.picture.bpp, 8);
    EXPECT_TRUE(icon.picture.hasTransparency);
    const std::vector<uint8_t> reference = ReadDataFile(L"ico\\pal8.rgba");
    ASSERT_EQ(reference.size(), 16u * 16 * 4);
    int transparent = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint8_t* e = reference.data() + (y * 16 + x) * 4;
            const Rgba p = PixelAt(icon.picture, x, y);
            if (e[3] == 0) {
                ++transparent;
                EXPECT_EQ(PaletteIndexAt(icon.picture, x, y), icon.picture.transparentIndex);
                EXPECT_EQ(RGB(p.r, p.g, p.b), kBackground);
            } else {
                EXPECT_NE(PaletteIndexAt(icon.picture, x, y), icon.picture.transparentIndex);
                EXPECT_EQ(RGB(p.r, p.g, p.b), RGB(e[0], e[1], e[2])) << x << "," << y;
            }
        }
    }
    EXPECT_GT(transparent, 0);
}

TEST_F(IcoFormat, EightBitMaskTakesTheFirstMaskedIndexWhenNoVisiblePixelUsesIt)
{
    // 6 x 6: the top row is masked (indices 7 and 3); the other pixels show index 1.
    std::vector<uint8_t> palette(256 * 3, 0);
    palette[1 * 3] = 200;
    palette[7 * 3 + 1] = 99;
    const auto entry = BitmapEntry(6, 6, 8, palette, [](int x, int y) { return y == 0 ? (x < 3 ? 3u : 7u) : 1u; },
                                   [](int, int y) { return y == 0; });
    // The mask is scanned from the bottom row: the first masked pixel is (0, top) with index 3.
    UseBackground(kBackground);
    ASSERT_EQ(LoadBytes(IconFile({entry})), NR_OK);
    const NImageBuffer& pic = icon.picture;
    ASSERT_TRUE(pic.hasTransparency);
    EXPECT_EQ(pic.transparentIndex, 3);
    EXPECT_EQ(RGB(pic.palette[3][2], pic.palette[3][1], pic.palette[3][0]), kBackground);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(PaletteIndexAt(pic, x, 0), 3) << x;
    EXPECT_EQ(PixelAt(pic, 2, 3).r, 200);
}

TEST_F(IcoFormat, MaskedIndexSharedWithVisiblePixelsKeepsThemVisible)
{
    // Index 7 is both masked (top row) and visible (second row): the visible pixels keep their
    // colour, the masked ones get a free index that shows the background.
    std::vector<uint8_t> palette(256 * 3, 0);
    palette[7 * 3] = 250;
    const auto entry = BitmapEntry(6, 6, 8, palette, [](int, int y) { return y <= 1 ? 7u : 0u; },
                                   [](int, int y) { return y == 0; });
    UseBackground(kBackground);
    ASSERT_EQ(LoadBytes(IconFile({entry})), NR_OK);
    const NImageBuffer& pic = icon.picture;
    ASSERT_TRUE(pic.hasTransparency);
    EXPECT_NE(pic.transparentIndex, 7);
    EXPECT_NE(pic.transparentIndex, 0);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(RGB(PixelAt(pic, x, 0).r, PixelAt(pic, x, 0).g, PixelAt(pic, x, 0).b), kBackground) << x;
        EXPECT_EQ(PixelAt(pic, x, 1).r, 250) << x;
        EXPECT_EQ(PixelAt(pic, x, 2).r, 0) << x;
    }
}

TEST_F(IcoFormat, FourBitMaskHidesEveryMaskedPixel)
{
    // Masked pixels of three different indices, one of them also visible elsewhere.
    std::vector<uint8_t> palette(16 * 3, 0);
    for (int i = 0; i < 16; ++i)
        palette[i * 3] = static_cast<uint8_t>(i * 10);
    const auto entry = BitmapEntry(8, 5, 4, palette, [](int x, int) { return static_cast<uint32_t>(x % 3 + 2); },
                                   [](int x, int y) { return y == 2 && x < 4; });
    UseBackground(kBackground);
    ASSERT_EQ(LoadBytes(IconFile({entry})), NR_OK);
    const NImageBuffer& pic = icon.picture;
    ASSERT_EQ(pic.bpp, 4);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 8; ++x) {
            const Rgba p = PixelAt(pic, x, y);
            if (y == 2 && x < 4)
                EXPECT_EQ(RGB(p.r, p.g, p.b), kBackground) << x << "," << y;
            else
                EXPECT_EQ(p.r, (x % 3 + 2) * 10) << x << "," << y;
        }
    }
}

TEST_F(IcoFormat, TrueColourMaskPaintsTheBackgroundAndKeepsAlpha)
{
    const auto leftHalf = [](int x, int) { return x < 4; };
    const auto colour = [](int, int) { return 0x80AABBCCu; };
    for (const int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageFileICO fresh;
        ImageLoadOptions options;
        options.backgroundColour = kBackground;
        fresh.SetLoadOptions(&options);
        path = dir.File(L"true.ico");
        ASSERT_TRUE(WriteWholeFile(path, IconFile({BitmapEntry(8, 6, bpp, {}, colour, leftHalf)})));
        ASSERT_EQ(fresh.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        const Rgba masked = PixelAt(fresh.picture, 1, 1);
        const Rgba shown = PixelAt(fresh.picture, 6, 1);
        EXPECT_EQ(RGB(masked.r, masked.g, masked.b), kBackground);
        EXPECT_EQ(RGB(shown.r, shown.g, shown.b), RGB(0xAA, 0xBB, 0xCC));
        if (bpp == 32) {
            EXPECT_EQ(masked.a, 0x80);
            EXPECT_EQ(shown.a, 0x80);
        }
    }
    // A mask of all ones is not applied.
    ASSERT_EQ(LoadBytes(IconFile({BitmapEntry(8, 6, 32, {}, colour, [](int, int) { return true; })})), NR_OK);
    EXPECT_EQ(PixelAt(icon.picture, 0, 0).r, 0xAA);
}

TEST_F(IcoFormat, FortyEntriesGiveThirtyTwoPages)
{
    std::vector<std::vector<uint8_t>> entries(40, PlainEntry(5, 5));
    const std::vector<uint8_t> bytes = IconFile(entries);
    EXPECT_FALSE(NImageFileICO::IsFormat(bytes.data(), 0, bytes.size()));
    ASSERT_EQ(LoadBytes(bytes), NR_OK);
    EXPECT_EQ(icon.GetPageCount(), 32);
    EXPECT_EQ(icon.GetConsumedSize(), bytes.size());
}

TEST_F(IcoFormat, PreferredEntryIsTheLargestThenTheDeepest)
{
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> entries;
        int width;
        int bpp;
    };
    const Case cases[] = {
        {"32, 48, 16", {PlainEntry(32, 32), PlainEntry(48, 48), PlainEntry(16, 16)}, 48, 32},
        {"16, 48, 32", {PlainEntry(16, 16), PlainEntry(48, 48), PlainEntry(32, 32)}, 48, 32},
        {"same size, 8 then 32 bits", {PlainEntry(16, 16, 8), PlainEntry(16, 16, 32)}, 16, 32},
        {"same size, 32 then 24 bits", {PlainEntry(16, 16, 32), PlainEntry(16, 16, 24)}, 16, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileICO fresh;
        path = dir.File(L"choice.ico");
        ASSERT_TRUE(WriteWholeFile(path, IconFile(c.entries)));
        ASSERT_EQ(fresh.Load(path.c_str(), 1, 0, nullptr), NR_OK);
        EXPECT_EQ(fresh.picture.width, c.width);
        EXPECT_EQ(fresh.picture.bpp, c.bpp);
    }
}

TEST_F(IcoFormat, OneBrokenEntryDoesNotHideTheOthers)
{
    std::vector<uint8_t> broken = PlainEntry(16, 16);
    broken[4] = 0xD0;  // width 2000
    broken[5] = 0x07;
    const std::vector<uint8_t> bytes = IconFile({broken, PlainEntry(16, 16)});
    EXPECT_EQ(LoadBytes(bytes), NR_INVALID_DATA);  // a plain load shows entry 0
    NImageFileICO preview;
    ASSERT_EQ(preview.Load(path.c_str(), 1, 0, nullptr), NR_OK);
    EXPECT_EQ(preview.picture.width, 16);

    NImageFileICO allBroken;
    ASSERT_TRUE(WriteWholeFile(path, IconFile({broken})));
    EXPECT_EQ(allBroken.Load(path.c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
}

TEST_F(IcoFormat, RefusesWhatIsNotAnIcon)
{
    std::vector<uint8_t> bytes = IconFile({PlainEntry(8, 8)});
    bytes[2] = 3;  // type 3
    EXPECT_EQ(LoadBytes(bytes), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(icon.Load(dir.File(L"missing.ico").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST_F(IcoFormat, TruncatedIconConsumesTheWholeFile)
{
    std::vector<uint8_t> bytes = ReadDataFile(L"ico\\multi.ico");
    bytes.resize(bytes.size() - 3000);  // inside the 48 x 48 entry
    ASSERT_EQ(LoadBytes(bytes), NR_OK);
    EXPECT_EQ(icon.GetConsumedSize(), bytes.size());
}

TEST_F(IcoFormat, PngEntriesGoThroughThePngReaderAndLeaveNoTemporaryFile)
{
    const std::wstring fixture = TestDataPath(L"ico\\png256.ico");
    const int temporaryBefore = CountDlvTempFiles();

    // The 16 x 16 bitmap entry.
    NImageFileICO bitmapPage;
    const NRESULT first = bitmapPage.Load(fixture.c_str(), 0, 0, nullptr);  // entry 0 is the PNG
    EXPECT_TRUE(first == NR_OK || first == NR_SUBFEATURE_NOT_SUPPORTED) << first;
    EXPECT_EQ(bitmapPage.GetPageCount(), 2);
    bitmapPage.SetPage(1);
    ASSERT_EQ(bitmapPage.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(bitmapPage.picture.width, 16);
    EXPECT_EQ(bitmapPage.GetConsumedSize(), FileSize(fixture));

    // The preview shows the 256 x 256 PNG entry, or says PNG entries cannot be read here.
    NImageFileICO preview;
    const NRESULT result = preview.Load(fixture.c_str(), 1, 0, nullptr);
    if (result == NR_OK) {
        EXPECT_EQ(preview.picture.width, 256);
        EXPECT_EQ(preview.GetConsumedSize(), FileSize(fixture));
        const Rgba orange = PixelAt(preview.picture, 0, 0);
        const Rgba blue = PixelAt(preview.picture, 50, 50);
        EXPECT_EQ(RGB(orange.r, orange.g, orange.b), RGB(255, 165, 0));
        EXPECT_EQ(RGB(blue.r, blue.g, blue.b), RGB(0, 0, 255));
    } else {
        EXPECT_EQ(result, NR_SUBFEATURE_NOT_SUPPORTED);
        EXPECT_FALSE(preview.picture.valid);
    }
    EXPECT_EQ(CountDlvTempFiles(), temporaryBefore);
}

TEST_F(IcoFormat, BrokenPngEntryFailsInsteadOfShowingAPlaceholder)
{
    Bytes png;
    png.bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}).u32be(13).text("IHDR").u32be(32).u32be(32);
    png.u8(8).u8(2).fill(40, 0x5A);  // 8-bit RGB, then no valid chunk
    const int temporaryBefore = CountDlvTempFiles();
    const NRESULT result = LoadBytes(IconFile({png.data}));
    EXPECT_NE(result, NR_OK);
    EXPECT_NE(result, NR_NOT_THIS_FORMAT);
    EXPECT_FALSE(icon.picture.valid && icon.picture.width == 32 && icon.picture.bpp == 24);
    EXPECT_EQ(CountDlvTempFiles(), temporaryBefore);
}

TEST_F(IcoFormat, SaveWritesOnePngEntry)
{
    for (const int side : {48, 256}) {
        SCOPED_TRACE(side);
        NImageBuffer source;
        ASSERT_TRUE(source.Create(side, side, 24, 0x0000FF00));
        const std::wstring out = dir.File(L"saved.ico");
        const NRESULT result = icon.Save(out.c_str(), &source, nullptr);
        if (result != NR_OK) {
            // Without a PNG writer in the library no file is left behind.
            EXPECT_EQ(result, NR_ENCODE_FAILED);
            EXPECT_FALSE(FileExists(out));
            continue;
        }
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(ReadWholeFile(out, bytes));
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(bytes[4], 1);                       // one entry
        EXPECT_EQ(bytes[6], side < 256 ? side : 0);   // width and height bytes
        EXPECT_EQ(bytes[7], side < 256 ? side : 0);
        EXPECT_EQ(bytes[12], 24);                     // bit count
        EXPECT_EQ(bytes[14] | (bytes[15] << 8) | (bytes[16] << 16), static_cast<int>(bytes.size() - 22));
        EXPECT_EQ(bytes[18], 22);
        EXPECT_EQ(bytes[23], 'P');
        NImageFileICO back;
        ASSERT_EQ(back.Load(out.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(back.picture.width, side);
        const Rgba p = PixelAt(back.picture, side - 1, side - 1);
        EXPECT_EQ(RGB(p.r, p.g, p.b), RGB(0, 255, 0));
        EXPECT_EQ(back.GetConsumedSize(), bytes.size());
    }
    NImageBuffer empty;
    EXPECT_EQ(icon.Save(dir.File(L"none.ico").c_str(), &empty, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(FileExists(dir.File(L"none.ico")));
}

// ---- Animated cursors ----

namespace {

// One frame: a one-entry icon of (5 + index) x 5 pixels.
std::vector<uint8_t> Frame(int index)
{
    return IconFile({PlainEntry(5 + index, 5, 32, 0xFF000000u | static_cast<uint32_t>(index * 40))});
}

Bytes Chunk(const char* tag, const std::vector<uint8_t>& body, bool pad = true)
{
    Bytes b;
    b.text(tag).u32(static_cast<uint32_t>(body.size())).raw(body);
    if (pad && (body.size() & 1))
        b.u8(0);
    return b;
}

Bytes AnimationHeader(uint32_t frames, uint32_t flags)
{
    Bytes b;
    b.u32(36).u32(frames).u32(frames).u32(0).u32(0).u32(0).u32(0).u32(6).u32(flags);
    return b;
}

// RIFF "ACON" around the chunks.
std::vector<uint8_t> Riff(const Bytes& chunks, const char* form = "ACON")
{
    Bytes b;
    b.text("RIFF").u32(static_cast<uint32_t>(4 + chunks.size())).text(form).raw(chunks.data);
    return b.data;
}

std::vector<uint8_t> Animation(int frames, uint32_t flags = 1)
{
    Bytes list;
    list.text("fram");
    for (int i = 0; i < frames; ++i)
        list.raw(Chunk("icon", Frame(i)).data);
    Bytes chunks;
    chunks.raw(Chunk("LIST", Bytes().text("INFO").raw(Chunk("INAM", {'a', 'b', 'c'}).data).data).data);
    chunks.raw(Chunk("anih", AnimationHeader(frames, flags).data).data);
    chunks.raw(Chunk("LIST", list.data).data);
    return Riff(chunks);
}

class AniFormat : public ::testing::Test {
protected:
    NRESULT LoadBytes(const std::vector<uint8_t>& bytes)
    {
        path = dir.File(L"test.ani");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return cursor.Load(path.c_str(), 0, 0, nullptr);
    }

    TestDir dir;
    std::wstring path;
    NImageFileANI cursor;
};

}  // namespace

TEST_F(AniFormat, EveryFrameIsAPage)
{
    const int temporaryBefore = CountDlvTempFiles();
    const std::vector<uint8_t> bytes = Animation(5);
    ASSERT_EQ(LoadBytes(bytes), NR_OK);
    EXPECT_EQ(cursor.GetPageCount(), 5);
    EXPECT_TRUE(cursor.IsMultiImage());
    EXPECT_EQ(cursor.picture.width, 5);
    EXPECT_EQ(cursor.GetConsumedSize(), bytes.size());
    cursor.SetPage(4);
    ASSERT_EQ(cursor.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(cursor.picture.width, 9);
    EXPECT_EQ(cursor.fullWidth, 9);
    EXPECT_EQ(PixelAt(cursor.picture, 0, 0).b, 160);
    EXPECT_EQ(cursor.GetConsumedSize(), bytes.size());
    cursor.SetPage(5);
    EXPECT_EQ(cursor.Load(path.c_str(), 0, 0, nullptr), NR_FORMAT_INIT_FAILED);
    cursor.SetPage(-1);
    EXPECT_EQ(cursor.Load(path.c_str(), 0, 0, nullptr), NR_FORMAT_INIT_FAILED);
    EXPECT_EQ(CountDlvTempFiles(), temporaryBefore);
}

TEST_F(AniFormat, RefusesFilesThatAreNotIconAnimations)
{
    EXPECT_EQ(LoadBytes(Animation(2, 0)), NR_SUBFEATURE_NOT_SUPPORTED);
    NImageFileANI wave;
    path = dir.File(L"wave.ani");
    ASSERT_TRUE(WriteWholeFile(path, Riff(Chunk("fmt ", std::vector<uint8_t>(16, 1)), "WAVE")));
    EXPECT_EQ(wave.Load(path.c_str(), 0, 0, nullptr), NR_SUBFEATURE_NOT_SUPPORTED);
    EXPECT_EQ(wave.GetPageCount(), 1);
    NImageFileANI notRiff;
    std::vector<uint8_t> bytes = Animation(1);
    bytes[0] = 'X';
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    EXPECT_EQ(notRiff.Load(path.c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
}

TEST_F(AniFormat, ChunksAreFoundByTheirSizesNotByTheirBytes)
{
    // Frame 0 holds the text "icon" inside its pixels and ends with the byte 'i', so the
    // next chunk's tag follows an 'i'; an odd-sized chunk before the list has no pad byte.
    std::vector<uint8_t> first = Frame(0);
    const size_t pixels = 6 + 16 + 40;
    memcpy(first.data() + pixels, "icon", 4);
    first.back() = 'i';
    Bytes list;
    list.text("fram").raw(Chunk("icon", first).data).raw(Chunk("icon", Frame(1)).data).raw(Chunk("icon", Frame(2)).data);
    Bytes chunks;
    chunks.raw(Chunk("anih", AnimationHeader(3, 1).data).data);
    chunks.raw(Chunk("rate", {1, 2, 3, 4, 5}, false).data);
    chunks.raw(Chunk("LIST", list.data).data);
    const std::vector<uint8_t> bytes = Riff(chunks);
    for (const int page : {0, 1, 2}) {
        SCOPED_TRACE(page);
        NImageFileANI fresh;
        fresh.SetPage(page);
        path = dir.File(L"walk.ani");
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        fresh.pageCount = 3;  // skip the first-load survey, which resets the page
        ASSERT_EQ(fresh.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(fresh.picture.width, 5 + page);
    }
}
