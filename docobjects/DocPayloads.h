// The payload records of a document's drawing objects: one record per object type, owned by
// its object through DocObject::payload, and the copies that a document makes of them when an
// object is added. Plain records without virtual operations; the object's type number says
// which record a payload is.
//
// Colours are COLORREF values (0x00BBGGRR), dash styles the style numbers of the painting
// functions (0 solid .. 4 dash-dot-dot), pen widths and points in document pixels.
#pragma once

#include <windows.h>

#include "base/NString.h"
#include "imaging/NImageBuffer.h"

#include <cstdint>
#include <vector>

// The type number of a drawing object; it selects the payload record.
enum DocObjectType : int32_t {
    DOC_OLD_TEXT = 1,          // LegacyTextPayload; old files only, read as DOC_TEXT
    DOC_RECTANGLE = 2,         // RectanglePayload; rotatable
    DOC_ELLIPSE = 3,           // EllipsePayload; rotatable
    DOC_LINE = 4,              // LinePayload; read from files as DOC_CURVE
    DOC_OLD_PICTURE = 5,       // picture block only; old files only, read as DOC_PICTURE
    DOC_POLYLINE = 6,          // PolylinePayload
    DOC_CALLOUT = 7,           // CalloutPayload
    DOC_ARROW = 8,             // ArrowPayload; read from files as DOC_ARROW_CURVE
    DOC_IMAGE_TEXT = 9,        // ImageTextPayload; rotatable
    DOC_OLD_PICTURE_STYLED = 10,   // PicturePayload; old files only, read as DOC_PICTURE
    DOC_TEXT = 11,             // TextPayload; rotatable
    DOC_ARROW_CURVE = 12,      // CurvePayload with an end head
    DOC_CURVE = 13,            // CurvePayload
    DOC_CURVE_IMAGE = 14,      // CurveImagePayload
    DOC_PICTURE = 15,          // PicturePayload; rotatable
};

// UTF-16 units in the fixed text area of callouts, images with text and old texts.
constexpr int kDocTextAreaUnits = 8192;

struct DocPoint {
    int32_t x = 0;
    int32_t y = 0;
};

struct RectanglePayload {
    uint32_t outlineColour = 0;
    uint32_t fillColour = 0;
    uint8_t filled = 0;
    int32_t penWidth = 0;
    int32_t dashStyle = 0;
    int32_t cornerRadius = 0;
};

struct EllipsePayload {
    uint32_t outlineColour = 0;
    uint32_t fillColour = 0;
    uint8_t filled = 0;
    int32_t penWidth = 0;
    int32_t dashStyle = 0;
};

struct LinePayload {
    uint32_t colour = 0;
    int32_t penWidth = 0;
    int32_t dashStyle = 0;
    DocPoint start;
    DocPoint end;
};

struct ArrowPayload {
    uint32_t colour = 0;
    int32_t penWidth = 0;
    int32_t dashStyle = 0;
    DocPoint start;
    DocPoint end;
    int32_t headStyle = 0;
};

struct PolylinePayload {
    uint32_t colour = 0;
    int32_t penWidth = 0;
    int32_t dashStyle = 0;
    int32_t storedCount = 0;          // brought in line with points before drawing or writing
    std::vector<DocPoint> points;
};

// Bezier curves (arrow curve and curve): P0 start, P1 and P2 control points, P3 end.
struct CurvePayload {
    uint16_t penWidth = 0;
    uint16_t dashStyle = 0;
    uint16_t gradientMode = 0;
    uint16_t endHead = 0;             // arrow curves only
    uint32_t colour1 = 0;
    uint32_t colour2 = 0;
    uint32_t colour3 = 0;
    DocPoint points[4];
    int32_t furtherValues[2] = {};
};

// A chain of points with the picture drawn at every point.
struct CurveImagePayload {
    uint16_t penWidth = 0;
    uint16_t dashStyle = 0;
    uint16_t gradientMode = 0;
    uint16_t reservedWord = 0;
    uint32_t colour1 = 0;
    uint32_t colour2 = 0;
    uint32_t colour3 = 0;
    uint8_t hidePictures = 0;
    uint8_t reservedBytes[3] = {};
    int32_t reservedValue = 0;
    std::vector<DocPoint> points;
    NImageBuffer picture;
};

