#include "base/Log.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/ScopedFile.h"
#include "base/Utf8.h"

namespace {

constexpr int kMessageUnits = 2048;  // at most 2047 units of text per line
SRWLOCK g_fileLock = SRWLOCK_INIT;

void FormatMessageText(wchar_t (&text)[kMessageUnits], const wchar_t* format, va_list args)
{
    text[0] = L'\0';
    if (!format)
        return;
    // msvcrt's formatter: %s is a wide string here. It returns -1 when the text was cut.
    _vsnwprintf(text, kMessageUnits - 1, format, args);
    text[kMessageUnits - 1] = L'\0';
}

// Path of "_NLogMsg.txt" in the program's folder; false when the program path cannot be read.
bool LibraryLogPath(std::wstring& path)
{
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
        if (n == 0)
            return false;
        if (n < module.size()) {
            module.resize(n);
            break;
        }
        if (module.size() >= 32768)
            return false;
        module.resize(module.size() * 2);
    }
    size_t slash = module.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return false;
    path = module.substr(0, slash) + L"\\_NLogMsg.txt";
    return true;
}

}  // namespace

bool AppendLogLine(const wchar_t* path, const wchar_t* text)
{
    if (!path || !*path)
        return false;
    std::wstring line = LogLineStamp();
    line += text ? text : L"";
    line += L'\n';

    // The file holds 8-bit text in the ANSI code page; "at" writes line ends as CR LF.
    const std::string narrow = AnsiFromWide(line.c_str(), line.size());
    if (narrow.empty())
        return false;

    AcquireSRWLockExclusive(&g_fileLock);
    bool ok = false;
    if (ScopedFile f(path, L"at"); f) {
        ok = fwrite(narrow.data(), 1, narrow.size(), f.Get()) == narrow.size();
        ok = f.Close() && ok;
    }
    ReleaseSRWLockExclusive(&g_fileLock);
    return ok;
}

bool LogMessageV(const wchar_t* format, va_list args)
{
    wchar_t text[kMessageUnits];
    FormatMessageText(text, format, args);
    std::wstring path;
    if (!LibraryLogPath(path))
        return false;
    bool written = AppendLogLine(path.c_str(), text);
    OutputDebugStringW(text);
    OutputDebugStringW(L"\n");
    return written;
}

bool LogMessage(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = LogMessageV(format, args);
    va_end(args);
    return ok;
}

bool LogMessageBox(const wchar_t* format, ...)
{
    wchar_t text[kMessageUnits];
    va_list args;
    va_start(args, format);
    FormatMessageText(text, format, args);
    va_end(args);
    std::wstring path;
    if (!LibraryLogPath(path))
        return false;
    AppendLogLine(path.c_str(), text);
    return MessageBoxW(GetDesktopWindow(), text, L"ZUvo", MB_ICONINFORMATION | MB_SETFOREGROUND) == IDOK;
}

std::wstring LogLineStamp()
{
    SYSTEMTIME st;
    GetSystemTime(&st);
    wchar_t stamp[32];
    _snwprintf(stamp, 32, L"%.2d/%.2d/%.2d %2.2d:%2.2d:%2.2d: ", st.wYear, st.wMonth, st.wDay, st.wHour,
               st.wMinute, st.wSecond);
    stamp[31] = L'\0';
    return stamp;
}
