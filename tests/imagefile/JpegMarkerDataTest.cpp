#include "imagefile/JpegMarkerData.h"

#include <windows.h>

#include "common/TestFiles.h"
#include "imagefile/GuardedBuffer.h"
#include "imagefile/JpegTestSupport.h"

#include <libexif/exif-content.h>
#include <libexif/exif-entry.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Released {
    void operator()(JpegMarkerData* data) const { JpegMarkerData::Release(data); }
};
using MarkerData = std::unique_ptr<JpegMarkerData, Released>;

std::vector<int> Markers(const JpegMarkerData* data)
{
    std::vector<int> markers;
    for (uint32_t i = 0; i < data->count; ++i)
        markers.push_back(data->sections[i].marker);
    return markers;
}

// Collects the messages logged under the container's domain.
struct LogCapture {
    LogCapture() : log(exif_log_new()) { exif_log_set_func(log, &LogCapture::Record, this); }
    ~LogCapture() { exif_log_unref(log); }
    static void Record(ExifLog*, ExifLogCode code, const char* domain, const char* format, va_list args, void* self)
    {
        char text[256];
        vsnprintf(text, sizeof(text), format, args);
        static_cast<LogCapture*>(self)->lines.push_back(std::to_string(code) + " " + domain + ": " + text);
    }
    ExifLog* log;
    std::vector<std::string> lines;
};

MarkerData Load(const Bytes& bytes, LogCapture* capture = nullptr)
{
    MarkerData data(JpegMarkerData::Create());
    if (capture)
        JpegMarkerData::SetLog(data.get(), capture->log);
    JpegMarkerData::LoadBytes(data.get(), bytes.data(), bytes.size());
    return data;
}

Bytes Save(JpegMarkerData* data)
{
    uint8_t* block = nullptr;
    uint32_t size = 0;
    JpegMarkerData::SaveBytes(data, &block, &size);
    Bytes out(block, block + size);
    free(block);
    return out;
}

Bytes ExifApp1(const std::string& make)
{
    TiffBuilder t(false);
    t.AddAscii(t.AddIfd(), 271, make);
    return t.ExifSegment();
}

TEST(JpegMarkerData, SectionsFromBytes)
{
    // Fill bytes before a marker are skipped.
    MarkerData data = Load({0xFF, 0xFF, 0xFF, 0xD8, 0xFF, 0xD9});
    EXPECT_EQ((std::vector<int>{0xD8, 0xD9}), Markers(data.get()));

    // A marker byte without FF before it still counts.
    data = Load({0xD8, 0xFF, 0xD9});
    EXPECT_EQ((std::vector<int>{0xD8, 0xD9}), Markers(data.get()));

    // A first byte below C0 is corrupt data.
    LogCapture capture;
    data = Load({0x12, 0xFF, 0xD8}, &capture);
    EXPECT_EQ(0u, data->count);
    ASSERT_EQ(1u, capture.lines.size());
    EXPECT_EQ(std::to_string(EXIF_LOG_CODE_CORRUPT_DATA) + " jpeg-data: Data does not follow JPEG specification.",
              capture.lines[0]);

    // A length below 2, or one that passes the end, ends the loading with what came before.
    LogCapture lengths;
    data = Load({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01, 0xFF, 0xD9}, &lengths);
    EXPECT_EQ((std::vector<int>{0xD8}), Markers(data.get()));
    EXPECT_EQ(1u, lengths.lines.size());
    data = Load({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x09, 1, 2});
    EXPECT_EQ((std::vector<int>{0xD8}), Markers(data.get()));
}

TEST(JpegMarkerData, ImageDataAfterTheScan)
{
    const Bytes head = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x04, 0x01, 0x02};
    MarkerData data = Load(head);
    EXPECT_EQ((std::vector<int>{0xD8, 0xDA}), Markers(data.get()));
    EXPECT_EQ(0u, data->imageSize);
    EXPECT_EQ(2u, data->sections[1].size);

    Bytes ended = head;
    AppendBytes(ended, {0x11, 0xFF, 0x00, 0x22, 0xFF, 0xD9});
    data = Load(ended);
    EXPECT_EQ((std::vector<int>{0xD8, 0xDA, 0xD9}), Markers(data.get()));
    EXPECT_EQ((Bytes{0x11, 0xFF, 0x00, 0x22}), Bytes(data->imageData, data->imageData + data->imageSize));
    EXPECT_EQ(ended, Save(data.get()));

    // Without FF in the second-last byte all the rest is image data.
    Bytes open = head;
    AppendBytes(open, {0x11, 0x22, 0x33});
    data = Load(open);
    EXPECT_EQ(3u, data->imageSize);
    EXPECT_EQ(open, Save(data.get()));
}

