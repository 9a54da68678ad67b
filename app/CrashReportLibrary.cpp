#include "app/CrashReportLibrary.h"

#include <mutex>

#include "base/ExePath.h"

namespace {

using InstallFn = int(WINAPI*)(const CrashInstallInfo*);
using NoArgFn = int(WINAPI*)();
using InstallThreadFn = int(WINAPI*)(DWORD);
using AddFileFn = int(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*, DWORD);
using ErrorTextFn = int(WINAPI*)(wchar_t*, UINT);
using AddKeyFn = int(WINAPI*)(const wchar_t*, const wchar_t*, DWORD);
using ScreenshotFn = int(WINAPI*)(DWORD, int);

constexpr int kNotLoaded = 1;  // a failure like any other of the library

struct Library {
    HMODULE module = nullptr;
    InstallFn install = nullptr;
    NoArgFn uninstall = nullptr;
    InstallThreadFn installThread = nullptr;
    NoArgFn uninstallThread = nullptr;
    AddFileFn addFile = nullptr;
    ErrorTextFn errorText = nullptr;
    AddKeyFn addKey = nullptr;
    ScreenshotFn screenshot = nullptr;
};

template <typename Fn>
Fn Export(HMODULE module, WORD ordinal)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

// The library of the program's folder only: a crash reporter of the same name elsewhere on the
// search path is not taken.
const Library& TheLibrary()
{
    static Library library;
    static std::once_flag once;
    std::call_once(once, [] {
        NString folder;
        if (!GetExeDirectory(folder))
            return;
        if (folder.GetLength() > 0 && folder[folder.GetLength() - 1] != L'\\')
            folder += L'\\';
        folder += kCrashLibraryName;
        HMODULE module = LoadLibraryExW(folder.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!module)
            return;
        Library loaded;
        loaded.module = module;
        loaded.install = Export<InstallFn>(module, kCrashOrdinalInstall);
        loaded.uninstall = Export<NoArgFn>(module, kCrashOrdinalUninstall);
        loaded.installThread = Export<InstallThreadFn>(module, kCrashOrdinalInstallThread);
        loaded.uninstallThread = Export<NoArgFn>(module, kCrashOrdinalUninstallThread);
        loaded.addFile = Export<AddFileFn>(module, kCrashOrdinalAddFile);
        loaded.errorText = Export<ErrorTextFn>(module, kCrashOrdinalLastErrorText);
        loaded.addKey = Export<AddKeyFn>(module, kCrashOrdinalAddRegistryKey);
        loaded.screenshot = Export<ScreenshotFn>(module, kCrashOrdinalAddScreenshot);
        if (!loaded.install || !loaded.uninstall || !loaded.installThread || !loaded.uninstallThread ||
            !loaded.addFile || !loaded.errorText || !loaded.addKey || !loaded.screenshot) {
            FreeLibrary(module);
            return;
        }
        library = loaded;
    });
    return library;
}

}  // namespace

namespace CrashRpt {

bool IsAvailable()
{
    return TheLibrary().module != nullptr;
}

int Install(const CrashInstallInfo* info)
{
    const Library& lib = TheLibrary();
    return lib.install ? lib.install(info) : kNotLoaded;
}

int Uninstall()
{
    const Library& lib = TheLibrary();
    return lib.uninstall ? lib.uninstall() : kNotLoaded;
}

int InstallThread(DWORD flags)
{
    const Library& lib = TheLibrary();
    return lib.installThread ? lib.installThread(flags) : kNotLoaded;
}

int UninstallThread()
{
    const Library& lib = TheLibrary();
    return lib.uninstallThread ? lib.uninstallThread() : kNotLoaded;
}

int AddFile(const wchar_t* path, const wchar_t* reportName, const wchar_t* description, DWORD flags)
{
    const Library& lib = TheLibrary();
    return lib.addFile ? lib.addFile(path, reportName, description, flags) : kNotLoaded;
}

int AddRegistryKey(const wchar_t* keyPath, const wchar_t* fileName, DWORD flags)
{
    const Library& lib = TheLibrary();
    return lib.addKey ? lib.addKey(keyPath, fileName, flags) : kNotLoaded;
}

int AddScreenshot(DWORD flags, int jpegQuality)
{
    const Library& lib = TheLibrary();
    return lib.screenshot ? lib.screenshot(flags, jpegQuality) : kNotLoaded;
}

NString LastErrorText()
{
    const Library& lib = TheLibrary();
    if (!lib.errorText)
        return NString(L"The crash-reporting library CrashRpt1403.dll could not be loaded.");
    wchar_t text[256] = L"";
    lib.errorText(text, 256);
    text[255] = L'\0';
    return NString(text);
}

}  // namespace CrashRpt
