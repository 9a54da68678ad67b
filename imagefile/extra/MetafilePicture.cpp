#include "imagefile/extra/MetafilePicture.h"

#include "imaging/NImageBuffer.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kWindowsHeaderBytes = 18;
constexpr uint32_t kSmallestRecordWords = 3;
constexpr size_t kEnhancedHeaderBytes = 88;
constexpr uint32_t kEnhancedSignature = 0x464D4520;   // " EMF"
constexpr uint32_t kEndOfFileRecord = 14;
constexpr size_t kReadSlack = 64;

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}


// True when `length` bytes at `offset` lie inside a record of `size` bytes.
bool Inside(uint64_t offset, uint64_t length, uint32_t size)
{
    return offset <= size && length <= size - offset;
}

// A device-independent bitmap inside a record: the header whole, and for uncompressed pixels
// all the rows its header claims.
bool BitmapInside(const uint8_t* record, uint32_t size, uint32_t infoAt, uint32_t infoBytes, uint32_t bitsAt,
                  uint32_t bitsBytes)
{
    if (infoBytes == 0 && bitsBytes == 0)
        return true;
    if (infoBytes < sizeof(BITMAPINFOHEADER) || !Inside(infoAt, infoBytes, size) || !Inside(bitsAt, bitsBytes, size))
        return false;
    const uint8_t* info = record + infoAt;
    const int64_t width = static_cast<int32_t>(U32(info + 4));
    const int64_t height = static_cast<int32_t>(U32(info + 8));
    const uint32_t bitCount = U16(info + 14);
    const uint32_t compression = U32(info + 16);
    if (width < 0 || bitCount == 0 || bitCount > 32)
        return false;
    if (compression != BI_RGB && compression != BI_BITFIELDS)
        return true;
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    return rows == 0 || rowBytes <= bitsBytes / rows;
}

// The parameter words of a Windows-metafile record a function needs at the least; 0 for
// functions not listed.
uint32_t SmallestParameters(uint16_t function)
{
    switch (function) {
    case META_SETBKMODE: case META_SETMAPMODE: case META_SETROP2: case META_SETPOLYFILLMODE:
    case META_SETSTRETCHBLTMODE: case META_SETTEXTALIGN: case META_RESTOREDC: case META_SELECTOBJECT:
    case META_DELETEOBJECT: case META_SELECTPALETTE: case META_SELECTCLIPREGION: case META_POLYGON:
    case META_POLYLINE: case META_POLYPOLYGON: case META_TEXTOUT: case META_INVERTREGION: case META_PAINTREGION:
        return 1;
    case META_SETBKCOLOR: case META_SETTEXTCOLOR: case META_SETWINDOWORG: case META_SETWINDOWEXT:
    case META_SETVIEWPORTORG: case META_SETVIEWPORTEXT: case META_OFFSETWINDOWORG: case META_OFFSETVIEWPORTORG:
    case META_LINETO: case META_MOVETO: case META_OFFSETCLIPRGN: case META_SETMAPPERFLAGS: case META_FILLREGION:
    case META_CREATEPALETTE: case META_ESCAPE:
        return 2;
    case META_RECTANGLE: case META_ELLIPSE: case META_SETPIXEL: case META_INTERSECTCLIPRECT:
    case META_EXCLUDECLIPRECT: case META_SCALEWINDOWEXT: case META_SCALEVIEWPORTEXT: case META_EXTTEXTOUT:
    case META_CREATEBRUSHINDIRECT: case META_FRAMEREGION:
        return 4;
    case META_CREATEREGION:
        return 11;
    case META_BITBLT:
        return 12;
    case META_STRETCHBLT:
        return 15;
    case META_CREATEPENINDIRECT: case META_FLOODFILL:
        return 5;
    case META_ROUNDRECT: case META_PATBLT: case META_EXTFLOODFILL:
        return 6;
    case META_ARC: case META_PIE: case META_CHORD:
        return 8;
    case META_CREATEFONTINDIRECT:
        return 9;
    default:
        return 0;
    }
}

