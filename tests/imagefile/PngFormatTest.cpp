// The PNG format class: every colour type and depth into the picture kinds a bitmap holds,
// interlacing, transparency, resolution and the first text chunk; the consumed size of carved
// candidates; libpng errors answered through the jump buffer (reading and writing); and
// writing single pictures, with the colour key kept as the picture's own.
#include "imagefile/formats/NImageFilePNG.h"

#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using pngtest::Bytes;

namespace {

class PngFormatTest : public ::testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const Bytes& bytes)
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }
    static Bytes Fixture(const std::wstring& name) { return pngtest::ReadFixture(L"png\\" + name); }

    TestDir dir;
};

struct StillCase {
    const wchar_t* file;
    const wchar_t* reference;
    int channels;        // of the reference
    int bitsPerPixel;    // of the loaded picture
};

const StillCase kStillCases[] = {
    {L"rgb.png", L"rgb.rgb", 3, 24},
    {L"rgb-interlaced.png", L"rgb.rgb", 3, 24},
    {L"rgba.png", L"rgba.rgba", 4, 32},
    {L"rgba16.png", L"rgba16.rgba", 4, 32},
    {L"greya.png", L"greya.rgba", 4, 32},
    {L"grey8.png", L"grey8.gray", 1, 8},
    {L"grey16.png", L"grey16.gray", 1, 8},
    {L"grey2.png", L"grey2.gray", 1, 4},
    {L"grey2-interlaced.png", L"grey2.gray", 1, 4},
    {L"palette8.png", L"palette8.rgb", 3, 8},
    {L"palette4.png", L"palette4.rgb", 3, 4},
    {L"palette-trns.png", L"palette-trns.rgba", 4, 32},
    {L"rgb-trns.png", L"rgb-trns.rgb", 3, 24},
};

TEST_F(PngFormatTest, StillPicturesLoadWithTheirPixels)
{
    for (const StillCase& c : kStillCases) {
        SCOPED_TRACE(testing::Message() << "file " << std::string(c.file, c.file + wcslen(c.file)));
        NImageFilePNG png;
        ASSERT_EQ(NR_OK, png.Load(TestDataPath(std::wstring(L"png\\") + c.file).c_str(), 0, 0, nullptr));
        EXPECT_EQ(13, png.picture.width);
        EXPECT_EQ(7, png.picture.height);
        EXPECT_EQ(c.bitsPerPixel, png.picture.bpp);
        EXPECT_EQ("", pngtest::ComparePixels(png.picture, Fixture(c.reference), c.channels));
        EXPECT_EQ(13, png.fullWidth);
        EXPECT_EQ(7, png.fullHeight);
        EXPECT_EQ(1, png.GetPageCount());
        EXPECT_FALSE(png.IsMultiImage());
        EXPECT_EQ(FT_PNG, png.GetFormatId());
        EXPECT_STREQ(L"None", png.libraryMessage.c_str());
    }
}

TEST_F(PngFormatTest, GreyPalettesAreRamps)
{
    NImageFilePNG grey16;
    ASSERT_EQ(NR_OK, grey16.Load(TestDataPath(L"png\\grey16.png").c_str(), 0, 0, nullptr));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(i, grey16.picture.palette[i][0]) << i;

    NImageFilePNG grey2;
    ASSERT_EQ(NR_OK, grey2.Load(TestDataPath(L"png\\grey2.png").c_str(), 0, 0, nullptr));
    const uint8_t levels[4] = {0x00, 0x55, 0xAA, 0xFF};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(levels[i], grey2.picture.palette[i][0]);
        EXPECT_EQ(levels[i], grey2.picture.palette[i][2]);
    }
    // Indices, not only colours: pixel (x, y) of the source holds level (x + 2y) mod 4.
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ((x + 2 * y) % 4, pngtest::IndexAt(grey2.picture, x, y)) << x << "," << y;
}

TEST_F(PngFormatTest, TransparencyOfRgbFilesIsIgnoredAndPaletteTransparencyBecomesAlpha)
{
    NImageFilePNG rgb;
    ASSERT_EQ(NR_OK, rgb.Load(TestDataPath(L"png\\rgb-trns.png").c_str(), 0, 0, nullptr));
    EXPECT_EQ(24, rgb.picture.bpp);
    EXPECT_EQ(0, rgb.picture.hasTransparency);

    NImageFilePNG palette;
    ASSERT_EQ(NR_OK, palette.Load(TestDataPath(L"png\\palette-trns.png").c_str(), 0, 0, nullptr));
    EXPECT_EQ(32, palette.picture.bpp);
    EXPECT_TRUE(palette.picture.HasAlpha());
}

