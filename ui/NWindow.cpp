#include "ui/NWindow.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>

#include "base/Log.h"
#include "base/NString.h"
#include "ui/NWinApp.h"
#include "ui/NWinException.h"
#include "ui/SkinSeam.h"

namespace {

constexpr int kClassNameUnits = 128;

// "_NWindow-" and the text form of a new GUID; the caller's class name instead when it has one.
void MakeClassName(wchar_t (&name)[kClassNameUnits], const wchar_t* given)
{
    name[0] = L'\0';
    if (given && *given) {
        std::wcsncpy(name, given, kClassNameUnits - 1);
        name[kClassNameUnits - 1] = L'\0';
        return;
    }
    GUID guid{};
    wchar_t guidText[64] = {};
    LPOLESTR text = nullptr;
    if (SUCCEEDED(CoCreateGuid(&guid)) && SUCCEEDED(StringFromCLSID(guid, &text)) && text) {
        std::wcsncpy(guidText, text, 63);
        CoTaskMemFree(text);
    } else {
        // No GUID: a counter still keeps the name unique in this process.
        static LONG counter = 0;
        _snwprintf(guidText, 63, L"{%08lX-%08lX}", GetCurrentProcessId(), InterlockedIncrement(&counter));
    }
    _snwprintf(name, kClassNameUnits - 1, L"_NWindow-%s", guidText);
    name[kClassNameUnits - 1] = L'\0';
}

bool IsCtlColorMessage(UINT message)
{
    return message >= WM_CTLCOLOREDIT && message <= WM_CTLCOLORSTATIC;
}

}  // namespace

NWindow::NWindow()
    : m_hWnd(nullptr),
      m_hParent(nullptr),
      m_threadData(nullptr),
      m_prevWndProc(nullptr),
      m_userData(nullptr)
{
    std::memset(&m_cs, 0, sizeof(m_cs));
    try {
        NWinApp* app = NGetApp();
        if (!app)
            throw NWinException(L"NGetApp() == nullptr\n");
        NWindowMapLock lock(app);
        const DWORD index = app->GetTlsIndex();
        if (index != TLS_OUT_OF_INDEXES)
            m_threadData = static_cast<NThreadData*>(TlsGetValue(index));
        if (!m_threadData)
            m_threadData = app->GetThreadData();
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
}

NWindow::~NWindow()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    m_hParent = nullptr;
    m_bigIcon.Reset();
    m_smallIcon.Reset();
    if (NWinApp* app = NGetApp())
        app->UnbindWindow(this);
}

bool NWindow::Attach(HWND window)
{
    if (!window || !IsWindow(window))
        return false;
    try {
        NWinApp* app = NGetApp();
        if (!app)
            throw NWinException(L"NGetApp() == nullptr\n");
        if (GetHwnd())
            throw NWinException(L"Window already attached to this NWindow object\n");
        m_hWnd = window;
        Subclass();
        if (!m_prevWndProc) {
            m_hWnd = nullptr;
            throw NWinException(L"NWindow::Attach .. Subclass failed\n");
        }
        app->BindWindow(window, this);
        m_hWnd = window;
        m_hParent = ::GetParent(window);
        return true;
    } catch (const NWinException& error) {
        ReportWinException(error);
    } catch (...) {
    }
    return false;
}

bool NWindow::AttachDlgItem(int controlId, NWindow* parent)
{
    HWND parentWindow = parent ? parent->GetHwnd() : nullptr;
    return parentWindow && Attach(GetDlgItem(parentWindow, controlId));
}

HWND NWindow::CreateAt(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect,
                       HWND parent, HMENU menuOrId, void* parameter)
{
    return CreateEx(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent, menuOrId, parameter);
}

HWND NWindow::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                       int width, int height, HWND parent, HMENU menuOrId, void* parameter)
{
    const wchar_t* shownClass = className ? className : L"";
    const wchar_t* shownTitle = title ? title : L"";
    try {
        if (GetHwnd()) {
            NString text;
            text.Format(L"NWindow::CreateEx HWND already exists: %s - %s", shownClass, shownTitle);
            throw NWinException(text.c_str());
        }
        wchar_t name[kClassNameUnits];
        MakeClassName(name, className);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpszClassName = name;
        RegisterClassEx(windowClass);

        SetHook();
        m_hParent = parent;
        HWND created = CreateWindowExW(exStyle, name, title, style, x, y, width, height, parent, menuOrId,
                                       NGetAppInstance(), parameter);
        // The hook bound the window; a failed creation may have destroyed it already.
        m_hWnd = created;
        RemoveHook();
        if (!created) {
            NString text;
            text.Format(L"NWindow::CreateEx Failed to Create Window: %s - %s", shownClass, shownTitle);
            throw NWinException(text.c_str());
        }
        OnCreated();
    } catch (const NWinException& error) {
        RemoveHook();
        m_hParent = nullptr;
        ReportWinException(error);
    } catch (...) {
        RemoveHook();
        m_hParent = nullptr;
        NString text;
        text.Format(L"Unknown Exception NWindow::CreateEx %s - %s", shownClass, shownTitle);
        OutputDebugStringW(text.c_str());
        LogMessage(L"%s", text.c_str());
    }
    return GetHwnd();
}

