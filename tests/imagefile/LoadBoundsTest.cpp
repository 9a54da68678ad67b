// Headers that claim far more picture than their small files hold are refused before anything
// large is allocated; the decode budget refuses what it cannot give; real pictures still load.
#include <gtest/gtest.h>

#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "PngTestSupport.h"
#include "common/TestFiles.h"
#include "imagefile/DataBound.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/NImageFile.h"
#include "imaging/DecodeBudget.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kFewMegabytes = uint64_t{4} << 20;

Bytes Fixture(const wchar_t* name)
{
    Bytes bytes;
    ReadWholeFile(TestDataPath(name), bytes);
    return bytes;
}

void PutLE16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(Bytes& b, size_t at, uint32_t v)
{
    PutLE16(b, at, v & 0xFFFF);
    PutLE16(b, at + 2, v >> 16);
}
void PutBE32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

size_t Find(const Bytes& b, const char* text, size_t from = 0)
{
    const size_t n = strlen(text);
    for (size_t i = from; i + n <= b.size(); ++i)
        if (memcmp(b.data() + i, text, n) == 0)
            return i;
    return SIZE_MAX;
}

// A PNG chunk's CRC after its data was changed (at: the chunk's type).
void FixChunkCrc(Bytes& b, size_t typeAt)
{
    const uint32_t length = (uint32_t{b[typeAt - 4]} << 24) | (uint32_t{b[typeAt - 3]} << 16) |
                            (uint32_t{b[typeAt - 2]} << 8) | b[typeAt - 1];
    const uLong crc = crc32(0, b.data() + typeAt, 4 + length);
    PutBE32(b, typeAt + 4 + length, static_cast<uint32_t>(crc));
}

// A PNG of one grey pixel with a text chunk that claims 2 GB before its picture data.
Bytes PngWithHugeChunk(const char* type)
{
    Bytes out = pngtest::Signature();
    const Bytes ihdr = pngtest::Ihdr(1, 1, 8, 0);
    out.insert(out.end(), ihdr.begin(), ihdr.end());
    pngtest::PutU32(out, 0x7FFFFFFF);
    out.insert(out.end(), type, type + 4);
    for (int i = 0; i < 64; ++i)
        out.push_back(static_cast<uint8_t>('a' + i % 26));
    return out;
}

// Two 1 x 1 frames on a logical screen of 12405 x 12405.
Bytes GifWithHugeScreen()
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
    PutLE16(out, 6, 12405);
    PutLE16(out, 8, 12405);
    for (int frame = 0; frame < 2; ++frame) {
        const uint8_t image[] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0};
        out.insert(out.end(), image, image + sizeof(image));
    }
    out.push_back(0x3B);
    return out;
}

// A 1-bit picture saved as TIFF (the writer codes it as fax data) with its height enlarged.
Bytes FaxTiffWithHugeHeight(const TestDir& dir)
{
    NImageBuffer page;
    uint8_t palette[256 * 3] = {};
    palette[3] = palette[4] = palette[5] = 255;
    page.Create(64, 16, 1, 0, palette);
    const std::wstring path = dir.File(L"fax-source.tif");
    Bytes bytes;
    if (SaveImageFile(&page, path.c_str(), 0, nullptr) != NR_OK || !ReadWholeFile(path, bytes) || bytes.size() < 8)
        return {};
    // Little-endian file: the ImageLength entry (tag 257) of the first directory.
    const uint32_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24;
    const unsigned entries = bytes[ifd] | bytes[ifd + 1] << 8;
    for (unsigned i = 0; i < entries; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if ((bytes[e] | bytes[e + 1] << 8) == 257) {
            PutLE16(bytes, e + 2, 4);   // LONG
            PutLE32(bytes, e + 4, 1);
            PutLE32(bytes, e + 8, 2100521);
        }
    }
    return bytes;
}

