#include "imaging/ImageDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "imaging/NImageBuffer.h"

namespace {

// Channel-wise colour of step k of n between two colours (integer division toward zero).
COLORREF StepColour(COLORREF c1, COLORREF c2, int k, int n)
{
    auto channel = [k, n](int a, int b) { return a + k * (b - a) / n; };
    return RGB(channel(GetRValue(c1), GetRValue(c2)), channel(GetGValue(c1), GetGValue(c2)),
               channel(GetBValue(c1), GetBValue(c2)));
}

HPEN CreateStyledPen(int width, COLORREF colour, int style, bool roundCaps)
{
    DWORD dash;
    switch (style) {
    case kPenDash:
        dash = PS_DASH;
        break;
    case kPenDot:
        dash = PS_DOT;
        break;
    case kPenDashDot:
        dash = PS_DASHDOT;
        break;
    case kPenDashDotDot:
        dash = PS_DASHDOTDOT;
        break;
    default:
        dash = PS_SOLID;
        break;
    }
    const LOGBRUSH brush = {BS_SOLID, colour, 0};
    const DWORD caps = roundCaps ? PS_ENDCAP_ROUND : PS_ENDCAP_SQUARE;
    return ExtCreatePen(PS_GEOMETRIC | PS_JOIN_BEVEL | caps | dash, static_cast<DWORD>(std::max(width, 0)), &brush,
                        0, nullptr);
}

// Selects a pen or brush made for one drawing for the lifetime of the object; Release (or the
// destructor) selects the previous object back and deletes this one. Release answers the result of
// that deletion, which the drawing functions pass on (FALSE when there was no object).
template <typename Handle>
class DrawingObject {
public:
    DrawingObject(HDC dc, Handle object)
        : dc_(dc), object_(object), previous_(object ? SelectObject(dc, object) : nullptr)
    {
    }
    ~DrawingObject() { Release(); }
    DrawingObject(const DrawingObject&) = delete;
    DrawingObject& operator=(const DrawingObject&) = delete;

    BOOL Release()
    {
        if (!object_)
            return FALSE;
        if (previous_)
            SelectObject(dc_, previous_);
        const BOOL deleted = DeleteObject(object_);
        object_ = nullptr;
        return deleted;
    }

private:
    HDC dc_;
    Handle object_;
    HGDIOBJ previous_;
};

using ScopedPen = DrawingObject<HPEN>;
using ScopedBrush = DrawingObject<HBRUSH>;

void DrawRadialGradient(HDC dc, int x, int y, int width, int height, COLORREF c1, COLORREF c2)
{
    const int m = std::max(width / 2, height / 2);
    const int size = 2 * m;
    if (size == 0)
        return;
    NImageBuffer picture;
    if (!picture.Create(size, size, 24, 0))
        return;
    GdiFlush();
    const double start[3] = {static_cast<double>(GetBValue(c1)), static_cast<double>(GetGValue(c1)),
                             static_cast<double>(GetRValue(c1))};
    const double end[3] = {static_cast<double>(GetBValue(c2)), static_cast<double>(GetGValue(c2)),
                           static_cast<double>(GetRValue(c2))};
    uint8_t* const bits = picture.bits;
    const size_t stride = static_cast<size_t>(picture.stride);
    const double half = m;
#pragma omp parallel for schedule(static)
    for (int i = 0; i < size; ++i) {
        uint8_t* pixel = bits + i * stride;
        const double dy = (i - half) / half;
        for (int j = 0; j < size; ++j, pixel += 3) {
            const double dx = (j - half) / half;
            const double d = std::sqrt(dx * dx + dy * dy);
            for (int c = 0; c < 3; ++c)
                pixel[c] = d <= 1.0 ? static_cast<uint8_t>(end[c] * d + start[c] * (1.0 - d))
                                    : static_cast<uint8_t>(end[c]);
        }
    }
    picture.BltImageFiltered(dc, x, y, width, height, 0);
}

}  // namespace

