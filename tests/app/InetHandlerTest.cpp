// The internet menu with the program's own dlv_inet2.dll (built beside the test programs). The
// library reads the ini file named by DINET_INI and, with DINET_TEST_LOG set, writes its calls to
// that file instead of opening anything.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/InetHandler.h"
#include "common/TestFiles.h"

namespace {

constexpr UINT kPlaceholderId = 40200;

// A 16x16 32-bpp icon file.
std::vector<unsigned char> MakeIconFile()
{
    std::vector<unsigned char> bytes;
    auto put16 = [&](unsigned v) { bytes.push_back(v & 0xFF); bytes.push_back((v >> 8) & 0xFF); };
    auto put32 = [&](unsigned v) { put16(v & 0xFFFF); put16(v >> 16); };
    const unsigned imageSize = 40 + 16 * 16 * 4 + 16 * 4;
    put16(0); put16(1); put16(1);                             // ICONDIR
    bytes.push_back(16); bytes.push_back(16); bytes.push_back(0); bytes.push_back(0);
    put16(1); put16(32); put32(imageSize); put32(6 + 16);     // ICONDIRENTRY
    put32(40); put32(16); put32(32); put16(1); put16(32);     // BITMAPINFOHEADER (height doubled)
    put32(0); put32(0); put32(0); put32(0); put32(0); put32(0);
    for (int i = 0; i < 16 * 16; ++i)
        put32(0xFF2080C0);
    for (int i = 0; i < 16 * 4; ++i)
        bytes.push_back(0);                                   // AND mask: all visible
    return bytes;
}

class CloseWatcher {
public:
    CloseWatcher()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"InetHandlerTestOwner";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                  nullptr, wc.hInstance, nullptr);
        s_closes = 0;
    }
    ~CloseWatcher() { DestroyWindow(window_); }
    HWND Window() const { return window_; }
    // Handles what is waiting and answers how many WM_CLOSE arrived in all.
    int Closes()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return s_closes;
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CLOSE) {
            ++s_closes;
            return 0;  // stays open
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    static int s_closes;
    HWND window_;
};
int CloseWatcher::s_closes = 0;

class InetHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        iniPath_ = dir_.File(L"dlv_inet2.ini");
        logPath_ = dir_.File(L"calls.log");
        SetEnvironmentVariableW(L"DINET_INI", iniPath_.c_str());
        SetEnvironmentVariableW(L"DINET_TEST_LOG", logPath_.c_str());
        savedLanguage_ = GeneralLanguageFile;
        wcscpy(GeneralLanguageFile, L"en-us");
        libraryPath_ = ProgramFolder() + L"\\dlv_inet2.dll";
        BuildMainMenu();
    }
    void TearDown() override
    {
        DestroyMenu(menu_);
        wcscpy(GeneralLanguageFile, savedLanguage_.c_str());
        SetEnvironmentVariableW(L"DINET_INI", nullptr);
        SetEnvironmentVariableW(L"DINET_TEST_LOG", nullptr);
    }

    // File, Configuration, Internet (one placeholder) and Help, like the start window's menu.
    void BuildMainMenu()
    {
        menu_ = CreateMenu();
        const struct { const wchar_t* title; std::vector<UINT> ids; } submenus[] = {
            {L"File", {40012, 40004}},
            {L"Configuration", {40108, 40109}},
            {L"Internet", {kPlaceholderId}},
            {L"Help", {40010, 40008}},
        };
        for (const auto& sub : submenus) {
            HMENU popup = CreatePopupMenu();
            for (UINT id : sub.ids)
                AppendMenuW(popup, MF_STRING, id, L"item");
            AppendMenuW(menu_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), sub.title);
        }
    }

    void WriteIni(const std::string& text) { ASSERT_TRUE(WriteWholeFile(iniPath_, text.data(), text.size())); }

    std::string Log()
    {
        std::vector<unsigned char> bytes;
        if (!ReadWholeFile(logPath_, bytes))
            return std::string();
        return std::string(bytes.begin(), bytes.end());
    }
    void ClearLog() { DeleteFileW(logPath_.c_str()); }

    // A handler of the test library, started and set up for the watcher's window.
    void Start(InetHandler& handler)
    {
        ASSERT_TRUE(handler.Init());
        ASSERT_TRUE(handler.SetOwner(watcher_.Window()));
    }

    HMENU Sub(int position) const { return GetSubMenu(menu_, position); }

    static std::vector<UINT> Ids(HMENU menu)
    {
        std::vector<UINT> ids;
        for (int i = 0; i < GetMenuItemCount(menu); ++i)
            ids.push_back(GetMenuItemID(menu, i));
        return ids;
    }
    static UINT TypeAt(HMENU menu, int position)
    {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(menu, position, TRUE, &info);
        return info.fType;
    }
    static std::wstring TextOf(HMENU menu, UINT id)
    {
        wchar_t text[100] = {};
        GetMenuStringW(menu, id, text, 100, MF_BYCOMMAND);
        return text;
    }

    TestDir dir_;
    std::wstring iniPath_, logPath_, libraryPath_, savedLanguage_;
    HMENU menu_ = nullptr;
    CloseWatcher watcher_;
};

