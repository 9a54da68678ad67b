// Painting documents: every object type drawn in render mode where it lies and in its colours,
// drop shadows and their caches, the view mapping and clipping of the editor mode, the focus
// marks, hit-testing, pictures (fit, alpha, display cache, warp) and one object rendered into a
// layer of its own. GDI+ antialiases edges, so pixels are checked inside shapes or away from
// them, never on an edge.
#include "docobjects/DocViewMapping.h"
#include "docobjects/NObjectDocument.h"

#include "imaging/ImageTestPixels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b, a;
};

Rgb At(const NImageBuffer& picture, int x, int y)
{
    const uint32_t v = imagetest::RawAt(picture, x, y);
    return {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF),
            picture.bpp == 32 ? static_cast<int>(v >> 24) : 255};
}

::testing::AssertionResult Near(const NImageBuffer& picture, int x, int y, COLORREF expected, int tolerance = 8)
{
    const Rgb p = At(picture, x, y);
    const int r = GetRValue(expected), g = GetGValue(expected), b = GetBValue(expected);
    if (std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << x << "," << y << ") is " << p.r << " " << p.g << " " << p.b
                                         << ", expected " << r << " " << g << " " << b;
}

bool IsWhite(const NImageBuffer& picture, int x, int y)
{
    const Rgb p = At(picture, x, y);
    return p.r == 255 && p.g == 255 && p.b == 255;
}

// A given object for the add operations.
DocObject& Given(DocObject& o, RECT rect, uint8_t shadow = 0, uint8_t opacity = 255)
{
    o.Init();
    o.id = 1;
    o.rect = rect;
    o.shadow = shadow;
    o.shadowColour = 0;
    o.opacity = opacity;
    return o;
}

DocObject* Last(NObjectDocument& doc)
{
    DocObject* last = nullptr;
    for (DocObject* o = doc.First(); o; o = o->next)
        last = o;
    return last;
}

// A solid picture, 24 bpp, or 32 bpp with one alpha.
void Solid(NImageBuffer& picture, int w, int h, COLORREF colour, int alpha = -1)
{
    ASSERT_TRUE(picture.Create(w, h, alpha < 0 ? 24 : 32, colour));
    if (alpha >= 0)
        picture.SetChannel(4, static_cast<uint8_t>(alpha));
}

LOGFONTW Font(int weight = 700)
{
    LOGFONTW font = {};
    font.lfWeight = weight;
    wcscpy(font.lfFaceName, L"DejaVu Sans");
    return font;
}

class DocPaint : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(canvas.Create(200, 150, 24, 0xFFFFFF)); }

    bool Render(NObjectDocument& doc, float zoom = 1.0f)
    {
        const bool painted = doc.Paint(canvas.dc, true, canvas.width, canvas.height, nullptr, 0, 0, zoom, false, 3, 4,
                                       false, false);
        GdiFlush();
        return painted;
    }

    int DarkPixels(int left, int top, int right, int bottom)
    {
        int dark = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                dark += At(canvas, x, y).r < 128;
        return dark;
    }

    NGdiPlusSession gdiplus;
    NImageBuffer canvas;
    NObjectDocument doc;
    DocObject given;
};

}  // namespace

TEST_F(DocPaint, ShapesAreDrawnWhereTheyLieInTheirColours)
{
    RectanglePayload rect;
    rect.outlineColour = RGB(255, 0, 0);
    rect.fillColour = RGB(0, 0, 255);
    rect.filled = 1;
    rect.penWidth = 6;
    doc.AddRectangle(Given(given, RECT{20, 20, 120, 80}), &rect);
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(Near(canvas, 70, 50, RGB(0, 0, 255)));     // fill
    EXPECT_TRUE(Near(canvas, 20, 50, RGB(255, 0, 0)));     // outline
    EXPECT_TRUE(Near(canvas, 70, 20, RGB(255, 0, 0)));
    EXPECT_TRUE(IsWhite(canvas, 140, 50));
    EXPECT_TRUE(IsWhite(canvas, 70, 100));

    EllipsePayload ellipse;
    ellipse.outlineColour = RGB(0, 0, 0);
    ellipse.fillColour = RGB(0, 200, 0);
    ellipse.filled = 1;
    ellipse.penWidth = 2;
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    doc.AddEllipse(Given(given, RECT{20, 20, 120, 120}), &ellipse);
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(Near(canvas, 70, 70, RGB(0, 200, 0)));
    EXPECT_TRUE(Near(canvas, 70, 20, 0));
    EXPECT_TRUE(IsWhite(canvas, 24, 24));   // the box's corner lies outside the ellipse

    // A rectangle at half opacity lies over what was there.
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    rect.fillColour = RGB(0, 0, 0);
    doc.AddRectangle(Given(given, RECT{20, 20, 120, 80}, 0, 128), &rect);
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(Near(canvas, 70, 50, RGB(127, 127, 127), 3));
}

