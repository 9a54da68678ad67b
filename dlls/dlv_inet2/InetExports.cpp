// The exported calls of the internet library. All state lives in one process-wide object guarded
// by a lock. Strings handed out are tracked, so that dinet_FreeWideString releases only what the
// library gave and the shut-down can tell how many were never given back.
//
// Test switch: when the environment variable DINET_TEST_LOG names a file, web targets are not
// opened; every call of interest appends a line (UTF-8) to that file instead ("init 2",
// "lang en-us", "process 5", "open <target>", "shutdown strings=<outstanding>"). The environment
// variable DINET_INI, when set, names the ini file to read in place of dlv_inet2.ini beside the
// library.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "InetCatalog.h"

namespace {

constexpr int kApiVersion = 2;

HMODULE g_module = nullptr;

struct LibraryState {
    std::mutex lock;
    bool started = false;
    std::wstring language;
    inet::Catalog catalog;
    std::set<wchar_t*> strings;
};

LibraryState& State()
{
    static LibraryState state;
    return state;
}

std::wstring Environment(const wchar_t* name)
{
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
        return std::wstring();
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
    value.resize(length < needed ? length : 0);
    return value;
}

std::wstring DefaultIniPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
    const size_t dot = path.find_last_of(L'.');
    const size_t slash = path.find_last_of(L"\\/");
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
        path.resize(dot);
    return path + L".ini";
}

std::wstring IniPath()
{
    std::wstring path = Environment(L"DINET_INI");
    return path.empty() ? DefaultIniPath() : path;
}

// Appends one line to the test log; false when there is no test log.
bool TestLog(const std::wstring& line)
{
    const std::wstring logPath = Environment(L"DINET_TEST_LOG");
    if (logPath.empty())
        return false;
    const std::wstring text = line + L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0)
        return true;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    struct FileCloser {
        void operator()(HANDLE file) const noexcept { CloseHandle(file); }
    };
    HANDLE opened = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::unique_ptr<void, FileCloser> file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
    if (file) {
        DWORD written = 0;
        WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
    return true;
}

// Only web addresses are opened: the ini file cannot make the library start programs.
bool IsWebAddress(const std::wstring& target)
{
    return _wcsnicmp(target.c_str(), L"https://", 8) == 0 || _wcsnicmp(target.c_str(), L"http://", 7) == 0;
}

void OpenTarget(HWND owner, const std::wstring& target)
{
    if (target.empty())
        return;
    if (TestLog(L"open " + target))
        return;
    if (!IsWebAddress(target))
        return;
    ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// A copy the caller frees with dinet_FreeWideString; null for an empty text.
wchar_t* HandOut(LibraryState& state, const std::wstring& text)
{
    if (text.empty())
        return nullptr;
    wchar_t* copy = new (std::nothrow) wchar_t[text.size() + 1];
    if (!copy)
        return nullptr;
    wmemcpy(copy, text.c_str(), text.size() + 1);
    try {
        state.strings.insert(copy);
    } catch (...) {
        delete[] copy;
        return nullptr;
    }
    return copy;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

__declspec(dllexport) int WINAPI dinet_Init(int apiVersion)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    TestLog(L"init " + std::to_wstring(apiVersion));
    if (apiVersion != kApiVersion)
        return 0;
    try {
        state.catalog.Load(IniPath(), state.language);
    } catch (...) {
        state.catalog.Clear();
        return 0;
    }
    state.started = true;
    return 1;
}

__declspec(dllexport) int WINAPI dinet_Shutdown(HWND owner)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    TestLog(L"shutdown owner=" + std::wstring(owner ? L"1" : L"0") +
            L" strings=" + std::to_wstring(state.strings.size()));
    state.catalog.Clear();
    state.started = false;
    return 1;
}

__declspec(dllexport) int WINAPI dinet_SetProductLang(const wchar_t* languageCode)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const std::wstring code = languageCode ? languageCode : L"";
    TestLog(L"lang " + code);
    if (code == state.language)
        return 1;
    try {
        state.language = code;
        if (state.started)
            state.catalog.Load(IniPath(), state.language);
    } catch (...) {
        state.catalog.Clear();
        return 0;
    }
    return 1;
}

__declspec(dllexport) wchar_t* WINAPI dinet_GetProductDisplayVersion(const wchar_t*)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.started ? HandOut(state, state.catalog.DisplayVersion()) : nullptr;
}

__declspec(dllexport) int WINAPI dinet_GetMenuItemsCount(int menu)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.started ? state.catalog.MenuItemCount(menu) : 0;
}

__declspec(dllexport) int WINAPI dinet_GetMenuItemsID(int menu, int index)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.started ? state.catalog.MenuItemId(menu, index) : 0;
}

__declspec(dllexport) wchar_t* WINAPI dinet_GetMenuItemsTextByMenuID(int id)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const inet::CatalogItem* item = state.started ? state.catalog.Find(id) : nullptr;
    return item ? HandOut(state, item->text) : nullptr;
}

__declspec(dllexport) wchar_t* WINAPI dinet_GetMenuItemsImagePNGByID(int id)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const inet::CatalogItem* item = state.started ? state.catalog.Find(id) : nullptr;
    return item ? HandOut(state, item->pngPath) : nullptr;
}

__declspec(dllexport) HICON WINAPI dinet_GetMenuItemsImageByID(int id)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.started ? state.catalog.ItemIcon(id) : nullptr;
}

__declspec(dllexport) int WINAPI dinet_ProcessMenuItem(HWND owner, int id)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    TestLog(L"process " + std::to_wstring(id));
    const inet::CatalogItem* item = state.started ? state.catalog.Find(id) : nullptr;
    if (!item)
        return 0;
    OpenTarget(owner, item->target);
    return item->answer;
}

__declspec(dllexport) int WINAPI dinet_OpenWebTargetInBrowser(const wchar_t* name)
{
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const std::wstring target = state.catalog.WebTarget(name ? name : L"");
    if (target.empty()) {
        TestLog(L"no target " + std::wstring(name ? name : L""));
        return 0;
    }
    OpenTarget(nullptr, target);
    return 1;
}

__declspec(dllexport) void WINAPI dinet_FreeWideString(wchar_t* text)
{
    if (!text)
        return;
    LibraryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const auto found = state.strings.find(text);
    if (found == state.strings.end())
        return;  // not ours, or freed already
    state.strings.erase(found);
    delete[] text;
}

}  // extern "C"
