// The WebP format class: still files (lossy, lossless, with and without alpha) and the first
// frame of animations with their pixels; the whole file as the consumed size of a carved
// candidate; damaged and foreign files answered without a crash; writing lossless and lossy
// files, converting low depths and leaving the caller's picture as it was.
#include "imagefile/formats/NImageFileWEBP.h"

#include "imagefile/ImageFactory.h"
#include "WebpJp2Support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using webpjp2::Bytes;

namespace {

class WebpTest : public ::testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const Bytes& bytes)
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }
    static Bytes Fixture(const std::wstring& name) { return webpjp2::Fixture(L"webp\\" + name); }

    TestDir dir;
};

struct LoadCase {
    const wchar_t* file;
    const wchar_t* reference;
    int channels;       // of the reference
    int bitsPerPixel;   // of the loaded picture
};

const LoadCase kLoadCases[] = {
    {L"lossless.webp", L"lossless.rgb", 3, 24},
    {L"lossless-alpha.webp", L"lossless-alpha.rgba", 4, 32},
    {L"lossy.webp", L"lossy.rgb", 3, 24},             // reference: dwebp of the same libwebp
    {L"lossy-alpha.webp", L"lossy-alpha.rgba", 4, 32},
    {L"anim.webp", L"anim.rgb", 3, 24},               // the first of three frames
};

TEST_F(WebpTest, FilesLoadWithTheirPixels)
{
    for (const LoadCase& c : kLoadCases) {
        SCOPED_TRACE(webpjp2::Narrow(c.file));
        const std::wstring path = TestDataPath(std::wstring(L"webp\\") + c.file);
        NImageFileWEBP webp;
        ASSERT_EQ(NR_OK, webp.Load(path.c_str(), 0, 0, nullptr));
        EXPECT_EQ(24, webp.picture.width);
        EXPECT_EQ(16, webp.picture.height);
        EXPECT_EQ(c.bitsPerPixel, webp.picture.bpp);
        EXPECT_EQ(0, webpjp2::MaxDifference(webp.picture, Fixture(c.reference), c.channels));
        EXPECT_EQ(24, webp.fullWidth);
        EXPECT_EQ(16, webp.fullHeight);
        EXPECT_EQ(Fixture(c.file).size(), webp.GetConsumedSize());
        EXPECT_STREQ(path.c_str(), webp.GetFileName());
        EXPECT_EQ(FT_WEBP, webp.GetFormatId());
        EXPECT_FALSE(webp.IsMultiImage());

        // Into a caller's picture, which is replaced whatever it held.
        NImageBuffer target;
        ASSERT_TRUE(target.Create(3, 3, 8, 0));
        NImageFileWEBP other;
        ASSERT_EQ(NR_OK, other.Load(path.c_str(), 1, 1, &target));
        EXPECT_EQ(0, webpjp2::MaxDifference(target, Fixture(c.reference), c.channels));
        EXPECT_FALSE(other.picture.valid);
    }
}

TEST_F(WebpTest, CarvedCandidateEndsWithItsRiffContainer)
{
    for (const wchar_t* name : {L"lossy.webp", L"lossless-alpha.webp", L"anim.webp"}) {
        SCOPED_TRACE(webpjp2::Narrow(name));
        const Bytes picture = Fixture(name);
        const Bytes carved = webpjp2::Joined(picture, webpjp2::Garbage(5000));
        const std::wstring path = Write(L"VSTScan0001.webp", carved);
        NImageFile* object = nullptr;
        ASSERT_EQ(NR_OK, LoadImageFile(&object, path.c_str(), 0, 1, nullptr, 0));
        std::unique_ptr<NImageFile> owner(object);
        EXPECT_EQ(FT_WEBP, object->GetFormatId());
        EXPECT_EQ(picture.size(), object->GetConsumedSize());
        EXPECT_EQ(24, object->picture.width);
    }
}