HWND NWindow::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle)
{
    try {
        PreCreateWindow(m_cs);
        HWND parentWindow = parent ? parent : m_hParent;
        DWORD windowStyle = m_cs.style;
        if (windowStyle == 0)
            windowStyle = parentWindow ? (WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN) : (WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        windowStyle |= style;
        const DWORD windowExStyle = m_cs.dwExStyle | exStyle;
        int x = CW_USEDEFAULT, y = CW_USEDEFAULT, cx = CW_USEDEFAULT, cy = CW_USEDEFAULT;
        if (m_cs.cx != 0 && m_cs.cy != 0) {
            x = m_cs.x;
            y = m_cs.y;
            cx = m_cs.cx;
            cy = m_cs.cy;
        }
        const wchar_t* windowTitle = title ? title : m_cs.lpszName;
        // A class name given in the parameters is used; without one CreateEx makes a class.
        if (!CreateEx(windowExStyle, m_cs.lpszClass, windowTitle, windowStyle, x, y, cx, cy, parentWindow, m_cs.hMenu,
                      m_cs.lpCreateParams))
            throw NWinException(L"NWindow::Create ... CreateEx failed\n");
    } catch (const NWinException& error) {
        ReportWinException(error);
    } catch (...) {
    }
    return GetHwnd();
}

HWND NWindow::Detach()
{
    HWND window = m_hWnd;
    if (m_prevWndProc && window && IsWindow(window))
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_prevWndProc));
    m_prevWndProc = nullptr;
    m_hWnd = nullptr;
    m_hParent = nullptr;
    if (NWinApp* app = NGetApp())
        app->UnbindWindow(this);
    return window;
}

void NWindow::Destroy()
{
    m_bigIcon.Reset();
    m_smallIcon.Reset();
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    m_hParent = nullptr;
}

HWND NWindow::GetTopParent(HWND window)
{
    HWND current = window;
    for (;;) {
        HWND parent = ::GetParent(current);
        if (!parent || !IsChild(parent, current))
            return current;
        current = parent;
    }
}

NWindow* NWindow::FromHandle(HWND window)
{
    NWinApp* app = NGetApp();
    return app ? app->FindWindowObject(window) : nullptr;
}

HWND NWindow::GetHwnd() const
{
    return (m_hWnd && IsWindow(m_hWnd)) ? m_hWnd : nullptr;
}

LRESULT NWindow::ReflectMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = nullptr;
    switch (message) {
    case WM_DRAWITEM:
        if (lParam)
            control = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
        break;
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
        control = GetDlgItem(window, static_cast<int>(wParam));
        break;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        control = reinterpret_cast<HWND>(lParam);
        break;
    case WM_PARENTNOTIFY:
        if (LOWORD(wParam) == WM_CREATE || LOWORD(wParam) == WM_DESTROY)
            control = reinterpret_cast<HWND>(lParam);
        break;
    default:
        break;  // WM_CTLCOLORBTN and all others are not reflected
    }
    NWindow* object = control ? FromHandle(control) : nullptr;
    return object ? object->OnMessageReflect(message, wParam, lParam) : 0;
}

LRESULT NWindow::OnMessageReflect(UINT message, WPARAM wParam, LPARAM)
{
    if (!IsCtlColorMessage(message))
        return 0;
    HBRUSH brush = CurrentSkin().OnCtlColor(::GetParent(m_hWnd), message, reinterpret_cast<HDC>(wParam), m_hWnd,
                                            nullptr, kSkinStaticTextColour);
    return reinterpret_cast<LRESULT>(brush);
}

LRESULT NWindow::OnNotifyReflect(WPARAM, NMHDR*)
{
    return 0;
}

void NWindow::PreCreateWindow(CREATESTRUCTW& cs)
{
    if (&cs != &m_cs)
        m_cs = cs;
    m_cs.hInstance = NGetAppInstance();
}