bool DrawGradient(HDC dc, int x, int y, int width, int height, COLORREF colour1, COLORREF colour2, int direction)
{
    if (width < 1 || height < 1)
        return false;
    switch (direction) {
    case 0:
        for (int k = 0; k < width; ++k)
            FillRectOpaqueXYWH(dc, x + k, y, 1, height, StepColour(colour1, colour2, k, width));
        break;
    case 1:
        for (int k = 0; k < height; ++k)
            FillRectOpaqueXYWH(dc, x, y + k, width, 1, StepColour(colour1, colour2, k, height));
        break;
    case 2: {
        // One 45-degree line per k = column offset + row offset, from its lower-left end to one
        // step past its upper-right end (LineTo leaves out its end point).
        const int steps = width + height;
        for (int k = 0; k <= width + height - 2; ++k) {
            const int startX = k < height ? x : x + k - height + 1;
            const int startY = k < height ? y + k : y + height - 1;
            const int lastColumn = std::min(k, width - 1);
            ScopedPen pen(dc, CreatePen(PS_SOLID, 1, StepColour(colour1, colour2, k, steps)));
            MoveToEx(dc, startX, startY, nullptr);
            LineTo(dc, x + lastColumn + 1, y + k - lastColumn - 1);
        }
        break;
    }
    case 3:
        DrawRadialGradient(dc, x, y, width, height, colour1, colour2);
        break;
    default:
        break;
    }
    return true;
}

namespace {

BOOL DrawFrameLines(HDC dc, int left, int top, int right, int bottom, COLORREF topLeft, COLORREF bottomRight)
{
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    {
        ScopedPen pen(dc, CreatePen(PS_SOLID, 1, topLeft));
        MoveToEx(dc, left, top, nullptr);
        LineTo(dc, right, top);
        MoveToEx(dc, left, top, nullptr);
        LineTo(dc, left, bottom);
    }
    ScopedPen pen(dc, CreatePen(PS_SOLID, 1, bottomRight));
    MoveToEx(dc, left, bottom, nullptr);
    LineTo(dc, right, bottom);
    MoveToEx(dc, right, top, nullptr);
    LineTo(dc, right, bottom + 1);
    return pen.Release();
}

}  // namespace

BOOL DrawShadowFrame(HDC dc, int left, int top, int right, int bottom)
{
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    return DrawFrameLines(dc, left, top, right, bottom, shadow, shadow);
}

BOOL DrawDarkShadowFrame(HDC dc, int left, int top, int right, int bottom)
{
    return DrawFrameLines(dc, left, top, right, bottom, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_BTNSHADOW));
}

BOOL DrawLightFrame(HDC dc, int left, int top, int right, int bottom)
{
    return DrawRectOutline(dc, left, top, right, bottom, 1, GetSysColor(COLOR_3DLIGHT));
}

BOOL DrawLine(HDC dc, int x1, int y1, int x2, int y2, int penWidth, COLORREF colour)
{
    ScopedPen pen(dc, CreatePen(PS_SOLID, penWidth, colour));
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    return pen.Release();
}

BOOL DrawStyledLine(HDC dc, int x1, int y1, int x2, int y2, int penWidth, COLORREF colour, int style)
{
    ScopedPen pen(dc, CreateStyledPen(penWidth, colour, style, false));
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    return pen.Release();
}

BOOL DrawRectOutline(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour)
{
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    ScopedPen pen(dc, CreatePen(PS_SOLID, penWidth, colour));
    Rectangle(dc, left, top, right, bottom);
    return pen.Release();
}

BOOL FillRectSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    ScopedBrush brush(dc, CreateSolidBrush(colour));
    ScopedPen pen(dc, CreatePen(PS_SOLID, 1, colour));
    Rectangle(dc, left, top, right, bottom);
    pen.Release();
    return brush.Release();
}

BOOL DrawRoundRectOutline(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour,
                          int corner)
{
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    ScopedPen pen(dc, CreatePen(PS_SOLID, penWidth, colour));
    RoundRect(dc, left, top, right, bottom, corner, corner);
    return pen.Release();
}

