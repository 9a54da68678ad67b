// The painting pipeline of a document: Paint maps and clips every object and hands it to the
// painter of its type (NObjectDocumentPainters.cpp), then draws the editor's marks (focus
// handles, warp frame, hover frame); BlendObjectBitmap blends a cached shadow; HitTest finds the
// object under a point.
#include "docobjects/NObjectDocument.h"

#include "base/Log.h"
#include "docobjects/DocViewMapping.h"
#include "imaging/ImageDraw.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// Shared by every document of the process; painters compare it with the zoom they paint at.
std::atomic<float> g_lastZoom{1.0f};

constexpr int kRoundCaps = 2;
constexpr COLORREF kWhite = 0xFFFFFF;

// The two rings of a handle around (x, y).
void DrawHandle(NGraphics& g, int x, int y, uint8_t alpha)
{
    g.DrawEllipse(x - 4, y - 4, x + 4, y + 4, 6, 0, alpha, 0, kRoundCaps, kWhite);
    g.DrawEllipse(x - 4, y - 4, x + 4, y + 4, 3, kWhite, alpha, 0, kRoundCaps, kWhite);
}

// Draws with the raster operation R2_NOT, then puts the previous one back.
template <typename Draw>
void WithInvertedPen(HDC dc, Draw draw)
{
    const int previous = SetROP2(dc, R2_NOT);
    draw();
    if (previous)
        SetROP2(dc, previous);
}

bool IsPointBased(int32_t type)
{
    return type == DOC_LINE || type == DOC_CALLOUT || type == DOC_ARROW || type == DOC_ARROW_CURVE ||
           type == DOC_CURVE;
}

uint8_t HandleAlpha()
{
    return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) ? 100 : 255;
}

}  // namespace

float NObjectDocument::LastZoom()
{
    return g_lastZoom.load();
}

