// The result window over a folder of real pictures: tiles, selection by clicks and buttons, the
// Recycle Bin on closing, the size texts and the report view of large scans.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "app/ResultDlg.h"
#include "app/ScanDlg.h"
#include "app/resource.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "common/WindowDriver.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageFactory.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

void Pump(int milliseconds)
{
    const DWORD end = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

// At 32 bits the right half gets the alpha (the left half stays opaque).
bool WritePicture(const std::wstring& path, int width, int height, COLORREF colour, FileType type, int bpp = 24,
                  BYTE alpha = 255)
{
    NImageBuffer picture;
    if (!picture.Create(width, height, bpp, colour))
        return false;
    if (bpp == 32) {
        GdiFlush();  // the fill is drawn through GDI, which leaves alpha 0
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.bits[static_cast<size_t>(y) * picture.stride + x * 4 + 3] = x < width / 2 ? 255 : alpha;
    }
    return SaveImageFile(&picture, path.c_str(), type, nullptr) == 0;
}

// The window with the shell replaced: what it would open is recorded.
class TestResultDlg : public ResultDlg {
public:
    using ResultDlg::ResultDlg;
    struct Opened {
        std::wstring file, parameters, directory;
    };
    std::vector<Opened> opened;

protected:
    void ShellOpen(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory) override
    {
        opened.push_back({file ? file : L"", parameters ? parameters : L"", directory ? directory : L""});
    }
};

// A scan folder of pictures and the scan window state that the result window reads.
class ResultDlgTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = dir_.File(L"VSTScan");
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        wcscpy(scan_.ScanFolder, folder_.c_str());
    }
    void TearDown() override
    {
        if (dialog_ && IsWindow(dialog_))
            DestroyWindow(dialog_);
    }
    // n pictures VSTScan0001.png ... in distinct colours; each is also a kept file of the scan.
    void MakePictures(int count)
    {
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            wsprintfW(name, L"\\VSTScan%04d.png", i + 1);
            const std::wstring path = folder_ + name;
            ASSERT_TRUE(WritePicture(path, 120 + i, 80, RGB(200, 40 * i % 256, 30), FT_PNG));
            scan_.KeptFiles.push_back(path.c_str());
        }
    }
    void Open()
    {
        window_ = std::make_unique<TestResultDlg>(&scan_);
        dialog_ = window_->DoModeless(IDD_RESULT, nullptr);
        ASSERT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOWNORMAL);
        Pump(100);
        list_ = GetDlgItem(dialog_, IDC_RESULT_LIST);
    }
    void Click(int item)
    {
        NMITEMACTIVATE click{};
        click.hdr.hwndFrom = list_;
        click.hdr.idFrom = IDC_RESULT_LIST;
        click.hdr.code = NM_CLICK;
        click.iItem = item;
        SendMessageW(dialog_, WM_NOTIFY, IDC_RESULT_LIST, reinterpret_cast<LPARAM>(&click));
    }
    void Command(int id) { SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    std::wstring Path(int index) { return window_->GetList().GetRecord(index)->path; }
    std::wstring ItemText(int item, int subItem)
    {
        wchar_t text[MAX_PATH] = L"";
        LVITEMW request{};
        request.iSubItem = subItem;
        request.pszText = text;
        request.cchTextMax = MAX_PATH;
        SendMessageW(list_, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
        return text;
    }

    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"ResultDlgTest")};
    MessageBoxAnswerer answers_;
    TestDir dir_;
    std::wstring folder_;
    ScanDlg scan_;
    std::unique_ptr<TestResultDlg> window_;
    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
};

TEST_F(ResultDlgTest, ListsEveryPictureBelowTheFolderAsATile)
{
    MakePictures(3);
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\inner").c_str(), nullptr));
    ASSERT_TRUE(WritePicture(folder_ + L"\\inner\\deeper.jpg", 64, 48, RGB(0, 0, 255), FT_JPG));
    ASSERT_TRUE(WriteWholeFile(folder_ + L"\\notes.txt", "text", 4));
    ASSERT_TRUE(WriteWholeFile(folder_ + L"\\noextension", "text", 4));
    Open();

    EXPECT_EQ(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(GetWindowLongPtrW(list_, GWL_STYLE) & LVS_TYPEMASK, LVS_ICON);
    EXPECT_EQ(window_->GetList().CountSelected(), 4);
    wchar_t text[512];
    GetDlgItemTextW(dialog_, IDC_RESULT_COUNT, text, 512);
    EXPECT_NE(std::wstring(text).find(folder_), std::wstring::npos) << text;

    // The tile of the first picture shows it, copied in as it is (selected).
    int index = -1;
    for (int i = 0; i < 4; ++i)
        if (Path(i).ends_with(L"VSTScan0001.png"))
            index = i;
    ASSERT_GE(index, 0);
    RECT item{LVIR_BOUNDS};
    ASSERT_TRUE(SendMessageW(list_, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)));
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const NImageBuffer* thumbnail = window_->GetList().GetThumbnail(index);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_GT(thumbnail->width, 1);
    EXPECT_EQ(window_->GetList().GetRecord(index)->width, 120);
    EXPECT_EQ(window_->GetList().GetRecord(index)->height, 80);
    const COLORREF centre = SamplePixel(list_, item.left + 100, item.top + 74);
    const COLORREF caption = SamplePixel(list_, item.left + 100, item.top + 190);
    const COLORREF expected = RGB(200, 0, 30);
    EXPECT_LE(std::abs(GetRValue(centre) - GetRValue(expected)), 12) << std::hex << centre;
    EXPECT_LE(std::abs(GetGValue(centre) - GetGValue(expected)), 12) << std::hex << centre;
    EXPECT_NE(caption, centre);

    // Deselected, the picture is faded over the tile's light background.
    Click(index);
    const COLORREF faded = SamplePixel(list_, item.left + 100, item.top + 74);
    EXPECT_GT(GetGValue(faded), 80) << std::hex << faded;
    EXPECT_GT(GetBValue(faded), 100) << std::hex << faded;
}

