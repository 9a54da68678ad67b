// NImageFileHDR: the Radiance HDR format class (read only). RGBE pictures are tone-mapped to 24
// bits with an optional exposure shift (the load options' tone parameter, in powers of two) and
// a display gamma of 2.0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"
#include "imagefile/extra/StdioStream.h"

class NImageFileHDR : public NImageFile {
public:
    // Signature check: "#?RADIANCE" or "oconv" in the first 32 bytes, taken as a text that ends at
    // the first zero byte. Needs 33 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where the header text that IsFormat found begins ("#?RADIANCE" or "oconv"), counted from
    // the offset; only meaningful where IsFormat answers true.
    static size_t HeaderTextStart(const uint8_t* bytes, size_t offset, size_t length);
    // Where a picture at byte 0 ends, as Load measures it: after its last scanline, read as
    // Load reads it. Broken for a header Load refuses (another format, a resolution line that is
    // too long or no resolution, a size no picture can have); Unknown for damaged scanlines,
    // after which Load counts the whole file.
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 0; 103 the file does not open; 205 the header does not end, names
    // another format than "32-bit_rle_rgbe", or the resolution line is invalid; 300 no memory for
    // a scanline; 403 the picture cannot be made. A scanline that cannot be read ends the
    // decoding: the rows read so far are kept, the rest stay black, and the answer is 0.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
    bool IsHighDynamicRange() const override;

    // Orientation bits of a resolution line.
    enum : int {
        kXDecreasing = 1,   // "-X": pixels run right to left
        kYDecreasing = 2,   // "-Y": top to bottom
        kYMajor = 4,        // the Y size comes first: scanlines are rows
    };

    // Reads the header up to its empty line: -1 when the file ends first, 0 when it has no
    // format line, 1 when the format matches the template, else -1. A template with '*' or '?'
    // is matched as a pattern, any other is compared exactly.
    static int CheckHeader(FILE* file, const char* formatTemplate);
    // '?' one character, '*' any run, [a-z] a class, '\' takes the next character literally.
    static bool MatchFormat(const char* pattern, const char* text);
    // "-Y 480 +X 640" and the like: the X and Y sizes (both positive) and the orientation bits.
    static bool ParseResolution(const char* text, int& xSize, int& ySize, int& bits);
    // Reads the resolution line: the orientation bits, or -1.
    int ReadResolution(FILE* file, int& xSize, int& ySize);

    // One scanline of n pixels (R, G, B, E bytes) in the new run-length or the old encoding.
    static int ReadScanline(uint8_t* pixels, int count, StdioStream& in);
    static int ReadOldScanline(uint8_t* pixels, int count, StdioStream& in);
    // Adds shift to every exponent (never past 255); pixels that would drop to 0 or below become
    // black.
    static void ShiftExposure(uint8_t* pixels, int count, int shift);
    // The gamma table: 32 levels of 256 entries.
    bool SetGamma(double gamma);
    // Turns RGBE pixels into display bytes R, G, B (E becomes 128); needs the gamma table.
    void ToGammaBytes(uint8_t* pixels, int count) const;

private:
    static int ReadHeader(FILE* file, char* format, size_t formatSize, bool& hasFormat);
    static void HeaderLine(const char* line, char* format, size_t formatSize, bool& hasFormat);
    static bool FormatValue(const char* line, char* format, size_t formatSize);
    static int ReadOldPixels(uint8_t* pixels, int start, int count, StdioStream& in);
    void BuildGammaTable(double gamma);

    char resolutionLine[64] = {};
    std::unique_ptr<uint8_t[]> gammaTable;   // 32 x 256
};
