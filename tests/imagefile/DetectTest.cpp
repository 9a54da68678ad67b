// Detection by content: the order of the checks and their groups, and detection of whole files
// (pictures written by real tools, and files made here).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SignatureCases.h"
#include "common/TestFiles.h"
#include "imagefile/FormatDetect.h"

namespace {

std::vector<uint8_t> Bytes(std::string_view text, size_t size = 0)
{
    std::vector<uint8_t> bytes(text.begin(), text.end());
    if (bytes.size() < size)
        bytes.resize(size, 0);
    return bytes;
}

void Put(std::vector<uint8_t>& bytes, size_t at, std::string_view text)
{
    std::copy(text.begin(), text.end(), bytes.begin() + at);
}

FileType DetectAll(const std::vector<uint8_t>& bytes, uint64_t offset = 0)
{
    return DetectFormatFromBuffer(bytes.data(), offset, bytes.size(), true, true, true);
}

// A JPEG start of image followed by an APP0 (JFIF) or APP1 (Exif) segment header.
std::vector<uint8_t> JpegHead(std::string_view app)
{
    std::vector<uint8_t> bytes = Bytes("\xFF\xD8\xFF\xE0\x00\x10"sv, 64);
    if (app == "Exif")
        bytes[3] = 0xE1;
    Put(bytes, 6, app);
    return bytes;
}

// Every header of the table detects as its own format in its group alone, and with every group
// enabled, except where an earlier check accepts the same bytes.
TEST(DetectFormatFromBuffer, EachHeaderInItsGroup)
{
    for (const SignatureCase& c : signatureCases) {
        std::vector<uint8_t> sample = SignatureSample(c);
        // JPS shares MPO's test, and MPO comes first.
        FileType inGroup = c.id == FT_JPS ? FT_MPO : c.id;
        // MPO and JPS headers are JPEG headers, which group 1 claims first.
        FileType overall = (c.id == FT_MPO || c.id == FT_JPS) ? FT_JPG : c.id;
        EXPECT_EQ(DetectFormatFromBuffer(sample.data(), 0, sample.size(), c.group == 1,
                                         c.group == 2, c.group == 3),
                  inGroup)
            << c.name;
        EXPECT_EQ(DetectAll(sample), overall) << c.name;
        EXPECT_EQ(DetectFormatFromBuffer(sample.data(), 0, sample.size(), c.group != 1,
                                         c.group != 2, c.group != 3),
                  c.id == FT_MPO || c.id == FT_JPS ? FT_JPG : FT_UNKNOWN)
            << c.name << " with its own group disabled";
    }
}

TEST(DetectFormatFromBuffer, JpegNeverDetectsAsMpoOrJps)
{
    for (std::string_view app : {"JFIF"sv, "Exif"sv, "Adob"sv}) {
        std::vector<uint8_t> jpeg = JpegHead(app);
        EXPECT_EQ(DetectAll(jpeg), FT_JPG) << app;
        EXPECT_EQ(DetectFormatFromBuffer(jpeg.data(), 0, jpeg.size(), false, true, true), FT_MPO)
            << app;
    }
}

TEST(DetectFormatFromBuffer, RiffIsWebPOnlyWithAWebPForm)
{
    std::vector<uint8_t> webp = Bytes("RIFF\x24\0\0\0WEBPVP8X"sv, 64);
    std::vector<uint8_t> avi = Bytes("RIFF\x24\0\0\0AVI LIST"sv, 64);
    std::vector<uint8_t> wave = Bytes("RIFF\x24\0\0\0WAVEfmt "sv, 64);
    EXPECT_EQ(DetectAll(webp), FT_WEBP);
    EXPECT_EQ(DetectAll(avi), FT_ANI);
    EXPECT_EQ(DetectAll(wave), FT_ANI);
}

TEST(DetectFormatFromBuffer, TargaByItsFields)
{
    std::vector<uint8_t> tga(18 + 16, 0);
    tga[2] = 2;  // uncompressed true colour
    Put(tga, 12, "\x80\x02\xE0\x01\x18"sv);  // 640 x 480, 24 bits
    EXPECT_EQ(DetectAll(tga), FT_TGA);
    tga[16] = 15;  // the loader reads 15-bit pictures, the check does not take them
    EXPECT_NE(DetectAll(tga), FT_TGA);
}

// A PCX header whose resolution fields (72 x 72 dpi) and first palette colour also satisfy the
// TGA check detects as TGA: group 1 runs before group 2.
TEST(DetectFormatFromBuffer, EarlierGroupWinsOverALaterOne)
{
    std::vector<uint8_t> pcx = Bytes("\x0A\x05\x01\x08"sv, 128);
    Put(pcx, 8, "\x07\0\x07\0\x48\0\x48\0\x20"sv);
    EXPECT_EQ(DetectAll(pcx), FT_TGA);
    EXPECT_EQ(DetectFormatFromBuffer(pcx.data(), 0, pcx.size(), false, true, true), FT_PCX);
    pcx[16] = 0x21;
    EXPECT_EQ(DetectAll(pcx), FT_PCX);
}

// Within group 2 PhotoCD (its signature at 2048) comes before the IFF forms.
TEST(DetectFormatFromBuffer, PhotoCdBeforeIff)
{
    std::vector<uint8_t> bytes = Bytes("FORM", 3000);
    EXPECT_EQ(DetectAll(bytes), FT_IFF);
    Put(bytes, 2048, "PCD_IPI");
    EXPECT_EQ(DetectAll(bytes), FT_PCD);
}

TEST(DetectFormatFromBuffer, GroupFlags)
{
    std::vector<uint8_t> png = Bytes("\x89PNG\r\n\x1A\n"sv, 32);
    EXPECT_EQ(DetectFormatFromBuffer(png.data(), 0, png.size(), false, false, false), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromBuffer(png.data(), 0, png.size(), false, true, true), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromBuffer(png.data(), 0, png.size(), true, false, false), FT_PNG);
    std::vector<uint8_t> mng = Bytes("\x8AMNG\r\n\x1A\n"sv, 32);
    EXPECT_EQ(DetectFormatFromBuffer(mng.data(), 0, mng.size(), true, true, false), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromBuffer(mng.data(), 0, mng.size(), false, false, true), FT_MNG);
}

TEST(DetectFormatFromBuffer, UsesTheOffsetAndTheLength)
{
    std::vector<uint8_t> bytes(40, 0x77);
    Put(bytes, 5, "GIF89a");
    EXPECT_EQ(DetectAll(bytes, 5), FT_GIF);
    EXPECT_EQ(DetectAll(bytes, 4), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromBuffer(bytes.data(), 5, 11, true, true, true), FT_GIF);
    EXPECT_EQ(DetectFormatFromBuffer(bytes.data(), 5, 10, true, true, true), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromBuffer(nullptr, 0, 40, true, true, true), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromBuffer(bytes.data(), UINT64_MAX - 3, 40, true, true, true), FT_UNKNOWN);
}

TEST(DetectFormatFromBuffer, ZerosAndNoiseAreNothing)
{
    std::vector<uint8_t> zeros(4096, 0);
    EXPECT_EQ(DetectAll(zeros), FT_UNKNOWN);
    std::vector<uint8_t> text = Bytes("The quick brown fox jumps over the lazy dog.\r\n", 4096);
    EXPECT_EQ(DetectAll(text), FT_UNKNOWN);
}

class DetectFile : public testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const std::vector<uint8_t>& bytes)
    {
        std::wstring path = dir_.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    TestDir dir_;
};

