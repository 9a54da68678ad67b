// NGraphics: antialiased drawing over GDI+'s flat interface.
//
// An NGraphics holds a GDI+ graphics object and the status of its last failed drawing or filling
// call. Each operation builds its pens, brushes and paths from plain arguments, draws once and
// releases everything; nothing else is kept between calls. Colours are a COLORREF (0x00BBGGRR)
// plus one alpha byte for the whole call (see MakeArgb). Rectangles are left, top, right, bottom.
//
// Two conventions beyond plain GDI+:
// - dash 0..4 are GDI+'s solid, dash, dot, dash-dot and dash-dot-dot; dash 5 draws the shape
//   first with a solid pen 3 units wider in the second colour, then solid in the main colour on
//   top (an outlined line). Any other dash value draws solid.
// - text falls back from a face that GDI+ cannot make to "Verdana", then to GDI+'s generic sans
//   serif family, then to a common installed family (see ResolveFontFamilyName), so text is never
//   silently dropped on a system that lacks the usual families.
//
// Statuses of pen, brush and path set-up are not reported; a drawing or filling call that fails
// leaves its status in lastStatus (success leaves lastStatus as it was).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Gdiplus {
class GpGraphics;
class GpPath;
class GpBrush;
}  // namespace Gdiplus

// The ARGB value GDI+ takes: alpha << 24 | red << 16 | green << 8 | blue.
constexpr uint32_t MakeArgb(COLORREF colour, uint8_t alpha)
{
    return (static_cast<uint32_t>(alpha) << 24) | ((colour & 0xFF) << 16) | (((colour >> 8) & 0xFF) << 8) |
           ((colour >> 16) & 0xFF);
}

// Alpha of the glow pens of outlined text: what lies above 245, else 0.
constexpr uint8_t GlowAlpha(uint8_t alpha)
{
    return alpha >= 245 ? static_cast<uint8_t>(alpha - 245) : 0;
}

// One arc of a rounded-rectangle figure.
struct NArcBox {
    float x, y, size, startAngle;
};

// The four corner arcs (top-left, top-right, bottom-right, bottom-left, each sweeping 90 degrees)
// of the rounded rectangle at (x, y) of width x height with corner diameter d. A diameter wider
// than the rectangle becomes width - 2, one taller than it height - 2; a diameter of exactly 20
// draws the last three corners with 21 and the box one unit smaller.
void RoundRectArcs(int x, int y, int width, int height, int diameter, NArcBox arcs[4]);

// What an arrow is made of (see NGraphics::DrawArrow).
struct NArrowShape {
    bool drawn = false;        // false when the points are less than one unit apart
    double headLength = 0;
    int penWidth = 0;
    POINT shaftStart = {}, shaftEnd = {};
    int headKind = 0;          // 0 none, 1 filled triangle at point 1, 2 open head at point 1
    POINT head[3] = {};
    bool secondHead = false;   // an open head at point 2 as well
    POINT head2[3] = {};
};
NArrowShape ComputeArrow(int x1, int y1, int x2, int y2, int arrowType, int width);

struct NGraphics {
    Gdiplus::GpGraphics* graphics = nullptr;
    int32_t lastStatus = 0;

    // The world transform becomes a rotation by angle degrees about the rectangle's centre.
    void RotateAbout(int left, int top, int right, int bottom, float angle);

