// Language choice: the start-up choice of the language file, storing it, and the language window.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "LanguageDlgTestSupport.h"
#include "app/LanguageDlg.h"
#include "common/MessageBoxAnswerer.h"

namespace {

const LCID kGermanLocale = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
const LCID kEnglishLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

std::wstring LoadedTitle(NWinApp& app)
{
    return app.GetLanguage()->GetText(L"Dlg_Language", L"Title", false).c_str();
}

std::wstring CellText(HWND list, int row, int subItem)
{
    wchar_t text[512] = {};
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring HeaderText(HWND list, int column)
{
    wchar_t text[128] = {};
    LVCOLUMNW info = {};
    info.mask = LVCF_TEXT;
    info.pszText = text;
    info.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    return text;
}

int RowOf(HWND list, const wchar_t* code)
{
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        if (CellText(list, row, 2) == code)
            return row;
    }
    return -1;
}

void SelectRow(HWND list, int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

void PressOk(HWND dialog)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

class LanguageStartTest : public testing::Test {
protected:
    LanguageScope scope;
};

}  // namespace

TEST_F(LanguageStartTest, FirstRunTakesTheSystemLanguageAndStoresIt)
{
    scope.AddShippedLanguage(L"en-us");
    Language_Sources().systemLocale = kGermanLocale;
    Language_Initialize();
    // No German file: English is loaded, but the detected code is kept.
    EXPECT_STREQ(GeneralLanguageFile, L"de-de");
    EXPECT_EQ(GeneralDetectedLanguage, 1);
    EXPECT_EQ(std::wstring(scope.App().GetLanguage()->GetCurrentCode().c_str()), L"en-us");
    EXPECT_EQ(LoadedTitle(scope.App()), L"Language");

    Language_Uninitialize();
    EXPECT_TRUE(scope.App().GetLanguage()->GetSections().empty());
    EXPECT_EQ(scope.Stored(L"GeneralLanguageFile"), L"de-de");
    EXPECT_EQ(scope.Stored(L"GeneralDetectedLanguage"), L"1");

    // Once the German file exists, the next start loads it.
    scope.AddShippedLanguage(L"de-de");
    Language_Sources().systemLocale = kEnglishLocale;
    Language_Initialize();
    EXPECT_STREQ(GeneralLanguageFile, L"de-de");
    EXPECT_EQ(LoadedTitle(scope.App()), L"Sprache");
}

TEST_F(LanguageStartTest, AStoredChoiceWinsOverTheSystemLanguage)
{
    scope.AddShippedLanguage(L"en-us");
    scope.AddShippedLanguage(L"de-de");
    scope.Store(L"GeneralLanguageFile", L"en-us");
    scope.Store(L"GeneralDetectedLanguage", L"1");
    Language_Sources().systemLocale = kGermanLocale;
    for (int run = 0; run < 2; ++run) {
        Language_Initialize();
        EXPECT_STREQ(GeneralLanguageFile, L"en-us");
        EXPECT_EQ(LoadedTitle(scope.App()), L"Language");
        Language_Uninitialize();
        EXPECT_EQ(scope.Stored(L"GeneralLanguageFile"), L"en-us");
    }
}

TEST_F(LanguageStartTest, AMissingFileFallsBackToEnglishAndNoFileAtAllIsReportedOnce)
{
    scope.AddShippedLanguage(L"en-us");
    scope.Store(L"GeneralLanguageFile", L"fr-fr");
    scope.Store(L"GeneralDetectedLanguage", L"1");
    {
        MessageBoxAnswerer answerer(IDOK);
        Language_Initialize();
        EXPECT_EQ(answerer.Count(), 0);
    }
    EXPECT_EQ(LoadedTitle(scope.App()), L"Language");
    Language_Uninitialize();

    DeleteFileW((scope.Folder() + L"\\lang\\VST-en-us.polylex").c_str());
    MessageBoxAnswerer answerer(IDOK);
    Language_Initialize();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.LastText(), L"Failed load en-us fall-back language?!?");
    EXPECT_STREQ(GeneralLanguageFile, L"fr-fr");
    EXPECT_TRUE(scope.App().GetLanguage()->GetSections().empty());
}

