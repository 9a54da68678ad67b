// The project's own skin "Default" (resources/Skins/Default): every key and picture that the
// framework and the application read is there and loads, and a dialog built from a template
// shows the skin's background, its painted controls and the texts of a language file.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwctype>
#include <string>

#include "SkinTestSupport.h"
#include "UiTest.h"
#include "UiTestSupport.h"
#include "base/Dpi.h"
#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "ui/LanguageHelpers.h"
#include "ui/NDialog.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

namespace {

const wchar_t* const kColourKeys[] = {
    L"AppWindowBackColor", L"AppEditTextColor", L"AppStaticTextColor", L"ButtonTextColorHilight",
    L"ButtonTextColorDisabled", L"ButtonTextColorDefault", L"AppDlgGroupBoxTextColor",
    L"AppDlgGroupBoxTextShadowColor", L"AppComboBoxHeadGradient1", L"AppComboBoxHeadGradient2",
    L"AppComboBoxHeadTextColor", L"AppComboBoxHeadBorderColor", L"MessageBoxColorStart", L"MessageBoxColorEnd",
    L"AppFancyDlgCaptionTextColor", L"SettingsCaptionStartColor", L"SettingsCaptionEndColor",
    L"SettingsCaptionTextColor", L"SettingsTreeViewBackColor", L"SettingsTreeViewTextColor",
    L"WizardCaptionTextColor", L"WizardTextColor", L"CheckBoxTextColorDisabled", L"CheckBoxTextColorChecked",
    L"CheckBoxTextColorDefault", L"RadioItemTextColorDisabled", L"RadioItemTextColorChecked",
    L"RadioItemTextColorDefault", L"MenuTitleTextColor", L"AppHyperLinkTextColor",
    L"AppHyperLinkVisitedTextColor", L"AppComboBoxBackColor", L"AppComboBoxBorderColor", L"AppComboBoxTextColor",
    L"ToolBarTextColor", L"ToolBarTextColorShadow", L"ToolBarTextHoverColor", L"ToolBarTextHoverColorShadow",
    L"ToolBarTextSelectedColor", L"ToolBarTextSelectedColorShadow", L"ToolBarTextDisabledColor",
    L"ToolBarHoverBorderColor", L"ToolBarHoverColorStart", L"ToolBarHoverColorEnd", L"MenuBorderColor",
    L"MenuGradientLeftColor", L"MenuGradientRightColor", L"MenuSelectedBorderColor", L"MenuSelectedColorStart",
    L"MenuSelectedColorEnd", L"MenuTextColor", L"MenuTextGrayedColor", L"MenuTextSelectedColor",
    L"MenuTitleSelectedBorderColor", L"MenuTitleSelectedColorStart", L"MenuTitleSelectedColorEnd",
    L"MenuTitleTextGrayedColor", L"MenuTitleTextSelectedColor", L"ToolBarGradientLeftColor",
    L"StatusBarBackColor", L"StatusBarTextColor", L"ToolTipBackColor", L"ToolTipTextColor",
    L"StartUpDlgHeadlineColor", L"StartUpDlgDescColor", L"StartUpDlgCheckColor", L"StartUpDlgCheckColorChecked",
    L"StartUpDlgCheckColorDisabled",
};

const wchar_t* const kIntegerKeys[] = {
    L"cxPlayerButton", L"cyPlayerButton", L"cxPlayerImage", L"cyPlayerImage", L"ToolBarTextColorShadowStyle",
    L"ToolBarTextHoverColorShadowStyle", L"ToolBarTextSelectedColorShadowStyle", L"ToolBarFontSize",
    L"ToolBarFontBold", L"ToolBarFontItalic", L"ToolBarFontUnderline", L"ToolBarFontSelectedBold",
    L"ToolBarFontSelectedItalic", L"ToolBarFontSelectedUnderline", L"MenuFontSize", L"MenuFontBold",
    L"MenuFontItalic", L"MenuFontUnderline", L"MenuFontSelectedBold", L"MenuFontSelectedItalic",
    L"MenuFontSelectedUnderline", L"MenuTitleFontBold", L"MenuTitleFontItalic", L"MenuTitleFontUnderline",
    L"MenuTitleFontSelectedBold", L"MenuTitleFontSelectedItalic", L"MenuTitleFontSelectedUnderline",
};

// PNG pictures read by the framework and the application, with their least sizes at 96 DPI.
struct PictureLayout {
    const wchar_t* name;
    int minWidth;
    int minHeight;
};
const PictureLayout kPngPictures[] = {
    {L"Button", 24, 120}, {L"CheckBox", 3, 1}, {L"SwitchBox", 3, 1}, {L"RadioItem", 2, 1},
    {L"ButtonIcons", 21 * 16, 16}, {L"Player", 1, 4}, {L"SlideShowControls", 11, 4}, {L"Groupbox", 16, 16},
    {L"ToolbarButtonBackHover", 1, 1}, {L"ToolbarButtonBackPressed", 1, 1}, {L"Grabber", 1, 1},
    {L"BackgroundStatusBar", 1, 1}, {L"TrackBar", 21, 1}, {L"TrackBarThumb", 1, 1}, {L"ComboBoxDropDown", 1, 1},
    {L"MenuCold", 92 * 16, 16}, {L"MenuHot", 92 * 16, 16}, {L"StartUpScreenButton", 1, 5}, {L"PhotoYes", 1, 1},
    {L"PhotoNo", 1, 1}, {L"DialogFancyBorder", 3 * 35, 3 * 35}, {L"DialogFancyPointer", 1, 1},
    {L"SettingsHeader", 1, 1}, {L"WizardHeader", 1, 1}, {L"WizardProgressBar", 1, 2}, {L"WizardWorking", 1, 1},
};
const wchar_t* const kJpegPictures[] = {
    L"DlgBackground", L"StartUpScreenBack", L"ResultScreenBack", L"SettingsHeaderBack", L"WizardHeaderBack",
    L"WizardFooterBack",
};

class DefaultSkinTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.CopyFrom(ResourcePath(L"Skins\\Default"))) << "resources/Skins/Default not found";
        ASSERT_TRUE(skin_.Load(L"Default"));
        skin_.GetIniPath(ini_, MAX_PATH);
    }
    std::wstring Raw(const wchar_t* key)
    {
        wchar_t value[64] = {};
        GetPrivateProfileStringW(L"Skin", key, L"<missing>", value, 64, ini_);
        return value;
    }

    SkinFolder folder_{L"Default"};
    NSkin skin_;
    wchar_t ini_[MAX_PATH] = {};
};

}  // namespace

