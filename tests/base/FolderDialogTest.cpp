#include "base/FolderDialog.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string>

#include "common/TestFiles.h"

namespace {

// Presses a button of the folder chooser once it is up, from a timer on the same thread, and
// notes what the dialog looked like then. When a folder is expected, OK is pressed only once the
// tree shows it selected: Wine's tree sometimes stops expanding the start folder's path short of
// it, and the driver then selects the folder again, as a user would.
class ChooserDriver {
public:
    ChooserDriver(int button, const std::wstring& expected = std::wstring())
    {
        s_button = button;
        s_expected = expected;
        s_seen = nullptr;
        s_style = 0;
        s_exStyle = 0;
        s_okEnabled = false;
        s_reselections = 0;
        timer_ = SetTimer(nullptr, 0, 50, &Tick);
    }
    ~ChooserDriver() { KillTimer(nullptr, timer_); }
    ChooserDriver(const ChooserDriver&) = delete;
    ChooserDriver& operator=(const ChooserDriver&) = delete;

    static inline HWND s_seen;
    static inline LONG_PTR s_style;
    static inline LONG_PTR s_exStyle;
    static inline bool s_okEnabled;
    static inline int s_reselections;

private:
    static BOOL CALLBACK FindChooser(HWND window, LPARAM found)
    {
        wchar_t cls[16] = {};
        GetClassNameW(window, cls, 16);
        if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    static std::wstring SelectedName(HWND chooser)
    {
        HWND tree = FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
        wchar_t text[MAX_PATH] = {};
        TVITEMW item = {};
        item.mask = TVIF_TEXT;
        item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        if (item.hItem)
            TreeView_GetItem(tree, &item);
        return text;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        HWND chooser = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &FindChooser, reinterpret_cast<LPARAM>(&chooser));
        if (!chooser || chooser == s_seen)
            return;
        if (!s_expected.empty()) {
            std::wstring name = s_expected.substr(s_expected.find_last_of(L'\\') + 1);
            if (lstrcmpiW(SelectedName(chooser).c_str(), name.c_str()) != 0 && s_reselections < 20) {
                ++s_reselections;
                SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(s_expected.c_str()));
                return;
            }
        }
        s_seen = chooser;
        s_style = GetWindowLongPtrW(chooser, GWL_STYLE);
        s_exStyle = GetWindowLongPtrW(chooser, GWL_EXSTYLE);
        s_okEnabled = IsWindowEnabled(GetDlgItem(chooser, IDOK)) != FALSE;
        PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(s_button, BN_CLICKED), 0);
    }

    static inline int s_button = IDOK;
    static inline std::wstring s_expected;
    UINT_PTR timer_ = 0;
};

class FolderChooser : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};

TEST_F(FolderChooser, AnswersTheStartFolderWhenTheUserTakesIt)
{
    TestDir dir;
    std::wstring start = dir.File(L"start here");
    ASSERT_TRUE(CreateDirectoryW(start.c_str(), nullptr));
    wchar_t chosen[MAX_PATH];
    wcscpy(chosen, L"untouched");

    ChooserDriver driver(IDOK, start);
    ASSERT_TRUE(BrowseForFolder(nullptr, start.c_str(), chosen, MAX_PATH));
    EXPECT_EQ(lstrcmpiW(chosen, start.c_str()), 0) << testing::PrintToString(std::wstring(chosen));
    ASSERT_NE(ChooserDriver::s_seen, nullptr);
    EXPECT_EQ(ChooserDriver::s_style & DS_CONTEXTHELP, 0);
    EXPECT_EQ(ChooserDriver::s_exStyle & WS_EX_CONTEXTHELP, 0);
    EXPECT_TRUE(ChooserDriver::s_okEnabled);
}

TEST_F(FolderChooser, StartsAtTheCurrentDirectoryWithoutAStartFolder)
{
    TestDir dir;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    wchar_t chosen[MAX_PATH] = {};
    bool ok;
    {
        ChooserDriver driver(IDOK, dir.Path());
        ok = BrowseForFolder(nullptr, nullptr, chosen, MAX_PATH);
    }
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(lstrcmpiW(chosen, dir.Path().c_str()), 0) << testing::PrintToString(std::wstring(chosen));
}

