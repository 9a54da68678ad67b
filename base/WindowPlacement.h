// Placing windows over other windows and inside a monitor's work area.
#pragma once
#include <windows.h>

// Centres the window over the reference window (over the monitor under the cursor when the
// reference is the desktop window) and keeps it inside that monitor's work area; when the
// window is larger than the work area its left (top) edge is kept inside first. Size and
// z-order stay. False when a rectangle cannot be had or the move fails.
bool CenterWindowOn(HWND window, HWND reference);

// Moves the window's top-left corner to the screen point, shifted so that the window lies
// inside the work area of the monitor at that point; runs per-monitor DPI aware and restores
// the thread's context. Answers the result of the move.
bool MoveWindowIntoWorkArea(HWND window, int x, int y);
