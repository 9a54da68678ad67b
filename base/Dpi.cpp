#include "base/Dpi.h"

#include <atomic>

#include "base/GdiOwners.h"
#include "base/Log.h"
#include "base/SystemExport.h"
#include "base/WinVersion.h"

namespace {

constexpr int kBaseDpi = 96;

// Set on the user-interface thread; painting code on other threads only reads it.
std::atomic<int> g_dpi{kBaseDpi};

// GetDpiForMonitor of shcore.dll (Windows 8.1); the first enum value 0 is MDT_EFFECTIVE_DPI.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0;

}  // namespace

int GetDpi()
{
    return g_dpi.load(std::memory_order_relaxed);
}

int SetDpi(int dpi)
{
    return g_dpi.exchange(dpi, std::memory_order_relaxed);
}

int ScalePixelsForDpi(int pixels)
{
    const int dpi = GetDpi();
    if (dpi == kBaseDpi)
        return pixels;
    return static_cast<int>(pixels / 96.0 * dpi);
}

int PointsToFontHeight(int points)
{
    return -MulDiv(points, GetDpi(), 72);
}

int GetDesktopDpi()
{
    WindowDc dc(GetDesktopWindow());
    if (!dc)
        return kBaseDpi;
    const int dpi = GetDeviceCaps(dc.Get(), LOGPIXELSY);
    return dpi > 0 ? dpi : kBaseDpi;
}

int GetMonitorDpi(HMONITOR monitor)
{
    if (!IsWindows81OrLater())
        return GetDesktopDpi();
    auto query = FindSystemExportAs<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    if (!query) {
        LogMessage(L"shcore.dll / GetDpiForMonitor not found");
        // Callers scale and divide by the answer: the desktop's DPI is the safe stand-in.
        return GetDesktopDpi();
    }
    UINT dpiX = kBaseDpi;
    UINT dpiY = kBaseDpi;
    // A failing call leaves both at 96.
    query(monitor, kEffectiveDpi, &dpiX, &dpiY);
    return dpiX > 0 ? static_cast<int>(dpiX) : kBaseDpi;
}

int GetDpiAtPoint(int x, int y)
{
    POINT pt = {x, y};
    return GetMonitorDpi(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST));
}
