#include "ui/NMenuBar.h"

#include <algorithm>

#include "base/Log.h"
#include "imaging/ImageDraw.h"
#include "ui/GdiObject.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"
#include "ui/NWinException.h"
#include "ui/SkinSeam.h"

namespace {

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

NThreadData* ThreadRecord()
{
    NWinApp* app = NGetApp();
    if (!app || app->GetTlsIndex() == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<NThreadData*>(TlsGetValue(app->GetTlsIndex()));
}

bool CurrentLanguageRunsRightToLeft()
{
    NWinApp* app = NGetApp();
    return app && app->GetLanguage() && IsRightToLeftLanguage(app->GetLanguage()->GetCurrentCode().c_str());
}

constexpr int kTitleUnits = 32;
constexpr int kItemUnits = 260;

}  // namespace

int SetMenuOwnerDraw(HMENU menu, bool ownerDraw)
{
    const int count = GetMenuItemCount(menu);
    int last = count;
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(menu, i, TRUE, &info);
        // Separators stay separators; the owner-draw bit is the one switched.
        info.fType = ownerDraw ? (info.fType | MFT_OWNERDRAW) : (info.fType & ~MFT_OWNERDRAW);
        SetMenuItemInfoW(menu, i, TRUE, &info);
        if (HMENU sub = GetSubMenu(menu, i))
            last = SetMenuOwnerDraw(sub, ownerDraw);
    }
    return last;
}

bool InsertMenuItemAt(HMENU menu, int position, UINT id, const wchar_t* text, bool ownerDraw)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_FTYPE;
    info.wID = id;
    info.dwTypeData = const_cast<wchar_t*>(text ? text : L"");
    info.fType = ownerDraw ? MFT_OWNERDRAW : 0;
    return InsertMenuItemW(menu, position, TRUE, &info) != FALSE;
}

MenuItemTextLayout LayOutMenuItemText(const RECT& item, bool hasShortcut, bool rightToLeft)
{
    MenuItemTextLayout layout{};
    const UINT base = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    RECT rect = item;
    rect.left += 32;
    if (hasShortcut) {
        rect.right -= 4;
        if (rightToLeft) {
            layout.shortcut = rect;
            layout.shortcutFormat = base;
            rect.right += 10;
        } else {
            layout.shortcut = rect;
            layout.shortcutFormat = base | DT_RIGHT;
        }
    }
    if (rightToLeft) {
        rect.right -= 14;
        layout.labelFormat = base | DT_RIGHT;
    } else {
        layout.labelFormat = base;
    }
    layout.label = rect;
    return layout;
}

NMenuBar::NMenuBar()
    : m_itemIcon(nullptr),
      m_exitEndsMode(0),
      m_keyboardMode(0),
      m_popupOpen(0),
      m_submenuSelected(0),
      m_currentPopup(nullptr),
      m_selectedMenu(nullptr),
      m_menu(nullptr),
      m_savedFocus(nullptr),
      m_hotIndex(-1),
      m_itemCount(0),
      m_cursor{},
      m_contextPopup(false),
      m_itemFont(nullptr),
      m_selectedItemFont(nullptr),
      m_titleFont(nullptr),
      m_selectedTitleFont(nullptr)
{
    if (m_threadData)
        m_threadData->menuBar = this;
    Superclass(TOOLBARCLASSNAMEW, L"NMenuBar");
}

NMenuBar::~NMenuBar()
{
    if (m_threadData && m_threadData->menuBar == this)
        m_threadData->menuBar = nullptr;
    RemoveFilterHook();
    DeleteFonts();
    m_cornerPicture.Destroy();
    FreePictures();
}

void NMenuBar::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = 0x54000944;
    m_cs.lpszClass = L"NMenuBar";
}

void NMenuBar::OnCreate()
{
    Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    CreateFonts();
    LoadPictures();
}

bool NMenuBar::CreateFonts()
{
    DeleteFonts();
    m_itemFont = MakeFont(L"MenuFontSize", L"MenuFontBold", L"MenuFontItalic", L"MenuFontUnderline");
    m_selectedItemFont =
        MakeFont(L"MenuFontSize", L"MenuFontSelectedBold", L"MenuFontSelectedItalic", L"MenuFontSelectedUnderline");
    m_titleFont = MakeFont(L"MenuFontSize", L"MenuTitleFontBold", L"MenuTitleFontItalic", L"MenuTitleFontUnderline");
    m_selectedTitleFont = MakeFont(L"MenuFontSize", L"MenuTitleFontSelectedBold", L"MenuTitleFontSelectedItalic",
                                   L"MenuTitleFontSelectedUnderline");
    if (m_selectedTitleFont)
        NWindow::SetFont(m_selectedTitleFont);
    return true;
}

