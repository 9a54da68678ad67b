// The PIC family (Softimage channel packets, PC Paint blocks and planes, the planar "PIC" with its
// ".pal" file) and the Alias PIX reader and writer, on files built byte by byte.
#include "imagefile/extra/NImageFilePIC.h"
#include "imagefile/extra/NImageFilePIC2.h"
#include "imagefile/extra/NImageFilePIC3.h"
#include "imagefile/extra/NImageFilePIX.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A Softimage header and its channel packets {chained, size, compression, mask}.
Bytes SoftimageHeader(int width, int height, std::initializer_list<std::array<uint8_t, 4>> packets,
                      const char* comment = "")
{
    Bytes h;
    h.u32be(0x5380F634).u32be(0);
    char field[80] = {};
    strncpy(field, comment, sizeof(field) - 1);
    h.raw(field, sizeof(field)).text("PICT").u16be(width).u16be(height).u32be(0).u16be(0).u16be(0);
    for (const auto& p : packets)
        h.bytes({p[0], p[1], p[2], p[3]});
    return h;
}

// A PC Paint header; plane info = (planes - 1) << 4 | bits per plane.
Bytes PcPaintHeader(int width, int height, uint8_t planeInfo, char videoMode, const std::vector<uint8_t>& palette)
{
    Bytes h;
    h.u16(0x1234).u16(width).u16(height).u16(0).u16(0).u8(planeInfo).u8(0xFF).u8(videoMode).u16(0);
    h.u16(static_cast<unsigned>(palette.size())).raw(palette);
    return h;
}

// One block: size (header included), unpacked size, marker, data.
void PcPaintBlock(Bytes& f, uint16_t unpacked, uint8_t marker, const std::vector<uint8_t>& data)
{
    f.u16(static_cast<unsigned>(data.size() + 5)).u16(unpacked).u8(marker).raw(data);
}

class PicPix : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes, const wchar_t* name = L"test.pic")
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    TestDir dir;
};

}  // namespace

TEST_F(PicPix, SoftimageMixedRunsFillAllFourChannels)
{
    // One packet of red, green, blue and alpha in mixed runs: two literal pixels, then one pixel
    // three times.
    Bytes f = SoftimageHeader(5, 1, {{0, 8, 2, 0xF0}}, "a comment");
    f.bytes({0x01, 10, 20, 30, 40, 11, 21, 31, 41, 130, 12, 22, 32, 42});
    NImageFilePIC file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 32);
    const Rgba first = PixelAt(file.picture, 0, 0);
    EXPECT_EQ(first.r, 10);
    EXPECT_EQ(first.g, 20);
    EXPECT_EQ(first.b, 30);
    EXPECT_EQ(first.a, 40);
    EXPECT_EQ(PixelAt(file.picture, 1, 0).a, 41);
    EXPECT_EQ(PixelAt(file.picture, 4, 0).r, 12);
    EXPECT_EQ(PixelAt(file.picture, 4, 0).a, 42);
    EXPECT_STREQ(file.metadata.comment.c_str(), L"a comment");
    EXPECT_EQ(file.GetConsumedSize(), f.size());
    EXPECT_EQ(file.fullWidth, 5);
}

TEST_F(PicPix, SoftimageSecondPacketAddsTheAlpha)
{
    // Colour uncompressed, then alpha in pure runs of 5 (clipped to the 3 pixels of a row), two rows.
    Bytes f = SoftimageHeader(3, 2, {{1, 8, 0, 0xE0}, {0, 8, 1, 0x10}});
    f.bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}).bytes({5, 200});
    f.bytes({9, 8, 7, 6, 5, 4, 3, 2, 1}).bytes({1, 50, 2, 60});
    NImageFilePIC file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(file.picture, 2, 0).b, 9);
    EXPECT_EQ(PixelAt(file.picture, 2, 0).a, 200);
    EXPECT_EQ(PixelAt(file.picture, 0, 1).r, 9);
    EXPECT_EQ(PixelAt(file.picture, 0, 1).a, 50);
    EXPECT_EQ(PixelAt(file.picture, 2, 1).a, 60);
}

