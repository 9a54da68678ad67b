// The whole scan of disk images: pictures made by real tools between noise are recovered,
// each scan gets a folder of its own, the window's texts follow the scan, and a running worker
// stops when asked.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "app/AppSettings.h"
#include "app/ScanDlg.h"
#include "app/ScanWorker.h"
#include "common/MultiPictureJpeg.h"
#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/extra/NImageFilePSD.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWinApp.h"

namespace {

constexpr size_t kChunk = 5 * 1024 * 1024;  // chunk-size index 0 with 512-byte sectors

struct Picture {
    std::wstring extension;  // what the scan names it
    Bytes bytes;
};

// A picture made by the image library's writer.
Bytes Written(FileType type, const wchar_t* extension)
{
    NImageBuffer picture;
    picture.Create(23, 17, 24, RGB(10, 200, 30));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            picture.bits[y * picture.stride + x * 3] = static_cast<uint8_t>(x * 11 + y * 3);
    TestDir dir;
    const std::wstring path = dir.File(std::wstring(L"made.") + extension);
    EXPECT_EQ(NR_OK, SaveImageFile(&picture, path.c_str(), type, nullptr)) << type;
    Bytes bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

// Decodes bytes stored under the extension; false when they do not decode.
bool Decode(const Bytes& bytes, const std::wstring& extension, NImageBuffer& picture)
{
    TestDir dir;
    const std::wstring path = dir.File(L"picture." + extension);
    WriteWholeFile(path, bytes);
    return LoadImageIntoBitmap(picture, path.c_str(), 0, 1, nullptr, 0) == NR_OK;
}

bool SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (a.width != b.width || a.height != b.height || a.bpp != b.bpp || a.stride != b.stride)
        return false;
    return std::memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.height) == 0;
}

// Runs a script of the Unix shell (Wine starts Unix programs) and waits until it has finished.
// Neither the end nor the exit code of a Unix program comes through to the process handle: the
// script ends by leaving a mark file. False when it did not get there within a minute.
bool RunUnixShell(const std::wstring& script)
{
    const std::wstring mark = L"/tmp/vst-scan-shell-" + std::to_wstring(GetCurrentProcessId()) + L".done";
    DeleteFileW((L"Z:" + mark).c_str());
    std::wstring command = L"Z:\\bin\\sh -c \"" + script + L"; touch " + mark + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int waited = 0; waited < 60000; waited += 20) {
        if (DeleteFileW((L"Z:" + mark).c_str()))
            return true;
        Sleep(20);
    }
    return false;
}

class ScanWorkerTest : public ::testing::Test {
protected:
    ScanWorkerTest() : settings_(output_.Path()) {}

    // Scans the image file with every group on.
    ScanLoopResult Scan(const Bytes& image, ScanDlg& dialog)
    {
        const std::wstring path = images_.File(L"disk.img");
        EXPECT_TRUE(WriteWholeFile(path, image));
        ScanImageFileWithAllGroups(path);
        return RunScan(dialog);
    }

    TestDir output_;
    TestDir images_;
    ScanSettingsScope settings_;
};

