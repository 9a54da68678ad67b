// NImageFilePPP: the Punk Productions picture format class (read and write).
//
// The binary variant ("PP", version 2) holds a 24-bit picture's rows exactly as they are kept in
// memory (bottom row first, blue, green, red, rows padded to 4 bytes), compressed with zlib. The
// text variant ("Punk", only read) lists the pixels as decimal numbers, plainly or as runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePPP : public NImageFile {
public:
    // Signature check: "PP" and byte 2 = 2. Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. A file that is not binary PPP is read as the text variant. 204 a
    // header cut short, or packed data that is missing, cannot fill the picture or unpacks to
    // fewer bytes than its rows; 300 no memory; 302 the packed data does not unpack; 403 the
    // picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // Binary variant at 24 bits; no metadata. 400 no valid picture; 104 the file cannot be
    // created; 205 a picture wider or taller than 65535 pixels; 300 no memory; 301 compression
    // failed; 102 a write failed (the file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* source, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // The text variant: "Punk", then a word and six integers (width second, height third, run
    // mode fourth, noise amplitude fifth), then the pixels: red, green, blue per pixel from the
    // top row, or in run mode groups of count, red, green, blue filling pixels in order; a run's
    // pixels get up to amplitude - 1 of random noise per channel (the C library's rand) when every
    // channel is below 255 - amplitude. Blanks, tabs and line ends separate the numbers; '#' starts
    // a comment to the end of the line. 103, 200 no "Punk", 204 a picture the text cannot fill,
    // 403; the end of the file ends the reading with 0.
    NRESULT LoadText(const wchar_t* path, NImageBuffer& target);
};
