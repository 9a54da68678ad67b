// Writing JPEG files: the frame and segments written, grey and colour palettes, EXIF brought up
// to date, comments, XMP, IPTC, the colour order of a round trip, and failures that leave no
// file behind.
#include "imagefile/formats/NImageFileJPG.h"

#include "common/TestFiles.h"
#include "JpegTestCodec.h"

#include <libexif/exif-data.h>
#include <libiptcdata/iptc-data.h>
#include <libiptcdata/iptc-dataset.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using jpegtest::Bytes;

namespace {

uint8_t* RowFromTop(NImageBuffer& picture, int y)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - y) * picture.stride;
}

// Blue-first pixel (x, y from the top) of a 24-bit picture.
void SetPixel(NImageBuffer& picture, int x, int y, uint8_t red, uint8_t green, uint8_t blue)
{
    uint8_t* p = RowFromTop(picture, y) + 3 * x;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

// A 24-bit picture with four flat quarters: red, green (top), blue, white (bottom).
void MakeQuarters(NImageBuffer& picture, int width, int height)
{
    ASSERT_TRUE(picture.Create(width, height, 24, 0));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            if (y < height / 2)
                SetPixel(picture, x, y, left ? 255 : 0, left ? 0 : 255, 0);
            else
                SetPixel(picture, x, y, left ? 0 : 255, left ? 0 : 255, 255);
        }
    }
}

std::string EntryText(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
    if (!entry)
        return "<absent>";
    char value[256] = {};
    exif_entry_get_value(entry, value, sizeof(value));
    return value;
}

class JpegWriteTest : public ::testing::Test {
protected:
    Bytes SaveAndRead(NImageFileJPG& jpeg, NImageBuffer* picture, ImageMetadata* metadata, NRESULT expected = NR_OK)
    {
        const std::wstring path = dir.File(L"out.jpg");
        EXPECT_EQ(expected, jpeg.Save(path.c_str(), picture, metadata));
        Bytes bytes;
        ReadWholeFile(path, bytes);
        return bytes;
    }
    TestDir dir;
};

TEST_F(JpegWriteTest, DefaultSaveIsBaselineQuality85With2x1ChromaAndJfifDensity)
{
    NImageBuffer picture;
    MakeQuarters(picture, 32, 16);
    picture.dpiX = 300;
    picture.dpiY = 150;
    NImageFileJPG jpeg;
    const Bytes file = SaveAndRead(jpeg, &picture, nullptr);
    ASSERT_GT(file.size(), 100u);

    const auto app0 = jpegtest::FindSegments(file, 0xE0);
    ASSERT_EQ(1u, app0.size());
    const Bytes jfif = jpegtest::SegmentBody(file, app0[0]);
    EXPECT_EQ(0, std::memcmp(jfif.data(), "JFIF", 5));
    EXPECT_EQ(1, jfif[7]);                       // dots per inch
    EXPECT_EQ(300, (jfif[8] << 8) | jfif[9]);
    EXPECT_EQ(150, (jfif[10] << 8) | jfif[11]);

    ASSERT_EQ(1u, jpegtest::FindSegments(file, 0xC0).size());   // baseline frame
    EXPECT_TRUE(jpegtest::FindSegments(file, 0xC2).empty());
    const Bytes sof = jpegtest::SegmentBody(file, jpegtest::FindSegments(file, 0xC0)[0]);
    ASSERT_EQ(3, sof[5]);
    EXPECT_EQ(0x21, sof[7]);
    EXPECT_EQ(0x11, sof[10]);
    EXPECT_EQ(0x11, sof[13]);
    // The luminance table's DC entry: 16 at quality 85 is 16 * 30 / 100 = 5.
    const Bytes dqt = jpegtest::SegmentBody(file, jpegtest::FindSegments(file, 0xDB).at(0));
    EXPECT_EQ(0, dqt[0]);
    EXPECT_EQ(5, dqt[1]);

    // Optimised Huffman tables make the file smaller than the standard ones.
    ImageSaveOptions standard;
    standard.jpegOptimize = 0;
    NImageFileJPG plain;
    plain.SetSaveOptions(&standard);
    EXPECT_LT(file.size(), SaveAndRead(plain, &picture, nullptr).size());
}

