#include "imaging/NGraphics.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "imaging/HslColour.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Owners of the GDI+ objects one call makes.
template <typename T, GpStatus(WINGDIPAPI* Delete)(T*)>
class GpOwner {
public:
    GpOwner() = default;
    ~GpOwner() { Reset(); }
    GpOwner(const GpOwner&) = delete;
    GpOwner& operator=(const GpOwner&) = delete;
    T** Out()
    {
        Reset();
        return &m_object;
    }
    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    void Reset()
    {
        if (m_object)
            Delete(m_object);
        m_object = nullptr;
    }

private:
    T* m_object = nullptr;
};

GpStatus WINGDIPAPI DeleteSolidFill(GpSolidFill* brush)
{
    return GdipDeleteBrush(brush);
}
GpStatus WINGDIPAPI DeleteLineGradient(GpLineGradient* brush)
{
    return GdipDeleteBrush(brush);
}

using PenOwner = GpOwner<GpPen, GdipDeletePen>;
using SolidOwner = GpOwner<GpSolidFill, DeleteSolidFill>;
using GradientOwner = GpOwner<GpLineGradient, DeleteLineGradient>;
using PathOwner = GpOwner<GpPath, GdipDeletePath>;
using FamilyOwner = GpOwner<GpFontFamily, GdipDeleteFontFamily>;
using FontOwner = GpOwner<GpFont, GdipDeleteFont>;
using FormatOwner = GpOwner<GpStringFormat, GdipDeleteStringFormat>;
using MatrixOwner = GpOwner<GpMatrix, GdipDeleteMatrix>;

constexpr int kDashUnderlay = 5;
constexpr GpLineCap kRoundCap = LineCapRound;

// A pen of the ARGB colour and width in world units; dash 0..4 as GDI+'s styles, anything else
// solid; cap (when given) as start and end cap.
void MakePen(PenOwner& pen, uint32_t argb, float width, int dash, const int* cap)
{
    if (GdipCreatePen1(argb, width, UnitWorld, pen.Out()) != Ok)
        return;
    if (dash >= 0 && dash <= 4)
        GdipSetPenDashStyle(pen.get(), static_cast<GpDashStyle>(dash));
    if (cap) {
        GdipSetPenStartCap(pen.get(), static_cast<GpLineCap>(*cap));
        GdipSetPenEndCap(pen.get(), static_cast<GpLineCap>(*cap));
    }
}

// Strokes a shape: for dash 5 first with a solid pen 3 units wider in the second colour, then
// with the main pen (solid for dash 5). draw(pen) makes the one drawing call.
template <typename Draw>
void Stroke(int width, COLORREF colour, uint8_t alpha, int dash, int cap, COLORREF secondColour, Draw draw)
{
    if (dash == kDashUnderlay) {
        PenOwner under;
        MakePen(under, MakeArgb(secondColour, alpha), static_cast<REAL>(width + 3), 0, &cap);
        if (under)
            draw(under.get());
    }
    PenOwner pen;
    MakePen(pen, MakeArgb(colour, alpha), static_cast<REAL>(width), dash, &cap);
    if (pen)
        draw(pen.get());
}

RectF LayoutRect(int left, int top, int right, int bottom)
{
    return RectF(static_cast<REAL>(left), static_cast<REAL>(top), static_cast<REAL>(right - left),
                 static_cast<REAL>(bottom - top));
}

int FontStyleOf(const LOGFONTW& font)
{
    int style = 0;
    if (font.lfWeight == 700)
        style |= FontStyleBold;
    if (font.lfItalic == 1)
        style |= FontStyleItalic;
    if (font.lfUnderline == 1)
        style |= FontStyleUnderline;
    if (font.lfStrikeOut == 1)
        style |= FontStyleStrikeout;
    return style;
}

bool FamilyExists(const wchar_t* name)
{
    FamilyOwner family;
    return name && *name && GdipCreateFontFamilyFromName(name, nullptr, family.Out()) == Ok && family;
}

