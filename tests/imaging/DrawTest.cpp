// Drawing helpers on a device context and the picture's icon.
#include "imaging/ImageDraw.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "base/Dpi.h"
#include "imaging/NImageBuffer.h"

namespace {

constexpr COLORREF kSentinel = RGB(1, 2, 3);

// A 24-bpp canvas filled with the sentinel colour; its DC is the drawing surface.
struct Canvas {
    Canvas(int w, int h) { EXPECT_TRUE(image.Create(w, h, 24, kSentinel)); }
    COLORREF At(int x, int y)
    {
        GdiFlush();
        return GetPixel(image.dc, x, y);
    }
    HDC dc() const { return image.dc; }
    NImageBuffer image;
};

COLORREF Step(COLORREF a, COLORREF b, int k, int n)
{
    return RGB(GetRValue(a) + k * (GetRValue(b) - GetRValue(a)) / n, GetGValue(a) + k * (GetGValue(b) - GetGValue(a)) / n,
               GetBValue(a) + k * (GetBValue(b) - GetBValue(a)) / n);
}

int Distance(COLORREF a, COLORREF b)
{
    return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                     std::abs(GetBValue(a) - GetBValue(b))});
}

DWORD GdiObjects()
{
    return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
}

}  // namespace

TEST(DrawGradient, Columns)
{
    Canvas canvas(260, 3);
    ASSERT_TRUE(DrawGradient(canvas.dc(), 1, 1, 256, 1, RGB(0, 0, 0), RGB(255, 255, 255), 0));
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(RGB(k * 255 / 256, k * 255 / 256, k * 255 / 256), canvas.At(1 + k, 1)) << k;
    EXPECT_EQ(RGB(254, 254, 254), canvas.At(256, 1));
    EXPECT_EQ(kSentinel, canvas.At(257, 1));
    EXPECT_EQ(kSentinel, canvas.At(1, 0));
    EXPECT_EQ(kSentinel, canvas.At(1, 2));
    EXPECT_EQ(kSentinel, canvas.At(0, 1));

    Canvas three(3, 1);
    ASSERT_TRUE(DrawGradient(three.dc(), 0, 0, 3, 1, RGB(0, 0, 0), RGB(255, 255, 255), 0));
    EXPECT_EQ(RGB(0, 0, 0), three.At(0, 0));
    EXPECT_EQ(RGB(85, 85, 85), three.At(1, 0));
    EXPECT_EQ(RGB(170, 170, 170), three.At(2, 0));
}

TEST(DrawGradient, RowsTruncateTowardZero)
{
    Canvas canvas(3, 6);
    const COLORREF from = RGB(200, 10, 40), to = RGB(0, 110, 41);
    ASSERT_TRUE(DrawGradient(canvas.dc(), 1, 1, 1, 4, from, to, 1));
    // Falling channels truncate toward zero too: red 200 - 50k, green 10 + 25k, blue 40 + k/4.
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(RGB(200 - 50 * k, 10 + 25 * k, 40), canvas.At(1, 1 + k)) << k;
    EXPECT_EQ(kSentinel, canvas.At(1, 5));
    EXPECT_EQ(kSentinel, canvas.At(0, 2));
}

TEST(DrawGradient, RefusalsAndUnknownDirections)
{
    Canvas canvas(4, 4);
    EXPECT_FALSE(DrawGradient(canvas.dc(), 0, 0, 0, 4, 0, 0xFFFFFF, 0));
    EXPECT_FALSE(DrawGradient(canvas.dc(), 0, 0, 4, -1, 0, 0xFFFFFF, 1));
    EXPECT_TRUE(DrawGradient(canvas.dc(), 0, 0, 4, 4, 0, 0xFFFFFF, 7));
    EXPECT_TRUE(DrawGradient(canvas.dc(), 0, 0, 1, 1, 0, 0xFFFFFF, 3)) << "radial below 2 pixels draws nothing";
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(kSentinel, canvas.At(x, y));
}

TEST(DrawGradient, DiagonalLines)
{
    // Each pixel (column c, row r) of the rectangle has the colour of step c + r of w + h.
    const COLORREF from = RGB(0, 0, 0), to = RGB(240, 120, 80);
    struct Size {
        int w, h;
    };
    for (Size size : {Size{2, 2}, Size{5, 3}, Size{3, 6}, Size{1, 4}}) {
        SCOPED_TRACE(testing::Message() << size.w << " x " << size.h);
        Canvas canvas(size.w + 4, size.h + 4);
        ASSERT_TRUE(DrawGradient(canvas.dc(), 2, 2, size.w, size.h, from, to, 2));
        for (int y = 0; y < size.h + 4; ++y)
            for (int x = 0; x < size.w + 4; ++x) {
                const bool inside = x >= 2 && y >= 2 && x < 2 + size.w && y < 2 + size.h;
                const COLORREF expected = inside ? Step(from, to, (x - 2) + (y - 2), size.w + size.h) : kSentinel;
                ASSERT_EQ(expected, canvas.At(x, y)) << x << "," << y;
            }
    }
}

