#include "ui/ControlPainters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "base/NString.h"
#include "imaging/ImageDraw.h"
#include "imaging/NImageBuffer.h"
#include "ui/FocusCue.h"
#include "ui/NButton.h"
#include "ui/NComboBox.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"
#include "ui/SkinPainters.h"

UINT PointerStateFlags(HWND control)
{
    if (!IsWindowEnabled(control))
        return ODS_DISABLED;
    POINT cursor{};
    RECT own{};
    GetCursorPos(&cursor);
    GetWindowRect(control, &own);
    return PtInRect(&own, cursor) ? ODS_HOTLIGHT : 0;
}

void DrawButtonCaption(HWND control, HDC dc, UINT itemState, const wchar_t* caption, RECT text, int height,
                       int multiLineRight, int pressed, UINT centre, bool multiLine, const RECT& bounds)
{
    if (multiLine) {
        RECT measure = text;
        DrawTextW(dc, caption, -1, &measure, DT_WORDBREAK | DT_PATH_ELLIPSIS | DT_CALCRECT | centre);
        text = {text.left, (height - (measure.bottom - measure.top)) / 2, multiLineRight, height};
        OffsetRect(&text, pressed, pressed);
        DrawTextW(dc, caption, -1, &text, DT_WORDBREAK | DT_PATH_ELLIPSIS | centre);
        DrawFocusCue(control, dc, itemState, caption, text, DT_WORDBREAK | centre, bounds);
    } else {
        OffsetRect(&text, pressed, pressed);
        DrawTextW(dc, caption, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS | centre);
        DrawFocusCue(control, dc, itemState, caption, text, DT_SINGLELINE | DT_VCENTER | centre, bounds);
    }
}

int SkinButtonRow(UINT flags)
{
    if (flags & ODS_HOTLIGHT)
        return (flags & ODS_SELECTED) ? 4 : 1;
    if (flags & (ODS_GRAYED | ODS_DISABLED))
        return 2;
    if (flags & (ODS_DEFAULT | ODS_FOCUS))
        return 3;
    return 0;
}

int ButtonFrameIndex(UINT flags)
{
    return SkinButtonRow(flags);
}

namespace {

// The nine 8 x 8 pieces of a frame whose top-left corner is (0, top) in the picture.
void DrawNinePieces(HDC dc, int width, int height, const NImageBuffer& picture, int sourceLeft, int top,
                    bool blend)
{
    if (!picture.valid || width <= 0 || height <= 0)
        return;
    struct Piece {
        int x, y, w, h, sx, sy;
    } pieces[] = {
        {0, 0, 8, 8, 0, 0},
        {width - 8, 0, 8, 8, 16, 0},
        {width - 8, height - 8, 8, 8, 16, 16},
        {0, height - 8, 8, 8, 0, 16},
        {8, 0, width - 16, 8, 8, 0},
        {8, height - 8, width - 16, 8, 8, 16},
        {0, 8, 8, height - 16, 0, 8},
        {width - 8, 8, 8, height - 16, 16, 8},
        {8, 8, width - 16, height - 16, 8, 8},
    };
    for (const Piece& p : pieces) {
        if (p.w <= 0 || p.h <= 0)
            continue;
        if (blend)
            AlphaBlendDC(dc, p.x, p.y, p.w, p.h, picture.dc, sourceLeft + p.sx, top + p.sy, 8, 8, 255, AC_SRC_ALPHA);
        else
            StretchBlt(dc, p.x, p.y, p.w, p.h, picture.dc, sourceLeft + p.sx, top + p.sy, 8, 8, SRCCOPY);
    }
}

}  // namespace

bool DrawTwoFrameButton(const NImageBuffer& picture, int layout, HDC dc, UINT flags, const RECT* item)
{
    if (!picture.valid || !item || !dc || layout < 0 || layout > 3)
        return false;
    const int width = item->right - item->left;
    const int height = item->bottom - item->top;
    if (width <= 0 || height <= 0)
        return false;
    const bool hovered = (flags & ODS_HOTLIGHT) != 0;
    // Halves in picture coordinates (y = 0 at the top); the second half takes any odd pixel.
    const int halfWidth = picture.width / 2;
    const int halfHeight = picture.height / 2;
    const RECT upper = {0, 0, picture.width, halfHeight};
    const RECT lower = {0, halfHeight, picture.width, picture.height};
    const RECT left = {0, 0, halfWidth, picture.height};
    const RECT right = {halfWidth, 0, picture.width, picture.height};
    RECT source{};
    switch (layout) {
    case 0: source = hovered ? upper : lower; break;
    case 1: source = hovered ? right : left; break;
    case 2: source = hovered ? lower : upper; break;
    default: source = hovered ? left : right; break;
    }
    if (source.right <= source.left || source.bottom <= source.top)
        return false;
    NImageBuffer canvas;
    if (!canvas.Create(width, height, 24, RGB(0, 0, 0)))
        return false;
    SetStretchBltMode(canvas.dc, COLORONCOLOR);
    StretchBlt(canvas.dc, 0, 0, width, height, picture.dc, source.left, source.top, source.right - source.left,
               source.bottom - source.top, SRCCOPY);
    canvas.BlitTo(dc, item->left, item->top, SRCCOPY);
    return true;
}

