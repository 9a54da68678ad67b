// PSD reading (the composite of every channel layout read, run-length rows, the consumed size
// of files with more channels than read) and writing (plain composite, document preview, the
// layer section from the layer lists).
#include "imagefile/extra/NImageFilePSD.h"

#include "imagefile/extra/BigEndianIO.h"
#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

uint32_t Big32(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

uint16_t Big16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

// Largest difference of red, green or blue between the picture and a top-down RGB reference.
int MaxRgbDifference(const NImageBuffer& pic, const std::vector<uint8_t>& rgb)
{
    if (!pic.valid || rgb.size() != static_cast<size_t>(pic.width) * pic.height * 3)
        return 1000;
    int most = 0;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const Rgba p = PixelAt(pic, x, y);
            const uint8_t* e = rgb.data() + (static_cast<size_t>(y) * pic.width + x) * 3;
            most = std::max({most, std::abs(p.r - e[0]), std::abs(p.g - e[1]), std::abs(p.b - e[2])});
        }
    }
    return most;
}

// A PSD header (26 bytes) followed by empty colour data, resources and layer sections and the
// compression field.
Bytes Header(unsigned version, unsigned channels, uint32_t height, uint32_t width, unsigned depth, unsigned mode,
             unsigned compression)
{
    Bytes b;
    b.text("8BPS").u16be(version).u32be(0).u16be(0).u16be(channels).u32be(height).u32be(width).u16be(depth).u16be(mode);
    b.u32be(0).u32be(0).u32be(0).u16be(compression);
    return b;
}

struct ReadCase {
    const wchar_t* file;
    const wchar_t* reference;
    int bitsPerPixel;
    int tolerance;
};

}  // namespace

TEST(PsdFormat, ReadsEveryChannelLayoutLikeTheReferenceDecoders)
{
    // Composites made by ImageMagick; references decoded by ImageMagick (PIL for the indexed
    // file, which ImageMagick does not read back).
    const ReadCase cases[] = {
        {L"psd\\rgb-raw.psd", L"psd\\rgb.rgb", 24, 0},
        {L"psd\\rgb-rle.psd", L"psd\\rgb.rgb", 24, 0},
        {L"psd\\rgb16.psd", L"psd\\rgb.rgb", 24, 0},       // high bytes of 16-bit samples
        {L"psd\\rgb16-rle.psd", L"psd\\rgb.rgb", 24, 0},
        {L"psd\\grey.psd", L"psd\\grey.rgb", 8, 0},
        {L"psd\\greya.psd", L"psd\\grey.rgb", 8, 0},       // 2 channels: the first plane only
        {L"psd\\indexed.psd", L"psd\\indexed.rgb", 8, 0},
        {L"psd\\bitmap.psd", L"psd\\bitmap.rgb", 1, 0},
        {L"psd\\cmyk.psd", L"psd\\cmyk.rgb", 24, 1},
        {L"psd\\cmyka.psd", L"psd\\cmyk.rgb", 24, 1},      // 5 channels: the first four
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file);
        NImageFilePSD psd;
        const std::wstring path = TestDataPath(c.file);
        ASSERT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(psd.picture.bpp, c.bitsPerPixel);
        EXPECT_EQ(psd.fullWidth, 33);
        EXPECT_EQ(psd.fullHeight, 21);
        EXPECT_LE(MaxRgbDifference(psd.picture, ReadDataFile(c.reference)), c.tolerance);
        // The composite ends the file, also where channels were left unread.
        EXPECT_EQ(psd.GetConsumedSize(), FileSize(path));
        EXPECT_STREQ(psd.GetFileName(), path.c_str());
    }
}

TEST(PsdFormat, FourChannelRgbKeepsItsAlphaAndLoadsIntoATarget)
{
    NImageFilePSD psd;
    NImageBuffer target;
    const std::wstring path = TestDataPath(L"psd\\rgba.psd");
    ASSERT_EQ(psd.Load(path.c_str(), 0, 0, &target), NR_OK);
    EXPECT_FALSE(psd.picture.valid);
    EXPECT_EQ(target.bpp, 32);
    EXPECT_TRUE(MatchesReference(target, ReadDataFile(L"psd\\rgba.rgba"), 4));
}