// The family to use when neither the face nor "Verdana" can be made: GDI+'s generic sans serif
// family, else a common family that is installed, else the first installed family. Looked up
// once per process.
const std::wstring& FallbackFamilyName()
{
    static std::once_flag once;
    static std::wstring name;
    std::call_once(once, [] {
        WCHAR buffer[LF_FACESIZE] = {};
        {
            FamilyOwner generic;
            if (GdipGetGenericFontFamilySansSerif(generic.Out()) == Ok && generic &&
                GdipGetFamilyName(generic.get(), buffer, LANG_NEUTRAL) == Ok && FamilyExists(buffer)) {
                name = buffer;
                return;
            }
        }
        static const wchar_t* const kCommon[] = {L"Tahoma",          L"Arial",       L"Segoe UI",
                                                 L"Liberation Sans", L"DejaVu Sans", L"Microsoft Sans Serif"};
        for (const wchar_t* candidate : kCommon) {
            if (FamilyExists(candidate)) {
                name = candidate;
                return;
            }
        }
        GpFontCollection* installed = nullptr;   // owned by GDI+
        int count = 0;
        if (GdipNewInstalledFontCollection(&installed) == Ok && installed &&
            GdipGetFontCollectionFamilyCount(installed, &count) == Ok && count > 0) {
            std::vector<GpFontFamily*> families(static_cast<size_t>(count), nullptr);
            int found = 0;
            if (GdipGetFontCollectionFamilyList(installed, count, families.data(), &found) == Ok) {
                for (int i = 0; i < found && name.empty(); ++i) {
                    if (families[static_cast<size_t>(i)] &&
                        GdipGetFamilyName(families[static_cast<size_t>(i)], buffer, LANG_NEUTRAL) == Ok)
                        name = buffer;
                }
            }
        }
    });
    return name;
}

void MakeFamily(FamilyOwner& family, const wchar_t* faceName)
{
    const std::wstring name = NGraphics::ResolveFontFamilyName(faceName);
    if (!name.empty())
        GdipCreateFontFamilyFromName(name.c_str(), nullptr, family.Out());
}

void MakeStringFormat(FormatOwner& format, int alignment, int lineAlignment)
{
    if (GdipCreateStringFormat(0, LANG_NEUTRAL, format.Out()) != Ok)
        return;
    StringAlignment align = StringAlignmentNear;
    if (alignment & 1)
        align = StringAlignmentCenter;
    if (alignment & 2)
        align = StringAlignmentFar;
    GdipSetStringFormatAlign(format.get(), align);
    GdipSetStringFormatLineAlign(format.get(), static_cast<StringAlignment>(lineAlignment));
    GdipSetStringFormatTrimming(format.get(), StringTrimmingEllipsisPath);
}

// The colour with its lightness moved by delta (clamped to 0..1).
COLORREF ShiftLightness(COLORREF colour, double delta)
{
    HslColour hsl;
    hsl.red = GetRValue(colour);
    hsl.green = GetGValue(colour);
    hsl.blue = GetBValue(colour);
    hsl.SetFromRgb();
    hsl.lightness = std::clamp(hsl.lightness + delta, 0.0, 1.0);
    hsl.ToRgb();
    return RGB(hsl.red, hsl.green, hsl.blue);
}

// A vertical or diagonal gradient over the rectangle; null when GDI+ cannot make one (an empty
// rectangle).
void MakeGradient(GradientOwner& brush, const RectF& rect, uint32_t from, uint32_t to, LinearGradientMode mode)
{
    if (rect.Width <= 0 || rect.Height <= 0)
        return;
    GdipCreateLineBrushFromRect(&rect, from, to, mode, WrapModeTile, brush.Out());
}

PointF ToPointF(const POINT& p)
{
    return PointF(static_cast<REAL>(p.x), static_cast<REAL>(p.y));
}

}  // namespace

// ---- Geometry ----

namespace {

// Head length and pen width of an arrow head by its kind: 0 long, 1, 3 and 4 short, 2 by the
// length d; others none.
void HeadSize(int kind, int width, double d, double& length, int& penWidth)
{
    length = 0;
    penWidth = 0;
    switch (kind) {
    case 0:
        length = 5.0 * width;
        penWidth = width;
        break;
    case 1:
    case 3:
    case 4:
        length = 3.0 * width;
        penWidth = width;
        break;
    case 2:
        length = d / 5.0;
        penWidth = static_cast<int>(d) / 24;
        break;
    default:
        break;
    }
}

}  // namespace

