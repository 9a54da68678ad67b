// NImageFileJPS: the JPS (JPEG Stereo) format class, read only. A JPS file is one JPEG picture
// holding a side-by-side stereo pair; the class splits it into its two halves.
//
// The halves come back as a frame strip of W / 2 x 2H: the left half drawn at device row 0, the
// right half at device row H (so, bottom-up, the right half is first in pixel memory), and the
// picture's height field set back to H; the buffer then shows the right half. Each half adds a
// delay of 250 to the delay table.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJPS : public NImageFile {
public:
    // Signature check: FF D8 FF, and "JFIF", "Exif" or "Adob" at 6 (the identifier of the APP0,
    // APP1 or APP14 segment that follows the start of image). Needs 12 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    // The preview or quick flag: the first JPEG of the file as one picture. Otherwise the strip:
    // 0; 103 when the file does not open; the JPEG decoder's answer when it fails (200 when the
    // file is not JPEG); 403 when the strip cannot be made. Consumed size: the file position
    // after decoding.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;   // stored; loads always read the whole file
    bool IsAnimated() const override;
};
