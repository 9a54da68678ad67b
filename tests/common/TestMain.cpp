// Entry of every test program: GoogleTest plus the guards the Wine runs need.
#include <windows.h>
#include <gtest/gtest.h>

#include "common/MessageBoxAnswerer.h"

namespace {

// A crashing program can exit with code 0 under Wine; end every crash with a code ctest sees.
LONG WINAPI TerminateOnCrash(EXCEPTION_POINTERS* info)
{
    DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    char line[96];
    wsprintfA(line, "\nunhandled exception 0x%08lX: test program terminated\n", code);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, lstrlenA(line), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 70);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(TerminateOnCrash);
    testing::InitGoogleTest(&argc, argv);
    // No message box may ever wait for a person: boxes on this thread are answered with their
    // default button unless a test installs its own answerer.
    MessageBoxAnswerer defaultAnswers;
    return RUN_ALL_TESTS();
}