TEST_F(DefaultSkinTest, EveryColourIsSixUpperCaseHexDigits)
{
    for (const wchar_t* key : kColourKeys) {
        const std::wstring value = Raw(key);
        ASSERT_EQ(value.size(), 6u) << key << "=" << value;
        for (wchar_t c : value)
            EXPECT_TRUE(std::iswdigit(c) || (c >= L'A' && c <= L'F')) << key << "=" << value;
        COLORREF parsed = 0;
        ASSERT_TRUE(ParseSkinColour(value.c_str(), parsed));
        EXPECT_EQ(skin_.GetColor(key), parsed) << key;
    }
    // The text colours must stand out from the window colour.
    EXPECT_GT(ColourDistance(skin_.GetStaticTextColor(), skin_.GetColor(L"AppWindowBackColor")), 100);
    EXPECT_GT(ColourDistance(skin_.GetEditTextColor(), GetSysColor(COLOR_WINDOW)), 100);
}

TEST_F(DefaultSkinTest, EveryIntegerAndFontKeyIsSetAndFontsArePlain)
{
    for (const wchar_t* key : kIntegerKeys) {
        const std::wstring value = Raw(key);
        ASSERT_NE(value, L"<missing>") << key;
        EXPECT_EQ(std::to_wstring(skin_.GetInt(key)), value) << key;
    }
    EXPECT_EQ(Raw(L"FontName"), L"Liberation Sans");
    LOGFONTW font = {};
    HFONT menu = skin_.CreateSkinFont(L"MenuFontSize", L"MenuFontBold", L"MenuFontItalic", L"MenuFontUnderline");
    ASSERT_NE(menu, nullptr);
    GetObjectW(menu, sizeof(font), &font);
    EXPECT_FALSE(font.lfItalic);
    EXPECT_FALSE(font.lfUnderline);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"Liberation Sans");
    DeleteObject(menu);
    EXPECT_EQ(skin_.playerButtonWidth, ScalePixelsForDpi(skin_.GetInt(L"cxPlayerButton")));
    EXPECT_EQ(skin_.playerImageHeight, ScalePixelsForDpi(skin_.GetInt(L"cyPlayerImage")));
}

