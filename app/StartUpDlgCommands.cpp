#include "app/StartUpDlg.h"

#include <commdlg.h>
#include <shlwapi.h>

#include "app/AboutDlg.h"
#include "app/InetHandler.h"
#include "app/LanguageDlg.h"
#include "app/ScanDlg.h"
#include "app/ScanOptions.h"
#include "app/SettingsDlg.h"
#include "app/StartUpDlgRes.h"
#include "app/StartUpDlgShared.h"

using startup::Repaint;

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
        if (code == BN_CLICKED)
            ChooseFile();
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

void StartUpDlg::ChooseFile()
{
    wchar_t current[MAX_PATH] = {};
    const DWORD saved = GetCurrentDirectoryW(MAX_PATH, current);
    // The dialog starts from the path typed so far; cancelling it keeps that path.
    wchar_t path[MAX_PATH] = {};
    GetDlgItemTextW(m_hWnd, IDC_START_FILE_PATH, path, MAX_PATH);
    if (ChooseImageFile(path, MAX_PATH)) {
        path[MAX_PATH - 1] = 0;
        ScanOptions.ImageFilePath = path;
        SetDlgItemTextW(m_hWnd, IDC_START_FILE_PATH, path);
    }
    if (saved > 0 && saved < MAX_PATH)
        SetCurrentDirectoryW(current);
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
    HMENU popup = m_menu ? GetSubMenu(m_menu.Get(), position) : nullptr;
    HWND tab = GetDlgItem(m_hWnd, tabId);
    if (!popup || !tab || !m_menuBar.GetHwnd())
        return;
    RECT rect{};
    GetWindowRect(tab, &rect);
    m_menuBar.TrackPopup(popup, rect.left, rect.bottom, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON);
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
    // The dialog opens in the folder of the path given, with its file name filled in; a path that
    // names a folder opens that folder. A folder that does not exist leaves the choice to the system.
    wchar_t folder[MAX_PATH] = {};
    if (units > 0 && path[0]) {
        lstrcpynW(folder, path, MAX_PATH);
        if (PathIsDirectoryW(folder)) {
            path[0] = 0;
        } else {
            const wchar_t* name = PathFindFileNameW(path);
            wmemmove(path, name, wcslen(name) + 1);
            PathRemoveFileSpecW(folder);
            if (!folder[0] || !PathIsDirectoryW(folder))
                folder[0] = 0;
        }
    }
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = m_hWnd;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = L"All Files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(units);
    dialog.lpstrInitialDir = folder[0] ? folder : nullptr;
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING;
    return GetOpenFileNameW(&dialog) != FALSE;
}
