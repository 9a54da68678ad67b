// The format plug-in interface, version 2: the two fixed-layout blocks exchanged with a plug-in
// DLL and the signatures of the nine functions such a DLL exports by name. Plug-in DLLs are
// built separately, so this header depends on nothing but <windows.h> and must keep every
// offset below. Texts are NUL-terminated UTF-16 unless a field is filled to its last unit.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr int32_t kPlugInInterfaceVersion = 2;
constexpr int kPlugInPaletteBytes = 768;     // 256 triplets red, green, blue
constexpr int kPlugInFileListUnits = 2048;   // buffer handed to Dll_GetPlugInFiles

// Description of one picture, filled by the DLL for decoding and by the host for encoding.
struct PlugInFormatInfo {
    int32_t size;                   // 712, set by the host
    int32_t width;
    int32_t height;
    int32_t bitsPerPixel;           // 1, 4, 8, 16, 24 or 32
    int32_t hasPreview;             // nonzero: the DLL can decode a reduced preview
    int32_t previewWidth;
    int32_t previewHeight;
    int32_t previewBitsPerPixel;
    uint8_t reserved32[8];
    int32_t metadataWanted;         // cleared by the host when only pixels are wanted
    int32_t highDynamicRange;
    int32_t loadOptionValue;        // from the load options (first plug-in value)
    int32_t hasCameraData;          // nonzero: the fields below describe the camera
    wchar_t cameraMake[64];
    wchar_t cameraModel[64];
    wchar_t date[32];               // "YYYY:MM:DD hh:mm:ss"
    wchar_t comment[128];
    double apertureValue;           // APEX
    double focalLength;             // millimetres
    double isoSpeed;
    double shutterSpeedValue;       // APEX
    double exposureTime;            // seconds
    double fNumber;
    int32_t whiteBalance;           // EXIF codes
    int32_t flash;
    int32_t lightSource;
    int32_t meteringMode;
    uint8_t loadOptionFlag;         // from the load options (second plug-in value)
    uint8_t reserved697;
    uint8_t latitudeSouth;          // nonzero: south
    uint8_t longitudeWest;          // nonzero: west
    float latitude;                 // degrees
    float longitude;                // degrees
    uint8_t reserved708[4];
};

// Description of one plug-in DLL. The host clears it, writes the path and the version, and the
// DLL's Dll_GetPlugInInfo fills in its name, extensions, filter row and abilities.
struct PlugInRecord {
    int32_t version;                // 2; a DLL that changes it is refused
    wchar_t path[260];              // full path of the DLL
    wchar_t name[144];
    wchar_t extensions[200];        // without dots, separated by '|'
    wchar_t filterDescription[64];  // open-dialog row text
    wchar_t filterPattern[200];     // open-dialog row pattern
    int32_t canRead;
    int32_t canWrite;
    uint8_t dllData[788];           // the DLL's own; the host only clears it
    PlugInFormatInfo formatInfo;
    HMODULE module;                 // while loaded, else null
    uint8_t loaded;
    uint8_t reserved3257[7];
};

static_assert(sizeof(wchar_t) == 2, "plug-in texts are UTF-16");

static_assert(sizeof(PlugInFormatInfo) == 712, "PlugInFormatInfo layout");
static_assert(offsetof(PlugInFormatInfo, width) == 4);
static_assert(offsetof(PlugInFormatInfo, bitsPerPixel) == 12);
static_assert(offsetof(PlugInFormatInfo, hasPreview) == 16);
static_assert(offsetof(PlugInFormatInfo, previewBitsPerPixel) == 28);
static_assert(offsetof(PlugInFormatInfo, metadataWanted) == 40);
static_assert(offsetof(PlugInFormatInfo, highDynamicRange) == 44);
static_assert(offsetof(PlugInFormatInfo, loadOptionValue) == 48);
static_assert(offsetof(PlugInFormatInfo, hasCameraData) == 52);
static_assert(offsetof(PlugInFormatInfo, cameraMake) == 56);
static_assert(offsetof(PlugInFormatInfo, cameraModel) == 184);
static_assert(offsetof(PlugInFormatInfo, date) == 312);
static_assert(offsetof(PlugInFormatInfo, comment) == 376);
static_assert(offsetof(PlugInFormatInfo, apertureValue) == 632);
static_assert(offsetof(PlugInFormatInfo, focalLength) == 640);
static_assert(offsetof(PlugInFormatInfo, isoSpeed) == 648);
static_assert(offsetof(PlugInFormatInfo, shutterSpeedValue) == 656);
static_assert(offsetof(PlugInFormatInfo, exposureTime) == 664);
static_assert(offsetof(PlugInFormatInfo, fNumber) == 672);
static_assert(offsetof(PlugInFormatInfo, whiteBalance) == 680);
static_assert(offsetof(PlugInFormatInfo, flash) == 684);
static_assert(offsetof(PlugInFormatInfo, lightSource) == 688);
static_assert(offsetof(PlugInFormatInfo, meteringMode) == 692);
static_assert(offsetof(PlugInFormatInfo, loadOptionFlag) == 696);
static_assert(offsetof(PlugInFormatInfo, latitudeSouth) == 698);
static_assert(offsetof(PlugInFormatInfo, longitudeWest) == 699);
static_assert(offsetof(PlugInFormatInfo, latitude) == 700);
static_assert(offsetof(PlugInFormatInfo, longitude) == 704);

static_assert(sizeof(PlugInRecord) == 3264, "PlugInRecord layout");
static_assert(offsetof(PlugInRecord, path) == 4);
static_assert(offsetof(PlugInRecord, name) == 524);
static_assert(offsetof(PlugInRecord, extensions) == 812);
static_assert(offsetof(PlugInRecord, filterDescription) == 1212);
static_assert(offsetof(PlugInRecord, filterPattern) == 1340);
static_assert(offsetof(PlugInRecord, canRead) == 1740);
static_assert(offsetof(PlugInRecord, canWrite) == 1744);
static_assert(offsetof(PlugInRecord, dllData) == 1748);
static_assert(offsetof(PlugInRecord, formatInfo) == 2536);
static_assert(offsetof(PlugInRecord, module) == 3248);
static_assert(offsetof(PlugInRecord, loaded) == 3256);

// The exports, looked up by these names. Status results are NRESULT values, 0 for success.
// Pixel rows are bottom-up DIB rows padded to 4 bytes; palettes are kPlugInPaletteBytes long.
extern "C" {
typedef int32_t (*PlugInInitializeFn)();                                   // Dll_InitializePlugIn
typedef int32_t (*PlugInUninitializeFn)();                                 // Dll_UninitializePlugIn
typedef int32_t (*PlugInGetInfoFn)(PlugInRecord* record);                  // Dll_GetPlugInInfo
typedef int32_t (*PlugInIsFormatFn)(uintptr_t a, uintptr_t b, uintptr_t c);  // Dll_IsFormat: 1 = yes
typedef int32_t (*PlugInGetFormatInfoFn)(const wchar_t* path, PlugInFormatInfo* info);  // Dll_GetFormatInfo
// Dll_DecodeFormat and Dll_DecodeFormatPreview.
typedef int32_t (*PlugInDecodeFn)(const wchar_t* path, PlugInFormatInfo* info, void* rows, uint8_t* palette);
typedef int32_t (*PlugInEncodeFn)(const wchar_t* path, PlugInFormatInfo* info, void* rows, uint8_t* palette,
                                  int32_t option);                         // Dll_EncodeFormat
typedef int32_t (*PlugInGetFilesFn)(wchar_t* buffer, int32_t units);       // Dll_GetPlugInFiles
}
