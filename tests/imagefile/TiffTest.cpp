// The TIFF format class: files made by ImageMagick and tiffcp (tests/data/tiff), each also as a
// carved candidate with unrelated bytes after it; layouts the tools do not write, made here
// through libtiff; the writer's compressions, colour maps, alpha and pages; failures that must
// not pass as good pictures.
#include "imagefile/formats/NImageFileTIF.h"

#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"

#include <tiffio.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::wstring Fixture(const std::wstring& name)
{
    return TestDataPath(L"tiff\\" + name);
}

// Bytes that follow a carved picture: noise with signatures of other formats in it.
Bytes Garbage(size_t size)
{
    Bytes bytes(size);
    uint32_t state = 0x12345678u;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    const char* signatures[] = {"%PDF-1.4", "II*\0", "\xFF\xD8\xFF\xE0", "GIF89a"};
    for (size_t i = 0; i < 4 && size > 600; ++i)
        std::memcpy(bytes.data() + 100 + i * 120, signatures[i], 4);
    return bytes;
}

// The first pixel's bytes of picture row y counted from the top.
const uint8_t* Row(const NImageBuffer& picture, int y)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - y) * picture.stride;
}

const uint8_t* Pixel(const NImageBuffer& picture, int x, int y)
{
    return Row(picture, y) + static_cast<size_t>(x) * (picture.bpp / 8);
}

int Index(const NImageBuffer& picture, int x, int y)
{
    const uint8_t* row = Row(picture, y);
    switch (picture.bpp) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    default: return row[x];
    }
}

// The pixel's colour as blue, green, red, whatever the depth.
struct Bgr {
    int b, g, r;
};

Bgr ColourAt(const NImageBuffer& picture, int x, int y)
{
    if (picture.bpp <= 8) {
        const uint8_t* entry = picture.palette[Index(picture, x, y)];
        return {entry[0], entry[1], entry[2]};
    }
    const uint8_t* p = Pixel(picture, x, y);
    return {p[0], p[1], p[2]};
}

void ExpectColour(const Bgr& actual, int r, int g, int b, int tolerance, const char* what)
{
    EXPECT_NEAR(actual.r, r, tolerance) << what;
    EXPECT_NEAR(actual.g, g, tolerance) << what;
    EXPECT_NEAR(actual.b, b, tolerance) << what;
}

struct LoadedTiff {
    NRESULT result;
    std::unique_ptr<NImageFileTIF> file;
};

LoadedTiff Load(const std::wstring& path)
{
    LoadedTiff loaded{NR_OK, std::make_unique<NImageFileTIF>()};
    loaded.result = loaded.file->Load(path.c_str(), 0, 1, nullptr);
    return loaded;
}

// Writes a TIFF through libtiff: one strip of the given raw rows.
struct TiffSpec {
    uint32_t width = 4;
    uint32_t height = 2;
    uint16_t samples = 1;
    uint16_t bits = 8;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::vector<uint16_t> red, green, blue;   // colour map
};

