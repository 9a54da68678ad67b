// The application object: registration, per-thread records, the window map and the message loop.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "UiTest.h"
#include "UiTestSupport.h"
#include "common/TestFiles.h"
#include "ui/NWinApp.h"
#include "ui/NWindow.h"

namespace {

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

// Counts its WM_DESTROY, remembers commands and the last user message.
class CountingWindow : public NWindow {
public:
    int destroyed = 0;
    int commands = 0;
    WPARAM lastCommand = 0;
    UINT lastKeyDown = 0;
    void OnDestroy(WPARAM, LPARAM) override { ++destroyed; }
    LRESULT OnCommand(WPARAM wParam, LPARAM) override
    {
        ++commands;
        lastCommand = wParam;
        return 0;
    }
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_KEYDOWN)
            lastKeyDown = static_cast<UINT>(wParam);
        return NWindow::WndProc(window, message, wParam, lParam);
    }
    HWND Make() { return CreateEx(0, nullptr, L"counting", WS_OVERLAPPEDWINDOW, 0, 0, 100, 80, nullptr, nullptr, nullptr); }
};

}  // namespace

TEST(WinApp, OnlyTheFirstApplicationObjectRegisters)
{
    EXPECT_EQ(NGetApp(), nullptr);
    {
        NWinApp app(Instance(), 0, NString(L"First"));
        ASSERT_EQ(NGetApp(), &app);
        EXPECT_TRUE(app.IsRegistered());
        EXPECT_EQ(std::wstring(app.GetAppName().c_str()), L"First");
        EXPECT_NE(app.GetTlsIndex(), TLS_OUT_OF_INDEXES);
        EXPECT_EQ(app.GetAccelerators(), nullptr);
        EXPECT_EQ(app.GetInstance(), Instance());

        CountingWindow window;
        ASSERT_NE(window.Make(), nullptr);
        {
            LogWatch log;
            NWinApp second(Instance(), 0, NString(L"Second"));
            EXPECT_FALSE(second.IsRegistered());
            EXPECT_EQ(NGetApp(), &app);
            EXPECT_EQ(std::wstring(second.GetAppName().c_str()), L"");
            EXPECT_TRUE(log.Saw(
                "Text: Error!  An instance of NWinApp (or a class derived from NWinApp) is already running"));
        }
        // The second object's end left the first one and its windows alone.
        EXPECT_EQ(NGetApp(), &app);
        EXPECT_NE(app.GetTlsIndex(), TLS_OUT_OF_INDEXES);
        EXPECT_EQ(app.FindWindowObject(window.GetHwnd()), &window);
        EXPECT_EQ(window.destroyed, 0);
    }
    EXPECT_EQ(NGetApp(), nullptr);
}

TEST(WinApp, ThreadRecordsAreMadeOncePerThread)
{
    NWinApp app(Instance(), 0, NString(L"Threads"));
    NThreadData* first = app.GetThreadData();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->creatingWindow, nullptr);
    EXPECT_EQ(first->creationHook, nullptr);
    EXPECT_EQ(first->menuBar, nullptr);
    EXPECT_EQ(first->menuFilterHook, nullptr);
    EXPECT_EQ(app.GetThreadData(), first);

    NThreadData* other = nullptr;
    NThreadData* otherAgain = nullptr;
    std::thread worker([&] {
        other = app.GetThreadData();
        otherAgain = app.GetThreadData();
    });
    worker.join();
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_EQ(otherAgain, other);

    // A window object takes the record of the thread that made it.
    NWindow window;
    EXPECT_EQ(window.GetThreadRecord(), first);
}

TEST(WinApp, DestroyingTheApplicationDestroysBoundWindows)
{
    auto app = std::make_unique<NWinApp>(Instance(), 0, NString(L"Owner"));
    CountingWindow a;
    CountingWindow b;
    HWND ha = a.Make();
    HWND hb = b.Make();
    ASSERT_TRUE(ha && hb);
    app.reset();
    EXPECT_FALSE(IsWindow(ha));
    EXPECT_FALSE(IsWindow(hb));
    EXPECT_EQ(a.destroyed, 1);
    EXPECT_EQ(b.destroyed, 1);
    EXPECT_EQ(a.GetHwnd(), nullptr);
    EXPECT_EQ(NGetApp(), nullptr);
}