TEST_F(ScanWorkerTest, RecoversEveryFormatBetweenNoise)
{
    std::vector<Picture> pictures = {
        {L"jpg", Fixture(L"jpeg\\rgb-gradient.jpg")},  {L"jpg", Fixture(L"jpeg\\progressive.jpg")},
        {L"png", Fixture(L"png\\rgb.png")},             {L"png", Fixture(L"png\\palette8.png")},
        {L"gif", Fixture(L"gif\\single.gif")},          {L"gif", Fixture(L"gif\\anim3.gif")},
        {L"tif", Fixture(L"tiff\\rgb-le.tif")},          {L"tif", Fixture(L"tiff\\rgb-be-lzw.tif")},
        {L"pdf", Fixture(L"pdf\\jpeg1.pdf")},            {L"webp", Fixture(L"detect\\sample.webp")},
        {L"jxr", Written(FT_JXR, L"jxr")},               {L"j2k", Fixture(L"detect\\sample.j2k")},
        {L"j2k", Fixture(L"detect\\sample.jp2")},        {L"heic", Fixture(L"detect\\sample.heic")},
        {L"bmp", Fixture(L"bmp\\v3-24.bmp")},
        {L"bmp", Fixture(L"bmp\\rle8.bmp")},             {L"psd", Fixture(L"psd\\rgb-rle.psd")},
        {L"jng", Fixture(L"detect\\sample.jng")},        {L"mng", Fixture(L"detect\\sample.mng")},
        {L"iff", Fixture(L"iff\\rgb24.iff")},            {L"hdr", Fixture(L"hdr\\small.hdr")},
        {L"dcx", Fixture(L"dcx\\three.dcx")},            {L"ico", Fixture(L"ico\\multi.ico")},
    };

    // Noise with the pictures at odd offsets; one crosses the first chunk boundary, the image's
    // size is no multiple of the chunk.
    Bytes image = Noise(2 * kChunk + 300001, 21);
    std::vector<size_t> offsets;
    size_t offset = 777;
    for (size_t i = 0; i < pictures.size(); ++i) {
        if (i == pictures.size() / 2)
            offset = kChunk - pictures[i].bytes.size() / 2;
        offsets.push_back(offset);
        Place(image, offset, pictures[i].bytes);
        offset += pictures[i].bytes.size() + 30011 + 13 * i;
    }

    ScanDlg dialog;
    const ScanLoopResult result = Scan(image, dialog);
    EXPECT_EQ(image.size(), result.bytesScanned);

    struct Kept {
        Bytes bytes;
        NImageBuffer* picture;
    };
    std::multimap<std::wstring, Kept> kept;
    for (const NString& path : dialog.KeptFiles) {
        Bytes bytes;
        ASSERT_TRUE(ReadWholeFile(path.c_str(), bytes));
        const std::wstring name = path.c_str();
        const std::wstring extension = name.substr(name.rfind(L'.') + 1);
        auto* picture = new NImageBuffer();
        // A picture whose decoder the system lacks (HEIC without the HEIF codec) is kept all the same.
        EXPECT_TRUE(Decode(bytes, extension, *picture) || extension == L"heic")
            << "kept but does not decode: " << std::string(name.begin(), name.end());
        kept.emplace(extension, Kept{std::move(bytes), picture});
    }
    for (size_t i = 0; i < pictures.size(); ++i) {
        NImageBuffer original;
        const bool decodes = Decode(pictures[i].bytes, pictures[i].extension, original);
        // Only HEIC depends on the system's decoder, which may be missing.
        EXPECT_TRUE(decodes || pictures[i].extension == L"heic");
        bool found = false;
        bool exact = false;
        auto range = kept.equal_range(pictures[i].extension);
        for (auto it = range.first; it != range.second; ++it) {
            found = found || (decodes ? SamePixels(original, *it->second.picture) : it->second.bytes == pictures[i].bytes);
            exact = exact || it->second.bytes == pictures[i].bytes;
        }
        EXPECT_TRUE(found) << "not recovered: picture " << i << " at " << offsets[i];
        // Every picture but JPEG (which counts whole blocks of its reader) is kept at its own size.
        if (found && pictures[i].extension != L"jpg")
            EXPECT_TRUE(exact) << "not at its own size: picture " << i;
    }
    for (auto& entry : kept)
        delete entry.second.picture;

    // Kept files are numbered from 1 in the scan's folder below the output folder.
    const std::wstring folder = dialog.ScanFolder;
    EXPECT_EQ(0u, folder.find(output_.Path() + L"\\Delvarin Vastrel 2\\"));
    const std::vector<std::wstring> files = ListFiles(folder);
    ASSERT_EQ(dialog.KeptFiles.size(), files.size());
    EXPECT_EQ(0u, files[0].find(L"VSTScan0001."));
}

