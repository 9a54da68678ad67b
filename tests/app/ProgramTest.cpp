// The built program (vst.exe in its distributable folder) as a whole: it starts, shows its start
// window, ends through a second start with "-exit" and saves its settings on the way out; a copy
// without language files and skins still comes up. Each run uses a private copy of the folder
// and puts the program's registry settings back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/ExitSwitch.h"
#include "app/StartUpDlgRes.h"
#include "common/TestFiles.h"

namespace {

constexpr DWORD kStartTimeoutMs = 90000;  // a cold Wine start of a large program can be slow
constexpr DWORD kEndTimeoutMs = 60000;

// The distributable folder: VST_DIST_DIR, else "dist\DelvarinVastrel" of the build folder that
// holds the test programs.
std::wstring DistFolder()
{
    std::wstring folder;
    if (const wchar_t* set = _wgetenv(L"VST_DIST_DIR")) {
        folder = set;
        if (!folder.empty() && folder[0] == L'/') {  // a host path, reached through Wine's Z: drive
            for (auto& c : folder)
                if (c == L'/')
                    c = L'\\';
            folder = L"Z:" + folder;
        }
    } else {
        folder = ProgramFolder() + L"\\..\\dist\\DelvarinVastrel";
    }
    wchar_t full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(folder.c_str(), MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : folder;
}

// Copies the folder's files and sub-folders (all but the top-level names in skip).
bool CopyTree(const std::wstring& from, const std::wstring& to, const std::set<std::wstring>& skip = {})
{
    if (!CreateDirectoryW(to.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || skip.count(name))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyTree(from + L"\\" + name, to + L"\\" + name) && ok;
        else
            ok = CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) && ok;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return ok;
}

// The program's registry settings are removed for the test and put back as they were afterwards.
class SettingsKeyBackup {
public:
    SettingsKeyBackup()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAppRegistryKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            existed_ = true;
            for (DWORD i = 0;; ++i) {
                wchar_t name[256];
                DWORD nameUnits = 256, type = 0, size = 0;
                if (RegEnumValueW(key, i, name, &nameUnits, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                    break;
                Value value{name, type, std::vector<BYTE>(size)};
                nameUnits = 256;
                if (RegEnumValueW(key, i, name, &nameUnits, nullptr, &type, value.data.data(), &size) == ERROR_SUCCESS)
                    values_.push_back(value);
            }
            RegCloseKey(key);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppRegistryKey);
    }
    ~SettingsKeyBackup()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppRegistryKey);
        if (!existed_)
            return;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        for (const Value& value : values_)
            RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        RegCloseKey(key);
    }
    SettingsKeyBackup(const SettingsKeyBackup&) = delete;
    SettingsKeyBackup& operator=(const SettingsKeyBackup&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    bool existed_ = false;
    std::vector<Value> values_;
};

std::wstring StoredText(const wchar_t* name)
{
    wchar_t text[1024] = L"";
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, kAppRegistryKey, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"";
    return text;
}

void Store(const wchar_t* name, const std::wstring& text)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, kAppRegistryKey, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// A started program; one still running when the object goes is ended.
class Child {
public:
    bool Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder)
    {
        std::wstring commandLine = L"\"" + exe + L"\"" + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                              &startup, &info_) != FALSE;
    }
    ~Child()
    {
        if (!info_.hProcess)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 10000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }

    DWORD Id() const { return info_.dwProcessId; }
    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit code once it has ended within the time, else STILL_ACTIVE.
    DWORD WaitForEnd(DWORD milliseconds) const
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0)
            GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

// The process's visible top-level windows of the class (any visibility for hidden ones).
std::vector<HWND> WindowsOf(DWORD processId, const wchar_t* className, bool visibleOnly)
{
    struct Search {
        DWORD processId;
        const wchar_t* className;
        bool visibleOnly;
        std::vector<HWND> found;
    } search = {processId, className, visibleOnly, {}};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            Search& s = *reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.processId && ClassOf(window) == s.className && (!s.visibleOnly || IsWindowVisible(window)))
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls until ready answers true, the program ends or the time is up; answers ready's last answer.
bool WaitUntil(const Child& program, DWORD milliseconds, const std::function<bool()>& ready)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        if (ready())
            return true;
        if (!program.Running() || GetTickCount64() > end)
            return false;
        Sleep(100);
    }
}

