// The start window driven by messages: its first show, the presets, the drive list, the options it
// collects before a scan, the file mode, a language change, the fixed-disk warning, the menu tabs
// and the commands that open the other windows. The drives and the modal windows are replaced.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "ShippedSkin.h"
#include "app/AppSettings.h"
#include "app/LanguageDlg.h"
#include "app/MyMainMenu.h"
#include "app/StartUpDlg.h"
#include "app/StartUpDlgRes.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "common/WindowDriver.h"
#include "ui/NButton.h"
#include "ui/NCheckBox.h"
#include "ui/NComboBox.h"
#include "ui/NWinApp.h"

namespace {

struct FakeDrive {
    wchar_t letter;
    UINT type;
    const wchar_t* label;  // null: the volume cannot be asked
};

class TestStartUpDlg : public StartUpDlg {
public:
    std::vector<FakeDrive> drives;
    int scans = 0;
    ScanOptionSet optionsAtScan;
    int languageWindows = 0, settingsWindows = 0, aboutWindows = 0;
    bool chooseAnswer = false;
    std::wstring choosePath;
    std::wstring directoryWhileChoosing;
    std::wstring pathGiven;
    bool realFileDialog = false;

protected:
    DWORD GetDriveRoots(wchar_t* buffer, DWORD units) override
    {
        std::wstring roots;
        for (const FakeDrive& drive : drives) {
            roots += drive.letter;
            roots += L":\\";
            roots += L'\0';
        }
        if (roots.size() + 1 > units)
            return static_cast<DWORD>(roots.size() + 1);
        wmemcpy(buffer, roots.c_str(), roots.size());
        buffer[roots.size()] = 0;
        return static_cast<DWORD>(roots.size());
    }
    UINT GetDriveTypeOf(const wchar_t* root) override
    {
        const FakeDrive* drive = Find(root);
        return drive ? drive->type : DRIVE_NO_ROOT_DIR;
    }
    bool GetVolumeLabelOf(const wchar_t* root, wchar_t* label, DWORD units) override
    {
        const FakeDrive* drive = Find(root);
        if (!drive || !drive->label)
            return false;
        wcsncpy(label, drive->label, units - 1);
        label[units - 1] = 0;
        return true;
    }
    void RunScan() override
    {
        ++scans;
        optionsAtScan = ScanOptions;
    }
    void ShowLanguageWindow() override { ++languageWindows; }
    void ShowSettingsWindow() override { ++settingsWindows; }
    void ShowAboutWindow() override { ++aboutWindows; }
    bool ChooseImageFile(wchar_t* path, int units) override
    {
        pathGiven = path;
        if (realFileDialog)
            return StartUpDlg::ChooseImageFile(path, units);
        wchar_t current[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, current);
        directoryWhileChoosing = current;
        // The system's dialog may change the current directory.
        SetCurrentDirectoryW(L"C:\\");
        wcsncpy(path, choosePath.c_str(), static_cast<size_t>(units) - 1);
        path[units - 1] = 0;
        return chooseAnswer;
    }

private:
    const FakeDrive* Find(const wchar_t* root) const
    {
        for (const FakeDrive& drive : drives)
            if (towupper(root[0]) == drive.letter)
                return &drive;
        return nullptr;
    }
};

std::wstring ShippedLanguageFolder()
{
    return ResourcePath(L"lang");
}

class StartUpDlgTest : public testing::Test {
protected:
    StartUpDlgTest() : settings_(output_.Path())
    {
        NLanguage* language = app_.GetLanguage();
        language->Init(ShippedLanguageFolder().c_str(), L"VST", L"polylex");
        language->Load(L"en-us");
        dialog_.drives = {{L'C', DRIVE_FIXED, L"SYSTEM"}, {L'E', DRIVE_REMOVABLE, L"CARD"}};
    }
    ~StartUpDlgTest() override
    {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
        app_.GetLanguage()->Clear();
    }
    void Open()
    {
        window_ = dialog_.DoModeless(IDD_START_UP, nullptr);
        ASSERT_NE(nullptr, window_);
        ShowWindow(window_, SW_SHOWNORMAL);
        Pump();
    }
    void Pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    HWND Item(int id) { return GetDlgItem(window_, id); }
    bool Checked(int id)
    {
        auto* box = dynamic_cast<NCheckBox*>(NWindow::FromHandle(Item(id)));
        EXPECT_NE(nullptr, box) << id;
        return box && box->checked;
    }
    void Click(int id)
    {
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
    }
    void Command(int id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    void ChoosePreset(int index)
    {
        SendMessageW(Item(IDC_START_PRESET_LIST), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_START_PRESET_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(IDC_START_PRESET_LIST)));
    }
    int Selection(int id) { return static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0)); }
    std::vector<std::wstring> Items(int id)
    {
        std::vector<std::wstring> items;
        const int count = static_cast<int>(SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[300] = {};
            SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }
    std::wstring Text(int id)
    {
        wchar_t text[512] = {};
        GetWindowTextW(id ? Item(id) : window_, text, 512);
        return text;
    }
    std::wstring MenuTitle(int index)
    {
        wchar_t text[128] = {};
        SendMessageW(dialog_.GetMenuBar().GetHwnd(), TB_GETBUTTONTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return text;
    }

    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"StartUpDlgTest")};
    TestDir output_;
    ScanSettingsScope settings_;
    TestStartUpDlg dialog_;
    HWND window_ = nullptr;
};

}  // namespace

