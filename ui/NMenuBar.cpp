#include "ui/NMenuBar.h"

#include "ui/NWinApp.h"
#include "ui/NWinException.h"

namespace {

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

constexpr int kTitleUnits = 32;

}  // namespace

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
      m_contextPopup(false)
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
    m_itemFont.Reset(MakeFont(L"MenuFontSize", L"MenuFontBold", L"MenuFontItalic", L"MenuFontUnderline"));
    m_selectedItemFont.Reset(
        MakeFont(L"MenuFontSize", L"MenuFontSelectedBold", L"MenuFontSelectedItalic", L"MenuFontSelectedUnderline"));
    m_titleFont.Reset(
        MakeFont(L"MenuFontSize", L"MenuTitleFontBold", L"MenuTitleFontItalic", L"MenuTitleFontUnderline"));
    m_selectedTitleFont.Reset(MakeFont(L"MenuFontSize", L"MenuTitleFontSelectedBold", L"MenuTitleFontSelectedItalic",
                                       L"MenuTitleFontSelectedUnderline"));
    if (m_selectedTitleFont)
        NWindow::SetFont(m_selectedTitleFont.Get());
    return true;
}

bool NMenuBar::DeleteFonts()
{
    m_itemFont.Reset();
    m_selectedItemFont.Reset();
    m_titleFont.Reset();
    m_selectedTitleFont.Reset();
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

void NMenuBar::OnMouseMove() {}
void NMenuBar::OnWindowPosChanged() {}
void NMenuBar::OnInitMenuPopup() {}

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