TEST_F(DocPaint, LinesArrowsAndCurvesFollowTheirPoints)
{
    struct Case {
        const char* what;
        std::function<void()> add;
        POINT on, off;
    };
    const COLORREF colour = RGB(200, 0, 100);
    const Case cases[] = {
        {"line",
         [&] {
             LinePayload p;
             p.colour = colour;
             p.penWidth = 6;
             p.start = {10, 60};
             p.end = {190, 60};
             doc.AddLine(Given(given, RECT{10, 60, 190, 60}), &p);
         },
         {100, 60}, {100, 80}},
        {"polyline",
         [&] {
             PolylinePayload p;
             p.colour = colour;
             p.penWidth = 6;
             p.points = {{10, 20}, {100, 20}, {100, 140}};
             doc.AddPolyline(Given(given, RECT{10, 20, 100, 140}), &p);
         },
         {100, 100}, {50, 100}},
        {"arrow",
         [&] {
             ArrowPayload p;
             p.colour = colour;
             p.penWidth = 4;
             p.start = {180, 75};
             p.end = {20, 75};
             doc.AddArrow(Given(given, RECT{20, 75, 180, 75}), &p);
         },
         {100, 75}, {100, 110}},
        {"curve",
         [&] {
             CurvePayload p;
             p.colour1 = p.colour2 = p.colour3 = colour;
             p.penWidth = 6;
             p.points[0] = {10, 40};
             p.points[1] = {60, 40};
             p.points[2] = {130, 40};
             p.points[3] = {190, 40};
             doc.AddCurve(Given(given, RECT{10, 40, 190, 40}), &p);
         },
         {100, 40}, {100, 70}},
        {"arrow curve",
         [&] {
             CurvePayload p;
             p.colour1 = p.colour2 = p.colour3 = colour;
             p.penWidth = 6;
             p.endHead = 1;
             p.points[0] = {10, 100};
             p.points[1] = {60, 100};
             p.points[2] = {130, 100};
             p.points[3] = {190, 100};
             doc.AddArrowCurve(Given(given, RECT{10, 100, 190, 100}), &p);
         },
         {100, 100}, {100, 130}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        doc.Clear();
        canvas.Fill(0xFFFFFF);
        c.add();
        ASSERT_TRUE(Render(doc));
        EXPECT_TRUE(Near(canvas, c.on.x, c.on.y, colour));
        EXPECT_TRUE(IsWhite(canvas, c.off.x, c.off.y));
    }

    // A polyline of one point draws nothing.
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    PolylinePayload single;
    single.colour = 0;
    single.penWidth = 20;
    single.points = {{100, 75}};
    doc.AddPolyline(Given(given, RECT{90, 65, 110, 85}), &single);
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(DarkPixels(0, 0, 200, 150), 0);
}

TEST_F(DocPaint, OutlinedLinesTakeTheContrastColour)
{
    // Dash style 5 draws a wider underlay in the second colour: white under dark colours, black
    // under light ones.
    for (const COLORREF colour : {RGB(0, 0, 0), RGB(255, 255, 255)}) {
        SCOPED_TRACE(colour);
        doc.Clear();
        canvas.Fill(RGB(128, 128, 128));
        LinePayload p;
        p.colour = colour;
        p.penWidth = 6;
        p.dashStyle = 5;
        p.start = {10, 75};
        p.end = {190, 75};
        doc.AddLine(Given(given, RECT{10, 75, 190, 75}), &p);
        ASSERT_TRUE(Render(doc));
        EXPECT_TRUE(Near(canvas, 100, 75, colour));
        // The underlay alone covers the 1.5 pixels beyond the line: row 78 or 79, by where
        // GDI+ puts pixel centres.
        const COLORREF contrast = colour == 0 ? RGB(255, 255, 255) : 0;
        EXPECT_TRUE(Near(canvas, 100, 78, contrast, 20) || Near(canvas, 100, 79, contrast, 20));
    }
}

TEST_F(DocPaint, TextsAndCalloutsDrawTheirText)
{
    TextPayload text;
    text.text = L"WWWW";
    text.fontSize = 40;
    text.font = Font();
    text.textColour = 0;
    doc.AddText(Given(given, RECT{0, 0, 200, 100}), &text);
    ASSERT_TRUE(Render(doc));
    EXPECT_GT(DarkPixels(0, 0, 200, 100), 500);
    EXPECT_EQ(DarkPixels(0, 100, 200, 150), 0);

    // The callout's fill is never more opaque than 220; its frame and text are drawn.
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    CalloutPayload callout;
    wcscpy(callout.text, L"MMM");
    callout.textColour = 0;
    callout.fontSize = 30;
    callout.font = Font();
    callout.frameColour = RGB(255, 0, 0);
    callout.fillColour = RGB(0, 0, 255);
    callout.filled = 1;
    callout.frameWidth = 4;
    callout.pointerStart = {150, 140};
    callout.pointerEnd = {120, 80};
    given.Init();
    given.id = 1;
    given.type = DOC_CALLOUT;
    given.rect = RECT{10, 10, 130, 80};
    given.opacity = 255;
    given.payload = new CalloutPayload(callout);
    ASSERT_TRUE(doc.AddObjectCopy(&given));
    given.Reset();
    ASSERT_TRUE(Render(doc));
    const Rgb fill = At(canvas, 20, 70);
    EXPECT_NEAR(fill.r, 35, 3);
    EXPECT_EQ(fill.b, 255);
    EXPECT_TRUE(Near(canvas, 10, 45, RGB(255, 0, 0)));
    EXPECT_TRUE(Near(canvas, 146, 132, RGB(255, 0, 0), 60));   // on the pointer
    EXPECT_GT(DarkPixels(20, 15, 120, 75), 100);
}

TEST_F(DocPaint, ReflectionFadesOverSevenTenthsOfItsHeight)
{
    EXPECT_EQ(static_cast<int>(NObjectDocument::ReflectionRowAlpha(0, 100)), 102);
    EXPECT_GE(static_cast<int>(NObjectDocument::ReflectionRowAlpha(71, 100)), 1);
    EXPECT_EQ(NObjectDocument::ReflectionRowAlpha(72, 100), 0.0f);

    // Below a reflected text something is drawn, in the shadow colour.
    TextPayload text;
    text.text = L"HHHH";
    text.fontSize = 40;
    text.font = Font();
    text.textColour = RGB(0, 0, 255);
    text.reflection = 1;
    doc.AddText(Given(given, RECT{0, 0, 200, 70}), &text);
    Last(doc)->shadowColour = RGB(255, 0, 0);
    ASSERT_TRUE(Render(doc));
    auto tinted = [&](int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 200; ++x)
                count += At(canvas, x, y).r < 250;
        return count;
    };
    EXPECT_GT(tinted(70, 121), 100);
    EXPECT_EQ(tinted(121, 150), 0);   // 0.7 x 70 rows and no more
}

