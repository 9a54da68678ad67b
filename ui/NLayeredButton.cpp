#include "ui/NLayeredButton.h"

#include <algorithm>

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "imaging/NGraphics.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"
#include "ui/NWindowLayered.h"

namespace {

constexpr UINT_PTR kHoverTimer = 1;
constexpr UINT_PTR kFadeTimer = 2;
constexpr UINT kHoverPeriod = 100;
constexpr UINT kFadePeriod = 30;
constexpr int kFadeStep = 25;

}  // namespace

NLayeredButton::NLayeredButton()
{
    m_text = L"";
    m_iconName = L"";
}

NLayeredButton::~NLayeredButton() = default;

void NLayeredButton::Setup(HWND notify, int commandId, const wchar_t* iconName, const wchar_t* text, int textStyle,
                           int fontSize, COLORREF textColour, COLORREF outlineColour, bool bold, bool italic, int layout)
{
    m_notify = notify;
    m_commandId = commandId;
    m_iconName = iconName ? iconName : L"";
    m_text = text ? text : L"";
    m_layout = layout;
    MakeTextPicture(textStyle, fontSize, textColour, outlineColour, bold, italic);
}

void NLayeredButton::MakeTextPicture(int textStyle, int fontSize, COLORREF textColour, COLORREF outlineColour,
                                     bool bold, bool italic)
{
    m_textStyle = textStyle;
    m_fontSize = fontSize;
    m_textColour = textColour;
    m_outlineColour = outlineColour;

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    font.lfWeight = bold ? 700 : 400;
    font.lfItalic = italic ? 1 : 0;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfHeight = PointsToFontHeight(fontSize);
    m_font.Reset(CreateFontIndirectW(&font));
    if (GetHwnd())
        SetFont(m_font.Get());

    // The measured text with room for the outline, the shadow and a slant.
    SIZE measured = {};
    {
        const WindowDc dc(GetHwnd());
        const ObjectSelection selection(dc.Get(), m_font.Get());
        GetTextExtentPoint32W(dc.Get(), m_text.c_str(), m_text.GetLength(), &measured);
    }
    m_textSize = {measured.cx + (italic ? 30 : 20), measured.cy + 10};

    NImageBuffer colour;
    NImageBuffer mask;
    if (!colour.Create(m_textSize.cx, m_textSize.cy, 24, textColour) ||
        !mask.Create(m_textSize.cx, m_textSize.cy, 24, RGB(0, 0, 0))) {
        m_textPicture.Destroy();
        return;
    }
    const int alignment = m_layout == kIconLeft ? 0 : 1;
    const float size = static_cast<float>(fontSize);
    NGdiPlusSession gdiplus;
    auto draw = [&](NImageBuffer& target, COLORREF fill, COLORREF outline) {
        NGraphicsOnDC graphics(target.dc);
        if (!graphics.IsValid())
            return;
        if (textStyle == 2)
            graphics->DrawOutlinedString(3, 3, m_textSize.cx + 3, m_textSize.cy + 3, m_text.c_str(), size, font,
                                         alignment, 1, outline, 255, 0, 0, 1, outline, 0, 2, 0);
        graphics->DrawOutlinedString(0, 0, m_textSize.cx, m_textSize.cy, m_text.c_str(), size, font, alignment, 1,
                                     fill, 255, 0, 0, 1, outline, 0, 2, 0);
    };
    draw(colour, textColour, outlineColour);
    draw(mask, RGB(255, 255, 255), RGB(255, 255, 255));
    GdiFlush();
    if (!mask.ConvertToGray8() || !colour.ConvertToBpp(32, false) || !colour.InsertChannel(4, mask) ||
        !colour.PremultiplyAlpha()) {
        m_textPicture.Destroy();
        return;
    }
    m_textPicture.Destroy();
    m_textPicture.Copy(colour);
}

void NLayeredButton::SetDisabled(bool disabled)
{
    m_state = disabled ? kDisabled : kNormal;
    m_fadeAlpha = 0;
    UpdateLayered(255);
}

void NLayeredButton::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = static_cast<DWORD>(WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    // Layered from its creation on, like the other layered popups.
    m_cs.dwExStyle |= WS_EX_LAYERED;
}

void NLayeredButton::OnCreated()
{
    m_hover = false;
    m_previousHover = false;
    m_state = kNormal;
    m_fadeAlpha = 0;
    m_fadeTarget = 0;
    m_cursor = LoadCursorW(nullptr, IDC_HAND);
    m_iconStrip.Destroy();
    NWinApp* app = NGetApp();
    NSkin* skin = app ? app->GetSkin() : nullptr;
    if (skin && !m_iconName.IsEmpty() && skin->LoadPng(m_iconStrip, m_iconName.c_str(), true)) {
        if (m_iconStrip.bpp != 32 && !(m_iconStrip.ConvertToBpp(32, false) && m_iconStrip.SetChannel(4, 255)))
            m_iconStrip.Destroy();
        else
            m_iconStrip.PremultiplyAlpha();
    }
    if (m_font)
        SetFont(m_font.Get());
    SetTimer(GetHwnd(), kHoverTimer, kHoverPeriod, nullptr);
    if (!(GetExStyle() & WS_EX_LAYERED))
        ModifyExStyle(0, WS_EX_LAYERED);
}

