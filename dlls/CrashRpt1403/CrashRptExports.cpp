// The exports of the crash-reporting library (by ordinal, see CrashRpt1403.def) and the handlers
// it puts in place for the process.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <csignal>
#include <cwchar>
#include <string>

#include "CrashRptInterface.h"
#include "CrashState.h"
#include "ReportWriter.h"

namespace {

using InvalidParameterHandler = void(__cdecl*)(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t);
using SetInvalidParameterHandler = InvalidParameterHandler(__cdecl*)(InvalidParameterHandler);

// What was in place before the install; put back by the uninstall.
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;
void (*g_previousAbort)(int) = SIG_DFL;
InvalidParameterHandler g_previousInvalidParameter = nullptr;
DWORD g_installedHandlers = 0;

std::wstring Text(const wchar_t* text)
{
    return text ? std::wstring(text) : std::wstring();
}

int Fail(const std::wstring& text)
{
    SetCrashError(text);
    return 1;
}

int Succeed()
{
    SetCrashError(L"Success.");
    return 0;
}

SetInvalidParameterHandler InvalidParameterSetter()
{
    HMODULE crt = GetModuleHandleW(L"msvcrt.dll");
    return crt ? reinterpret_cast<SetInvalidParameterHandler>(
                     reinterpret_cast<void*>(GetProcAddress(crt, "_set_invalid_parameter_handler")))
               : nullptr;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers)
{
    const DWORD code =
        pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : EXCEPTION_NONCONTINUABLE;
    ReportCrashAndEnd(pointers, L"Unhandled exception", code);
    return EXCEPTION_EXECUTE_HANDLER;
}

void __cdecl OnAbort(int)
{
    ReportCrashAndEnd(nullptr, L"abort", 3);
}

void __cdecl OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t)
{
    ReportCrashAndEnd(nullptr, L"Invalid parameter passed to the C run-time", STATUS_INVALID_PARAMETER);
}

void InstallHandlers(DWORD flags)
{
    g_installedHandlers = flags & kCrashHandleAll;
    if (g_installedHandlers & kCrashHandleUnhandledExceptions)
        g_previousFilter = SetUnhandledExceptionFilter(OnUnhandledException);
    if (g_installedHandlers & kCrashHandleAbort)
        g_previousAbort = std::signal(SIGABRT, OnAbort);
    if (g_installedHandlers & kCrashHandleInvalidParameter) {
        if (SetInvalidParameterHandler setter = InvalidParameterSetter())
            g_previousInvalidParameter = setter(OnInvalidParameter);
        else
            g_installedHandlers &= ~kCrashHandleInvalidParameter;
    }
}

void RemoveHandlers()
{
    if (g_installedHandlers & kCrashHandleUnhandledExceptions)
        SetUnhandledExceptionFilter(g_previousFilter);
    if (g_installedHandlers & kCrashHandleAbort)
        std::signal(SIGABRT, g_previousAbort == SIG_ERR ? SIG_DFL : g_previousAbort);
    if (g_installedHandlers & kCrashHandleInvalidParameter) {
        if (SetInvalidParameterHandler setter = InvalidParameterSetter())
            setter(g_previousInvalidParameter);
    }
    g_installedHandlers = 0;
}

// Reports of a program go below "<local application data>\CrashReports\<program name>".
std::wstring DefaultReportRoot(const std::wstring& appName)
{
    wchar_t base[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base)) ||
        !base[0]) {
        DWORD n = GetTempPathW(MAX_PATH, base);
        if (n == 0 || n >= MAX_PATH)
            return std::wstring();
    }
    std::wstring root = base;
    if (root.back() != L'\\')
        root += L'\\';
    root += L"CrashReports\\";
    std::wstring name = appName;
    for (wchar_t& c : name) {
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c))
            c = L'_';
    }
    root += name;
    return root;
}

std::wstring ProgramName()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? std::wstring(L"Program") : name;
}

bool IsRegisteredThread(const CrashSettings& state, DWORD id)
{
    return std::find(state.threads.begin(), state.threads.end(), id) != state.threads.end();
}