TEST(PsdFormat, HandMadeCompositesFollowTheChannelRules)
{
    TestDir dir;
    const std::wstring path = dir.File(L"made.psd");
    NImageFilePSD psd;

    // CMYK stored inverted: all four bytes 255 is white; K = 0 is black.
    Bytes cmyk = Header(1, 4, 1, 2, 8, 4, 0);
    cmyk.bytes({255, 255}).bytes({255, 255}).bytes({255, 255}).bytes({255, 0});
    ASSERT_TRUE(WriteWholeFile(path, cmyk.data));
    ASSERT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(psd.picture.bpp, 24);
    EXPECT_EQ(PixelAt(psd.picture, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(psd.picture, 0, 0).b, 255);
    EXPECT_EQ(PixelAt(psd.picture, 1, 0).g, 0);

    // Indexed colour: red, green and blue from the three thirds of the colour data.
    Bytes indexed;
    indexed.text("8BPS").u16be(1).u32be(0).u16be(0).u16be(1).u32be(1).u32be(2).u16be(8).u16be(2).u32be(768);
    std::vector<uint8_t> thirds(768, 0);
    thirds[5] = 10;          // red of entry 5
    thirds[256 + 5] = 20;    // green
    thirds[512 + 5] = 30;    // blue
    indexed.raw(thirds).u32be(0).u32be(0).u16be(0).bytes({5, 0});
    ASSERT_TRUE(WriteWholeFile(path, indexed.data));
    ASSERT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    const Rgba p = PixelAt(psd.picture, 0, 0);
    EXPECT_EQ(p.r, 10);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.b, 30);

    // Run-length rows: runs and literals are cut at the row's end, 128 is no operation, and
    // the next row starts after the whole packet.
    Bytes rle = Header(1, 1, 2, 4, 8, 1, 1);
    rle.u16be(4).u16be(3);                    // row byte counts (not used to find rows)
    rle.bytes({128, 0xFD, 7});                // nop, then 7 repeated 4 times... (257 - 253 = 4)
    rle.bytes({0x05, 1, 2, 3, 4, 5, 6});      // a literal of 6 for a row of 4
    ASSERT_TRUE(WriteWholeFile(path, rle.data));
    ASSERT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(psd.picture, 3, 0).r, 7);
    EXPECT_EQ(PixelAt(psd.picture, 0, 1).r, 1);
    EXPECT_EQ(PixelAt(psd.picture, 3, 1).r, 4);
}

TEST(PsdFormat, RefusesWhatItDoesNotRead)
{
    struct Case {
        const char* what;
        Bytes bytes;
        NRESULT expected;
    };
    Case cases[] = {
        {"version 2", Header(2, 3, 1, 1, 8, 3, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"17 channels", Header(1, 17, 1, 1, 8, 3, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"no channel", Header(1, 0, 1, 1, 8, 3, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"colour mode 5", Header(1, 3, 1, 1, 8, 5, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"compression 2", Header(1, 3, 1, 1, 8, 3, 2), NR_SUBFEATURE_NOT_SUPPORTED},
        {"32-bit samples", Header(1, 3, 1, 1, 32, 3, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"3 one-bit channels", Header(1, 3, 1, 1, 1, 0, 0), NR_SUBFEATURE_NOT_SUPPORTED},
        {"width 0", Header(1, 3, 1, 0, 8, 3, 0), NR_PICTURE_CREATE_FAILED},
        {"not PSD", Bytes().text("8BPX").fill(60, 0), NR_NOT_THIS_FORMAT},
    };
    TestDir dir;
    const std::wstring path = dir.File(L"bad.psd");
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteWholeFile(path, c.bytes.data));
        NImageFilePSD psd;
        EXPECT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), c.expected);
        EXPECT_FALSE(psd.picture.valid);
    }
    NImageFilePSD psd;
    EXPECT_EQ(psd.Load(dir.File(L"missing.psd").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}

TEST(PsdFormat, SectionLengthsAreCheckedAgainstTheFile)
{
    TestDir dir;
    const std::wstring path = dir.File(L"cut.psd");
    std::vector<uint8_t> whole = ReadDataFile(L"psd\\rgb-rle.psd");

    // Cut inside the header, inside the resources, and a colour-data length past the end.
    for (size_t keep : {size_t{20}, size_t{40}}) {
        ASSERT_TRUE(WriteWholeFile(path, whole.data(), keep));
        NImageFilePSD psd;
        EXPECT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_INVALID_DATA) << keep;
    }
    std::vector<uint8_t> huge = whole;
    huge[26] = 0x7F;   // colour-mode data of about 2 GB
    ASSERT_TRUE(WriteWholeFile(path, huge));
    NImageFilePSD psd;
    EXPECT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_INVALID_DATA);

    // A row-count table longer than the file (a height of a million rows).
    Bytes tall = Header(1, 3, 1000000, 1, 8, 3, 1);
    tall.fill(64, 0);
    ASSERT_TRUE(WriteWholeFile(path, tall.data));
    EXPECT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_INVALID_DATA);
}

