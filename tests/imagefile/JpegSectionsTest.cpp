#include "imagefile/JpegSections.h"

#include "common/TestFiles.h"
#include "imagefile/JpegTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kEoi = {0xFF, 0xD9};

Bytes Jfif(uint8_t unit, uint16_t x, uint16_t y)
{
    return Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, unit, static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x),
                          static_cast<uint8_t>(y >> 8), static_cast<uint8_t>(y), 0, 0});
}

Bytes Frame(uint16_t height, uint16_t width, uint8_t components)
{
    Bytes body = {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                  static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), components};
    for (uint8_t c = 0; c < components; ++c) {
        body.push_back(c + 1);
        body.push_back(0x11);
        body.push_back(0);
    }
    return Segment(0xC0, body);
}

Bytes Xmp(const std::string& packet)
{
    Bytes body(kXmpNamespace, kXmpNamespace + kXmpNamespaceSize);
    AppendBytes(body, TextBytes(packet));
    body.push_back(0);
    return Segment(0xE1, body);
}

const Bytes kScanHeader = Segment(0xDA, {1, 1, 0, 0, 63, 0});
const Bytes kScanData = {0x12, 0xFF, 0x00, 0x34, 0x56};

std::vector<int32_t> Types(const JpegSectionList& list)
{
    std::vector<int32_t> types;
    for (int32_t i = 0; i < list.count; ++i)
        types.push_back(list.sections[i].type);
    return types;
}

class JpegSectionsTest : public ::testing::Test {
protected:
    // Writes the bytes to a file and reads it into `list`.
    int Read(const Bytes& bytes, int flags)
    {
        path = dir.File(L"in.jpg");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        ResetMarkerSections(list);
        return ReadMarkerSectionsFromFile(list, path.c_str(), flags);
    }

    TestDir dir;
    std::wstring path;
    JpegSectionList list;
};

// A file with every kind of segment the reader treats on its own.
Bytes FullFile()
{
    TiffBuilder tiff(false);
    const int ifd0 = tiff.AddIfd();
    tiff.AddAscii(ifd0, 271, "Maker");
    Bytes file = kSoi;
    AppendBytes(file, Jfif(2, 72, 96));
    AppendBytes(file, tiff.ExifSegment());
    AppendBytes(file, Xmp("<x:xmpmeta>a packet long enough to be read</x:xmpmeta>"));
    AppendBytes(file, Segment(0xE1, TextBytes("Other APP1")));
    AppendBytes(file, Segment(0xE2, TextBytes("ICC_PROFILE")));
    AppendBytes(file, Segment(0xFE, {'a', '\r', '\n', 'b', '\r', 'c', 0x01, '\t'}));
    AppendBytes(file, Segment(0xFE, TextBytes("second")));
    AppendBytes(file, Segment(0xDB, Bytes(65, 1)));
    AppendBytes(file, Frame(20, 30, 3));
    AppendBytes(file, Segment(0xC4, Bytes(20, 0)));
    AppendBytes(file, kScanHeader);
    AppendBytes(file, kScanData);
    AppendBytes(file, kEoi);
    return file;
}

TEST_F(JpegSectionsTest, ReadsSegmentsAndFactsWithMetadataAndPictureData)
{
    ASSERT_EQ(1, Read(FullFile(), kKeepMetadata | kKeepImageData));
    // APP0 never stays, the foreign APP1 and the second comment are dropped.
    EXPECT_EQ((std::vector<int32_t>{0xE1, kJpegSectionXmp, 0xE2, 0xFE, 0xDB, 0xC0, 0xC4, 0xDA, kJpegSectionImageData}),
              Types(list));
    EXPECT_EQ(1, list.hasImageData);
    const JpegSection& data = list.sections[list.count - 1];
    Bytes expected = kScanData;
    AppendBytes(expected, kEoi);
    EXPECT_EQ(expected, Bytes(data.data, data.data + data.size));

    EXPECT_EQ(1, list.facts.jfifPresent);
    EXPECT_EQ(2, list.facts.densityUnit);
    EXPECT_EQ(72, list.facts.densityX);
    EXPECT_EQ(96, list.facts.densityY);
    EXPECT_EQ(20, list.facts.height);
    EXPECT_EQ(30, list.facts.width);
    EXPECT_EQ(1, list.facts.colour);
    EXPECT_EQ(0xC0, list.facts.process);
    EXPECT_EQ(1, list.facts.exifSeen);
    EXPECT_STREQ("Maker", list.facts.cameraMake);
    // CR LF keeps the LF, a lone CR and control bytes become '?', a tab stays.
    EXPECT_STREQ("a\nb?c?\t", list.facts.comment);

    // The section data starts with the segment's own length bytes.
    const JpegSection& quant = list.sections[4];
    EXPECT_EQ(67u, quant.size);
    EXPECT_EQ(0, quant.data[0]);
    EXPECT_EQ(67, quant.data[1]);
}

