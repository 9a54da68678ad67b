// StartUpDlg: the program's top-level window. The user picks the source (a drive from the list or
// a disk-image file), the format groups, the size filters and the chunk size, one by one or through
// a preset, and starts the scan; the choices go into the global ScanOptions and the scan window
// runs modally over this one. A menu bar and three menu tabs give the language, options, about
// and help commands and the items of the internet library.
// StartUpDlg.cpp holds the window's set-up, texts and menu; StartUpDlgCommands.cpp its commands;
// StartUpDlgOptions.cpp the presets and the options collected for a scan; StartUpDlgDrives.cpp the
// drive list.
#pragma once
#include <windows.h>

#include "app/MyMainMenu.h"
#include "base/GdiOwners.h"
#include "base/MenuOwner.h"
#include "base/NString.h"
#include "ui/NButton.h"
#include "ui/NCheckBox.h"
#include "ui/NComboBox.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"

class StartUpDlg : public NDialog {
public:
    static constexpr int kResourceId = 101;
    static constexpr int kMenuResourceId = 102;

    explicit StartUpDlg(HWND parent = nullptr);
    ~StartUpDlg() override;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    int OnCancel() override;  // ends with 0
    int OnOK() override;      // ends with 1
    void OnDlgDestroy() override;
    void ApplyLanguage() override;

    // Lists the drives: removable and unknown-root drives first, then fixed, RAM and optical
    // drives, each group in drive-letter order; selects the first.
    void FillDriveList();
    // Checks the boxes and selects the list entries of the preset chosen in the preset list.
    void ApplyScanMethodPreset();
    // Writes the window's choices into ScanOptions. Before a scan of a fixed drive it warns; false
    // when the user stopped the scan there (the output folder lies on the scanned drive).
    bool CollectScanOptions();

    MyMainMenu& GetMenuBar() { return m_menuBar; }

protected:
    // The drive roots (each with its backslash), a root's type and its volume label, as the
    // system answers them (GetLogicalDriveStringsW, GetDriveTypeW, GetVolumeInformationW).
    virtual DWORD GetDriveRoots(wchar_t* buffer, DWORD units);
    virtual UINT GetDriveTypeOf(const wchar_t* root);
    virtual bool GetVolumeLabelOf(const wchar_t* root, wchar_t* label, DWORD units);
    // The modal windows opened from here.
    virtual void RunScan();
    virtual void ShowLanguageWindow();
    virtual void ShowSettingsWindow();
    virtual void ShowAboutWindow();
    // The file-open dialog. On entry path holds the path typed so far, where the dialog opens; on
    // OK the chosen file. False when the user cancelled it.
    virtual bool ChooseImageFile(wchar_t* path, int units);

private:
    void BuildMenu();
    void FillOptionLists();
    // Fills the drive and option lists again in the current language, keeping the entries the
    // user has selected (the drive by its letter).
    void RefillLists();
    void SelectSource(bool fromFile);
    void ChooseFile();
    void UpdateStartButton();
    void EnableListOf(int checkBoxId);
    void CreateFonts();
    void DeleteFonts();
    void StartScan();
    void OpenTabMenu(int tabId, int position);

    MyMainMenu m_menuBar;
    MenuOwner m_menu;  // the bar's menu
    NStatic m_headline;
    NStatic m_presetLabel;
    NMenuStatic m_configurationTab;
    NMenuStatic m_internetTab;
    NMenuStatic m_helpTab;
    NButton m_startButton;
    NButton m_refreshButton;
    NButton m_chooseFileButton;
    NComboBox m_driveList;
    NComboBox m_chunkSizeList;
    NComboBox m_fileSizeList;
    NComboBox m_photoSizeList;
    NComboBox m_presetList;
    FontOwner m_itemFont;
    FontOwner m_startFont;
    NCheckBox m_fileSizeBox;
    NCheckBox m_photoSizeBox;
    NCheckBox m_chunkSizeBox;
    NCheckBox m_group1Box;
    NCheckBox m_group2Box;
    NCheckBox m_group3Box;
    NCheckBox m_group4Box;
    NRadioItem m_driveItem;
    NRadioItem m_fileItem;
};