Bytes JpegWithHugeFrame(const TestDir& dir)
{
    NImageBuffer small;
    small.Create(16, 16, 24, 0x00808080);
    const std::wstring path = dir.File(L"small.jpg");
    Bytes bytes;
    if (SaveImageFile(&small, path.c_str(), 0, nullptr) != NR_OK || !ReadWholeFile(path, bytes))
        return {};
    const size_t sof = Find(bytes, "\xFF\xC0");
    if (sof == SIZE_MAX)
        return {};
    bytes[sof + 5] = 0x75;   // 30000 x 30000
    bytes[sof + 6] = 0x30;
    bytes[sof + 7] = 0x75;
    bytes[sof + 8] = 0x30;
    return bytes;
}

// A clipboard file of one 24-bit bitmap entry whose header claims width x height, holding
// `pixelBytes` bytes of pixels.
Bytes ClipboardBitmap(uint32_t width, uint32_t height, size_t pixelBytes)
{
    const size_t data = 40 + pixelBytes;
    Bytes b(4 + 89 + data, 0);
    PutLE16(b, 0, 0xC350);
    PutLE16(b, 2, 1);
    PutLE16(b, 4, 8);   // a device-independent bitmap
    PutLE32(b, 6, static_cast<uint32_t>(data));
    PutLE32(b, 10, 4 + 89);
    const size_t dib = 4 + 89;
    PutLE32(b, dib, 40);
    PutLE32(b, dib + 4, width);
    PutLE32(b, dib + 8, height);
    PutLE16(b, dib + 12, 1);
    PutLE16(b, dib + 14, 24);
    std::fill(b.begin() + dib + 40, b.end(), 0x5A);
    return b;
}

struct HugeHeader {
    const char* name;
    const wchar_t* extension;
    uint8_t preview;
    uint8_t quick;
    std::function<Bytes(const TestDir&)> make;
    NRESULT expected;   // NR_OK: any failure
};

