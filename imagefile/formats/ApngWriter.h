// WriteAnimatedPng: one animated PNG file from a list of single-frame PNG files.
//
// The frames are read with libpng and brought to one colour type; fully transparent pixels lose
// their colour, identical neighbouring frames are merged (their delays added), and the colour type
// is reduced where the pixels allow it (RGB to palette or grey, palette to grey) and the palette
// sorted. Every frame after the first is then written as the smallest of up to six candidates:
// the rectangle that changed against the canvas left by the previous frame under each dispose
// operation (none, background, previous), drawn with blend source or blend over. Rows are
// filtered by the usual minimum-sum heuristic and the chosen candidate is compressed at zlib's
// highest level; small frames get a smaller zlib window.
//
// Frame i's delay is entry i of the calling object's delay table, in milliseconds, written as the
// exact fraction of a second (0 ms as 1/20 s). Delays merged beyond what the 16-bit fields hold
// are rounded to the nearest value they can hold.
#pragma once

#include <cstdint>
#include <vector>

#include "base/NString.h"
#include "docobjects/NResult.h"

class NImageFile;
class NProgressSink;

// 0 when written; 104 when the output cannot be created; 102 when writing it fails (the partial
// file is removed); 404 when a frame file cannot be read, the frames differ in size, or the list
// is empty (nothing is written then). skipFirst: frame 0 is a default image outside the
// animation. plays: 0 repeats for ever. keepPalette / keepColourType: no palette sorting / no
// colour-type reduction. With a sink, each frame written shows "<output path>:\r\n" and the
// text "Writing frame %d of %d" (from the language table when the application has one).
NRESULT WriteAnimatedPng(NImageFile* owner, const std::vector<NString>& framePaths, const wchar_t* outputPath,
                         bool skipFirst, uint32_t plays, bool keepPalette, bool keepColourType, NProgressSink* sink);

// One frame of the writer: 8-bit samples, rows top first.
struct ApngImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerPixel = 0;   // 1 grey or palette index, 2 grey + alpha, 3 RGB, 4 RGBA
    uint32_t colourType = 0;      // PNG colour type 0, 2, 3, 4 or 6
    int32_t paletteSize = 0;
    int32_t transparencySize = 0;
    uint8_t palette[256 * 3];     // R, G, B
    // Palette alphas; grey: 0, level (size 2); RGB: 0, R, 0, G, 0, B (size 6).
    uint8_t transparency[256];
    uint32_t delayNumerator = 1;
    uint32_t delayDenominator = 10;
    std::vector<uint8_t> pixels;

    ApngImage();
    // Allocates width x height x bytesPerPixel zero bytes; false (and nothing allocated) when the
    // size does not fit or memory is short.
    bool Init(uint32_t width, uint32_t height, uint32_t bytesPerPixel, uint32_t colourType);
    size_t RowBytes() const { return static_cast<size_t>(width) * bytesPerPixel; }
    uint8_t* Row(uint32_t y) { return pixels.data() + y * RowBytes(); }
    const uint8_t* Row(uint32_t y) const { return pixels.data() + y * RowBytes(); }
};

// The steps of the writer, open to tests.
namespace ApngWriter {

// The delay of d milliseconds as a fraction of a second that fits 16-bit fields.
void DelayFraction(uint32_t milliseconds, uint32_t& numerator, uint32_t& denominator);
// a + b, reduced, brought into 16-bit fields.
void AddDelays(uint32_t& numerator, uint32_t& denominator, uint32_t addNumerator, uint32_t addDenominator);

// 0, or 1 when the file cannot be read.
int LoadFrame(const wchar_t* path, ApngImage& image);
uint32_t CommonColourType(const std::vector<ApngImage>& frames);
// False when memory is short.
bool ConvertType(ApngImage& frame, uint32_t colourType);
void ClearTransparentPixels(ApngImage& frame);
void MergeDuplicates(std::vector<ApngImage>& frames, size_t start);
bool ReduceColourType(std::vector<ApngImage>& frames);
void OptimisePalette(std::vector<ApngImage>& frames);
void AddTransparentColour(std::vector<ApngImage>& frames);
// Zlib header of a stream whose data is rawSize bytes: the window field lowered while half the
// window still holds the data (and is at least 256 bytes), the check bits set again.
void ShrinkZlibWindow(uint8_t* data, size_t size, size_t rawSize);

}  // namespace ApngWriter
