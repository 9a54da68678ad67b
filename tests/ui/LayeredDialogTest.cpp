// The layered button and the fancy dialog: what they show on the screen, hover fading, clicks,
// the frame that follows the dialog, dragging and closing on deactivation.
#include "ui/NDialogFancy.h"
#include "ui/NLayeredButton.h"

#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "UiTest.h"
#include "UiTestSupport.h"
#include "common/TestFiles.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

namespace {

constexpr COLORREF kBelow = RGB(255, 255, 255);
constexpr COLORREF kFrames[4] = {RGB(255, 0, 0), RGB(0, 200, 0), RGB(0, 0, 255), RGB(128, 128, 128)};

COLORREF ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// A white top-level window under the popups, which also takes the button's commands.
class Backdrop {
public:
    Backdrop()
    {
        WNDCLASSEXW wc = {sizeof(wc)};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"LayeredBackdrop";
        RegisterClassExW(&wc);
        window = CreateWindowExW(0, L"LayeredBackdrop", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        UpdateWindow(window);
        PumpMessages(50);
    }
    ~Backdrop() { DestroyWindow(window); }
    // The command the button posted, or -1.
    int TakeCommand()
    {
        MSG message;
        if (PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            return static_cast<int>(message.wParam);
        return -1;
    }
    HWND window;
};

class LayeredTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Icon strip: four 16 x 16 frames (normal red, hover green, pressed blue, disabled grey).
        NImageBuffer strip;
        ASSERT_TRUE(MakePicture(strip, 16, 64, 32, kFrames[0]));
        for (int i = 1; i < 4; ++i)
            PaintBlock(strip, 0, 16 * i, 16, 16, kFrames[i]);
        ASSERT_TRUE(skinFolder.Picture(L"Icons", strip));
        ASSERT_TRUE(skinFolder.CopyFrom(ResourcePath(L"Skins\\Default")));
        ASSERT_TRUE(app.GetSkin()->Load(L"Default"));
    }
    void TearDown() override { app.GetSkin()->Unload(); }