TEST(PsdFormat, AFileCutInsideThePixelsKeepsTheRowsRead)
{
    TestDir dir;
    const std::wstring path = dir.File(L"cut.psd");
    std::vector<uint8_t> whole = ReadDataFile(L"psd\\rgb-raw.psd");
    const size_t keep = whole.size() - 33 * 21 - 33 * 11;   // red complete, green rows 0 to 9
    ASSERT_TRUE(WriteWholeFile(path, whole.data(), keep));
    NImageFilePSD psd;
    ASSERT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(psd.GetConsumedSize(), keep);
    const std::vector<uint8_t> reference = ReadDataFile(L"psd\\rgb.rgb");
    EXPECT_EQ(PixelAt(psd.picture, 5, 20).r, reference[(20 * 33 + 5) * 3]);   // red of the last row
    EXPECT_EQ(PixelAt(psd.picture, 5, 2).g, reference[(2 * 33 + 5) * 3 + 1]);
    EXPECT_EQ(PixelAt(psd.picture, 5, 20).g, 0);   // not read
}

// A header may claim millions of rows in a file of a few kilobytes (the fuzzer found one of
// 2.6 KB claiming 7995415 rows of 37 pixels: the loader made a picture of 900 MB and took many
// seconds per load). The first plane read must fit into the bytes after the headers: raw at one
// byte a sample, run-length coded at two bytes for every 128 bytes of a row.
TEST(PsdFormat, SizesTheFileCannotHoldAreRefused)
{
    TestDir dir;
    const std::wstring path = dir.File(L"claims.psd");
    struct Case {
        const char* name;
        unsigned channels;
        uint32_t height, width;
        unsigned mode, compression;
        size_t dataBytes;   // after the headers (and the row-count table)
        NRESULT result;
    };
    const Case cases[] = {
        {"raw RGB, the fuzzer's header", 3, 7995415, 37, 3, 0, 2560, NR_INVALID_DATA},
        {"raw CMYK", 4, 4000000, 50, 4, 0, 2560, NR_INVALID_DATA},
        {"run-length rows of a million bytes", 1, 100, 1000000, 1, 1, 2000, NR_INVALID_DATA},
        {"raw grey, first plane present", 1, 10, 40, 1, 0, 400, NR_OK},
        {"raw grey, one byte short", 1, 10, 40, 1, 0, 399, NR_INVALID_DATA},
        {"raw RGB, only the first plane", 3, 10, 40, 3, 0, 400, NR_OK},
        {"run-length, densest runs", 1, 10, 256, 1, 1, 40, NR_OK},
        {"run-length, one byte short", 1, 10, 256, 1, 1, 39, NR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = Header(1, c.channels, c.height, c.width, 8, c.mode, c.compression);
        if (c.compression == 1) {
            for (uint32_t i = 0; i < c.channels * c.height; ++i)
                b.u16be(4);
        }
        // Replicate runs of 128 bytes of the value 0x60.
        for (size_t i = 0; i < c.dataBytes; ++i)
            b.u8(c.compression == 1 && i % 2 == 0 ? 0x81 : 0x60);
        ASSERT_TRUE(WriteWholeFile(path, b.data));
        NImageFilePSD psd;
        ASSERT_EQ(psd.Load(path.c_str(), 0, 0, nullptr), c.result);
        if (c.result == NR_OK) {
            EXPECT_EQ(psd.picture.width, static_cast<int>(c.width));
            EXPECT_EQ(psd.picture.height, static_cast<int>(c.height));
            EXPECT_EQ(PixelAt(psd.picture, static_cast<int>(c.width) - 1, static_cast<int>(c.height) - 1).r, 0x60);
            EXPECT_EQ(psd.GetConsumedSize(), b.size());
        } else {
            EXPECT_FALSE(psd.picture.valid);
        }
    }
}

TEST(PsdFormat, SavesAPlainRgbComposite)
{
    NImageFilePSD source;
    ASSERT_EQ(source.Load(TestDataPath(L"psd\\rgb-raw.psd").c_str(), 0, 0, nullptr), NR_OK);
    TestDir dir;
    const std::wstring path = dir.File(L"out.psd");
    NImageFilePSD writer;
    ASSERT_EQ(writer.Save(path.c_str(), &source.picture, nullptr), NR_OK);

    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    ASSERT_EQ(bytes.size(), 40u + 3u * 33 * 21);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "8BPS");
    EXPECT_EQ(Big16(bytes, 4), 1);
    EXPECT_EQ(Big16(bytes, 12), 3);
    EXPECT_EQ(Big32(bytes, 14), 21u);
    EXPECT_EQ(Big32(bytes, 18), 33u);
    EXPECT_EQ(Big16(bytes, 22), 8);
    EXPECT_EQ(Big16(bytes, 24), 3);
    EXPECT_EQ(Big32(bytes, 34), 0u);   // no layer section
    EXPECT_EQ(Big16(bytes, 38), 0);    // raw
    const std::vector<uint8_t> reference = ReadDataFile(L"psd\\rgb.rgb");
    EXPECT_EQ(bytes[40], reference[0]);                        // red plane, top left
    EXPECT_EQ(bytes[40 + 33 * 21 + 33], reference[33 * 3 + 1]);   // green plane, row 1

    NImageFilePSD reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(MatchesReference(reader.picture, reference, 3));

    // SaveFrom takes the source object's picture.
    EXPECT_EQ(writer.SaveFrom(path.c_str(), nullptr), NR_INVALID_DATA);
    EXPECT_EQ(writer.SaveFrom(path.c_str(), &source), NR_OK);
    EXPECT_EQ(FileSize(path), 40u + 3u * 33 * 21);
}

