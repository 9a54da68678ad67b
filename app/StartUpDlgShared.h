// What the start window's source files share: its language section, text look-ups and repainting.
#pragma once
#include <windows.h>

#include "base/NString.h"

class NLanguage;

namespace startup {

inline constexpr const wchar_t* kSection = L"Dlg_StartUpScreen";

// The application's language table, or null.
NLanguage* Language();
// The text of the key, or its reference text when the language has none.
NString Text(const wchar_t* section, const wchar_t* key);
// Invalidates the window and paints it at once.
void Repaint(HWND window);

}  // namespace startup
