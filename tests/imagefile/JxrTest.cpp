// The JPEG XR format class: files made by JxrEncApp (tests/data/jxr) in six pixel formats, each
// also as a carved candidate with unrelated bytes after it; rows that must never be written past;
// truncated files; the writer's round trip, quantiser and intermediate file.
#include "imagefile/formats/NImageFileJXR.h"

#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "imagefile/FormatDetect.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/formats/JxrCodec.h"
#include "GuardedBuffer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::wstring Fixture(const std::wstring& name)
{
    return TestDataPath(L"jxr\\" + name);
}

// The pattern that make-fixtures.sh writes (21 x 13).
constexpr int kWidth = 21;
constexpr int kHeight = 13;
int Red(int x, int y) { return (x * 12 + y * 3) & 255; }
int Green(int, int y) { return (y * 19 + 7) & 255; }
int Blue(int x, int) { return (255 - x * 11) & 255; }
int Alpha(int x, int y) { return 255 - (x + y) * 5; }
int Grey(int x, int y) { return x * 9 + y * 6; }

const uint8_t* Pixel(const NImageBuffer& picture, int x, int y)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - y) * picture.stride +
           static_cast<size_t>(x) * (picture.bpp / 8);
}

struct FormatCase {
    const wchar_t* name;
    int bpp;
    bool grey;
    bool alpha;
    int tolerance;   // lossless files: 0; conversions from wider samples round
};

const FormatCase kFormats[] = {
    {L"bgr24", 24, false, false, 0},
    {L"rgb24", 24, false, false, 0},
    {L"bgra32", 32, false, true, 0},
    {L"grey8", 24, true, false, 0},
    {L"rgb48", 24, false, false, 1},
    {L"rgba128f", 32, false, true, 2},
};

// Every pixel against the pattern; the first difference is reported.
void ExpectPattern(const NImageBuffer& picture, const FormatCase& c, int height = kHeight)
{
    ASSERT_TRUE(picture.valid);
    ASSERT_EQ(picture.width, kWidth);
    ASSERT_EQ(picture.height, height);
    ASSERT_EQ(picture.bpp, c.bpp);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = Pixel(picture, x, y);
            const int expected[4] = {c.grey ? Grey(x, y) : Blue(x, y), c.grey ? Grey(x, y) : Green(x, y),
                                     c.grey ? Grey(x, y) : Red(x, y), Alpha(x, y)};
            for (int k = 0; k < c.bpp / 8; ++k) {
                if (std::abs(p[k] - expected[k]) > c.tolerance) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " byte " << k << ": " << int(p[k])
                                  << " instead of " << expected[k];
                    return;
                }
            }
        }
    }
}

std::set<std::wstring> FilesIn(const std::wstring& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.insert(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder, n > 0 && folder[n - 1] == L'\\' ? n - 1 : n);
}

// A 24- or 32-bit picture with a colour per pixel (and alpha from 40 to 255).
void MakePicture(NImageBuffer& picture, int width, int height, int bpp)
{
    ASSERT_TRUE(picture.Create(width, height, bpp, 0));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
        for (int x = 0; x < width; ++x) {
            uint8_t* p = row + static_cast<size_t>(x) * (bpp / 8);
            p[0] = static_cast<uint8_t>(x * 7 + y);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = static_cast<uint8_t>(255 - x * 3);
            if (bpp == 32)
                p[3] = static_cast<uint8_t>(40 + (x * 11 + y * 13) % 216);
        }
    }
}

bool SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height || a.bpp != b.bpp)
        return false;
    const size_t rowBytes = static_cast<size_t>(a.width) * (a.bpp / 8);
    for (int y = 0; y < a.height; ++y)
        if (memcmp(a.bits + static_cast<size_t>(y) * a.stride, b.bits + static_cast<size_t>(y) * b.stride, rowBytes))
            return false;
    return true;
}

TEST(JxrLoad, DecodesEachPixelFormatAndItsCarvedCandidate)
{
    for (const FormatCase& c : kFormats) {
        for (const std::wstring suffix : {L"", L"-carved"}) {
            const std::wstring path = Fixture(std::wstring(c.name) + suffix + L".jxr");
            SCOPED_TRACE(testing::Message() << std::string(path.begin(), path.end()));
            NImageFileJXR file;
            ASSERT_EQ(file.Load(path.c_str(), 0, 1, nullptr), NR_OK);
            ExpectPattern(file.picture, c);
            EXPECT_EQ(file.fullWidth, kWidth);
            EXPECT_EQ(file.fullHeight, kHeight);
            // A carved candidate ends where its picture and alpha data end.
            Bytes bytes;
            ASSERT_TRUE(ReadWholeFile(Fixture(std::wstring(c.name) + L".jxr"), bytes));
            EXPECT_EQ(file.GetConsumedSize(), bytes.size());
        }
    }
}

