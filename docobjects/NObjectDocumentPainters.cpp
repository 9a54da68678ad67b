// The painters of a document's objects, one per object type, and the drop-shadow pipeline they
// share. Shapes are drawn through NGraphics (GDI+), pictures through alpha blending of 32-bpp
// premultiplied pictures.
//
// The shadow of an object is its shape drawn in white on black, shifted by the shadow offset,
// blurred, and used as the alpha of a picture of the shadow colour (the shadow cache, kept
// premultiplied in the object until its size, or for most painters the zoom, changes).
#include "docobjects/NObjectDocument.h"

#include "docobjects/DocViewMapping.h"
#include "imaging/ImageDraw.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using Context = NObjectDocument::PaintContext;

constexpr int kRoundCaps = 2;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr uint8_t kCalloutFillAlpha = 220;

// Drawing by GDI+ and by GDI meets in the same pixels: each side finishes before the other.
void Sync(NGraphics& g)
{
    if (g.graphics)
        Gdiplus::DllExports::GdipFlush(g.graphics, Gdiplus::FlushIntentionSync);
    GdiFlush();
}

int Truncated(float value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int>(std::clamp(value, -1073741824.0f, 1073741824.0f));
}

int ScaledWidth(int penWidth, float zoom)
{
    return std::clamp(Truncated(static_cast<float>(penWidth) * zoom), 1, 1 << 16);
}

// White for dark colours, black for light ones.
COLORREF ContrastColour(COLORREF c)
{
    const unsigned luma = (GetRValue(c) * 19595u + GetGValue(c) * 38470u + GetBValue(c) * 7471u) >> 16;
    return luma < 127 ? kWhite : 0;
}

// A margin or width from a payload (a number from a file), kept small enough for coordinate sums.
int Limited(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, 0, int64_t{1} << 20));
}

RECT Grown(RECT r, int by)
{
    return RECT{r.left - by, r.top - by, r.right + by, r.bottom + by};
}

RECT Spanned(POINT a, POINT b)
{
    return DocView::Normalised(RECT{a.x, a.y, b.x, b.y});
}

RECT Union(const RECT& a, const RECT& b)
{
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

POINT MapPoint(const Context& c, const DocPoint& p)
{
    return DocView::MapPoint<float>(p.x, p.y, c.offsetX, c.offsetY, c.zoom, c.render);
}

// Where and how an object's shadow goes.
struct ShadowPlan {
    RECT rect;             // the shadow picture's place in the view
    bool zoomRule;         // made again also when the zoom changed since the last paint
    bool rotating;         // blended through BlendObjectBitmap, turned about `about`
    RECT about;
    bool rememberAngle;
};

// The shadow pipeline. shape(g, dc, dx, dy) draws the object's shape in white, its view
// coordinates shifted by (dx, dy), through g or on dc.
template <typename Shape>
void PaintShadow(NObjectDocument& document, const Context& c, DocObject& o, const ShadowPlan& plan, Shape shape)
{
    const int64_t w = int64_t{plan.rect.right} - plan.rect.left;
    const int64_t h = int64_t{plan.rect.bottom} - plan.rect.top;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX)
        return;
    const bool remake = !o.shadowCache.valid || o.shadowCache.width != w || o.shadowCache.height != h ||
                        (plan.zoomRule && c.zoom != c.lastZoom);
    if (remake) {
        o.shadowCache.Destroy();
        o.rotatedShadowCache.Destroy();
        NImageBuffer mask;
        if (!mask.Create(static_cast<int>(w), static_cast<int>(h), 24, 0))
            return;
        {
            NGraphicsOnDC g(mask.dc);
            if (g.IsValid()) {
                shape(g.Get(), mask.dc, c.shadowOffset - plan.rect.left, c.shadowOffset - plan.rect.top);
                Sync(g.Get());
            }
        }
        GdiFlush();
        mask.BoxBlur(c.shadowBlur, 2);
        if (!mask.ConvertToGray8() || !o.shadowCache.Create(mask.width, mask.height, 32, o.shadowColour) ||
            !o.shadowCache.InsertChannel(4, mask)) {
            o.shadowCache.Destroy();
            return;
        }
        o.shadowCache.PremultiplyAlpha();
    }
    Sync(*c.graphics);
    if (plan.rotating) {
        document.BlendObjectBitmap(c.dc, &o, plan.about.left, plan.about.top, plan.about.right, plan.about.bottom,
                                   plan.rect, plan.rememberAngle);
    } else {
        AlphaBlendImageStretched(c.dc, plan.rect.left, plan.rect.top, static_cast<int>(w), static_cast<int>(h),
                                 o.shadowCache, o.opacity, AC_SRC_ALPHA);
    }
    GdiFlush();
}