TEST_F(StartUpDlgTest, FirstShowScansTheFirstDriveWithTheQuickPreset)
{
    Open();
    EXPECT_EQ(L"Delvarin Vastrel 2", Text(0));
    EXPECT_EQ(L"Start scan", Text(IDC_START_SCAN));
    EXPECT_EQ(L"Settings", Text(IDC_START_TAB_CONFIGURATION));

    // Drive mode: the list and Refresh show, the path and Choose file do not.
    EXPECT_TRUE(Checked(IDC_START_SOURCE_DRIVE));
    EXPECT_FALSE(Checked(IDC_START_SOURCE_FILE));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_START_DRIVE_LIST)));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_START_REFRESH)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_START_FILE_PATH)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_START_CHOOSE_FILE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_START_FILE_PATH)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_SCAN)));

    // Preset 0: group 1, all three filters on with their entries 3, 2 and 1, the lists enabled.
    EXPECT_EQ(0, Selection(IDC_START_PRESET_LIST));
    EXPECT_EQ(0, ScanOptions.ScanMethodIndex);
    EXPECT_TRUE(Checked(IDC_START_GROUP1));
    EXPECT_FALSE(Checked(IDC_START_GROUP2));
    EXPECT_FALSE(Checked(IDC_START_GROUP3));
    EXPECT_FALSE(Checked(IDC_START_GROUP4));
    EXPECT_TRUE(Checked(IDC_START_FILE_SIZE_ON));
    EXPECT_TRUE(Checked(IDC_START_PHOTO_SIZE_ON));
    EXPECT_TRUE(Checked(IDC_START_CHUNK_SIZE_ON));
    EXPECT_EQ(3, Selection(IDC_START_FILE_SIZE_LIST));
    EXPECT_EQ(2, Selection(IDC_START_PHOTO_SIZE_LIST));
    EXPECT_EQ(1, Selection(IDC_START_CHUNK_SIZE_LIST));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_FILE_SIZE_LIST)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_PHOTO_SIZE_LIST)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_CHUNK_SIZE_LIST)));

    EXPECT_EQ(7u, Items(IDC_START_FILE_SIZE_LIST).size());
    EXPECT_EQ(5u, Items(IDC_START_PHOTO_SIZE_LIST).size());
    EXPECT_EQ(5u, Items(IDC_START_PRESET_LIST).size());
    const std::vector<std::wstring> chunks = Items(IDC_START_CHUNK_SIZE_LIST);
    ASSERT_EQ(11u, chunks.size());
    EXPECT_EQ(L"5 MB", chunks[0]);
    EXPECT_EQ(L"70 MB", chunks[6]);
    EXPECT_EQ(L"150 MB", chunks[10]);

    // The removable card comes before the fixed disk, and is selected.
    const std::vector<std::wstring> drives = Items(IDC_START_DRIVE_LIST);
    ASSERT_EQ(2u, drives.size());
    EXPECT_EQ(L"E: CARD <Removable drive>", drives[0]);
    EXPECT_EQ(L"C: SYSTEM <Fixed disk>", drives[1]);
    EXPECT_EQ(0, Selection(IDC_START_DRIVE_LIST));

    // The menu bar shows the four titles, its items are owner-drawn and translated.
    EXPECT_EQ(L"File", MenuTitle(0));
    EXPECT_EQ(L"Help", MenuTitle(3));
    HMENU menu = dialog_.GetMenuBar().GetMenu();
    ASSERT_NE(nullptr, menu);
    wchar_t item[64] = {};
    GetMenuStringW(menu, ID_MENU_START_SCAN, item, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Start scan", item);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, ID_MENU_ABOUT, FALSE, &info));
    EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
}

