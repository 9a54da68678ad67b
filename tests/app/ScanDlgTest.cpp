// The scan window running real scans of disk images: it starts the worker once it is on screen,
// its texts follow the scan, every way of closing it during a scan stops and waits for the worker
// before the outcome is shown, a scan that keeps nothing ends with the "no photos" box, and the
// skin's background is painted behind it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "app/AppSettings.h"
#include "app/ResultDlg.h"
#include "app/ScanDlg.h"
#include "app/ScanDlgRes.h"
#include "app/resource.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "common/WindowDriver.h"
#include "imagefile/ImageFactory.h"
#include "imaging/NImageBuffer.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

namespace {

constexpr size_t kChunk = 5 * 1024 * 1024;  // chunk-size index 0 with 512-byte sectors

// Handles this thread's messages until the condition holds or the time is up; answers the condition.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD milliseconds)
{
    const DWORD end = GetTickCount() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition())
            return true;
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return false;
        Sleep(5);
    }
}

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance && abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

std::wstring ItemText(HWND window, int id)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(window, id, text, 512);
    return text;
}

// The scan window with the result window replaced: what it would have shown is recorded while
// the scan window is still open.
class TestScanDlg : public ScanDlg {
public:
    using ScanDlg::ScanDlg;

    int resultsShown = 0;
    size_t keptWhenShown = 0;
    bool workerEndedWhenShown = false;
    std::wstring title, counterText, positionText, cancelText;
    int progress = -1;

protected:
    void ShowResults() override
    {
        ++resultsShown;
        keptWhenShown = KeptFiles.size();
        workerEndedWhenShown = !WorkerThread;
        HWND window = GetHwnd();
        wchar_t text[512] = L"";
        GetWindowTextW(window, text, 512);
        title = text;
        counterText = ItemText(window, IDC_SCAN_COUNTER);
        positionText = ItemText(window, IDC_SCAN_POSITION);
        cancelText = ItemText(window, IDCANCEL);
        progress = static_cast<int>(SendDlgItemMessageW(window, IDC_SCAN_PROGRESS, PBM_GETPOS, 0, 0));
    }
};

// The real result window with the shell replaced: what it would open is recorded.
class RecordingResultDlg : public ResultDlg {
public:
    using ResultDlg::ResultDlg;
    int opened = 0;

protected:
    void ShellOpen(const wchar_t*, const wchar_t*, const wchar_t*) override { ++opened; }
};

// The scan window showing the real result window; once its tiles are on the screen the test
// checks each against its thumbnail, deselects one picture and presses OK.
class EndToEndScanDlg : public ScanDlg {
public:
    using ScanDlg::ScanDlg;

    int resultsShown = 0;
    size_t tiles = 0;
    int tilesMatching = 0;
    std::wstring deselected;
    bool ownedByScanWindow = false;
    bool timedOut = false;

protected:
    void ShowResults() override
    {
        ++resultsShown;
        RecordingResultDlg results(this);
        int visibleTicks = 0;
        TimerDriver driver(
            [&] {
                HWND window = results.GetHwnd();
                if (!window || !IsWindowVisible(window) || ++visibleTicks < 3)
                    return false;
                Inspect(results);
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                return true;
            },
            [&] { results.EndDialog(0); }, 60000);
        results.DoModal(true);
        timedOut = driver.TimedOut();
    }

private:
    void Inspect(RecordingResultDlg& results)
    {
        ownedByScanWindow = GetWindow(results.GetHwnd(), GW_OWNER) == GetHwnd();
        ResultList& list = results.GetList();
        HWND listWindow = list.GetListHwnd();
        tiles = static_cast<size_t>(SendMessageW(listWindow, LVM_GETITEMCOUNT, 0, 0));
        Capture capture;
        if (!CaptureClient(listWindow, capture))
            return;
        for (int i = 0; i < list.GetCount(); ++i) {
            RECT item{LVIR_BOUNDS};
            const NImageBuffer* thumbnail = list.GetThumbnail(i);
            if (!SendMessageW(listWindow, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)) || !thumbnail ||
                thumbnail->width <= 1)
                continue;
            // The picture is centred in the upper 148 pixels of the 200-pixel tile.
            const int x = item.left + (200 - thumbnail->width) / 2 + thumbnail->width / 2;
            const int y = item.top + (148 - thumbnail->height) / 2 + thumbnail->height / 2;
            if (x < 0 || y < 0 || x >= capture.width || y >= capture.height)
                continue;
            const COLORREF expected = GetPixel(thumbnail->dc, thumbnail->width / 2, thumbnail->height / 2);
            if (ColourDistance(capture.At(x, y), expected) <= 24)
                ++tilesMatching;
        }
        // Deselect the first picture: it goes to the Recycle Bin when the window closes.
        deselected = list.GetRecord(0)->path;
        NMITEMACTIVATE click{};
        click.hdr.hwndFrom = listWindow;
        click.hdr.idFrom = IDC_RESULT_LIST;
        click.hdr.code = NM_CLICK;
        click.iItem = 0;
        SendMessageW(results.GetHwnd(), WM_NOTIFY, IDC_RESULT_LIST, reinterpret_cast<LPARAM>(&click));
    }
};