// Blends a 32-bpp premultiplied picture at the rectangle with the opacity.
void BlendPicture(const Context& c, const NImageBuffer& picture, int x, int y, int w, int h, uint8_t opacity)
{
    if (!picture.valid || w <= 0 || h <= 0)
        return;
    Sync(*c.graphics);
    AlphaBlendImageStretched(c.dc, x, y, w, h, picture, opacity, AC_SRC_ALPHA);
    GdiFlush();
}

// A 32-bpp w x h picture of the source, scaled, with the source's alpha (scaled) or opaque,
// colours straight (not premultiplied).
bool MakeDisplayPicture(const NImageBuffer& source, int w, int h, NImageBuffer& out)
{
    if (!out.Create(w, h, 32, 0))
        return false;
    if (w == source.width && h == source.height)
        source.BlitTo(out.dc, 0, 0, SRCCOPY);
    else
        source.BltImageFiltered(out.dc, 0, 0, w, h, 0);
    GdiFlush();
    if (source.bpp != 32)
        return out.SetChannel(4, 255);
    NImageBuffer alpha;
    NImageBuffer sized;
    if (!source.ExtractChannel(4, alpha))
        return out.SetChannel(4, 255);
    // The smooth scaling refuses mixed changes (wider but lower): those are stretched.
    if (!alpha.ResizeImageReturnNew(sized, w, h) || sized.width != w || sized.height != h) {
        if (!sized.Copy(alpha) || !sized.ResizeImage(w, h))
            return out.SetChannel(4, 255);
    }
    if (!sized.ConvertToGray8() || !out.InsertChannel(4, sized))
        return out.SetChannel(4, 255);
    return true;
}

// The turned copy of a premultiplied display picture (transparent corners).
bool MakeRotatedPicture(const NImageBuffer& display, float angle, NImageBuffer& out)
{
    if (!out.Copy(display) || !out.ConvertToBpp(32, false) || !out.Rotate(angle, 0xFF00FF)) {
        out.Destroy();
        return false;
    }
    return true;
}

}  // namespace

// ---- Shapes ----

bool NObjectDocument::PaintRectangle(const PaintContext& c, const RECT& v, DocObject* o)
{
    const RectanglePayload* p = o ? o->PayloadAs<RectanglePayload>() : nullptr;
    if (!p)
        return false;
    NGraphics& g = *c.graphics;
    g.RotateAbout(v.left, v.top, v.right, v.bottom, o->angle);
    if (p->filled)
        g.FillRoundRect(v.left, v.top, v.right, v.bottom, p->fillColour, o->opacity, p->cornerRadius);
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow && v.right - v.left > 10 && v.bottom - v.top > 10) {
        const int margin = Limited(int64_t{p->penWidth} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(v, margin), true, true, v, true};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawRoundRect(v.left + dx, v.top + dy, v.right + dx, v.bottom + dy, width, kWhite, 255, p->dashStyle,
                            p->cornerRadius, kRoundCaps, kWhite);
        });
    }
    g.DrawRoundRect(v.left, v.top, v.right, v.bottom, width, p->outlineColour, o->opacity, p->dashStyle,
                    p->cornerRadius, kRoundCaps, ContrastColour(p->outlineColour));
    return true;
}

