// The tool tip: measuring and sizing to its text.
#include <gtest/gtest.h>
#include <windows.h>

#include "UiTestSupport.h"
#include "ui/NToolTip.h"
#include "ui/NWinApp.h"

TEST(ToolTip, SizesToItsTextWithTheTerminatorAndIgnoresCaseOnlyChanges)
{
    NWinApp app{GetModuleHandleW(nullptr), 0, NString(L"ToolTipTest")};
    TestSkin skin;
    skin.colours[L"ToolTipBackColor"] = RGB(255, 255, 200);
    skin.colours[L"ToolTipTextColor"] = RGB(200, 0, 0);
    NToolTip tip;
    ASSERT_NE(tip.Create(nullptr, L"la", 0, 0), nullptr);
    EXPECT_TRUE(GetWindowLongPtrW(tip.GetHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindowLongPtrW(tip.GetHwnd(), GWL_STYLE) & WS_POPUP);
    EXPECT_FALSE(tip.SetText(nullptr));
    ASSERT_TRUE(tip.SetText(L"Some text"));

    // The measured width is that of the text and its terminating NUL in the tip's font.
    HDC dc = GetDC(tip.GetHwnd());
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfStatusFont);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE withNul{};
    GetTextExtentPoint32W(dc, L"Some text", 10, &withNul);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(tip.GetHwnd(), dc);
    EXPECT_EQ(tip.GetTextWidth(), withNul.cx);
    RECT rect{};
    GetWindowRect(tip.GetHwnd(), &rect);
    EXPECT_EQ(rect.right - rect.left, withNul.cx);
    EXPECT_EQ(rect.bottom - rect.top, withNul.cy);

    // The same text in another case changes nothing; the window keeps a size set meanwhile.
    SetWindowPos(tip.GetHwnd(), nullptr, 0, 0, 7, 7, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(tip.SetText(L"SOME TEXT"));
    GetWindowRect(tip.GetHwnd(), &rect);
    EXPECT_EQ(rect.right - rect.left, 7);
    wchar_t text[32] = {};
    GetWindowTextW(tip.GetHwnd(), text, 32);
    EXPECT_STREQ(text, L"Some text");
    EXPECT_TRUE(tip.SetText(L"Other"));
    GetWindowRect(tip.GetHwnd(), &rect);
    EXPECT_NE(rect.right - rect.left, 7);

    // Painted in the skin's colours: the background, a frame and the text in the text colour.
    SetWindowPos(tip.GetHwnd(), HWND_TOPMOST, 20, 20, 100, 30, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    PumpMessages(50);
    Capture capture;
    ASSERT_TRUE(CaptureClient(tip.GetHwnd(), capture));
    EXPECT_EQ(capture.At(0, 0), RGB(200, 0, 0));
    EXPECT_EQ(capture.At(99, 29), RGB(200, 0, 0));
    EXPECT_EQ(capture.At(3, 3), RGB(255, 255, 200));
    int inked = 0;
    for (int y = 2; y < 28; ++y)
        for (int x = 2; x < 98; ++x)
            inked += ColourDistance(capture.At(x, y), RGB(200, 0, 0)) < 60 ? 1 : 0;
    EXPECT_GT(inked, 5);
    tip.Destroy();
}
