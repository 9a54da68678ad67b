// The skin's painters on a real dialog: owner-drawn check box, radio item and group box painted
// from the skin's pictures over the dialog's background, captured from the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "SkinTestSupport.h"
#include "UiTest.h"
#include "UiTestSupport.h"
#include "base/Dpi.h"
#include "ui/NDialog.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

namespace {

const COLORREF kBack = RGB(0, 0, 255);         // the dialog's background picture
const COLORREF kFill = RGB(255, 255, 0);       // AppWindowBackColor: the painters' off-screen fill
const COLORREF kMagenta = RGB(255, 0, 255);    // colour key of the 24-bit check box
const COLORREF kFrameOff = RGB(255, 0, 0);
const COLORREF kFrameOn = RGB(0, 160, 0);
const COLORREF kGroup = RGB(255, 128, 0);
const COLORREF kTextNormal = RGB(0, 0, 0);
const COLORREF kTextChecked = RGB(128, 0, 0);
const COLORREF kTextDisabled = RGB(0, 128, 128);

// Paints its owner-drawn items with the application's skin; checked items get ODS_CHECKED.
class PainterDialog : public NDialog {
public:
    PainterDialog() : NDialog(IDD_TEST_SKIN_PAINTERS, nullptr) {}
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_DRAWITEM)
            return NDialog::DialogProc(window, message, wParam, lParam);
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        NSkin* skin = NGetApp()->GetSkin();
        const UINT state = item->itemState | (checked[item->CtlID] ? ODS_CHECKED : 0);
        if (item->CtlID == IDC_TEST_CHECK)
            skin->DrawCheckBox(item->hwndItem, item->hDC, state, &item->rcItem, kTextDisabled, kTextChecked,
                               kTextNormal);
        else if (item->CtlID == IDC_TEST_RADIO)
            skin->DrawRadioItem(item->hwndItem, item->hDC, state, &item->rcItem, kTextDisabled, kTextChecked,
                                kTextNormal);
        else if (item->CtlID == IDC_TEST_GROUP)
            skin->DrawGroupBox(item->hwndItem, item->hDC, &item->rcItem);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    std::map<UINT, bool> checked;
};

// An item's rectangle in the dialog's client coordinates.
RECT ItemRect(HWND dialog, int id)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Pixels of the rectangle within distance of the colour.
int CountNear(const Capture& capture, const RECT& rect, COLORREF colour, int distance = 40)
{
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            count += ColourDistance(capture.At(x, y), colour) <= distance ? 1 : 0;
    return count;
}

bool IsGrey(COLORREF c)
{
    return ColourDistance(c, RGB(GetRValue(c), GetRValue(c), GetRValue(c))) <= 2;
}

class SkinPainterTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_.Ini(L"[Skin]\r\nAppWindowBackColor=FFFF00\r\nAppDlgGroupBoxTextColor=000000\r\n"
                    L"AppDlgGroupBoxTextShadowColor=000000\r\n");
        // Check box: 24 bits, three 10 x 10 frames with a 2-pixel border in the colour key.
        NImageBuffer check;
        ASSERT_TRUE(MakePicture(check, 30, 10, 24, kMagenta));
        PaintBlock(check, 2, 2, 6, 6, kFrameOff);
        PaintBlock(check, 12, 2, 6, 6, kFrameOn);
        PaintBlock(check, 22, 2, 6, 6, RGB(0, 0, 0));
        ASSERT_TRUE(folder_.Picture(L"CheckBox", check));
        // Radio item: 32 bits, two 10 x 10 frames, the outer 2 pixels fully transparent.
        NImageBuffer radio;
        ASSERT_TRUE(MakePicture(radio, 20, 10, 32, RGB(0, 0, 0)));
        PaintBlock(radio, 0, 0, 20, 10, RGB(0, 0, 0), 0);
        PaintBlock(radio, 2, 2, 6, 6, kFrameOff);
        PaintBlock(radio, 12, 2, 6, 6, kFrameOn);
        ASSERT_TRUE(folder_.Picture(L"RadioItem", radio));
        NImageBuffer group;
        ASSERT_TRUE(MakePicture(group, 16, 16, 32, kGroup));
        ASSERT_TRUE(folder_.Picture(L"Groupbox", group));
        ASSERT_TRUE(app_.GetSkin()->Load(L"SkinTestP"));
        ASSERT_EQ(app_.GetSkin()->checkBox.bpp, 24);
        ASSERT_EQ(app_.GetSkin()->radioItem.bpp, 32);
        if (ScalePixelsForDpi(16) != 16)
            GTEST_SKIP() << "the pixel positions below are those of 96 DPI";

        dialog_ = dialog.DoModeless(IDD_TEST_SKIN_PAINTERS, nullptr);
        ASSERT_NE(dialog_, nullptr);
        RECT client = {};
        GetClientRect(dialog_, &client);
        NImageBuffer background;
        ASSERT_TRUE(MakePicture(background, client.right, client.bottom, 24, kBack));
        ASSERT_TRUE(dialog.SetBackgroundImage(background));
        SetWindowTextW(GetDlgItem(dialog_, IDC_TEST_CHECK), L"Check");
        SetWindowTextW(GetDlgItem(dialog_, IDC_TEST_RADIO), L"Radio");
        SetWindowTextW(GetDlgItem(dialog_, IDC_TEST_GROUP), L"Group caption");
        ShowWindow(dialog_, SW_SHOWNA);
        PumpMessages(50);
    }
    void TearDown() override
    {
        if (dialog_)
            dialog.EndDialog(0);
    }

    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"SkinPainterTest")};
    SkinFolder folder_{L"SkinTestP"};
    PainterDialog dialog;
    HWND dialog_ = nullptr;
};

}  // namespace

TEST_F(SkinPainterTest, CheckBoxKeysItsColourAndGreysWhenDisabled)
{
    const int frame = app_.GetSkin()->checkBoxFrameWidth;
    ASSERT_EQ(frame, 10);
    const RECT box = ItemRect(dialog_, IDC_TEST_CHECK);
    const int frameTop = box.top + (box.bottom - box.top - frame) / 2;
    const RECT text = {box.left + frame + 4, box.top, box.right - 2, box.bottom};
    // Without focus: a focus rectangle would invert the background around the text.
    SetFocus(nullptr);

    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(box.left + 5, frameTop + 5), kFrameOff);
    EXPECT_EQ(capture.At(box.left, frameTop), kBack);  // the key colour lets the background through
    EXPECT_EQ(capture.At(box.left + 9, frameTop + 9), kBack);
    EXPECT_EQ(capture.At(box.right - 1, box.top), kBack);
    EXPECT_EQ(CountNear(capture, box, kFill, 0), 0);  // the fill lies under the background copy
    EXPECT_GT(CountNear(capture, text, kTextNormal), 5);
    EXPECT_EQ(CountNear(capture, text, kTextChecked), 0);

    dialog.checked[IDC_TEST_CHECK] = true;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(box.left + 5, frameTop + 5), kFrameOn);
    EXPECT_EQ(capture.At(box.left, frameTop), kBack);
    EXPECT_GT(CountNear(capture, text, kTextChecked), 5);

    // Disabled: the frame in grey, its key colour (now grey too) still transparent.
    EnableWindow(GetDlgItem(dialog_, IDC_TEST_CHECK), FALSE);
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    const COLORREF grey = capture.At(box.left + 5, frameTop + 5);
    EXPECT_TRUE(IsGrey(grey)) << std::hex << grey;
    EXPECT_NE(grey, kBack);
    EXPECT_EQ(capture.At(box.left, frameTop), kBack);
    EXPECT_GT(CountNear(capture, text, kTextDisabled), 5);
}

TEST_F(SkinPainterTest, RadioItemBlendsItsFramesOverTheBackground)
{
    const RECT item = ItemRect(dialog_, IDC_TEST_RADIO);
    const int frameTop = item.top + (item.bottom - item.top - 10) / 2;
    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(item.left + 5, frameTop + 5), kFrameOff);
    EXPECT_EQ(capture.At(item.left + 1, frameTop + 1), kBack);  // fully transparent pixels
    dialog.checked[IDC_TEST_RADIO] = true;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(item.left + 5, frameTop + 5), kFrameOn);
    EXPECT_GT(CountNear(capture, {item.left + 14, item.top, item.right, item.bottom}, kTextChecked), 5);
}