std::vector<HugeHeader> HugeHeaders()
{
    return {
        {"PNG eXIf of 2 GB", L".png", 0, 0, [](const TestDir&) { return PngWithHugeChunk("eXIf"); }, NR_OK},
        {"PNG tEXt of 2 GB", L".png", 0, 0, [](const TestDir&) { return PngWithHugeChunk("tEXt"); }, NR_OK},
        {"BMP OS/2 65535 x 32767", L".bmp", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"bmp\\os2-8.bmp");
             PutLE16(b, 18, 0xFFFF);
             PutLE16(b, 20, 0x7FFF);
             return b;
         },
         NR_INVALID_DATA},
        {"BMP RLE4 64 x 16777168", L".bmp", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"bmp\\rle8.bmp");
             PutLE32(b, 18, 64);
             PutLE32(b, 22, 16777168);
             PutLE16(b, 28, 4);
             PutLE32(b, 30, 2);
             return b;
         },
         NR_INVALID_DATA},
        {"BMP 24 bpp taller than its file", L".bmp", 1, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"bmp\\v3-24.bmp");
             PutLE32(b, 22, 40000);
             return b;
         },
         NR_INVALID_DATA},
        {"PCX 65536 x 32768", L".pcx", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"pcx\\p8.pcx");
             PutLE16(b, 8, 0xFFFF);
             PutLE16(b, 10, 0x7FFF);
             return b;
         },
         NR_INVALID_DATA},
        {"DCX page 65536 x 32768", L".dcx", 0, 1,
         [](const TestDir&) {
             Bytes pcx = Fixture(L"pcx\\p8.pcx");
             PutLE16(pcx, 8, 0xFFFF);
             PutLE16(pcx, 10, 0x7FFF);
             Bytes b(16 + pcx.size(), 0);
             PutLE32(b, 0, 0x3ADE68B1);
             PutLE32(b, 4, 16);
             std::copy(pcx.begin(), pcx.end(), b.begin() + 16);
             return b;
         },
         NR_INVALID_DATA},
        {"WebP animation 524608 wide", L".webp", 0, 0,
         [](const TestDir&) {
             Bytes b = Fixture(L"webp\\anim.webp");
             b[0x18] = 0x3F;
             b[0x19] = 0x01;
             b[0x1A] = 0x08;
             return b;
         },
         NR_INVALID_DATA},
        {"WebP lossless 16384 x 16384", L".webp", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"webp\\lossless.webp");
             b[0x15] = b[0x16] = b[0x17] = 0xFF;
             b[0x18] |= 0x0F;
             return b;
         },
         NR_INVALID_DATA},
        {"MNG embedded IHDR 16711744 wide", L".mng", 0, 0,
         [](const TestDir&) {
             Bytes b = Fixture(L"mng\\single.mng");
             const size_t ihdr = Find(b, "IHDR");
             if (ihdr != SIZE_MAX) {
                 PutBE32(b, ihdr + 4, 0x00FF0040);
                 FixChunkCrc(b, ihdr);
             }
             return b;
         },
         NR_OK},
        {"MNG frame 16711744 wide", L".mng", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"mng\\single.mng");
             const size_t mhdr = Find(b, "MHDR");
             if (mhdr != SIZE_MAX) {
                 PutBE32(b, mhdr + 4, 0x00FF0040);
                 FixChunkCrc(b, mhdr);
             }
             return b;
         },
         NR_OK},
        {"JPEG 2000 code stream 16776968 x 8", L".j2k", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"jp2\\grey8.j2k");
             PutBE32(b, 8, 0x00FFFF08);    // Xsiz
             PutBE32(b, 12, 8);            // Ysiz
             PutBE32(b, 24, 0x00FFFF08);   // one tile
             PutBE32(b, 28, 8);
             return b;
         },
         NR_INVALID_DATA},
        // Sizes from 2^31 up, which the decoder divides as signed numbers: 257 x 32 tiles for it,
        // 257 x 1 by the true sizes. Its tile parameters (47 MB) are not counted by the budget;
        // 404 says the file was refused before the decoder read the header (which answers 204).
        {"JPEG 2000 code stream of 8224 tiles by signed division", L".j2k", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"jp2\\grey8.j2k");
             PutBE32(b, 8, 0x00FFFFFF);    // Xsiz
             PutBE32(b, 12, 0xF0030010);   // Ysiz
             PutBE32(b, 24, 0x0000FFFF);   // XTsiz
             PutBE32(b, 28, 0xFF7F0010);   // YTsiz
             return b;
         },
         NR_DECODE_FAILED},
        {"JPEG XR 32768 x 12288", L".jxr", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"jxr\\grey8.jxr");
             const size_t stream = Find(b, "WMPHOTO");
             if (stream != SIZE_MAX) {
                 b[stream + 12] = 0x7F;   // short header: width - 1, height - 1, big-endian
                 b[stream + 13] = 0xFF;
                 b[stream + 14] = 0x2F;
                 b[stream + 15] = 0xFF;
             }
             return b;
         },
         NR_INVALID_DATA},
        {"GIF screen 12405 x 12405, full view", L".gif", 0, 0, [](const TestDir&) { return GifWithHugeScreen(); },
         NR_INVALID_DATA},
        {"TIFF fax of 2100521 rows", L".tif", 0, 1, FaxTiffWithHugeHeight, NR_INVALID_DATA},
        {"JPEG 30000 x 30000", L".jpg", 1, 1, JpegWithHugeFrame, NR_INVALID_DATA},
        {"TGA 19999 x 19999", L".tga", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"tga\\rgb24.tga");
             PutLE16(b, 12, 19999);
             PutLE16(b, 14, 19999);
             return b;
         },
         NR_INVALID_DATA},
        {"TGA run-length 19999 x 19999", L".tga", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"tga\\rgba-rle.tga");
             PutLE16(b, 12, 19999);
             PutLE16(b, 14, 19999);
             return b;
         },
         NR_INVALID_DATA},
        {"CUT 65535 x 65535", L".cut", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"cut\\grey.cut");
             PutLE16(b, 0, 0xFFFF);
             PutLE16(b, 2, 0xFFFF);
             return b;
         },
         NR_INVALID_DATA},
        {"CLP bitmap 65535 x 65535", L".clp", 0, 1, [](const TestDir&) { return ClipboardBitmap(0xFFFF, 0xFFFF, 64); },
         NR_INVALID_DATA},
        {"SGI verbatim 65535 x 65535", L".sgi", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"sgi\\s24.sgi");
             PutBE32(b, 6, 0xFFFFFFFF);   // x and y sizes
             return b;
         },
         NR_INVALID_DATA},
        {"SGI run-length 65535 x 65535", L".sgi", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"sgi\\s24rle.sgi");
             PutBE32(b, 6, 0xFFFFFFFF);
             return b;
         },
         NR_INVALID_DATA},
        {"Sun raster 65535 x 65535", L".ras", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"ras\\r24.ras");
             PutBE32(b, 4, 0xFFFF);
             PutBE32(b, 8, 0xFFFF);
             return b;
         },
         NR_INVALID_DATA},
        {"Sun raster run-length 65535 x 65535", L".ras", 0, 1,
         [](const TestDir&) {
             Bytes b = Fixture(L"ras\\n8rle.ras");
             PutBE32(b, 4, 0xFFFF);
             PutBE32(b, 8, 0xFFFF);
             return b;
         },
         NR_INVALID_DATA},
        {"PFM 30000 x 30000", L".pfm", 0, 1,
         [](const TestDir&) {
             const char text[] = "PF\n30000 30000\n-1.0\n";
             Bytes b(text, text + sizeof(text) - 1);
             b.resize(b.size() + 1200, 0);
             return b;
         },
         NR_INVALID_DATA},
        {"WBMP 65535 x 65535", L".wbmp", 0, 1,
         [](const TestDir&) {
             Bytes b = {0, 0, 0x83, 0xFF, 0x7F, 0x83, 0xFF, 0x7F};
             b.resize(b.size() + 1000, 0x55);
             return b;
         },
         NR_INVALID_DATA},
        {"XBM 30000 x 30000", L".xbm", 0, 1,
         [](const TestDir&) {
             const char text[] = "#define a_width 30000\n#define a_height 30000\nstatic char a_bits[] = {0x01, 0x02};\n";
             return Bytes(text, text + sizeof(text) - 1);
         },
         NR_INVALID_DATA},
        {"MSP 65535 x 65535", L".msp", 0, 1,
         [](const TestDir&) {
             Bytes b(32 + 1000, 0xAA);
             memcpy(b.data(), "DanM", 4);
             PutLE16(b, 4, 0xFFFF);
             PutLE16(b, 6, 0xFFFF);
             return b;
         },
         NR_INVALID_DATA},
        {"PIX 65535 x 65535", L".pix", 0, 1,
         [](const TestDir&) {
             Bytes b = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 24};
             for (int i = 0; i < 100; ++i)
                 b.insert(b.end(), {255, 1, 2, 3});
             return b;
         },
         NR_INVALID_DATA},
    };
}

