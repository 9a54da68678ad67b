#include "ui/NDialogFancy.h"

#include <algorithm>

#include "base/Dpi.h"
#include "imaging/NGraphics.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"
#include "ui/SkinSeam.h"

namespace {

constexpr int kBand = 35;
constexpr int kHelpCommand = 9;
constexpr DWORD kPopupStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// The cursor position of the one drag that can run at a time.
POINT g_dragFrom = {};

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

bool LoadPremultiplied(NImageBuffer& picture, const wchar_t* name)
{
    NSkin* skin = AppSkin();
    if (!skin || !skin->LoadPng(picture, name, true))
        return false;
    if (picture.bpp != 32 && !(picture.ConvertToBpp(32, false) && picture.SetChannel(4, 255)))
        return false;
    return picture.PremultiplyAlpha();
}

void Stretch(HDC target, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh)
{
    if (w > 0 && h > 0 && sw > 0 && sh > 0)
        StretchBlt(target, x, y, w, h, source, sx, sy, sw, sh, SRCCOPY);
}

}  // namespace

NDialogFancy::NDialogFancy(int resourceId, HWND parent) : NDialog(resourceId, parent) {}

int NDialogFancy::OnInitDialog()
{
    const int result = NDialog::OnInitDialog();
    MakeFrame();
    return result;
}

void NDialogFancy::MakeFrame()
{
    HWND dialog = GetHwnd();
    if (!dialog)
        return;
    DestroyFrame();
    const int B = ScalePixelsForDpi(kBand);
    RECT place = {};
    GetWindowRect(dialog, &place);
    const int width = place.right - place.left + 2 * B;
    const int height = place.bottom - place.top + 2 * B;

    NImageBuffer skin;
    NImageBuffer border;
    if (!border.Create(width, height, 32, 0))
        return;
    if (LoadPremultiplied(skin, L"DialogFancyBorder") && skin.width > 2 * B && skin.height > 2 * B) {
        const int P = skin.width;
        const int Q = skin.height;
        SetStretchBltMode(border.dc, COLORONCOLOR);
        HDC s = skin.dc;
        Stretch(border.dc, 0, 0, B, B, s, 0, 0, B, B);
        Stretch(border.dc, width - B, 0, B, B, s, P - B, 0, B, B);
        Stretch(border.dc, 0, height - B, B, B, s, 0, Q - B, B, B);
        Stretch(border.dc, width - B, height - B, B, B, s, P - B, Q - B, B, B);
        Stretch(border.dc, B, 0, width - 2 * B, B, s, B, 0, P - 2 * B, B);
        Stretch(border.dc, B, height - B, width - 2 * B, B, s, B, Q - B, P - 2 * B, B);
        Stretch(border.dc, 0, B, B, height - 2 * B, s, 0, B, B, Q - 2 * B);
        Stretch(border.dc, width - B, B, B, height - 2 * B, s, P - B, B, B, Q - 2 * B);
        GdiFlush();
    }

    // The title in the top band: its coverage is the alpha of a picture in the caption colour.
    wchar_t title[261] = {};
    GetWindowTextW(dialog, title, 260);
    if (title[0]) {
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof(metrics);
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        LOGFONTW font = metrics.lfMenuFont;
        font.lfHeight = PointsToFontHeight(11);
        font.lfWeight = 500;
        const COLORREF colour = CurrentSkin().GetColor(L"AppFancyDlgCaptionTextColor");
        NImageBuffer mask;
        NImageBuffer caption;
        if (mask.Create(width, B, 24, RGB(0, 0, 0)) && caption.Create(width, B, 24, colour)) {
            {
                NGdiPlusSession gdiplus;
                NGraphicsOnDC graphics(mask.dc);
                if (graphics.IsValid())
                    graphics->DrawOutlinedString(0, 0, width, B, title, static_cast<float>(ScalePixelsForDpi(12)),
                                                 font, 1, 1, RGB(255, 255, 255), 255, 0, 0, 0, 0, 0, 0, 0);
            }
            GdiFlush();
            if (mask.ConvertToGray8() && caption.ConvertToBpp(32, false) && caption.InsertChannel(4, mask) &&
                caption.PremultiplyAlpha()) {
                AlphaBlendDC(border.dc, 0, 0, width, B, caption.dc, 0, 0, width, B, 255, AC_SRC_ALPHA);
                GdiFlush();
            }
        }
    }

    if (!m_border.Create(dialog, L"", kPopupStyle, 0))
        return;
    m_border.picture.Copy(border);
    m_borderMade = true;
    if (LoadPremultiplied(skin, L"DialogFancyPointer") && m_pointer.Create(dialog, L"", kPopupStyle, WS_EX_TRANSPARENT))
        m_pointer.picture.Copy(skin);
    PlaceFrame();
    m_border.UpdateLayered(255);
    m_pointer.UpdateLayered(255);
}

