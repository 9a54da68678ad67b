// NImageFileWEBP: the WebP format class (FileType 55), reader and writer, through libwebp.
//
// Reading: a still picture, lossy or lossless, loads as 32 bits (blue, green, red, alpha) when
// the file declares alpha, else as 24 bits. An animated file loads as its first frame, composed
// on its canvas (one picture; the object stays single-image). The preview and quick flags are
// ignored. Consumed size: the whole file, also when the WebP data ends earlier.
//
// Writing: the lossless encoder when the save options' WebP lossless flag is set (the default),
// else the lossy one at the WebP quality. 32-bit pictures keep their alpha; 24-bit pictures are
// written as they are; other depths are converted to 24 bits first. Metadata is not written.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileWEBP : public NImageFile {
public:
    // Signature check: "RIFF", any four bytes (the RIFF size), "WEBP", then "VP" (the start of the
    // first chunk's name: VP8, VP8L or VP8X). Needs 16 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the WebP at byte 0 of the source ends: the RIFF size + 8, the loader's consumed size.
    // Broken for a RIFF size too small to hold a WebP chunk; Unknown when it runs past the data.
    static PictureExtent FindExtent(ByteSource& source);

    // 0; 205 when the decoder cannot be set up; 103 when the file does not open; 300 when the
    // file cannot be held in memory; 204 when it is not WebP (no signature, unreadable header),
    // so the factory does not try detection by content; 404 when decoding fails; 403 when the
    // picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    // 0; 400 without a valid picture; 300 when a converted copy cannot be made; 405 when the
    // encoder gives no output; 104 when the file cannot be created; 102 when writing it fails
    // (the incomplete file is removed). The picture itself is left untouched.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
};
