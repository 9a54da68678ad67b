#include "imagefile/ExifDirectory.h"

#include "common/TestFiles.h"
#include "imagefile/GuardedBuffer.h"
#include "imagefile/JpegTestSupport.h"
#include "imagefile/formats/NImageFileJPG.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A JPEG skeleton around the EXIF segment (no picture: reading stops at the end of the file).
Bytes JpegWithExif(const Bytes& exifSegment)
{
    Bytes file = {0xFF, 0xD8};
    AppendBytes(file, exifSegment);
    AppendBytes(file, Segment(0xDB, Bytes(65, 1)));
    return file;
}

class ExifDirectoryTest : public ::testing::Test {
protected:
    // Reads the file made of the EXIF segment with metadata and answers the list's EXIF section.
    JpegSection* Read(const TiffBuilder& tiff)
    {
        return ReadBytes(JpegWithExif(tiff.ExifSegment()));
    }
    JpegSection* ReadBytes(const Bytes& file)
    {
        path = dir.File(L"exif.jpg");
        EXPECT_TRUE(WriteWholeFile(path, file));
        FreeMarkerSections(list);
        ResetMarkerSections(list);
        EXPECT_EQ(1, ReadMarkerSectionsFromFile(list, path.c_str(), kKeepMetadata));
        return FindMarkerSection(list, 0xE1);
    }

    TestDir dir;
    std::wstring path;
    JpegSectionList list;
};

// IFD0 with camera and resolution, the EXIF directory, GPS, and IFD1 with a thumbnail.
TiffBuilder CameraExif(bool bigEndian, const Bytes& thumbnail)
{
    TiffBuilder t(bigEndian);
    const int ifd0 = t.AddIfd();
    const int exif = t.AddIfd();
    const int gps = t.AddIfd();
    const int ifd1 = t.AddIfd();
    t.AddAscii(ifd0, 271, "Canon");
    t.AddAscii(ifd0, 272, "Canon EOS 5D Mark IV, a model name of great length");
    t.AddShort(ifd0, 274, 6);
    t.AddRationals(ifd0, 282, {{72, 1}});
    t.AddRationals(ifd0, 283, {{300, 1}});
    t.AddShort(ifd0, 296, 2);
    t.AddAscii(ifd0, 306, "2020:01:01 00:00:00");
    t.AddPointer(ifd0, 34665, exif);
    t.AddPointer(ifd0, 34853, gps);
    t.SetNext(ifd0, ifd1);

    t.AddRationals(exif, 33434, {{1, 250}});
    t.AddRationals(exif, 33437, {{28, 10}});
    t.AddShort(exif, 34855, 2);
    t.AddAscii(exif, 36867, "2023:07:14 09:30:05");
    t.AddRationals(exif, 37380, {{1, 0}}, 10);       // denominator 0
    t.AddRationals(exif, 37386, {{50, 1}});
    Bytes comment = TextBytes("ASCII");
    comment.insert(comment.end(), {0, 0, 0});
    AppendBytes(comment, TextBytes("Hello   "));
    t.Add(exif, 37510, 7, static_cast<uint32_t>(comment.size()), comment);
    t.AddLong(exif, 40962, 4000);
    t.AddLong(exif, 40963, 3000);
    t.AddRationals(exif, 41486, {{40000, 236}});
    t.AddShort(exif, 41488, 4);                       // millimetres

    t.Add(gps, 1, 2, 2, TextBytes(std::string("N\0", 2)));
    t.AddRationals(gps, 2, {{48, 1}, {51, 1}, {2440, 100}});
    t.Add(gps, 3, 2, 2, TextBytes(std::string("E\0", 2)));
    t.AddRationals(gps, 4, {{2, 1}, {21, 1}, {7, 1}});
    t.Add(gps, 5, 1, 1, {1});
    t.AddRationals(gps, 6, {{3505, 10}});

    t.AddShort(ifd1, 259, 6);
    t.AddThumbnail(ifd1, thumbnail);
    return t;
}

