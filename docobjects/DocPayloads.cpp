#include "docobjects/DocPayloads.h"

#include <algorithm>
#include <cstring>

void PicturePayload::Free()
{
    picture.Destroy();
}

void CopyPayload(RectanglePayload& to, const RectanglePayload& from)
{
    to = from;
}

void CopyPayload(EllipsePayload& to, const EllipsePayload& from)
{
    to = from;
}

void CopyPayload(LinePayload& to, const LinePayload& from)
{
    to = from;
}

void CopyPayload(ArrowPayload& to, const ArrowPayload& from)
{
    to = from;
}

void CopyPayload(PolylinePayload& to, const PolylinePayload& from)
{
    to.colour = from.colour;
    to.penWidth = from.penWidth;
    to.dashStyle = from.dashStyle;
    to.storedCount = from.storedCount;
    to.points = from.points;
}

void CopyPayload(CurvePayload& to, const CurvePayload& from, bool keepEndHead)
{
    to = from;
    to.furtherValues[0] = 0;
    to.furtherValues[1] = 0;
    if (!keepEndHead)
        to.endHead = 0;
}

void CopyPayload(CurveImagePayload& to, const CurveImagePayload& from)
{
    to.penWidth = from.penWidth;
    to.dashStyle = from.dashStyle;
    to.gradientMode = from.gradientMode;
    to.reservedWord = 0;
    to.colour1 = from.colour1;
    to.colour2 = from.colour2;
    to.colour3 = from.colour3;
    to.hidePictures = from.hidePictures;
    memset(to.reservedBytes, 0, sizeof(to.reservedBytes));
    to.reservedValue = 0;
    to.points = from.points;
    if (from.picture.valid)
        to.picture.Copy(from.picture);
    else
        to.picture.Destroy();
}

void CopyPayload(PicturePayload& to, const PicturePayload& from)
{
    to.saturation = from.saturation;
    to.contrast = from.contrast;
    to.brightness = from.brightness;
    to.warpMode = from.warpMode;
    memcpy(to.warp, from.warp, sizeof(to.warp));
    memset(to.furtherValues, 0, sizeof(to.furtherValues));
    if (from.picture.valid)
        to.picture.Copy(from.picture);
    else
        to.picture.Destroy();
}

void CopyPayload(TextPayload& to, const TextPayload& from)
{
    to.text = from.text;
    to.fontSize = from.fontSize;
    to.font = from.font;
    to.alignment = from.alignment;
    to.reserved = from.reserved;
    to.textColour = from.textColour;
    to.outline = from.outline;
    to.outlineColour = from.outlineColour;
    to.effectStyle = from.effectStyle;
    to.effectColour1 = from.effectColour1;
    to.effectColour2 = from.effectColour2;
    to.effectValue1 = from.effectValue1;
    to.effectValue2 = from.effectValue2;
    to.reflection = from.reflection;
    to.furtherValues[0] = from.furtherValues[0];
    to.furtherValues[1] = from.furtherValues[1];
}

void CopyTextArea(wchar_t (&to)[kDocTextAreaUnits], const wchar_t* from, size_t fromUnits)
{
    size_t n = 0;
    const size_t limit = std::min<size_t>(fromUnits, kDocTextAreaUnits - 1);
    while (n < limit && from[n] != 0) {
        to[n] = from[n];
        ++n;
    }
    std::fill(to + n, to + kDocTextAreaUnits, L'\0');
}

void CopyPayload(CalloutPayload& to, const CalloutPayload& from)
{
    CopyTextArea(to.text, from.text, kDocTextAreaUnits);
    to.textColour = from.textColour;
    to.fontSize = from.fontSize;
    to.font = from.font;
    to.alignment = from.alignment;
    to.frameColour = from.frameColour;
    to.fillColour = from.fillColour;
    to.filled = from.filled;
    to.cornerRadius = from.cornerRadius;
    to.dashStyle = from.dashStyle;
    to.frameWidth = from.frameWidth;
    to.pointerStart = from.pointerStart;
    to.pointerEnd = from.pointerEnd;
}

void CopyPayload(ImageTextPayload& to, const ImageTextPayload& from)
{
    CopyTextArea(to.text, from.text, kDocTextAreaUnits);
    to.textColour = from.textColour;
    to.fontSize = from.fontSize;
    to.font = from.font;
    to.alignment = from.alignment;
    to.furtherValues[0] = from.furtherValues[0];
    to.furtherValues[1] = from.furtherValues[1];
    if (from.picture.valid)
        to.picture.Copy(from.picture);
    else
        to.picture.Destroy();
}

void DeletePayload(int32_t type, void* payload)
{
    if (!payload)
        return;
    switch (type) {
    case DOC_OLD_TEXT:
        delete static_cast<LegacyTextPayload*>(payload);
        break;
    case DOC_RECTANGLE:
        delete static_cast<RectanglePayload*>(payload);
        break;
    case DOC_ELLIPSE:
        delete static_cast<EllipsePayload*>(payload);
        break;
    case DOC_LINE:
        delete static_cast<LinePayload*>(payload);
        break;
    case DOC_POLYLINE:
        delete static_cast<PolylinePayload*>(payload);
        break;
    case DOC_CALLOUT:
        delete static_cast<CalloutPayload*>(payload);
        break;
    case DOC_ARROW:
        delete static_cast<ArrowPayload*>(payload);
        break;
    case DOC_IMAGE_TEXT:
        delete static_cast<ImageTextPayload*>(payload);
        break;
    case DOC_OLD_PICTURE:
    case DOC_OLD_PICTURE_STYLED:
    case DOC_PICTURE:
        delete static_cast<PicturePayload*>(payload);
        break;
    case DOC_TEXT:
        delete static_cast<TextPayload*>(payload);
        break;
    case DOC_ARROW_CURVE:
    case DOC_CURVE:
        delete static_cast<CurvePayload*>(payload);
        break;
    case DOC_CURVE_IMAGE:
        delete static_cast<CurveImagePayload*>(payload);
        break;
    default:
        // No record belongs to other numbers; an object never holds a payload under them.
        break;
    }
}
