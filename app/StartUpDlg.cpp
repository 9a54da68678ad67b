#include "app/StartUpDlg.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <cwchar>

#include "app/AboutDlg.h"
#include "app/AppSettings.h"
#include "app/InetHandler.h"
#include "app/LanguageDlg.h"
#include "app/ScanDlg.h"
#include "app/ScanOptions.h"
#include "app/SettingsDlg.h"
#include "app/StartUpDlgRes.h"
#include "app/resource.h"
#include "ui/LanguageHelpers.h"
#include "ui/NLanguage.h"
#include "ui/NMessageBox.h"
#include "ui/NWinApp.h"

namespace {

constexpr const wchar_t* kSection = L"Dlg_StartUpScreen";
constexpr const wchar_t* kScanSection = L"Dlg_Scan";
constexpr int kDriveItemUnits = 257;   // 256 characters and the NUL
constexpr int kVolumeLabelUnits = 128;
constexpr DWORD kDriveRootUnits = 1024;
// The chunk sizes past the language list's six: factors 14, 18, 20, 24 and 30.
constexpr const wchar_t* kExtraChunkSizes[] = {L"70 MB", L"90 MB", L"100 MB", L"120 MB", L"150 MB"};

NLanguage* Language()
{
    NWinApp* app = NGetApp();
    return app ? app->GetLanguage() : nullptr;
}

// The text of the key, or its reference text when the language has none.
NString Text(const wchar_t* section, const wchar_t* key)
{
    NLanguage* language = Language();
    return language ? language->GetText(section, key, true) : NString();
}

COLORREF SkinColour(const wchar_t* key)
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin()->GetColor(key) : RGB(0, 0, 0);
}

// The upper-case drive letter a full path starts with, or 0 (a share, a device path).
wchar_t DriveLetterOf(const wchar_t* path)
{
    if (!path || !path[0])
        return 0;
    wchar_t full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    if (!iswalpha(full[0]) || full[1] != L':')
        return 0;
    return static_cast<wchar_t>(towupper(full[0]));
}

void Repaint(HWND window)
{
    if (!window)
        return;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

struct Preset {
    bool groups[4];
    bool fileSizeOn;
    int fileSizeIndex;
    bool photoSizeOn;
    int photoSizeIndex;
    bool chunkSizeOn;
    int chunkSizeIndex;
};

constexpr Preset kPresets[] = {
    {{true, false, false, false}, true, 3, true, 2, true, 1},
    {{false, true, false, false}, true, 6, true, 3, true, 4},
    {{true, true, true, false}, true, 5, true, 3, true, 4},
    {{true, false, true, false}, true, 5, true, 3, true, 1},
    {{true, true, true, true}, false, 0, false, 0, true, 2},
};

}  // namespace

StartUpDlg::StartUpDlg(HWND parent) : NDialog(kResourceId, parent) {}

StartUpDlg::~StartUpDlg()
{
    DeleteFonts();
    if (m_menu)
        DestroyMenu(m_menu);
}

