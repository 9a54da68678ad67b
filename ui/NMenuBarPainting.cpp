#include "ui/NMenuBar.h"

#include <algorithm>

#include "base/GdiOwners.h"
#include "base/Log.h"
#include "imaging/ImageDraw.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"
#include "ui/SkinSeam.h"

namespace {

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

bool CurrentLanguageRunsRightToLeft()
{
    NWinApp* app = NGetApp();
    return app && app->GetLanguage() && IsRightToLeftLanguage(app->GetLanguage()->GetCurrentCode().c_str());
}

constexpr int kItemUnits = 260;

}  // namespace

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
        HFONT font = m_titleFont.Get();
        COLORREF colour = skin->GetColor(L"MenuTitleTextColor");
        if (active) {
            DrawGradient(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                         skin->GetColor(L"MenuTitleSelectedColorStart"), skin->GetColor(L"MenuTitleSelectedColorEnd"),
                         1);
            DrawRectOutline(dc, rect.left, rect.top, rect.right, rect.bottom, 1,
                            skin->GetColor(L"MenuTitleSelectedBorderColor"));
            font = m_selectedTitleFont.Get();
            colour = skin->GetColor(L"MenuTitleTextSelectedColor");
        } else if ((draw->uItemState & CDIS_DISABLED) && command == 0) {
            colour = skin->GetColor(L"MenuTitleTextGrayedColor");
        }
        ObjectSelection selection(dc, font);
        SetTextColor(dc, colour);
        DrawTextW(dc, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
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
    {
        ObjectSelection selection(dc, (selected && !grayed) ? m_selectedItemFont.Get() : m_itemFont.Get());
        const MenuItemTextLayout layout =
            LayOutMenuItemText(rc, shortcut != nullptr, CurrentLanguageRunsRightToLeft());
        if (shortcut) {
            RECT shortcutRect = layout.shortcut;
            DrawTextW(dc, shortcut, -1, &shortcutRect, layout.shortcutFormat);
        }
        RECT labelRect = layout.label;
        DrawTextW(dc, text, -1, &labelRect, layout.labelFormat);
    }

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
    SIZE size{};
    TEXTMETRICW metrics{};
    {
        const WindowDc dc(window);
        if (!dc)
            return;
        const ObjectSelection font(dc.Get(), item->itemID == 0 ? m_selectedTitleFont.Get() : m_selectedItemFont.Get());
        GetTextExtentPoint32W(dc.Get(), text, lstrlenW(text), &size);
        GetTextMetricsW(dc.Get(), &metrics);
    }
    if (item->itemID != 0) {
        item->itemWidth = static_cast<UINT>(std::max<LONG>(0, size.cx - metrics.tmOverhang + 31));
        item->itemHeight = size.cy + 5 > 15 ? size.cy + 5 : 21;
    } else {
        item->itemWidth = size.cx;
        item->itemHeight = size.cy;
    }
}