// Confirms the process's message boxes (dialogs shown before its "VSTClass" window exists) and
// collects their texts.
void AnswerEarlyBoxes(DWORD processId, std::vector<std::wstring>& texts, std::set<HWND>& answered)
{
    for (HWND box : WindowsOf(processId, L"#32770", true)) {
        if (answered.count(box))
            continue;
        answered.insert(box);
        wchar_t text[512] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, 512);  // a system message box's text item
        texts.push_back(text);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

struct RunResult {
    bool started = false;       // the "VSTClass" window and a start window appeared
    std::wstring startTitle;
    DWORD programExit = 0;
    DWORD closerExit = 0;
    std::vector<std::wstring> earlyBoxes;
};

// Starts the program from a private copy of the folder (without the skipped parts), waits for its
// windows, calls between with the process and its start window, then ends it with a second start.
RunResult RunAndExit(const std::set<std::wstring>& skip, const std::function<void(const Child&, HWND)>& between)
{
    RunResult result;
    const std::wstring dist = DistFolder();
    if (!FileExists(dist + L"\\vst.exe")) {
        ADD_FAILURE() << "the program is not built: " << std::string(dist.begin(), dist.end());
        return result;
    }
    TestDir dir;
    const std::wstring folder = dir.File(L"DelvarinVastrel");
    if (!CopyTree(dist, folder, skip)) {
        ADD_FAILURE() << "copying the program's folder failed";
        return result;
    }
    const std::wstring exe = folder + L"\\vst.exe";

    Child program;
    // The current folder is not the program's: everything must be found beside the program.
    if (!program.Start(exe, L"", dir.Path())) {
        ADD_FAILURE() << "vst.exe did not start, error " << GetLastError();
        return result;
    }
    std::set<HWND> answered;
    const bool exitWindow = WaitUntil(program, kStartTimeoutMs, [&] {
        if (!WindowsOf(program.Id(), kExitWindowClass, false).empty())
            return true;
        AnswerEarlyBoxes(program.Id(), result.earlyBoxes, answered);
        return false;
    });
    const bool startWindow = exitWindow && WaitUntil(program, kStartTimeoutMs, [&] {
        return !WindowsOf(program.Id(), L"#32770", true).empty();
    });
    result.started = exitWindow && startWindow;
    EXPECT_TRUE(exitWindow) << "no VSTClass window" << (program.Running() ? "" : " (the program ended)");
    EXPECT_TRUE(startWindow) << "no start window";
    if (result.started) {
        HWND start = WindowsOf(program.Id(), L"#32770", true).front();
        wchar_t title[256] = L"";
        GetWindowTextW(start, title, 256);
        result.startTitle = title;
        if (between)
            between(program, start);
    }

    Child closer;
    if (!closer.Start(exe, L" -exit", dir.Path())) {
        ADD_FAILURE() << "vst.exe -exit did not start";
        return result;
    }
    result.closerExit = closer.WaitForEnd(kEndTimeoutMs);
    result.programExit = program.WaitForEnd(kEndTimeoutMs);
    return result;
}

TEST(ProgramTest, ExitSwitchEndsTheRunningProgramWhichSavesItsSettings)
{
    SettingsKeyBackup settings;
    const std::wstring marker = L"C:\\not-written-by-the-program";
    const RunResult run = RunAndExit({}, [&](const Child&, HWND) {
        // The program's own values overwrite this at shut-down.
        Store(L"GeneralOutputFolder", marker);
    });
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.startTitle, L"Delvarin Vastrel 2");
    EXPECT_TRUE(run.earlyBoxes.empty()) << "a box came up during start-up";
    EXPECT_EQ(run.closerExit, 1u);
    EXPECT_EQ(run.programExit, 1u);
    const std::wstring folder = StoredText(L"GeneralOutputFolder");
    EXPECT_FALSE(folder.empty());
    EXPECT_NE(folder, marker);
    EXPECT_FALSE(StoredText(L"GeneralLanguageFile").empty());
}

TEST(ProgramTest, ExitSwitchClosesAWindowOpenOverTheStartWindowFirst)
{
    SettingsKeyBackup settings;
    bool aboutOpened = false;
    const RunResult run = RunAndExit({}, [&](const Child& program, HWND start) {
        // The about window runs modally over the start window until the switch closes it.
        PostMessageW(start, WM_COMMAND, ID_MENU_ABOUT, 0);
        aboutOpened = WaitUntil(program, kStartTimeoutMs,
                                [&] { return WindowsOf(program.Id(), L"#32770", true).size() >= 2; });
    });
    EXPECT_TRUE(aboutOpened);
    EXPECT_EQ(run.closerExit, 1u);
    EXPECT_EQ(run.programExit, 1u);
}

TEST(ProgramTest, StartsWithoutLanguageFilesAndSkins)
{
    SettingsKeyBackup settings;
    const RunResult run = RunAndExit({L"lang", L"Skins"}, nullptr);
    EXPECT_TRUE(run.started);
    ASSERT_EQ(run.earlyBoxes.size(), 1u);
    EXPECT_EQ(run.earlyBoxes[0], L"Failed load en-us fall-back language?!?");
    EXPECT_EQ(run.closerExit, 1u);
    EXPECT_EQ(run.programExit, 1u);
}

