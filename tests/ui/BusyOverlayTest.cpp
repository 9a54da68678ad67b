// Layered popups and the busy overlays: what they show on the screen over a real window, their
// threads, and what they leave behind.
#include "ui/NBusyOverlay.h"

#include <gtest/gtest.h>

#include <thread>

#include "SkinTestSupport.h"
#include "UiTestSupport.h"
#include "base/DpiAwareness.h"
#include "imagefile/formats/NImageFilePNG.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"
#include "ui/NWindowLayered.h"

namespace {

constexpr COLORREF kOwnerColour = RGB(255, 255, 255);
constexpr COLORREF kEmptyBar = RGB(0, 0, 255);
constexpr COLORREF kFullBar = RGB(0, 160, 0);
constexpr COLORREF kText = RGB(255, 0, 0);
constexpr COLORREF kFrame0 = RGB(255, 255, 0);
constexpr COLORREF kFrame1 = RGB(0, 255, 255);

// The screen as it is now, in screen coordinates.
struct ScreenShot {
    ScreenShot(int x, int y, int w, int h) : left(x), top(y), width(w), height(h)
    {
        NImageBuffer copy;
        EXPECT_TRUE(copy.Create(w, h, 32, 0));
        HDC screen = GetDC(nullptr);
        BitBlt(copy.dc, 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT);
        ReleaseDC(nullptr, screen);
        GdiFlush();
        pixels.resize(static_cast<size_t>(w) * h);
        for (int row = 0; row < h; ++row) {
            const uint8_t* line = copy.bits + static_cast<size_t>(h - 1 - row) * copy.stride;
            for (int col = 0; col < w; ++col)
                pixels[static_cast<size_t>(row) * w + col] =
                    RGB(line[col * 4 + 2], line[col * 4 + 1], line[col * 4]);
        }
    }
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y - top) * width + (x - left)]; }
    // Pixels of the rectangle (screen coordinates) near the colour.
    int Count(COLORREF colour, int x0, int y0, int x1, int y1, int tolerance = 60) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += ColourDistance(At(x, y), colour) <= tolerance;
        return n;
    }
    int left, top, width, height;
    std::vector<COLORREF> pixels;
};

// A plain top-level window painted in one colour.
class OwnerWindow {
public:
    OwnerWindow(int w, int h, bool visible = true)
    {
        WNDCLASSEXW wc = {sizeof(wc)};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"BusyOverlayOwner";
        RegisterClassExW(&wc);
        window = CreateWindowExW(0, L"BusyOverlayOwner", L"Owner", WS_POPUP | (visible ? WS_VISIBLE : 0), 40, 30, w, h,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        UpdateWindow(window);
        PumpMessages(100);
    }
    ~OwnerWindow() { DestroyWindow(window); }
    POINT Origin() const
    {
        POINT p = {0, 0};
        ClientToScreen(window, &p);
        return p;
    }
    HWND window;
};

DWORD GdiObjects()
{
    return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
}

// Pumps until the overlay has shown count more pictures (at most two seconds).
bool WaitForPictures(const NOverlayBase& overlay, int count)
{
    const int target = overlay.GetShownCount() + count;
    for (int i = 0; i < 200 && overlay.GetShownCount() < target; ++i)
        PumpMessages(10);
    return overlay.GetShownCount() >= target;
}

// A skin with a two-frame animation (20 x 20, yellow then cyan), a 100 x 10 progress bar (blue
// empty half, green full half) and red text.
class BusySkin {
public:
    BusySkin() : folder_(L"BusyTest")
    {
        folder_.Ini(L"[Skin]\r\nWizardTextColor=FF0000\r\n");
        NImageBuffer bar;
        MakePicture(bar, 100, 10, 32, kEmptyBar);
        PaintBlock(bar, 0, 5, 100, 5, kFullBar);
        EXPECT_TRUE(folder_.Picture(L"WizardProgressBar", bar));
        NImageBuffer frames[2];
        MakePicture(frames[0], 20, 20, 32, kFrame0);
        MakePicture(frames[1], 20, 20, 32, kFrame1);
        NImageFilePNG writer;
        EXPECT_EQ(NR_OK, writer.BeginPages((folder_.Path() + L"\\BusyTestWizardWorking.png").c_str(), nullptr));
        writer.pageDelay = 30;
        EXPECT_EQ(NR_OK, writer.AddPage(&frames[0]));
        EXPECT_EQ(NR_OK, writer.AddPage(&frames[1]));
        EXPECT_EQ(NR_OK, writer.EndPages());
        EXPECT_TRUE(NGetApp()->GetSkin()->Load(L"BusyTest"));
    }
    ~BusySkin() { NGetApp()->GetSkin()->Unload(); }

private:
    SkinFolder folder_;
};

class BusyOverlayTest : public ::testing::Test {
protected:
    NWinApp app{GetModuleHandleW(nullptr), 0, NString(L"BusyOverlayTest")};
};

}  // namespace

