// NWindow: the base class of every window, dialog and control of the framework.
//
// It binds a system window to an object and turns the window's messages into calls of the
// object's virtual handlers. A window comes to its object by creation (CreateEx, Create), by
// attachment with subclassing (Attach), or, for dialogs, while the system creates it. The binding
// lives in the application object's window map only (never in the window's own data); the creation
// hook binds a new window before it receives its first message. A window's entry leaves the map
// when the window is destroyed, when the object detaches, and when the object is destroyed.
//
// Errors inside an operation are reported to the library log and answered with the operation's
// failure value (false, null or 0); nothing is thrown out of the class.
#pragma once
#include <windows.h>

#include "base/IconOwner.h"

struct NThreadData;

class NWindow {
public:
    NWindow();
    virtual ~NWindow();
    NWindow(const NWindow&) = delete;
    NWindow& operator=(const NWindow&) = delete;

    // Binds an existing window and subclasses it.
    virtual bool Attach(HWND window);
    virtual bool AttachDlgItem(int controlId, NWindow* parent);
    virtual HWND CreateAt(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect,
                          HWND parent, HMENU menuOrId, void* parameter);
    // className null or empty: a class of its own is registered ("_NWindow-" and a GUID).
    // Answers the window (the existing one when the object has one already), null on failure.
    virtual HWND CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU menuOrId, void* parameter);
    // Creates from the creation parameters that PreCreateWindow fills.
    virtual HWND Create(HWND parent = nullptr, const wchar_t* title = nullptr, DWORD style = 0, DWORD exStyle = 0);
    // Unbinds: the window gets its own procedure back; answers the handle the object had.
    virtual HWND Detach();
    // Destroys the icons and the window; the object stays bound until it detaches or dies.
    virtual void Destroy();

    // From the window up through its parents as long as it is a child of its parent.
    static HWND GetTopParent(HWND window);
    // The object bound to the handle, or null.
    static NWindow* FromHandle(HWND window);

    // The bound window while it exists, else null.
    virtual HWND GetHwnd() const;
    // Finds the control a parent's message is about and answers its OnMessageReflect (0 without).
    virtual LRESULT ReflectMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // A control's answer to a message reflected from its parent; the base colours WM_CTLCOLOR*
    // through the skin and answers 0 to everything else.
    virtual LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnNotifyReflect(WPARAM wParam, NMHDR* header);
    // Fills the creation parameters (the base copies cs, with the application's instance).
    virtual void PreCreateWindow(CREATESTRUCTW& cs);
    // Registers a class routed through StaticWindowProc; an existing class is used as it is.
    virtual bool RegisterClassEx(WNDCLASSEXW& windowClass);
    virtual void SetParent(HWND parent);
    virtual bool SetFont(HFONT font);
    virtual HFONT GetFont() const;
    virtual bool SetStyle(DWORD style);
    virtual DWORD GetStyle() const;
    virtual bool SetExStyle(DWORD exStyle);
    virtual DWORD GetExStyle() const;
    virtual bool ModifyStyle(DWORD remove, DWORD add);
    virtual bool ModifyExStyle(DWORD remove, DWORD add);
    // Answers whether the window was disabled before.
    virtual bool EnableWindow(bool enable);
    // The object keeps a copy of the icon and destroys it when replaced and at the end.
    virtual void SetBigIcon(HICON icon);
    virtual HICON LoadBigIcon(int resourceId);
    virtual void SetSmallIcon(HICON icon);
    virtual HICON LoadSmallIcon(int resourceId);
    virtual HICON GetSmallIcon() const;
    virtual HICON GetBigIcon() const;
    virtual void SetUserData(void* data);
    virtual void* GetUserData() const;
    virtual bool HasBackgroundImage() const;

    // Handlers.
    virtual LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    // Called on a control for a WM_COMMAND its parent received.
    virtual LRESULT OnCommandReflect(WPARAM wParam, LPARAM lParam);
    // Answers the OnNotifyReflect of the notification's source, 0 when it has no object.
    virtual LRESULT OnNotify(WPARAM wParam, NMHDR* header);
    virtual void OnCreate();
    virtual void OnCreated();
    virtual void OnPaint(HDC dc);
    virtual void OnSize(WPARAM wParam, LPARAM lParam);
    virtual void OnDestroy(WPARAM wParam, LPARAM lParam);
    virtual void OnGetMinMaxInfo(MINMAXINFO* info);

    // The creation hook binds the next window made on this thread to this object.
    virtual void RemoveHook();
    virtual void SetHook();  // throws NWinException when the hook cannot be installed
    virtual void Subclass();
    // Registers newClass as a copy of systemClass routed through this framework; the system
    // class's procedure becomes the object's previous procedure.
    virtual void Superclass(const wchar_t* systemClass, const wchar_t* newClass);
    virtual LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT CallPrevWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticCBTProc(int code, WPARAM wParam, LPARAM lParam);

    NThreadData* GetThreadRecord() const { return m_threadData; }
    WNDPROC GetPrevWndProc() const { return m_prevWndProc; }
    HWND GetParentHwnd() const { return m_hParent; }

protected:
    // The previous procedure when there is one, else DefWindowProcW.
    LRESULT DefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // A window bound to this object has died: its handle is no longer this object's.
    void ForgetHandle(HWND window);

    CREATESTRUCTW m_cs;
    HWND m_hWnd;
    HWND m_hParent;
    NThreadData* m_threadData;
    IconOwner m_bigIcon;
    IconOwner m_smallIcon;
    WNDPROC m_prevWndProc;
    void* m_userData;
};