LRESULT StartUpDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (g_DlvInetHandler.ProcessCommand(id))
        return 0;

    if (code == EN_CHANGE)
        UpdateStartButton();

    switch (id) {
    case IDC_START_SCAN:
    case ID_MENU_START_SCAN:
        if (code == BN_CLICKED)
            StartScan();
        break;
    case IDC_START_REFRESH:
        if (code == BN_CLICKED)
            FillDriveList();
        break;
    case IDC_START_CHOOSE_FILE:
        if (code == BN_CLICKED) {
            wchar_t current[MAX_PATH] = {};
            const DWORD saved = GetCurrentDirectoryW(MAX_PATH, current);
            wchar_t path[MAX_PATH] = {};
            if (!ChooseImageFile(path, MAX_PATH))
                path[0] = 0;
            ScanOptions.ImageFilePath = path;
            SetDlgItemTextW(m_hWnd, IDC_START_FILE_PATH, path);
            if (saved > 0 && saved < MAX_PATH)
                SetCurrentDirectoryW(current);
        }
        break;
    case IDC_START_SOURCE_DRIVE:
    case IDC_START_SOURCE_FILE:
        if (code == BN_CLICKED)
            SelectSource(id == IDC_START_SOURCE_FILE);
        break;
    case IDC_START_FILE_SIZE_ON:
    case IDC_START_PHOTO_SIZE_ON:
    case IDC_START_CHUNK_SIZE_ON:
        if (code == BN_CLICKED)
            EnableListOf(static_cast<int>(id));
        break;
    case IDC_START_PRESET_LIST:
        if (code == CBN_SELCHANGE)
            ApplyScanMethodPreset();
        break;
    case IDC_START_TAB_CONFIGURATION:
        if (code == STN_CLICKED)
            OpenTabMenu(IDC_START_TAB_CONFIGURATION, 1);
        break;
    case IDC_START_TAB_INTERNET:
        if (code == STN_CLICKED)
            OpenTabMenu(IDC_START_TAB_INTERNET, 2);
        break;
    case IDC_START_TAB_HELP:
        if (code == STN_CLICKED)
            OpenTabMenu(IDC_START_TAB_HELP, 3);
        break;
    case ID_MENU_EXIT:
        if (code == 0)
            EndDialog(1);
        break;
    case ID_MENU_ABOUT:
        if (code == 0)
            ShowAboutWindow();
        break;
    case ID_MENU_README:
        if (code == 0)
            OpenTutorials(L"welcome", 0);
        break;
    case ID_MENU_LANGUAGE:
        if (code == 0)
            ShowLanguageWindow();
        break;
    case ID_MENU_OPTIONS:
        if (code == 0)
            ShowSettingsWindow();
        break;
    default:
        break;
    }
    return NDialog::OnCommand(wParam, lParam);
}

INT_PTR StartUpDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kLanguageChangedMessage && m_hWnd) {
        ApplyLanguage();
        m_menuBar.Destroy();
        BuildMenu();
        FillDriveList();
        FillOptionLists();
        if (g_DlvInetHandler.IsSetUp())
            g_DlvInetHandler.BuildMenus(m_menu);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    return NDialog::DialogProc(window, message, wParam, lParam);
}