TEST_F(JpegSectionsTest, WithoutFlagsKeepsOnlyStructureAndCannotWrite)
{
    ASSERT_EQ(1, Read(FullFile(), 0));
    EXPECT_EQ((std::vector<int32_t>{0xDB, 0xC0, 0xC4, 0xDA}), Types(list));
    EXPECT_EQ(0, list.hasImageData);
    EXPECT_EQ(0, WriteMarkerSections(list, dir.File(L"out.jpg").c_str()));
    EXPECT_FALSE(FileExists(dir.File(L"out.jpg")));

    ASSERT_EQ(1, Read(FullFile(), kKeepMetadata));
    EXPECT_EQ(0, WriteMarkerSections(list, dir.File(L"out.jpg").c_str()));
}

TEST_F(JpegSectionsTest, WritesBackWithAFreshJfifHeaderAndXmpAsApp1)
{
    // APP0 is dropped on reading and written anew with the density that was read.
    Bytes file = kSoi;
    AppendBytes(file, Jfif(1, 300, 200));
    AppendBytes(file, Segment(0xDB, Bytes(65, 2)));
    AppendBytes(file, Frame(8, 8, 1));
    AppendBytes(file, kScanHeader);
    AppendBytes(file, kScanData);
    AppendBytes(file, kEoi);
    ASSERT_EQ(1, Read(file, kKeepMetadata | kKeepImageData));
    const std::wstring out = dir.File(L"out.jpg");
    ASSERT_EQ(1, WriteMarkerSections(list, out.c_str()));
    Bytes written;
    ASSERT_TRUE(ReadWholeFile(out, written));
    EXPECT_EQ(file, written);

    // With an EXIF resolution in centimetres the density comes from it.
    list.facts.resolutionUnit = 3;
    list.facts.xResolution = 118.9f;
    list.facts.yResolution = 59.0f;
    ASSERT_EQ(1, WriteMarkerSections(list, out.c_str()));
    ASSERT_TRUE(ReadWholeFile(out, written));
    const Bytes app0 = Jfif(2, 118, 59);
    EXPECT_EQ(app0, Bytes(written.begin() + 2, written.begin() + 2 + app0.size()));

    // An XMP section goes out as an ordinary APP1 and is an XMP section again when read.
    const std::string packet = "<x:xmpmeta>this packet is long enough</x:xmpmeta>";
    ASSERT_TRUE(SetJpegXmp(list, packet.c_str()));
    ASSERT_EQ(1, WriteMarkerSections(list, out.c_str()));
    ASSERT_TRUE(ReadWholeFile(out, written));
    JpegSectionList again;
    ResetMarkerSections(again);
    ASSERT_EQ(1, ReadMarkerSectionsFromFile(again, out.c_str(), kKeepMetadata | kKeepImageData));
    std::string read;
    ASSERT_TRUE(GetJpegXmp(again, read));
    EXPECT_EQ(packet, read);
}

TEST_F(JpegSectionsTest, EndsOfReading)
{
    // A file that ends before any scan: everything up to its end, answer 1.
    Bytes file = kSoi;
    AppendBytes(file, Segment(0xDB, Bytes(65, 1)));
    AppendBytes(file, Frame(4, 5, 3));
    ASSERT_EQ(1, Read(file, kKeepImageData));
    EXPECT_EQ((std::vector<int32_t>{0xDB, 0xC0}), Types(list));
    EXPECT_EQ(5, list.facts.width);

    // The end of the picture before any scan: 0, and the facts go too.
    Bytes ended = file;
    AppendBytes(ended, kEoi);
    AppendBytes(ended, Bytes{0x00, 0x10});
    ASSERT_EQ(0, Read(ended, kKeepImageData));
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(0, list.facts.width);

    // Not a JPEG at all.
    EXPECT_EQ(0, Read(TextBytes("GIF89a......"), kKeepImageData));
    EXPECT_EQ(0, ReadMarkerSectionsFromFile(list, dir.File(L"missing.jpg").c_str(), 0));

    // More than ten stray bytes before a marker end the reading with what was found.
    Bytes stray = kSoi;
    AppendBytes(stray, Segment(0xDB, Bytes(65, 1)));
    AppendBytes(stray, Bytes(10, 0x00));
    AppendBytes(stray, Frame(4, 5, 3));
    ASSERT_EQ(1, Read(stray, 0));
    EXPECT_EQ((std::vector<int32_t>{0xDB}), Types(list));

    // Fill bytes before a marker are no problem; a length below 2 skips the marker.
    Bytes fill = kSoi;
    AppendBytes(fill, Bytes{0xFF, 0xFF, 0xFF, 0xC4, 0x00, 0x01});
    AppendBytes(fill, Frame(4, 5, 3));
    ASSERT_EQ(1, Read(fill, 0));
    EXPECT_EQ((std::vector<int32_t>{0xC0}), Types(list));
}

