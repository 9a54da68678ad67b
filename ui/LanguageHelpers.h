// Texts of the application's language table put into menus, window titles and combo boxes.
// They all use the table of the application object; without one they change nothing.
#pragma once
#include <windows.h>

// The item's text becomes the text of the key in section "Menu" (at most 127 characters). A missing
// text is reported to the debugger output and the item keeps its text.
void TranslateMenuItemByPosition(HMENU menu, const wchar_t* key, UINT position);
void TranslateMenuItemById(HMENU menu, const wchar_t* key, UINT commandId);
// The window's title becomes the text of the key "Title" of the section; a missing text keeps it.
void TranslateWindowTitle(HWND window, const wchar_t* section);
// The combo box gets the '|'-separated items of the text and selects the one at index (none when
// the index is outside the items). A missing text leaves the box empty.
void FillComboBoxFromText(HWND comboBox, const wchar_t* section, const wchar_t* key, int index);
