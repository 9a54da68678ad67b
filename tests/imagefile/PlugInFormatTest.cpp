// NImageFilePLUGIN: choosing a plug-in by extension, loading and saving through the test
// plug-in, and the plug-in's camera data as EXIF.
#include <windows.h>

#include <gtest/gtest.h>

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/MessageBoxAnswerer.h"
#include "imagefile/PlugInTestSupport.h"
#include "imagefile/formats/NImageFilePLUGIN.h"

namespace {

class PlugInFormatTest : public PlugInTest {
protected:
    void SetUp() override
    {
        PlugInTest::SetUp();
        ASSERT_EQ(InitializePlugIns(PlugInFolder().c_str()), NR_OK);
        ASSERT_EQ(PlugInCount(), 1);
    }
    std::wstring WriteFile(const std::wstring& name, const std::vector<uint8_t>& bytes)
    {
        std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    // Loads the file through a reader chosen by its extension.
    std::unique_ptr<NImageFilePLUGIN> Load(const std::wstring& path, NRESULT expected, bool preview = false)
    {
        std::unique_ptr<NImageFilePLUGIN> file(CreatePlugInReader(path.c_str(), nullptr));
        EXPECT_EQ(file->Load(path.c_str(), preview, 0, nullptr), expected);
        return file;
    }

    TestDir dir;
};

ExifEntry* Entry(const NImageFile& file, int ifd, int tag)
{
    ExifData* data = file.metadata.exif.data;
    return data ? exif_content_get_entry(data->ifd[ifd], static_cast<ExifTag>(tag)) : nullptr;
}

std::string EntryText(const NImageFile& file, int ifd, int tag)
{
    ExifEntry* entry = Entry(file, ifd, tag);
    if (!entry)
        return "(none)";
    char value[256] = {};
    exif_entry_get_value(entry, value, sizeof value);
    return value;
}

double EntryDouble(const NImageFile& file, int ifd, int tag)
{
    double value = -1;
    file.metadata.exif.GetTagDouble(value, ifd, tag);
    return value;
}

// ---- Choosing a plug-in ----

TEST_F(PlugInFormatTest, ChoosesByExtensionIgnoringCase)
{
    std::unique_ptr<NImageFilePLUGIN> file(CreatePlugInReader(L"C:\\pictures\\Photo.RGY", nullptr));
    EXPECT_STREQ(file->loadOptions.plugInPath.c_str(), RawGreyDll().c_str());
    EXPECT_EQ(file->GetFormatId(), FT_PLUGIN);
    EXPECT_EQ(GetCurrentPlugInIndex(), 0);

    // Given options receive the path; the object's own stay as they were.
    ImageLoadOptions options;
    file.reset(CreatePlugInReader(L"x.RawGrey", &options));
    EXPECT_STREQ(options.plugInPath.c_str(), RawGreyDll().c_str());
    EXPECT_TRUE(file->loadOptions.plugInPath.IsEmpty());

    ImageSaveOptions saveOptions;
    file.reset(CreatePlugInWriter(L"out.rgy", &saveOptions));
    EXPECT_STREQ(saveOptions.plugInPath.c_str(), RawGreyDll().c_str());
    file.reset(CreatePlugInWriter(L"out.rgy", nullptr));
    EXPECT_STREQ(file->saveOptions.plugInPath.c_str(), RawGreyDll().c_str());

    for (const wchar_t* name : {L"photo.png", L"no-dot", L"photo.rgy.x", L"photo."}) {
        file.reset(CreatePlugInReader(name, nullptr));
        EXPECT_TRUE(file->loadOptions.plugInPath.IsEmpty()) << testing::PrintToString(std::wstring(name));
    }
    file.reset(CreatePlugInReader(nullptr, nullptr));
    EXPECT_TRUE(file->loadOptions.plugInPath.IsEmpty());
}

TEST_F(PlugInFormatTest, FirstPlugInInListOrderWins)
{
    std::vector<PlugInRecord>& records = GetPlugInHost().records;
    records.push_back(FakeRecord(L"C:\\first.dll", L"abc|abd", true, false));
    records.push_back(FakeRecord(L"C:\\second.dll", L"xyz|ABC", true, true));

    std::unique_ptr<NImageFilePLUGIN> file(CreatePlugInReader(L"picture.abc", nullptr));
    EXPECT_STREQ(file->loadOptions.plugInPath.c_str(), L"C:\\first.dll");
    EXPECT_EQ(GetCurrentPlugInIndex(), 1);

    // The first cannot write: the writer takes the second.
    file.reset(CreatePlugInWriter(L"picture.abc", nullptr));
    EXPECT_STREQ(file->saveOptions.plugInPath.c_str(), L"C:\\second.dll");
    EXPECT_EQ(GetCurrentPlugInIndex(), 2);
    EXPECT_STREQ(GetCurrentPlugIn()->path, L"C:\\second.dll");
}

TEST_F(PlugInFormatTest, UnlistedExtensionAnswers600)
{
    const std::wstring path = WriteFile(L"a.png", RawGreyBytes(1, 1, {0}));
    std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_PLUGIN_MISSING);
    EXPECT_STREQ(file->GetFileName(), path.c_str());
    EXPECT_FALSE(file->picture.valid);

    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(1, 1, 24, 0));
    std::unique_ptr<NImageFilePLUGIN> writer(CreatePlugInWriter(dir.File(L"b.png").c_str(), nullptr));
    EXPECT_EQ(writer->Save(dir.File(L"b.png").c_str(), &picture, nullptr), NR_PLUGIN_MISSING);
    EXPECT_EQ(writer->Save(dir.File(L"b.png").c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
}

TEST_F(PlugInFormatTest, RefusedOrIncapableDllsAreNotReportedAsSuccess)
{
    const std::wstring path = WriteFile(L"a.rgy", RawGreyBytes(1, 1, {0}));
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(1, 1, 24, 0));
    struct Case {
        std::wstring dll;
        NRESULT load;
        NRESULT save;
    } cases[] = {
        {BrokenPlugIn(L"LMC_BadVersion.dll"), NR_PLUGIN_INIT_FAILED, NR_PLUGIN_INIT_FAILED},
        {BrokenPlugIn(L"LMC_NoInfo.dll"), NR_FORMAT_NOT_SUPPORTED, NR_FORMAT_NOT_SUPPORTED},
        {dir.File(L"LMC_None.dll"), NR_PLUGIN_MISSING, NR_PLUGIN_MISSING},
    };
    for (const Case& c : cases) {
        NImageFilePLUGIN file;
        ImageLoadOptions load;
        load.plugInPath = c.dll.c_str();
        file.SetLoadOptions(&load);
        EXPECT_EQ(file.Load(path.c_str(), 0, 0, nullptr), c.load) << testing::PrintToString(c.dll);
        EXPECT_FALSE(file.picture.valid);
        ImageSaveOptions save;
        save.plugInPath = c.dll.c_str();
        file.SetSaveOptions(&save);
        const std::wstring out = dir.File(L"out.rgy");
        EXPECT_EQ(file.Save(out.c_str(), &picture, nullptr), c.save) << testing::PrintToString(c.dll);
        EXPECT_FALSE(FileExists(out));
        EXPECT_FALSE(ModuleIsLoaded(c.dll));
    }

    // A file that is no DLL at all: reported once, then 603.
    const std::wstring garbage = WriteFile(L"LMC_Garbage.dll", {'M', 'Z', 0, 0});
    MessageBoxAnswerer answerer(IDOK);
    NImageFilePLUGIN file;
    ImageLoadOptions load;
    load.plugInPath = garbage.c_str();
    file.SetLoadOptions(&load);
    EXPECT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_PLUGIN_INIT_FAILED);
    EXPECT_EQ(answerer.Count(), 1);
}

