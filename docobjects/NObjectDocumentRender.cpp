// One object of a document rendered into a picture of its own (a layer), and moving objects.
#include "docobjects/NObjectDocument.h"

#include "base/Log.h"
#include "docobjects/DocViewMapping.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Coordinates come from files: a move stops at the ends of the 32-bit range instead of wrapping.
int32_t Moved(int32_t value, int delta)
{
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{value} + delta, INT32_MIN, INT32_MAX));
}

void Shift(DocPoint& p, int dx, int dy)
{
    p.x = Moved(p.x, dx);
    p.y = Moved(p.y, dy);
}

// Objects are rendered only inside this range (the painters keep view coordinates inside it).
constexpr int64_t kRenderLimit = int64_t{1} << 30;

}  // namespace

void NObjectDocument::MoveObjectBy(DocObject& o, int dx1, int dy1, int dx2, int dy2)
{
    o.rect.left = Moved(o.rect.left, dx1);
    o.rect.top = Moved(o.rect.top, dy1);
    o.rect.right = Moved(o.rect.right, dx2);
    o.rect.bottom = Moved(o.rect.bottom, dy2);
    if (LinePayload* p = o.PayloadAs<LinePayload>()) {
        Shift(p->start, dx1, dy1);
        Shift(p->end, dx2, dy2);
    } else if (ArrowPayload* p = o.PayloadAs<ArrowPayload>()) {
        Shift(p->start, dx1, dy1);
        Shift(p->end, dx2, dy2);
    } else if (PolylinePayload* p = o.PayloadAs<PolylinePayload>()) {
        p->storedCount = static_cast<int32_t>(std::min<size_t>(p->points.size(), INT32_MAX));
        for (DocPoint& q : p->points)
            Shift(q, dx1, dy1);
    } else if (CalloutPayload* p = o.PayloadAs<CalloutPayload>()) {
        Shift(p->pointerStart, dx1, dy1);
        Shift(p->pointerEnd, dx2, dy2);
    } else if (CurvePayload* p = o.PayloadAs<CurvePayload>()) {
        for (int i = 0; i < 3; ++i)
            Shift(p->points[i], dx1, dy1);
        Shift(p->points[3], dx2, dy2);
    } else if (CurveImagePayload* p = o.PayloadAs<CurveImagePayload>()) {
        for (DocPoint& q : p->points)
            Shift(q, dx1, dy1);
    }
}

bool NObjectDocument::MoveObject(int32_t id, int dx1, int dy1, int dx2, int dy2)
{
    DocObject* o = GetObject(id);
    if (!o)
        return false;
    MoveObjectBy(*o, dx1, dy1, dx2, dy2);
    return true;
}

bool NObjectDocument::RenderObjectToBitmap(DocObject* object, NImageBuffer& target, int margin, int shadowOffset,
                                           int shadowBlur, bool withAlpha)
{
    if (!object || margin < 0 || margin > kRenderLimit)
        return false;
    // Shapes drawn right to left or bottom up have their rectangle's corners swapped.
    const RECT box = DocView::Normalised(object->rect);
    const int64_t width = int64_t{box.right} - box.left + margin;
    const int64_t height = int64_t{box.bottom} - box.top + margin;
    if (width > INT32_MAX || height > INT32_MAX || std::abs(int64_t{box.left}) > kRenderLimit ||
        std::abs(int64_t{box.top}) > kRenderLimit)
        return false;
    target.Destroy();
    if (!target.Create(static_cast<int>(width), static_cast<int>(height), withAlpha ? 32 : 24,
                       withAlpha ? 0 : 0xFFFFFF))
        return false;

    // The object moved so that it lies margin / 2 inside the picture, drawn through a
    // document of its own, and moved back.
    const int dx = box.left - margin / 2;
    const int dy = box.top - margin / 2;
    MoveObjectBy(*object, -dx, -dy, -dx, -dy);
    bool painted = false;
    {
        NObjectDocument single;
        if (single.AddObjectCopy(object))
            painted = single.Paint(target.dc, true, target.width, target.height, nullptr, 0, 0, 1.0f, false,
                                   shadowOffset, shadowBlur, false, false);
    }
    MoveObjectBy(*object, dx, dy, dx, dy);
    GdiFlush();
    if (withAlpha)
        target.UnpremultiplyAlpha();
    if (!painted)
        target.Destroy();
    return painted;
}