TEST_F(DefaultSkinTest, EveryPictureLoadsInItsLayout)
{
    for (const PictureLayout& layout : kPngPictures) {
        NImageBuffer picture;
        ASSERT_TRUE(skin_.LoadPng(picture, layout.name, false)) << layout.name;
        EXPECT_EQ(picture.bpp, 32) << layout.name;
        EXPECT_GE(picture.width, layout.minWidth) << layout.name;
        EXPECT_GE(picture.height, layout.minHeight) << layout.name;
    }
    for (const wchar_t* name : kJpegPictures) {
        NImageBuffer picture;
        EXPECT_TRUE(skin_.LoadJpg(picture, name, false)) << name;
    }
    // The pictures the skin keeps, with their frame and cell sizes.
    for (const NImageBuffer* picture :
         {&skin_.button, &skin_.checkBox, &skin_.switchBox, &skin_.radioItem, &skin_.buttonIcons, &skin_.player,
          &skin_.slideShowControls, &skin_.groupBox, &skin_.toolbarButtonBackHover, &skin_.toolbarButtonBackPressed,
          &skin_.grabber, &skin_.backgroundStatusBar, &skin_.trackBar, &skin_.trackBarThumb,
          &skin_.comboBoxDropDown})
        EXPECT_TRUE(picture->valid && picture->bpp == 32);
    EXPECT_EQ(skin_.button.width, 24);
    EXPECT_EQ(skin_.button.height, 120);
    EXPECT_EQ(skin_.groupBox.width, 16);
    EXPECT_EQ(skin_.groupBox.height, 16);
    EXPECT_EQ(skin_.checkBoxFrameWidth * 3, skin_.checkBox.width);
    EXPECT_EQ(skin_.checkBoxFrameHeight, ScalePixelsForDpi(16));
    EXPECT_EQ(skin_.radioFrameWidth * 2, skin_.radioItem.width);
    EXPECT_EQ(skin_.switchBoxFrameWidth * 3, skin_.switchBox.width);
    EXPECT_EQ(skin_.slideShowCellWidth * 11, skin_.slideShowControls.width);
    EXPECT_EQ(skin_.slideShowCellHeight * 4, skin_.slideShowControls.height);
    EXPECT_EQ(skin_.player.width % skin_.playerImageWidth, 0);
    EXPECT_EQ(skin_.player.height, 4 * skin_.playerImageHeight);
    EXPECT_EQ(skin_.buttonIcons.height, skin_.iconCellHeight);
    EXPECT_GT(skin_.trackBar.width, 20);
}

