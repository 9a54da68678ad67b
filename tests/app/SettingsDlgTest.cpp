// The options window: the output folder below which the scans make their folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "LanguageDlgTestSupport.h"
#include "ShippedSkin.h"
#include "app/LanguageDlg.h"
#include "app/SettingsDlg.h"
#include "app/LanguageSettingsRes.h"
#include "common/WindowDriver.h"
#include "ui/NWinApp.h"

namespace {

// The folder chooser answers a fixed folder, or nothing.
class TestSettingsDlg : public Settings_GeneralDlg {
public:
    using Settings_GeneralDlg::Settings_GeneralDlg;
    const wchar_t* answer = nullptr;
    std::wstring startedAt;
    int choices = 0;

protected:
    bool ChooseFolder(wchar_t* folder, int units) override
    {
        ++choices;
        startedAt = folder;
        if (!answer)
            return false;
        lstrcpynW(folder, answer, units);
        return true;
    }
};

void Browse(HWND window)
{
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(40041, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, 40041)));
}

void Press(HWND window, int id)
{
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

class SettingsWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        scope.AddShippedLanguage(L"en-us");
        scope.AddShippedLanguage(L"de-de");
        scope.Store(L"GeneralLanguageFile", L"en-us");
        scope.Store(L"GeneralDetectedLanguage", L"1");
        scope.Store(L"GeneralOutputFolder", L"C:\\Recovered");
        Language_Initialize();
        dialog.SetSettingsFile(scope.SettingsFile().c_str());
    }
    LanguageScope scope;
    TestSettingsDlg dialog{nullptr};
};

}  // namespace

TEST_F(SettingsWindowTest, ShowsTheOutputFolderAndTheScanFolderBelowIt)
{
    ASSERT_STREQ(GeneralOutputFolder, L"C:\\Recovered");
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        EXPECT_EQ(WindowText(window), L"Options");
        EXPECT_EQ(ItemText(window, 1007), L"Folder in which every scan saves the recovered pictures");
        EXPECT_EQ(ItemText(window, 40016), L"C:\\Recovered");
        EXPECT_EQ(ItemText(window, 1006), L"C:\\Recovered\\Delvarin Vastrel 2");
        // The folder is shown, not typed: the edit is read-only.
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(window, 40016), GWL_STYLE) & ES_READONLY);
        Press(window, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(GeneralOutputFolder, L"C:\\Recovered");
}

TEST_F(SettingsWindowTest, AFolderChosenWithBrowseTakesEffectWithOk)
{
    dialog.answer = L"C:\\Chosen folder";
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        Browse(window);
        EXPECT_EQ(dialog.startedAt, L"C:\\Recovered");
        EXPECT_EQ(ItemText(window, 40016), L"C:\\Chosen folder");
        EXPECT_EQ(ItemText(window, 1006), L"C:\\Chosen folder\\Delvarin Vastrel 2");
        // Not taken over before OK.
        EXPECT_STREQ(GeneralOutputFolder, L"C:\\Recovered");
        Press(window, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(GeneralOutputFolder, L"C:\\Chosen folder");
    EXPECT_EQ(scope.Stored(L"GeneralOutputFolder"), L"C:\\Chosen folder");
}

TEST_F(SettingsWindowTest, CancelKeepsTheFolderAfterBrowsing)
{
    dialog.answer = L"C:\\Chosen folder";
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        Browse(window);
        EXPECT_EQ(ItemText(window, 40016), L"C:\\Chosen folder");
        Press(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_STREQ(GeneralOutputFolder, L"C:\\Recovered");
    EXPECT_EQ(scope.Stored(L"GeneralOutputFolder"), L"C:\\Recovered");
}

TEST_F(SettingsWindowTest, ACancelledChooserChangesNothing)
{
    RunModal(dialog, [&](HWND window) {
        Browse(window);
        EXPECT_EQ(dialog.choices, 1);
        EXPECT_EQ(ItemText(window, 40016), L"C:\\Recovered");
        EXPECT_EQ(ItemText(window, 1006), L"C:\\Recovered\\Delvarin Vastrel 2");
        Press(window, IDOK);
    });
    EXPECT_STREQ(GeneralOutputFolder, L"C:\\Recovered");
}

TEST_F(SettingsWindowTest, TextsFollowTheLanguage)
{
    wcscpy(GeneralLanguageFile, L"de-de");
    Language_Uninitialize();
    Language_Initialize();
    RunModal(dialog, [&](HWND window) {
        EXPECT_EQ(WindowText(window), L"Optionen");
        EXPECT_EQ(ItemText(window, 1007), L"Ordner, in dem jede Suche die wiederhergestellten Bilder speichert");
        Press(window, IDCANCEL);
    });
}

// The frame of the folder group stops at its caption: along the frame's top edge, the pixels
// beside the caption are the frame's, those under the caption are not.
TEST_F(SettingsWindowTest, TheGroupFrameLeavesItsCaptionFree)
{
    ShippedSkin skin(*NGetApp());
    ASSERT_TRUE(skin.Loaded());
    RunModal(dialog, [&](HWND window) {
        HWND group = GetDlgItem(window, IDC_SETTINGS_FOLDER_GROUP);
        Capture capture;
        ASSERT_TRUE(CaptureClient(group, capture));
        wchar_t caption[260] = {};
        GetWindowTextW(group, caption, 260);
        HDC dc = GetDC(group);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(group, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &extent);
        SelectObject(dc, old);
        ReleaseDC(group, dc);
        ASSERT_GT(extent.cx, 100);
        // The top edge: the darkest row near the top, right of the caption.
        const int right = capture.width - 30;
        int line = 0;
        for (int y = 1; y < 20; ++y)
            if (GetRValue(capture.At(right, y)) + GetGValue(capture.At(right, y)) <
                GetRValue(capture.At(right, line)) + GetGValue(capture.At(right, line)))
                line = y;
        const COLORREF edge = capture.At(right, line);
        ASSERT_GT(ColourDistance(edge, capture.At(right, line + 8)), 30) << "no frame edge found";
        int onEdge = 0, total = 0;
        for (int x = 12 + extent.cx / 3; x < 12 + 2 * extent.cx / 3; ++x, ++total)
            onEdge += ColourDistance(capture.At(x, line), edge) <= 8 ? 1 : 0;
        EXPECT_LT(onEdge * 4, total) << onEdge << " of " << total << " caption pixels on the edge";
        Press(window, IDOK);
    });
}