const Bytes kThumbnail = {0xFF, 0xD8, 0xFF, 0xDB, 1, 2, 3, 4, 5, 0xFF, 0xD9};

TEST_F(ExifDirectoryTest, ReadsTheFactsInBothByteOrders)
{
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        ASSERT_NE(nullptr, Read(CameraExif(big, kThumbnail)));
        const JpegPictureFacts& f = list.facts;
        EXPECT_EQ(1, f.exifSeen);
        EXPECT_STREQ("Canon", f.cameraMake);
        EXPECT_STREQ("Canon EOS 5D Mark IV, a model name of g", f.cameraModel);   // 39 characters
        EXPECT_EQ(6, f.orientation);
        EXPECT_FLOAT_EQ(72.0f, f.xResolution);
        EXPECT_FLOAT_EQ(300.0f, f.yResolution);
        EXPECT_EQ(2, f.resolutionUnit);
        EXPECT_STREQ("2023:07:14 09:30:05", f.date);   // DateTimeOriginal replaces DateTime
        EXPECT_FLOAT_EQ(0.004f, f.exposureTime);
        EXPECT_FLOAT_EQ(2.8f, f.fNumber);
        EXPECT_EQ(400, f.isoEquivalent);                 // 2 is read as 400
        EXPECT_FLOAT_EQ(0.0f, f.exposureBias);
        EXPECT_FLOAT_EQ(50.0f, f.focalLength);
        EXPECT_STREQ("Hello", f.comment);
        // 4000 pixels at 40000/236 per millimetre: a 23.6 mm sensor, 50 mm is 76 mm in 35 mm film.
        EXPECT_NEAR(23.6, f.ccdWidth, 0.001);
        EXPECT_EQ(76, f.focalLength35mm);
        EXPECT_EQ(1, f.gpsPresent);
        EXPECT_STREQ("N 48d 51m 24.40s", f.latitude);
        EXPECT_STREQ("E  2d 21m  7s", f.longitude);
        EXPECT_STREQ("-350.50m", f.altitude);

        // The thumbnail sits at the end of the EXIF data.
        const JpegSection* exif = FindMarkerSection(list, 0xE1);
        ASSERT_NE(nullptr, exif);
        EXPECT_EQ(kThumbnail.size(), f.thumbnailSize);
        EXPECT_EQ(exif->size - 8 - kThumbnail.size(), f.thumbnailOffset);
        EXPECT_EQ(1, f.thumbnailAtEnd);
        EXPECT_EQ(0, memcmp(exif->data + 8 + f.thumbnailOffset, kThumbnail.data(), kThumbnail.size()));
    }
}

TEST_F(ExifDirectoryTest, DateOrderAndDateOfTheFile)
{
    // DateTime after DateTimeOriginal does not replace it.
    TiffBuilder t(false);
    const int ifd0 = t.AddIfd();
    t.AddAscii(ifd0, 36867, "2023:07:14 09:30:05");
    t.AddAscii(ifd0, 306, "2020:01:01 00:00:00");
    ASSERT_NE(nullptr, Read(t));
    EXPECT_STREQ("2023:07:14 09:30:05", list.facts.date);

    FILETIME time = {};
    ASSERT_TRUE(ReadExifDateTime(path.c_str(), &time));
    SYSTEMTIME expected = {2023, 7, 0, 14, 9, 30, 5, 0};
    FILETIME expectedTime;
    ASSERT_TRUE(SystemTimeToFileTime(&expected, &expectedTime));
    EXPECT_EQ(expectedTime.dwLowDateTime, time.dwLowDateTime);
    EXPECT_EQ(expectedTime.dwHighDateTime, time.dwHighDateTime);

    // Dates that say nothing, a missing file, and a file without EXIF.
    const char* const unusable[] = {"0000:00:00 00:00:00", "", "2023:07:14 09:30", "2023:13:45 09:30:05"};
    for (const char* date : unusable) {
        SCOPED_TRACE(date);
        TiffBuilder u(false);
        u.AddAscii(u.AddIfd(), 306, date);
        ASSERT_NE(nullptr, Read(u));
        FILETIME untouched = {123, 456};
        EXPECT_FALSE(ReadExifDateTime(path.c_str(), &untouched));
        EXPECT_EQ(123u, untouched.dwLowDateTime);
    }
    EXPECT_FALSE(ReadExifDateTime(dir.File(L"missing.jpg").c_str(), &time));
    ASSERT_TRUE(WriteWholeFile(path, JpegWithExif({})));
    EXPECT_FALSE(ReadExifDateTime(path.c_str(), &time));
}