TEST(ProgramTest, ExitSwitchWithoutARunningProgramEndsAtOnce)
{
    const std::wstring exe = DistFolder() + L"\\vst.exe";
    ASSERT_TRUE(FileExists(exe));
    ASSERT_EQ(FindWindowW(kExitWindowClass, nullptr), nullptr);
    Child closer;
    ASSERT_TRUE(closer.Start(exe, L" -exit", ProgramFolder()));
    EXPECT_EQ(closer.WaitForEnd(kEndTimeoutMs), 1u);
}

}  // namespace

namespace {

// The text of a debuggee's OutputDebugString event.
std::wstring DebugText(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const size_t units = info.nDebugStringLength;
    if (units == 0 || units > 4096)
        return L"";
    if (info.fUnicode) {
        std::wstring text(units, L'\0');
        SIZE_T got = 0;
        ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * sizeof(wchar_t), &got);
        text.resize(got / sizeof(wchar_t));
        return std::wstring(text.c_str());
    }
    std::string text(units, '\0');
    SIZE_T got = 0;
    ReadProcessMemory(process, info.lpDebugStringData, text.data(), units, &got);
    text.resize(got);
    return std::wstring(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(strlen(text.c_str())));
}

std::wstring FileNameOf(HANDLE file)
{
    wchar_t path[MAX_PATH * 2] = L"";
    if (!file || !GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, 0))
        return L"";
    std::wstring name = path;
    const size_t slash = name.find_last_of(L"\\/");
    name = slash == std::wstring::npos ? name : name.substr(slash + 1);
    for (auto& c : name)
        c = static_cast<wchar_t>(towlower(c));
    return name;
}

}  // namespace

// Run under this test as its debugger: the program's trace texts show the shut-down order, and
// with a debugger attached the crash-reporting library is never loaded.
TEST(ProgramTest, ShutDownRunsInOrderAndADebuggerKeepsCrashReportingOff)
{
    SettingsKeyBackup settings;
    const std::wstring dist = DistFolder();
    ASSERT_TRUE(FileExists(dist + L"\\vst.exe"));
    TestDir dir;
    const std::wstring folder = dir.File(L"DelvarinVastrel");
    ASSERT_TRUE(CopyTree(dist, folder));
    const std::wstring exe = folder + L"\\vst.exe";

    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                               nullptr, dir.Path().c_str(), &startup, &info));

    std::vector<std::wstring> traces;
    std::set<std::wstring> libraries;
    Child closer;
    bool closerStarted = false;
    DWORD exitCode = STILL_ACTIVE;
    const ULONGLONG end = GetTickCount64() + kStartTimeoutMs + kEndTimeoutMs;
    while (exitCode == STILL_ACTIVE && GetTickCount64() < end) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 100)) {
            if (!closerStarted && !WindowsOf(info.dwProcessId, kExitWindowClass, false).empty() &&
                !WindowsOf(info.dwProcessId, L"#32770", true).empty())
                closerStarted = closer.Start(exe, L" -exit", dir.Path());
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            libraries.insert(FileNameOf(event.u.LoadDll.hFile));
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case OUTPUT_DEBUG_STRING_EVENT:
            traces.push_back(DebugText(info.hProcess, event.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (exitCode == STILL_ACTIVE)
        TerminateProcess(info.hProcess, 99);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);

    EXPECT_TRUE(closerStarted) << "the program's windows did not appear";
    EXPECT_EQ(exitCode, 1u);
    EXPECT_EQ(closer.WaitForEnd(kEndTimeoutMs), 1u);

    // Each expected trace once and in this order (others may come between).
    const wchar_t* const order[] = {
        L"after dinet_Init(DINET_API_VERSION)\n",
        L"before dinet_Shutdown\n",
        L"Main: MessageLoop finished, g_DlvInetHandler.OnAppShutDown()\n",
        L"Main: MessageLoop finished, Language_Uninitialize\n",
        L"Main: MessageLoop finished, OleUninitialize\n",
        L"Main: MessageLoop finished, UninitializePlugIns\n",
    };
    size_t next = 0;
    for (const std::wstring& trace : traces) {
        if (next < std::size(order) && trace == order[next])
            ++next;
    }
    EXPECT_EQ(next, std::size(order)) << "missing or out of order: " << (next < std::size(order) ? order[next] : L"");
    for (const wchar_t* text : order)
        EXPECT_EQ(std::count(traces.begin(), traces.end(), std::wstring(text)), 1) << "trace " << text;
    EXPECT_TRUE(libraries.count(L"dlv_inet2.dll")) << "the DLL names were not seen";
    EXPECT_FALSE(libraries.count(L"crashrpt1403.dll"));
}