TEST_F(InetHandlerTest, WithoutIniFileTheMenusKeepOnlyTheirOwnItems)
{
    InetHandler handler(libraryPath_.c_str());
    Start(handler);
    ASSERT_TRUE(handler.IsLibraryLoaded());
    EXPECT_TRUE(handler.BuildMenus(menu_));

    EXPECT_EQ(Ids(Sub(1)), (std::vector<UINT>{40108, 40109}));
    EXPECT_EQ(GetMenuItemCount(Sub(2)), 0);  // the placeholder went
    EXPECT_EQ(Ids(Sub(3)), (std::vector<UINT>{40010, 40008}));
    EXPECT_TRUE(handler.CommandIds().empty());
    EXPECT_FALSE(handler.IsInetCommand(1112));
    EXPECT_FALSE(handler.ProcessCommand(1112));

    NString version(L"Delvarin Vastrel 2.0.2");
    EXPECT_TRUE(handler.GetDisplayVersion(version));
    EXPECT_STREQ(version.c_str(), L"Delvarin Vastrel 2.0.2");
    EXPECT_FALSE(handler.OpenWebTarget(L"tutorials"));

    EXPECT_TRUE(handler.Shutdown());
    const std::string log = Log();
    EXPECT_NE(log.find("init 2\n"), std::string::npos) << log;
    EXPECT_NE(log.find("lang en-us\n"), std::string::npos) << log;
    EXPECT_NE(log.find("shutdown owner=1 strings=0\n"), std::string::npos) << log;
}

class InetHandlerItemsTest : public InetHandlerTest {
protected:
    void SetUp() override
    {
        InetHandlerTest::SetUp();
        const std::wstring icoPath = dir_.File(L"nine.ico");
        ASSERT_TRUE(WriteWholeFile(icoPath, MakeIconFile()));
        ASSERT_TRUE(CopyFileW(TestDataPath(L"png\\rgba.png").c_str(), dir_.File(L"seven.png").c_str(), FALSE));
        WriteIni("[Product]\nDisplayVersion=Delvarin Vastrel 2.0.2 (web)\n"
                 "[Menu0]\nItems=7, 0, 9\n"
                 "[Menu1]\nItems=5,3,6\n"
                 "[Menu2]\nItems=12\n"
                 "[Item5]\nText=News\nTarget=https://example.org/news\n"
                 "[Item6]\nText=Update\nAnswer=7\n"
                 "[Item7]\nText=Seven\nText.de-de=Sieben\nPng=seven.png\n"
                 "[Item9]\nText=Nine\nIcon=nine.ico\n"
                 "[Item12]\nText=Shop\nAnswer=1\n"
                 "[WebTargets]\ntutorials=https://example.org/tutorials\n");
    }
};

