#include "ReportWriter.h"

#include <windows.h>
#include <dbghelp.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "CrashRptInterface.h"
#include "OwnedHandles.h"
#include "RegistryExport.h"
#include "ReportXml.h"
#include "Screenshot.h"

namespace {

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

std::wstring Hex(unsigned long long value, int digits)
{
    wchar_t text[32];
    _snwprintf(text, 31, L"0x%0*llx", digits, value);
    text[31] = 0;
    return text;
}

std::wstring Attribute(const wchar_t* name, const std::wstring& value)
{
    return std::wstring(L" ") + name + L"=\"" + XmlEscape(value) + L"\"";
}

// A new folder "<root>\YYYY-MM-DD hh-mm-ss" (local time), with " (n)" added when it exists.
std::wstring MakeReportFolder(const std::wstring& root)
{
    if (root.empty())
        return std::wstring();
    const int rc = SHCreateDirectoryExW(nullptr, root.c_str(), nullptr);
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS)
        return std::wstring();
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[64];
    _snwprintf(stamp, 63, L"%04d-%02d-%02d %02d-%02d-%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
               now.wSecond);
    stamp[63] = 0;
    const std::wstring base = root + (root.back() == L'\\' ? L"" : L"\\") + stamp;
    for (int n = 1; n <= 1000; ++n) {
        std::wstring folder = n == 1 ? base : base + L" (" + std::to_wstring(n) + L")";
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

bool WriteMiniDump(const CrashSettings& state, const CrashEvent& event, const std::wstring& path)
{
    HMODULE dbghelp = nullptr;
    if (!state.debugHelpPath.empty())
        dbghelp = LoadLibraryW((state.debugHelpPath + L"\\dbghelp.dll").c_str());
    if (!dbghelp)
        dbghelp = LoadLibraryW(L"dbghelp.dll");
    if (!dbghelp)
        return false;
    auto write = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    // Symbols are not needed for a dump: loading the debug information of every module on the
    // way costs seconds under Wine.
    using SymSetOptionsFunction = DWORD(WINAPI*)(DWORD);
    if (auto setOptions = reinterpret_cast<SymSetOptionsFunction>(
            reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymSetOptions"))))
        setOptions(SYMOPT_DEFERRED_LOADS);
    bool ok = false;
    crashrpt::KernelHandle file(write ? CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                      : nullptr);
    if (crashrpt::IsOpen(file)) {
        MINIDUMP_EXCEPTION_INFORMATION exception = {};
        exception.ThreadId = event.threadId;
        exception.ExceptionPointers = event.pointers;
        exception.ClientPointers = FALSE;
        ok = write(GetCurrentProcess(), GetCurrentProcessId(), file.get(),
                   static_cast<MINIDUMP_TYPE>(state.minidumpType), event.pointers ? &exception : nullptr, nullptr,
                   nullptr) != FALSE;
        file.reset();
        if (!ok)
            DeleteFileW(path.c_str());
    }
    return ok;
}

std::wstring FileEntry(const std::wstring& name, const std::wstring& source, const std::wstring& description,
                       const wchar_t* status)
{
    return L"    <File" + Attribute(L"name", name) + Attribute(L"source", source) +
           Attribute(L"description", description) + Attribute(L"status", status) + L"/>\n";
}

std::wstring SystemDescription()
{
    std::wstring xml = L"  <System";
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&version))
        xml += Attribute(L"windows", std::to_wstring(version.dwMajorVersion) + L"." +
                                         std::to_wstring(version.dwMinorVersion) + L"." +
                                         std::to_wstring(version.dwBuildNumber));
#pragma GCC diagnostic pop
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    xml += Attribute(L"processors", std::to_wstring(info.dwNumberOfProcessors));
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    if (GlobalMemoryStatusEx(&memory)) {
        xml += Attribute(L"memoryMiB", std::to_wstring(memory.ullTotalPhys >> 20));
        xml += Attribute(L"freeMemoryMiB", std::to_wstring(memory.ullAvailPhys >> 20));
    }
    xml += Attribute(L"commandLine", GetCommandLineW());
    return xml + L"/>\n";
}

std::wstring ReportText(const CrashSettings& state, const wchar_t* key, const std::wstring& builtIn)
{
    if (state.languageFile.empty() || GetFileAttributesW(state.languageFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        return builtIn;
    wchar_t text[1024];
    GetPrivateProfileStringW(L"Report", key, L"", text, 1024, state.languageFile.c_str());
    text[1023] = 0;
    return text[0] ? std::wstring(text) : builtIn;
}

// Tells the user where the report lies: a message box, also a line on the error output when the
// program has one. The language file's text is shown as it stands, never used as a format.
void TellUser(const CrashSettings& state, const std::wstring& folder)
{
    const std::wstring line = L"Crash report written to: " + folder + L"\n";
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
        if (bytes > 1) {
            std::string utf8(static_cast<size_t>(bytes), '\0');
            WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
            DWORD written = 0;
            WriteFile(err, utf8.data(), static_cast<DWORD>(bytes - 1), &written, nullptr);
        }
    }
    OutputDebugStringW(line.c_str());
    if (state.flags & kCrashNoUserInterface)
        return;
    const std::wstring caption = ReportText(state, L"Caption", state.appName);
    const std::wstring text =
        ReportText(state, L"Text",
                   state.appName + L" stopped because of an error. A report of the error has been saved in this folder:") +
        L"\n\n" + folder;
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

struct ReportJob {
    const CrashSettings* state;
    CrashEvent event;
};

DWORD WINAPI ReportThread(void* param)
{
    auto* job = static_cast<ReportJob*>(param);
    const std::wstring folder = WriteCrashReport(*job->state, job->event);
    if (!folder.empty())
        TellUser(*job->state, folder);
    return 0;
}

LONG g_reporting = 0;

}  // namespace

std::wstring WriteCrashReport(const CrashSettings& state, const CrashEvent& event)
{
    const std::wstring folder = MakeReportFolder(state.reportRoot);
    if (folder.empty())
        return folder;

    std::wstring files;
    const std::wstring dump = folder + L"\\" + kCrashDumpName;
    files += FileEntry(kCrashDumpName, L"", L"Minidump", WriteMiniDump(state, event, dump) ? L"written" : L"failed");

    for (const AttachedFile& file : state.files) {
        const wchar_t* status = L"copied";
        if (GetFileAttributesW(file.path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (file.flags & kCrashFileOptional)
                continue;
            status = L"missing";
        } else if (!CopyFileW(file.path.c_str(), (folder + L"\\" + file.name).c_str(), FALSE)) {
            status = L"failed";
        }
        files += FileEntry(file.name, file.path, file.description, status);
    }
    for (const AttachedKey& key : state.keys) {
        const bool ok =
            ExportRegistryKey(key.keyPath, (key.flags & kCrashKeyWithSubkeys) != 0, folder + L"\\" + key.fileName);
        files += FileEntry(key.fileName, key.keyPath, L"Registry key", ok ? L"written" : L"failed");
    }
    if (state.screenshot) {
        const std::wstring shot = WriteScreenshot(folder, state.screenshotFlags, state.jpegQuality);
        files += FileEntry(shot.empty() ? std::wstring(kCrashScreenshotBaseName) : shot, L"", L"Screenshot",
                           shot.empty() ? L"failed" : L"written");
    }

    SYSTEMTIME now;
    GetSystemTime(&now);
    wchar_t time[64];
    _snwprintf(time, 63, L"%04d-%02d-%02dT%02d:%02d:%02dZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
               now.wSecond);
    time[63] = 0;
    const bool registered =
        std::find(state.threads.begin(), state.threads.end(), event.threadId) != state.threads.end();
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CrashReport>\n";
    xml += L"  <Application" + Attribute(L"name", state.appName) + Attribute(L"version", state.appVersion) +
           Attribute(L"icon", state.customIcon) + L"/>\n";
    xml += L"  <Crash" + Attribute(L"reason", event.reason) + Attribute(L"code", Hex(event.code, 8));
    if (event.pointers && event.pointers->ExceptionRecord)
        xml += Attribute(L"address",
                         Hex(reinterpret_cast<uintptr_t>(event.pointers->ExceptionRecord->ExceptionAddress), 16));
    xml += Attribute(L"thread", std::to_wstring(event.threadId)) +
           Attribute(L"registeredThread", registered ? L"1" : L"0") + Attribute(L"time", time) + L"/>\n";
    std::wstring priorities;
    for (int p : state.transportPriorities)
        priorities += (priorities.empty() ? L"" : L" ") + std::to_wstring(p);
    xml += L"  <Delivery" + Attribute(L"email", state.emailRecipient) + Attribute(L"subject", state.emailSubject) +
           Attribute(L"url", state.uploadUrl) + Attribute(L"privacyPolicy", state.privacyPolicyUrl) +
           Attribute(L"priorities", priorities) + L"/>\n";
    if (state.flags & kCrashAdditionalInfo)
        xml += SystemDescription();
    xml += L"  <Files>\n" + files + L"  </Files>\n</CrashReport>\n";
    WriteUtf8File(folder + L"\\" + kCrashDescriptionName, xml);
    return folder;
}

void ReportCrashAndEnd(EXCEPTION_POINTERS* pointers, const wchar_t* reason, DWORD exitCode)
{
    if (InterlockedExchange(&g_reporting, 1) != 0)
        TerminateProcess(GetCurrentProcess(), exitCode);  // a crash while reporting

    // A snapshot of the state: the crashed thread may hold the lock, and the report must not wait
    // for it for long.
    const bool locked = TryLockCrashState(2000);
    static CrashSettings snapshot;
    snapshot = CrashState();
    if (locked)
        UnlockCrashState();

    if (snapshot.installed) {
        ReportJob job{&snapshot, CrashEvent{pointers, GetCurrentThreadId(), reason, exitCode}};
        // The report is written on the crashed thread itself: a dump of a thread held in its
        // exception handler taken from another thread is several times slower under Wine. Only
        // an overflowed stack has no room for it and gets a thread of its own.
        crashrpt::KernelHandle thread;
        if (exitCode == static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW))
            thread.reset(CreateThread(nullptr, 0, ReportThread, &job, 0, nullptr));
        if (thread) {
            WaitForSingleObject(thread.get(), INFINITE);
            thread.reset();
        } else {
            ReportThread(&job);
        }
    }
    TerminateProcess(GetCurrentProcess(), exitCode);
    for (;;)
        Sleep(INFINITE);
}