TEST_F(ExifDirectoryTest, TextValuesAreCopiedWithinTheirEntries)
{
    // A date of four bytes held in the entry itself, a make whose value ends at the end of the
    // data: nothing beyond the values is taken.
    TiffBuilder t(false);
    const int ifd0 = t.AddIfd();
    t.Add(ifd0, 306, 2, 4, TextBytes("2023"));
    t.Add(ifd0, 272, 2, 3, TextBytes("Abc"));
    t.Add(ifd0, 271, 2, 6, TextBytes("Maker!"));   // no terminator; the value is the last data
    ASSERT_NE(nullptr, Read(t));
    EXPECT_STREQ("2023", list.facts.date);
    EXPECT_STREQ("Abc", list.facts.cameraModel);
    EXPECT_STREQ("Maker!", list.facts.cameraMake);
    FILETIME time;
    EXPECT_FALSE(ReadExifDateTime(path.c_str(), &time));

    // Values whose offset or size passes the end of the data are skipped.
    TiffBuilder bad(true);
    const int b0 = bad.AddIfd();
    bad.AddRawOffset(b0, 271, 2, 40, 0x20);
    bad.AddRawOffset(b0, 272, 2, 8, 0xFFFFFFFC);
    bad.AddRawOffset(b0, 306, 2, 0x10001, 8);        // too many components
    ASSERT_NE(nullptr, Read(bad));
    EXPECT_STREQ("", list.facts.cameraMake);
    EXPECT_STREQ("", list.facts.cameraModel);
    EXPECT_STREQ("", list.facts.date);

    // A Windows comment is UTF-16 text with its terminator.
    TiffBuilder xp(false);
    const int x0 = xp.AddIfd();
    const std::wstring text = L"Caf\u00e9";
    Bytes utf16(reinterpret_cast<const uint8_t*>(text.c_str()),
                reinterpret_cast<const uint8_t*>(text.c_str()) + 2 * (text.size() + 1));
    xp.Add(x0, 40092, 1, static_cast<uint32_t>(utf16.size()), utf16);
    ASSERT_NE(nullptr, Read(xp));
    EXPECT_EQ(5, list.facts.commentUtf16Units);
    EXPECT_STREQ(text.c_str(), reinterpret_cast<const wchar_t*>(list.facts.comment));
}