TEST_F(JpegWriteTest, ProgressiveOptionWritesAProgressiveFrame)
{
    NImageBuffer picture;
    MakeQuarters(picture, 32, 16);
    ImageSaveOptions options;
    options.jpegProgressive = 1;
    NImageFileJPG jpeg;
    jpeg.SetSaveOptions(&options);
    const Bytes file = SaveAndRead(jpeg, &picture, nullptr);
    EXPECT_EQ(1u, jpegtest::FindSegments(file, 0xC2).size());
    EXPECT_TRUE(jpegtest::FindSegments(file, 0xC0).empty());
}

TEST_F(JpegWriteTest, RoundTripKeepsTheColoursInTheirChannels)
{
    NImageBuffer picture;
    MakeQuarters(picture, 32, 32);
    NImageFileJPG writer;
    const std::wstring path = dir.File(L"quarters.jpg");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &picture, nullptr));
    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_EQ(24, reader.picture.bpp);
    struct Probe {
        int x, y;
        int red, green, blue;
    };
    const Probe probes[] = {{4, 4, 255, 0, 0}, {27, 4, 0, 255, 0}, {4, 27, 0, 0, 255}, {27, 27, 255, 255, 255}};
    for (const Probe& p : probes) {
        const uint8_t* px = RowFromTop(reader.picture, p.y) + 3 * p.x;
        EXPECT_NEAR(p.blue, px[0], 12) << p.x << "," << p.y;
        EXPECT_NEAR(p.green, px[1], 12) << p.x << "," << p.y;
        EXPECT_NEAR(p.red, px[2], 12) << p.x << "," << p.y;
    }
}

TEST_F(JpegWriteTest, PalettePicturesAreWrittenGreyOrInColour)
{
    struct Case {
        const char* name;
        uint8_t (*entry)(int index, int channel);
        int components;
        int expected;   // the decoded grey of index 200 (first channel for colour)
    };
    const Case cases[] = {
        {"grey ramp", [](int i, int) { return static_cast<uint8_t>(i); }, 1, 200},
        {"inverted grey", [](int i, int) { return static_cast<uint8_t>(255 - i); }, 1, 55},
        {"colour", [](int i, int c) { return static_cast<uint8_t>(c == 0 ? i : 0); }, 3, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t palette[256 * 3];
        for (int i = 0; i < 256; ++i)
            for (int ch = 0; ch < 3; ++ch)
                palette[3 * i + ch] = c.entry(i, ch);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(16, 16, 8, 0, palette));
        for (int y = 0; y < 16; ++y)
            std::memset(RowFromTop(picture, y), 200, 16);
        NImageFileJPG jpeg;
        const Bytes file = SaveAndRead(jpeg, &picture, nullptr);
        const Bytes sof = jpegtest::SegmentBody(file, jpegtest::FindSegments(file, 0xC0).at(0));
        EXPECT_EQ(c.components, sof[5]);
        const jpegtest::Decoded decoded =
            jpegtest::DecodeReference(file, c.components == 1 ? JCS_GRAYSCALE : JCS_RGB);
        EXPECT_NEAR(c.expected, decoded.samples[0], 2);
    }
}

TEST_F(JpegWriteTest, ThirtyTwoBitPicturesAreFlattenedOntoWhite)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(16, 16, 32, 0));
    std::memset(picture.bits, 0, static_cast<size_t>(picture.stride) * picture.height);   // transparent black
    NImageFileJPG jpeg;
    const Bytes file = SaveAndRead(jpeg, &picture, nullptr);
    const jpegtest::Decoded decoded = jpegtest::DecodeReference(file, JCS_RGB);
    EXPECT_NEAR(255, decoded.samples[0], 2);
}

