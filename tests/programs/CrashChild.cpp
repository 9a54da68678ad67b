// A program that crashes on purpose, for the tests of crash reporting.
//
//   crashrpt_child <how> <report folder> <crash> <ui> [file to attach] [registry key]
//
// how:    "app"    sets up crash reporting as the program does (its record and files), with the
//                  reports going below <report folder>;
//         "direct" installs a plain record and attaches the file and the registry key given.
// crash:  "av" (an access violation), "thread" (an access violation on a registered second
//         thread), "stack" (a stack overflow), "abort", "throw" (an exception nobody catches).
// ui:     "silent" (no box) or "box" (the box tells where the report lies).
// Prints "ready" before it crashes; exits with 2 when the set-up fails.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <stdexcept>

#include "app/AppSettings.h"
#include "app/CrashReport.h"
#include "app/CrashReportLibrary.h"
#include "base/Log.h"

namespace {

volatile int* volatile g_nowhere = nullptr;

void AccessViolation()
{
    *g_nowhere = 1;
}

// Recursion until the stack overflows (the flag is never set).
volatile bool g_stopRecursion = false;

__attribute__((noinline)) int Deeper(int depth)
{
    volatile char frame[4096];
    frame[depth % 4096] = 1;
    if (g_stopRecursion)
        return 0;
    return Deeper(depth + 1) + frame[0];
}

DWORD WINAPI CrashingThread(void*)
{
    if (CrashRpt::InstallThread(0) != 0)
        return 1;
    AccessViolation();
    return 0;
}

int Fail(const wchar_t* what)
{
    fwprintf(stderr, L"set-up failed: %ls: %ls\n", what, CrashRpt::LastErrorText().c_str());
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (argc < 5)
        return 2;
    const std::wstring how = argv[1], crash = argv[3], ui = argv[4];
    const wchar_t* reportFolder = argv[2];
    const DWORD uiFlag = ui == L"silent" ? kCrashNoUserInterface : 0;

    if (how == L"app") {
        LogMessage(L"crash test child started");
        LogLine(L"crash test child started");
        g_CrashHandler.FillInstallInfo();
        g_CrashHandler.installInfo.reportFolder = reportFolder;
        g_CrashHandler.installInfo.flags |= uiFlag;
        g_CrashHandler.installResult = CrashRpt::Install(&g_CrashHandler.installInfo);
        if (g_CrashHandler.installResult != 0)
            return Fail(L"install");
        g_CrashHandler.AddFiles();
    } else {
        CrashInstallInfo info = {};
        info.size = sizeof(info);
        info.appName = L"Crash Test";
        info.appVersion = L"1.0";
        info.flags = 0x601FFF | uiFlag;
        info.reportFolder = reportFolder;
        if (CrashRpt::Install(&info) != 0)
            return Fail(L"install");
        if (argc > 5 && CrashRpt::AddFile(argv[5], nullptr, L"attached file", 0) != 0)
            return Fail(L"add file");
        if (argc > 6 && CrashRpt::AddRegistryKey(argv[6], L"Settings.xml", kCrashKeyWithSubkeys) != 0)
            return Fail(L"add key");
        if (CrashRpt::AddScreenshot(kCrashShotJpeg, 80) != 0)
            return Fail(L"add screenshot");
    }
    fwprintf(stdout, L"ready\n");
    fflush(stdout);

    if (crash == L"thread") {
        HANDLE thread = CreateThread(nullptr, 0, CrashingThread, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        return 3;  // the thread did not crash
    }
    if (crash == L"stack")
        return Deeper(0);
    if (crash == L"abort")
        abort();
    if (crash == L"throw")
        throw std::runtime_error("nobody catches this");
    AccessViolation();
    return 3;
}