namespace {

class LanguageWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        scope.AddShippedLanguage(L"en-us");
        scope.AddShippedLanguage(L"de-de");
        scope.AddShippedFlag(L"en-us");
        scope.AddShippedFlag(L"de-de");
        scope.AddShippedFlag(L"unknown");
        scope.Store(L"GeneralLanguageFile", L"en-us");
        scope.Store(L"GeneralDetectedLanguage", L"1");
        Language_Initialize();
    }
    LanguageScope scope;
    CountingParent parent;
};

}  // namespace

TEST_F(LanguageWindowTest, ListsEveryLanguageFileWithItsTextsAndFlag)
{
    scope.AddLanguage(L"xx-yy",
                      L"[Header]\r\nLanguageName=Test\r\nLanguageNameLocal=Probe\r\nAuthor=Tester\r\nComment=No flag\r\n");
    LanguageDlg dialog(parent.Hwnd());
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        HWND list = GetDlgItem(window, 40027);
        EXPECT_EQ(WindowText(window), L"Language");
        ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
        const int english = RowOf(list, L"en-us");
        const int german = RowOf(list, L"de-de");
        const int test = RowOf(list, L"xx-yy");
        ASSERT_GE(english, 0);
        ASSERT_GE(german, 0);
        ASSERT_GE(test, 0);
        EXPECT_EQ(CellText(list, german, 0), L"German (Deutsch)");
        EXPECT_EQ(CellText(list, german, 1), L"Delvarin");
        EXPECT_EQ(CellText(list, german, 3), L"Deutsche \x00DC" L"bersetzung");
        EXPECT_EQ(CellText(list, test, 0), L"Test (Probe)");
        EXPECT_EQ(CellText(list, test, 1), L"Tester");
        EXPECT_EQ(CellText(list, test, 3), L"No flag");

        // The current language is the selected and focused row.
        EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_FOCUSED | LVNI_SELECTED, 0)),
                  english);
        EXPECT_EQ(HeaderText(list, 0), L"Language");
        EXPECT_EQ(HeaderText(list, 1), L"Author");
        EXPECT_EQ(HeaderText(list, 2), L"Code");
        EXPECT_EQ(HeaderText(list, 3), L"Comment");
        const LRESULT extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
        EXPECT_TRUE(extended & LVS_EX_GRIDLINES);

        // One flag per row; the row without a flag of its own shows the unknown one.
        HIMAGELIST flags = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        ASSERT_NE(flags, nullptr);
        EXPECT_EQ(ImageList_GetImageCount(flags), 3);
        LVITEMW image = {};
        image.mask = LVIF_IMAGE;
        image.iItem = test;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
        EXPECT_EQ(image.iImage, test);

        // Paint the flags into a picture and look at their colours: German black, red and gold;
        // the unknown flag grey.
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP picture = CreateCompatibleBitmap(screen, 48, 16);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, picture);
        ImageList_Draw(flags, german, dc, 0, 0, ILD_NORMAL);
        ImageList_Draw(flags, test, dc, 16, 0, ILD_NORMAL);
        ImageList_Draw(flags, english, dc, 32, 0, ILD_NORMAL);
        EXPECT_EQ(GetPixel(dc, 8, 2), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc, 8, 7), RGB(0xDD, 0, 0));
        EXPECT_EQ(GetPixel(dc, 8, 13), RGB(0xFF, 0xCE, 0));
        EXPECT_EQ(GetPixel(dc, 16 + 3, 12), RGB(0xC8, 0xC8, 0xC8));
        EXPECT_EQ(GetPixel(dc, 32 + 3, 1), RGB(0x3C, 0x3B, 0x6E));  // blue canton
        EXPECT_EQ(GetPixel(dc, 32 + 12, 0), RGB(0xB2, 0x22, 0x34));  // red stripe
        SelectObject(dc, old);
        DeleteObject(picture);
        DeleteDC(dc);

        // On the screen the German row shows its flag in front of its name.
        UpdateWindow(list);
        RECT icon = {};
        icon.left = LVIR_ICON;
        ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(german), reinterpret_cast<LPARAM>(&icon)));
        HDC listDc = GetDC(list);
        HDC copyDc = CreateCompatibleDC(listDc);
        HBITMAP copy = CreateCompatibleBitmap(listDc, 16, 16);
        HGDIOBJ previous = SelectObject(copyDc, copy);
        const int top = icon.top + (icon.bottom - icon.top - 16) / 2;
        BitBlt(copyDc, 0, 0, 16, 16, listDc, icon.left, top, SRCCOPY);
        ReleaseDC(list, listDc);
        int red = 0;
        int gold = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const COLORREF pixel = GetPixel(copyDc, x, y);
                red += pixel == RGB(0xDD, 0, 0);
                gold += pixel == RGB(0xFF, 0xCE, 0);
            }
        }
        EXPECT_GT(red, 40);
        EXPECT_GT(gold, 40);
        SelectObject(copyDc, previous);
        DeleteObject(copy);
        DeleteDC(copyDc);
        PressOk(window);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.GetRowCodes().size(), 3u);
    PumpFor(50);
    EXPECT_EQ(parent.Count(), 0);
}

