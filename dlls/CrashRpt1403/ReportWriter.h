// Writing a crash report: a new folder below the report root holding the minidump, the attached
// files, the registry keys, the screenshot and a description of the crash.
#pragma once
#include <windows.h>

#include <string>

#include "CrashState.h"

struct CrashEvent {
    EXCEPTION_POINTERS* pointers = nullptr;  // null when the crash was no structured exception
    DWORD threadId = 0;                       // the thread that crashed
    const wchar_t* reason = L"";
    DWORD code = 0;  // exception code, or the exit code of the handler that caught it
};

// Writes the report of the event into a new folder below state.reportRoot; answers the folder,
// or "" when none could be made.
std::wstring WriteCrashReport(const CrashSettings& state, const CrashEvent& event);

// The crash path: writes the report on a thread of its own (the crashing thread may have no
// stack left), tells the user where it lies unless the install asked for no user interface, and
// ends the process with exitCode. A second crash while a report is written ends the process at
// once.
[[noreturn]] void ReportCrashAndEnd(EXCEPTION_POINTERS* pointers, const wchar_t* reason, DWORD exitCode);
