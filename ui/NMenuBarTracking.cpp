#include "ui/NMenuBar.h"

#include <algorithm>

#include "ui/NWinApp.h"

namespace {

NThreadData* ThreadRecord()
{
    NWinApp* app = NGetApp();
    if (!app || app->GetTlsIndex() == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<NThreadData*>(TlsGetValue(app->GetTlsIndex()));
}

}  // namespace

void NMenuBar::OnMenuChar(wchar_t key)
{
    if (!m_popupOpen)
        OpenByMnemonic(key);
}

void NMenuBar::OnSysCommand(UINT command, wchar_t key)
{
    if ((command & 0xFFF0) != SC_KEYMENU)
        return;
    if (key) {
        OpenByMnemonic(key);
    } else {
        EnterMenuMode();
        m_keyboardMode = 1;
        SetHotItem(0);
    }
}

void NMenuBar::InstallFilterHook()
{
    RemoveFilterHook();
    if (!m_threadData)
        return;
    m_threadData->menuFilterHook = SetWindowsHookExW(WH_MSGFILTER, MsgFilterProc, nullptr, GetCurrentThreadId());
}

void NMenuBar::RemoveFilterHook()
{
    if (m_threadData && m_threadData->menuFilterHook) {
        UnhookWindowsHookEx(m_threadData->menuFilterHook);
        m_threadData->menuFilterHook = nullptr;
    }
}

BOOL NMenuBar::TrackPopup(HMENU popup, int x, int y, UINT flags)
{
    HMENU saved = m_menu;
    m_menu = popup;
    m_submenuSelected = 1;
    m_selectedMenu = nullptr;
    m_popupOpen = 1;
    m_contextPopup = true;
    InstallFilterHook();
    const BOOL result = TrackPopupMenuEx(popup, flags, x, y, m_hWnd, nullptr);
    RemoveFilterHook();
    m_menu = saved;
    m_contextPopup = false;
    m_popupOpen = 0;
    return result;
}

int NMenuBar::OpenByMnemonic(wchar_t key)
{
    UINT command = 0;
    if (!Send(TB_MAPACCELERATORW, key, reinterpret_cast<LPARAM>(&command)))
        return 0;
    EnterMenuMode();
    m_keyboardMode = 1;
    SetHotItem(static_cast<int>(command));
    m_popupOpen = 1;
    PostMessageW(m_hWnd, kOpenPopupMessage, 0, 0);
    return 1;
}

void NMenuBar::OpenPopup()
{
    if (m_keyboardMode)
        PostMessageW(m_hWnd, WM_KEYDOWN, VK_DOWN, 0);
    m_exitEndsMode = 0;
    m_keyboardMode = 0;
    GetCursorPos(&m_cursor);
    RECT rect{};
    Send(TB_GETITEMRECT, m_hotIndex, reinterpret_cast<LPARAM>(&rect));
    MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    m_currentPopup = GetSubMenu(m_menu, m_hotIndex);
    if (!m_currentPopup)
        return;
    const int opened = m_hotIndex;
    const bool empty = GetMenuItemCount(m_currentPopup) <= 0;
    Send(TB_SETHOTITEM, m_hotIndex);
    Send(TB_PRESSBUTTON, m_hotIndex, TRUE);
    m_popupOpen = 1;
    m_submenuSelected = 0;
    m_selectedMenu = nullptr;
    InstallFilterHook();
    TPMPARAMS params{};
    params.cbSize = sizeof(params);
    params.rcExclude = rect;
    TrackPopupMenuEx(m_currentPopup, TPM_VERTICAL, rect.left, rect.bottom, m_hWnd, &params);
    m_popupOpen = 0;
    RemoveFilterHook();
    // The popup is closed, so its title no longer looks pressed (a switch to a neighbouring title
    // presses that one when its popup opens).
    Send(TB_PRESSBUTTON, opened, FALSE);
    if (m_keyboardMode)
        EnterMenuMode();
    else if (empty)
        EndMenuMode();  // an empty popup shows nothing: the bar returns to rest at once
}

bool NMenuBar::FilterMenuMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN: {
        m_exitEndsMode = 0;
        const bool insideSubmenu = m_selectedMenu && m_selectedMenu != m_currentPopup;
        const int count = std::max(m_itemCount, 1);
        switch (wParam) {
        case VK_RETURN:
            m_exitEndsMode = 1;
            break;
        case VK_ESCAPE:
            if (insideSubmenu) {
                // The menu closes the submenu and its opener stays selected without a new
                // WM_MENUSELECT: the next Esc is one in the popup itself.
                m_selectedMenu = m_currentPopup;
                m_submenuSelected = 1;
                break;
            }
            m_keyboardMode = 1;
            m_popupOpen = 0;
            SendMessageW(m_hWnd, WM_CANCELMODE, 0, 0);
            Send(TB_PRESSBUTTON, m_hotIndex, FALSE);
            Send(TB_SETHOTITEM, m_hotIndex);
            break;
        case VK_LEFT:
        case VK_RIGHT:
            if (wParam == VK_LEFT && insideSubmenu) {
                m_selectedMenu = m_currentPopup;  // as for Esc: back on the submenu's opener
                m_submenuSelected = 1;
                break;
            }
            if (wParam == VK_RIGHT && m_submenuSelected)
                break;
            Send(TB_PRESSBUTTON, m_hotIndex, FALSE);
            if (wParam == VK_LEFT)
                m_hotIndex = m_hotIndex <= 0 ? count - 1 : m_hotIndex - 1;
            else
                m_hotIndex = m_hotIndex >= count - 1 ? 0 : m_hotIndex + 1;
            SendMessageW(m_hWnd, WM_CANCELMODE, 0, 0);
            PostMessageW(m_hWnd, kOpenPopupMessage, 0, 0);
            PostMessageW(m_hWnd, WM_KEYDOWN, VK_DOWN, 0);
            break;
        default:
            break;
        }
        return false;
    }
    case WM_CHAR:
        m_exitEndsMode = 1;
        return false;
    case WM_MENUSELECT:
        m_selectedMenu = reinterpret_cast<HMENU>(lParam);
        m_submenuSelected = (HIWORD(wParam) & MF_POPUP) ? 1 : 0;
        SendMessageW(GetTopParent(m_hWnd), WM_MENUSELECT, wParam, lParam);
        return true;
    case WM_MOUSEMOVE: {
        const DWORD position = GetMessagePos();
        POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
        if (point.x != m_cursor.x || point.y != m_cursor.y) {
            m_cursor = point;
            ScreenToClient(m_hWnd, &point);
            SendMessageW(m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
        }
        return false;
    }
    case WM_LBUTTONDOWN:
        m_exitEndsMode = 1;
        if (HitTestCursor() >= 0) {
            SendMessageW(m_hWnd, WM_CANCELMODE, 0, 0);
            return true;
        }
        return false;
    default:
        return false;
    }
}