void RoundRectArcs(int x, int y, int width, int height, int diameter, NArcBox arcs[4])
{
    int d = diameter;
    if (width < d)
        d = width - 2;
    const int s = d > height ? height - 2 : d;
    arcs[0] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(s), 180.0f};
    int t = s;
    int w = width;
    int h = height;
    if (s == 20) {
        t = 21;
        --w;
        --h;
    }
    const float x2 = static_cast<float>(x + w - s - 1);
    const float y2 = static_cast<float>(y + h - s - 1);
    const float ft = static_cast<float>(t);
    arcs[1] = {x2, static_cast<float>(y), ft, 270.0f};
    arcs[2] = {x2, y2, ft, 0.0f};
    arcs[3] = {static_cast<float>(x), y2, ft, 90.0f};
}

NArrowShape ComputeArrow(int x1, int y1, int x2, int y2, int arrowType, int width)
{
    NArrowShape shape;
    const double dx = static_cast<double>(x1) - x2;
    const double dy = static_cast<double>(y1) - y2;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (!(d >= 1.0))
        return shape;
    const double a = std::atan2(dy, dx);
    const double ux = std::cos(a), uy = std::sin(a);
    const double nx = -std::sin(a), ny = std::cos(a);

    double L = 0;
    int w = 0;
    HeadSize(arrowType, width, d, L, w);
    shape.drawn = true;
    shape.headLength = L;
    shape.penWidth = w;

    auto offset = [](int base, double a1, double a2) {
        return static_cast<LONG>(base + static_cast<int>(a1) + static_cast<int>(a2));
    };
    if (arrowType == 3 || arrowType == 4)
        shape.shaftStart = {x1, y1};
    else
        shape.shaftStart = {offset(x1, -L * ux, -(L / 400) * nx), offset(y1, -L * uy, -(L / 400) * ny)};
    if (arrowType == 1)
        shape.shaftEnd = {offset(x2, L * ux, (L / 400) * nx), offset(y2, L * uy, (L / 400) * ny)};
    else
        shape.shaftEnd = {x2, y2};
    if (arrowType == 4)
        return shape;

    if (arrowType == 0) {
        shape.headKind = 1;
        shape.head[0] = {offset(x1, -L * ux, (L / 2) * nx), offset(y1, -L * uy, (L / 2) * ny)};
        shape.head[1] = {offset(x1, -L * ux, -(L / 2) * nx), offset(y1, -L * uy, -(L / 2) * ny)};
        shape.head[2] = {x1, y1};
        return shape;
    }
    shape.headKind = 2;
    shape.head[0] = {offset(x1, -L * ux, (L / 1.8) * nx), offset(y1, -L * uy, (L / 1.8) * ny)};
    shape.head[1] = {x1, y1};
    shape.head[2] = {offset(x1, -L * ux, -(L / 1.8) * nx), offset(y1, -L * uy, -(L / 1.8) * ny)};
    if (arrowType == 1) {
        shape.secondHead = true;
        shape.head2[0] = {offset(x2, L * ux, -(L / 1.8) * nx), offset(y2, L * uy, -(L / 1.8) * ny)};
        shape.head2[1] = {x2, y2};
        shape.head2[2] = {offset(x2, L * ux, (L / 1.8) * nx), offset(y2, L * uy, (L / 1.8) * ny)};
    }
    return shape;
}

// ---- Drawing ----

void NGraphics::Note(int status)
{
    if (status != Ok)
        lastStatus = status;
}

void NGraphics::RotateAbout(int left, int top, int right, int bottom, float angle)
{
    if (!graphics)
        return;
    const REAL cx = static_cast<REAL>(left + (right - left) / 2);
    const REAL cy = static_cast<REAL>(top + (bottom - top) / 2);
    MatrixOwner matrix;
    if (GdipCreateMatrix(matrix.Out()) != Ok)
        return;
    GdipTranslateMatrix(matrix.get(), cx, cy, MatrixOrderPrepend);
    GdipRotateMatrix(matrix.get(), angle, MatrixOrderPrepend);
    GdipTranslateMatrix(matrix.get(), -cx, -cy, MatrixOrderPrepend);
    GdipSetWorldTransform(graphics, matrix.get());
}