TEST_F(StartUpDlgTest, TheDriveListGroupsRemovableDrivesFirstAndSkipsRemoteOnes)
{
    dialog_.drives = {{L'A', DRIVE_FIXED, L"DATA"},        {L'B', DRIVE_CDROM, L"DISC"},
                      {L'D', DRIVE_REMOTE, L"SHARE"},      {L'F', DRIVE_REMOVABLE, nullptr},
                      {L'G', DRIVE_UNKNOWN, L"ODD"},       {L'H', DRIVE_NO_ROOT_DIR, nullptr},
                      {L'R', DRIVE_RAMDISK, L"FAST"}};
    Open();
    const std::vector<std::wstring> expected = {L"F:  <Removable drive>", L"H:  <Unknown drive>",
                                                L"A: DATA <Fixed disk>", L"B: DISC <CD/DVD>",
                                                L"R: FAST <RAM disk>"};
    EXPECT_EQ(expected, Items(IDC_START_DRIVE_LIST));

    // Refresh lists them again and selects the first; without drives the list stays empty.
    SendMessageW(Item(IDC_START_DRIVE_LIST), CB_SETCURSEL, 3, 0);
    dialog_.drives.clear();
    Click(IDC_START_REFRESH);
    EXPECT_TRUE(Items(IDC_START_DRIVE_LIST).empty());
    EXPECT_EQ(-1, Selection(IDC_START_DRIVE_LIST));
    // With nothing selected no drive letter is taken and no warning shows.
    MessageBoxAnswerer answers(IDOK, true);
    Click(IDC_START_SCAN);
    ASSERT_EQ(1, dialog_.scans);
    EXPECT_EQ(0, answers.Count());
    EXPECT_EQ(0, dialog_.optionsAtScan.DriveLetter[0]);
}

TEST_F(StartUpDlgTest, EveryPresetSetsItsGroupsFiltersAndEntries)
{
    struct Case {
        int preset;
        bool groups[4];
        bool fileOn;
        int fileIndex;
        bool photoOn;
        int photoIndex;
        bool chunkOn;
        int chunkIndex;
    };
    // Entries of filters that a preset leaves off stay as they were (the previous case's).
    const Case cases[] = {
        {1, {false, true, false, false}, true, 6, true, 3, true, 4},
        {2, {true, true, true, false}, true, 5, true, 3, true, 4},
        {3, {true, false, true, false}, true, 5, true, 3, true, 1},
        {4, {true, true, true, true}, false, 5, false, 3, true, 2},
        {0, {true, false, false, false}, true, 3, true, 2, true, 1},
        {5, {false, false, false, false}, false, 3, false, 2, false, 1},  // beyond the table
        {-1, {false, false, false, false}, false, 3, false, 2, false, 1}, // nothing selected
    };
    Open();
    // A language with a sixth preset entry: it names no preset.
    SendMessageW(Item(IDC_START_PRESET_LIST), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Sixth"));
    const int groupIds[] = {IDC_START_GROUP1, IDC_START_GROUP2, IDC_START_GROUP3, IDC_START_GROUP4};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        ChoosePreset(c.preset);
        EXPECT_EQ(c.preset, ScanOptions.ScanMethodIndex);
        for (int g = 0; g < 4; ++g)
            EXPECT_EQ(c.groups[g], Checked(groupIds[g])) << "group " << g + 1;
        EXPECT_EQ(c.fileOn, Checked(IDC_START_FILE_SIZE_ON));
        EXPECT_EQ(c.photoOn, Checked(IDC_START_PHOTO_SIZE_ON));
        EXPECT_EQ(c.chunkOn, Checked(IDC_START_CHUNK_SIZE_ON));
        EXPECT_EQ(c.fileOn, IsWindowEnabled(Item(IDC_START_FILE_SIZE_LIST)) != FALSE);
        EXPECT_EQ(c.photoOn, IsWindowEnabled(Item(IDC_START_PHOTO_SIZE_LIST)) != FALSE);
        EXPECT_EQ(c.chunkOn, IsWindowEnabled(Item(IDC_START_CHUNK_SIZE_LIST)) != FALSE);
        EXPECT_EQ(c.fileIndex, Selection(IDC_START_FILE_SIZE_LIST));
        EXPECT_EQ(c.photoIndex, Selection(IDC_START_PHOTO_SIZE_LIST));
        EXPECT_EQ(c.chunkIndex, Selection(IDC_START_CHUNK_SIZE_LIST));
    }
    // A filter box clicked by hand switches its list.
    Click(IDC_START_PHOTO_SIZE_ON);
    EXPECT_TRUE(Checked(IDC_START_PHOTO_SIZE_ON));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_PHOTO_SIZE_LIST)));
    Click(IDC_START_PHOTO_SIZE_ON);
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_START_PHOTO_SIZE_LIST)));
}