    void DrawLine(int x1, int y1, int x2, int y2, int width, COLORREF colour, uint8_t alpha, int dash, int cap,
                  COLORREF secondColour);
    // A solid line without caps.
    void DrawPlainLine(int x1, int y1, int x2, int y2, int width, COLORREF colour, uint8_t alpha);
    // An open polyline drawn as one path; nothing for null points or count < 1.
    void DrawPolyline(const POINT* points, int count, int width, COLORREF colour, uint8_t alpha, int dash, int cap,
                      COLORREF secondColour);
    // The same from the first count points of the vector (never more than it holds).
    void DrawPolylineVector(std::vector<POINT> points, int count, int width, COLORREF colour, uint8_t alpha, int dash,
                            int cap, COLORREF secondColour);
    // A filled polygon, alternate fill mode.
    void FillPolygon(const POINT* points, int count, COLORREF colour, uint8_t alpha);
    // A line from point 1 to point 2 with arrow heads by type: 0 a filled head at point 1; 1 open
    // heads at both ends; 2 an open head sized by the length; 3 an open head, the shaft from point
    // 1 itself; 4 the shaft alone.
    void DrawArrow(int x1, int y1, int x2, int y2, COLORREF colour, uint8_t alpha, int arrowType, int dash, int width,
                   COLORREF secondColour);
    // A cubic Bezier curve; with gradient 1 the pen runs vertically from colour 1 to colour 2.
    void DrawBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, COLORREF colour1,
                    COLORREF colour2, COLORREF secondColour, int gradient, int width, int dash, uint8_t alpha, int cap);
    // The same curve with open heads: at point 1 unless headKind is 4, at point 4 too for kind 1.
    void DrawBezierEx(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, COLORREF colour1,
                      COLORREF colour2, COLORREF secondColour, int gradient, int width, int dash, int headKind,
                      uint8_t alpha, int cap);
    void DrawEllipse(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha, int dash,
                     int cap, COLORREF secondColour);
    void FillEllipse(int left, int top, int right, int bottom, COLORREF colour, uint8_t alpha);
    void DrawRectangle(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha, int dash,
                       int cap, COLORREF secondColour);
    void FillRectangle(int left, int top, int right, int bottom, COLORREF colour, uint8_t alpha);
    // radius < 1 draws a plain rectangle.
    void DrawRoundRect(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha, int dash,
                       int radius, int cap, COLORREF secondColour);
    void DrawRoundRectSimple(int left, int top, int right, int bottom, int width, COLORREF colour, uint8_t alpha,
                             int radius);
    void FillRoundRect(int left, int top, int right, int bottom, COLORREF colour, uint8_t alpha, int radius);
    // Fills with the brush and outlines with a 1-unit pen of the ARGB colour.
    void FillRoundRectWithBrush(int left, int top, int right, int bottom, uint32_t argb, int radius,
                                Gdiplus::GpBrush* brush);
    // Resets the path and adds the rounded-rectangle figure of RoundRectArcs, closed.
    static void AddRoundRectPath(Gdiplus::GpPath* path, int x, int y, int width, int height, int diameter);

    // Text in the layout rectangle at size points. alignment bit 0 centres, bit 1 aligns far (and
    // wins); lineAlignment is GDI+'s (0 near, 1 centre, 2 far). Only the weight (bold at exactly
    // 700), italic, underline, strike-out and face name of the font are used. Long text ends
    // with an ellipsis.
    void DrawString(int left, int top, int right, int bottom, const wchar_t* text, float size, const LOGFONTW& font,
                    int alignment, int lineAlignment, COLORREF colour, uint8_t alpha);
    // Text as a path of em size = size x 1.3 (world units) with an effect: 1 outline in the effect
    // colour, 2 a wider outline in effect colour 2 under it, 3 a gradient outline, 4 a glow
    // around it, 5 an outline and a glow over the fill, 6 embossed, 7 extruded; other values none.
    // The fill runs vertically from colour to colour 2 when gradient is set.
    void DrawOutlinedString(int left, int top, int right, int bottom, const wchar_t* text, float size,
                            const LOGFONTW& font, int alignment, int lineAlignment, COLORREF colour, uint8_t alpha,
                            int gradient, COLORREF colour2, int effect, COLORREF effectColour, COLORREF effectColour2,
                            int effectWidth, int extraWidth);
    // The bounding box of the text at size points, truncated; 0 x 0 when it cannot be measured.
    void MeasureString(const wchar_t* text, float size, const LOGFONTW& font, int* width, int* height);

    // The family that text with this face name is drawn in.
    static std::wstring ResolveFontFamilyName(const wchar_t* faceName);

private:
    void Note(int status);
};

// Starts GDI+ for the object's life time (the starts nest; each object ends its own).
class NGdiPlusSession {
public:
    NGdiPlusSession();
    ~NGdiPlusSession();
    NGdiPlusSession(const NGdiPlusSession&) = delete;
    NGdiPlusSession& operator=(const NGdiPlusSession&) = delete;
    bool IsStarted() const { return m_token != 0; }

private:
    ULONG_PTR m_token = 0;
};

// An NGraphics over a device context, antialiased; released with the object. GDI+ must be
// started while it lives.
class NGraphicsOnDC {
public:
    explicit NGraphicsOnDC(HDC dc);
    ~NGraphicsOnDC();
    NGraphicsOnDC(const NGraphicsOnDC&) = delete;
    NGraphicsOnDC& operator=(const NGraphicsOnDC&) = delete;
    bool IsValid() const { return m_graphics.graphics != nullptr; }
    NGraphics& Get() { return m_graphics; }
    NGraphics* operator->() { return &m_graphics; }

private:
    NGraphics m_graphics;
};