void NGraphics::DrawLine(int x1, int y1, int x2, int y2, int width, COLORREF colour, uint8_t alpha, int dash, int cap,
                         COLORREF secondColour)
{
    if (!graphics)
        return;
    Stroke(width, colour, alpha, dash, cap, secondColour, [&](GpPen* pen) {
        Note(GdipDrawLine(graphics, pen, static_cast<REAL>(x1), static_cast<REAL>(y1), static_cast<REAL>(x2),
                          static_cast<REAL>(y2)));
    });
}

void NGraphics::DrawPlainLine(int x1, int y1, int x2, int y2, int width, COLORREF colour, uint8_t alpha)
{
    if (!graphics)
        return;
    PenOwner pen;
    MakePen(pen, MakeArgb(colour, alpha), static_cast<REAL>(width), 0, nullptr);
    if (pen)
        Note(GdipDrawLine(graphics, pen.get(), static_cast<REAL>(x1), static_cast<REAL>(y1), static_cast<REAL>(x2),
                          static_cast<REAL>(y2)));
}

void NGraphics::DrawPolyline(const POINT* points, int count, int width, COLORREF colour, uint8_t alpha, int dash,
                             int cap, COLORREF secondColour)
{
    if (!graphics || !points || count < 1)
        return;
    std::vector<PointF> copy;
    copy.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        copy.push_back(ToPointF(points[i]));
    PathOwner path;
    if (GdipCreatePath(FillModeAlternate, path.Out()) != Ok)
        return;
    GdipAddPathLine2(path.get(), copy.data(), count);
    Stroke(width, colour, alpha, dash, cap, secondColour,
           [&](GpPen* pen) { Note(GdipDrawPath(graphics, pen, path.get())); });
}

void NGraphics::DrawPolylineVector(std::vector<POINT> points, int count, int width, COLORREF colour, uint8_t alpha,
                                   int dash, int cap, COLORREF secondColour)
{
    const int usable = std::min<int>(count, static_cast<int>(std::min<size_t>(points.size(), INT32_MAX)));
    if (usable > 0)
        DrawPolyline(points.data(), usable, width, colour, alpha, dash, cap, secondColour);
}

void NGraphics::FillPolygon(const POINT* points, int count, COLORREF colour, uint8_t alpha)
{
    if (!graphics || !points || count < 1)
        return;
    std::vector<Point> copy;
    copy.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        copy.emplace_back(points[i].x, points[i].y);
    SolidOwner brush;
    if (GdipCreateSolidFill(MakeArgb(colour, alpha), brush.Out()) != Ok)
        return;
    Note(GdipFillPolygonI(graphics, brush.get(), copy.data(), count, FillModeAlternate));
}

void NGraphics::DrawArrow(int x1, int y1, int x2, int y2, COLORREF colour, uint8_t alpha, int arrowType, int dash,
                          int width, COLORREF secondColour)
{
    const NArrowShape shape = ComputeArrow(x1, y1, x2, y2, arrowType, width);
    if (!shape.drawn)
        return;
    DrawLine(shape.shaftStart.x, shape.shaftStart.y, shape.shaftEnd.x, shape.shaftEnd.y, shape.penWidth, colour, alpha,
             dash, kRoundCap, secondColour);
    if (shape.headKind == 1)
        FillPolygon(shape.head, 3, colour, alpha);
    else if (shape.headKind == 2)
        DrawPolyline(shape.head, 3, shape.penWidth, colour, alpha, dash, kRoundCap, secondColour);
    if (shape.secondHead)
        DrawPolyline(shape.head2, 3, shape.penWidth, colour, alpha, dash, kRoundCap, secondColour);
}

