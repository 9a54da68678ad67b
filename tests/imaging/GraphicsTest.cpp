// Antialiased drawing through GDI+: the colour rule, the shapes' geometry, and painted pixels.
#include "imaging/NGraphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "imaging/HslColour.h"
#include "imaging/NImageBuffer.h"

namespace {

// A 24-bpp picture filled with one colour, with GDI+ drawing on its device context.
struct Canvas {
    Canvas(int w, int h, COLORREF background = RGB(0, 0, 0)) : width(w), height(h)
    {
        EXPECT_TRUE(image.Create(w, h, 24, background));
        graphics = std::make_unique<NGraphicsOnDC>(image.dc);
        EXPECT_TRUE(graphics->IsValid());
    }
    NGraphics& g() { return graphics->Get(); }
    COLORREF At(int x, int y)
    {
        GdiFlush();
        return GetPixel(image.dc, x, y);
    }
    // Pixels that differ from the colour, inside (or outside) the rectangle.
    int CountOther(COLORREF colour, const RECT& r, bool inside)
    {
        GdiFlush();
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool in = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                if (in == inside && GetPixel(image.dc, x, y) != colour)
                    ++n;
            }
        return n;
    }
    std::vector<COLORREF> Pixels()
    {
        GdiFlush();
        std::vector<COLORREF> all;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                all.push_back(GetPixel(image.dc, x, y));
        return all;
    }

    int width, height;
    NImageBuffer image;
    std::unique_ptr<NGraphicsOnDC> graphics;
};

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

LOGFONTW Font(const wchar_t* face, LONG weight = 400)
{
    LOGFONTW font = {};
    font.lfWeight = weight;
    wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return font;
}

class Graphics : public ::testing::Test {
protected:
    NGdiPlusSession session;
};

}  // namespace

TEST(GraphicsColour, ArgbAndGlowAlpha)
{
    EXPECT_EQ(0x80FF0000u, MakeArgb(RGB(255, 0, 0), 128));
    EXPECT_EQ(0xFF123456u, MakeArgb(RGB(0x12, 0x34, 0x56), 255));
    EXPECT_EQ(0x00000000u, MakeArgb(RGB(0, 0, 0), 0));
    EXPECT_EQ(5, GlowAlpha(250));
    EXPECT_EQ(0, GlowAlpha(245));
    EXPECT_EQ(0, GlowAlpha(200));
    EXPECT_EQ(10, GlowAlpha(255));
}

TEST(GraphicsColour, HslToRgb)
{
    struct Case {
        double hue, lightness, saturation;
        int r, g, b;
    };
    const Case cases[] = {
        {0, 0.5, 1, 255, 0, 0},      {120, 0.5, 1, 0, 255, 0},   {240, 0.5, 1, 0, 0, 255},
        {60, 0.5, 1, 255, 255, 0},   {0, 1, 0, 255, 255, 255},   {0, 0, 0, 0, 0, 0},
        {0, 0.5, 0, 127, 127, 127},  {-120, 0.5, 1, 0, 0, 255},  {480, 0.5, 1, 0, 255, 0},
        {0, 0.75, 1, 255, 127, 127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hue << "/" << c.lightness << "/" << c.saturation);
        HslColour colour;
        colour.hue = c.hue;
        colour.lightness = c.lightness;
        colour.saturation = c.saturation;
        colour.ToRgb();
        EXPECT_EQ(c.r, colour.red);
        EXPECT_EQ(c.g, colour.green);
        EXPECT_EQ(c.b, colour.blue);
    }
    // Round trips within one unit (the way back truncates).
    for (COLORREF rgb : {RGB(200, 10, 30), RGB(10, 20, 5), RGB(30, 10, 200), RGB(77, 77, 78)}) {
        HslColour colour;
        colour.red = GetRValue(rgb);
        colour.green = GetGValue(rgb);
        colour.blue = GetBValue(rgb);
        colour.SetFromRgb();
        colour.ToRgb();
        EXPECT_TRUE(Near(rgb, RGB(colour.red, colour.green, colour.blue), 1)) << std::hex << rgb;
    }
}

