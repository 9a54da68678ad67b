#include "docobjects/NObjectDocument.h"

#include "base/Log.h"

#include <cstring>

namespace {

constexpr int32_t kResetCount = 1;
constexpr int32_t kResetCurrentId = 12345;

template <class T, class... Rule>
void AttachCopy(DocObject* made, const T* source, Rule... rule)
{
    if (!made || !source)
        return;
    T* copy = new T();
    CopyPayload(*copy, *source, rule...);
    made->payload = copy;
}

}  // namespace

NObjectDocument::NObjectDocument()
    : count(kResetCount), currentId(kResetCurrentId), tail_(&root), lowestFreeId_(1)
{
}

NObjectDocument::~NObjectDocument()
{
    FreeObjects(root.next);
}

void NObjectDocument::IndexObject(DocObject* object)
{
    ids_.insert(object->id);
    while (ids_.count(lowestFreeId_) != 0)
        ++lowestFreeId_;
}

void NObjectDocument::RebuildIndex()
{
    ids_.clear();
    lowestFreeId_ = 1;
    tail_ = &root;
    for (DocObject* o = root.next; o; o = o->next) {
        IndexObject(o);
        tail_ = o;
    }
}

DocObject* NObjectDocument::Append(DocObject& object, int32_t type, bool keepAngle)
{
    // The tail is normally at hand; walk on should anything have been linked behind it.
    while (tail_->next)
        tail_ = tail_->next;

    ++count;
    currentId = object.id;
    if (ids_.count(object.id) != 0) {
        object.id = lowestFreeId_;
        currentId = object.id;
    }

    DocObject* made = new DocObject();
    made->type = type;
    made->id = object.id;
    made->rect = object.rect;
    made->shadow = object.shadow;
    made->shadowColour = object.shadowColour;
    made->opacity = object.opacity;
    made->angle = keepAngle ? object.angle : 0.0f;
    if (type == DOC_PICTURE)
        made->warpModeKey = 255;

    tail_->next = made;
    tail_ = made;
    IndexObject(made);
    made->locked = object.locked;
    made->hidden = object.hidden;
    memcpy(made->furtherBytes, object.furtherBytes, sizeof(made->furtherBytes));
    return made;
}

bool NObjectDocument::AddRectangle(DocObject& object, const RectanglePayload* payload)
{
    AttachCopy(Append(object, DOC_RECTANGLE, true), payload);
    return true;
}

bool NObjectDocument::AddEllipse(DocObject& object, const EllipsePayload* payload)
{
    AttachCopy(Append(object, DOC_ELLIPSE, true), payload);
    return true;
}

bool NObjectDocument::AddLine(DocObject& object, const LinePayload* payload)
{
    AttachCopy(Append(object, DOC_LINE, false), payload);
    return true;
}

bool NObjectDocument::AddPolyline(DocObject& object, const PolylinePayload* payload)
{
    AttachCopy(Append(object, DOC_POLYLINE, false), payload);
    return true;
}

bool NObjectDocument::AddArrow(DocObject& object, const ArrowPayload* payload)
{
    AttachCopy(Append(object, DOC_ARROW, false), payload);
    return true;
}

bool NObjectDocument::AddText(DocObject& object, const TextPayload* payload)
{
    AttachCopy(Append(object, DOC_TEXT, true), payload);
    return true;
}

bool NObjectDocument::AddArrowCurve(DocObject& object, const CurvePayload* payload)
{
    AttachCopy(Append(object, DOC_ARROW_CURVE, false), payload, true);
    return true;
}

bool NObjectDocument::AddCurve(DocObject& object, const CurvePayload* payload)
{
    AttachCopy(Append(object, DOC_CURVE, false), payload, false);
    return true;
}

bool NObjectDocument::AddPicture(DocObject& object, const PicturePayload* payload)
{
    AttachCopy(Append(object, DOC_PICTURE, true), payload);
    return true;
}

bool NObjectDocument::AddObjectCopy(DocObject* object)
{
    if (!object)
        return false;
    DocObject& o = *object;
    switch (o.type) {
    case DOC_RECTANGLE:
        return AddRectangle(o, o.PayloadAs<RectanglePayload>());
    case DOC_ELLIPSE:
        return AddEllipse(o, o.PayloadAs<EllipsePayload>());
    case DOC_LINE:
        return AddLine(o, o.PayloadAs<LinePayload>());
    case DOC_POLYLINE:
        return AddPolyline(o, o.PayloadAs<PolylinePayload>());
    case DOC_ARROW:
        return AddArrow(o, o.PayloadAs<ArrowPayload>());
    case DOC_TEXT:
        return AddText(o, o.PayloadAs<TextPayload>());
    case DOC_ARROW_CURVE:
        return AddArrowCurve(o, o.PayloadAs<CurvePayload>());
    case DOC_CURVE:
        return AddCurve(o, o.PayloadAs<CurvePayload>());
    case DOC_PICTURE:
        return AddPicture(o, o.PayloadAs<PicturePayload>());
    case DOC_CALLOUT:
        AttachCopy(Append(o, DOC_CALLOUT, false), o.PayloadAs<CalloutPayload>());
        return true;
    case DOC_IMAGE_TEXT:
        AttachCopy(Append(o, DOC_IMAGE_TEXT, true), o.PayloadAs<ImageTextPayload>());
        return true;
    case DOC_CURVE_IMAGE:
        AttachCopy(Append(o, DOC_CURVE_IMAGE, false), o.PayloadAs<CurveImagePayload>());
        return true;
    default:
        return false;
    }
}

void NObjectDocument::FreeObjects(DocObject* first)
{
    if (!first)
        return;
    bool listed = false;
    for (DocObject* o = &root; o; o = o->next) {
        if (o->next == first) {
            o->next = nullptr;
            listed = true;
            break;
        }
    }
    // The index goes first: its entries lie between the objects in memory, and releasing them
    // before the objects lets the heap join the freed blocks as they come.
    if (listed)
        ids_.clear();
    // A loop, not one call per object: long lists must not exhaust the stack.
    while (first) {
        DocObject* following = first->next;
        first->next = nullptr;
        delete first;
        first = following;
    }
    if (listed)
        RebuildIndex();
}

DocObject* NObjectDocument::GetObject(int32_t id)
{
    for (DocObject* o = root.next; o; o = o->next) {
        if (o->id == id)
            return o;
    }
    LogMessage(L"GetObject nullptr! wants %d", id);
    return nullptr;
}

void NObjectDocument::Clear()
{
    FreeObjects(root.next);
    root.next = nullptr;
    count = kResetCount;
    currentId = kResetCurrentId;
    root.Reset();
    RebuildIndex();
}
