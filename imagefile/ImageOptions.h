// The two records of settings that callers hand to a format object before a load or a save.
// A default-constructed record holds the defaults. Copies are deep for the texts; the
// document and preview pointers are copied as they are and never owned.
#pragma once

#include "base/NString.h"

#include <cstdint>

class NImageBuffer;
class NObjectDocument;

struct ImageLoadOptions {
    uint32_t backgroundColour = 0xFFFFFF;   // COLORREF 0x00BBGGRR, for readers that compose
    uint8_t applyOrientation = 0;           // JPEG: turn by the EXIF orientation
    uint8_t shrinkLargePictures = 0;        // JPEG full loads: decode huge pictures scaled down
    int32_t toneParameter = 0;              // HDR/PFM mapping (0 = default); first plug-in value
    uint8_t plugInFlag = 0;                 // second plug-in value
    NString plugInPath;                     // the plug-in DLL that reads the file
    NObjectDocument* document = nullptr;    // the document format's reader fills it
    // The caller only asks whether the picture decodes, its full size (fullWidth/fullHeight) and
    // its consumed size: a reader may decode it smaller or skip its metadata, as long as it
    // refuses no file that a full decode accepts and reports the same consumed size.
    uint8_t verifyOnly = 0;
    uint8_t reservedFlag1 = 1;              // kept for callers; no reader consults them
    uint8_t reservedFlag2 = 1;

    // Back to the defaults above.
    void Reset();
};

struct ImageSaveOptions {
    ImageSaveOptions();
    ~ImageSaveOptions();
    ImageSaveOptions(const ImageSaveOptions&) = default;
    ImageSaveOptions& operator=(const ImageSaveOptions&) = default;

    uint8_t animationOff = 0;               // PNG/MNG from a GIF source: 0 keeps the animation
    int32_t jpegQuality = 85;
    uint8_t jpegOptimize = 1;
    uint8_t jpegProgressive = 0;
    float jpegSmoothing = 0.0f;             // libjpeg smoothing factor / 100
    NString jpegComment;                    // used when the metadata has no comment of its own
    int32_t jngQuality = 85;
    uint8_t jngOptimize = 1;
    uint8_t jngProgressive = 0;
    float jngSmoothing = 0.0f;
    uint8_t jngFlag = 0;                    // no writer consults it
    int32_t jp2Rate = 30;                   // thousandths
    int32_t jp2Lossless = 1;                // non-zero: rate 1.0
    int32_t jxrQuality = 85;
    uint8_t jxrLossless = 1;
    int32_t webpQuality = 85;
    uint8_t webpLossless = 1;
    int32_t pngCompressionLevel = 5;
    uint8_t pngInterlace = 0;
    uint8_t tgaRunLength = 0;
    int32_t sgiStorage = 1;                 // 0 plain, 1 or 2 run-length, above 2 refused
    uint8_t rasRunLength = 1;
    int32_t tiffCompression = 2;            // 0 none, 1 PackBits, 3 fax (1 bpp), 4 JPEG, else Deflate
    NString plugInPath;                     // the plug-in DLL that writes the file
    int32_t documentCompression = 0;
    NObjectDocument* document = nullptr;
    NImageBuffer* documentPreview = nullptr;

    // Back to the defaults above.
    void Reset();
};
