#include "base/DpiAwareness.h"

#include "base/Dpi.h"
#include "base/Log.h"
#include "base/SystemExport.h"
#include "base/WinVersion.h"

namespace {

using SetProcessDpiAwarenessFn = HRESULT(WINAPI*)(int);
using EnableNonClientDpiScalingFn = BOOL(WINAPI*)(HWND);
using SetThreadDpiAwarenessContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

constexpr int kProcessPerMonitorDpiAware = 2;

// Runs fn with the thread switched to the context, then switches back.
template <typename Fn>
auto WithThreadDpiContext(DPI_AWARENESS_CONTEXT context, Fn fn)
{
    DPI_AWARENESS_CONTEXT previous = SwitchThreadDpiContext(context);
    auto result = fn();
    SwitchThreadDpiContext(previous);
    return result;
}

}  // namespace

bool MakeProcessDpiAware()
{
    return SetProcessDPIAware() != FALSE;
}

bool MakeProcessPerMonitorDpiAware()
{
    bool ok = IsWindows10OrLater() ? SetProcessDpiAwarenessPerMonitor() : MakeProcessDpiAware();
    SetDpi(GetDesktopDpi());
    return ok;
}

bool SetProcessDpiAwarenessPerMonitor()
{
    auto set = FindSystemExportAs<SetProcessDpiAwarenessFn>(L"shcore.dll", "SetProcessDpiAwareness");
    if (!set) {
        LogMessage(L"shcore.dll / SetProcessDpiAwareness not found");
        return false;
    }
    return SUCCEEDED(set(kProcessPerMonitorDpiAware));
}

bool EnableNonClientDpiScalingFor(HWND window)
{
    if (!IsWindows10OrLater())
        return true;
    auto enable = FindSystemExportAs<EnableNonClientDpiScalingFn>(L"User32.dll", "EnableNonClientDpiScaling");
    if (!enable) {
        LogMessage(L"User32.dll / EnableNonClientDpiScaling not found");
        return false;
    }
    return enable(window) != FALSE;
}

DPI_AWARENESS_CONTEXT SwitchThreadDpiContext(DPI_AWARENESS_CONTEXT context)
{
    if (!IsWindows10OrLater())
        return SystemAwareContext();
    auto set = FindSystemExportAs<SetThreadDpiAwarenessContextFn>(L"User32.dll", "SetThreadDpiAwarenessContext");
    if (!set) {
        LogMessage(L"User32.dll / SetThreadDpiAwarenessContext not found");
        return nullptr;
    }
    return set(context);
}

bool GetSaveFileNameSystemAware(OPENFILENAMEW* ofn)
{
    if (!ofn)
        return false;
    return WithThreadDpiContext(SystemAwareContext(), [&] { return GetSaveFileNameW(ofn) != FALSE; });
}

bool GetOpenFileNameSystemAware(OPENFILENAMEW* ofn)
{
    if (!ofn)
        return false;
    return WithThreadDpiContext(SystemAwareContext(), [&] { return GetOpenFileNameW(ofn) != FALSE; });
}

bool GetCursorPosPerMonitor(POINT* pt)
{
    if (!pt)
        return false;
    return WithThreadDpiContext(PerMonitorAwareContext(), [&] { return GetCursorPos(pt) != FALSE; });
}
