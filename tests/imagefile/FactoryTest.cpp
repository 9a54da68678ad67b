// The load and save factories: the order in which a load tries the extension's class, detection
// and the embedded-JPEG fallback, the opaque-alpha rule, what the caller receives, the save
// factory's writers, and pictures loaded from resources.
#include "imagefile/ImageFactory.h"

#include "base/TestResourceModule.h"
#include "common/TestFiles.h"
#include "imagefile/FormatDetect.h"
#include "imagefile/NImageFile.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "JpegTestCodec.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using jpegtest::Bytes;

namespace {

// ---- A stand-in format for the search order ----

enum class Alpha { None, Zero, Some };

struct FakeBehaviour {
    NRESULT answer = NR_NOT_THIS_FORMAT;
    Alpha alpha = Alpha::None;   // with answer 0: the picture made
};

std::map<FileType, FakeBehaviour> g_fakes;
std::vector<FileType> g_loads;
int g_destroyed = 0;

class FakeFormat : public NImageFile {
public:
    explicit FakeFormat(FileType id) : id_(id) {}
    ~FakeFormat() override { ++g_destroyed; }
    NRESULT Load(const wchar_t*, uint8_t, uint8_t, NImageBuffer* target) override
    {
        g_loads.push_back(id_);
        const FakeBehaviour& b = g_fakes[id_];
        if (b.answer == NR_OK && b.alpha != Alpha::None) {
            NImageBuffer& p = target ? *target : picture;
            p.Create(4, 4, 32, 0);
            std::memset(p.bits, 0x40, static_cast<size_t>(p.stride) * p.height);
            for (int i = 0; i < 16; ++i)
                p.bits[4 * i + 3] = 0;
            if (b.alpha == Alpha::Some)
                p.bits[3] = 1;
        }
        return b.answer;
    }
    FileType GetFormatId() const override { return id_; }

private:
    FileType id_;
};

NImageFile* MakeFake(FileType id)
{
    return g_fakes.count(id) ? new FakeFormat(id) : nullptr;
}

class FactoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fakes.clear();
        g_loads.clear();
        g_destroyed = 0;
    }
    std::wstring Write(const std::wstring& name, const Bytes& bytes)
    {
        const std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    // A BMP header: detection answers 2 for it.
    Bytes BmpLooking() const
    {
        Bytes bytes(64, 0);
        bytes[0] = 'B';
        bytes[1] = 'M';
        bytes[14] = 40;
        return bytes;
    }
    TestDir dir;
};

using Owned = std::unique_ptr<NImageFile>;

