// A load for verification only (ImageLoadOptions::verifyOnly) may decode less, but answers as a
// full load does: the same result, the same consumed size and the same full picture size, for
// whole files and for damaged ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/NImageFile.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Answer {
    NRESULT result = NR_OK;
    uint64_t consumed = 0;
    int width = 0;
    int height = 0;
};

Answer LoadAs(const std::wstring& path, bool verifyOnly)
{
    ImageLoadOptions options;
    options.verifyOnly = verifyOnly ? 1 : 0;
    NImageFile* file = nullptr;
    Answer answer;
    answer.result = LoadImageFile(&file, path.c_str(), 0, 1, &options, 0);
    if (file) {
        answer.consumed = file->GetConsumedSize();
        answer.width = file->fullWidth;
        answer.height = file->fullHeight;
        if (!verifyOnly && answer.result == NR_OK && file->picture.valid) {
            // A full load's full size is its picture's.
            EXPECT_EQ(file->picture.width, answer.width);
            EXPECT_EQ(file->picture.height, answer.height);
        }
        delete file;
    }
    return answer;
}

const wchar_t* const kFixtures[] = {
    L"jpeg\\rgb-gradient.jpg", L"jpeg\\progressive.jpg", L"jpeg\\grey.jpg",     L"jpeg\\cmyk-icc.jpg",
    L"jpeg\\rose-arithmetic.jpg", L"jpeg\\rose-restart.jpg", L"jpeg\\exif-thumbnail.jpg",
    L"jp2\\rgb.j2k",           L"jp2\\rgb.jp2",           L"jp2\\ycc420.j2k",  L"jp2\\greya.jp2",
    L"jp2\\lossy.jp2",         L"jp2\\grey12.j2k",        L"jp2\\rgba.jp2",
    L"png\\rgb.png",           L"png\\rgba16.png",        L"png\\grey16.png", L"png\\greya.png",
    L"png\\palette4.png",      L"png\\palette-trns.png",  L"png\\grey2.png",  L"png\\grey2-interlaced.png",
    L"png\\rgb-interlaced.png", L"png\\rgb-trns.png",     L"png\\anim3.png",
    L"tiff\\rgb-le.tif",        L"tiff\\rgb-be-lzw.tif",   L"tiff\\rgb-jpeg.tif", L"tiff\\rgb-zip-predictor.tif",
    L"tiff\\rgba.tif",          L"tiff\\cmyk.tif",         L"tiff\\lab.tif",    L"tiff\\pages10.tif",
    L"tiff\\rgb-packbits.tif",  L"tiff\\grey16.tif",
    L"mng\\single.mng",         L"mng\\anim3.mng",         L"mng\\colour.jng",  L"mng\\alpha.jng",
    L"mng\\grey.jng",
    L"webp\\lossy.webp",        L"webp\\lossless.webp",    L"webp\\lossy-alpha.webp", L"webp\\lossless-alpha.webp",
    L"webp\\anim.webp",
    L"bmp\\v3-1.bmp",           L"bmp\\v3-4.bmp",          L"bmp\\v3-8.bmp",    L"bmp\\v3-24.bmp",
    L"bmp\\v5-32.bmp",          L"bmp\\v5-555.bmp",        L"bmp\\v5-565.bmp",  L"bmp\\os2-8.bmp",
    L"bmp\\rle8.bmp",
};

}  // namespace

TEST(VerifyLoad, AnswersAsAFullLoadForWholeAndDamagedFiles)
{
    TestDir dir;
    for (const wchar_t* name : kFixtures) {
        const std::wstring fixture = name;
        SCOPED_TRACE(std::string(fixture.begin(), fixture.end()));
        Bytes bytes;
        ASSERT_TRUE(ReadWholeFile(TestDataPath(fixture), bytes));
        const std::wstring extension = fixture.substr(fixture.rfind(L'.'));
        // The file itself, followed by noise, cut in the middle and with bytes of its data spoilt.
        std::vector<Bytes> variants = {bytes};
        Bytes noisy = bytes;
        for (int i = 0; i < 3000; ++i)
            noisy.push_back(static_cast<unsigned char>(i * 37 + 11));
        variants.push_back(noisy);
        variants.emplace_back(bytes.begin(), bytes.begin() + bytes.size() / 2);
        Bytes spoilt = bytes;
        for (size_t at = bytes.size() / 3; at < bytes.size(); at += 97)
            spoilt[at] ^= 0x5A;
        variants.push_back(spoilt);
        for (size_t v = 0; v < variants.size(); ++v) {
            SCOPED_TRACE(v);
            const std::wstring path = dir.File(L"candidate" + extension);
            ASSERT_TRUE(WriteWholeFile(path, variants[v]));
            const Answer full = LoadAs(path, false);
            const Answer verified = LoadAs(path, true);
            EXPECT_EQ(full.result, verified.result);
            if (full.result == NR_OK) {
                EXPECT_EQ(full.consumed, verified.consumed);
                EXPECT_EQ(full.width, verified.width);
                EXPECT_EQ(full.height, verified.height);
            }
        }
    }
}