bool NObjectDocument::PaintEllipse(const PaintContext& c, const RECT& v, DocObject* o)
{
    const EllipsePayload* p = o ? o->PayloadAs<EllipsePayload>() : nullptr;
    if (!p)
        return false;
    NGraphics& g = *c.graphics;
    g.RotateAbout(v.left, v.top, v.right, v.bottom, o->angle);
    if (p->filled)
        g.FillEllipse(v.left, v.top, v.right, v.bottom, p->fillColour, o->opacity);
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow && v.right - v.left > 10 && v.bottom - v.top > 10) {
        const int margin = Limited(int64_t{p->penWidth} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(v, margin), true, true, v, true};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawEllipse(v.left + dx, v.top + dy, v.right + dx, v.bottom + dy, width, kWhite, 255, p->dashStyle,
                          kRoundCaps, kWhite);
        });
    }
    g.DrawEllipse(v.left, v.top, v.right, v.bottom, width, p->outlineColour, o->opacity, p->dashStyle, kRoundCaps,
                  ContrastColour(p->outlineColour));
    return true;
}

bool NObjectDocument::PaintLine(const PaintContext& c, const RECT&, DocObject* o)
{
    const LinePayload* p = o ? o->PayloadAs<LinePayload>() : nullptr;
    if (!p)
        return false;
    const POINT a = MapPoint(c, p->start);
    const POINT b = MapPoint(c, p->end);
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow) {
        const int margin = Limited(int64_t{p->penWidth} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(Spanned(a, b), margin), true, false, {}, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawLine(a.x + dx, a.y + dy, b.x + dx, b.y + dy, width, kWhite, 255, p->dashStyle, kRoundCaps, kWhite);
        });
    }
    c.graphics->DrawLine(a.x, a.y, b.x, b.y, width, p->colour, o->opacity, p->dashStyle, kRoundCaps,
                         ContrastColour(p->colour));
    return true;
}

bool NObjectDocument::PaintPolyline(const PaintContext& c, const RECT& v, DocObject* o)
{
    PolylinePayload* p = o ? o->PayloadAs<PolylinePayload>() : nullptr;
    if (!p)
        return false;
    if (p->points.size() < 2)
        return true;
    p->storedCount = static_cast<int32_t>(std::min<size_t>(p->points.size(), INT32_MAX));
    std::vector<POINT> points;
    points.reserve(p->points.size());
    for (const DocPoint& d : p->points)
        points.push_back(MapPoint(c, d));
    const int count = p->storedCount;
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow && v.right - v.left > 10 && v.bottom - v.top > 10) {
        const int margin = Limited(int64_t{Truncated(static_cast<float>(p->penWidth) * c.zoom)} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(v, margin), true, false, {}, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            std::vector<POINT> shifted(points);
            for (POINT& q : shifted) {
                q.x += dx;
                q.y += dy;
            }
            s.DrawPolyline(shifted.data(), count, width, kWhite, 255, p->dashStyle, kRoundCaps, kWhite);
        });
    }
    c.graphics->DrawPolyline(points.data(), count, width, p->colour, o->opacity, p->dashStyle, kRoundCaps,
                             ContrastColour(p->colour));
    return true;
}

bool NObjectDocument::PaintArrow(const PaintContext& c, const RECT&, DocObject* o)
{
    const ArrowPayload* p = o ? o->PayloadAs<ArrowPayload>() : nullptr;
    if (!p)
        return false;
    const POINT a = MapPoint(c, p->start);
    const POINT b = MapPoint(c, p->end);
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow) {
        const int margin = Limited(5 * int64_t{p->penWidth} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(Spanned(a, b), margin), true, false, {}, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawArrow(a.x + dx, a.y + dy, b.x + dx, b.y + dy, kWhite, 255, p->headStyle, p->dashStyle, width, kWhite);
        });
    }
    c.graphics->DrawArrow(a.x, a.y, b.x, b.y, p->colour, o->opacity, p->headStyle, p->dashStyle, width,
                          ContrastColour(p->colour));
    return true;
}

