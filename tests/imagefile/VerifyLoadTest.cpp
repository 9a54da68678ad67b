// A load for verification only (ImageLoadOptions::verifyOnly) may decode less, but answers as a
// full load does: the same result, the same consumed size and the same full picture size, for
// whole files and for damaged ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zlib.h>

#include "PngTestSupport.h"
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
    L"gif\\single.gif",          L"gif\\single16.gif",     L"gif\\single-interlaced.gif", L"gif\\anim3.gif",
    L"gif\\anim-local.gif",
    L"hdr\\small.hdr",           L"hdr\\small-flat.hdr",   L"hdr\\small-flipped.hdr", L"hdr\\small-xmajor.hdr",
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

namespace {

// A grey PNG whose rows have filter type 0 except the row `badRow`, which has a type no filter
// has; its CRCs are right.
Bytes PngWithBadFilter(uint32_t width, uint32_t height, uint32_t badRow)
{
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(y == badRow ? 7 : 0);
        for (uint32_t x = 0; x < width; ++x)
            raw.push_back(static_cast<unsigned char>((x * 7 + y * 3) & 0xFF));
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes deflated(size);
    compress(deflated.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    deflated.resize(size);
    Bytes png = pngtest::Signature();
    for (const Bytes& chunk : {pngtest::Ihdr(width, height, 8, 0), pngtest::Chunk("IDAT", deflated), pngtest::Chunk("IEND", {})})
        png.insert(png.end(), chunk.begin(), chunk.end());
    return png;
}

}  // namespace

TEST(VerifyLoad, ALargePngIsInflatedInPartAndItsCrcsVouchForTheRest)
{
    TestDir dir;
    const std::wstring path = dir.File(L"candidate.png");
    struct Case {
        const char* name;
        Bytes bytes;
        bool verified;   // the verification keeps it (a full load refuses every one of them)
    };
    const Bytes late = PngWithBadFilter(1024, 512, 400);   // the bad row lies past 256 KiB of rows
    Bytes lateSpoilt = late;
    lateSpoilt[lateSpoilt.size() - 40] ^= 0x01;            // image data, CRC not made right
    const Case cases[] = {
        {"a bad filter in the rows the CRCs vouch for", late, true},
        {"a changed byte the CRC finds", lateSpoilt, false},
        {"a bad filter in the rows inflated", PngWithBadFilter(1024, 512, 100), false},
        {"a bad filter in a small picture", PngWithBadFilter(64, 64, 40), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        EXPECT_NE(NR_OK, LoadAs(path, false).result);
        const Answer verified = LoadAs(path, true);
        EXPECT_EQ(c.verified, verified.result == NR_OK);
        if (c.verified) {
            EXPECT_EQ(c.bytes.size(), verified.consumed);
            EXPECT_EQ(1024, verified.width);
            EXPECT_EQ(512, verified.height);
        }
    }
}