TEST_F(StartUpDlgTest, StartCollectsTheOptionsOfTheWindow)
{
    ScanOptions.FileSizeIndex = 2;
    ScanOptions.PhotoSizeIndex = 1;
    Open();
    ChoosePreset(3);
    // Every group off: the scan still searches group 1.
    Click(IDC_START_GROUP1);
    Click(IDC_START_GROUP3);
    // The file-size filter off with another entry chosen: the stored index stays.
    Click(IDC_START_FILE_SIZE_ON);
    SendMessageW(Item(IDC_START_FILE_SIZE_LIST), CB_SETCURSEL, 6, 0);
    SendMessageW(Item(IDC_START_CHUNK_SIZE_LIST), CB_SETCURSEL, 10, 0);
    Click(IDC_START_SCAN);
    ASSERT_EQ(1, dialog_.scans);
    ScanOptionSet seen = dialog_.optionsAtScan;
    EXPECT_EQ(0, seen.ScanFromFile);
    EXPECT_STREQ(L"E", seen.DriveLetter);
    EXPECT_EQ(3, seen.ScanMethodIndex);
    EXPECT_EQ(1u, ScanGroupMask(seen));
    EXPECT_EQ(0, seen.FileSizeOn);
    EXPECT_EQ(2, seen.FileSizeIndex);
    EXPECT_EQ(1, seen.PhotoSizeOn);
    EXPECT_EQ(3, seen.PhotoSizeIndex);
    EXPECT_EQ(1, seen.ChunkSizeOn);
    EXPECT_EQ(10, seen.ChunkSizeIndex);

    // Only group 4 searches group 4 only; the menu's start command does the same as the button.
    Click(IDC_START_GROUP4);
    Click(IDC_START_FILE_SIZE_ON);
    Command(ID_MENU_START_SCAN);
    ASSERT_EQ(2, dialog_.scans);
    seen = dialog_.optionsAtScan;
    EXPECT_EQ(8u, ScanGroupMask(seen));
    EXPECT_EQ(1, seen.FileSizeOn);
    EXPECT_EQ(6, seen.FileSizeIndex);
}

TEST_F(StartUpDlgTest, InFileModeStartFollowsWhetherThePathExists)
{
    TestDir images;
    const std::wstring image = images.File(L"card.img");
    ASSERT_TRUE(WriteWholeFile(image, "data", 4));
    Open();
    Click(IDC_START_SOURCE_FILE);
    EXPECT_TRUE(Checked(IDC_START_SOURCE_FILE));
    EXPECT_FALSE(Checked(IDC_START_SOURCE_DRIVE));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_START_FILE_PATH)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_FILE_PATH)));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_START_CHOOSE_FILE)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_START_DRIVE_LIST)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_START_DRIVE_LIST)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_START_SCAN)));  // no path yet

    // Typing: a path that does not exist (yet) disables Start, the complete one enables it.
    SetWindowTextW(Item(IDC_START_FILE_PATH), image.substr(0, image.size() - 2).c_str());
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_START_SCAN)));
    SetWindowTextW(Item(IDC_START_FILE_PATH), image.c_str());
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_SCAN)));

    Click(IDC_START_SCAN);
    ASSERT_EQ(1, dialog_.scans);
    EXPECT_EQ(1, dialog_.optionsAtScan.ScanFromFile);
    EXPECT_EQ(image, dialog_.optionsAtScan.ImageFilePath.c_str());

    // The file dialog: its choice fills the path, cancelling it clears the path; the current
    // directory comes back either way.
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    dialog_.chooseAnswer = true;
    dialog_.choosePath = image;
    Click(IDC_START_CHOOSE_FILE);
    EXPECT_EQ(image, Text(IDC_START_FILE_PATH));
    EXPECT_EQ(image, ScanOptions.ImageFilePath.c_str());
    EXPECT_EQ(std::wstring(before), dialog_.directoryWhileChoosing);
    // Cancel keeps the path typed before; the dialog was given it to start from.
    const std::wstring typed = images.File(L"typed.img");
    SetWindowTextW(Item(IDC_START_FILE_PATH), typed.c_str());
    dialog_.chooseAnswer = false;
    Click(IDC_START_CHOOSE_FILE);
    EXPECT_EQ(typed, dialog_.pathGiven);
    EXPECT_EQ(typed, Text(IDC_START_FILE_PATH));
    EXPECT_EQ(image, ScanOptions.ImageFilePath.c_str());
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_START_SCAN)));
    wchar_t after[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(before, after);

    // Back to the drive: Start is enabled whatever the path says.
    Click(IDC_START_SOURCE_DRIVE);
    EXPECT_TRUE(Checked(IDC_START_SOURCE_DRIVE));
    EXPECT_FALSE(Checked(IDC_START_SOURCE_FILE));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_SCAN)));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_START_DRIVE_LIST)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_START_FILE_PATH)));
}

