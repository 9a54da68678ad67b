// Metafiles, drawing previews and EPS previews: metafiles that the test records with GDI, played
// back by GDI into pictures whose pixels are checked; placeable headers and their checksums;
// drawings with bitmap and metafile previews; EPS files with TIFF and metafile previews; and
// ranges and records that do not lie inside the file.
#include "imagefile/ImageFactory.h"
#include "imagefile/extra/MetafilePicture.h"
#include "imagefile/extra/NImageFileDWG.h"
#include "imagefile/extra/NImageFileEMF.h"
#include "imagefile/extra/NImageFileEPS.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

void FillBox(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    const RECT box = {left, top, right, bottom};
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

// A Windows metafile of a 100 x 40 drawing: red on the left fifth, blue on the right fifth,
// nothing between. With a window extent when `window` (as placeable metafiles carry).
std::vector<uint8_t> RecordWindowsMetafile(bool window)
{
    HDC dc = CreateMetaFileW(nullptr);
    if (window) {
        SetWindowOrgEx(dc, 0, 0, nullptr);
        SetWindowExtEx(dc, 100, 40, nullptr);
    }
    FillBox(dc, 0, 0, 20, 40, kRed);
    FillBox(dc, 80, 0, 100, 40, kBlue);
    HMETAFILE metafile = CloseMetaFile(dc);
    std::vector<uint8_t> bytes(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteMetaFile(metafile);
    return bytes;
}

// The same drawing as an enhanced metafile with a frame of 100 x 40 reference pixels.
std::vector<uint8_t> RecordEnhancedMetafile()
{
    HDC screen = GetDC(nullptr);
    const int pixelsX = GetDeviceCaps(screen, HORZRES);
    const int pixelsY = GetDeviceCaps(screen, VERTRES);
    const int millimetresX = GetDeviceCaps(screen, HORZSIZE);
    const int millimetresY = GetDeviceCaps(screen, VERTSIZE);
    ReleaseDC(nullptr, screen);
    const RECT frame = {0, 0, MulDiv(100, millimetresX * 100, pixelsX), MulDiv(40, millimetresY * 100, pixelsY)};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    FillBox(dc, 0, 0, 20, 40, kRed);
    FillBox(dc, 80, 0, 100, 40, kBlue);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    std::vector<uint8_t> bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteEnhMetaFile(metafile);
    return bytes;
}

// A placeable header for a metafile of `unitsPerInch` units an inch.
Bytes PlaceableHeader(int left, int top, int right, int bottom, int unitsPerInch)
{
    Bytes h;
    h.u32(0x9AC6CDD7).u16(0).u16(left).u16(top).u16(right).u16(bottom).u16(unitsPerInch).u32(0);
    h.u16(NImageFileEMF::PlaceableChecksum(h.data.data()));
    return h;
}

COLORREF ColourAt(const NImageBuffer& pic, int x, int y)
{
    const Rgba p = PixelAt(pic, x, y);
    return RGB(p.r, p.g, p.b);
}

// The drawing of RecordWindowsMetafile, scaled to the picture: red, background, blue from left
// to right.
::testing::AssertionResult ShowsTheDrawing(const NImageBuffer& pic, COLORREF background)
{
    if (!pic.valid || pic.bpp != 24)
        return ::testing::AssertionFailure() << "no 24-bit picture";
    const int y = pic.height / 2;
    const COLORREF left = ColourAt(pic, pic.width / 10, y);
    const COLORREF middle = ColourAt(pic, pic.width / 2, y);
    const COLORREF right = ColourAt(pic, pic.width * 9 / 10, y);
    if (left != kRed || middle != background || right != kBlue)
        return ::testing::AssertionFailure() << std::hex << "left " << left << ", middle " << middle << ", right "
                                             << right << " in " << std::dec << pic.width << " x " << pic.height;
    return ::testing::AssertionSuccess();
}

// A drawing file: "AC1015", the image-data address at 13, then the image data.
Bytes Drawing(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& entries, bool sentinel = true)
{
    Bytes f;
    f.text("AC1015").fill(7, 0).u32(32).fill(32 - 17, 0);
    const uint8_t mark[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                              0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
    f.raw(mark, sizeof(mark));
    if (!sentinel)
        f.data.back() ^= 1;
    f.u32(0).u8(static_cast<unsigned>(entries.size()));
    uint32_t at = static_cast<uint32_t>(f.size() + 9 * entries.size());
    for (const auto& entry : entries) {
        f.u8(entry.first).u32(at).u32(static_cast<uint32_t>(entry.second.size()));
        at += static_cast<uint32_t>(entry.second.size());
    }
    for (const auto& entry : entries)
        f.raw(entry.second);
    return f;
}

// A 4-bit device-independent bitmap of 4 x 2: index 0 on the left half, 1 (red) on the right.
std::vector<uint8_t> FourBitBitmap()
{
    Bytes b;
    b.u32(40).u32(4).u32(2).u16(1).u16(4).u32(0).u32(8).u32(0).u32(0).u32(0).u32(0);
    for (int i = 0; i < 16; ++i)
        b.bytes({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(i), 0, 0});   // blue, green, red, 0
    b.data[40 + 4 + 0] = 0;   // entry 1: red
    b.data[40 + 4 + 1] = 0;
    b.data[40 + 4 + 2] = 255;
    for (int row = 0; row < 2; ++row)
        b.bytes({0x00, 0x11, 0x00, 0x00});
    return b.data;
}

// An EPS file with the binary header and the given previews.
std::vector<uint8_t> Eps(const std::vector<uint8_t>& metafile, const std::vector<uint8_t>& tiff)
{
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n";
    Bytes f;
    const uint32_t psAt = 30;
    const uint32_t wmfAt = psAt + static_cast<uint32_t>(postscript.size());
    const uint32_t tiffAt = wmfAt + static_cast<uint32_t>(metafile.size());
    f.bytes({0xC5, 0xD0, 0xD3, 0xC6}).u32(psAt).u32(static_cast<uint32_t>(postscript.size()));
    f.u32(metafile.empty() ? 0 : wmfAt).u32(static_cast<uint32_t>(metafile.size()));
    f.u32(tiff.empty() ? 0 : tiffAt).u32(static_cast<uint32_t>(tiff.size())).u16(0xFFFF);
    f.text(postscript.c_str()).raw(metafile).raw(tiff);
    return f.data;
}

class Metafiles : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes, const wchar_t* name)
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    TestDir dir;
};

}  // namespace