TEST_F(ResultDlgTest, KeepSelectedMovesTheClickedFilesToTheRecycleBin)
{
    MakePictures(5);
    Open();
    ASSERT_EQ(window_->GetList().GetCount(), 5);
    const std::wstring gone1 = Path(1), gone2 = Path(3);
    Click(1);
    Click(3);
    Click(2);
    Click(2);  // a second click selects it again
    Click(-1); // a click beside the items changes nothing
    EXPECT_FALSE(window_->GetList().IsSelected(1));
    EXPECT_TRUE(window_->GetList().IsSelected(2));
    EXPECT_EQ(window_->GetList().CountSelected(), 3);

    Command(IDOK);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_FALSE(FileExists(gone1));
    EXPECT_FALSE(FileExists(gone2));
    const std::wstring trash = TrashFilesFolder();
    if (!trash.empty()) {
        EXPECT_TRUE(FileExists(trash + gone1.substr(gone1.rfind(L'\\'))));
        EXPECT_TRUE(FileExists(trash + gone2.substr(gone2.rfind(L'\\'))));
    }
    int left = 0;
    for (const NString& kept : scan_.KeptFiles)
        left += FileExists(kept.c_str());
    EXPECT_EQ(left, 3);
    // No photo program here: the first kept file that exists is opened.
    ASSERT_EQ(window_->opened.size(), 1u);
    EXPECT_TRUE(FileExists(window_->opened[0].file)) << window_->opened[0].file;
    EXPECT_NE(window_->opened[0].file, gone1);
    EXPECT_EQ(window_->opened[0].directory, folder_);
}

