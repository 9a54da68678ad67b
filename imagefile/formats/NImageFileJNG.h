// NImageFileJNG: the JNG (JPEG Network Graphics) format class (FileType 17), reader and writer.
//
// Reading goes through libmng, which decodes the JPEG colour stream (and the alpha stream, JPEG
// or deflated) straight into the picture through blue-first canvas rows: colour types 8, 12 and
// 14 (grey, grey + alpha, colour + alpha) load at 32 bits per pixel, colour (10) at 24.
//
// Consumed size: just after the IEND chunk, found by walking the chunk headers, also when libmng
// stopped reading earlier (a damaged JPEG stream); when the file ends inside a chunk, the whole
// file; when the chunk structure breaks off, the larger of that point and where libmng's reading
// stopped.
//
// Writing encodes the picture with libjpeg into memory, colour as 4:2:0 JPEG from blue-first
// rows and, for 32-bit pictures, the alpha channel as a greyscale JPEG stream, and frames both
// in JHDR, JDAA and JDAT chunks through libmng. Pictures below 24 bits are written as colour.
// Metadata is not written.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileJNG : public NImageFile {
public:
    // Signature check: 8B 4A 4E 47, the first four bytes of the JNG signature. Needs 5 bytes from
    // the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where a stream at byte 0 ends, as Load measures it: just after its IEND chunk, found by
    // the chunk walk Load makes. Broken for a signature or a first chunk libmng refuses (no header
    // chunk, a wrong checksum); Unknown when the chunk structure breaks off or runs past what can
    // be read.
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 0; 300 when the read context cannot be made; 103 when the file does
    // not open; 200 without a JNG signature; 205 when libmng cannot be set up; 403 when the
    // picture cannot be made; 404 when libmng reports an error. The path is kept as the file
    // name; a load that reached libmng also stores the consumed size and full size.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    // Quality, optimisation, smoothing and progressive mode come from the save options (JNG
    // fields). 0; 400 without a valid picture; 300 when memory runs out; 205 for a libjpeg or
    // libmng set-up error; 405 when a chunk is refused; 102 when the file cannot be created or
    // written (nothing is left behind).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // How the encoded streams are cut into chunks: colour pieces of a tenth of the colour stream,
    // alpha pieces of max(colour piece, a tenth of the alpha stream), never below 1 byte. When
    // progressive the colour stream stays in one JDAT chunk (libmng fails on progressive streams
    // cut at many points) and alpha pieces are max(5 x a 35th of the colour stream, a seventh
    // of the alpha stream).
    static void PieceSizes(uint64_t colourSize, uint64_t alphaSize, bool progressive, uint64_t& colourPiece,
                           uint64_t& alphaPiece);
    // The size of the next chunk of a stream with `left` bytes to go: all of it when it is less
    // than one and a half pieces, else one piece.
    static uint64_t NextPieceSize(uint64_t left, uint64_t piece);
};