bool WriteRawTiff(const std::wstring& path, const TiffSpec& spec, Bytes rows)
{
    TIFF* file = TIFFOpenW(path.c_str(), "w");
    if (!file)
        return false;
    TIFFSetField(file, TIFFTAG_IMAGEWIDTH, spec.width);
    TIFFSetField(file, TIFFTAG_IMAGELENGTH, spec.height);
    TIFFSetField(file, TIFFTAG_SAMPLESPERPIXEL, spec.samples);
    TIFFSetField(file, TIFFTAG_BITSPERSAMPLE, spec.bits);
    TIFFSetField(file, TIFFTAG_PHOTOMETRIC, spec.photometric);
    TIFFSetField(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(file, TIFFTAG_ROWSPERSTRIP, spec.height);
    if (!spec.red.empty())
        TIFFSetField(file, TIFFTAG_COLORMAP, spec.red.data(), spec.green.data(), spec.blue.data());
    const bool ok = TIFFWriteEncodedStrip(file, 0, rows.data(), static_cast<tmsize_t>(rows.size())) >= 0;
    TIFFClose(file);
    return ok;
}

uint16_t CompressionOf(const std::wstring& path, uint32_t page = 0)
{
    TIFF* file = TIFFOpenW(path.c_str(), "r");
    if (!file)
        return 0;
    uint16_t compression = 0;
    if (TIFFSetDirectory(file, static_cast<tdir_t>(page)))
        TIFFGetField(file, TIFFTAG_COMPRESSION, &compression);
    TIFFClose(file);
    return compression;
}

// ---- Reading: every fixture, as it is and carved -------------------------------------------

struct FixtureCase {
    const wchar_t* name;
    int width;
    int height;
    int bpp;
};

const FixtureCase kFixtures[] = {
    {L"rgb-le.tif", 24, 16, 24},
    {L"rgb-be-lzw.tif", 24, 16, 24},
    {L"rgb-zip-predictor.tif", 24, 16, 24},
    {L"rgb-packbits.tif", 24, 16, 24},
    {L"rgb-jpeg.tif", 32, 16, 24},
    {L"rgba.tif", 24, 8, 32},
    {L"cmyk.tif", 12, 8, 32},
    {L"lab.tif", 12, 8, 24},
    {L"grey8.tif", 256, 16, 8},
    {L"grey16.tif", 256, 16, 8},
    {L"grey-alpha.tif", 16, 8, 8},
    {L"palette8.tif", 64, 4, 8},
    {L"palette4.tif", 10, 4, 4},
    {L"fax-204x98.tif", 40, 40, 24},    // doubled in height
    {L"fax-204x196.tif", 40, 20, 1},
    {L"tiled-bw.tif", 40, 20, 1},
    {L"pages10.tif", 8, 8, 8},
};

TEST(TiffReadTest, EveryFixtureLoadsAlsoAsCarvedCandidateAndConsumesItsOwnBytes)
{
    TestDir dir;
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        Bytes bytes;
        ASSERT_TRUE(ReadWholeFile(Fixture(c.name), bytes));

        LoadedTiff plain = Load(Fixture(c.name));
        ASSERT_EQ(plain.result, NR_OK);
        EXPECT_EQ(plain.file->picture.width, c.width);
        EXPECT_EQ(plain.file->picture.height, c.height);
        EXPECT_EQ(plain.file->picture.bpp, c.bpp);
        EXPECT_EQ(plain.file->fullWidth, c.width);
        EXPECT_EQ(plain.file->fullHeight, c.height);
        EXPECT_EQ(plain.file->GetConsumedSize(), bytes.size());
        EXPECT_EQ(plain.file->GetFormatId(), FT_TIF);

        // The scan's candidate: the picture followed by unrelated bytes, loaded with the quick flag
        // through the factory. Nothing past the picture is interpreted or counted: the picture
        // ends where its directories and strips end.
        Bytes candidate = bytes;
        const Bytes garbage = Garbage(5000);
        candidate.insert(candidate.end(), garbage.begin(), garbage.end());
        const std::wstring path = dir.File(L"VSTScan0001.tif");
        ASSERT_TRUE(WriteWholeFile(path, candidate));
        NImageFile* object = nullptr;
        EXPECT_EQ(LoadImageFile(&object, path.c_str(), 0, 1, nullptr, 0), NR_OK);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->GetFormatId(), FT_TIF);
        EXPECT_EQ(object->GetConsumedSize(), bytes.size());
        EXPECT_EQ(object->picture.width, c.width);
        EXPECT_EQ(object->picture.height, c.height);
        delete object;
    }
}