TEST_F(PicPix, SoftimageLongRunsAndBrokenLines)
{
    // 128 and a 16-bit count of 300 repeat one pixel over the whole row.
    Bytes f = SoftimageHeader(300, 2, {{0, 8, 2, 0x80}});
    f.bytes({128, 0x01, 0x2C, 77});
    f.bytes({128, 0x01, 0x2D, 66});   // 301 pixels: passes the row's end, the line fails
    NImageFilePIC file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).r, 77);
    EXPECT_EQ(PixelAt(file.picture, 299, 0).r, 77);
    EXPECT_EQ(PixelAt(file.picture, 0, 1).r, 0);

    // A packet of an unknown compression first leaves the line failed; later, it changes nothing.
    Bytes unknown = SoftimageHeader(1, 1, {{0, 8, 5, 0x80}});
    unknown.bytes({1, 2, 3});
    NImageFilePIC skipped;
    ASSERT_EQ(skipped.Load(Write(unknown.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(skipped.picture, 0, 0).r, 0);
}

TEST_F(PicPix, SoftimageRefusals)
{
    Bytes noPict = SoftimageHeader(1, 1, {{0, 8, 0, 0x80}});
    noPict.data[88] = 'X';
    Bytes chain = SoftimageHeader(1, 1, {});
    for (int i = 0; i < 20; ++i)
        chain.bytes({1, 8, 0, 0x80});
    Bytes huge = SoftimageHeader(60000, 60000, {{0, 8, 0, 0x80}});
    huge.fill(10, 0);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        NRESULT expected;
    } const cases[] = {
        {"no PICT", noPict.data, NR_NOT_THIS_FORMAT},
        {"header cut short", std::vector<uint8_t>(noPict.data.begin() + 0, noPict.data.begin() + 60), NR_NOT_THIS_FORMAT},
        {"more than 16 packets", chain.data, NR_INVALID_DATA},
        {"a picture the data cannot fill", huge.data, NR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NImageFilePIC file;
        EXPECT_EQ(file.Load(Write(c.bytes).c_str(), 0, 0, nullptr), c.expected);
    }
}

TEST_F(PicPix, PcPaintEightBitsWithSixBitPaletteAndRuns)
{
    std::vector<uint8_t> palette(768);
    for (int i = 0; i < 256; ++i)
        palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = static_cast<uint8_t>(i % 64);
    // 4 x 3, bottom row first: a run of 5 (marker 0xAA), literals, a long run with a 16-bit count.
    Bytes f = PcPaintHeader(4, 3, 0x08, 'M', palette);
    f.u16(2);
    PcPaintBlock(f, 7, 0xAA, {0xAA, 5, 63, 1, 2});
    PcPaintBlock(f, 5, 0xAA, {0xAA, 0, 0x05, 0x00, 9});
    NImageFilePIC2 file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 8);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 2), 63);   // the bottom row
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 1), 63);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 1), 2);
    EXPECT_EQ(PaletteIndexAt(file.picture, 3, 1), 9);
    EXPECT_EQ(PaletteIndexAt(file.picture, 3, 0), 9);
    EXPECT_EQ(PixelAt(file.picture, 0, 2).r, 252);       // 6-bit values times 4
    EXPECT_EQ(file.GetConsumedSize(), f.size());
}

TEST_F(PicPix, PcPaintFourPlanesWithEgaCodes)
{
    // 8 x 1: plane p sets bit p of each pixel; codes of the standard EGA colours.
    const std::vector<uint8_t> codes = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};
    Bytes f = PcPaintHeader(8, 1, 0x31, 0, codes);
    f.u16(1);
    PcPaintBlock(f, 4, 0xFF, {0xF0, 0xCC, 0xAA, 0x01});
    NImageFilePIC2 file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 4);
    const int expected[8] = {0x7, 0x3, 0x5, 0x1, 0x6, 0x2, 0x4, 0x8};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(PaletteIndexAt(file.picture, x, 0), expected[x]) << "pixel " << x;
    const Rgba red = PixelAt(file.picture, 6, 0);    // index 4, code 4: red 0x80
    EXPECT_EQ(red.r, 0x80);
    EXPECT_EQ(red.g, 0);
    const Rgba grey = PixelAt(file.picture, 7, 0);   // index 8, code 56: 0x40 each
    EXPECT_EQ(grey.r, 0x40);
    EXPECT_EQ(grey.b, 0x40);
}

