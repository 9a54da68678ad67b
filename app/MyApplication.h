// MyApplication: the program's application object. It lives on the stack of the entry function
// for the whole run and sets up what every window needs: the common controls, the random
// generator, the format plug-ins, the language table and the skin.
//
// Its message loop shows the wait cursor while one message takes longer than about 125 ms. The
// program itself runs the modal dialog loops instead; the loop is kept for windows that want it.
#pragma once
#include <windows.h>

#include "ui/NWinApp.h"

class MyApplication : public NWinApp {
public:
    // The name given to the framework: the settings key under HKEY_CURRENT_USER.
    static constexpr const wchar_t* kName = L"Software\\Delvarin\\Delvarin Vastrel 2";

    // Sets everything up; a second object made while one is registered stays inert.
    explicit MyApplication(HINSTANCE instance);
    ~MyApplication() override;

    // The message loop with the busy cursor: answers the exit code of WM_QUIT (its low 16 bits),
    // or -1 when GetMessageW fails.
    int Run() override;
};

// The program's application object, or null before it is made and after it is gone.
MyApplication* GetMyApplication();
// Forgets the application object (shut-down does this before the object is destroyed).
void ClearMyApplication();
// The module instance for resource loads; null before the application object is made.
HINSTANCE GetAppInstance();

// "<program folder>\PlugIns"; false when the program folder cannot be had or the path would not
// fit MAX_PATH (then no plug-ins are loaded).
bool GetPlugInFolder(const wchar_t* programFolder, wchar_t (&folder)[MAX_PATH]);

// The busy cursor of the message loop. The hook and the watchdog start with the loop's first
// message; RestoreBusyCursor ends a busy period early and puts the replaced cursor back.
LRESULT CALLBACK BusyCursorHook(int code, WPARAM wParam, LPARAM lParam);
DWORD WINAPI BusyCursorWatchdog(void* parameter);
void RestoreBusyCursor();