// The system's file dialog opens in the folder of the typed path; cancelling it keeps that path.
TEST_F(StartUpDlgTest, TheFileDialogOpensAtTheTypedPathAndCancelKeepsIt)
{
    TestDir images;
    const std::wstring typed = images.File(L"card.img");
    ASSERT_TRUE(WriteWholeFile(typed, "data", 4));
    Open();
    Click(IDC_START_SOURCE_FILE);
    SetWindowTextW(Item(IDC_START_FILE_PATH), typed.c_str());
    dialog_.realFileDialog = true;
    std::wstring folderShown, nameShown;
    TimerDriver driver(
        [&] {
            HWND box = nullptr;
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM found) -> BOOL {
                    wchar_t name[16] = {};
                    GetClassNameW(window, name, 16);
                    if (IsWindowVisible(window) && wcscmp(name, L"#32770") == 0 && GetWindow(window, GW_OWNER)) {
                        *reinterpret_cast<HWND*>(found) = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&box));
            if (!box)
                return false;
            wchar_t text[MAX_PATH] = {};
            SendMessageW(box, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(text));
            folderShown = text;
            text[0] = 0;
            SendMessageW(box, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(text));
            nameShown = text;
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            return true;
        },
        [] {});
    Click(IDC_START_CHOOSE_FILE);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(0, _wcsicmp(images.Path().c_str(), folderShown.c_str())) << folderShown;
    EXPECT_EQ(L"card.img", nameShown);
    EXPECT_EQ(typed, Text(IDC_START_FILE_PATH));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_START_SCAN)));
}

// After a language change the lists show what the user chose, and the scan uses what they show.
TEST_F(StartUpDlgTest, ALanguageChangeAppliesTextsAndRefillsTheLists)
{
    Open();
    ChoosePreset(2);
    Click(IDC_START_GROUP4);  // the user's own choice beside the preset
    SendMessageW(Item(IDC_START_FILE_SIZE_LIST), CB_SETCURSEL, 6, 0);
    SendMessageW(Item(IDC_START_CHUNK_SIZE_LIST), CB_SETCURSEL, 8, 0);
    SendMessageW(Item(IDC_START_DRIVE_LIST), CB_SETCURSEL, 1, 0);
    const std::wstring englishTitle = Text(IDC_START_HEADLINE);
    ASSERT_TRUE(app_.GetLanguage()->Load(L"de-de"));
    SendMessageW(window_, kLanguageChangedMessage, 0, 0);

    EXPECT_NE(englishTitle, Text(IDC_START_HEADLINE));
    EXPECT_EQ(app_.GetLanguage()->GetText(L"Dlg_StartUpScreen", L"Btn1", true).c_str(), Text(IDC_START_SCAN));
    EXPECT_EQ(app_.GetLanguage()->GetText(L"Menu", L"Help", true).c_str(), Text(IDC_START_TAB_HELP));
    EXPECT_EQ(L"Delvarin Vastrel 2", Text(0));
    EXPECT_EQ(app_.GetLanguage()->GetText(L"Menu", L"File", true).c_str(), MenuTitle(0));

    const std::vector<std::wstring> chunks = Items(IDC_START_CHUNK_SIZE_LIST);
    ASSERT_EQ(11u, chunks.size());
    const std::vector<std::wstring> fixed(chunks.end() - 5, chunks.end());
    EXPECT_EQ((std::vector<std::wstring>{L"70 MB", L"90 MB", L"100 MB", L"120 MB", L"150 MB"}), fixed);
    EXPECT_EQ(5u, Items(IDC_START_PRESET_LIST).size());
    EXPECT_EQ(2, Selection(IDC_START_PRESET_LIST));
    EXPECT_EQ(6, Selection(IDC_START_FILE_SIZE_LIST));
    EXPECT_EQ(3, Selection(IDC_START_PHOTO_SIZE_LIST));
    EXPECT_EQ(8, Selection(IDC_START_CHUNK_SIZE_LIST));
    EXPECT_EQ(1, Selection(IDC_START_DRIVE_LIST));  // C: stays chosen
    EXPECT_EQ(L'C', Items(IDC_START_DRIVE_LIST)[1][0]);
    EXPECT_NE(std::wstring::npos, Items(IDC_START_DRIVE_LIST)[0].find(
                                      app_.GetLanguage()->GetText(L"Dlg_StartUpScreen", L"Device", true).c_str()));
    // The boxes stay as the user left them.
    EXPECT_TRUE(Checked(IDC_START_GROUP1));
    EXPECT_TRUE(Checked(IDC_START_GROUP2));
    EXPECT_TRUE(Checked(IDC_START_GROUP3));
    EXPECT_TRUE(Checked(IDC_START_GROUP4));

    MessageBoxAnswerer answers(IDOK, true);  // C: is a fixed disk
    Click(IDC_START_SCAN);
    ASSERT_EQ(1, dialog_.scans);
    EXPECT_STREQ(L"C", dialog_.optionsAtScan.DriveLetter);
    EXPECT_EQ(6, dialog_.optionsAtScan.FileSizeIndex);
    EXPECT_EQ(3, dialog_.optionsAtScan.PhotoSizeIndex);
    EXPECT_EQ(8, dialog_.optionsAtScan.ChunkSizeIndex);
}

