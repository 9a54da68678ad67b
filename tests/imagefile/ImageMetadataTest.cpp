// Picture metadata: typed EXIF values from text, the EXIF block loader, rationals from
// doubles and IPTC records from JPEG files.
#include "imagefile/ImageMetadata.h"

#include "common/TestFiles.h"

#include <libiptcdata/iptc-dataset.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int kMain = 0;
constexpr int kExifIfd = 2;
constexpr int kGps = 3;

ExifEntry* Entry(const NExifHolder& holder, int ifd, int tag)
{
    return exif_content_get_entry(holder.data->ifd[ifd], static_cast<ExifTag>(tag));
}

ExifByteOrder Order(const NExifHolder& holder)
{
    return exif_data_get_byte_order(holder.data);
}

ExifRational RationalAt(const NExifHolder& holder, ExifEntry* entry, int index)
{
    return exif_get_rational(entry->data + 8 * index, Order(holder));
}

class ExifHolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(holder.Reset()); }
    NExifHolder holder;
};

// The marker structure of a JPEG: SOI, the given segments, a start of scan, EOI.
std::vector<unsigned char> Jpeg(const std::vector<std::vector<unsigned char>>& segments)
{
    std::vector<unsigned char> bytes = {0xFF, 0xD8};
    for (const auto& s : segments)
        bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.insert(bytes.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    bytes.insert(bytes.end(), 512, 0x55);    // entropy-coded data
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    return bytes;
}

std::vector<unsigned char> Segment(unsigned char marker, const std::vector<unsigned char>& payload)
{
    const size_t length = payload.size() + 2;
    std::vector<unsigned char> s = {0xFF, marker, static_cast<unsigned char>(length >> 8),
                                    static_cast<unsigned char>(length & 0xFF)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

// An APP13 Photoshop block holding one resource of the given id.
std::vector<unsigned char> PhotoshopSegment(uint16_t resourceId, const std::vector<unsigned char>& resource)
{
    const char header[] = "Photoshop 3.0";
    std::vector<unsigned char> p(header, header + sizeof header);     // with its NUL
    p.insert(p.end(), {'8', 'B', 'I', 'M', static_cast<unsigned char>(resourceId >> 8),
                       static_cast<unsigned char>(resourceId & 0xFF), 0, 0});
    const uint32_t size = static_cast<uint32_t>(resource.size());
    p.insert(p.end(), {static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
                       static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)});
    p.insert(p.end(), resource.begin(), resource.end());
    if (resource.size() % 2)
        p.push_back(0);
    return Segment(0xED, p);
}

}  // namespace

TEST_F(ExifHolderTest, IntegerCreatesTheEntryWithItsStandardFormat)
{
    EXPECT_TRUE(holder.SetTagInt(1, kMain, 274));
    ExifEntry* e = Entry(holder, kMain, 274);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, EXIF_FORMAT_SHORT);
    ASSERT_EQ(e->components, 1u);
    EXPECT_EQ(exif_get_short(e->data, Order(holder)), 1);

    EXPECT_TRUE(holder.SetTagInt(6, kMain, 274));
    EXPECT_EQ(exif_get_short(Entry(holder, kMain, 274)->data, Order(holder)), 6);
}

TEST_F(ExifHolderTest, GpsPositionTakesThreeRationals)
{
    EXPECT_TRUE(holder.SetTagText("10 20 30", kGps, 2));
    ExifEntry* e = Entry(holder, kGps, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, EXIF_FORMAT_RATIONAL);
    ASSERT_EQ(e->components, 3u);
    ASSERT_EQ(e->size, 24u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(RationalAt(holder, e, i).numerator, 10u * (i + 1));
        EXPECT_EQ(RationalAt(holder, e, i).denominator, 1u);
    }

    // Too few values: the ones given are written, then false.
    EXPECT_FALSE(holder.SetTagText("10 20", kGps, 2));
    e = Entry(holder, kGps, 2);
    EXPECT_EQ(RationalAt(holder, e, 0).numerator, 10u);
    EXPECT_EQ(RationalAt(holder, e, 1).numerator, 20u);
    EXPECT_EQ(RationalAt(holder, e, 1).denominator, 1u);
    EXPECT_EQ(RationalAt(holder, e, 2).numerator, 0u);

    // References are texts; the version tag is one LONG.
    EXPECT_TRUE(holder.SetTagText("N", kGps, 1));
    e = Entry(holder, kGps, 1);
    EXPECT_EQ(e->format, EXIF_FORMAT_ASCII);
    EXPECT_EQ(e->size, 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(e->data), "N");
    EXPECT_TRUE(holder.SetTagText("2", kGps, 0));
    e = Entry(holder, kGps, 0);
    EXPECT_EQ(e->format, EXIF_FORMAT_LONG);
    ASSERT_EQ(e->size, 4u);
    EXPECT_EQ(exif_get_long(e->data, Order(holder)), 2u);
}