LRESULT CALLBACK NMenuBar::MsgFilterProc(int code, WPARAM wParam, LPARAM lParam)
{
    NThreadData* record = ThreadRecord();
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg && record && record->menuBar && code == MSGF_MENU &&
        record->menuBar->FilterMenuMessage(msg->message, msg->wParam, msg->lParam))
        return 1;
    return CallNextHookEx(record ? record->menuFilterHook : nullptr, code, wParam, lParam);
}

LRESULT CALLBACK NMenuBar::DoubleClickFilterProc(int code, WPARAM wParam, LPARAM lParam)
{
    NThreadData* record = ThreadRecord();
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg && record && record->menuBar && code == MSGF_MENU && msg->message == WM_LBUTTONDBLCLK) {
        NWinApp* app = NGetApp();
        NWindow* main = app ? app->GetMainWindow() : nullptr;
        HWND mainWindow = main ? main->GetHwnd() : nullptr;
        if (HMENU systemMenu = mainWindow ? GetSystemMenu(mainWindow, FALSE) : nullptr) {
            const UINT command = GetMenuDefaultItem(systemMenu, FALSE, 0);
            if (command != static_cast<UINT>(-1))
                PostMessageW(mainWindow, WM_SYSCOMMAND, command, 0);
        }
    }
    return CallNextHookEx(record ? record->menuFilterHook : nullptr, code, wParam, lParam);
}

