// Saving and verifying candidates: names, cutting to the decoded length, the size filters, and
// the error texts and placeholders of files that do not decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ScanTestSupport.h"
#include "app/AppSettings.h"
#include "app/CandidateBytes.h"
#include "app/CandidateVerify.h"
#include "app/CandidateView.h"
#include "app/ImageErrorText.h"
#include "app/ScanDlg.h"
#include "common/TestFiles.h"
#include "docobjects/NObjectDocument.h"
#include "imagefile/ImageFactory.h"

namespace {

constexpr uint64_t kCandidateLength = 256 * 1024;

class CandidateTest : public ::testing::Test {
protected:
    CandidateTest() : settings_(dir_.Path())
    {
        wcsncpy(dialog_.ScanFolder, dir_.Path().c_str(), MAX_PATH - 1);
    }

    // The picture followed by noise, as the scan hands it over.
    Bytes Candidate(const Bytes& picture, uint64_t length = kCandidateLength)
    {
        Bytes data = Noise(static_cast<size_t>(length), 7);
        Place(data, 0, picture);
        return data;
    }

    bool Save(const Bytes& data, const wchar_t* extension)
    {
        return dialog_.SaveAndVerifyCandidate(data.data(), 0, data.size(), extension);
    }

    uint64_t SizeOf(const std::wstring& name)
    {
        Bytes bytes;
        ReadWholeFile(dir_.File(name), bytes);
        return bytes.size();
    }

