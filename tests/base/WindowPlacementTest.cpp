#include "base/WindowPlacement.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <vector>

#include "FakeSystem.h"

namespace {

HWND Popup(int x, int y, int width, int height)
{
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, x, y, width, height, nullptr,
                                  nullptr, nullptr, nullptr);
    EXPECT_NE(window, nullptr);
    return window;
}

RECT Rect(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

MONITORINFO PrimaryMonitor()
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return info;
}

class Placement : public testing::Test {
protected:
    void TearDown() override
    {
        for (HWND w : windows_)
            DestroyWindow(w);
    }
    HWND Make(int x, int y, int width, int height)
    {
        windows_.push_back(Popup(x, y, width, height));
        return windows_.back();
    }

    const RECT work_ = PrimaryMonitor().rcWork;
    const RECT monitor_ = PrimaryMonitor().rcMonitor;
    const int workWidth_ = work_.right - work_.left;

private:
    std::vector<HWND> windows_;
};

TEST_F(Placement, CenterWindowOnCentresAndKeepsInsideTheWorkArea)
{
    const LONG l = work_.left, t = work_.top, r = work_.right, b = work_.bottom;
    struct Case {
        const char* what;
        RECT reference;
        int width, height;
        LONG x, y;
    } cases[] = {
        {"centred", {l + 100, t + 100, l + 500, t + 400}, 200, 100, l + 200, t + 200},
        // (100 - 221) >> 1 is -61 (toward minus infinity), (100 - 101) >> 1 is -1.
        {"odd halves", {l + 500, t + 300, l + 600, t + 400}, 221, 101, l + 439, t + 299},
        {"right edge", {r - 100, t + 100, r, t + 200}, 300, 50, r - 300, t + 125},
        {"bottom edge", {l + 100, b - 40, l + 300, b}, 100, 200, l + 150, b - 200},
        {"left and top edges", {l, t, l + 40, t + 40}, 200, 200, l, t},
        // Wider than the work area: the left edge goes in first...
        {"wide, starts left", {l, t + 100, r, t + 200}, workWidth_ + 200, 50, l, t + 125},
        // ...and a window whose centred left edge is inside overhangs on the left.
        {"wide, starts inside", {r - 100, t + 100, r, t + 200}, workWidth_ + 200, 50, r - workWidth_ - 200, t + 125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RECT& ref = c.reference;
        HWND reference = Make(ref.left, ref.top, ref.right - ref.left, ref.bottom - ref.top);
        HWND window = Make(7, 9, c.width, c.height);
        ASSERT_EQ(Rect(reference).right, ref.right);
        EXPECT_TRUE(CenterWindowOn(window, reference));
        RECT placed = Rect(window);
        EXPECT_EQ(placed.left, c.x);
        EXPECT_EQ(placed.top, c.y);
        EXPECT_EQ(placed.right - placed.left, c.width) << "size unchanged";
    }
}

TEST_F(Placement, CenterWindowOnTheDesktopUsesTheMonitorUnderTheCursor)
{
    ASSERT_TRUE(SetCursorPos(monitor_.left + 10, monitor_.top + 10));
    HWND window = Make(0, 0, 201, 100);
    EXPECT_TRUE(CenterWindowOn(window, GetDesktopWindow()));
    RECT placed = Rect(window);
    EXPECT_EQ(placed.left, monitor_.left + ((monitor_.right - monitor_.left - 201) >> 1));
    EXPECT_EQ(placed.top, monitor_.top + ((monitor_.bottom - monitor_.top - 100) >> 1));
    EXPECT_FALSE(CenterWindowOn(nullptr, GetDesktopWindow()));
}

TEST_F(Placement, MoveWindowIntoWorkAreaShiftsTheWindowInside)
{
    const LONG l = work_.left, t = work_.top, r = work_.right, b = work_.bottom;
    struct Case {
        POINT to;
        LONG x, y;
    } cases[] = {
        {{l + 50, t + 60}, l + 50, t + 60},
        {{r - 100, t + 50}, r - 300, t + 50},
        {{l + 20, b - 10}, l + 20, b - 200},
        {{l - 50, t - 70}, l, t},
        {{r + 500, b + 500}, r - 300, b - 200},
    };
    HWND window = Make(0, 0, 300, 200);
    for (const auto& c : cases) {
        EXPECT_TRUE(MoveWindowIntoWorkArea(window, c.to.x, c.to.y));
        RECT placed = Rect(window);
        EXPECT_EQ(placed.left, c.x) << c.to.x << "," << c.to.y;
        EXPECT_EQ(placed.top, c.y) << c.to.x << "," << c.to.y;
        EXPECT_EQ(placed.right - placed.left, 300);
    }
    EXPECT_FALSE(MoveWindowIntoWorkArea(nullptr, 10, 10));
}

std::vector<DPI_AWARENESS_CONTEXT> g_contexts;
DPI_AWARENESS_CONTEXT WINAPI RecordContext(DPI_AWARENESS_CONTEXT context)
{
    g_contexts.push_back(context);
    return reinterpret_cast<DPI_AWARENESS_CONTEXT>(static_cast<intptr_t>(0x77));
}

TEST_F(Placement, MoveWindowIntoWorkAreaRunsPerMonitorAwareAndRestores)
{
    HWND window = Make(0, 0, 30, 20);
    FakeSystem system(10, 0);
    system.Replace("SetThreadDpiAwarenessContext", &RecordContext);
    g_contexts.clear();
    EXPECT_TRUE(MoveWindowIntoWorkArea(window, work_.left + 5, work_.top + 5));
    ASSERT_EQ(g_contexts.size(), 2u);
    EXPECT_EQ(g_contexts[0], reinterpret_cast<DPI_AWARENESS_CONTEXT>(-3));
    EXPECT_EQ(g_contexts[1], reinterpret_cast<DPI_AWARENESS_CONTEXT>(0x77));
}

}  // namespace