TEST_F(InetHandlerItemsTest, FillsTheThreeSubmenusAtTheTop)
{
    InetHandler handler(libraryPath_.c_str());
    Start(handler);
    ASSERT_TRUE(handler.BuildMenus(menu_));

    // Configuration: item, separator, item, then the resource's own items.
    HMENU configuration = Sub(1);
    EXPECT_EQ(Ids(configuration), (std::vector<UINT>{1118, 0, 1120, 40108, 40109}));
    EXPECT_TRUE(TypeAt(configuration, 0) & MFT_OWNERDRAW);
    EXPECT_EQ(TypeAt(configuration, 1), static_cast<UINT>(MFT_SEPARATOR | MFT_OWNERDRAW));
    EXPECT_EQ(TextOf(configuration, 1118), L"Seven");
    EXPECT_EQ(TextOf(configuration, 1120), L"Nine");

    // Internet: the placeholder replaced; item 3 has no text and is left out.
    EXPECT_EQ(Ids(Sub(2)), (std::vector<UINT>{1116, 1117}));
    EXPECT_EQ(TextOf(Sub(2), 1116), L"News");
    EXPECT_EQ(Ids(Sub(3)), (std::vector<UINT>{1123, 40010, 40008}));

    EXPECT_EQ(handler.CommandIds(), (std::vector<int>{1116, 1117, 1118, 1120, 1123}));
    EXPECT_TRUE(handler.IsInetCommand(1116));
    EXPECT_TRUE(handler.IsInetCommand(MAKELONG(1116, 1)));  // only the low word counts
    EXPECT_FALSE(handler.IsInetCommand(1114));
    EXPECT_FALSE(handler.IsInetCommand(40108));

    // Icons: made from the PNG picture, taken from the library's icon file, or none.
    HICON fromPng = handler.GetCommandBitmap(1118);
    HICON fromIco = handler.GetCommandBitmap(1120);
    ICONINFO info = {};
    ASSERT_TRUE(fromPng && GetIconInfo(fromPng, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_NE(fromIco, nullptr);
    EXPECT_EQ(handler.GetCommandBitmap(1116), nullptr);
    EXPECT_EQ(handler.GetCommandBitmap(40108), nullptr);

    // Shut down: every query answers nothing, the icons are gone, every string was given back.
    EXPECT_TRUE(handler.Shutdown());
    EXPECT_FALSE(handler.IsInetCommand(1116));
    EXPECT_EQ(handler.GetCommandBitmap(1118), nullptr);
    EXPECT_FALSE(handler.ProcessCommand(1116));
    NString version(L"x");
    EXPECT_FALSE(handler.GetDisplayVersion(version));
    EXPECT_TRUE(handler.CommandIds().empty());
    EXPECT_FALSE(GetIconInfo(fromPng, &info));
    EXPECT_FALSE(GetIconInfo(fromIco, &info));  // the library's own, released by its shut-down
    EXPECT_NE(Log().find("shutdown owner=1 strings=0\n"), std::string::npos) << Log();
}

TEST_F(InetHandlerItemsTest, ClicksGoBackToTheLibraryAndCloseWhenAsked)
{
    InetHandler handler(libraryPath_.c_str());
    Start(handler);
    ASSERT_TRUE(handler.BuildMenus(menu_));
    ClearLog();

    const struct { UINT command; const char* logged; bool closes; } cases[] = {
        {1116, "process 5\nopen https://example.org/news\n", false},
        {1117, "process 6\n", true},   // answers 7
        {1123, "process 12\n", true},  // answers 1
        {1118, "process 7\n", false},  // answers 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ClearLog();
        const int closesBefore = watcher_.Closes();
        EXPECT_TRUE(handler.ProcessCommand(c.command));
        EXPECT_EQ(Log(), c.logged);
        EXPECT_EQ(watcher_.Closes() - closesBefore, c.closes ? 1 : 0);
    }
    EXPECT_TRUE(handler.IsCloseRequested());

    ClearLog();
    EXPECT_FALSE(handler.ProcessCommand(40108));
    EXPECT_FALSE(handler.ProcessCommand(1114));
    EXPECT_EQ(Log(), "");
    handler.Shutdown();
}

TEST_F(InetHandlerItemsTest, VersionTextAndHelpTarget)
{
    InetHandler handler(libraryPath_.c_str());
    ASSERT_TRUE(handler.Init());
    NString version(L"Delvarin Vastrel 2.0.2");
    EXPECT_FALSE(handler.GetDisplayVersion(version));  // not set up for a window yet
    ASSERT_TRUE(handler.SetOwner(watcher_.Window()));
    EXPECT_TRUE(handler.GetDisplayVersion(version));
    EXPECT_STREQ(version.c_str(), L"Delvarin Vastrel 2.0.2 (web)");

    ClearLog();
    EXPECT_TRUE(handler.OpenWebTarget(L"tutorials"));
    EXPECT_FALSE(handler.OpenWebTarget(L"nowhere"));
    EXPECT_EQ(Log(), "open https://example.org/tutorials\nno target nowhere\n");

    // The Help menu's index command goes through the program's own handler.
    ASSERT_TRUE(g_DlvInetHandler.Init());
    ClearLog();
    EXPECT_TRUE(OpenTutorials(L"welcome", 0));
    EXPECT_EQ(Log(), "open https://example.org/tutorials\n");
    g_DlvInetHandler.Shutdown();
    handler.Shutdown();
}

TEST_F(InetHandlerItemsTest, LanguageChangeRebuildsWithoutDuplicates)
{
    InetHandler handler(libraryPath_.c_str());
    Start(handler);
    ASSERT_TRUE(handler.BuildMenus(menu_));
    const std::vector<int> firstIds = handler.CommandIds();
    HICON firstIcon = handler.GetCommandBitmap(1118);
    ASSERT_NE(firstIcon, nullptr);

    // The start window builds a fresh menu on a language change.
    DestroyMenu(menu_);
    BuildMainMenu();
    wcscpy(GeneralLanguageFile, L"de-de");
    ASSERT_TRUE(handler.BuildMenus(menu_));
    EXPECT_EQ(handler.CommandIds(), firstIds);
    EXPECT_EQ(TextOf(Sub(1), 1118), L"Sieben");
    EXPECT_EQ(TextOf(Sub(1), 1120), L"Nine");  // no text of that language: the plain text
    HICON secondIcon = handler.GetCommandBitmap(1118);
    EXPECT_NE(secondIcon, nullptr);
    // The icon made for the old menu was released (its handle may have been given out again).
    ICONINFO info = {};
    EXPECT_TRUE(secondIcon == firstIcon || !GetIconInfo(firstIcon, &info));
    EXPECT_NE(Log().find("lang de-de\n"), std::string::npos);
    handler.Shutdown();
}

TEST_F(InetHandlerTest, MissingLibraryGivesNoItemsAndNoFailure)
{
    WriteIni("[Menu1]\nItems=5\n[Item5]\nText=News\n");
    InetHandler handler(dir_.File(L"absent\\dlv_inet2.dll").c_str());
    EXPECT_TRUE(handler.Init());
    EXPECT_FALSE(handler.IsLibraryLoaded());
    EXPECT_FALSE(handler.SetOwner(watcher_.Window()));
    EXPECT_TRUE(handler.IsSetUp());
    EXPECT_TRUE(handler.BuildMenus(menu_));
    EXPECT_EQ(GetMenuItemCount(Sub(2)), 0);
    EXPECT_EQ(Ids(Sub(1)), (std::vector<UINT>{40108, 40109}));
    EXPECT_FALSE(handler.ProcessCommand(1116));
    NString version(L"Delvarin Vastrel 2.0.2");
    EXPECT_TRUE(handler.GetDisplayVersion(version));
    EXPECT_STREQ(version.c_str(), L"Delvarin Vastrel 2.0.2");
    EXPECT_FALSE(handler.OpenWebTarget(L"tutorials"));
    EXPECT_TRUE(handler.Shutdown());
    EXPECT_TRUE(handler.OnAppShutDown());
    EXPECT_EQ(Log(), "");  // the library was never called
}

}  // namespace