TEST_F(DefaultSkinTest, PicturesScaleForAHigherDpi)
{
    const int before = SetDpi(144);
    NSkin large;
    const bool loaded = large.Load(L"Default");
    SetDpi(before);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(large.checkBoxFrameWidth, 24);
    EXPECT_EQ(large.checkBoxFrameHeight, 24);
    EXPECT_EQ(large.radioFrameWidth, 24);
    EXPECT_EQ(large.switchBoxFrameWidth, 48);
    EXPECT_EQ(large.iconCellWidth, 24);
    EXPECT_EQ(large.buttonIcons.height, 24);
    EXPECT_EQ(large.slideShowCellWidth, 24);
    EXPECT_EQ(large.playerImageWidth, 24);
    EXPECT_EQ(large.button.width, 24);  // nine-piece pictures keep their size
    // The checked frame keeps a solid accent body after scaling.
    NImageBuffer target;
    ASSERT_TRUE(target.Create(24, 24, 24, RGB(255, 255, 255)));
    AlphaBlend(target.dc, 0, 0, 24, 24, large.checkBox.dc, 24, 0, 24, 24, {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
    EXPECT_LT(ColourDistance(GetPixel(target.dc, 5, 18), RGB(0x2D, 0x7D, 0xD2)), 8);
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(255, 255, 255));
}

namespace {

// A dialog of the application's kind: texts from the language table, the background picture and
// the painted controls from the skin.
class SkinnedTestDialog : public NDialog {
public:
    SkinnedTestDialog() : NDialog(IDD_TEST_SKIN_PAINTERS, nullptr) {}
    void ApplyLanguage() override
    {
        NLanguage* language = NGetApp()->GetLanguage();
        TranslateWindowTitle(m_hWnd, L"Dlg_SkinTest");
        SetItemText(IDC_TEST_LABEL, language->GetText(L"Dlg_SkinTest", L"Label", true));
        SetItemText(IDC_TEST_CHECK, language->GetText(L"Dlg_SkinTest", L"Check", true));
        SetItemText(IDC_TEST_RADIO, language->GetText(L"Dlg_SkinTest", L"Radio", true));
        SetItemText(IDC_TEST_GROUP, language->GetText(L"Dlg_SkinTest", L"Group", true));
    }
    int OnInitDialog() override
    {
        LoadBackgroundImage(L"DlgBackground", true, false);
        return 1;
    }
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_DRAWITEM)
            return NDialog::DialogProc(window, message, wParam, lParam);
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        NSkin* skin = NGetApp()->GetSkin();
        if (item->CtlID == IDC_TEST_CHECK)
            skin->DrawCheckBox(item->hwndItem, item->hDC, item->itemState | ODS_CHECKED, &item->rcItem,
                               skin->GetColor(L"CheckBoxTextColorDisabled"),
                               skin->GetColor(L"CheckBoxTextColorChecked"), skin->GetColor(L"CheckBoxTextColorDefault"));
        else if (item->CtlID == IDC_TEST_RADIO)
            skin->DrawRadioItem(item->hwndItem, item->hDC, item->itemState, &item->rcItem,
                                skin->GetColor(L"RadioItemTextColorDisabled"),
                                skin->GetColor(L"RadioItemTextColorChecked"),
                                skin->GetColor(L"RadioItemTextColorDefault"));
        else if (item->CtlID == IDC_TEST_GROUP)
            skin->DrawGroupBox(item->hwndItem, item->hDC, &item->rcItem);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
};

RECT ItemRect(HWND dialog, int id)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

int CountNear(const Capture& capture, const RECT& rect, COLORREF colour, int distance)
{
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            count += ColourDistance(capture.At(x, y), colour) <= distance ? 1 : 0;
    return count;
}

}  // namespace