TEST(DrawGradient, Radial)
{
    const COLORREF centre = RGB(0, 0, 0), edge = RGB(200, 160, 240);
    Canvas square(40, 40);
    ASSERT_TRUE(DrawGradient(square.dc(), 0, 0, 40, 40, centre, edge, 3));
    EXPECT_EQ(edge, square.At(0, 0));
    EXPECT_EQ(edge, square.At(39, 39));
    EXPECT_EQ(edge, square.At(39, 0));
    EXPECT_LE(Distance(centre, square.At(20, 20)), 12);
    // Half way to the edge: half of the edge colour.
    EXPECT_LE(Distance(RGB(100, 80, 120), square.At(30, 20)), 4);

    // 100 x 40 is drawn from a 100 x 100 picture squeezed into the rectangle.
    Canvas wide(104, 44);
    ASSERT_TRUE(DrawGradient(wide.dc(), 2, 2, 100, 40, centre, edge, 3));
    EXPECT_EQ(edge, wide.At(2, 2));
    EXPECT_EQ(edge, wide.At(101, 41));
    EXPECT_LE(Distance(centre, wide.At(52, 22)), 16);
    EXPECT_LE(Distance(RGB(100, 80, 120), wide.At(77, 22)), 8);
    EXPECT_EQ(kSentinel, wide.At(1, 1));
    EXPECT_EQ(kSentinel, wide.At(102, 42));
}

TEST(DrawChecker, CellsStayInsideTheRectangle)
{
    const COLORREF a = RGB(255, 0, 0), b = RGB(0, 0, 255);
    Canvas canvas(16, 16);
    ASSERT_TRUE(DrawChecker(canvas.dc(), 2, 2, 10, 10, a, b, 4, 4));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && y >= 2 && x < 12 && y < 12;
            const COLORREF expected = !inside ? kSentinel : ((((x - 2) / 4 + (y - 2) / 4) & 1) ? a : b);
            ASSERT_EQ(expected, canvas.At(x, y)) << x << "," << y;
        }
    EXPECT_FALSE(DrawChecker(canvas.dc(), 0, 0, 10, 10, a, b, 0, 4));
    EXPECT_FALSE(DrawChecker(canvas.dc(), 0, 0, 0, 10, a, b, 4, 4));
}

TEST(DrawFunctions, OpaqueFills)
{
    Canvas canvas(6, 6);
    FillRectOpaqueXYWH(canvas.dc(), 1, 2, 3, 2, RGB(9, 8, 7));
    EXPECT_EQ(RGB(9, 8, 7), canvas.At(1, 2));
    EXPECT_EQ(RGB(9, 8, 7), canvas.At(3, 3));
    EXPECT_EQ(kSentinel, canvas.At(4, 3));
    EXPECT_EQ(kSentinel, canvas.At(1, 4));
    EXPECT_EQ(RGB(9, 8, 7), GetBkColor(canvas.dc())) << "the background colour stays set";
    const RECT rect = {0, 0, 1, 1};
    FillRectOpaque(nullptr, &rect, 0);  // nothing, no crash
}