TEST_F(DetectFile, FilesOfNineteenBytesOrLessAreNothing)
{
    std::vector<uint8_t> jpeg = Bytes("\xFF\xD8\xFF\xE0"sv, 20);
    EXPECT_EQ(DetectFormatFromFile(Write(L"twenty.bin", jpeg).c_str()), FT_JPG);
    jpeg.resize(19);
    EXPECT_EQ(DetectFormatFromFile(Write(L"nineteen.bin", jpeg).c_str()), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromFile(Write(L"empty.bin", {}).c_str()), FT_UNKNOWN);
}

TEST_F(DetectFile, MissingOrUnnamedFileIsNothing)
{
    EXPECT_EQ(DetectFormatFromFile(dir_.File(L"missing.png").c_str()), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromFile(nullptr), FT_UNKNOWN);
    EXPECT_EQ(DetectFormatFromFile(L""), FT_UNKNOWN);
}

// A short file is tested against zero padding up to 4096 bytes: the wide windows of PhotoCD and
// JPEG XR fit, PhotoCD finds only zeros, and a JPEG XR header is found.
TEST_F(DetectFile, ShortFilesAreTestedAgainstZeroPadding)
{
    std::vector<uint8_t> iff = Bytes("FORM\0\0\0\x58ILBMBMHD"sv, 100);
    EXPECT_EQ(DetectFormatFromFile(Write(L"short.iff", iff).c_str()), FT_IFF);

    std::vector<uint8_t> jxr = Bytes("II\xBC\x01\x08\0\0\0"sv, 200);
    Put(jxr, 120, "WMPHOTO");
    EXPECT_EQ(DetectFormatFromFile(Write(L"short.jxr", jxr).c_str()), FT_JXR);

    std::vector<uint8_t> pdf = Bytes("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"sv, 40);
    EXPECT_EQ(DetectFormatFromFile(Write(L"short.pdf", pdf).c_str()), FT_PDF);
}