bool NObjectDocument::PaintCurve(const PaintContext& c, const RECT&, DocObject* o)
{
    const CurvePayload* p = o ? o->PayloadAs<CurvePayload>() : nullptr;
    if (!p)
        return false;
    POINT q[4];
    for (int i = 0; i < 4; ++i)
        q[i] = MapPoint(c, p->points[i]);
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow) {
        const RECT around = Union(Spanned(q[0], q[3]), Spanned(q[1], q[2]));
        const int margin = Limited(5 * int64_t{p->penWidth} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(around, margin), true, false, {}, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawBezier(q[0].x + dx, q[0].y + dy, q[1].x + dx, q[1].y + dy, q[2].x + dx, q[2].y + dy, q[3].x + dx,
                         q[3].y + dy, kWhite, kWhite, kWhite, 0, width, p->dashStyle, 255, kRoundCaps);
        });
    }
    c.graphics->DrawBezier(q[0].x, q[0].y, q[1].x, q[1].y, q[2].x, q[2].y, q[3].x, q[3].y, p->colour1, p->colour2,
                           p->colour3, p->gradientMode, width, p->dashStyle, o->opacity, kRoundCaps);
    return true;
}

bool NObjectDocument::PaintArrowCurve(const PaintContext& c, const RECT&, DocObject* o)
{
    const CurvePayload* p = o ? o->PayloadAs<CurvePayload>() : nullptr;
    if (!p)
        return false;
    POINT q[4];
    for (int i = 0; i < 4; ++i)
        q[i] = MapPoint(c, p->points[i]);
    const int width = ScaledWidth(p->penWidth, c.zoom);
    if (o->shadow) {
        // A straight stretch spans no area: such a rectangle is grown by 4.
        auto box = [](RECT r) {
            r = DocView::Normalised(r);
            return (r.right == r.left || r.bottom == r.top) ? Grown(r, 4) : r;
        };
        const RECT around = Union(box(RECT{q[0].x, q[0].y, q[3].x, q[3].y}),
                                  box(RECT{q[1].x, q[1].y, q[2].x + 1, q[2].y + 1}));
        const int margin = Limited(5 * int64_t{p->penWidth} + 4 * c.shadowBlur);
        const ShadowPlan plan{Grown(around, margin), true, false, {}, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawBezierEx(q[0].x + dx, q[0].y + dy, q[1].x + dx, q[1].y + dy, q[2].x + dx, q[2].y + dy, q[3].x + dx,
                           q[3].y + dy, kWhite, kWhite, kWhite, 0, width, p->dashStyle, p->endHead, 255, kRoundCaps);
        });
    }
    c.graphics->DrawBezierEx(q[0].x, q[0].y, q[1].x, q[1].y, q[2].x, q[2].y, q[3].x, q[3].y, p->colour1, p->colour2,
                             p->colour3, p->gradientMode, width, p->dashStyle, p->endHead, o->opacity, kRoundCaps);
    return true;
}

// ---- Texts ----

