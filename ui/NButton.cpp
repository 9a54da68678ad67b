#include "ui/NButton.h"

#include <algorithm>

#include "base/GdiOwners.h"
#include "base/WindowPlacement.h"
#include "imaging/ImageDraw.h"
#include "ui/ControlPainters.h"
#include "ui/FocusCue.h"
#include "ui/NWinApp.h"
#include "ui/SkinPainters.h"

namespace {
constexpr UINT kTimerPeriod = 10;
constexpr DWORD kFadeMs = 250;
constexpr DWORD kPulseMs = 800;

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}
}  // namespace

NButton::NButton()
    : m_swatchColour(0),
      m_animationStart(0),
      m_pulse(false),
      m_pulseRising(true),
      m_flat(false),
      m_ownColours(false),
      m_textColour(0),
      m_hoverTextColour(0),
      m_disabledTextColour(0)
{
    ResetState();
    Superclass(L"Button", L"NButton");
}

NButton::~NButton()
{
    DeleteFonts();
    m_toolTip.Destroy();
    m_picture.Destroy();
    m_sideImage.Destroy();
}

void NButton::ResetState()
{
    m_tracking = false;
    m_hover = false;
    m_iconIndex = -1;
    m_alpha = 255;
    m_animated = true;
    m_ownPainting = false;
    m_hoverFrame = false;
}

HWND NButton::Detach()
{
    m_toolTip.Destroy();
    return NWindow::Detach();
}

LRESULT NButton::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        NWindow::OnMessageReflect(message, wParam, lParam);
        return TRUE;
    }
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

void NButton::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    m_cs.lpszClass = L"NButton";
    ResetState();
    m_pulse = false;
}

bool NButton::SetFont(HFONT font)
{
    const bool result = NWindow::SetFont(font);
    CreateFonts();
    return result;
}

void NButton::OnCreate()
{
    NWindow::OnCreate();
    CreateFonts();
}

DWORD NButton::Now()
{
    return GetTickCount();
}

int NButton::FadeAlpha(DWORD elapsed)
{
    const DWORD value = elapsed * 255u / kFadeMs;
    return static_cast<int>(std::min<DWORD>(value, 255));
}

int NButton::PulseAlpha(DWORD elapsed, bool rising)
{
    const DWORD step = elapsed * 255u / kPulseMs;
    if (rising)
        return static_cast<int>(std::min<DWORD>(step, 255));
    return step >= 255 ? 0 : static_cast<int>(255 - step);
}

void NButton::StartPulse(bool rising)
{
    m_animationStart = Now();
    m_alpha = 0;
    m_pulseRising = rising;
    SetTimer(m_hWnd, kPulseTimer, kTimerPeriod, nullptr);
}

bool NButton::AttachControl(int id, NWindow* parent, int iconIndex)
{
    const bool attached = NWindow::AttachDlgItem(id, parent);
    ResetState();
    if (!attached)
        return false;
    SetButtonStyle(BS_OWNERDRAW);
    if (iconIndex != -1)
        m_iconIndex = iconIndex;
    if (id == IDOK || id == IDYES) {
        m_pulse = true;
        if (m_animated)
            StartPulse(true);
    } else {
        m_pulse = false;
    }
    OnCreate();
    return attached;
}