TEST(WinApp, FindWindowObjectAnswersOnlyForLiveBoundWindows)
{
    NWinApp app(Instance(), 0, NString(L"Find"));
    EXPECT_EQ(app.FindWindowObject(nullptr), nullptr);

    HWND unbound = CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Instance(), nullptr);
    ASSERT_NE(unbound, nullptr);
    EXPECT_EQ(app.FindWindowObject(unbound), nullptr);
    DestroyWindow(unbound);

    CountingWindow window;
    HWND handle = window.Make();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(app.FindWindowObject(handle), &window);
    EXPECT_EQ(NWindow::FromHandle(handle), &window);
    DestroyWindow(handle);
    EXPECT_EQ(app.FindWindowObject(handle), nullptr);
    // The dead window's entry is gone, not just hidden behind IsWindow.
    app.LockMap();
    EXPECT_EQ(app.GetWindowMap().count(handle), 0u);
    app.UnlockMap();
}

TEST(WinApp, WindowMapKeepsTheFirstBindingAndRemovesAllEntriesOfAnObject)
{
    NWinApp app(Instance(), 0, NString(L"Map"));
    CountingWindow first;
    CountingWindow second;
    HWND a = first.Make();
    HWND b = second.Make();
    ASSERT_TRUE(a && b);
    app.BindWindow(a, &second);  // a is bound already: the first binding wins
    EXPECT_EQ(app.FindWindowObject(a), &first);
    app.BindWindow(reinterpret_cast<HWND>(0x12340), &second);
    app.UnbindWindow(&second);
    app.LockMap();
    EXPECT_EQ(app.GetWindowMap().count(b), 0u);
    EXPECT_EQ(app.GetWindowMap().count(reinterpret_cast<HWND>(0x12340)), 0u);
    EXPECT_EQ(app.GetWindowMap().count(a), 1u);
    app.UnlockMap();
}

TEST(WinApp, ModuleDirIsTheProgramFolder)
{
    NWinApp app(Instance(), 0, NString(L"Dir"));
    EXPECT_EQ(std::wstring(app.GetModuleDir().c_str()), ProgramFolder());
}

TEST(WinApp, MessageLoopDispatchesAndTranslatesAcceleratorsOfTheMainWindow)
{
    {
        NWinApp app(Instance(), 0, NString(L"Loop"));
        CountingWindow window;
        HWND handle = window.Make();
        ASSERT_NE(handle, nullptr);
        PostMessageW(handle, WM_KEYDOWN, VK_F5, 0);
        PostMessageW(handle, WM_COMMAND, 77, 0);
        PostQuitMessage(0x10005);
        EXPECT_EQ(app.Run(), 5);  // the low 16 bits of the exit code
        EXPECT_EQ(window.lastKeyDown, static_cast<UINT>(VK_F5));
        EXPECT_EQ(window.commands, 1);
    }
    {
        NWinApp app(Instance(), IDA_TEST, NString(L"Accelerators"));
        ASSERT_NE(app.GetAccelerators(), nullptr);
        CountingWindow window;
        HWND handle = window.Make();
        ASSERT_NE(handle, nullptr);
        app.SetMainWindow(&window);
        EXPECT_EQ(app.GetMainWindow(), &window);
        PostMessageW(handle, WM_KEYDOWN, VK_F5, 0);
        PostQuitMessage(0);
        EXPECT_EQ(app.Run(), 0);
        EXPECT_EQ(window.lastKeyDown, 0u);  // translated, not dispatched
        EXPECT_EQ(window.commands, 1);
        EXPECT_EQ(LOWORD(window.lastCommand), ID_TEST_COMMAND);
    }
}