TEST_F(WebpTest, DamagedAndForeignFilesAnswerErrors)
{
    // Not WebP (also no file at all): 204 or 103, never 200, so the factory does not go on.
    NImageFileWEBP webp;
    EXPECT_EQ(NR_FILE_OPEN_READ, webp.Load(dir.File(L"missing.webp").c_str(), 0, 0, nullptr));
    EXPECT_EQ(NR_INVALID_DATA, webp.Load(Write(L"empty.webp", {}).c_str(), 0, 0, nullptr));
    EXPECT_EQ(NR_INVALID_DATA, webp.Load(Write(L"png.webp", pngtest::ReadFixture(L"png\\rgb.png")).c_str(), 0, 0, nullptr));
    Bytes wrongChunk = Fixture(L"lossy.webp");
    memcpy(&wrongChunk[12], "ALPH", 4);
    EXPECT_EQ(NR_INVALID_DATA, webp.Load(Write(L"chunk.webp", wrongChunk).c_str(), 0, 0, nullptr));

    // An animation canvas of 40000 x 40000 pixels: more than a picture can hold, refused from
    // the header.
    Bytes hugeCanvas = Fixture(L"anim.webp");
    ASSERT_EQ(0, memcmp(&hugeCanvas[12], "VP8X", 4));
    for (size_t at : {size_t{24}, size_t{27}}) {
        hugeCanvas[at] = (40000 - 1) & 0xFF;
        hugeCanvas[at + 1] = (40000 - 1) >> 8;
        hugeCanvas[at + 2] = 0;
    }
    NImageFileWEBP huge;
    EXPECT_EQ(NR_PICTURE_CREATE_FAILED, huge.Load(Write(L"huge.webp", hugeCanvas).c_str(), 0, 0, nullptr));
    EXPECT_FALSE(huge.picture.valid);

    // Cut copies and damaged headers: an error (or, where the decoder manages, a picture).
    for (const LoadCase& c : kLoadCases) {
        const Bytes whole = Fixture(c.file);
        for (size_t cut : {size_t{15}, size_t{16}, size_t{24}, size_t{40}, whole.size() / 2, whole.size() - 1}) {
            SCOPED_TRACE(webpjp2::Narrow(c.file) + " cut at " + std::to_string(cut));
            const std::wstring path = Write(L"cut.webp", Bytes(whole.begin(), whole.begin() + cut));
            NImageFileWEBP cutFile;
            const NRESULT result = cutFile.Load(path.c_str(), 0, 0, nullptr);
            EXPECT_TRUE(result == NR_INVALID_DATA || result == NR_DECODE_FAILED) << result;
            EXPECT_EQ(cut, cutFile.GetConsumedSize());
            EXPECT_FALSE(cutFile.picture.valid);
        }
        Bytes damaged = whole;
        for (size_t i = 20; i < damaged.size(); i += 7)
            damaged[i] ^= 0x5A;
        NImageFileWEBP damagedFile;
        const NRESULT result = damagedFile.Load(Write(L"damaged.webp", damaged).c_str(), 0, 0, nullptr);
        EXPECT_TRUE(result == NR_OK || result == NR_INVALID_DATA || result == NR_DECODE_FAILED) << result;
        EXPECT_EQ(result == NR_OK, damagedFile.picture.valid);
    }
}

// The 24- or 32-bit test picture of a fixture.
void LoadFixture(const wchar_t* name, NImageBuffer& out)
{
    NImageFileWEBP webp;
    ASSERT_EQ(NR_OK, webp.Load(TestDataPath(std::wstring(L"webp\\") + name).c_str(), 0, 0, &out));
}

TEST_F(WebpTest, DefaultSaveIsLosslessAndLeavesThePictureAlone)
{
    for (const wchar_t* name : {L"lossless.webp", L"lossless-alpha.webp"}) {
        SCOPED_TRACE(webpjp2::Narrow(name));
        NImageBuffer source;
        LoadFixture(name, source);
        const Bytes before(source.bits, source.bits + static_cast<size_t>(source.stride) * source.height);

        NImageFileWEBP writer;
        const std::wstring path = dir.File(L"saved.webp");
        ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &source, nullptr));
        EXPECT_TRUE(Bytes(source.bits, source.bits + before.size()) == before);

        Bytes written;
        ASSERT_TRUE(ReadWholeFile(path, written));
        ASSERT_GE(written.size(), 16u);
        EXPECT_EQ(0, memcmp(&written[12], "VP8L", 4));

        NImageFileWEBP reader;
        ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
        ASSERT_EQ(source.bpp, reader.picture.bpp);
        for (int line = 0; line < source.height; ++line)
            ASSERT_EQ(0, memcmp(source.bits + line * source.stride, reader.picture.bits + line * reader.picture.stride,
                                static_cast<size_t>(source.width) * source.bpp / 8))
                << "scan line " << line;
    }
}

