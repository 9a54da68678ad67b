// The skin manager: colour parsing, loading, fallbacks, fonts and the colouring of plain controls.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "SkinTestSupport.h"
#include "UiTestSupport.h"

#include "base/Dpi.h"
#include "imaging/NImageBuffer.h"
#include "ui/NSkin.h"
#include "ui/SkinSeam.h"

namespace {

class AltSkin : public NSkin {
public:
    bool alt = false;

protected:
    bool IsAltDown() override { return alt; }
};

COLORREF PixelAt(const NImageBuffer& canvas, int x, int y)
{
    return GetPixel(canvas.dc, x, y);
}

}  // namespace

TEST(SkinColour, ParsesSixHexDigitsOfEitherCaseAndRefusesTheRest)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        COLORREF colour;
    } cases[] = {
        {L"1E90FF", true, RGB(0x1E, 0x90, 0xFF)}, {L"ffffff", true, RGB(0xFF, 0xFF, 0xFF)},
        {L"a0b1C2", true, RGB(0xA0, 0xB1, 0xC2)}, {L"000000", true, 0},
        {L"12345", false, 0}, {L"", false, 0}, {L"GG0000", false, 0}, {L"#12345", false, 0},
    };
    for (const Case& c : cases) {
        COLORREF colour = 0x123456;
        EXPECT_EQ(ParseSkinColour(c.text, colour), c.ok) << c.text;
        EXPECT_EQ(colour, c.ok ? c.colour : 0x123456u) << c.text;
    }
}

TEST(Skin, WithoutSkinFolderLoadsWithWhiteColoursAndInstallsItself)
{
    {
        NSkin skin;
        EXPECT_FALSE(skin.Load(nullptr));
        EXPECT_FALSE(skin.IsLoaded());
        ASSERT_TRUE(skin.Load(L"NoSuchSkinHere"));
        EXPECT_TRUE(skin.IsLoaded());
        EXPECT_EQ(&CurrentSkin(), static_cast<SkinSeam*>(&skin));
        EXPECT_EQ(skin.GetColor(L"AppWindowBackColor"), RGB(255, 255, 255));
        EXPECT_EQ(skin.GetInt(L"cxPlayerButton"), 16);
        EXPECT_FALSE(skin.button.valid);
        EXPECT_EQ(skin.checkBoxFrameWidth, 0);
        NImageBuffer picture;
        EXPECT_FALSE(skin.LoadJpg(picture, L"DlgBackground", false));
        wchar_t ini[MAX_PATH];
        skin.GetIniPath(ini, MAX_PATH);
        EXPECT_NE(std::wstring(ini).find(L"\\Skins\\NoSuchSkinHere\\NoSuchSkinHere.ini"), std::wstring::npos);
        skin.Unload();
        EXPECT_FALSE(skin.IsLoaded());
        EXPECT_EQ(skin.GetWindowBrush(), nullptr);
    }
    // A destroyed skin leaves the unloaded default behind.
    EXPECT_EQ(CurrentSkin().GetColor(L"x"), RGB(255, 255, 255));
    EXPECT_EQ(CurrentSkin().OnCtlColor(nullptr, WM_CTLCOLOREDIT, nullptr, nullptr, nullptr, 0), nullptr);
}

TEST(Skin, RefusesANameThatMakesTooLongAPath)
{
    NSkin skin;
    EXPECT_FALSE(skin.Load(std::wstring(250, L'a').c_str()));
    EXPECT_FALSE(skin.IsLoaded());
}