// A picture of noise written by the format class, with its writer's options: big files.
Bytes NoisePicture(NImageFile& writer, const wchar_t* extension, int width, int height)
{
    NImageBuffer picture;
    picture.Create(width, height, 24, 0);
    const Bytes noise = Noise(static_cast<size_t>(picture.stride) * height, 77);
    std::copy(noise.begin(), noise.end(), picture.bits);
    TestDir dir;
    const std::wstring path = dir.File(std::wstring(L"big.") + extension);
    EXPECT_EQ(NR_OK, writer.Save(path.c_str(), &picture, nullptr));
    Bytes bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

TEST_F(ScanWorkerTest, PicturesLongerThanABlockAndMultiPictureJpegsAreWhole)
{
    NImageFileJPG jpegWriter;
    ImageSaveOptions best;
    best.jpegQuality = 100;
    jpegWriter.SetSaveOptions(&best);
    const Bytes bigJpeg = NoisePicture(jpegWriter, L"jpg", 2000, 1500);
    NImageFilePSD psdWriter;
    const Bytes bigPsd = NoisePicture(psdWriter, L"psd", 1400, 1400);
    ASSERT_GT(bigJpeg.size(), kChunk);
    ASSERT_GT(bigPsd.size(), kChunk);
    const Bytes mpo = MakeMultiPictureJpeg(
        {Fixture(L"jpeg\\rgb-gradient.jpg"), Fixture(L"jpeg\\grey.jpg"), Fixture(L"jpeg\\rose-baseline.jpg")});
    // An HEIC file whose meta box is damaged: its structure says no picture.
    Bytes brokenHeic = Fixture(L"detect\\sample.heic");
    for (size_t i = 0; i + 4 <= brokenHeic.size(); ++i) {
        if (std::memcmp(&brokenHeic[i], "meta", 4) == 0) {
            brokenHeic[i + 1] = 'x';
            break;
        }
    }

    Bytes image = Noise(bigJpeg.size() + bigPsd.size() + mpo.size() + brokenHeic.size() + 4 * 100000, 9);
    const size_t jpegAt = 77777;
    const size_t psdAt = jpegAt + bigJpeg.size() + 90001;
    const size_t mpoAt = psdAt + bigPsd.size() + 50003;
    const size_t heicAt = mpoAt + mpo.size() + 40009;
    Place(image, jpegAt, bigJpeg);
    Place(image, psdAt, bigPsd);
    Place(image, mpoAt, mpo);
    Place(image, heicAt, brokenHeic);

    ScanDlg dialog;
    Scan(image, dialog);
    std::map<std::wstring, Bytes> kept;
    for (const NString& path : dialog.KeptFiles) {
        const std::wstring name = path.c_str();
        ReadWholeFile(name, kept[name.substr(name.rfind(L'.') + 1) + L"@" + std::to_wstring(kept.size())]);
    }
    auto keptAs = [&](const std::wstring& extension, const Bytes& wanted, size_t length) {
        for (const auto& [key, bytes] : kept) {
            if (key.rfind(extension + L"@", 0) == 0 && bytes.size() == length &&
                std::equal(wanted.begin(), wanted.end(), bytes.begin()))
                return true;
        }
        return false;
    };
    // A JPEG runs to the end of its reader's last 4096-byte block; the others end with their data.
    EXPECT_TRUE(keptAs(L"jpg", bigJpeg, (bigJpeg.size() + 4095) / 4096 * 4096)) << "the long JPEG, whole";
    EXPECT_TRUE(keptAs(L"psd", bigPsd, bigPsd.size())) << "the long PSD, whole";
    EXPECT_TRUE(keptAs(L"jpg", mpo, mpo.size())) << "the multi-picture JPEG with its three pictures";
    for (const auto& entry : kept)
        EXPECT_NE(0u, entry.first.rfind(L"heic@", 0)) << "a damaged HEIC is not kept";
}

TEST_F(ScanWorkerTest, WholeChunksAndEmptyImages)
{
    // A size that is a multiple of the chunk size, with a picture in the last chunk.
    Bytes image = Noise(kChunk, 4);
    const Bytes png = Fixture(L"png\\rgb.png");
    Place(image, kChunk - png.size() - 3, png);
    ScanDlg dialog;
    ScanLoopResult result = Scan(image, dialog);
    EXPECT_EQ(kChunk, result.bytesScanned);
    ASSERT_EQ(1u, dialog.KeptFiles.size());

    ScanDlg empty;
    result = Scan(Bytes(), empty);
    EXPECT_EQ(0u, result.bytesScanned);
    EXPECT_TRUE(empty.KeptFiles.empty());
    EXPECT_TRUE(ListFiles(empty.ScanFolder).empty());
    const std::wstring log = ReadAppLog();
    EXPECT_NE(std::wstring::npos, log.rfind(L"Finished Scan."));
}

TEST_F(ScanWorkerTest, EveryScanGetsAFolderOfItsOwn)
{
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 1;
    time.wDay = 17;
    time.wHour = 9;
    time.wMinute = 5;
    wchar_t first[MAX_PATH];
    wchar_t second[MAX_PATH];
    wchar_t third[MAX_PATH];
    ASSERT_TRUE(MakeScanFolder(output_.Path().c_str(), time, first));
    ASSERT_TRUE(MakeScanFolder((output_.Path() + L"\\").c_str(), time, second));
    ASSERT_TRUE(MakeScanFolder(output_.Path().c_str(), time, third));
    const std::wstring base = output_.Path() + L"\\Delvarin Vastrel 2\\2024 01 17 - 09h05m";
    EXPECT_EQ(base, first);
    EXPECT_EQ(base + L" (1)", second);
    EXPECT_EQ(base + L" (2)", third);
    for (const wchar_t* folder : {first, second, third})
        EXPECT_TRUE(GetFileAttributesW(folder) & FILE_ATTRIBUTE_DIRECTORY);

    // A path that does not fit is refused rather than cut.
    const std::wstring deep = output_.Path() + L"\\" + std::wstring(240, L'd');
    EXPECT_FALSE(MakeScanFolder(deep.c_str(), time, first));
}

// Every text a static control was given, in order.
std::vector<std::wstring> g_textsSet;
WNDPROC g_staticProc = nullptr;
LRESULT CALLBACK RecordTexts(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && lParam)
        g_textsSet.push_back(reinterpret_cast<const wchar_t*>(lParam));
    return CallWindowProcW(g_staticProc, window, message, wParam, lParam);
}