// Scanning a fixed drive warns first. With the output folder on another drive it only informs
// and the scan follows; with the output folder on the scanned drive the user may stop.
TEST_F(StartUpDlgTest, TheFixedDiskWarningStopsOnlyWhenTheOutputIsOnTheScannedDrive)
{
    struct Case {
        const char* name;
        const wchar_t* output;
        int answer;
        bool sameDrive;
        bool scans;
    };
    const Case cases[] = {
        {"other drive, OK", L"D:\\Recovered", IDOK, false, true},
        {"same drive, OK", L"c:\\Users\\Recovered", IDOK, true, true},
        {"same drive, Cancel", L"C:\\Recovered", IDCANCEL, true, false},
    };
    dialog_.drives = {{L'C', DRIVE_FIXED, L"SYSTEM"}};
    Open();
    const std::wstring plain =
        app_.GetLanguage()->GetText(L"Dlg_Scan", L"FixedDiskWarningNew", false).c_str();
    ASSERT_FALSE(plain.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wcscpy(GeneralOutputFolder, c.output);
        const int before = dialog_.scans;
        MessageBoxAnswerer answers(c.answer, true);
        Click(IDC_START_SCAN);
        ASSERT_EQ(1, answers.Count());
        EXPECT_EQ(std::wstring(kAppTitle), answers.LastCaption());
        if (c.sameDrive) {
            EXPECT_EQ(0u, answers.LastText().find(std::wstring(L"The output folder ") + c.output + L" lies on"))
                << answers.LastText();
        } else {
            EXPECT_EQ(plain, answers.LastText());
        }
        EXPECT_EQ(c.scans ? before + 1 : before, dialog_.scans);
    }

    // Without the newer text the older one is shown; a same-drive text with other conversions
    // than the folder's is not used as the format.
    const std::wstring lang = output_.File(L"lang");
    ASSERT_TRUE(CreateDirectoryW(lang.c_str(), nullptr));
    const std::wstring body =
        L"\xFEFF[Dlg_Scan]\r\nFixedDiskWarning=Old warning\r\nFixedDiskSameDrive=%s%d%n%s\r\n";
    ASSERT_TRUE(WriteWholeFile(lang + L"\\VST-xx-xx.polylex", body.data(), body.size() * sizeof(wchar_t)));
    app_.GetLanguage()->Init(lang.c_str(), L"VST", L"polylex");
    ASSERT_TRUE(app_.GetLanguage()->Load(L"xx-xx"));
    wcscpy(GeneralOutputFolder, L"D:\\Recovered");
    MessageBoxAnswerer answers(IDOK, true);
    Click(IDC_START_SCAN);
    ASSERT_EQ(1, answers.Count());
    EXPECT_EQ(L"Old warning", answers.LastText());
    {
        wcscpy(GeneralOutputFolder, L"C:\\Recovered");
        MessageBoxAnswerer cancel(IDCANCEL, true);
        const int before = dialog_.scans;
        Click(IDC_START_SCAN);
        ASSERT_EQ(1, cancel.Count());
        EXPECT_EQ(0u, cancel.LastText().find(L"The output folder C:\\Recovered lies on the drive"))
            << cancel.LastText();
        EXPECT_EQ(before, dialog_.scans);
    }

    // A removable drive or an image file is scanned without a warning.
    dialog_.drives = {{L'E', DRIVE_REMOVABLE, L"CARD"}, {L'C', DRIVE_FIXED, L"SYSTEM"}};
    Click(IDC_START_REFRESH);
    Click(IDC_START_SCAN);
    Click(IDC_START_SOURCE_FILE);
    const std::wstring image = output_.File(L"disk.img");
    ASSERT_TRUE(WriteWholeFile(image, "data", 4));
    SetWindowTextW(Item(IDC_START_FILE_PATH), image.c_str());
    Click(IDC_START_SCAN);
    EXPECT_EQ(1, answers.Count());
}

