#include "imagefile/formats/JppDecoder.h"
#include "imagefile/formats/NImageFileJPP.h"

#include "common/TestFiles.h"
#include "imagefile/GuardedBuffer.h"
#include "imagefile/JpegTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The entropy-coded data of a baseline JPEG without its markers and byte stuffing.
Bytes ScanData(const Bytes& jpeg)
{
    size_t p = 2;
    while (p + 4 <= jpeg.size()) {
        const uint8_t marker = jpeg[p + 1];
        const size_t length = (jpeg[p + 2] << 8) | jpeg[p + 3];
        p += 2 + length;
        if (marker == 0xDA)
            break;
    }
    Bytes data;
    while (p < jpeg.size()) {
        if (jpeg[p] == 0xFF) {
            if (p + 1 < jpeg.size() && jpeg[p + 1] == 0x00) {
                data.push_back(0xFF);
                p += 2;
                continue;
            }
            break;   // the end of the picture
        }
        data.push_back(jpeg[p++]);
    }
    return data;
}

Bytes JppFile(uint16_t width, uint16_t height, uint16_t quality, const Bytes& data)
{
    Bytes file(6 + data.size());
    const uint16_t header[3] = {width, height, quality};
    for (int i = 0; i < 3; ++i) {
        file[2 * i] = static_cast<uint8_t>(header[i]);
        file[2 * i + 1] = static_cast<uint8_t>(header[i] >> 8);
    }
    std::copy(data.begin(), data.end(), file.begin() + 6);
    return file;
}

// libjpeg's decoding with the same methods: fast integer transform, plain 2 x 2 upsampling,
// blue-first output; rows top first.
Bytes ReferenceDecode(const Bytes& jpeg, int& width, int& height)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    Bytes pixels(static_cast<size_t>(width) * height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + static_cast<size_t>(cinfo.output_scanline) * width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

uint32_t Pattern(int x, int y)
{
    const uint32_t r = static_cast<uint32_t>((x * 37 + y * 11) & 0xFF);
    const uint32_t g = static_cast<uint32_t>((x * x + 3 * y) & 0xFF);
    const uint32_t b = static_cast<uint32_t>(((x ^ y) * 29) & 0xFF);
    return (r << 16) | (g << 8) | b;
}

class JppTest : public ::testing::Test {
protected:
    NRESULT LoadBytes(const Bytes& file, NImageFileJPP& jpp)
    {
        const std::wstring path = dir.File(L"picture.jpp");
        EXPECT_TRUE(WriteWholeFile(path, file));
        return jpp.Load(path.c_str(), 0, 0, nullptr);
    }
    TestDir dir;
};

TEST_F(JppTest, DecodesLikeLibjpegWithTheSameTables)
{
    struct Case {
        int width;
        int height;
        int quality;
    };
    // 17 x 17 needs 2 x 2 units, cut to one column and one row on the right and at the bottom.
    const Case cases[] = {{17, 17, 50}, {40, 24, 75}, {33, 9, 100}, {16, 16, 10}, {64, 48, 1}};
    bool sawFF = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " q" + std::to_string(c.quality));
        const Bytes jpeg = EncodeJpeg(c.width, c.height, Pattern, c.quality);
        const Bytes data = ScanData(jpeg);
        for (size_t i = 0; i < data.size(); ++i)
            sawFF = sawFF || data[i] == 0xFF;
        int width = 0;
        int height = 0;
        const Bytes expected = ReferenceDecode(jpeg, width, height);

        NImageFileJPP jpp;
        ASSERT_EQ(NR_OK, LoadBytes(JppFile(static_cast<uint16_t>(c.width), static_cast<uint16_t>(c.height),
                                           static_cast<uint16_t>(c.quality), data), jpp));
        const NImageBuffer& picture = jpp.picture;
        ASSERT_TRUE(picture.valid);
        ASSERT_EQ(24, picture.bpp);
        ASSERT_EQ(width, picture.width);
        ASSERT_EQ(height, picture.height);
        EXPECT_EQ(width, jpp.fullWidth);
        EXPECT_EQ(height, jpp.fullHeight);
        // The file's first row is the first row of pixel memory.
        int worst = 0;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
            const uint8_t* reference = expected.data() + static_cast<size_t>(y) * width * 3;
            for (int i = 0; i < width * 3; ++i)
                worst = std::max(worst, std::abs(row[i] - reference[i]));
        }
        EXPECT_EQ(0, worst);
    }
    // Bytes FF in the data are ordinary data bytes.
    EXPECT_TRUE(sawFF);
}

TEST_F(JppTest, ShortAndEmptyData)
{
    const Bytes jpeg = EncodeJpeg(32, 32, Pattern, 80);
    Bytes data = ScanData(jpeg);
    data.resize(data.size() / 3);
    NImageFileJPP jpp;
    ASSERT_EQ(NR_OK, LoadBytes(JppFile(32, 32, 80, data), jpp));
    EXPECT_EQ(32, jpp.picture.width);
    EXPECT_EQ(6u + data.size(), jpp.GetConsumedSize());

    // Only the header: a picture decoded from zero bits (grey).
    NImageFileJPP header;
    ASSERT_EQ(NR_OK, LoadBytes(JppFile(20, 10, 50, {}), header));
    EXPECT_EQ(20, header.picture.width);
    EXPECT_EQ(10, header.picture.height);
    EXPECT_EQ(6u, header.GetConsumedSize());
}

