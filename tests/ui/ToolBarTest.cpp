// The skinned tool bar: buttons, shared texts, images, fonts and the painting of texts by their
// shadow style.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ControlsTestSupport.h"
#include "ui/NSkin.h"
#include "ui/NToolBar.h"

namespace {

class ToolBarTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        ASSERT_NE(bar.Create(dialog_), nullptr);
        SetWindowPos(bar.GetHwnd(), nullptr, 0, 0, 400, 30, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    std::wstring StringAt(int index)
    {
        wchar_t text[128] = {};
        SendMessageW(bar.GetHwnd(), TB_GETSTRINGW, MAKEWPARAM(127, index), reinterpret_cast<LPARAM>(text));
        return text;
    }
    std::wstring ButtonText(int id)
    {
        wchar_t text[128] = {};
        SendMessageW(bar.GetHwnd(), TB_GETBUTTONTEXTW, id, reinterpret_cast<LPARAM>(text));
        return text;
    }
    void SetIniValue(const wchar_t* key, const wchar_t* value)
    {
        wchar_t ini[MAX_PATH] = {};
        app_.GetSkin()->GetIniPath(ini, MAX_PATH);
        WritePrivateProfileStringW(L"Skin", key, value, ini);
    }
    NToolBar bar;
};

}  // namespace

TEST_F(ToolBarTest, ButtonsAroundASeparatorTakeConsecutiveImages)
{
    EXPECT_TRUE(bar.IsCustomDraw());
    EXPECT_EQ(bar.GetCornerRadius(), 5);
    const int ids[] = {5, 0, 7};
    ASSERT_TRUE(bar.SetButtons(ids, 3));
    ASSERT_EQ(bar.GetButtonCount(), 3);
    TBBUTTON button{};
    SendMessageW(bar.GetHwnd(), TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.idCommand, 5);
    EXPECT_EQ(button.iBitmap, 0);
    SendMessageW(bar.GetHwnd(), TB_GETBUTTON, 1, reinterpret_cast<LPARAM>(&button));
    EXPECT_TRUE(button.fsStyle & BTNS_SEP);
    SendMessageW(bar.GetHwnd(), TB_GETBUTTON, 2, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.idCommand, 7);
    EXPECT_EQ(button.iBitmap, 1);
    EXPECT_EQ(bar.GetImageOfPosition(0), 0);
    EXPECT_EQ(bar.GetImageOfPosition(1), -1);
    EXPECT_EQ(bar.GetImageOfPosition(2), 1);
    EXPECT_EQ(bar.GetCommandID(2), 7);
    RECT rect{};
    EXPECT_EQ(bar.GetItemRect(9, &rect), 3);  // past the end: the count, and an empty rectangle
    EXPECT_TRUE(IsRectEmpty(&rect));
}

TEST_F(ToolBarTest, EqualTextsAreRegisteredOnce)
{
    const int ids[] = {5, 6, 7};
    ASSERT_TRUE(bar.SetButtons(ids, 3));
    ASSERT_TRUE(bar.SetButtonText(5, L"Same"));
    ASSERT_TRUE(bar.SetButtonText(6, L"Same"));
    EXPECT_EQ(bar.GetRegisteredTextCount(), 1u);
    EXPECT_EQ(StringAt(0), L"Same");
    EXPECT_EQ(ButtonText(7), L"");  // a button without a text shows none
    EXPECT_EQ(ButtonText(5), L"Same");
    EXPECT_EQ(ButtonText(6), L"Same");
    EXPECT_TRUE(bar.GetButtonStyle(5) & BTNS_SHOWTEXT);

    const std::wstring longText(79, L'x');
    ASSERT_TRUE(bar.SetButtonText(7, longText.c_str()));
    EXPECT_EQ(ButtonText(7), std::wstring(78, L'x'));
    EXPECT_EQ(bar.GetRegisteredTextCount(), 2u);
    EXPECT_FALSE(bar.SetButtonText(99, L"no such button"));
}

TEST_F(ToolBarTest, MissingFontKeysLeaveTheFontsPlain)
{
    // The test skin has no tool-bar font keys at all.
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(bar.GetFont(), sizeof(font), &font));
    EXPECT_FALSE(font.lfItalic);
    EXPECT_FALSE(font.lfUnderline);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
}

TEST_F(ToolBarTest, ShadowStyleDecidesWhetherAndHowTheTextIsDrawn)
{
    const int ids[] = {5};
    ASSERT_TRUE(bar.SetButtons(ids, 1));
    ASSERT_TRUE(bar.SetButtonText(5, L"WWWW"));
    auto paint = [&](NImageBuffer& picture) {
        EXPECT_TRUE(picture.Create(80, 24, 24, RGB(255, 255, 255)));
        NMCUSTOMDRAW draw{};
        draw.hdr.hwndFrom = bar.GetHwnd();
        draw.hdr.code = NM_CUSTOMDRAW;
        draw.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.hdc = picture.dc;
        draw.rc = {0, 0, 80, 24};
        draw.dwItemSpec = 5;
        LRESULT result = -1;
        bar.CustomDraw(&draw, &result);
        EXPECT_EQ(result, CDRF_SKIPDEFAULT);
    };
    auto inked = [](const NImageBuffer& picture) {
        int count = 0;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                count += GetPixel(picture.dc, x, y) != RGB(255, 255, 255) ? 1 : 0;
        return count;
    };
    // A missing style key reads as 16: the text of that state is not drawn.
    EXPECT_EQ(bar.GetShadowStyle(2), 16);
    NImageBuffer hidden;
    paint(hidden);
    EXPECT_EQ(inked(hidden), 0);

    SetIniValue(L"ToolBarTextColorShadowStyle", L"0");
    ASSERT_TRUE(bar.LoadTextColors(L""));
    EXPECT_EQ(bar.GetShadowStyle(2), 0);
    NImageBuffer plain;
    paint(plain);
    EXPECT_GT(inked(plain), 10);

    SetIniValue(L"ToolBarTextColorShadowStyle", L"2");
    SetIniValue(L"ToolBarTextColorShadow", L"FF0000");
    ASSERT_TRUE(bar.LoadTextColors(L""));
    NImageBuffer shadowed;
    paint(shadowed);
    int shadow = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 80; ++x)
            shadow += ColourDistance(GetPixel(shadowed.dc, x, y), RGB(0, 0, 255)) < 60 ? 1 : 0;  // red in BGR order
    int red = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 80; ++x)
            red += ColourDistance(GetPixel(shadowed.dc, x, y), RGB(255, 0, 0)) < 60 ? 1 : 0;
    EXPECT_GT(red + shadow, 0);
}