int StartUpDlg::OnInitDialog()
{
    LoadSmallIcon(IDI_APP_ICON);
    if (HICON big = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 48, 48, 0))) {
        SetBigIcon(big);  // the window keeps its own copy
        DestroyIcon(big);
    }
    LoadBackgroundImage(L"StartUpScreenBack", true, false);

    m_startButton.AttachControl(IDC_START_SCAN, this, -1);
    m_refreshButton.AttachControl(IDC_START_REFRESH, this, 8);
    m_chooseFileButton.AttachControl(IDC_START_CHOOSE_FILE, this, 4);

    if (m_headline.AttachDlgItem(IDC_START_HEADLINE, this))
        m_headline.SetTextColor(SkinColour(L"StartUpDlgHeadlineColor"));
    NMenuStatic* tabs[] = {&m_configurationTab, &m_internetTab, &m_helpTab};
    const int tabIds[] = {IDC_START_TAB_CONFIGURATION, IDC_START_TAB_INTERNET, IDC_START_TAB_HELP};
    for (int i = 0; i < 3; ++i) {
        if (tabs[i]->AttachDlgItem(tabIds[i], this))
            tabs[i]->SetBold(true);
    }
    if (m_presetLabel.AttachDlgItem(IDC_START_PRESET_LABEL, this)) {
        m_presetLabel.SetBold(true);
        m_presetLabel.SetTextColor(SkinColour(L"StartUpDlgDescColor"));
    }

    m_driveItem.AttachControl(IDC_START_SOURCE_DRIVE, this, 1);
    m_fileItem.AttachControl(IDC_START_SOURCE_FILE, this, 0);
    const COLORREF disabled = SkinColour(L"StartUpDlgCheckColorDisabled");
    const COLORREF checkedColour = SkinColour(L"StartUpDlgCheckColorChecked");
    const COLORREF normal = SkinColour(L"StartUpDlgCheckColor");
    m_driveItem.SetTextColors(true, disabled, checkedColour, normal, 0);
    m_fileItem.SetTextColors(true, disabled, checkedColour, normal, 0);

    HWND edit = GetDlgItem(m_hWnd, IDC_START_FILE_PATH);
    // A path cut to the buffer would name another file: the edit takes no more than fits.
    SendMessageW(edit, EM_LIMITTEXT, MAX_PATH - 1, 0);
    ::EnableWindow(edit, m_fileItem.checked);
    ::EnableWindow(GetDlgItem(m_hWnd, IDC_START_CHOOSE_FILE), m_fileItem.checked);
    SHAutoComplete(edit, SHACF_FILESYSTEM | SHACF_AUTOSUGGEST_FORCE_ON);

    if (NWinApp* app = NGetApp()) {
        NImageBuffer picture;
        if (app->GetSkin()->LoadPng(picture, L"StartUpScreenButton", true))
            m_startButton.SetPicture(picture);
    }
    m_startButton.SetPulse(true);

    m_driveList.AttachDlgItem(IDC_START_DRIVE_LIST, this);
    FillDriveList();

    m_fileSizeBox.AttachControl(IDC_START_FILE_SIZE_ON, this, 0);
    m_fileSizeList.AttachDlgItem(IDC_START_FILE_SIZE_LIST, this);
    m_photoSizeBox.AttachControl(IDC_START_PHOTO_SIZE_ON, this, 0);
    m_photoSizeList.AttachDlgItem(IDC_START_PHOTO_SIZE_LIST, this);
    m_chunkSizeBox.AttachControl(IDC_START_CHUNK_SIZE_ON, this, 0);
    m_chunkSizeList.AttachDlgItem(IDC_START_CHUNK_SIZE_LIST, this);
    m_group1Box.AttachControl(IDC_START_GROUP1, this, 1);
    m_group2Box.AttachControl(IDC_START_GROUP2, this, 0);
    m_group3Box.AttachControl(IDC_START_GROUP3, this, 0);
    m_group4Box.AttachControl(IDC_START_GROUP4, this, 0);
    m_presetList.AttachDlgItem(IDC_START_PRESET_LIST, this);
    FillOptionLists();

    CreateFonts();
    SendDlgItemMessageW(m_hWnd, IDC_START_SCAN, WM_SETFONT, reinterpret_cast<WPARAM>(m_startFont), TRUE);
    const int itemFontIds[] = {IDC_START_HEADLINE, IDC_START_PRESET_LABEL, IDC_START_SOURCE_DRIVE,
                               IDC_START_SOURCE_FILE};
    for (int id : itemFontIds)
        SendDlgItemMessageW(m_hWnd, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_itemFont), TRUE);

    const bool fromFile = m_fileItem.checked;
    ShowWindow(edit, fromFile ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_START_CHOOSE_FILE), fromFile ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_START_DRIVE_LIST), m_driveItem.checked ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_START_REFRESH), m_driveItem.checked ? SW_SHOW : SW_HIDE);

    BuildMenu();
    g_DlvInetHandler.SetOwner(m_hWnd);
    if (g_DlvInetHandler.IsSetUp())
        g_DlvInetHandler.BuildMenus(m_menu);

    ApplyScanMethodPreset();
    return 1;
}

int StartUpDlg::OnCancel()
{
    EndDialog(0);
    return 1;
}

int StartUpDlg::OnOK()
{
    EndDialog(1);
    return 1;
}

void StartUpDlg::OnDlgDestroy()
{
    g_DlvInetHandler.Shutdown();
    DeleteFonts();
    m_menuBar.Destroy();
    if (m_menu) {
        DestroyMenu(m_menu);
        m_menu = nullptr;
    }
    NDialog::OnDlgDestroy();
}

