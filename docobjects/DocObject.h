// DocObject: one drawing object of a document. A plain record: its type number (DocObjectType)
// says which payload record `payload` points to; the object owns that payload, and the
// document's list owns the objects through `next`.
//
// The five pictures and their keys are caches of the painters and exist only in memory.
#pragma once

#include <windows.h>

#include "docobjects/DocPayloads.h"
#include "imaging/NImageBuffer.h"

#include <cstdint>
#include <type_traits>

class DocObject {
public:
    // The empty object (as Init).
    DocObject();
    // Releases the payload and the pictures (as Reset); never the objects after it.
    ~DocObject();
    DocObject(const DocObject&) = delete;
    DocObject& operator=(const DocObject&) = delete;

    // The empty object: everything 0 or empty except id 1, opacity 255 and the warp key (all
    // -1); a payload it held is released.
    DocObject& Init();
    // Objects of these types holding a copy of the source payload (CopyPayload), or none for
    // a null source; the other fields as Init. Callouts and curves with image take angle 0; a
    // picture object starts with warp mode key 255.
    DocObject& InitPicture(int32_t type, int32_t id, const RECT& rect, uint8_t shadow, uint32_t shadowColour,
                           uint8_t opacity, float angle, const PicturePayload* source);
    DocObject& InitImageText(int32_t type, int32_t id, const RECT& rect, uint8_t shadow, uint32_t shadowColour,
                             uint8_t opacity, float angle, const ImageTextPayload* source);
    DocObject& InitText(int32_t type, int32_t id, const RECT& rect, uint8_t shadow, uint32_t shadowColour,
                        uint8_t opacity, float angle, const TextPayload* source);
    DocObject& InitCallout(int32_t type, int32_t id, const RECT& rect, uint8_t shadow, uint32_t shadowColour,
                           uint8_t opacity, const CalloutPayload* source);
    DocObject& InitCurveImage(int32_t type, int32_t id, const RECT& rect, uint8_t shadow, uint32_t shadowColour,
                              uint8_t opacity, const CurveImagePayload* source);
    // Releases the payload with what it owns and the five pictures, and clears the fields: type
    // and id 0, opacity 255, payload and next null, warp key all -1, warp mode key 255.
    void Reset();

    // The payload as the record its type selects; null for another type or no payload.
    template <class T>
    T* PayloadAs() const
    {
        return HoldsPayload<T>(type) ? static_cast<T*>(payload) : nullptr;
    }

    template <class T>
    static bool HoldsPayload(int32_t objectType);

    int32_t type;                 // DocObjectType; 0 in an empty object
    int32_t id;
    RECT rect;                    // left, top, right, bottom in document pixels
    uint8_t shadow;
    uint32_t shadowColour;
    uint8_t opacity;              // constant alpha, 255 opaque
    float angle;                  // degrees about the rectangle's centre (rotatable types)
    uint8_t locked;               // not found by hit-testing
    uint8_t hidden;               // neither painted nor hit
    uint8_t furtherBytes[6];      // kept by copies and files
    uint32_t furtherValues[2];    // kept by files, not by copies
    void* payload;                // owned; the record DocObjectType names
    DocObject* next;

    NImageBuffer shadowCache;          // 32 bpp premultiplied
    NImageBuffer displayCache;         // the picture at display size (pictures, images with text)
    int32_t displayCacheWidth;
    int32_t displayCacheHeight;
    NImageBuffer rotatedShadowCache;
    NImageBuffer rotatedDisplayCache;
    float cacheAngle;
    NImageBuffer unwarpedCache;        // picture objects: the payload's picture before the warp
    int16_t warpKey[8];
    uint8_t warpModeKey;

private:
    void ClearFields(int32_t newId, uint8_t newWarpModeKey);
    void SetCommon(int32_t newType, int32_t newId, const RECT& newRect, uint8_t newShadow, uint32_t newShadowColour,
                   uint8_t newOpacity, float newAngle);
};

template <class T>
bool DocObject::HoldsPayload(int32_t objectType)
{
    if constexpr (std::is_same_v<T, LegacyTextPayload>)
        return objectType == DOC_OLD_TEXT;
    else if constexpr (std::is_same_v<T, RectanglePayload>)
        return objectType == DOC_RECTANGLE;
    else if constexpr (std::is_same_v<T, EllipsePayload>)
        return objectType == DOC_ELLIPSE;
    else if constexpr (std::is_same_v<T, LinePayload>)
        return objectType == DOC_LINE;
    else if constexpr (std::is_same_v<T, PolylinePayload>)
        return objectType == DOC_POLYLINE;
    else if constexpr (std::is_same_v<T, CalloutPayload>)
        return objectType == DOC_CALLOUT;
    else if constexpr (std::is_same_v<T, ArrowPayload>)
        return objectType == DOC_ARROW;
    else if constexpr (std::is_same_v<T, ImageTextPayload>)
        return objectType == DOC_IMAGE_TEXT;
    else if constexpr (std::is_same_v<T, PicturePayload>)
        return objectType == DOC_OLD_PICTURE || objectType == DOC_OLD_PICTURE_STYLED || objectType == DOC_PICTURE;
    else if constexpr (std::is_same_v<T, TextPayload>)
        return objectType == DOC_TEXT;
    else if constexpr (std::is_same_v<T, CurvePayload>)
        return objectType == DOC_ARROW_CURVE || objectType == DOC_CURVE;
    else if constexpr (std::is_same_v<T, CurveImagePayload>)
        return objectType == DOC_CURVE_IMAGE;
    else
        return false;
}