void NLayeredButton::OnDestroy(WPARAM wParam, LPARAM lParam)
{
    KillTimer(GetHwnd(), kHoverTimer);
    KillTimer(GetHwnd(), kFadeTimer);
    m_hover = false;
    m_font.Reset();
    m_iconStrip.Destroy();
    m_textPicture.Destroy();
    NWindow::OnDestroy(wParam, lParam);
}

void NLayeredButton::DrawFrame(HDC dc, int frame, int frameAlpha, int textAlpha)
{
    RECT client = {};
    GetClientRect(GetHwnd(), &client);
    const int W = client.right;
    const int H = client.bottom;
    const int w = m_iconStrip.valid ? m_iconStrip.width : 0;
    const int h = m_iconStrip.valid ? m_iconStrip.height / 4 : 0;
    const int tw = m_textPicture.valid ? m_textPicture.width : 0;
    const int th = m_textPicture.valid ? m_textPicture.height : 0;
    int frameX, frameY, textX, textY;
    if (m_layout == kIconLeft) {
        frameX = W / 2 - (tw + w) / 2;
        frameY = H / 2 - h / 2;
        textX = frameX + w;
        textY = H / 2 - th / 2;
    } else {
        frameX = W / 2 - w / 2;
        frameY = H / 2 - (th + h) / 2;
        textX = W / 2 - tw / 2;
        textY = H - th;
    }
    if (w > 0 && h > 0 && frameAlpha > 0)
        AlphaBlendDC(dc, frameX, frameY, w, h, m_iconStrip.dc, 0, std::clamp(frame, 0, 3) * h, w, h,
                     std::clamp(frameAlpha, 0, 255), AC_SRC_ALPHA);
    if (tw > 0 && th > 0 && textAlpha > 0)
        AlphaBlendDC(dc, textX, textY, tw, th, m_textPicture.dc, 0, 0, tw, th, std::clamp(textAlpha, 0, 255),
                     AC_SRC_ALPHA);
}

void NLayeredButton::DrawFrames(HDC dc, int frameAlpha, int textAlpha)
{
    DrawFrame(dc, m_state, frameAlpha, textAlpha);
}

bool NLayeredButton::UpdateLayered(int alpha)
{
    HWND window = GetHwnd();
    if (!window)
        return false;
    RECT client = {};
    GetClientRect(window, &client);
    if (client.right < 5 || client.right > 10000 || client.bottom < 5 || client.bottom > 5000)
        return false;
    NImageBuffer canvas;
    if (!canvas.Create(client.right, client.bottom, 32, 0))
        return false;
    // With a text the whole rectangle takes the mouse: no pixel is fully transparent.
    if (!m_text.IsEmpty())
        canvas.SetChannel(4, 1);
    if (m_state != kPressed && m_state != kDisabled)
        m_state = m_hover ? kHover : kNormal;
    if (m_fadeAlpha != 0) {
        DrawFrame(canvas.dc, m_state, 255 - m_fadeAlpha, 255);
        DrawFrame(canvas.dc, std::clamp(m_fadeTarget, 0, 3), m_fadeAlpha, 0);
    } else {
        DrawFrame(canvas.dc, m_state, 255, m_state == kDisabled ? 50 : 255);
    }
    GdiFlush();
    ShowLayeredPicture(window, canvas, alpha, L"NLayeredButton");
    return true;
}

LRESULT NLayeredButton::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool disabled = m_state == kDisabled;
    switch (message) {
    case WM_ERASEBKGND:
        return 0;
    case WM_TIMER:
        if (wParam == kHoverTimer) {
            POINT cursor = {};
            RECT place = {};
            GetCursorPos(&cursor);
            GetWindowRect(window, &place);
            const bool inside = PtInRect(&place, cursor) != 0;
            if (disabled) {
                if (inside)
                    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
                return 0;
            }
            m_previousHover = m_hover;
            m_hover = inside;
            if (m_hover != m_previousHover) {
                if (m_hover)
                    SetCursor(m_cursor);
                else if (m_state == kPressed)
                    m_state = kNormal;
                m_fadeAlpha = 255;
                m_fadeTarget = m_hover ? kNormal : kHover;
                KillTimer(window, kFadeTimer);
                SetTimer(window, kFadeTimer, kFadePeriod, nullptr);
            }
            return 0;
        }
        if (wParam == kFadeTimer) {
            m_fadeAlpha -= kFadeStep;
            if (m_fadeAlpha <= 0) {
                m_fadeAlpha = 0;
                KillTimer(window, kFadeTimer);
            }
            UpdateLayered(255);
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (!disabled) {
            SetCursor(m_cursor);
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        if (!disabled && m_notify) {
            m_state = kPressed;
            UpdateLayered(255);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (!disabled) {
            // A press that left the button before the release clicks nothing.
            const bool click = m_state == kPressed;
            m_state = kNormal;
            UpdateLayered(255);
            if (click && m_notify)
                PostMessageW(m_notify, WM_COMMAND, static_cast<WPARAM>(m_commandId), 0);
            return 0;
        }
        break;
    default:
        break;
    }
    return NWindow::WndProc(window, message, wParam, lParam);
}
