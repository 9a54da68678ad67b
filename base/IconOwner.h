// Owners of icons (made by CreateIconIndirect, CopyIcon or LoadImage without LR_SHARED) and of
// common-control image lists. An image list handed to a control that destroys it (a list view
// without LVS_SHAREIMAGELISTS) must be Released from its owner.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/HandleOwner.h"

struct IconDeleter {
    void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
struct ImageListDeleter {
    void operator()(HIMAGELIST list) const noexcept { ImageList_Destroy(list); }
};

using IconOwner = HandleOwner<HICON, IconDeleter>;
using ImageListOwner = HandleOwner<HIMAGELIST, ImageListDeleter>;