TEST(Skin, ReadsColoursIntegersFontsAndPicturesOfItsFolder)
{
    SkinFolder folder(L"SkinTestA");
    folder.Ini(L"[Skin]\r\nAppWindowBackColor=1E90FF\r\nAppEditTextColor=a0b0c0\r\nAppStaticTextColor=12\r\n"
               L"cxPlayerButton=20\r\nMenuFontSize=10\r\nMenuFontBold=2\r\nTitleFontBold=1\r\nTitleFontItalic=1\r\n");
    NImageBuffer strip;
    ASSERT_TRUE(strip.Create(30, 10, 32, RGB(10, 20, 30)));
    ASSERT_TRUE(folder.Picture(L"CheckBox", strip));
    ASSERT_TRUE(folder.Picture(L"Button", strip));

    NSkin skin;
    ASSERT_TRUE(skin.Load(L"SkinTestA"));
    EXPECT_EQ(skin.GetColor(L"AppWindowBackColor"), RGB(0x1E, 0x90, 0xFF));
    EXPECT_EQ(skin.GetEditTextColor(), RGB(0xA0, 0xB0, 0xC0));
    EXPECT_EQ(skin.GetStaticTextColor(), RGB(255, 255, 255));  // malformed: the default
    EXPECT_EQ(skin.GetInt(L"cxPlayerButton"), 20);
    EXPECT_EQ(skin.playerButtonWidth, ScalePixelsForDpi(20));
    EXPECT_TRUE(skin.button.valid);
    EXPECT_EQ(skin.checkBoxFrameWidth, ScalePixelsForDpi(30) / 3);
    EXPECT_FALSE(skin.radioItem.valid);

    LOGFONTW font = {};
    HFONT menu = skin.CreateSkinFont(L"MenuFontSize", L"MenuFontBold", L"MenuFontItalic", L"MenuFontUnderline");
    ASSERT_NE(menu, nullptr);
    GetObjectW(menu, sizeof(font), &font);
    EXPECT_EQ(font.lfWeight, 400);  // only 1 means bold
    EXPECT_FALSE(font.lfItalic);    // a missing key leaves the style off
    EXPECT_FALSE(font.lfUnderline);
    EXPECT_LT(font.lfHeight, 0);
    DeleteObject(menu);
    HFONT title = skin.CreateSkinFont(nullptr, L"TitleFontBold", L"TitleFontItalic", nullptr);
    GetObjectW(title, sizeof(font), &font);
    EXPECT_EQ(font.lfWeight, 600);
    EXPECT_TRUE(font.lfItalic);
    DeleteObject(title);
}

class SkinWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        control_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 30, 20, 40, 10, parent_, nullptr,
                                   nullptr, nullptr);
        ASSERT_TRUE(control_);
        folder_.Ini(L"[Skin]\r\nAppEditTextColor=102030\r\nAppStaticTextColor=405060\r\n");
        ASSERT_TRUE(skin_.Load(L"SkinTestB"));
        ASSERT_TRUE(background_.Create(200, 100, 24, RGB(0, 0, 255)));
        NImageRect under = {30, 20, 40, 10};
        background_.FillRect(&under, RGB(0, 200, 0));
        ASSERT_TRUE(target_.Create(40, 10, 24, RGB(9, 9, 9)));
    }
    void TearDown() override { DestroyWindow(parent_); }

    SkinFolder folder_{L"SkinTestB"};
    AltSkin skin_;
    HWND parent_ = nullptr;
    HWND control_ = nullptr;
    NImageBuffer background_, target_;
};

TEST_F(SkinWindowTest, StaticControlGetsTheBackgroundUnderItUnlessAltIsDown)
{
    HBRUSH brush = skin_.OnCtlColor(parent_, WM_CTLCOLORSTATIC, target_.dc, control_, &background_, 0xFF00FF);
    EXPECT_EQ(brush, GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetTextColor(target_.dc), RGB(0x40, 0x50, 0x60));
    EXPECT_EQ(GetBkMode(target_.dc), TRANSPARENT);
    EXPECT_EQ(PixelAt(target_, 0, 0), RGB(0, 200, 0));
    EXPECT_EQ(PixelAt(target_, 39, 9), RGB(0, 200, 0));

    target_.Fill(RGB(9, 9, 9));
    skin_.alt = true;
    brush = skin_.OnCtlColor(parent_, WM_CTLCOLORSTATIC, target_.dc, control_, &background_, RGB(1, 2, 3));
    EXPECT_EQ(brush, GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetTextColor(target_.dc), RGB(1, 2, 3));
    EXPECT_EQ(PixelAt(target_, 0, 0), RGB(9, 9, 9));

    skin_.alt = false;
    EXPECT_EQ(skin_.OnCtlColor(parent_, WM_CTLCOLORSTATIC, target_.dc, control_, nullptr, 0), skin_.GetWindowBrush());
}

