// The window base class: creation through the hook, class registration, attachment, message
// routing and reflection.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/NWinApp.h"
#include "ui/NWindow.h"

namespace {

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

class WindowTest : public testing::Test {
protected:
    NWinApp app{Instance(), 0, NString(L"WindowTest")};
};

// Records every message it is given and the handler calls.
class RecordingWindow : public NWindow {
public:
    std::vector<UINT> messages;
    int created = 0;
    int createdAfter = 0;
    int paints = 0;
    int commands = 0;
    int commandReflections = 0;
    int notifyReflections = 0;
    std::vector<UINT> reflected;
    LRESULT reflectAnswer = 0;
    LRESULT notifyAnswer = 0;

    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back(message);
        return NWindow::WndProc(window, message, wParam, lParam);
    }
    void OnCreate() override { ++created; }
    void OnCreated() override { ++createdAfter; }
    COLORREF paintColour = RGB(255, 0, 0);
    void OnPaint(HDC dc) override
    {
        ++paints;
        RECT client{};
        GetClientRect(m_hWnd, &client);
        HBRUSH brush = CreateSolidBrush(paintColour);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    LRESULT OnCommand(WPARAM, LPARAM) override
    {
        ++commands;
        return 0;
    }
    LRESULT OnCommandReflect(WPARAM, LPARAM) override
    {
        ++commandReflections;
        return 0;
    }
    LRESULT OnNotifyReflect(WPARAM, NMHDR*) override
    {
        ++notifyReflections;
        return notifyAnswer;
    }
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        reflected.push_back(message);
        return reflectAnswer ? reflectAnswer : NWindow::OnMessageReflect(message, wParam, lParam);
    }
    bool Saw(UINT message) const
    {
        for (UINT m : messages)
            if (m == message)
                return true;
        return false;
    }
    HWND MakeTop(const wchar_t* title = L"top")
    {
        return CreateEx(0, nullptr, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 240, 160, nullptr, nullptr,
                        nullptr);
    }
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[300] = {};
    GetClassNameW(window, name, 300);
    return name;
}

HWND MakeChild(const wchar_t* cls, HWND parent, int id, const wchar_t* text = L"child", DWORD style = 0)
{
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 24, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
}

}  // namespace

TEST_F(WindowTest, CreatedWindowGetsItsFirstMessagesThroughItsObject)
{
    RecordingWindow window;
    HWND handle = window.MakeTop();
    ASSERT_NE(handle, nullptr);
    ASSERT_GE(window.messages.size(), 3u);
    EXPECT_EQ(window.messages[0], static_cast<UINT>(WM_GETMINMAXINFO));
    EXPECT_EQ(window.messages[1], static_cast<UINT>(WM_NCCREATE));
    EXPECT_TRUE(window.Saw(WM_CREATE));
    EXPECT_EQ(window.created, 1);
    EXPECT_EQ(window.createdAfter, 1);
    EXPECT_EQ(window.GetHwnd(), handle);
    EXPECT_EQ(NWindow::FromHandle(handle), &window);

    // Without a class name each window gets a class of its own: "_NWindow-" and a GUID in braces.
    const std::wstring cls = ClassOf(handle);
    EXPECT_EQ(cls.rfind(L"_NWindow-{", 0), 0u);
    EXPECT_EQ(cls.size(), 9u + 38u);
    RecordingWindow other;
    ASSERT_NE(other.MakeTop(), nullptr);
    EXPECT_NE(ClassOf(other.GetHwnd()), cls);
}

TEST_F(WindowTest, OwnWindowPaintsInOnPaint)
{
    RecordingWindow window;
    window.paintColour = RGB(0, 160, 80);
    ASSERT_NE(window.MakeTop(), nullptr);
    Capture capture;
    ASSERT_TRUE(CaptureClient(window.GetHwnd(), capture));
    EXPECT_GE(window.paints, 1);
    EXPECT_EQ(capture.At(0, 0), RGB(0, 160, 80));
    EXPECT_EQ(capture.Count(RGB(0, 160, 80)), capture.width * capture.height);
}

TEST_F(WindowTest, CreatingTwiceKeepsTheFirstWindow)
{
    RecordingWindow window;
    HWND first = window.CreateEx(0, L"NTestTwice", L"Twice", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ClassOf(first), L"NTestTwice");
    LogWatch log;
    EXPECT_EQ(window.CreateEx(0, L"NTestTwice", L"Again", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr), first);
    EXPECT_TRUE(log.Saw("NWindow::CreateEx HWND already exists: NTestTwice - Again"));
}