// ---- Loading ----

TEST_F(PlugInFormatTest, LoadsThePictureAndUnloadsTheDll)
{
    const std::vector<uint8_t> grey = GreyRamp(4, 3);
    const std::vector<uint8_t> bytes = RawGreyBytes(4, 3, grey, "hdr=1\n");
    const std::wstring path = WriteFile(L"ramp.rgy", bytes);
    std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_OK);

    ASSERT_TRUE(file->picture.valid);
    EXPECT_EQ(file->picture.bpp, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(PixelAt(file->picture.bits, file->picture.stride, 3, x, y), grey[y * 4 + x]);
    EXPECT_EQ(file->fullWidth, 4);
    EXPECT_EQ(file->fullHeight, 3);
    EXPECT_EQ(file->GetConsumedSize(), bytes.size());
    EXPECT_STREQ(file->GetFileName(), path.c_str());
    EXPECT_TRUE(file->metadata.comment.IsEmpty());
    EXPECT_TRUE(file->IsHighDynamicRange());
    EXPECT_EQ(file->metadata.exif.data, nullptr);  // no camera data, no EXIF
    EXPECT_FALSE(ModuleIsLoaded(RawGreyDll()));

    // Into a caller's picture; the object's own stays empty.
    std::unique_ptr<NImageFilePLUGIN> other(CreatePlugInReader(path.c_str(), nullptr));
    EXPECT_FALSE(other->IsHighDynamicRange());  // false until a load says otherwise
    NImageBuffer target;
    ASSERT_EQ(other->Load(path.c_str(), 0, 0, &target), NR_OK);
    EXPECT_EQ(target.width, 4);
    EXPECT_FALSE(other->picture.valid);

    // Every load sets the flag afresh.
    const std::wstring plain = WriteFile(L"plain.rgy", RawGreyBytes(1, 1, {7}));
    ASSERT_EQ(other->Load(plain.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_FALSE(other->IsHighDynamicRange());
}

TEST_F(PlugInFormatTest, PreviewLoadKeepsTheFullSize)
{
    const std::wstring path = WriteFile(L"big.rgy", RawGreyBytes(7, 5, GreyRamp(7, 5)));
    std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_OK, true);
    EXPECT_EQ(file->picture.width, 4);
    EXPECT_EQ(file->picture.height, 3);
    EXPECT_EQ(file->fullWidth, 7);
    EXPECT_EQ(file->fullHeight, 5);
}

TEST_F(PlugInFormatTest, FailedDecodeStillKeepsTextsAndFullSize)
{
    const std::wstring path =
        WriteFile(L"fail.rgy", RawGreyBytes(6, 2, GreyRamp(6, 2), "faildecode=302\nmake=Maker\n"));
    std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_DECOMPRESSION_FAILED);
    EXPECT_STREQ(file->metadata.make.c_str(), L"Maker");
    EXPECT_EQ(file->fullWidth, 6);
    EXPECT_EQ(file->fullHeight, 2);
}