bool NObjectDocument::PaintText(const PaintContext& c, const RECT& v, DocObject* o)
{
    const TextPayload* p = o ? o->PayloadAs<TextPayload>() : nullptr;
    if (!p)
        return false;
    NGraphics& g = *c.graphics;
    g.RotateAbout(v.left, v.top, v.right, v.bottom, o->angle);
    const float size = static_cast<float>(p->fontSize) * c.zoom;
    const wchar_t* text = p->text.c_str();
    // The text in white (shadow and reflection mask) and in its colours.
    auto white = [&](NGraphics& s, int left, int top, int right, int bottom) {
        s.DrawOutlinedString(left, top, right, bottom, text, size, p->font, p->alignment, 1, kWhite, 255, p->outline,
                             kWhite, p->effectStyle, 0xFFFFFF, kWhite, p->effectValue1, p->effectValue2);
    };
    auto coloured = [&](NGraphics& s, int left, int top, int right, int bottom) {
        s.DrawOutlinedString(left, top, right, bottom, text, size, p->font, p->alignment, 1, p->textColour,
                             o->opacity, p->outline, p->outlineColour, p->effectStyle, p->effectColour1,
                             p->effectColour2, p->effectValue1, p->effectValue2);
    };
    const int w = v.right - v.left;
    const int h = v.bottom - v.top;
    if (o->shadow && w > 10 && h > 10) {
        const ShadowPlan plan{v, true, true, v, true};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            white(s, v.left + dx, v.top + dy, v.right + dx, v.bottom + dy);
        });
    }
    coloured(g, v.left, v.top, v.right, v.bottom);

    if (p->reflection && w > 0 && h > 0) {
        // The text upside down below its rectangle, in the shadow colour behind it, fading out.
        NImageBuffer mask;
        NImageBuffer mirror;
        if (mask.Create(w, h, 24, 0) && mirror.Create(w, h, 32, o->shadowColour)) {
            {
                NGraphicsOnDC m(mask.dc);
                if (m.IsValid()) {
                    white(m.Get(), 0, 0, w, h);
                    Sync(m.Get());
                }
                NGraphicsOnDC t(mirror.dc);
                if (t.IsValid()) {
                    coloured(t.Get(), 0, 0, w, h);
                    Sync(t.Get());
                }
            }
            if (mask.ConvertToGray8() && mirror.InsertChannel(4, mask) && mirror.PremultiplyAlpha() &&
                mirror.FlipVertical()) {
                int x = v.left;
                if (o->angle != 0.0f) {
                    if (!mirror.Rotate(360.0f - o->angle, 0xFF00FF))
                        return true;
                    x = v.left + (w - mirror.width) / 2;
                }
                Sync(g);
                for (int i = 0; i < mirror.height; ++i) {
                    const float a = ReflectionRowAlpha(i, mirror.height);
                    if (a <= 0.0f)
                        break;
                    AlphaBlendDC(c.dc, x, v.bottom + i, mirror.width, 1, mirror.dc, 0, i, mirror.width, 1,
                                 static_cast<int>(a), AC_SRC_ALPHA);
                }
                GdiFlush();
            }
        }
    }
    return true;
}

float NObjectDocument::ReflectionRowAlpha(int row, int height)
{
    if (height <= 0)
        return 0.0f;
    const float a = (0.4f - static_cast<float>(row) * 0.39f / (0.7f * static_cast<float>(height))) * 255.0f;
    return std::max(a, 0.0f);
}