// A device-independent bitmap that fills a Windows-metafile record from `infoAt` to its end.
bool RecordBitmapInside(const uint8_t* record, uint32_t size, uint32_t infoAt)
{
    if (!Inside(infoAt, sizeof(BITMAPINFOHEADER), size))
        return false;
    const uint8_t* info = record + infoAt;
    const uint32_t headerBytes = U32(info);
    const uint32_t bitCount = U16(info + 14);
    const uint64_t used = U32(info + 32);
    const uint64_t colours = used ? used : bitCount <= 8 ? uint64_t{1} << bitCount : 0;
    if (headerBytes < sizeof(BITMAPINFOHEADER) || bitCount > 32)
        return false;
    const uint64_t bitsAt = uint64_t{infoAt} + headerBytes + colours * 4;
    return bitsAt <= size &&
           BitmapInside(record, size, infoAt, static_cast<uint32_t>(bitsAt - infoAt), static_cast<uint32_t>(bitsAt),
                        static_cast<uint32_t>(size - bitsAt));
}

// A device-dependent bitmap of the first Windows (rows of whole 16-bit words) fits in `words`.
bool DeviceBitmapInside(uint64_t width, uint64_t height, uint64_t planes, uint64_t bitsPerPixel, uint64_t words)
{
    return (width * bitsPerPixel + 15) / 16 * height * planes <= words;
}

// The counts and object indices inside a Windows-metafile record agree with its size and with
// the metafile's `objects`: GDI trusts them, and clears its object table at the index it is given.
bool WindowsRecordSound(const uint8_t* record, uint32_t size, uint32_t objects)
{
    const uint16_t function = U16(record + 4);
    const uint32_t words = (size - 6) / 2;   // parameter words
    const uint8_t* p = record + 6;
    const auto word = [&](uint32_t i) -> uint32_t { return i < words ? U16(p + 2 * i) : 0; };
    if (words < SmallestParameters(function))
        return false;
    switch (function) {
    case META_SELECTOBJECT: case META_DELETEOBJECT: case META_SELECTCLIPREGION: case META_INVERTREGION:
    case META_PAINTREGION:
        return word(0) < objects;
    case META_SELECTPALETTE:   // some players take the index from the second word
        return word(0) < objects && (words < 2 || word(1) < objects);
    case META_FILLREGION:
        return word(0) < objects && word(1) < objects;
    case META_FRAMEREGION:
        return word(2) < objects && word(3) < objects;
    case META_CREATEPALETTE:   // a version, a count, and four bytes an entry
        return 2 + uint64_t{word(1)} * 2 <= words;
    case META_ESCAPE:          // a function, a byte count, the bytes
        return 2 + (uint64_t{word(1)} + 1) / 2 <= words;
    case META_BITBLT:          // a device-dependent bitmap: width, height, bytes a row, planes, bits a pixel
        return DeviceBitmapInside(word(7), word(8), word(10), word(11), words - 12);
    case META_STRETCHBLT:
        return DeviceBitmapInside(word(10), word(11), word(13), word(14), words - 15);
    case META_CREATEPATTERNBRUSH:
        return false;   // a bitmap of the first Windows, read differently by each player: not played
    case META_POLYGON: case META_POLYLINE:
        return uint64_t{word(0)} * 2 + 1 <= words;
    case META_POLYPOLYGON: {
        const uint32_t polygons = word(0);
        if (uint64_t{polygons} + 1 > words)
            return false;
        uint64_t points = 0;
        for (uint32_t i = 0; i < polygons; ++i)
            points += word(1 + i);
        return 1 + polygons + points * 2 <= words;
    }
    case META_TEXTOUT:
        return 1 + (uint64_t{word(0)} + 1) / 2 + 2 <= words;
    case META_EXTTEXTOUT: {
        const uint32_t characters = word(2);
        const uint32_t rectangle = (word(3) & (ETO_OPAQUE | ETO_CLIPPED)) ? 4 : 0;
        return 4 + rectangle + (uint64_t{characters} + 1) / 2 <= words;
    }
    case META_DIBBITBLT:
        return words <= 9 || RecordBitmapInside(record, size, 6 + 8 * 2);
    case META_DIBSTRETCHBLT:
        return words <= 11 || RecordBitmapInside(record, size, 6 + 10 * 2);
    case META_STRETCHDIB:
        return RecordBitmapInside(record, size, 6 + 11 * 2);
    case META_SETDIBTODEV:
        return RecordBitmapInside(record, size, 6 + 9 * 2);
    case META_DIBCREATEPATTERNBRUSH:
        return RecordBitmapInside(record, size, 6 + 2 * 2);
    default:
        return true;
    }
}