TEST_F(JpegSectionsTest, ShortSegmentsAreNotReadPastTheirEnd)
{
    // A frame header and APP1 segments too short for the fields the reader looks at.
    Bytes file = kSoi;
    AppendBytes(file, Segment(0xC0, {8, 0x01}));
    AppendBytes(file, Segment(0xE1, {'E', 'x'}));
    AppendBytes(file, Segment(0xE1, {'E', 'x', 'i', 'f'}));
    AppendBytes(file, Segment(0xE1, {'h', 't', 't', 'p'}));
    ASSERT_EQ(1, Read(file, kKeepMetadata));
    EXPECT_EQ(0, list.facts.height);
    EXPECT_EQ(0, list.facts.process);
    // "Exif" with nothing after it is still an EXIF segment, but has no TIFF header to read.
    EXPECT_EQ((std::vector<int32_t>{0xC0, 0xE1}), Types(list));
    EXPECT_EQ(0, list.facts.exifSeen);

    // A segment cut off by the end of the file keeps its declared size, zeros for the rest.
    AppendBytes(file, Bytes{0xFF, 0xC1, 0x00, 0x20, 8, 0, 9});
    ASSERT_EQ(1, Read(file, kKeepMetadata));
    ASSERT_EQ((std::vector<int32_t>{0xC0, 0xE1, 0xC1}), Types(list));
    const JpegSection& cut = list.sections[2];
    ASSERT_EQ(0x20u, cut.size);
    EXPECT_EQ(9, cut.data[4]);
    EXPECT_EQ(0, cut.data[0x1F]);
    EXPECT_EQ(9, list.facts.height);
    EXPECT_EQ(0, list.facts.width);
    EXPECT_EQ(0xC1, list.facts.process);
}

TEST_F(JpegSectionsTest, InsertedSectionsNeverFollowTheScan)
{
    Bytes file = kSoi;
    AppendBytes(file, kScanHeader);
    AppendBytes(file, kScanData);
    AppendBytes(file, kEoi);
    ASSERT_EQ(1, Read(file, kKeepMetadata | kKeepImageData));
    ASSERT_EQ((std::vector<int32_t>{0xDA, kJpegSectionImageData}), Types(list));

    ASSERT_TRUE(SetJpegComment(list, L"note"));
    EXPECT_EQ((std::vector<int32_t>{0xFE, 0xDA, kJpegSectionImageData}), Types(list));
    const Bytes exifBody = {0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0};
    ASSERT_NE(nullptr, InsertMarkerSection(list, 0xE1, exifBody.data(), 8));
    EXPECT_EQ((std::vector<int32_t>{0xE1, 0xFE, 0xDA, kJpegSectionImageData}), Types(list));
    ASSERT_NE(nullptr, InsertMarkerSection(list, 0xED, exifBody.data(), 8));
    EXPECT_EQ((std::vector<int32_t>{0xE1, 0xFE, 0xED, 0xDA, kJpegSectionImageData}), Types(list));

    // The written file is a JPEG again, with the comment before the scan.
    const std::wstring out = dir.File(L"out.jpg");
    ASSERT_EQ(1, WriteMarkerSections(list, out.c_str()));
    JpegSectionList again;
    ResetMarkerSections(again);
    ASSERT_EQ(1, ReadMarkerSectionsFromFile(again, out.c_str(), kKeepMetadata | kKeepImageData));
    EXPECT_EQ(Types(list), Types(again));
    EXPECT_STREQ("note", again.facts.comment);
}