TEST_F(JppTest, Failures)
{
    NImageFileJPP jpp;
    EXPECT_EQ(NR_PICTURE_CREATE_FAILED, LoadBytes(JppFile(0, 10, 50, {1, 2, 3}), jpp));
    EXPECT_EQ(NR_PICTURE_CREATE_FAILED, LoadBytes(JppFile(10, 0, 50, {1, 2, 3}), jpp));
    // Shorter than its header.
    EXPECT_EQ(NR_INVALID_DATA, LoadBytes({10, 0, 10}, jpp));
    EXPECT_EQ(NR_INVALID_DATA, LoadBytes({}, jpp));
    EXPECT_EQ(NR_FILE_OPEN_READ, jpp.Load(dir.File(L"missing.jpp").c_str(), 0, 0, nullptr));
    EXPECT_STREQ(dir.File(L"missing.jpp").c_str(), jpp.GetFileName());

    EXPECT_EQ(FT_JPP, jpp.GetFormatId());
    const uint8_t bytes[16] = {0xFF, 0xD8, 0xFF};
    EXPECT_FALSE(NImageFileJPP::IsFormat(bytes, 0, sizeof(bytes)));
    EXPECT_EQ(NR_FORMAT_NOT_SUPPORTED, jpp.Save(dir.File(L"out.jpp").c_str(), nullptr, nullptr));
}

TEST(JppDecoder, QuantisationByQuality)
{
    auto multipliers = [](uint16_t quality) {
        JppDecoder decoder;
        decoder.quality = quality;
        decoder.BuildQuantTables();
        return std::vector<uint16_t>(decoder.lumaMultipliers, decoder.lumaMultipliers + 64);
    };
    // The AAN factors of the first row, and quality 50 taking the standard table unchanged.
    const int aan[8] = {16384, 22725, 21407, 19266, 16384, 12873, 8867, 4520};
    const std::vector<uint16_t> q50 = multipliers(50);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ((kJppLumaQuant[i] * aan[i] + 2048) >> 12, q50[i]);
    // Quality 100 and above make every quantiser 1; 0 behaves as 1.
    const std::vector<uint16_t> q100 = multipliers(100);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ((aan[i] + 2048) >> 12, q100[i]);
    EXPECT_EQ(q100, multipliers(1000));
    EXPECT_EQ(multipliers(1), multipliers(0));
    EXPECT_EQ(5000, JppDecoder::QualityScale(0));
    EXPECT_EQ(200, JppDecoder::QualityScale(25));
    EXPECT_EQ(100, JppDecoder::QualityScale(50));
    EXPECT_EQ(0, JppDecoder::QualityScale(101));
}

TEST(JppDecoder, RangeLimitTable)
{
    JppDecoder decoder;
    decoder.BuildRangeLimit();
    const uint8_t* transform = decoder.rangeLimit + 384;
    EXPECT_EQ(128, transform[0]);
    EXPECT_EQ(255, transform[127]);
    EXPECT_EQ(255, transform[511]);
    EXPECT_EQ(0, transform[512]);
    EXPECT_EQ(0, transform[895]);
    EXPECT_EQ(0, transform[896]);
    EXPECT_EQ(127, transform[1023]);
    const uint8_t* sample = decoder.rangeLimit + 256;
    EXPECT_EQ(0, sample[-256]);
    EXPECT_EQ(0, sample[-1]);
    EXPECT_EQ(200, sample[200]);
    EXPECT_EQ(255, sample[639]);
}

// The decoder reads no byte past its data, however short the data is.
TEST(JppDecoder, ReadsNothingPastTheData)
{
    const Bytes data = ScanData(EncodeJpeg(48, 32, Pattern, 60));
    GuardedBuffer guard(data.size() + 6);
    ASSERT_TRUE(guard.valid());
    std::vector<uint8_t> pixels(static_cast<size_t>(48 * 3) * 32);
    for (size_t length : {size_t{0}, size_t{1}, size_t{7}, data.size() / 2, data.size() - 1, data.size()}) {
        const Bytes file = JppFile(48, 32, 60, Bytes(data.begin(), data.begin() + static_cast<long>(length)));
        const uint8_t* bytes = guard.AtEnd(file.data(), file.size());
        auto decoder = std::make_unique<JppDecoder>();
        uint16_t width = 0, height = 0;
        size_t offset = 0;
        ASSERT_TRUE(decoder->ParseHeader(bytes, file.size(), width, height, offset));
        EXPECT_TRUE(decoder->DecodePicture(bytes + offset, pixels.data()));
    }
    // A header cut short is not read at all.
    JppDecoder decoder;
    uint16_t width = 0, height = 0;
    size_t offset = 0;
    const uint8_t head[3] = {1, 0, 1};
    EXPECT_FALSE(decoder.ParseHeader(guard.AtEnd(head, 3), 3, width, height, offset));
}

}  // namespace