TEST_F(ExifHolderTest, TextEntriesKeepTheirTerminator)
{
    EXPECT_TRUE(holder.SetTagText("NImageFileJPG 1.0.2", kMain, 305));
    ExifEntry* e = Entry(holder, kMain, 305);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, EXIF_FORMAT_ASCII);
    EXPECT_EQ(e->size, 20u);
    EXPECT_EQ(e->components, 20u);
    EXPECT_STREQ(reinterpret_cast<const char*>(e->data), "NImageFileJPG 1.0.2");

    EXPECT_TRUE(holder.SetTagText("", kMain, 305));
    EXPECT_EQ(Entry(holder, kMain, 305)->size, 1u);
    EXPECT_FALSE(holder.SetTagText(nullptr, kMain, 305));
}

TEST_F(ExifHolderTest, WindowsTitleIsUtf16Bytes)
{
    EXPECT_TRUE(holder.SetTagText("Hi", kMain, 40091));
    ExifEntry* e = Entry(holder, kMain, 40091);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, EXIF_FORMAT_BYTE);
    ASSERT_EQ(e->size, 6u);
    EXPECT_EQ(e->components, 6u);
    const unsigned char expected[] = {'H', 0, 'i', 0, 0, 0};
    EXPECT_EQ(std::memcmp(e->data, expected, 6), 0);

    // Long text is cut to 16383 characters and a terminator.
    const std::string longText(20000, 'k');
    EXPECT_TRUE(holder.SetTagText(longText.c_str(), kMain, 40094));
    e = Entry(holder, kMain, 40094);
    ASSERT_EQ(e->size, 32768u);
    EXPECT_EQ(e->data[32764], 'k');
    EXPECT_EQ(e->data[32766], 0);
    EXPECT_EQ(e->data[32767], 0);
}

TEST_F(ExifHolderTest, DoublesKeepOnlyTheirWholePart)
{
    EXPECT_TRUE(holder.SetTagDouble(72.5, kMain, 282));
    ExifEntry* e = Entry(holder, kMain, 282);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(RationalAt(holder, e, 0).numerator, 72u);
    EXPECT_EQ(RationalAt(holder, e, 0).denominator, 1u);
    EXPECT_TRUE(holder.SetTagDouble(96.0, kMain, 283));
    EXPECT_EQ(RationalAt(holder, Entry(holder, kMain, 283), 0).numerator, 96u);

    double value = -1;
    EXPECT_TRUE(holder.GetTagDouble(value, kMain, 282));
    EXPECT_EQ(value, 72.0);

    // Signed rationals keep their sign.
    EXPECT_TRUE(holder.SetTagDouble(-2.7, kExifIfd, 37380));
    EXPECT_EQ(Entry(holder, kExifIfd, 37380)->format, EXIF_FORMAT_SRATIONAL);
    EXPECT_TRUE(holder.GetTagDouble(value, kExifIfd, 37380));
    EXPECT_EQ(value, -2.0);

    // Values beyond 32 bits or not numbers do no harm.
    EXPECT_TRUE(holder.SetTagDouble(1e30, kMain, 282));
    EXPECT_TRUE(holder.SetTagDouble(std::numeric_limits<double>::quiet_NaN(), kMain, 282));
    EXPECT_TRUE(holder.SetTagDouble(-std::numeric_limits<double>::infinity(), kMain, 282));
}

TEST_F(ExifHolderTest, ReadingNumbers)
{
    double value = 5.5;
    EXPECT_FALSE(holder.GetTagDouble(value, kMain, 282));
    EXPECT_EQ(value, 5.5);

    // Other formats leave the value as it is.
    ASSERT_TRUE(holder.SetTagInt(3, kMain, 274));
    EXPECT_TRUE(holder.GetTagDouble(value, kMain, 274));
    EXPECT_EQ(value, 5.5);

    // A zero denominator reads as 0.
    ASSERT_TRUE(holder.SetTagDouble(300, kMain, 282));
    ExifEntry* e = Entry(holder, kMain, 282);
    exif_set_rational(e->data, Order(holder), ExifRational{300, 0});
    EXPECT_TRUE(holder.GetTagDouble(value, kMain, 282));
    EXPECT_EQ(value, 0.0);
    exif_set_rational(e->data, Order(holder), ExifRational{1, 3});
    EXPECT_TRUE(holder.GetTagDouble(value, kMain, 282));
    EXPECT_DOUBLE_EQ(value, 1.0 / 3.0);
}