struct PicturePayload {
    int8_t saturation = 0;
    int8_t contrast = 0;
    int16_t brightness = 0;
    uint8_t warpMode = 0;             // 0 none, 1 warped by the coordinates, 2 picture unchanged
    int16_t warp[8] = {};             // x1, y1, x2, y2, x3, y3, x4, y4
    int32_t furtherValues[4] = {};
    NImageBuffer picture;

    // Destroys the picture.
    void Free();
};

struct TextPayload {
    NString text;
    int32_t fontSize = 0;             // scaled by the zoom when painted
    LOGFONTW font = {};               // the face name selects the family
    uint8_t alignment = 0;            // bit 0 centred, bit 1 right-aligned
    uint8_t reserved = 0;
    uint32_t textColour = 0;
    uint8_t outline = 0;
    uint32_t outlineColour = 0;
    uint8_t effectStyle = 0;
    uint32_t effectColour1 = 0;
    uint32_t effectColour2 = 0;
    uint8_t effectValue1 = 0;
    uint8_t effectValue2 = 0;
    uint8_t reflection = 0;
    int32_t furtherValues[2] = {};
};

// A text box with an arrow pointer.
struct CalloutPayload {
    wchar_t text[kDocTextAreaUnits] = {};   // terminated
    uint32_t textColour = 0;
    int32_t fontSize = 0;
    LOGFONTW font = {};
    int32_t alignment = 0;
    uint32_t frameColour = 0;
    uint32_t fillColour = 0;
    uint8_t filled = 0;
    int32_t cornerRadius = 0;
    int32_t dashStyle = 0;
    int32_t frameWidth = 0;
    DocPoint pointerStart;
    DocPoint pointerEnd;
};

struct ImageTextPayload {
    wchar_t text[kDocTextAreaUnits] = {};   // terminated
    uint32_t textColour = 0;
    int32_t fontSize = 0;
    LOGFONTW font = {};
    int32_t alignment = 0;
    int32_t furtherValues[2] = {};
    NImageBuffer picture;
};

// The text object of old files; read only, turned into a TextPayload.
struct LegacyTextPayload {
    wchar_t text[kDocTextAreaUnits] = {};
    uint32_t textColour = 0;
    int32_t fontSize = 0;
    LOGFONTW font = {};
    uint8_t alignment = 0;
    uint8_t furtherBytes[7] = {};
};

// The copies that an added object receives. Each fills a freshly constructed record.
// Shapes, lines and arrows: every field.
void CopyPayload(RectanglePayload& to, const RectanglePayload& from);
void CopyPayload(EllipsePayload& to, const EllipsePayload& from);
void CopyPayload(LinePayload& to, const LinePayload& from);
void CopyPayload(ArrowPayload& to, const ArrowPayload& from);
// Colour, pen, dash style, stored count and the whole point list.
void CopyPayload(PolylinePayload& to, const PolylinePayload& from);
// Every field but the two further values (0); keepEndHead false also sets the end head to 0.
void CopyPayload(CurvePayload& to, const CurvePayload& from, bool keepEndHead);
// Pen, dash style, gradient mode, colours, hide-pictures flag, points and a deep copy of the
// picture; the reserved word, bytes and value stay 0.
void CopyPayload(CurveImagePayload& to, const CurveImagePayload& from);
// Style fields, warp mode and coordinates and a deep copy of the picture; the four further
// values stay 0.
void CopyPayload(PicturePayload& to, const PicturePayload& from);
// Every field; the text as a string.
void CopyPayload(TextPayload& to, const TextPayload& from);
// The text up to its terminating 0 unit (at most 8191 units) and terminated; every other field
// (the picture deeply).
void CopyPayload(CalloutPayload& to, const CalloutPayload& from);
void CopyPayload(ImageTextPayload& to, const ImageTextPayload& from);

// Copies a text area: at most 8191 units up to the first 0 unit, then a terminator; the rest
// of the destination is zeroed.
void CopyTextArea(wchar_t (&to)[kDocTextAreaUnits], const wchar_t* from, size_t fromUnits);

// Releases a payload of the given object type with everything it owns. Null is accepted.
void DeletePayload(int32_t type, void* payload);