TEST_F(StartUpDlgTest, AnImageFileThatCannotBeReadIsNamedBeforeAnyScan)
{
    Open();
    Click(IDC_START_SOURCE_FILE);
    const std::wstring missing = output_.File(L"no such disk.img");
    const std::wstring folder = output_.Path();
    struct Case {
        std::wstring path;
        const wchar_t* reason;   // a part of the text that says why
    };
    const Case cases[] = {{missing, nullptr}, {folder, L"This is a folder, not a file."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        SetWindowTextW(Item(IDC_START_FILE_PATH), c.path.c_str());
        const int before = dialog_.scans;
        MessageBoxAnswerer answers(IDOK, true);
        Click(IDC_START_SCAN);
        ASSERT_EQ(1, answers.Count());
        const std::wstring text = answers.LastText();
        EXPECT_EQ(0u, text.find(L"The image file cannot be scanned:\n" + c.path + L"\n\n")) << text;
        if (c.reason)
            EXPECT_NE(std::wstring::npos, text.find(c.reason)) << text;
        EXPECT_EQ(before, dialog_.scans) << "no scan starts";
    }
}

TEST_F(StartUpDlgTest, CommandsOpenTheirWindowsAndExitEndsTheWindow)
{
    Open();
    Command(ID_MENU_LANGUAGE);
    Command(ID_MENU_OPTIONS);
    Command(ID_MENU_OPTIONS);
    Command(ID_MENU_ABOUT);
    EXPECT_EQ(1, dialog_.languageWindows);
    EXPECT_EQ(2, dialog_.settingsWindows);
    EXPECT_EQ(1, dialog_.aboutWindows);
    EXPECT_EQ(0, dialog_.scans);
    Command(ID_MENU_EXIT);
    EXPECT_FALSE(IsWindow(window_));
}

namespace {

struct TabProbe {
    MyMainMenu* bar = nullptr;
    HMENU shown = nullptr;
    int ticks = 0;
};
TabProbe* g_probe = nullptr;

void CALLBACK EndTabMenu(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_probe)
        return;
    // While the tab's popup is tracked, the bar works on that popup.
    if (g_probe->bar->IsPopupOpen() && !g_probe->shown)
        g_probe->shown = g_probe->bar->GetMenu();
    if (g_probe->shown || ++g_probe->ticks > 100)
        EndMenu();
}

}  // namespace

TEST_F(StartUpDlgTest, EachMenuTabOpensItsSubmenu)
{
    Open();
    const struct {
        int tab;
        int position;
    } tabs[] = {{IDC_START_TAB_CONFIGURATION, 1}, {IDC_START_TAB_INTERNET, 2}, {IDC_START_TAB_HELP, 3}};
    for (const auto& t : tabs) {
        SCOPED_TRACE(t.position);
        HMENU menu = dialog_.GetMenuBar().GetMenu();
        TabProbe probe;
        probe.bar = &dialog_.GetMenuBar();
        g_probe = &probe;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, EndTabMenu);
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(t.tab, STN_CLICKED), reinterpret_cast<LPARAM>(Item(t.tab)));
        KillTimer(nullptr, timer);
        g_probe = nullptr;
        HMENU submenu = GetSubMenu(menu, t.position);
        ASSERT_NE(nullptr, submenu);
        // Without the internet library the Internet menu is empty, and the system shows nothing.
        if (GetMenuItemCount(submenu) > 0) {
            EXPECT_EQ(submenu, probe.shown);
        }
        EXPECT_FALSE(dialog_.GetMenuBar().IsPopupOpen());
        EXPECT_EQ(menu, dialog_.GetMenuBar().GetMenu());  // the bar's own menu is back
    }
}