TEST(DefaultSkinDialog, TemplateDialogShowsTheSkinBackgroundAndTheLanguageTexts)
{
    NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"SkinDialogTest"));
    SkinFolder folder(L"Default");
    ASSERT_TRUE(folder.CopyFrom(ResourcePath(L"Skins\\Default")));
    NSkin* skin = app.GetSkin();
    ASSERT_TRUE(skin->Load(L"Default"));
    NLanguage* language = app.GetLanguage();
    language->Init(TestDataPath(L"ui\\skin").c_str(), L"SkinTest", L"polylex");
    ASSERT_TRUE(language->Load(L"en-us"));

    SkinnedTestDialog dialog;
    Capture capture;
    NImageBuffer background;
    RECT label{}, check{}, group{};
    std::wstring title, labelText, checkText, radioText, groupText;
    int visibleTicks = 0;
    TimerDriver driver([&] {
        HWND d = dialog.GetHwnd();
        if (!d || !IsWindowVisible(d) || ++visibleTicks < 2)
            return false;
        title = TextOf(d);
        labelText = TextOf(GetDlgItem(d, IDC_TEST_LABEL));
        checkText = TextOf(GetDlgItem(d, IDC_TEST_CHECK));
        radioText = TextOf(GetDlgItem(d, IDC_TEST_RADIO));
        groupText = TextOf(GetDlgItem(d, IDC_TEST_GROUP));
        label = ItemRect(d, IDC_TEST_LABEL);
        check = ItemRect(d, IDC_TEST_CHECK);
        group = ItemRect(d, IDC_TEST_GROUP);
        if (dialog.GetBackgroundImage())
            background.Copy(*dialog.GetBackgroundImage());
        CaptureClient(d, capture);
        PostMessageW(d, WM_COMMAND, IDOK, 0);
        return true;
    }, [&] { dialog.EndDialog(-7); });
    EXPECT_EQ(dialog.DoModal(true), IDOK);
    EXPECT_FALSE(driver.TimedOut());

    EXPECT_EQ(title, L"Skinned test window");
    EXPECT_EQ(labelText, L"Texts from the skin test language file");
    EXPECT_EQ(checkText, L"Keep the found pictures");
    EXPECT_EQ(radioText, L"Search the whole drive");
    EXPECT_EQ(groupText, L"Options");

    // The background is the skin's picture stretched to the client area, shown everywhere but
    // under the texts, the painted controls and the buttons.
    ASSERT_GT(capture.width, 0);
    ASSERT_TRUE(background.valid);
    EXPECT_EQ(background.width, capture.width);
    EXPECT_EQ(background.height, capture.height);
    int same = 0;
    for (int y = 0; y < capture.height; ++y)
        for (int x = 0; x < capture.width; ++x)
            same += capture.At(x, y) == GetPixel(background.dc, x, y) ? 1 : 0;
    EXPECT_GT(same, capture.width * capture.height * 3 / 4);
    EXPECT_EQ(capture.At(2, 2), GetPixel(background.dc, 2, 2));
    EXPECT_EQ(capture.At(capture.width - 3, capture.height / 2), GetPixel(background.dc, capture.width - 3, capture.height / 2));
    // A light picture: white at the top, a pale grey-blue at the bottom.
    EXPECT_LT(ColourDistance(capture.At(2, 2), RGB(255, 255, 255)), 12);
    EXPECT_LT(ColourDistance(capture.At(2, capture.height - 3), RGB(0xEE, 0xF2, 0xF6)), 12);

    // The label in the skin's static text colour; the checked box in the accent colour with its
    // caption in the checked colour; the group box frame in its border colour.
    EXPECT_GT(CountNear(capture, label, skin->GetStaticTextColor(), 40), 20);
    const RECT checkFrame = {check.left, check.top, check.left + skin->checkBoxFrameWidth, check.bottom};
    EXPECT_GT(CountNear(capture, checkFrame, RGB(0x2D, 0x7D, 0xD2), 30), 40);
    const RECT checkCaption = {check.left + skin->checkBoxFrameWidth + 4, check.top, check.right, check.bottom};
    EXPECT_GT(CountNear(capture, checkCaption, skin->GetColor(L"CheckBoxTextColorChecked"), 40), 20);
    const RECT groupBottom = {group.left + 8, group.bottom - 4, group.right - 8, group.bottom};
    EXPECT_GT(CountNear(capture, groupBottom, RGB(0xB8, 0xC2, 0xCC), 30), (group.right - group.left - 16) * 3 / 4);
}