TEST(PsdFormat, SaveLimitsAndFailures)
{
    TestDir dir;
    const std::wstring path = dir.File(L"out.psd");
    NImageFilePSD writer;
    EXPECT_EQ(writer.Save(path.c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);

    NImageBuffer wide;
    ASSERT_TRUE(wide.Create(30001, 1, 24, 0));
    EXPECT_EQ(writer.Save(path.c_str(), &wide, nullptr), NR_SUBFEATURE_NOT_SUPPORTED);
    EXPECT_FALSE(FileExists(path));
    NImageBuffer tall;
    ASSERT_TRUE(tall.Create(1, 30001, 24, 0));
    EXPECT_EQ(writer.Save(path.c_str(), &tall, nullptr), NR_SUBFEATURE_NOT_SUPPORTED);
    NImageBuffer widest;
    ASSERT_TRUE(widest.Create(30000, 1, 24, 0));
    EXPECT_EQ(writer.Save(path.c_str(), &widest, nullptr), NR_OK);
    EXPECT_EQ(FileSize(path), 40u + 3u * 30000);

    EXPECT_EQ(writer.Save(dir.File(L"no\\such\\folder.psd").c_str(), &widest, nullptr), NR_FILE_OPEN_WRITE);
}

TEST(PsdFormat, CompositeComesFromAPreviewOfTheSameSizeOnly)
{
    TestDir dir;
    const std::wstring path = dir.File(L"out.psd");
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(4, 3, 24, RGB(10, 20, 30)));
    NImageBuffer preview;
    ASSERT_TRUE(preview.Create(4, 3, 32, 0));   // transparent: laid over white
    NImageBuffer smaller;
    ASSERT_TRUE(smaller.Create(2, 2, 24, RGB(200, 0, 0)));

    NImageFilePSD writer;
    ImageSaveOptions options;
    options.documentPreview = &preview;
    writer.SetSaveOptions(&options);
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);
    NImageFilePSD reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(reader.picture, 3, 2).r, 255);
    EXPECT_EQ(PixelAt(reader.picture, 3, 2).b, 255);

    options.documentPreview = &smaller;
    writer.SetSaveOptions(&options);
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(reader.picture, 3, 2).r, 10);
    EXPECT_EQ(PixelAt(reader.picture, 3, 2).b, 30);
}

