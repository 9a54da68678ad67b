// NImageFileJP2: the JPEG 2000 format class (FileType 19), reader and writer, through OpenJPEG.
//
// Reading: JP2 files and raw code streams, told apart by their first bytes. The picture comes
// out as 8-bit sRGB: three or more colour components give 24 bits (32 with an alpha component:
// a fourth one, or one the file marks as alpha); sYCC (declared, or guessed from subsampled
// chroma in a bare code stream) and CMYK are converted to RGB, and an embedded RGB ICC profile
// is applied through Little CMS. One component (a second one being alpha gives 32 bits) is a
// grey picture with a grey-ramp palette: 1 bit stays 1 bit, 4 bits stay 4 bits, every other
// precision is scaled to 8 bits. Subsampled components are spread over the full picture.
// The preview and quick flags are ignored.
//
// Consumed size: the furthest position the decoder read in the file (for a well-formed file,
// just after the code stream's end marker).
//
// Writing: a JP2 file of three 8-bit sRGB components (pictures of other depths are converted,
// 32-bit ones composed over white). With the save options' JPEG 2000 lossless flag (the
// default), or a rate of 1000 thousandths or more, or of 0 or less, the reversible 5/3 wavelet
// without a size target; otherwise the irreversible 9/7 wavelet at the compression ratio
// 1000 / rate (the default 30 gives about 33:1). Metadata is not written.
//
// Failures inside an operation are raised as NRESULT exceptions and answered at its top; any
// other exception answers 1.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJP2 : public NImageFile {
public:
    // Signature check: FF 4F FF 51 (the code stream's SOC and SIZ markers), or 00 00 00 0C 6A 50
    // 20 20 (length and type of the JP2 signature box; its contents are not looked at). Needs 8
    // bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the JPEG 2000 picture at byte 0 of the source ends, as the decoder reads it: just past
    // the code stream's end-of-codestream marker, for a bare code stream and for one inside a
    // JP2 file (boxes after the code stream are not counted). Unknown when the data ends first.
    static PictureExtent FindExtent(ByteSource& source);

    // 0 (also for a truncated file whose decodable part is returned); 103 when the file does not
    // open; 404 when it is not JPEG 2000 or cannot be decoded, also for more than 131072 tiles
    // times components, or more than eight a byte of the file (plus 256): the decoder prepares
    // each before reading any data; 204 when the header
    // claims more than 64 components, more than kMaxDecodedBytes of decoded samples, or more
    // samples than the file's bytes can code (4096 a byte); 303 when the decode budget cannot
    // give the decoder's memory; 403 when the picture cannot be made. Not 200, so the factory
    // does not try detection by content.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    // 0; 400 without a valid picture; 104 when the file cannot be created; 300 when a
    // converted copy cannot be made; 403 when the codec's picture cannot be made; 405 when
    // encoding or writing fails. A failed save leaves no file.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // The decoder holds every sample as 4 bytes; a file whose components add up to more than
    // this many bytes is refused before decoding.
    static constexpr uint64_t kMaxDecodedBytes = 0x7FFFFFFFull;
};