TEST(JpegMarkerData, ExifDataIsParsedReplacedAndWritten)
{
    const Bytes jpeg = EncodeJpeg(16, 8, [](int x, int) { return x < 8 ? 0xFF0000u : 0x0000FFu; }, 90,
                                  ExifApp1("FirstMaker"));
    MarkerData data = Load(jpeg);
    ASSERT_GE(data->count, 4u);
    EXPECT_EQ(0xD8, data->sections[0].marker);
    EXPECT_EQ(0xE0, data->sections[1].marker);
    EXPECT_EQ(0xE1, data->sections[2].marker);
    EXPECT_EQ(0xD9, data->sections[data->count - 1].marker);

    ExifData* exif = JpegMarkerData::GetExifData(data.get());
    ASSERT_NE(nullptr, exif);
    ExifEntry* make = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_MAKE);
    ASSERT_NE(nullptr, make);
    EXPECT_STREQ("FirstMaker", reinterpret_cast<const char*>(make->data));
    exif_data_unref(exif);

    // Replaced, saved and read back.
    MarkerData other = Load(ExifApp1("SecondMaker"));
    ASSERT_EQ(1u, other->count);
    JpegMarkerData::SetExifData(data.get(), other->sections[0].exif);
    EXPECT_EQ(0xE1, data->sections[2].marker);
    const Bytes saved = Save(data.get());
    MarkerData again = Load(saved);
    EXPECT_EQ(Markers(data.get()), Markers(again.get()));
    exif = JpegMarkerData::GetExifData(again.get());
    ASSERT_NE(nullptr, exif);
    make = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_MAKE);
    ASSERT_NE(nullptr, make);
    EXPECT_STREQ("SecondMaker", reinterpret_cast<const char*>(make->data));
    exif_data_unref(exif);
    // The picture is untouched: everything from the first DQT on is the same.
    const Bytes dqt = {0xFF, 0xDB};
    auto tail = [&](const Bytes& b) {
        auto at = std::search(b.begin(), b.end(), dqt.begin(), dqt.end());
        return Bytes(at, b.end());
    };
    EXPECT_EQ(tail(jpeg), tail(saved));

    // Setting the same data again keeps it alive.
    exif = JpegMarkerData::GetExifData(again.get());
    JpegMarkerData::SetExifData(again.get(), exif);
    exif_data_unref(exif);
    EXPECT_EQ(saved, Save(again.get()));
}

TEST(JpegMarkerData, ExifGoesRightAfterTheFirstSection)
{
    const Bytes jpeg = EncodeJpeg(8, 8, [](int, int) { return 0x808080u; });
    MarkerData data = Load(jpeg);
    const std::vector<int> before = Markers(data.get());
    ASSERT_EQ(0xE0, before[1]);
    MarkerData other = Load(ExifApp1("Maker"));
    JpegMarkerData::SetExifData(data.get(), other->sections[0].exif);
    std::vector<int> expected = before;
    expected.insert(expected.begin() + 1, 0xE1);
    EXPECT_EQ(expected, Markers(data.get()));

    // An empty container takes the EXIF data as its one section.
    MarkerData empty(JpegMarkerData::Create());
    JpegMarkerData::SetExifData(empty.get(), other->sections[0].exif);
    EXPECT_EQ((std::vector<int>{0xE1}), Markers(empty.get()));
}

TEST(JpegMarkerData, App1WithoutExifDataIsLeftOutWhenSaving)
{
    MarkerData data = Load({0xFF, 0xD8, 0xFF, 0xD9});
    JpegMarkerSection* app1 = JpegMarkerData::AppendSection(data.get());
    ASSERT_NE(nullptr, app1);
    app1->marker = 0xE1;   // no ExifData
    EXPECT_EQ((Bytes{0xFF, 0xD8, 0xFF, 0xD9}), Save(data.get()));
}