TEST(GraphicsGeometry, RoundRectArcs)
{
    struct Case {
        int x, y, w, h, d;
        float first, rest, x2, y2;
    };
    const Case cases[] = {
        // Diameter 20: the last three corners are drawn with 21 in a box one unit smaller.
        {10, 20, 100, 50, 20, 20, 21, 10 + 99 - 20 - 1, 20 + 49 - 20 - 1},
        {10, 20, 100, 50, 22, 22, 22, 10 + 100 - 22 - 1, 20 + 50 - 22 - 1},
        // Narrower than the diameter: width - 2.
        {0, 0, 15, 50, 30, 13, 13, 15 - 13 - 1, 50 - 13 - 1},
        // Lower than the diameter: height - 2.
        {0, 0, 100, 12, 30, 10, 10, 100 - 10 - 1, 12 - 10 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " d" << c.d);
        NArcBox arcs[4];
        RoundRectArcs(c.x, c.y, c.w, c.h, c.d, arcs);
        EXPECT_EQ(c.first, arcs[0].size);
        EXPECT_EQ(static_cast<float>(c.x), arcs[0].x);
        EXPECT_EQ(static_cast<float>(c.y), arcs[0].y);
        const float starts[4] = {180, 270, 0, 90};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(starts[i], arcs[i].startAngle);
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(c.rest, arcs[i].size);
        EXPECT_EQ(c.x2, arcs[1].x);
        EXPECT_EQ(static_cast<float>(c.y), arcs[1].y);
        EXPECT_EQ(c.x2, arcs[2].x);
        EXPECT_EQ(c.y2, arcs[2].y);
        EXPECT_EQ(static_cast<float>(c.x), arcs[3].x);
        EXPECT_EQ(c.y2, arcs[3].y);
    }
}

TEST(GraphicsGeometry, Arrows)
{
    EXPECT_FALSE(ComputeArrow(5, 5, 5, 5, 0, 3).drawn);

    // Type 2 is sized by its length: 240 long -> a head of 48 and a pen of 10.
    const NArrowShape sized = ComputeArrow(250, 10, 10, 10, 2, 3);
    ASSERT_TRUE(sized.drawn);
    EXPECT_DOUBLE_EQ(48.0, sized.headLength);
    EXPECT_EQ(10, sized.penWidth);
    EXPECT_EQ(2, sized.headKind);
    // Pointing right (from point 2 to point 1): the head opens to the left of point 1.
    EXPECT_EQ(250, sized.head[1].x);
    EXPECT_EQ(250 - 48, sized.head[0].x);
    EXPECT_EQ(250 - 48, sized.head[2].x);
    EXPECT_EQ(10 + 26, sized.head[0].y);   // 48 / 1.8, truncated
    EXPECT_EQ(10 - 26, sized.head[2].y);
    EXPECT_EQ(250 - 48, sized.shaftStart.x);
    EXPECT_EQ(10, sized.shaftEnd.x);
    EXPECT_FALSE(sized.secondHead);

    // Type 0: a filled triangle of half-width L / 2, L = 5 x width.
    const NArrowShape filled = ComputeArrow(10, 100, 10, 0, 0, 4);
    EXPECT_EQ(1, filled.headKind);
    EXPECT_DOUBLE_EQ(20.0, filled.headLength);
    EXPECT_EQ(4, filled.penWidth);
    EXPECT_EQ(80, filled.head[0].y);
    EXPECT_EQ(80, filled.head[1].y);
    EXPECT_EQ(10 - 10, filled.head[0].x);
    EXPECT_EQ(10 + 10, filled.head[1].x);
    EXPECT_EQ(100, filled.head[2].y);

    // Type 1: heads at both ends, the shaft shortened at both; type 4: the shaft alone.
    const NArrowShape both = ComputeArrow(100, 0, 0, 0, 1, 2);
    EXPECT_TRUE(both.secondHead);
    EXPECT_EQ(94, both.shaftStart.x);
    EXPECT_EQ(6, both.shaftEnd.x);
    EXPECT_EQ(0, both.head2[1].x);
    EXPECT_EQ(6, both.head2[0].x);
    const NArrowShape bare = ComputeArrow(100, 0, 0, 0, 4, 2);
    EXPECT_EQ(0, bare.headKind);
    EXPECT_EQ(100, bare.shaftStart.x);
    EXPECT_EQ(0, bare.shaftEnd.x);
}

TEST_F(Graphics, UnderlaidLineAndFilledShapes)
{
    Canvas canvas(60, 40);
    NGraphics& g = canvas.g();
    // Dash 5: a white line 5 wide under a red line 2 wide.
    g.DrawLine(5, 10, 55, 10, 2, RGB(255, 0, 0), 255, 5, 0, RGB(255, 255, 255));
    EXPECT_TRUE(Near(RGB(255, 0, 0), canvas.At(30, 10), 40));
    EXPECT_TRUE(Near(RGB(255, 255, 255), canvas.At(30, 8), 60));
    EXPECT_TRUE(Near(RGB(0, 0, 0), canvas.At(30, 4), 10));
    EXPECT_TRUE(Near(RGB(0, 0, 0), canvas.At(30, 15), 10));

    g.FillEllipse(10, 20, 30, 40, RGB(0, 0, 255), 255);
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(20, 30));
    EXPECT_TRUE(Near(RGB(0, 0, 0), canvas.At(10, 20), 10));   // the box's corner stays outside
    EXPECT_EQ(0, g.lastStatus);

    // Half-transparent red over black.
    g.FillRectangle(40, 20, 50, 30, RGB(255, 0, 0), 128);
    EXPECT_TRUE(Near(RGB(128, 0, 0), canvas.At(45, 25), 3));
}

