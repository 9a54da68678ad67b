// HRZ, MacPaint and Microsoft Paint: netpbm's MacPaint file, MacBinary headers and PackBits codes,
// the two MSP versions, 6-bit samples, and files cut short.
#include "imagefile/extra/NImageFileHRZ.h"
#include "imagefile/extra/NImageFileMAC.h"
#include "imagefile/extra/NImageFileMSP.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class PaintFormats : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes, const wchar_t* name = L"test.img")
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    TestDir dir;
};

// An MSP header: key, width, height, then zeros up to byte 32.
Bytes MspHeader(const char* key, int width, int height)
{
    Bytes h;
    h.text(key).u16(width).u16(height).fill(24, 0);
    return h;
}

}  // namespace

TEST_F(PaintFormats, HrzSixBitSamplesTopRowFirst)
{
    std::vector<uint8_t> bytes(184320, 0);
    bytes[0] = 63;                    // top-left: red 63
    bytes[3 * 255 + 2] = 1;           // top-right: blue 1
    bytes[239 * 768 + 1] = 64;        // bottom-left: green beyond 6 bits
    NImageFileHRZ file;
    ASSERT_EQ(file.Load(Write(bytes).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 24);
    EXPECT_EQ(file.picture.width, 256);
    EXPECT_EQ(file.picture.height, 240);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).r, 252);
    EXPECT_EQ(PixelAt(file.picture, 255, 0).b, 4);
    EXPECT_EQ(PixelAt(file.picture, 0, 239).g, 255);   // held at the top, not wrapped to 0
    EXPECT_EQ(file.GetConsumedSize(), 184320u);
    EXPECT_FALSE(NImageFileHRZ::IsFormat(bytes.data(), 0, bytes.size()));

    // Cut in the second row: its missing pixels keep the first row's values.
    std::vector<uint8_t> cut(768 + 3, 0);
    cut[767] = 20;   // the first row's last blue
    cut[768] = 10;
    NImageFileHRZ shortFile;
    ASSERT_EQ(shortFile.Load(Write(cut).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PixelAt(shortFile.picture, 0, 1).r, 40);
    EXPECT_EQ(PixelAt(shortFile.picture, 255, 1).b, 80);
    EXPECT_EQ(shortFile.GetConsumedSize(), cut.size());
}

TEST_F(PaintFormats, MacPaintFileOfNetpbm)
{
    const std::wstring fixture = TestDataPath(L"bilevel\\pat.mac");
    NImageFileMAC file;
    ASSERT_EQ(file.Load(fixture.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 1);
    ASSERT_EQ(file.picture.width, 576);
    ASSERT_EQ(file.picture.height, 720);
    EXPECT_EQ(file.GetConsumedSize(), FileSize(fixture));
    EXPECT_TRUE(file.metadata.comment.IsEmpty());
    // The 21 x 9 picture lies at 277, 355; everything else is white.
    const std::vector<uint8_t> reference = ReadDataFile(L"bilevel\\pat.rgb");
    ASSERT_EQ(reference.size(), 21u * 9 * 3);
    int black = 0;
    int expectedBlack = 0;
    for (size_t i = 0; i < reference.size(); i += 3)
        expectedBlack += reference[i] == 0;
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 576; ++x) {
            const int index = PaletteIndexAt(file.picture, x, y);
            black += index;
            if (x >= 277 && x < 298 && y >= 355 && y < 364)
                ASSERT_EQ(index == 1, reference[((y - 355) * 21 + (x - 277)) * 3] == 0) << x << "," << y;
        }
    }
    EXPECT_EQ(black, expectedBlack);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).r, 255);
}

