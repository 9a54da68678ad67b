// PICT reading: the embedded JPEG picture and files without one.
#include "imagefile/extra/NImageFilePCT.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

TEST(PictFormat, DecodesTheEmbeddedJpeg)
{
    // small.pct: ImageMagick's PICT with a JPEG at offset 724; small.rgb: ImageMagick's decoding.
    const std::wstring path = TestDataPath(L"pict\\small.pct");
    const std::vector<uint8_t> reference = ReadDataFile(L"pict\\small.rgb");
    NImageFilePCT pct;
    NImageBuffer target;
    ASSERT_EQ(pct.Load(path.c_str(), 0, 0, &target), NR_OK);
    EXPECT_FALSE(pct.picture.valid);
    ASSERT_EQ(target.width, 33);
    ASSERT_EQ(target.height, 21);
    EXPECT_EQ(pct.fullWidth, 33);
    EXPECT_EQ(pct.fullHeight, 21);
    int most = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 33; ++x) {
            const Rgba p = PixelAt(target, x, y);
            const uint8_t* e = reference.data() + (y * 33 + x) * 3;
            most = std::max({most, std::abs(p.r - e[0]), std::abs(p.g - e[1]), std::abs(p.b - e[2])});
        }
    EXPECT_LE(most, 2);
    EXPECT_GT(pct.GetConsumedSize(), 724u);
    EXPECT_LE(pct.GetConsumedSize(), FileSize(path));
    EXPECT_STREQ(pct.GetFileName(), path.c_str());
}

TEST(PictFormat, FilesWithoutJpegAnswerNotThisFormat)
{
    NImageFilePCT pct;
    EXPECT_EQ(pct.Load(TestDataPath(L"pict\\plain.pct").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_FALSE(pct.picture.valid);
    TestDir dir;
    EXPECT_EQ(pct.Load(dir.File(L"missing.pct").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);

    const uint8_t bytes[16] = {0xFF, 0xD8, 0xFF, 0xE0};
    EXPECT_FALSE(NImageFilePCT::IsFormat(bytes, 0, sizeof bytes));
    EXPECT_EQ(pct.GetFormatId(), FT_PCT);
}