void NGraphics::DrawBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, COLORREF colour1,
                           COLORREF colour2, COLORREF secondColour, int gradient, int width, int dash, uint8_t alpha,
                           int cap)
{
    if (!graphics)
        return;
    const REAL p[8] = {static_cast<REAL>(x1), static_cast<REAL>(y1), static_cast<REAL>(x2), static_cast<REAL>(y2),
                       static_cast<REAL>(x3), static_cast<REAL>(y3), static_cast<REAL>(x4), static_cast<REAL>(y4)};
    if (dash == kDashUnderlay) {
        PenOwner under;
        MakePen(under, MakeArgb(secondColour, alpha), static_cast<REAL>(width + 3), 0, &cap);
        if (under)
            Note(GdipDrawBezier(graphics, under.get(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]));
    }
    GradientOwner fill;
    if (gradient == 1) {
        // The union of the boxes spanned by points 1 and 4 and by point 2 and point 3 + (1, 1),
        // widened by twice the pen width.
        const int left = std::min({x1, x4, x2, x3 + 1});
        const int right = std::max({x1, x4, x2, x3 + 1});
        const int top = std::min({y1, y4, y2, y3 + 1});
        const int bottom = std::max({y1, y4, y2, y3 + 1});
        const int grow = 2 * width;
        const RectF box = LayoutRect(left - grow, top - grow, right + grow, bottom + grow);
        const bool downwards = y1 <= y4;
        MakeGradient(fill, box, MakeArgb(downwards ? colour1 : colour2, alpha),
                     MakeArgb(downwards ? colour2 : colour1, alpha), LinearGradientModeVertical);
    }
    PenOwner pen;
    MakePen(pen, MakeArgb(colour1, alpha), static_cast<REAL>(width), dash == kDashUnderlay ? 0 : dash, &cap);
    if (!pen)
        return;
    if (fill)
        GdipSetPenBrushFill(pen.get(), fill.get());
    Note(GdipDrawBezier(graphics, pen.get(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]));
}

void NGraphics::DrawBezierEx(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, COLORREF colour1,
                             COLORREF colour2, COLORREF secondColour, int gradient, int width, int dash, int headKind,
                             uint8_t alpha, int cap)
{
    DrawBezier(x1, y1, x2, y2, x3, y3, x4, y4, colour1, colour2, secondColour, gradient, width, dash, alpha, cap);
    if (!graphics || headKind == 4)
        return;
    const double d = std::hypot(static_cast<double>(x1) - x3, static_cast<double>(y1) - y3);
    if (!(d >= 1.0))
        return;
    double L = 0;
    int w = 0;
    HeadSize(headKind, width, d, L, w);
    auto at = [](int base, double a1, double a2) {
        return static_cast<LONG>(base + static_cast<int>(a1) + static_cast<int>(a2));
    };
    const double a = std::atan2(static_cast<double>(y1) - y2, static_cast<double>(x1) - x2);
    const double ux = std::cos(a), uy = std::sin(a), nx = -std::sin(a), ny = std::cos(a);
    const POINT head[3] = {{at(x1, -L * ux, (L / 1.8) * nx), at(y1, -L * uy, (L / 1.8) * ny)},
                           {x1, y1},
                           {at(x1, -L * ux, -(L / 1.8) * nx), at(y1, -L * uy, -(L / 1.8) * ny)}};
    DrawPolyline(head, 3, w, colour1, alpha, dash, kRoundCap, secondColour);
    if (headKind == 1) {
        const double b = std::atan2(static_cast<double>(y3) - y4, static_cast<double>(x3) - x4);
        const double vx = std::cos(b), vy = std::sin(b), mx = -std::sin(b), my = std::cos(b);
        const POINT tail[3] = {{at(x4, L * vx, -(L * 0.5) * mx), at(y4, L * vy, -(L * 0.5) * my)},
                               {x4, y4},
                               {at(x4, L * vx, (L * 0.5) * mx), at(y4, L * vy, (L * 0.5) * my)}};
        DrawPolyline(tail, 3, w, gradient == 1 ? colour2 : colour1, alpha, dash, kRoundCap, secondColour);
    }
}

void NGraphics::DrawEllipse(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha,
                            int dash, int cap, COLORREF secondColour)
{
    if (!graphics)
        return;
    const RectF r = LayoutRect(left, top, right, bottom);
    Stroke(width, colour, alpha, dash, cap, secondColour,
           [&](GpPen* pen) { Note(GdipDrawEllipse(graphics, pen, r.X, r.Y, r.Width, r.Height)); });
}