TEST_F(ExifDirectoryTest, HostileDirectoriesEndQuickly)
{
    // A chain that loops back on itself stops at depth 5.
    TiffBuilder loop(false);
    const int l0 = loop.AddIfd();
    loop.AddAscii(l0, 271, "Loop");
    loop.SetNext(l0, l0);
    ASSERT_NE(nullptr, Read(loop));
    EXPECT_STREQ("Loop", list.facts.cameraMake);

    // Many entries that point back at their own directory would fan out to millions of walks.
    TiffBuilder fan(false);
    const int f0 = fan.AddIfd();
    for (int i = 0; i < 300; ++i)
        fan.AddPointer(f0, i % 2 ? 34665 : 40965, f0);
    fan.SetNext(f0, f0);
    ASSERT_NE(nullptr, Read(fan));
    EXPECT_EQ(64, list.exif.directoriesWalked);

    // An entry count whose entries pass the end of the data: no entry is read.
    TiffBuilder many(false);
    const int m0 = many.AddIfd();
    many.AddAscii(m0, 271, "Many");
    Bytes tiff = many.Build();
    tiff[8] = 0xFF;
    tiff[9] = 0x0F;
    Bytes body = {'E', 'x', 'i', 'f', 0, 0};
    AppendBytes(body, tiff);
    ASSERT_NE(nullptr, ReadBytes(JpegWithExif(Segment(0xE1, body))));
    EXPECT_EQ(1, list.facts.exifSeen);
    EXPECT_STREQ("", list.facts.cameraMake);

    // A GPS directory with a too short coordinate and an altitude far too large for its text.
    TiffBuilder gps(false);
    const int g0 = gps.AddIfd();
    const int g1 = gps.AddIfd();
    gps.AddPointer(g0, 34853, g1);
    gps.AddRationals(g1, 2, {{48, 1}, {51, 1}});
    double huge = 1e300;
    Bytes value(reinterpret_cast<uint8_t*>(&huge), reinterpret_cast<uint8_t*>(&huge) + 8);
    gps.Add(g1, 5, 1, 1, {0});
    gps.Add(g1, 6, 12, 1, value);
    ASSERT_NE(nullptr, Read(gps));
    EXPECT_STREQ("? ?", list.facts.latitude);
    EXPECT_EQ(' ', list.facts.altitude[0]);
    EXPECT_EQ(sizeof(list.facts.altitude) - 1, strlen(list.facts.altitude));
}

TEST_F(ExifDirectoryTest, CanonMakerNote)
{
    auto note = [](uint16_t isoFormat) {
        TiffBuilder t(true);   // the note itself is always little-endian
        const int ifd0 = t.AddIfd();
        t.AddAscii(ifd0, 271, "Canon");
        Bytes n = {3, 0};   // three entries
        auto entry = [&](uint16_t tag, uint16_t format, uint32_t count, uint32_t offset) {
            Bytes e = {static_cast<uint8_t>(tag), static_cast<uint8_t>(tag >> 8), static_cast<uint8_t>(format), 0,
                       static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), 0, 0,
                       static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8), 0, 0};
            AppendBytes(n, e);
        };
        // Values follow the note; offsets are from the TIFF header, which the note's position
        // in the built block fixes: header 8, IFD0 2 + 12 * 2 + 4, make value 6 bytes, then the note.
        const uint32_t noteOffset = 8 + 2 + 24 + 4 + 6;
        const uint32_t values = noteOffset + 2 + 36 + 4;
        entry(1, isoFormat, 20, values);
        entry(4, 3, 20, values + 40);
        entry(4, 3, 1, 5);   // short: no light source, no distance
        AppendBytes(n, {0, 0, 0, 0});
        Bytes shorts(80, 0);
        shorts[32] = 17;              // ISO 100
        shorts[40 + 14] = 4;          // light source 2
        shorts[40 + 38] = 0xFF;       // subject distance: infinity
        shorts[40 + 39] = 0xFF;
        AppendBytes(n, shorts);
        t.Add(ifd0, 37500, 7, static_cast<uint32_t>(n.size()), n);
        return t;
    };
    ASSERT_NE(nullptr, Read(note(3)));
    EXPECT_EQ(100, list.facts.isoEquivalent);
    EXPECT_EQ(2, list.facts.lightSource);
    EXPECT_FLOAT_EQ(-1.0f, list.facts.subjectDistance);
    // The ISO is read from SHORT values only.
    ASSERT_NE(nullptr, Read(note(1)));
    EXPECT_EQ(0, list.facts.isoEquivalent);
    EXPECT_EQ(2, list.facts.lightSource);
}