TEST_F(LanguageWindowTest, ChoosingAnotherLanguageSwitchesStoresAndTellsTheParent)
{
    LanguageDlg dialog(parent.Hwnd());
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        HWND list = GetDlgItem(window, 40027);
        SelectRow(list, RowOf(list, L"de-de"));
        PressOk(window);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(GeneralLanguageFile, L"de-de");
    EXPECT_EQ(LoadedTitle(scope.App()), L"Sprache");
    EXPECT_EQ(scope.Stored(L"GeneralLanguageFile"), L"de-de");
    PumpFor(50);
    EXPECT_EQ(parent.Count(), 1);

    // The window now speaks German: title and headers.
    LanguageDlg again(parent.Hwnd());
    RunModal(again, [&](HWND window) {
        EXPECT_EQ(WindowText(window), L"Sprache");
        EXPECT_EQ(HeaderText(GetDlgItem(window, 40027), 0), L"Sprache");
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
}

TEST_F(LanguageWindowTest, TheCurrentLanguageOrCancelChangesNothing)
{
    {
        LanguageDlg dialog(parent.Hwnd());
        EXPECT_EQ(RunModal(dialog, [&](HWND window) { PressOk(window); }), 1);
    }
    {
        LanguageDlg dialog(parent.Hwnd());
        const INT_PTR result = RunModal(dialog, [&](HWND window) {
            HWND list = GetDlgItem(window, 40027);
            SelectRow(list, RowOf(list, L"de-de"));
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        EXPECT_EQ(result, IDCANCEL);
    }
    PumpFor(50);
    EXPECT_EQ(parent.Count(), 0);
    EXPECT_STREQ(GeneralLanguageFile, L"en-us");
    EXPECT_EQ(LoadedTitle(scope.App()), L"Language");
}

TEST_F(LanguageWindowTest, WithoutAnyFlagPictureEveryRowKeepsItsOwnFlag)
{
    // Only the German flag is there: the other rows get empty pictures, and German still its own.
    DeleteFileW((scope.Folder() + L"\\Flags\\unknown.bmp").c_str());
    DeleteFileW((scope.Folder() + L"\\Flags\\en-us.bmp").c_str());
    scope.AddLanguage(L"aa-aa", L"[Header]\r\nLanguageName=A\r\n");
    LanguageDlg dialog(parent.Hwnd());
    RunModal(dialog, [&](HWND window) {
        HWND list = GetDlgItem(window, 40027);
        ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
        HIMAGELIST flags = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        ASSERT_NE(flags, nullptr);
        EXPECT_EQ(ImageList_GetImageCount(flags), 3);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP picture = CreateCompatibleBitmap(screen, 32, 16);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, picture);
        const RECT all = {0, 0, 32, 16};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ImageList_Draw(flags, RowOf(list, L"de-de"), dc, 0, 0, ILD_NORMAL);
        ImageList_Draw(flags, RowOf(list, L"aa-aa"), dc, 16, 0, ILD_NORMAL);
        EXPECT_EQ(GetPixel(dc, 8, 7), RGB(0xDD, 0, 0));
        EXPECT_EQ(GetPixel(dc, 16 + 8, 8), RGB(255, 255, 255));  // the empty picture lets the white through
        SelectObject(dc, old);
        DeleteObject(picture);
        DeleteDC(dc);
        PressOk(window);
    });
}

TEST_F(LanguageWindowTest, ACodeTooLongForTheSettingIsNotTaken)
{
    const std::wstring longCode = L"xx-" + std::wstring(40, L'y');
    scope.AddLanguage(longCode, L"[Header]\r\nLanguageName=Long\r\nLanguageNameLocal=Long\r\n");
    LanguageDlg dialog(parent.Hwnd());
    RunModal(dialog, [&](HWND window) {
        HWND list = GetDlgItem(window, 40027);
        const int row = RowOf(list, longCode.c_str());
        ASSERT_GE(row, 0);
        SelectRow(list, row);
        PressOk(window);
    });
    PumpFor(50);
    EXPECT_EQ(parent.Count(), 0);
    EXPECT_STREQ(GeneralLanguageFile, L"en-us");
}

TEST_F(LanguageWindowTest, ChineseHasNoGridLines)
{
    wcscpy(GeneralLanguageFile, L"zh-TW");
    LanguageDlg dialog(parent.Hwnd());
    RunModal(dialog, [&](HWND window) {
        HWND list = GetDlgItem(window, 40027);
        const LRESULT extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
        EXPECT_FALSE(extended & LVS_EX_GRIDLINES);
        // No row is the current language.
        EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)), -1);
        PressOk(window);
    });
}