bool NObjectDocument::Paint(HDC dc, bool render, int viewWidth, int viewHeight, HWND window, int offsetX,
                            int offsetY, float zoom, bool showFocus, int shadowOffset, int shadowBlur, bool pathLine,
                            bool warpEdit)
{
    if (!root.next)
        return false;
    NGdiPlusSession session;
    NGraphicsOnDC graphics(dc);
    NGraphics& g = graphics.Get();

    RECT clip = {0, 0, viewWidth, viewHeight};
    if (!render && window)
        GetClientRect(window, &clip);
    auto map = [&](int32_t c, int offset) { return DocView::Map<double>(c, offset, static_cast<double>(zoom)); };

    PaintContext context;
    context.graphics = &g;
    context.dc = dc;
    context.zoom = zoom;
    context.lastZoom = LastZoom();
    context.shadowOffset = shadowOffset;
    context.shadowBlur = shadowBlur;
    context.offsetX = offsetX;
    context.offsetY = offsetY;
    context.render = render;

    for (DocObject* o = root.next; o; o = o->next) {
        if (o->type == 0 || o->hidden)
            continue;
        if (o->rect.right == o->rect.left)
            o->rect.right = static_cast<LONG>(std::min<int64_t>(int64_t{o->rect.left} + 10, INT32_MAX));
        if (o->rect.bottom == o->rect.top)
            o->rect.bottom = static_cast<LONG>(std::min<int64_t>(int64_t{o->rect.top} + 10, INT32_MAX));
        RECT view = RECT{DocView::Clamp(o->rect.left), DocView::Clamp(o->rect.top), DocView::Clamp(o->rect.right),
                         DocView::Clamp(o->rect.bottom)};
        if (!render)
            view = RECT{map(o->rect.left, offsetX), map(o->rect.top, offsetY), map(o->rect.right, offsetX),
                        map(o->rect.bottom, offsetY)};
        if (!IsPointBased(o->type)) {
            RECT box = DocView::Normalised(view);
            if (box.right == box.left)
                box.right = box.left + 1;
            if (box.bottom == box.top)
                box.bottom = box.top + 1;
            RECT visible;
            if (!IntersectRect(&visible, &box, &clip))
                continue;
        }
        g.RotateAbout(view.left, view.top, view.right, view.bottom, 0.0f);
        switch (o->type) {
        case DOC_TEXT: PaintText(context, view, o); break;
        case DOC_RECTANGLE: PaintRectangle(context, view, o); break;
        case DOC_ELLIPSE: PaintEllipse(context, view, o); break;
        case DOC_LINE: PaintLine(context, view, o); break;
        case DOC_CURVE: PaintCurve(context, view, o); break;
        case DOC_PICTURE: PaintPicture(context, view, o); break;
        case DOC_POLYLINE: PaintPolyline(context, view, o); break;
        case DOC_CALLOUT: PaintCallout(context, view, o); break;
        case DOC_ARROW: PaintArrow(context, view, o); break;
        case DOC_ARROW_CURVE: PaintArrowCurve(context, view, o); break;
        case DOC_IMAGE_TEXT: PaintImageText(context, view, o); break;
        case DOC_CURVE_IMAGE: PaintCurveImage(context, view, o); break;
        default: break;
        }
    }
    g.RotateAbout(0, 0, 0, 0, 0.0f);

    // The current object, for the warp frame and the focus marks.
    auto currentObject = [&]() -> DocObject* {
        if (currentId == 0) {
            LogMessage(L"bDrawFocus TYPE_UNKNOWN %d", 0);
            return nullptr;
        }
        for (DocObject* o = root.next; o; o = o->next) {
            if (o->id == currentId)
                return o;
        }
        LogMessage(L"GetCurrentObject nullptr! current would be %d", currentId);
        return nullptr;
    };
    auto mapPoint = [&](const DocPoint& p) {
        return DocView::MapPoint<double>(p.x, p.y, offsetX, offsetY, zoom, render);
    };

    if (!render && warpEdit) {
        DocObject* o = currentObject();
        const PicturePayload* p = o ? o->PayloadAs<PicturePayload>() : nullptr;
        if (o && o->type == DOC_PICTURE && p && p->picture.valid && p->picture.width > 0 && p->picture.height > 0) {
            // The picture as fitted into the object's rectangle, in document coordinates.
            const RECT r = {DocView::Clamp(o->rect.left), DocView::Clamp(o->rect.top), DocView::Clamp(o->rect.right),
                            DocView::Clamp(o->rect.bottom)};
            const float pw = static_cast<float>(p->picture.width);
            const float ph = static_cast<float>(p->picture.height);
            const float s =
                std::min(static_cast<float>(r.right - r.left) / pw, static_cast<float>(r.bottom - r.top) / ph);
            const int fx = r.left + (r.right - r.left - static_cast<int>(pw * s)) / 2;
            const int fy = r.top + (r.bottom - r.top - static_cast<int>(ph * s)) / 2;
            POINT corners[4];
            for (int i = 0; i < 4; ++i) {
                const DocPoint d{fx + static_cast<int>(p->warp[2 * i] * s),
                                 fy + static_cast<int>(p->warp[2 * i + 1] * s)};
                corners[i] = mapPoint(d);
                DrawHandle(g, corners[i].x, corners[i].y, 255);
            }
            WithInvertedPen(dc, [&] {
                for (int i = 0; i < 4; ++i) {
                    const POINT& a = corners[i];
                    const POINT& b = corners[(i + 1) % 4];
                    DrawStyledLine(dc, a.x, a.y, b.x, b.y, 3, 0, kPenDot);
                }
            });
        }
    }

    if (!render && showFocus && !warpEdit) {
        DocObject* o = currentObject();
        if (o) {
            const uint8_t alpha = HandleAlpha();
            if (const LinePayload* p = o->PayloadAs<LinePayload>()) {
                for (const DocPoint& d : {p->start, p->end}) {
                    const POINT v = mapPoint(d);
                    DrawHandle(g, v.x, v.y, alpha);
                }
            } else if (const ArrowPayload* p = o->PayloadAs<ArrowPayload>()) {
                for (const DocPoint& d : {p->start, p->end}) {
                    const POINT v = mapPoint(d);
                    DrawHandle(g, v.x, v.y, alpha);
                }
            } else if (const CalloutPayload* p = o->PayloadAs<CalloutPayload>()) {
                for (const DocPoint& d : {p->pointerStart, p->pointerEnd}) {
                    const POINT v = mapPoint(d);
                    DrawHandle(g, v.x, v.y, alpha);
                }
            } else if (const CurvePayload* p = o->PayloadAs<CurvePayload>()) {
                POINT v[4];
                for (int i = 0; i < 4; ++i)
                    v[i] = mapPoint(p->points[i]);
                DrawHandle(g, v[0].x, v[0].y, alpha);
                DrawHandle(g, v[3].x, v[3].y, alpha);
                DrawHandle(g, v[1].x, v[1].y, alpha);
                DrawHandle(g, v[2].x, v[2].y, alpha);
                WithInvertedPen(dc, [&] {
                    for (int i = 0; i < 3; ++i)
                        DrawStyledLine(dc, v[i].x, v[i].y, v[i + 1].x, v[i + 1].y, 1, 0, kPenDot);
                });
            } else if (const CurveImagePayload* p = o->PayloadAs<CurveImagePayload>()) {
                for (const DocPoint& d : p->points) {
                    const POINT v = mapPoint(d);
                    DrawHandle(g, v.x, v.y, alpha);
                }
                POINT cursor;
                if (pathLine && !p->points.empty() && GetCursorPos(&cursor) &&
                    (!window || ScreenToClient(window, &cursor))) {
                    const POINT last = mapPoint(p->points.back());
                    g.DrawLine(last.x, last.y, cursor.x, cursor.y, 3, p->colour1, 255, 5, kRoundCaps, kWhite);
                }
            }

            const RECT frame = RECT{map(o->rect.left, offsetX), map(o->rect.top, offsetY), map(o->rect.right, offsetX),
                                    map(o->rect.bottom, offsetY)};
            const int32_t t = o->type;
            const bool framesOnly = t == DOC_LINE || t == DOC_POLYLINE || t == DOC_CALLOUT || t == DOC_ARROW ||
                                    t == DOC_ARROW_CURVE || t == DOC_CURVE || t == DOC_CURVE_IMAGE;
            if (!framesOnly) {
                g.RotateAbout(frame.left, frame.top, frame.right, frame.bottom, o->angle);
                if (o->angle != 0.0f)
                    g.DrawRoundRect(frame.left - 4, frame.top - 4, frame.right + 4, frame.bottom + 4, 1, 0x0000FF, 255,
                                    1, 0, kRoundCaps, kWhite);
                const int cx = frame.left + (frame.right - frame.left) / 2;
                const int cy = frame.top + (frame.bottom - frame.top) / 2;
                g.DrawEllipse(cx - 13, cy - 13, cx + 13, cy + 13, 3, kWhite, alpha, 0, kRoundCaps, kWhite);
                g.DrawEllipse(cx - 13, cy - 13, cx + 13, cy + 13, 1, 0, alpha, 1, kRoundCaps, kWhite);
                g.DrawLine(cx, cy, cx, cy - 30, 3, kWhite, alpha, 0, kRoundCaps, kWhite);
                g.DrawLine(cx, cy, cx, cy - 30, 1, 0, alpha, 1, kRoundCaps, kWhite);
                g.FillRoundRect(cx - 10, cy - 40, cx + 10, cy - 20, kWhite, alpha, 2);
                g.FillRoundRect(cx - 9, cy - 39, cx + 9, cy - 21, 0, alpha, 1);
            }
            WithInvertedPen(dc, [&] {
                DrawStyledRoundRect(dc, frame.left, frame.top, frame.right, frame.bottom, 1, kWhite, kPenDash, 0);
            });
            if (t == DOC_RECTANGLE || t == DOC_ELLIPSE || t == DOC_CALLOUT || t == DOC_IMAGE_TEXT || t == DOC_TEXT ||
                t == DOC_PICTURE) {
                g.RotateAbout(frame.left, frame.top, frame.right, frame.bottom, 0.0f);
                const int mx = frame.left + (frame.right - frame.left) / 2;
                const int my = frame.top + (frame.bottom - frame.top) / 2;
                const POINT handles[8] = {{frame.left, frame.top},   {mx, frame.top},        {frame.right, frame.top},
                                          {frame.right, my},         {frame.right, frame.bottom},
                                          {mx, frame.bottom},        {frame.left, frame.bottom}, {frame.left, my}};
                for (const POINT& h : handles)
                    DrawHandle(g, h.x, h.y, alpha);
            }
        }
    }

    if (!render && !(GetAsyncKeyState(VK_LBUTTON) & 0x8000)) {
        POINT cursor;
        RECT hit;
        int32_t hitId = 0;
        if (GetCursorPos(&cursor) && (!window || ScreenToClient(window, &cursor)) &&
            HitTest(&hit, &hitId, &cursor, offsetX, offsetY, zoom) && hitId != currentId) {
            DocObject* o = nullptr;
            for (DocObject* p = root.next; p && !o; p = p->next) {
                if (p->id == hitId)
                    o = p;
            }
            if (o && o->angle != 0.0f) {
                g.RotateAbout(hit.left, hit.top, hit.right, hit.bottom, o->angle);
                g.DrawRoundRect(hit.left - 4, hit.top - 4, hit.right + 4, hit.bottom + 4, 2, 0x0000FF, 180, 1, 0,
                                kRoundCaps, kWhite);
                g.RotateAbout(0, 0, 0, 0, 0.0f);
            }
            WithInvertedPen(dc, [&] {
                DrawStyledRoundRect(dc, hit.left - 4, hit.top - 4, hit.right + 4, hit.bottom + 4, 2, 0x00FFFF, kPenDot,
                                    0);
            });
        }
    }

    g_lastZoom.store(zoom);
    return true;
}