TEST_F(JpegSectionsTest, RemovingAndKeepingSections)
{
    ASSERT_EQ(1, Read(FullFile(), kKeepMetadata | kKeepImageData));
    EXPECT_EQ(0, RemoveMarkerSection(list, 0xE0));
    EXPECT_EQ(0, RemoveMarkerSection(list, kJpegSectionImageData));   // the last one is never removed
    EXPECT_TRUE(RemoveJpegComment(list));
    EXPECT_FALSE(RemoveJpegComment(list));
    // APP2 is not among the kept kinds.
    EXPECT_TRUE(RemoveUnlistedSections(list));
    EXPECT_EQ((std::vector<int32_t>{0xE1, kJpegSectionXmp, 0xDB, 0xC0, 0xC4, 0xDA, kJpegSectionImageData}),
              Types(list));
    EXPECT_FALSE(RemoveUnlistedSections(list));

    ASSERT_EQ(1, Read(FullFile(), kKeepMetadata | kKeepImageData));
    InsertMarkerSection(list, 0xED, Bytes{0, 4, 'P', 'S'}.data(), 4);
    KeepMetadataSections(list);
    EXPECT_EQ((std::vector<int32_t>{0xE1, 0xFE, 0xED, kJpegSectionXmp}), Types(list));
    EXPECT_EQ(0, list.hasImageData);
    EXPECT_EQ(0, WriteMarkerSections(list, dir.File(L"out.jpg").c_str()));
}

TEST_F(JpegSectionsTest, CommentEditing)
{
    ASSERT_EQ(1, Read(FullFile(), kKeepMetadata | kKeepImageData));
    wchar_t buffer[16];
    ASSERT_TRUE(GetJpegComment(list, buffer, 16));
    EXPECT_STREQ(L"a\nb?c?\t", buffer);
    ASSERT_TRUE(GetJpegComment(list, buffer, 3));
    EXPECT_STREQ(L"a\n", buffer);
    EXPECT_FALSE(GetJpegComment(list, nullptr, 3));

    // The same text leaves the section as it is; another text replaces its data.
    JpegSection* com = FindMarkerSection(list, 0xFE);
    ASSERT_NE(nullptr, com);
    const std::string current(reinterpret_cast<char*>(com->data) + 2, com->size - 2);
    const std::wstring wideCurrent(current.begin(), current.end());
    const uint8_t* before = com->data;
    ASSERT_TRUE(SetJpegComment(list, wideCurrent.c_str()));
    EXPECT_EQ(before, FindMarkerSection(list, 0xFE)->data);
    ASSERT_TRUE(SetJpegComment(list, L"Hello"));
    com = FindMarkerSection(list, 0xFE);
    EXPECT_EQ((Bytes{0, 7, 'H', 'e', 'l', 'l', 'o'}), Bytes(com->data, com->data + com->size));

    // A text longer than a comment may be is cut to 2000 bytes.
    ASSERT_TRUE(SetJpegComment(list, std::wstring(5000, L'x').c_str()));
    com = FindMarkerSection(list, 0xFE);
    EXPECT_EQ(2002u, com->size);
    EXPECT_EQ(0x07, com->data[0]);
    EXPECT_EQ(0xD2, com->data[1]);

    list.facts.comment[0] = '\0';
    EXPECT_FALSE(GetJpegComment(list, buffer, 16));
}

TEST_F(JpegSectionsTest, XmpEditing)
{
    ASSERT_EQ(1, Read(FullFile(), kKeepMetadata | kKeepImageData));
    std::string packet;
    ASSERT_TRUE(GetJpegXmp(list, packet));
    EXPECT_EQ("<x:xmpmeta>a packet long enough to be read</x:xmpmeta>", packet);

    // Packets whose section is 50 bytes or less are not answered.
    ASSERT_TRUE(SetJpegXmp(list, "<short/>"));
    EXPECT_FALSE(GetJpegXmp(list, packet));
    const JpegSection* xmp = FindMarkerSection(list, kJpegSectionXmp);
    ASSERT_NE(nullptr, xmp);
    EXPECT_EQ(2u + 29u + 9u, xmp->size);
    EXPECT_EQ(0, memcmp(xmp->data + 2, kXmpNamespace, kXmpNamespaceSize));

    // A packet that would not fit a segment's 16-bit length is refused; the largest one fits.
    const std::string largest(65535 - 2 - 29 - 1, 'p');
    EXPECT_FALSE(SetJpegXmp(list, (largest + "p").c_str()));
    ASSERT_TRUE(SetJpegXmp(list, largest.c_str()));
    xmp = FindMarkerSection(list, kJpegSectionXmp);
    EXPECT_EQ(0xFF, xmp->data[0]);
    EXPECT_EQ(0xFF, xmp->data[1]);
    EXPECT_FALSE(SetJpegXmp(list, nullptr));

    EXPECT_TRUE(RemoveJpegXmp(list));
    EXPECT_FALSE(GetJpegXmp(list, packet));
}

}  // namespace
