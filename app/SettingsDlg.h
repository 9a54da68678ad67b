// The options window: the output folder below which every scan makes its folders.
//
// The folder chosen with the browse button is shown at once and takes effect with OK, which also
// stores the settings; Cancel or closing the window keeps the folder as it was.
#pragma once
#include <windows.h>

#include "base/NString.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"

class Settings_GeneralDlg : public NDialog {
public:
    enum { kResourceId = 115 };

    explicit Settings_GeneralDlg(HWND parent);
    ~Settings_GeneralDlg() override;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    int OnOK() override;
    void ApplyLanguage() override;

    // Stores the settings in this ini file in place of the registry ("" for the registry).
    void SetSettingsFile(const wchar_t* iniPath) { m_settingsFile = iniPath; }
    // The folder the window shows (chosen, not yet taken over).
    const wchar_t* GetChosenFolder() const { return m_folder; }

protected:
    // Lets the user choose a folder, starting at the buffer's folder; the choice replaces the
    // buffer's text. False when nothing was chosen.
    virtual bool ChooseFolder(wchar_t* folder, int units);

private:
    void ShowFolder();

    NButton m_okButton;
    NButton m_browseButton;
    NGroupBox m_folderGroup;  // skinned, so that its frame stops at the caption over the background
    wchar_t m_folder[MAX_PATH];
    NString m_settingsFile;
};
