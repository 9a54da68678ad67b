// A picture of the screen for a crash report.
#pragma once
#include <windows.h>

#include <string>

// Captures the whole virtual screen (with kCrashShotProcessWindows only the area of the process's
// visible top-level windows, or the whole screen when it has none) and writes it to
// "<folder>\screenshot.jpg" (kCrashShotJpeg, at the given quality) or "<folder>\screenshot.png".
// Answers the file's name, or "" when nothing could be written.
std::wstring WriteScreenshot(const std::wstring& folder, DWORD flags, int jpegQuality);