TEST_F(DocPaint, ShadowsNeedRoomAndAreCachedUntilSizeOrZoomChange)
{
    // A rectangle of 10 x 30 gets no shadow; 11 x 30 does (below and right of it).
    for (const int width : {10, 11}) {
        SCOPED_TRACE(width);
        doc.Clear();
        canvas.Fill(0xFFFFFF);
        RectanglePayload p;
        p.outlineColour = 0;
        p.penWidth = 6;
        doc.AddRectangle(Given(given, RECT{50, 50, 50 + width, 80}, 1), &p);
        ASSERT_TRUE(Render(doc));
        DocObject* o = Last(doc);
        EXPECT_EQ(o->shadowCache.valid != 0, width == 11);
        EXPECT_EQ(At(canvas, 50 + width + 8, 65).r < 250, width == 11);   // beside the outline
    }

    // The cache is kept for the next paint at the same zoom and size, and made again when the
    // zoom changes.
    DocObject* o = Last(doc);
    GdiFlush();
    o->shadowCache.bits[0] = 0x5A;
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(o->shadowCache.bits[0], 0x5A);
    ASSERT_TRUE(Render(doc, 2.0f));
    EXPECT_NE(o->shadowCache.bits[0], 0x5A);
    EXPECT_EQ(NObjectDocument::LastZoom(), 2.0f);
    Render(doc);
}

