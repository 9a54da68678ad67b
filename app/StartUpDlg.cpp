#include "app/StartUpDlg.h"

#include <shlwapi.h>

#include "app/AppSettings.h"
#include "app/InetHandler.h"
#include "app/LanguageDlg.h"
#include "app/StartUpDlgRes.h"
#include "app/StartUpDlgShared.h"
#include "app/resource.h"
#include "base/Dpi.h"
#include "base/IconOwner.h"
#include "ui/MenuItems.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

using startup::kSection;
using startup::Text;

namespace {

COLORREF SkinColour(const wchar_t* key)
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin()->GetColor(key) : RGB(0, 0, 0);
}

}  // namespace

namespace startup {

NLanguage* Language()
{
    NWinApp* app = NGetApp();
    return app ? app->GetLanguage() : nullptr;
}

NString Text(const wchar_t* section, const wchar_t* key)
{
    NLanguage* language = Language();
    return language ? language->GetText(section, key, true) : NString();
}

void Repaint(HWND window)
{
    if (!window)
        return;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

}  // namespace startup

StartUpDlg::StartUpDlg(HWND parent) : NDialog(kResourceId, parent) {}

StartUpDlg::~StartUpDlg()
{
    DeleteFonts();
    m_menu.Reset();
}

INT_PTR StartUpDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kLanguageChangedMessage && m_hWnd) {
        ApplyLanguage();
        m_menuBar.Destroy();
        BuildMenu();
        RefillLists();
        if (g_DlvInetHandler.IsSetUp())
            g_DlvInetHandler.BuildMenus(m_menu.Get());
        RemoveStraySeparators(m_menu.Get());
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    return NDialog::DialogProc(window, message, wParam, lParam);
}

int StartUpDlg::OnInitDialog()
{
    LoadSmallIcon(IDI_APP_ICON);
    if (const IconOwner big{static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 48, 48, 0))})
        SetBigIcon(big.Get());  // the window keeps its own copy
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
    SendDlgItemMessageW(m_hWnd, IDC_START_SCAN, WM_SETFONT, reinterpret_cast<WPARAM>(m_startFont.Get()), TRUE);
    const int itemFontIds[] = {IDC_START_HEADLINE, IDC_START_PRESET_LABEL, IDC_START_SOURCE_DRIVE,
                               IDC_START_SOURCE_FILE};
    for (int id : itemFontIds)
        SendDlgItemMessageW(m_hWnd, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_itemFont.Get()), TRUE);

    const bool fromFile = m_fileItem.checked;
    ShowWindow(edit, fromFile ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_START_CHOOSE_FILE), fromFile ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_START_DRIVE_LIST), m_driveItem.checked ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_START_REFRESH), m_driveItem.checked ? SW_SHOW : SW_HIDE);

    BuildMenu();
    g_DlvInetHandler.SetOwner(m_hWnd);
    if (g_DlvInetHandler.IsSetUp())
        g_DlvInetHandler.BuildMenus(m_menu.Get());
    // The Help menu's separator divides the internet library's items from the program's own; with
    // no library items above it, it would stand alone at the top.
    RemoveStraySeparators(m_menu.Get());

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
    m_menu.Reset();
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
    m_menu.Reset();
    m_menu.Reset(LoadMenuW(NGetAppInstance(), MAKEINTRESOURCEW(kMenuResourceId)));
    if (!m_menu)
        return;
    if (!m_menuBar.Create(m_hWnd))
        return;
    // The bar runs along the top edge, left of the menu tabs.
    RECT bar = {0, 0, 366, 14};
    MapDialogRect(m_hWnd, &bar);
    SetWindowPos(m_menuBar.GetHwnd(), HWND_TOP, bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top,
                 SWP_NOACTIVATE);
    m_menuBar.SetMenuHandle(m_menu.Get());
    SetMenuOwnerDraw(m_menu.Get(), true);
    m_menuBar.ApplyLanguage();
    m_menuBar.SetMenu();
}

void StartUpDlg::CreateFonts()
{
    DeleteFonts();
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return;
    const int dpi = GetDesktopDpi();
    auto make = [dpi](LOGFONTW font) {
        font.lfHeight = -MulDiv(13, dpi, 72);
        font.lfWeight = FW_NORMAL;
        font.lfItalic = FALSE;
        font.lfQuality = CLEARTYPE_QUALITY;
        return CreateFontIndirectW(&font);
    };
    m_itemFont.Reset(make(metrics.lfCaptionFont));
    m_startFont.Reset(make(metrics.lfMessageFont));
}

void StartUpDlg::DeleteFonts()
{
    m_itemFont.Reset();
    m_startFont.Reset();
}
