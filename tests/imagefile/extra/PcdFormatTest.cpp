// PhotoCD reading: the YCC conversion, row pairs with shared chroma, the orientation byte, the
// Base/16 preview, files cut short and the consumed size. The image packs are built here:
// "PCD_IPI" at 2048, the orientation at byte 72, Base/16 at 8192 and Base at 0x30000.
#include "imagefile/extra/NImageFilePCD.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr size_t kBase16 = 8192;
constexpr size_t kBase = 0x30000;

// Luma 40 everywhere except the first decoded row pair (luma 200); chroma neutral except the
// first chroma sample of every pair (C1 200, C2 100), which covers columns 0 and 1.
std::vector<uint8_t> ImagePack(uint8_t orientation, size_t length = 0xC0000)
{
    std::vector<uint8_t> d(length, 0);
    const char signature[] = "PCD_IPI";
    std::copy(signature, signature + 7, d.begin() + 2048);
    d[72] = orientation;
    const struct {
        size_t offset, width, height;
    } pictures[] = {{kBase16, 192, 128}, {kBase, 768, 512}};
    for (const auto& pic : pictures) {
        size_t p = pic.offset;
        for (size_t pair = 0; pair < pic.height / 2 && p + 3 * pic.width <= d.size(); ++pair) {
            const uint8_t luma = pair == 0 ? 200 : 40;
            std::fill(d.begin() + p, d.begin() + p + 2 * pic.width, luma);
            p += 2 * pic.width;
            std::fill(d.begin() + p, d.begin() + p + pic.width / 2, 156);
            d[p] = 200;
            p += pic.width / 2;
            std::fill(d.begin() + p, d.begin() + p + pic.width / 2, 137);
            d[p] = 100;
            p += pic.width / 2;
        }
    }
    return d;
}

NRESULT LoadPack(NImageFilePCD& pcd, const TestDir& dir, const std::vector<uint8_t>& bytes, uint8_t preview = 0)
{
    const std::wstring path = dir.File(L"pack.pcd");
    if (!WriteWholeFile(path, bytes))
        return NR_FILE_ERROR;
    return pcd.Load(path.c_str(), preview, 0, nullptr);
}

Rgba Ycc(uint8_t y, uint8_t c1, uint8_t c2)
{
    uint8_t rgb[3];
    NImageFilePCD::YccToRgb(y, c1, c2, rgb);
    return {rgb[0], rgb[1], rgb[2], 255};
}

bool Same(Rgba a, Rgba b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

}  // namespace

TEST(PcdFormat, YccConversion)
{
    const Rgba grey = Ycc(100, 156, 137);
    EXPECT_EQ(grey.r, 141);
    EXPECT_EQ(grey.g, 141);
    EXPECT_EQ(grey.b, 141);
    const Rgba bright = Ycc(255, 255, 255);   // limited to 255 and 0
    EXPECT_EQ(bright.r, 255);
    EXPECT_EQ(bright.g, 240);
    EXPECT_EQ(bright.b, 255);
    EXPECT_EQ(Ycc(0, 0, 255).g, 0);
}

TEST(PcdFormat, OrientationByteDecidesRowOrderAndTurns)
{
    TestDir dir;
    const Rgba bright = Ycc(200, 156, 137);
    const Rgba dark = Ycc(40, 156, 137);
    const Rgba tinted = Ycc(40, 200, 100);

    NImageFilePCD pcd;
    ASSERT_EQ(LoadPack(pcd, dir, ImagePack(8)), NR_OK);   // stored top row first
    ASSERT_EQ(pcd.picture.width, 768);
    ASSERT_EQ(pcd.picture.height, 512);
    EXPECT_EQ(pcd.fullWidth, 768);
    EXPECT_EQ(pcd.fullHeight, 512);
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 0), bright));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 1), bright));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 2), dark));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 1, 2), tinted));   // the chroma sample covers two columns
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 2, 2), dark));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 511), dark));

    ASSERT_EQ(LoadPack(pcd, dir, ImagePack(0x40 | 0)), NR_OK);   // only the low 6 bits count
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 511), bright));     // first row at the bottom
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 0), dark));

    ASSERT_EQ(LoadPack(pcd, dir, ImagePack(9)), NR_OK);   // a quarter turn clockwise, then flipped
    ASSERT_EQ(pcd.picture.width, 512);
    ASSERT_EQ(pcd.picture.height, 768);
    EXPECT_EQ(pcd.fullWidth, 512);
    EXPECT_EQ(pcd.fullHeight, 768);
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 0, 5), bright));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 511, 5), dark));

    ASSERT_EQ(LoadPack(pcd, dir, ImagePack(11)), NR_OK);   // counter-clockwise, then flipped
    ASSERT_EQ(pcd.picture.width, 512);
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 511, 5), bright));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 0, 5), dark));
}