bool NWindow::RegisterClassEx(WNDCLASSEXW& windowClass)
{
    try {
        const wchar_t* name = windowClass.lpszClassName;
        const size_t length = name ? wcsnlen(name, 261) : 0;
        if (length < 1 || length > 260)
            throw NWinException(L"Wnd::RegisterClassEx   Invalid class name");
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof(existing);
        if (GetClassInfoExW(NGetAppInstance(), name, &existing))
            return true;
        windowClass.cbSize = sizeof(WNDCLASSEXW);
        windowClass.hInstance = NGetAppInstance();
        windowClass.lpfnWndProc = StaticWindowProc;
        if (!windowClass.hbrBackground)
            windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        if (!windowClass.hCursor)
            windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        if (!windowClass.hIcon)
            windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        if (!windowClass.hIconSm)
            windowClass.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
        if (!::RegisterClassExW(&windowClass))
            throw NWinException(L"Failed to register Window Class");
        return true;
    } catch (const NWinException& error) {
        ReportWinException(error);
    } catch (...) {
    }
    return false;
}

void NWindow::SetParent(HWND parent)
{
    try {
        if (!parent || !IsWindow(parent))
            throw NWinException(L"NWindow::SetParent ... Failed to set parent");
        m_hParent = parent;
        if (GetHwnd())
            ::SetParent(m_hWnd, parent);
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
}

bool NWindow::SetFont(HFONT font)
{
    return SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE) == 1;
}

HFONT NWindow::GetFont() const
{
    return reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
}

bool NWindow::SetStyle(DWORD style)
{
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    return SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                        SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED) != FALSE;
}

DWORD NWindow::GetStyle() const
{
    return static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_STYLE));
}

bool NWindow::SetExStyle(DWORD exStyle)
{
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    return SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                        SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED) != FALSE;
}

DWORD NWindow::GetExStyle() const
{
    return static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE));
}

bool NWindow::ModifyStyle(DWORD remove, DWORD add)
{
    DWORD style = GetStyle();
    if (remove)
        style &= ~remove;
    return SetStyle(style | add);
}

bool NWindow::ModifyExStyle(DWORD remove, DWORD add)
{
    DWORD style = GetExStyle();
    if (remove)
        style &= ~remove;
    return SetExStyle(style | add);
}

bool NWindow::EnableWindow(bool enable)
{
    return ::EnableWindow(GetHwnd(), enable ? TRUE : FALSE) != FALSE;
}

void NWindow::SetBigIcon(HICON icon)
{
    m_bigIcon.Reset(icon ? CopyIcon(icon) : nullptr);
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.Get()));
}

HICON NWindow::LoadBigIcon(int resourceId)
{
    // The object keeps a copy of its own.
    const IconOwner icon(static_cast<HICON>(LoadImageW(NGetAppInstance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    SetBigIcon(icon.Get());
    return m_bigIcon.Get();
}

void NWindow::SetSmallIcon(HICON icon)
{
    m_smallIcon.Reset(icon ? CopyIcon(icon) : nullptr);
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.Get()));
}

HICON NWindow::LoadSmallIcon(int resourceId)
{
    const IconOwner icon(static_cast<HICON>(LoadImageW(NGetAppInstance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                       0)));
    SetSmallIcon(icon.Get());
    return m_smallIcon.Get();
}

HICON NWindow::GetSmallIcon() const
{
    return reinterpret_cast<HICON>(SendMessageW(m_hWnd, WM_GETICON, ICON_SMALL, 0));
}

HICON NWindow::GetBigIcon() const
{
    return reinterpret_cast<HICON>(SendMessageW(m_hWnd, WM_GETICON, ICON_BIG, 0));
}

void NWindow::SetUserData(void* data)
{
    m_userData = data;
}

void* NWindow::GetUserData() const
{
    return m_userData;
}

bool NWindow::HasBackgroundImage() const
{
    return false;
}

LRESULT NWindow::OnCommand(WPARAM, LPARAM)
{
    return 0;
}

LRESULT NWindow::OnCommandReflect(WPARAM, LPARAM)
{
    return 0;
}

LRESULT NWindow::OnNotify(WPARAM wParam, NMHDR* header)
{
    NWindow* source = header ? FromHandle(header->hwndFrom) : nullptr;
    return source ? source->OnNotifyReflect(wParam, header) : 0;
}

void NWindow::OnCreate() {}

void NWindow::OnCreated() {}

void NWindow::OnPaint(HDC) {}

void NWindow::OnSize(WPARAM, LPARAM) {}

void NWindow::OnDestroy(WPARAM, LPARAM) {}

void NWindow::OnGetMinMaxInfo(MINMAXINFO*) {}

void NWindow::RemoveHook()
{
    if (m_threadData && m_threadData->creationHook) {
        UnhookWindowsHookEx(m_threadData->creationHook);
        m_threadData->creationHook = nullptr;
        m_threadData->creatingWindow = nullptr;
    }
}

void NWindow::SetHook()
{
    if (!m_threadData)
        throw NWinException(L"NWindow::SetHook ... SetWindowsHookEx Failed");
    RemoveHook();  // a hook left from a creation that never happened
    HHOOK hook = SetWindowsHookExW(WH_CBT, StaticCBTProc, nullptr, GetCurrentThreadId());
    if (!hook)
        throw NWinException(L"NWindow::SetHook ... SetWindowsHookEx Failed");
    m_threadData->creationHook = hook;
    m_threadData->creatingWindow = this;
}

void NWindow::Subclass()
{
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC));
    if (current == StaticWindowProc) {
        // Already routed through the framework: its default is the system's.
        m_prevWndProc = DefWindowProcW;
        return;
    }
    m_prevWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticWindowProc)));
}