TEST(LoadBounds, SmallFilesClaimingHugePicturesAreRefusedWithoutTakingMemory)
{
    TestDir dir;
    for (const HugeHeader& c : HugeHeaders()) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = c.make(dir);
        ASSERT_FALSE(bytes.empty());
        ASSERT_LT(bytes.size(), 4096u);
        const std::wstring path = dir.File(std::wstring(L"huge") + c.extension);
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        NDecodeScope scope;
        NImageFile* out = nullptr;
        const NRESULT r = LoadImageFile(&out, path.c_str(), c.preview, c.quick, nullptr, 0);
        if (c.expected != NR_OK)
            EXPECT_EQ(c.expected, r);
        else
            EXPECT_NE(NR_OK, r);
        EXPECT_LE(scope.Peak(), kFewMegabytes);
        delete out;
    }
}

TEST(LoadBounds, UncompressedBmpCutShortLoadsOnlyWhileItHoldsASixteenthOfItsRows)
{
    TestDir dir;
    NImageBuffer source;
    source.Create(64, 64, 24, 0x00445566);
    const std::wstring path = dir.File(L"cut.bmp");
    ASSERT_EQ(NR_OK, SaveImageFile(&source, path.c_str(), 0, nullptr));
    Bytes whole;
    ASSERT_TRUE(ReadWholeFile(path, whole));
    const size_t header = whole.size() - 64 * 64 * 3;
    NImageBuffer picture;
    for (const auto& c : {std::pair<size_t, NRESULT>{64, NR_OK}, {4, NR_OK}, {3, NR_INVALID_DATA}}) {
        SCOPED_TRACE(c.first);
        ASSERT_TRUE(WriteWholeFile(path, whole.data(), header + c.first * 64 * 3));
        EXPECT_EQ(c.second, LoadImageIntoBitmap(picture, path.c_str(), 0, 1, nullptr, 0));
    }
}