void NGraphics::FillEllipse(int left, int top, int right, int bottom, COLORREF colour, uint8_t alpha)
{
    if (!graphics)
        return;
    SolidOwner brush;
    if (GdipCreateSolidFill(MakeArgb(colour, alpha), brush.Out()) != Ok)
        return;
    const RectF r = LayoutRect(left, top, right, bottom);
    Note(GdipFillEllipse(graphics, brush.get(), r.X, r.Y, r.Width, r.Height));
}

void NGraphics::DrawRectangle(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha,
                              int dash, int cap, COLORREF secondColour)
{
    if (!graphics)
        return;
    const RectF r = LayoutRect(left, top, right, bottom);
    Stroke(width, colour, alpha, dash, cap, secondColour,
           [&](GpPen* pen) { Note(GdipDrawRectangle(graphics, pen, r.X, r.Y, r.Width, r.Height)); });
}

void NGraphics::FillRectangle(int left, int top, int right, int bottom, COLORREF colour, uint8_t alpha)
{
    if (!graphics)
        return;
    SolidOwner brush;
    if (GdipCreateSolidFill(MakeArgb(colour, alpha), brush.Out()) != Ok)
        return;
    const RectF r = LayoutRect(left, top, right, bottom);
    Note(GdipFillRectangle(graphics, brush.get(), r.X, r.Y, r.Width, r.Height));
}

void NGraphics::AddRoundRectPath(GpPath* path, int x, int y, int width, int height, int diameter)
{
    if (!path)
        return;
    GdipResetPath(path);
    NArcBox arcs[4];
    RoundRectArcs(x, y, width, height, diameter, arcs);
    for (const NArcBox& arc : arcs)
        GdipAddPathArc(path, arc.x, arc.y, arc.size, arc.size, arc.startAngle, 90.0f);
    GdipClosePathFigure(path);
}

void NGraphics::DrawRoundRect(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha,
                              int dash, int radius, int cap, COLORREF secondColour)
{
    if (radius < 1) {
        DrawRectangle(left, top, right, bottom, width, colour, alpha, dash, cap, secondColour);
        return;
    }
    if (!graphics)
        return;
    PathOwner path;
    if (GdipCreatePath(FillModeAlternate, path.Out()) != Ok)
        return;
    AddRoundRectPath(path.get(), left, top, right - left, bottom - top, 2 * radius);
    Stroke(width, colour, alpha, dash, cap, secondColour,
           [&](GpPen* pen) { Note(GdipDrawPath(graphics, pen, path.get())); });
}

void NGraphics::DrawRoundRectSimple(int left, int top, int right, int bottom, int width, COLORREF colour,
                                    uint8_t alpha, int radius)
{
    DrawRoundRect(left, top, right, bottom, width, colour, alpha, 0, radius, kRoundCap, RGB(255, 255, 255));
}

void NGraphics::FillRoundRect(int left, int top, int right, int bottom, COLORREF colour, uint8_t alpha, int radius)
{
    if (!graphics)
        return;
    const uint32_t argb = MakeArgb(colour, alpha);
    SolidOwner brush;
    if (GdipCreateSolidFill(argb, brush.Out()) != Ok)
        return;
    FillRoundRectWithBrush(left, top, right, bottom, argb, radius, brush.get());
}

void NGraphics::FillRoundRectWithBrush(int left, int top, int right, int bottom, uint32_t argb, int radius,
                                       GpBrush* brush)
{
    if (!graphics || !brush)
        return;
    PathOwner path;
    if (GdipCreatePath(FillModeAlternate, path.Out()) != Ok)
        return;
    AddRoundRectPath(path.get(), left, top, right - left, bottom - top, 2 * std::max(radius, 1));
    Note(GdipFillPath(graphics, brush, path.get()));
    PenOwner pen;
    MakePen(pen, argb, 1.0f, 0, nullptr);
    if (pen)
        Note(GdipDrawPath(graphics, pen.get(), path.get()));
}