TEST_F(ExifDirectoryTest, OrientationReset)
{
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        JpegSection* exif = Read(CameraExif(big, kThumbnail));
        ASSERT_NE(nullptr, exif);
        ASSERT_STREQ("rotate 90", ResetExifOrientation(list));
        // Read again from the changed data.
        const Bytes segment(exif->data, exif->data + exif->size);
        JpegSectionList again;
        ResetMarkerSections(again);
        Bytes copy = segment;
        ParseExifSegment(again, copy.data(), static_cast<uint32_t>(copy.size()));
        EXPECT_EQ(1, again.facts.orientation);
    }
    TiffBuilder none(false);
    none.AddAscii(none.AddIfd(), 271, "x");
    ASSERT_NE(nullptr, Read(none));
    EXPECT_EQ(nullptr, ResetExifOrientation(list));
    // An orientation in a format that cannot hold it is left alone.
    TiffBuilder odd(false);
    odd.AddRationals(odd.AddIfd(), 274, {{3, 1}});
    ASSERT_NE(nullptr, Read(odd));
    EXPECT_EQ(3, list.facts.orientation);
    EXPECT_EQ(nullptr, ResetExifOrientation(list));
}

TEST_F(ExifDirectoryTest, ThumbnailOperations)
{
    JpegSection* exif = Read(CameraExif(false, kThumbnail));
    ASSERT_NE(nullptr, exif);
    const uint32_t withoutThumbnail = exif->size - static_cast<uint32_t>(kThumbnail.size());

    const std::wstring saved = dir.File(L"thumb.jpg");
    ASSERT_EQ(1, SaveExifThumbnail(list, saved.c_str()));
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(saved, bytes));
    EXPECT_EQ(kThumbnail, bytes);

    // A larger thumbnail from a file: the section, its length bytes and tag 514 follow.
    const Bytes bigger(300, 0x5A);
    const std::wstring replacement = dir.File(L"new.jpg");
    ASSERT_TRUE(WriteWholeFile(replacement, bigger));
    ASSERT_EQ(1, ReplaceExifThumbnail(list, replacement.c_str()));
    exif = FindMarkerSection(list, 0xE1);
    EXPECT_EQ(withoutThumbnail + 300, exif->size);
    EXPECT_EQ(exif->size, static_cast<uint32_t>((exif->data[0] << 8) | exif->data[1]));
    {
        Bytes copy(exif->data, exif->data + exif->size);
        JpegSectionList again;
        ResetMarkerSections(again);
        ParseExifSegment(again, copy.data(), static_cast<uint32_t>(copy.size()));
        EXPECT_EQ(300u, again.facts.thumbnailSize);
    }

    // One that would make the segment longer than 65535 bytes is refused; nothing changes.
    ASSERT_TRUE(WriteWholeFile(replacement, Bytes(70000, 1)));
    EXPECT_EQ(0, ReplaceExifThumbnail(list, replacement.c_str()));
    EXPECT_EQ(withoutThumbnail + 300, FindMarkerSection(list, 0xE1)->size);

    // Removing it.
    ASSERT_EQ(1, ReplaceExifThumbnail(list, nullptr));
    EXPECT_EQ(withoutThumbnail, FindMarkerSection(list, 0xE1)->size);
    EXPECT_EQ(0u, list.facts.thumbnailSize);
    EXPECT_EQ(0, ReplaceExifThumbnail(list, nullptr));
    EXPECT_EQ(0, SaveExifThumbnail(list, saved.c_str()));

    // Cutting sets tag 514 to 0 and answers the size without the thumbnail.
    exif = Read(CameraExif(true, kThumbnail));
    ASSERT_NE(nullptr, exif);
    EXPECT_EQ(withoutThumbnail, CutExifThumbnail(list));
    Bytes copy(exif->data, exif->data + exif->size);
    JpegSectionList again;
    ResetMarkerSections(again);
    ParseExifSegment(again, copy.data(), static_cast<uint32_t>(copy.size()));
    EXPECT_EQ(0u, again.facts.thumbnailSize);
}

