// MenuOwner: owner of a menu from CreateMenu, CreatePopupMenu or LoadMenu, destroyed with its
// submenus when the owner goes. A menu handed to a window (SetMenu) belongs to the window:
// Release it from the owner first.
#pragma once

#include <windows.h>

#include "base/HandleOwner.h"

struct MenuDeleter {
    void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};

using MenuOwner = HandleOwner<HMENU, MenuDeleter>;
