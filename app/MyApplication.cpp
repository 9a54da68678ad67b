#include "app/MyApplication.h"

#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <cwchar>

#include "app/LanguageDlg.h"
#include "base/ExePath.h"
#include "base/SystemOwners.h"
#include "imagefile/PlugInHost.h"
#include "ui/NWindow.h"

namespace {

std::atomic<MyApplication*> g_myApplication{nullptr};
std::atomic<HINSTANCE> g_appInstance{nullptr};

// The busy cursor's shared state: the user-interface thread (0 until the loop's first message),
// the ticks left before the wait cursor shows, the hook, and the cursor the wait cursor replaced.
constexpr int kBusyTicks = 5;          // of kBusyTickMs each: about 125 ms
constexpr DWORD kBusyTickMs = 25;
constexpr SIZE_T kWatchdogStack = 1000;
std::atomic<DWORD> g_uiThreadId{0};
std::atomic<int> g_busyCountdown{0};
std::atomic<HHOOK> g_busyHook{nullptr};
std::atomic<HCURSOR> g_savedCursor{nullptr};
std::atomic<bool> g_cursorSaved{false};

void StartBusyCursor()
{
    g_uiThreadId = GetCurrentThreadId();
    // It runs for the rest of the process: its handle is not needed.
    const KernelHandleOwner watchdog(CreateThread(nullptr, kWatchdogStack, BusyCursorWatchdog, nullptr, 0, nullptr));
    g_busyHook = SetWindowsHookExW(WH_GETMESSAGE, BusyCursorHook, nullptr, g_uiThreadId.load());
}

// Puts back the cursor that the wait cursor replaced, when there is one.
void PutBackSavedCursor()
{
    if (g_cursorSaved.exchange(false))
        SetCursor(g_savedCursor.load());
}

}  // namespace

MyApplication::MyApplication(HINSTANCE instance) : NWinApp(instance, 0, NString(kName))
{
    // A second application object stays inert (the framework has reported it).
    if (!IsRegistered())
        return;
    g_myApplication = this;

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                           ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    g_appInstance = instance;
    srand(static_cast<unsigned>(time(nullptr)));

    // A missing plug-in folder is no error.
    NString programFolder;
    wchar_t plugIns[MAX_PATH];
    if (GetExeDirectory(programFolder) && GetPlugInFolder(programFolder.c_str(), plugIns))
        InitializePlugIns(plugIns);

    Language_Initialize();
    // Each skin lies in a folder of its own name (the skin's default); a missing skin leaves the
    // built-in colours and empty pictures.
    GetSkin()->Load(L"Default");
}

MyApplication::~MyApplication()
{
    MyApplication* self = this;
    g_myApplication.compare_exchange_strong(self, nullptr);
}

int MyApplication::Run()
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return LOWORD(msg.wParam);
        if (got == -1)
            return -1;
        if (g_uiThreadId.load() == 0)
            StartBusyCursor();

        PutBackSavedCursor();
        g_busyCountdown = kBusyTicks;
        try {
            DispatchAppMessage(msg);
        } catch (...) {
            RestoreBusyCursor();
            throw;
        }
        g_busyCountdown = 0;
        PutBackSavedCursor();
    }
}

MyApplication* GetMyApplication()
{
    return g_myApplication.load();
}

void ClearMyApplication()
{
    g_myApplication = nullptr;
}

HINSTANCE GetAppInstance()
{
    return g_appInstance.load();
}

bool GetPlugInFolder(const wchar_t* programFolder, wchar_t (&folder)[MAX_PATH])
{
    folder[0] = L'\0';
    if (!programFolder || !*programFolder)
        return false;
    const int written = _snwprintf(folder, MAX_PATH, L"%s\\PlugIns", programFolder);
    if (written < 0 || written >= MAX_PATH) {
        folder[0] = L'\0';
        return false;
    }
    return true;
}

LRESULT CALLBACK BusyCursorHook(int code, WPARAM wParam, LPARAM lParam)
{
    // Every message taken from the queue (also by a modal loop inside a handler) ends a busy period.
    g_busyCountdown = 0;
    return CallNextHookEx(g_busyHook.load(), code, wParam, lParam);
}

DWORD WINAPI BusyCursorWatchdog(void*)
{
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    AttachThreadInput(GetCurrentThreadId(), g_uiThreadId.load(), TRUE);
    for (;;) {
        Sleep(kBusyTickMs);
        int left = g_busyCountdown.load();
        if (left <= 0 || !g_busyCountdown.compare_exchange_strong(left, left - 1))
            continue;
        if (left - 1 == 0 && !g_cursorSaved.load()) {
            g_savedCursor = SetCursor(wait);
            g_cursorSaved = true;
        }
    }
}

void RestoreBusyCursor()
{
    g_busyCountdown = 0;
    PutBackSavedCursor();
}