void StartUpDlg::ApplyLanguage()
{
    if (!m_hWnd)
        return;
    SetWindowTextW(m_hWnd, kAppName);
    static const struct {
        int id;
        const wchar_t* section;
        const wchar_t* key;
    } kTexts[] = {
        {IDC_START_HEADLINE, kSection, L"Title"},
        {IDC_START_SCAN, kSection, L"Btn1"},
        {IDC_START_SOURCE_DRIVE, kSection, L"ScanDevice"},
        {IDC_START_SOURCE_FILE, kSection, L"ScanFile"},
        {IDC_START_REFRESH, kSection, L"Refresh"},
        {IDC_START_CHOOSE_FILE, kSection, L"ChooseFile"},
        {IDC_START_PRESET_LABEL, kSection, L"ScanMethod"},
        {IDC_START_GROUP1, kSection, L"SearchFilter1"},
        {IDC_START_GROUP2, kSection, L"SearchFilter2"},
        {IDC_START_GROUP3, kSection, L"SearchFilter3"},
        {IDC_START_GROUP4, kSection, L"SearchFilter4"},
        {IDC_START_FILE_SIZE_ON, kSection, L"FileSize"},
        {IDC_START_PHOTO_SIZE_ON, kSection, L"PhotoSize"},
        {IDC_START_CHUNK_SIZE_ON, kSection, L"ChunkSize"},
        {IDC_START_TAB_CONFIGURATION, L"Menu", L"Configuration"},
        {IDC_START_TAB_INTERNET, L"Menu", L"Internet"},
        {IDC_START_TAB_HELP, L"Menu", L"Help"},
    };
    for (const auto& entry : kTexts) {
        const NString text = Text(entry.section, entry.key);
        if (!text.IsEmpty())
            SetItemText(entry.id, text);
    }
}

void StartUpDlg::BuildMenu()
{
    if (m_menu) {
        DestroyMenu(m_menu);
        m_menu = nullptr;
    }
    NWinApp* app = NGetApp();
    HINSTANCE instance = app ? app->GetInstance() : GetModuleHandleW(nullptr);
    m_menu = LoadMenuW(instance, MAKEINTRESOURCEW(kMenuResourceId));
    if (!m_menu)
        return;
    if (!m_menuBar.Create(m_hWnd))
        return;
    // The bar runs along the top edge, left of the menu tabs.
    RECT bar = {0, 0, 366, 14};
    MapDialogRect(m_hWnd, &bar);
    SetWindowPos(m_menuBar.GetHwnd(), HWND_TOP, bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top,
                 SWP_NOACTIVATE);
    m_menuBar.SetMenuHandle(m_menu);
    SetMenuOwnerDraw(m_menu, true);
    m_menuBar.ApplyLanguage();
    m_menuBar.SetMenu();
}

void StartUpDlg::FillOptionLists()
{
    FillComboBoxFromText(m_presetList.GetHwnd(), kSection, L"ScanMethodCBX", ScanOptions.ScanMethodIndex);
    FillComboBoxFromText(m_fileSizeList.GetHwnd(), kSection, L"FileSizeCBX", ScanOptions.FileSizeIndex);
    FillComboBoxFromText(m_photoSizeList.GetHwnd(), kSection, L"PhotoSizeCBX", ScanOptions.PhotoSizeIndex);
    FillComboBoxFromText(m_chunkSizeList.GetHwnd(), kSection, L"ChunkSizeCBX", ScanOptions.ChunkSizeIndex);
    for (const wchar_t* size : kExtraChunkSizes)
        m_chunkSizeList.AddString(size);
    // An index past the language's six items names one of the sizes added only now.
    if (m_chunkSizeList.GetCurSel() < 0 && ScanOptions.ChunkSizeIndex >= 0)
        m_chunkSizeList.SetCurSel(ScanOptions.ChunkSizeIndex);
}