bool NObjectDocument::PaintCallout(const PaintContext& c, const RECT& v, DocObject* o)
{
    const CalloutPayload* p = o ? o->PayloadAs<CalloutPayload>() : nullptr;
    if (!p)
        return false;
    NGraphics& g = *c.graphics;
    const POINT ps = MapPoint(c, p->pointerStart);
    const POINT pe = MapPoint(c, p->pointerEnd);
    const int fw = Limited(p->frameWidth);
    const int frame = Truncated(static_cast<float>(fw) * c.zoom);
    const float size = static_cast<float>(p->fontSize) * c.zoom;
    if (p->filled)
        g.FillRoundRect(v.left, v.top, v.right, v.bottom, p->fillColour, std::min(o->opacity, kCalloutFillAlpha),
                        p->cornerRadius);

    // The three shapes (pointer, frame, text), shifted by (dx, dy).
    auto shapes = [&](NGraphics& s, int dx, int dy, COLORREF colour, COLORREF textColour) {
        s.DrawArrow(ps.x + dx, ps.y + dy, pe.x + dx, pe.y + dy, colour, o->opacity, 0, p->dashStyle, frame + 1, kWhite);
        s.DrawRoundRect(v.left + dx, v.top + dy, v.right + dx, v.bottom + dy, frame, colour, o->opacity, p->dashStyle,
                        p->cornerRadius, kRoundCaps, kWhite);
        s.DrawString(v.left + fw + dx, v.top + fw + dy, v.right - fw + dx, v.bottom - fw + dy, p->text, size, p->font,
                     p->alignment, 0, textColour, o->opacity);
    };

    if (o->shadow) {
        RECT r = v;
        r.left = std::min<LONG>(r.left, ps.x);
        r.top = std::min<LONG>(r.top, ps.y);
        r.right = std::max<LONG>(r.right, ps.x);
        r.bottom = std::max<LONG>(r.bottom, ps.y);
        r = Grown(DocView::Normalised(r), Limited(5 * int64_t{fw} + 4 * c.shadowBlur));
        const int w = r.right - r.left;
        const int h = r.bottom - r.top;
        NImageBuffer under;
        if (w > 10 && h > 10 && under.Create(w, h, 24, 0)) {
            // The shadow is blurred together with what lies under it, then laid over the
            // picture through a blurred mask of the shapes.
            Sync(g);
            StretchBlt(under.dc, 0, 0, w, h, c.dc, r.left, r.top, w, h, SRCCOPY);
            GdiFlush();
            {
                NGraphicsOnDC b(under.dc);
                if (b.IsValid()) {
                    shapes(b.Get(), c.shadowOffset - r.left, c.shadowOffset - r.top, o->shadowColour, o->shadowColour);
                    Sync(b.Get());
                }
            }
            NImageBuffer& mask = o->shadowCache;
            if (!mask.valid || mask.width != w || mask.height != h || c.zoom != c.lastZoom) {
                mask.Destroy();
                if (mask.Create(w, h, 24, 0)) {
                    NGraphicsOnDC m(mask.dc);
                    if (m.IsValid()) {
                        shapes(m.Get(), c.shadowOffset - r.left, c.shadowOffset - r.top, kWhite, kWhite);
                        Sync(m.Get());
                    }
                }
                GdiFlush();
                mask.BoxBlur(c.shadowBlur, 2);
            }
            under.BoxBlur(c.shadowBlur, 1);
            NImageBuffer over;
            if (mask.valid && over.Create(w, h, 32, 0)) {
                BitBlt(over.dc, 0, 0, w, h, c.dc, r.left, r.top, SRCCOPY);
                GdiFlush();
                over.BlendThroughMask(under, mask, 0, 0);
                // A picture with alpha gains the shadow's coverage, so that the shadow shows on
                // transparent parts too (the colours are premultiplied by it already).
                for (int y = 0; y < h; ++y) {
                    uint8_t* px = over.bits + static_cast<size_t>(y) * over.stride;
                    const uint8_t* m = mask.bits + static_cast<size_t>(y) * mask.stride;
                    for (int x = 0; x < w; ++x, px += 4, m += 3)
                        px[3] = static_cast<uint8_t>(px[3] + (255 - px[3]) * m[0] / 255);
                }
                over.BlitTo(c.dc, r.left, r.top, SRCCOPY);
                GdiFlush();
            }
        }
    }
    shapes(g, 0, 0, p->frameColour, p->textColour);
    return true;
}

// ---- Pictures ----

