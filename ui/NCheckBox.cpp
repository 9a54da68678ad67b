#include "ui/NCheckBox.h"

#include <algorithm>

#include "imaging/ImageDraw.h"
#include "imaging/NImageBuffer.h"
#include "ui/ControlPainters.h"
#include "ui/NWinApp.h"
#include "ui/SkinSeam.h"

namespace {
constexpr UINT kFadeTimer = 1;

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

const wchar_t* const kCheckKeys[] = {L"CheckBoxTextColorDisabled", L"CheckBoxTextColorChecked",
                                     L"CheckBoxTextColorDefault"};
const wchar_t* const kRadioKeys[] = {L"RadioItemTextColorDisabled", L"RadioItemTextColorChecked",
                                     L"RadioItemTextColorDefault"};
}  // namespace

NCheckBox::NCheckBox()
    : checked(false),
      m_disabledColour(0),
      m_checkedColour(0),
      m_normalColour(0),
      m_frameColour(0),
      m_animationStart(0)
{
    Superclass(L"Button", L"NCheckBox");
    ResetState();
}

NCheckBox::~NCheckBox() = default;

void NCheckBox::ResetState()
{
    m_tracking = false;
    m_hover = false;
    m_bold = m_italic = m_underline = false;
    m_animated = false;
    m_hoverFrame = false;
    m_alpha = 255;
}

const wchar_t* const* NCheckBox::ColourKeys() const
{
    return kCheckKeys;
}

const wchar_t* const* NRadioItem::ColourKeys() const
{
    return kRadioKeys;
}

bool NCheckBox::AttachControl(int id, NWindow* parent, int initialState)
{
    const bool attached = NWindow::AttachDlgItem(id, parent);
    if (attached)
        SetButtonStyle(BS_OWNERDRAW);
    ResetState();
    checked = initialState == 1;
    if (attached)
        SetTextColors(false, 0, 0, 0, 0);
    return attached;
}

void NCheckBox::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = 0x56000003;
    m_cs.lpszClass = L"NCheckBox";
    ResetState();
    checked = false;
    SetTextColors(false, 0, 0, 0, 0);
}

LRESULT NCheckBox::Click()
{
    return SendMessageW(m_hWnd, BM_CLICK, 0, 0);
}

LRESULT NCheckBox::SetButtonStyle(DWORD style)
{
    return SendMessageW(m_hWnd, BM_SETSTYLE, style, FALSE);
}

void NCheckBox::SetTextColors(bool own, COLORREF disabled, COLORREF checkedColour, COLORREF normal, COLORREF frame)
{
    if (own) {
        m_disabledColour = disabled;
        m_checkedColour = checkedColour;
        m_normalColour = normal;
        m_frameColour = frame;
    } else {
        SkinSeam& skin = CurrentSkin();
        const wchar_t* const* keys = ColourKeys();
        m_disabledColour = skin.GetColor(keys[0]);
        m_checkedColour = skin.GetColor(keys[1]);
        m_normalColour = skin.GetColor(keys[2]);
        m_frameColour = m_checkedColour;
    }
    if (m_hWnd) {
        InvalidateRect(m_hWnd, nullptr, FALSE);
        UpdateWindow(m_hWnd);
    }
}

void NCheckBox::SetBold(bool on)
{
    m_bold = on;
    CreateFont();
}

void NCheckBox::SetItalic(bool on)
{
    m_italic = on;
    CreateFont();
}

void NCheckBox::SetUnderline(bool on)
{
    m_underline = on;
    CreateFont();
}

void NCheckBox::SetAnimated(bool on) { m_animated = on; }
void NCheckBox::SetHoverFrame(bool on) { m_hoverFrame = on; }

bool NCheckBox::SetFont(HFONT font)
{
    NWindow::SetFont(font);
    CreateFont();
    return true;
}

void NCheckBox::CreateFont()
{
    HFONT current = NWindow::GetFont();
    LOGFONTW font{};
    if (!current || !GetObjectW(current, sizeof(font), &font))
        return;
    font.lfWeight = m_bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = m_italic ? 1 : 0;
    font.lfUnderline = m_underline ? 1 : 0;
    HFONT made = CreateFontIndirectW(&font);
    if (!made)
        return;
    NWindow::SetFont(made);  // the control uses the new font before the old one goes
    m_font.Reset(made);
}

void NCheckBox::DeleteFont()
{
    m_font.Reset();
}

LRESULT NCheckBox::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        NWindow::OnMessageReflect(message, wParam, lParam);
        return TRUE;
    }
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