TEST(DrawFunctions, LinesAndShapes)
{
    const COLORREF c = RGB(10, 200, 30);
    {
        Canvas canvas(12, 12);
        DrawLine(canvas.dc(), 1, 5, 9, 5, 1, c);
        EXPECT_EQ(c, canvas.At(1, 5));
        EXPECT_EQ(c, canvas.At(8, 5));
        EXPECT_EQ(kSentinel, canvas.At(9, 5)) << "LineTo leaves out the end point";
        EXPECT_EQ(kSentinel, canvas.At(5, 4));
    }
    {
        Canvas canvas(12, 12);
        const HGDIOBJ before = GetCurrentObject(canvas.dc(), OBJ_BRUSH);
        DrawRectOutline(canvas.dc(), 2, 2, 10, 10, 1, c);
        EXPECT_EQ(c, canvas.At(2, 2));
        EXPECT_EQ(c, canvas.At(9, 9));
        EXPECT_EQ(kSentinel, canvas.At(5, 5)) << "no fill";
        EXPECT_EQ(GetStockObject(NULL_BRUSH), GetCurrentObject(canvas.dc(), OBJ_BRUSH));
        EXPECT_NE(before, GetCurrentObject(canvas.dc(), OBJ_BRUSH));
    }
    {
        Canvas canvas(12, 12);
        FillRectSolid(canvas.dc(), 2, 2, 10, 10, c);
        for (int y = 2; y < 10; ++y)
            for (int x = 2; x < 10; ++x)
                ASSERT_EQ(c, canvas.At(x, y));
        EXPECT_EQ(kSentinel, canvas.At(10, 10));
        FillEllipseSolid(canvas.dc(), 4, 4, 9, 9, RGB(1, 1, 1));
        EXPECT_EQ(RGB(1, 1, 1), canvas.At(6, 6));
        EXPECT_EQ(c, canvas.At(2, 2)) << "outside the ellipse";
        FillRoundRectSolid(canvas.dc(), 3, 3, 9, 9, RGB(5, 5, 5), 2);
        EXPECT_EQ(RGB(5, 5, 5), canvas.At(6, 6));
    }
    {
        Canvas canvas(16, 16);
        const HBRUSH mine = CreateSolidBrush(RGB(0, 0, 0));
        SelectObject(canvas.dc(), mine);
        DrawStyledRoundRect(canvas.dc(), 2, 2, 14, 14, 1, c, kPenSolid, 4);
        EXPECT_EQ(mine, GetCurrentObject(canvas.dc(), OBJ_BRUSH)) << "styled shapes put the brush back";
        EXPECT_EQ(c, canvas.At(8, 2));
        EXPECT_EQ(kSentinel, canvas.At(8, 8));
        DrawStyledEllipse(canvas.dc(), 0, 0, 16, 16, 1, RGB(7, 7, 7), kPenDash);
        EXPECT_EQ(mine, GetCurrentObject(canvas.dc(), OBJ_BRUSH));
        EXPECT_EQ(kSentinel, canvas.At(8, 8));
        SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
        DeleteObject(mine);
        DrawStyledLine(canvas.dc(), 1, 12, 14, 12, 1, RGB(9, 9, 9), kPenSolid);
        EXPECT_EQ(RGB(9, 9, 9), canvas.At(7, 12));
        const POINT points[3] = {{1, 14}, {7, 14}, {7, 9}};
        DrawStyledPolyline(canvas.dc(), points, 3, 1, RGB(4, 4, 4), 0, true);
        EXPECT_EQ(RGB(4, 4, 4), canvas.At(4, 14));
        EXPECT_EQ(RGB(4, 4, 4), canvas.At(7, 11));
    }
}

TEST(DrawFunctions, FramesInSystemColours)
{
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW);
    Canvas canvas(12, 12);
    DrawShadowFrame(canvas.dc(), 2, 2, 8, 8);
    for (int i = 2; i <= 8; ++i) {
        EXPECT_EQ(shadow, canvas.At(i, 8)) << "bottom " << i;
        EXPECT_EQ(shadow, canvas.At(8, i)) << "right " << i;
    }
    EXPECT_EQ(shadow, canvas.At(2, 2));
    EXPECT_EQ(shadow, canvas.At(7, 2));
    EXPECT_EQ(kSentinel, canvas.At(5, 5));
    EXPECT_EQ(kSentinel, canvas.At(9, 8));
    EXPECT_EQ(kSentinel, canvas.At(8, 9));

    Canvas second(12, 12);
    DrawDarkShadowFrame(second.dc(), 2, 2, 8, 8);
    EXPECT_EQ(dark, second.At(5, 2));
    EXPECT_EQ(dark, second.At(2, 5));
    EXPECT_EQ(shadow, second.At(5, 8));
    EXPECT_EQ(shadow, second.At(8, 5));

    Canvas third(12, 12);
    DrawLightFrame(third.dc(), 2, 2, 8, 8);
    EXPECT_EQ(GetSysColor(COLOR_3DLIGHT), third.At(2, 2));
    EXPECT_EQ(GetSysColor(COLOR_3DLIGHT), third.At(7, 7));
    EXPECT_EQ(kSentinel, third.At(5, 5));
}