TEST_F(SkinPainterTest, GroupBoxLeavesAGapForItsCaptionOnly)
{
    HWND group = GetDlgItem(dialog_, IDC_TEST_GROUP);
    const RECT rc = ItemRect(dialog_, IDC_TEST_GROUP);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    const int frameTop = rc.top + 8;
    SIZE extent = {};
    HDC dc = GetDC(group);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(group, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc, L"Group caption", 13, &extent);
    SelectObject(dc, old);
    ReleaseDC(group, dc);
    ASSERT_GT(extent.cx, 20);

    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(rc.left + 1, frameTop + 1), kGroup);          // corner
    // The gap runs from 4 pixels before the caption to 4 pixels after it.
    EXPECT_EQ(capture.At(rc.left + 12 - 6, frameTop + 1), kGroup);
    EXPECT_EQ(capture.At(rc.left + 12 - 2, frameTop + 1), kBack);
    EXPECT_EQ(capture.At(rc.left + 12 + extent.cx + 2, frameTop + 1), kBack);
    EXPECT_EQ(capture.At(rc.left + 12 + extent.cx + 6, frameTop + 1), kGroup);
    EXPECT_EQ(capture.At(rc.right - 2, frameTop + 1), kGroup);
    EXPECT_EQ(capture.At(rc.left + width / 2, rc.bottom - 2), kGroup); // bottom edge
    EXPECT_EQ(capture.At(rc.left + 1, rc.top + height / 2), kGroup);   // left edge
    EXPECT_EQ(capture.At(rc.right - 2, rc.top + height / 2), kGroup);  // right edge
    EXPECT_EQ(capture.At(rc.left + width / 2, rc.top + height / 2), kBack);
    EXPECT_EQ(capture.At(rc.left + 1, rc.top + 2), kBack);             // above the frame
    EXPECT_GT(CountNear(capture, {rc.left + 12, rc.top, rc.left + 12 + extent.cx, rc.top + 18}, kTextNormal), 5);

    SetWindowTextW(group, L"");
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(rc.left + 12 - 2, frameTop + 1), kGroup);  // a closed top edge
    EXPECT_EQ(capture.At(rc.left + 12 + extent.cx / 2, frameTop + 1), kGroup);
}

TEST_F(SkinPainterTest, ButtonIconsBlendOrKeyTheirCells)
{
    NSkin* skin = app_.GetSkin();
    // A 32-bit strip blends; disabled icons at constant alpha 100.
    ASSERT_TRUE(MakePicture(skin->buttonIcons, 48, 16, 32, RGB(255, 0, 0)));
    PaintBlock(skin->buttonIcons, 16, 0, 16, 16, RGB(0, 255, 0));
    NImageBuffer target;
    ASSERT_TRUE(target.Create(40, 20, 24, RGB(255, 255, 255)));
    skin->DrawButtonIcon(1, 0, target.dc, 2, 2);
    EXPECT_EQ(GetPixel(target.dc, 10, 10), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(target.dc, 1, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(target.dc, 18, 18), RGB(255, 255, 255));
    skin->DrawButtonIcon(0, ODS_DISABLED, target.dc, 20, 2);
    const COLORREF faded = GetPixel(target.dc, 28, 10);
    EXPECT_EQ(GetRValue(faded), 255);
    EXPECT_NEAR(GetGValue(faded), 155, 3);

    // A 24-bit strip is keyed by its top-left pixel.
    ASSERT_TRUE(MakePicture(skin->buttonIcons, 48, 16, 24, kMagenta));
    PaintBlock(skin->buttonIcons, 20, 4, 8, 8, RGB(0, 0, 200));
    target.Fill(RGB(255, 255, 255));
    skin->DrawButtonIcon(1, 0, target.dc, 0, 0);
    EXPECT_EQ(GetPixel(target.dc, 8, 8), RGB(0, 0, 200));
    EXPECT_EQ(GetPixel(target.dc, 1, 1), RGB(255, 255, 255));
}