TEST_F(FactoryTest, ExtensionThenDetectionThenFallbackAndNoIdTwice)
{
    g_fakes[FT_TGA] = {};
    g_fakes[FT_BMP] = {};
    struct Case {
        const wchar_t* name;
        FileType id;
        std::vector<FileType> loads;
    };
    const Case cases[] = {
        {L"a.tga", 0, {FT_TGA, FT_BMP}},   // the extension's class, then the detected one
        {L"a.bmp", 0, {FT_BMP}},           // detection names the class already tried
        {L"a.bmp", FT_AUDIO, {FT_BMP}},    // an id without a class goes straight to detection
        {L"a.bmp", FT_TGA, {FT_TGA, FT_BMP}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = Write(c.name, BmpLooking());
        ASSERT_EQ(FT_BMP, DetectFormatFromFile(path.c_str()));
        g_loads.clear();
        NImageFile* out = nullptr;
        EXPECT_EQ(NR_NOT_THIS_FORMAT, LoadImageFileWith(MakeFake, &out, path.c_str(), 0, 0, nullptr, c.id));
        Owned owned(out);
        EXPECT_EQ(c.loads, g_loads);
        ASSERT_NE(nullptr, out);
        EXPECT_EQ(0, out->GetFormatId());   // the fallback's empty holder
        EXPECT_FALSE(out->picture.valid);
    }
}

TEST_F(FactoryTest, AnyAnswerButNotThisFormatEndsTheSearch)
{
    g_fakes[FT_TGA] = {NR_DECODE_FAILED, Alpha::None};
    g_fakes[FT_BMP] = {};
    const std::wstring path = Write(L"a.tga", BmpLooking());
    NImageFile* out = nullptr;
    EXPECT_EQ(NR_DECODE_FAILED, LoadImageFileWith(MakeFake, &out, path.c_str(), 0, 0, nullptr, 0));
    Owned owned(out);
    EXPECT_EQ(std::vector<FileType>{FT_TGA}, g_loads);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(FT_TGA, out->GetFormatId());   // the caller gets the object also on error
}

TEST_F(FactoryTest, ThirtyTwoBitPictureWithoutAlphaBecomesOpaque24Bit)
{
    const std::wstring path = Write(L"a.tga", BmpLooking());
    for (Alpha alpha : {Alpha::Zero, Alpha::Some}) {
        g_fakes[FT_TGA] = {NR_OK, alpha};
        const int expectedBpp = alpha == Alpha::Zero ? 24 : 32;

        NImageFile* out = nullptr;
        ASSERT_EQ(NR_OK, LoadImageFileWith(MakeFake, &out, path.c_str(), 0, 0, nullptr, 0));
        Owned owned(out);
        EXPECT_EQ(expectedBpp, out->picture.bpp);

        g_destroyed = 0;
        NImageBuffer target;
        ASSERT_EQ(NR_OK, LoadImageIntoBitmapWith(MakeFake, target, path.c_str(), 0, 0, nullptr, 0));
        EXPECT_EQ(expectedBpp, target.bpp);
        EXPECT_EQ(1, g_destroyed);
        if (alpha == Alpha::Zero) {
            EXPECT_EQ(0x40, target.bits[0]);
        }
    }
}

// An animated PNG whose first frame is fully transparent: the strip keeps all its frames at 32 bpp
// (the empty-alpha rule sees one frame only). Loaded quick, only the default image comes back and
// the rule applies to it.
TEST_F(FactoryTest, FrameStripWithTransparentFirstFrameKeepsItsFramesAndAlpha)
{
    pngtest::ApngBuilder b(3, 2);
    b.Actl(2);
    b.Fctl(3, 2, 0, 0, 1, 10, 0, 0);
    b.Idat(b.Solid(3, 2, {10, 20, 30, 0}), 3);
    b.Fctl(3, 2, 0, 0, 1, 10, 0, 0);
    b.Fdat(b.Solid(3, 2, {200, 100, 50, 255}), 3);
    b.Iend();
    const std::wstring path = Write(L"strip.png", b.out);

    auto checkStrip = [](const NImageBuffer& pic) {
        ASSERT_TRUE(pic.valid);
        EXPECT_EQ(32, pic.bpp);
        EXPECT_EQ(3, pic.width);
        EXPECT_EQ(2, pic.height);
        uint8_t rgba[4];
        pngtest::PixelRgba(pic, 2, 1, rgba, 0);
        EXPECT_EQ(0, rgba[3]);
        pngtest::PixelRgba(pic, 2, 1, rgba, 1);
        EXPECT_EQ((std::vector<uint8_t>{200, 100, 50, 255}), std::vector<uint8_t>(rgba, rgba + 4));
    };

    NImageFile* out = nullptr;
    ASSERT_EQ(NR_OK, LoadImageFile(&out, path.c_str(), 0, 0, nullptr, 0));
    Owned owned(out);
    EXPECT_EQ(2, out->GetPageCount());
    checkStrip(out->picture);

    NImageBuffer target;
    ASSERT_EQ(NR_OK, LoadImageIntoBitmap(target, path.c_str(), 0, 0, nullptr, 0));
    checkStrip(target);

    NImageBuffer single;
    ASSERT_EQ(NR_OK, LoadImageIntoBitmap(single, path.c_str(), 0, 1, nullptr, 0));
    EXPECT_EQ(24, single.bpp);
    EXPECT_EQ(2, single.height);
}

TEST_F(FactoryTest, IntoBitmapDestroysEveryObjectAndLeavesTheTargetWhenNothingDecodes)
{
    g_fakes[FT_TGA] = {};
    g_fakes[FT_BMP] = {};
    const std::wstring path = Write(L"a.tga", BmpLooking());
    NImageBuffer target;
    ASSERT_TRUE(target.Create(3, 5, 24, 0x123456));
    EXPECT_EQ(NR_NOT_THIS_FORMAT, LoadImageIntoBitmapWith(MakeFake, target, path.c_str(), 0, 0, nullptr, 0));
    EXPECT_EQ(2, g_destroyed);
    EXPECT_EQ(3, target.width);
    EXPECT_EQ(5, target.height);
}

TEST_F(FactoryTest, NullPathAnswers100AndStoresNothing)
{
    NImageFile* sentinel = reinterpret_cast<NImageFile*>(0x1234);
    NImageFile* out = sentinel;
    EXPECT_EQ(NR_FILE_NOT_FOUND, LoadImageFile(&out, nullptr, 0, 0, nullptr, 0));
    EXPECT_EQ(sentinel, out);
    NImageBuffer target;
    EXPECT_EQ(NR_FILE_NOT_FOUND, LoadImageIntoBitmap(target, nullptr, 0, 0, nullptr, 0));
    EXPECT_EQ(NR_FILE_NOT_FOUND, SaveImageFile(&target, nullptr, FT_JPG, nullptr));
    EXPECT_EQ(NR_FILE_NOT_FOUND, SaveImageFileFrom(nullptr, dir.File(L"x.jpg").c_str(), 0, nullptr));
}

// ---- With the real classes ----

Bytes SmallJpeg(int width = 40, int height = 30)
{
    jpegtest::EncodeSpec spec;
    spec.width = width;
    spec.height = height;
    return jpegtest::Encode(spec);
}

TEST_F(FactoryTest, JpegUnderAnotherNameIsFoundByContent)
{
    struct Case {
        const wchar_t* name;
        FileType id;
    };
    const Case cases[] = {{L"photo.xyz", 0}, {L"track.mp3", 0}, {L"photo.dat", FT_AUDIO}, {L"photo.jpeg", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = Write(c.name, SmallJpeg());
        NImageFile* out = nullptr;
        ASSERT_EQ(NR_OK, LoadImageFile(&out, path.c_str(), 0, 1, nullptr, c.id));
        Owned owned(out);
        EXPECT_EQ(FT_JPG, out->GetFormatId());
        EXPECT_EQ(40, out->picture.width);
        EXPECT_EQ(SmallJpeg().size(), out->GetConsumedSize());
    }
}

TEST_F(FactoryTest, HiddenJpegIsRecoveredIntoAGenericHolder)
{
    Bytes file(5000, 'x');
    const Bytes jpeg = SmallJpeg();
    file.insert(file.end(), jpeg.begin(), jpeg.end());
    struct Case {
        const wchar_t* name;
        FileType holderId;
    };
    // An unknown extension gives id 0; a ".jpg" name makes the JPEG class refuse the start of the
    // file first, and the holder takes the extension's id.
    const Case cases[] = {{L"camera.xyz", 0}, {L"camera.jpg", FT_JPG}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = Write(c.name, file);
        ASSERT_EQ(0, DetectFormatFromFile(path.c_str()));
        NImageFile* out = nullptr;
        ASSERT_EQ(NR_OK, LoadImageFile(&out, path.c_str(), 0, 1, nullptr, 0));
        Owned owned(out);
        EXPECT_EQ(c.holderId, out->GetFormatId());
        EXPECT_EQ(0u, out->GetConsumedSize());
        EXPECT_EQ(40, out->picture.width);
        EXPECT_EQ(30, out->picture.height);
        EXPECT_STREQ(path.c_str(), out->GetFileName());

        NImageBuffer target;
        EXPECT_EQ(NR_OK, LoadImageIntoBitmap(target, path.c_str(), 0, 1, nullptr, 0));
        EXPECT_EQ(30, target.height);
    }
}

TEST_F(FactoryTest, NothingToDecodeGivesAnEmptyHolder)
{
    const std::wstring path = Write(L"notes.xyz", jpegtest::Text("Just some words, no picture at all."));
    NImageFile* out = nullptr;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, LoadImageFile(&out, path.c_str(), 0, 0, nullptr, 0));
    Owned owned(out);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(0, out->GetFormatId());
    EXPECT_FALSE(out->picture.valid);

    NImageBuffer target;
    EXPECT_EQ(NR_NOT_THIS_FORMAT, LoadImageIntoBitmap(target, path.c_str(), 0, 0, nullptr, 0));
    EXPECT_FALSE(target.valid);
}

TEST_F(FactoryTest, LoadOptionsReachTheClass)
{
    const std::wstring path = Write(L"big.jpg", SmallJpeg(4004, 4004));
    ImageLoadOptions options;
    options.shrinkLargePictures = 1;
    NImageBuffer target;
    ASSERT_EQ(NR_OK, LoadImageIntoBitmap(target, path.c_str(), 0, 0, &options, 0));
    EXPECT_EQ(1001, target.width);
}

// ---- Saving ----

TEST_F(FactoryTest, SaveChoosesTheWriterByIdOrExtension)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(16, 16, 24, 0x3366CC));
    EXPECT_EQ(NR_NO_WRITER, SaveImageFile(&picture, dir.File(L"out.xyz").c_str(), 0, nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"out.xyz")));
    EXPECT_EQ(NR_NO_WRITER, SaveImageFile(&picture, dir.File(L"out.hdr").c_str(), FT_HDR, nullptr));
    EXPECT_EQ(NR_NO_WRITER, SaveImageFile(&picture, dir.File(L"out.jpg").c_str(), 61, nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"out.jpg")));

    ASSERT_EQ(NR_OK, SaveImageFile(&picture, dir.File(L"out.jpg").c_str(), 0, nullptr));
    ASSERT_EQ(NR_OK, SaveImageFile(&picture, dir.File(L"named.bin").c_str(), FT_JPG, nullptr));
    NImageFile* out = nullptr;
    ASSERT_EQ(NR_OK, LoadImageFile(&out, dir.File(L"named.bin").c_str(), 0, 0, nullptr, FT_JPG));
    Owned owned(out);
    EXPECT_EQ(16, out->picture.width);

    // The options reach the writer.
    NImageBuffer detailed;
    ASSERT_TRUE(detailed.Create(64, 64, 24, 0));
    for (int i = 0; i < detailed.stride * 64; ++i)
        detailed.bits[i] = static_cast<uint8_t>(i * 37);
    ImageSaveOptions low;
    low.jpegQuality = 10;
    ASSERT_EQ(NR_OK, SaveImageFile(&detailed, dir.File(L"low.jpg").c_str(), 0, &low));
    ASSERT_EQ(NR_OK, SaveImageFile(&detailed, dir.File(L"default.jpg").c_str(), 0, nullptr));
    Bytes lowBytes;
    Bytes defaultBytes;
    ReadWholeFile(dir.File(L"low.jpg"), lowBytes);
    ReadWholeFile(dir.File(L"default.jpg"), defaultBytes);
    EXPECT_LT(lowBytes.size(), defaultBytes.size());
}