void StartUpDlg::FillDriveList()
{
    m_driveList.ResetContent();
    wchar_t roots[kDriveRootUnits] = {};
    const DWORD length = GetDriveRoots(roots, kDriveRootUnits);
    if (length == 0 || length >= kDriveRootUnits) {
        m_driveList.SetCurSel(0);
        return;
    }
    roots[kDriveRootUnits - 1] = 0;
    roots[kDriveRootUnits - 2] = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
            const UINT type = GetDriveTypeOf(root);
            NString typeText;
            if (pass == 1 && type == DRIVE_REMOVABLE)
                typeText = Text(kSection, L"Device");
            else if (pass == 1 && type == DRIVE_NO_ROOT_DIR)
                typeText = Text(kSection, L"DeviceUnknown");
            else if (pass == 2 && type == DRIVE_FIXED)
                typeText = Text(kSection, L"DeviceDisk");
            else if (pass == 2 && type == DRIVE_RAMDISK)
                typeText = Text(kSection, L"DeviceRAM");
            else if (pass == 2 && type == DRIVE_CDROM)
                typeText = L"CD/DVD";
            else
                continue;
            wchar_t label[kVolumeLabelUnits] = {};
            if (!GetVolumeLabelOf(root, label, kVolumeLabelUnits))
                label[0] = 0;
            label[kVolumeLabelUnits - 1] = 0;
            // The root without its backslash, in upper case ("E:").
            wchar_t drive[3] = {static_cast<wchar_t>(towupper(root[0])), root[0] ? root[1] : L'\0', 0};
            wchar_t item[kDriveItemUnits];
            _snwprintf(item, kDriveItemUnits - 1, L"%s %s <%s>", drive, label, typeText.c_str());
            item[kDriveItemUnits - 1] = 0;
            m_driveList.AddString(item);
        }
    }
    m_driveList.SetCurSel(0);
}

void StartUpDlg::ApplyScanMethodPreset()
{
    NCheckBox* boxes[] = {&m_fileSizeBox, &m_photoSizeBox, &m_chunkSizeBox, &m_group1Box,
                          &m_group2Box,   &m_group3Box,    &m_group4Box};
    for (NCheckBox* box : boxes) {
        box->checked = false;
        Repaint(box->GetHwnd());
    }
    const int index = static_cast<int>(m_presetList.GetCurSel());
    ScanOptions.ScanMethodIndex = index;
    if (index >= 0 && index < static_cast<int>(sizeof(kPresets) / sizeof(kPresets[0]))) {
        const Preset& preset = kPresets[index];
        NCheckBox* groups[] = {&m_group1Box, &m_group2Box, &m_group3Box, &m_group4Box};
        for (int i = 0; i < 4; ++i)
            groups[i]->checked = preset.groups[i];
        if (preset.fileSizeOn) {
            m_fileSizeBox.checked = true;
            m_fileSizeList.SetCurSel(preset.fileSizeIndex);
        }
        if (preset.photoSizeOn) {
            m_photoSizeBox.checked = true;
            m_photoSizeList.SetCurSel(preset.photoSizeIndex);
        }
        if (preset.chunkSizeOn) {
            m_chunkSizeBox.checked = true;
            m_chunkSizeList.SetCurSel(preset.chunkSizeIndex);
        }
        for (NCheckBox* box : boxes)
            Repaint(box->GetHwnd());
    }
    EnableListOf(IDC_START_FILE_SIZE_ON);
    EnableListOf(IDC_START_PHOTO_SIZE_ON);
    EnableListOf(IDC_START_CHUNK_SIZE_ON);
}