TEST(DrawFunctions, NoGdiObjectsLeak)
{
    Canvas canvas(32, 32);
    const POINT points[2] = {{0, 0}, {10, 10}};
    const DWORD before = GdiObjects();
    for (int i = 0; i < 50; ++i) {
        DrawGradient(canvas.dc(), 0, 0, 8, 8, 0, 0xFFFFFF, 2);
        DrawGradient(canvas.dc(), 0, 0, 8, 8, 0, 0xFFFFFF, 3);
        DrawShadowFrame(canvas.dc(), 0, 0, 5, 5);
        DrawLine(canvas.dc(), 0, 0, 5, 5, 2, 0);
        DrawStyledLine(canvas.dc(), 0, 0, 5, 5, 2, 0, kPenDot);
        FillRectSolid(canvas.dc(), 0, 0, 5, 5, 0);
        DrawStyledRoundRect(canvas.dc(), 0, 0, 9, 9, 1, 0, kPenDashDot, 3);
        FillEllipseSolid(canvas.dc(), 0, 0, 5, 5, 0);
        DrawStyledPolyline(canvas.dc(), points, 2, 3, 0, kPenDashDotDot, false);
        DrawChecker(canvas.dc(), 0, 0, 9, 9, 0, 0xFFFFFF, 2, 2);
    }
    EXPECT_LE(GdiObjects(), before + 2);
}

TEST(NImageBufferIcon, OpaqueIconKeepsEveryColour)
{
    NImageBuffer empty;
    EXPECT_EQ(nullptr, empty.CreateIcon());

    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(4, 4, 24, RGB(255, 255, 255)));
    NImageRect dark = {0, 0, 2, 4};
    ASSERT_TRUE(picture.FillRect(&dark, RGB(0, 0, 0)));
    HICON icon = picture.CreateIcon();
    ASSERT_NE(nullptr, icon);

    // White must stay white and black stay black over a red background.
    Canvas canvas(4, 4);
    ASSERT_TRUE(canvas.image.Fill(RGB(255, 0, 0)));
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 0, 0, icon, 4, 4, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(0, 0));
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(3, 3));
    DestroyIcon(icon);

    // The picture still draws from its own device context.
    EXPECT_EQ(picture.bitmap, GetCurrentObject(picture.dc, OBJ_BITMAP));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(picture.dc, 3, 0));
}

TEST(NImageBufferIcon, AlphaOfThirtyTwoBitPictures)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(4, 4, 32, RGB(0, 0, 255)));
    GdiFlush();
    for (int line = 0; line < 4; ++line)
        for (int x = 0; x < 4; ++x)
            picture.bits[line * picture.stride + x * 4 + 3] = x < 2 ? 255 : 0;
    HICON icon = picture.CreateIcon();
    ASSERT_NE(nullptr, icon);
    Canvas canvas(4, 4);
    ASSERT_TRUE(canvas.image.Fill(RGB(0, 255, 0)));
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 0, 0, icon, 4, 4, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(0, 1));
    EXPECT_EQ(RGB(0, 255, 0), canvas.At(3, 1)) << "alpha 0 shows the background";
    DestroyIcon(icon);
}

TEST(NImageBufferDpi, ScaleForDpi)
{
    struct DpiGuard {
        int old = GetDpi();
        ~DpiGuard() { SetDpi(old); }
    } guard;

    NImageBuffer empty;
    SetDpi(144);
    EXPECT_FALSE(empty.ScaleForDpi(true));

    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(100, 50, 24, RGB(10, 20, 30)));
    SetDpi(96);
    EXPECT_FALSE(picture.ScaleForDpi(true));
    EXPECT_EQ(100, picture.width);

    SetDpi(144);
    ASSERT_TRUE(picture.ScaleForDpi(true));
    EXPECT_EQ(150, picture.width);
    EXPECT_EQ(75, picture.height);
    EXPECT_EQ(RGB(10, 20, 30), GetPixel(picture.dc, 149, 74)) << "a flat picture stays flat";

    // Nearest pixel: a 2 x 2 of four colours scaled by 1.5 shows only those colours.
    NImageBuffer quad;
    ASSERT_TRUE(quad.Create(2, 2, 24, RGB(255, 0, 0)));
    NImageRect right = {1, 0, 1, 2};
    ASSERT_TRUE(quad.FillRect(&right, RGB(0, 0, 255)));
    ASSERT_TRUE(quad.ScaleForDpi(false));
    ASSERT_EQ(3, quad.width);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const COLORREF c = GetPixel(quad.dc, x, y);
            EXPECT_TRUE(c == RGB(255, 0, 0) || c == RGB(0, 0, 255)) << x << "," << y << " " << std::hex << c;
        }

    SetDpi(120);
    NImageBuffer odd;
    ASSERT_TRUE(odd.Create(33, 33, 24, 0));
    ASSERT_TRUE(odd.ScaleForDpi(false));
    EXPECT_EQ(41, odd.width);  // 41.25 truncated
    EXPECT_EQ(41, odd.height);
}
