// NImageFileJPP: reads JPP files (a six-byte header and the bare entropy-coded data of a
// baseline JPEG picture with fixed tables, see JppDecoder) into a 24-bit picture. Read only.
// The format has no signature; the load factory reaches the class by the file extension only.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJPP : public NImageFile {
public:
    // Always false: nothing in a JPP file identifies it.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    // Both flags are ignored. The consumed size is the whole file.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