// The fewest bytes a record of the type holds (its fixed fields); 8 for types not listed.
uint32_t SmallestRecord(uint32_t type)
{
    switch (type) {
    case EMR_SETMETARGN: case EMR_SAVEDC: case EMR_REALIZEPALETTE: case EMR_BEGINPATH: case EMR_ENDPATH:
    case EMR_CLOSEFIGURE: case EMR_FLATTENPATH: case EMR_WIDENPATH: case EMR_ABORTPATH:
        return 8;
    case EMR_SETMAPPERFLAGS: case EMR_SETMAPMODE: case EMR_SETBKMODE: case EMR_SETPOLYFILLMODE: case EMR_SETROP2:
    case EMR_SETSTRETCHBLTMODE: case EMR_SETTEXTALIGN: case EMR_SETTEXTCOLOR: case EMR_SETBKCOLOR:
    case EMR_RESTOREDC: case EMR_SELECTOBJECT: case EMR_DELETEOBJECT: case EMR_SELECTPALETTE:
    case EMR_SETARCDIRECTION: case EMR_SETMITERLIMIT: case EMR_GDICOMMENT: case EMR_SELECTCLIPPATH:
    case EMR_SETICMMODE: case EMR_SETCOLORSPACE: case EMR_DELETECOLORSPACE: case EMR_SETLAYOUT:
        return 12;
    case EMR_SETWINDOWEXTEX: case EMR_SETWINDOWORGEX: case EMR_SETVIEWPORTEXTEX: case EMR_SETVIEWPORTORGEX:
    case EMR_SETBRUSHORGEX: case EMR_OFFSETCLIPRGN: case EMR_MOVETOEX: case EMR_LINETO: case EMR_CREATEPALETTE:
    case EMR_RESIZEPALETTE: case EMR_EXTSELECTCLIPRGN:
        return 16;
    case EMR_SETPIXELV: case EMR_SETPALETTEENTRIES: case EMR_EOF:
        return 20;
    case EMR_EXCLUDECLIPRECT: case EMR_INTERSECTCLIPRECT: case EMR_SCALEVIEWPORTEXTEX: case EMR_SCALEWINDOWEXTEX:
    case EMR_CREATEBRUSHINDIRECT: case EMR_ELLIPSE: case EMR_RECTANGLE: case EMR_EXTFLOODFILL: case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH: case EMR_STROKEPATH:
        return 24;
    case EMR_CREATEPEN: case EMR_ANGLEARC: case EMR_INVERTRGN: case EMR_PAINTRGN: case EMR_POLYBEZIER:
    case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO: case EMR_POLYLINETO: case EMR_POLYDRAW:
    case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: case EMR_POLYDRAW16:
        return 28;
    case EMR_SETCOLORADJUSTMENT: case EMR_SETWORLDTRANSFORM: case EMR_ROUNDRECT: case EMR_FILLRGN:
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16:
    case EMR_CREATEMONOBRUSH: case EMR_CREATEDIBPATTERNBRUSHPT:
        return 32;
    case EMR_MODIFYWORLDTRANSFORM: case EMR_GRADIENTFILL:
        return 36;
    case EMR_ARC: case EMR_CHORD: case EMR_PIE: case EMR_ARCTO: case EMR_FRAMERGN:
        return 40;
    case EMR_EXTCREATEPEN:
        return 52;
    case EMR_SETDIBITSTODEVICE:
        return 76;
    case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW:
        return 76;
    case EMR_STRETCHDIBITS:
        return 80;
    case EMR_BITBLT:
        return 100;
    case EMR_EXTCREATEFONTINDIRECTW:
        return 12 + sizeof(LOGFONTW);
    case EMR_STRETCHBLT: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT:
        return 108;
    default:
        return 8;
    }
}

// Region data of `bytes` bytes at `offset`: its header whole and all the rectangles it counts.
bool RegionInside(const uint8_t* record, uint32_t size, uint32_t offset, uint32_t bytes)
{
    if (!Inside(offset, bytes, size) || bytes < sizeof(RGNDATAHEADER))
        return false;
    const uint64_t rectangles = U32(record + offset + 8);
    return rectangles * sizeof(RECT) <= bytes - sizeof(RGNDATAHEADER);
}

