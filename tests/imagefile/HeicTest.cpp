// The HEIC class and the Windows Imaging Component reader behind it. Wine has no HEIF decoder,
// so the reader's whole path (conversion of the frame's own layout, alpha, orientation of the
// rows, resolution) runs here on PNG and BMP files that Wine's WIC does decode, and the HEIC
// class is seen answering 203 for a HEIC file that no installed codec takes.
#include "imagefile/formats/NImageFileHEIC.h"

#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/formats/WicReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const uint8_t* Pixel(const NImageBuffer& picture, int x, int y)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - y) * picture.stride +
           static_cast<size_t>(x) * (picture.bpp / 8);
}

// A reference dump (top row first, `channels` bytes a pixel, red first) against a 24-bit
// picture; with alpha the colour is expected over white. Tolerance 1 for the compositing.
void ExpectReference(const NImageBuffer& picture, const std::wstring& dump, int channels)
{
    Bytes reference;
    ASSERT_TRUE(ReadWholeFile(dump, reference));
    ASSERT_TRUE(picture.valid);
    ASSERT_EQ(picture.bpp, 24);
    ASSERT_EQ(reference.size(), static_cast<size_t>(picture.width) * picture.height * channels);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const unsigned char* r = &reference[(static_cast<size_t>(y) * picture.width + x) * channels];
            int expected[3];
            for (int k = 0; k < 3; ++k) {
                const int c = channels == 1 ? r[0] : r[k];
                const int a = channels == 4 ? r[3] : 255;
                expected[k] = (c * a + 255 * (255 - a) + 127) / 255;
            }
            const uint8_t* p = Pixel(picture, x, y);
            for (int k = 0; k < 3; ++k) {
                if (std::abs(p[2 - k] - expected[k]) > 1) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << k << ": " << int(p[2 - k])
                                  << " instead of " << expected[k];
                    return;
                }
            }
        }
    }
}

// An "ftyp" box with the brand, then bytes that no decoder reads as a picture.
Bytes FakeHeif(const char* brand)
{
    static const char rest[] = "\0\0\0\0mif1heic\0\0\0\x10mdatjunkjunk";
    std::string text("\0\0\0\x18" "ftyp", 8);
    text.append(brand, 4);
    text.append(rest, sizeof rest - 1);
    return Bytes(text.begin(), text.end());
}

TEST(WicReader, DecodesFramesOfEveryLayoutUpright)
{
    // Wine's decoders give these as 24-bit RGB, 32-bit RGBA, 8-bit grey and 24-bit BGR frames.
    struct Case { const wchar_t* file; const wchar_t* dump; int channels; };
    const Case cases[] = {
        {L"png\\rgb.png", L"png\\rgb.rgb", 3},
        {L"png\\rgba.png", L"png\\rgba.rgba", 4},
        {L"png\\grey8.png", L"png\\grey8.gray", 1},
        {L"bmp\\v3-24.bmp", L"bmp\\v3-24.rgb", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.file, c.file + wcslen(c.file)));
        NImageBuffer picture;
        ASSERT_EQ(DecodeWithWic(TestDataPath(c.file).c_str(), picture), NR_OK);
        ExpectReference(picture, TestDataPath(c.dump), c.channels);
    }
}

TEST(WicReader, KeepsTheResolutionRounded)
{
    NImageBuffer picture;
    ASSERT_EQ(DecodeWithWic(TestDataPath(L"png\\rgb-300dpi.png").c_str(), picture), NR_OK);
    EXPECT_EQ(picture.dpiX, 300);   // 11811 pixels per metre is 299.9994 dpi
    EXPECT_EQ(picture.dpiY, 300);
    ASSERT_EQ(DecodeWithWic(TestDataPath(L"png\\rgb.png").c_str(), picture), NR_OK);
    EXPECT_EQ(picture.dpiX, 96);
}

TEST(WicReader, LeavesTheTargetAloneWhenNoDecoderTakesTheFile)
{
    TestDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File(L"plain.txt"), "this is no picture at all", 25));
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(5, 4, 24, 0x00123456));
    EXPECT_EQ(DecodeWithWic(dir.File(L"plain.txt").c_str(), picture), NR_COMPRESSION_NOT_SUPPORTED);
    EXPECT_EQ(DecodeWithWic(dir.File(L"missing.png").c_str(), picture), NR_COMPRESSION_NOT_SUPPORTED);
    ASSERT_TRUE(picture.valid);
    EXPECT_EQ(picture.width, 5);
    EXPECT_EQ(Pixel(picture, 0, 0)[0], 0x12);
}