TEST_F(PngFormatTest, ResolutionComesFromPhys)
{
    NImageFilePNG png;
    ASSERT_EQ(NR_OK, png.Load(TestDataPath(L"png\\rgb-300dpi.png").c_str(), 0, 0, nullptr));
    EXPECT_EQ(300, png.picture.dpiX);
    EXPECT_EQ(300, png.picture.dpiY);
}

TEST_F(PngFormatTest, FirstTextChunkIsCommentOrXmp)
{
    const Bytes rgb = Fixture(L"rgb.png");
    auto text = [](const std::string& key, const std::string& value) {
        Bytes d(key.begin(), key.end());
        d.push_back(0);
        d.insert(d.end(), value.begin(), value.end());
        return pngtest::Chunk("tEXt", d);
    };

    NImageFilePNG plain;
    const Bytes withComment = pngtest::InsertAfterIhdr(rgb, text("Comment", "A plain sentence."));
    ASSERT_EQ(NR_OK, plain.Load(Write(L"comment.png", withComment).c_str(), 0, 0, nullptr));
    EXPECT_STREQ(L"A plain sentence.", plain.metadata.comment.c_str());
    EXPECT_TRUE(plain.metadata.xmp.empty());

    const std::string packet = "<?xpacket begin=''?><x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>";
    NImageFilePNG xmp;
    const Bytes withXmp = pngtest::InsertAfterIhdr(rgb, text("XML:com.adobe.xmp", packet));
    ASSERT_EQ(NR_OK, xmp.Load(Write(L"xmp.png", withXmp).c_str(), 0, 0, nullptr));
    EXPECT_EQ(packet, xmp.metadata.xmp);
    EXPECT_TRUE(xmp.metadata.comment.IsEmpty());
}

// A carved candidate: the picture followed by unrelated bytes. The consumed size is the
// picture's own length, for the scan's quick load and for a full load.
TEST_F(PngFormatTest, CarvedCandidateReportsThePictureLength)
{
    const Bytes garbage = {0x00, 0x2C, 0x3B, 'I', 'E', 'N', 'D', 0xFF, 0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7};
    for (const StillCase& c : kStillCases) {
        SCOPED_TRACE(testing::Message() << "file " << std::string(c.file, c.file + wcslen(c.file)));
        Bytes candidate = Fixture(c.file);
        const size_t length = candidate.size();
        for (int i = 0; i < 300; ++i)
            candidate.insert(candidate.end(), garbage.begin(), garbage.end());
        const std::wstring path = Write(L"candidate.png", candidate);
        for (int quick = 0; quick <= 1; ++quick) {
            NImageFilePNG png;
            ASSERT_EQ(NR_OK, png.Load(path.c_str(), 0, static_cast<uint8_t>(quick), nullptr));
            EXPECT_EQ(length, png.GetConsumedSize());
        }
    }
}

TEST_F(PngFormatTest, ReadFailuresAnswerCodesAndKeepTheLibraryMessage)
{
    NImageFilePNG missing;
    EXPECT_EQ(NR_FILE_OPEN_READ, missing.Load(dir.File(L"none.png").c_str(), 0, 0, nullptr));

    NImageFilePNG notPng;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, notPng.Load(Write(L"gif.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}).c_str(),
                                              0, 0, nullptr));
    NImageFilePNG shortFile;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, shortFile.Load(Write(L"short.png", {0x89, 'P', 'N', 'G'}).c_str(), 0, 0, nullptr));

    // A damaged IDAT CRC, a file cut inside its image data, and an IHDR with width 0: libpng
    // raises errors that come back through the jump buffer; the process goes on.
    Bytes badCrc = Fixture(L"rgb.png");
    for (const auto& chunk : pngtest::Chunks(badCrc))
        if (chunk.type == "IDAT")
            badCrc[chunk.offset + 8 + chunk.length] ^= 0xFF;
    NImageFilePNG crc;
    EXPECT_EQ(NR_DECODE_FAILED, crc.Load(Write(L"crc.png", badCrc).c_str(), 0, 0, nullptr));
    EXPECT_STRNE(L"None", crc.libraryMessage.c_str());
    EXPECT_FALSE(crc.libraryMessage.IsEmpty());

    Bytes cut = Fixture(L"rgba.png");
    cut.resize(cut.size() / 2);
    NImageFilePNG truncated;
    EXPECT_EQ(NR_DECODE_FAILED, truncated.Load(Write(L"cut.png", cut).c_str(), 0, 0, nullptr));

    Bytes zeroWidth = pngtest::Signature();
    const Bytes ihdr = pngtest::Ihdr(0, 7, 8, 2);
    zeroWidth.insert(zeroWidth.end(), ihdr.begin(), ihdr.end());
    NImageFilePNG zero;
    EXPECT_EQ(NR_DECODE_FAILED, zero.Load(Write(L"zero.png", zeroWidth).c_str(), 0, 0, nullptr));

    NImageFilePNG probe;
    EXPECT_EQ(NR_OK, probe.ProbeFile(TestDataPath(L"png\\rgba.png").c_str()));
    EXPECT_EQ(NR_DECODE_FAILED, probe.ProbeFile(dir.File(L"cut.png").c_str()));
    EXPECT_EQ(NR_NOT_THIS_FORMAT, probe.ProbeFile(dir.File(L"gif.png").c_str()));
}