TEST_F(DocPaint, EditorViewMapsClipsAndMarksTheCurrentObject)
{
    // With offset -7 and zoom 3, document x 5 maps to 8, raised to the zoom's grid: 9.
    EXPECT_EQ(DocView::Map<double>(5, -7, 3.0), 9);
    EXPECT_EQ(DocView::Map<double>(5, 7, 3.0), 22);
    EXPECT_EQ(DocView::Map<float>(10, 0, 0.5f), 5);

    // An empty document paints nothing.
    NObjectDocument empty;
    EXPECT_FALSE(empty.Paint(canvas.dc, true, 200, 150, nullptr, 0, 0, 1.0f, false, 3, 4, false, false));

    // Outside the view a rectangle is not painted, a line still goes to its painter (both have
    // shadows, which show whether they were painted).
    RectanglePayload rect;
    rect.penWidth = 2;
    doc.AddRectangle(Given(given, RECT{300, 10, 340, 50}, 1), &rect);
    LinePayload line;
    line.penWidth = 2;
    line.start = {300, 10};
    line.end = {340, 50};
    doc.AddLine(Given(given, RECT{300, 10, 340, 50}, 1), &line);
    // A zero-width object is painted 10 wide, in the object itself.
    doc.AddRectangle(Given(given, RECT{20, 20, 20, 60}), &rect);
    ASSERT_TRUE(doc.Paint(canvas.dc, false, 200, 150, nullptr, 0, 0, 1.0f, false, 3, 4, false, false));
    DocObject* first = doc.First();
    EXPECT_FALSE(first->shadowCache.valid);
    EXPECT_TRUE(first->next->shadowCache.valid);
    EXPECT_EQ(first->next->next->rect.right, 30);

    // Focus marks: handles around the current rectangle in the editor view, never in render mode.
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    doc.AddRectangle(Given(given, RECT{50, 50, 150, 100}), &rect);
    ASSERT_TRUE(doc.Paint(canvas.dc, true, 200, 150, nullptr, 0, 0, 1.0f, true, 3, 4, false, false));
    GdiFlush();
    EXPECT_TRUE(IsWhite(canvas, 43, 50));
    ASSERT_TRUE(doc.Paint(canvas.dc, false, 200, 150, nullptr, 0, 0, 1.0f, true, 3, 4, false, false));
    GdiFlush();
    EXPECT_LT(At(canvas, 43, 50).r, 160);   // the outer ring of the top-left handle
}

TEST_F(DocPaint, EditorViewFramesTheWarpCornersAndTheObjectUnderTheCursor)
{
    // The current picture's warp corners get handles: a 10 x 10 picture fitted into 100 x 100
    // is scaled by 10, so the corner (2, 3) of the picture lies at (50, 30).
    PicturePayload picture;
    Solid(picture.picture, 10, 10, RGB(255, 255, 255));
    const int16_t corners[8] = {2, 3, 8, 1, 9, 9, 1, 8};
    std::copy(corners, corners + 8, picture.warp);
    doc.AddPicture(Given(given, RECT{30, 0, 130, 100}), &picture);
    ASSERT_TRUE(doc.Paint(canvas.dc, false, 200, 150, nullptr, 0, 0, 1.0f, false, 3, 4, false, true));
    GdiFlush();
    EXPECT_LT(At(canvas, 43, 30).r, 160);
    EXPECT_TRUE(IsWhite(canvas, 20, 140));

    // The object under the cursor that is not the current one gets an inverted frame 4 pixels
    // outside it (the cursor is read in screen coordinates when no window is given).
    if (!SetCursorPos(60, 60))
        GTEST_SKIP() << "the cursor cannot be placed";
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    RectanglePayload rect;
    doc.AddRectangle(Given(given, RECT{50, 50, 150, 100}), &rect);
    doc.AddRectangle(Given(given, RECT{170, 120, 190, 140}), &rect);   // the current object
    ASSERT_TRUE(doc.Paint(canvas.dc, false, 200, 150, nullptr, 0, 0, 1.0f, false, 3, 4, false, false));
    GdiFlush();
    POINT cursor;
    ASSERT_TRUE(GetCursorPos(&cursor));
    if (cursor.x != 60 || cursor.y != 60)
        GTEST_SKIP() << "the cursor stays elsewhere";
    EXPECT_GT(DarkPixels(44, 44, 49, 49), 0);   // the frame's top-left corner
    EXPECT_EQ(DarkPixels(0, 0, 40, 40), 0);

    // The current object gets no hover frame.
    doc.currentId = doc.First()->id;
    canvas.Fill(0xFFFFFF);
    ASSERT_TRUE(doc.Paint(canvas.dc, false, 200, 150, nullptr, 0, 0, 1.0f, false, 3, 4, false, false));
    GdiFlush();
    EXPECT_EQ(DarkPixels(44, 44, 49, 49), 0);
}

