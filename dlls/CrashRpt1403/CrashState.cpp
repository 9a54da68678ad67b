#include "CrashState.h"

#include <cwctype>

#include "CrashRptInterface.h"

namespace {

SRWLOCK g_stateLock = SRWLOCK_INIT;
SRWLOCK g_errorLock = SRWLOCK_INIT;
CrashSettings g_state;
std::wstring g_error;

bool SameNameIgnoringCase(const std::wstring& a, const wchar_t* b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

CrashSettings& CrashState()
{
    return g_state;
}

void LockCrashState()
{
    AcquireSRWLockExclusive(&g_stateLock);
}

void UnlockCrashState()
{
    ReleaseSRWLockExclusive(&g_stateLock);
}

bool TryLockCrashState(DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (TryAcquireSRWLockExclusive(&g_stateLock))
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(10);
    }
}

void SetCrashError(const std::wstring& text)
{
    AcquireSRWLockExclusive(&g_errorLock);
    g_error = text;
    ReleaseSRWLockExclusive(&g_errorLock);
}

std::wstring GetCrashError()
{
    AcquireSRWLockShared(&g_errorLock);
    std::wstring text = g_error;
    ReleaseSRWLockShared(&g_errorLock);
    return text;
}

bool IsValidReportFileName(const std::wstring& name)
{
    if (name.empty() || name.size() > 200 || name == L"." || name == L"..")
        return false;
    for (wchar_t c : name) {
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c))
            return false;
    }
    if (name.back() == L'.' || name.back() == L' ')
        return false;
    return !SameNameIgnoringCase(name, kCrashDumpName) && !SameNameIgnoringCase(name, kCrashDescriptionName) &&
           !SameNameIgnoringCase(name, L"screenshot.jpg") && !SameNameIgnoringCase(name, L"screenshot.png");
}