// Damaged copies of the fixtures: every load answers, none ends the process, and a consumed
// size never exceeds the file.
TEST_F(PngFormatTest, DamagedFilesNeverEndTheProcess)
{
    const wchar_t* files[] = {L"rgb.png", L"rgb-interlaced.png", L"palette4.png", L"grey2-interlaced.png",
                              L"rgba16.png", L"anim3.png", L"anim-skip.png"};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (const wchar_t* name : files) {
        const Bytes original = Fixture(name);
        for (int round = 0; round < 60; ++round) {
            Bytes damaged = original;
            const int flips = 1 + static_cast<int>(next() % 4);
            for (int i = 0; i < flips; ++i)
                damaged[8 + next() % (damaged.size() - 8)] = static_cast<uint8_t>(next());
            if (round % 5 == 0)
                damaged.resize(8 + next() % (damaged.size() - 8));
            const std::wstring path = Write(L"damaged.png", damaged);
            for (int quick = 0; quick <= 1; ++quick) {
                NImageFilePNG png;
                const NRESULT r = png.Load(path.c_str(), 0, static_cast<uint8_t>(quick), nullptr);
                EXPECT_TRUE(r == NR_OK || r == NR_DECODE_FAILED || r == NR_PICTURE_CREATE_FAILED) << r;
                EXPECT_LE(png.GetConsumedSize(), damaged.size());
            }
        }
    }
}

// ---- Writing ----

void MakePicture(NImageBuffer& pic, int width, int height, int bpp)
{
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i * 7);
        palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i * 3 + 1);
    }
    pic.Create(width, height, bpp, 0, bpp <= 8 ? palette : nullptr);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pic.bits + static_cast<size_t>(y) * pic.stride;
        for (int b = 0; b < pic.stride; ++b)
            row[b] = static_cast<uint8_t>(b * 31 + y * 17 + 3);
    }
}

TEST_F(PngFormatTest, SaveAndLoadGiveThePixelsBack)
{
    for (int bpp : {1, 4, 8, 24, 32}) {
        for (int interlace = 0; interlace <= 1; ++interlace) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, interlace " << interlace);
            NImageBuffer pic;
    MakePicture(pic, 11, 6, bpp);
            NImageFilePNG writer;
            writer.saveOptions.pngInterlace = static_cast<uint8_t>(interlace);
            const std::wstring path = dir.File(L"out.png");
            ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &pic, nullptr));

            NImageFilePNG reader;
            ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
            ASSERT_EQ(bpp, reader.picture.bpp);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 11; ++x) {
                    uint8_t a[4], b[4];
                    pngtest::PixelRgba(pic, x, y, a);
                    pngtest::PixelRgba(reader.picture, x, y, b);
                    ASSERT_EQ(0, memcmp(a, b, 4)) << x << "," << y;
                }
            if (bpp <= 8) {
                for (int i = 0; i < (1 << bpp); ++i)
                    ASSERT_EQ(0, memcmp(pic.palette[i], reader.picture.palette[i], 3)) << i;
            }
        }
    }
}

TEST_F(PngFormatTest, SixteenBitPicturesAreWrittenAsRgb)
{
    NImageBuffer pic;
    ASSERT_TRUE(pic.Create(5, 4, 16, RGB(255, 0, 255)));
    NImageFilePNG writer;
    const std::wstring path = dir.File(L"555.png");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &pic, nullptr));
    NImageFilePNG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(24, reader.picture.bpp);
    uint8_t px[4];
    pngtest::PixelRgba(reader.picture, 2, 2, px);
    EXPECT_EQ(255, px[0]);
    EXPECT_EQ(0, px[1]);
    EXPECT_EQ(255, px[2]);
}