// The counts and offsets inside an enhanced-metafile record agree with its size, for the records
// that carry them (points, polygons, texts, bitmaps), and the object indices lie inside the
// metafile's table of `handles` objects (a stock object has its top bit set): GDI trusts them,
// and writes into its object table at the index it is given.
bool EnhancedRecordSound(const uint8_t* record, uint32_t size, uint32_t handles)
{
    const uint32_t type = U32(record);
    if (size < SmallestRecord(type))
        return false;
    const auto at = [&](uint32_t offset) { return offset + 4 <= size ? U32(record + offset) : UINT32_MAX; };
    switch (type) {
    case EMR_GRADIENTFILL: {
        const uint64_t vertices = at(24);
        const uint64_t shapes = at(28);
        const uint32_t mode = at(32);
        if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V && mode != GRADIENT_FILL_TRIANGLE)
            return false;
        return Inside(36, vertices * 16 + shapes * (mode == GRADIENT_FILL_TRIANGLE ? 12 : 8), size);
    }
    case EMR_FILLRGN:
        return at(28) < handles && RegionInside(record, size, 32, at(24));
    case EMR_FRAMERGN:
        return at(28) < handles && RegionInside(record, size, 40, at(24));
    case EMR_INVERTRGN: case EMR_PAINTRGN:
        return RegionInside(record, size, 28, at(24));
    case EMR_EXTSELECTCLIPRGN:
        return at(8) == 0 || RegionInside(record, size, 16, at(8));
    case EMR_CREATEPALETTE:
        return at(8) < handles && Inside(16, uint64_t{U16(record + 14)} * 4, size);
    case EMR_SETPALETTEENTRIES:
        return at(8) < handles && Inside(20, uint64_t{at(16)} * 4, size);
    case EMR_SELECTOBJECT: case EMR_DELETEOBJECT: {
        const uint32_t index = at(8);
        return (index & 0x80000000u) ? type == EMR_SELECTOBJECT : index < handles;
    }
    case EMR_CREATEPEN: case EMR_CREATEBRUSHINDIRECT: case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_EXTCREATEPEN: case EMR_CREATECOLORSPACE: case EMR_CREATECOLORSPACEW: case EMR_SELECTPALETTE:
    case EMR_RESIZEPALETTE: case EMR_DELETECOLORSPACE: case EMR_SETCOLORSPACE:
        return at(8) < handles || (type == EMR_SELECTPALETTE && (at(8) & 0x80000000u));
    case EMR_POLYBEZIER: case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO: case EMR_POLYLINETO:
        return Inside(28, uint64_t{at(24)} * 8, size);
    case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
        return Inside(28, uint64_t{at(24)} * 4, size);
    case EMR_POLYDRAW:
        return Inside(28, uint64_t{at(24)} * 9, size);
    case EMR_POLYDRAW16:
        return Inside(28, uint64_t{at(24)} * 5, size);
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16: {
        const uint64_t polygons = at(24);
        const uint64_t points = at(28);
        const uint64_t pointBytes = type == EMR_POLYPOLYLINE || type == EMR_POLYPOLYGON ? 8 : 4;
        if (!Inside(32, polygons * 4 + points * pointBytes, size))
            return false;
        uint64_t sum = 0;
        for (uint64_t i = 0; i < polygons; ++i)
            sum += U32(record + 32 + 4 * i);
        return sum == points;
    }
    case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW: {
        const uint64_t characters = at(44);
        const uint32_t options = at(52);
        const uint64_t dxAt = at(72);
        if (!Inside(at(48), characters * (type == EMR_EXTTEXTOUTW ? 2 : 1), size))
            return false;
        return dxAt == 0 || Inside(dxAt, characters * ((options & ETO_PDY) ? 8 : 4), size);
    }
    case EMR_POLYTEXTOUTA: case EMR_POLYTEXTOUTW:
        return false;   // rare; not checked, so not played
    case EMR_SETDIBITSTODEVICE: case EMR_STRETCHDIBITS:
        return BitmapInside(record, size, at(48), at(52), at(56), at(60));
    case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT:
        return size >= 100 && BitmapInside(record, size, at(84), at(88), at(92), at(96));
    case EMR_MASKBLT: case EMR_PLGBLT:
        return false;   // masks of their own: not checked, so not played
    case EMR_CREATEDIBPATTERNBRUSHPT: case EMR_CREATEMONOBRUSH:
        return at(8) < handles && BitmapInside(record, size, at(16), at(20), at(24), at(28));
    default:
        return true;
    }
}

