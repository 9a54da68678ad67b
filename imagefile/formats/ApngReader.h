// ReadAnimatedPng: an animated PNG file as a list of full-canvas frames.
//
// The reader walks the file chunk by chunk itself and feeds each frame's image data (IDAT, or
// fdAT turned into IDAT) to a progressive libpng decoder as if it were a small PNG file of its
// own: the signature, the IHDR with the frame's size, the chunks that stood before the first
// image data (palette, transparency, gamma, ...), the data, and an empty IEND. Each decoded
// frame is composed onto the canvas with its blend operation and leaves the canvas for the next
// frame by its dispose operation. CRC errors are ignored; a chunk or frame that cannot be right
// ends the walk, and the frames completed until then are returned.
//
// The reader also reports where in the file it stopped: just after the IEND chunk of a
// well-formed file, the file's end for a file that ends early, or just after the chunk that
// ended the walk.
//
// Limits: canvas and frame sides at most 1000000, frame rectangles inside the canvas, chunk
// lengths at most 2^31 - 1 and never more than the bytes left in the file. The frames kept
// take at most about 1000 MB; a longer animation keeps its first frames (the walk still goes
// on to the end of the file for the consumed size).
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <vector>

class NImageFile;

// One composed frame.
struct ApngFrame {
    std::vector<uint8_t> pixels;     // width x height x 4: rows top first, pixels B, G, R, A
    uint32_t width = 0;              // always the canvas size
    uint32_t height = 0;
    uint32_t delayNumerator = 1;     // 1/10 s for a default image that no fcTL describes
    uint32_t delayDenominator = 10;

    const uint8_t* Row(uint32_t j) const { return pixels.data() + static_cast<size_t>(j) * width * 4; }
};

// Appends the frames in file order. -1 when no frame was produced, else 0. consumedSize (when
// not null) receives the position where reading stopped, except when the file does not open or
// its IHDR size is out of range. The image-file object is not used.
int ReadAnimatedPng(NImageFile* owner, const wchar_t* path, std::vector<ApngFrame>& frames, uint64_t* consumedSize);

class ApngReader {
public:
    // A whole chunk as stored: length (4 bytes), type (4), data, CRC (4).
    using Record = std::vector<uint8_t>;

    // The buffer the decoder writes a frame into: canvas-sized rows of 4 bytes per pixel.
    struct RawFrame {
        uint32_t width = 0;
        uint32_t height = 0;
        std::vector<uint8_t> pixels;
        std::vector<uint8_t*> rows;
    };

    // A progressive libpng decoder.
    struct Decoder {
        png_structp png = nullptr;
        png_infop info = nullptr;
        ~Decoder();
    };

    // Reads one chunk record. The chunk type (its four bytes, big-endian), or 0 when the file
    // ends before the whole record (the file is then left at its end) or the length is above
    // 2^31 - 1 or above the bytes left before fileSize.
    static uint32_t ReadChunk(FILE* file, Record& record, uint64_t fileSize = UINT64_MAX);

    // Makes a decoder and feeds it the signature and the IHDR record, then, with imageDataSeen,
    // the kept chunks. 0, or 1 on failure (no decoder).
    static int StartDecoder(Decoder*& decoder, RawFrame& raw, bool imageDataSeen, const Record& ihdr,
                            const std::vector<Record>& kept);
    // 0, or 1 when there is no decoder or it failed (it is then destroyed).
    static int FeedDecoder(Decoder*& decoder, const uint8_t* bytes, size_t count);
    // Feeds an empty IEND and destroys the decoder. 0, or 1 when there was none or it failed.
    static int FinishDecoder(Decoder*& decoder);

    // Draws the raw frame's w x h pixels at (x, y) on the canvas. blend 0 copies; blend 1
    // composes over the canvas by the source alpha.
    static void ComposeFrame(uint8_t* const* canvasRows, const uint8_t* const* rawRows, int blend, uint32_t x,
                             uint32_t y, uint32_t w, uint32_t h);

    // The progressive decoder's callbacks: every colour type and depth becomes 8-bit B, G, R, A;
    // rows (pass by pass for interlaced frames) are combined into the raw frame.
    static void OnInfo(png_structp png, png_infop info);
    static void OnRow(png_structp png, png_bytep newRow, png_uint_32 rowNumber, int pass);
};