namespace {

// A whole file around the layer section: header, WriteLayers, raw composite of the background.
bool WriteLayeredFile(NImageFilePSD& psd, const std::wstring& path, const NImageBuffer& background)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return false;
    bool ok = fwrite("8BPS", 1, 4, f) == 4 && WriteBigEndianU16(f, 1) && WriteBigEndianU32(f, 0) &&
              WriteBigEndianU16(f, 0) && WriteBigEndianU16(f, 3) && WriteBigEndianU32(f, background.height) &&
              WriteBigEndianU32(f, background.width) && WriteBigEndianU16(f, 8) && WriteBigEndianU16(f, 3) &&
              WriteBigEndianU32(f, 0) && WriteBigEndianU32(f, 0);
    ok = ok && psd.WriteLayers(f) && WriteBigEndianU16(f, 0);
    for (int c = 0; c < 3 && ok; ++c)
        for (int y = 0; y < background.height; ++y)
            for (int x = 0; x < background.width; ++x) {
                const Rgba p = PixelAt(background, x, y);
                fputc(c == 0 ? p.r : c == 1 ? p.g : p.b, f);
            }
    return fclose(f) == 0 && ok;
}

// A 32-bpp layer of one colour; its first column is transparent unless it is the background.
void AddLayer(NImageFilePSD& psd, int width, int height, COLORREF colour, RECT place, bool background = false)
{
    auto layer = std::make_unique<NImageBuffer>();
    layer->Create(width, height, 32, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = layer->bits + static_cast<size_t>(y) * layer->stride + x * 4;
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
            p[3] = static_cast<uint8_t>(x == 0 && !background ? 0 : 255);
        }
    psd.layerPictures.push_back(std::move(layer));
    psd.layerRects.push_back(place);
}

}  // namespace