BOOL DrawStyledRoundRect(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour,
                         int style, int corner)
{
    const HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    ScopedPen pen(dc, CreateStyledPen(penWidth, colour, style, false));
    RoundRect(dc, left, top, right, bottom, corner, corner);
    const BOOL deleted = pen.Release();
    if (previousBrush)
        SelectObject(dc, previousBrush);
    return deleted;
}

BOOL FillRoundRectSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour, int corner)
{
    ScopedBrush brush(dc, CreateSolidBrush(colour));
    ScopedPen pen(dc, CreatePen(PS_SOLID, 1, colour));
    RoundRect(dc, left, top, right, bottom, corner, corner);
    pen.Release();
    return brush.Release();
}

BOOL DrawStyledEllipse(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour, int style)
{
    const HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    ScopedPen pen(dc, CreateStyledPen(penWidth, colour, style, false));
    Ellipse(dc, left, top, right, bottom);
    const BOOL deleted = pen.Release();
    if (previousBrush)
        SelectObject(dc, previousBrush);
    return deleted;
}

BOOL FillEllipseSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    ScopedBrush brush(dc, CreateSolidBrush(colour));
    ScopedPen pen(dc, CreatePen(PS_SOLID, 1, colour));
    Ellipse(dc, left, top, right, bottom);
    pen.Release();
    return brush.Release();
}

BOOL DrawStyledPolyline(HDC dc, const POINT* points, int count, int penWidth, COLORREF colour, int style,
                        bool roundCaps)
{
    ScopedPen pen(dc, CreateStyledPen(penWidth, colour, style, roundCaps));
    if (points && count > 0)
        Polyline(dc, points, count);
    return pen.Release();
}

bool DrawChecker(HDC dc, int x, int y, int width, int height, COLORREF colourA, COLORREF colourB, int cellWidth,
                 int cellHeight)
{
    if (width < 1 || height < 1 || cellWidth < 1 || cellHeight < 1)
        return false;
    for (int row = 0, top = 0; top < height; ++row, top += std::min(cellHeight, height - top)) {
        const int h = std::min(cellHeight, height - top);
        for (int column = 0, left = 0; left < width; ++column, left += std::min(cellWidth, width - left)) {
            const int w = std::min(cellWidth, width - left);
            FillRectOpaqueXYWH(dc, x + left, y + top, w, h, ((row + column) & 1) ? colourA : colourB);
        }
    }
    return true;
}

void FillRectOpaque(HDC dc, const RECT* rect, COLORREF colour)
{
    if (!dc)
        return;
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, rect, L"", 0, nullptr);
}

void FillRectOpaqueXYWH(HDC dc, int x, int y, int width, int height, COLORREF colour)
{
    const RECT rect = {x, y, x + width, y + height};
    FillRectOpaque(dc, &rect, colour);
}

HICON NImageBuffer::CreateIcon()
{
    if (!valid)
        return nullptr;
    // An all-zero AND mask: every pixel shows the picture's colour (a 32-bpp picture with alpha
    // uses its alpha instead).
    const size_t maskStride = ((static_cast<size_t>(width) + 15) / 16) * 2;
    std::vector<uint8_t> zeros(maskStride * static_cast<size_t>(height), 0);
    const BitmapOwner mask(CreateBitmap(width, height, 1, 1, zeros.data()));
    if (!mask)
        return nullptr;
    GdiFlush();
    DeselectBitmap();
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmMask = mask.Get();
    info.hbmColor = bitmap;
    HICON icon = CreateIconIndirect(&info);
    SelectBitmap();
    return icon;
}

bool NImageBuffer::ScaleForDpi(bool smooth)
{
    if (!valid)
        return false;
    const int dpi = GetDpi();
    if (dpi == 96)
        return false;
    const double scaledWidth = width / 96.0 * dpi;
    const double scaledHeight = height / 96.0 * dpi;
    if (!(scaledWidth < 2147483647.0 && scaledHeight < 2147483647.0))
        return false;
    return ResizeImage(static_cast<int>(scaledWidth), static_cast<int>(scaledHeight), smooth ? 9 : 0, false);
}