TEST(MyMainMenuTest, CommandsDrawTheirIconsOfTheStrip)
{
    const struct {
        UINT command;
        int icon;
    } cases[] = {{1, 91},     {ID_MENU_EXIT, 25},     {ID_MENU_ABOUT, 53},   {ID_MENU_README, 47},
                 {ID_MENU_START_SCAN, 87}, {ID_MENU_LANGUAGE, 90}, {ID_MENU_OPTIONS, 33}, {40014, -1},
                 {0, -1},     {4242, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.icon, MyMainMenu::IconIndexOf(c.command)) << c.command;
}

// An empty Internet menu opened from its title leaves no pressed title behind, and the Help menu
// opens after it; no separator stands alone at the top of the Help menu.
TEST_F(StartUpDlgTest, AnEmptyMenuLeavesTheBarUsableAndNoSeparatorStandsAlone)
{
    Open();
    MyMainMenu& bar = dialog_.GetMenuBar();
    HWND barWindow = bar.GetHwnd();
    HMENU menu = bar.GetMenu();
    HMENU help = GetSubMenu(menu, 3);
    ASSERT_EQ(0, GetMenuItemCount(GetSubMenu(menu, 2)));  // no internet library items
    ASSERT_EQ(2, GetMenuItemCount(help));
    EXPECT_EQ(static_cast<UINT>(ID_MENU_README), GetMenuItemID(help, 0));
    EXPECT_EQ(static_cast<UINT>(ID_MENU_ABOUT), GetMenuItemID(help, 1));

    auto click = [&](int index) {
        RECT rect{};
        SendMessageW(barWindow, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
        const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        PostMessageW(barWindow, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(barWindow, WM_LBUTTONUP, 0, at);
    };
    std::vector<HMENU> opened;
    TimerDriver driver(
        [&] {
            if (bar.IsPopupOpen()) {
                opened.push_back(bar.GetCurrentPopup());
                EndMenu();
            }
            return false;
        },
        [] { EndMenu(); });
    click(2);
    PumpMessages(200);
    EXPECT_FALSE(SendMessageW(barWindow, TB_ISBUTTONPRESSED, 2, 0));
    EXPECT_FALSE(bar.IsPopupOpen());
    EXPECT_NE(barWindow, GetCapture());
    click(3);
    // On a busy machine the menu may take a while to open.
    for (int i = 0; i < 1000 && opened.empty() && !driver.TimedOut(); ++i)
        PumpMessages(20);
    PumpMessages(100);
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(help, opened[0]);
    EXPECT_FALSE(SendMessageW(barWindow, TB_ISBUTTONPRESSED, 2, 0));
    EXPECT_FALSE(SendMessageW(barWindow, TB_ISBUTTONPRESSED, 3, 0));
}

namespace {

// Where two captures of one control differ, and whether every difference lies on the outline of
// the box around them (as a focus rectangle's dots do).
struct CaptureDifference {
    int count = 0;
    RECT box{};
    bool onOutline = true;
};

CaptureDifference Compare(const Capture& a, const Capture& b)
{
    CaptureDifference d;
    if (a.width != b.width || a.height != b.height)
        return d;
    d.box = {a.width, a.height, -1, -1};
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.At(x, y) != b.At(x, y)) {
                ++d.count;
                d.box = {std::min<LONG>(d.box.left, x), std::min<LONG>(d.box.top, y), std::max<LONG>(d.box.right, x),
                         std::max<LONG>(d.box.bottom, y)};
            }
    for (int y = 0; d.count && y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.At(x, y) != b.At(x, y) && x != d.box.left && x != d.box.right && y != d.box.top &&
                y != d.box.bottom)
                d.onOutline = false;
    return d;
}

// Makes the control answer that its window hides focus rectangles, as the system's UI state does
// before the keyboard is used (Wine keeps no UI state and always shows them).
LRESULT CALLBACK HideFocusCues(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_QUERYUISTATE)
        return DefSubclassProc(window, message, wParam, lParam) | UISF_HIDEFOCUS;
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

// Tab moves through the skinned controls, and the one reached shows the dotted focus rectangle
// around its text while the window shows keyboard cues; hiding the cues takes it away.
TEST_F(StartUpDlgTest, TabShowsAFocusRectangleOnEachControlItReaches)
{
    ShippedSkin skin(app_);
    ASSERT_TRUE(skin.Loaded());
    Open();
    auto pump = [&](int milliseconds) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        do {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsDialogMessageW(window_, &message)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
            Sleep(5);
        } while (GetTickCount() < end);
    };
    auto capture = [&](HWND control) {
        Capture shot;
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_TRUE(CaptureClient(control, shot));
        return shot;
    };
    SetFocus(Item(IDC_START_SOURCE_DRIVE));
    pump(50);

    std::set<std::wstring> kinds;
    std::set<HWND> visited;
    for (int step = 0; step < 20; ++step) {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0);
        PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC0000000);
        pump(120);
        focus = GetFocus();
        ASSERT_TRUE(focus && IsChild(window_, focus));
        if (!visited.insert(focus).second)
            break;  // round the window once
        const int id = GetDlgCtrlID(focus);
        SCOPED_TRACE(id);
        EXPECT_EQ(0, SendMessageW(focus, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
        const Capture shown = capture(focus);
        // A change of the UI state repaints the focused control.
        ValidateRect(focus, nullptr);
        SendMessageW(window_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
        EXPECT_TRUE(GetUpdateRect(focus, nullptr, FALSE));
        ASSERT_TRUE(SetWindowSubclass(focus, HideFocusCues, 1, 0));
        const Capture hidden = capture(focus);
        RemoveWindowSubclass(focus, HideFocusCues, 1);
        const CaptureDifference d = Compare(shown, hidden);
        // A rectangle of dots around the text, inside the control.
        EXPECT_GT(d.count, 20);
        EXPECT_TRUE(d.onOutline);
        EXPECT_GE(d.box.right - d.box.left, 8);
        EXPECT_GE(d.box.bottom - d.box.top, 6);
        EXPECT_LT(d.box.right - d.box.left, shown.width);
        NWindow* object = NWindow::FromHandle(focus);
        kinds.insert(dynamic_cast<NRadioItem*>(object)  ? L"radio item"
                     : dynamic_cast<NCheckBox*>(object) ? L"check box"
                     : dynamic_cast<NComboBox*>(object) ? L"combo box"
                     : dynamic_cast<NButton*>(object)   ? L"button"
                                                        : L"other");
    }
    EXPECT_GE(visited.size(), 8u);
    EXPECT_EQ((std::set<std::wstring>{L"radio item", L"check box", L"combo box", L"button"}), kinds);
}