// Checks shared by the calls that add to every report; answers an error text or "".
std::wstring AddingRefused(const CrashSettings& state)
{
    if (!state.installed)
        return L"Crash reporting is not installed for this process.";
    if (!(state.flags & kCrashAppendFiles))
        return L"The install flags do not allow adding files to the report.";
    return std::wstring();
}

bool KnownRootKey(const std::wstring& keyPath)
{
    static const wchar_t* const roots[] = {L"HKEY_CURRENT_USER",  L"HKCU", L"HKEY_LOCAL_MACHINE", L"HKLM",
                                           L"HKEY_CLASSES_ROOT",  L"HKCR", L"HKEY_USERS",         L"HKU",
                                           L"HKEY_CURRENT_CONFIG", L"HKCC"};
    std::wstring root = keyPath.substr(0, keyPath.find(L'\\'));
    for (const wchar_t* known : roots) {
        if (CompareStringOrdinal(root.c_str(), -1, known, -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI CrInstall(const CrashInstallInfo* info)
{
    if (!info)
        return Fail(L"The install record is missing.");
    if (info->size != sizeof(CrashInstallInfo))
        return Fail(L"The install record has a size of " + std::to_wstring(info->size) + L" bytes; " +
                    std::to_wstring(sizeof(CrashInstallInfo)) + L" were expected.");
    LockCrashState();
    CrashSettings& state = CrashState();
    if (state.installed) {
        UnlockCrashState();
        return Fail(L"Crash reporting is already installed for this process.");
    }
    state = CrashSettings();
    state.appName = info->appName && *info->appName ? info->appName : ProgramName();
    state.appVersion = Text(info->appVersion);
    state.emailRecipient = Text(info->emailRecipient);
    state.emailSubject = Text(info->emailSubject);
    state.uploadUrl = Text(info->uploadUrl);
    state.privacyPolicyUrl = Text(info->privacyPolicyUrl);
    state.debugHelpPath = Text(info->debugHelpPath);
    state.languageFile = Text(info->languageFile);
    state.customIcon = Text(info->customIcon);
    state.reportRoot = info->reportFolder && *info->reportFolder ? std::wstring(info->reportFolder)
                                                                 : DefaultReportRoot(state.appName);
    std::copy(std::begin(info->transportPriorities), std::end(info->transportPriorities),
              state.transportPriorities);
    state.flags = info->flags;
    state.minidumpType = info->minidumpType;
    if (state.reportRoot.empty()) {
        state = CrashSettings();
        UnlockCrashState();
        return Fail(L"No folder for crash reports could be found.");
    }
    state.threads.push_back(GetCurrentThreadId());
    state.installed = true;
    InstallHandlers(state.flags);
    UnlockCrashState();
    return Succeed();
}

__declspec(dllexport) int WINAPI CrUninstall()
{
    LockCrashState();
    CrashSettings& state = CrashState();
    if (!state.installed) {
        UnlockCrashState();
        return Fail(L"Crash reporting is not installed for this process.");
    }
    RemoveHandlers();
    state = CrashSettings();
    UnlockCrashState();
    return Succeed();
}

__declspec(dllexport) int WINAPI CrInstallThread(DWORD /*flags*/)
{
    LockCrashState();
    CrashSettings& state = CrashState();
    if (!state.installed) {
        UnlockCrashState();
        return Fail(L"Crash reporting is not installed for this process.");
    }
    // A thread id can come back after a thread ended without unregistering: registering again is
    // accepted.
    if (!IsRegisteredThread(state, GetCurrentThreadId()))
        state.threads.push_back(GetCurrentThreadId());
    UnlockCrashState();
    return Succeed();
}

__declspec(dllexport) int WINAPI CrUninstallThread()
{
    LockCrashState();
    CrashSettings& state = CrashState();
    auto it = std::find(state.threads.begin(), state.threads.end(), GetCurrentThreadId());
    if (!state.installed || it == state.threads.end()) {
        UnlockCrashState();
        return Fail(L"Crash reporting is not installed for this thread.");
    }
    state.threads.erase(it);
    UnlockCrashState();
    return Succeed();
}

__declspec(dllexport) int WINAPI CrAddFile(const wchar_t* path, const wchar_t* name, const wchar_t* description,
                                          DWORD flags)
{
    if (!path || !*path)
        return Fail(L"No file was named.");
    std::wstring reportName = name && *name ? std::wstring(name) : std::wstring(path);
    if (!name || !*name) {
        size_t slash = reportName.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            reportName.erase(0, slash + 1);
    }
    if (!IsValidReportFileName(reportName))
        return Fail(L"\"" + reportName + L"\" cannot be the name of a file in the report.");
    LockCrashState();
    CrashSettings& state = CrashState();
    std::wstring refused = AddingRefused(state);
    for (const AttachedFile& file : state.files) {
        if (refused.empty() &&
            CompareStringOrdinal(file.name.c_str(), -1, reportName.c_str(), -1, TRUE) == CSTR_EQUAL)
            refused = L"A file named \"" + reportName + L"\" is already in the report.";
    }
    for (const AttachedKey& key : state.keys) {
        if (refused.empty() &&
            CompareStringOrdinal(key.fileName.c_str(), -1, reportName.c_str(), -1, TRUE) == CSTR_EQUAL)
            refused = L"A file named \"" + reportName + L"\" is already in the report.";
    }
    if (refused.empty())
        state.files.push_back(AttachedFile{path, reportName, Text(description), flags});
    UnlockCrashState();
    return refused.empty() ? Succeed() : Fail(refused);
}

__declspec(dllexport) int WINAPI CrGetLastErrorText(wchar_t* buffer, UINT units)
{
    if (!buffer || units == 0)
        return -1;
    std::wstring text = GetCrashError();
    if (text.empty())
        text = L"No error.";
    const size_t count = std::min<size_t>(text.size(), units - 1);
    std::wmemcpy(buffer, text.c_str(), count);
    buffer[count] = L'\0';
    return static_cast<int>(count);
}

__declspec(dllexport) int WINAPI CrAddRegistryKey(const wchar_t* keyPath, const wchar_t* fileName, DWORD flags)
{
    if (!keyPath || !*keyPath || !KnownRootKey(keyPath))
        return Fail(L"The registry key must start with a root key such as HKEY_CURRENT_USER.");
    if (!fileName || !IsValidReportFileName(fileName))
        return Fail(L"The registry key needs a valid file name in the report.");
    LockCrashState();
    CrashSettings& state = CrashState();
    std::wstring refused = AddingRefused(state);
    for (const AttachedFile& file : state.files) {
        if (refused.empty() && CompareStringOrdinal(file.name.c_str(), -1, fileName, -1, TRUE) == CSTR_EQUAL)
            refused = L"A file named \"" + std::wstring(fileName) + L"\" is already in the report.";
    }
    for (const AttachedKey& key : state.keys) {
        if (refused.empty() && CompareStringOrdinal(key.fileName.c_str(), -1, fileName, -1, TRUE) == CSTR_EQUAL)
            refused = L"A file named \"" + std::wstring(fileName) + L"\" is already in the report.";
    }
    if (refused.empty())
        state.keys.push_back(AttachedKey{keyPath, fileName, flags});
    UnlockCrashState();
    return refused.empty() ? Succeed() : Fail(refused);
}

__declspec(dllexport) int WINAPI CrAddScreenshot(DWORD flags, int jpegQuality)
{
    if (jpegQuality < 0 || jpegQuality > 100)
        return Fail(L"The JPEG quality must lie between 0 and 100.");
    LockCrashState();
    CrashSettings& state = CrashState();
    std::wstring refused = AddingRefused(state);
    if (refused.empty()) {
        state.screenshot = true;
        state.screenshotFlags = flags;
        state.jpegQuality = jpegQuality;
    }
    UnlockCrashState();
    return refused.empty() ? Succeed() : Fail(refused);
}

}  // extern "C"
