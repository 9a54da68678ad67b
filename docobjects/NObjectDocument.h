// NObjectDocument: a picture's document of drawing objects, a singly linked list in paint order
// (the head painted first) behind a root object that is never drawn.
//
// Objects join only through the add operations, which copy the given object and its payload,
// give the copy an id that no listed object has, and append it; they leave only all together
// (Clear, Load) or as a tail chain (FreeObjects). The list must not be relinked, nor listed ids
// changed, from outside: the document keeps its tail and its ids at hand so that adding stays
// cheap on long lists.
//
// The file form (Save, Load) is that of the "LMCDOC" document files; see NObjectDocumentFile.cpp.
// Painting (Paint and the painters, one per object type) is in NObjectDocumentPaint.cpp and
// NObjectDocumentPainters.cpp; rendering one object into a picture of its own in
// NObjectDocumentRender.cpp.
#pragma once

#include "docobjects/DocObject.h"
#include "docobjects/NResult.h"
#include "imaging/NGraphics.h"
#include "imaging/NImageBuffer.h"

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

class NObjectDocument {
public:
    // The reset state: no objects, count 1, current id 12345.
    NObjectDocument();
    ~NObjectDocument();
    NObjectDocument(const NObjectDocument&) = delete;
    NObjectDocument& operator=(const NObjectDocument&) = delete;

    // ---- Building the list ----
    // Appends a deep copy of the object by its type (2 to 15 but 5 and 10), through the add
    // operation of that type; callouts, images with text and curves with image are added here.
    // False, and nothing changes, for a null object or another type.
    bool AddObjectCopy(DocObject* object);
    // Each appends an object of its own type made from the given object's common fields and a
    // copy of the given payload (none for null). When a listed object already has the given
    // object's id, the given object's id becomes the smallest id from 1 that no listed object
    // has. The copy then has that id, which also becomes the current id. Always true.
    bool AddRectangle(DocObject& object, const RectanglePayload* payload);
    bool AddEllipse(DocObject& object, const EllipsePayload* payload);
    bool AddLine(DocObject& object, const LinePayload* payload);
    bool AddPolyline(DocObject& object, const PolylinePayload* payload);
    bool AddArrow(DocObject& object, const ArrowPayload* payload);
    bool AddText(DocObject& object, const TextPayload* payload);
    bool AddArrowCurve(DocObject& object, const CurvePayload* payload);
    bool AddCurve(DocObject& object, const CurvePayload* payload);
    bool AddPicture(DocObject& object, const PicturePayload* payload);

    // Frees the chain from that object to the end. A listed object is first cut from the list.
    void FreeObjects(DocObject* first);
    // The first listed object with that id; none logs "GetObject nullptr! wants <id>" and
    // answers null. (windows.h renames GetObject; every user sees the same name.)
    DocObject* GetObject(int32_t id);
    // Frees every object and returns to the reset state (root reset).
    void Clear();
    // The head of the list (null when empty).
    DocObject* First() const { return root.next; }

    // ---- The document file ----
    // Writes the document (version 3): signature, XMP text, EXIF block, preview (converted to
    // 24 bpp when needed; none when null or not valid), the base picture (compressed or raw),
    // then every listed object whose type has a record and whose rectangle has a width and a
    // height. The file appears only complete: it is written beside the path under another
    // name and renamed at the end; on failure nothing is left and an existing file stays.
    // 0; 104 the file cannot be written; 300, 301 compression; 400 the picture is not valid.
    NRESULT Save(const NImageBuffer& picture, const wchar_t* path, bool compressed, const NImageBuffer* preview,
                 const std::string& xmp, const std::string& exif);
    // Empties the document and reads the file into it, the base picture into the target.
    // mode 0: everything (the preview is passed over); mode 1: the preview into the target
    // (24 bpp) when the file has one, then only the base picture's size. width and height
    // answer the base picture's size; consumed the bytes read (never past the file's end).
    // 0; 103 the file does not open; 200 not a document; 204 the file ends or lies before the
    // base picture's data; 300 no memory; 302 the base picture or preview does not inflate;
    // 403 the base picture or preview cannot be made.
    NRESULT Load(NImageBuffer& target, const wchar_t* path, uint64_t& consumed, int32_t& width, int32_t& height,
                 int mode, std::string& xmp, std::string& exif);
    // Writes the picture's rows compressed (zlib level 5) at the stream position: u32 length,
    // then the bytes. 0; 104 a write fails; 300 no memory; 301 compression fails.
    static NRESULT WriteCompressedBits(FILE* file, const NImageBuffer& picture, uint32_t& compressedLength);