TEST_F(JpegWriteTest, NewExifDescribesThePicture)
{
    NImageBuffer picture;
    MakeQuarters(picture, 40, 20);
    picture.dpiX = 300;
    picture.dpiY = 200;
    NImageFileJPG writer;
    const std::wstring path = dir.File(L"exif.jpg");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &picture, nullptr));

    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_TRUE(reader.metadata.exif.hasExif);
    ExifData* data = reader.metadata.exif.data;
    EXPECT_EQ(0u, EntryText(data, EXIF_IFD_0, EXIF_TAG_MAKE).find("Verolib "));
    EXPECT_EQ("NImageFileJPG 1.0.2", EntryText(data, EXIF_IFD_0, EXIF_TAG_SOFTWARE));
    EXPECT_EQ(19u, EntryText(data, EXIF_IFD_0, EXIF_TAG_DATE_TIME).size());
    double x = 0;
    double y = 0;
    EXPECT_TRUE(reader.metadata.exif.GetTagDouble(x, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION));
    EXPECT_TRUE(reader.metadata.exif.GetTagDouble(y, EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION));
    EXPECT_EQ(300.0, x);
    EXPECT_EQ(200.0, y);
    EXPECT_EQ("Inch", EntryText(data, EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT));
    EXPECT_EQ("40", EntryText(data, EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH));
    EXPECT_EQ("20", EntryText(data, EXIF_IFD_0, EXIF_TAG_IMAGE_LENGTH));
    EXPECT_EQ("Top-left", EntryText(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION));
    // The EXIF block follows the JFIF segment.
    Bytes file;
    ReadWholeFile(path, file);
    const auto app1 = jpegtest::FindSegments(file, 0xE1);
    ASSERT_EQ(1u, app1.size());
    EXPECT_LT(jpegtest::FindSegments(file, 0xE0).at(0), app1[0]);
    EXPECT_EQ(0, std::memcmp(jpegtest::SegmentBody(file, app1[0]).data(), "Exif\0\0", 6));
}

TEST_F(JpegWriteTest, CameraExifIsKeptButResolutionOrientationAndThumbnailAreReplaced)
{
    NImageFileJPG camera;
    ASSERT_EQ(NR_OK, camera.Load(TestDataPath(L"jpeg\\exif-orientation6.jpg").c_str(), 0, 0, nullptr));
    ExifData* source = camera.metadata.exif.data;
    ASSERT_NE(nullptr, source);
    source->data = static_cast<unsigned char*>(std::malloc(64));
    std::memset(source->data, 0xAB, 64);
    source->size = 64;
    camera.picture.dpiX = 72;
    camera.picture.dpiY = 72;

    const std::wstring path = dir.File(L"resaved.jpg");
    ASSERT_EQ(NR_OK, camera.Save(path.c_str(), nullptr, nullptr));
    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ExifData* data = reader.metadata.exif.data;
    ASSERT_NE(nullptr, data);
    EXPECT_EQ("TestCam", EntryText(data, EXIF_IFD_0, EXIF_TAG_MAKE));
    EXPECT_EQ("2021:06:15 10:20:30", EntryText(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL));
    EXPECT_EQ("<absent>", EntryText(data, EXIF_IFD_0, EXIF_TAG_SOFTWARE));
    EXPECT_EQ("Top-left", EntryText(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION));
    double x = 0;
    EXPECT_TRUE(reader.metadata.exif.GetTagDouble(x, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION));
    EXPECT_EQ(72.0, x);
    EXPECT_EQ(0u, data->size);
    EXPECT_EQ(0u, camera.metadata.exif.data->size);   // the source's metadata was changed too
}