TEST(JxrLoad, DecodesAPictureTallerThanItsBandsOfRows)
{
    // 21 x 300 in RGB order: decoded through the format converter a band of rows at a time.
    NImageFileJXR file;
    ASSERT_EQ(NR_OK, file.Load(TestDataPath(L"jxr\\rgb24-tall.jxr").c_str(), 0, 0, nullptr));
    ExpectPattern(file.picture, kFormats[1], 300);
}

TEST(JxrLoad, NeverWritesPastTheRowsItIsGiven)
{
    // Rows packed without padding, ending right at a no-access page: a decoder that wrote the
    // file's own wider pixels (6 or 16 bytes each) would fault here.
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(testing::Message() << c.name);
        FILE* file = _wfopen(Fixture(std::wstring(c.name) + L".jxr").c_str(), L"rb");
        ASSERT_NE(file, nullptr);
        JxrDecodeArgs args;
        JxrInitDecodeArgs(&args);
        JxrDecoder* decoder = nullptr;
        JxrPictureInfo info{};
        ASSERT_EQ(JxrOpenDecoder(file, &args, &decoder, &info), JXR_OK);
        EXPECT_EQ(info.bitsPerPixel, c.bpp);
        const uint32_t stride = static_cast<uint32_t>(info.width * info.bitsPerPixel / 8);
        const size_t size = static_cast<size_t>(stride) * info.height;
        GuardedBuffer guarded(size);
        ASSERT_TRUE(guarded.valid());
        const Bytes zeros(size, 0);
        uint8_t* rows = guarded.AtEnd(zeros.data(), size);
        EXPECT_EQ(JxrDecodePixels(decoder, rows, stride), JXR_OK);
        // A stride shorter than a row is refused.
        EXPECT_EQ(JxrDecodePixels(decoder, rows, stride - 1), JXR_DECODE_FAILED);
        JxrCloseDecoder(decoder);
    }
}

TEST(JxrLoad, KeepsTheResolutionAndWorksThroughTheFactory)
{
    NImageFile* loaded = nullptr;
    ImageLoadOptions options;
    const std::wstring path = Fixture(L"bgra32-carved.jxr");
    EXPECT_EQ(LoadImageFile(&loaded, path.c_str(), 0, 1, &options, 0), NR_OK);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetFormatId(), FT_JXR);
    EXPECT_EQ(loaded->picture.bpp, 32);
    EXPECT_EQ(loaded->picture.dpiX, 96);   // 3780 pixels per metre in the source BMP
    EXPECT_EQ(loaded->picture.dpiY, 96);
    delete loaded;

    // The carved candidate is found by content at an offset inside a larger block.
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    Bytes block(300 + bytes.size(), 0x55);
    memcpy(block.data() + 300, bytes.data(), bytes.size());
    EXPECT_EQ(DetectFormatFromBuffer(block.data(), 300, block.size(), true, true, true), FT_JXR);
}

TEST(JxrLoad, AnswersDecodeFailedForWhatIsNotJpegXr)
{
    TestDir dir;
    const Bytes notJxr = {'I', 'I', 0xBC, 0x01, 'W', 'M', 'P', 'H', 'O', 'T', 'O', 0, 1, 2, 3};
    ASSERT_TRUE(WriteWholeFile(dir.File(L"fake.jxr"), notJxr));
    const std::wstring cases[] = {dir.File(L"fake.jxr"), dir.File(L"missing.jxr"),
                                  TestDataPath(L"png\\rgb.png")};
    for (const std::wstring& path : cases) {
        NImageFileJXR file;
        NImageBuffer target;
        EXPECT_EQ(file.Load(path.c_str(), 0, 0, &target), NR_DECODE_FAILED);
        EXPECT_FALSE(target.valid);
    }
}