TEST_F(ScanWorkerTest, TheWindowTextsFollowTheScan)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"scan", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 10, window,
                               reinterpret_cast<HMENU>(ScanDlg::kProgressBarId), nullptr, nullptr);
    HWND position = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 20, 300, 40, window,
                                    reinterpret_cast<HMENU>(ScanDlg::kPositionTextId), nullptr, nullptr);
    HWND counter = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 70, 300, 20, window,
                                   reinterpret_cast<HMENU>(ScanDlg::kCounterTextId), nullptr, nullptr);
    g_textsSet.clear();
    g_staticProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(counter, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordTexts)));
    SetWindowLongPtrW(position, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordTexts));

    Bytes image = Noise(2 * kChunk, 8);
    Place(image, 1234, Fixture(L"png\\rgb.png"));
    NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"ScanTexts"));  // no language file: built-in texts
    ScanDlg dialog;
    ASSERT_TRUE(dialog.Attach(window));
    Scan(image, dialog);

    auto saw = [](const wchar_t* text) {
        return std::find(g_textsSet.begin(), g_textsSet.end(), text) != g_textsSet.end();
    };
    // Each chunk's start, and each try of a candidate (the noise holds JPEG signatures that do
    // not decode).
    EXPECT_TRUE(saw(L"Device size: 10485760 (Bytes) = 0.01 (GB)\r\nPosition: 5242880 (Bytes) - 50.00%"));
    EXPECT_TRUE(saw(L"Photos found: 1 -> [Verifying: JPG - Joint Photographic Experts Group]"));
    // At the end: the final count and the whole image.
    wchar_t text[256];
    GetDlgItemTextW(window, ScanDlg::kCounterTextId, text, 256);
    EXPECT_STREQ(L"Photos found: 1", text);
    GetDlgItemTextW(window, ScanDlg::kPositionTextId, text, 256);
    EXPECT_STREQ(L"Device size: 10485760 (Bytes) = 0.01 (GB)\r\nPosition: 10485760 (Bytes) - 100.00%", text);
    EXPECT_EQ(100, SendMessageW(bar, PBM_GETPOS, 0, 0));
    EXPECT_EQ(100, SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    dialog.Detach();
    DestroyWindow(window);
}

