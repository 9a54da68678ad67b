#include <gtest/gtest.h>

#include "ControlsTestSupport.h"

#include "ControlsTest.h"
#include "ui/NSkin.h"

ControlsDialog::ControlsDialog() : NDialog(IDD_CONTROLS, nullptr) {}

LRESULT ControlsDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == BN_CLICKED && lParam) {
        clicks.push_back(LOWORD(wParam));
        if (onClicked)
            onClicked(LOWORD(wParam));
    }
    return NDialog::OnCommand(wParam, lParam);
}

void ControlsTest::SetUp()
{
    folder_.Ini(
        L"[Skin]\r\nAppWindowBackColor=FFFF00\r\nButtonTextColorDefault=000000\r\n"
        L"ButtonTextColorHilight=FFFFFF\r\nButtonTextColorDisabled=FF8000\r\nAppStaticTextColor=0A141E\r\n"
        L"CheckBoxTextColorDisabled=808080\r\nCheckBoxTextColorChecked=008000\r\nCheckBoxTextColorDefault=000000\r\n"
        L"RadioItemTextColorDisabled=808081\r\nRadioItemTextColorChecked=008001\r\nRadioItemTextColorDefault=000001\r\n"
        L"AppComboBoxHeadGradient1=FAFAFA\r\nAppComboBoxHeadGradient2=969696\r\nAppComboBoxHeadTextColor=FF0000\r\n"
        L"AppComboBoxHeadBorderColor=0000FF\r\nAppComboBoxBackColor=FFFFFF\r\nAppComboBoxTextColor=000000\r\n"
        L"AppComboBoxBorderColor=00FF00\r\nMenuTitleTextColor=102030\r\nAppHyperLinkTextColor=0000FF\r\n"
        L"AppHyperLinkVisitedTextColor=800080\r\nMenuBorderColor=0080FF\r\nMenuGradientLeftColor=FFFFFF\r\n"
        L"MenuGradientRightColor=FFFFFF\r\nToolBarTextColor=000000\r\nToolTipBackColor=FFFFE0\r\n"
        L"ToolTipTextColor=000000\r\n");
    // "Button": 24 x 120, five rows of 24 pixels, each one colour (24 bits: drawn opaque).
    NImageBuffer button;
    ASSERT_TRUE(MakePicture(button, 24, 120, 24, ctl::kRow[0]));
    for (int row = 1; row < 5; ++row)
        PaintBlock(button, 0, row * 24, 24, 24, ctl::kRow[row]);
    ASSERT_TRUE(folder_.Picture(L"Button", button));
    NImageBuffer check;
    ASSERT_TRUE(MakePicture(check, 36, 12, 24, RGB(255, 0, 255)));  // the top-left pixel is the colour key
    PaintBlock(check, 2, 2, 8, 8, ctl::kCheckOff);
    PaintBlock(check, 14, 2, 8, 8, ctl::kCheckOn);
    ASSERT_TRUE(folder_.Picture(L"CheckBox", check));
    ASSERT_TRUE(app_.GetSkin()->Load(L"SkinCtl"));
    SetCursorPos(0, 0);
    dialog_ = dialog.DoModeless(IDD_CONTROLS, nullptr);
    ASSERT_NE(dialog_, nullptr);
}

void ControlsTest::Show()
{
    ShowWindow(dialog_, SW_SHOWNA);
    UpdateWindow(dialog_);
    PumpMessages(60);
}

void ControlsTest::TearDown()
{
    if (dialog_ && IsWindow(dialog_))
        dialog.EndDialog(0);
    PumpMessages(10);
}
