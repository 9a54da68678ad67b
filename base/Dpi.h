// The display scale. Every pixel size in the code and the resources is written for 96 DPI and
// scaled by one process-wide DPI value, which the application sets to the desktop's DPI at start.
#pragma once
#include <windows.h>

int GetDpi();                 // 96 until something sets it
int SetDpi(int dpi);          // answers the previous value

// pixels / 96.0 x DPI, truncated toward zero; the value itself at 96 DPI.
int ScalePixelsForDpi(int pixels);
// LOGFONT lfHeight for a character height of the given points: -MulDiv(points, DPI, 72).
int PointsToFontHeight(int points);

// LOGPIXELSY of the desktop window's device context (96 when no device context can be had).
int GetDesktopDpi();
// The effective DPI of a monitor from Windows 8.1 on; before that, and whenever the per-monitor
// query is missing, the desktop's DPI. Never 0.
int GetMonitorDpi(HMONITOR monitor);
// GetMonitorDpi of the monitor nearest to the screen point.
int GetDpiAtPoint(int x, int y);