TEST_F(PngFormatTest, SaveWritesResolutionAndOneTextChunk)
{
    NImageBuffer pic;
    MakePicture(pic, 8, 8, 24);
    const std::wstring path = dir.File(L"text.png");
    NImageFilePNG software;
    ASSERT_EQ(NR_OK, software.Save(path.c_str(), &pic, nullptr));
    Bytes bytes;
    ReadWholeFile(path, bytes);
    bool phys = false, text = false;
    for (const auto& c : pngtest::Chunks(bytes)) {
        if (c.type == "pHYs") {
            phys = true;
            EXPECT_EQ(3779u, pngtest::GetU32(c.data));
            EXPECT_EQ(3779u, pngtest::GetU32(c.data + 4));
            EXPECT_EQ(1, c.data[8]);
        }
        if (c.type == "zTXt") {
            text = true;
            EXPECT_STREQ("Software", reinterpret_cast<const char*>(c.data));
        }
        EXPECT_NE("tRNS", c.type);
    }
    EXPECT_TRUE(phys);
    EXPECT_TRUE(text);

    ImageMetadata meta;
    meta.comment = L"Harbour at dusk";
    NImageFilePNG titled;
    ASSERT_EQ(NR_OK, titled.Save(path.c_str(), &pic, &meta));
    NImageFilePNG back;
    ASSERT_EQ(NR_OK, back.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_STREQ(L"Harbour at dusk", back.metadata.comment.c_str());
    ReadWholeFile(path, bytes);
    for (const auto& c : pngtest::Chunks(bytes)) {
        if (c.type == "zTXt") {
            EXPECT_STREQ("Title", reinterpret_cast<const char*>(c.data));
        }
    }
}

// The colour key of a direct-colour picture is written as that colour: black pixels stay
// opaque. A palette picture's transparent index becomes alpha entries.
TEST_F(PngFormatTest, SaveKeepsThePicturesOwnColourKey)
{
    NImageBuffer rgb;
    MakePicture(rgb, 6, 3, 24);
    rgb.hasTransparency = 1;
    rgb.transparentColour = RGB(255, 0, 255);
    const std::wstring path = dir.File(L"key.png");
    NImageFilePNG writer;
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &rgb, nullptr));
    Bytes bytes;
    ReadWholeFile(path, bytes);
    bool found = false;
    for (const auto& c : pngtest::Chunks(bytes)) {
        if (c.type != "tRNS")
            continue;
        found = true;
        ASSERT_EQ(6u, c.length);
        const uint8_t magenta[6] = {0, 255, 0, 0, 0, 255};
        EXPECT_EQ(0, memcmp(magenta, c.data, 6));
    }
    EXPECT_TRUE(found);

    NImageBuffer indexed;
    MakePicture(indexed, 6, 3, 8);
    indexed.hasTransparency = 1;
    indexed.transparentIndex = 3;
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &indexed, nullptr));
    ReadWholeFile(path, bytes);
    found = false;
    for (const auto& c : pngtest::Chunks(bytes)) {
        if (c.type != "tRNS")
            continue;
        found = true;
        ASSERT_EQ(4u, c.length);
        EXPECT_EQ(255, c.data[0]);
        EXPECT_EQ(0, c.data[3]);
    }
    EXPECT_TRUE(found);
}

TEST_F(PngFormatTest, WriteFailuresAreReportedAndLeaveNoFile)
{
    NImageBuffer invalid;
    NImageFilePNG writer;
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.Save(dir.File(L"invalid.png").c_str(), &invalid, nullptr));

    NImageBuffer pic;
    MakePicture(pic, 4, 4, 24);
    EXPECT_EQ(NR_FILE_OPEN_WRITE, writer.Save(dir.File(L"no\\such\\folder\\x.png").c_str(), &pic, nullptr));

    // A compression level zlib refuses makes libpng raise an error while writing: the save
    // answers an error through the jump buffer instead of ending the process.
    NImageFilePNG failing;
    failing.saveOptions.pngCompressionLevel = 42;
    const std::wstring path = dir.File(L"failed.png");
    EXPECT_EQ(NR_ENCODE_FAILED, failing.Save(path.c_str(), &pic, nullptr));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(failing.libraryMessage.IsEmpty());
}

}  // namespace
