#include "docobjects/DocObject.h"

#include <cstring>

DocObject::DocObject() : type(0), payload(nullptr), next(nullptr)
{
    ClearFields(1, 0);
}

DocObject::~DocObject()
{
    Reset();
}

void DocObject::ClearFields(int32_t newId, uint8_t newWarpModeKey)
{
    DeletePayload(type, payload);
    payload = nullptr;
    next = nullptr;
    type = 0;
    id = newId;
    rect = RECT{0, 0, 0, 0};
    shadow = 0;
    shadowColour = 0;
    opacity = 255;
    angle = 0.0f;
    locked = 0;
    hidden = 0;
    memset(furtherBytes, 0, sizeof(furtherBytes));
    furtherValues[0] = 0;
    furtherValues[1] = 0;
    shadowCache.Destroy();
    displayCache.Destroy();
    displayCacheWidth = 0;
    displayCacheHeight = 0;
    rotatedShadowCache.Destroy();
    rotatedDisplayCache.Destroy();
    cacheAngle = 0.0f;
    unwarpedCache.Destroy();
    for (int16_t& k : warpKey)
        k = -1;
    warpModeKey = newWarpModeKey;
}

DocObject& DocObject::Init()
{
    ClearFields(1, 0);
    return *this;
}

void DocObject::Reset()
{
    ClearFields(0, 255);
}

void DocObject::SetCommon(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow,
                          uint32_t newShadowColour, uint8_t newOpacity, float newAngle)
{
    Init();
    type = newType;
    id = newId;
    rect = newRect;
    shadow = newShadow;
    shadowColour = newShadowColour;
    opacity = newOpacity;
    angle = newAngle;
}

namespace {

// A payload is attached only under a type that names its record, so that it is always released
// as what it is.
template <class T, class... Rule>
void* CopiedPayload(int32_t type, const T* source, Rule... rule)
{
    if (!source || !DocObject::HoldsPayload<T>(type))
        return nullptr;
    T* made = new T();
    CopyPayload(*made, *source, rule...);
    return made;
}

}  // namespace

DocObject& DocObject::InitPicture(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow,
                                  uint32_t newShadowColour, uint8_t newOpacity, float newAngle,
                                  const PicturePayload* source)
{
    SetCommon(newType, newId, newRect, newShadow, newShadowColour, newOpacity, newAngle);
    warpModeKey = 255;
    payload = CopiedPayload(newType, source);
    return *this;
}

DocObject& DocObject::InitImageText(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow,
                                    uint32_t newShadowColour, uint8_t newOpacity, float newAngle,
                                    const ImageTextPayload* source)
{
    SetCommon(newType, newId, newRect, newShadow, newShadowColour, newOpacity, newAngle);
    payload = CopiedPayload(newType, source);
    return *this;
}

DocObject& DocObject::InitText(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow,
                               uint32_t newShadowColour, uint8_t newOpacity, float newAngle, const TextPayload* source)
{
    SetCommon(newType, newId, newRect, newShadow, newShadowColour, newOpacity, newAngle);
    payload = CopiedPayload(newType, source);
    return *this;
}

DocObject& DocObject::InitCallout(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow,
                                  uint32_t newShadowColour, uint8_t newOpacity, const CalloutPayload* source)
{
    SetCommon(newType, newId, newRect, newShadow, newShadowColour, newOpacity, 0.0f);
    payload = CopiedPayload(newType, source);
    return *this;
}

DocObject& DocObject::InitCurveImage(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow,
                                     uint32_t newShadowColour, uint8_t newOpacity, const CurveImagePayload* source)
{
    SetCommon(newType, newId, newRect, newShadow, newShadowColour, newOpacity, 0.0f);
    payload = CopiedPayload(newType, source);
    return *this;
}