void NMenuBar::EnterMenuMode()
{
    if (GetFocus() != m_hWnd) {
        HWND previous = SetFocus(m_hWnd);
        if (!m_savedFocus)
            m_savedFocus = previous;
    }
    SetCapture(m_hWnd);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void NMenuBar::ReleaseMenuCapture()
{
    HWND saved = m_savedFocus;
    m_savedFocus = nullptr;  // forgotten first: the focus change comes back here as WM_KILLFOCUS
    if (saved && IsWindow(saved))
        SetFocus(saved);
    if (GetCapture() == m_hWnd)
        ReleaseCapture();
}

void NMenuBar::EndMenuMode()
{
    ReleaseMenuCapture();
    m_keyboardMode = 0;
    m_popupOpen = 0;
    if (m_hotIndex >= 0)
        Send(TB_PRESSBUTTON, m_hotIndex, FALSE);
    SetHotItem(-1);
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(m_hWnd, &cursor);
    SendMessageW(m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x, cursor.y));
}

void NMenuBar::Beep()
{
    MessageBeep(0);
}

void NMenuBar::OnKeyDown(UINT key)
{
    const int count = m_itemCount;
    switch (key) {
    case VK_ESCAPE:
        EndMenuMode();
        break;
    case VK_SPACE:
        EndMenuMode();
        SendMessageW(GetTopParent(m_hWnd), WM_SYSCOMMAND, SC_KEYMENU, L' ');
        break;
    case VK_LEFT:
        SetHotItem(m_hotIndex < 1 ? count - 1 : m_hotIndex - 1);
        break;
    case VK_RIGHT:
        SetHotItem(m_hotIndex >= count - 1 ? 0 : m_hotIndex + 1);
        break;
    case VK_RETURN:
    case VK_UP:
    case VK_DOWN:
        PostMessageW(m_hWnd, kOpenPopupMessage, 0, 0);
        break;
    default:
        if (m_keyboardMode) {
            UINT command = 0;
            if (Send(TB_MAPACCELERATORW, key, reinterpret_cast<LPARAM>(&command))) {
                m_hotIndex = static_cast<int>(command);
                PostMessageW(m_hWnd, kOpenPopupMessage, 0, 0);
            } else {
                Beep();
            }
        }
        break;
    }
}

void NMenuBar::OnLButtonDown() { EnterMenuMode(); }
void NMenuBar::OnLButtonUp() { EndMenuMode(); }

void NMenuBar::SetHotItem(int index)
{
    m_hotIndex = index;
    Send(TB_SETHOTITEM, index);
}

LRESULT NMenuBar::OnNotifyReflect(WPARAM, NMHDR* header)
{
    if (!header)
        return 0;
    switch (static_cast<int>(header->code)) {
    case static_cast<int>(TBN_HOTITEMCHANGE): {
        const auto* hot = reinterpret_cast<const NMTBHOTITEM*>(header);
        if (hot->dwFlags & (HICF_MOUSE | HICF_ENTERING | HICF_LEAVING)) {
            if (!(hot->dwFlags & HICF_LEAVING) && hot->idNew >= 0) {
                if (!m_contextPopup && m_popupOpen && hot->idNew != m_hotIndex) {
                    Send(TB_PRESSBUTTON, m_hotIndex, FALSE);
                    m_hotIndex = hot->idNew;
                    SendMessageW(m_hWnd, WM_CANCELMODE, 0, 0);
                    PostMessageW(m_hWnd, kOpenPopupMessage, 0, 0);
                }
                m_hotIndex = hot->idNew;
            }
            if ((hot->dwFlags & HICF_LEAVING) && m_keyboardMode) {
                m_hotIndex = hot->idOld;
                PostMessageW(m_hWnd, TB_SETHOTITEM, hot->idOld, 0);
                return -1;
            }
            if (hot->dwFlags == HICF_MOUSE) {
                PostMessageW(m_hWnd, TB_SETHOTITEM, m_hotIndex, 0);
                return -1;
            }
        }
        return 0;
    }
    case static_cast<int>(TBN_DROPDOWN):
        PostMessageW(m_hWnd, kOpenPopupMessage, 0, 0);
        return 0;
    case static_cast<int>(NM_CUSTOMDRAW): {
        LRESULT result = 0;
        CustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(header), &result);
        return result;
    }
    default:
        return 0;
    }
}
