#include "docobjects/DocRecords.h"

#include "base/Log.h"
#include "docobjects/DocPictureBlock.h"

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

static_assert(sizeof(LOGFONTW) == 92, "the file stores LOGFONTW as 92 bytes");

namespace {

constexpr uint32_t kRecordId = 50;
constexpr uint32_t kOldRecordIdA = 3936;
constexpr uint32_t kOldRecordIdB = 7836;
constexpr uint32_t kOldCommonBytes = 32;     // what is read of an old common part

constexpr uint32_t kRectangleSize = 24;
constexpr uint32_t kEllipseSize = 20;
constexpr uint32_t kLineSize = 28;
constexpr uint32_t kArrowSize = 32;
constexpr uint32_t kCalloutSize = 16528;
constexpr uint32_t kImageTextSize = 17360;
constexpr uint32_t kImageTextFields = 16496;  // then reserved bytes to the size
constexpr uint32_t kCurveSize = 60;
constexpr uint32_t kLegacyTextSize = 16492;
constexpr uint32_t kPictureSizeField = 41;   // written as such; not the length
constexpr uint32_t kPictureFields = 37;
constexpr uint32_t kCurveImageFields = 28;   // before the count
constexpr uint32_t kTextTail = 127;          // the fixed fields after the text

// ---- Field layouts, shared by reading and writing ----

// Appends fields to a byte string.
class FieldWriter {
public:
    std::vector<uint8_t> bytes;