TEST(TiffReadTest, RgbFilesInBothByteOrdersAndEveryCompressionGiveTheirColours)
{
    for (const wchar_t* name : {L"rgb-le.tif", L"rgb-be-lzw.tif", L"rgb-zip-predictor.tif", L"rgb-packbits.tif"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        LoadedTiff t = Load(Fixture(name));
        ASSERT_EQ(t.result, NR_OK);
        ExpectColour(ColourAt(t.file->picture, 0, 0), 255, 0, 0, 0, "top row red");
        ExpectColour(ColourAt(t.file->picture, 23, 15), 0, 0, 255, 0, "bottom row blue");
        const Bgr middle = ColourAt(t.file->picture, 5, 8);
        EXPECT_GT(middle.r, 80);
        EXPECT_GT(middle.b, 80);
    }
    LoadedTiff jpeg = Load(Fixture(L"rgb-jpeg.tif"));
    ASSERT_EQ(jpeg.result, NR_OK);
    ExpectColour(ColourAt(jpeg.file->picture, 7, 9), 200, 40, 30, 6, "JPEG-compressed");
}

TEST(TiffReadTest, AlphaStaysStraightAndCmykAndLabConvert)
{
    LoadedTiff rgba = Load(Fixture(L"rgba.tif"));
    ASSERT_EQ(rgba.result, NR_OK);
    const uint8_t* half = Pixel(rgba.file->picture, 2, 2);
    EXPECT_NEAR(half[3], 128, 1);
    EXPECT_GE(half[2], 253) << "half-transparent red keeps its full red (not premultiplied)";
    EXPECT_EQ(half[1], 0);
    EXPECT_EQ(half[0], 0);
    const uint8_t* opaque = Pixel(rgba.file->picture, 20, 5);
    EXPECT_EQ(opaque[0], 255);
    EXPECT_EQ(opaque[2], 0);
    EXPECT_EQ(opaque[3], 255);

    LoadedTiff cmyk = Load(Fixture(L"cmyk.tif"));
    ASSERT_EQ(cmyk.result, NR_OK);
    ExpectColour(ColourAt(cmyk.file->picture, 3, 3), 255, 0, 0, 2, "CMYK red");

    LoadedTiff lab = Load(Fixture(L"lab.tif"));
    ASSERT_EQ(lab.result, NR_OK);
    ExpectColour(ColourAt(lab.file->picture, 3, 3), 0, 128, 255, 12, "CIELab");
}

TEST(TiffReadTest, GreyKeepsItsLevelsAndSixteenBitsGiveTheHighBytes)
{
    for (const wchar_t* name : {L"grey8.tif", L"grey16.tif"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        LoadedTiff t = Load(Fixture(name));
        ASSERT_EQ(t.result, NR_OK);
        for (int i = 0; i < 256; i += 51)
            ExpectColour({t.file->picture.palette[i][0], t.file->picture.palette[i][1], t.file->picture.palette[i][2]},
                         i, i, i, 0, "grey ramp");
        for (int x : {0, 1, 128, 254, 255})
            EXPECT_NEAR(Index(t.file->picture, x, 7), x, 1) << "x " << x;
    }
    LoadedTiff greyAlpha = Load(Fixture(L"grey-alpha.tif"));
    ASSERT_EQ(greyAlpha.result, NR_OK);
    EXPECT_NEAR(Index(greyAlpha.file->picture, 4, 4), 153, 1) << "the grey sample, not the alpha";
}

TEST(TiffReadTest, PalettesAreScaledOnlyWhenTheColourMapIsSixteenBits)
{
    for (const wchar_t* name : {L"palette8.tif", L"palette4.tif"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        LoadedTiff t = Load(Fixture(name));
        ASSERT_EQ(t.result, NR_OK);
        const int last = t.file->picture.width - 1;
        ExpectColour(ColourAt(t.file->picture, 0, 1), 0, 0, 255, 8, "left blue");
        ExpectColour(ColourAt(t.file->picture, last, 1), 255, 0, 0, 8, "right red");
    }

    // A colour map whose values all fit in 8 bits is used as it is.
    TestDir dir;
    TiffSpec spec;
    spec.photometric = PHOTOMETRIC_PALETTE;
    spec.red.assign(256, 0);
    spec.green.assign(256, 0);
    spec.blue.assign(256, 0);
    spec.red[1] = 200;
    spec.green[2] = 100;
    spec.blue[3] = 255;
    const std::wstring path = dir.File(L"map8.tif");
    ASSERT_TRUE(WriteRawTiff(path, spec, {1, 2, 3, 0, 3, 2, 1, 0}));
    LoadedTiff t = Load(path);
    ASSERT_EQ(t.result, NR_OK);
    ExpectColour(ColourAt(t.file->picture, 0, 0), 200, 0, 0, 0, "entry 1");
    ExpectColour(ColourAt(t.file->picture, 1, 0), 0, 100, 0, 0, "entry 2");
    ExpectColour(ColourAt(t.file->picture, 2, 0), 0, 0, 255, 0, "entry 3");

    EXPECT_EQ(Load(Fixture(L"palette2.tif")).result, NR_COMPRESSION_NOT_SUPPORTED) << "2-bit samples are refused";
}

TEST(TiffReadTest, FaxPagesAtLowVerticalResolutionAreDoubledAndTilesCoverEveryRow)
{
    LoadedTiff low = Load(Fixture(L"fax-204x98.tif"));
    LoadedTiff fine = Load(Fixture(L"fax-204x196.tif"));
    LoadedTiff tiled = Load(Fixture(L"tiled-bw.tif"));
    ASSERT_EQ(low.result, NR_OK);
    ASSERT_EQ(fine.result, NR_OK);
    ASSERT_EQ(tiled.result, NR_OK);
    EXPECT_EQ(fine.file->picture.dpiX, 204);
    EXPECT_EQ(fine.file->picture.dpiY, 196);

    // The same checkerboard of 15-pixel squares: the tiled file (min-is-black, 16 x 16 tiles over
    // a width of 40) matches the fax page (min-is-white, one strip) pixel for pixel; the doubled
    // page shows each square twice as high (compared away from the squares' edges, where the
    // nearest-pixel resize may pick a neighbour).
    int differences = 0;
    int doubledDifferences = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Bgr fax = ColourAt(fine.file->picture, x, y);
            differences += ColourAt(tiled.file->picture, x, y).r != fax.r;
            const bool nearEdge = (x % 15 <= 1 || x % 15 >= 14) || (y % 15 <= 1 || y % 15 >= 14);
            if (!nearEdge)
                doubledDifferences += (ColourAt(low.file->picture, x, 2 * y).r != fax.r) +
                                      (ColourAt(low.file->picture, x, 2 * y + 1).r != fax.r);
        }
    }
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(doubledDifferences, 0);
    int white = 0;
    for (int x = 0; x < 40; ++x)
        white += ColourAt(tiled.file->picture, x, 19).r == 255;
    EXPECT_GT(white, 0);
    EXPECT_LT(white, 40);
}

TEST(TiffReadTest, TenPagesAndSetPageLimitedToTheLast)
{
    NImageFileTIF file;
    ASSERT_EQ(file.Load(Fixture(L"pages10.tif").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(file.GetPageCount(), 10);
    EXPECT_TRUE(file.IsMultiImage());
    EXPECT_FALSE(file.IsAnimated());
    EXPECT_EQ(Index(file.picture, 3, 3), 0);

    file.SetPage(3);
    ASSERT_EQ(file.Load(Fixture(L"pages10.tif").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(Index(file.picture, 3, 3), 60);
    file.SetPage(10);
    EXPECT_EQ(file.currentPage, 9);
    ASSERT_EQ(file.Load(Fixture(L"pages10.tif").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(Index(file.picture, 3, 3), 180);
    EXPECT_EQ(file.GetPageCount(), 10);

    NImageFileTIF single;
    ASSERT_EQ(single.Load(Fixture(L"rgb-le.tif").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(single.GetPageCount(), 1);
    EXPECT_FALSE(single.IsMultiImage());
}

TEST(TiffReadTest, ThirtyTwoBitSamplesAreStretchedBetweenTheirPercentiles)
{
    TestDir dir;
    TiffSpec spec;
    spec.width = 100;
    spec.height = 1;
    spec.samples = 3;
    spec.bits = 32;
    spec.photometric = PHOTOMETRIC_RGB;
    Bytes rows(100 * 12);
    for (uint32_t x = 0; x < 100; ++x) {
        const uint32_t values[3] = {1000 + x * 10, 5000 - x * 10, 7};
        std::memcpy(rows.data() + x * 12, values, 12);
    }
    const std::wstring path = dir.File(L"float.tif");
    ASSERT_TRUE(WriteRawTiff(path, spec, rows));
    LoadedTiff t = Load(path);
    ASSERT_EQ(t.result, NR_OK);
    ASSERT_EQ(t.file->picture.bpp, 24);
    EXPECT_EQ(Pixel(t.file->picture, 0, 0)[2], 0) << "below the 2nd percentile";
    EXPECT_EQ(Pixel(t.file->picture, 99, 0)[2], 255) << "above the 98th";
    EXPECT_EQ(Pixel(t.file->picture, 0, 0)[1], 255);
    const int middle = Pixel(t.file->picture, 50, 0)[2];
    EXPECT_NEAR(middle, 127, 3);
    EXPECT_EQ(Pixel(t.file->picture, 50, 0)[0], 0) << "a flat channel stays dark";
}

// ---- Failures -------------------------------------------------------------------------------

// Replaces the bytes of the page's first strip by 0xFF.
bool CorruptFirstStrip(const std::wstring& path)
{
    TIFF* file = TIFFOpenW(path.c_str(), "r");
    if (!file)
        return false;
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    const bool found = TIFFGetField(file, TIFFTAG_STRIPOFFSETS, &offsets) == 1 &&
                       TIFFGetField(file, TIFFTAG_STRIPBYTECOUNTS, &counts) == 1;
    const uint64_t offset = found ? offsets[0] : 0;
    const uint64_t count = found ? counts[0] : 0;
    TIFFClose(file);
    Bytes bytes;
    if (!found || !ReadWholeFile(path, bytes) || offset + count > bytes.size())
        return false;
    std::memset(bytes.data() + offset, 0xFF, static_cast<size_t>(count));
    return WriteWholeFile(path, bytes);
}

TEST(TiffReadTest, DamagedStripsFailTheLoadInsteadOfPassingAsGood)
{
    TestDir dir;
    for (const wchar_t* name : {L"grey8.tif", L"rgb-zip-predictor.tif", L"rgb-be-lzw.tif"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        Bytes bytes;
        ASSERT_TRUE(ReadWholeFile(Fixture(name), bytes));
        const std::wstring path = dir.File(name);
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        ASSERT_TRUE(CorruptFirstStrip(path));
        EXPECT_EQ(Load(path).result, NR_DECODE_FAILED);
    }
}

TEST(TiffReadTest, HeaderAndFileFailures)
{
    TestDir dir;
    const std::wstring png = dir.File(L"not.tif");
    const Bytes pngBytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0};
    ASSERT_TRUE(WriteWholeFile(png, pngBytes));
    LoadedTiff notTiff = Load(png);
    EXPECT_EQ(notTiff.result, NR_NOT_THIS_FORMAT);
    EXPECT_EQ(notTiff.file->GetConsumedSize(), pngBytes.size()) << "set before the header test";
    EXPECT_STREQ(notTiff.file->GetFileName(), png.c_str());

    EXPECT_EQ(Load(dir.File(L"missing.tif")).result, NR_FILE_OPEN_READ);

    // A TIFF header whose first directory lies outside the file.
    const std::wstring broken = dir.File(L"broken.tif");
    ASSERT_TRUE(WriteWholeFile(broken, Bytes{'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0, 1, 2, 3}));
    EXPECT_EQ(Load(broken).result, NR_FILE_OPEN_READ);
}

// ---- Writing --------------------------------------------------------------------------------

// A 24-bit picture: red top-left quarter, a grey ramp elsewhere.
void MakeColourPicture(NImageBuffer& picture, int bpp = 24)
{
    ASSERT_TRUE(picture.Create(40, 24, bpp, 0x00FFFFFF));
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = const_cast<uint8_t*>(Pixel(picture, x, y));
            const bool red = x < 20 && y < 12;
            p[0] = red ? 0 : static_cast<uint8_t>(x * 6);
            p[1] = red ? 0 : static_cast<uint8_t>(x * 6);
            p[2] = red ? 255 : static_cast<uint8_t>(x * 6);
            if (bpp == 32)
                p[3] = static_cast<uint8_t>(y < 12 ? 128 : 255);
        }
    }
}

TEST(TiffWriteTest, CompressionOptionsRoundTrip)
{
    TestDir dir;
    NImageBuffer colour;
    MakeColourPicture(colour);
    struct Case {
        int option;
        uint16_t compression;
        int tolerance;
    } cases[] = {{0, COMPRESSION_NONE, 0}, {1, COMPRESSION_PACKBITS, 0}, {2, COMPRESSION_ADOBE_DEFLATE, 0},
                 {3, COMPRESSION_ADOBE_DEFLATE, 0}, {4, COMPRESSION_JPEG, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        NImageFileTIF writer;
        writer.saveOptions.tiffCompression = c.option;
        const std::wstring path = dir.File(L"out" + std::to_wstring(c.option) + L".tif");
        ASSERT_EQ(writer.Save(path.c_str(), &colour, nullptr), NR_OK);
        EXPECT_EQ(CompressionOf(path), c.compression);
        LoadedTiff back = Load(path);
        ASSERT_EQ(back.result, NR_OK);
        ASSERT_EQ(back.file->picture.bpp, 24);
        ExpectColour(ColourAt(back.file->picture, 5, 5), 255, 0, 0, c.tolerance, "red quarter");
        ExpectColour(ColourAt(back.file->picture, 30, 20), 180, 180, 180, c.tolerance, "ramp");
    }
}

TEST(TiffWriteTest, PaletteAndBilevelPicturesKeepTheirColoursAndCompressions)
{
    TestDir dir;
    // 1 bit: option 3 writes CCITT Group 4, option 4 Deflate.
    NImageBuffer bilevel;
    const uint8_t blackWhite[] = {0, 0, 0, 255, 255, 255};
    ASSERT_TRUE(bilevel.Create(33, 9, 1, 0, blackWhite));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 33; ++x)
            if ((x + y) % 3 == 0)
                const_cast<uint8_t*>(Row(bilevel, y))[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    for (int option : {3, 4}) {
        NImageFileTIF writer;
        writer.saveOptions.tiffCompression = option;
        const std::wstring path = dir.File(L"bilevel" + std::to_wstring(option) + L".tif");
        ASSERT_EQ(writer.Save(path.c_str(), &bilevel, nullptr), NR_OK);
        EXPECT_EQ(CompressionOf(path), option == 3 ? COMPRESSION_CCITTFAX4 : COMPRESSION_ADOBE_DEFLATE);
        LoadedTiff back = Load(path);
        ASSERT_EQ(back.result, NR_OK);
        ASSERT_EQ(back.file->picture.bpp, 1);
        int wrong = 0;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 33; ++x)
                wrong += ColourAt(back.file->picture, x, y).r != ((x + y) % 3 == 0 ? 255 : 0);
        EXPECT_EQ(wrong, 0);
    }

    // 8 bits with a colour palette: option 4 gives Deflate; the colour map holds 16-bit values
    // (each palette byte times 257), which other readers expect.
    uint8_t palette[256 * 3] = {};
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i);
        palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i / 2);
    }
    NImageBuffer indexed;
    ASSERT_TRUE(indexed.Create(16, 16, 8, 0, palette));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            const_cast<uint8_t*>(Row(indexed, y))[x] = static_cast<uint8_t>(y * 16 + x);
    NImageFileTIF writer;
    writer.saveOptions.tiffCompression = 4;
    const std::wstring path = dir.File(L"indexed.tif");
    ASSERT_EQ(writer.Save(path.c_str(), &indexed, nullptr), NR_OK);
    EXPECT_EQ(CompressionOf(path), COMPRESSION_ADOBE_DEFLATE);
    TIFF* file = TIFFOpenW(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    ASSERT_EQ(TIFFGetField(file, TIFFTAG_COLORMAP, &red, &green, &blue), 1);
    EXPECT_EQ(red[200], 200 * 257);
    EXPECT_EQ(green[200], 55 * 257);
    EXPECT_EQ(blue[255], 127 * 257);
    TIFFClose(file);
    LoadedTiff back = Load(path);
    ASSERT_EQ(back.result, NR_OK);
    ExpectColour(ColourAt(back.file->picture, 8, 12), 200, 55, 100, 0, "index 200");
}

TEST(TiffWriteTest, AlphaSurvivesTheRoundTrip)
{
    TestDir dir;
    NImageBuffer withAlpha;
    MakeColourPicture(withAlpha, 32);
    NImageFileTIF writer;
    const std::wstring path = dir.File(L"alpha.tif");
    ASSERT_EQ(writer.Save(path.c_str(), &withAlpha, nullptr), NR_OK);
    LoadedTiff back = Load(path);
    ASSERT_EQ(back.result, NR_OK);
    ASSERT_EQ(back.file->picture.bpp, 32);
    const uint8_t* p = Pixel(back.file->picture, 5, 5);
    EXPECT_EQ(p[3], 128);
    EXPECT_GE(p[2], 254);
    EXPECT_EQ(Pixel(back.file->picture, 30, 20)[3], 255);
    EXPECT_EQ(Pixel(back.file->picture, 30, 20)[0], 180);

    // Alpha 0 everywhere (as GDI drawing leaves it) means no alpha: written opaque.
    NImageBuffer drawn;
    ASSERT_TRUE(drawn.Create(8, 4, 32, RGB(10, 20, 30)));
    ASSERT_FALSE(drawn.HasAlpha());
    const std::wstring drawnPath = dir.File(L"drawn.tif");
    ASSERT_EQ(writer.Save(drawnPath.c_str(), &drawn, nullptr), NR_OK);
    LoadedTiff opaque = Load(drawnPath);
    ASSERT_EQ(opaque.result, NR_OK);
    EXPECT_EQ(Pixel(opaque.file->picture, 3, 2)[3], 255);
    ExpectColour(ColourAt(opaque.file->picture, 3, 2), 10, 20, 30, 0, "drawn colour");
}

TEST(TiffWriteTest, PageWriterWritesOneDirectoryPerPage)
{
    TestDir dir;
    const std::wstring path = dir.File(L"pages.tif");
    NImageFileTIF writer;
    EXPECT_EQ(writer.AddPage(nullptr), NR_FORMAT_INIT_FAILED) << "no page file yet";
    ASSERT_EQ(writer.BeginPages(path.c_str(), nullptr), NR_OK);
    NImageBuffer pages[3];
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(pages[k].Create(10 + k, 6, 24, RGB(k * 100, 50, 200 - k * 100)));
        ASSERT_EQ(writer.AddPage(&pages[k]), NR_OK);
    }
    NImageBuffer invalid;
    EXPECT_EQ(writer.AddPage(&invalid), NR_PICTURE_NOT_VALID);
    ASSERT_EQ(writer.EndPages(), NR_OK);
    EXPECT_EQ(writer.EndPages(), NR_OK) << "a second end does nothing";

    NImageFileTIF reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.GetPageCount(), 3);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        reader.SetPage(k);
        ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(reader.picture.width, 10 + k);
        ExpectColour(ColourAt(reader.picture, 1, 1), k * 100, 50, 200 - k * 100, 0, "page colour");
    }
    TIFF* file = TIFFOpenW(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(TIFFSetDirectory(file, 2));
    uint16_t number = 0;
    uint16_t total = 0;
    ASSERT_EQ(TIFFGetField(file, TIFFTAG_PAGENUMBER, &number, &total), 1);
    EXPECT_EQ(number, 2);
    TIFFClose(file);
}

TEST(TiffWriteTest, FailuresAreReported)
{
    TestDir dir;
    NImageFileTIF writer;
    NImageBuffer invalid;
    EXPECT_EQ(writer.Save(dir.File(L"x.tif").c_str(), &invalid, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_EQ(writer.Save(dir.File(L"x.tif").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(FileExists(dir.File(L"x.tif")));
    NImageBuffer picture;
    MakeColourPicture(picture);
    EXPECT_EQ(writer.Save(dir.File(L"no\\such\\folder.tif").c_str(), &picture, nullptr), NR_FILE_OPEN_WRITE);
    EXPECT_EQ(writer.SaveFrom(dir.File(L"y.tif").c_str(), nullptr), NR_INVALID_DATA);
    EXPECT_EQ(writer.BeginPages(dir.File(L"no\\such\\pages.tif").c_str(), nullptr), NR_FILE_OPEN_WRITE);

    // libtiff refusing the rows (a handle open for reading) is an error, not a success.
    TIFF* readOnly = TIFFOpenW(Fixture(L"rgb-le.tif").c_str(), "r");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(WriteTiffPage(writer, readOnly, picture, 0, 1, false), NR_ENCODE_FAILED);
    TIFFClose(readOnly);
}

TEST(TiffHelpersTest, ColorMapBitsAndTileRows)
{
    const uint16_t low[4] = {0, 255, 10, 20};
    const uint16_t high[4] = {0, 1, 2, 256};
    EXPECT_EQ(TiffColorMapBits(4, low, low, low), 8);
    EXPECT_EQ(TiffColorMapBits(4, low, low, high), 16);
    EXPECT_EQ(TiffColorMapBits(3, low, high, low), 8) << "only the first count entries";

    const uint8_t source[] = {1, 2, 3, 9, 4, 5, 6, 9};
    uint8_t destination[10];
    std::memset(destination, 0, sizeof(destination));
    CopyTileRows(destination, source, 2, 3, 2, 1);
    const uint8_t expected[10] = {1, 2, 3, 0, 0, 4, 5, 6, 0, 0};
    EXPECT_EQ(std::memcmp(destination, expected, sizeof(expected)), 0);
}

}  // namespace