TEST_F(JpegWriteTest, ExifToolFileKeepsItsCameraFactsButNotItsThumbnail)
{
    // Big-endian EXIF with a real 598-byte thumbnail in IFD1.
    NImageFileJPG camera;
    ASSERT_EQ(NR_OK, camera.Load(TestDataPath(L"jpeg\\exif-thumbnail.jpg").c_str(), 0, 0, nullptr));
    ASSERT_NE(nullptr, camera.metadata.exif.data);
    ASSERT_EQ(598u, camera.metadata.exif.data->size);

    const std::wstring path = dir.File(L"resaved-exiftool.jpg");
    ASSERT_EQ(NR_OK, camera.Save(path.c_str(), nullptr, nullptr));
    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ExifData* data = reader.metadata.exif.data;
    ASSERT_NE(nullptr, data);
    EXPECT_EQ("TestCam", EntryText(data, EXIF_IFD_0, EXIF_TAG_MAKE));
    EXPECT_EQ("TC-1 Mark II", EntryText(data, EXIF_IFD_0, EXIF_TAG_MODEL));
    EXPECT_EQ("2022:03:04 05:06:07", EntryText(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL));
    EXPECT_EQ(0u, data->size);
    EXPECT_EQ(70, reader.picture.width);
    EXPECT_EQ(46, reader.picture.height);
}