std::wstring NGraphics::ResolveFontFamilyName(const wchar_t* faceName)
{
    if (FamilyExists(faceName))
        return faceName;
    if (FamilyExists(L"Verdana"))
        return L"Verdana";
    return FallbackFamilyName();
}

void NGraphics::DrawString(int left, int top, int right, int bottom, const wchar_t* text, float size,
                           const LOGFONTW& font, int alignment, int lineAlignment, COLORREF colour, uint8_t alpha)
{
    if (!graphics || !text)
        return;
    FamilyOwner family;
    MakeFamily(family, font.lfFaceName);
    if (!family)
        return;
    FontOwner gpFont;
    if (GdipCreateFont(family.get(), size, FontStyleOf(font), UnitPoint, gpFont.Out()) != Ok)
        return;
    FormatOwner format;
    MakeStringFormat(format, alignment, lineAlignment);
    SolidOwner brush;
    if (GdipCreateSolidFill(MakeArgb(colour, alpha), brush.Out()) != Ok)
        return;
    GdipSetTextRenderingHint(graphics, TextRenderingHintAntiAliasGridFit);
    const RectF layout = LayoutRect(left, top, right, bottom);
    Note(GdipDrawString(graphics, text, -1, gpFont.get(), &layout, format.get(), brush.get()));
}

void NGraphics::DrawOutlinedString(int left, int top, int right, int bottom, const wchar_t* text, float size,
                                   const LOGFONTW& font, int alignment, int lineAlignment, COLORREF colour,
                                   uint8_t alpha, int gradient, COLORREF colour2, int effect, COLORREF effectColour,
                                   COLORREF effectColour2, int effectWidth, int extraWidth)
{
    if (!graphics || !text)
        return;
    FamilyOwner family;
    MakeFamily(family, font.lfFaceName);
    if (!family)
        return;
    FormatOwner format;
    MakeStringFormat(format, alignment, lineAlignment);
    GdipSetTextRenderingHint(graphics, TextRenderingHintAntiAliasGridFit);
    const int style = FontStyleOf(font);
    const REAL emSize = size * 1.3f;
    const RectF layout = LayoutRect(left, top, right, bottom);

    PathOwner path;
    if (GdipCreatePath(FillModeAlternate, path.Out()) != Ok)
        return;
    GdipAddPathString(path.get(), text, -1, family.get(), style, emSize, &layout, format.get());

    const uint32_t fillArgb = MakeArgb(colour, alpha);
    const uint32_t effectArgb = MakeArgb(effectColour, alpha);
    const uint32_t effectArgb2 = MakeArgb(effectColour2, alpha);
    const uint32_t glowArgb = MakeArgb(effectColour, GlowAlpha(alpha));

    auto outline = [&](uint32_t argb, REAL width, GpPath* shape) {
        PenOwner pen;
        MakePen(pen, argb, width, 0, nullptr);
        if (!pen)
            return;
        GdipSetPenLineJoin(pen.get(), LineJoinRound);
        Note(GdipDrawPath(graphics, pen.get(), shape));
    };
    auto fillSolid = [&](uint32_t argb, GpPath* shape) {
        SolidOwner brush;
        if (GdipCreateSolidFill(argb, brush.Out()) == Ok)
            Note(GdipFillPath(graphics, brush.get(), shape));
    };
    // The text alone in another layout rectangle, filled in one colour.
    auto fillShifted = [&](const RectF& box, COLORREF fill) {
        PathOwner shifted;
        if (GdipCreatePath(FillModeAlternate, shifted.Out()) != Ok)
            return;
        GdipAddPathString(shifted.get(), text, -1, family.get(), style, emSize, &box, format.get());
        fillSolid(MakeArgb(fill, alpha), shifted.get());
    };

    switch (effect) {
    case 1:
        outline(effectArgb, static_cast<REAL>(effectWidth), path.get());
        break;
    case 2:
        outline(effectArgb2, static_cast<REAL>(extraWidth + effectWidth), path.get());
        outline(effectArgb, static_cast<REAL>(effectWidth), path.get());
        break;
    case 3: {
        GradientOwner ramp;
        MakeGradient(ramp, layout, effectArgb, effectArgb2, LinearGradientModeForwardDiagonal);
        PenOwner pen;
        MakePen(pen, effectArgb, static_cast<REAL>(effectWidth), 0, nullptr);
        if (pen) {
            GdipSetPenLineJoin(pen.get(), LineJoinRound);
            if (ramp)
                GdipSetPenBrushFill(pen.get(), ramp.get());
            Note(GdipDrawPath(graphics, pen.get(), path.get()));
        }
        break;
    }
    case 4:
        for (int i = 0; i < effectWidth; ++i)
            outline(glowArgb, static_cast<REAL>(i), path.get());
        break;
    case 5:
        outline(fillArgb, static_cast<REAL>(effectWidth), path.get());
        break;
    case 6:
        fillSolid(fillArgb, path.get());
        fillShifted(RectF(layout.X - 1, layout.Y - 1, layout.Width - 1, layout.Height - 1),
                    ShiftLightness(colour, 0.2));
        fillShifted(RectF(layout.X + 1, layout.Y + 1, layout.Width + 1, layout.Height + 1),
                    ShiftLightness(colour, -0.2));
        break;
    case 7: {
        const COLORREF darker = ShiftLightness(colour, -0.3);
        PathOwner deep;
        if (GdipCreatePath(FillModeAlternate, deep.Out()) != Ok)
            break;
        for (int i = 0; i <= 7; ++i) {
            const RectF box(layout.X - i, layout.Y - i, layout.Width - i, layout.Height - i);
            GdipAddPathString(deep.get(), text, -1, family.get(), style, emSize, &box, format.get());
        }
        GradientOwner ramp;
        MakeGradient(ramp, layout, fillArgb, MakeArgb(darker, alpha), LinearGradientModeVertical);
        if (ramp)
            Note(GdipFillPath(graphics, ramp.get(), deep.get()));
        else
            fillSolid(MakeArgb(darker, alpha), deep.get());
        outline(MakeArgb(darker, alpha), 8.0f, deep.get());
        break;
    }
    default:
        break;
    }

    // The fill of the text itself.
    GradientOwner ramp;
    if (gradient)
        MakeGradient(ramp, layout, fillArgb, MakeArgb(colour2, alpha), LinearGradientModeVertical);
    if (ramp)
        Note(GdipFillPath(graphics, ramp.get(), path.get()));
    else
        fillSolid(fillArgb, path.get());

    if (effect == 5) {
        for (int i = effectWidth; i >= 1; --i)
            outline(glowArgb, static_cast<REAL>(i), path.get());
    }
}