void NWindow::Superclass(const wchar_t* systemClass, const wchar_t* newClass)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (!systemClass || !newClass || !GetClassInfoExW(nullptr, systemClass, &windowClass))
        return;
    m_prevWndProc = windowClass.lpfnWndProc;
    windowClass.hInstance = NGetAppInstance();
    windowClass.lpszClassName = newClass;
    windowClass.lpfnWndProc = StaticWindowProc;
    RegisterClassEx(windowClass);
}

LRESULT NWindow::DefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_prevWndProc)
        return CallPrevWndProc(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT NWindow::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        break;
    case WM_DESTROY:
        OnDestroy(wParam, lParam);
        // A system control frees what it holds on WM_DESTROY.
        if (m_prevWndProc)
            CallPrevWndProc(window, message, wParam, lParam);
        return 0;
    case WM_SIZE:
        OnSize(wParam, lParam);
        break;
    case WM_PAINT: {
        if (m_prevWndProc)
            CallPrevWndProc(window, message, wParam, lParam);
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(window, &paint)) {
            OnPaint(dc);
            EndPaint(window, &paint);
        }
        return 0;
    }
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_PARENTNOTIFY:
        if (LRESULT result = ReflectMessage(window, message, wParam, lParam))
            return result;
        break;
    case WM_NOTIFY:
        if (LRESULT result = OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam)))
            return result;
        break;
    case WM_COMMAND: {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (NWindow* object = control ? FromHandle(control) : nullptr)
            object->OnCommandReflect(wParam, lParam);
        OnCommand(wParam, lParam);
        break;
    }
    default:
        break;
    }
    return DefaultProc(window, message, wParam, lParam);
}

LRESULT NWindow::CallPrevWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(m_prevWndProc, window, message, wParam, lParam);
}

void NWindow::ForgetHandle(HWND window)
{
    if (NWinApp* app = NGetApp())
        app->UnbindHandle(window);
    if (m_hWnd == window)
        m_hWnd = nullptr;
}

LRESULT CALLBACK NWindow::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    NWindow* object = FromHandle(window);
    if (!object) {
        ReportWinException(NWinException(L"NWindow::StaticWindowProc .. Failed to route message\n"));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // The handle dies with this message; a later window may be given the same value.
    if (message == WM_NCDESTROY)
        object->ForgetHandle(window);
    return object->WndProc(window, message, wParam, lParam);
}

LRESULT CALLBACK NWindow::StaticCBTProc(int code, WPARAM wParam, LPARAM lParam)
{
    NWinApp* app = NGetApp();
    NThreadData* record = nullptr;
    if (app && app->GetTlsIndex() != TLS_OUT_OF_INDEXES)
        record = static_cast<NThreadData*>(TlsGetValue(app->GetTlsIndex()));
    if (!record) {
        ReportWinException(NWinException(L"NWindow::StaticCBTProc ... Unable to get TLS"));
        return 0;
    }
    if (code != HCBT_CREATEWND)
        return CallNextHookEx(record->creationHook, code, wParam, lParam);

    if (record->creationHook) {
        UnhookWindowsHookEx(record->creationHook);
        record->creationHook = nullptr;
    }
    NWindow* object = record->creatingWindow;
    record->creatingWindow = nullptr;
    if (object) {
        HWND window = reinterpret_cast<HWND>(wParam);
        app->BindWindow(window, object);
        object->m_hWnd = window;
    }
    return 0;
}
