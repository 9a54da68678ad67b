#include "base/Dpi.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "FakeSystem.h"

namespace {

// Sets the DPI value for one test and puts the old one back.
class DpiValue {
public:
    explicit DpiValue(int dpi) : previous_(SetDpi(dpi)) {}
    ~DpiValue() { SetDpi(previous_); }

private:
    int previous_;
};

TEST(Dpi, StartsAt96AndSetAnswersThePreviousValue)
{
    EXPECT_EQ(GetDpi(), 96);
    EXPECT_EQ(SetDpi(120), 96);
    EXPECT_EQ(GetDpi(), 120);
    EXPECT_EQ(SetDpi(96), 120);
}

TEST(ScalePixelsForDpi, ScalesAndTruncatesTowardZero)
{
    struct Case {
        int dpi, pixels, expected;
    } cases[] = {
        {96, 15, 15},   {96, -7, -7},   {96, 0, 0},     {96, 123456, 123456},
        {120, 10, 12},  {120, 7, 8},    {120, 15, 18},  {120, 16, 20},
        {144, -3, -4},  {144, 1, 1},    {144, 16, 24},  {192, 15, 30},
        {72, 15, 11},   {120, -7, -8},
    };
    for (const auto& c : cases) {
        DpiValue dpi(c.dpi);
        EXPECT_EQ(ScalePixelsForDpi(c.pixels), c.expected) << c.pixels << " at " << c.dpi;
    }
}

TEST(PointsToFontHeight, GivesTheNegativeCharacterHeight)
{
    {
        DpiValue dpi(96);
        EXPECT_EQ(PointsToFontHeight(9), -12);
        EXPECT_EQ(PointsToFontHeight(0), 0);
    }
    DpiValue dpi(120);
    EXPECT_EQ(PointsToFontHeight(9), -15);
    EXPECT_EQ(PointsToFontHeight(10), -17);  // 16.67 rounds
}

TEST(GetDesktopDpi, ReadsTheDesktopDeviceContext)
{
    HDC dc = GetDC(nullptr);
    int expected = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(GetDesktopDpi(), expected);
}

// Stand-ins for shcore's GetDpiForMonitor.
HMONITOR g_askedMonitor;
int g_dpiQueries;
HRESULT WINAPI Answer144(HMONITOR monitor, int kind, UINT* x, UINT* y)
{
    ++g_dpiQueries;
    g_askedMonitor = monitor;
    EXPECT_EQ(kind, 0) << "effective DPI";
    *x = 144;
    *y = 150;
    return S_OK;
}
HRESULT WINAPI FailUntouched(HMONITOR, int, UINT*, UINT*)
{
    ++g_dpiQueries;
    return E_INVALIDARG;
}

TEST(GetMonitorDpi, AsksTheMonitorFromWindows81On)
{
    FakeSystem system(6, 3);
    system.Replace("GetDpiForMonitor", &Answer144);
    g_dpiQueries = 0;
    HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    EXPECT_EQ(GetMonitorDpi(primary), 144) << "the horizontal value";
    EXPECT_EQ(g_askedMonitor, primary);
    EXPECT_EQ(FakeSystem::Lookups().back(), "shcore.dll!GetDpiForMonitor");

    EXPECT_EQ(GetDpiAtPoint(-5000, -5000), 144);
    EXPECT_EQ(g_askedMonitor, MonitorFromPoint(POINT{-5000, -5000}, MONITOR_DEFAULTTONEAREST));

    system.Replace("GetDpiForMonitor", &FailUntouched);
    EXPECT_EQ(GetMonitorDpi(primary), 96) << "a failing query leaves 96";
}

TEST(GetMonitorDpi, UsesTheDesktopBeforeWindows81)
{
    FakeSystem system(6, 2);
    system.Replace("GetDpiForMonitor", &Answer144);
    g_dpiQueries = 0;
    EXPECT_EQ(GetMonitorDpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)), GetDesktopDpi());
    EXPECT_EQ(GetDpiAtPoint(10, 10), GetDesktopDpi());
    EXPECT_EQ(g_dpiQueries, 0);
}

// Callers scale and divide by the answer, so a missing export must not give 0.
TEST(GetMonitorDpi, LogsAMissingExportAndFallsBackToTheDesktop)
{
    FakeSystem system(10, 0);
    system.Remove("GetDpiForMonitor");
    LogWatch log;
    EXPECT_EQ(GetMonitorDpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)), GetDesktopDpi());
    EXPECT_NE(log.NewText().find(": shcore.dll / GetDpiForMonitor not found\r\n"), std::string::npos)
        << log.NewText();
}

TEST(GetMonitorDpi, RealSystemAnswersAUsableValue)
{
    int dpi = GetDpiAtPoint(0, 0);
    EXPECT_GE(dpi, 72);
    EXPECT_LE(dpi, 960);
}

}  // namespace
