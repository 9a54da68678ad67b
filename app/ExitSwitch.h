// The "-exit" switch: starting the program as `"...\vst.exe" -exit` closes a running copy of it.
//
// The running program keeps a hidden top-level window of class "VSTClass" (ExitWindow) while its
// start window is open. The second start sends that window WM_CLOSE, pauses and looks again until
// the window is gone; each WM_CLOSE closes the running program's top-most open window (a message
// box, the result window, the scan window, which cancels its scan, and last the start window), so
// the program ends through its normal shut-down.
#pragma once
#include <windows.h>

inline constexpr const wchar_t* kExitWindowClass = L"VSTClass";

// True when the command line holds the characters .exe, a double quote, a blank and -exit: the
// quoted program path followed by the switch.
bool HasExitSwitch(const wchar_t* commandLine);

// Sends WM_CLOSE to the top-level window of class "VSTClass" and pauses, as long as one is found,
// for at most maxRounds rounds; a program that does not answer within sendTimeoutMs is not waited
// for further in that round. Answers true when no such window is left.
bool CloseRunningProgram(int maxRounds = 100, DWORD pauseMs = 300, UINT sendTimeoutMs = 5000);

// The running program's side: the hidden "VSTClass" window, made on the user-interface thread.
class ExitWindow {
public:
    ExitWindow() = default;
    ~ExitWindow();  // destroys the window
    ExitWindow(const ExitWindow&) = delete;
    ExitWindow& operator=(const ExitWindow&) = delete;

    // Registers the class (once per process) and makes the window; false when either fails.
    bool Create(HINSTANCE instance);
    void Destroy();
    HWND GetHwnd() const { return m_window; }

    // The thread's top-most open dialog other than the exception: of the visible, enabled
    // dialog windows of the thread, the one with the longest chain of owners; among equals the
    // thread's active window, else the first in z-order. Null when there is none.
    static HWND FindTopDialog(DWORD threadId, HWND exception);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
};