class ScanDlgTest : public ::testing::Test {
protected:
    ScanDlgTest() : settings_(output_.Path()) {}
    void TearDown() override
    {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
    }

    // The image file to scan, with every group on.
    void UseImage(const Bytes& image, const wchar_t* name = L"disk.img")
    {
        const std::wstring path = images_.File(name);
        ASSERT_TRUE(WriteWholeFile(path, image));
        ScanImageFileWithAllGroups(path);
    }
    // Many pictures: the worker is still busy long after the window is up.
    Bytes BusyImage()
    {
        Bytes image = Noise(4 * kChunk, 12);
        const Bytes png = Fixture(L"png\\rgb.png");
        for (size_t offset = 1000; offset + png.size() < image.size(); offset += 20000)
            Place(image, offset, png);
        return image;
    }
    void Open()
    {
        window_ = dialog_.DoModeless(IDD_SCAN, nullptr);
        ASSERT_NE(nullptr, window_);
        ShowWindow(window_, SW_SHOWNORMAL);
    }
    // Waits until the worker runs and has kept a file.
    void WaitForScanning()
    {
        ASSERT_TRUE(PumpUntil([&] { return static_cast<bool>(dialog_.WorkerThread); }, 10000));
        ASSERT_TRUE(PumpUntil([&] { return ItemText(window_, IDC_SCAN_COUNTER).find(L": 0") == std::wstring::npos &&
                                           !ItemText(window_, IDC_SCAN_COUNTER).empty(); },
                              60000));
        ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(dialog_.WorkerThread.Get(), 0)) << "the scan ended too early";
    }
    bool WaitClosed() { return PumpUntil([&] { return !IsWindow(window_); }, 120000); }

    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"ScanDlgTest")};
    MessageBoxAnswerer answers_{0, true};
    TestDir output_;
    TestDir images_;
    ScanSettingsScope settings_;
    TestScanDlg dialog_;
    HWND window_ = nullptr;
};

TEST_F(ScanDlgTest, AScanThatKeepsPicturesShowsThemAfterTheWorkerEnded)
{
    Bytes image = Noise(kChunk / 2, 3);
    const Bytes png = Fixture(L"png\\rgb.png");
    Place(image, 4096, png);
    Place(image, 300000, png);
    UseImage(image, L"card.img");
    Open();
    ASSERT_TRUE(WaitClosed());

    EXPECT_EQ(1, dialog_.resultsShown);
    EXPECT_TRUE(dialog_.workerEndedWhenShown);
    EXPECT_EQ(2u, dialog_.keptWhenShown);
    EXPECT_EQ(0, answers_.Count());
    // Only the image's file name in the title, not its folder.
    EXPECT_EQ(L"Scanning card.img", dialog_.title);
    EXPECT_EQ(L"Stop", dialog_.cancelText);
    // The texts end with the final count and the whole image scanned.
    EXPECT_EQ(L"Photos found: 2", dialog_.counterText);
    EXPECT_NE(std::wstring::npos, dialog_.positionText.find(L"100.00%")) << dialog_.positionText;
    EXPECT_EQ(100, dialog_.progress);
    EXPECT_EQ(2u, ListFiles(dialog_.ScanFolder).size());
    EXPECT_FALSE(dialog_.ScanStopped);
}