TEST_F(FactoryTest, SaveFromWithoutIdWritesTheSourcesOwnFormatAndMetadata)
{
    const std::wstring source = Write(L"source.jpg", SmallJpeg());
    NImageFile* loaded = nullptr;
    ASSERT_EQ(NR_OK, LoadImageFile(&loaded, source.c_str(), 0, 0, nullptr, 0));
    Owned owned(loaded);
    loaded->metadata.comment = L"Kept through the source";
    const std::wstring copy = dir.File(L"copy.bin");
    ASSERT_EQ(NR_OK, SaveImageFileFrom(loaded, copy.c_str(), 0, nullptr));
    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(copy.c_str(), 0, 0, nullptr));
    EXPECT_STREQ(L"Kept through the source", reader.metadata.comment.c_str());
    EXPECT_EQ(NR_NO_WRITER, SaveImageFileFrom(loaded, dir.File(L"x.hdr").c_str(), FT_HDR, nullptr));
}

// ---- Resources ----

class TempFolder {
public:
    explicit TempFolder(const std::wstring& folder)
    {
        Keep(L"TMP", tmp_);
        Keep(L"TEMP", temp_);
        SetEnvironmentVariableW(L"TMP", folder.c_str());
        SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }
    ~TempFolder()
    {
        SetEnvironmentVariableW(L"TMP", tmp_.empty() ? nullptr : tmp_.c_str());
        SetEnvironmentVariableW(L"TEMP", temp_.empty() ? nullptr : temp_.c_str());
    }

private:
    static void Keep(const wchar_t* name, std::wstring& value)
    {
        wchar_t buffer[1024] = {};
        if (GetEnvironmentVariableW(name, buffer, 1024))
            value = buffer;
    }
    std::wstring tmp_;
    std::wstring temp_;
};

size_t FilesIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    size_t count = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

TEST_F(FactoryTest, ResourcePictureLoadsThroughATemporaryFileThatIsRemoved)
{
    TestResourceModule module({{RT_RCDATA, L"PHOTO", SmallJpeg(24, 12)}, {RT_RCDATA, L"TEXT", jpegtest::Text("words")}});
    ASSERT_NE(nullptr, module.Get());
    TestDir temp;
    TempFolder redirect(temp.Path());

    NImageBuffer picture;
    ASSERT_EQ(NR_OK, LoadImageFromResource(picture, module.Get(), L"PHOTO", RT_RCDATA));
    EXPECT_EQ(24, picture.width);
    EXPECT_EQ(12, picture.height);
    EXPECT_EQ(0u, FilesIn(temp.Path()));

    EXPECT_EQ(NR_NOT_THIS_FORMAT, LoadImageFromResource(picture, module.Get(), L"TEXT", RT_RCDATA));
    EXPECT_EQ(0u, FilesIn(temp.Path()));
    EXPECT_EQ(NR_RESOURCE_NOT_VALID, LoadImageFromResource(picture, module.Get(), L"MISSING", RT_RCDATA));
}

}  // namespace