TEST_F(PlugInFormatTest, CameraDataBecomesExif)
{
    const std::string text =
        "make=Verolux\nmodel=VX 10\ndate=2021:06:30 12:34:56\ncomment=beach\n"
        "aperture=3\nfocal=35.5\niso=200\nshutter=7\nexposure=0.008\nfnumber=2.8\n"
        "whitebalance=1\nflash=16\nlightsource=4\nmetering=5\nlat=-33.5125\nlon=151.25\n";
    const std::wstring path = WriteFile(L"cam.rgy", RawGreyBytes(2, 2, GreyRamp(2, 2), text));
    std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_OK);
    const NImageFile& f = *file;

    EXPECT_STREQ(f.metadata.make.c_str(), L"Verolux");
    EXPECT_STREQ(f.metadata.model.c_str(), L"VX 10");
    EXPECT_STREQ(f.metadata.date.c_str(), L"2021:06:30 12:34:56");
    EXPECT_STREQ(f.metadata.comment.c_str(), L"beach");

    ASSERT_NE(f.metadata.exif.data, nullptr);
    EXPECT_TRUE(f.metadata.exif.hasExif);
    EXPECT_EQ(EntryText(f, 0, 271), "Verolux");
    EXPECT_EQ(EntryText(f, 0, 272), "VX 10");
    EXPECT_EQ(EntryText(f, 0, 306), "2021:06:30 12:34:56");
    EXPECT_EQ(EntryText(f, 2, 36867), "2021:06:30 12:34:56");
    EXPECT_EQ(EntryText(f, 2, 36868), "2021:06:30 12:34:56");
    EXPECT_NEAR(EntryDouble(f, 2, 37378), 3.0, 1e-6);
    EXPECT_NEAR(EntryDouble(f, 2, 37386), 35.0, 1.0);  // rationals keep the whole part
    EXPECT_NEAR(EntryDouble(f, 2, 33437), 2.0, 1.0);
    ASSERT_NE(Entry(f, 2, 34855), nullptr);
    ASSERT_NE(Entry(f, 2, 33434), nullptr);
    ASSERT_NE(Entry(f, 2, 37377), nullptr);
    EXPECT_EQ(EntryText(f, 2, 37383), "Pattern");  // metering mode 5
    ASSERT_NE(Entry(f, 2, 41987), nullptr);
    ASSERT_NE(Entry(f, 2, 37385), nullptr);
    ASSERT_NE(Entry(f, 2, 37384), nullptr);

    // GPS: 33 degrees 30 minutes 45 seconds south, 151 degrees 15 minutes east.
    ExifEntry* latitude = Entry(f, 3, 2);
    ASSERT_NE(latitude, nullptr);
    EXPECT_EQ(latitude->format, EXIF_FORMAT_RATIONAL);
    ASSERT_EQ(latitude->components, 3u);
    const ExifByteOrder order = exif_data_get_byte_order(f.metadata.exif.data);
    const ExifRational d = exif_get_rational(latitude->data, order);
    const ExifRational m = exif_get_rational(latitude->data + 8, order);
    const ExifRational s = exif_get_rational(latitude->data + 16, order);
    EXPECT_EQ(d.numerator, 33u);
    EXPECT_EQ(d.denominator, 1u);
    EXPECT_EQ(m.numerator, 30u);
    EXPECT_EQ(m.denominator, 1u);
    EXPECT_NEAR(static_cast<double>(s.numerator) / s.denominator, 45.0, 0.01);
    ExifEntry* longitude = Entry(f, 3, 4);
    ASSERT_NE(longitude, nullptr);
    EXPECT_EQ(exif_get_rational(longitude->data, order).numerator, 151u);
    EXPECT_EQ(exif_get_rational(longitude->data + 8, order).numerator, 15u);
    EXPECT_EQ(EntryText(f, 3, 1), "S");
    EXPECT_EQ(EntryText(f, 3, 3), "E");
}