// Wine's GDI builds an ellipse, an arc, and the round ends and joins of a wide pen from their
// whole outline before it clips them: a record of a few bytes claiming such a shape millions of
// device pixels across takes seconds, and from about a million on corrupts GDI's heap; a font that
// large has glyphs of gigabytes. No picture painted here is wider than kLargestMetafileSide, so
// nothing that large belongs to a drawing anyone sees: such a record is passed over.
constexpr double kLargestShapeSide = 65536;   // device pixels
constexpr double kLargestFontHeight = 8192;   // device pixels; a glyph's bitmap grows with its square

// From logical to device coordinates of a DC, as GDI maps them while a metafile plays: its world
// transform, then its window and viewport.
struct DeviceMapping {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1;

    bool Read(HDC dc)
    {
        XFORM world;
        SIZE window, viewport;
        if (!GetWorldTransform(dc, &world) || !GetWindowExtEx(dc, &window) || !GetViewportExtEx(dc, &viewport) ||
            window.cx == 0 || window.cy == 0)
            return false;
        const double sx = static_cast<double>(viewport.cx) / window.cx;
        const double sy = static_cast<double>(viewport.cy) / window.cy;
        m11 = world.eM11 * sx;
        m21 = world.eM21 * sx;
        m12 = world.eM12 * sy;
        m22 = world.eM22 * sy;
        return true;
    }
    // The device width and height of the bounding box of a logical box of `width` x `height`.
    double Across(double width, double height) const
    {
        const double x = std::fabs(m11 * width) + std::fabs(m21 * height);
        const double y = std::fabs(m12 * width) + std::fabs(m22 * height);
        return x > y ? x : y;
    }
};

int32_t S32(const ENHMETARECORD* record, uint32_t offset)
{
    return static_cast<int32_t>(U32(reinterpret_cast<const uint8_t*>(record) + offset));
}

// The logical width and height of the box of a record that draws an ellipse or a part of one (the
// corner ellipse for a rounded rectangle); false for other records.
bool CurvedBox(const ENHMETARECORD* record, double& width, double& height)
{
    const auto span = [&](uint32_t from, uint32_t to) {
        return std::fabs(static_cast<double>(S32(record, to)) - static_cast<double>(S32(record, from)));
    };
    switch (record->iType) {
    case EMR_ELLIPSE: case EMR_ARC: case EMR_ARCTO: case EMR_CHORD: case EMR_PIE:
        if (record->nSize < 24)
            return false;
        width = span(8, 16);
        height = span(12, 20);
        return true;
    case EMR_ROUNDRECT:
        if (record->nSize < 32)
            return false;
        width = std::fabs(static_cast<double>(S32(record, 24)));
        height = std::fabs(static_cast<double>(S32(record, 28)));
        return true;
    case EMR_ANGLEARC:
        if (record->nSize < 20)
            return false;
        width = height = 2.0 * U32(reinterpret_cast<const uint8_t*>(record) + 16);
        return true;
    default:
        return false;
    }
}

// True for the records that draw lines with the DC's pen.
bool Strokes(DWORD type)
{
    switch (type) {
    case EMR_POLYBEZIER: case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO: case EMR_POLYLINETO:
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: case EMR_ANGLEARC: case EMR_ELLIPSE: case EMR_RECTANGLE:
    case EMR_ROUNDRECT: case EMR_ARC: case EMR_CHORD: case EMR_PIE: case EMR_LINETO: case EMR_ARCTO:
    case EMR_POLYDRAW: case EMR_STROKEANDFILLPATH: case EMR_STROKEPATH: case EMR_WIDENPATH:
    case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16: case EMR_POLYDRAW16:
        return true;
    default:
        return false;
    }
}

