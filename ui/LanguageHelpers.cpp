#include "ui/LanguageHelpers.h"

#include <cwchar>
#include <vector>

#include "base/NString.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

constexpr int kMenuTextUnits = 128;

NLanguage* AppLanguage()
{
    NWinApp* app = NGetApp();
    return app ? app->GetLanguage() : nullptr;
}

void TranslateMenuItem(HMENU menu, const wchar_t* key, UINT item, bool byPosition)
{
    NLanguage* language = AppLanguage();
    if (!language || !key)
        return;
    const NString text = language->GetText(L"Menu", key, true);
    if (text.IsEmpty()) {
        OutputDebugStringW(L"Empty Menu: ");
        OutputDebugStringW(key);
        OutputDebugStringW(L"\n");
        return;
    }
    wchar_t buffer[kMenuTextUnits] = {};
    std::wcsncpy(buffer, text.c_str(), kMenuTextUnits - 1);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = buffer;
    info.cch = kMenuTextUnits;
    SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info);
}

}  // namespace

void TranslateMenuItemByPosition(HMENU menu, const wchar_t* key, UINT position)
{
    TranslateMenuItem(menu, key, position, true);
}

void TranslateMenuItemById(HMENU menu, const wchar_t* key, UINT commandId)
{
    TranslateMenuItem(menu, key, commandId, false);
}

void TranslateWindowTitle(HWND window, const wchar_t* section)
{
    NLanguage* language = AppLanguage();
    if (!language || !section)
        return;
    const NString text = language->GetText(section, L"Title", true);
    if (text.IsEmpty()) {
        NString message;
        message.Format(L"Empty Title: %s\n", section);
        OutputDebugStringW(message.c_str());
        return;
    }
    SetWindowTextW(window, text.c_str());
}

void FillComboBoxFromText(HWND comboBox, const wchar_t* section, const wchar_t* key, int index)
{
    SendMessageW(comboBox, CB_RESETCONTENT, 0, 0);
    std::vector<NString> items;
    if (NLanguage* language = AppLanguage())
        language->GetTextList(section, key, items);
    for (const NString& item : items)
        SendMessageW(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageW(comboBox, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
