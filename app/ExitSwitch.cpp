#include "app/ExitSwitch.h"

#include <cwchar>
#include <vector>

namespace {

constexpr const wchar_t* kSwitch = L".exe\" -exit";
constexpr const wchar_t* kDialogClass = L"#32770";
constexpr int kMaxOwnerDepth = 64;  // owner chains are short; this only guards against loops

int OwnerDepth(HWND window)
{
    int depth = 0;
    for (HWND owner = GetWindow(window, GW_OWNER); owner && depth < kMaxOwnerDepth;
         owner = GetWindow(owner, GW_OWNER))
        ++depth;
    return depth;
}

bool IsDialogWindow(HWND window)
{
    wchar_t name[16] = {};
    return GetClassNameW(window, name, 16) > 0 && wcscmp(name, kDialogClass) == 0;
}

struct DialogSearch {
    HWND exception;
    std::vector<HWND> found;  // in z-order
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter)
{
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(parameter);
    if (window != search.exception && IsWindowVisible(window) && IsWindowEnabled(window) && IsDialogWindow(window))
        search.found.push_back(window);
    return TRUE;
}

}  // namespace

bool HasExitSwitch(const wchar_t* commandLine)
{
    return commandLine && wcsstr(commandLine, kSwitch) != nullptr;
}

bool CloseRunningProgram(int maxRounds, DWORD pauseMs, UINT sendTimeoutMs)
{
    for (int round = 0; round < maxRounds; ++round) {
        HWND window = FindWindowW(kExitWindowClass, nullptr);
        if (!window)
            return true;
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, sendTimeoutMs, &answer);
        Sleep(pauseMs);
    }
    return FindWindowW(kExitWindowClass, nullptr) == nullptr;
}

ExitWindow::~ExitWindow()
{
    Destroy();
}

bool ExitWindow::Create(HINSTANCE instance)
{
    if (m_window)
        return true;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    if (!GetClassInfoExW(instance, kExitWindowClass, &windowClass)) {
        windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kExitWindowClass;
        if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
    }
    // A top-level window (FindWindowW does not see message-only windows) that is never shown.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, kExitWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
    return m_window != nullptr;
}

void ExitWindow::Destroy()
{
    if (m_window) {
        DestroyWindow(m_window);
        m_window = nullptr;
    }
}

HWND ExitWindow::FindTopDialog(DWORD threadId, HWND exception)
{
    DialogSearch search = {exception, {}};
    EnumThreadWindows(threadId, CollectDialog, reinterpret_cast<LPARAM>(&search));
    HWND active = threadId == GetCurrentThreadId() ? GetActiveWindow() : nullptr;
    HWND best = nullptr;
    int bestDepth = -1;
    for (HWND window : search.found) {
        const int depth = OwnerDepth(window);
        if (depth > bestDepth || (depth == bestDepth && window == active)) {
            best = window;
            bestDepth = depth;
        }
    }
    return best;
}

LRESULT CALLBACK ExitWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        // One window per request: the sender asks again until this window is gone. A menu being
        // tracked would keep its own loop going, so it goes first.
        EndMenu();
        if (HWND top = FindTopDialog(GetCurrentThreadId(), window))
            PostMessageW(top, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
