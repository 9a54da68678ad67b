// NImageFilePLUGIN: pictures read and written through a format plug-in DLL (FileType 48).
// The creators choose the plug-in by the file's extension and put its DLL path into the load or
// save options; Load and Save load that DLL for the one operation and unload it again.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePLUGIN : public NImageFile {
public:
    // Plug-in formats are found by extension only: always false.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    // NR_PLUGIN_MISSING (600) when the load options name no existing DLL, NR_PLUGIN_INIT_FAILED
    // (603) when it does not load or is refused, NR_FORMAT_NOT_SUPPORTED (202) when it does not
    // read; otherwise the decoder's status. The plug-in's texts and the full size are kept
    // also after a failed decode; camera data becomes the metadata's EXIF.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    // 400 without a valid picture, then 600, 603 and 202 as for Load, else the encoder's status.
    // The metadata is not written.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsHighDynamicRange() const override;

    uint8_t highDynamicRange = 0;
};

// A reader object for the path. The first plug-in (in list order) that reads the path's
// extension is chosen and becomes the current one; its DLL path goes into the caller's options
// when given (the caller then applies them), else into the object's own load options.
NImageFilePLUGIN* CreatePlugInReader(const wchar_t* path, ImageLoadOptions* options);
// The same for the first plug-in that writes the extension, through the save options.
NImageFilePLUGIN* CreatePlugInWriter(const wchar_t* path, ImageSaveOptions* options);