TEST_F(WindowTest, ClassNamesMustHaveOneTo260Characters)
{
    NWindow window;
    struct Case {
        size_t length;
        bool registers;
    } cases[] = {{0, false}, {261, false}, {255, true}};  // an atom holds at most 255
    for (const Case& c : cases) {
        std::wstring name(c.length, L'n');
        WNDCLASSEXW windowClass{};
        windowClass.lpszClassName = name.c_str();
        LogWatch log;
        EXPECT_EQ(window.RegisterClassEx(windowClass), c.registers) << c.length;
        EXPECT_EQ(log.Saw("Wnd::RegisterClassEx   Invalid class name"), !c.registers) << c.length;
    }
    WNDCLASSEXW noName{};
    EXPECT_FALSE(window.RegisterClassEx(noName));

    // A registered class routes through the framework, with the defaults filled in.
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetClassInfoExW(Instance(), std::wstring(255, L'n').c_str(), &info));
    EXPECT_EQ(info.lpfnWndProc, &NWindow::StaticWindowProc);
    EXPECT_NE(info.hCursor, nullptr);
    EXPECT_EQ(info.hbrBackground, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

TEST_F(WindowTest, CreateUsesTheParametersOfPreCreateWindow)
{
    class Configured : public RecordingWindow {
    public:
        void PreCreateWindow(CREATESTRUCTW& cs) override
        {
            RecordingWindow::PreCreateWindow(cs);
            m_cs.lpszClass = L"NTestConfigured";
            m_cs.lpszName = L"stored title";
            m_cs.x = 20;
            m_cs.y = 30;
            m_cs.cx = 150;
            m_cs.cy = 90;
            m_cs.style = WS_POPUP;
        }
    };
    Configured window;
    HWND handle = window.Create();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(ClassOf(handle), L"NTestConfigured");
    wchar_t title[64] = {};
    GetWindowTextW(handle, title, 64);
    EXPECT_STREQ(title, L"stored title");
    RECT rect{};
    GetWindowRect(handle, &rect);
    EXPECT_EQ(rect.left, 20);
    EXPECT_EQ(rect.right - rect.left, 150);
    EXPECT_TRUE(window.GetStyle() & WS_POPUP);
}

TEST_F(WindowTest, AttachSubclassesAndDetachRestores)
{
    RecordingWindow parent;
    ASSERT_NE(parent.MakeTop(), nullptr);
    HWND edit = MakeChild(L"EDIT", parent.GetHwnd(), 101, L"hello");
    ASSERT_NE(edit, nullptr);
    const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);

    RecordingWindow control;
    ASSERT_TRUE(control.AttachDlgItem(101, &parent));
    EXPECT_EQ(control.GetHwnd(), edit);
    EXPECT_EQ(control.GetParentHwnd(), parent.GetHwnd());
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&NWindow::StaticWindowProc));
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"routed"));
    EXPECT_TRUE(control.Saw(WM_SETTEXT));
    wchar_t text[32] = {};
    GetWindowTextW(edit, text, 32);
    EXPECT_STREQ(text, L"routed");  // the edit's own procedure still does the work

    LogWatch log;
    EXPECT_FALSE(control.Attach(edit));
    EXPECT_TRUE(log.Saw("Window already attached to this NWindow object"));
    EXPECT_FALSE(control.Attach(nullptr));

    EXPECT_EQ(control.Detach(), edit);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), original);
    EXPECT_EQ(NWindow::FromHandle(edit), nullptr);
    control.messages.clear();
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"own"));
    GetWindowTextW(edit, text, 32);
    EXPECT_STREQ(text, L"own");
    EXPECT_TRUE(control.messages.empty());

    EXPECT_TRUE(control.Attach(edit));
    EXPECT_EQ(NWindow::FromHandle(edit), &control);
}

