// The skinned push button: state rows, fade and pulse, the painted looks, the tool tip and the
// message box's buttons.
#include <gtest/gtest.h>
#include <windows.h>

#include "ControlsTest.h"
#include "ControlsTestSupport.h"
#include "base/Dpi.h"
#include "ui/ControlPainters.h"
#include "ui/NButton.h"
#include "ui/NMessageBox.h"

namespace {

// The colour at the button's centre, left of its caption, in the dialog's capture.
COLORREF FrameColourOf(HWND dialog, HWND button)
{
    Capture capture;
    EXPECT_TRUE(CaptureClient(dialog, capture));
    RECT rect{};
    GetWindowRect(button, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return capture.At(rect.left + 10, rect.top + (rect.bottom - rect.top) / 2);
}

int CountInButton(HWND dialog, HWND button, COLORREF colour, int distance = 30)
{
    Capture capture;
    EXPECT_TRUE(CaptureClient(dialog, capture));
    RECT rect{};
    GetWindowRect(button, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            count += ColourDistance(capture.At(x, y), colour) <= distance ? 1 : 0;
    return count;
}

bool Near(COLORREF a, COLORREF b)
{
    return ColourDistance(a, b) <= 8;
}

}  // namespace

TEST(ButtonStates, RowAndFrameFollowTheItemState)
{
    struct Case {
        UINT flags;
        int row;
    } cases[] = {
        {0, 0},
        {ODS_SELECTED, 0},  // pressed without hover and focus: the normal row, drawn one pixel lower
        {ODS_HOTLIGHT, 1},
        {ODS_HOTLIGHT | ODS_SELECTED, 4},
        {ODS_DISABLED, 2},
        {ODS_GRAYED, 2},
        {ODS_DISABLED | ODS_FOCUS, 2},
        {ODS_FOCUS, 3},
        {ODS_DEFAULT, 3},
        {ODS_HOTLIGHT | ODS_DISABLED, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SkinButtonRow(c.flags), c.row) << "flags " << c.flags;
        EXPECT_EQ(ButtonFrameIndex(c.flags), c.row) << "flags " << c.flags;
    }
}

TEST(ButtonStates, FadeAndPulseStayWithinTheByte)
{
    EXPECT_EQ(NButton::FadeAlpha(0), 0);
    EXPECT_EQ(NButton::FadeAlpha(125), 127);
    EXPECT_EQ(NButton::FadeAlpha(250), 255);
    EXPECT_EQ(NButton::FadeAlpha(100000), 255);
    // A tick count that wrapped gives a huge elapsed time: still capped.
    EXPECT_EQ(NButton::FadeAlpha(0xFFFFFFF0u), 255);
    EXPECT_EQ(NButton::PulseAlpha(0, true), 0);
    EXPECT_EQ(NButton::PulseAlpha(400, true), 127);
    EXPECT_EQ(NButton::PulseAlpha(800, true), 255);
    EXPECT_EQ(NButton::PulseAlpha(5000, true), 255);
    EXPECT_EQ(NButton::PulseAlpha(0, false), 255);
    EXPECT_EQ(NButton::PulseAlpha(400, false), 128);
    EXPECT_EQ(NButton::PulseAlpha(800, false), 0);
    EXPECT_EQ(NButton::PulseAlpha(0xFFFFFFF0u, false), 0);
}

TEST_F(ControlsTest, DefaultButtonsPulseAndOthersDoNot)
{
    NButton ok, cancel, wide;
    ASSERT_TRUE(ok.AttachControl(IDOK, &dialog, -1));
    ASSERT_TRUE(cancel.AttachControl(IDCANCEL, &dialog, -1));
    ASSERT_TRUE(wide.AttachControl(IDC_CTL_WIDE, &dialog, 3));
    EXPECT_TRUE(ok.IsPulsing());
    EXPECT_EQ(ok.GetAlpha(), 0);
    EXPECT_FALSE(cancel.IsPulsing());
    EXPECT_EQ(cancel.GetAlpha(), 255);
    EXPECT_EQ(wide.GetIconIndex(), 3);
    EXPECT_EQ(GetWindowLongPtrW(Item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    // The pulse runs on its timer: alpha moves away from 0 and stays in range.
    PumpMessages(300);
    EXPECT_GT(ok.GetAlpha(), 0);
    EXPECT_LE(ok.GetAlpha(), 255);
    // Focus stops it at full weight.
    SendMessageW(Item(IDOK), WM_SETFOCUS, 0, 0);
    EXPECT_EQ(ok.GetAlpha(), 255);
    PumpMessages(100);
    EXPECT_EQ(ok.GetAlpha(), 255);
}

TEST_F(ControlsTest, ButtonPaintsTheSkinRowsForItsStates)
{
    NButton plain;
    ASSERT_TRUE(plain.AttachControl(IDC_CTL_PLAIN, &dialog, -1));
    Show();
    // At rest (animated, not hovered): the normal look, row 0.
    EXPECT_TRUE(Near(FrameColourOf(dialog_, Item(IDC_CTL_PLAIN)), ctl::kRow[0]));

    // Hover fades to the hover look (row 1) within 250 ms; leaving fades back.
    SendMessageW(Item(IDC_CTL_PLAIN), WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(plain.IsHovered());
    PumpMessages(400);
    EXPECT_EQ(plain.GetAlpha(), 255);
    EXPECT_TRUE(Near(FrameColourOf(dialog_, Item(IDC_CTL_PLAIN)), ctl::kRow[1]));
    SendMessageW(Item(IDC_CTL_PLAIN), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(plain.IsHovered());
    EXPECT_LT(plain.GetAlpha(), 255);  // the fade restarted from 0
    PumpMessages(400);
    EXPECT_TRUE(Near(FrameColourOf(dialog_, Item(IDC_CTL_PLAIN)), ctl::kRow[0]));

    // Disabled: drawn without animation, row 2 and the disabled text colour.
    EnableWindow(Item(IDC_CTL_PLAIN), FALSE);
    PumpMessages(60);
    EXPECT_TRUE(Near(FrameColourOf(dialog_, Item(IDC_CTL_PLAIN)), ctl::kRow[2]));
    EXPECT_GT(CountInButton(dialog_, Item(IDC_CTL_PLAIN), ctl::kTextDisabled), 0);
    EXPECT_EQ(CountInButton(dialog_, Item(IDC_CTL_PLAIN), ctl::kTextDefault, 60), 0);
}

TEST_F(ControlsTest, ButtonWithoutAnimationShowsFocusRowAndSwatch)
{
    NButton plain;
    ASSERT_TRUE(plain.AttachControl(IDC_CTL_PLAIN, &dialog, -1));
    plain.SetAnimated(false);
    Show();
    SetFocus(Item(IDC_CTL_PLAIN));
    PumpMessages(60);
    EXPECT_TRUE(Near(FrameColourOf(dialog_, Item(IDC_CTL_PLAIN)), ctl::kRow[3]));

    const COLORREF swatch = RGB(17, 99, 201);
    plain.SetSwatchColor(swatch);
    EXPECT_EQ(plain.GetIconIndex(), -2);
    PumpMessages(60);
    EXPECT_GT(CountInButton(dialog_, Item(IDC_CTL_PLAIN), swatch, 2), 20);
    EXPECT_GT(CountInButton(dialog_, Item(IDC_CTL_PLAIN), RGB(0, 0, 0), 2), 20);  // its outline (and the text)
}

TEST_F(ControlsTest, NarrowButtonShowsItsToolTipOnHover)
{
    NButton narrow, wide;
    ASSERT_TRUE(narrow.AttachControl(IDC_CTL_NARROW, &dialog, -1));
    ASSERT_TRUE(wide.AttachControl(IDC_CTL_WIDE, &dialog, -1));
    narrow.EnableToolTip(true);
    wide.EnableToolTip(true);
    Show();
    HWND narrowTip = narrow.GetToolTip().GetHwnd();
    HWND wideTip = wide.GetToolTip().GetHwnd();
    ASSERT_NE(narrowTip, nullptr);
    ASSERT_NE(wideTip, nullptr);
    EXPECT_FALSE(IsWindowVisible(narrowTip));

    SendMessageW(Item(IDC_CTL_NARROW), WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(IsWindowVisible(narrowTip));
    RECT tip{}, button{};
    GetWindowRect(narrowTip, &tip);
    GetWindowRect(Item(IDC_CTL_NARROW), &button);
    EXPECT_GE(tip.right - tip.left, 100);
    EXPECT_GE(tip.bottom - tip.top, 30);
    EXPECT_EQ(tip.top, button.bottom);
    SendMessageW(Item(IDC_CTL_NARROW), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(narrowTip));

    SendMessageW(Item(IDC_CTL_WIDE), WM_MOUSEHOVER, 0, 0);
    EXPECT_FALSE(IsWindowVisible(wideTip));
    // Detaching takes the tip away and gives the window back to the system's procedure.
    narrow.Detach();
    EXPECT_FALSE(IsWindow(narrowTip));
}

TEST(MessageBoxButtons, AreSkinnedButtonsWithTheirIcons)
{
    NWinApp app{GetModuleHandleW(nullptr), 0, NString(L"MessageBoxButtons")};
    NMessageBox box(NMessageBox::typeYesNoCancel, L"Caption", L"Text", nullptr);
    bool seen = false;
    int visibleTicks = 0;
    TimerDriver driver(
        [&] {
            HWND window = box.GetHwnd();
            if (!window || !IsWindowVisible(window) || ++visibleTicks < 2)
                return false;
            for (int id : {IDYES, IDNO, IDCANCEL}) {
                HWND button = GetDlgItem(window, id);
                EXPECT_NE(dynamic_cast<NButton*>(NWindow::FromHandle(button)), nullptr) << id;
                EXPECT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << id;
            }
            EXPECT_EQ(GetDlgItem(window, IDOK), nullptr);
            EXPECT_EQ(box.GetButton(2).GetIconIndex(), 0);  // Yes
            EXPECT_EQ(box.GetButton(3).GetIconIndex(), 5);  // No
            EXPECT_EQ(box.GetButton(1).GetIconIndex(), 1);  // Cancel
            EXPECT_TRUE(box.GetButton(2).IsPulsing());
            seen = true;
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDNO)));
            return true;
        },
        [&] { box.EndDialog(-7); });
    EXPECT_EQ(box.Show(), IDNO);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(driver.TimedOut());
    // On closing every button was detached.
    EXPECT_EQ(box.GetButton(2).GetHwnd(), nullptr);
}

TEST_F(ControlsTest, OwnPictureFramesFollowTheStateAndNarrowTextAreasStayEmpty)
{
    NButton plain;
    ASSERT_TRUE(plain.AttachControl(IDC_CTL_PLAIN, &dialog, -1));
    // Five frames of 24 x 24 stacked vertically, each one colour.
    NImageBuffer frames;
    ASSERT_TRUE(MakePicture(frames, 24, 120, 24, ctl::kRow[0]));
    for (int frame = 1; frame < 5; ++frame)
        PaintBlock(frames, 0, frame * 24, 24, 24, ctl::kRow[frame]);
    plain.SetPicture(frames);
    struct Case {
        UINT flags;
        int frame;
    } cases[] = {{0, 0}, {ODS_HOTLIGHT, 1}, {ODS_DISABLED, 2}, {ODS_FOCUS, 3}, {ODS_HOTLIGHT | ODS_SELECTED, 4}};
    const RECT rect = {0, 0, 60, 24};
    for (const Case& c : cases) {
        NImageBuffer target;
        ASSERT_TRUE(target.Create(60, 24, 24, RGB(1, 1, 1)));
        plain.Paint(Item(IDC_CTL_PLAIN), target.dc, c.flags, &rect, -1);
        EXPECT_TRUE(Near(GetPixel(target.dc, 2, 12), ctl::kRow[c.frame])) << "flags " << c.flags;
    }

    // The skin's painter: a text area of 4 pixels or less gets no text; a wider one does.
    auto inked = [&](int width) {
        NImageBuffer target;
        EXPECT_TRUE(target.Create(width, 24, 24, RGB(1, 1, 1)));
        const RECT item = {0, 0, width, 24};
        DrawSkinButton(*app_.GetSkin(), Item(IDC_CTL_PLAIN), target.dc, 0, &item, -1, false);
        int count = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < width; ++x)
                count += ColourDistance(GetPixel(target.dc, x, y), ctl::kRow[0]) > 60 ? 1 : 0;
        return count;
    };
    EXPECT_EQ(inked(8), 0);  // text area 2..6
    EXPECT_GT(inked(60), 0);
}

// Half-transparent frame pixels of a picture file blend with the dialog's background by their
// alpha: no edge or face comes out brighter than the colours it mixes.
TEST_F(ControlsTest, OwnPictureFramesBlendTheirAlphaOverTheBackground)
{
    RECT client{};
    GetClientRect(dialog_, &client);
    NImageBuffer background;
    ASSERT_TRUE(MakePicture(background, client.right, client.bottom, 24, RGB(0, 0, 255)));
    ASSERT_TRUE(dialog.SetBackgroundImage(background));
    NButton plain;
    ASSERT_TRUE(plain.AttachControl(IDC_CTL_PLAIN, &dialog, -1));
    NImageBuffer frames;
    ASSERT_TRUE(MakePicture(frames, 24, 120, 32, RGB(200, 100, 0)));
    PaintBlock(frames, 0, 0, 24, 120, RGB(200, 100, 0), 128);  // as read from a file: not premultiplied
    plain.SetPicture(frames);
    NImageBuffer target;
    ASSERT_TRUE(target.Create(60, 24, 24, RGB(1, 1, 1)));
    const RECT rect = {0, 0, 60, 24};
    plain.Paint(Item(IDC_CTL_PLAIN), target.dc, 0, &rect, -1);
    EXPECT_LE(ColourDistance(GetPixel(target.dc, 2, 12), RGB(100, 50, 127)), 3)
        << std::hex << GetPixel(target.dc, 2, 12);
}

TEST(TwoFrameButton, EachLayoutShowsItsHalfForTheHoverState)
{
    // Quadrants: top-left, top-right, bottom-left, bottom-right.
    const COLORREF tl = RGB(200, 0, 0), tr = RGB(0, 200, 0), bl = RGB(0, 0, 200), br = RGB(200, 200, 0);
    NImageBuffer frames;
    ASSERT_TRUE(MakePicture(frames, 24, 24, 24, tl));
    PaintBlock(frames, 12, 0, 12, 12, tr);
    PaintBlock(frames, 0, 12, 12, 12, bl);
    PaintBlock(frames, 12, 12, 12, 12, br);
    // The item (10, 5)-(70, 29): its top-left and bottom-right areas show these colours.
    struct Case {
        int layout;
        UINT flags;
        COLORREF topLeft, bottomRight;
    } cases[] = {
        {0, 0, bl, br}, {0, ODS_HOTLIGHT, tl, tr},   // lower half normal, upper hovered
        {1, 0, tl, bl}, {1, ODS_HOTLIGHT, tr, br},   // left normal, right hovered
        {2, 0, tl, tr}, {2, ODS_HOTLIGHT, bl, br},   // upper normal, lower hovered
        {3, 0, tr, br}, {3, ODS_HOTLIGHT, tl, bl},   // right normal, left hovered
    };
    const RECT item = {10, 5, 70, 29};
    const COLORREF untouched = RGB(1, 1, 1);
    for (const Case& c : cases) {
        NImageBuffer target;
        ASSERT_TRUE(target.Create(80, 40, 24, untouched));
        EXPECT_TRUE(DrawTwoFrameButton(frames, c.layout, target.dc, c.flags, &item));
        EXPECT_TRUE(Near(GetPixel(target.dc, 12, 7), c.topLeft)) << c.layout << " " << c.flags;
        EXPECT_TRUE(Near(GetPixel(target.dc, 67, 27), c.bottomRight)) << c.layout << " " << c.flags;
        EXPECT_EQ(GetPixel(target.dc, 9, 4), untouched);
        EXPECT_EQ(GetPixel(target.dc, 70, 29), untouched);
    }
    // Another layout, an empty rectangle or no picture: nothing drawn.
    NImageBuffer none;
    const RECT empty = {10, 5, 10, 29};
    struct Bad {
        const NImageBuffer* picture;
        int layout;
        const RECT* rect;
    } bad[] = {{&frames, 4, &item}, {&frames, -1, &item}, {&frames, 0, &empty}, {&none, 0, &item}, {&frames, 0, nullptr}};
    for (const Bad& b : bad) {
        NImageBuffer target;
        ASSERT_TRUE(target.Create(80, 40, 24, untouched));
        EXPECT_FALSE(DrawTwoFrameButton(*b.picture, b.layout, target.dc, ODS_HOTLIGHT, b.rect)) << b.layout;
        EXPECT_EQ(GetPixel(target.dc, 40, 17), untouched);
    }
}

TEST_F(ControlsTest, SkinButtonCornersShowTheDialogBackgroundOnlyWithAlpha)
{
    RECT client{};
    GetClientRect(dialog_, &client);
    NImageBuffer background;
    ASSERT_TRUE(MakePicture(background, client.right, client.bottom, 24, RGB(0, 0, 255)));
    ASSERT_TRUE(dialog.SetBackgroundImage(background));
    const RECT item = {0, 0, 60, 24};
    auto corner = [&](COLORREF& centre) {
        NImageBuffer target;
        EXPECT_TRUE(target.Create(60, 24, 24, RGB(1, 1, 1)));
        DrawSkinButton(*app_.GetSkin(), Item(IDC_CTL_PLAIN), target.dc, 0, &item, -1, false);
        centre = GetPixel(target.dc, 4, 12);
        return GetPixel(target.dc, 0, 0);
    };
    COLORREF centre = 0;
    // 24 bits: opaque corners in the picture's own colour.
    EXPECT_TRUE(Near(corner(centre), ctl::kRow[0]));

    // 32 bits with a transparent corner pixel: the dialog's picture shows through it.
    NImageBuffer& button = app_.GetSkin()->button;
    ASSERT_TRUE(MakePicture(button, 24, 120, 32, ctl::kRow[0]));
    PaintBlock(button, 0, 0, 2, 2, RGB(0, 0, 0), 0);
    ASSERT_TRUE(button.PremultiplyAlpha());
    EXPECT_EQ(corner(centre), RGB(0, 0, 255));
    EXPECT_TRUE(Near(centre, ctl::kRow[0]));
}