TEST_F(PicPix, PcPaintOneBitRunsNeverPassThePicture)
{
    // A 16 x 2 picture (4 bytes): the bottom row from a run of 2, then a run of 65535 of which
    // the picture takes what fits.
    Bytes f = PcPaintHeader(16, 2, 0x01, 0, {});
    f.u16(1);
    PcPaintBlock(f, 0xFFFF, 0x00, {0x00, 2, 0xF0, 0x00, 0x00, 0xFF, 0xFF, 0x0F});
    NImageFilePIC2 file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 4, 1), 0);
    EXPECT_EQ(PaletteIndexAt(file.picture, 4, 0), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 15, 0), 1);
    EXPECT_EQ(PixelAt(file.picture, 4, 0).r, 255);   // 1 is white
    EXPECT_EQ(PixelAt(file.picture, 4, 1).r, 0);

    Bytes deep = PcPaintHeader(4, 4, 0x10, 0, {});   // two planes of 0 bits
    deep.u16(0);
    NImageFilePIC2 refused;
    EXPECT_EQ(refused.Load(Write(deep.data).c_str(), 0, 0, nullptr), NR_SUBFEATURE_NOT_SUPPORTED);
    Bytes sixteen = PcPaintHeader(4, 4, 0x1F, 0, {});
    sixteen.u16(0);
    EXPECT_EQ(refused.Load(Write(sixteen.data).c_str(), 0, 0, nullptr), NR_SUBFEATURE_NOT_SUPPORTED);
    EXPECT_EQ(refused.Load(Write({0x12, 0x34, 0}).c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    Bytes huge = PcPaintHeader(60000, 60000, 0x08, 0, {});
    huge.u16(1);
    PcPaintBlock(huge, 10, 0x00, {0x00, 0x00, 0xFF, 0xFF, 1});
    EXPECT_EQ(refused.Load(Write(huge.data).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
}

TEST_F(PicPix, PlanarPicTakesThePaletteFileOfItsOwnNameOnly)
{
    Bytes f;
    f.text("PIC");
    for (int p = 0; p < 4; ++p) {
        std::vector<uint8_t> plane(16000, 0);
        plane[0] = static_cast<uint8_t>(10 + p);   // row 0, pixels 0..3
        plane[80 * 199 + 79] = static_cast<uint8_t>(20 + p);   // bottom row, pixels 316..319
        f.raw(plane);
    }
    const std::wstring path = Write(f.data, L"scene.pic");

    // Another palette file in the current folder must not be taken.
    std::vector<uint8_t> other(768, 63);
    ASSERT_TRUE(WriteWholeFile(dir.File(L"other.pal"), other));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.Path().c_str());
    NImageFilePIC3 grey;
    const NRESULT greyResult = grey.Load(path.c_str(), 0, 0, nullptr);
    SetCurrentDirectoryW(previous);
    ASSERT_EQ(greyResult, NR_OK);
    EXPECT_EQ(PaletteIndexAt(grey.picture, 2, 0), 12);
    EXPECT_EQ(PaletteIndexAt(grey.picture, 319, 199), 23);
    EXPECT_EQ(PixelAt(grey.picture, 2, 0).r, 12);   // grey ramp
    EXPECT_EQ(grey.GetConsumedSize(), 64003u);
    EXPECT_EQ(grey.fullWidth, 320);

    std::vector<uint8_t> palette(768, 0);
    palette[12 * 3] = 63;
    palette[12 * 3 + 2] = 10;
    ASSERT_TRUE(WriteWholeFile(dir.File(L"scene.pal"), palette));
    NImageFilePIC3 coloured;
    ASSERT_EQ(coloured.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(coloured.picture, 2, 0).r, 252);
    EXPECT_EQ(PixelAt(coloured.picture, 2, 0).b, 40);

    NImageFilePIC3 refused;
    EXPECT_EQ(refused.Load(Write({'P', 'I', 'X', 0}).c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
}

TEST_F(PicPix, PixRoundTripAndTheWritersPackets)
{
    NImageBuffer pic;
    ASSERT_TRUE(pic.Create(300, 2, 24, RGB(1, 2, 3)));
    uint8_t* top = pic.bits + pic.stride;   // scan line 1 is the top row
    top[299 * 3] = 200;                      // the last pixel of the top row differs
    NImageFilePIX writer;
    const std::wstring path = dir.File(L"round.pix");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    const std::vector<uint8_t> expected = {
        0x01, 0x2C, 0x00, 0x02, 0, 0, 0, 0, 0x00, 24,   // header
        255, 3, 2, 1, 44, 3, 2, 1, 1, 200, 2, 1,          // top row: 255 + 44 + 1 pixels
        255, 3, 2, 1, 45, 3, 2, 1};                       // bottom row: 255 + 45
    EXPECT_EQ(bytes, expected);

    NImageFilePIX reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(reader.picture.bpp, 24);
    EXPECT_EQ(PixelAt(reader.picture, 299, 0).b, 200);
    EXPECT_EQ(PixelAt(reader.picture, 299, 1).b, 3);
    EXPECT_EQ(PixelAt(reader.picture, 0, 0).r, 1);
    EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
}

TEST_F(PicPix, PixEightBitsAndPacketsThatPassTheRow)
{
    // 3 x 2 grey: a packet of 5 drops its last two pixels; the next row starts anew.
    Bytes f;
    f.u16be(3).u16be(2).u16be(0).u16be(0).u16be(8).bytes({5, 40, 2, 90, 1, 91});
    NImageFilePIX file;
    ASSERT_EQ(file.Load(Write(f.data, L"grey.pix").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 8);
    EXPECT_EQ(PixelAt(file.picture, 2, 0).g, 40);
    EXPECT_EQ(PixelAt(file.picture, 1, 1).g, 90);
    EXPECT_EQ(PixelAt(file.picture, 2, 1).g, 91);

    Bytes esm;
    esm.text("Esm Software PIX file").fill(20, 0);
    Bytes deep;
    deep.u16be(3).u16be(2).u16be(0).u16be(0).u16be(16).fill(10, 1);
    Bytes huge;
    huge.u16be(60000).u16be(60000).u16be(0).u16be(0).u16be(24).fill(10, 255);
    NImageFilePIX refused;
    EXPECT_EQ(refused.Load(Write(esm.data).c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(refused.Load(Write(deep.data).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Load(Write(huge.data).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Save(dir.File(L"none.pix").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(NImageFilePIX::IsFormat(f.data.data(), 0, f.size()));
}