TEST_F(WindowTest, ParentMessagesAreReflectedToTheControlTheyConcern)
{
    RecordingWindow parent;
    ASSERT_NE(parent.MakeTop(), nullptr);
    HWND staticItem = MakeChild(L"STATIC", parent.GetHwnd(), 201);
    HWND button = MakeChild(L"BUTTON", parent.GetHwnd(), 202);
    RecordingWindow staticControl;
    RecordingWindow buttonControl;
    ASSERT_TRUE(staticControl.Attach(staticItem));
    ASSERT_TRUE(buttonControl.Attach(button));
    HBRUSH brush = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    staticControl.reflectAnswer = reinterpret_cast<LRESULT>(brush);
    buttonControl.reflectAnswer = reinterpret_cast<LRESULT>(brush);

    HDC dc = GetDC(staticItem);
    EXPECT_EQ(SendMessageW(parent.GetHwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(staticItem)),
              reinterpret_cast<LRESULT>(brush));
    ASSERT_EQ(staticControl.reflected.size(), 1u);
    SendMessageW(parent.GetHwnd(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(button));
    EXPECT_TRUE(buttonControl.reflected.empty());  // never reflected
    ReleaseDC(staticItem, dc);

    // WM_PARENTNOTIFY: a child's creation is reflected to it, a click is not.
    SendMessageW(parent.GetHwnd(), WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 0), MAKELPARAM(5, 5));
    SendMessageW(parent.GetHwnd(), WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 201), reinterpret_cast<LPARAM>(staticItem));
    ASSERT_EQ(staticControl.reflected.size(), 2u);
    EXPECT_EQ(staticControl.reflected[1], static_cast<UINT>(WM_PARENTNOTIFY));

    // WM_COMMAND from a control: its reflection first, then the parent's own handler.
    SendMessageW(parent.GetHwnd(), WM_COMMAND, MAKEWPARAM(202, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    EXPECT_EQ(buttonControl.commandReflections, 1);
    EXPECT_EQ(parent.commands, 1);

    // WM_NOTIFY goes to the source's OnNotifyReflect, whose answer the parent returns.
    NMHDR header{staticItem, 201, static_cast<UINT>(NM_CLICK)};
    staticControl.notifyAnswer = 42;
    EXPECT_EQ(SendMessageW(parent.GetHwnd(), WM_NOTIFY, 201, reinterpret_cast<LPARAM>(&header)), 42);
    EXPECT_EQ(staticControl.notifyReflections, 1);
}

TEST_F(WindowTest, BaseReflectionColoursControlsThroughTheSkin)
{
    TestSkin skin;
    RecordingWindow parent;
    ASSERT_NE(parent.MakeTop(), nullptr);
    HWND edit = MakeChild(L"EDIT", parent.GetHwnd(), 301);
    NWindow control;
    ASSERT_TRUE(control.Attach(edit));
    HDC dc = GetDC(edit);
    SendMessageW(parent.GetHwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(skin.ctlColorCalls, 1);
    EXPECT_EQ(skin.lastMessage, static_cast<UINT>(WM_CTLCOLOREDIT));
    EXPECT_EQ(skin.lastControl, edit);
    EXPECT_EQ(skin.lastBackground, nullptr);
    EXPECT_EQ(skin.lastStaticColour, static_cast<COLORREF>(0xFF00FF));
    // Other reflected messages get 0 from the base.
    EXPECT_EQ(control.OnMessageReflect(WM_DRAWITEM, 0, 0), 0);
    ReleaseDC(edit, dc);
}

TEST_F(WindowTest, SubclassedControlPaintsBeforeOnPaint)
{
    RecordingWindow parent;
    ASSERT_NE(parent.MakeTop(), nullptr);
    HWND label = CreateWindowExW(0, L"STATIC", L"MMMMMMMM", WS_CHILD | WS_VISIBLE, 10, 10, 150, 40, parent.GetHwnd(),
                                 nullptr, Instance(), nullptr);
    class PaintOrder : public NWindow {
    public:
        std::vector<int> order;  // 1: the static's own painting seen, 2: OnPaint
        LRESULT CallPrevWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message == WM_PAINT)
                order.push_back(1);
            return NWindow::CallPrevWndProc(window, message, wParam, lParam);
        }
        void OnPaint(HDC dc) override { order.push_back(dc ? 2 : 0); }
    };
    PaintOrder control;
    ASSERT_TRUE(control.Attach(label));
    Capture capture;
    ASSERT_TRUE(CaptureClient(label, capture));
    ASSERT_GE(control.order.size(), 2u);
    EXPECT_EQ(control.order[0], 1);
    EXPECT_EQ(control.order[1], 2);
    // The static's own painting reached the screen: its text is there.
    const COLORREF background = capture.At(capture.width - 2, capture.height - 2);
    int other = 0;
    for (int y = 0; y < capture.height; ++y)
        for (int x = 0; x < capture.width; ++x)
            other += capture.At(x, y) != background ? 1 : 0;
    EXPECT_GT(other, 10);
}

