#include "base/HandleOwner.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <utility>

#include "base/GdiOwners.h"
#include "base/IconOwner.h"
#include "base/MenuOwner.h"

namespace {

HFONT MakeFont()
{
    LOGFONTW font = {};
    font.lfHeight = -12;
    wcscpy(font.lfFaceName, L"Liberation Sans");
    return CreateFontIndirectW(&font);
}

bool IsFont(HFONT font)
{
    return GetObjectType(font) == OBJ_FONT;
}

}  // namespace

TEST(HandleOwnerTest, FreesTheHandleWhenItGoesOrTakesAnother)
{
    HFONT first = MakeFont();
    HFONT second = MakeFont();
    ASSERT_TRUE(IsFont(first) && IsFont(second));
    {
        FontOwner owner(first);
        EXPECT_EQ(owner.Get(), first);
        EXPECT_TRUE(owner);
        owner.Reset(first);  // the same handle again: kept
        EXPECT_TRUE(IsFont(first));
        owner.Reset(second);
        EXPECT_FALSE(IsFont(first));
        EXPECT_EQ(owner.Get(), second);
    }
    EXPECT_FALSE(IsFont(second));

    FontOwner empty;
    EXPECT_FALSE(empty);
    empty.Reset();  // nothing to free
    EXPECT_EQ(empty.Get(), nullptr);
}

TEST(HandleOwnerTest, ReleaseAndMoveHandOwnershipOn)
{
    HFONT font = MakeFont();
    FontOwner owner(font);
    EXPECT_EQ(owner.Release(), font);
    EXPECT_FALSE(owner);
    owner.Reset();
    ASSERT_TRUE(IsFont(font)) << "a released handle is not freed";

    FontOwner source(font);
    FontOwner moved(std::move(source));
    EXPECT_FALSE(source);
    EXPECT_EQ(moved.Get(), font);
    HFONT other = MakeFont();
    FontOwner target(other);
    target = std::move(moved);
    EXPECT_FALSE(moved);
    EXPECT_FALSE(IsFont(other)) << "the target's own handle goes";
    EXPECT_EQ(target.Get(), font);
    auto& self = target;
    target = std::move(self);
    EXPECT_TRUE(IsFont(font)) << "moving onto itself keeps the handle";
}

TEST(HandleOwnerTest, MenusAndIconsAreDestroyed)
{
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(AppendMenuW(menu, MF_STRING, 1, L"Item"));
    { MenuOwner owner(menu); }
    EXPECT_FALSE(IsMenu(menu));

    const BYTE andMask[32 * 4] = {};
    const BYTE xorMask[32 * 4] = {};
    HICON icon = CreateIcon(nullptr, 32, 32, 1, 1, andMask, xorMask);
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    { IconOwner owner(icon); }
    EXPECT_FALSE(GetIconInfo(icon, &info));

    ImageListOwner list(ImageList_Create(16, 16, ILC_COLOR32, 1, 1));
    ASSERT_TRUE(list);
    EXPECT_EQ(ImageList_GetImageCount(list.Get()), 0);
}

TEST(HandleOwnerTest, SelectionIsUndoneBeforeTheObjectGoes)
{
    MemoryDcOwner dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_FONT);
    HFONT kept;
    {
        FontOwner font(MakeFont());
        kept = font.Get();
        ObjectSelection selection(dc.Get(), font.Get());
        EXPECT_TRUE(selection.Selected());
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_FONT), font.Get());
    }
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_FONT), original);
    EXPECT_FALSE(IsFont(kept)) << "deselected, so the delete succeeded";

    ObjectSelection nothing(dc.Get(), nullptr);
    EXPECT_FALSE(nothing.Selected());
    ObjectSelection noDc(nullptr, original);
    EXPECT_FALSE(noDc.Selected());

    WindowDc screen(nullptr);
    EXPECT_TRUE(screen);
    EXPECT_GT(GetDeviceCaps(screen.Get(), HORZRES), 0);
}