TEST(PcdFormat, PreviewReadsBase16AndReportsTheFullSize)
{
    TestDir dir;
    NImageFilePCD pcd;
    NImageBuffer target;
    const std::wstring path = dir.File(L"pack.pcd");
    ASSERT_TRUE(WriteWholeFile(path, ImagePack(8)));
    ASSERT_EQ(pcd.Load(path.c_str(), 1, 0, &target), NR_OK);
    EXPECT_EQ(target.width, 192);
    EXPECT_EQ(target.height, 128);
    EXPECT_FALSE(pcd.picture.valid);
    EXPECT_EQ(pcd.fullWidth, 768);
    EXPECT_EQ(pcd.fullHeight, 512);
    EXPECT_TRUE(Same(PixelAt(target, 100, 1), Ycc(200, 156, 137)));
    EXPECT_EQ(pcd.GetConsumedSize(), 0xC0000u);
}

TEST(PcdFormat, ConsumedSizeKeepsTheWholeImagePack)
{
    // Higher resolutions follow Base in a real image pack; none of them may be cut off.
    TestDir dir;
    NImageFilePCD pcd;
    std::vector<uint8_t> pack = ImagePack(8, 0xC0000 + 3 * 0x30000);
    ASSERT_EQ(LoadPack(pcd, dir, pack), NR_OK);
    EXPECT_EQ(pcd.GetConsumedSize(), pack.size());
    EXPECT_EQ(pcd.GetFormatId(), FT_PCD);
}

TEST(PcdFormat, AFileCutInsideBaseKeepsTheRowsRead)
{
    TestDir dir;
    NImageFilePCD pcd;
    const size_t keep = kBase + 3 * 768 * 3 + 100;   // three row pairs and a part of the fourth
    ASSERT_EQ(LoadPack(pcd, dir, ImagePack(8, keep)), NR_OK);
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 0), Ycc(200, 156, 137)));
    EXPECT_TRUE(Same(PixelAt(pcd.picture, 5, 5), Ycc(40, 156, 137)));
    EXPECT_EQ(PixelAt(pcd.picture, 5, 6).g, 0);
    EXPECT_EQ(PixelAt(pcd.picture, 5, 511).g, 0);
    EXPECT_EQ(pcd.GetConsumedSize(), keep);

    // Cut before Base: still a picture (black), as for any file that ends early.
    ASSERT_EQ(LoadPack(pcd, dir, ImagePack(8, 4096)), NR_OK);
    EXPECT_EQ(PixelAt(pcd.picture, 5, 0).g, 0);
}

TEST(PcdFormat, SignatureIsRequired)
{
    TestDir dir;
    NImageFilePCD pcd;
    std::vector<uint8_t> pack = ImagePack(8);
    pack[2050] = 'X';
    EXPECT_EQ(LoadPack(pcd, dir, pack), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(LoadPack(pcd, dir, ImagePack(8, 2054)), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(LoadPack(pcd, dir, ImagePack(8, 2055)), NR_OK);
    EXPECT_EQ(pcd.Load(dir.File(L"missing.pcd").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);

    std::vector<uint8_t> window(4096, 0);
    std::copy(pack.begin() + 2048, pack.begin() + 2055, window.begin() + 2048);
    window[2050] = 'D';
    EXPECT_TRUE(NImageFilePCD::IsFormat(window.data(), 0, 4096));
    EXPECT_FALSE(NImageFilePCD::IsFormat(window.data(), 0, 2054));
}