TEST_F(Metafiles, EnhancedMetafileIsPlayedAtItsFrameSize)
{
    NImageFileEMF file;
    file.loadOptions.backgroundColour = kGreen;
    const std::vector<uint8_t> bytes = RecordEnhancedMetafile();
    const std::wstring path = Write(bytes, L"drawing.emf");
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_NEAR(file.picture.width, 100, 1);
    EXPECT_NEAR(file.picture.height, 40, 1);
    EXPECT_TRUE(ShowsTheDrawing(file.picture, kGreen));
    EXPECT_TRUE(file.picture.hasTransparency);
    EXPECT_EQ(static_cast<COLORREF>(file.picture.transparentColour), kGreen);
    EXPECT_EQ(file.GetConsumedSize(), bytes.size());
    EXPECT_EQ(file.fullWidth, file.picture.width);
    EXPECT_STREQ(file.GetFileName(), L"");   // the metafile reader keeps no file name

    // Through the factory by extension, with the default white background.
    NImageBuffer loaded;
    ASSERT_EQ(LoadImageIntoBitmap(loaded, path.c_str(), 0, 0, nullptr, 0), NR_OK);
    EXPECT_TRUE(ShowsTheDrawing(loaded, RGB(255, 255, 255)));
}

// Text, gradients, stretched bitmaps and blending, each in a quarter of a 200 x 100 drawing, as a
// metafile of a real document holds them: GDI paints every kind.
TEST_F(Metafiles, EnhancedMetafileKindsOfDrawingArePainted)
{
    HDC screen = GetDC(nullptr);
    const RECT frame = {0, 0, MulDiv(200, GetDeviceCaps(screen, HORZSIZE) * 100, GetDeviceCaps(screen, HORZRES)),
                        MulDiv(100, GetDeviceCaps(screen, VERTSIZE) * 100, GetDeviceCaps(screen, VERTRES))};
    ReleaseDC(nullptr, screen);
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    // Text: a bold "W" 40 pixels high at the top left.
    HFONT font = CreateFontW(-40, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, 10, 5, L"WW", 2);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    // A gradient from red to blue at the top right.
    TRIVERTEX vertices[2] = {{100, 0, 0xFF00, 0, 0, 0}, {200, 50, 0, 0, 0xFF00, 0}};
    GRADIENT_RECT rect = {0, 1};
    GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
    // A 2 x 1 bitmap (green, red) stretched over the bottom left.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    const uint32_t pixels[2] = {0x0000FF00, 0x00FF0000};
    StretchDIBits(dc, 0, 50, 100, 50, 0, 0, 2, 1, pixels, &info, DIB_RGB_COLORS, SRCCOPY);
    // Blue blended at half strength over the background at the bottom right.
    HDC memory = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    info.bmiHeader.biWidth = 1;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    *static_cast<uint32_t*>(bits) = 0xFF0000FF;
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    const BLENDFUNCTION half = {AC_SRC_OVER, 0, 128, 0};
    GdiAlphaBlend(dc, 100, 50, 100, 50, memory, 0, 0, 1, 1, half);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    HENHMETAFILE recorded = CloseEnhMetaFile(dc);
    std::vector<uint8_t> bytes(GetEnhMetaFileBits(recorded, 0, nullptr));
    GetEnhMetaFileBits(recorded, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteEnhMetaFile(recorded);

    NImageFileEMF file;
    ASSERT_EQ(file.Load(Write(bytes, L"kinds.emf").c_str(), 0, 0, nullptr), NR_OK);
    const NImageBuffer& pic = file.picture;
    ASSERT_NEAR(pic.width, 200, 1);
    ASSERT_NEAR(pic.height, 100, 1);
    int dark = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            dark += ColourAt(pic, x, y) == RGB(0, 0, 0);
    EXPECT_GT(dark, 100) << "the text";
    const Rgba gradientLeft = PixelAt(pic, 105, 25);
    const Rgba gradientRight = PixelAt(pic, 195, 25);
    EXPECT_TRUE(gradientLeft.r > 200 && gradientLeft.b < 50) << "the gradient's red end";
    EXPECT_TRUE(gradientRight.b > 200 && gradientRight.r < 50) << "the gradient's blue end";
    EXPECT_EQ(ColourAt(pic, 20, 75), RGB(0, 255, 0)) << "the stretched bitmap";
    EXPECT_EQ(ColourAt(pic, 80, 75), RGB(255, 0, 0)) << "the stretched bitmap";
    const Rgba blended = PixelAt(pic, 150, 75);
    EXPECT_NEAR(blended.r, 127, 3) << "the blend";
    EXPECT_NEAR(blended.b, 255, 1) << "the blend";
}

TEST_F(Metafiles, EnhancedMetafileFrameOfNoWidthGives1300Pixels)
{
    std::vector<uint8_t> bytes = RecordEnhancedMetafile();
    const uint32_t left = bytes[24] | (bytes[25] << 8) | (bytes[26] << 16) | (uint32_t{bytes[27]} << 24);
    for (int i = 0; i < 4; ++i)
        bytes[32 + i] = static_cast<uint8_t>(left >> (8 * i));   // rclFrame.right = left
    NImageFileEMF file;
    ASSERT_EQ(file.Load(Write(bytes, L"thin.emf").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(file.picture.width, 1300);
    EXPECT_NEAR(file.picture.height, 40, 1);
}

TEST_F(Metafiles, PlainAndPlaceableWindowsMetafiles)
{
    // A placeable header of 100 x 40 units at 100 units an inch: a frame of twice an inch by twice
    // 0.4 inch, so the picture is twice the drawing's size at the display's resolution.
    const std::vector<uint8_t> metafile = RecordWindowsMetafile(true);
    Bytes placeable = PlaceableHeader(0, 0, 100, 40, 100);
    placeable.raw(metafile);
    NImageFileEMF file;
    file.loadOptions.backgroundColour = kGreen;
    ASSERT_EQ(file.Load(Write(placeable.data, L"placed.wmf").c_str(), 0, 0, nullptr), NR_OK);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_NEAR(file.picture.width, 2 * dpi, 4);
    EXPECT_NEAR(file.picture.height, 2 * dpi * 4 / 10, 4);
    EXPECT_TRUE(ShowsTheDrawing(file.picture, kGreen));

    // The same bytes without the placeable header: the drawing still shows.
    NImageFileEMF plain;
    plain.loadOptions.backgroundColour = kGreen;
    ASSERT_EQ(plain.Load(Write(RecordWindowsMetafile(false), L"plain.wmf").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_NEAR(plain.picture.width, 100, 3);
    EXPECT_NEAR(plain.picture.height, 40, 3);
    EXPECT_TRUE(ShowsTheDrawing(plain.picture, kGreen));

    // A wrong checksum, and a metafile whose last record passes the end of the file.
    Bytes wrongSum = placeable;
    wrongSum.data[20] ^= 1;
    NImageFileEMF refused;
    EXPECT_EQ(refused.Load(Write(wrongSum.data, L"sum.wmf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    std::vector<uint8_t> cut(placeable.data.begin(), placeable.data.end() - 2);
    EXPECT_EQ(refused.Load(Write(cut, L"cut.wmf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    EXPECT_EQ(refused.Load(Write({1, 2, 3, 4, 5}, L"junk.wmf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    EXPECT_EQ(refused.Load(dir.File(L"missing.emf").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
    EXPECT_FALSE(NImageFileEMF::IsFormat(placeable.data.data(), 0, placeable.size()));
}

TEST_F(Metafiles, PlaceableExtentsAreHundredthsOfAMillimetreDoubled)
{
    Bytes inch = PlaceableHeader(0, 0, 1440, 1440, 1440);
    inch.raw(RecordWindowsMetafile(true));
    EnhancedMetafile metafile(NImageFileEMF::ConvertPlaceableWmf(inch.data.data(), inch.size()));
    ASSERT_TRUE(metafile);
    ENHMETAHEADER header = {};
    ASSERT_TRUE(GetEnhMetaFileHeader(metafile.Get(), sizeof(header), &header));
    EXPECT_NEAR(header.rclFrame.right - header.rclFrame.left, 5080, 2);
    EXPECT_NEAR(header.rclFrame.bottom - header.rclFrame.top, 5080, 2);

    Bytes noUnits = PlaceableHeader(0, 0, 10, 10, 0);
    noUnits.raw(RecordWindowsMetafile(true));
    EXPECT_EQ(NImageFileEMF::ConvertPlaceableWmf(noUnits.data.data(), noUnits.size()), nullptr);
}

TEST_F(Metafiles, MetafileRecordsAreCheckedBeforeGdiSeesThem)
{
    const std::vector<uint8_t> wmf = RecordWindowsMetafile(false);
    EXPECT_EQ(WindowsMetafileLength(wmf.data(), wmf.size()), wmf.size());
    EXPECT_EQ(WindowsMetafileLength(wmf.data(), wmf.size() - 1), 0u);
    std::vector<uint8_t> huge = wmf;
    huge[18] = 0xFF;   // the first record claims more words than there are
    huge[19] = 0xFF;
    EXPECT_EQ(WindowsMetafileLength(huge.data(), huge.size()), 0u);
    std::vector<uint8_t> tiny = wmf;
    tiny[18] = 2;      // a record of fewer than 3 words
    tiny[19] = tiny[20] = tiny[21] = 0;
    EXPECT_EQ(WindowsMetafileLength(tiny.data(), tiny.size()), 0u);

    const std::vector<uint8_t> emf = RecordEnhancedMetafile();
    EXPECT_EQ(EnhancedMetafileLength(emf.data(), emf.size()), emf.size());
    EXPECT_EQ(EnhancedMetafileLength(emf.data(), emf.size() - 4), 0u);
    std::vector<uint8_t> badRecord = emf;
    const uint32_t headerBytes = emf[4] | (emf[5] << 8);
    badRecord[headerBytes + 4] = 6;   // a record size that is no multiple of 4
    badRecord[headerBytes + 5] = badRecord[headerBytes + 6] = badRecord[headerBytes + 7] = 0;
    EXPECT_EQ(EnhancedMetafileLength(badRecord.data(), badRecord.size()), 0u);
    NImageFileEMF file;
    EXPECT_EQ(file.Load(Write(badRecord, L"bad.emf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
}

// The offset of the first record of `type` behind the header, or 0.
size_t FindRecord(const std::vector<uint8_t>& emf, uint32_t type)
{
    for (size_t at = emf[4] | (emf[5] << 8); at + 8 <= emf.size();) {
        const uint32_t size = emf[at + 4] | (emf[at + 5] << 8) | (emf[at + 6] << 16) | (uint32_t{emf[at + 7]} << 24);
        if ((emf[at] | (emf[at + 1] << 8)) == static_cast<int>(type))
            return at;
        if (size < 8)
            break;
        at += size;
    }
    return 0;
}

void PutU32At(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The offset of the first Windows-metafile record of `function`, or 0.
size_t FindWindowsRecord(const std::vector<uint8_t>& wmf, uint16_t function)
{
    for (size_t at = 18; at + 6 <= wmf.size();) {
        const uint32_t words = wmf[at] | (wmf[at + 1] << 8) | (wmf[at + 2] << 16) | (uint32_t{wmf[at + 3]} << 24);
        if ((wmf[at + 4] | (wmf[at + 5] << 8)) == function)
            return at;
        if (words < 3)
            break;
        at += size_t{words} * 2;
    }
    return 0;
}

TEST_F(Metafiles, WindowsRecordFieldsAreCheckedBeforeGdiSeesThem)
{
    HDC dc = CreateMetaFileW(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 3, kRed);
    HGDIOBJ old = SelectObject(dc, pen);
    const POINT points[3] = {{5, 5}, {55, 20}, {5, 35}};
    Polyline(dc, points, 3);
    SelectObject(dc, old);
    DeleteObject(pen);
    TextOutW(dc, 2, 2, L"ab", 2);
    HMETAFILE recorded = CloseMetaFile(dc);
    std::vector<uint8_t> wmf(GetMetaFileBitsEx(recorded, 0, nullptr));
    GetMetaFileBitsEx(recorded, static_cast<UINT>(wmf.size()), wmf.data());
    DeleteMetaFile(recorded);
    ASSERT_EQ(WindowsMetafileLength(wmf.data(), wmf.size()), wmf.size());

    const size_t select = FindWindowsRecord(wmf, META_SELECTOBJECT);
    const size_t remove = FindWindowsRecord(wmf, META_DELETEOBJECT);
    const size_t line = FindWindowsRecord(wmf, META_POLYLINE);
    const size_t text = FindWindowsRecord(wmf, META_EXTTEXTOUT) ? FindWindowsRecord(wmf, META_EXTTEXTOUT)
                                                                : FindWindowsRecord(wmf, META_TEXTOUT);
    ASSERT_TRUE(select && remove && line && text);
    const bool extended = (wmf[text + 4] | (wmf[text + 5] << 8)) == META_EXTTEXTOUT;
    struct Case {
        const char* what;
        size_t at;
        uint16_t value;
    };
    const Case cases[] = {
        {"an object selected past the object table", select + 6, 0x8A00},
        {"an object deleted past the object table", remove + 6, 0x7FFF},
        {"more points than the record holds", line + 6, 0x4000},
        {"more characters than the record holds", text + 6 + (extended ? 4 : 0), 0x7FFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = wmf;
        bad[c.at] = static_cast<uint8_t>(c.value);
        bad[c.at + 1] = static_cast<uint8_t>(c.value >> 8);
        EXPECT_EQ(WindowsMetafileLength(bad.data(), bad.size()), 0u);
        NImageFileEMF file;
        EXPECT_EQ(file.Load(Write(bad, L"bad.wmf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    }
}

// A Windows metafile of two objects holding the given records (each its function and parameter
// words) and the end record.
std::vector<uint8_t> HandMadeWindowsMetafile(const std::vector<std::pair<uint16_t, std::vector<uint16_t>>>& records)
{
    Bytes body;
    for (const auto& record : records) {
        body.u32(static_cast<uint32_t>(3 + record.second.size())).u16(record.first);
        for (uint16_t word : record.second)
            body.u16(word);
    }
    body.u32(3).u16(0);
    Bytes f;
    f.u16(1).u16(9).u16(0x300).u32(static_cast<uint32_t>(9 + body.size() / 2)).u16(2).u32(64).u16(0);
    f.raw(body.data);
    return f.data;
}

// Palettes, regions, escapes and the bitmaps of the first Windows: their counts and indices are
// checked too, and some players read a palette's index from the word after the one checked.
TEST_F(Metafiles, WindowsPaletteRegionAndBitmapRecordsAreChecked)
{
    using Records = std::vector<std::pair<uint16_t, std::vector<uint16_t>>>;
    const std::vector<uint16_t> palette = {0x300, 1, 0x00FF, 0x0000};   // one entry: red
    const std::vector<uint16_t> brush = {BS_SOLID, 0x00FF, 0x0000, 0};
    const Records sound = {{META_CREATEPALETTE, palette}, {META_SELECTPALETTE, {0}}, {META_REALIZEPALETTE, {}},
                           {META_CREATEBRUSHINDIRECT, brush}, {META_SELECTOBJECT, {1}},
                           {META_RECTANGLE, {30, 40, 0, 0}}};
    NImageFileEMF whole;
    ASSERT_EQ(whole.Load(Write(HandMadeWindowsMetafile(sound), L"sound.wmf").c_str(), 0, 0, nullptr), NR_OK);

    struct Case {
        const char* what;
        Records records;
    };
    const Case cases[] = {
        {"a palette selected by a second word past the table", {{META_SELECTPALETTE, {0, 0xFFFF}}}},
        {"a palette of more entries than the record holds", {{META_CREATEPALETTE, {0x300, 200, 0, 0}}}},
        {"an escape of more bytes than the record holds", {{META_ESCAPE, {15, 1000, 0, 0}}}},
        {"a region filled with an object past the table", {{META_FILLREGION, {0, 5}}}},
        {"a region framed with an object past the table", {{META_FRAMEREGION, {1, 1, 9, 0}}}},
        {"a region of fewer words than its header", {{META_CREATEREGION, {0, 6, 0, 0}}}},
        {"an old bitmap of more rows than the record holds", {{META_BITBLT, {0, 0xCC, 0, 0, 10, 10, 0, 100, 100, 100, 1, 8}}}},
        {"an old pattern brush", {{META_CREATEPATTERNBRUSH, {BS_PATTERN, 0, 0, 0}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> bad = HandMadeWindowsMetafile(c.records);
        EXPECT_EQ(WindowsMetafileLength(bad.data(), bad.size()), 0u);
        NImageFileEMF file;
        EXPECT_EQ(file.Load(Write(bad, L"bad.wmf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
    }
}

TEST_F(Metafiles, EnhancedRecordFieldsAreCheckedBeforeGdiSeesThem)
{
    // GDI trusts the counts, offsets and object indices inside the records, and writes into its
    // object table at the index a record gives: each of these would make it read or write beyond.
    HDC screen = GetDC(nullptr);
    const RECT frame = {0, 0, MulDiv(60, GetDeviceCaps(screen, HORZSIZE) * 100, GetDeviceCaps(screen, HORZRES)),
                        MulDiv(40, GetDeviceCaps(screen, VERTSIZE) * 100, GetDeviceCaps(screen, VERTRES))};
    ReleaseDC(nullptr, screen);
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    HPEN pen = CreatePen(PS_SOLID, 3, kRed);
    HGDIOBJ old = SelectObject(dc, pen);
    const POINT points[3] = {{5, 5}, {55, 20}, {5, 35}};
    Polyline(dc, points, 3);
    SelectObject(dc, old);
    DeleteObject(pen);
    Arc(dc, 10, 10, 50, 30, 10, 10, 50, 30);
    TextOutW(dc, 2, 2, L"ab", 2);
    HENHMETAFILE recorded = CloseEnhMetaFile(dc);
    std::vector<uint8_t> emf(GetEnhMetaFileBits(recorded, 0, nullptr));
    GetEnhMetaFileBits(recorded, static_cast<UINT>(emf.size()), emf.data());
    DeleteEnhMetaFile(recorded);
    ASSERT_EQ(EnhancedMetafileLength(emf.data(), emf.size()), emf.size());
    NImageFileEMF whole;
    ASSERT_EQ(whole.Load(Write(emf, L"whole.emf").c_str(), 0, 0, nullptr), NR_OK);

    const size_t create = FindRecord(emf, EMR_CREATEPEN);
    const size_t remove = FindRecord(emf, EMR_DELETEOBJECT);
    const size_t line = FindRecord(emf, EMR_POLYLINE16) ? FindRecord(emf, EMR_POLYLINE16) : FindRecord(emf, EMR_POLYLINE);
    const size_t arc = FindRecord(emf, EMR_ARC);
    const size_t text = FindRecord(emf, EMR_EXTTEXTOUTW);
    ASSERT_TRUE(create && remove && line && arc && text);
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Case cases[] = {
        {"a pen made at an index past the object table", create + 8, 0x7FFF},
        {"an object deleted past the object table", remove + 8, 0x40001},
        {"a stock object deleted", remove + 8, 0x80000000},
        {"more points than the record holds", line + 24, 0x10000},
        {"an arc record shorter than its fields", arc + 4, 12},
        {"more characters than the record holds", text + 44, 0x100000},
        {"a text string outside the record", text + 48, 0xFFFFFF00},
        {"a reference device of no millimetres", 80, 0},
        {"a reference device of 20000 pixels a millimetre", 76, 20000u * static_cast<uint32_t>(emf[84] | (emf[85] << 8))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = emf;
        PutU32At(bad, c.at, c.value);
        if (c.at == arc + 4) {
            // The short record keeps the records behind it in place: an empty comment fills the rest.
            const uint32_t arcSize = emf[arc + 4] | (emf[arc + 5] << 8);
            PutU32At(bad, arc + 12, EMR_GDICOMMENT);
            PutU32At(bad, arc + 16, arcSize - 12);
            PutU32At(bad, arc + 20, 0);
        }
        EXPECT_EQ(EnhancedMetafileLength(bad.data(), bad.size()), 0u);
        NImageFileEMF file;
        EXPECT_EQ(file.Load(Write(bad, L"bad.emf").c_str(), 0, 0, nullptr), NR_DECODE_FAILED);
        EXPECT_FALSE(file.picture.valid);
    }
}

// Whether anything was painted between the drawing's red and blue fifths.
bool MiddlePainted(const NImageBuffer& pic, COLORREF background)
{
    for (int y = 0; y < pic.height; ++y)
        for (int x = pic.width * 3 / 10; x < pic.width * 7 / 10; ++x)
            if (ColourAt(pic, x, y) != background)
                return true;
    return false;
}

// GDI under Wine builds ellipses, arcs and the round ends of wide pens from their whole outline,
// and glyphs at their whole size, before clipping: a shape millions of pixels across takes seconds
// or breaks its heap. Such records are passed over, and the rest of the drawing is painted.
TEST_F(Metafiles, CurvesPensAndTextsFarLargerThanThePictureArePassedOver)
{
    struct Case {
        const char* what;
        void (*draw)(HDC dc);
        uint32_t record;          // the record whose field is enlarged
        std::vector<std::pair<uint32_t, uint32_t>> fields;   // offset in the record, value
    };
    const Case cases[] = {
        {"a flat ellipse 134 million pixels wide", [](HDC dc) { Ellipse(dc, 40, 10, 60, 30); }, EMR_ELLIPSE,
         {{8, 134217758u}, {12, 5}, {16, 69}, {20, 34}}},
        {"an ellipse 16 million by 8 million pixels", [](HDC dc) { Ellipse(dc, 40, 10, 60, 30); }, EMR_ELLIPSE,
         {{8, static_cast<uint32_t>(-16777186)}, {12, 8388607}, {16, 69}, {20, 34}}},
        {"a pie of a million pixels", [](HDC dc) { Pie(dc, 40, 10, 60, 30, 60, 20, 40, 20); }, EMR_PIE,
         {{8, static_cast<uint32_t>(-1000000)}, {16, 1000000}}},
        {"an angle arc of radius 16 million", [](HDC dc) { AngleArc(dc, 50, 20, 5, 0, 360); }, EMR_ANGLEARC,
         {{16, 1u << 24}}},
        {"a rounded rectangle with corners a million pixels round",
         [](HDC dc) { RoundRect(dc, 40, 10, 60, 30, 4, 4); }, EMR_ROUNDRECT, {{24, 1000000}, {28, 1000000}}},
        {"a small ellipse at a million times its size",
         [](HDC dc) {
             SetMapMode(dc, MM_ANISOTROPIC);
             SetWindowExtEx(dc, 1, 1, nullptr);
             SetViewportExtEx(dc, 1, 1, nullptr);
             SetWindowOrgEx(dc, -50, -20, nullptr);
             Ellipse(dc, -10, -10, 10, 10);
         },
         EMR_SETVIEWPORTEXTEX, {{8, 1000000}, {12, 1000000}}},
        {"a pen a million pixels wide",
         [](HDC dc) {
             HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
             HGDIOBJ old = SelectObject(dc, pen);
             MoveToEx(dc, 50, 0, nullptr);
             LineTo(dc, 50, 40);
             SelectObject(dc, old);
             DeleteObject(pen);
         },
         EMR_CREATEPEN, {{16, 1000000}}},
        {"a font a million pixels high",
         [](HDC dc) {
             HFONT font = CreateFontW(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans");
             HGDIOBJ old = SelectObject(dc, font);
             SetBkMode(dc, TRANSPARENT);
             TextOutW(dc, 40, 5, L"W", 1);
             SelectObject(dc, old);
             DeleteObject(font);
         },
         EMR_EXTCREATEFONTINDIRECTW, {{12, static_cast<uint32_t>(-1000000)}}},
    };
    HDC screen = GetDC(nullptr);
    const RECT frame = {0, 0, MulDiv(100, GetDeviceCaps(screen, HORZSIZE) * 100, GetDeviceCaps(screen, HORZRES)),
                        MulDiv(40, GetDeviceCaps(screen, VERTSIZE) * 100, GetDeviceCaps(screen, VERTRES))};
    ReleaseDC(nullptr, screen);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
        FillBox(dc, 0, 0, 20, 40, kRed);
        FillBox(dc, 80, 0, 100, 40, kBlue);
        c.draw(dc);
        HENHMETAFILE recorded = CloseEnhMetaFile(dc);
        std::vector<uint8_t> emf(GetEnhMetaFileBits(recorded, 0, nullptr));
        GetEnhMetaFileBits(recorded, static_cast<UINT>(emf.size()), emf.data());
        DeleteEnhMetaFile(recorded);

        // At its own size the shape is painted ...
        NImageFileEMF plain;
        plain.loadOptions.backgroundColour = kGreen;
        ASSERT_EQ(plain.Load(Write(emf, L"plain.emf").c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_TRUE(MiddlePainted(plain.picture, kGreen));

        // ... and enlarged it is not, while the rest of the drawing is.
        const size_t at = FindRecord(emf, c.record);
        ASSERT_NE(at, 0u);
        for (const auto& field : c.fields)
            PutU32At(emf, at + field.first, field.second);
        NImageFileEMF large;
        large.loadOptions.backgroundColour = kGreen;
        ASSERT_EQ(large.Load(Write(emf, L"large.emf").c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_TRUE(ShowsTheDrawing(large.picture, kGreen));
        EXPECT_FALSE(MiddlePainted(large.picture, kGreen));
    }
}

TEST_F(Metafiles, DrawingBitmapPreviewTakesTheBackgroundForIndexZero)
{
    NImageFileDWG file;
    file.loadOptions.backgroundColour = kGreen;
    const Bytes drawing = Drawing({{5, {1, 2, 3}}, {2, FourBitBitmap()}});
    const std::wstring path = Write(drawing.data, L"house.dwg");
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 4);
    EXPECT_EQ(ColourAt(file.picture, 0, 0), kGreen);
    EXPECT_EQ(ColourAt(file.picture, 3, 1), kRed);
    EXPECT_EQ(file.GetConsumedSize(), drawing.size());
    EXPECT_EQ(file.fullWidth, 4);
    EXPECT_STREQ(file.GetFileName(), path.c_str());
}

TEST_F(Metafiles, DrawingMetafilePreviewIsPainted)
{
    NImageFileDWG file;
    file.loadOptions.backgroundColour = kGreen;
    const std::vector<uint8_t> metafile = RecordWindowsMetafile(false);
    const Bytes drawing = Drawing({{3, metafile}});
    ASSERT_EQ(file.Load(Write(drawing.data, L"plan.dwg").c_str(), 0, 0, nullptr), NR_OK);
    // Sized by the bounds of what was drawn, at the reference device's pixels.
    EXPECT_NEAR(file.picture.width, 100, 1);
    EXPECT_NEAR(file.picture.height, 40, 1);
    EXPECT_TRUE(ShowsTheDrawing(file.picture, kGreen));
    EXPECT_EQ(file.GetConsumedSize(), drawing.size());
}

TEST_F(Metafiles, DrawingRefusals)
{
    std::vector<uint8_t> shortBitmap = FourBitBitmap();
    shortBitmap.resize(shortBitmap.size() - 1);
    std::vector<uint8_t> rle = FourBitBitmap();
    rle[16] = BI_RLE4;
    Bytes outside = Drawing({{2, FourBitBitmap()}});
    outside.data.resize(outside.size() - 4);
    Bytes metafileOutside = Drawing({{3, RecordWindowsMetafile(false)}});
    metafileOutside.data.resize(metafileOutside.size() - 2);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    } const cases[] = {
        {"sound", Drawing({{2, FourBitBitmap()}}).data, NR_OK},
        {"no sentinel", Drawing({{2, FourBitBitmap()}}, false).data, NR_SUBFEATURE_NOT_SUPPORTED},
        {"no preview entry", Drawing({{4, {1, 2}}}).data, NR_SUBFEATURE_NOT_SUPPORTED},
        {"bitmap without all its pixels", Drawing({{2, shortBitmap}}).data, NR_SUBFEATURE_NOT_SUPPORTED},
        {"compressed bitmap", Drawing({{2, rle}}).data, NR_SUBFEATURE_NOT_SUPPORTED},
        {"bitmap entry past the file", outside.data, NR_SUBFEATURE_NOT_SUPPORTED},
        {"metafile entry past the file", metafileOutside.data, NR_SUBFEATURE_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileDWG file;
        EXPECT_EQ(file.Load(Write(c.bytes, L"case.dwg").c_str(), 0, 0, nullptr), c.expected);
    }
    NImageFileDWG file;
    EXPECT_EQ(file.Load(Write({'A', 'C', '9', '9', 0}, L"old.dwg").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    const uint8_t signature[] = {'A', 'C', '1', '0', '1'};
    EXPECT_TRUE(NImageFileDWG::IsFormat(signature, 0, 5));
    EXPECT_FALSE(NImageFileDWG::IsFormat(signature, 0, 4));
}

TEST_F(Metafiles, EpsShowsItsTiffPreviewFirst)
{
    NImageBuffer source;
    ASSERT_TRUE(source.Create(6, 3, 24, kBlue));
    const std::wstring tiffPath = dir.File(L"preview.tif");
    ASSERT_EQ(SaveImageFile(&source, tiffPath.c_str(), FT_TIF, nullptr), NR_OK);
    std::vector<uint8_t> tiff;
    ASSERT_TRUE(ReadWholeFile(tiffPath, tiff));
    const int tempFiles = CountDlvTempFiles();

    const std::vector<uint8_t> both = Eps(RecordWindowsMetafile(false), tiff);
    NImageFileEPS file;
    ASSERT_EQ(file.Load(Write(both, L"both.eps").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(file.picture.width, 6);
    EXPECT_EQ(file.picture.height, 3);
    EXPECT_EQ(ColourAt(file.picture, 5, 2), kBlue);
    EXPECT_EQ(file.GetConsumedSize(), both.size());
    EXPECT_EQ(CountDlvTempFiles(), tempFiles);

    // Only a metafile preview: painted onto the background, which becomes the transparent colour.
    NImageFileEPS painted;
    painted.loadOptions.backgroundColour = kGreen;
    const std::vector<uint8_t> metafileOnly = Eps(RecordWindowsMetafile(false), {});
    ASSERT_EQ(painted.Load(Write(metafileOnly, L"wmf.eps").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(ShowsTheDrawing(painted.picture, kGreen));
    EXPECT_TRUE(painted.picture.hasTransparency);
    EXPECT_EQ(painted.GetConsumedSize(), metafileOnly.size());
}

TEST_F(Metafiles, EpsRefusals)
{
    std::vector<uint8_t> outside = Eps({}, {1, 2, 3, 4});
    outside.resize(outside.size() - 1);
    const int tempFiles = CountDlvTempFiles();
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    } const cases[] = {
        {"no preview", Eps({}, {}), NR_SUBFEATURE_NOT_SUPPORTED},
        {"a TIFF preview that is no picture", Eps({}, std::vector<uint8_t>(64, 0x11)), NR_DECODE_FAILED},
        {"a TIFF preview past the file", outside, NR_INVALID_DATA},
        {"a metafile preview that is not sound", Eps(std::vector<uint8_t>(40, 0x22), {}), NR_DECODE_FAILED},
        {"header cut short", {0xC5, 0xD0, 0xD3, 0xC6, 0, 0, 0}, NR_INVALID_DATA},
        {"reversed magic", {0xC6, 0xD3, 0xD0, 0xC5, 0, 0, 0, 0, 0, 0}, NR_NOT_THIS_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFileEPS file;
        EXPECT_EQ(file.Load(Write(c.bytes, L"case.eps").c_str(), 0, 0, nullptr), c.expected);
    }
    EXPECT_EQ(CountDlvTempFiles(), tempFiles);
    const uint8_t good[] = {0xC5, 0xD0, 0xD3, 0xC6, 0};
    const uint8_t reversed[] = {0xC6, 0xD3, 0xD0, 0xC5, 0};
    EXPECT_TRUE(NImageFileEPS::IsFormat(good, 0, 5));
    EXPECT_FALSE(NImageFileEPS::IsFormat(reversed, 0, 5));
}