TEST_F(PlugInFormatTest, ShortDatesAndIncompletePositionsAreLeftOut)
{
    struct Case {
        const char* text;
        bool date;
        bool position;
    } cases[] = {
        {"make=A\ndate=X\nlat=10\nlon=20\n", false, true},
        {"make=A\nlat=0\nlon=20\n", true, false},
        {"make=A\nlat=10\n", true, false},
        {"make=A\nlat=nan\nlon=20\n", true, false},
        {"make=A\nlat=inf\nlon=20\n", true, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string text = c.text;
        if (c.date)
            text += "date=2020:01:02 03:04:05\n";
        const std::wstring path = WriteFile(L"c" + std::to_wstring(n++) + L".rgy", RawGreyBytes(1, 1, {9}, text));
        std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_OK);
        ASSERT_NE(file->metadata.exif.data, nullptr) << c.text;
        EXPECT_EQ(Entry(*file, 0, 306) != nullptr, c.date) << c.text;
        EXPECT_EQ(Entry(*file, 2, 36867) != nullptr, c.date) << c.text;
        EXPECT_EQ(Entry(*file, 3, 2) != nullptr, c.position) << c.text;
        EXPECT_EQ(Entry(*file, 3, 4) != nullptr, c.position) << c.text;
        EXPECT_EQ(Entry(*file, 3, 1) != nullptr, c.position) << c.text;
    }
}

// ---- Saving ----

TEST_F(PlugInFormatTest, SavesThroughTheWriterAndReadsBack)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(2, 2, 32, 0));
    const uint8_t top[2] = {40, 160}, bottom[2] = {220, 5};
    for (int x = 0; x < 2; ++x) {
        memset(picture.bits + picture.stride + x * 4, top[x], 4);  // scan line 1 is the top row
        memset(picture.bits + x * 4, bottom[x], 4);
    }
    const std::wstring path = dir.File(L"saved.RGY");
    std::unique_ptr<NImageFilePLUGIN> writer(CreatePlugInWriter(path.c_str(), nullptr));
    ASSERT_EQ(writer->Save(path.c_str(), &picture, nullptr), NR_OK);
    EXPECT_FALSE(ModuleIsLoaded(RawGreyDll()));

    std::unique_ptr<NImageFilePLUGIN> file = Load(path, NR_OK);
    EXPECT_EQ(PixelAt(file->picture.bits, file->picture.stride, 2, 0, 0), 40);
    EXPECT_EQ(PixelAt(file->picture.bits, file->picture.stride, 2, 1, 0), 160);
    EXPECT_EQ(PixelAt(file->picture.bits, file->picture.stride, 2, 0, 1), 220);
    EXPECT_EQ(PixelAt(file->picture.bits, file->picture.stride, 2, 1, 1), 5);

    // With no source the object's own picture is written.
    file->SetSaveOptions(&writer->saveOptions);
    const std::wstring copy = dir.File(L"copy.rgy");
    ASSERT_EQ(file->Save(copy.c_str(), nullptr, nullptr), NR_OK);
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(ReadWholeFile(path, a));
    ASSERT_TRUE(ReadWholeFile(copy, b));
    EXPECT_EQ(a, b);
}

TEST(PlugInFormatSignature, NeverRecognisesContent)
{
    const uint8_t bytes[16] = {'R', 'G', 'R', 'Y', 1, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(NImageFilePLUGIN::IsFormat(bytes, 0, sizeof bytes));
}

}  // namespace