TEST_F(JpegWriteTest, CommentComesFromTheMetadataElseFromTheOptions)
{
    struct Case {
        const wchar_t* metadataComment;
        const wchar_t* optionsComment;
        const char* written;   // null: no COM segment
    };
    const Case cases[] = {
        {L"Holiday", L"Default text", "Holiday"},
        {L"x", L"Default text", "Default text"},
        {L"", L"y", nullptr},
        {L"", L"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.optionsComment);
        NImageBuffer picture;
        MakeQuarters(picture, 8, 8);
        ImageSaveOptions options;
        options.jpegComment = c.optionsComment;
        NImageFileJPG jpeg;
        jpeg.SetSaveOptions(&options);
        jpeg.metadata.comment = c.metadataComment;
        const Bytes file = SaveAndRead(jpeg, &picture, nullptr);
        const auto com = jpegtest::FindSegments(file, 0xFE);
        if (!c.written) {
            EXPECT_TRUE(com.empty());
            continue;
        }
        ASSERT_EQ(1u, com.size());
        const Bytes body = jpegtest::SegmentBody(file, com[0]);
        EXPECT_EQ(std::string(c.written), std::string(body.begin(), body.end()));
    }

    // Long comments are cut to 254 bytes.
    NImageBuffer picture;
    MakeQuarters(picture, 8, 8);
    NImageFileJPG jpeg;
    jpeg.metadata.comment = NString(L'c', 600);
    const Bytes file = SaveAndRead(jpeg, &picture, nullptr);
    EXPECT_EQ(254u, jpegtest::SegmentBody(file, jpegtest::FindSegments(file, 0xFE).at(0)).size());
}

TEST_F(JpegWriteTest, XmpPacketIsWrittenWhenLongerThanTenBytes)
{
    const std::string packet = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>";
    for (const std::string& xmp : {std::string("0123456789"), packet}) {
        SCOPED_TRACE(xmp);
        NImageBuffer picture;
        MakeQuarters(picture, 8, 8);
        NImageFileJPG jpeg;
        jpeg.metadata.xmp = xmp;
        const std::wstring path = dir.File(L"xmp.jpg");
        ASSERT_EQ(NR_OK, jpeg.Save(path.c_str(), &picture, nullptr));
        Bytes file;
        ReadWholeFile(path, file);
        const auto app1 = jpegtest::FindSegments(file, 0xE1);   // EXIF, then XMP
        if (xmp.size() <= 10) {
            EXPECT_EQ(1u, app1.size());
            continue;
        }
        ASSERT_EQ(2u, app1.size());
        const Bytes body = jpegtest::SegmentBody(file, app1[1]);
        ASSERT_EQ(29 + xmp.size() + 1, body.size());
        EXPECT_EQ(0, std::memcmp(body.data(), "http://ns.adobe.com/xap/1.0/\0", 29));
        EXPECT_EQ(0, body.back());
        NImageFileJPG reader;
        ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
        EXPECT_EQ(xmp, reader.metadata.xmp);
    }
}

TEST_F(JpegWriteTest, IptcTravelsInAPhotoshopBlock)
{
    NImageBuffer picture;
    MakeQuarters(picture, 8, 8);
    NImageFileJPG jpeg;
    IptcData* iptc = iptc_data_new();
    IptcDataSet* caption = iptc_dataset_new();
    iptc_dataset_set_tag(caption, IPTC_RECORD_APP_2, IPTC_TAG_CAPTION);
    const char text[] = "Harbour at dusk";
    iptc_dataset_set_data(caption, reinterpret_cast<const unsigned char*>(text), sizeof(text) - 1,
                          IPTC_DONT_VALIDATE);
    iptc_data_add_dataset(iptc, caption);
    iptc_dataset_unref(caption);
    jpeg.metadata.iptc.data = iptc;
    jpeg.metadata.iptc.hasIptc = 1;

    const std::wstring path = dir.File(L"iptc.jpg");
    ASSERT_EQ(NR_OK, jpeg.Save(path.c_str(), &picture, nullptr));
    Bytes file;
    ReadWholeFile(path, file);
    const auto app13 = jpegtest::FindSegments(file, 0xED);
    ASSERT_EQ(1u, app13.size());
    EXPECT_EQ(0, std::memcmp(jpegtest::SegmentBody(file, app13[0]).data(), "Photoshop 3.0", 13));

    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_TRUE(reader.metadata.iptc.hasIptc);
    IptcDataSet* found = iptc_data_get_dataset(reader.metadata.iptc.data, IPTC_RECORD_APP_2, IPTC_TAG_CAPTION);
    ASSERT_NE(nullptr, found);
    char value[64] = {};
    iptc_dataset_get_as_str(found, value, sizeof(value));
    EXPECT_STREQ(text, value);
    iptc_dataset_unref(found);
}

TEST_F(JpegWriteTest, FailuresLeaveNoFile)
{
    NImageFileJPG jpeg;
    NImageBuffer empty;
    EXPECT_EQ(NR_PICTURE_NOT_VALID, jpeg.Save(dir.File(L"none.jpg").c_str(), &empty, nullptr));
    EXPECT_EQ(NR_PICTURE_NOT_VALID, jpeg.Save(dir.File(L"none.jpg").c_str(), nullptr, nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"none.jpg")));

    NImageBuffer picture;
    MakeQuarters(picture, 8, 8);
    EXPECT_EQ(NR_FILE_OPEN_WRITE, jpeg.Save(dir.File(L"no-such-folder\\out.jpg").c_str(), &picture, nullptr));

    // An XMP packet too long for one segment.
    jpeg.metadata.xmp.assign(70000, 'x');
    const std::wstring path = dir.File(L"too-long.jpg");
    EXPECT_EQ(NR_ENCODE_FAILED, jpeg.Save(path.c_str(), &picture, nullptr));
    EXPECT_FALSE(FileExists(path));
    // The longest packet that fits: 65533 - 29 - 1 bytes.
    jpeg.metadata.xmp.assign(65503, 'x');
    EXPECT_EQ(NR_OK, jpeg.Save(path.c_str(), &picture, nullptr));
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    jpeg.metadata.xmp.assign(65504, 'x');
    EXPECT_EQ(NR_ENCODE_FAILED, jpeg.Save(path.c_str(), &picture, nullptr));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(JpegWriteTest, SaveFromWritesTheSourcesPictureAndMetadata)
{
    NImageFileJPG source;
    MakeQuarters(source.picture, 8, 8);
    source.metadata.comment = L"From the source";
    NImageFileJPG writer;
    EXPECT_EQ(NR_INVALID_DATA, writer.SaveFrom(dir.File(L"a.jpg").c_str(), nullptr));
    ASSERT_EQ(NR_OK, writer.SaveFrom(dir.File(L"a.jpg").c_str(), &source));
    NImageFileJPG reader;
    ASSERT_EQ(NR_OK, reader.Load(dir.File(L"a.jpg").c_str(), 0, 0, nullptr));
    EXPECT_STREQ(L"From the source", reader.metadata.comment.c_str());
}

}  // namespace
