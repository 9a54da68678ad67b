// Language texts put into menus, window titles and combo boxes.
#include <gtest/gtest.h>

#include <string>

#include "UiTestSupport.h"
#include "common/TestFiles.h"
#include "ui/LanguageHelpers.h"
#include "ui/NWinApp.h"

namespace {

class LanguageHelpersTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteUtf16File(dir.File(L"H-en-us.polylex"),
                                   L"[Menu]\r\nFile=&File\r\nExit=E&xit\r\nLong=" + std::wstring(200, L'm') +
                                       L"\r\nEmpty=\r\n[Dlg_A]\r\nTitle=Window A\r\nSizes=5 MB|10 MB|15 MB\r\n"
                                       L"[Dlg_B]\r\nTitle=\r\n"));
        app.GetLanguage()->Init(dir.Path().c_str(), L"H", L"polylex");
        ASSERT_TRUE(app.GetLanguage()->Load(L"en-us"));
    }
    TestDir dir;
    NWinApp app{GetModuleHandleW(nullptr), 0, NString(L"Helpers")};
};

std::wstring MenuText(HMENU menu, UINT item, UINT flags)
{
    wchar_t text[300] = {};
    GetMenuStringW(menu, item, text, 300, flags);
    return text;
}

}  // namespace

TEST_F(LanguageHelpersTest, MenuItemsTakeTheirTextsFromSectionMenu)
{
    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 100, L"file");
    AppendMenuW(menu, MF_STRING, 101, L"exit");
    AppendMenuW(menu, MF_STRING, 102, L"long");
    AppendMenuW(menu, MF_STRING, 103, L"empty");
    TranslateMenuItemByPosition(menu, L"File", 0);
    TranslateMenuItemById(menu, L"Exit", 101);
    TranslateMenuItemById(menu, L"Long", 102);
    TranslateMenuItemById(menu, L"Empty", 103);
    TranslateMenuItemById(menu, L"Missing", 100);
    EXPECT_EQ(MenuText(menu, 0, MF_BYPOSITION), L"&File");
    EXPECT_EQ(MenuText(menu, 101, MF_BYCOMMAND), L"E&xit");
    EXPECT_EQ(MenuText(menu, 102, MF_BYCOMMAND), std::wstring(127, L'm'));
    EXPECT_EQ(MenuText(menu, 103, MF_BYCOMMAND), L"empty");
    DestroyMenu(menu);
}

TEST_F(LanguageHelpersTest, WindowTitlesComeFromKeyTitle)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"before", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    wchar_t text[64] = {};
    TranslateWindowTitle(window, L"Dlg_B");  // empty title: unchanged
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(text, L"before");
    TranslateWindowTitle(window, L"Dlg_A");
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(text, L"Window A");
    DestroyWindow(window);
}

TEST_F(LanguageHelpersTest, ComboBoxesAreFilledFromAList)
{
    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 100, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(combo, nullptr);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"old"));
    FillComboBoxFromText(combo, L"Dlg_A", L"Sizes", 1);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
    wchar_t item[32] = {};
    SendMessageW(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"15 MB");

    FillComboBoxFromText(combo, L"Dlg_A", L"Sizes", 5);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);

    LogWatch log;
    FillComboBoxFromText(combo, L"Dlg_A", L"Missing", 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_TRUE(log.Saw("No text? Dlg_A Missing"));
    DestroyWindow(combo);
}
