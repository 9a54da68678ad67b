#include "app/SettingsDlg.h"

#include <cwchar>

#include "app/AppSettings.h"
#include "app/LanguageSettingsRes.h"
#include "base/FolderDialog.h"
#include "ui/LanguageHelpers.h"
#include "ui/NWinApp.h"

Settings_GeneralDlg::Settings_GeneralDlg(HWND parent) : NDialog(kResourceId, parent), m_folder{} {}

Settings_GeneralDlg::~Settings_GeneralDlg() = default;

LRESULT Settings_GeneralDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_SETTINGS_BROWSE) {
        wchar_t chosen[MAX_PATH];
        wmemcpy(chosen, m_folder, MAX_PATH);
        if (ChooseFolder(chosen, MAX_PATH)) {
            chosen[MAX_PATH - 1] = 0;
            wmemcpy(m_folder, chosen, MAX_PATH);
            ShowFolder();
        }
    }
    return NDialog::OnCommand(wParam, lParam);
}

INT_PTR Settings_GeneralDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return NDialog::DialogProc(window, message, wParam, lParam);
}

int Settings_GeneralDlg::OnInitDialog()
{
    LoadBackgroundImage(L"DlgBackground", true, false);
    m_okButton.AttachControl(IDOK, this, 0);
    m_browseButton.AttachControl(IDC_SETTINGS_BROWSE, this, 4);
    m_folderGroup.AttachDlgItem(IDC_SETTINGS_FOLDER_GROUP, this);
    wmemcpy(m_folder, GeneralOutputFolder, MAX_PATH);
    m_folder[MAX_PATH - 1] = 0;
    ShowFolder();
    return 0;
}

int Settings_GeneralDlg::OnOK()
{
    wmemcpy(GeneralOutputFolder, m_folder, MAX_PATH);
    SaveSettings(m_settingsFile.IsEmpty() ? nullptr : m_settingsFile.c_str());
    EndDialog(1);
    return 1;
}

void Settings_GeneralDlg::ApplyLanguage()
{
    NWinApp* app = NGetApp();
    if (!app)
        return;
    TranslateWindowTitle(m_hWnd, L"Dlg_Settings_General");
    const NLanguage* language = app->GetLanguage();
    const NString description = language->GetText(L"Dlg_Settings_General", L"FolderDesc", false);
    if (!description.IsEmpty())
        SetDlgItemTextW(m_hWnd, IDC_SETTINGS_FOLDER_GROUP, description.c_str());
    const NString ok = language->GetText(L"Messages", L"Ok", false);
    if (!ok.IsEmpty())
        SetDlgItemTextW(m_hWnd, IDOK, ok.c_str());
}

bool Settings_GeneralDlg::ChooseFolder(wchar_t* folder, int units)
{
    wchar_t start[MAX_PATH];
    lstrcpynW(start, folder, MAX_PATH);
    return BrowseForFolder(m_hWnd, start, folder, units);
}

void Settings_GeneralDlg::ShowFolder()
{
    SetDlgItemTextW(m_hWnd, IDC_SETTINGS_FOLDER_EDIT, m_folder);
    NString scanFolder;
    scanFolder.Format(L"%s\\%s", m_folder, kAppName);
    SetDlgItemTextW(m_hWnd, IDC_SETTINGS_SCAN_FOLDER, scanFolder.c_str());
}