LRESULT NButton::Click() { return SendMessageW(m_hWnd, BM_CLICK, 0, 0); }
LRESULT NButton::GetCheck() { return SendMessageW(m_hWnd, BM_GETCHECK, 0, 0); }
LRESULT NButton::SetCheck(int state) { return SendMessageW(m_hWnd, BM_SETCHECK, state, 0); }
HICON NButton::GetIcon() { return reinterpret_cast<HICON>(SendMessageW(m_hWnd, BM_GETIMAGE, IMAGE_ICON, 0)); }
HICON NButton::SetIcon(HICON icon)
{
    return reinterpret_cast<HICON>(SendMessageW(m_hWnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
}
HBITMAP NButton::GetBitmap()
{
    return reinterpret_cast<HBITMAP>(SendMessageW(m_hWnd, BM_GETIMAGE, IMAGE_BITMAP, 0));
}
HBITMAP NButton::SetBitmap(HBITMAP bitmap)
{
    return reinterpret_cast<HBITMAP>(
        SendMessageW(m_hWnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}
LRESULT NButton::GetState() { return SendMessageW(m_hWnd, BM_GETSTATE, 0, 0); }
LRESULT NButton::SetState(int state) { return SendMessageW(m_hWnd, BM_SETSTATE, state, 0); }
LRESULT NButton::SetButtonStyle(DWORD style) { return SendMessageW(m_hWnd, BM_SETSTYLE, style, FALSE); }
void NButton::SetIconIndex(int index) { m_iconIndex = index; }
void NButton::SetAnimated(bool animated) { m_animated = animated; }

void NButton::SetSwatchColor(COLORREF colour)
{
    m_iconIndex = -2;
    m_swatchColour = colour;
    if (m_hWnd && IsWindowVisible(m_hWnd)) {
        InvalidateRect(m_hWnd, nullptr, TRUE);
        UpdateWindow(m_hWnd);
    }
}

COLORREF NButton::GetSwatchColor() const { return m_swatchColour; }

void NButton::SetPicture(const NImageBuffer& picture)
{
    m_picture.Copy(picture);
    // The own painter blends 32-bit frames with per-pixel alpha, which takes premultiplied pixels;
    // the frames come straight from a picture file, as the skin's pictures do before it prepares them.
    if (m_picture.valid && m_picture.bpp == 32)
        m_picture.PremultiplyAlpha();
    m_ownPainting = true;
}

void NButton::SetSideImage(const NImageBuffer& picture)
{
    m_sideImage.Copy(picture);
    m_ownPainting = true;
}

void NButton::SetPulse(bool on)
{
    m_pulse = on;
    if (!on || !m_animated)
        KillTimer(m_hWnd, kPulseTimer);
    else
        StartPulse(true);
}

void NButton::EnableToolTip(bool on)
{
    m_toolTip.Destroy();
    if (!on || !m_hWnd)
        return;
    if (m_toolTip.Create(m_hWnd, L"la", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_TOPMOST)) {
        wchar_t text[129] = {};
        GetWindowTextW(m_hWnd, text, 128);
        m_toolTip.SetText(text);
    }
}

void NButton::SetToolTipText(const wchar_t* text)
{
    if (text && m_toolTip.GetHwnd())
        m_toolTip.SetText(text);
}

void NButton::SetFlat(bool flat) { m_flat = flat; }

void NButton::SetTextColors(COLORREF normal, COLORREF hover, COLORREF disabled)
{
    m_textColour = normal;
    m_hoverTextColour = hover;
    m_disabledTextColour = disabled;
    m_ownColours = true;
}

void NButton::SetHoverFrame(bool on) { m_hoverFrame = on; }

void NButton::CreateFonts()
{
    DeleteFonts();
    HFONT current = NWindow::GetFont();
    LOGFONTW font{};
    if (!current || !GetObjectW(current, sizeof(font), &font))
        return;
    font.lfQuality = CLEARTYPE_QUALITY;
    m_normalFont.Reset(CreateFontIndirectW(&font));
    font.lfUnderline = 0;
    m_hoverFont.Reset(CreateFontIndirectW(&font));
}

void NButton::DeleteFonts()
{
    m_hoverFont.Reset();
    m_normalFont.Reset();
}

LRESULT NButton::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        KillTimer(window, kPulseTimer);
        KillTimer(window, kFadeTimer);
        m_toolTip.Destroy();
        break;
    case WM_SETFOCUS:
        KillTimer(window, kPulseTimer);
        m_alpha = 255;
        InvalidateRect(window, nullptr, TRUE);
        break;
    case WM_KILLFOCUS:
        if (m_pulse && !m_hover && m_animated)
            StartPulse(false);
        break;
    case WM_ERASEBKGND:
        return 0;
    case WM_SHOWWINDOW:
        if (!wParam && m_toolTip.GetHwnd())
            ShowWindow(m_toolTip.GetHwnd(), SW_HIDE);
        break;
    case WM_MOUSEMOVE:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        if (!m_tracking) {
            TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, window, 10};
            m_tracking = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER: {
        m_hover = true;
        RECT own{};
        GetWindowRect(window, &own);
        if (HWND tip = m_toolTip.GetHwnd(); tip && m_toolTip.GetTextWidth() > own.right - own.left) {
            SetWindowPos(tip, HWND_TOPMOST, own.left, own.bottom, std::max(100, m_toolTip.GetTextWidth()),
                         std::max(30, m_toolTip.GetTextHeight()), SWP_NOACTIVATE | SWP_SHOWWINDOW);
            MoveWindowIntoWorkArea(tip, own.left, own.bottom);
        }
        if (m_flat && m_hoverFont)
            NWindow::SetFont(m_hoverFont.Get());
        if (m_animated) {
            KillTimer(window, kPulseTimer);
            m_animationStart = Now();
            m_alpha = 0;  // the fade starts from the look being left
            KillTimer(window, kFadeTimer);
            SetTimer(window, kFadeTimer, kTimerPeriod, nullptr);
        } else {
            InvalidateRect(window, nullptr, TRUE);
        }
        break;
    }
    case WM_MOUSELEAVE:
        m_tracking = false;
        m_hover = false;
        if (m_toolTip.GetHwnd())
            ShowWindow(m_toolTip.GetHwnd(), SW_HIDE);
        if (m_flat && m_normalFont)
            NWindow::SetFont(m_normalFont.Get());
        if (m_animated) {
            m_animationStart = Now();
            m_alpha = 0;
            KillTimer(window, kFadeTimer);
            SetTimer(window, kFadeTimer, kTimerPeriod, nullptr);
        } else {
            InvalidateRect(window, nullptr, TRUE);
        }
        break;
    case WM_TIMER:
        if (wParam == kFadeTimer) {
            m_alpha = FadeAlpha(Now() - m_animationStart);
            InvalidateRect(window, nullptr, FALSE);
            if (m_alpha >= 255) {
                KillTimer(window, kFadeTimer);
                if (m_pulse && !m_hover && m_animated)
                    StartPulse(false);
            }
            return 0;
        }
        if (wParam == kPulseTimer) {
            m_alpha = PulseAlpha(Now() - m_animationStart, m_pulseRising);
            InvalidateRect(window, nullptr, FALSE);
            if (m_alpha == 0 || m_alpha == 255) {
                m_pulseRising = !m_pulseRising;
                m_animationStart = Now();
            }
            return 0;
        }
        break;
    default:
        break;
    }
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NButton::PaintLook(HDC dc, UINT flags, const RECT* rect)
{
    if (m_ownPainting) {
        Paint(m_hWnd, dc, flags, rect, m_iconIndex);
    } else if (NSkin* skin = AppSkin()) {
        skin->DrawButton(m_hWnd, dc, flags, rect, m_iconIndex, false);
    }
}

void NButton::DrawItem(DRAWITEMSTRUCT* item)
{
    if (!item || !AppSkin())
        return;
    if (m_animated && IsWindowEnabled(m_hWnd)) {
        const int width = item->rcItem.right - item->rcItem.left;
        const int height = item->rcItem.bottom - item->rcItem.top;
        NImageBuffer normal, hover, result;
        if (!normal.Create(width, height, 24, 0) || !hover.Copy(normal) || !result.Copy(normal))
            return;
        const RECT rect = {0, 0, width, height};
        PaintLook(normal.dc, item->itemState | (m_pulse ? ODS_DEFAULT : 0), &rect);
        PaintLook(hover.dc, item->itemState | ODS_HOTLIGHT, &rect);
        const NImageBuffer& leaving = m_hover ? normal : hover;
        const NImageBuffer& approaching = m_hover ? hover : normal;
        leaving.BlitTo(result.dc, 0, 0, SRCCOPY);
        AlphaBlendImage(result.dc, 0, 0, approaching, std::clamp(m_alpha, 0, 255), 0);
        result.BlitTo(item->hDC, item->rcItem.left, item->rcItem.top, SRCCOPY);
        return;
    }
    item->itemState |= PointerStateFlags(m_hWnd);
    PaintLook(item->hDC, item->itemState, &item->rcItem);
}

void NButton::Paint(HWND window, HDC dc, UINT flags, const RECT* rect, int iconIndex)
{
    NSkin* skin = AppSkin();
    if (!skin || !rect)
        return;
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    NImageBuffer canvas;
    if (width <= 0 || height <= 0 || !canvas.Create(width, height, 24, 0))
        return;
    SetStretchBltMode(canvas.dc, COLORONCOLOR);
    const int frameHeight = m_picture.valid ? m_picture.height / 5 : 0;
    const int frameTop = ButtonFrameIndex(flags) * frameHeight;
    const NImageBuffer* background = DialogBackgroundOf(window);
    if (m_flat) {
        if (background)
            CopyBackgroundUnder(window, canvas.dc, *background, width, height);
        if (m_hoverFrame && (flags & ODS_HOTLIGHT))
            DrawRectOutline(canvas.dc, 0, 0, width, height, 1, m_hoverTextColour);
    } else if (m_picture.valid && frameHeight > 0) {
        // Nine pieces of the frame: 8-pixel corners and edges, corners taken from the frame's corners.
        const int fw = m_picture.width;
        const bool blend = m_picture.bpp == 32;
        if (blend && background)
            CopyBackgroundUnder(window, canvas.dc, *background, width, height);
        struct Piece {
            int x, y, w, h, sx, sy;
        } pieces[] = {
            {0, 0, 8, 8, 0, 0},
            {width - 8, 0, 8, 8, fw - 8, 0},
            {width - 8, height - 8, 8, 8, fw - 8, frameHeight - 8},
            {0, height - 8, 8, 8, 0, frameHeight - 8},
            {8, 0, width - 16, 8, 8, 0},
            {8, height - 8, width - 16, 8, 8, frameHeight - 8},
            {0, 8, 8, height - 16, 0, 8},
            {width - 8, 8, 8, height - 16, fw - 8, 8},
            {8, 8, width - 16, height - 16, 8, 8},
        };
        for (const Piece& p : pieces) {
            if (p.w <= 0 || p.h <= 0)
                continue;
            if (blend)
                AlphaBlendDC(canvas.dc, p.x, p.y, p.w, p.h, m_picture.dc, p.sx, frameTop + p.sy, 8, 8, 255,
                             AC_SRC_ALPHA);
            else
                StretchBlt(canvas.dc, p.x, p.y, p.w, p.h, m_picture.dc, p.sx, frameTop + p.sy, 8, 8, SRCCOPY);
        }
    }

    const int pressed = (flags & ODS_SELECTED) ? 1 : 0;
    const int iconWidth = skin->iconCellWidth;
    const int iconHeight = skin->iconCellHeight;
    const int y = (height - iconHeight) / 2 + pressed;
    const int x = rect->right > iconWidth + 6 ? 5 + pressed : (width - iconWidth) / 2 + pressed;
    int textLeft = iconWidth + 9;
    UINT centre = 0;
    if (iconIndex == -2) {
        FillRectSolid(canvas.dc, x + 2, y, x + 2 + iconWidth, y + iconHeight - 1, m_swatchColour);
        DrawRectOutline(canvas.dc, x + 2, y, x + 2 + iconWidth, y + iconHeight - 1, 1, RGB(0, 0, 0));
    } else if (iconIndex == -1) {
        textLeft = 2;
        centre = DT_CENTER;
    } else {
        skin->DrawButtonIcon(iconIndex, flags, canvas.dc, x, y);
    }
    RECT text = {textLeft, 0, width - 4, height};
    if (m_sideImage.valid)
        text.right -= m_sideImage.width;
    wchar_t caption[260] = {};
    GetWindowTextW(window, caption, 260);
    if (text.right - text.left > 4 && caption[0]) {
        SetBkMode(canvas.dc, TRANSPARENT);
        const ObjectSelection font(canvas.dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
        COLORREF colour;
        if (m_ownColours)
            colour = (flags & ODS_HOTLIGHT) ? m_hoverTextColour : (flags & ODS_DISABLED) ? m_disabledTextColour
                                                                                          : m_textColour;
        else
            colour = skin->GetColor((flags & ODS_HOTLIGHT)   ? L"ButtonTextColorHilight"
                                    : (flags & ODS_DISABLED) ? L"ButtonTextColorDisabled"
                                                             : L"ButtonTextColorDefault");
        SetTextColor(canvas.dc, colour);
        DrawButtonCaption(window, canvas.dc, flags, caption, text, height, width - 2, pressed, centre,
                          (GetWindowLongPtrW(window, GWL_STYLE) & BS_MULTILINE) != 0, {0, 0, width, height});
    }
    if (m_sideImage.valid)
        AlphaBlendImage(canvas.dc, width - m_sideImage.width, (height - m_sideImage.height) / 2, m_sideImage,
                        (flags & ODS_DISABLED) ? 128 : 255, AC_SRC_ALPHA);
    canvas.BlitTo(dc, rect->left, rect->top, SRCCOPY);
}