    TestDir dir_;
    ScanSettingsScope settings_;
    ScanDlg dialog_;
};

TEST_F(CandidateTest, KeptFilesAreNumberedAndCutToTheDecodedLength)
{
    // JPEG counts whole 4096-byte blocks of its reader.
    const Bytes jpeg = Fixture(L"jpeg\\rgb-gradient.jpg");
    ASSERT_TRUE(Save(Candidate(jpeg), L"jpg"));
    ASSERT_EQ(1u, dialog_.KeptFiles.size());
    EXPECT_EQ(dir_.File(L"VSTScan0001.jpg"), dialog_.KeptFiles[0].c_str());
    EXPECT_EQ(4096u, SizeOf(L"VSTScan0001.jpg"));

    // A candidate that does not decode is deleted and its number given to the next one.
    EXPECT_FALSE(Save(Noise(4096, 3), L"png"));
    EXPECT_NE(std::wstring::npos, ReadAppLog().find(L"Failed: Loading. File: " + dir_.File(L"VSTScan0002.png")));
    const Bytes png = Fixture(L"png\\rgb.png");
    ASSERT_TRUE(Save(Candidate(png), L"png"));
    EXPECT_EQ(png.size(), SizeOf(L"VSTScan0002.png"));

    // TIFF ends where its directories and strips end.
    const Bytes tiff = Fixture(L"tiff\\rgb-le.tif");
    ASSERT_TRUE(Save(Candidate(tiff), L"tif"));
    EXPECT_EQ(tiff.size(), SizeOf(L"VSTScan0003.tif"));

    EXPECT_EQ((std::vector<std::wstring>{L"VSTScan0001.jpg", L"VSTScan0002.png", L"VSTScan0003.tif"}),
              ListFiles(dir_.Path()));
    EXPECT_FALSE(dialog_.SaveAndVerifyCandidate(nullptr, 0, 10, L"jpg"));
    EXPECT_FALSE(dialog_.SaveAndVerifyCandidate(jpeg.data(), 0, 0, L"jpg"));
}

TEST_F(CandidateTest, MinimumFileSizeBoundary)
{
    // PNG reports the end of its last chunk as consumed.
    const Bytes png = Fixture(L"png\\rgb.png");
    ScanOptions.FileSizeOn = 1;
    ScanOptions.FileSizeIndex = 2;  // 10240 bytes
    EXPECT_FALSE(Save(Candidate(PadPng(png, 10239)), L"png"));
    EXPECT_NE(std::wstring::npos,
              ReadAppLog().find(L"Delete due to Ignore Options. File: " + dir_.File(L"VSTScan0001.png")));
    EXPECT_TRUE(Save(Candidate(PadPng(png, 10240)), L"png"));
    EXPECT_EQ((std::vector<std::wstring>{L"VSTScan0001.png"}), ListFiles(dir_.Path()));
    EXPECT_EQ(10240u, SizeOf(L"VSTScan0001.png"));

    ScanOptions.FileSizeIndex = 7;  // outside the table: everything passes
    EXPECT_TRUE(Save(Candidate(png), L"png"));
}

TEST_F(CandidateTest, MinimumPictureSideBoundary)
{
    ScanOptions.PhotoSizeOn = 1;
    ScanOptions.PhotoSizeIndex = 1;  // 300 pixels
    EXPECT_FALSE(Save(Candidate(MakeJpeg(299, 299)), L"jpg"));
    EXPECT_TRUE(Save(Candidate(MakeJpeg(200, 400)), L"jpg"));
    EXPECT_TRUE(Save(Candidate(MakeJpeg(300, 10)), L"jpg"));
    EXPECT_EQ(2u, dialog_.KeptFiles.size());
}

TEST_F(CandidateTest, NoConsumedLengthFailsAnActiveSizeFilter)
{
    // Raw data has no format class: the JPEG inside is decoded as a last resort, which reports no
    // consumed length.
    Bytes raw(4096, 0x11);
    const Bytes jpeg = Fixture(L"jpeg\\grey.jpg");
    Place(raw, 1000, jpeg);
    const Bytes data = Candidate(raw, 64 * 1024);
    EXPECT_TRUE(Save(data, L"raw"));
    EXPECT_EQ(data.size(), SizeOf(L"VSTScan0001.raw"));  // kept whole

    ScanOptions.FileSizeOn = 1;
    ScanOptions.FileSizeIndex = 0;
    EXPECT_FALSE(Save(data, L"raw"));
    EXPECT_EQ(1u, ListFiles(dir_.Path()).size());
}

TEST_F(CandidateTest, AFolderThatCannotBeWrittenSavesNothing)
{
    wcscpy(dialog_.ScanFolder, (dir_.Path() + L"\\missing\\deeper").c_str());
    EXPECT_FALSE(Save(Candidate(Fixture(L"jpeg\\grey.jpg")), L"jpg"));
    EXPECT_NE(std::wstring::npos, ReadAppLog().find(L"Failed: Saving. File: " + dir_.Path() + L"\\missing"));
    EXPECT_TRUE(dialog_.KeptFiles.empty());
}

// A candidate measured as the scan measures it: the picture at `at` of a source of noise (up to
// `sourceBytes`), over one chunk that holds it all.
struct Measured {
    PictureExtent extent;
    uint64_t length = 0;
    size_t head = 0;
};

Measured Measure(FileType type, const Bytes& picture, size_t at = 3000, size_t sourceBytes = 200000)
{
    Bytes data = Noise(std::max(sourceBytes, at + picture.size()), 17);
    Place(data, at, picture);
    data.resize(std::min(data.size(), sourceBytes));
    MemorySource source(data);
    CandidateBytes candidate(source, at, 0, data.data(), static_cast<uint32_t>(data.size()), nullptr, 0);
    CandidateJob job;
    job.hit.type = type;
    job.hit.position = at;
    PrepareCandidate(job, candidate, kCandidateLength, kCandidateLength);
    return {job.extent, job.length, job.head.size()};
}

// A document as the program writes it, with a preview and two objects.
Bytes WrittenDocument()
{
    TestDir dir;
    NImageBuffer base;
    base.Create(30, 20, 24, RGB(40, 90, 200));
    NObjectDocument doc;
    for (int32_t id = 1; id <= 2; ++id) {
        DocObject object;
        object.id = id;
        object.rect = RECT{0, 0, 20, 10};
        RectanglePayload payload;
        doc.AddRectangle(object, &payload);
    }
    const std::wstring path = dir.File(L"written.lmcdoc");
    Bytes bytes;
    EXPECT_EQ(NR_OK, doc.Save(base, path.c_str(), true, &base, "<x:xmpmeta/>", std::string()));
    EXPECT_TRUE(ReadWholeFile(path, bytes));
    return bytes;
}

TEST(CandidateMeasure, EveryStructuredFormatIsWrittenAtItsOwnSize)
{
    // Candidates of every format whose structure tells its end are written at exactly that end,
    // not at a whole block, however much noise follows.
    const struct {
        FileType type;
        Bytes picture;
    } cases[] = {
        {FT_BMP, Fixture(L"bmp\\v3-24.bmp")}, {FT_BMP, Fixture(L"bmp\\rle8.bmp")},
        {FT_PSD, Fixture(L"psd\\rgb-rle.psd")}, {FT_JNG, Fixture(L"detect\\sample.jng")},
        {FT_MNG, Fixture(L"mng\\anim3.mng")}, {FT_IFF, Fixture(L"iff\\rgb24.iff")},
        {FT_HDR, Fixture(L"hdr\\small.hdr")}, {FT_DCX, Fixture(L"dcx\\three.dcx")},
        {FT_ICO, Fixture(L"ico\\multi.ico")}, {FT_ICO, Fixture(L"ico\\arrow.cur")},
        {FT_LMC, WrittenDocument()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_FALSE(c.picture.empty());
        const Measured m = Measure(c.type, c.picture);
        EXPECT_TRUE(m.extent.IsComplete());
        EXPECT_EQ(c.picture.size(), m.length);
        EXPECT_EQ(c.picture.size(), m.head);

        // Cut short by the source's end: its end is not known, it keeps a whole block.
        const Measured cut = Measure(c.type, c.picture, 3000, 3000 + c.picture.size() - 1);
        EXPECT_FALSE(cut.extent.IsComplete());
        EXPECT_FALSE(cut.extent.IsBroken());
        EXPECT_EQ(kCandidateLength, cut.length);
    }

    // An FLT picture: header, a four-byte extension, 13 x 5 samples of 8 bits.
    Bytes flt = {'I', 'M', 'A', 'G', 'E', '1', '1', 0, 2, 0, 6, 0, 0, 0, 13, 0, 0, 0, 5, 0, 0, 0, 8, 0};
    flt.resize(flt.size() + 4 + 13 * 5, 0x5A);
    const Measured m = Measure(FT_FLT, flt);
    EXPECT_TRUE(m.extent.IsComplete());
    EXPECT_EQ(flt.size(), m.length);
}

TEST(CandidateMeasure, AHeaderTheLoaderRefusesIsNeverWritten)
{
    // A bitmap header claiming 60000 x 60000 pixels of 24 bits, more than any bitmap the loader
    // believes: a false hit, dropped before anything is written.
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0x60, 0xEA, 0, 0, 0x60, 0xEA, 0, 0, 1, 0, 24, 0};
    bmp.resize(54, 0);
    const Measured m = Measure(FT_BMP, bmp);
    EXPECT_TRUE(m.extent.IsBroken());
    EXPECT_EQ(0u, m.length);

    TestDir dir;
    CandidateJob job;
    job.hit.type = FT_BMP;
    job.extent = PictureExtent::Broken();
    const std::wstring path = dir.File(L"false.bmp");
    VerifyCandidate(job, path);
    EXPECT_EQ(CandidateJob::Outcome::LoadFailed, job.outcome);
    EXPECT_EQ(0u, job.bytesWritten);
    EXPECT_FALSE(FileExists(path));

    // A PhotoCD pack is never measured: it keeps its block.
    Bytes pcd(0x1000, 0x80);
    std::memcpy(pcd.data() + 2048, "PCD_IPI", 7);
    const Measured photoCd = Measure(FT_PCD, pcd, 3000, 0x100000);
    EXPECT_FALSE(photoCd.extent.IsComplete());
    EXPECT_EQ(kCandidateLength, photoCd.length);
}

TEST(CandidateView, LoadImageForView)
{
    TestDir dir;
    // Audio, video and slide shows get a holder of their type without a picture.
    NImageFile* file = nullptr;
    const std::wstring wav = dir.File(L"sound.wav");
    WriteWholeFile(wav, "RIFF", 4);
    EXPECT_FALSE(LoadImageForView(&file, wav.c_str(), false, true));
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(FT_AUDIO, file->GetFormatId());
    EXPECT_FALSE(file->picture.valid);
    EXPECT_STREQ(wav.c_str(), file->GetFileName());
    delete file;

    // A file that does not decode gets the error placeholder.
    const std::wstring broken = dir.File(L"broken.png");
    const Bytes noise = Noise(2000, 9);
    WriteWholeFile(broken, noise);
    file = nullptr;
    EXPECT_FALSE(LoadImageForView(&file, broken.c_str(), true, true));
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(file->picture.valid);
    EXPECT_EQ(500, file->picture.width);
    EXPECT_EQ(200, file->picture.height);
    EXPECT_EQ(24, file->picture.bpp);
    delete file;
    // A verification needs no placeholder.
    file = nullptr;
    NRESULT answer = NR_OK;
    EXPECT_FALSE(LoadImageForView(&file, broken.c_str(), false, true, &answer, true));
    EXPECT_NE(NR_OK, answer);
    ASSERT_NE(nullptr, file);
    EXPECT_FALSE(file->picture.valid);
    delete file;

    const std::wstring good = dir.File(L"good.jpg");
    WriteWholeFile(good, Fixture(L"jpeg\\grey.jpg"));
    file = nullptr;
    EXPECT_TRUE(LoadImageForView(&file, good.c_str(), false, true));
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(file->picture.valid);
    delete file;

    EXPECT_FALSE(DrawErrorPlaceholder(nullptr, L"%s", L"x"));
}

TEST(CandidateView, ImageErrorTexts)
{
    const struct {
        int code;
        const wchar_t* text;
    } cases[] = {
        {0, L"No Error"},           {2, L"Not implemented"},         {103, L"File failed open read"},
        {200, L"Format wrong ID"},  {206, L"Format subfeature not supported"},
        {303, L"Memory insufficient"}, {405, L"Image encode failed"}, {501, L"Resource load failed"},
        {603, L"PlugIn initialize"}, {1, L"Unknown Error"},           {-5, L"Unknown Error"},
        {999, L"Unknown Error"},
    };
    for (const auto& entry : cases)
        EXPECT_STREQ(entry.text, ImageErrorText(entry.code)) << entry.code;
}

}  // namespace