TEST(LayeredWindow, ShowsItsPictureWithTheGlobalAlpha)
{
    EXPECT_EQ(255, NWindowLayered::ClampAlpha(300));
    EXPECT_EQ(0, NWindowLayered::ClampAlpha(-5));
    EXPECT_EQ(128, NWindowLayered::ClampAlpha(128));

    NWinApp app{GetModuleHandleW(nullptr), 0, NString(L"LayeredWindow")};
    OwnerWindow below(200, 120);
    NWindowLayered layered;
    EXPECT_FALSE(layered.UpdateLayered(255));   // no window, no picture
    ASSERT_NE(nullptr, layered.Create(below.window, L"", WS_POPUP, 0));
    EXPECT_TRUE(GetWindowLongW(layered.GetHwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_FALSE(layered.UpdateLayered(255));   // no picture
    const POINT at = below.Origin();
    SetWindowPos(layered.GetHwnd(), HWND_TOP, at.x + 20, at.y + 20, 60, 40, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    // Left half opaque red, right half transparent.
    ASSERT_TRUE(MakePicture(layered.picture, 60, 40, 32, RGB(255, 0, 0)));
    PaintBlock(layered.picture, 30, 0, 30, 40, RGB(0, 0, 0), 0);
    ASSERT_TRUE(layered.picture.PremultiplyAlpha());

    ASSERT_TRUE(layered.UpdateLayered(300));
    PumpMessages(100);
    const ScreenShot opaque(at.x, at.y, 200, 120);
    EXPECT_EQ(RGB(255, 0, 0), opaque.At(at.x + 30, at.y + 40));
    EXPECT_EQ(kOwnerColour, opaque.At(at.x + 70, at.y + 40));   // the transparent half shows the window below
    EXPECT_EQ(kOwnerColour, opaque.At(at.x + 10, at.y + 10));

    ASSERT_TRUE(layered.UpdateLayered(-5));
    PumpMessages(100);
    const ScreenShot hidden(at.x, at.y, 200, 120);
    EXPECT_EQ(kOwnerColour, hidden.At(at.x + 30, at.y + 40));
    layered.Destroy();
}

TEST_F(BusyOverlayTest, ShowsTextAndProgressSetFromAnotherThread)
{
    BusySkin skin;
    OwnerWindow owner(300, 200);
    const POINT at = owner.Origin();

    NBusyOverlay overlay;
    overlay.Stop();   // not running: nothing happens
    EXPECT_FALSE(overlay.IsRunning());

    ASSERT_EQ(1, overlay.Show(owner.window));
    EXPECT_TRUE(overlay.IsRunning());
    std::thread worker([&] {
        overlay.SetText(L"Working hard");
        overlay.SetProgress(0, 4, 1);
    });
    worker.join();
    EXPECT_DOUBLE_EQ(0.25, overlay.GetFraction());
    ASSERT_TRUE(WaitForPictures(overlay, 3));
    EXPECT_EQ(2, overlay.GetFrameCount());

    // The popup covers the client area.
    RECT place = {};
    GetWindowRect(overlay.GetOverlayWindow(), &place);
    EXPECT_EQ(at.x, place.left);
    EXPECT_EQ(at.y, place.top);
    EXPECT_EQ(300, place.right - place.left);
    EXPECT_EQ(200, place.bottom - place.top);

    // Animation 20 x 20 in the middle (rows 90-109), the bar of 100 x 5 centred below it (x 100 to
    // 199, rows 152-156) a quarter full, "1/4" just above the bar, the text above the animation.
    const ScreenShot shot(at.x, at.y, 300, 200);
    const COLORREF frame = shot.At(at.x + 150, at.y + 100);
    EXPECT_TRUE(frame == kFrame0 || frame == kFrame1) << std::hex << frame;
    EXPECT_EQ(kFullBar, shot.At(at.x + 105, at.y + 154));
    EXPECT_EQ(kFullBar, shot.At(at.x + 123, at.y + 154));
    EXPECT_EQ(kEmptyBar, shot.At(at.x + 127, at.y + 154));
    EXPECT_EQ(kEmptyBar, shot.At(at.x + 195, at.y + 154));
    EXPECT_EQ(kOwnerColour, shot.At(at.x + 95, at.y + 154));
    EXPECT_GT(shot.Count(kText, at.x, at.y + 128, at.x + 300, at.y + 152), 10);   // 1/4
    EXPECT_GT(shot.Count(kText, at.x, at.y, at.x + 300, at.y + 90), 30);          // the text
    EXPECT_EQ(0, shot.Count(kText, at.x, at.y + 157, at.x + 300, at.y + 200));

    // A text of one character is not shown; null empties the text.
    overlay.SetText(L"X");
    ASSERT_TRUE(WaitForPictures(overlay, 2));
    const ScreenShot single(at.x, at.y, 300, 200);
    EXPECT_EQ(0, single.Count(kText, at.x, at.y, at.x + 300, at.y + 90));
    overlay.SetText(nullptr);
    EXPECT_STREQ(L"", overlay.GetText().c_str());

    // The animation goes on while the window's thread is busy and takes no messages.
    const int before = overlay.GetShownCount();
    Sleep(400);
    EXPECT_GE(overlay.GetShownCount(), before + 3);

    overlay.Stop();
    EXPECT_FALSE(overlay.IsRunning());
    EXPECT_EQ(nullptr, overlay.GetOverlayWindow());
    EXPECT_STREQ(L"", overlay.GetText().c_str());
    PumpMessages(50);
    const ScreenShot after(at.x, at.y, 300, 200);
    EXPECT_EQ(300 * 200, after.Count(kOwnerColour, at.x, at.y, at.x + 300, at.y + 200, 0));
}

TEST_F(BusyOverlayTest, LeavesNothingBehindAndRefusesHiddenOrSmallOwners)
{
    BusySkin skin;
    OwnerWindow owner(200, 150);
    NBusyOverlay overlay;
    // One round first, so that what is made once per process is there.
    ASSERT_EQ(1, overlay.Show(owner.window));
    ASSERT_TRUE(WaitForPictures(overlay, 2));
    overlay.Stop();

    const DWORD objects = GdiObjects();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(1, overlay.Show(owner.window));
        overlay.SetProgress(0.5, 10, 2);
        overlay.SetText(L"Round");
        ASSERT_TRUE(WaitForPictures(overlay, 2));
        overlay.Stop();
    }
    // Showing again while shown replaces the running overlay.
    ASSERT_EQ(1, overlay.Show(owner.window));
    ASSERT_EQ(1, overlay.Show(owner.window));
    ASSERT_TRUE(WaitForPictures(overlay, 1));
    overlay.Stop();
    EXPECT_EQ(objects, GdiObjects());

    OwnerWindow hidden(200, 150, false);
    EXPECT_EQ(0, overlay.Show(hidden.window));
    EXPECT_EQ(0, overlay.Show(nullptr));
    EXPECT_FALSE(overlay.IsRunning());

    // A client area under 20 pixels both ways gets none, and the thread's DPI awareness is back.
    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using SameContexts = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto getContext = reinterpret_cast<GetContext>(GetProcAddress(user32, "GetThreadDpiAwarenessContext"));
    const auto same = reinterpret_cast<SameContexts>(GetProcAddress(user32, "AreDpiAwarenessContextsEqual"));
    const DPI_AWARENESS_CONTEXT context = getContext ? getContext() : nullptr;
    OwnerWindow tiny(15, 12);
    EXPECT_EQ(0, overlay.Show(tiny.window));
    EXPECT_FALSE(overlay.IsRunning());
    if (getContext && same)
        EXPECT_TRUE(same(context, getContext()));

    // The thread ends by itself when the covered window dies.
    {
        OwnerWindow shortLived(200, 150);
        ASSERT_EQ(1, overlay.Show(shortLived.window));
        ASSERT_TRUE(WaitForPictures(overlay, 1));
    }
    PumpMessages(300);
    overlay.Stop();
    EXPECT_FALSE(overlay.IsRunning());
}

TEST_F(BusyOverlayTest, AnimationsDrawTheirShapes)
{
    OwnerWindow owner(240, 160);
    const POINT at = owner.Origin();
    for (int style = 0; style < 3; ++style) {
        SCOPED_TRACE(style);
        NBusyAnimation animation;
        ASSERT_EQ(1, animation.Show(owner.window, style));
        ASSERT_TRUE(WaitForPictures(animation, 2));
        const ScreenShot shot(at.x, at.y, 240, 160);
        // Red drawn somewhere on the white copy.
        EXPECT_GT(shot.Count(RGB(255, 0, 0), at.x, at.y, at.x + 240, at.y + 160, 80), 10);
        if (style == 0) {
            // The first dot: 20 x 20 with its top-left at (centre x - 60, centre y).
            EXPECT_EQ(RGB(255, 0, 0), shot.At(at.x + 120 - 50, at.y + 80 + 10));
        }
        animation.Stop();
        EXPECT_FALSE(animation.IsRunning());
    }
    NBusyAnimation animation;
    OwnerWindow hidden(100, 100, false);
    EXPECT_EQ(0, animation.Show(hidden.window, 0));
    animation.Stop();
}
