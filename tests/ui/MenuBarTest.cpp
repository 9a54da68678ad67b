// The menu bar: titles from the menu, keyboard navigation on the bar and between open popups,
// item measuring and drawing, and the right-to-left layout of item texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ControlsTest.h"
#include "ControlsTestSupport.h"
#include "ui/MenuItems.h"
#include "ui/NLanguage.h"
#include "ui/NMenuBar.h"

namespace {

class RecordingMenuBar : public NMenuBar {
public:
    void Beep() override { ++beeps; }
    void OpenPopup() override
    {
        opened.push_back(GetHotIndex());
        NMenuBar::OpenPopup();
    }
    int beeps = 0;
    std::vector<int> opened;
};

class MenuBarTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        ASSERT_NE(bar.Create(dialog_), nullptr);
        SetWindowPos(bar.GetHwnd(), nullptr, 0, 0, 600, 24, SWP_NOZORDER | SWP_NOACTIVATE);
        menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_CONTROLS));
        ASSERT_NE(menu, nullptr);
        bar.SetMenuHandle(menu);
        SetMenuOwnerDraw(menu, true);
        bar.SetMenu();
    }
    void TearDown() override
    {
        bar.EndMenuMode();
        ControlsTest::TearDown();
        if (menu)
            DestroyMenu(menu);
    }
    std::wstring Title(int index)
    {
        wchar_t text[128] = {};
        SendMessageW(bar.GetHwnd(), TB_GETBUTTONTEXTW, index, reinterpret_cast<LPARAM>(text));
        return text;
    }
    int HotItem() { return static_cast<int>(SendMessageW(bar.GetHwnd(), TB_GETHOTITEM, 0, 0)); }

    RecordingMenuBar bar;
    HMENU menu = nullptr;
};

}  // namespace

TEST_F(MenuBarTest, EveryTopLevelItemBecomesATitleCutTo31Characters)
{
    ASSERT_EQ(bar.GetButtonCount(), 4);
    EXPECT_EQ(bar.GetItemCount(), 4);
    EXPECT_EQ(Title(0), L"&File");
    EXPECT_EQ(Title(2), L"&Help");
    EXPECT_EQ(Title(3), std::wstring(L"A menu title that runs well past thirty-one characters").substr(0, 31));
    EXPECT_TRUE(bar.GetButtonStyle(1) & BTNS_DROPDOWN);
    EXPECT_TRUE(bar.HasItem(ID_CTL_OPEN));
    EXPECT_FALSE(bar.HasItem(4242));
    bar.EnableItem(ID_CTL_EXIT, false);
    EXPECT_TRUE(bar.IsItemGrayed(ID_CTL_EXIT));
    bar.EnableItem(ID_CTL_EXIT, true);
    EXPECT_FALSE(bar.IsItemGrayed(ID_CTL_EXIT));
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, ID_CTL_MORE, FALSE, &info));
    EXPECT_TRUE(info.fType & MFT_OWNERDRAW);  // submenus are switched too
}

TEST_F(MenuBarTest, LeftAndRightWrapAroundTheTitles)
{
    bar.SetHotItem(0);
    EXPECT_EQ(HotItem(), 0);
    bar.OnKeyDown(VK_LEFT);
    EXPECT_EQ(bar.GetHotIndex(), 3);
    EXPECT_EQ(HotItem(), 3);
    bar.OnKeyDown(VK_RIGHT);
    EXPECT_EQ(bar.GetHotIndex(), 0);
    bar.OnKeyDown(VK_RIGHT);
    EXPECT_EQ(bar.GetHotIndex(), 1);
}

TEST_F(MenuBarTest, KeyboardModeBeepsForAKeyThatIsNoMnemonic)
{
    Show();
    bar.OnSysCommand(SC_KEYMENU, 0);  // Alt or F10 alone
    EXPECT_TRUE(bar.IsKeyboardMode());
    EXPECT_EQ(bar.GetHotIndex(), 0);
    bar.OnKeyDown('Q');
    EXPECT_EQ(bar.beeps, 1);
    EXPECT_EQ(bar.OpenByMnemonic(L'Q'), 0);
    EXPECT_EQ(bar.beeps, 1);
    EXPECT_TRUE(bar.opened.empty());
    bar.OnKeyDown(VK_ESCAPE);
    EXPECT_FALSE(bar.IsKeyboardMode());
    EXPECT_EQ(bar.GetHotIndex(), -1);
}