TEST_F(SkinWindowTest, EditAnswersOpaqueInTheEditColourWithTheWindowBrush)
{
    HBRUSH brush = skin_.OnCtlColor(parent_, WM_CTLCOLOREDIT, target_.dc, control_, &background_, 0xFF00FF);
    EXPECT_EQ(brush, GetSysColorBrush(COLOR_WINDOW));
    EXPECT_EQ(GetBkMode(target_.dc), OPAQUE);
    EXPECT_EQ(GetTextColor(target_.dc), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(skin_.OnCtlColor(parent_, WM_CTLCOLORDLG, target_.dc, control_, nullptr, 0), skin_.GetWindowBrush());
}

TEST(Skin, UnloadPutsBackTheSkinInstalledBefore)
{
    TestSkin stand;
    stand.colours[L"Probe"] = RGB(1, 2, 3);
    {
        NSkin skin;
        ASSERT_TRUE(skin.Load(L"NoSuchSkinHere"));
        ASSERT_TRUE(skin.Load(L"NoSuchSkinEither"));  // a reload keeps what came before the first load
        EXPECT_EQ(&CurrentSkin(), static_cast<SkinSeam*>(&skin));
        skin.Unload();
        EXPECT_EQ(&CurrentSkin(), static_cast<SkinSeam*>(&stand));
        ASSERT_TRUE(skin.Load(L"NoSuchSkinHere"));
    }
    EXPECT_EQ(CurrentSkin().GetColor(L"Probe"), RGB(1, 2, 3));
}

TEST(Skin, PathsFollowTheNameBeforeAndAfterLoading)
{
    NSkin skin;
    wchar_t ini[MAX_PATH], folder[MAX_PATH];
    skin.GetFolder(folder, MAX_PATH);
    EXPECT_EQ(std::wstring(folder).substr(std::wstring(folder).size() - 6), L"\\Skins");
    ASSERT_TRUE(skin.Load(L"Other"));
    skin.GetIniPath(ini, MAX_PATH);
    EXPECT_EQ(std::wstring(ini), std::wstring(folder) + L"\\Other\\Other.ini");
    wchar_t small[8];
    skin.GetIniPath(small, 8);  // cut to the buffer
    EXPECT_EQ(std::wstring(small), std::wstring(ini).substr(0, 7));
}

// A skin whose pictures are all missing: the painters draw only their fill and never fail.
TEST(SkinPainters, MissingPicturesLeaveOnlyTheFill)
{
    SkinFolder folder(L"SkinTestEmpty");
    folder.Ini(L"[Skin]\r\nAppWindowBackColor=204060\r\n");
    NSkin skin;
    ASSERT_TRUE(skin.Load(L"SkinTestEmpty"));
    EXPECT_EQ(skin.checkBoxFrameWidth, 0);
    EXPECT_EQ(skin.radioFrameHeight, 0);
    EXPECT_EQ(skin.slideShowCellWidth, 0);
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND box = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_OWNERDRAW, 10, 10, 120, 20, parent, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(box);
    NImageBuffer target;
    ASSERT_TRUE(target.Create(120, 20, 24, RGB(9, 9, 9)));
    const RECT item = {0, 0, 120, 20};
    skin.DrawCheckBox(box, target.dc, ODS_CHECKED, &item, 0, 0, 0);
    EXPECT_EQ(GetPixel(target.dc, 3, 10), RGB(0x20, 0x40, 0x60));
    EXPECT_EQ(GetPixel(target.dc, 119, 19), RGB(0x20, 0x40, 0x60));
    target.Fill(RGB(9, 9, 9));
    skin.DrawRadioItem(box, target.dc, 0, &item, 0, 0, 0);
    skin.DrawSwitchBox(box, target.dc, ODS_HOTLIGHT, &item, 0, 0, 0, 0);
    EXPECT_EQ(GetPixel(target.dc, 3, 10), RGB(0x20, 0x40, 0x60));
    target.Fill(RGB(9, 9, 9));
    skin.DrawGroupBox(box, target.dc, &item);
    skin.DrawButtonIcon(3, ODS_DISABLED, target.dc, 0, 0);
    skin.DrawSlideShowControl(2, target.dc, ODS_SELECTED, 0, 0);
    skin.DrawPlayerButton(1, target.dc, 0);
    skin.DrawPlayerImage(1, target.dc, 0, 0, 0, nullptr);
    EXPECT_EQ(GetPixel(target.dc, 3, 15), RGB(9, 9, 9));
    // The track bar outside a dialog is filled in the window colour; its pictures are missing.
    skin.DrawTrackBar(box, target.dc, &item);
    EXPECT_EQ(GetPixel(target.dc, 60, 10), RGB(0x20, 0x40, 0x60));

    // Nothing at all is drawn while the skin is not loaded.
    skin.Unload();
    target.Fill(RGB(9, 9, 9));
    skin.DrawCheckBox(box, target.dc, 0, &item, 0, 0, 0);
    EXPECT_EQ(GetPixel(target.dc, 3, 10), RGB(9, 9, 9));
    DestroyWindow(parent);
}

TEST(SkinPainters, GradientBitmapHasTheSizeAndBelongsToTheCaller)
{
    NSkin skin;
    EXPECT_EQ(skin.MakeGradientBitmap(0, 10, 0, 0, 0), nullptr);
    HBITMAP bitmap = skin.MakeGradientBitmap(30, 20, RGB(255, 0, 0), RGB(0, 0, 255), 0);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info = {};
    ASSERT_TRUE(GetObjectW(bitmap, sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, 30);
    EXPECT_EQ(info.bmHeight, 20);
    EXPECT_TRUE(DeleteObject(bitmap));
}
