// The PDF reader's walk over a file's object structure: where the document ends and which image
// streams it holds, found without the cross-reference table (which a carved or damaged file may
// lack), by reading objects one after the other from the header on.
//
// Every number, offset and length in the file is treated as untrusted: a stream whose /Length
// does not lead to "endstream" is measured by searching for it instead, nesting is bounded, and
// nothing is read outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class PdfFilter : uint8_t { None, Dct, Flate, Other };
enum class PdfColourSpace : uint8_t { Unknown, Gray, Rgb, Cmyk };

// One image XObject stream (an object whose dictionary has /Subtype /Image).
struct PdfImage {
    int32_t objectNumber = 0;
    uint64_t dataOffset = 0;     // first byte of the stream data
    uint64_t dataLength = 0;     // bytes of data; up to the end of the file when cut off
    bool complete = false;       // the data is followed by "endstream"
    PdfFilter filter = PdfFilter::None;   // a filter array counts only with one element
    PdfColourSpace colourSpace = PdfColourSpace::Unknown;
    int64_t width = -1;          // -1: absent or not a direct integer
    int64_t height = -1;
    int64_t bitsPerComponent = -1;
    bool imageMask = false;      // /ImageMask true
    bool usedAsMask = false;     // another image names it as /SMask or /Mask
    // /DecodeParms: predictor 1 when absent; the others -1 when absent.
    int64_t predictor = 1;
    int64_t colors = -1;
    int64_t columns = -1;
    int64_t parmsBitsPerComponent = -1;
};

struct PdfLayout {
    // Just past the "%%EOF" line that closes the document (the last of its revisions), or, for a
    // document cut off by the header of another one, that header's position. 0 when the walk
    // found no end: the document runs to the end of the data as far as anyone can tell.
    uint64_t end = 0;
    std::vector<PdfImage> images;   // in file order
};

// Walks the data from its start (where "%PDF-" is expected). At most kPdfMaxImages are listed.
PdfLayout ScanPdfLayout(const uint8_t* data, size_t size);

constexpr size_t kPdfMaxImages = 100000;
