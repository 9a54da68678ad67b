// The painters of the skin: controls drawn from the skin's pictures, made to look transparent on
// dialogs with a background picture by first copying the part of that picture under the control.
#include "ui/SkinPainters.h"

#include <commctrl.h>

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "imaging/ImageDraw.h"
#include "imaging/NImageBuffer.h"
#include "ui/FocusCue.h"
#include "ui/NDialog.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

bool CopyBackgroundUnder(HWND control, HDC dc, const NImageBuffer& background, int width, int height)
{
    if (!background.valid || width <= 0 || height <= 0)
        return false;
    RECT window = {};
    if (!GetWindowRect(control, &window))
        return false;
    POINT corner = {window.left, window.top};
    ScreenToClient(GetParent(control), &corner);
    return background.StretchBlitRectTo(dc, 0, 0, width, height, corner.x, corner.y, width, height, SRCCOPY);
}

const NImageBuffer* DialogBackgroundOf(HWND control)
{
    HWND parent = GetParent(control);
    if (!parent)
        return nullptr;
    wchar_t className[64] = {};
    GetClassNameW(parent, className, 64);
    if (lstrcmpiW(className, L"#32770") != 0)
        return nullptr;
    NWinApp* app = NGetApp();
    NWindow* object = app ? app->FindWindowObject(parent) : nullptr;
    if (!object || !object->HasBackgroundImage())
        return nullptr;
    NDialog* dialog = dynamic_cast<NDialog*>(object);
    NImageBuffer* picture = dialog ? dialog->GetBackgroundImage() : nullptr;
    return picture && picture->valid ? picture : nullptr;
}

namespace {

const BLENDFUNCTION kBlend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};

void BlendCell(HDC dc, int x, int y, int width, int height, const NImageBuffer& picture, int sourceX,
               int sourceY, int sourceWidth, int sourceHeight, int alpha)
{
    if (!picture.valid || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return;
    AlphaBlendDC(dc, x, y, width, height, picture.dc, sourceX, sourceY, sourceWidth, sourceHeight, alpha,
                 AC_SRC_ALPHA);
}

// One cell of a strip: alpha-blended from a 32-bit picture, else colour-keyed by the picture's
// top-left pixel (grey when disabled).
void DrawStripCell(const NImageBuffer& picture, int index, int cellWidth, int cellHeight, UINT flags, HDC dc,
                   int x, int y)
{
    if (!picture.valid || index < 0 || cellWidth <= 0 || cellHeight <= 0)
        return;
    const int sourceX = index * cellWidth;
    if (picture.bpp == 32) {
        AlphaBlendDC(dc, x, y, cellWidth, cellHeight, picture.dc, sourceX, 0, cellWidth, cellHeight,
                     (flags & ODS_DISABLED) ? 100 : 255, AC_SRC_ALPHA);
        return;
    }
    NImageBuffer copy;
    if (!copy.Copy(picture))
        return;
    if (flags & ODS_DISABLED)
        copy.ConvertToGray8();
    const COLORREF key = GetPixel(copy.dc, 0, 0);
    TransparentBlt(dc, x, y, cellWidth, cellHeight, copy.dc, sourceX, 0, cellWidth, cellHeight, key);
}

void DrawCheckFamily(NSkin& skin, const NImageBuffer& picture, int frameWidth, int frameHeight, HWND control,
                     HDC dc, UINT flags, const RECT* item, COLORREF textColour)
{
    if (!skin.IsLoaded() || !item || item->right <= 0 || item->bottom <= 0)
        return;
    NImageBuffer canvas;
    if (!canvas.Create(item->right, item->bottom, 24, skin.GetColor(L"AppWindowBackColor")))
        return;
    SetStretchBltMode(canvas.dc, COLORONCOLOR);
    const int width = canvas.width;
    const int height = canvas.height;
    if (const NImageBuffer* background = DialogBackgroundOf(control))
        CopyBackgroundUnder(control, canvas.dc, *background, width, height);
    const int frameY = height < frameHeight ? 0 : (height - frameHeight) / 2;
    DrawStripCell(picture, (flags & ODS_CHECKED) ? 1 : 0, frameWidth, frameHeight, flags, canvas.dc, 0, frameY);

    SetBkMode(canvas.dc, TRANSPARENT);
    HGDIOBJ oldFont = nullptr;
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)))
        oldFont = SelectObject(canvas.dc, font);
    SetTextColor(canvas.dc, textColour);
    wchar_t text[260] = {};
    GetWindowTextW(control, text, 260);
    RECT textRect = {frameWidth + ScalePixelsForDpi(4), 0, width - ScalePixelsForDpi(2), height};
    if (GetWindowLongPtrW(control, GWL_STYLE) & BS_MULTILINE) {
        RECT measure = textRect;
        DrawTextW(canvas.dc, text, -1, &measure, DT_WORDBREAK | DT_CALCRECT);
        textRect.top = (height - (measure.bottom - measure.top)) / 2;
        DrawTextW(canvas.dc, text, -1, &textRect, DT_WORDBREAK);
        DrawFocusCue(control, canvas.dc, flags, text, textRect, DT_WORDBREAK, {0, 0, width, height});
    } else {
        DrawTextW(canvas.dc, text, -1, &textRect, DT_SINGLELINE | DT_VCENTER);
        DrawFocusCue(control, canvas.dc, flags, text, textRect, DT_SINGLELINE | DT_VCENTER, {0, 0, width, height});
    }
    if (oldFont)
        SelectObject(canvas.dc, oldFont);
    canvas.BlitTo(dc, item->left, item->top, SRCCOPY);
}