void NDialogFancy::PlaceFrame()
{
    HWND dialog = GetHwnd();
    if (!dialog)
        return;
    RECT place = {};
    GetWindowRect(dialog, &place);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW;
    if (m_border.GetHwnd() && m_border.picture.valid) {
        const int w = m_border.picture.width;
        const int h = m_border.picture.height;
        const int x = (place.left + place.right) / 2 - w / 2;
        const int y = (place.top + place.bottom) / 2 - h / 2;
        SetWindowPos(m_border.GetHwnd(), nullptr, x, y, w, h, flags);
    }
    if (m_pointer.GetHwnd() && m_pointer.picture.valid) {
        const int w = m_pointer.picture.width;
        const int h = m_pointer.picture.height;
        SetWindowPos(m_pointer.GetHwnd(), nullptr, (place.left + place.right) / 2 - w / 2, place.top - h, w, h, flags);
    }
}

void NDialogFancy::ShowFrame()
{
    HWND dialog = GetHwnd();
    if (!dialog)
        return;
    if (m_initialX != -1 && m_initialY != -1)
        SetWindowPos(dialog, nullptr, m_initialX, m_initialY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetFocus(dialog);
    SetForegroundWindow(dialog);
    // Shown without taking the activation, which would close a dialog that closes on losing it.
    if (m_border.GetHwnd())
        ShowWindow(m_border.GetHwnd(), SW_SHOWNOACTIVATE);
    if (m_pointer.GetHwnd())
        ShowWindow(m_pointer.GetHwnd(), SW_SHOWNOACTIVATE);
}

void NDialogFancy::DestroyFrame()
{
    m_border.Destroy();
    m_border.picture.Destroy();
    m_pointer.Destroy();
    m_pointer.picture.Destroy();
    m_borderMade = false;
}

void NDialogFancy::OnDlgMove()
{
    PlaceFrame();
}

void NDialogFancy::OnDlgDestroy()
{
    DestroyFrame();
}

INT_PTR NDialogFancy::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam)
            ShowFrame();
        break;
    case WM_ACTIVATE:
        if (!m_closeWhenDeactivated)
            break;
        if (LOWORD(wParam) == WA_INACTIVE && IsWindowVisible(window)) {
            POINT cursor = {};
            RECT place = {};
            GetCursorPos(&cursor);
            GetWindowRect(window, &place);
            HWND activated = reinterpret_cast<HWND>(lParam);
            if (!PtInRect(&place, cursor) && !(activated && IsChild(window, activated)))
                EndDialog(1);
        }
        return 0;
    case WM_LBUTTONDOWN:
        SetCapture(window);
        GetCursorPos(&g_dragFrom);
        return 0;
    case WM_MOUSEMOVE:
        if ((wParam & MK_LBUTTON) && GetCapture() == window) {
            POINT cursor = {};
            GetCursorPos(&cursor);
            RECT place = {};
            GetWindowRect(window, &place);
            SetWindowPos(window, nullptr, place.left + cursor.x - g_dragFrom.x, place.top + cursor.y - g_dragFrom.y, 0,
                         0, SWP_NOSIZE | SWP_NOZORDER);
            g_dragFrom = cursor;
        }
        return 0;
    case WM_LBUTTONUP:
        ReleaseCapture();
        return 0;
    case WM_HOTKEY:
        PostMessageW(window, WM_COMMAND, kHelpCommand, 0);
        return 0;
    default:
        break;
    }
    return NDialog::DialogProc(window, message, wParam, lParam);
}