TEST(JpegMarkerData, FilesAndReferences)
{
    TestDir dir;
    const Bytes jpeg = EncodeJpeg(8, 8, [](int, int) { return 0x4080C0u; });
    const std::wstring wide = dir.File(L"in.jpg");
    ASSERT_TRUE(WriteWholeFile(wide, jpeg));
    const std::string path(wide.begin(), wide.end());

    MarkerData data(JpegMarkerData::CreateFromFile(path.c_str()));
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(jpeg, Save(data.get()));

    // Saving over an existing file replaces it and leaves no temporary file behind.
    const std::wstring outWide = dir.File(L"out.jpg");
    ASSERT_TRUE(WriteWholeFile(outWide, Bytes(10, 0)));
    const std::string out(outWide.begin(), outWide.end());
    ASSERT_EQ(1, JpegMarkerData::SaveFile(data.get(), out.c_str()));
    Bytes written;
    ASSERT_TRUE(ReadWholeFile(outWide, written));
    EXPECT_EQ(jpeg, written);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir.Path() + L"\\jmd*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);

    // Nothing to save, or no folder to save into: 0.
    MarkerData empty(JpegMarkerData::Create());
    EXPECT_EQ(0, JpegMarkerData::SaveFile(empty.get(), out.c_str()));
    const std::string nowhere = path + "\\missing\\x.jpg";
    EXPECT_EQ(0, JpegMarkerData::SaveFile(data.get(), nowhere.c_str()));

    // A missing file loads nothing.
    MarkerData missing(JpegMarkerData::CreateFromFile((path + ".none").c_str()));
    ASSERT_NE(nullptr, missing);
    EXPECT_EQ(0u, missing->count);

    // References, and a null container everywhere.
    JpegMarkerData::AddRef(data.get());
    EXPECT_EQ(2u, data->references);
    JpegMarkerData::Release(data.get());
    EXPECT_EQ(1u, data->references);
    JpegMarkerData::LoadBytes(nullptr, jpeg.data(), jpeg.size());
    JpegMarkerData::Release(nullptr);
    EXPECT_EQ(nullptr, JpegMarkerData::GetExifData(nullptr));
    EXPECT_EQ(nullptr, JpegMarkerData::FindSection(nullptr, 0xD8));
    EXPECT_EQ(0, JpegMarkerData::SaveFile(nullptr, out.c_str()));
}

TEST(JpegMarkerTable, NamesAndDescriptions)
{
    struct Case {
        int marker;
        const char* name;
        const char* description;
    };
    const Case cases[] = {
        {0xC0, "SOF0", "Encoding (baseline)"},
        {0xC2, "SOF2", "Encoding (progressive)"},
        {0xCF, "SOF15", "Encoding (differential lossless, arithmetic)"},
        {0xC4, "DHT", "Define Huffman table"},
        {0xCC, "DAC", "Define arithmetic coding conditioning"},
        {0xD1, "RST1", "Restart 1"},
        {0xDB, "DQT", "Define quantization table"},
        {0xE1, "APP1", "Application segment 1"},
        {0xEF, "APP15", "Application segment 15"},
        {0xFD, "JPG13", "Extension 13"},
        {0xFE, "COM", "Comment"},
        {0xD0, nullptr, nullptr},
        {0xFF, nullptr, nullptr},
        {0x00, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marker);
        EXPECT_STREQ(c.name, GetJpegMarkerName(c.marker));
        EXPECT_STREQ(c.description, GetJpegMarkerDescription(c.marker));
    }
}

// Cut and damaged files, each placed so that its last byte is followed by a no-access page.
TEST(JpegMarkerData, DamagedBytesAreReadWithinTheirLength)
{
    const Bytes jpeg = EncodeJpeg(16, 16, [](int x, int y) { return static_cast<uint32_t>(x * 4000 + y * 9); }, 80,
                                  ExifApp1("Maker"));
    GuardedBuffer guard(jpeg.size());
    ASSERT_TRUE(guard.valid());
    for (size_t length = 0; length <= jpeg.size(); ++length) {
        MarkerData data(JpegMarkerData::Create());
        JpegMarkerData::LoadBytes(data.get(), guard.AtEnd(jpeg.data(), length), length);
        Save(data.get());
    }
    uint32_t seed = 777;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 1000; ++round) {
        Bytes damaged = jpeg;
        for (int k = 0; k < 4; ++k)
            damaged[next() % damaged.size()] = static_cast<uint8_t>(next() % 3 == 0 ? 0xFF : next());
        MarkerData data(JpegMarkerData::Create());
        JpegMarkerData::LoadBytes(data.get(), guard.AtEnd(damaged.data(), damaged.size()), damaged.size());
        Save(data.get());
    }
}

}  // namespace
