#include "ui/MenuItems.h"

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

namespace {

bool IsSeparator(HMENU menu, int position)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_SUBMENU;
    return GetMenuItemInfoW(menu, position, TRUE, &info) && (info.fType & MFT_SEPARATOR) && !info.hSubMenu;
}

}  // namespace

void RemoveStraySeparators(HMENU menu)
{
    if (!menu)
        return;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (HMENU sub = GetSubMenu(menu, i))
            RemoveStraySeparators(sub);
    }
    for (int i = 0; i < count;) {
        const bool stray = IsSeparator(menu, i) && (i == 0 || i == count - 1 || IsSeparator(menu, i + 1));
        if (stray && DeleteMenu(menu, static_cast<UINT>(i), MF_BYPOSITION)) {
            count = GetMenuItemCount(menu);
            i = i > 0 ? i - 1 : 0;  // the item before may now end the menu
        } else {
            ++i;
        }
    }
}