// A file written by ExifTool: big-endian EXIF with a 598-byte JPEG thumbnail in IFD1, placed at
// the end of the EXIF data. The edits are checked through a write-back that libexif (the
// metadata reader of the JPEG loader) reads again.
TEST_F(ExifDirectoryTest, ThumbnailOfARealFile)
{
    const std::wstring fixture = TestDataPath(L"jpeg\\exif-thumbnail.jpg");
    ASSERT_EQ(1, ReadMarkerSectionsFromFile(list, fixture.c_str(), kKeepMetadata | kKeepImageData));
    const JpegPictureFacts& f = list.facts;
    EXPECT_EQ(1, list.exif.bigEndian);
    EXPECT_STREQ("TestCam", f.cameraMake);
    EXPECT_STREQ("TC-1 Mark II", f.cameraModel);
    EXPECT_STREQ("2022:03:04 05:06:07", f.date);
    EXPECT_EQ(70, f.width);
    EXPECT_EQ(46, f.height);
    JpegSection* exif = FindMarkerSection(list, 0xE1);
    ASSERT_NE(nullptr, exif);
    ASSERT_EQ(598u, f.thumbnailSize);
    EXPECT_EQ(1, f.thumbnailAtEnd);
    EXPECT_EQ(exif->size, f.thumbnailOffset + 8 + f.thumbnailSize);
    const uint32_t withoutThumbnail = exif->size - f.thumbnailSize;

    FILETIME taken = {};
    ASSERT_TRUE(ReadExifDateTime(fixture.c_str(), &taken));
    SYSTEMTIME expected = {2022, 3, 0, 4, 5, 6, 7, 0};
    FILETIME expectedTime = {};
    ASSERT_TRUE(SystemTimeToFileTime(&expected, &expectedTime));
    EXPECT_EQ(expectedTime.dwLowDateTime, taken.dwLowDateTime);
    EXPECT_EQ(expectedTime.dwHighDateTime, taken.dwHighDateTime);

    // Saved, the thumbnail is a whole JPEG of 32 x 21.
    const std::wstring saved = dir.File(L"saved-thumbnail.jpg");
    ASSERT_EQ(1, SaveExifThumbnail(list, saved.c_str()));
    Bytes thumbnail;
    ASSERT_TRUE(ReadWholeFile(saved, thumbnail));
    ASSERT_EQ(598u, thumbnail.size());
    EXPECT_EQ(0xD8, thumbnail[1]);
    EXPECT_EQ(0xD9, thumbnail.back());
    NImageFileJPG small;
    ASSERT_EQ(NR_OK, small.Load(saved.c_str(), 0, 0, nullptr));
    EXPECT_EQ(32, small.picture.width);
    EXPECT_EQ(21, small.picture.height);

    NImageFileJPG original;
    ASSERT_EQ(NR_OK, original.Load(fixture.c_str(), 0, 0, nullptr));
    // Writes the list back and loads the result: the picture is untouched and libexif finds the
    // thumbnail the list now describes.
    auto writeAndCheck = [&](const Bytes& expectedThumbnail) {
        const std::wstring written = dir.File(L"written.jpg");
        ASSERT_EQ(1, WriteMarkerSections(list, written.c_str()));
        NImageFileJPG again;
        ASSERT_EQ(NR_OK, again.Load(written.c_str(), 0, 0, nullptr));
        ASSERT_EQ(original.picture.height, again.picture.height);
        EXPECT_EQ(0, std::memcmp(original.picture.bits, again.picture.bits,
                                 static_cast<size_t>(original.picture.stride) * original.picture.height));
        ExifData* data = again.metadata.exif.data;
        ASSERT_NE(nullptr, data);
        ASSERT_EQ(expectedThumbnail.size(), data->size);
        if (data->size)
            EXPECT_EQ(0, std::memcmp(expectedThumbnail.data(), data->data, data->size));
        JpegSectionList reread;
        ASSERT_EQ(1, ReadMarkerSectionsFromFile(reread, written.c_str(), kKeepMetadata));
        EXPECT_EQ(expectedThumbnail.size(), reread.facts.thumbnailSize);
        EXPECT_STREQ("TestCam", reread.facts.cameraMake);
    };
    writeAndCheck(thumbnail);

    // Replaced by a larger JPEG of our own.
    const Bytes larger = EncodeJpeg(48, 32, [](int x, int) { return x < 24 ? 0xFF0000u : 0x0000FFu; }, 80);
    const std::wstring replacement = dir.File(L"replacement.jpg");
    ASSERT_TRUE(WriteWholeFile(replacement, larger));
    ASSERT_EQ(1, ReplaceExifThumbnail(list, replacement.c_str()));
    exif = FindMarkerSection(list, 0xE1);
    EXPECT_EQ(withoutThumbnail + larger.size(), exif->size);
    EXPECT_EQ(exif->size, static_cast<uint32_t>((exif->data[0] << 8) | exif->data[1]));
    writeAndCheck(larger);

    // Removed.
    ASSERT_EQ(1, ReplaceExifThumbnail(list, nullptr));
    EXPECT_EQ(withoutThumbnail, FindMarkerSection(list, 0xE1)->size);
    writeAndCheck({});
    EXPECT_EQ(0, SaveExifThumbnail(list, saved.c_str()));

    // Cutting the original: the size without the thumbnail, and tag 514 reads 0.
    FreeMarkerSections(list);
    ResetMarkerSections(list);
    ASSERT_EQ(1, ReadMarkerSectionsFromFile(list, fixture.c_str(), kKeepMetadata));
    EXPECT_EQ(withoutThumbnail, CutExifThumbnail(list));
    exif = FindMarkerSection(list, 0xE1);
    Bytes copy(exif->data, exif->data + exif->size);
    JpegSectionList cut;
    ResetMarkerSections(cut);
    ParseExifSegment(cut, copy.data(), static_cast<uint32_t>(copy.size()));
    EXPECT_EQ(0u, cut.facts.thumbnailSize);
}

