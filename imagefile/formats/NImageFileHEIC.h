// NImageFileHEIC: HEIC and HEIF still pictures (FileType 58), read only, decoded by the Windows
// Imaging Component with the HEIF codec the system has installed (see WicReader.h); without such
// a codec every HEIC file answers 203. The EXIF data is rebuilt from the file's shell properties
// (see ShellExif.h). The consumed size is the whole file.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileHEIC : public NImageFile {
public:
    // Signature check: "ftyp" at 4 and the major brand "mif1", "msf1", "heic" or "heis" at 8; the
    // box size at the offset is not looked at. Needs 13 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the HEIC at byte 0 of the source ends: the end of its last top-level box. The walk
    // follows known box types from "ftyp" on and stops at a box of size 0, one past the data or
    // a name it does not know. Complete only with an "ftyp" first and a "meta" box; the loader's
    // consumed size.
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. The result is 24 bpp, alpha flattened over white. 103 when the file
    // does not open; 200 without the signature in its first 32 bytes; then the answers of
    // DecodeWithWic (205, 203, 404, 403).
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
