// Process and thread DPI awareness. The newer switches are looked up at run time, so the
// program still starts on systems that lack them; a missing export is logged and answered with
// false or 0, and the caller goes on without the feature.
#pragma once
#include <windows.h>
#include <commdlg.h>

// SetProcessDPIAware. The application calls it once at start, then SetDpi(GetDesktopDpi()).
bool MakeProcessDpiAware();
// Below Windows 10 MakeProcessDpiAware, from 10 on SetProcessDpiAwarenessPerMonitor; then the
// DPI value becomes the desktop's. Answers the result of the awareness call.
bool MakeProcessPerMonitorDpiAware();
// SetProcessDpiAwareness(PROCESS_PER_MONITOR_DPI_AWARE) of shcore.dll.
bool SetProcessDpiAwarenessPerMonitor();
// EnableNonClientDpiScaling of user32.dll from Windows 10 on; true without a call before.
bool EnableNonClientDpiScalingFor(HWND window);

// The thread contexts the program uses.
inline DPI_AWARENESS_CONTEXT SystemAwareContext() { return reinterpret_cast<DPI_AWARENESS_CONTEXT>(-2); }
inline DPI_AWARENESS_CONTEXT PerMonitorAwareContext() { return reinterpret_cast<DPI_AWARENESS_CONTEXT>(-3); }

// SetThreadDpiAwarenessContext from Windows 10 on, answering the previous context, which the
// caller hands back afterwards to restore it. Below Windows 10 nothing is called and the answer
// is the system-aware context; when the export is missing the answer is 0.
DPI_AWARENESS_CONTEXT SwitchThreadDpiContext(DPI_AWARENESS_CONTEXT context);

// The common file dialogs run system aware; the thread's context is restored afterwards.
bool GetSaveFileNameSystemAware(OPENFILENAMEW* ofn);
bool GetOpenFileNameSystemAware(OPENFILENAMEW* ofn);
// GetCursorPos in per-monitor aware (physical) coordinates.
bool GetCursorPosPerMonitor(POINT* pt);
