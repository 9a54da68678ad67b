// NImageFileJPG: the JPEG format class (FileType 18), reader and writer, through libjpeg-turbo.
//
// Reading keeps the picture blue-first: 3-component pictures become 24 bpp, CMYK pictures
// (Adobe-style, inverted) become 24 bpp, grey pictures 8 bpp with a grey palette. An embedded
// ICC profile converts RGB and CMYK pictures to sRGB (Little CMS). EXIF, IPTC, XMP and comments
// go to the metadata.
//
// Consumed size: decoding reads the file through libjpeg's stdio source in blocks of 4096
// bytes, so after a load the consumed size is the end of the 4096-byte block that holds the
// end-of-image marker, or the file size when the file ends first. The recovery scan cuts its
// candidates to this size; the block granularity is deliberate.
//
// Errors inside libjpeg return through a jump buffer to the operation that called it, which
// releases the decompressor, the file and the colour transforms. One object is used by one
// thread at a time; different objects may decode at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/NString.h"
#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

struct jpeg_common_struct;

class NImageFileJPG : public NImageFile {
public:
    NImageFileJPG();
    ~NImageFileJPG() override;

    // Signature check: FF D8 FF, the start-of-image marker and the first byte of the next marker.
    // Needs 10 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    // 0; 103 when the file does not open; 200 when libjpeg says the data is not JPEG (one line
    // in the library log); 403 when the picture cannot be made; 404 for any other decoder
    // error (one log line). Reads EXIF always, IPTC in full loads, and in preview loads the
    // make, model, date and resolution texts from EXIF. The quick flag is not used.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // Writes a baseline (or progressive) JPEG with the metadata's comment, EXIF (brought up to
    // date with the picture's resolution and size, thumbnail dropped), XMP and IPTC. picture or
    // metadata null: the object's own. The metadata's EXIF data is changed by the call.
    // 0; 400 without a valid picture; 104 when the file cannot be created; 405 when libjpeg
    // fails or a metadata block does not fit into a JPEG segment (no file is left behind).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // Where the JPEG picture at byte 0 of the source ends, as a load reports its consumed size:
    // the end of the 4096-byte block that holds the end-of-image marker (or the end of the
    // data), or the end of the last picture of a multi-picture index. The markers are read the
    // way libjpeg reads them; Broken for what libjpeg refuses before it decodes anything (no
    // frame header before the scan, an unknown or second start-of-image or frame marker, an
    // impossible frame header, the end of the data before the first scan); Unknown when the data
    // ends inside the entropy-coded data.
    static PictureExtent FindExtent(ByteSource& source);
    // The end of the last picture named by the multi-picture index (APP2 "MPF") in the header of
    // the picture at byte 0, when every picture it names starts with a start-of-image marker
    // inside the data; otherwise 0.
    static uint64_t FindMultiPictureEnd(ByteSource& source);

    // Decodes the JPEG stream that starts at the file's current position into target (no
    // metadata, no colour profile). The file is neither opened nor closed; afterwards its
    // position is where libjpeg's stdio source stopped reading (a multiple of 4096 bytes past
    // the start, or the end of the file). preview: decoded at 1/2 to 1/8 by the larger side
    // (above 400, 800, 1600 pixels), fast DCT. Sets the owner's full size on success and, on
    // error, its decoder message; the owner may be null. 0, 200 (not JPEG), 403 or 404.
    static NRESULT DecodeStream(NImageFileJPG* owner, NImageBuffer& target, FILE* file, uint8_t preview);

    // Decodes the first JPEG whose FF D8 FF lies in the first 102400 bytes of the file, into
    // target or (null) the own picture. Full size = the decoded picture's size; consumed size =
    // the file position after decoding, counted from the start of the file. 0, 103 when the
    // file does not open, 200 when there is no start of image (or the file cannot be reopened),
    // else the result of DecodeStream.
    NRESULT LoadEmbeddedJpeg(const wchar_t* path, NImageBuffer* target);

    // The encoder core. comment: written as a COM segment in the ANSI code page (at most 254
    // bytes) when it has two or more characters. xmp: written when longer than 10 bytes (up to
    // its first zero byte). exif and photoshop: written as they are when not empty. Every
    // segment must fit (at most 65533 bytes of data), or the call answers 405 before creating
    // the file. 0, 104 or 405; a file whose writing failed is removed.
    static NRESULT WriteJpeg(NImageFileJPG* owner, const wchar_t* path, const NImageBuffer& picture, int quality,
                             bool optimize, float smoothing, bool progressive, const wchar_t* comment,
                             const std::string& xmp, const uint8_t* exif, size_t exifLength,
                             const uint8_t* photoshop, size_t photoshopLength);

    // libjpeg's error exit: stores the message and returns to the operation's jump target.
    [[noreturn]] static void ErrorExit(jpeg_common_struct* common);

    // The text of the last libjpeg error (empty until one happens).
    NString decoderMessage;
};