TEST(LoadBounds, DataBoundArithmeticDoesNotWrap)
{
    EXPECT_TRUE(DataBound::Fits(100, 100, 8, 10000, DataBound::kRaw));
    EXPECT_FALSE(DataBound::Fits(100, 101, 8, 10000, DataBound::kRaw));
    EXPECT_TRUE(DataBound::Fits(7, 1, 1, 1, DataBound::kRaw));   // rows round up to whole bytes
    EXPECT_FALSE(DataBound::Fits(9, 1, 1, 1, DataBound::kRaw));
    EXPECT_FALSE(DataBound::Fits(0, 10, 8, 1000, DataBound::kRaw));
    EXPECT_FALSE(DataBound::Fits(UINT64_MAX, UINT64_MAX, 64, UINT64_MAX, 2));
    EXPECT_TRUE(DataBound::Fits(1, 1, 8, UINT64_MAX, UINT64_MAX));
    EXPECT_EQ(UINT64_MAX, DataBound::PackedBytes(UINT64_MAX, UINT64_MAX, 32));
}

// The largest fixture of each format, the three ways the program loads it.
TEST(LoadBounds, LargestFixturesStillLoad)
{
    struct Folder {
        const wchar_t* folder;
        const wchar_t* extension;
    } folders[] = {{L"bmp", L".bmp"},  {L"pcx", L".pcx"}, {L"gif", L".gif"},  {L"png", L".png"},
                   {L"tiff", L".tif"}, {L"webp", L".webp"}, {L"jp2", L".jp2"}, {L"jxr", L".jxr"},
                   {L"mng", L".mng"},  {L"psd", L".psd"}, {L"jpeg", L".jpg"}, {L"hdr", L".hdr"},
                   {L"tga", L".tga"},  {L"cut", L".cut"}};
    for (const Folder& f : folders) {
        const std::wstring folder = TestDataPath(f.folder);
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"\\*" + f.extension).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        std::wstring largest;
        uint64_t largestSize = 0;
        do {
            const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
            if (size > largestSize && !wcsstr(data.cFileName, L"carved") && !wcsstr(data.cFileName, L"broken") &&
                !wcsstr(data.cFileName, L"cut") && !wcsstr(data.cFileName, L"trunc")) {
                largestSize = size;
                largest = data.cFileName;
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
        if (largest.empty())
            continue;
        SCOPED_TRACE(std::string(largest.begin(), largest.end()));
        for (const auto& way : {std::pair<int, int>{0, 1}, {1, 1}, {0, 0}}) {
            NImageFile* out = nullptr;
            EXPECT_EQ(NR_OK, LoadImageFile(&out, (folder + L"\\" + largest).c_str(), way.first, way.second, nullptr, 0));
            delete out;
        }
    }
}

TEST(DecodeBudget, RefusesWhatDoesNotFitAndAnswersMemoryInsufficient)
{
    // What other tests' pictures still hold stays out of the way.
    const uint64_t saved = DecodeBudget::Capacity();
    DecodeBudget::SetCapacity(DecodeBudget::InUse() + (uint64_t{1} << 20));
    {
        NDecodeScope scope(0);
        NImageBuffer small;
        EXPECT_TRUE(small.Create(100, 100, 24, 0));
        NImageBuffer large;
        EXPECT_FALSE(large.Create(1000, 1000, 24, 0));   // 3 MB of a 1 MB budget
        EXPECT_TRUE(scope.Refused());
        EXPECT_GE(DecodeBudget::InUse(), 30000u);
    }
    // A real load of a picture larger than the budget answers "Memory insufficient".
    TestDir dir;
    NImageBuffer source;
    source.Create(800, 600, 24, 0x00336699);
    const std::wstring path = dir.File(L"big.bmp");
    ASSERT_EQ(NR_OK, SaveImageFile(&source, path.c_str(), 0, nullptr));
    {
        NDecodeScope scope(0);
        NImageFile* out = nullptr;
        EXPECT_EQ(NR_NOT_ENOUGH_MEMORY, LoadImageFile(&out, path.c_str(), 0, 1, nullptr, 0));
        delete out;
    }
    // A clipboard bitmap whose picture alone would fit, but not with the entry's data it is made
    // from: the data is held as long as the picture is made.
    const std::wstring clip = dir.File(L"big.clp");
    ASSERT_TRUE(WriteWholeFile(clip, ClipboardBitmap(600, 300, 600 * 300 * 3)));
    {
        NDecodeScope scope(0);
        NImageFile* out = nullptr;
        EXPECT_EQ(NR_NOT_ENOUGH_MEMORY, LoadImageFile(&out, clip.c_str(), 0, 1, nullptr, 0));
        delete out;
    }
    DecodeBudget::SetCapacity(saved);
    {
        NDecodeScope scope;
        NImageFile* out = nullptr;
        EXPECT_EQ(NR_OK, LoadImageFile(&out, clip.c_str(), 0, 1, nullptr, 0));
        EXPECT_GE(scope.Peak(), 2u * 600 * 300 * 3);
        delete out;
    }
    NImageFile* out = nullptr;
    EXPECT_EQ(NR_OK, LoadImageFile(&out, path.c_str(), 0, 1, nullptr, 0));
    delete out;
}

TEST(DecodeBudget, PicturesGiveTheirBytesBackOnAnyThreadAndOutsideScopesNothingCounts)
{
    const uint64_t before = DecodeBudget::InUse();
    NImageBuffer* kept = new NImageBuffer;
    {
        NDecodeScope scope;
        ASSERT_TRUE(kept->Create(256, 256, 32, 0));
        EXPECT_EQ(before + 256u * 256 * 4, DecodeBudget::InUse());
        EXPECT_EQ(256u * 256 * 4, scope.Peak());
    }
    // Released on another thread, after the load.
    HANDLE thread = CreateThread(
        nullptr, 0, [](void* p) -> DWORD { delete static_cast<NImageBuffer*>(p); return 0; }, kept, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(before, DecodeBudget::InUse());
    NImageBuffer outside;
    ASSERT_TRUE(outside.Create(256, 256, 32, 0));
    EXPECT_EQ(before, DecodeBudget::InUse());
}

TEST(DecodeBudget, AWaitingLoadGoesOnWhenAnotherGivesMemoryBack)
{
    const uint64_t saved = DecodeBudget::Capacity();
    DecodeBudget::SetCapacity(DecodeBudget::InUse() + (uint64_t{1} << 20));
    struct Shared {
        HANDLE holding;
        HANDLE release;
    } shared = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE holder = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            Shared& s = *static_cast<Shared*>(p);
            NDecodeScope scope(0);
            NDecodeLease lease;
            lease.Take(900 * 1024);
            SetEvent(s.holding);
            WaitForSingleObject(s.release, INFINITE);
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(nullptr, holder);
    WaitForSingleObject(shared.holding, INFINITE);
    {
        NDecodeScope quick(0);
        NDecodeLease lease;
        EXPECT_FALSE(lease.Take(512 * 1024));   // no wait allowed
    }
    SetEvent(shared.release);
    {
        NDecodeScope patient(10000);
        NDecodeLease lease;
        EXPECT_TRUE(lease.Take(512 * 1024));   // waits for the holder to finish
    }
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);
    CloseHandle(shared.holding);
    CloseHandle(shared.release);
    DecodeBudget::SetCapacity(saved);
}

}  // namespace
