// The crash-reporting library CrashRpt1403.dll, loaded from the program's folder on first use and
// called by ordinal. Without the library every call fails and the error text says so, so that the
// program runs on without crash reporting.
#pragma once
#include <windows.h>

#include "dlls/CrashRpt1403/CrashRptInterface.h"
#include "base/NString.h"

namespace CrashRpt {

// Whether the library could be loaded (it is looked for once).
bool IsAvailable();

int Install(const CrashInstallInfo* info);  // 0 = installed
int Uninstall();
int InstallThread(DWORD flags);  // 0 = registered
int UninstallThread();
int AddFile(const wchar_t* path, const wchar_t* reportName, const wchar_t* description, DWORD flags);
int AddRegistryKey(const wchar_t* keyPath, const wchar_t* fileName, DWORD flags);
int AddScreenshot(DWORD flags, int jpegQuality);
// The library's text of its last failure (at most 255 characters).
NString LastErrorText();

}  // namespace CrashRpt
