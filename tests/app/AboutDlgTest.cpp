// The about window: version line, title and link.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "LanguageDlgTestSupport.h"
#include "app/AboutDlg.h"
#include "app/LanguageDlg.h"

TEST(AboutWindow, VersionLineNamesVersionBitnessAndBuildTime)
{
    const std::wstring line = AboutDlg::VersionLine().c_str();
    const std::wregex pattern(LR"(Delvarin Vastrel 2\.0\.2 \(64-Bit, [A-Z][a-z]{2} [ 0-9]\d \d{4}, \d\d:\d\d:\d\d\))");
    EXPECT_TRUE(std::regex_match(line, pattern)) << std::string(line.begin(), line.end());
}

TEST(AboutWindow, ShowsTheVersionLineTitleAndLink)
{
    LanguageScope scope;
    scope.AddShippedLanguage(L"en-us");
    scope.Store(L"GeneralDetectedLanguage", L"1");
    Language_Initialize();
    AboutDlg dialog(nullptr);
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        EXPECT_EQ(WindowText(window), L"Delvarin Vastrel 2.0.2");
        EXPECT_EQ(ItemText(window, 40016), std::wstring(AboutDlg::VersionLine().c_str()));
        EXPECT_EQ(ItemText(window, IDOK), L"OK");
        EXPECT_EQ(std::wstring(dialog.GetLink().GetUrl().c_str()), L"https://www.delvarin.com");
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(window, 40016), GWL_STYLE) & ES_READONLY);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(result, IDOK);
}