void DrawSkinButton(NSkin& skin, HWND button, HDC dc, UINT flags, const RECT* item, int iconIndex, bool dropDown)
{
    if (!skin.IsLoaded() || !item)
        return;
    const int width = item->right - item->left;
    const int height = item->bottom - item->top;
    NImageBuffer canvas;
    if (width <= 0 || height <= 0 || !canvas.Create(width, height, 24, skin.GetColor(L"AppWindowBackColor")))
        return;
    SetStretchBltMode(canvas.dc, COLORONCOLOR);
    const int row = SkinButtonRow(flags) * 24;
    if (skin.button.valid && skin.button.bpp == 32) {
        if (const NImageBuffer* background = DialogBackgroundOf(button))
            CopyBackgroundUnder(button, canvas.dc, *background, width, height);
        DrawNinePieces(canvas.dc, width, height, skin.button, 0, row, true);
    } else {
        DrawNinePieces(canvas.dc, width, height, skin.button, 0, row, false);
    }

    const int pressed = (flags & ODS_SELECTED) ? 1 : 0;
    const int margin = ScalePixelsForDpi(2);
    const int iconWidth = skin.iconCellWidth;
    const int iconHeight = skin.iconCellHeight;
    const int y = (height - iconHeight) / 2 + pressed;
    const int x = item->right > iconWidth + 6 ? ScalePixelsForDpi(5) + pressed : (width - iconWidth) / 2 + pressed;
    int textLeft = ScalePixelsForDpi(9) + iconWidth;
    UINT centre = 0;
    if (iconIndex == -2) {
        COLORREF swatch = 0;
        NWinApp* app = NGetApp();
        if (auto* object = dynamic_cast<NButton*>(app ? app->FindWindowObject(button) : nullptr))
            swatch = object->GetSwatchColor();
        FillRectSolid(canvas.dc, x, y, x + iconWidth, y + iconHeight - 1, swatch);
        DrawRectOutline(canvas.dc, x, y, x + iconWidth, y + iconHeight - 1, 1, RGB(0, 0, 0));
    } else if (iconIndex == -1) {
        textLeft = margin;
        centre = DT_CENTER;
    } else {
        skin.DrawButtonIcon(iconIndex, flags, canvas.dc, x, y);
    }

    RECT text = {textLeft, 0, width - margin, height};
    if (dropDown && skin.comboBoxDropDown.valid)
        text.right -= skin.comboBoxDropDown.width;
    wchar_t caption[260] = {};
    GetWindowTextW(button, caption, 260);
    if (text.right - text.left > 4 && caption[0]) {
        SetBkMode(canvas.dc, TRANSPARENT);
        const ObjectSelection font(canvas.dc, reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
        const wchar_t* key = (flags & ODS_HOTLIGHT)   ? L"ButtonTextColorHilight"
                             : (flags & ODS_DISABLED) ? L"ButtonTextColorDisabled"
                                                      : L"ButtonTextColorDefault";
        SetTextColor(canvas.dc, skin.GetColor(key));
        DrawButtonCaption(button, canvas.dc, flags, caption, text, height, width - margin, pressed, centre,
                          (GetWindowLongPtrW(button, GWL_STYLE) & BS_MULTILINE) != 0, {0, 0, width, height});
    }
    if (dropDown && skin.comboBoxDropDown.valid) {
        const NImageBuffer& arrow = skin.comboBoxDropDown;
        AlphaBlendImage(canvas.dc, width - arrow.width, (height - arrow.height) / 2, arrow,
                        (flags & ODS_DISABLED) ? 128 : 255, AC_SRC_ALPHA);
    }
    canvas.BlitTo(dc, item->left, item->top, SRCCOPY);
}

COLORREF DimComboTextColour(COLORREF colour)
{
    const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    // Which channel is largest decides the hue formula; red wins ties with green.
    int max = r, min = g, maxChannel = 0;
    if (g > r) {
        max = g;
        min = r;
        maxChannel = 1;
    }
    if (b < min)
        min = b;
    else if (b > max) {
        max = b;
        maxChannel = 2;
    }
    if (max == min) {
        const int grey = static_cast<int>(min / 255.0 * 0.5 * 255.0);
        return RGB(grey, grey, grey);
    }
    const double lightness = (max + min) / 510.0;
    const int d = max - min;
    const double saturation = lightness <= 0.5 ? static_cast<double>(d) / (max + min)
                                               : static_cast<double>(d) / (510 - max - min);
    double hue = 0;
    if (maxChannel == 0)
        hue = (g - b) * 60 / static_cast<double>(d) + 360;
    else if (maxChannel == 1)
        hue = (b - r) * 60 / static_cast<double>(d) + 120;
    else
        hue = (r - g) * 60 / static_cast<double>(d) + 240;
    if (hue >= 360)
        hue -= 360;
    const double l = lightness * 0.5;
    const double q = l <= 0.5 ? l * saturation + l : l + saturation - l * saturation;
    const double p = 2 * l - q;
    auto channel = [&](double t) {
        while (t < 0)
            t += 360;
        while (t >= 360)
            t -= 360;
        double value = p;
        if (t < 60)
            value = p + (q - p) * t / 60;
        else if (t < 180)
            value = q;
        else if (t < 240)
            value = p + (q - p) * (240 - t) / 60;
        return static_cast<int>(value * 255);
    };
    return RGB(channel(hue + 120), channel(hue), channel(hue - 120));
}

COLORREF DisabledComboTextColour(COLORREF text, COLORREF headTop, COLORREF headBottom)
{
    const COLORREF dimmed = DimComboTextColour(text);
    const int change = std::max({std::abs(GetRValue(text) - GetRValue(dimmed)), std::abs(GetGValue(text) - GetGValue(dimmed)),
                                 std::abs(GetBValue(text) - GetBValue(dimmed))});
    if (change >= 64)
        return dimmed;
    // Text so dark that halving its lightness hardly changes it would look enabled: it goes half way
    // towards the head's colour instead.
    const COLORREF head = RGB((GetRValue(headTop) + GetRValue(headBottom)) / 2,
                              (GetGValue(headTop) + GetGValue(headBottom)) / 2,
                              (GetBValue(headTop) + GetBValue(headBottom)) / 2);
    return RGB((GetRValue(text) + GetRValue(head)) / 2, (GetGValue(text) + GetGValue(head)) / 2,
               (GetBValue(text) + GetBValue(head)) / 2);
}

void DrawSkinComboBoxHead(NSkin& skin, NComboBox& comboBox, HDC dc, const RECT* rc)
{
    if (!rc || !dc)
        return;
    HWND window = comboBox.GetHwnd();
    const bool enabled = window && IsWindowEnabled(window);
    DrawGradient(dc, 0, 0, rc->right, rc->bottom, skin.GetColor(L"AppComboBoxHeadGradient1"),
                 skin.GetColor(L"AppComboBoxHeadGradient2"), 1);
    NString text;
    comboBox.GetLBText(static_cast<int>(comboBox.GetCurSel()), text);
    SetBkMode(dc, TRANSPARENT);
    COLORREF colour = skin.GetColor(L"AppComboBoxHeadTextColor");
    if (!enabled)
        colour = DisabledComboTextColour(colour, skin.GetColor(L"AppComboBoxHeadGradient1"),
                                         skin.GetColor(L"AppComboBoxHeadGradient2"));
    SetTextColor(dc, colour);
    const NImageBuffer& arrow = skin.comboBoxDropDown;
    RECT textRect = *rc;
    textRect.left += 3;
    if (arrow.valid)
        textRect.right -= arrow.width;
    HGDIOBJ oldFont = nullptr;
    if (HFONT font = comboBox.GetFont())
        oldFont = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    const UINT focus = window && GetFocus() == window && !comboBox.GetDroppedState() ? ODS_FOCUS : 0;
    DrawFocusCue(window, dc, focus, text.c_str(), textRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, *rc);
    if (oldFont)
        SelectObject(dc, oldFont);
    DrawRectOutline(dc, rc->left, rc->top, rc->right, rc->bottom, 1, skin.GetColor(L"AppComboBoxHeadBorderColor"));
    if (arrow.valid)
        AlphaBlendImage(dc, rc->right - arrow.width, (rc->bottom - arrow.height - rc->top) / 2 + rc->top, arrow,
                        enabled ? 255 : 128, AC_SRC_ALPHA);
}

void NSkin::DrawButton(HWND button, HDC dc, UINT flags, const RECT* item, int iconIndex, bool dropDown)
{
    DrawSkinButton(*this, button, dc, flags, item, iconIndex, dropDown);
}

void NSkin::DrawComboBoxHead(NComboBox& comboBox, HDC dc, const RECT* rc)
{
    DrawSkinComboBoxHead(*this, comboBox, dc, rc);
}
