// NImageFileMPO: the MPO (Multi Picture Object) format class, read only. An MPO file is several
// JPEG pictures stored one after another; every one found in the file is decoded.
//
// The pictures come back as a frame strip: N pictures of W x H (the size of the first) in one
// picture of N x H rows, picture i drawn at device row i x H (so, bottom-up, in block N - 1 - i
// of pixel memory), and the picture's height field set back to H when there are several; the
// buffer then shows the last picture. A picture of another size is stretched to W x H in its
// slot. Each picture adds a delay of 250 to the delay table.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileMPO : public NImageFile {
public:
    // Signature check: FF D8 FF, and "JFIF", "Exif" or "Adob" at 6 (the identifier of the APP0,
    // APP1 or APP14 segment that follows the start of image). Needs 12 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    // The preview or quick flag: the first JPEG of the file as one picture. Otherwise the strip:
    // 0; 103 when the file does not open; 300 without memory for the file; 205 when no JPEG of
    // the file decodes; 403 when the strip cannot be made. Consumed size: the file position
    // after the last decode attempt.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;   // stored; loads always read the whole file
    bool IsAnimated() const override;
};
