// Further lookups around the language table: choosing a language with fall-backs, the script of a
// language, a dialog item's or menu item's text, and a list of items in fixed-size slots.
#pragma once
#include <windows.h>

#include <memory>

#include "base/NString.h"

// The wanted code when its file "<folder>\<base>-<code>.<extension>" exists; else the system's
// language code when its file exists; else the first language file of the system's primary
// language; else "en-us". wanted may be null.
NString ChooseLanguageCode(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension,
                           const wchar_t* wanted);

// False for the languages written in other scripts ("zh-cn", "zh-tw", "uk-ua", "ru-ru", "ko-kr",
// "hy-am", "he-il", "el-gr", "bg-bg", "ar-sa", "fa-ir"; case-sensitive), true for every other code.
bool IsLatinScriptLanguage(const wchar_t* code);

// The control's text becomes the text of the key in the application's table. A missing text is
// reported to the debugger output ("Empty Dlg: <section> <key>") and the control keeps its text.
void TranslateDlgItem(HWND dialog, const wchar_t* section, const wchar_t* key, int controlId);

// The menu item of the command gets the first length characters of text as its text (all of it for
// a negative length). False, nothing changed, for a null text.
bool SetMenuItemText(HMENU menu, const wchar_t* text, int length, UINT commandId);

constexpr int kTextItemUnits = 260;

// The '|'-separated items of the key's text in the application's table (or of fallback when it has
// none) in count slots of kTextItemUnits units each, every slot terminated; an item longer than a
// slot is cut. The text is read up to 2047 characters. A '|' right after a separator, or at the very
// start, is taken as text. Null, with count 0, when memory runs out.
std::unique_ptr<wchar_t[]> GetTextItems(const wchar_t* section, const wchar_t* key, int& count,
                                        const wchar_t* fallback);
