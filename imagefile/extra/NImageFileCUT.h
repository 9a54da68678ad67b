// NImageFileCUT: the Dr. Halo CUT format class (read only). CUT files hold 8-bit run-length
// pictures; their colours come from the palette file of the same name with the extension ".pal".
// Files of this format are known by their extension only: the signature check never answers true.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imagefile/NImageFile.h"

class NImageFileCUT : public NImageFile {
public:
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. The palette file beside the picture gives the colours; without one
    // the picture is grey. 0; 103 the file does not open; 205 fewer than 6 header bytes; 204 a
    // size the file's rows cannot fill; 403 the picture cannot be made. A file that ends early
    // loads with the rows read so far, the others black.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;

    // The palette file's path: the picture's path (cut at 260 characters) with its extension
    // replaced by ".pal".
    static std::wstring PalettePath(const wchar_t* path);
    // Reads the 256 entries of a Dr. Halo palette file into red, green, blue triplets; entries the
    // file does not hold keep their values. False when the file does not open.
    static bool ReadPalette(const wchar_t* path, uint8_t (&paletteRgb)[768]);
};
