// Helpers for the PNG, animated-PNG and GIF tests: fixtures, PNG chunks built byte by byte, an
// animated-PNG builder, and pixel access to pictures and frame strips.
#pragma once

#include "common/TestFiles.h"
#include "imaging/NImageBuffer.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pngtest {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFixture(const std::wstring& name)
{
    Bytes bytes;
    ReadWholeFile(TestDataPath(name), bytes);
    return bytes;
}

inline void PutU32(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

inline void PutU16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

inline uint32_t GetU32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// One whole chunk: length, type, data, CRC.
inline Bytes Chunk(const char* type, const Bytes& data)
{
    Bytes out;
    PutU32(out, static_cast<uint32_t>(data.size()));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(type[i]));
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty())
        crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    PutU32(out, static_cast<uint32_t>(crc));
    return out;
}

inline const Bytes& Signature()
{
    static const Bytes s = {137, 80, 78, 71, 13, 10, 26, 10};
    return s;
}

struct ChunkView {
    std::string type;
    size_t offset;   // of the length field
    uint32_t length;
    const uint8_t* data;
};

inline std::vector<ChunkView> Chunks(const Bytes& png)
{
    std::vector<ChunkView> chunks;
    size_t p = 8;
    while (p + 12 <= png.size()) {
        const uint32_t length = GetU32(&png[p]);
        if (p + 12 + length > png.size())
            break;
        chunks.push_back({std::string(reinterpret_cast<const char*>(&png[p + 4]), 4), p, length, &png[p + 8]});
        p += 12 + length;
    }
    return chunks;
}

// The file with `chunk` inserted just after the IHDR chunk.
inline Bytes InsertAfterIhdr(const Bytes& png, const Bytes& chunk)
{
    Bytes out(png.begin(), png.begin() + 8 + 25);
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + 8 + 25, png.end());
    return out;
}

inline Bytes Ihdr(uint32_t w, uint32_t h, uint8_t bitDepth, uint8_t colourType)
{
    Bytes d;
    PutU32(d, w);
    PutU32(d, h);
    d.push_back(bitDepth);
    d.push_back(colourType);
    d.push_back(0);
    d.push_back(0);
    d.push_back(0);
    return Chunk("IHDR", d);
}

// zlib data of rows with filter type 0; `rows` holds height rows of rowBytes bytes.
inline Bytes Deflated(const Bytes& rows, size_t rowBytes)
{
    Bytes raw;
    for (size_t p = 0; p < rows.size(); p += rowBytes) {
        raw.push_back(0);
        raw.insert(raw.end(), rows.begin() + p, rows.begin() + p + rowBytes);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

// An animated PNG made chunk by chunk. Pixels are red, green, blue, alpha (colour type 6)
// unless the caller chose another colour type and gives rows in that form.
class ApngBuilder {
public:
    ApngBuilder(uint32_t w, uint32_t h, uint8_t colourType = 6, uint8_t bytesPerPixel = 4)
        : width(w), height(h), bpp(bytesPerPixel)
    {
        out = Signature();
        Append(Ihdr(w, h, 8, colourType));
    }
    void Append(const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
    void Actl(uint32_t frames, uint32_t plays = 0)
    {
        Bytes d;
        PutU32(d, frames);
        PutU32(d, plays);
        Append(Chunk("acTL", d));
    }
    void Fctl(uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint16_t num, uint16_t den, uint8_t dispose,
              uint8_t blend)
    {
        Bytes d;
        PutU32(d, sequence++);
        PutU32(d, w);
        PutU32(d, h);
        PutU32(d, x);
        PutU32(d, y);
        PutU16(d, num);
        PutU16(d, den);
        d.push_back(dispose);
        d.push_back(blend);
        Append(Chunk("fcTL", d));
    }
    // rows: h rows of w pixels.
    void Idat(const Bytes& rows, uint32_t w) { Append(Chunk("IDAT", Deflated(rows, w * bpp))); }
    void Fdat(const Bytes& rows, uint32_t w)
    {
        Bytes d;
        PutU32(d, sequence++);
        const Bytes z = Deflated(rows, w * bpp);
        d.insert(d.end(), z.begin(), z.end());
        Append(Chunk("fdAT", d));
    }
    void Iend() { Append(Chunk("IEND", {})); }

    // A frame of one colour.
    Bytes Solid(uint32_t w, uint32_t h, std::initializer_list<uint8_t> pixel) const
    {
        Bytes rows;
        for (uint32_t i = 0; i < w * h; ++i)
            rows.insert(rows.end(), pixel.begin(), pixel.end());
        return rows;
    }

    uint32_t width;
    uint32_t height;
    uint8_t bpp;
    uint32_t sequence = 0;
    Bytes out;
};

// Scan line of picture row y counted from the top of a picture (or of block `frame` of a strip
// whose height field holds one frame).
inline const uint8_t* Row(const NImageBuffer& pic, int y, int frame = 0)
{
    return pic.bits + (static_cast<size_t>(frame) * pic.height + (pic.height - 1 - y)) * pic.stride;
}

inline int IndexAt(const NImageBuffer& pic, int x, int y, int frame = 0)
{
    const uint8_t* row = Row(pic, y, frame);
    switch (pic.bpp) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    default:
        return -1;
    }
}

// Red, green, blue (and alpha for 32 bpp, else 255) of a pixel, through the palette for
// palette pictures.
inline void PixelRgba(const NImageBuffer& pic, int x, int y, uint8_t rgba[4], int frame = 0)
{
    const uint8_t* row = Row(pic, y, frame);
    if (pic.bpp <= 8) {
        const int i = IndexAt(pic, x, y, frame);
        rgba[0] = pic.palette[i][2];
        rgba[1] = pic.palette[i][1];
        rgba[2] = pic.palette[i][0];
        rgba[3] = 255;
        return;
    }
    const int n = pic.bpp / 8;
    const uint8_t* p = row + static_cast<size_t>(x) * n;
    rgba[0] = p[2];
    rgba[1] = p[1];
    rgba[2] = p[0];
    rgba[3] = n == 4 ? p[3] : 255;
}

// Every pixel's red, green, blue (and alpha) against a dump of `channels` bytes a pixel (3: red,
// green, blue; 4: with alpha; 1: grey), top row first. Pixels whose reference alpha is 0 are
// compared on alpha only. Answers the first difference as text, or "" when all agree.
inline std::string ComparePixels(const NImageBuffer& pic, const Bytes& reference, int channels, int frame = 0,
                                 size_t referenceOffset = 0)
{
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            uint8_t got[4];
            PixelRgba(pic, x, y, got, frame);
            const size_t at = referenceOffset + (static_cast<size_t>(y) * pic.width + x) * channels;
            if (at + channels > reference.size())
                return "reference too short";
            uint8_t want[4] = {reference[at], reference[at], reference[at], 255};
            if (channels >= 3) {
                want[1] = reference[at + 1];
                want[2] = reference[at + 2];
            }
            if (channels == 4)
                want[3] = reference[at + 3];
            const bool colourMatters = want[3] != 0;
            if (got[3] != want[3] ||
                (colourMatters && (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]))) {
                char text[160];
                snprintf(text, sizeof(text), "frame %d pixel (%d,%d): got %d,%d,%d,%d want %d,%d,%d,%d", frame, x, y,
                         got[0], got[1], got[2], got[3], want[0], want[1], want[2], want[3]);
                return text;
            }
        }
    }
    return "";
}

}  // namespace pngtest