TEST_F(WebpTest, LossySaveFollowsTheQuality)
{
    // A 48 x 32 picture of smooth gradients with some texture.
    NImageBuffer source;
    ASSERT_TRUE(source.Create(48, 32, 24, 0));
    for (int line = 0; line < 32; ++line)
        for (int x = 0; x < 48; ++x) {
            uint8_t* p = source.bits + static_cast<size_t>(line) * source.stride + x * 3;
            p[0] = static_cast<uint8_t>(x * 4 + (x * line) % 7);
            p[1] = static_cast<uint8_t>(line * 6);
            p[2] = static_cast<uint8_t>(100 + x + line);
        }
    std::vector<size_t> sizes;
    for (int quality : {10, 85}) {
        NImageFileWEBP writer;
        writer.saveOptions.webpLossless = 0;
        writer.saveOptions.webpQuality = quality;
        const std::wstring path = dir.File(L"lossy" + std::to_wstring(quality) + L".webp");
        ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &source, nullptr));
        Bytes written;
        ASSERT_TRUE(ReadWholeFile(path, written));
        EXPECT_EQ(0, memcmp(&written[12], "VP8 ", 4));
        sizes.push_back(written.size());

        NImageFileWEBP reader;
        ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
        ASSERT_EQ(24, reader.picture.bpp);
        if (quality == 85) {
            int worst = 0;
            for (int line = 0; line < 32; ++line)
                for (int i = 0; i < 48 * 3; ++i)
                    worst = std::max(worst, std::abs(source.bits[line * source.stride + i] -
                                                     reader.picture.bits[line * reader.picture.stride + i]));
            EXPECT_LE(worst, 24);
        }
    }
    EXPECT_LT(sizes[0], sizes[1]);
}

TEST_F(WebpTest, LowDepthsAreWrittenAsTwentyFourBits)
{
    // An 8-bit palette picture: four palette colours in bands.
    const uint8_t palette[256 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250};
    NImageBuffer source;
    ASSERT_TRUE(source.Create(10, 6, 8, 0, palette));
    for (int line = 0; line < 6; ++line)
        for (int x = 0; x < 10; ++x)
            source.bits[line * source.stride + x] = static_cast<uint8_t>((x / 3) % 4);
    NImageFileWEBP writer;
    const std::wstring path = dir.File(L"palette.webp");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &source, nullptr));
    NImageFileWEBP reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_EQ(24, reader.picture.bpp);
    for (int x = 0; x < 10; ++x) {
        uint8_t got[4];
        pngtest::PixelRgba(reader.picture, x, 2, got);
        const uint8_t* want = &palette[((x / 3) % 4) * 3];
        EXPECT_EQ(0, memcmp(got, want, 3)) << x;
    }
}

TEST_F(WebpTest, SaveFailures)
{
    NImageFileWEBP writer;
    NImageBuffer empty;
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.Save(dir.File(L"none.webp").c_str(), &empty, nullptr));
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.Save(dir.File(L"none.webp").c_str(), nullptr, nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"none.webp")));

    NImageBuffer source;
    LoadFixture(L"lossy.webp", source);
    EXPECT_EQ(NR_FILE_OPEN_WRITE, writer.Save(dir.File(L"no\\such\\folder.webp").c_str(), &source, nullptr));
    // A quality the encoder refuses gives no output.
    writer.saveOptions.webpLossless = 0;
    writer.saveOptions.webpQuality = 1000;
    EXPECT_EQ(NR_ENCODE_FAILED, writer.Save(dir.File(L"bad.webp").c_str(), &source, nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"bad.webp")));
}

}  // namespace
