// The signature checks: each check's window and header, the shared contract (null, empty, short
// and wrapping arguments), the field limits of the checks that test more than fixed bytes, and
// the camera-raw check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/CameraRaw.h"
#include "GuardedBuffer.h"
#include "SignatureCases.h"

namespace {

constexpr uint64_t maxU64 = UINT64_MAX;

// A buffer of `before` filler bytes, the window, and `after` filler bytes; the filler is not
// zero, so a check that looks outside its window sees something unlike the zero-padded sample.
std::vector<uint8_t> Embedded(const std::vector<uint8_t>& window, size_t before, size_t after)
{
    std::vector<uint8_t> bytes(before, 0xA5);
    bytes.insert(bytes.end(), window.begin(), window.end());
    bytes.insert(bytes.end(), after, 0x5A);
    return bytes;
}

class EveryCheck : public testing::TestWithParam<SignatureCase> {};

TEST_P(EveryCheck, AcceptsItsHeaderAtOffsetZero)
{
    const SignatureCase& c = GetParam();
    std::vector<uint8_t> sample = SignatureSample(c);
    EXPECT_TRUE(c.check(sample.data(), 0, sample.size()));
}

TEST_P(EveryCheck, AcceptsItsHeaderAtAnOddOffsetInALargerBuffer)
{
    const SignatureCase& c = GetParam();
    std::vector<uint8_t> bytes = Embedded(SignatureSample(c), 7, 13);
    EXPECT_TRUE(c.check(bytes.data(), 7, bytes.size()));
    // The same header ending exactly at the end of the buffer.
    bytes = Embedded(SignatureSample(c), 7, 0);
    EXPECT_TRUE(c.check(bytes.data(), 7, bytes.size()));
}

TEST_P(EveryCheck, RejectsAWindowOneByteShort)
{
    const SignatureCase& c = GetParam();
    std::vector<uint8_t> sample = SignatureSample(c);
    EXPECT_FALSE(c.check(sample.data(), 0, sample.size() - 1));
    std::vector<uint8_t> bytes = Embedded(sample, 7, 0);
    EXPECT_FALSE(c.check(bytes.data(), 7, bytes.size() - 1));
    // The header moved one byte closer to the end than its window allows.
    bytes = Embedded(sample, 8, 0);
    bytes.pop_back();
    EXPECT_FALSE(c.check(bytes.data(), 8, bytes.size()));
}

TEST_P(EveryCheck, RejectsACorruptedFirstSignatureByte)
{
    const SignatureCase& c = GetParam();
    std::vector<uint8_t> sample = SignatureSample(c);
    sample[c.patches[0].at] ^= 0xFF;
    EXPECT_FALSE(c.check(sample.data(), 0, sample.size()));
    std::vector<uint8_t> bytes = Embedded(sample, 7, 13);
    EXPECT_FALSE(c.check(bytes.data(), 7, bytes.size()));
}

TEST_P(EveryCheck, RejectsNullEmptyAndOutOfRangeArguments)
{
    const SignatureCase& c = GetParam();
    std::vector<uint8_t> sample = SignatureSample(c);
    // Right after a no-access page: a read before the buffer faults.
    GuardedBuffer memory(sample.size());
    ASSERT_TRUE(memory.valid());
    const uint8_t* p = memory.AtStart(sample.data(), sample.size());
    const uint64_t n = sample.size();
    EXPECT_FALSE(c.check(nullptr, 0, n));
    EXPECT_FALSE(c.check(p, 0, 0));
    EXPECT_FALSE(c.check(p, n, n));
    EXPECT_FALSE(c.check(p, n + 1, n));
    // Offsets whose sum with the window wraps past zero: a test written as offset + window >
    // length would pass them and read far outside the buffer.
    for (uint64_t back = 0; back <= c.window + 1; ++back)
        EXPECT_FALSE(c.check(p, maxU64 - back, n)) << "offset UINT64_MAX - " << back;
    EXPECT_FALSE(c.check(p, maxU64 - c.window + 1, maxU64)) << "length UINT64_MAX";
}

// A header that fills the buffer up to a no-access page is read without a fault, and so is a
// buffer that starts right after one. Any shorter start of the header (the last byte less, or
// just its first bytes in a small buffer) is rejected at every offset before any read.
TEST_P(EveryCheck, StaysInsideFencedMemory)
{
    const SignatureCase& c = GetParam();
    std::vector<uint8_t> sample = SignatureSample(c);
    GuardedBuffer memory(sample.size());
    ASSERT_TRUE(memory.valid());
    EXPECT_TRUE(c.check(memory.AtEnd(sample.data(), sample.size()), 0, sample.size()));
    EXPECT_TRUE(c.check(memory.AtStart(sample.data(), sample.size()), 0, sample.size()));
    std::vector<size_t> lengths = {sample.size() - 1};
    for (size_t length = 1; length < sample.size() - 1 && length <= 64; ++length)
        lengths.push_back(length);
    for (size_t length : lengths) {
        const uint8_t* shorter = memory.AtEnd(sample.data(), length);
        for (uint64_t offset = 0; offset <= length; ++offset)
            EXPECT_FALSE(c.check(shorter, offset, length)) << "length " << length;
    }
}

TEST_P(EveryCheck, ObjectAnswersTheRegistryId)
{
    const SignatureCase& c = GetParam();
    std::unique_ptr<NImageFile> object(c.make());
    EXPECT_EQ(object->GetFormatId(), c.id);
}

INSTANTIATE_TEST_SUITE_P(Signatures, EveryCheck, testing::ValuesIn(signatureCases),
                         [](const testing::TestParamInfo<SignatureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RlaSignature, IsNeverRecognised)
{
    std::vector<uint8_t> bytes(4096, 0);
    for (uint64_t offset : {0ull, 1ull, 100ull})
        EXPECT_FALSE(NImageFileRLA::IsFormat(bytes.data(), offset, bytes.size()));
    EXPECT_FALSE(NImageFileRLA::IsFormat(nullptr, 0, 0));
    EXPECT_EQ(NImageFileRLA().GetFormatId(), FT_RLA);
}

TEST(JpegSignature, NeedsTenBytesThoughItComparesThree)
{
    uint8_t bytes[10] = {0xFF, 0xD8, 0xFF};
    for (uint64_t offset = 0; offset <= 9; ++offset)
        EXPECT_FALSE(NImageFileJPG::IsFormat(bytes, offset, 9)) << offset;
    EXPECT_TRUE(NImageFileJPG::IsFormat(bytes, 0, 10));
    for (uint64_t offset = 1; offset <= 10; ++offset)
        EXPECT_FALSE(NImageFileJPG::IsFormat(bytes, offset, 10)) << offset;
}

// Further windows placed at the last position they fit and one past it.
TEST(SignatureWindows, LastPositionInABuffer)
{
    std::vector<uint8_t> bytes(40, 0x11);
    auto put = [&](size_t at, std::string_view text) {
        std::fill(bytes.begin(), bytes.end(), 0x11);
        std::copy(text.begin(), text.end(), bytes.begin() + at);
    };
    // "8BPS" needs exactly its four bytes.
    put(36, "8BPS");
    EXPECT_TRUE(NImageFilePSD::IsFormat(bytes.data(), 36, 40));
    EXPECT_FALSE(NImageFilePSD::IsFormat(bytes.data(), 37, 40));
    // "IMAGE11" and its zero byte need nine bytes: not found in the last eight.
    put(32, "IMAGE11\0"sv);
    EXPECT_FALSE(NImageFileFLT::IsFormat(bytes.data(), 32, 40));
    put(31, "IMAGE11\0"sv);
    EXPECT_TRUE(NImageFileFLT::IsFormat(bytes.data(), 31, 40));
    // The JPEG 2000 code-stream markers are four bytes, but the check needs eight.
    put(33, "\xFF\x4F\xFF\x51"sv);
    EXPECT_FALSE(NImageFileJP2::IsFormat(bytes.data(), 33, 40));
    put(32, "\xFF\x4F\xFF\x51"sv);
    EXPECT_TRUE(NImageFileJP2::IsFormat(bytes.data(), 32, 40));
}

// Checks that test header fields, by the limits of each field. Each row writes its bytes over a
// zero-filled window of the check's size and expects the answer.
struct FieldCase {
    const char* what;
    SignatureCheck check;
    uint32_t window;
    SignaturePatch patches[3];
    bool expected;
};

const FieldCase fieldCases[] = {
    {"BMP header 11", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x0B"sv}}, false},
    {"BMP header 12", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x0C"sv}}, true},
    {"BMP header 108", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x6C"sv}}, true},
    {"BMP header 109", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x6D"sv}}, false},
    {"BMP header 123", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x7B"sv}}, false},
    {"BMP header 124 (version 5)", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x7C"sv}}, true},
    {"BMP header 125", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x7D"sv}}, false},
    {"BMP header 40 + 2^16", NImageFileBMP::IsFormat, 18, {{0, "BM"sv}, {14, "\x28\0\x01"sv}}, false},

    {"TGA type 10, 19999 x 1, 32 bits", NImageFileTGA::IsFormat, 19,
     {{2, "\x0A"sv}, {12, "\x1F\x4E\x01\x00\x20"sv}}, true},
    {"TGA width 20000", NImageFileTGA::IsFormat, 19, {{2, "\x02"sv}, {12, "\x20\x4E\x01\x00\x18"sv}}, false},
    {"TGA height 0", NImageFileTGA::IsFormat, 19, {{2, "\x02"sv}, {12, "\x01\x00\x00\x00\x18"sv}}, false},
    {"TGA depth 15", NImageFileTGA::IsFormat, 19, {{2, "\x02"sv}, {12, "\x80\x02\xE0\x01\x0F"sv}}, false},
    {"TGA depth 1", NImageFileTGA::IsFormat, 19, {{2, "\x03"sv}, {12, "\x80\x02\xE0\x01\x01"sv}}, true},
    {"TGA type 0", NImageFileTGA::IsFormat, 19, {{2, "\x00"sv}, {12, "\x80\x02\xE0\x01\x18"sv}}, false},
    {"TGA type 4", NImageFileTGA::IsFormat, 19, {{2, "\x04"sv}, {12, "\x80\x02\xE0\x01\x18"sv}}, false},
    {"TGA type 11", NImageFileTGA::IsFormat, 19, {{2, "\x0B"sv}, {12, "\x80\x02\xE0\x01\x08"sv}}, true},
    {"TGA type 12", NImageFileTGA::IsFormat, 19, {{2, "\x0C"sv}, {12, "\x80\x02\xE0\x01\x08"sv}}, false},

    {"LMC lower case", NImageFileLMC::IsFormat, 14, {{0, "l\0m\0c\0d\0o\0c\0" "2\0"sv}}, true},
    {"LMC mixed case v1", NImageFileLMC::IsFormat, 14, {{0, "L\0m\0C\0d\0O\0c\0" "1\0"sv}}, true},
    {"LMC version 4", NImageFileLMC::IsFormat, 14, {{0, "L\0M\0C\0D\0O\0C\0" "4\0"sv}}, false},
    {"LMC version 0", NImageFileLMC::IsFormat, 14, {{0, "L\0M\0C\0D\0O\0C\0" "0\0"sv}}, false},
    {"LMC no digit", NImageFileLMC::IsFormat, 14, {{0, "L\0M\0C\0D\0O\0C\0"sv}}, false},
    {"LMC digit in a high byte", NImageFileLMC::IsFormat, 14, {{0, "L\0M\0C\0D\0O\0C\0" "3\x01"sv}}, false},
    {"LMC non-ASCII letter", NImageFileLMC::IsFormat, 14, {{0, "L\x01M\0C\0D\0O\0C\0" "3\0"sv}}, false},
    {"LMC narrow text", NImageFileLMC::IsFormat, 14, {{0, "LMCDOC3"sv}}, false},

    {"PCX version 6", NImageFilePCX::IsFormat, 5, {{0, "\x0A\x06\x01\x08"sv}}, false},
    {"PCX encoding 2", NImageFilePCX::IsFormat, 5, {{0, "\x0A\x05\x02\x08"sv}}, false},
    {"PCX 24 bits", NImageFilePCX::IsFormat, 5, {{0, "\x0A\x00\x00\x18"sv}}, true},
    {"PCX 25 bits", NImageFilePCX::IsFormat, 5, {{0, "\x0A\x05\x01\x19"sv}}, false},

    {"ICO 31 entries", NImageFileICO::IsFormat, 7, {{0, "\0\0\x01\0\x1F\0"sv}}, true},
    {"ICO 32 entries", NImageFileICO::IsFormat, 7, {{0, "\0\0\x01\0\x20\0"sv}}, false},
    {"ICO no entry", NImageFileICO::IsFormat, 7, {{0, "\0\0\x01\0\0\0"sv}}, false},
    {"ICO 257 entries", NImageFileICO::IsFormat, 7, {{0, "\0\0\x01\0\x01\x01"sv}}, false},
    {"cursor", NImageFileICO::IsFormat, 7, {{0, "\0\0\x02\0\x01\0"sv}}, true},
    {"ICO type 3", NImageFileICO::IsFormat, 7, {{0, "\0\0\x03\0\x01\0"sv}}, false},
    {"ICO reserved 1", NImageFileICO::IsFormat, 7, {{0, "\x01\0\x01\0\x01\0"sv}}, false},

    {"SGI two bytes per channel", NImageFileSGI::IsFormat, 5, {{0, "\x01\xDA\x00\x02"sv}}, false},
    {"SGI run-length", NImageFileSGI::IsFormat, 5, {{0, "\x01\xDA\x01\x01"sv}}, true},
    {"SGI little-endian magic", NImageFileSGI::IsFormat, 5, {{0, "\xDA\x01\x00\x01"sv}}, false},

    {"CLP 199 entries", NImageFileCLP::IsFormat, 5, {{0, "\x50\xC3\xC7\x00"sv}}, true},
    {"CLP 200 entries", NImageFileCLP::IsFormat, 5, {{0, "\x50\xC3\xC8\x00"sv}}, false},
    {"CLP no entry", NImageFileCLP::IsFormat, 5, {{0, "\x50\xC3\x00\x00"sv}}, false},

    {"ZBR version 5", NImageFileZBR::IsFormat, 5, {{0, "\x9A\x02\x05\x00"sv}}, false},
    {"ZBR version 0", NImageFileZBR::IsFormat, 5, {{0, "\x9A\x02\x00\x00"sv}}, true},

    {"PFM grey", NImageFilePFM::IsFormat, 3, {{0, "Pf"sv}}, true},
    {"PFM other", NImageFilePFM::IsFormat, 3, {{0, "PG"sv}}, false},
    {"PPP version 3", NImageFilePPP::IsFormat, 5, {{0, "PP\x03"sv}}, false},
    {"MSP version 1", NImageFileMSP::IsFormat, 5, {{0, "DanM"sv}}, true},
    {"MSP other", NImageFileMSP::IsFormat, 5, {{0, "DanS"sv}}, false},
    {"IFF list", NImageFileIFF::IsFormat, 5, {{0, "LIST"sv}}, true},
    {"IFF catalogue", NImageFileIFF::IsFormat, 5, {{0, "CAT "sv}}, true},
    {"IFF catalogue with zero", NImageFileIFF::IsFormat, 5, {{0, "CAT\0"sv}}, false},
    {"PIC3 PIC and anything", NImageFilePIC3::IsFormat, 4, {{0, "PICT"sv}}, true},
    {"PIC without PICT", NImageFilePIC::IsFormat, 92, {{0, "\x53\x80\xF6\x34"sv}, {88, "PICS"sv}}, false},
    {"GEM pattern at 0", NImageFileGEM::IsFormat, 12, {{0, "\0\x55\0\x55"sv}}, false},

    {"HDR oconv", NImageFileHDR::IsFormat, 33, {{0, "#!/bin/sh oconv\n"sv}}, true},
    {"HDR oconv after a zero byte", NImageFileHDR::IsFormat, 33, {{0, "x"sv}, {27, "oconv"sv}}, false},
    {"HDR oconv in an unbroken text", NImageFileHDR::IsFormat, 33,
     {{0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0"sv}, {27, "oconv"sv}}, true},
    {"HDR oconv past byte 31", NImageFileHDR::IsFormat, 33,
     {{0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01"sv}, {28, "oconv"sv}}, false},
    {"HDR after a zero byte", NImageFileHDR::IsFormat, 33, {{0, "ab"sv}, {3, "#?RADIANCE"sv}}, false},
    {"HDR RGBE magic", NImageFileHDR::IsFormat, 33, {{0, "#?RGBE\n"sv}}, false},

    {"GIF87a", NImageFileGIF::IsFormat, 6, {{0, "GIF87a"sv}}, true},
    {"GIF88a", NImageFileGIF::IsFormat, 6, {{0, "GIF88a"sv}}, false},
    {"GIF89b", NImageFileGIF::IsFormat, 6, {{0, "GIF89b"sv}}, false},
    {"TIFF big-endian", NImageFileTIF::IsFormat, 4, {{0, "MM\0*"sv}}, true},
    {"TIFF mixed order", NImageFileTIF::IsFormat, 4, {{0, "II\0*"sv}}, false},
    {"BigTIFF", NImageFileTIF::IsFormat, 4, {{0, "II+\0"sv}}, false},
    {"WebP lossless", NImageFileWEBP::IsFormat, 16, {{0, "RIFF"sv}, {8, "WEBPVP8L"sv}}, true},
    {"WebP with an unknown chunk", NImageFileWEBP::IsFormat, 16, {{0, "RIFF"sv}, {8, "WEBPALPH"sv}}, false},
    {"RIFF AVI", NImageFileWEBP::IsFormat, 16, {{0, "RIFF"sv}, {8, "AVI LIST"sv}}, false},
    {"HEIC mif1", NImageFileHEIC::IsFormat, 13, {{4, "ftypmif1"sv}}, true},
    {"HEIC msf1", NImageFileHEIC::IsFormat, 13, {{4, "ftypmsf1"sv}}, true},
    {"HEIC heis", NImageFileHEIC::IsFormat, 13, {{4, "ftypheis"sv}}, true},
    {"HEIC heix", NImageFileHEIC::IsFormat, 13, {{4, "ftypheix"sv}}, false},
    {"AVIF", NImageFileHEIC::IsFormat, 13, {{4, "ftypavif"sv}}, false},
    {"JP2 code stream", NImageFileJP2::IsFormat, 8, {{0, "\xFF\x4F\xFF\x51"sv}}, true},
    {"JP2 box of another length", NImageFileJP2::IsFormat, 8, {{0, "\0\0\0\x0D\x6A\x50\x20\x20"sv}}, false},
    {"JXR WMPHOTO right after the header", NImageFileJXR::IsFormat, 1025, {{0, "II\xBC\x01WMPHOTO"sv}}, true},
    {"JXR WMPHOTO past byte 1023", NImageFileJXR::IsFormat, 1025, {{0, "II\xBC\x01"sv}, {1018, "WMPHOTO"sv}}, false},
    {"JXR without WMPHOTO", NImageFileJXR::IsFormat, 1025, {{0, "II\xBC\x01WMPHOTx"sv}}, false},
    {"MPO with JFIF", NImageFileMPO::IsFormat, 12, {{0, "\xFF\xD8\xFF\xE0"sv}, {6, "JFIF"sv}}, true},
    {"MPO with Adobe", NImageFileMPO::IsFormat, 12, {{0, "\xFF\xD8\xFF\xEE"sv}, {6, "Adobe"sv}}, true},
    {"MPO with another segment", NImageFileMPO::IsFormat, 12, {{0, "\xFF\xD8\xFF\xE2"sv}, {6, "ICC_"sv}}, false},
    {"JPS with Exif", NImageFileJPS::IsFormat, 12, {{0, "\xFF\xD8\xFF\xE1"sv}, {6, "Exif"sv}}, true},
    {"JPS without start of image", NImageFileJPS::IsFormat, 12, {{0, "\xFF\xD9\xFF\xE0"sv}, {6, "JFIF"sv}}, false},
};

class HeaderFields : public testing::TestWithParam<FieldCase> {};

TEST_P(HeaderFields, DecideTheAnswer)
{
    const FieldCase& c = GetParam();
    std::vector<uint8_t> bytes(c.window, 0);
    for (const SignaturePatch& patch : c.patches)
        std::copy(patch.bytes.begin(), patch.bytes.end(), bytes.begin() + patch.at);
    EXPECT_EQ(c.check(bytes.data(), 0, bytes.size()), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Signatures, HeaderFields, testing::ValuesIn(fieldCases),
                         [](const testing::TestParamInfo<FieldCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name + "_" + std::to_string(info.index);
                         });

// Camera raw: each signature with the bytes it needs; those groups are exact, not one byte
// larger than what they compare.
struct RawCase {
    const char* what;
    uint32_t needs;
    SignaturePatch patch;
};

const RawCase rawCases[] = {
    {"TIFF big-endian", 4, {0, "MM\0*"sv}},
    {"TIFF little-endian", 4, {0, "II*\0"sv}},
    {"Canon CRW", 4, {0, "II\x1A\0"sv}},
    {"Panasonic", 4, {0, "IIU\0"sv}},
    {"Olympus ORF", 4, {0, "IIRO"sv}},
    {"CR3 at the box size", 13, {4, "ftypcrx "sv}},
    {"CR3 reversed brand", 13, {4, "ftyp xrc"sv}},
    {"Contax", 32, {25, "ARECOYK"sv}},
    {"Fujifilm RAF", 32, {0, "FUJIFILMCCD-RAW"sv}},
    {"Nokia", 32, {0, "NOKIARAW"sv}},
    {"DSC-Image", 32, {0, "DSC-Image"sv}},
    {"PWAD", 32, {0, "PWAD"sv}},
    {"CR3 at the box type", 32, {0, "ftypcrx"sv}},
};

class CameraRaw : public testing::TestWithParam<RawCase> {};

TEST_P(CameraRaw, NeedsExactlyItsBytes)
{
    const RawCase& c = GetParam();
    std::vector<uint8_t> window(c.needs, 0);
    std::copy(c.patch.bytes.begin(), c.patch.bytes.end(), window.begin() + c.patch.at);
    GuardedBuffer memory(window.size() + 16);
    ASSERT_TRUE(memory.valid());

    const uint8_t* atEnd = memory.AtEnd(window.data(), window.size());
    EXPECT_TRUE(IsCameraRawData(atEnd, 0, window.size()));
    EXPECT_FALSE(IsCameraRawData(atEnd, 0, window.size() - 1));
    const uint8_t* shortBy1 = memory.AtEnd(window.data(), window.size() - 1);
    EXPECT_FALSE(IsCameraRawData(shortBy1, 0, window.size() - 1));

    std::vector<uint8_t> bytes = Embedded(window, 9, 0);
    const uint8_t* odd = memory.AtEnd(bytes.data(), bytes.size());
    EXPECT_TRUE(IsCameraRawData(odd, 9, bytes.size()));
    EXPECT_FALSE(IsCameraRawData(odd, 10, bytes.size()));

    window[c.patch.at] ^= 0xFF;
    EXPECT_FALSE(IsCameraRawData(window.data(), 0, window.size()));
}

INSTANTIATE_TEST_SUITE_P(Signatures, CameraRaw, testing::ValuesIn(rawCases),
                         [](const testing::TestParamInfo<RawCase>& info) {
                             return "raw_" + std::to_string(info.index);
                         });

TEST(CameraRawContract, RejectsNullEmptyAndWrappingArguments)
{
    const uint8_t tiff[4] = {'M', 'M', 0x00, 0x2A};
    EXPECT_FALSE(IsCameraRawData(nullptr, 0, 4));
    EXPECT_FALSE(IsCameraRawData(tiff, 0, 0));
    EXPECT_FALSE(IsCameraRawData(tiff, 0, 3));
    EXPECT_TRUE(IsCameraRawData(tiff, 0, 4));
    for (uint64_t back = 0; back <= 33; ++back)
        EXPECT_FALSE(IsCameraRawData(tiff, maxU64 - back, 4)) << back;
}

TEST(CameraRawContract, LaterGroupsStillRunAfterAnEarlyNearMiss)
{
    // "MM" that is not a TIFF header does not stop the 32-byte tests.
    std::vector<uint8_t> bytes(32, 0);
    bytes[0] = 'M';
    bytes[1] = 'M';
    std::string_view contax = "ARECOYK";
    std::copy(contax.begin(), contax.end(), bytes.begin() + 25);
    EXPECT_TRUE(IsCameraRawData(bytes.data(), 0, 32));
    EXPECT_FALSE(IsCameraRawData(bytes.data(), 0, 31));
}

}  // namespace
