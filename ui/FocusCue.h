// The keyboard focus cue of the skinned controls: the system's dotted rectangle around a focused
// control's text, shown only while its window shows keyboard cues (after Tab or Alt, or when the
// system always shows them), as the system's own controls do.
#pragma once
#include <windows.h>

// Whether the control's window shows focus rectangles now (its UI state lacks UISF_HIDEFOCUS).
bool ShowsFocusCues(HWND control);

// Draws the focus rectangle around the text as DrawTextW lays it out in the rectangle with the
// format (single-line formats; DT_WORDBREAK for several lines), when the item state has
// ODS_FOCUS without ODS_NOFOCUSRECT and the control shows focus cues. The font in the device
// context must be the one the text was drawn with. The rectangle keeps inside the bounds.
void DrawFocusCue(HWND control, HDC dc, UINT itemState, const wchar_t* text, const RECT& layout, UINT format,
                  const RECT& bounds);