TEST(WicReader, KnowsWhichExtensionsItsDecodersTake)
{
    EXPECT_TRUE(WicHasDecoderFor(L".png"));
    EXPECT_TRUE(WicHasDecoderFor(L".BMP")) << "compared without regard to case";
    EXPECT_FALSE(WicHasDecoderFor(L".pn")) << "whole extensions only";
    EXPECT_FALSE(WicHasDecoderFor(L".nosuchpicture"));
    EXPECT_FALSE(WicHasDecoderFor(L""));
    EXPECT_FALSE(WicHasDecoderFor(nullptr));
}

TEST(HeicFormat, RecognisesTheFourBrandsOnly)
{
    struct Case { const char* brand; bool heic; };
    for (const Case& c : {Case{"heic", true}, Case{"heis", true}, Case{"mif1", true}, Case{"msf1", true},
                          Case{"avif", false}, Case{"mp41", false}, Case{"HEIC", false}}) {
        const Bytes bytes = FakeHeif(c.brand);
        EXPECT_EQ(NImageFileHEIC::IsFormat(bytes.data(), 0, bytes.size()), c.heic) << c.brand;
    }
    const Bytes bytes = FakeHeif("heic");
    EXPECT_TRUE(NImageFileHEIC::IsFormat(bytes.data(), 0, 13));
    EXPECT_FALSE(NImageFileHEIC::IsFormat(bytes.data(), 0, 12));
    Bytes noBox = bytes;
    noBox[5] = 'T';
    EXPECT_FALSE(NImageFileHEIC::IsFormat(noBox.data(), 0, noBox.size()));
}

TEST(HeicFormat, WithoutAHeifCodecAnswers203AndLeavesTheTarget)
{
    TestDir dir;
    const Bytes bytes = FakeHeif("heic");
    ASSERT_TRUE(WriteWholeFile(dir.File(L"photo.heic"), bytes));
    NImageFileHEIC file;
    NImageBuffer target;
    ASSERT_TRUE(target.Create(3, 3, 24, 0x00FFFFFF));
    EXPECT_EQ(file.Load(dir.File(L"photo.heic").c_str(), 0, 1, &target), NR_COMPRESSION_NOT_SUPPORTED);
    EXPECT_TRUE(target.valid);
    EXPECT_EQ(target.width, 3);
    EXPECT_EQ(file.GetConsumedSize(), bytes.size());
    EXPECT_STREQ(file.GetFileName(), dir.File(L"photo.heic").c_str());

    // Through the factory the answer is passed on as it is.
    NImageFile* loaded = nullptr;
    ImageLoadOptions options;
    EXPECT_EQ(LoadImageFile(&loaded, dir.File(L"photo.heic").c_str(), 0, 1, &options, 0), NR_COMPRESSION_NOT_SUPPORTED);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetFormatId(), FT_HEIC);
    delete loaded;
}

TEST(HeicFormat, RefusesOtherFilesAndSaving)
{
    TestDir dir;
    const Bytes avif = FakeHeif("avif");
    ASSERT_TRUE(WriteWholeFile(dir.File(L"a.heic"), avif));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"short.heic"), avif.data(), 12));
    NImageFileHEIC file;
    EXPECT_EQ(file.Load(dir.File(L"a.heic").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(file.Load(dir.File(L"short.heic").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(file.Load(TestDataPath(L"png\\rgb.png").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(file.Load(dir.File(L"missing.heic").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
    EXPECT_EQ(file.Load(nullptr, 0, 0, nullptr), NR_FILE_OPEN_READ);

    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(2, 2, 24, 0));
    EXPECT_EQ(file.Save(dir.File(L"out.heic").c_str(), &picture, nullptr), NR_FORMAT_NOT_SUPPORTED);
    EXPECT_EQ(file.SaveFrom(dir.File(L"out.heic").c_str(), &file), NR_FORMAT_NOT_SUPPORTED);
    EXPECT_FALSE(FileExists(dir.File(L"out.heic")));
}

}  // namespace