TEST_F(DocPaint, HitTestPrefersEarlierObjectsButNestedOnes)
{
    RectanglePayload rect;
    doc.AddRectangle(Given(given, RECT{0, 0, 100, 100}), &rect);     // id 1
    doc.AddRectangle(Given(given, RECT{50, 50, 150, 150}), &rect);   // id 2, overlapping
    doc.AddRectangle(Given(given, RECT{10, 10, 30, 30}), &rect);     // id 3, inside 1
    Given(given, RECT{60, 60, 70, 70}).locked = 1;
    doc.AddRectangle(given, &rect);                                   // id 4, locked, inside 1 and 2
    RECT r;
    int32_t id = 0;
    POINT p{75, 75};
    ASSERT_TRUE(doc.HitTest(&r, &id, &p, 0, 0, 1.0f));
    EXPECT_EQ(id, 1);
    p = {20, 20};
    ASSERT_TRUE(doc.HitTest(&r, &id, &p, 0, 0, 1.0f));
    EXPECT_EQ(id, 3);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 30);
    p = {65, 65};
    ASSERT_TRUE(doc.HitTest(&r, &id, &p, 0, 0, 1.0f));
    EXPECT_EQ(id, 1);   // the locked object is never hit
    // Zoom and offset: object 3 lies at (10..30) x 2 + 5.
    p = {60, 60};
    ASSERT_TRUE(doc.HitTest(&r, &id, &p, 5, 5, 2.0f));
    EXPECT_EQ(id, 3);
    EXPECT_EQ(r.left, 25);
    p = {500, 500};
    EXPECT_FALSE(doc.HitTest(&r, &id, &p, 0, 0, 1.0f));
    EXPECT_FALSE(doc.HitTest(nullptr, &id, &p, 0, 0, 1.0f));
}