bool StartUpDlg::CollectScanOptions()
{
    ScanOptions.ScanFromFile = IsWindowVisible(GetDlgItem(m_hWnd, IDC_START_CHOOSE_FILE)) ? 1 : 0;
    wchar_t path[MAX_PATH] = {};
    GetDlgItemTextW(m_hWnd, IDC_START_FILE_PATH, path, MAX_PATH);
    ScanOptions.ImageFilePath = path;

    wchar_t letter = 0;
    const int selected = static_cast<int>(m_driveList.GetCurSel());
    if (selected >= 0) {
        NString item;
        if (m_driveList.GetLBText(selected, item) >= 0 && !item.IsEmpty())
            letter = item.c_str()[0];
    }

    if (m_driveItem.checked && letter) {
        const wchar_t root[4] = {letter, L':', L'\\', 0};
        if (GetDriveTypeOf(root) == DRIVE_FIXED) {
            // Pictures saved onto the scanned drive may land on the very clusters they are
            // recovered from: there the user may stop before anything is written.
            if (DriveLetterOf(GeneralOutputFolder) == towupper(letter)) {
                const wchar_t* builtIn =
                    L"The output folder %s lies on the drive you are about to scan: recovered pictures may "
                    L"overwrite the very pictures you want back. Choose Cancel to pick another output folder "
                    L"under Settings > Options first, or OK to scan anyway.";
                NLanguage* language = Language();
                const NString format =
                    language ? language->GetFormatText(kScanSection, L"FixedDiskSameDrive", L"s", builtIn)
                             : NString(builtIn);
                wchar_t text[1024];
                _snwprintf(text, 1023, format.c_str(), GeneralOutputFolder);
                text[1023] = 0;
                NMessageBox box(NMessageBox::typeOkCancel, kAppTitle, text, m_hWnd);
                if (box.Show() != IDOK)
                    return false;
            } else {
                NString warning;
                if (NLanguage* language = Language())
                    warning = language->GetText(kScanSection, L"FixedDiskWarningNew", false);
                if (warning.IsEmpty())
                    warning = Text(kScanSection, L"FixedDiskWarning");
                NMessageBox box(NMessageBox::typeOk, kAppTitle, warning.c_str(), m_hWnd);
                box.Show();
            }
        }
    }

    ScanOptions.DriveLetter[0] = letter;
    ScanOptions.DriveLetter[1] = 0;
    ScanOptions.ScanMethodIndex = static_cast<int>(m_presetList.GetCurSel());
    ScanOptions.SearchFilter1 = m_group1Box.checked ? 1 : 0;
    ScanOptions.SearchFilter2 = m_group2Box.checked ? 1 : 0;
    ScanOptions.SearchFilter3 = m_group3Box.checked ? 1 : 0;
    ScanOptions.SearchFilter4 = m_group4Box.checked ? 1 : 0;
    if (!ScanOptions.SearchFilter1 && !ScanOptions.SearchFilter2 && !ScanOptions.SearchFilter3 &&
        !ScanOptions.SearchFilter4)
        ScanOptions.SearchFilter1 = 1;
    ScanOptions.FileSizeOn = m_fileSizeBox.checked ? 1 : 0;
    if (ScanOptions.FileSizeOn)
        ScanOptions.FileSizeIndex = static_cast<int>(m_fileSizeList.GetCurSel());
    ScanOptions.PhotoSizeOn = m_photoSizeBox.checked ? 1 : 0;
    if (ScanOptions.PhotoSizeOn)
        ScanOptions.PhotoSizeIndex = static_cast<int>(m_photoSizeList.GetCurSel());
    ScanOptions.ChunkSizeOn = m_chunkSizeBox.checked ? 1 : 0;
    if (ScanOptions.ChunkSizeOn)
        ScanOptions.ChunkSizeIndex = static_cast<int>(m_chunkSizeList.GetCurSel());
    return true;
}

void StartUpDlg::StartScan()
{
    if (CollectScanOptions())
        RunScan();
}

void StartUpDlg::SelectSource(bool fromFile)
{
    m_driveItem.checked = !fromFile;
    m_fileItem.checked = fromFile;
    Repaint(m_driveItem.GetHwnd());
    Repaint(m_fileItem.GetHwnd());
    HWND driveList = GetDlgItem(m_hWnd, IDC_START_DRIVE_LIST);
    HWND refresh = GetDlgItem(m_hWnd, IDC_START_REFRESH);
    HWND edit = GetDlgItem(m_hWnd, IDC_START_FILE_PATH);
    HWND choose = GetDlgItem(m_hWnd, IDC_START_CHOOSE_FILE);
    ::EnableWindow(driveList, !fromFile);
    ::EnableWindow(refresh, !fromFile);
    ::EnableWindow(edit, fromFile);
    ::EnableWindow(choose, fromFile);
    UpdateStartButton();
    ShowWindow(edit, fromFile ? SW_SHOW : SW_HIDE);
    ShowWindow(choose, fromFile ? SW_SHOW : SW_HIDE);
    ShowWindow(driveList, fromFile ? SW_HIDE : SW_SHOW);
    ShowWindow(refresh, fromFile ? SW_HIDE : SW_SHOW);
}