TEST_F(Graphics, OutlinesAndRoundedRectangles)
{
    Canvas canvas(80, 60);
    NGraphics& g = canvas.g();
    g.DrawRectangle(10, 10, 30, 30, 2, RGB(0, 255, 0), 255, 0, 0, 0);
    EXPECT_TRUE(Near(RGB(0, 255, 0), canvas.At(20, 10), 60));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(20, 20));

    g.FillRoundRect(40, 10, 75, 50, RGB(255, 255, 0), 255, 8);
    EXPECT_EQ(RGB(255, 255, 0), canvas.At(57, 30));
    EXPECT_EQ(RGB(255, 255, 0), canvas.At(57, 11));   // the straight top edge
    EXPECT_TRUE(Near(RGB(0, 0, 0), canvas.At(40, 10), 20));   // the rounded corner
    // A radius below 1 draws a plain rectangle: its corner is painted.
    g.DrawRoundRect(10, 40, 30, 55, 2, RGB(255, 0, 255), 255, 0, 0, 0, 0);
    EXPECT_TRUE(Near(RGB(255, 0, 255), canvas.At(10, 40), 100));
    g.DrawRoundRect(10, 40, 30, 55, 1, RGB(255, 0, 255), 255, 0, 12, 0, 0);
    EXPECT_EQ(0, g.lastStatus);
}

TEST_F(Graphics, RotationAndStatus)
{
    Canvas canvas(40, 40);
    NGraphics& g = canvas.g();
    // A flat bar turned by 90 degrees about its centre stands upright.
    g.RotateAbout(10, 18, 30, 22, 90.0f);
    g.FillRectangle(10, 18, 30, 22, RGB(255, 255, 255), 255);
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(20, 12));
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(20, 27));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(12, 20));

    // Successful calls leave the last status as it was; no graphics draws nothing.
    g.lastStatus = 7;
    g.FillRectangle(0, 0, 2, 2, RGB(1, 1, 1), 255);
    EXPECT_EQ(7, g.lastStatus);
    NGraphics none;
    none.FillRectangle(0, 0, 2, 2, RGB(1, 1, 1), 255);
    none.DrawString(0, 0, 10, 10, L"x", 10, Font(L"Arial"), 0, 0, 0, 255);
    EXPECT_EQ(0, none.lastStatus);
}

TEST_F(Graphics, ArrowsAndPolylines)
{
    Canvas canvas(60, 60);
    NGraphics& g = canvas.g();
    const std::vector<COLORREF> before = canvas.Pixels();
    g.DrawArrow(30, 30, 30, 30, RGB(255, 255, 255), 255, 0, 0, 3, 0);
    EXPECT_EQ(before, canvas.Pixels());

    // A filled head at point 1 (top), the shaft below it.
    g.DrawArrow(30, 5, 30, 55, RGB(255, 255, 255), 255, 0, 0, 2, 0);
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(30, 10));   // inside the head
    EXPECT_TRUE(Near(RGB(255, 255, 255), canvas.At(30, 40), 60));
    EXPECT_TRUE(Near(RGB(0, 0, 0), canvas.At(10, 40), 10));

    // A count beyond the vector draws the points it has.
    Canvas other(60, 60);
    other.g().DrawPolylineVector({{5, 5}, {55, 5}}, 50, 3, RGB(0, 255, 0), 255, 0, 0, 0);
    EXPECT_TRUE(Near(RGB(0, 255, 0), other.At(30, 5), 60));
    other.g().DrawPolylineVector({}, 3, 3, RGB(0, 255, 0), 255, 0, 0, 0);
    other.g().DrawPolyline(nullptr, 3, 3, RGB(0, 255, 0), 255, 0, 0, 0);
}

TEST_F(Graphics, BezierGradientKeepsColourOneAtPointOne)
{
    for (bool downwards : {true, false}) {
        SCOPED_TRACE(downwards);
        Canvas canvas(40, 110);
        const int y1 = downwards ? 5 : 105;
        const int y4 = downwards ? 105 : 5;
        canvas.g().DrawBezier(20, y1, 20, 40, 20, 70, 20, y4, RGB(255, 0, 0), RGB(0, 0, 255), 0, 1, 6, 0, 255, 0);
        const COLORREF nearOne = canvas.At(20, downwards ? 12 : 98);
        const COLORREF nearFour = canvas.At(20, downwards ? 98 : 12);
        EXPECT_GT(GetRValue(nearOne), GetBValue(nearOne));
        EXPECT_GT(GetBValue(nearFour), GetRValue(nearFour));
    }
}

