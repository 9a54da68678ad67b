// The application object: what its construction sets up (also when the language files and the
// skin are missing), the plug-in folder beside the program, and its message loop with the busy
// cursor.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "app/AppSettings.h"
#include "app/LanguageDlg.h"
#include "app/MyApplication.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "imagefile/PlugInHost.h"

namespace {

// A private program folder (languages only when asked for) and settings file for the language
// set-up; the process-wide settings and sources come back afterwards, and the plug-ins go.
class MyApplicationTest : public testing::Test {
protected:
    MyApplicationTest() : savedDetected_(GeneralDetectedLanguage)
    {
        wmemcpy(savedCode_, GeneralLanguageFile, kLanguageCodeUnits);
        wmemcpy(savedFolder_, GeneralOutputFolder, kOutputFolderUnits);
        LanguageSources& sources = Language_Sources();
        sources.programFolder = dir_.Path().c_str();
        sources.settingsFile = dir_.File(L"settings.ini").c_str();
        sources.systemLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
    }
    ~MyApplicationTest() override
    {
        UninitializePlugIns();
        LanguageSources& sources = Language_Sources();
        sources.programFolder = L"";
        sources.settingsFile = L"";
        sources.systemLocale = 0;
        wmemcpy(GeneralLanguageFile, savedCode_, kLanguageCodeUnits);
        GeneralDetectedLanguage = savedDetected_;
        wmemcpy(GeneralOutputFolder, savedFolder_, kOutputFolderUnits);
    }

    void AddShippedLanguage(const wchar_t* code)
    {
        CreateDirectoryW(dir_.File(L"lang").c_str(), nullptr);
        const std::wstring name = std::wstring(L"VST-") + code + L".polylex";
        ASSERT_TRUE(CopyFileW(ResourcePath(L"lang\\" + name).c_str(), dir_.File(L"lang\\" + name).c_str(), FALSE));
    }

    TestDir dir_;
    wchar_t savedCode_[kLanguageCodeUnits];
    int savedDetected_;
    wchar_t savedFolder_[kOutputFolderUnits];
};

TEST_F(MyApplicationTest, ComesUpWithoutLanguageFilesOrSkin)
{
    const bool skinPresent = FileExists(ProgramFolder() + L"\\Skins\\Default\\Default.ini");
    MessageBoxAnswerer answers(IDOK);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_EQ(GetMyApplication(), nullptr);
    {
        MyApplication app(instance);
        EXPECT_EQ(GetMyApplication(), &app);
        EXPECT_EQ(NGetApp(), &app);
        EXPECT_TRUE(app.IsRegistered());
        EXPECT_EQ(GetAppInstance(), instance);
        EXPECT_STREQ(app.GetAppName().c_str(), L"Software\\Delvarin\\Delvarin Vastrel 2");
        // The missing language is reported once and the program goes on with an empty table.
        EXPECT_EQ(answers.Count(), 1);
        EXPECT_EQ(answers.LastText(), L"Failed load en-us fall-back language?!?");
        EXPECT_TRUE(app.GetLanguage()->GetText(L"Menu", L"File", false).IsEmpty());
        if (!skinPresent) {
            // No skin folder: the skin's colours are its defaults.
            EXPECT_EQ(app.GetSkin()->GetColor(L"AppWindowBackColor"), RGB(255, 255, 255));
        }
        // The settings were read on the way (the stored code came from the system's language).
        EXPECT_STREQ(GeneralLanguageFile, L"en-us");
        EXPECT_EQ(GeneralDetectedLanguage, 1);
    }
    EXPECT_EQ(GetMyApplication(), nullptr);
    EXPECT_EQ(NGetApp(), nullptr);
}

TEST_F(MyApplicationTest, LoadsTheLanguageAndThePlugInsBesideTheProgram)
{
    AddShippedLanguage(L"en-us");
    MessageBoxAnswerer answers(IDOK);
    // The test programs' plug-in folder holds the raw-grey plug-in (built with them).
    const bool plugInBuilt = FileExists(ProgramFolder() + L"\\PlugIns\\LMC_RawGrey.dll");
    UninitializePlugIns();
    {
        MyApplication app(GetModuleHandleW(nullptr));
        EXPECT_EQ(answers.Count(), 0);
        EXPECT_FALSE(app.GetLanguage()->GetText(L"Menu", L"File", false).IsEmpty());
        if (plugInBuilt)
            EXPECT_GE(PlugInCount(), 1);
        // A second application object stays inert and leaves the first one in place.
        MyApplication second(GetModuleHandleW(nullptr));
        EXPECT_FALSE(second.IsRegistered());
        EXPECT_EQ(NGetApp(), &app);
        EXPECT_EQ(GetMyApplication(), &app);
    }
    EXPECT_EQ(NGetApp(), nullptr);
}

TEST(PlugInFolderTest, BesideTheProgramOrNoneWhenItDoesNotFit)
{
    wchar_t folder[MAX_PATH];
    ASSERT_TRUE(GetPlugInFolder(L"C:\\Programs\\Vastrel", folder));
    EXPECT_STREQ(folder, L"C:\\Programs\\Vastrel\\PlugIns");

    EXPECT_FALSE(GetPlugInFolder(L"", folder));
    EXPECT_FALSE(GetPlugInFolder(nullptr, folder));

    // 251 + 8 units fit with the NUL; one more would be cut, which would name another folder.
    const std::wstring fits = L"C:\\" + std::wstring(248, L'a');
    ASSERT_TRUE(GetPlugInFolder(fits.c_str(), folder));
    EXPECT_EQ(std::wstring(folder), fits + L"\\PlugIns");
    EXPECT_FALSE(GetPlugInFolder((fits + L"b").c_str(), folder));
    EXPECT_STREQ(folder, L"");
}

// A window whose WM_APP handler takes the given time and notes the cursor at its end.
struct SlowWindow {
    HWND window = nullptr;
    DWORD busyMs = 0;
    HCURSOR cursorAtEnd = nullptr;
    int handled = 0;

    SlowWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"MyApplicationTestSlow";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"MyApplicationTestSlow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), this);
    }
    ~SlowWindow() { DestroyWindow(window); }

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<SlowWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_APP && self) {
            Sleep(self->busyMs);
            self->cursorAtEnd = GetCursor();
            ++self->handled;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};

TEST_F(MyApplicationTest, RunDispatchesUntilQuitAndShowsTheWaitCursorWhileBusy)
{
    MessageBoxAnswerer answers(IDOK);
    MyApplication app(GetModuleHandleW(nullptr));
    SlowWindow slow;
    ASSERT_NE(slow.window, nullptr);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    SetCursor(arrow);

    // A quick message, then a slow one, then the end: the exit code is the low word.
    slow.busyMs = 0;
    PostMessageW(slow.window, WM_APP, 0, 0);
    PostQuitMessage(0x12345);
    EXPECT_EQ(app.Run(), 0x2345);
    EXPECT_EQ(slow.handled, 1);
    EXPECT_NE(slow.cursorAtEnd, wait);

    slow.busyMs = 600;
    PostMessageW(slow.window, WM_APP, 0, 0);
    PostQuitMessage(7);
    EXPECT_EQ(app.Run(), 7);
    EXPECT_EQ(slow.handled, 2);
    EXPECT_EQ(slow.cursorAtEnd, wait);
    // After the message the replaced cursor is back.
    EXPECT_EQ(GetCursor(), arrow);
}

}  // namespace