    void raw(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void u8(const uint8_t& v) { bytes.push_back(v); }
    void i8(const int8_t& v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(const uint16_t& v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void i16(const int16_t& v) { u16(static_cast<uint16_t>(v)); }
    void u32(const uint32_t& v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void i32(const int32_t& v) { u32(static_cast<uint32_t>(v)); }
    void f32(const float& v)
    {
        uint32_t u;
        memcpy(&u, &v, sizeof(u));
        u32(u);
    }
    void pad(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void point(const DocPoint& p)
    {
        i32(p.x);
        i32(p.y);
    }
    void font(const LOGFONTW& f) { raw(&f, sizeof(f)); }
    void textArea(const wchar_t (&text)[kDocTextAreaUnits])
    {
        for (wchar_t c : text)
            u16(static_cast<uint16_t>(c));
    }
};

// Takes fields from a byte string that is known to hold them all.
class FieldReader {
public:
    explicit FieldReader(const uint8_t* p) : p_(p) {}

    void raw(void* to, size_t n)
    {
        memcpy(to, p_, n);
        p_ += n;
    }
    void u8(uint8_t& v) { v = *p_++; }
    void i8(int8_t& v) { v = static_cast<int8_t>(*p_++); }
    void u16(uint16_t& v)
    {
        v = static_cast<uint16_t>(p_[0] | (p_[1] << 8));
        p_ += 2;
    }
    void i16(int16_t& v)
    {
        uint16_t u;
        u16(u);
        v = static_cast<int16_t>(u);
    }
    void u32(uint32_t& v)
    {
        v = static_cast<uint32_t>(p_[0]) | (static_cast<uint32_t>(p_[1]) << 8) | (static_cast<uint32_t>(p_[2]) << 16) |
            (static_cast<uint32_t>(p_[3]) << 24);
        p_ += 4;
    }
    void i32(int32_t& v)
    {
        uint32_t u;
        u32(u);
        v = static_cast<int32_t>(u);
    }
    void f32(float& v)
    {
        uint32_t u;
        u32(u);
        memcpy(&v, &u, sizeof(v));
    }
    void pad(size_t n) { p_ += n; }
    void point(DocPoint& p)
    {
        i32(p.x);
        i32(p.y);
    }
    void font(LOGFONTW& f)
    {
        raw(&f, sizeof(f));
        f.lfFaceName[LF_FACESIZE - 1] = 0;
    }
    void textArea(wchar_t (&text)[kDocTextAreaUnits])
    {
        wchar_t units[kDocTextAreaUnits];
        for (wchar_t& c : units) {
            uint16_t u;
            u16(u);
            c = static_cast<wchar_t>(u);
        }
        CopyTextArea(text, units, kDocTextAreaUnits);
    }

private:
    const uint8_t* p_;
};

// T is the payload, or the payload made const for writing.
template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, RectanglePayload>
{
    io.u32(p.outlineColour);
    io.u32(p.fillColour);
    io.u8(p.filled);
    io.pad(3);
    io.i32(p.penWidth);
    io.i32(p.dashStyle);
    io.i32(p.cornerRadius);
}

template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, EllipsePayload>
{
    io.u32(p.outlineColour);
    io.u32(p.fillColour);
    io.u8(p.filled);
    io.pad(3);
    io.i32(p.penWidth);
    io.i32(p.dashStyle);
}

template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, LinePayload>
{
    io.u32(p.colour);
    io.i32(p.penWidth);
    io.i32(p.dashStyle);
    io.point(p.start);
    io.point(p.end);
}

template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, ArrowPayload>
{
    io.u32(p.colour);
    io.i32(p.penWidth);
    io.i32(p.dashStyle);
    io.point(p.start);
    io.point(p.end);
    io.i32(p.headStyle);
}

template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, CurvePayload>
{
    io.u16(p.penWidth);
    io.u16(p.dashStyle);
    io.u16(p.gradientMode);
    io.u16(p.endHead);
    io.u32(p.colour1);
    io.u32(p.colour2);
    io.u32(p.colour3);
    for (auto& point : p.points)
        io.point(point);
    io.i32(p.furtherValues[0]);
    io.i32(p.furtherValues[1]);
}

template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, CalloutPayload>
{
    io.textArea(p.text);
    io.u32(p.textColour);
    io.i32(p.fontSize);
    io.font(p.font);
    io.i32(p.alignment);
    io.u32(p.frameColour);
    io.u32(p.fillColour);
    io.u8(p.filled);
    io.pad(3);
    io.i32(p.cornerRadius);
    io.i32(p.dashStyle);
    io.i32(p.frameWidth);
    io.point(p.pointerStart);
    io.point(p.pointerEnd);
}

// The fields of an image with text; the reserved bytes up to its size follow.
template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, ImageTextPayload>
{
    io.textArea(p.text);
    io.u32(p.textColour);
    io.i32(p.fontSize);
    io.font(p.font);
    io.i32(p.alignment);
    io.i32(p.furtherValues[0]);
    io.i32(p.furtherValues[1]);
}

template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, LegacyTextPayload>
{
    io.textArea(p.text);
    io.u32(p.textColour);
    io.i32(p.fontSize);
    io.font(p.font);
    io.u8(p.alignment);
    io.raw(p.furtherBytes, sizeof(p.furtherBytes));
}

// The fields before the count and the points.
template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, CurveImagePayload>
{
    io.u16(p.penWidth);
    io.u16(p.dashStyle);
    io.u16(p.gradientMode);
    io.u16(p.reservedWord);
    io.u32(p.colour1);
    io.u32(p.colour2);
    io.u32(p.colour3);
    io.u8(p.hidePictures);
    io.raw(p.reservedBytes, sizeof(p.reservedBytes));
    io.i32(p.reservedValue);
}

// The fields before the picture.
template <class IO, class T>
void Layout(IO& io, T& p)
    requires std::is_same_v<std::remove_const_t<T>, PicturePayload>
{
    io.i8(p.saturation);
    io.i8(p.contrast);
    io.i16(p.brightness);
    io.u8(p.warpMode);
    for (auto& w : p.warp)
        io.i16(w);
    for (auto& v : p.furtherValues)
        io.i32(v);
}

// The fields after the text.
template <class IO, class T>
void TextTail(IO& io, T& p)
{
    io.font(p.font);
    io.i32(p.fontSize);
    io.u8(p.alignment);
    io.u8(p.reserved);
    io.u32(p.textColour);
    io.u32(p.outlineColour);
    io.u8(p.outline);
    io.u8(p.effectStyle);
    io.u32(p.effectColour1);
    io.u32(p.effectColour2);
    io.u8(p.effectValue1);
    io.u8(p.effectValue2);
    io.u8(p.reflection);
    io.i32(p.furtherValues[0]);
    io.i32(p.furtherValues[1]);
}

template <class IO, class T>
void CommonPart(IO& io, T& o)
{
    uint32_t type = static_cast<uint32_t>(o.type);
    uint32_t id = static_cast<uint32_t>(o.id);
    io.u32(type);
    io.u32(id);
    int32_t l = o.rect.left, t = o.rect.top, r = o.rect.right, b = o.rect.bottom;
    io.i32(l);
    io.i32(t);
    io.i32(r);
    io.i32(b);
    io.u8(o.shadow);
    io.u32(o.shadowColour);
    io.u8(o.opacity);
    io.f32(o.angle);
    io.u8(o.locked);
    io.u8(o.hidden);
    io.raw(o.furtherBytes, sizeof(o.furtherBytes));
    io.u32(o.furtherValues[0]);
    io.u32(o.furtherValues[1]);
    if constexpr (!std::is_const_v<T>) {
        o.type = static_cast<int32_t>(type);
        o.id = static_cast<int32_t>(id);
        o.rect = RECT{l, t, r, b};
    }
}

// ---- Writing ----

template <class T>
const T& OrEmpty(const T* payload, const T& empty)
{
    return payload ? *payload : empty;
}

template <class T>
bool WriteFixed(DocFileWriter& out, const T& payload, uint32_t size)
{
    FieldWriter w;
    Layout(w, payload);
    w.pad(size - w.bytes.size());
    return out.U32(size) && out.Write(w.bytes.data(), w.bytes.size());
}

bool WritePoints(DocFileWriter& out, const std::vector<DocPoint>& points)
{
    FieldWriter w;
    for (const DocPoint& p : points)
        w.point(p);
    return out.Write(w.bytes.data(), w.bytes.size());
}

// Point lists whose record would not fit the file's 32-bit sizes are refused.
constexpr size_t kMaxWrittenPoints = (UINT32_MAX - 64) / 8;

NRESULT WriteCurveImage(DocFileWriter& out, const CurveImagePayload& p, bool compressed)
{
    if (p.points.size() > kMaxWrittenPoints)
        return NR_INVALID_DATA;
    const int64_t sizeAt = out.Tell();
    if (sizeAt < 0 || !out.U32(0))
        return NR_FILE_OPEN_WRITE;
    FieldWriter w;
    Layout(w, p);
    w.u32(static_cast<uint32_t>(p.points.size()));
    out.Write(w.bytes.data(), w.bytes.size());
    WritePoints(out, p.points);
    const NRESULT r = WriteDocPicture(out, DocPictureForm::Short, p.picture, compressed);
    if (r != NR_OK)
        return r;
    const int64_t end = out.Tell();
    if (end < 0 || static_cast<uint64_t>(end - sizeAt - 4) > UINT32_MAX)
        return NR_FILE_OPEN_WRITE;
    out.Seek(static_cast<uint64_t>(sizeAt));
    out.U32(static_cast<uint32_t>(end - sizeAt - 4));
    out.Seek(static_cast<uint64_t>(end));
    return out.Failed() ? NR_FILE_OPEN_WRITE : NR_OK;
}

NRESULT WriteText(DocFileWriter& out, const TextPayload& p)
{
    const int length = p.text.GetLength();
    if (static_cast<size_t>(length) > (UINT32_MAX - 131) / 2)
        return NR_INVALID_DATA;
    FieldWriter w;
    w.u32(static_cast<uint32_t>(length));
    const wchar_t* text = p.text.c_str();
    for (int i = 0; i < length; ++i)
        w.u16(static_cast<uint16_t>(text[i]));
    TextTail(w, p);
    return out.U32(static_cast<uint32_t>(2 * length + 131)) && out.Write(w.bytes.data(), w.bytes.size())
               ? NR_OK
               : NR_FILE_OPEN_WRITE;
}

// ---- Reading ----

enum class Got { Ok, Skipped, Truncated };

// The payload size, then exactly `expected` bytes into bytes; another size is skipped.
Got ReadFixed(DocFileReader& in, uint32_t expected, std::vector<uint8_t>& bytes)
{
    uint32_t size = 0;
    if (!in.U32(size))
        return Got::Truncated;
    if (size != expected)
        return in.Skip(size) ? Got::Skipped : Got::Truncated;
    bytes.resize(size);
    return in.Read(bytes.data(), size) ? Got::Ok : Got::Truncated;
}

// `count` points; false when they are not in the file.
bool ReadPoints(DocFileReader& in, uint64_t count, std::vector<DocPoint>& points)
{
    if (count > in.Remaining() / 8)
        return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 8);
    if (!in.Read(bytes.data(), bytes.size()))
        return false;
    FieldReader r(bytes.data());
    points.resize(static_cast<size_t>(count));
    for (DocPoint& p : points)
        r.point(p);
    return true;
}

// What becomes of an object whose payload holds a picture. A picture that cannot be made
// leaves the object without one; one that does not decode drops the object.
enum class PictureOutcome { Keep, Drop, Truncated };

PictureOutcome ReadPayloadPicture(DocFileReader& in, DocPictureForm form, NImageBuffer& picture)
{
    switch (ReadDocPicture(in, form, picture)) {
    case DocPictureStatus::Read:
    case DocPictureStatus::NotCreated:
        return PictureOutcome::Keep;
    case DocPictureStatus::NoBuffer:
        LogMessage(L"%s", L"No SrcBuffer!");
        return PictureOutcome::Drop;
    case DocPictureStatus::InflateFailed:
        LogMessage(L"%s", L"Image Decode Error!");
        return PictureOutcome::Drop;
    case DocPictureStatus::Truncated:
    default:
        return PictureOutcome::Truncated;
    }
}

DocRecordOutcome FromPicture(PictureOutcome o)
{
    return o == PictureOutcome::Truncated ? DocRecordOutcome::Truncated : DocRecordOutcome::Next;
}

// A line or arrow as the straight Bezier curve that replaces it.
CurvePayload StraightCurve(uint32_t colour, int32_t penWidth, int32_t dashStyle, DocPoint start, DocPoint end)
{
    CurvePayload c;
    c.penWidth = static_cast<uint16_t>(penWidth);
    c.dashStyle = static_cast<uint16_t>(dashStyle);
    c.gradientMode = 0;
    c.colour1 = c.colour2 = c.colour3 = colour;
    c.points[0] = start;
    c.points[1] = end;
    c.points[2] = end;
    c.points[3] = end;
    return c;
}

// Fixed-size payloads that are added as they are read.
template <class T>
DocRecordOutcome ReadFixedAndAdd(DocFileReader& in, NObjectDocument& document, DocObject& work, uint32_t size)
{
    std::vector<uint8_t> bytes;
    const Got got = ReadFixed(in, size, bytes);
    if (got != Got::Ok)
        return got == Got::Truncated ? DocRecordOutcome::Truncated : DocRecordOutcome::Next;
    T* payload = new T();
    work.payload = payload;
    FieldReader r(bytes.data());
    Layout(r, *payload);
    document.AddObjectCopy(&work);
    return DocRecordOutcome::Next;
}

DocRecordOutcome ReadPayload(DocFileReader& in, NObjectDocument& document, DocObject& work)
{
    switch (work.type) {
    case DOC_RECTANGLE:
        return ReadFixedAndAdd<RectanglePayload>(in, document, work, kRectangleSize);
    case DOC_ELLIPSE:
        return ReadFixedAndAdd<EllipsePayload>(in, document, work, kEllipseSize);
    case DOC_CALLOUT:
        return ReadFixedAndAdd<CalloutPayload>(in, document, work, kCalloutSize);
    case DOC_ARROW_CURVE:
    case DOC_CURVE:
        return ReadFixedAndAdd<CurvePayload>(in, document, work, kCurveSize);

    case DOC_LINE: {
        std::vector<uint8_t> bytes;
        const Got got = ReadFixed(in, kLineSize, bytes);
        if (got != Got::Ok)
            return got == Got::Truncated ? DocRecordOutcome::Truncated : DocRecordOutcome::Next;
        LinePayload line;
        FieldReader r(bytes.data());
        Layout(r, line);
        const CurvePayload curve = StraightCurve(line.colour, line.penWidth, line.dashStyle, line.start, line.end);
        document.AddCurve(work, &curve);
        return DocRecordOutcome::Next;
    }
    case DOC_ARROW: {
        std::vector<uint8_t> bytes;
        const Got got = ReadFixed(in, kArrowSize, bytes);
        if (got != Got::Ok)
            return got == Got::Truncated ? DocRecordOutcome::Truncated : DocRecordOutcome::Next;
        ArrowPayload arrow;
        FieldReader r(bytes.data());
        Layout(r, arrow);
        CurvePayload curve = StraightCurve(arrow.colour, arrow.penWidth, arrow.dashStyle, arrow.start, arrow.end);
        curve.endHead = static_cast<uint16_t>(arrow.headStyle);
        document.AddArrowCurve(work, &curve);
        return DocRecordOutcome::Next;
    }

    case DOC_POLYLINE: {
        uint32_t size, colour, dash, pen;
        int32_t count;
        if (!in.U32(size) || !in.U32(colour) || !in.U32(dash) || !in.U32(pen) || !in.I32(count))
            return DocRecordOutcome::Truncated;
        auto payload = std::make_unique<PolylinePayload>();
        payload->colour = colour;
        payload->dashStyle = static_cast<int32_t>(dash);
        payload->penWidth = static_cast<int32_t>(pen);
        if (count > 0 && !ReadPoints(in, static_cast<uint64_t>(count), payload->points))
            return DocRecordOutcome::Truncated;
        payload->storedCount = static_cast<int32_t>(payload->points.size());
        document.AddPolyline(work, payload.get());
        return DocRecordOutcome::Next;
    }

    case DOC_IMAGE_TEXT: {
        uint32_t size;
        if (!in.U32(size))
            return DocRecordOutcome::Truncated;
        if (size != kImageTextSize) {
            // Not a record of the known layout: pass over it and its picture.
            NImageBuffer passed;
            if (!in.Skip(size) || ReadDocPicture(in, DocPictureForm::NoPalette, passed) == DocPictureStatus::Truncated)
                return DocRecordOutcome::Truncated;
            return DocRecordOutcome::Next;
        }
        std::vector<uint8_t> bytes(size);
        if (!in.Read(bytes.data(), size))
            return DocRecordOutcome::Truncated;
        ImageTextPayload* payload = new ImageTextPayload();
        work.payload = payload;
        FieldReader r(bytes.data());
        Layout(r, *payload);
        const PictureOutcome o = ReadPayloadPicture(in, DocPictureForm::NoPalette, payload->picture);
        if (o == PictureOutcome::Keep)
            document.AddObjectCopy(&work);
        return FromPicture(o);
    }

    case DOC_TEXT: {
        uint32_t size, length;
        if (!in.U32(size) || !in.U32(length))
            return DocRecordOutcome::Truncated;
        if (length > in.Remaining() / 2 || !in.Fits(2 * static_cast<uint64_t>(length) + kTextTail))
            return DocRecordOutcome::Truncated;
        std::vector<uint8_t> bytes(2 * static_cast<size_t>(length) + kTextTail);
        if (!in.Read(bytes.data(), bytes.size()))
            return DocRecordOutcome::Truncated;
        auto payload = std::make_unique<TextPayload>();
        FieldReader r(bytes.data());
        std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
        for (uint32_t i = 0; i < length; ++i) {
            uint16_t u;
            r.u16(u);
            text[i] = static_cast<wchar_t>(u);
        }
        payload->text = text.data();
        TextTail(r, *payload);
        payload->outline = payload->outline == 1 ? 1 : 0;
        payload->reflection = payload->reflection == 1 ? 1 : 0;
        work.payload = payload.release();
        document.AddObjectCopy(&work);
        return DocRecordOutcome::Next;
    }

    case DOC_CURVE_IMAGE: {
        uint32_t size, count;
        uint8_t fields[kCurveImageFields];
        if (!in.U32(size) || !in.Read(fields, sizeof(fields)) || !in.U32(count))
            return DocRecordOutcome::Truncated;
        CurveImagePayload* payload = new CurveImagePayload();
        work.payload = payload;
        FieldReader r(fields);
        Layout(r, *payload);
        if (!ReadPoints(in, count, payload->points))
            return DocRecordOutcome::Truncated;
        const PictureOutcome o = ReadPayloadPicture(in, DocPictureForm::Short, payload->picture);
        if (o == PictureOutcome::Keep)
            document.AddObjectCopy(&work);
        return FromPicture(o);
    }

    case DOC_PICTURE:
    case DOC_OLD_PICTURE_STYLED: {
        PicturePayload* payload = new PicturePayload();
        work.payload = payload;
        uint32_t size;
        if (!in.U32(size))
            return DocRecordOutcome::Truncated;
        if (work.type == DOC_PICTURE) {
            uint8_t fields[kPictureFields];
            if (!in.Read(fields, sizeof(fields)))
                return DocRecordOutcome::Truncated;
            FieldReader r(fields);
            Layout(r, *payload);
        } else {
            // Old styled picture: the rotation, three style fields and three further values.
            uint8_t fields[20];
            if (!in.Read(fields, sizeof(fields)))
                return DocRecordOutcome::Truncated;
            FieldReader r(fields);
            r.f32(work.angle);
            r.i8(payload->saturation);
            r.i8(payload->contrast);
            r.i16(payload->brightness);
            for (int i = 1; i < 4; ++i)
                r.i32(payload->furtherValues[i]);
            work.type = DOC_PICTURE;
        }
        const PictureOutcome o = ReadPayloadPicture(in, DocPictureForm::Full, payload->picture);
        if (o == PictureOutcome::Keep)
            document.AddObjectCopy(&work);
        return FromPicture(o);
    }

    case DOC_OLD_PICTURE: {
        PicturePayload payload;
        const PictureOutcome o = ReadPayloadPicture(in, DocPictureForm::Full, payload.picture);
        if (o == PictureOutcome::Keep)
            document.AddPicture(work, &payload);
        return FromPicture(o);
    }

    case DOC_OLD_TEXT: {
        std::vector<uint8_t> bytes;
        const Got got = ReadFixed(in, kLegacyTextSize, bytes);
        if (got != Got::Ok)
            return got == Got::Truncated ? DocRecordOutcome::Truncated : DocRecordOutcome::Next;
        auto old = std::make_unique<LegacyTextPayload>();
        FieldReader r(bytes.data());
        Layout(r, *old);
        TextPayload text;
        text.fontSize = 10;
        text.text = old->text;
        text.fontSize = old->fontSize;
        text.font = old->font;
        text.alignment = old->alignment;
        text.textColour = old->textColour;
        text.reserved = 0;
        text.outline = 0;
        text.outlineColour = 0xFFFFFF;
        text.effectStyle = 0;
        text.effectColour1 = 0xFFFFFF;
        text.effectColour2 = 0;
        text.effectValue1 = 2;
        text.effectValue2 = 2;
        text.reflection = 0;
        document.AddText(work, &text);
        return DocRecordOutcome::Next;
    }

    default: {
        uint32_t size;
        if (!in.U32(size))
            return DocRecordOutcome::Truncated;
        LogMessage(L"Unknown Object. ID = %d. Skipping %d bytes", work.type, static_cast<int32_t>(size));
        return in.Skip(size) ? DocRecordOutcome::Next : DocRecordOutcome::Truncated;
    }
    }
}

}  // namespace

NRESULT WriteDocRecord(DocFileWriter& out, DocObject& o, bool compressed)
{
    switch (o.type) {
    case DOC_RECTANGLE: case DOC_ELLIPSE: case DOC_LINE: case DOC_POLYLINE: case DOC_CALLOUT: case DOC_ARROW:
    case DOC_IMAGE_TEXT: case DOC_TEXT: case DOC_ARROW_CURVE: case DOC_CURVE: case DOC_CURVE_IMAGE: case DOC_PICTURE:
        break;
    default:
        return NR_OK;
    }

    FieldWriter common;
    CommonPart(common, static_cast<const DocObject&>(o));
    if (!out.U32(kRecordId) || !out.Write(common.bytes.data(), common.bytes.size()))
        return NR_FILE_OPEN_WRITE;

    bool written = true;
    switch (o.type) {
    case DOC_RECTANGLE:
        written = WriteFixed(out, OrEmpty(o.PayloadAs<RectanglePayload>(), RectanglePayload{}), kRectangleSize);
        break;
    case DOC_ELLIPSE:
        written = WriteFixed(out, OrEmpty(o.PayloadAs<EllipsePayload>(), EllipsePayload{}), kEllipseSize);
        break;
    case DOC_LINE:
        written = WriteFixed(out, OrEmpty(o.PayloadAs<LinePayload>(), LinePayload{}), kLineSize);
        break;
    case DOC_ARROW:
        written = WriteFixed(out, OrEmpty(o.PayloadAs<ArrowPayload>(), ArrowPayload{}), kArrowSize);
        break;
    case DOC_ARROW_CURVE:
    case DOC_CURVE:
        written = WriteFixed(out, OrEmpty(o.PayloadAs<CurvePayload>(), CurvePayload{}), kCurveSize);
        break;
    case DOC_CALLOUT: {
        const CalloutPayload* p = o.PayloadAs<CalloutPayload>();
        const std::unique_ptr<CalloutPayload> empty(p ? nullptr : new CalloutPayload());
        written = WriteFixed(out, p ? *p : *empty, kCalloutSize);
        break;
    }
    case DOC_POLYLINE: {
        PolylinePayload empty;
        PolylinePayload* p = o.PayloadAs<PolylinePayload>();
        if (!p)
            p = &empty;
        if (p->points.size() > kMaxWrittenPoints)
            return NR_INVALID_DATA;
        p->storedCount = static_cast<int32_t>(p->points.size());
        written = out.U32(static_cast<uint32_t>(16 + 8 * p->points.size())) && out.U32(p->colour) &&
                  out.I32(p->dashStyle) && out.I32(p->penWidth) && out.I32(p->storedCount) &&
                  WritePoints(out, p->points);
        break;
    }
    case DOC_IMAGE_TEXT: {
        const ImageTextPayload* p = o.PayloadAs<ImageTextPayload>();
        const std::unique_ptr<ImageTextPayload> empty(p ? nullptr : new ImageTextPayload());
        if (!p)
            p = empty.get();
        if (!WriteFixed(out, *p, kImageTextSize))
            return NR_FILE_OPEN_WRITE;
        return WriteDocPicture(out, DocPictureForm::NoPalette, p->picture, compressed);
    }
    case DOC_TEXT: {
        const TextPayload* p = o.PayloadAs<TextPayload>();
        return WriteText(out, p ? *p : TextPayload{});
    }
    case DOC_CURVE_IMAGE: {
        const CurveImagePayload* p = o.PayloadAs<CurveImagePayload>();
        CurveImagePayload empty;
        return WriteCurveImage(out, p ? *p : empty, compressed);
    }
    case DOC_PICTURE: {
        const PicturePayload* p = o.PayloadAs<PicturePayload>();
        PicturePayload empty;
        if (!p)
            p = &empty;
        FieldWriter w;
        Layout(w, *p);
        if (!out.U32(kPictureSizeField) || !out.Write(w.bytes.data(), w.bytes.size()))
            return NR_FILE_OPEN_WRITE;
        // The picture as it was before the warp, which the painter makes again.
        const NImageBuffer& picture = o.unwarpedCache.valid ? o.unwarpedCache : p->picture;
        return WriteDocPicture(out, DocPictureForm::Full, picture, compressed);
    }
    default:
        break;
    }
    return written ? NR_OK : NR_FILE_OPEN_WRITE;
}

DocRecordOutcome ReadDocRecord(DocFileReader& in, NObjectDocument& document)
{
    uint32_t recordId = 0;
    if (!in.U32(recordId))
        return in.Remaining() == 0 ? DocRecordOutcome::End : DocRecordOutcome::Truncated;
    if (recordId == 0)
        return DocRecordOutcome::End;
    if (!in.Fits(recordId))
        return DocRecordOutcome::Truncated;

    DocObject work;
    const uint64_t after = in.Position();
    if (recordId == kRecordId) {
        uint8_t bytes[kRecordId];
        in.Read(bytes, sizeof(bytes));
        FieldReader r(bytes);
        CommonPart(r, work);
        work.shadow = work.shadow != 0 ? 1 : 0;
        if (work.locked > 1)
            work.locked = 0;
        if (work.hidden > 1)
            work.hidden = 0;
    } else if (recordId == kOldRecordIdA || recordId == kOldRecordIdB) {
        uint8_t bytes[kOldCommonBytes];
        in.Read(bytes, sizeof(bytes));
        FieldReader r(bytes);
        uint32_t type, id, shadow;
        int32_t l, t, rt, b;
        r.u32(type);
        r.u32(id);
        r.i32(l);
        r.i32(t);
        r.i32(rt);
        r.i32(b);
        r.u32(shadow);
        r.u32(work.shadowColour);
        work.type = static_cast<int32_t>(type);
        work.id = static_cast<int32_t>(id);
        work.rect = RECT{l, t, rt, b};
        work.shadow = shadow != 0 ? 1 : 0;
    }
    in.Skip(after + recordId - in.Position());
    work.payload = nullptr;
    work.next = nullptr;
    // The working object owns what the reader attaches to it; it is released on return.
    return ReadPayload(in, document, work);
}
