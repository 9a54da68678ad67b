// Drawing helpers on a device context: gradients, frames in system colours, lines and shapes with
// solid or dashed geometric pens, a checkerboard and opaque fills. Colours are COLORREF
// 0x00BBGGRR; rectangles are left, top, right, bottom unless a name says XYWH.
//
// Every pen and brush made here is deselected and deleted before the function returns. The
// outline functions select the stock NULL_BRUSH; the styled ones put the previous brush back,
// the plain ones leave NULL_BRUSH selected.
#pragma once
#include <windows.h>

// Dash styles of the styled pens.
enum PenDashStyle { kPenSolid = 0, kPenDash = 1, kPenDot = 2, kPenDashDot = 3, kPenDashDotDot = 4 };

// Gradient from colour1 to colour2: direction 0 left to right, 1 top to bottom, 2 diagonal
// (bottom-left to top-right lines), 3 radial (colour1 at the centre). False when width or height
// is below 1; any other direction draws nothing.
bool DrawGradient(HDC dc, int x, int y, int width, int height, COLORREF colour1, COLORREF colour2, int direction);

// Four 1-pixel lines in COLOR_BTNSHADOW; the dark variant draws top and left in COLOR_3DDKSHADOW.
BOOL DrawShadowFrame(HDC dc, int left, int top, int right, int bottom);
BOOL DrawDarkShadowFrame(HDC dc, int left, int top, int right, int bottom);
// Rectangle outline with a 1-pixel COLOR_3DLIGHT pen.
BOOL DrawLightFrame(HDC dc, int left, int top, int right, int bottom);

BOOL DrawLine(HDC dc, int x1, int y1, int x2, int y2, int penWidth, COLORREF colour);
BOOL DrawStyledLine(HDC dc, int x1, int y1, int x2, int y2, int penWidth, COLORREF colour, int style);
BOOL DrawRectOutline(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour);
BOOL FillRectSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour);
BOOL DrawRoundRectOutline(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour,
                          int corner);
BOOL DrawStyledRoundRect(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour,
                         int style, int corner);
BOOL FillRoundRectSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour, int corner);
BOOL DrawStyledEllipse(HDC dc, int left, int top, int right, int bottom, int penWidth, COLORREF colour,
                       int style);
BOOL FillEllipseSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour);
BOOL DrawStyledPolyline(HDC dc, const POINT* points, int count, int penWidth, COLORREF colour, int style,
                        bool roundCaps);

// Checkerboard over (x, y, width, height) in cells of cellWidth x cellHeight, the top-left cell in
// colourB, colourA where row + column is odd. Cells at the right and bottom edges are cut to the
// rectangle. False when a size is below 1.
bool DrawChecker(HDC dc, int x, int y, int width, int height, COLORREF colourA, COLORREF colourB, int cellWidth,
                 int cellHeight);

// Opaque fill through ExtTextOutW; the background colour stays set in the device context.
void FillRectOpaque(HDC dc, const RECT* rect, COLORREF colour);
void FillRectOpaqueXYWH(HDC dc, int x, int y, int width, int height, COLORREF colour);