bool NObjectDocument::PaintPicture(const PaintContext& c, const RECT& v, DocObject* o)
{
    PicturePayload* p = o ? o->PayloadAs<PicturePayload>() : nullptr;
    if (!p)
        return false;
    NImageBuffer& picture = p->picture;
    NImageBuffer& unwarped = o->unwarpedCache;

    // The warp: the payload's picture is the unwarped picture mapped onto the four corners.
    bool warped = false;
    bool keysDiffer = p->warpMode != o->warpModeKey;
    for (int i = 0; i < 8; ++i)
        keysDiffer = keysDiffer || p->warp[i] != o->warpKey[i];
    if (p->warpMode == 0) {
        if (!unwarped.valid)
            unwarped.Copy(picture);
        else if (picture.width != unwarped.width || picture.height != unwarped.height)
            picture.Copy(unwarped);
        std::fill(std::begin(o->warpKey), std::end(o->warpKey), int16_t{-1});
        o->warpModeKey = 0;
    } else if (p->warpMode == 1 || p->warpMode == 2) {
        if (p->warpMode == 1 && !unwarped.valid)
            unwarped.Copy(picture);
        if (keysDiffer) {
            if (p->warpMode == 1 && unwarped.valid && picture.Copy(unwarped)) {
                const int16_t* q = p->warp;
                picture.WarpToQuad(q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]);
                warped = true;
            }
            std::copy(std::begin(p->warp), std::end(p->warp), std::begin(o->warpKey));
            o->warpModeKey = p->warpMode;
        }
    }
    // An object whose picture could not be made has nothing to show.
    if (!picture.valid || picture.width <= 0 || picture.height <= 0)
        return true;

    // The picture fitted into the rectangle, centred.
    const int t = std::abs(v.right - v.left);
    const int u = std::abs(v.bottom - v.top);
    const double s = std::min(static_cast<double>(t) / picture.width, static_cast<double>(u) / picture.height);
    const int e = static_cast<int>(picture.width * s);
    const int f = static_cast<int>(picture.height * s);
    if (e <= 0 || f <= 0)
        return true;
    const int x0 = v.left + (t - e) / 2;
    const int y0 = v.top + (u - f) / 2;

    if (o->shadow) {
        const int margin = Limited(8 * int64_t{c.shadowBlur});
        const ShadowPlan plan{Grown(RECT{x0, y0, x0 + e, y0 + f}, margin), false, true, v, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics&, HDC dc, int dx, int dy) {
            FillRectSolid(dc, x0 + dx, y0 + dy, x0 + dx + e, y0 + dy + f, kWhite);
        });
    }

    const bool reuse = std::abs(e - o->displayCacheWidth) <= 2 && std::abs(f - o->displayCacheHeight) <= 2 &&
                       o->displayCache.valid && p->saturation == 0 && p->contrast == 0 && p->brightness == 0 &&
                       o->cacheAngle == o->angle && !warped;
    if (!reuse) {
        o->rotatedDisplayCache.Destroy();
        if (!MakeDisplayPicture(picture, e, f, o->displayCache)) {
            o->displayCache.Destroy();
            return true;
        }
        if (p->saturation != 0)
            o->displayCache.AdjustSaturation(p->saturation);
        if (p->brightness != 0)
            o->displayCache.AdjustBrightness(p->brightness);
        if (p->contrast != 0)
            o->displayCache.AdjustContrast(p->contrast);
        // Blending takes premultiplied colours; the effects above worked on straight ones.
        o->displayCache.PremultiplyAlpha();
        if (o->angle != 0.0f)
            MakeRotatedPicture(o->displayCache, o->angle, o->rotatedDisplayCache);
        // The size the cache was made for: sizes within 2 pixels of it use it, however many
        // paints of slowly changing sizes follow.
        o->displayCacheWidth = e;
        o->displayCacheHeight = f;
    }
    o->cacheAngle = o->angle;

    if (o->angle != 0.0f) {
        const NImageBuffer& turned = o->rotatedDisplayCache;
        BlendPicture(c, turned, v.left + (t - turned.width) / 2, v.top + (u - turned.height) / 2, turned.width,
                     turned.height, o->opacity);
    } else {
        BlendPicture(c, o->displayCache, x0, y0, e, f, o->opacity);
    }
    return true;
}

