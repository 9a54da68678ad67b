// NImageFilePNG: the PNG format class (FileType 31), reader and writer, through libpng 1.6.
//
// Reading: still pictures keep their kind where a bitmap can hold it: grey as a palette picture
// with a grey ramp (16-bit grey as 8 bits, 2-bit pictures as 4 bits), palette pictures as such
// (as 32 bits when the palette has transparency), RGB as 24 bits, grey + alpha and RGB + alpha
// as 32 bits (blue, green, red, alpha). The first text chunk before the image data becomes the
// comment, or the XMP packet when it holds one; pHYs gives the resolution.
//
// An animated PNG (an acTL chunk announcing more than one frame), loaded without the preview and
// quick flags, gives the frame strip: one 32-bit picture of W x (N x H), frame k in the k-th
// block of H scan lines of pixel memory (frame 0 first, each block bottom-up like any picture),
// the height field set back to H afterwards; the delay table holds each frame's delay in
// milliseconds. With either flag the file loads as its default image.
//
// Consumed size: just after the IEND chunk's CRC (for an animation: where its chunk walk
// stopped, which is also after IEND for a well-formed file).
//
// Errors inside libpng come back through its jump buffer (see PngGuard.h) to the operation,
// which releases the structures and the file and answers 404 (reading) or 405 (writing); the
// last library message is kept in libraryMessage.
//
// Writing: single pictures through Save; animations from a multi-frame source (SaveAnimationFrom,
// and SaveFrom for an animated GIF) or page by page (BeginPages, AddPage, EndPages). Each frame
// is first written as a PNG file of its own in the temporary folder; the animated-PNG writer
// (ApngWriter.h) assembles them, and they are deleted afterwards whatever the result.
#pragma once

#include <cstdint>
#include <vector>

#include "base/NString.h"
#include "imagefile/NImageFile.h"

struct png_struct_def;
struct png_unknown_chunk_t;

class NImageFilePNG : public NImageFile {
public:
    NImageFilePNG();
    ~NImageFilePNG() override;

    // Signature check: the eight-byte PNG signature 89 50 4E 47 0D 0A 1A 0A. Needs 8 bytes from
    // the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the PNG (or animated PNG) at byte 0 of the source ends: just past its IEND chunk, as
    // the loader reads it. Broken for what libpng refuses: no IHDR first, a chunk length beyond
    // 2^31 - 1, a chunk name that is not four letters, or the data ending before IEND.
    static PictureExtent FindExtent(ByteSource& source);

    // 0; 103 when the file does not open; 200 without a PNG signature; 205 when libpng's
    // structures cannot be made; 403 when the picture cannot be made; 404 for a libpng error
    // (bad chunk, CRC, truncated data, an empty acTL) or an animation without a readable frame.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    // 204 without a source. A GIF source with two or more pages (and animation not switched
    // off in the save options) is written as an animation (SaveAnimationFrom with reduced
    // colours). Otherwise Save with the source's picture and metadata.
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // Writes one picture (picture or metadata null: the object's own). 1, 4 and 8 bits per pixel
    // as palette pictures, 16 and 24 as RGB, 32 as RGB + alpha; the colour key as a tRNS chunk
    // (palette: the transparent index; RGB: the key colour); pHYs from the resolution; one zTXt
    // chunk "Title" with the comment, or "Software". 0; 400 without a valid picture; 104 when
    // the file cannot be created; 205 when libpng's structures cannot be made; 405 for a libpng
    // error; 102 when writing or closing the file fails. A failed save leaves no file.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    bool IsAnimated() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;
    // Page-by-page animation writing. BeginPages remembers the path (the reference is not
    // used); AddPage keeps the page with the delay in pageDelay (milliseconds) and answers the
    // result of saving it; EndPages writes the animation (colours reduced, progressOverlay told
    // of each frame) and answers the writer's result.
    NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference) override;
    NRESULT AddPage(NImageBuffer* page) override;
    NRESULT EndPages() override;

    // Writes the frames of a multi-frame source (its picture a frame strip, its delays in
    // milliseconds, GIF's in hundredths) as an animated PNG that repeats for ever. reduceColours:
    // the colour type and palette may be reduced. dropGps / dropExif remove the GPS tags / the
    // EXIF data from the source's metadata. With a sink, every frame prepared and written is
    // reported on it. 0, or the writer's result (404 when no frame could be prepared).
    NRESULT SaveAnimationFrom(const wchar_t* path, NImageFile* source, NProgressSink* progressSink,
                              bool reduceColours, bool dropExif, bool dropGps);

    // Reads a PNG file's header and end without decoding pixels. 0, 103, 200, 205 or 404.
    NRESULT ProbeFile(const wchar_t* path);

    // In place, from the last pixel back: `width` 2-bit pixels become 4-bit pixels.
    static void ExpandRow2To4(uint8_t* row, int width);

    // libpng's callbacks; the error pointer is the image-file object. The error callback keeps
    // the message in libraryMessage and leaves through the operation's jump buffer.
    static void OnLibraryError(png_struct_def* png, const char* message);
    static void OnLibraryWarning(png_struct_def* png, const char* message);
    // Notes an acTL chunk that announces more than one frame (sets the animated and multi-image
    // flags). 0 for other chunks (libpng's own handling), -1 for an acTL without its data.
    static int OnUnknownChunk(png_struct_def* png, png_unknown_chunk_t* chunk);

    NString libraryMessage;           // "None", or the text of libpng's last error
    std::vector<NString> frameFiles;  // single-frame files collected for an animation (deleted
                                      // at the latest with the object)
    NString pagePath;                 // output path of page-by-page writing

private:
    // Saves the page as a PNG file in the temporary folder and appends it to frameFiles.
    NRESULT SavePageFile(NImageBuffer& page, ImageMetadata* metadata);
    void DeleteFrameFiles();
};