bool NObjectDocument::BlendObjectBitmap(HDC dc, DocObject* object, int left, int top, int right, int bottom,
                                        const RECT& shadowRect, bool rememberAngle)
{
    if (!object || !object->shadowCache.valid)
        return false;
    if (object->angle != 0.0f) {
        if (object->cacheAngle != object->angle || !object->rotatedShadowCache.valid) {
            // Corners the turn uncovers are transparent black, a valid premultiplied pixel.
            if (!object->rotatedShadowCache.Copy(object->shadowCache) ||
                !object->rotatedShadowCache.Rotate(object->angle, 0xFF00FF))
                object->rotatedShadowCache.Destroy();
        }
        if (rememberAngle)
            object->cacheAngle = object->angle;
        const NImageBuffer& turned = object->rotatedShadowCache;
        if (turned.valid) {
            const int x = left + (std::abs(right - left) - turned.width) / 2;
            const int y = top + (std::abs(bottom - top) - turned.height) / 2;
            AlphaBlendImageStretched(dc, x, y, turned.width, turned.height, turned, object->opacity, AC_SRC_ALPHA);
        }
        return true;
    }
    AlphaBlendImageStretched(dc, shadowRect.left, shadowRect.top, shadowRect.right - shadowRect.left,
                             shadowRect.bottom - shadowRect.top, object->shadowCache, object->opacity, AC_SRC_ALPHA);
    return true;
}