// The logical width of the DC's pen (1 for a cosmetic pen, which is one pixel whatever the mapping).
double PenWidth(HDC dc)
{
    HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
    if (GetObjectType(pen) == OBJ_PEN) {
        LOGPEN logical = {};
        return GetObjectW(pen, sizeof(logical), &logical) ? std::fabs(static_cast<double>(logical.lopnWidth.x)) : 1;
    }
    if (GetObjectType(pen) == OBJ_EXTPEN) {
        const int bytes = GetObjectW(pen, 0, nullptr);
        if (bytes < static_cast<int>(offsetof(EXTLOGPEN, elpNumEntries)))
            return 1;
        std::vector<uint8_t> buffer(static_cast<size_t>(bytes) + sizeof(EXTLOGPEN));
        EXTLOGPEN* extended = reinterpret_cast<EXTLOGPEN*>(buffer.data());
        if (!GetObjectW(pen, bytes, extended) || (extended->elpPenStyle & PS_TYPE_MASK) == PS_COSMETIC)
            return 1;
        return static_cast<double>(extended->elpWidth);
    }
    return 1;
}

// The logical height of the DC's font (0 for the default size).
double FontHeight(HDC dc)
{
    LOGFONTW font = {};
    if (!GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof(font), &font))
        return 0;
    const double height = std::fabs(static_cast<double>(font.lfHeight));
    const double width = std::fabs(static_cast<double>(font.lfWidth));
    return height > width ? height : width;
}

// False for a record that would draw a curve, a pen or a text larger than GDI can be trusted with
// at the DC's present mapping.
bool WithinReach(HDC dc, const ENHMETARECORD* record)
{
    const DWORD type = record->iType;
    const bool text = type == EMR_EXTTEXTOUTA || type == EMR_EXTTEXTOUTW;
    double width = 0;
    double height = 0;
    const bool curved = CurvedBox(record, width, height);
    if (!curved && !text && !Strokes(type))
        return true;
    DeviceMapping mapping;
    if (!mapping.Read(dc))
        return false;
    if (curved && mapping.Across(width, height) > kLargestShapeSide)
        return false;
    if (text) {
        const double font = FontHeight(dc);
        return mapping.Across(font, font) <= kLargestFontHeight;
    }
    if (Strokes(type)) {
        const double pen = PenWidth(dc);
        if (pen > 1 && mapping.Across(pen, pen) > kLargestShapeSide)
            return false;
    }
    return true;
}

int CALLBACK PlayRecordWithinReach(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM)
{
    if (WithinReach(dc, record))
        PlayEnhMetaFileRecord(dc, table, record, static_cast<UINT>(handles));
    return 1;
}
}  // namespace