TEST(PsdFormat, LayerSectionListsTheBackgroundFirstAndNamesEveryLayer)
{
    NImageFilePSD psd;
    NImageBuffer background;
    ASSERT_TRUE(background.Create(6, 5, 24, RGB(1, 2, 3)));
    AddLayer(psd, 3, 2, RGB(200, 0, 0), RECT{-25, -25, -22, -23});   // the head of the document
    AddLayer(psd, 2, 2, RGB(0, 200, 0), RECT{1, 1, 3, 3});
    AddLayer(psd, 6, 5, RGB(1, 2, 3), RECT{0, 0, 6, 5}, true);      // the background, last
    TestDir dir;
    const std::wstring path = dir.File(L"layers.psd");
    ASSERT_TRUE(WriteLayeredFile(psd, path, background));

    std::vector<uint8_t> b;
    ASSERT_TRUE(ReadWholeFile(path, b));
    const size_t section = 34;
    const uint32_t sectionLength = Big32(b, section);
    const uint32_t infoLength = Big32(b, section + 4);
    EXPECT_EQ(sectionLength, infoLength + 8);
    EXPECT_EQ(infoLength % 2, 0u);
    EXPECT_EQ(Big16(b, section + 8), 3);
    EXPECT_EQ(Big32(b, section + sectionLength), 0u) << "no global layer mask";
    EXPECT_EQ(Big16(b, section + 4 + sectionLength), 0) << "the composite's compression follows";

    // Walk the records: rectangles, channel lengths, names.
    size_t at = section + 10;
    const RECT rects[3] = {{0, 0, 6, 5}, {-25, -25, -22, -23}, {1, 1, 3, 3}};
    const uint32_t pixels[3] = {30, 6, 4};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at)), rects[k].top);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at + 4)), rects[k].left);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at + 8)), rects[k].bottom);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at + 12)), rects[k].right);
        EXPECT_EQ(Big16(b, at + 16), 4);
        EXPECT_EQ(Big16(b, at + 18), 0xFFFF);
        EXPECT_EQ(Big32(b, at + 20), pixels[k] + 2);
        EXPECT_EQ(std::string(b.begin() + at + 42, b.begin() + at + 50), "8BIMnorm");
        EXPECT_EQ(b[at + 50], 255);
        const uint32_t extra = Big32(b, at + 54);
        const size_t name = at + 58 + 8;
        EXPECT_EQ(b[name], 10);
        EXPECT_EQ(std::string(b.begin() + name + 1, b.begin() + name + 11), "layer name");
        EXPECT_EQ(std::string(b.begin() + name + 12, b.begin() + name + 20), "8BIMluni");
        EXPECT_EQ(Big32(b, name + 20), 28u);
        EXPECT_EQ(Big32(b, name + 24), 12u);
        std::string unicode;
        for (int u = 0; u < 12; ++u)
            unicode += static_cast<char>(Big16(b, name + 28 + 2 * u));
        EXPECT_EQ(unicode, "Glim Layer " + std::to_string(3 - k));
        EXPECT_EQ(extra, 4u + 4 + 12 + 8 + 4 + 28);
        at += 58 + extra;
    }
    // Channel blocks of the first record (the background): alpha 255, then red, green, blue.
    EXPECT_EQ(Big16(b, at), 0);
    EXPECT_EQ(b[at + 2], 255);
    EXPECT_EQ(b[at + 2 + 30 + 2], 1);    // red
    EXPECT_EQ(b[at + 2 * (2 + 30) + 2], 2);
    EXPECT_EQ(b[at + 3 * (2 + 30) + 2], 3);
    at += 4 * (2 + 30);
    EXPECT_EQ(b[at + 2], 0);             // the head layer's alpha: column 0 transparent
    EXPECT_EQ(b[at + 3], 255);
    EXPECT_EQ(b[at + 2 + 6 + 2], 200);   // its red

    // The reader steps over the section to the composite.
    NImageFilePSD reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(reader.picture, 5, 4).b, 3);
    EXPECT_EQ(reader.GetConsumedSize(), b.size());

    // A save empties the lists and writes no layers.
    ASSERT_EQ(psd.Save(path.c_str(), &background, nullptr), NR_OK);
    EXPECT_TRUE(psd.layerPictures.empty());
    EXPECT_TRUE(psd.layerRects.empty());
    EXPECT_EQ(FileSize(path), 40u + 3u * 30);
}

TEST(PsdFormat, OddLengthLayerNamesGetAPaddingUnit)
{
    NImageFilePSD psd;
    for (int i = 0; i < 10; ++i)
        AddLayer(psd, 1, 1, RGB(0, 0, 0), RECT{0, 0, 1, 1});
    TestDir dir;
    const std::wstring path = dir.File(L"ten.psd");
    NImageBuffer background;
    ASSERT_TRUE(background.Create(1, 1, 24, 0));
    ASSERT_TRUE(WriteLayeredFile(psd, path, background));
    std::vector<uint8_t> b;
    ASSERT_TRUE(ReadWholeFile(path, b));
    const size_t name = 34 + 10 + 58 + 8;   // first record: "Glim Layer 10"
    EXPECT_EQ(Big32(b, name + 20), 32u);
    EXPECT_EQ(Big32(b, name + 24), 13u);
    EXPECT_EQ(Big16(b, name + 28 + 2 * 11), '1');
    EXPECT_EQ(Big16(b, name + 28 + 2 * 12), '0');
    EXPECT_EQ(Big16(b, name + 28 + 2 * 13), 0);
    NImageFilePSD reader;
    EXPECT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);

    // Lists of different lengths are refused.
    psd.layerRects.pop_back();
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(psd.WriteLayers(f));
    fclose(f);
}

TEST(PsdFormat, IdentityAndSignature)
{
    NImageFilePSD psd;
    EXPECT_EQ(psd.GetFormatId(), FT_PSD);
    EXPECT_TRUE(psd.layerPictures.empty());
    const uint8_t bytes[] = {'x', '8', 'B', 'P', 'S'};
    EXPECT_TRUE(NImageFilePSD::IsFormat(bytes, 1, 5));
    EXPECT_FALSE(NImageFilePSD::IsFormat(bytes, 2, 5));
}