TEST(JxrLoad, SurvivesDamageThatTripsTheLibrarysAssertions)
{
    // jxrlib asserts that the container's orientation (tag BC02) is below 8.
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(Fixture(L"bgr24.jxr"), bytes));
    const uint32_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24;
    const size_t entries = bytes[ifd] | bytes[ifd + 1] << 8;
    bool found = false;
    for (size_t i = 0; i < entries; ++i) {
        uint8_t* entry = &bytes[ifd + 2 + 12 * i];
        if (entry[0] == 0x02 && entry[1] == 0xBC) {
            entry[8] = 9;
            found = true;
        }
    }
    ASSERT_TRUE(found);
    TestDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File(L"turned.jxr"), bytes));
    for (int round = 0; round < 2; ++round) {   // the codec stays usable afterwards
        NImageFileJXR file;
        EXPECT_EQ(file.Load(dir.File(L"turned.jxr").c_str(), 0, 1, nullptr), NR_DECODE_FAILED);
        EXPECT_TRUE(DeleteFileW(dir.File(L"turned.jxr").c_str()));   // the file was closed
        ASSERT_TRUE(WriteWholeFile(dir.File(L"turned.jxr"), bytes));
    }
    NImageFileJXR good;
    EXPECT_EQ(good.Load(Fixture(L"bgr24.jxr").c_str(), 0, 1, nullptr), NR_OK);
}

TEST(JxrLoad, SurvivesEveryTruncation)
{
    TestDir dir;
    for (const wchar_t* name : {L"bgr24", L"bgra32", L"rgb48", L"rgba128f", L"grey8"}) {
        Bytes bytes;
        ASSERT_TRUE(ReadWholeFile(Fixture(std::wstring(name) + L".jxr"), bytes));
        std::set<size_t> cuts = {0, 1, 4, 8, 16, 40, 100, 150, 200, 300};
        for (size_t k = 1; k < 16; ++k)
            cuts.insert(bytes.size() * k / 16);
        cuts.insert(bytes.size() - 1);
        for (size_t cut : cuts) {
            if (cut >= bytes.size())
                continue;
            SCOPED_TRACE(testing::Message() << "cut at " << cut);
            const std::wstring path = dir.File(L"cut.jxr");
            ASSERT_TRUE(WriteWholeFile(path, bytes.data(), cut));
            NImageFileJXR file;
            const NRESULT result = file.Load(path.c_str(), 0, 1, nullptr);
            if (result == NR_OK) {
                EXPECT_TRUE(file.picture.valid);
                EXPECT_EQ(file.GetConsumedSize(), cut);
            } else {
                EXPECT_TRUE(result == NR_DECODE_FAILED || result == NR_PICTURE_CREATE_FAILED) << result;
            }
        }
    }
}

// The offset that the container's directory gives for the tag (0 when missing).
uint32_t DirectoryValue(const Bytes& bytes, uint16_t tag)
{
    const uint32_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24;
    const size_t entries = bytes[ifd] | bytes[ifd + 1] << 8;
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = &bytes[ifd + 2 + 12 * i];
        if ((entry[0] | entry[1] << 8) == tag)
            return entry[8] | entry[9] << 8 | entry[10] << 16 | static_cast<uint32_t>(entry[11]) << 24;
    }
    return 0;
}

TEST(JxrLoad, RefusesCodestreamsTheLibraryWouldCrashOn)
{
    TestDir dir;
    // A reserved colour format (5) in the image plane's header.
    Bytes reserved;
    ASSERT_TRUE(ReadWholeFile(Fixture(L"rgb24.jxr"), reserved));
    const uint32_t image = DirectoryValue(reserved, 0xBCC0);
    ASSERT_EQ(memcmp(&reserved[image], "WMPHOTO", 8), 0);
    reserved[image + 16] = static_cast<uint8_t>((reserved[image + 16] & 0x1F) | 5 << 5);   // short header
    // An image plane far taller than its separate alpha plane.
    Bytes taller;
    ASSERT_TRUE(ReadWholeFile(Fixture(L"bgra32.jxr"), taller));
    ASSERT_NE(DirectoryValue(taller, 0xBCC2), 0u);
    taller[DirectoryValue(taller, 0xBCC0) + 14] = 0xB0;   // height - 1, high byte
    // A codestream cut short inside its first 16 bytes, its bit depth one the standard leaves
    // undefined (jxrlib divides by a table entry past the end of its table).
    Bytes cut;
    ASSERT_TRUE(ReadWholeFile(Fixture(L"rgb24.jxr"), cut));
    cut[image + 11] = static_cast<uint8_t>((cut[image + 11] & 0xF0) | 12);
    cut.resize(image + 12);
    for (const Bytes* bytes : {&reserved, &taller, &cut}) {
        ASSERT_TRUE(WriteWholeFile(dir.File(L"bad.jxr"), *bytes));
        NImageFileJXR file;
        EXPECT_EQ(file.Load(dir.File(L"bad.jxr").c_str(), 0, 1, nullptr), NR_DECODE_FAILED);
        EXPECT_FALSE(file.picture.valid);
    }
}

