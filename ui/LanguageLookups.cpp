#include "ui/LanguageLookups.h"

#include <shlwapi.h>

#include <cwchar>
#include <new>
#include <string>

#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

constexpr int kTextUnits = 2048;

NString PrimaryLanguage(const wchar_t* code)
{
    NString primary(code);
    primary.TruncateAt(L'-');
    return primary;
}

bool LanguageFileExists(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension, const wchar_t* code)
{
    NString path;
    path.Format(L"%s\\%s-%s.%s", folder, baseName, code, extension);
    return PathFileExistsW(path.c_str()) != FALSE;
}

NString AppText(const wchar_t* section, const wchar_t* key)
{
    NWinApp* app = NGetApp();
    if (!app || !app->GetLanguage() || !section || !key)
        return NString(L"");
    return app->GetLanguage()->GetText(section, key, true);
}

}  // namespace

NString ChooseLanguageCode(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension,
                           const wchar_t* wanted)
{
    if (!folder || !baseName || !extension)
        return NString(L"en-us");
    if (wanted && *wanted && LanguageFileExists(folder, baseName, extension, wanted))
        return NString(wanted);
    const NString system = LcidToLanguageCode(GetSystemDefaultLCID());
    if (LanguageFileExists(folder, baseName, extension, system.c_str()))
        return system;
    // The codes of the folder's language files, listed as the language table lists them.
    NLanguage listing;
    listing.Init(folder, baseName, extension);
    const NString primary = PrimaryLanguage(system.c_str());
    for (const NString& code : listing.GetCodes()) {
        if (PrimaryLanguage(code.c_str()).Compare(primary) == 0)
            return code;
    }
    return NString(L"en-us");
}

bool IsLatinScriptLanguage(const wchar_t* code)
{
    static const wchar_t* const kOtherScripts[] = {L"zh-cn", L"zh-tw", L"uk-ua", L"ru-ru", L"ko-kr", L"hy-am",
                                                    L"he-il", L"el-gr", L"bg-bg", L"ar-sa", L"fa-ir"};
    if (!code)
        return true;
    for (const wchar_t* other : kOtherScripts) {
        if (std::wcscmp(code, other) == 0)
            return false;
    }
    return true;
}

void TranslateDlgItem(HWND dialog, const wchar_t* section, const wchar_t* key, int controlId)
{
    const NString text = AppText(section, key);
    if (text.IsEmpty()) {
        NString note;
        note.Format(L"Empty Dlg: %s %s\n", section ? section : L"", key ? key : L"");
        OutputDebugStringW(note.c_str());
        return;
    }
    SetDlgItemTextW(dialog, controlId, text.c_str());
}

bool SetMenuItemText(HMENU menu, const wchar_t* text, int length, UINT commandId)
{
    if (!text)
        return false;
    // The system reads the text up to its terminator whatever cch says: the item gets a terminated
    // copy of the first length characters.
    const size_t units = length < 0 ? std::wcslen(text) : wcsnlen(text, static_cast<size_t>(length));
    const std::wstring shown(text, units);
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(shown.c_str());
    item.cch = static_cast<UINT>(units);
    return SetMenuItemInfoW(menu, commandId, FALSE, &item) != FALSE;
}

std::unique_ptr<wchar_t[]> GetTextItems(const wchar_t* section, const wchar_t* key, int& count,
                                        const wchar_t* fallback)
{
    count = 0;
    NString text = AppText(section, key);
    if (text.IsEmpty() && fallback)
        text = fallback;
    wchar_t buffer[kTextUnits] = {};
    std::wcsncpy(buffer, text.c_str(), kTextUnits - 1);
    const int length = static_cast<int>(std::wcslen(buffer));

    int slots = 1;
    for (int i = 0; i < length; ++i) {
        if (buffer[i] == L'|')
            ++slots;
    }
    std::unique_ptr<wchar_t[]> items(new (std::nothrow) wchar_t[static_cast<size_t>(slots) * kTextItemUnits]());
    if (!items)
        return nullptr;

    int slot = 0, used = 0;
    for (int i = 0; i < length;) {
        // The character at i always belongs to the current slot, a '|' included.
        if (used < kTextItemUnits - 1)
            items[static_cast<size_t>(slot) * kTextItemUnits + used++] = buffer[i];
        if (i + 1 < length && buffer[i + 1] == L'|') {
            ++slot;
            used = 0;
            i += 2;
        } else {
            ++i;
        }
    }
    count = slots;
    return items;
}