COLORREF CheckTextColour(UINT flags, COLORREF disabled, COLORREF checked, COLORREF normal)
{
    if (flags & ODS_DISABLED)
        return disabled;
    return (flags & ODS_CHECKED) ? checked : normal;
}

int StateRow(UINT flags)
{
    if (flags & ODS_SELECTED)
        return 3;
    if (flags & ODS_DISABLED)
        return 2;
    return (flags & ODS_HOTLIGHT) ? 1 : 0;
}

}  // namespace

void NSkin::DrawButtonIcon(int index, UINT flags, HDC dc, int x, int y)
{
    DrawStripCell(buttonIcons, index, iconCellWidth, iconCellHeight, flags, dc, x, y);
}

void NSkin::DrawCheckBox(HWND control, HDC dc, UINT flags, const RECT* item, COLORREF disabled, COLORREF checked,
                         COLORREF normal)
{
    DrawCheckFamily(*this, checkBox, checkBoxFrameWidth, checkBoxFrameHeight, control, dc, flags, item,
                    CheckTextColour(flags, disabled, checked, normal));
}

void NSkin::DrawRadioItem(HWND control, HDC dc, UINT flags, const RECT* item, COLORREF disabled, COLORREF checked,
                          COLORREF normal)
{
    DrawCheckFamily(*this, radioItem, radioFrameWidth, radioFrameHeight, control, dc, flags, item,
                    CheckTextColour(flags, disabled, checked, normal));
}

void NSkin::DrawSwitchBox(HWND control, HDC dc, UINT flags, const RECT* item, COLORREF disabled,
                          COLORREF checked, COLORREF normal, COLORREF hover)
{
    COLORREF colour = CheckTextColour(flags, disabled, checked, normal);
    if (flags & ODS_HOTLIGHT)
        colour = hover;
    DrawCheckFamily(*this, switchBox, switchBoxFrameWidth, switchBoxFrameHeight, control, dc, flags, item, colour);
}

void NSkin::DrawGroupBox(HWND control, HDC dc, const RECT* rc)
{
    if (!rc)
        return;
    if (const NImageBuffer* background = DialogBackgroundOf(control))
        CopyBackgroundUnder(control, dc, *background, rc->right - rc->left, rc->bottom - rc->top);
    const int t = ScalePixelsForDpi(8);
    const int c = ScalePixelsForDpi(12);
    const int ch = ScalePixelsForDpi(18);
    const int y0 = rc->top + t;
    wchar_t caption[260] = {};
    GetWindowTextW(control, caption, 260);
    const int length = lstrlenW(caption);
    SIZE extent = {};
    if (length > 0) {
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldFont = nullptr;
        if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)))
            oldFont = SelectObject(dc, font);
        RECT shadow = {c + 1, 1, rc->right + 1, ch + 1};
        SetTextColor(dc, GetColor(L"AppDlgGroupBoxTextShadowColor"));
        DrawTextW(dc, caption, -1, &shadow, DT_SINGLELINE | DT_VCENTER);
        RECT text = {c, 0, rc->right, ch};
        SetTextColor(dc, GetColor(L"AppDlgGroupBoxTextColor"));
        DrawTextW(dc, caption, -1, &text, DT_SINGLELINE | DT_VCENTER);
        GetTextExtentPoint32W(dc, caption, length, &extent);
        if (oldFont)
            SelectObject(dc, oldFont);
    }
    const NImageBuffer& g = groupBox;
    BlendCell(dc, rc->left, y0, 4, 4, g, 0, 0, 4, 4, 255);
    BlendCell(dc, rc->right - 4, y0, 4, 4, g, 12, 0, 4, 4, 255);
    BlendCell(dc, rc->right - 4, rc->bottom - 4, 4, 4, g, 12, 12, 4, 4, 255);
    BlendCell(dc, rc->left, rc->bottom - 4, 4, 4, g, 0, 12, 4, 4, 255);
    if (length > 0) {
        BlendCell(dc, rc->left + 4, y0, c - 8, 4, g, 4, 0, 4, 4, 255);
        BlendCell(dc, c + extent.cx + 4, y0, rc->right - extent.cx - c - 8, 4, g, 4, 0, 4, 4, 255);
    } else {
        BlendCell(dc, rc->left + 4, y0, rc->right - 8, 4, g, 4, 0, 4, 4, 255);
    }
    BlendCell(dc, rc->left + 4, rc->bottom - 4, rc->right - 8, 4, g, 4, 12, 4, 4, 255);
    BlendCell(dc, rc->left, y0 + 4, 4, rc->bottom - t - 8, g, 0, 4, 4, 4, 255);
    BlendCell(dc, rc->right - 4, y0 + 4, 4, rc->bottom - t - 8, g, 12, 4, 4, 4, 255);
}