TEST_F(DetectFile, OnlyTheHeadIsRead)
{
    std::vector<uint8_t> bytes = Bytes("FORM", 10000);
    Put(bytes, 2048, "PCD_IPI");
    EXPECT_EQ(DetectFormatFromFile(Write(L"photocd.bin", bytes).c_str()), FT_PCD);
    std::vector<uint8_t> late(10000, 0);
    Put(late, 5000, "\x89PNG\r\n\x1A\n"sv);
    EXPECT_EQ(DetectFormatFromFile(Write(L"late.bin", late).c_str()), FT_UNKNOWN);
}

TEST(DetectFileFromTools, PicturesWrittenByImageMagick)
{
    const struct {
        const wchar_t* name;
        FileType id;
    } files[] = {
        {L"sample.png", FT_PNG},  {L"sample.jpg", FT_JPG},    {L"sample.gif", FT_GIF},
        {L"sample.tif", FT_TIF},  {L"sample-mm.tif", FT_TIF}, {L"sample.bmp", FT_BMP},
        {L"sample.tga", FT_TGA},  {L"sample.pcx", FT_PCX},    {L"sample.dcx", FT_DCX},
        {L"sample.sgi", FT_SGI},  {L"sample.ras", FT_RAS},    {L"sample.psd", FT_PSD},
        {L"sample.ico", FT_ICO},  {L"sample.webp", FT_WEBP},  {L"sample.jp2", FT_JP2},
        {L"sample.j2k", FT_JP2},  {L"sample.hdr", FT_HDR},    {L"sample.pfm", FT_PFM},
        {L"sample.mng", FT_MNG},  {L"sample.jng", FT_JNG},    {L"sample.heic", FT_HEIC},
    };
    for (const auto& file : files) {
        std::wstring path = TestDataPath(std::wstring(L"detect\\") + file.name);
        ASSERT_TRUE(FileExists(path)) << std::string(path.begin(), path.end());
        EXPECT_EQ(DetectFormatFromFile(path.c_str()), file.id)
            << std::string(path.begin(), path.end());
    }
}

}  // namespace
