#include "base/DpiAwareness.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <vector>

#include "FakeSystem.h"
#include "base/Dpi.h"

namespace {

// A stand-in SetThreadDpiAwarenessContext that records what it is asked and answers a made-up
// previous context.
std::vector<DPI_AWARENESS_CONTEXT> g_switches;
DPI_AWARENESS_CONTEXT WINAPI RecordSwitch(DPI_AWARENESS_CONTEXT context)
{
    g_switches.push_back(context);
    return reinterpret_cast<DPI_AWARENESS_CONTEXT>(static_cast<intptr_t>(0x4711 + g_switches.size()));
}

DPI_AWARENESS_CONTEXT Context(intptr_t value)
{
    return reinterpret_cast<DPI_AWARENESS_CONTEXT>(value);
}

TEST(SwitchThreadDpiContext, BelowWindows10AnswersSystemAwareWithoutACall)
{
    FakeSystem system(6, 3);
    system.Replace("SetThreadDpiAwarenessContext", &RecordSwitch);
    g_switches.clear();
    EXPECT_EQ(SwitchThreadDpiContext(PerMonitorAwareContext()), Context(-2));
    EXPECT_TRUE(g_switches.empty());
}

TEST(SwitchThreadDpiContext, FromWindows10OnSwitchesThroughUser32)
{
    FakeSystem system(10, 0);
    system.Replace("SetThreadDpiAwarenessContext", &RecordSwitch);
    g_switches.clear();
    EXPECT_EQ(SwitchThreadDpiContext(PerMonitorAwareContext()), Context(0x4712));
    ASSERT_EQ(g_switches.size(), 1u);
    EXPECT_EQ(g_switches[0], Context(-3));
    EXPECT_EQ(FakeSystem::Lookups().back(), "user32.dll!SetThreadDpiAwarenessContext");
}

TEST(SwitchThreadDpiContext, LogsAMissingExportAndAnswersZero)
{
    FakeSystem system(10, 0);
    system.Remove("SetThreadDpiAwarenessContext");
    LogWatch log;
    EXPECT_EQ(SwitchThreadDpiContext(SystemAwareContext()), nullptr);
    EXPECT_NE(log.NewText().find(": User32.dll / SetThreadDpiAwarenessContext not found\r\n"), std::string::npos);
}

TEST(SwitchThreadDpiContext, RestoresTheRealThreadContext)
{
    if (!IsWindows10OrLater())
        GTEST_SKIP() << "the system has no thread DPI contexts";
    DPI_AWARENESS_CONTEXT before = GetThreadDpiAwarenessContext();
    DPI_AWARENESS_CONTEXT previous = SwitchThreadDpiContext(PerMonitorAwareContext());
    EXPECT_TRUE(AreDpiAwarenessContextsEqual(GetThreadDpiAwarenessContext(), PerMonitorAwareContext()));
    SwitchThreadDpiContext(previous);
    EXPECT_TRUE(AreDpiAwarenessContextsEqual(GetThreadDpiAwarenessContext(), before));
}

// The wrappers run their call under one context and hand back exactly what the switch answered.
TEST(ThreadDpiWrappers, RunUnderTheirContextAndRestoreIt)
{
    FakeSystem system(10, 0);
    system.Replace("SetThreadDpiAwarenessContext", &RecordSwitch);
    struct Case {
        const char* name;
        bool (*run)();
        intptr_t context;
        bool expected;
    } cases[] = {
        {"save dialog", [] { OPENFILENAMEW ofn = {}; return GetSaveFileNameSystemAware(&ofn); }, -2, false},
        {"open dialog", [] { OPENFILENAMEW ofn = {}; return GetOpenFileNameSystemAware(&ofn); }, -2, false},
        {"cursor", [] { POINT pt; return GetCursorPosPerMonitor(&pt); }, -3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_switches.clear();
        EXPECT_EQ(c.run(), c.expected);  // a zero structure size makes the dialogs fail at once
        ASSERT_EQ(g_switches.size(), 2u);
        EXPECT_EQ(g_switches[0], Context(c.context));
        EXPECT_EQ(g_switches[1], Context(0x4712)) << "the answer of the first switch";
    }
}

TEST(GetCursorPosPerMonitor, ReadsTheCursor)
{
    ASSERT_TRUE(SetCursorPos(40, 30));
    POINT pt = {};
    ASSERT_TRUE(GetCursorPosPerMonitor(&pt));
    EXPECT_EQ(pt.x, 40);
    EXPECT_EQ(pt.y, 30);
    EXPECT_FALSE(GetCursorPosPerMonitor(nullptr));
}

HWND g_scaledWindow;
BOOL WINAPI RecordNonClientScaling(HWND window)
{
    g_scaledWindow = window;
    return TRUE;
}
HRESULT g_awarenessAnswer;
int g_awarenessAsked;
HRESULT WINAPI RecordProcessAwareness(int value)
{
    g_awarenessAsked = value;
    return g_awarenessAnswer;
}

TEST(EnableNonClientDpiScalingFor, CallsUser32FromWindows10On)
{
    HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
    {
        FakeSystem system(6, 3);
        system.Replace("EnableNonClientDpiScaling", &RecordNonClientScaling);
        g_scaledWindow = nullptr;
        EXPECT_TRUE(EnableNonClientDpiScalingFor(window));
        EXPECT_EQ(g_scaledWindow, nullptr);
    }
    {
        FakeSystem system(10, 0);
        system.Replace("EnableNonClientDpiScaling", &RecordNonClientScaling);
        EXPECT_TRUE(EnableNonClientDpiScalingFor(window));
        EXPECT_EQ(g_scaledWindow, window);
        EXPECT_EQ(FakeSystem::Lookups().back(), "user32.dll!EnableNonClientDpiScaling");
    }
    FakeSystem system(10, 0);
    system.Remove("EnableNonClientDpiScaling");
    LogWatch log;
    EXPECT_FALSE(EnableNonClientDpiScalingFor(window));
    EXPECT_NE(log.NewText().find(": User32.dll / EnableNonClientDpiScaling not found\r\n"), std::string::npos);
}

TEST(SetProcessDpiAwarenessPerMonitor, AsksShcoreForPerMonitorAwareness)
{
    FakeSystem system(10, 0);
    system.Replace("SetProcessDpiAwareness", &RecordProcessAwareness);
    g_awarenessAnswer = S_OK;
    EXPECT_TRUE(SetProcessDpiAwarenessPerMonitor());
    EXPECT_EQ(g_awarenessAsked, 2);
    EXPECT_EQ(FakeSystem::Lookups().back(), "shcore.dll!SetProcessDpiAwareness");
    g_awarenessAnswer = E_ACCESSDENIED;
    EXPECT_FALSE(SetProcessDpiAwarenessPerMonitor());

    system.Remove("SetProcessDpiAwareness");
    LogWatch log;
    EXPECT_FALSE(SetProcessDpiAwarenessPerMonitor());
    EXPECT_NE(log.NewText().find(": shcore.dll / SetProcessDpiAwareness not found\r\n"), std::string::npos);
}

TEST(MakeProcessPerMonitorDpiAware, TakesTheDesktopDpiWhateverTheAnswer)
{
    int saved = SetDpi(50);
    {
        FakeSystem system(10, 0);
        system.Replace("SetProcessDpiAwareness", &RecordProcessAwareness);
        g_awarenessAnswer = E_ACCESSDENIED;
        g_awarenessAsked = 0;
        EXPECT_FALSE(MakeProcessPerMonitorDpiAware());
        EXPECT_EQ(g_awarenessAsked, 2);
        EXPECT_EQ(GetDpi(), GetDesktopDpi());
    }
    {
        FakeSystem system(6, 1);
        system.Replace("SetProcessDpiAwareness", &RecordProcessAwareness);
        g_awarenessAsked = 0;
        SetDpi(50);
        EXPECT_TRUE(MakeProcessPerMonitorDpiAware()) << "SetProcessDPIAware below Windows 10";
        EXPECT_EQ(g_awarenessAsked, 0);
        EXPECT_EQ(GetDpi(), GetDesktopDpi());
    }
    SetDpi(saved);
    EXPECT_TRUE(MakeProcessDpiAware());
}

}  // namespace