TEST_F(ExifHolderTest, ValueShorterThanItsComponentsIsNotOverrun)
{
    // An entry as a damaged file may leave it: three SHORT components but room for one.
    ASSERT_TRUE(holder.SetTagInt(1, kMain, 274));
    ExifEntry* e = Entry(holder, kMain, 274);
    ASSERT_EQ(e->size, 2u);
    e->components = 3;
    EXPECT_FALSE(holder.SetTagText("7 8 9", kMain, 274));
    EXPECT_EQ(exif_get_short(e->data, Order(holder)), 7);
    EXPECT_EQ(e->size, 2u);
}

TEST_F(ExifHolderTest, RemoveAndAddUndefined)
{
    EXPECT_FALSE(holder.RemoveTag(kMain, 274));
    ASSERT_TRUE(holder.SetTagInt(1, kMain, 274));
    EXPECT_TRUE(holder.RemoveTag(kMain, 274));
    EXPECT_EQ(Entry(holder, kMain, 274), nullptr);
    EXPECT_FALSE(holder.RemoveTag(kMain, 274));

    ExifEntry* e = holder.AddUndefinedTag(kGps, 2, 24);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, EXIF_FORMAT_UNDEFINED);
    EXPECT_EQ(e->components, 24u);
    ASSERT_EQ(e->size, 24u);
    EXPECT_EQ(Entry(holder, kGps, 2), e);
    for (unsigned i = 0; i < 24; ++i)
        EXPECT_EQ(e->data[i], 0);
    std::memset(e->data, 0xAB, 24);

    // The same tag again replaces the entry instead of handing out a released one.
    ExifEntry* again = holder.AddUndefinedTag(kGps, 2, 8);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Entry(holder, kGps, 2), again);
    EXPECT_EQ(holder.data->ifd[kGps]->count, 1u);
    std::memset(again->data, 0xCD, 8);
}

TEST(NExifHolder, WithoutDataEveryOperationFailsQuietly)
{
    NExifHolder holder;
    double value = 1;
    EXPECT_FALSE(holder.SetTagText("1", kMain, 274));
    EXPECT_FALSE(holder.SetTagInt(1, kMain, 274));
    EXPECT_FALSE(holder.GetTagDouble(value, kMain, 282));
    EXPECT_FALSE(holder.RemoveTag(kMain, 274));
    EXPECT_EQ(holder.AddUndefinedTag(kGps, 2, 24), nullptr);

    ASSERT_TRUE(holder.Reset());
    for (int ifd : {-1, 5, 100}) {
        EXPECT_FALSE(holder.SetTagText("1", ifd, 274));
        EXPECT_FALSE(holder.RemoveTag(ifd, 274));
        EXPECT_EQ(holder.AddUndefinedTag(ifd, 2, 4), nullptr);
    }
}

TEST(NExifHolder, LoadFromBytes)
{
    // A block written by libexif from a holder with a few entries.
    NExifHolder source;
    ASSERT_TRUE(source.Reset());
    ASSERT_TRUE(source.SetTagText("Maker", kMain, 271));
    ASSERT_TRUE(source.SetTagInt(8, kMain, 274));
    unsigned char* block = nullptr;
    unsigned int blockSize = 0;
    exif_data_save_data(source.data, &block, &blockSize);
    ASSERT_NE(block, nullptr);

    NExifHolder loaded;
    EXPECT_TRUE(loaded.LoadFromBytes(block, blockSize));
    EXPECT_TRUE(loaded.hasExif);
    ExifEntry* make = Entry(loaded, kMain, 271);
    ASSERT_NE(make, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(make->data), "Maker");

    // Cut blocks load what they hold and never read past their end.
    for (unsigned int cut = 1; cut < blockSize; ++cut) {
        std::vector<unsigned char> part(block, block + cut);
        NExifHolder partial;
        partial.LoadFromBytes(part.data(), part.size());
    }
    std::free(block);

    // Nothing usable: false, flag clear, the data kept.
    NExifHolder empty;
    const unsigned char garbage[] = "this is not an EXIF block at all";
    EXPECT_FALSE(empty.LoadFromBytes(garbage, sizeof garbage));
    EXPECT_FALSE(empty.hasExif);
    EXPECT_NE(empty.data, nullptr);
    EXPECT_FALSE(empty.LoadFromBytes(nullptr, 10));
    EXPECT_FALSE(empty.LoadFromBytes(garbage, 0));

}

TEST(NExifHolder, ResetGivesFreshEmptyData)
{
    NExifHolder holder;
    ASSERT_TRUE(holder.Reset());
    ASSERT_TRUE(holder.SetTagInt(1, kMain, 274));
    ASSERT_TRUE(holder.Reset());
    EXPECT_TRUE(holder.hasExif);
    ASSERT_NE(holder.data, nullptr);
    for (int i = 0; i < EXIF_IFD_COUNT; ++i)
        EXPECT_EQ(holder.data->ifd[i]->count, 0u);
    holder.Release();
    EXPECT_FALSE(holder.hasExif);
    EXPECT_EQ(holder.data, nullptr);
}