TEST_F(WindowTest, DeadWindowsLeaveTheMapAndUnboundWindowsAreReported)
{
    RecordingWindow window;
    HWND first = window.MakeTop();
    ASSERT_NE(first, nullptr);
    DestroyWindow(first);
    EXPECT_EQ(window.GetHwnd(), nullptr);
    app.LockMap();
    EXPECT_EQ(app.GetWindowMap().count(first), 0u);
    app.UnlockMap();
    // The object can make a new window at once.
    LogWatch log;
    HWND second = window.MakeTop();
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(log.Saw("already exists"));

    // A detached window of a framework class has no object: its messages are reported and get
    // the system's default handling.
    EXPECT_EQ(window.Detach(), second);
    EXPECT_EQ(SendMessageW(second, WM_USER + 5, 0, 0), 0);
    EXPECT_TRUE(log.Saw("NWindow::StaticWindowProc .. Failed to route message"));
    DestroyWindow(second);
}

TEST_F(WindowTest, SuperclassRoutesThroughTheObjectToTheSystemClass)
{
    RecordingWindow parent;
    ASSERT_NE(parent.MakeTop(), nullptr);
    RecordingWindow button;
    button.Superclass(L"Button", L"NTestButton");
    ASSERT_NE(button.GetPrevWndProc(), nullptr);
    HWND handle = button.CreateEx(0, L"NTestButton", L"Press", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 5, 5, 100, 20,
                                  parent.GetHwnd(), reinterpret_cast<HMENU>(7), nullptr);
    ASSERT_NE(handle, nullptr);
    SendMessageW(handle, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(handle, BM_GETCHECK, 0, 0), BST_CHECKED);  // the button's own procedure
    EXPECT_TRUE(button.Saw(BM_SETCHECK));
}

TEST_F(WindowTest, ParentsStylesIconsAndEnabling)
{
    RecordingWindow top;
    ASSERT_NE(top.MakeTop(), nullptr);
    HWND child = MakeChild(L"STATIC", top.GetHwnd(), 1);
    HWND grandchild = MakeChild(L"STATIC", child, 2);
    EXPECT_EQ(NWindow::GetTopParent(grandchild), top.GetHwnd());
    EXPECT_EQ(NWindow::GetTopParent(top.GetHwnd()), top.GetHwnd());

    RecordingWindow other;
    ASSERT_NE(other.MakeTop(L"other"), nullptr);
    NWindow control;
    ASSERT_TRUE(control.Attach(grandchild));
    LogWatch log;
    control.SetParent(reinterpret_cast<HWND>(0x7FFF0));
    EXPECT_TRUE(log.Saw("NWindow::SetParent ... Failed to set parent"));
    EXPECT_EQ(GetParent(grandchild), child);
    control.SetParent(other.GetHwnd());
    EXPECT_EQ(GetParent(grandchild), other.GetHwnd());

    EXPECT_TRUE(top.ModifyStyle(WS_MAXIMIZEBOX, WS_BORDER));
    EXPECT_FALSE(top.GetStyle() & WS_MAXIMIZEBOX);
    EXPECT_TRUE(top.ModifyExStyle(0, WS_EX_TOOLWINDOW));
    EXPECT_TRUE(top.GetExStyle() & WS_EX_TOOLWINDOW);

    EXPECT_FALSE(top.EnableWindow(false));  // it was enabled
    EXPECT_TRUE(top.EnableWindow(true));    // it was disabled

    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    top.SetSmallIcon(icon);
    top.SetBigIcon(icon);
    EXPECT_NE(top.GetSmallIcon(), nullptr);
    EXPECT_NE(top.GetSmallIcon(), icon);  // the object's own copy
    EXPECT_NE(top.GetBigIcon(), nullptr);

    int data = 5;
    top.SetUserData(&data);
    EXPECT_EQ(top.GetUserData(), &data);
    EXPECT_FALSE(top.HasBackgroundImage());
}

TEST(WindowWithoutApp, CannotCreateWindows)
{
    ASSERT_EQ(NGetApp(), nullptr);
    LogWatch log;
    NWindow window;
    EXPECT_TRUE(log.Saw("NGetApp() == nullptr"));
    EXPECT_EQ(window.GetThreadRecord(), nullptr);
    EXPECT_EQ(window.CreateEx(0, nullptr, L"none", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(log.Saw("NWindow::SetHook ... SetWindowsHookEx Failed"));
}
