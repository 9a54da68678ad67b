// How large a picture a file can hold: the loaders believe the size in a header only as far as
// the file's bytes, at the densest coding its format allows, can fill it. A header that claims
// more answers "Format invalid" before anything is allocated.
//
// The ratios are the most decoded bytes one coded byte can give.
#pragma once

#include <cstdint>

namespace DataBound {

constexpr uint64_t kRaw = 1;
// Uncompressed data in a file that was cut short (a carved candidate): the rows the file holds
// load and the rest stays empty, as long as they are at least a sixteenth of the picture.
constexpr uint64_t kRawCutShort = 16;
// Deflate: a 258-byte match from about two bits, 1032:1 at best; the stored block around it
// and the zlib or PNG filter bytes only lower it.
constexpr uint64_t kDeflate = 1032;
// PackBits and the like: 128 bytes from a 2-byte run.
constexpr uint64_t kPackBits = 64;
// LZW with codes of 12 bits: once the table is full, every 12-bit code can give its longest
// string, about 4096 bytes.
constexpr uint64_t kLzw = 2731;

// Bytes of width x height pixels of bitsPerPixel bits, rows packed to whole bytes; saturates at
// UINT64_MAX instead of wrapping.
uint64_t PackedBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel);

// True when `dataBytes` coded with at most `ratio` decoded bytes per byte can fill a picture of
// width x height at bitsPerPixel bits (rows packed to whole bytes). False for an empty picture.
bool Fits(uint64_t width, uint64_t height, uint64_t bitsPerPixel, uint64_t dataBytes, uint64_t ratio);

// True when `dataBytes` coded bytes, of which every `consumed` give at most `produced` decoded
// bytes, can give `decodedBytes` (for codings whose densest case is not a whole ratio, or gives
// less than a byte a byte: text, offset tables). False for UINT64_MAX (a size that saturated).
bool Yields(uint64_t decodedBytes, uint64_t dataBytes, uint64_t produced, uint64_t consumed);

// The length of the file at path, 0 when it cannot be read.
uint64_t FileLength(const wchar_t* path);

}  // namespace DataBound
