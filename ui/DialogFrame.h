// What the settings frame and the wizard frame share: their buttons' bold font, the area in which
// a page is shown, the texts of the frame buttons and the fonts of their header captions.
#pragma once
#include <windows.h>

#include "base/NString.h"

class NDialog;
class NStatic;
class NWindow;

// The control's font made bold (weight 700, not italic, ClearType). Null when the control has no
// font. The caller owns the font.
HFONT MakeBoldControlFont(HWND control);

// The control's window rectangle in the dialog's client coordinates (empty without the control).
RECT ControlRectInClient(HWND dialog, HWND control);

// Hides the page shown until now (current may be null), creates page inside the frame when it has
// no window yet, and moves it to the area (repainting it), shows it and gives it the focus.
void SwitchFramePage(NDialog* current, NDialog& page, int resourceId, HWND frame, const RECT& area);

// Binds a header caption to its dialog item: attached, set up (OnCreate) and made owner drawn. The
// static's type is replaced, so that a right-aligned template does not become another type.
bool AttachFrameCaption(NStatic& caption, int controlId, NWindow* parent);

// The window's text, at most 260 characters.
NString CaptionWindowText(HWND caption);

// The text of the key in section "Messages" of the application's table; builtIn when it has none.
NString FrameButtonText(const wchar_t* key, const wchar_t* builtIn);

// The system's caption font at the size in points (for the desktop's DPI) and weight, ClearType.
// The caller owns the font.
HFONT MakeCaptionFont(int points, int weight, bool italic);