bool MappedFileBytes::Open(const wchar_t* path)
{
    UnmapFileView(&view_);
    size_ = 0;
    if (!MapFileForReading(path, nullptr, &view_))
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(view_.file, &size) || size.QuadPart <= 0) {
        UnmapFileView(&view_);
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

size_t WindowsMetafileLength(const uint8_t* bytes, size_t size)
{
    if (!bytes || size < kWindowsHeaderBytes)
        return 0;
    const uint16_t type = U16(bytes);
    const uint16_t headerWords = U16(bytes + 2);
    const uint16_t version = U16(bytes + 4);
    if ((type != 1 && type != 2) || headerWords != kWindowsHeaderBytes / 2 || (version != 0x100 && version != 0x300))
        return 0;
    const uint32_t objects = U16(bytes + 10);
    size_t at = kWindowsHeaderBytes;
    while (size - at >= kSmallestRecordWords * 2) {
        const uint64_t recordBytes = uint64_t{U32(bytes + at)} * 2;
        if (recordBytes < kSmallestRecordWords * 2 || recordBytes > size - at || recordBytes > UINT32_MAX ||
            !WindowsRecordSound(bytes + at, static_cast<uint32_t>(recordBytes), objects))
            return 0;
        const uint16_t function = U16(bytes + at + 4);
        at += static_cast<size_t>(recordBytes);
        if (function == 0)
            return at;
    }
    return 0;
}

size_t EnhancedMetafileLength(const uint8_t* bytes, size_t size)
{
    if (!bytes || size < kEnhancedHeaderBytes)
        return 0;
    const uint32_t headerBytes = U32(bytes + 4);
    if (U32(bytes) != EMR_HEADER || U32(bytes + 40) != kEnhancedSignature || headerBytes < kEnhancedHeaderBytes ||
        headerBytes > size || headerBytes % 4 != 0)
        return 0;
    const uint32_t descriptionUnits = U32(bytes + 64);
    const uint32_t descriptionAt = U32(bytes + 68);
    if (descriptionUnits != 0 &&
        (descriptionAt > headerBytes || uint64_t{descriptionUnits} * 2 > headerBytes - descriptionAt))
        return 0;
    // The reference device: a size in pixels and in millimetres, at 0.01 to 1000 pixels a
    // millimetre (GDI scales the drawing by it; a wild one makes every shape huge).
    for (size_t axis = 0; axis < 2; ++axis) {
        const int64_t pixels = static_cast<int32_t>(U32(bytes + 72 + 4 * axis));
        const int64_t millimetres = static_cast<int32_t>(U32(bytes + 80 + 4 * axis));
        if (pixels <= 0 || millimetres <= 0 || pixels * 100 < millimetres || pixels > millimetres * 1000)
            return 0;
    }
    const uint32_t handles = U16(bytes + 56);
    size_t at = headerBytes;
    while (size - at >= 8) {
        const uint32_t type = U32(bytes + at);
        const uint32_t recordBytes = U32(bytes + at + 4);
        if (recordBytes < 8 || recordBytes % 4 != 0 || recordBytes > size - at ||
            !EnhancedRecordSound(bytes + at, recordBytes, handles))
            return 0;
        at += recordBytes;
        if (type == kEndOfFileRecord)
            return at;
    }
    return 0;
}

HENHMETAFILE ConvertWindowsMetafile(const uint8_t* bytes, size_t size, const METAFILEPICT* information, HDC reference)
{
    const size_t length = WindowsMetafileLength(bytes, size);
    if (length == 0 || length > UINT_MAX)
        return nullptr;
    // GDI plays the copy: its size is what was checked, and its object table has room for every
    // index a record can name (players read some indices from other words than the checked ones).
    // Zeros behind it take the reads of players that look a few bytes past a short record.
    std::vector<uint8_t> copy;
    try {
        copy.assign(length + kReadSlack, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::memcpy(copy.data(), bytes, length);
    PutU32(copy.data() + 6, static_cast<uint32_t>(length / 2));
    copy[10] = copy[11] = 0xFF;
    return SetWinMetaFileBits(static_cast<UINT>(length), copy.data(), reference, information);
}

HENHMETAFILE OpenEnhancedMetafile(const uint8_t* bytes, size_t size)
{
    const size_t length = EnhancedMetafileLength(bytes, size);
    if (length == 0 || length > UINT_MAX)
        return nullptr;
    std::vector<uint8_t> copy;
    try {
        copy.assign(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    PutU32(copy.data() + 48, static_cast<uint32_t>(length));   // nBytes: what was checked
    return SetEnhMetaFileBits(static_cast<UINT>(length), copy.data());
}

void FitMetafileSize(int64_t& width, int64_t& height)
{
    const int64_t longer = width > height ? width : height;
    if (longer <= kLargestMetafileSide)
        return;
    width = width * kLargestMetafileSide / longer;
    height = height * kLargestMetafileSide / longer;
    if (width < 1)
        width = 1;
    if (height < 1)
        height = 1;
}

NRESULT PaintMetafile(HENHMETAFILE metafile, int width, int height, COLORREF background, bool keyBackground,
                      NImageBuffer& picture)
{
    if (!picture.Create(width, height, 24, background))
        return NR_PICTURE_CREATE_FAILED;
    if (keyBackground) {
        picture.transparentColour = static_cast<int32_t>(background);
        picture.hasTransparency = 1;
    }
    const RECT area = {0, 0, width, height};
    EnumEnhMetaFile(picture.dc, metafile, PlayRecordWithinReach, nullptr, &area);
    GdiFlush();
    return NR_OK;
}

NRESULT PaintMetafilePreview(const uint8_t* bytes, size_t size, COLORREF background, bool keyBackground,
                             NImageBuffer& picture)
{
    EnhancedMetafile metafile(ConvertWindowsMetafile(bytes, size, nullptr, nullptr));
    if (!metafile)
        return NR_DECODE_FAILED;
    ENHMETAHEADER header = {};
    if (!GetEnhMetaFileHeader(metafile.Get(), sizeof(header), &header))
        return NR_FORMAT_INIT_FAILED;
    int64_t width = std::llabs(int64_t{header.rclBounds.right});
    int64_t height = std::llabs(int64_t{header.rclBounds.bottom});
    if (width < 1 || height < 1)
        return NR_FORMAT_INIT_FAILED;
    FitMetafileSize(width, height);
    return PaintMetafile(metafile.Get(), static_cast<int>(width), static_cast<int>(height), background, keyBackground,
                         picture);
}