TEST_F(PaintFormats, MacPaintBehindAMacBinaryHeaderAndPackBitsCodes)
{
    // MacBinary: name length 5 at 1, "scene" from 2, type "PNTG" at 65; the picture at 640.
    Bytes f;
    f.u8(0).u8(5).text("scene").fill(58, 'x').text("PNTG").fill(59, 0);
    ASSERT_EQ(f.size(), 128u);
    f.fill(512, 0);
    // Row 0: 128 (nothing), 2 literal bytes, a run of 70 zeros. Row 1: a run of 80 0xFF, cut at 72.
    f.bytes({128, 1, 0xC0, 0x01, 256 - 69, 0x00});
    f.bytes({256 - 79, 0xFF});
    // Row 2: three literal bytes, then the file ends.
    f.bytes({2, 0x80, 0x00, 0x01});
    NImageFileMAC file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_STREQ(file.metadata.comment.c_str(), L"scene");
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 0), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 2, 0), 0);
    EXPECT_EQ(PaletteIndexAt(file.picture, 15, 0), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 16, 0), 0);
    EXPECT_EQ(PaletteIndexAt(file.picture, 575, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 2), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 3), 0);
    EXPECT_EQ(PixelAt(file.picture, 0, 0).r, 0);   // 1 is black
    EXPECT_EQ(file.GetConsumedSize(), f.size());

    // Without MacBinary and with a first byte of 0 the rows start at 512; no name is taken.
    Bytes plain;
    plain.fill(512, 0).bytes({256 - 71, 0xFF});
    NImageFileMAC headerless;
    ASSERT_EQ(headerless.Load(Write(plain.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PaletteIndexAt(headerless.picture, 575, 0), 1);
    EXPECT_EQ(PaletteIndexAt(headerless.picture, 0, 1), 0);
    EXPECT_TRUE(headerless.metadata.comment.IsEmpty());

    NImageFileMAC tiny;
    EXPECT_EQ(tiny.Load(Write(std::vector<uint8_t>(68, 0)).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
}

TEST_F(PaintFormats, MspVersionOneRawRows)
{
    Bytes f = MspHeader("DanM", 10, 2);
    f.bytes({0xFF, 0xC0, 0x80, 0x40});   // rows of 2 bytes, top row first
    NImageFileMSP file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.picture.bpp, 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 9, 0), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 0, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 1, 1), 0);
    EXPECT_EQ(PaletteIndexAt(file.picture, 9, 1), 1);
    EXPECT_EQ(PixelAt(file.picture, 0, 1).r, 255);   // 1 is white
    EXPECT_EQ(PixelAt(file.picture, 1, 1).r, 0);
    EXPECT_EQ(file.GetConsumedSize(), 36u);
}

TEST_F(PaintFormats, MspVersionTwoRunsAndFilesCutShort)
{
    // 24 x 2: row lengths, then 0 3 FF (three 0xFF bytes), and a literal row cut off.
    Bytes f = MspHeader("LinS", 24, 2);
    f.u16(3).u16(4).bytes({0x00, 0x03, 0xFF}).bytes({0x03, 0x0F});
    NImageFileMSP file;
    ASSERT_EQ(file.Load(Write(f.data).c_str(), 0, 0, nullptr), NR_OK);
    for (int x = 0; x < 24; ++x)
        ASSERT_EQ(PaletteIndexAt(file.picture, x, 0), 1) << x;
    EXPECT_EQ(PaletteIndexAt(file.picture, 4, 1), 1);
    EXPECT_EQ(PaletteIndexAt(file.picture, 3, 1), 0);
    EXPECT_EQ(file.GetConsumedSize(), f.size());

    // A run longer than the row is cut at its end; the next row starts with the next code.
    Bytes runs = MspHeader("LinS", 8, 2);
    runs.u16(3).u16(3).bytes({0x00, 0x09, 0xFF}).bytes({0x00, 0x01, 0x01});
    NImageFileMSP cut;
    ASSERT_EQ(cut.Load(Write(runs.data).c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(PaletteIndexAt(cut.picture, 0, 1), 0);
    EXPECT_EQ(PaletteIndexAt(cut.picture, 7, 1), 1);

    Bytes other;
    other.text("LinT").u16(8).u16(1).fill(24, 0);
    Bytes huge = MspHeader("DanM", 60000, 60000);
    huge.fill(10, 0);
    Bytes hugeRuns = MspHeader("LinS", 60000, 200);
    hugeRuns.fill(500, 0);
    NImageFileMSP refused;
    EXPECT_EQ(refused.Load(Write(other.data).c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(refused.Load(Write(huge.data).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Load(Write(hugeRuns.data).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(refused.Load(Write({'D', 'a', 'n', 'M', 1}).c_str(), 0, 0, nullptr), NR_INVALID_DATA);
}