void NGraphics::MeasureString(const wchar_t* text, float size, const LOGFONTW& font, int* width, int* height)
{
    if (width)
        *width = 0;
    if (height)
        *height = 0;
    if (!graphics || !text)
        return;
    FamilyOwner family;
    MakeFamily(family, font.lfFaceName);
    if (!family)
        return;
    FontOwner gpFont;
    if (GdipCreateFont(family.get(), size, FontStyleOf(font), UnitPoint, gpFont.Out()) != Ok)
        return;
    const RectF layout(0, 0, 0, 0);
    RectF box(0, 0, 0, 0);
    const GpStatus status = GdipMeasureString(graphics, text, -1, gpFont.get(), &layout, nullptr, &box, nullptr, nullptr);
    Note(status);
    if (status != Ok)
        return;
    if (width)
        *width = static_cast<int>(box.Width);
    if (height)
        *height = static_cast<int>(box.Height);
}

// ---- GDI+ life time ----

NGdiPlusSession::NGdiPlusSession()
{
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (GdiplusStartup(&token, &input, nullptr) == Ok)
        m_token = token;
}

NGdiPlusSession::~NGdiPlusSession()
{
    if (m_token)
        GdiplusShutdown(m_token);
}

NGraphicsOnDC::NGraphicsOnDC(HDC dc)
{
    GpGraphics* graphics = nullptr;
    if (dc && GdipCreateFromHDC(dc, &graphics) == Ok && graphics) {
        GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
        m_graphics.graphics = graphics;
    }
}

NGraphicsOnDC::~NGraphicsOnDC()
{
    if (m_graphics.graphics)
        GdipDeleteGraphics(m_graphics.graphics);
}
