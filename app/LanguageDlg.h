// The program's language: chosen at start-up (the stored choice, once the system's language,
// "en-us" as the last resort), stored at shut-down, and switched while the program runs through
// the language window, which lists every language file with its flag.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "base/NString.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"

// Where the language code comes from and goes to. Empty fields use the program's own: the
// program's folder (with the sub-folders "lang", "Lang" and "Flags"), the registry, and the
// system's default locale. Tests point them elsewhere.
struct LanguageSources {
    NString programFolder;
    NString settingsFile;  // an ini file in place of the registry
    LCID systemLocale = 0;
};
LanguageSources& Language_Sources();

// Reads the stored settings (LoadSettings, all three values), takes over the system's language on
// the first run and loads the code's language file into the application's language table (falling
// back to "en-us").
void Language_Initialize();
// Empties the application's language table and stores the settings (SaveSettings), the code and
// the detected flag among them.
void Language_Uninitialize();

// Menu texts from section "Menu" of the language table.
void SetMenuTitleText(HMENU menu, const wchar_t* key, UINT position);
void SetMainMenuItemText(HMENU menu, const wchar_t* key, UINT commandId);
// The window's title from section "Dlg_Language".
void TranslateLanguageWindowTitle(HWND window);

// The private message that tells the start window to apply its texts again.
inline constexpr UINT kLanguageChangedMessage = WM_APP + 0x267;

class LanguageDlg : public NDialog {
public:
    enum { kResourceId = 112 };

    explicit LanguageDlg(HWND parent);
    ~LanguageDlg() override;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    int OnOK() override;
    void ApplyLanguage() override;

    // The code of each row, in row order.
    const std::vector<NString>& GetRowCodes() const { return m_rowCodes; }

private:
    NButton m_okButton;
    std::vector<NString> m_rowCodes;
};