// Under Wine the device path of a drive leads to the Unix device that "<prefix>/dosdevices/x::"
// names: a loop device over a disk image stands for a card. Needs root; skipped otherwise.
TEST_F(ScanWorkerTest, ScansAVolume)
{
    wchar_t prefix[MAX_PATH];
    if (!GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH))
        GTEST_SKIP() << "not under Wine";
    wchar_t letter = 0;
    const DWORD drives = GetLogicalDrives();
    for (wchar_t candidate = L'Y'; candidate >= L'M' && !letter; --candidate) {
        if (!(drives & (1u << (candidate - L'A'))))
            letter = candidate;
    }
    ASSERT_NE(0, letter);

    // Sizes of loop devices are whole sectors.
    Bytes image = Noise(kChunk + 64 * 512, 31);
    for (uint8_t& b : image)
        if (b == 0xFF) b = 0xFE;  // no stray JPEG signatures
    const Bytes png = Fixture(L"png\\rgb.png");
    const Bytes jpeg = Fixture(L"jpeg\\rgb-gradient.jpg");
    Place(image, 4099, png);
    Place(image, kChunk - 77, jpeg);
    const std::wstring unixImage = L"/tmp/vst-scan-volume-" + std::to_wstring(GetCurrentProcessId()) + L".img";
    ASSERT_TRUE(WriteWholeFile(L"Z:" + unixImage, image));
    const std::wstring link = std::wstring(L"$WINEPREFIX/dosdevices/") + static_cast<wchar_t>(towlower(letter)) + L"::";
    // The drive letter is free, so a link of that name can only be left over from an earlier run.
    const bool ready = RunUnixShell(L"if [ $(id -u) = 0 ] && dev=$(losetup -f --show " + unixImage + L"); then echo $dev > " +
                                    unixImage + L".dev; ln -sfn $dev " + link + L"; fi");
    struct CleanUp {
        std::wstring script;
        ~CleanUp() { RunUnixShell(script); }
    } cleanUp{L"rm -f " + link + L"; [ -f " + unixImage + L".dev ] && losetup -d $(cat " + unixImage +
              L".dev); rm -f " + unixImage + L" " + unixImage + L".dev"};
    if (!ready || !FileExists(L"Z:" + unixImage + L".dev"))
        GTEST_SKIP() << "needs root and a free loop device";

    ScanOptions.ScanFromFile = 0;
    ScanOptions.DriveLetter[0] = letter;
    ScanOptions.ChunkSizeOn = 1;
    ScanOptions.ChunkSizeIndex = 0;
    ScanDlg dialog;
    const ScanLoopResult result = RunScan(dialog);
    EXPECT_EQ(image.size(), result.bytesScanned);
    ASSERT_EQ(2u, dialog.KeptFiles.size());
    Bytes kept;
    ASSERT_TRUE(ReadWholeFile(dialog.KeptFiles[0].c_str(), kept));
    EXPECT_EQ(png, kept);
    EXPECT_NE(std::wstring::npos, std::wstring(dialog.KeptFiles[1].c_str()).find(L"VSTScan0002.jpg"));
}

TEST_F(ScanWorkerTest, ARunningWorkerStopsWhenCancelled)
{
    EXPECT_EQ(1u, ScanWorker(nullptr));

    // Many pictures: the worker is still busy when the cancel comes.
    Bytes image = Noise(4 * kChunk, 12);
    const Bytes png = Fixture(L"png\\rgb.png");
    for (size_t offset = 1000; offset + png.size() < image.size(); offset += 20000)
        Place(image, offset, png);
    const std::wstring path = images_.File(L"busy.img");
    ASSERT_TRUE(WriteWholeFile(path, image));
    ScanOptions.ScanFromFile = 1;
    ScanOptions.ImageFilePath = path.c_str();

    ScanDlg dialog;
    ASSERT_TRUE(dialog.StartWorker());
    EXPECT_FALSE(dialog.StartWorker());  // one worker at a time
    while (dialog.KeptFiles.empty() && WaitForSingleObject(dialog.WorkerThread.Get(), 10) == WAIT_TIMEOUT) {
    }
    dialog.StopWorker();
    EXPECT_FALSE(dialog.WorkerThread);
    EXPECT_FALSE(dialog.KeptFiles.empty());
    EXPECT_LT(dialog.KeptFiles.size(), image.size() / 20000);
    EXPECT_EQ(dialog.KeptFiles.size(), ListFiles(dialog.ScanFolder).size());
}

}  // namespace