TEST(JxrLoad, SurvivesDamagedFiles)
{
    // Deterministic damage: bytes and 32-bit fields overwritten, mostly in the container and the
    // codestream header. VST_JXR_MUTATIONS asks for a longer run.
    const wchar_t* asked = _wgetenv(L"VST_JXR_MUTATIONS");
    const int rounds = asked ? _wtoi(asked) : 300;
    std::vector<Bytes> seeds;
    for (const FormatCase& c : kFormats) {
        Bytes bytes;
        ASSERT_TRUE(ReadWholeFile(Fixture(std::wstring(c.name) + L".jxr"), bytes));
        seeds.push_back(bytes);
    }
    TestDir dir;
    const std::wstring path = dir.File(L"damaged.jxr");
    uint32_t state = 0x2545F491u;
    auto next = [&state](uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    static const uint32_t edges[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 16, 4096};
    for (int round = 0; round < rounds; ++round) {
        Bytes bytes = seeds[static_cast<size_t>(round) % seeds.size()];
        const int changes = 1 + static_cast<int>(next(4));
        for (int k = 0; k < changes; ++k) {
            const size_t span = next(2) ? std::min<size_t>(bytes.size(), 320) : bytes.size();
            const size_t at = next(static_cast<uint32_t>(span));
            if (next(2) && at + 4 <= bytes.size()) {
                const uint32_t value = edges[next(sizeof edges / sizeof edges[0])];
                memcpy(&bytes[at], &value, 4);
            } else {
                bytes[at] = static_cast<uint8_t>(next(256));
            }
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        NImageFileJXR file;
        const NRESULT result = file.Load(path.c_str(), 0, 1, nullptr);
        if (result == NR_OK) {
            ASSERT_TRUE(file.picture.valid);
            EXPECT_GT(file.GetConsumedSize(), 0u);
            EXPECT_LE(file.GetConsumedSize(), bytes.size());
        }
        ASSERT_TRUE(DeleteFileW(path.c_str()));   // no load keeps the file open
    }
}

TEST(JxrLoad, ReadsAndWritesPathsOutsideTheAnsiCodePage)
{
    TestDir dir;
    const std::wstring path = dir.File(L"\u65E5\u672C-\u0436.jxr");
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(Fixture(L"bgr24.jxr"), bytes));
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    NImageFileJXR file;
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ExpectPattern(file.picture, kFormats[0]);

    const std::wstring copy = dir.File(L"\u0436\u0436.jxr");
    NImageFileJXR writer;
    ASSERT_EQ(writer.Save(copy.c_str(), &file.picture, nullptr), NR_OK);
    NImageFileJXR again;
    ASSERT_EQ(again.Load(copy.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(again.picture, file.picture));
}

TEST(JxrSave, QuantiserFollowsQualityAndLosslessFlag)
{
    struct Case { bool lossless; int quality; uint8_t index; };
    const Case cases[] = {{true, 85, 1}, {true, 10, 1}, {false, 85, 40}, {false, 100, 1},
                          {false, 50, 129}, {false, 1, 254}, {false, 0, 254}, {false, 250, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(NImageFileJXR::QuantiserIndex(c.lossless, c.quality), c.index) << c.quality;
}

TEST(JxrSave, LosslessRoundTripKeepsPixelsAlphaAndResolution)
{
    TestDir dir;
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer original;
        MakePicture(original, 37, 19, bpp);
        original.dpiX = 300;
        original.dpiY = 72;
        const std::wstring path = dir.File(L"round.jxr");
        NImageFileJXR writer;
        ASSERT_EQ(writer.Save(path.c_str(), &original, nullptr), NR_OK);
        NImageFileJXR reader;
        ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_TRUE(SamePixels(reader.picture, original));
        EXPECT_EQ(reader.picture.dpiX, 300);
        EXPECT_EQ(reader.picture.dpiY, 72);
    }
}

TEST(JxrSave, WritesShallowPicturesFromA24BitCopyAndLossyFilesSmaller)
{
    TestDir dir;
    NImageBuffer grey;
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i)
        palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = static_cast<uint8_t>(i);
    ASSERT_TRUE(grey.Create(40, 30, 8, 0, palette));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            grey.bits[static_cast<size_t>(y) * grey.stride + x] = static_cast<uint8_t>(x * 6 + y);
    NImageFileJXR writer;
    ASSERT_EQ(writer.Save(dir.File(L"grey.jxr").c_str(), &grey, nullptr), NR_OK);
    EXPECT_EQ(grey.bpp, 8);   // the caller's picture is not changed
    NImageFileJXR reader;
    ASSERT_EQ(reader.Load(dir.File(L"grey.jxr").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.picture.bpp, 24);
    EXPECT_EQ(Pixel(reader.picture, 10, 3)[1], 10 * 6 + (29 - 3));   // grey rows were filled bottom-up

    NImageBuffer colour;
    MakePicture(colour, 64, 64, 24);
    NImageFileJXR lossless, lossy;
    ImageSaveOptions options;
    options.jxrLossless = 0;
    options.jxrQuality = 40;
    lossy.SetSaveOptions(&options);
    ASSERT_EQ(lossless.Save(dir.File(L"a.jxr").c_str(), &colour, nullptr), NR_OK);
    ASSERT_EQ(lossy.Save(dir.File(L"b.jxr").c_str(), &colour, nullptr), NR_OK);
    Bytes a, b;
    ASSERT_TRUE(ReadWholeFile(dir.File(L"a.jxr"), a));
    ASSERT_TRUE(ReadWholeFile(dir.File(L"b.jxr"), b));
    EXPECT_LT(b.size(), a.size());
    NImageFileJXR lossyReader;
    ASSERT_EQ(lossyReader.Load(dir.File(L"b.jxr").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(lossyReader.picture.width, 64);
}

TEST(JxrSave, NeverTouchesAFileOfTheUserAndLeavesNoIntermediate)
{
    TestDir dir;
    // The names an intermediate BMP beside the target could take already belong to the user.
    const Bytes mine = {'m', 'i', 'n', 'e'};
    ASSERT_TRUE(WriteWholeFile(dir.File(L"photo.bmp"), mine));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"photo.jxr.bmp"), mine));
    const std::set<std::wstring> tempBefore = FilesIn(TempFolder());

    NImageBuffer picture;
    MakePicture(picture, 16, 16, 24);
    NImageFileJXR writer;
    ASSERT_EQ(writer.Save(dir.File(L"photo.jxr").c_str(), &picture, nullptr), NR_OK);
    // A target named like a BMP file is written as JPEG XR all the same.
    ASSERT_EQ(writer.Save(dir.File(L"other.bmp").c_str(), &picture, nullptr), NR_OK);

    Bytes kept;
    ASSERT_TRUE(ReadWholeFile(dir.File(L"photo.bmp"), kept));
    EXPECT_EQ(kept, mine);
    ASSERT_TRUE(ReadWholeFile(dir.File(L"photo.jxr.bmp"), kept));
    EXPECT_EQ(kept, mine);
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::set<std::wstring>{L"photo.bmp", L"photo.jxr.bmp", L"photo.jxr", L"other.bmp"}));
    EXPECT_EQ(FilesIn(TempFolder()), tempBefore);
    NImageFileJXR reader;
    EXPECT_EQ(reader.Load(dir.File(L"other.bmp").c_str(), 0, 0, nullptr), NR_OK);
}

TEST(JxrSave, ReportsWhatCannotBeWritten)
{
    NImageFileJXR writer;
    NImageBuffer empty;
    EXPECT_EQ(writer.Save(L"C:\\nowhere.jxr", &empty, nullptr), NR_PICTURE_NOT_VALID);

    TestDir dir;
    const std::set<std::wstring> tempBefore = FilesIn(TempFolder());
    NImageBuffer picture;
    MakePicture(picture, 8, 8, 24);
    MessageBoxAnswerer answerer(IDOK);
    EXPECT_EQ(writer.Save(dir.File(L"no\\such\\folder.jxr").c_str(), &picture, nullptr), NR_FILE_OPEN_WRITE);
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.LastText().rfind(L"CreateStreamFromFilename", 0), 0u);
    EXPECT_EQ(FilesIn(TempFolder()), tempBefore);
}

}  // namespace