bool NMenuBar::DeleteFonts()
{
    DeleteGdiObject(m_itemFont);
    DeleteGdiObject(m_selectedItemFont);
    DeleteGdiObject(m_titleFont);
    DeleteGdiObject(m_selectedTitleFont);
    return true;
}

bool NMenuBar::LoadPictures()
{
    if (NSkin* skin = AppSkin()) {
        if (skin->LoadPng(m_coldIcons, L"MenuCold", false))
            m_coldIcons.PremultiplyAlpha();
        if (skin->LoadPng(m_hotIcons, L"MenuHot", false))
            m_hotIcons.PremultiplyAlpha();
    }
    return true;
}

bool NMenuBar::FreePictures()
{
    m_hotIcons.Destroy();
    m_coldIcons.Destroy();
    return true;
}

void NMenuBar::SetCornerPicture(const NImageBuffer& picture)
{
    m_cornerPicture.Copy(picture);
}

void NMenuBar::OnPostPaint(HDC) {}

HMENU NMenuBar::GetMenu() { return m_menu; }
void NMenuBar::SetMenuHandle(HMENU menu) { m_menu = menu; }

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

void NMenuBar::SetMenu()
{
    try {
        m_itemCount = GetMenuItemCount(m_menu);
        while (GetButtonCount() > 0 && Send(TB_DELETEBUTTON, 0)) {
        }
        Send(TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
        for (int i = 0; i < m_itemCount; ++i) {
            TBBUTTON button{};
            button.iBitmap = I_IMAGENONE;
            button.idCommand = i;
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_AUTOSIZE | BTNS_DROPDOWN;
            button.iString = reinterpret_cast<INT_PTR>(L" ");
            if (!Send(TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button)))
                throw NWinException(L"Menubar::SetMenu  TB_ADDBUTTONS failed");
            wchar_t title[kTitleUnits] = {};
            if (GetMenuStringW(m_menu, i, title, kTitleUnits, MF_BYPOSITION) == 0)
                throw NWinException(L"Menubar::SetMenu  GetMenuString failed");
            SetButtonText(i, title);
        }
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
}

void NMenuBar::EnableItem(UINT id, bool enable)
{
    EnableMenuItem(m_menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void NMenuBar::CheckItem(UINT id, bool check)
{
    CheckMenuItem(m_menu, id, MF_BYCOMMAND | (check ? MF_CHECKED : MF_UNCHECKED));
}

bool NMenuBar::IsItemGrayed(UINT id)
{
    const UINT state = GetMenuState(m_menu, id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}

bool NMenuBar::HasItem(UINT id)
{
    return GetMenuState(m_menu, id, MF_BYCOMMAND) != static_cast<UINT>(-1);
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
    if (m_keyboardMode)
        EnterMenuMode();
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
void NMenuBar::OnMouseMove() {}
void NMenuBar::OnWindowPosChanged() {}
void NMenuBar::OnInitMenuPopup() {}

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

void NMenuBar::CustomDraw(NMCUSTOMDRAW* draw, LRESULT* result)
{
    if (!draw || !result)
        return;
    switch (draw->dwDrawStage) {
    case CDDS_PREPAINT:
        *result = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        return;
    case CDDS_POSTPAINT: {
        if (m_cornerPicture.valid) {
            RECT client{};
            GetClientRect(m_hWnd, &client);
            AlphaBlendImage(draw->hdc, client.right - m_cornerPicture.width, client.bottom - m_cornerPicture.height,
                            m_cornerPicture, 255, AC_SRC_ALPHA);
        }
        OnPostPaint(draw->hdc);
        return;
    }
    case CDDS_ITEMPREPAINT:
        break;
    default:
        return;
    }
    HDC dc = draw->hdc;
    RECT rect = draw->rc;
    rect.top = 1;
    const int command = static_cast<int>(draw->dwItemSpec);
    wchar_t text[80] = {};
    const LRESULT length = Send(TB_GETBUTTONTEXTW, command, 0);
    if (length >= 1 && length <= 79)
        Send(TB_GETBUTTONTEXTW, command, reinterpret_cast<LPARAM>(text));
    const bool active = (draw->uItemState & (CDIS_HOT | CDIS_SELECTED)) != 0;
    NSkin* skin = AppSkin();
    SetBkMode(dc, TRANSPARENT);
    if (skin && skin->IsLoaded()) {
        HFONT font = m_titleFont;
        COLORREF colour = skin->GetColor(L"MenuTitleTextColor");
        if (active) {
            DrawGradient(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                         skin->GetColor(L"MenuTitleSelectedColorStart"), skin->GetColor(L"MenuTitleSelectedColorEnd"),
                         1);
            DrawRectOutline(dc, rect.left, rect.top, rect.right, rect.bottom, 1,
                            skin->GetColor(L"MenuTitleSelectedBorderColor"));
            font = m_selectedTitleFont;
            colour = skin->GetColor(L"MenuTitleTextSelectedColor");
        } else if ((draw->uItemState & CDIS_DISABLED) && command == 0) {
            colour = skin->GetColor(L"MenuTitleTextGrayedColor");
        }
        HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
        SetTextColor(dc, colour);
        DrawTextW(dc, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (oldFont)
            SelectObject(dc, oldFont);
        *result = CDRF_SKIPDEFAULT;
        return;
    }
    if (active) {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_HIGHLIGHT));
        HGDIOBJ oldFont = SelectObject(dc, GetFont());
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        DrawTextW(dc, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
    }
    *result = CDRF_DODEFAULT;
}

bool NMenuBar::DrawMenuItem(DRAWITEMSTRUCT* item, HMENU menu, UINT id, int iconIndex)
{
    if (!item || item->CtlType != ODT_MENU)
        return false;
    SkinSeam& skin = CurrentSkin();
    HDC dc = item->hDC;
    const RECT& rc = item->rcItem;
    const COLORREF left = skin.GetColor(L"MenuGradientLeftColor");
    const COLORREF right = skin.GetColor(L"MenuGradientRightColor");
    TRIVERTEX vertices[2] = {
        {0, rc.top, static_cast<COLOR16>(GetRValue(left) << 8), static_cast<COLOR16>(GetGValue(left) << 8),
         static_cast<COLOR16>(GetBValue(left) << 8), 0},
        {rc.right, rc.bottom, static_cast<COLOR16>(GetRValue(right) << 8), static_cast<COLOR16>(GetGValue(right) << 8),
         static_cast<COLOR16>(GetBValue(right) << 8), 0},
    };
    GRADIENT_RECT gradient = {0, 1};
    GradientFill(dc, vertices, 2, &gradient, 1, GRADIENT_FILL_RECT_H);
    const COLORREF border = skin.GetColor(L"MenuBorderColor");
    DrawLine(dc, 25, rc.top, 25, rc.bottom, 1, border);
    if (id == 0) {
        DrawLine(dc, 28, rc.top + 4, rc.right - 1, rc.top + 4, 1, border);
        return true;
    }
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    const bool grayed = (item->itemState & ODS_GRAYED) != 0;
    if (selected) {
        if (!grayed)
            DrawGradient(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                         skin.GetColor(L"MenuSelectedColorStart"), skin.GetColor(L"MenuSelectedColorEnd"), 1);
        DrawRectOutline(dc, rc.left, rc.top, rc.right, rc.bottom, 1, skin.GetColor(L"MenuSelectedBorderColor"));
    }
    wchar_t text[kItemUnits] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = kItemUnits - 1;
    GetMenuItemInfoW(menu, id, FALSE, &info);
    const COLORREF colour = grayed     ? skin.GetColor(L"MenuTextGrayedColor")
                            : selected ? skin.GetColor(L"MenuTextSelectedColor")
                                       : skin.GetColor(L"MenuTextColor");
    const COLORREF oldColour = SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    wchar_t* shortcut = wcschr(text, L'\t');
    if (shortcut)
        *shortcut++ = 0;
    HFONT font = (selected && !grayed) ? m_selectedItemFont : m_itemFont;
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    const MenuItemTextLayout layout = LayOutMenuItemText(rc, shortcut != nullptr, CurrentLanguageRunsRightToLeft());
    if (shortcut) {
        RECT shortcutRect = layout.shortcut;
        DrawTextW(dc, shortcut, -1, &shortcutRect, layout.shortcutFormat);
    }
    RECT labelRect = layout.label;
    DrawTextW(dc, text, -1, &labelRect, layout.labelFormat);
    if (oldFont)
        SelectObject(dc, oldFont);

    const int iconTop = rc.top + (rc.bottom - rc.top) / 2 - 7;
    if (iconIndex >= 0) {
        const bool hotLook = selected && !grayed;
        const NImageBuffer& strip = hotLook ? m_hotIcons : m_coldIcons;
        if (strip.valid && (iconIndex + 1) * 16 <= strip.width)
            AlphaBlendDC(dc, rc.left + 4, iconTop, 16, 16, strip.dc, iconIndex * 16, 0, 16, 16,
                         (!hotLook && grayed) ? 127 : 255, AC_SRC_ALPHA);
    } else if (iconIndex == -2 && m_itemIcon) {
        if (item->itemAction == ODA_SELECT && selected && !grayed)
            DrawIconEx(dc, rc.left + 3, iconTop - 1, m_itemIcon, 16, 16, 0, nullptr, DI_NORMAL);
        else
            DrawIconEx(dc, rc.left + 4, iconTop, m_itemIcon, 16, 16, 0, nullptr, DI_NORMAL);
    }
    SetTextColor(dc, oldColour);
    return true;
}

void NMenuBar::OnDrawItem(DRAWITEMSTRUCT* item, HMENU menu)
{
    if (item)
        DrawMenuItem(item, menu, item->itemID, -1);
}

void NMenuBar::OnMeasureItem(HWND window, MEASUREITEMSTRUCT* item, HMENU menu)
{
    if (!item)
        return;
    if (!menu || !IsMenu(menu)) {
        LogMessage(L"No Menu in OnMeasureItem");
        return;
    }
    wchar_t text[kItemUnits] = {};
    GetMenuStringW(menu, item->itemID, text, kItemUnits, MF_BYCOMMAND);
    if (item->itemID == 0 && text[0] == 0) {
        item->itemWidth = 10;
        item->itemHeight = 9;
        return;
    }
    HDC dc = GetDC(window);
    if (!dc)
        return;
    HFONT font = item->itemID == 0 ? m_selectedTitleFont : m_selectedItemFont;
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    if (oldFont)
        SelectObject(dc, oldFont);
    ReleaseDC(window, dc);
    if (item->itemID != 0) {
        item->itemWidth = static_cast<UINT>(std::max<LONG>(0, size.cx - metrics.tmOverhang + 31));
        item->itemHeight = size.cy + 5 > 15 ? size.cy + 5 : 21;
    } else {
        item->itemWidth = size.cx;
        item->itemHeight = size.cy;
    }
}

LRESULT NMenuBar::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KILLFOCUS:
        EndMenuMode();
        return 0;
    case WM_CHAR:
        return 0;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item)
            OnDrawItem(item, reinterpret_cast<HMENU>(item->hwndItem));
        return TRUE;
    }
    case WM_MEASUREITEM:
        OnMeasureItem(window, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam), GetMenu());
        return TRUE;
    case WM_WINDOWPOSCHANGED:
        OnWindowPosChanged();
        break;
    case WM_KEYDOWN:
        OnKeyDown(static_cast<UINT>(wParam));
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_MENU || wParam == VK_F10)
            return 0;
        break;
    case WM_SYSKEYUP:
        if (wParam == VK_MENU || wParam == VK_F10) {
            EndMenuMode();
            return 0;
        }
        break;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup();
        break;
    case WM_MOUSEMOVE:
        OnMouseMove();
        break;
    case WM_LBUTTONDOWN:
        CallPrevWndProc(window, message, wParam, lParam);
        OnLButtonDown();
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp();
        break;
    case WM_EXITMENULOOP:
        if (m_exitEndsMode)
            EndMenuMode();
        break;
    case WM_MENUSELECT:
        // The popups' selection reaches their owner as a sent message, never through the message
        // filter: Left and Right need it to tell a submenu item from a plain one.
        if (m_popupOpen) {
            FilterMenuMessage(message, wParam, lParam);
            return 0;
        }
        break;
    case kOpenPopupMessage:
        OpenPopup();
        return 0;
    default:
        break;
    }
    return NToolBar::WndProc(window, message, wParam, lParam);
}
