// The skinned check box and radio item: the kept state under mouse and keyboard, colours, fonts
// and the painted frames.
#include <gtest/gtest.h>
#include <windows.h>

#include "ControlsTest.h"
#include "ControlsTestSupport.h"
#include "ui/NCheckBox.h"

namespace {

LPARAM Point(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

int CountNear(const Capture& capture, const RECT& rect, COLORREF colour)
{
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            count += ColourDistance(capture.At(x, y), colour) <= 8 ? 1 : 0;
    return count;
}

}  // namespace

TEST_F(ControlsTest, CheckBoxStartsFromTheInitialState)
{
    for (int initial : {1, 0, 2, -1}) {
        NCheckBox box;
        ASSERT_TRUE(box.AttachControl(IDC_CTL_CHECK, &dialog, initial));
        EXPECT_EQ(box.GetCheck(), initial == 1) << initial;
        EXPECT_EQ(GetWindowLongPtrW(Item(IDC_CTL_CHECK), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        box.Detach();
    }
}

TEST_F(ControlsTest, CheckBoxTogglesOnEveryClickBeforeTheParentHears)
{
    NCheckBox box;
    ASSERT_TRUE(box.AttachControl(IDC_CTL_CHECK, &dialog, 0));
    Show();
    std::vector<bool> seen;
    dialog.onClicked = [&](int id) {
        if (id == IDC_CTL_CHECK)
            seen.push_back(box.GetCheck());
    };
    HWND check = Item(IDC_CTL_CHECK);

    // A mouse click.
    SendMessageW(check, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
    SendMessageW(check, WM_LBUTTONUP, 0, Point(5, 5));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0]);
    EXPECT_TRUE(box.GetCheck());

    // A press inside and a release outside is no click and changes nothing.
    SendMessageW(check, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
    SendMessageW(check, WM_LBUTTONUP, 0, Point(-40, -40));
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_TRUE(box.GetCheck());

    // The space bar toggles like a click.
    SetFocus(check);
    SendMessageW(check, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(check, WM_KEYUP, VK_SPACE, 0xC0000001);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[1]);
    EXPECT_FALSE(box.GetCheck());

    // A double click is two clicks (the second reported as a double click): the state ends where
    // it started.
    const size_t before = seen.size();
    SendMessageW(check, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
    SendMessageW(check, WM_LBUTTONUP, 0, Point(5, 5));
    EXPECT_TRUE(box.GetCheck());
    SendMessageW(check, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(5, 5));
    SendMessageW(check, WM_LBUTTONUP, 0, Point(5, 5));
    EXPECT_EQ(seen.size() - before, 1u);
    EXPECT_FALSE(box.GetCheck());

    // BM_CLICK is a click too.
    box.Click();
    EXPECT_TRUE(box.GetCheck());
}

TEST_F(ControlsTest, CheckBoxColoursComeFromTheSkinOrTheCaller)
{
    NCheckBox box;
    NRadioItem radio;
    ASSERT_TRUE(box.AttachControl(IDC_CTL_CHECK, &dialog, 0));
    ASSERT_TRUE(radio.AttachControl(IDC_CTL_RADIO, &dialog, 1));
    EXPECT_EQ(box.GetDisabledColour(), RGB(0x80, 0x80, 0x80));
    EXPECT_EQ(box.GetCheckedColour(), RGB(0, 0x80, 0));
    EXPECT_EQ(box.GetNormalColour(), RGB(0, 0, 0));
    EXPECT_EQ(box.GetFrameColour(), box.GetCheckedColour());
    EXPECT_EQ(radio.GetDisabledColour(), RGB(0x80, 0x80, 0x81));
    EXPECT_EQ(radio.GetCheckedColour(), RGB(0, 0x80, 1));
    EXPECT_EQ(radio.GetFrameColour(), radio.GetCheckedColour());
    box.SetTextColors(true, RGB(1, 1, 1), RGB(2, 2, 2), RGB(3, 3, 3), RGB(4, 4, 4));
    EXPECT_EQ(box.GetFrameColour(), RGB(4, 4, 4));
    EXPECT_EQ(box.GetNormalColour(), RGB(3, 3, 3));
}

TEST_F(ControlsTest, CheckBoxStylesRebuildItsFont)
{
    NCheckBox box;
    ASSERT_TRUE(box.AttachControl(IDC_CTL_CHECK, &dialog, 0));
    EXPECT_EQ(box.GetOwnFont(), nullptr);  // no font is made before one is asked for
    auto current = [&] {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_CTL_CHECK), WM_GETFONT, 0, 0)), sizeof(font), &font);
        return font;
    };
    box.SetBold(true);
    EXPECT_EQ(current().lfWeight, FW_BOLD);
    box.SetItalic(true);
    EXPECT_TRUE(current().lfItalic);
    EXPECT_EQ(current().lfWeight, FW_BOLD);
    box.SetUnderline(true);
    EXPECT_TRUE(current().lfUnderline);
    box.SetBold(false);
    EXPECT_EQ(current().lfWeight, FW_NORMAL);
    EXPECT_TRUE(current().lfItalic);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_CTL_CHECK), WM_GETFONT, 0, 0)), box.GetOwnFont());
}

TEST_F(ControlsTest, CheckBoxPaintsItsCheckedFrame)
{
    NCheckBox box;
    ASSERT_TRUE(box.AttachControl(IDC_CTL_CHECK, &dialog, 0));
    Show();
    RECT rect{};
    GetWindowRect(Item(IDC_CTL_CHECK), &rect);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_GT(CountNear(capture, rect, ctl::kCheckOff), 40);
    EXPECT_EQ(CountNear(capture, rect, ctl::kCheckOn), 0);
    // Callers may set the state directly and repaint.
    box.checked = true;
    InvalidateRect(Item(IDC_CTL_CHECK), nullptr, FALSE);
    UpdateWindow(Item(IDC_CTL_CHECK));
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_GT(CountNear(capture, rect, ctl::kCheckOn), 40);
    EXPECT_EQ(CountNear(capture, rect, ctl::kCheckOff), 0);
}
