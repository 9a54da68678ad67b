// The program's entry: the "-exit" switch, start-up, the start window, and shut-down in a fixed
// order (the plug-ins go only after the language table and OLE).
#include <windows.h>
#include <ole2.h>

#include <optional>

#include "app/AppSettings.h"
#include "app/CrashReport.h"
#include "app/ExitSwitch.h"
#include "app/InetHandler.h"
#include "app/LanguageDlg.h"
#include "app/MyApplication.h"
#include "app/StartUpDlg.h"
#include "base/Dpi.h"
#include "base/DpiAwareness.h"
#include "imagefile/PlugInHost.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // A second start with the switch closes the running program and does nothing else.
    if (HasExitSwitch(GetCommandLineW())) {
        CloseRunningProgram();
        return 1;
    }

    // A failing OleInitialize is not reported; the program goes on without OLE.
    const bool oleReady = SUCCEEDED(OleInitialize(nullptr));
    MakeProcessDpiAware();
    SetDpi(GetDesktopDpi());

    // Crash reporting, unless a debugger is attached; a failed install is reported in a box.
    SetUpCrashReporting();
    LoadSettings();
    g_DlvInetHandler.Init();

    {
        MyApplication application(instance);
        std::optional<StartUpDlg> startUp;
        startUp.emplace(GetDesktopWindow());
        {
            // The "-exit" switch of a second start finds the program through this window.
            ExitWindow exitWindow;
            exitWindow.Create(instance);
            startUp->DoModal(true);
        }

        // The start window has shut the internet library down already when it was destroyed.
        SaveSettings();
        g_DlvInetHandler.OnAppShutDown();
        OutputDebugStringW(L"Main: MessageLoop finished, g_DlvInetHandler.OnAppShutDown()\n");
        Language_Uninitialize();
        OutputDebugStringW(L"Main: MessageLoop finished, Language_Uninitialize\n");
        if (oleReady)
            OleUninitialize();
        OutputDebugStringW(L"Main: MessageLoop finished, OleUninitialize\n");
        UninitializePlugIns();
        OutputDebugStringW(L"Main: MessageLoop finished, UninitializePlugIns\n");

        startUp.reset();
        ClearMyApplication();
    }
    // Crash reporting is uninstalled by the handler's destructor when the process exits.
    return 1;
}
