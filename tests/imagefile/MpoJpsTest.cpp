#include "imagefile/formats/NImageFileJPS.h"
#include "imagefile/formats/NImageFileMPO.h"
#include "imagefile/formats/MultiJpeg.h"

#include "common/TestFiles.h"
#include "imagefile/JpegTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;

// The colour that dominates a row of pixel memory (24 bpp, blue first).
uint32_t RowColour(const NImageBuffer& picture, int memoryRow)
{
    const uint8_t* p = picture.bits + static_cast<size_t>(memoryRow) * picture.stride;
    long b = 0, g = 0, r = 0;
    for (int x = 0; x < picture.width; ++x) {
        b += p[3 * x];
        g += p[3 * x + 1];
        r += p[3 * x + 2];
    }
    const long n = picture.width;
    return ((r / n > 160) ? kRed : 0) | ((g / n > 160) ? kGreen : 0) | ((b / n > 160) ? kBlue : 0);
}

class MultiJpegTest : public ::testing::Test {
protected:
    std::wstring Write(const Bytes& bytes, const wchar_t* name = L"picture")
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    TestDir dir;
};

Bytes StereoPair(int width, int height)
{
    return EncodeJpeg(width, height, [=](int x, int) { return x < width / 2 ? kRed : kBlue; });
}

TEST_F(MultiJpegTest, JpsSplitsThePairIntoAStrip)
{
    const Bytes file = StereoPair(64, 16);
    const std::wstring path = Write(file);
    NImageFileJPS jps;
    ASSERT_EQ(NR_OK, jps.Load(path.c_str(), 0, 0, nullptr));
    const NImageBuffer& strip = jps.picture;
    ASSERT_TRUE(strip.valid);
    EXPECT_EQ(24, strip.bpp);
    EXPECT_EQ(32, strip.width);
    EXPECT_EQ(16, strip.height);
    EXPECT_EQ(64, jps.fullWidth);
    EXPECT_EQ(16, jps.fullHeight);
    EXPECT_EQ(2, jps.GetPageCount());
    EXPECT_TRUE(jps.IsMultiImage());
    EXPECT_TRUE(jps.IsAnimated());
    EXPECT_EQ(250, jps.GetFrameDelay(0));
    EXPECT_EQ(250, jps.GetFrameDelay(1));
    EXPECT_EQ(file.size(), jps.GetConsumedSize());
    EXPECT_STREQ(path.c_str(), jps.GetFileName());
    // The right half is first in pixel memory, the left half after it.
    EXPECT_EQ(kBlue, RowColour(strip, 0));
    EXPECT_EQ(kBlue, RowColour(strip, 15));
    EXPECT_EQ(kRed, RowColour(strip, 16));
    EXPECT_EQ(kRed, RowColour(strip, 31));

    // Loading again keeps the pages and adds two delays.
    ASSERT_EQ(NR_OK, jps.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(2, jps.GetPageCount());
    EXPECT_EQ(250, jps.GetFrameDelay(3));
}

TEST_F(MultiJpegTest, JpsOddWidthAndFailures)
{
    // 65 columns: halves of 32, the right one from column 32; the last column is not used.
    const std::wstring path = Write(EncodeJpeg(65, 16, [](int x, int) { return x < 32 ? kRed : x < 64 ? kBlue : kGreen; }));
    NImageBuffer target;
    NImageFileJPS jps;
    ASSERT_EQ(NR_OK, jps.Load(path.c_str(), 0, 0, &target));
    EXPECT_EQ(32, target.width);
    EXPECT_EQ(16, target.height);
    EXPECT_EQ(kBlue, RowColour(target, 0));
    EXPECT_EQ(kRed, RowColour(target, 16));
    EXPECT_FALSE(jps.picture.valid);

    // Not a JPEG: the decoder's 200, so that the factory may detect the format; nothing drawn.
    NImageFileJPS other;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, other.Load(Write(TextBytes("GIF89a this is no JPEG at all..."), L"x.jps").c_str(),
                                             0, 0, nullptr));
    EXPECT_FALSE(other.picture.valid);
    EXPECT_EQ(0, other.GetPageCount());
    EXPECT_EQ(NR_FILE_OPEN_READ, other.Load(dir.File(L"missing.jps").c_str(), 0, 0, nullptr));

    // A picture one column wide has no halves to make a strip of.
    NImageFileJPS narrow;
    EXPECT_EQ(NR_PICTURE_CREATE_FAILED,
              narrow.Load(Write(EncodeJpeg(1, 8, [](int, int) { return kRed; }), L"narrow.jps").c_str(), 0, 0, nullptr));
    EXPECT_FALSE(narrow.picture.valid);
}