TEST_F(DocPaint, PicturesAreFittedBlendedAndCached)
{
    // A 20 x 10 picture in a 100 x 100 rectangle: 100 x 50, centred.
    PicturePayload picture;
    Solid(picture.picture, 20, 10, RGB(0, 128, 0));
    doc.AddPicture(Given(given, RECT{50, 20, 150, 120}), &picture);
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(Near(canvas, 100, 70, RGB(0, 128, 0), 2));
    EXPECT_TRUE(Near(canvas, 52, 47, RGB(0, 128, 0), 2));
    EXPECT_TRUE(IsWhite(canvas, 100, 40));
    EXPECT_TRUE(IsWhite(canvas, 100, 100));

    // Straight alpha is premultiplied before blending: (200, 100, 0) at half over white.
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    Solid(picture.picture, 20, 20, RGB(200, 100, 0), 128);
    doc.AddPicture(Given(given, RECT{50, 20, 150, 120}), &picture);
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(Near(canvas, 100, 70, RGB(227, 177, 127), 3));

    // The display cache is kept for a size within 2 pixels and made again beyond.
    DocObject* o = Last(doc);
    ASSERT_TRUE(o->displayCache.valid);
    GdiFlush();
    o->displayCache.bits[0] = 0x11;
    o->rect.right += 2;
    o->rect.bottom += 2;
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(o->displayCache.bits[0], 0x11);
    o->rect.right += 1;
    o->rect.bottom += 1;
    ASSERT_TRUE(Render(doc));
    EXPECT_NE(o->displayCache.bits[0], 0x11);

    // Warp mode 2 records the corners without warping; mode 1 warps; mode 0 restores.
    PicturePayload* p = o->PayloadAs<PicturePayload>();
    const int16_t corners[8] = {0, 0, 30, 0, 30, 10, 0, 10};
    std::copy(corners, corners + 8, p->warp);
    p->warpMode = 2;
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(o->warpKey[2], 30);
    EXPECT_EQ(o->warpModeKey, 2);
    EXPECT_EQ(p->picture.width, 20);
    EXPECT_EQ(p->picture.height, 20);
    p->warpMode = 1;
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(o->warpModeKey, 1);
    EXPECT_GE(p->picture.width, 30);   // the corners' bounding box
    EXPECT_LE(p->picture.height, 11);
    p->warpMode = 0;
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(p->picture.width, 20);
    EXPECT_EQ(o->warpKey[0], -1);

    // A picture object without a picture draws nothing and does not fail.
    doc.Clear();
    canvas.Fill(0xFFFFFF);
    PicturePayload none;
    doc.AddPicture(Given(given, RECT{50, 20, 150, 120}, 1), &none);
    ASSERT_TRUE(Render(doc));
    EXPECT_EQ(DarkPixels(0, 0, 200, 150), 0);
    EXPECT_TRUE(doc.PaintPicture(NObjectDocument::PaintContext{}, RECT{0, 0, 10, 10}, Last(doc)));
    EXPECT_FALSE(doc.PaintPicture(NObjectDocument::PaintContext{}, RECT{0, 0, 10, 10}, nullptr));
}

TEST_F(DocPaint, PicturesWithTextAndAlongCurves)
{
    given.Init();
    given.id = 1;
    given.type = DOC_IMAGE_TEXT;
    given.rect = RECT{60, 60, 140, 100};
    given.opacity = 255;
    auto* imageText = new ImageTextPayload();
    wcscpy(imageText->text, L"XX");
    imageText->fontSize = 20;
    imageText->font = Font();
    imageText->textColour = RGB(255, 0, 0);
    Solid(imageText->picture, 10, 10, RGB(0, 0, 200));
    given.payload = imageText;
    ASSERT_TRUE(doc.AddObjectCopy(&given));
    given.Reset();
    ASSERT_TRUE(Render(doc));
    // The picture is fitted into the rectangle grown by 50 on every side: 140 x 140 from
    // (30, 10), reaching 50 pixels above and below the rectangle.
    EXPECT_TRUE(Near(canvas, 35, 75, RGB(0, 0, 200), 2));
    EXPECT_TRUE(Near(canvas, 100, 12, RGB(0, 0, 200), 2));
    EXPECT_TRUE(IsWhite(canvas, 25, 75));
    int red = 0;
    for (int y = 60; y < 100; ++y)
        for (int x = 60; x < 140; ++x)
            red += At(canvas, x, y).r > 150;
    EXPECT_GT(red, 20);

    doc.Clear();
    canvas.Fill(0xFFFFFF);
    given.Init();
    given.id = 1;
    given.type = DOC_CURVE_IMAGE;
    given.rect = RECT{20, 20, 180, 120};
    given.opacity = 255;
    auto* chain = new CurveImagePayload();
    chain->colour1 = chain->colour2 = chain->colour3 = RGB(0, 0, 0);
    chain->penWidth = 4;
    chain->points = {{20, 20}, {180, 20}, {180, 120}};
    Solid(chain->picture, 16, 16, RGB(0, 160, 0), 255);
    given.payload = chain;
    ASSERT_TRUE(doc.AddObjectCopy(&given));
    given.Reset();
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(Near(canvas, 100, 20, 0));                     // a segment
    EXPECT_TRUE(Near(canvas, 180, 126, RGB(0, 160, 0), 2));    // a picture at the last point
    EXPECT_TRUE(IsWhite(canvas, 100, 70));
    Last(doc)->PayloadAs<CurveImagePayload>()->hidePictures = 1;
    canvas.Fill(0xFFFFFF);
    ASSERT_TRUE(Render(doc));
    EXPECT_TRUE(IsWhite(canvas, 180, 126));
}