TEST(ExifRationalFromDouble, SixDecimalsWithoutSign)
{
    struct Case {
        double value;
        uint32_t numerator;
        uint32_t denominator;
    };
    const Case cases[] = {
        {-12.5, 12500000, 1000000},
        {0.0, 0, 1000000},
        {59.9999994, 59999999, 1000000},
        {30.25, 30250000, 1000000},
        {2147.48, 2147480000, 1000000},
        {4000.0, 4000000000u, 1000000},
        {5000.0, 500000000, 100000},         // a smaller denominator keeps the value
        {1e9, 1000000000, 1},
        {1e20, 4294967295u, 1},              // saturates
        {std::numeric_limits<double>::quiet_NaN(), 0, 1},
        {std::numeric_limits<double>::infinity(), 0, 1},
        {-std::numeric_limits<double>::infinity(), 0, 1},
    };
    for (const Case& c : cases) {
        const ExifRational r = ExifRationalFromDouble(c.value);
        EXPECT_EQ(r.numerator, c.numerator) << c.value;
        EXPECT_EQ(r.denominator, c.denominator) << c.value;
    }
}

TEST(NIptcHolder, ReadsTheIptcRecordOfAJpeg)
{
    TestDir dir;
    // Record version 2:00 and caption 2:120 "Hello".
    const std::vector<unsigned char> iptc = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x04,
                                             0x1C, 0x02, 0x78, 0x00, 0x05, 'H', 'e', 'l', 'l', 'o'};
    const std::wstring path = dir.File(L"iptc.jpg");
    ASSERT_TRUE(WriteWholeFile(path, Jpeg({PhotoshopSegment(0x0404, iptc)})));

    NIptcHolder holder;
    ASSERT_TRUE(holder.LoadFromJpeg(path.c_str()));
    EXPECT_TRUE(holder.hasIptc);
    ASSERT_NE(holder.data, nullptr);
    IptcDataSet* caption = iptc_data_get_dataset(holder.data, IPTC_RECORD_APP_2, IPTC_TAG_CAPTION);
    ASSERT_NE(caption, nullptr);
    char text[16] = {};
    iptc_dataset_get_as_str(caption, text, sizeof text);
    EXPECT_STREQ(text, "Hello");

    // Loading again from a file without IPTC releases the old record.
    const std::wstring plain = dir.File(L"plain.jpg");
    ASSERT_TRUE(WriteWholeFile(plain, Jpeg({Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0})})));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(holder.LoadFromJpeg(plain.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(holder.hasIptc);
    EXPECT_EQ(holder.data, nullptr);
}

TEST(NIptcHolder, FilesWithoutIptc)
{
    TestDir dir;
    NIptcHolder holder;
    EXPECT_FALSE(holder.LoadFromJpeg(dir.File(L"missing.jpg").c_str()));
    EXPECT_FALSE(holder.LoadFromJpeg(nullptr));

    // A Photoshop block holding only another resource.
    const std::wstring other = dir.File(L"other.jpg");
    ASSERT_TRUE(WriteWholeFile(other, Jpeg({PhotoshopSegment(0x03ED, std::vector<unsigned char>(16, 0))})));
    EXPECT_FALSE(holder.LoadFromJpeg(other.c_str()));
    EXPECT_EQ(holder.data, nullptr);

    // An IPTC resource that claims more bytes than the block holds.
    std::vector<unsigned char> segment = PhotoshopSegment(0x0404, {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x04, 0});
    segment[4 + 14 + 8 + 2] = 0x10;    // size field, high-middle byte
    const std::wstring lying = dir.File(L"lying.jpg");
    ASSERT_TRUE(WriteWholeFile(lying, Jpeg({segment})));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(holder.LoadFromJpeg(lying.c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(holder.hasIptc);
}

TEST(ImageMetadata, FreshRecord)
{
    ImageMetadata metadata;
    EXPECT_TRUE(metadata.make.IsEmpty());
    EXPECT_TRUE(metadata.model.IsEmpty());
    EXPECT_TRUE(metadata.date.IsEmpty());
    EXPECT_TRUE(metadata.comment.IsEmpty());
    EXPECT_TRUE(metadata.artist.IsEmpty());
    EXPECT_EQ(metadata.resolutionX, 96);
    EXPECT_EQ(metadata.resolutionY, 96);
    EXPECT_FALSE(metadata.exif.hasExif);
    EXPECT_EQ(metadata.exif.data, nullptr);
    EXPECT_FALSE(metadata.iptc.hasIptc);
    EXPECT_EQ(metadata.iptc.data, nullptr);
    EXPECT_TRUE(metadata.xmp.empty());
}