    // ---- Painting ----
    // Draws the listed objects, head first, into the device context. Render mode (render true)
    // draws every object at its own document coordinates, clipped to view width x height, and
    // draws nothing but the objects. Otherwise coordinates are mapped into the window's view by
    // the scroll offsets and the zoom (MapToView), objects are clipped to the window's client
    // area, and the current object's focus handles (showFocus) or picture warp frame (warpEdit),
    // the path line to the cursor (pathLine) and the frame of the object under the cursor are
    // drawn too. The shadows are offset by shadowOffset and blurred by shadowBlur. A zero width
    // or height of an object's rectangle becomes 10 in the object itself. False when the list is
    // empty.
    bool Paint(HDC dc, bool render, int viewWidth, int viewHeight, HWND window, int offsetX, int offsetY, float zoom,
               bool showFocus, int shadowOffset, int shadowBlur, bool pathLine, bool warpEdit);
    // Blends the object's shadow cache with its opacity: unrotated into shadowRect, rotated by
    // the object's angle (through the rotated shadow cache, made again when the angle changed)
    // centred in the rectangle left, top, right, bottom. rememberAngle stores the angle as the
    // cache angle. False for no object or no shadow cache.
    bool BlendObjectBitmap(HDC dc, DocObject* object, int left, int top, int right, int bottom,
                           const RECT& shadowRect, bool rememberAngle);
    // The object under the point (window coordinates) at these scroll offsets and zoom: of all
    // the objects hit that are neither locked nor hidden, the first in paint order, unless a
    // later one lies strictly inside it. Its view rectangle and id go out. False when nothing
    // is hit or an argument is null.
    bool HitTest(RECT* rect, int32_t* id, const POINT* point, int offsetX, int offsetY, float zoom);

    // The zoom of the last Paint of any document (1.0 before the first); painters make a cached
    // shadow again when the zoom changed.
    static float LastZoom();

    // The painters, one per object type. Each draws the object's drop shadow (when its shadow
    // flag is set) and then the object into the context's device context at the view rectangle
    // (left, top, right, bottom); the point-based types map their own points. False for no
    // object or no payload of the object's type.
    struct PaintContext {
        NGraphics* graphics = nullptr;   // on dc, antialiased
        HDC dc = nullptr;
        float zoom = 1.0f;
        float lastZoom = 1.0f;
        int shadowOffset = 0;
        int shadowBlur = 0;
        int offsetX = 0;                 // scroll offsets, for the points of the point-based types
        int offsetY = 0;
        bool render = false;             // points are taken as they stand
    };
    bool PaintRectangle(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintEllipse(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintLine(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintPolyline(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintArrow(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintCurve(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintArrowCurve(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintText(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintCallout(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintPicture(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintImageText(const PaintContext& c, const RECT& view, DocObject* object);
    bool PaintCurveImage(const PaintContext& c, const RECT& view, DocObject* object);
    // The constant alpha of row `row` of a text's reflection `height` rows high: 40 % at the
    // top, fading to 0 at seven tenths of the height (0 from there on).
    static float ReflectionRowAlpha(int row, int height);

    // ---- One object on its own ----
    // Renders the object into a new target picture as large as its rectangle plus margin, the
    // object margin / 2 pixels inside it: 32 bpp with straight alpha on transparency (withAlpha),
    // else 24 bpp on white. The object is drawn through a temporary document in render mode; it
    // is moved for that and moved back. False for no object, a size that cannot be made, or an
    // object of a type that is not drawn.
    bool RenderObjectToBitmap(DocObject* object, NImageBuffer& target, int margin, int shadowOffset, int shadowBlur,
                              bool withAlpha);
    // Moves the first listed object with that id: its rectangle's left and top by (dx1, dy1),
    // right and bottom by (dx2, dy2); start points and the points before the end by the first
    // pair, end points by the second (polylines and curves with image move all their points by
    // the first). No object with that id logs "GetObject nullptr! wants <id>" and answers false.
    bool MoveObject(int32_t id, int dx1, int dy1, int dx2, int dy2);
    static void MoveObjectBy(DocObject& object, int dx1, int dy1, int dx2, int dy2);

    // Load keeps the objects it reads. A caller that wants the picture only clears it: the
    // records are still read and checked, but each object is freed as soon as it was read, so a
    // file of very many small records costs no memory.
    bool keepLoadedObjects = true;

    int32_t count;          // 1 after a reset, plus 1 per added object
    int32_t currentId;      // 12345 after a reset, then the id of the last added object
    DocObject root;         // never drawn; root.next heads the list

private:
    // Steps shared by every add: the new object of that type from the given object's common
    // fields (with its angle when keepAngle), still without a payload, already linked.
    DocObject* Append(DocObject& object, int32_t type, bool keepAngle);
    void IndexObject(DocObject* object);
    void RebuildIndex();

    DocObject* tail_;             // last listed object, or &root
    std::set<int32_t> ids_;       // the ids of the listed objects
    int32_t lowestFreeId_;        // the smallest id from 1 not in ids_
};