bool NObjectDocument::PaintImageText(const PaintContext& c, const RECT& v, DocObject* o)
{
    ImageTextPayload* p = o ? o->PayloadAs<ImageTextPayload>() : nullptr;
    if (!p)
        return false;
    NGraphics& g = *c.graphics;
    g.RotateAbout(v.left, v.top, v.right, v.bottom, o->angle);
    const NImageBuffer& picture = p->picture;
    const int t = std::abs(v.right - v.left);
    const int u = std::abs(v.bottom - v.top);

    // The picture fitted into the rectangle grown by a margin, centred.
    if (picture.valid && picture.width > 0 && picture.height > 0) {
        const int m = Truncated(c.zoom * 50.0f);
        const float s = std::min(static_cast<float>(t + 2 * m) / static_cast<float>(picture.width),
                                 static_cast<float>(u + 2 * m) / static_cast<float>(picture.height));
        const int d = Truncated(static_cast<float>(picture.width) * s);
        const int e = Truncated(static_cast<float>(picture.height) * s);
        const int dx = (2 * m + t - d) / 2 - m;
        const int dy = (u + 2 * m - e) / 2 - m;
        if (d > 0 && e > 0) {
            if (d != o->displayCacheWidth || e != o->displayCacheHeight || !o->displayCache.valid ||
                o->cacheAngle != o->angle) {
                o->rotatedDisplayCache.Destroy();
                if (MakeDisplayPicture(picture, d, e, o->displayCache)) {
                    o->displayCache.PremultiplyAlpha();
                    if (o->angle != 0.0f) {
                        MakeRotatedPicture(o->displayCache, o->angle, o->rotatedDisplayCache);
                        o->rotatedShadowCache.Destroy();
                    }
                } else {
                    o->displayCache.Destroy();
                }
            }
            o->displayCacheWidth = d;
            o->displayCacheHeight = e;
            o->cacheAngle = o->angle;
            if (o->angle != 0.0f) {
                const NImageBuffer& turned = o->rotatedDisplayCache;
                BlendPicture(c, turned, v.left + (t - turned.width) / 2, v.top + (u - turned.height) / 2,
                             turned.width, turned.height, o->opacity);
            } else {
                BlendPicture(c, o->displayCache, v.left + dx, v.top + dy, d, e, o->opacity);
            }
        }
    }

    const float size = static_cast<float>(p->fontSize) * c.zoom;
    if (o->shadow && v.right - v.left > 10 && v.bottom - v.top > 10) {
        const ShadowPlan plan{v, true, true, v, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            s.DrawString(v.left + dx, v.top + dy, v.right + dx, v.bottom + dy, p->text, size, p->font, p->alignment, 1,
                         kWhite, 255);
        });
    }
    g.DrawString(v.left, v.top, v.right, v.bottom, p->text, size, p->font, p->alignment, 1, p->textColour,
                 o->opacity);
    return true;
}

bool NObjectDocument::PaintCurveImage(const PaintContext& c, const RECT& v, DocObject* o)
{
    const CurveImagePayload* p = o ? o->PayloadAs<CurveImagePayload>() : nullptr;
    if (!p)
        return false;
    std::vector<POINT> points;
    points.reserve(p->points.size());
    for (const DocPoint& d : p->points)
        points.push_back(MapPoint(c, d));
    const int width = ScaledWidth(p->penWidth, c.zoom);
    auto segments = [&](NGraphics& s, int dx, int dy, COLORREF c1, COLORREF c2, COLORREF c3, uint8_t alpha) {
        for (size_t i = 0; i + 1 < points.size(); ++i) {
            const POINT a{points[i].x + dx, points[i].y + dy};
            const POINT b{points[i + 1].x + dx, points[i + 1].y + dy};
            s.DrawBezier(a.x, a.y, a.x, a.y, a.x, a.y, b.x, b.y, c1, c2, c3, p->gradientMode, width, p->dashStyle,
                         alpha, kRoundCaps);
        }
    };
    if (o->shadow && v.right - v.left > 10 && v.bottom - v.top > 10) {
        const ShadowPlan plan{v, true, true, v, false};
        PaintShadow(*this, c, *o, plan, [&](NGraphics& s, HDC, int dx, int dy) {
            segments(s, dx, dy, kWhite, kWhite, kWhite, 255);
        });
    }
    segments(*c.graphics, 0, 0, p->colour1, p->colour2, p->colour3, o->opacity);

    if (!p->hidePictures && p->picture.valid && !points.empty()) {
        // One premultiplied 32-bpp copy serves every point.
        NImageBuffer blended;
        bool ready = blended.Copy(p->picture);
        if (ready && blended.bpp != 32)
            ready = blended.ConvertToBpp(32, false) && blended.SetChannel(4, 255);
        if (ready && blended.PremultiplyAlpha()) {
            const int w = Truncated(static_cast<float>(p->picture.width) * c.zoom);
            const int h = Truncated(static_cast<float>(p->picture.height) * c.zoom);
            for (const POINT& q : points)
                BlendPicture(c, blended, q.x - w / 2, q.y - h / 2, w, h, o->opacity);
        }
    }
    return true;
}