TEST_F(ScanDlgTest, AScanThatKeepsNothingShowsTheNoPhotosBox)
{
    UseImage(Noise(kChunk / 4, 5));
    Open();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(0, dialog_.resultsShown);
    ASSERT_EQ(1, answers_.Count());
    EXPECT_EQ(L"No photos were found.", answers_.LastText());
    EXPECT_EQ(std::wstring(kAppTitle), answers_.LastCaption());
    EXPECT_FALSE(dialog_.WorkerThread);
}

TEST_F(ScanDlgTest, AStoppedScanSaysSo)
{
    // TIFF headers whose directories lie outside the image: each is written at a whole block and
    // fails to decode, so the scan is busy and keeps nothing.
    Bytes image = Noise(4 * kChunk, 8);
    for (size_t offset = 5000; offset + 8 < image.size(); offset += 300000)
        Place(image, offset, Bytes{'I', 'I', 0x2A, 0x00, 0xF0, 0xFF, 0xFF, 0x7F});
    UseImage(image);
    Open();
    ASSERT_TRUE(PumpUntil([&] { return static_cast<bool>(dialog_.WorkerThread); }, 10000));
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitClosed());
    ASSERT_TRUE(dialog_.ScanStopped) << "the scan ended before it could be stopped";
    EXPECT_EQ(0, dialog_.resultsShown);
    ASSERT_EQ(1, answers_.Count());
    EXPECT_EQ(L"The scan was stopped. No photos were found before it stopped.", answers_.LastText());
    EXPECT_TRUE(ListFiles(dialog_.ScanFolder).empty());
}

// Cancel, Enter, the close box and destroying the window during a scan all stop the worker and
// wait for it; the window shows what was kept so far (except when it is being destroyed).
TEST_F(ScanDlgTest, EveryWayOfClosingDuringAScanStopsAndWaitsForTheWorker)
{
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool showsResults;
    };
    const Case cases[] = {
        {"Cancel", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), true},
        {"Enter", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), true},
        {"close box", WM_CLOSE, 0, true},
        {"destroyed", WM_DESTROY, 0, false},
    };
    const Bytes image = BusyImage();
    UseImage(image);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestScanDlg dialog;
        window_ = dialog.DoModeless(IDD_SCAN, nullptr);
        ASSERT_NE(nullptr, window_);
        ShowWindow(window_, SW_SHOWNORMAL);
        ASSERT_TRUE(PumpUntil([&] { return static_cast<bool>(dialog.WorkerThread); }, 10000));
        ASSERT_TRUE(PumpUntil([&] { return ItemText(window_, IDC_SCAN_COUNTER).find(L": 0") == std::wstring::npos &&
                                           !ItemText(window_, IDC_SCAN_COUNTER).empty(); },
                              60000));
        ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(dialog.WorkerThread.Get(), 0)) << "the scan ended too early";

        // Destroying is synchronous: by the time it returns the worker has ended. The close box
        // arrives as a posted Cancel.
        if (c.message == WM_DESTROY)
            DestroyWindow(window_);
        else
            SendMessageW(window_, c.message, c.wParam, 0);
        ASSERT_TRUE(WaitClosed());
        EXPECT_FALSE(dialog.WorkerThread);
        EXPECT_FALSE(IsWindow(window_));
        EXPECT_EQ(c.showsResults ? 1 : 0, dialog.resultsShown);
        EXPECT_TRUE(dialog.ScanStopped);
        if (c.showsResults) {
            EXPECT_TRUE(dialog.workerEndedWhenShown);
            EXPECT_GE(dialog.keptWhenShown, 1u);
        }
        EXPECT_LT(dialog.KeptFiles.size(), image.size() / 20000);
        EXPECT_EQ(dialog.KeptFiles.size(), ListFiles(dialog.ScanFolder).size());
        // The worker's own end message finds the window gone or ended: nothing more happens.
        PumpUntil([] { return false; }, 100);
        EXPECT_EQ(c.showsResults ? 1 : 0, dialog.resultsShown);
        EXPECT_EQ(0, answers_.Count());
    }
}