    NWinApp app{GetModuleHandleW(nullptr), 0, NString(L"LayeredTest")};
    SkinFolder skinFolder{L"Default"};
};

// The button at (100, 100), 120 x 40, owned by the window below.
void Place(NLayeredButton& button, HWND owner)
{
    ASSERT_NE(nullptr, button.Create(owner, L"", 0, 0));
    SetWindowPos(button.GetHwnd(), HWND_TOP, 100, 100, 120, 40, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ASSERT_TRUE(button.UpdateLayered(255));
    PumpMessages(50);
}

// Pumps until the condition holds (at most two seconds).
template <typename Condition>
bool PumpUntil(Condition condition)
{
    for (int i = 0; i < 200 && !condition(); ++i)
        PumpMessages(10);
    return condition();
}

}  // namespace

TEST_F(LayeredTest, ButtonShowsItsFramesAndFadesOnHover)
{
    Backdrop below;
    SetCursorPos(390, 290);
    NLayeredButton button;
    button.Setup(below.window, 77, L"Icons", L"Go", 2, 12, RGB(255, 255, 255), RGB(0, 0, 0), true, false,
                 NLayeredButton::kIconLeft);
    // The text picture: the text and its outline opaque, the rest transparent.
    const NImageBuffer& text = button.GetTextPicture();
    ASSERT_TRUE(text.valid);
    EXPECT_EQ(32, text.bpp);
    int opaque = 0, clear = 0;
    for (int y = 0; y < text.height; ++y)
        for (int x = 0; x < text.width; ++x) {
            const uint8_t alpha = text.bits[static_cast<size_t>(y) * text.stride + x * 4 + 3];
            opaque += alpha == 255;
            clear += alpha == 0;
        }
    EXPECT_GT(opaque, 20);
    EXPECT_GT(clear, 20);

    Place(button, below.window);
    ASSERT_TRUE(button.GetIconStrip().valid);
    // Icon left of the text, the pair centred: the icon's middle.
    const int tw = text.width;
    const int iconX = 100 + 60 - (tw + 16) / 2 + 8;
    EXPECT_EQ(kFrames[0], ScreenPixel(iconX, 120));

    // Hovering cross-fades to the hover frame over several 30 ms steps.
    SetCursorPos(iconX, 120);
    ASSERT_TRUE(PumpUntil([&] { return button.IsHovering(); }));
    EXPECT_GT(button.GetFadeAlpha(), 100);
    ASSERT_TRUE(PumpUntil([&] { return button.GetFadeAlpha() == 0; }));
    PumpMessages(50);
    EXPECT_EQ(NLayeredButton::kHover, button.GetState());
    EXPECT_EQ(kFrames[1], ScreenPixel(iconX, 120));

    // A click posts the command.
    SendMessageW(button.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(NLayeredButton::kPressed, button.GetState());
    EXPECT_EQ(kFrames[2], ScreenPixel(iconX, 120));
    SendMessageW(button.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(77, below.TakeCommand());

    // Pressed, then left before the release: back to normal, no command.
    SendMessageW(button.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SetCursorPos(390, 290);
    ASSERT_TRUE(PumpUntil([&] { return !button.IsHovering() && button.GetFadeAlpha() == 0; }));
    EXPECT_EQ(NLayeredButton::kNormal, button.GetState());
    SendMessageW(button.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(-1, below.TakeCommand());

    // Disabled: the fourth frame, no clicks.
    button.SetDisabled(true);
    PumpMessages(30);
    EXPECT_EQ(kFrames[3], ScreenPixel(iconX, 120));
    SendMessageW(button.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(button.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(-1, below.TakeCommand());
    EXPECT_EQ(NLayeredButton::kDisabled, button.GetState());
    button.Destroy();
}

TEST_F(LayeredTest, ButtonWithoutTextIsTransparentAroundItsIcon)
{
    Backdrop below;
    NLayeredButton withText, withoutText;
    withText.Setup(below.window, 1, L"Icons", L"Text", 1, 10, RGB(0, 0, 0), RGB(0, 0, 0), false, false,
                   NLayeredButton::kIconAbove);
    withoutText.Setup(below.window, 2, L"Icons", L"", 1, 10, RGB(0, 0, 0), RGB(0, 0, 0), false, false,
                      NLayeredButton::kIconAbove);
    Place(withoutText, below.window);
    EXPECT_EQ(kBelow, ScreenPixel(105, 105));
    // The hit test passes through the fully transparent corner, not through the icon.
    EXPECT_NE(withoutText.GetHwnd(), WindowFromPoint(POINT{105, 105}));
    withoutText.Destroy();
    Place(withText, below.window);
    EXPECT_EQ(withText.GetHwnd(), WindowFromPoint(POINT{105, 105}));
    withText.Destroy();
}

namespace {

class FancyDialog : public NDialogFancy {
public:
    FancyDialog() : NDialogFancy(IDD_TEST_PLAIN, nullptr) {}
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (LOWORD(wParam) == 9) {
            ++helpCommands;
            return 0;
        }
        return NDialogFancy::OnCommand(wParam, lParam);
    }
    int helpCommands = 0;
};

}  // namespace

TEST_F(LayeredTest, FancyDialogFrameFollowsTheDialog)
{
    FancyDialog dialog;
    dialog.SetInitialPosition(120, 140);
    RECT border = {}, pointer = {}, place = {};
    HWND borderWindow = nullptr, pointerWindow = nullptr;
    COLORREF titleBand = 0;
    int titlePixels = 0;
    POINT moved = {};
    TimerDriver driver(
        [&] {
            HWND window = dialog.GetHwnd();
            if (!window || !IsWindowVisible(window) || !IsWindowVisible(dialog.GetBorderWindow()))
                return false;
            PumpMessages(50);
            borderWindow = dialog.GetBorderWindow();
            pointerWindow = dialog.GetPointerWindow();
            GetWindowRect(window, &place);
            GetWindowRect(borderWindow, &border);
            GetWindowRect(pointerWindow, &pointer);
            // The caption colour of the default skin in the top band, where the title is.
            titleBand = CurrentSkin().GetColor(L"AppFancyDlgCaptionTextColor");
            HDC screen = GetDC(nullptr);
            for (int y = border.top; y < place.top; ++y)
                for (int x = border.left; x < border.right; ++x)
                    titlePixels += ColourDistance(GetPixel(screen, x, y), titleBand) < 40;
            ReleaseDC(nullptr, screen);

            // Dragging the body moves the dialog and its frame.
            SetCursorPos(place.left + 50, place.top + 60);
            SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SetCursorPos(place.left + 80, place.top + 80);
            SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, 0);
            SendMessageW(window, WM_LBUTTONUP, 0, 0);
            RECT after = {}, borderAfter = {};
            GetWindowRect(window, &after);
            GetWindowRect(borderWindow, &borderAfter);
            moved = {after.left - place.left, borderAfter.left - border.left};

            SendMessageW(window, WM_HOTKEY, 1, 0);
            PumpMessages(30);
            dialog.EndDialog(IDOK);
            return true;
        },
        [&] { dialog.EndDialog(IDCANCEL); });
    EXPECT_EQ(IDOK, dialog.DoModal());
    ASSERT_TRUE(driver.Finished());

    EXPECT_EQ(120, place.left);
    EXPECT_EQ(140, place.top);
    // The border: 35 pixels round the dialog on every side; the pointer above the dialog.
    EXPECT_EQ(place.left - 35, border.left);
    EXPECT_EQ(place.top - 35, border.top);
    EXPECT_EQ(place.right + 35, border.right);
    EXPECT_EQ(place.bottom + 35, border.bottom);
    EXPECT_EQ(place.top, pointer.bottom);
    EXPECT_EQ((place.left + place.right) / 2, (pointer.left + pointer.right) / 2);
    EXPECT_GT(titlePixels, 15);
    EXPECT_EQ(30, moved.x);
    EXPECT_EQ(30, moved.y);
    EXPECT_EQ(1, dialog.helpCommands);
    // The frame goes with the dialog.
    EXPECT_FALSE(IsWindow(borderWindow));
    EXPECT_FALSE(IsWindow(pointerWindow));
}

TEST_F(LayeredTest, FancyDialogClosesWhenAnotherWindowTakesTheActivation)
{
    for (bool closes : {true, false}) {
        SCOPED_TRACE(closes);
        Backdrop other;
        FancyDialog dialog;
        dialog.SetCloseWhenDeactivated(closes);
        int steps = 0;
        TimerDriver driver(
            [&] {
                if (!dialog.GetHwnd() || !IsWindowVisible(dialog.GetHwnd()))
                    return false;
                if (steps++ == 0) {
                    SetCursorPos(395, 295);
                    SetForegroundWindow(other.window);
                    return false;
                }
                if (steps < 10)
                    return false;
                dialog.EndDialog(7);
                return true;
            },
            [&] { dialog.EndDialog(IDCANCEL); });
        EXPECT_EQ(closes ? 1 : 7, dialog.DoModal());
    }
}