TEST_F(FolderChooser, LeavesTheBufferOnCancelOrWhenThePathDoesNotFit)
{
    TestDir dir;
    wchar_t chosen[MAX_PATH];
    wcscpy(chosen, L"untouched");
    {
        ChooserDriver driver(IDCANCEL);
        EXPECT_FALSE(BrowseForFolder(nullptr, dir.Path().c_str(), chosen, MAX_PATH));
        EXPECT_NE(ChooserDriver::s_seen, nullptr);
    }
    EXPECT_STREQ(chosen, L"untouched");
    {
        // A cut path would name another folder.
        ChooserDriver driver(IDOK, dir.Path());
        EXPECT_FALSE(BrowseForFolder(nullptr, dir.Path().c_str(), chosen, static_cast<int>(dir.Path().size())));
    }
    EXPECT_STREQ(chosen, L"untouched");
}

TEST_F(FolderChooser, OpensNothingWithoutABuffer)
{
    ChooserDriver driver(IDOK);
    wchar_t chosen[4] = L"abc";
    EXPECT_FALSE(BrowseForFolder(nullptr, nullptr, chosen, 0));
    EXPECT_FALSE(BrowseForFolder(nullptr, nullptr, nullptr, MAX_PATH));
    EXPECT_STREQ(chosen, L"abc");
    EXPECT_EQ(ChooserDriver::s_seen, nullptr);
}

// A window standing in for the chooser: an OK button, the context-help styles, and a record of
// the selection it was asked to make.
class FakeChooser {
public:
    FakeChooser()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FakeChooser";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(WS_EX_CONTEXTHELP, L"FakeChooser", L"", WS_POPUP | DS_CONTEXTHELP, 0, 0, 300, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
        ok_ = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD, 0, 0, 50, 20, window_, reinterpret_cast<HMENU>(IDOK),
                              wc.hInstance, nullptr);
    }
    ~FakeChooser() { DestroyWindow(window_); }
    HWND Window() const { return window_; }
    HWND Ok() const { return ok_; }

    static inline WPARAM s_selectWParam;
    static inline LPARAM s_selectLParam;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == BFFM_SETSELECTIONW) {
            s_selectWParam = wParam;
            s_selectLParam = lParam;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
    HWND ok_ = nullptr;
};

TEST_F(FolderChooser, CallbackDropsContextHelpAndSelectsTheStartFolder)
{
    FakeChooser chooser;
    ASSERT_NE(chooser.Ok(), nullptr);
    const wchar_t* start = L"C:\\windows";
    EXPECT_EQ(BrowseForFolderCallback(chooser.Window(), BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(start)), 0);
    EXPECT_EQ(GetWindowLongPtrW(chooser.Window(), GWL_STYLE) & DS_CONTEXTHELP, 0);
    EXPECT_EQ(GetWindowLongPtrW(chooser.Window(), GWL_EXSTYLE) & WS_EX_CONTEXTHELP, 0);
    EXPECT_TRUE(GetWindowLongPtrW(chooser.Window(), GWL_STYLE) & WS_POPUP);
    EXPECT_EQ(FakeChooser::s_selectWParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(FakeChooser::s_selectLParam, reinterpret_cast<LPARAM>(start));
}

// Only an existing file-system folder that is no shortcut keeps OK enabled.
TEST_F(FolderChooser, CallbackDisablesOkForItemsThatAreNoFolder)
{
    TestDir dir;
    std::wstring folder = dir.File(L"real");
    std::wstring gone = dir.File(L"gone");
    std::wstring link = dir.File(L"real.lnk");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(gone.c_str(), nullptr));
    {
        IShellLinkW* shellLink = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(&shellLink))));
        shellLink->SetPath(folder.c_str());
        IPersistFile* file = nullptr;
        ASSERT_TRUE(SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
        EXPECT_TRUE(SUCCEEDED(file->Save(link.c_str(), TRUE)));
        file->Release();
        shellLink->Release();
    }
    PIDLIST_ABSOLUTE goneItem = ILCreateFromPathW(gone.c_str());
    ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetFolderLocation(nullptr, CSIDL_DRIVES, nullptr, 0, &computer)));

    struct Case {
        const char* what;
        PIDLIST_ABSOLUTE item;
        bool okEnabled;
    } cases[] = {
        {"folder", ILCreateFromPathW(folder.c_str()), true},
        {"shortcut", ILCreateFromPathW(link.c_str()), false},
        {"removed folder", goneItem, false},
        {"My Computer", computer, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.item, nullptr);
        FakeChooser chooser;
        EXPECT_EQ(BrowseForFolderCallback(chooser.Window(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(c.item), 0), 0);
        EXPECT_EQ(IsWindowEnabled(chooser.Ok()) != FALSE, c.okEnabled);
        CoTaskMemFree(c.item);
    }
}

}  // namespace