TEST_F(MultiJpegTest, MpoDrawsEveryPictureIntoTheStrip)
{
    Bytes file = EncodeJpeg(32, 16, [](int, int) { return kRed; });
    const size_t first = file.size();
    AppendBytes(file, EncodeJpeg(32, 16, [](int, int) { return kBlue; }));
    const std::wstring path = Write(file);
    NImageFileMPO mpo;
    ASSERT_EQ(NR_OK, mpo.Load(path.c_str(), 0, 0, nullptr));
    const NImageBuffer& strip = mpo.picture;
    EXPECT_EQ(32, strip.width);
    EXPECT_EQ(16, strip.height);
    EXPECT_EQ(2, mpo.GetPageCount());
    EXPECT_TRUE(mpo.IsMultiImage());
    EXPECT_TRUE(mpo.IsAnimated());
    EXPECT_EQ(250, mpo.GetFrameDelay(1));
    EXPECT_EQ(0, mpo.GetFrameDelay(2));
    EXPECT_EQ(file.size(), mpo.GetConsumedSize());
    // The last picture shows; the first is found one picture height further in memory.
    EXPECT_EQ(kBlue, RowColour(strip, 0));
    EXPECT_EQ(kRed, RowColour(strip, 16));
    EXPECT_EQ(kRed, RowColour(strip, 31));

    // The stream end that lets the search skip what it has decoded.
    EXPECT_EQ(first, FindJpegStreamEnd(file.data(), file.size(), 0));
    EXPECT_EQ(file.size(), FindJpegStreamEnd(file.data(), file.size(), first));
    EXPECT_EQ(0u, FindJpegStreamEnd(file.data(), first - 1, 0));
    EXPECT_EQ(0u, FindJpegStreamEnd(file.data(), file.size(), 1));
}

TEST_F(MultiJpegTest, MpoOfOnePictureAndThumbnails)
{
    // A plain JPEG file loads as one picture.
    const Bytes plain = EncodeJpeg(32, 16, [](int, int) { return kGreen; });
    NImageFileMPO one;
    ASSERT_EQ(NR_OK, one.Load(Write(plain, L"plain.jpg").c_str(), 0, 0, nullptr));
    EXPECT_EQ(1, one.GetPageCount());
    EXPECT_FALSE(one.IsMultiImage());
    EXPECT_EQ(32, one.picture.width);
    EXPECT_EQ(16, one.picture.height);

    // A thumbnail in the EXIF data that starts like a JFIF file is part of its picture, not a
    // picture of its own.
    TiffBuilder tiff(false);
    const int ifd0 = tiff.AddIfd();
    const int ifd1 = tiff.AddIfd();
    tiff.AddAscii(ifd0, 271, "Maker");
    tiff.SetNext(ifd0, ifd1);
    tiff.AddThumbnail(ifd1, EncodeJpeg(8, 8, [](int, int) { return kBlue; }));
    const Bytes withThumbnail = EncodeJpeg(32, 16, [](int, int) { return kRed; }, 90, tiff.ExifSegment());
    NImageFileMPO mpo;
    ASSERT_EQ(NR_OK, mpo.Load(Write(withThumbnail, L"thumb.mpo").c_str(), 0, 0, nullptr));
    EXPECT_EQ(1, mpo.GetPageCount());
    EXPECT_EQ(32, mpo.picture.width);
    EXPECT_EQ(16, mpo.picture.height);
    EXPECT_EQ(kRed, RowColour(mpo.picture, 0));
}

