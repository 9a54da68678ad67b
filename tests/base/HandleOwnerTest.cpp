#include "base/HandleOwner.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/GdiOwners.h"
#include "base/IconOwner.h"
#include "base/MenuOwner.h"
#include "base/SystemOwners.h"

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

TEST(HandleOwnerTest, KernelHandlesSearchesAndKeysAreClosedAndAFailedOpenIsNone)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    DWORD flags = 0;
    { KernelHandleOwner owner(event); }
    EXPECT_FALSE(GetHandleInformation(event, &flags)) << "closed";

    KernelHandleOwner missing(CreateFileW(L"Z:\\no\\such\\folder\\file.bin", GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(missing);
    missing.Reset(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(missing);

    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(folder, MAX_PATH), 0u);
    WIN32_FIND_DATAW found = {};
    FindHandleOwner search(FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &found));
    ASSERT_TRUE(search);
    EXPECT_TRUE(FindNextFileW(search.Get(), &found));
    FindHandleOwner none(FindFirstFileW(L"Z:\\no\\such\\folder\\*", &found));
    EXPECT_FALSE(none);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegistryKeyOwner keyOwner(key);
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyW(keyOwner.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    keyOwner.Reset();
    EXPECT_NE(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS)
        << "closed";

    LocalMemoryOwner memory(LocalAlloc(LMEM_FIXED, 16));
    EXPECT_TRUE(memory);
}