TEST_F(LanguageWindowTest, ShortHeaderListsAreCompleted)
{
    struct Case {
        const wchar_t* headers;
        const wchar_t* expected[4];  // columns 0 to 3
    };
    const Case cases[] = {
        {L"C|B|A", {L"A", L"B", L"C", L"Comment"}},
        {L"D|C", {L"Language", L"Author", L"C", L"D"}},
        {L"", {L"Language", L"Author", L"Code", L"Comment"}},
    };
    for (const Case& c : cases) {
        scope.AddLanguage(L"en-us", std::wstring(L"[Header]\r\nLanguageName=English\r\n[Dlg_Language]\r\nListHeaders=") +
                                        c.headers + L"\r\n");
        Language_Uninitialize();
        Language_Initialize();
        LanguageDlg dialog(parent.Hwnd());
        RunModal(dialog, [&](HWND window) {
            HWND list = GetDlgItem(window, 40027);
            for (int column = 0; column < 4; ++column)
                EXPECT_EQ(HeaderText(list, column), c.expected[column]) << c.headers << " column " << column;
            PressOk(window);
        });
    }
}

TEST(LanguageMenuTexts, ForwardToTheMenuHelpers)
{
    LanguageScope scope;
    scope.AddLanguage(L"en-us", L"[Menu]\r\nFile=&File\r\nExit=E&xit\r\n[Dlg_Language]\r\nTitle=Pick\r\n");
    scope.Store(L"GeneralDetectedLanguage", L"1");
    Language_Initialize();
    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 100, L"file");
    AppendMenuW(menu, MF_STRING, 101, L"exit");
    SetMenuTitleText(menu, L"File", 0);
    SetMainMenuItemText(menu, L"Exit", 101);
    wchar_t text[64] = {};
    GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&File");
    GetMenuStringW(menu, 101, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"E&xit");
    DestroyMenu(menu);
    HWND window = CreateWindowExW(0, L"STATIC", L"before", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    TranslateLanguageWindowTitle(window);
    EXPECT_EQ(WindowText(window), L"Pick");
    DestroyWindow(window);
}

// The comment column is wide enough for its longest text and fills the room the list has left.
TEST_F(LanguageWindowTest, TheCommentColumnShowsItsWholeTexts)
{
    const std::wstring comment =
        L"A comment long enough to need much more room than the column had when it was first made";
    scope.AddLanguage(L"xx-yy", L"[Header]\r\nLanguageName=Test\r\nLanguageNameLocal=Probe\r\nAuthor=Tester\r\nComment=" +
                                    comment + L"\r\n");
    LanguageDlg dialog(parent.Hwnd());
    RunModal(dialog, [&](HWND window) {
        HWND list = GetDlgItem(window, 40027);
        const int needed =
            static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(comment.c_str())));
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 3, 0));
        EXPECT_GE(width, needed);
        int total = 0;
        for (int column = 0; column < 4; ++column)
            total += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
        RECT client{};
        GetClientRect(list, &client);
        EXPECT_GE(total, client.right);
    });
}