TEST(ExifDateText, ParsesBothForms)
{
    struct tm t = {};
    ASSERT_EQ(1, ParseExifDateText(t, "2023:07:14 09:30:05"));
    EXPECT_EQ(123, t.tm_year);
    EXPECT_EQ(6, t.tm_mon);
    EXPECT_EQ(14, t.tm_mday);
    EXPECT_EQ(9, t.tm_hour);
    EXPECT_EQ(30, t.tm_min);
    EXPECT_EQ(5, t.tm_sec);
    EXPECT_EQ(-1, t.tm_wday);
    EXPECT_EQ(-1, t.tm_isdst);

    ASSERT_EQ(1, ParseExifDateText(t, "07.14.2023 09:30"));
    EXPECT_EQ(123, t.tm_year);
    EXPECT_EQ(6, t.tm_mon);
    EXPECT_EQ(14, t.tm_mday);
    EXPECT_EQ(0, t.tm_sec);

    EXPECT_EQ(0, ParseExifDateText(t, "2023:07:14"));
    EXPECT_EQ(0, ParseExifDateText(t, nullptr));
}

TEST(ExifValues, ConversionByFormat)
{
    JpegSectionList list;
    const uint8_t rational[8] = {0, 0, 0, 7, 0, 0, 0, 0};
    list.exif.bigEndian = 1;
    EXPECT_EQ(0.0, ExifValueAsDouble(list, rational, 5, 8));    // denominator 0
    const uint8_t negative[8] = {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 4};
    EXPECT_EQ(-0.5, ExifValueAsDouble(list, negative, 5, 8));   // both parts signed
    EXPECT_EQ(65535.0, ExifValueAsDouble(list, negative, 3, 2));
    EXPECT_EQ(-1.0, ExifValueAsDouble(list, negative, 8, 2));
    EXPECT_EQ(-1.0, ExifValueAsDouble(list, negative, 6, 1));
    EXPECT_EQ(255.0, ExifValueAsDouble(list, negative, 1, 1));
    EXPECT_EQ(0.0, ExifValueAsDouble(list, negative, 2, 8));    // text
    EXPECT_EQ(0.0, ExifValueAsDouble(list, negative, 5, 4));    // shorter than one component
}