TEST_F(Graphics, FontFallback)
{
    // A face that GDI+ cannot make falls back to a family that it can make.
    const std::wstring fallback = NGraphics::ResolveFontFamilyName(L"No Such Face 123");
    ASSERT_FALSE(fallback.empty());
    EXPECT_EQ(fallback, NGraphics::ResolveFontFamilyName(fallback.c_str()));
    EXPECT_EQ(L"DejaVu Sans", NGraphics::ResolveFontFamilyName(L"DejaVu Sans"));

    // Text in that face is drawn, inside its layout rectangle only.
    for (const wchar_t* face : {L"No Such Face 123", L"DejaVu Sans"}) {
        SCOPED_TRACE(testing::Message() << face);
        Canvas canvas(120, 40, RGB(255, 255, 255));
        const RECT box = {10, 5, 110, 35};
        canvas.g().DrawString(box.left, box.top, box.right, box.bottom, L"Hello", 14, Font(face, 700), 1, 1,
                              RGB(0, 0, 0), 255);
        EXPECT_EQ(0, canvas.g().lastStatus);
        EXPECT_GT(canvas.CountOther(RGB(255, 255, 255), box, true), 30);
        EXPECT_EQ(0, canvas.CountOther(RGB(255, 255, 255), box, false));

        int w = 0, h = 0;
        canvas.g().MeasureString(L"Hello", 14, Font(face), &w, &h);
        EXPECT_GT(w, 20);
        EXPECT_GT(h, 10);
        int wider = 0;
        canvas.g().MeasureString(L"Hello Hello", 14, Font(face), &wider, &h);
        EXPECT_GT(wider, w);
    }
}

TEST_F(Graphics, OutlinedText)
{
    const LOGFONTW font = Font(L"DejaVu Sans", 700);
    // Effect 1: the outline colour around the fill colour.
    Canvas outlined(160, 50);
    outlined.g().DrawOutlinedString(0, 0, 160, 50, L"HH", 20, font, 1, 1, RGB(255, 0, 0), 255, 0, 0, 1,
                                    RGB(0, 255, 0), 0, 3, 0);
    const std::vector<COLORREF> pixels = outlined.Pixels();
    EXPECT_GT(std::count(pixels.begin(), pixels.end(), RGB(255, 0, 0)), 20);
    EXPECT_GT(std::count(pixels.begin(), pixels.end(), RGB(0, 255, 0)), 20);

    // Below alpha 245 the glow pens are fully transparent: effect 4 draws just the text.
    Canvas plain(160, 50), glow(160, 50);
    plain.g().DrawOutlinedString(0, 0, 160, 50, L"HH", 20, font, 1, 1, RGB(255, 255, 255), 200, 0, 0, 0,
                                 RGB(0, 255, 0), 0, 6, 0);
    glow.g().DrawOutlinedString(0, 0, 160, 50, L"HH", 20, font, 1, 1, RGB(255, 255, 255), 200, 0, 0, 4,
                                RGB(0, 255, 0), 0, 6, 0);
    EXPECT_EQ(plain.Pixels(), glow.Pixels());
    // At 255 the glow shows (alpha 10 per pen, several pens).
    Canvas bright(160, 50);
    bright.g().DrawOutlinedString(0, 0, 160, 50, L"HH", 20, font, 1, 1, RGB(255, 255, 255), 255, 0, 0, 4,
                                  RGB(0, 255, 0), 0, 6, 0);
    const std::vector<COLORREF> glowing = bright.Pixels();
    EXPECT_TRUE(std::any_of(glowing.begin(), glowing.end(),
                            [](COLORREF c) { return GetGValue(c) > GetRValue(c) && GetGValue(c) > 0; }));

    // Every effect draws something and reports no failure.
    for (int effect = 0; effect <= 7; ++effect) {
        SCOPED_TRACE(effect);
        Canvas canvas(160, 50);
        canvas.g().DrawOutlinedString(4, 4, 156, 46, L"Ab", 18, font, 1, 1, RGB(200, 40, 40), 255, 1,
                                      RGB(40, 40, 200), effect, RGB(0, 200, 0), RGB(0, 0, 200), 3, 2);
        EXPECT_EQ(0, canvas.g().lastStatus);
        EXPECT_GT(canvas.CountOther(RGB(0, 0, 0), RECT{0, 0, 160, 50}, true), 30);
    }
}
