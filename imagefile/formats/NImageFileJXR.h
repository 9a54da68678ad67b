// NImageFileJXR: the JPEG XR (HD Photo) format class (FileType 51), reader and writer, through
// jxrlib (see JxrCodec.h).
//
// Reading: blue-first 24-bit pictures and 32-bit pictures with alpha decode straight into the
// picture (24 and 32 bpp); every other pixel format the converter of jxrlib knows (red-first,
// grey, black and white, 16 bits a channel, fixed and floating point, padded 32-bit) is
// converted to 24 bpp, or to 32 bpp when it has alpha. Formats without such a conversion (CMYK,
// n-channel) answer 404. The resolution is the file's, rounded to whole dots per inch. The
// consumed size is the whole file.
//
// Writing: the picture is written as a BMP file to a new temporary file of its own (never a
// name that exists), which jxrlib's BMP reader hands to its encoder, and deleted again. Pictures
// below 24 bpp are written from a 24-bit copy; 32-bit pictures keep their alpha. Metadata is
// not written.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJXR : public NImageFile {
public:
    // Signature check: 49 49 BC 01, and the text "WMPHOTO" somewhere in the 1024 bytes from the
    // offset. Needs 1025 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the JPEG XR at byte 0 of the source ends: the furthest byte of its directory, of any
    // value stored outside an entry, and of its image and alpha data. Unknown when something
    // points outside the data or the picture data is not named. The loader's consumed size.
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. The signature is not tested: 404 for anything jxrlib does not
    // decode (also a file that does not exist) and for pixels that cannot be decoded (the
    // picture is then destroyed); 403 when the picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // 400 without a valid picture; 104 (after a message box) when the file cannot be created;
    // 405 when encoding fails (a message box names the failing step of jxrlib; the partial file
    // is deleted). Reads the JPEG XR quality and lossless settings of the save options.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // The encoder's default quantiser index: 1 when lossless, else (quality x -255) / 100 kept
    // in a byte, with the quality held to 1..100 (85 gives 40, 100 gives 1).
    static uint8_t QuantiserIndex(bool lossless, int32_t quality);
};