TEST_F(ResultDlgTest, DeselectAllEmptiesAndRemovesTheFolder)
{
    MakePictures(3);
    Open();
    Command(IDC_RESULT_DESELECT_ALL);
    EXPECT_EQ(window_->GetList().CountSelected(), 0);
    Command(IDC_RESULT_SELECT_ALL);
    EXPECT_EQ(window_->GetList().CountSelected(), 3);
    Command(IDC_RESULT_DESELECT_ALL);
    Command(IDOK);
    EXPECT_EQ(GetFileAttributesW(folder_.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(window_->opened.empty());
}

TEST_F(ResultDlgTest, TheCloseBoxTreatsTheFilesLikeOk)
{
    MakePictures(3);
    Open();
    const std::wstring gone = Path(1);
    Click(1);
    // Unchecked: the folder itself is opened (passed as the file).
    window_->GetOpenAppBox().checked = false;
    SendMessageW(dialog_, WM_CLOSE, 0, 0);
    Pump(50);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_FALSE(FileExists(gone));
    int left = 0;
    for (const NString& kept : scan_.KeptFiles)
        left += FileExists(kept.c_str());
    EXPECT_EQ(left, 2);
    ASSERT_EQ(window_->opened.size(), 1u);
    EXPECT_EQ(window_->opened[0].file, folder_);
    EXPECT_EQ(window_->opened[0].directory, folder_);
}

TEST_F(ResultDlgTest, ATransparentPictureShowsOverACheckerboard)
{
    ASSERT_TRUE(WritePicture(folder_ + L"\\clear.png", 64, 64, RGB(255, 0, 0), FT_PNG, 32, 0));
    scan_.KeptFiles.push_back((folder_ + L"\\clear.png").c_str());
    Open();
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const NImageBuffer* thumbnail = window_->GetList().GetThumbnail(0);
    ASSERT_NE(thumbnail, nullptr);
    ASSERT_EQ(thumbnail->bpp, 24);
    int white = 0, grey = 0, red = 0;
    for (int y = 0; y < thumbnail->height; ++y) {
        for (int x = 0; x < thumbnail->width; ++x) {
            const uint8_t* p = thumbnail->bits + static_cast<size_t>(y) * thumbnail->stride + x * 3;
            if (p[2] > 200 && p[1] < 60)
                ++red;
            else if (p[0] > 0xF0 && p[1] > 0xF0)
                ++white;
            else if (std::abs(p[0] - 0xC4) < 16 && std::abs(p[1] - 0xC4) < 16)
                ++grey;
        }
    }
    EXPECT_GT(red, 1500);    // the opaque half
    EXPECT_GT(white, 500);   // the clear half shows both cells of the checkerboard
    EXPECT_GT(grey, 500);
}

TEST_F(ResultDlgTest, LargeScansShowRowsWithTheSelectionInTheirCheckBoxes)
{
    MakePictures(3);
    ASSERT_TRUE(WriteWholeFile(folder_ + L"\\big.jpg", std::vector<unsigned char>(1500000, 0)));
    while (scan_.KeptFiles.size() < ResultDlg::kReportViewFrom)
        scan_.KeptFiles.push_back(L"elsewhere.png");
    Open();
    EXPECT_EQ(GetWindowLongPtrW(list_, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    int big = -1;
    for (int i = 0; i < window_->GetList().GetCount(); ++i)
        if (Path(i).ends_with(L"big.jpg"))
            big = i;
    ASSERT_GE(big, 0);
    EXPECT_EQ(ItemText(big, 0), Path(big));
    EXPECT_EQ(ItemText(big, 1), L"1.431 MB");
    Click(big);
    const UINT state = static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, big, LVIS_STATEIMAGEMASK));
    EXPECT_EQ(state & LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(1));
    const UINT other = static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, big == 0 ? 1 : 0, LVIS_STATEIMAGEMASK));
    EXPECT_EQ(other & LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
}

TEST(ResultListSize, WholeKilobytesThenMegabytes)
{
    const struct {
        uint64_t size;
        const wchar_t* text;
    } cases[] = {{0, L"1 KB"}, {500, L"1 KB"}, {999 * 1024, L"999 KB"}, {1000 * 1024 - 1, L"1000 KB"},
                 {1000 * 1024, L"0.977 MB"}, {1500000, L"1.431 MB"}, {0xFFFFFFFFull, L"4096.000 MB"}};
    for (const auto& c : cases) {
        wchar_t text[64];
        ResultList::FormatSize(c.size, text, 64);
        EXPECT_STREQ(text, c.text) << c.size;
    }
}

// Filling the list again hands the view new image lists before the old ones go; a list the view
// held from elsewhere is replaced.
TEST(ResultListImages, FillingAgainKeepsTheViewOnLiveLists)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    HWND view = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_ICON | LVS_OWNERDATA, 0, 0, 400, 300, parent,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(view, nullptr);
    TestDir dir;
    {
        ResultList list;
        ASSERT_TRUE(list.Setup(parent, view));
        SendMessageW(view, LVM_SETIMAGELIST, LVSIL_NORMAL,
                     reinterpret_cast<LPARAM>(ImageList_Create(16, 16, ILC_COLOR32, 1, 1)));
        HIMAGELIST before = nullptr;
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_TRUE(list.Fill(dir.Path().c_str()));
            HIMAGELIST tiles = reinterpret_cast<HIMAGELIST>(SendMessageW(view, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
            ASSERT_NE(tiles, nullptr);
            EXPECT_NE(tiles, before);
            EXPECT_EQ(ImageList_GetImageCount(tiles), 2) << "the placeholder tile twice";
            int cx = 0, cy = 0;
            EXPECT_TRUE(ImageList_GetIconSize(tiles, &cx, &cy));
            before = tiles;
        }
        list.Clear();
        EXPECT_EQ(SendMessageW(view, LVM_GETIMAGELIST, LVSIL_NORMAL, 0), 0);
    }
    DestroyWindow(parent);
}

// A language file whose count text holds other conversions than an int and a string must not be
// used as the format.
TEST_F(ResultDlgTest, AHostileCountTextIsNotUsedAsTheFormat)
{
    const std::wstring file = dir_.File(L"VST-xx-xx.polylex");
    const std::wstring body = L"\xFEFF[Dlg_Result]\r\nTitle=Results\r\nPhotosFound=%s%s%s%n\r\n";
    ASSERT_TRUE(WriteWholeFile(file, body.data(), body.size() * sizeof(wchar_t)));
    NLanguage* language = app_.GetLanguage();
    language->Init(dir_.Path().c_str(), L"VST", L"polylex");
    ASSERT_TRUE(language->Load(L"xx-xx"));
    MakePictures(2);
    Open();
    wchar_t text[512];
    GetWindowTextW(dialog_, text, 512);
    EXPECT_STREQ(text, L"Results");
    GetDlgItemTextW(dialog_, IDC_RESULT_COUNT, text, 512);
    EXPECT_EQ(std::wstring(text), L"2 pictures in " + folder_);
    language->Clear();
}

}  // namespace