LRESULT NCheckBox::OnCommandReflect(WPARAM wParam, LPARAM)
{
    // Every click the button reports, by mouse or keyboard, flips the kept state; the parent's
    // handler runs after this one and reads the new state. An owner-drawn button reports the
    // second click of a double click as BN_DOUBLECLICKED alone.
    if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == BN_DOUBLECLICKED) {
        checked = !checked;
        InvalidateRect(m_hWnd, nullptr, FALSE);
    }
    return 0;
}

LRESULT NCheckBox::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:
        m_alpha = 255;
        InvalidateRect(window, nullptr, TRUE);
        break;
    case WM_ERASEBKGND:
        return 0;
    case WM_TIMER:
        if (wParam == kFadeTimer) {
            const DWORD elapsed = GetTickCount() - m_animationStart;
            m_alpha = static_cast<int>(std::min<DWORD>(elapsed * 255u / 250u, 255));
            InvalidateRect(window, nullptr, FALSE);
            if (m_alpha >= 255)
                KillTimer(window, kFadeTimer);
            return 0;
        }
        break;
    case WM_DESTROY:
        KillTimer(window, kFadeTimer);
        break;
    case WM_MOUSEMOVE:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        if (!m_tracking) {
            TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, window, 10};
            m_tracking = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
    case WM_MOUSELEAVE:
        if (message == WM_MOUSEHOVER) {
            m_hover = true;
        } else {
            m_tracking = false;
            m_hover = false;
        }
        if (m_animated) {
            m_animationStart = GetTickCount();
            m_alpha = 0;
            KillTimer(window, kFadeTimer);
            SetTimer(window, kFadeTimer, 10, nullptr);
        } else {
            InvalidateRect(window, nullptr, TRUE);
        }
        break;
    default:
        break;
    }
    return NWindow::WndProc(window, message, wParam, lParam);
}

UINT NCheckBox::ItemFlags(const DRAWITEMSTRUCT* item) const
{
    return PointerStateFlags(m_hWnd) | item->itemState;
}

void NCheckBox::DrawItem(DRAWITEMSTRUCT* item)
{
    NSkin* skin = AppSkin();
    if (!item || !skin)
        return;
    item->itemState = ItemFlags(item) | (checked ? ODS_CHECKED : 0);
    skin->DrawCheckBox(m_hWnd, item->hDC, item->itemState, &item->rcItem, m_disabledColour, m_checkedColour,
                       m_normalColour);
}

void NRadioItem::DrawItem(DRAWITEMSTRUCT* item)
{
    NSkin* skin = AppSkin();
    if (!item || !skin)
        return;
    item->itemState = ItemFlags(item) | (checked ? ODS_CHECKED : 0);
    skin->DrawRadioItem(m_hWnd, item->hDC, item->itemState, &item->rcItem, m_disabledColour, m_checkedColour,
                        m_normalColour);
}

void NCheckBox::DrawSwitchItem(DRAWITEMSTRUCT* item)
{
    NSkin* skin = AppSkin();
    if (!item || !skin)
        return;
    if (!m_animated || !IsWindowEnabled(m_hWnd))
        item->itemState = ItemFlags(item);
    const int width = item->rcItem.right - item->rcItem.left;
    const int height = item->rcItem.bottom - item->rcItem.top;
    NImageBuffer normal, hover, result;
    if (!normal.Create(width, height, 24, 0) || !hover.Copy(normal) || !result.Copy(normal))
        return;
    if (checked)
        item->itemState |= ODS_CHECKED;
    const RECT rect = {0, 0, width, height};
    skin->DrawSwitchBox(m_hWnd, normal.dc, item->itemState, &rect, m_disabledColour, m_checkedColour, m_normalColour,
                        m_frameColour);
    skin->DrawSwitchBox(m_hWnd, hover.dc, item->itemState | ODS_HOTLIGHT, &rect, m_disabledColour, m_checkedColour,
                        m_normalColour, m_frameColour);
    if (m_hoverFrame)
        DrawRectOutline(hover.dc, 0, 0, width, height, 1, m_frameColour);
    const NImageBuffer& leaving = m_hover ? normal : hover;
    const NImageBuffer& approaching = m_hover ? hover : normal;
    leaving.BlitTo(result.dc, 0, 0, SRCCOPY);
    AlphaBlendImage(result.dc, 0, 0, approaching, std::clamp(m_alpha, 0, 255), 0);
    result.BlitTo(item->hDC, 0, 0, SRCCOPY);
}
