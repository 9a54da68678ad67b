// The whole program path from the start window: a disk image with pictures of four formats is
// chosen in file mode with the thorough preset, Start runs the real scan window and worker, the
// result window shows one tile per recovered picture, and after it closes the start window is
// back and follows a language change. With VST_SCREENSHOTS naming a folder, the start, scan and
// result windows are saved there as start.bmp, scan.bmp and result.bmp.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "ShippedSkin.h"
#include "app/LanguageDlg.h"
#include "app/ResultDlg.h"
#include "app/ScanDlg.h"
#include "app/StartUpDlg.h"
#include "app/StartUpDlgRes.h"
#include "app/resource.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "common/WindowDriver.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWinApp.h"

namespace {

// Where opening the kept pictures would have gone: the shell is not started from a test.
std::vector<std::wstring> g_opened;

class QuietResultDlg : public ResultDlg {
public:
    using ResultDlg::ResultDlg;

protected:
    void ShellOpen(const wchar_t* file, const wchar_t*, const wchar_t*) override
    {
        g_opened.push_back(file ? file : L"");
    }
};

// The real scan window; only its result window keeps the shell closed.
class FlowScanDlg : public ScanDlg {
public:
    using ScanDlg::ScanDlg;

protected:
    void ShowResults() override
    {
        QuietResultDlg results(this);
        results.DoModal(true);
    }
};

class FlowStartUpDlg : public StartUpDlg {
public:
    using StartUpDlg::StartUpDlg;
    int scans = 0;
    size_t kept = 0;
    std::set<std::wstring> keptExtensions;

protected:
    void RunScan() override
    {
        ++scans;
        FlowScanDlg scan(GetHwnd());
        scan.DoModal(true);
        kept = scan.KeptFiles.size();
        for (const NString& path : scan.KeptFiles) {
            const std::wstring name = path.c_str();
            keptExtensions.insert(name.substr(name.rfind(L'.') + 1));
        }
    }
};

// The program's own dialog of the given kind among this thread's visible windows.
template <typename Dialog>
Dialog* FindDialog()
{
    struct Search {
        Dialog* found = nullptr;
    } search;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (auto* dialog = dynamic_cast<Dialog*>(NWindow::FromHandle(window))) {
                if (IsWindowVisible(window)) {
                    s->found = dialog;
                    return FALSE;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ScreenshotFolder()
{
    const wchar_t* folder = _wgetenv(L"VST_SCREENSHOTS");
    if (!folder || !folder[0])
        return {};
    std::wstring path = folder;
    if (path[0] == L'/') {  // a host path: through Wine's Z: drive
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

// A disk image of photo-like pictures for the screenshots, made by scripts/screenshots.sh; the
// test scans it in place of its own small image and checks less of the result.
std::wstring ScreenshotImage()
{
    const wchar_t* path = _wgetenv(L"VST_SCREENSHOT_IMAGE");
    return path && path[0] ? std::wstring(path) : std::wstring();
}

void SaveScreenshot(HWND window, const wchar_t* name)
{
    const std::wstring folder = ScreenshotFolder();
    if (folder.empty())
        return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(SaveCaptureBmp(CaptureWindow(window, true), folder + L"\\" + name)) << name;
}

// What the driver saw, step by step.
struct Flow {
    FlowStartUpDlg* start = nullptr;
    std::wstring imagePath;
    int step = 0;
    DWORD deadline = 0;
    DWORD resultShownAt = 0;
    bool busy = false;
    bool timedOut = false;
    bool startEnabledForImage = false;
    bool scanWindowSeen = false;
    bool startDisabledDuringScan = false;
    int tiles = -1;
    int thumbnails = 0;
    int tilesShowingTheirPicture = 0;
    size_t keptWhenShown = 0;
    bool startBack = false;
    std::wstring headlineBefore, headlineAfter;
};
Flow* g_flow = nullptr;

// The tiles of the result list whose thumbnail shows at the middle of the tile's picture area.
void InspectResults(Flow& flow, ResultDlg& results)
{
    ResultList& list = results.GetList();
    HWND listWindow = list.GetListHwnd();
    RedrawWindow(listWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    flow.tiles = list.GetCount();
    const Capture capture = CaptureWindow(listWindow);
    for (int i = 0; i < list.GetCount(); ++i) {
        const NImageBuffer* thumbnail = list.GetThumbnail(i);
        if (!thumbnail || !thumbnail->valid || thumbnail->width <= 1 || thumbnail->bpp != 24)
            continue;
        ++flow.thumbnails;
        RECT item{LVIR_BOUNDS};
        if (!SendMessageW(listWindow, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)))
            continue;
        // Tiles are 200 pixels wide with a picture area 148 high (at 96 DPI), the picture centred.
        const int side = item.right - item.left;
        const int areaHeight = side * 148 / 200;
        const int x = item.left + (side - thumbnail->width) / 2 + thumbnail->width / 2;
        const int y = item.top + (areaHeight - thumbnail->height) / 2 + thumbnail->height / 2;
        const int row = thumbnail->height - 1 - thumbnail->height / 2;  // rows lie bottom-up
        const uint8_t* p = thumbnail->bits + static_cast<size_t>(row) * static_cast<size_t>(thumbnail->stride) +
                           static_cast<size_t>(thumbnail->width / 2) * 3;
        const COLORREF expected = RGB(p[2], p[1], p[0]);
        const COLORREF shown = capture.At(x, y);
        if (shown != CLR_INVALID && abs(GetRValue(shown) - GetRValue(expected)) <= 24 &&
            abs(GetGValue(shown) - GetGValue(expected)) <= 24 && abs(GetBValue(shown) - GetBValue(expected)) <= 24)
            ++flow.tilesShowingTheirPicture;
    }
}

void Drive(Flow& flow)
{
    HWND start = flow.start->GetHwnd();
    if (!start || !IsWindow(start))
        return;
    if (GetTickCount() > flow.deadline && !flow.timedOut) {
        // Close whatever is open so that the test ends with its failures.
        flow.timedOut = true;
        if (ResultDlg* results = FindDialog<ResultDlg>())
            PostMessageW(results->GetHwnd(), WM_COMMAND, IDCANCEL, 0);
        if (ScanDlg* scan = FindDialog<ScanDlg>())
            PostMessageW(scan->GetHwnd(), WM_COMMAND, IDCANCEL, 0);
        PostMessageW(start, WM_COMMAND, ID_MENU_EXIT, 0);
        return;
    }
    if (flow.timedOut)
        return;
    switch (flow.step) {
    case 0: {
        if (!IsWindowVisible(start))
            return;
        HWND fileItem = GetDlgItem(start, IDC_START_SOURCE_FILE);
        SendMessageW(start, WM_COMMAND, MAKEWPARAM(IDC_START_SOURCE_FILE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(fileItem));
        SetDlgItemTextW(start, IDC_START_FILE_PATH, flow.imagePath.c_str());
        HWND presets = GetDlgItem(start, IDC_START_PRESET_LIST);
        SendMessageW(presets, CB_SETCURSEL, 4, 0);
        SendMessageW(start, WM_COMMAND, MAKEWPARAM(IDC_START_PRESET_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(presets));
        HWND startButton = GetDlgItem(start, IDC_START_SCAN);
        flow.startEnabledForImage = IsWindowEnabled(startButton) != FALSE;
        SaveScreenshot(start, L"start.bmp");
        PostMessageW(start, WM_COMMAND, MAKEWPARAM(IDC_START_SCAN, BN_CLICKED), reinterpret_cast<LPARAM>(startButton));
        flow.step = 1;
        return;
    }
    case 1:
    case 2: {
        ScanDlg* scan = FindDialog<ScanDlg>();
        ResultDlg* results = FindDialog<ResultDlg>();
        if (scan && !flow.scanWindowSeen) {
            flow.scanWindowSeen = true;
            flow.startDisabledDuringScan = !IsWindowEnabled(start);
        }
        // The latest look of the scan window before the results cover it.
        if (scan && !results)
            SaveScreenshot(scan->GetHwnd(), L"scan.bmp");
        if (!results)
            return;
        if (flow.step == 1) {
            flow.step = 2;
            flow.resultShownAt = GetTickCount();
            return;
        }
        // The tiles are drawn as the list paints: give it a moment (large pictures a longer one).
        if (GetTickCount() - flow.resultShownAt < (ScreenshotImage().empty() ? 500u : 5000u))
            return;
        flow.keptWhenShown = scan ? scan->KeptFiles.size() : 0;
        InspectResults(flow, *results);
        SaveScreenshot(results->GetHwnd(), L"result.bmp");
        PostMessageW(results->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        flow.step = 3;
        return;
    }
    case 3:
        if (FindDialog<ResultDlg>() || FindDialog<ScanDlg>() || !IsWindowEnabled(start))
            return;
        flow.startBack = IsWindowVisible(start) != FALSE;
        flow.headlineBefore = [&] {
            wchar_t text[512] = {};
            GetDlgItemTextW(start, IDC_START_HEADLINE, text, 512);
            return std::wstring(text);
        }();
        if (NWinApp* app = NGetApp())
            app->GetLanguage()->Load(L"de-de");
        PostMessageW(start, kLanguageChangedMessage, 0, 0);
        flow.step = 4;
        return;
    case 4: {
        wchar_t text[512] = {};
        GetDlgItemTextW(start, IDC_START_HEADLINE, text, 512);
        flow.headlineAfter = text;
        PostMessageW(start, WM_COMMAND, ID_MENU_EXIT, 0);
        flow.step = 5;
        return;
    }
    default:
        return;
    }
}

void CALLBACK OnFlowTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_flow || g_flow->busy)
        return;
    g_flow->busy = true;
    Drive(*g_flow);
    g_flow->busy = false;
}

}  // namespace

TEST(StartUpFlowTest, AScanStartedFromTheStartWindowShowsEveryRecoveredPicture)
{
    NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"StartUpFlowTest"));
    NLanguage* language = app.GetLanguage();
    language->Init(ResourcePath(L"lang").c_str(), L"VST", L"polylex");
    ASSERT_TRUE(language->Load(L"en-us"));
    ShippedSkin skin(app, !ScreenshotFolder().empty());
    MessageBoxAnswerer answers(IDOK, true);
    TestDir output;
    TestDir images;
    ScanSettingsScope settings(output.Path());
    g_opened.clear();

    // Five pictures of four formats (groups 1 and 4) between noise.
    Bytes image = Noise(1200000, 31);
    Place(image, 4096, Fixture(L"png\\rgb.png"));
    Place(image, 250001, Fixture(L"jpeg\\rgb-gradient.jpg"));
    Place(image, 520000, Fixture(L"gif\\single.gif"));
    Place(image, 800003, Fixture(L"bmp\\v3-24.bmp"));
    Place(image, 950000, MakeJpeg(320, 200));
    const std::wstring ownImage = images.File(L"card.img");
    ASSERT_TRUE(WriteWholeFile(ownImage, image));
    const std::wstring imagePath = ScreenshotImage().empty() ? ownImage : ScreenshotImage();

    FlowStartUpDlg start(GetDesktopWindow());
    Flow flow;
    flow.start = &start;
    flow.imagePath = imagePath;
    flow.deadline = GetTickCount() + 120000;
    g_flow = &flow;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, OnFlowTimer);
    const INT_PTR result = start.DoModal(true);
    KillTimer(nullptr, timer);
    g_flow = nullptr;
    language->Clear();

    EXPECT_FALSE(flow.timedOut) << "stopped at step " << flow.step;
    EXPECT_EQ(1, result);
    EXPECT_TRUE(flow.startEnabledForImage);
    EXPECT_EQ(1, start.scans);
    // The scan searched every group with the thorough preset, in file mode.
    EXPECT_EQ(1, ScanOptions.ScanFromFile);
    EXPECT_EQ(4, ScanOptions.ScanMethodIndex);
    EXPECT_EQ(15u, ScanGroupMask(ScanOptions));
    EXPECT_EQ(0, ScanOptions.FileSizeOn);
    EXPECT_EQ(0, answers.Count());

    if (!ScreenshotImage().empty()) {
        // Another image: only that the pictures found are all shown.
        EXPECT_GT(start.kept, 0u);
        EXPECT_EQ(static_cast<int>(start.kept), flow.tiles);
        return;
    }
    EXPECT_EQ(5u, start.kept);
    EXPECT_EQ((std::set<std::wstring>{L"png", L"jpg", L"gif", L"bmp"}), start.keptExtensions);
    EXPECT_TRUE(flow.scanWindowSeen);
    EXPECT_TRUE(flow.startDisabledDuringScan);
    EXPECT_EQ(5u, flow.keptWhenShown);
    EXPECT_EQ(5, flow.tiles);
    EXPECT_EQ(5, flow.thumbnails);
    EXPECT_EQ(5, flow.tilesShowingTheirPicture);
    // Keeping everything opens the first kept picture.
    EXPECT_EQ(1u, g_opened.size());

    EXPECT_TRUE(flow.startBack);
    EXPECT_FALSE(flow.headlineBefore.empty());
    EXPECT_FALSE(flow.headlineAfter.empty());
    EXPECT_NE(flow.headlineBefore, flow.headlineAfter);
}