// Damaged EXIF segments, each placed so that its last byte is followed by a no-access page: a
// read past the segment faults.
TEST(ExifSegmentDamage, ReadsStayInsideTheSegment)
{
    Bytes segment = CameraExif(true, kThumbnail).ExifSegment();
    segment.erase(segment.begin(), segment.begin() + 2);   // the section data: length bytes first
    GuardedBuffer guard(segment.size());
    ASSERT_TRUE(guard.valid());

    // Every truncation.
    for (size_t length = 0; length <= segment.size(); ++length) {
        JpegSectionList list;
        ParseExifSegment(list, guard.AtEnd(segment.data(), length), static_cast<uint32_t>(length));
    }
    // Random damage, with a fixed seed.
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 4000; ++round) {
        Bytes damaged = segment;
        const int changes = 1 + static_cast<int>(next() % 8);
        for (int k = 0; k < changes; ++k) {
            const size_t at = 8 + next() % (damaged.size() - 8);
            damaged[at] = static_cast<uint8_t>(next() % 4 == 0 ? 0xFF : next());
        }
        JpegSectionList list;
        ParseExifSegment(list, guard.AtEnd(damaged.data(), damaged.size()), static_cast<uint32_t>(damaged.size()));
        EXPECT_LT(strlen(list.facts.cameraMake), sizeof(list.facts.cameraMake));
        EXPECT_LT(strlen(list.facts.altitude), sizeof(list.facts.altitude));
        EXPECT_GE(list.facts.orientation, 0);
        EXPECT_LE(list.facts.orientation, 8);
    }
}

TEST(ExifSegmentDamage, ShortFrameAndCommentSegments)
{
    GuardedBuffer guard(64);
    ASSERT_TRUE(guard.valid());
    const Bytes frame = {0x00, 0x11, 8, 0x01, 0x02, 0x03, 0x04, 3};
    for (size_t length = 0; length <= frame.size(); ++length) {
        JpegSectionList list;
        ParseFrameHeader(list, guard.AtEnd(frame.data(), length), static_cast<uint32_t>(length), 0xC0);
        EXPECT_EQ(length == frame.size() ? 0x0102 : 0, list.facts.height);
    }
    const Bytes comment = {0x00, 0x05, 'a', '\r', 'b'};
    for (size_t length = 0; length <= comment.size(); ++length) {
        JpegSectionList list;
        ParseJpegComment(list, guard.AtEnd(comment.data(), length), static_cast<uint32_t>(length));
    }
}

TEST(ExifSegmentDamage, TextValuesAtTheEndOfTheData)
{
    // A date held in its entry just before the end of the data, and a make without terminator
    // as the data's last bytes.
    struct Case {
        uint16_t tag;
        std::string text;
        bool inEntry;
    };
    const Case cases[] = {{306, "2023", true}, {36867, "20", true}, {271, "Maker!", false}, {272, "Model", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TiffBuilder t(false);
        t.Add(t.AddIfd(), c.tag, 2, static_cast<uint32_t>(c.text.size()), TextBytes(c.text));
        Bytes segment = t.ExifSegment();
        segment.erase(segment.begin(), segment.begin() + 2);
        GuardedBuffer guard(segment.size());
        ASSERT_TRUE(guard.valid());
        JpegSectionList list;
        ParseExifSegment(list, guard.AtEnd(segment.data(), segment.size()), static_cast<uint32_t>(segment.size()));
        const char* fact = c.tag == 271 ? list.facts.cameraMake : c.tag == 272 ? list.facts.cameraModel : list.facts.date;
        EXPECT_EQ(c.text, fact);
    }
}

}  // namespace
