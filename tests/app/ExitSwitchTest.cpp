// The "-exit" switch: recognising it on a command line, and closing a running program through
// its hidden "VSTClass" window, top-most window first.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/ExitSwitch.h"

namespace {

TEST(ExitSwitchTest, SwitchNeedsTheQuotedProgramPathDirectlyBeforeIt)
{
    const struct {
        const wchar_t* commandLine;
        bool exits;
    } cases[] = {
        {L"\"C:\\Program Files\\Delvarin\\vst.exe\" -exit", true},
        {L"\"vst.exe\" -exit", true},
        {L"\"C:\\x\\vst.exe\" -exit -more", true},
        {L"\"C:\\x\\vst.exe\" \"D:\\other.exe\" -exit", true},  // anywhere in the line
        {L"\"C:\\x\\vst.exe\" -exitnow", true},                 // the characters, not a parsed word
        {L"C:\\x\\vst.exe -exit", false},                       // no quote after the extension
        {L"\"C:\\x\\vst.exe\"  -exit", false},                  // two blanks
        {L"\"C:\\x\\vst.exe\"\t-exit", false},
        {L"\"C:\\x\\vst.exe\" /exit", false},
        {L"\"C:\\x\\vst.exe\" -exi", false},
        {L"\"C:\\x\\vst.exe\" -Exit", false},
        {L"\"C:\\x\\vst.exe\"", false},
        {L"\"C:\\x\\vst\" -exit", false},
        {L"", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasExitSwitch(c.commandLine), c.exits) << (c.commandLine ? c.commandLine : L"(null)");
}

// A minimal dialog template: visible, captioned, no items.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE header = {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME, 0, 0, 10, 10, 120, 60};
    WORD menu = 0, windowClass = 0, title = 0, padding = 0;
};

// Two dialogs, the second modal over the first; each records its close.
struct NestedDialogs {
    EmptyDialogTemplate dialogTemplate;
    HANDLE innerUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<char> closed;
    ~NestedDialogs() { CloseHandle(innerUp); }

    static constexpr UINT kOpenInner = WM_APP + 1;

    static INT_PTR CALLBACK Outer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<NestedDialogs*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            PostMessageW(dialog, kOpenInner, 0, 0);
            return TRUE;
        case kOpenInner:
            DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &self->dialogTemplate.header, dialog, Inner,
                                    reinterpret_cast<LPARAM>(self));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                self->closed.push_back('O');
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        }
        return FALSE;
    }

    static INT_PTR CALLBACK Inner(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<NestedDialogs*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetEvent(reinterpret_cast<NestedDialogs*>(lParam)->innerUp);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                self->closed.push_back('I');
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        }
        return FALSE;
    }
};

// Runs the thread's messages until the event is set.
void PumpUntil(HANDLE event)
{
    while (MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

TEST(ExitSwitchTest, ExitWindowIsAHiddenTopLevelWindowFoundByItsClass)
{
    ASSERT_EQ(FindWindowW(kExitWindowClass, nullptr), nullptr) << "another VSTClass window is open";
    {
        ExitWindow window;
        ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr)));
        EXPECT_EQ(FindWindowW(kExitWindowClass, nullptr), window.GetHwnd());
        EXPECT_FALSE(IsWindowVisible(window.GetHwnd()));
        // With no dialog open, a close request changes nothing, the window stays.
        SendMessageW(window.GetHwnd(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(window.GetHwnd()));
        // A second window of the same process registers nothing new.
        ExitWindow second;
        EXPECT_TRUE(second.Create(GetModuleHandleW(nullptr)));
    }
    EXPECT_EQ(FindWindowW(kExitWindowClass, nullptr), nullptr);
}

TEST(ExitSwitchTest, ClosesTheTopMostDialogFirstAndEndsWhenTheProgramGoes)
{
    NestedDialogs dialogs;
    ExitWindow window;
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr)));

    std::atomic<int> answer{-1};
    std::atomic<DWORD> took{0};
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread closer([&] {
        WaitForSingleObject(dialogs.innerUp, 20000);
        const DWORD start = GetTickCount();
        answer = CloseRunningProgram(100, 50, 5000) ? 1 : 0;
        took = GetTickCount() - start;
        SetEvent(done);
    });
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialogs.dialogTemplate.header,
                                                   nullptr, NestedDialogs::Outer, reinterpret_cast<LPARAM>(&dialogs));
    EXPECT_EQ(result, IDCANCEL);
    // The program's shut-down begins: the window goes and the sender stops.
    window.Destroy();
    PumpUntil(done);
    closer.join();
    CloseHandle(done);

    EXPECT_EQ(std::string(dialogs.closed.begin(), dialogs.closed.end()), "IO");
    EXPECT_EQ(answer.load(), 1);
    EXPECT_LT(took.load(), 20000u);
}

TEST(ExitSwitchTest, SenderGivesUpAfterItsRoundsWhenTheWindowStays)
{
    ExitWindow window;
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr)));
    std::atomic<int> answer{-1};
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread closer([&] {
        answer = CloseRunningProgram(4, 20, 1000) ? 1 : 0;
        SetEvent(done);
    });
    PumpUntil(done);
    closer.join();
    CloseHandle(done);
    EXPECT_EQ(answer.load(), 0);
    EXPECT_TRUE(IsWindow(window.GetHwnd()));
}

TEST(ExitSwitchTest, TopDialogSkipsHiddenDisabledAndForeignWindows)
{
    EmptyDialogTemplate dialogTemplate;
    HWND visible = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialogTemplate.header, nullptr,
                                              [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(visible, nullptr);
    dialogTemplate.header.style &= ~WS_VISIBLE;
    HWND hidden = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialogTemplate.header, visible,
                                             [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(hidden, nullptr);
    // A plain window is no dialog, whatever its owner chain.
    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, visible, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(plain, nullptr);

    EXPECT_EQ(ExitWindow::FindTopDialog(GetCurrentThreadId(), nullptr), visible);
    EXPECT_EQ(ExitWindow::FindTopDialog(GetCurrentThreadId(), visible), nullptr);
    EnableWindow(visible, FALSE);
    EXPECT_EQ(ExitWindow::FindTopDialog(GetCurrentThreadId(), nullptr), nullptr);
    DestroyWindow(plain);
    DestroyWindow(hidden);
    DestroyWindow(visible);
}

}  // namespace
