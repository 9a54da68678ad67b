// Helpers shared by the skin's painters and its control colouring.
#pragma once
#include <windows.h>

class NImageBuffer;

// Copies the part of the parent's background picture that lies under the control, (width x
// height) from the control's top-left corner in the parent's client coordinates, to (0, 0) of dc.
bool CopyBackgroundUnder(HWND control, HDC dc, const NImageBuffer& background, int width, int height);
// The background picture of the control's parent when that parent is a framework dialog
// ("#32770") that has one; else null.
const NImageBuffer* DialogBackgroundOf(HWND control);