TEST_F(ScanDlgTest, TheSkinBackgroundIsPaintedBehindTheWindow)
{
    const std::wstring skins = ProgramFolder() + L"\\Skins";
    const std::wstring folder = skins + L"\\ScanDlgTestSkin";
    CreateDirectoryW(skins.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring picture = folder + L"\\ScanDlgTestSkinDlgBackground.jpg";
    const COLORREF colour = RGB(40, 160, 90);
    {
        NImageBuffer background;
        ASSERT_TRUE(background.Create(64, 48, 24, colour));
        ASSERT_EQ(NR_OK, SaveImageFile(&background, picture.c_str(), FT_JPG, nullptr));
    }
    ASSERT_TRUE(app_.GetSkin()->Load(L"ScanDlgTestSkin"));

    UseImage(BusyImage());
    Open();
    WaitForScanning();
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil([] { return false; }, 200);
    RECT client;
    GetClientRect(window_, &client);
    const COLORREF painted = SamplePixel(window_, 3, client.bottom - 4);
    EXPECT_TRUE(Near(colour, painted, 10)) << std::hex << painted;

    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(window_));
    DeleteFileW(picture.c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(skins.c_str());
}

}  // namespace

namespace {

// From a disk image holding pictures of several formats: the scan keeps each, the result window
// shows a tile per kept picture with its thumbnail, the picture deselected there goes to the
// Recycle Bin when the window closes and the others stay in the scan's folder.
TEST_F(ScanDlgTest, EndToEndFromADiskImageToTheKeptPictures)
{
    Bytes image = Noise(kChunk / 2, 21);
    const wchar_t* pictures[] = {L"jpeg\\rgb-gradient.jpg", L"png\\rgb.png", L"gif\\single.gif",
                                 L"tiff\\rgb-le.tif", L"bmp\\v3-24.bmp"};
    size_t offset = 8192;
    for (const wchar_t* name : pictures) {
        Place(image, offset, Fixture(name));
        offset += 300000;
    }
    UseImage(image, L"camera-card.img");
    EndToEndScanDlg dialog;
    window_ = dialog.DoModeless(IDD_SCAN, nullptr);
    ASSERT_NE(nullptr, window_);
    ShowWindow(window_, SW_SHOWNORMAL);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window_); }, 120000));

    EXPECT_EQ(1, dialog.resultsShown);
    EXPECT_TRUE(dialog.ownedByScanWindow);
    EXPECT_FALSE(dialog.timedOut);
    EXPECT_EQ(0, answers_.Count());
    const size_t count = sizeof(pictures) / sizeof(pictures[0]);
    ASSERT_EQ(count, dialog.KeptFiles.size());
    EXPECT_EQ(count, dialog.tiles);
    EXPECT_EQ(static_cast<int>(count), dialog.tilesMatching);

    ASSERT_FALSE(dialog.deselected.empty());
    EXPECT_FALSE(FileExists(dialog.deselected));
    const std::wstring trash = TrashFilesFolder();
    if (!trash.empty())
        EXPECT_TRUE(FileExists(trash + dialog.deselected.substr(dialog.deselected.rfind(L'\\'))));
    int left = 0;
    for (const NString& kept : dialog.KeptFiles)
        left += FileExists(kept.c_str());
    EXPECT_EQ(static_cast<int>(count) - 1, left);
    EXPECT_EQ(count - 1, ListFiles(dialog.ScanFolder).size());
}

}  // namespace