TEST_F(MultiJpegTest, MpoPicturesOfAnotherSizeFillTheirSlot)
{
    Bytes file = EncodeJpeg(32, 16, [](int, int) { return kRed; });
    AppendBytes(file, EncodeJpeg(16, 8, [](int, int) { return kBlue; }));
    NImageFileMPO mpo;
    ASSERT_EQ(NR_OK, mpo.Load(Write(file).c_str(), 0, 0, nullptr));
    EXPECT_EQ(32, mpo.picture.width);
    EXPECT_EQ(16, mpo.picture.height);
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(kBlue, RowColour(mpo.picture, row));
    EXPECT_EQ(kRed, RowColour(mpo.picture, 16));
}

TEST_F(MultiJpegTest, MpoFailuresAndFirstPicture)
{
    NImageFileMPO mpo;
    EXPECT_EQ(NR_FORMAT_INIT_FAILED, mpo.Load(Write(Bytes(5000, 0x42)).c_str(), 0, 0, nullptr));
    EXPECT_EQ(NR_FORMAT_INIT_FAILED, mpo.Load(Write({}, L"empty.mpo").c_str(), 0, 0, nullptr));
    EXPECT_EQ(NR_FILE_OPEN_READ, mpo.Load(dir.File(L"missing.mpo").c_str(), 0, 0, nullptr));

    // Preview and quick loads give the first JPEG of the file as it is.
    Bytes file(1000, 0x00);
    const Bytes red = EncodeJpeg(32, 16, [](int, int) { return kRed; });
    AppendBytes(file, red);
    AppendBytes(file, EncodeJpeg(32, 16, [](int, int) { return kBlue; }));
    const std::wstring path = Write(file, L"two.mpo");
    for (int flag = 0; flag < 2; ++flag) {
        NImageFileMPO first;
        NImageBuffer target;
        ASSERT_EQ(NR_OK, first.Load(path.c_str(), flag == 0, flag == 1, &target));
        EXPECT_EQ(32, target.width);
        EXPECT_EQ(16, target.height);
        EXPECT_EQ(kRed, RowColour(target, 0));
        EXPECT_EQ(0, first.GetPageCount());
        EXPECT_EQ(32, first.fullWidth);
        EXPECT_EQ(file.size(), first.GetConsumedSize());   // the stdio source's whole block
        EXPECT_STREQ(path.c_str(), first.GetFileName());
        NImageFileJPS jps;
        ASSERT_EQ(NR_OK, jps.Load(path.c_str(), 1, 0, nullptr));
        EXPECT_EQ(32, jps.picture.width);
        EXPECT_EQ(0, jps.GetPageCount());
    }
    NImageFileJPS none;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, none.Load(Write(Bytes(300, 1), L"none.jps").c_str(), 1, 0, nullptr));
}

TEST(MultiJpegSignature, SharedCheck)
{
    const Bytes jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01};
    const Bytes exif = {0xFF, 0xD8, 0xFF, 0xE1, 0x12, 0x34, 'E', 'x', 'i', 'f', 0x00, 0x00};
    const Bytes adobe = {0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00};
    const Bytes jfxx = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'X', 'X', 0x00, 0x01};
    const Bytes dqt = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 'J', 'F', 'I', 'F', 0x00, 0x01};
    for (auto check : {&NImageFileMPO::IsFormat, &NImageFileJPS::IsFormat}) {
        EXPECT_TRUE(check(jfif.data(), 0, 12));
        EXPECT_TRUE(check(exif.data(), 0, 12));
        EXPECT_TRUE(check(adobe.data(), 0, 12));
        EXPECT_FALSE(check(jfxx.data(), 0, 12));
        EXPECT_TRUE(check(dqt.data(), 0, 12));   // the identifier is all it looks at
        // The window is 12 bytes: no answer in the last 11 bytes, and no wrap for short lengths.
        Bytes padded(20, 0);
        std::copy(jfif.begin(), jfif.end(), padded.begin() + 8);
        EXPECT_TRUE(check(padded.data(), 8, 20));
        EXPECT_FALSE(check(padded.data(), 8, 19));
        for (uint64_t length = 0; length < 12; ++length)
            EXPECT_FALSE(check(jfif.data(), 0, length));
        EXPECT_FALSE(check(jfif.data(), ~0ull, 12));
        EXPECT_FALSE(check(nullptr, 0, 12));
    }
    EXPECT_EQ(FT_MPO, NImageFileMPO().GetFormatId());
    EXPECT_EQ(FT_JPS, NImageFileJPS().GetFormatId());
}

}  // namespace
