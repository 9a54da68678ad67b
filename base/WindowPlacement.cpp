#include "base/WindowPlacement.h"

#include "base/DpiAwareness.h"

namespace {

bool WorkAreaOf(HMONITOR monitor, RECT& work, RECT* whole)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        return false;
    work = info.rcWork;
    if (whole)
        *whole = info.rcMonitor;
    return true;
}

// The left (top) edge goes inside first, so a window larger than the area overhangs at the far side.
int KeepInside(int position, int length, LONG low, LONG high)
{
    if (position < low)
        return low;
    if (position + length > high)
        return high - length;
    return position;
}

}  // namespace

bool CenterWindowOn(HWND window, HWND reference)
{
    RECT area;
    RECT work;
    if (reference == GetDesktopWindow()) {
        POINT cursor = {};
        GetCursorPos(&cursor);
        if (!WorkAreaOf(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), work, &area))
            return false;
    } else {
        if (!GetWindowRect(reference, &area) ||
            !WorkAreaOf(MonitorFromWindow(reference, MONITOR_DEFAULTTOPRIMARY), work, nullptr))
            return false;
    }
    RECT own;
    if (!GetWindowRect(window, &own))
        return false;
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    // Halving by shift rounds toward minus infinity.
    int x = area.left + (((area.right - area.left) - width) >> 1);
    int y = area.top + (((area.bottom - area.top) - height) >> 1);
    x = KeepInside(x, width, work.left, work.right);
    y = KeepInside(y, height, work.top, work.bottom);
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER) != FALSE;
}

bool MoveWindowIntoWorkArea(HWND window, int x, int y)
{
    DPI_AWARENESS_CONTEXT previous = SwitchThreadDpiContext(PerMonitorAwareContext());
    bool moved = false;
    RECT work;
    RECT own;
    if (WorkAreaOf(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTOPRIMARY), work, nullptr) &&
        GetWindowRect(window, &own)) {
        x = KeepInside(x, own.right - own.left, work.left, work.right);
        y = KeepInside(y, own.bottom - own.top, work.top, work.bottom);
        moved = SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
    }
    SwitchThreadDpiContext(previous);
    return moved;
}