bool NObjectDocument::HitTest(RECT* rect, int32_t* id, const POINT* point, int offsetX, int offsetY, float zoom)
{
    if (!point || !root.next || !rect)
        return false;
    std::vector<std::pair<RECT, int32_t>> hits;
    for (DocObject* o = root.next; o; o = o->next) {
        const RECT& r = o->rect;
        RECT v;
        v.left = static_cast<LONG>(static_cast<float>(r.left) * zoom + static_cast<float>(offsetX));
        v.top = static_cast<LONG>(static_cast<float>(r.top) * zoom + static_cast<float>(offsetY));
        v.right = v.left + static_cast<LONG>(static_cast<float>(r.right - r.left) * zoom);
        v.bottom = v.top + static_cast<LONG>(static_cast<float>(r.bottom - r.top) * zoom);
        if (r.bottom == r.top)
            v.bottom = v.top + 5;
        if (r.right == r.left)
            v.right = v.left + 5;
        if (PtInRect(&v, *point) && !o->locked && !o->hidden)
            hits.emplace_back(v, o->id);
    }
    if (hits.empty())
        return false;
    auto strictlyInside = [](const RECT& inner, const RECT& outer) {
        return inner.left > outer.left && inner.top > outer.top && inner.right < outer.right &&
               inner.bottom < outer.bottom;
    };
    for (size_t i = hits.size() - 1; i >= 1; --i) {
        for (size_t j = i; j >= 1 && strictlyInside(hits[j].first, hits[j - 1].first); --j)
            std::swap(hits[j], hits[j - 1]);
    }
    *rect = hits.front().first;
    if (id)
        *id = hits.front().second;
    return true;
}
