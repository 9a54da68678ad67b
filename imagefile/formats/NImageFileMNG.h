// NImageFileMNG: the MNG (Multiple-image Network Graphics) format class (FileType 23).
//
// Reading plays the animation through libmng into a frame canvas (24 bits per pixel, 32 when the
// stream's first image has alpha) and keeps the canvas after every frame. A load with the
// preview or quick flag, or of a file whose MHDR gives no frame count (0), keeps frame 0 only.
// Otherwise the frames of one pass through the animation, at most the MHDR frame count, form
// the frame strip: one picture of W x (N x H), frame k in the k-th block of H scan lines of
// pixel memory (each block bottom-up), the height field set back to H. The delay table gets
// every timer request of libmng in milliseconds.
//
// Bounds: libmng refuses canvases above 10000 x 10000; the strip keeps at most kMaxFrames
// frames and kStripBudget bytes; the iteration counts of LOOP chunks are capped (see
// MngStreamWalk.h), a TERM chunk's repetition ends the play, and the number of timer breaks
// followed is bounded, so no animation keeps a load busy for ever.
//
// Consumed size: just after the MEND chunk, found by walking the chunk headers, whatever part
// of the animation was played; when the file ends inside a chunk, the whole file; when the chunk
// structure breaks off, the larger of that point and where libmng's reading stopped.
//
// Writing: Save writes a single picture as a PNG file (compression level 6), whatever the
// extension. SaveFrom turns a GIF animation (two or more pages, animation not switched off)
// into an MNG animation (SaveAnimationFrom); anything else goes to Save. BeginPages, AddPage and
// EndPages write an MNG page by page.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileMNG : public NImageFile {
public:
    static constexpr int kMaxFrames = 4096;
    static constexpr uint64_t kStripBudget = 512ull * 1048576;   // bytes of frames kept

    NImageFileMNG() = default;
    ~NImageFileMNG() override;

    // Signature check: 8A 4D 4E 47, the first four bytes of the MNG signature. Needs 5 bytes from
    // the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where a stream at byte 0 ends, as Load measures it: just after its MEND chunk, found by
    // the chunk walk Load makes. Broken for a signature or a first chunk libmng refuses (no header
    // chunk, a wrong checksum); Unknown when the chunk structure breaks off or runs past what can
    // be read.
    static PictureExtent FindExtent(ByteSource& source);

    // 0; 300 when the read context cannot be made; 103 when the file does not open; 200 without
    // an MNG signature; 205 when libmng cannot be set up; 403 when a picture cannot be made; 404
    // when libmng reports an error (the frames drawn until then are kept).
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    // 204 without a source; see the header comment.
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // The picture (the object's own when null) as a PNG file: 400 without a valid picture,
    // otherwise the PNG writer's answer. Metadata is not written.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    bool IsAnimated() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;

    // An MNG of the source's frame strip (W x H frames, N = its page count): MHDR at 100 ticks
    // per second, TERM repeating for ever, the global palette and transparency (palette sources),
    // then per frame a FRAM with its delay (framing mode 3 for disposal 2, else 1) and the frame,
    // or for a frame after the first whose disposal is not 2 only the rectangle that changed.
    // Palette strips (1, 4, 8 bits) are written as indexed images, 24- and 32-bit strips as
    // RGB and RGBA images. The source is left unchanged. 0; 204 without a valid source picture;
    // 300 / 301 when a frame cannot be compressed; 205 when libmng cannot be set up; 405 when a
    // chunk is refused; 104 / 102 when the file cannot be created / written (nothing is written
    // unless every frame could be made).
    NRESULT SaveAnimationFrom(const wchar_t* path, NImageFile* source);

    // Page writing: MHDR for pageTotal pages of pageDelay ticks (100 a second) with the
    // reference's size, then each page as a FRAM and an image (palette pages with their palette
    // and colour key, deeper ones as RGB or RGBA), then MEND. 0; 400 without a valid picture;
    // 300 / 301 / 405 as above; 102 when AddPage or EndPages come without BeginPages; EndPages
    // answers 104 / 102 when the file cannot be created / written.
    NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference) override;
    NRESULT AddPage(NImageBuffer* page) override;
    NRESULT EndPages() override;

    // The smallest rectangle holding every pixel that differs between two frames of w x h at
    // `bitsPerPixel` (rows padded to 4 bytes, `stride` bytes apart, top row first); the whole
    // frame when none differs.
    static NImageRect FindChangedRect(const uint8_t* frame, const uint8_t* previous, int32_t stride, int width,
                                      int height, int bitsPerPixel);
    // Palette index of a column of a packed row: 1 bit (highest bit first), 4 bits (high nibble
    // first) or 8 bits; other depths read 0 and write nothing.
    static uint8_t GetPixelIndex(const uint8_t* row, int column, int bitsPerPixel);
    static void SetPixelIndex(uint8_t* row, int column, int bitsPerPixel, uint8_t index);

private:
    class MngChunkWriter* pageWriter_ = nullptr;   // between BeginPages and EndPages
};