void StartUpDlg::UpdateStartButton()
{
    bool enable = true;
    if (m_fileItem.checked) {
        wchar_t path[MAX_PATH] = {};
        GetDlgItemTextW(m_hWnd, IDC_START_FILE_PATH, path, MAX_PATH);
        enable = path[0] && PathFileExistsW(path);
    }
    ::EnableWindow(GetDlgItem(m_hWnd, IDC_START_SCAN), enable);
}

void StartUpDlg::EnableListOf(int checkBoxId)
{
    switch (checkBoxId) {
    case IDC_START_FILE_SIZE_ON:
        ::EnableWindow(m_fileSizeList.GetHwnd(), m_fileSizeBox.checked);
        break;
    case IDC_START_PHOTO_SIZE_ON:
        ::EnableWindow(m_photoSizeList.GetHwnd(), m_photoSizeBox.checked);
        break;
    case IDC_START_CHUNK_SIZE_ON:
        ::EnableWindow(m_chunkSizeList.GetHwnd(), m_chunkSizeBox.checked);
        break;
    default:
        break;
    }
}

void StartUpDlg::OpenTabMenu(int tabId, int position)
{
    HMENU popup = m_menu ? GetSubMenu(m_menu, position) : nullptr;
    HWND tab = GetDlgItem(m_hWnd, tabId);
    if (!popup || !tab || !m_menuBar.GetHwnd())
        return;
    RECT rect{};
    GetWindowRect(tab, &rect);
    m_menuBar.TrackPopup(popup, rect.left, rect.bottom, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON);
}

void StartUpDlg::CreateFonts()
{
    DeleteFonts();
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return;
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    auto make = [dpi](LOGFONTW font) {
        font.lfHeight = -MulDiv(13, dpi, 72);
        font.lfWeight = FW_NORMAL;
        font.lfItalic = FALSE;
        font.lfQuality = CLEARTYPE_QUALITY;
        return CreateFontIndirectW(&font);
    };
    m_itemFont = make(metrics.lfCaptionFont);
    m_startFont = make(metrics.lfMessageFont);
}

void StartUpDlg::DeleteFonts()
{
    if (m_itemFont) {
        DeleteObject(m_itemFont);
        m_itemFont = nullptr;
    }
    if (m_startFont) {
        DeleteObject(m_startFont);
        m_startFont = nullptr;
    }
}

DWORD StartUpDlg::GetDriveRoots(wchar_t* buffer, DWORD units)
{
    return GetLogicalDriveStringsW(units, buffer);
}

UINT StartUpDlg::GetDriveTypeOf(const wchar_t* root)
{
    return GetDriveTypeW(root);
}

bool StartUpDlg::GetVolumeLabelOf(const wchar_t* root, wchar_t* label, DWORD units)
{
    return GetVolumeInformationW(root, label, units, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
}

void StartUpDlg::RunScan()
{
    ScanDlg scan(m_hWnd);
    scan.DoModal(true);
}

void StartUpDlg::ShowLanguageWindow()
{
    LanguageDlg language(m_hWnd);
    language.DoModal(true);
}

void StartUpDlg::ShowSettingsWindow()
{
    Settings_GeneralDlg settings(m_hWnd);
    settings.DoModal(true);
}

void StartUpDlg::ShowAboutWindow()
{
    AboutDlg about(m_hWnd);
    about.DoModal(true);
}

bool StartUpDlg::ChooseImageFile(wchar_t* path, int units)
{
    path[0] = 0;
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = m_hWnd;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = L"All Files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(units);
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING;
    return GetOpenFileNameW(&dialog) != FALSE;
}