TEST_F(MenuBarTest, PopupsSwitchWithRightAndEscapeReturnsToTheBar)
{
    Show();
    bar.SetHotItem(0);
    int step = 0;
    TimerDriver driver(
        [&] {
            if (!bar.IsPopupOpen())
                return step == 2;
            if (step == 0 && bar.opened.size() == 1) {
                PostMessageW(bar.GetHwnd(), WM_KEYDOWN, VK_RIGHT, 0);
                step = 1;
            } else if (step == 1 && bar.opened.size() == 2) {
                PostMessageW(bar.GetHwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
                step = 2;
            }
            return false;
        },
        [&] { EndMenu(); }, 4000);
    PostMessageW(bar.GetHwnd(), NMenuBar::kOpenPopupMessage, 0, 0);
    for (int i = 0; i < 200 && !driver.Finished() && !driver.TimedOut(); ++i)
        PumpMessages(20);
    EXPECT_FALSE(driver.TimedOut());
    ASSERT_GE(bar.opened.size(), 2u);
    EXPECT_EQ(bar.opened[0], 0);
    EXPECT_EQ(bar.opened[1], 1);
    EXPECT_FALSE(bar.IsPopupOpen());
    EXPECT_TRUE(bar.IsKeyboardMode());
    EXPECT_EQ(bar.GetHotIndex(), 1);
}

TEST_F(MenuBarTest, RightOnASubmenuItemOpensItAndEscapeClosesOnlyThatSubmenu)
{
    Show();
    bar.SetHotItem(1);  // "Edit", whose first item opens a submenu
    int step = 0;
    std::vector<UINT> menuSelects;
    TimerDriver driver(
        [&] {
            if (!bar.IsPopupOpen())
                return step == 4;
            auto post = [&](UINT key) { PostMessageW(bar.GetHwnd(), WM_KEYDOWN, key, 0); };
            const bool inSubmenu = bar.GetSelectedMenu() && bar.GetSelectedMenu() != bar.GetCurrentPopup();
            if (step == 0) {
                post(VK_DOWN);  // selects "More"
            } else if (step == 1 && bar.IsSubmenuSelected() && !inSubmenu) {
                post(VK_RIGHT);  // opens its submenu, no title change
            } else if (step == 2 && inSubmenu) {
                post(VK_ESCAPE);  // closes the submenu only
            } else if (step == 3 && !inSubmenu) {
                EXPECT_TRUE(bar.IsPopupOpen());
                post(VK_ESCAPE);  // closes the popup: back to the bar
            } else {
                return false;
            }
            ++step;
            return false;
        },
        [&] { EndMenu(); }, 4000);
    PostMessageW(bar.GetHwnd(), NMenuBar::kOpenPopupMessage, 0, 0);
    for (int i = 0; i < 200 && !driver.Finished() && !driver.TimedOut(); ++i)
        PumpMessages(20);
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(step, 4);
    ASSERT_EQ(bar.opened.size(), 1u);
    EXPECT_EQ(bar.opened[0], 1);
    EXPECT_TRUE(bar.IsKeyboardMode());
    EXPECT_EQ(bar.GetHotIndex(), 1);
}

TEST_F(MenuBarTest, SeparatorsMeasureSmallAndDrawALineFrom28)
{
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = 0;
    SendMessageW(bar.GetHwnd(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    EXPECT_EQ(measure.itemWidth, 10u);
    EXPECT_EQ(measure.itemHeight, 9u);
    MEASUREITEMSTRUCT item{};
    item.CtlType = ODT_MENU;
    item.itemID = ID_CTL_OPEN;
    SendMessageW(bar.GetHwnd(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_GT(item.itemWidth, 31u);
    EXPECT_GE(item.itemHeight, 16u);

    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(200, 9, 24, RGB(0, 0, 0)));
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_MENU;
    draw.itemID = 0;
    draw.hDC = picture.dc;
    draw.rcItem = {0, 0, 200, 9};
    ASSERT_TRUE(bar.DrawMenuItem(&draw, menu, 0, -1));
    EXPECT_EQ(GetPixel(picture.dc, 100, 4), ctl::kMenuBorder);
    EXPECT_EQ(GetPixel(picture.dc, 28, 4), ctl::kMenuBorder);
    EXPECT_EQ(GetPixel(picture.dc, 27, 4), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(picture.dc, 25, 1), ctl::kMenuBorder);
    draw.CtlType = ODT_BUTTON;
    EXPECT_FALSE(bar.DrawMenuItem(&draw, menu, 0, -1));
}

TEST_F(MenuBarTest, DoubleClickInAMenuPostsTheSystemMenuDefaultCommand)
{
    app_.SetMainWindow(&dialog);
    HMENU systemMenu = GetSystemMenu(dialog_, FALSE);
    ASSERT_NE(systemMenu, nullptr);
    ASSERT_TRUE(SetMenuDefaultItem(systemMenu, SC_MOVE, FALSE));
    MSG drained{};
    while (PeekMessageW(&drained, dialog_, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE)) {
    }
    // Answers the command posted to the main window by one call of the hook, 0 for none.
    auto posted = [&](int code, UINT message) -> WPARAM {
        MSG msg{};
        msg.hwnd = bar.GetHwnd();
        msg.message = message;
        NMenuBar::DoubleClickFilterProc(code, 0, reinterpret_cast<LPARAM>(&msg));
        MSG out{};
        return PeekMessageW(&out, dialog_, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE) ? out.wParam : 0;
    };
    EXPECT_EQ(posted(MSGF_MENU, WM_LBUTTONDBLCLK), static_cast<WPARAM>(SC_MOVE));
    EXPECT_EQ(posted(MSGF_DIALOGBOX, WM_LBUTTONDBLCLK), 0u);
    EXPECT_EQ(posted(MSGF_MENU, WM_LBUTTONDOWN), 0u);

    // Without a menu bar on the thread, without a main window or a default item: nothing.
    NThreadData* record = bar.GetThreadRecord();
    ASSERT_NE(record, nullptr);
    record->menuBar = nullptr;
    EXPECT_EQ(posted(MSGF_MENU, WM_LBUTTONDBLCLK), 0u);
    record->menuBar = &bar;
    app_.SetMainWindow(nullptr);
    EXPECT_EQ(posted(MSGF_MENU, WM_LBUTTONDBLCLK), 0u);
    app_.SetMainWindow(&dialog);
    ASSERT_TRUE(SetMenuDefaultItem(systemMenu, static_cast<UINT>(-1), FALSE));
    EXPECT_EQ(posted(MSGF_MENU, WM_LBUTTONDBLCLK), 0u);
    app_.SetMainWindow(nullptr);
}

TEST(MenuItemLayout, RightToLeftLanguagesSwapTheAlignments)
{
    const RECT item = {0, 0, 200, 20};
    const UINT base = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    MenuItemTextLayout ltr = LayOutMenuItemText(item, true, false);
    EXPECT_EQ(ltr.labelFormat, base);
    EXPECT_EQ(ltr.shortcutFormat, base | DT_RIGHT);
    EXPECT_EQ(ltr.label.left, 32);
    EXPECT_EQ(ltr.label.right, 196);
    EXPECT_EQ(ltr.shortcut.right, 196);
    MenuItemTextLayout rtl = LayOutMenuItemText(item, true, true);
    EXPECT_EQ(rtl.labelFormat, base | DT_RIGHT);
    EXPECT_EQ(rtl.shortcutFormat, base);
    EXPECT_EQ(rtl.shortcut.right, 196);
    EXPECT_EQ(rtl.label.right, 192);  // 4 in, 10 out again, 14 in
    MenuItemTextLayout plain = LayOutMenuItemText(item, false, true);
    EXPECT_EQ(plain.label.right, 186);
    EXPECT_TRUE(IsRightToLeftLanguage(L"he-il"));
    EXPECT_TRUE(IsRightToLeftLanguage(L"ar-sa"));
    EXPECT_TRUE(IsRightToLeftLanguage(L"fa-ir"));
    EXPECT_FALSE(IsRightToLeftLanguage(L"en-us"));
}

TEST(MenuItemsTest, SeparatorsAtTheEdgesOrDoubledAreRemoved)
{
    struct Case {
        const char* items;  // 's' a separator, 'i' an item
        const char* left;
    };
    const Case cases[] = {{"sii", "ii"}, {"iis", "ii"}, {"issi", "isi"}, {"sis", "i"}, {"ss", ""},
                          {"isi", "isi"}, {"", ""}};
    for (const Case& c : cases) {
        HMENU menu = CreatePopupMenu();
        UINT id = 100;
        for (const char* p = c.items; *p; ++p)
            AppendMenuW(menu, *p == 's' ? MF_SEPARATOR : MF_STRING, *p == 's' ? 0 : id++, L"item");
        RemoveStraySeparators(menu);
        std::string left;
        for (int i = 0; i < GetMenuItemCount(menu); ++i)
            left += GetMenuItemID(menu, i) == 0 ? 's' : 'i';
        EXPECT_EQ(c.left, left) << c.items;
        DestroyMenu(menu);
    }
}