TEST_F(DocPaint, OneObjectRendersIntoALayerOfItsOwn)
{
    // A red rectangle at (100, 50), 40 x 20, on transparency with a margin of 50.
    RectanglePayload rect;
    rect.outlineColour = RGB(255, 0, 0);
    rect.fillColour = RGB(255, 0, 0);
    rect.filled = 1;
    rect.penWidth = 2;
    doc.AddRectangle(Given(given, RECT{100, 50, 140, 70}, 0, 128), &rect);
    DocObject* o = Last(doc);
    NImageBuffer layer;
    ASSERT_TRUE(doc.RenderObjectToBitmap(o, layer, 50, 3, 4, true));
    EXPECT_EQ(layer.bpp, 32);
    EXPECT_EQ(layer.width, 90);
    EXPECT_EQ(layer.height, 70);
    const Rgb inside = At(layer, 45, 35);
    EXPECT_GE(inside.r, 250);   // straight colour, half covered
    EXPECT_LE(inside.g, 5);
    EXPECT_NEAR(inside.a, 128, 3);
    EXPECT_EQ(At(layer, 3, 3).a, 0);
    EXPECT_EQ(o->rect.left, 100);   // moved back
    EXPECT_EQ(o->rect.bottom, 70);

    // Without alpha: 24 bpp on white.
    ASSERT_TRUE(doc.RenderObjectToBitmap(o, layer, 50, 3, 4, false));
    EXPECT_EQ(layer.bpp, 24);
    EXPECT_TRUE(IsWhite(layer, 3, 3));

    // A line drawn right to left has its rectangle's corners swapped; it renders all the same.
    LinePayload line;
    line.colour = 0;
    line.penWidth = 4;
    line.start = {300, 40};
    line.end = {200, 40};
    doc.AddLine(Given(given, RECT{300, 40, 200, 44}), &line);
    ASSERT_TRUE(doc.RenderObjectToBitmap(Last(doc), layer, 50, 3, 4, true));
    EXPECT_EQ(layer.width, 150);
    EXPECT_EQ(At(layer, 75, 25).a, 255);
    EXPECT_EQ(Last(doc)->PayloadAs<LinePayload>()->start.x, 300);

    // Nothing to render: no object, or a type that is not drawn.
    EXPECT_FALSE(doc.RenderObjectToBitmap(nullptr, layer, 50, 3, 4, true));
    DocObject old;
    old.type = DOC_OLD_PICTURE;
    old.rect = RECT{0, 0, 10, 10};
    EXPECT_FALSE(doc.RenderObjectToBitmap(&old, layer, 50, 3, 4, true));
    EXPECT_FALSE(layer.valid);
}

TEST_F(DocPaint, MovingAnObjectMovesItsPoints)
{
    PolylinePayload poly;
    poly.points = {{1, 1}, {5, 5}};
    poly.storedCount = 7;
    doc.AddPolyline(Given(given, RECT{1, 1, 5, 5}), &poly);
    CurvePayload curve;
    for (int i = 0; i < 4; ++i)
        curve.points[i] = {i, i};
    given.id = 2;
    doc.AddCurve(Given(given, RECT{0, 0, 3, 3}), &curve);
    const int32_t curveId = Last(doc)->id;
    ASSERT_TRUE(doc.MoveObject(doc.First()->id, 10, 20, 30, 40));
    const DocObject* p = doc.First();
    EXPECT_EQ(p->rect.left, 11);
    EXPECT_EQ(p->rect.bottom, 45);
    EXPECT_EQ(p->PayloadAs<PolylinePayload>()->storedCount, 2);
    EXPECT_EQ(p->PayloadAs<PolylinePayload>()->points[1].x, 15);   // all points by the first pair
    ASSERT_TRUE(doc.MoveObject(curveId, 10, 20, 30, 40));
    const CurvePayload* c = Last(doc)->PayloadAs<CurvePayload>();
    EXPECT_EQ(c->points[2].y, 22);
    EXPECT_EQ(c->points[3].y, 43);   // the end by the second
    EXPECT_FALSE(doc.MoveObject(999, 1, 1, 1, 1));
}