void NSkin::DrawTrackBar(HWND control, HDC dc, const RECT* rc)
{
    if (!rc)
        return;
    wchar_t className[64] = {};
    GetClassNameW(GetParent(control), className, 64);
    if (lstrcmpiW(className, L"#32770") != 0) {
        const BrushOwner brush(CreateSolidBrush(GetColor(L"AppWindowBackColor")));
        FillRect(dc, rc, brush.Get());
    } else if (const NImageBuffer* background = DialogBackgroundOf(control)) {
        CopyBackgroundUnder(control, dc, *background, rc->right - rc->left, rc->bottom - rc->top);
    }
    const int alpha = IsWindowEnabled(control) ? 255 : 80;
    if (trackBar.valid) {
        const int ht = trackBar.height;
        const int wt = trackBar.width;
        const int y = (rc->bottom - rc->top) / 2 - ht / 2;
        const int w = rc->right - rc->left;
        BlendCell(dc, 0, y, 10, ht, trackBar, 0, 0, 10, ht, alpha);
        BlendCell(dc, w - 10, y, 10, ht, trackBar, wt - 10, 0, 10, ht, alpha);
        BlendCell(dc, 10, y, w - 20, ht, trackBar, 10, 0, wt - 20, ht, alpha);
    }
    RECT thumb = {};
    SendMessageW(control, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    if (trackBarThumb.valid) {
        const int x = (thumb.left + thumb.right) / 2 - trackBarThumb.width / 2;
        const int y = (rc->bottom - rc->top) / 2 - trackBarThumb.height / 2;
        BlendCell(dc, x, y, trackBarThumb.width, trackBarThumb.height, trackBarThumb, 0, 0, trackBarThumb.width,
                  trackBarThumb.height, alpha);
    }
}

void NSkin::DrawSlideShowControl(int index, HDC dc, UINT flags, int x, int y)
{
    BlendCell(dc, x, y, slideShowCellWidth, slideShowCellHeight, slideShowControls, index * slideShowCellWidth,
              StateRow(flags) * slideShowCellHeight, slideShowCellWidth, slideShowCellHeight, 255);
}

void NSkin::DrawPlayerButton(int index, HDC dc, UINT flags)
{
    if (player.bpp != 32)
        return;
    const int x = (playerButtonWidth - playerImageWidth) / 2;
    const int y = (playerButtonHeight - playerImageHeight) / 2;
    RECT area = {x, y, x + playerImageWidth, y + playerImageHeight};
    FillRect(dc, &area, m_windowBrush.Get());
    DrawPlayerImage(index, dc, flags, x, y, nullptr);
}

void NSkin::DrawPlayerImage(int index, HDC dc, UINT flags, int x, int y, const NImageBuffer* picture)
{
    const NImageBuffer& source = picture ? *picture : player;
    BlendCell(dc, x, y, playerImageWidth, playerImageHeight, source, index * playerImageWidth,
              StateRow(flags) * playerImageHeight, playerImageWidth, playerImageHeight, 255);
}

HBITMAP NSkin::MakeGradientBitmap(int width, int height, COLORREF colour1, COLORREF colour2, int direction)
{
    NImageBuffer picture;
    if (width <= 0 || height <= 0 || !picture.Create(width, height, 24, colour1))
        return nullptr;
    DrawGradient(picture.dc, 0, 0, width, height, colour1, colour2, direction);
    picture.DeselectBitmap();
    return static_cast<HBITMAP>(CopyImage(picture.bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}
