// Document files built byte by byte for the document-format tests, and small picture helpers.
#pragma once

#include "common/TestFiles.h"
#include "docobjects/NObjectDocument.h"
#include "imaging/NImageBuffer.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lmc {

// A file being built, little-endian.
struct DocBytes {
    std::vector<uint8_t> data;

    DocBytes& u8(unsigned v)
    {
        data.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    DocBytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    DocBytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    DocBytes& f32(float v)
    {
        uint32_t u;
        memcpy(&u, &v, 4);
        return u32(u);
    }
    DocBytes& raw(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        data.insert(data.end(), b, b + n);
        return *this;
    }
    DocBytes& fill(size_t n, uint8_t v)
    {
        data.insert(data.end(), n, v);
        return *this;
    }
    // UTF-16 units of an ASCII text, no terminator.
    DocBytes& units(const char* s)
    {
        while (*s)
            u16(static_cast<uint8_t>(*s++));
        return *this;
    }
    size_t size() const { return data.size(); }
};

// The 18-byte signature of a version ("LMCDOC" + digit, two 0 units).
inline DocBytes Signature(const char* text = "LMCDOC3")
{
    DocBytes b;
    b.units(text).u16(0).u16(0);
    return b;
}

// Rows of a w x h 24-bpp picture whose pixel (x, y), y = 0 the top row, is Colour(x, y).
inline COLORREF PatternColour(int x, int y)
{
    return RGB((x * 37 + y * 11) & 0xFF, (x * 5 + y * 71) & 0xFF, (x * 91 + y * 3) & 0xFF);
}

inline void FillPattern(NImageBuffer& pic)
{
    for (int y = 0; y < pic.height; ++y) {
        uint8_t* row = pic.bits + static_cast<size_t>(pic.height - 1 - y) * pic.stride;
        for (int x = 0; x < pic.width; ++x) {
            const COLORREF c = PatternColour(x, y);
            if (pic.bpp >= 24) {
                uint8_t* p = row + x * (pic.bpp / 8);
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
                if (pic.bpp == 32)
                    p[3] = static_cast<uint8_t>(x * 40 + y);
            } else if (pic.bpp == 8) {
                row[x] = static_cast<uint8_t>(x + 3 * y);
            }
        }
    }
}

// Pixel (x, y), y = 0 the top row, as COLORREF (palette resolved).
inline COLORREF PixelAt(const NImageBuffer& pic, int x, int y)
{
    const uint8_t* row = pic.bits + static_cast<size_t>(pic.height - 1 - y) * pic.stride;
    if (pic.bpp == 8) {
        const uint8_t* e = pic.palette[row[x]];
        return RGB(e[2], e[1], e[0]);
    }
    const uint8_t* p = row + x * (pic.bpp / 8);
    return RGB(p[2], p[1], p[0]);
}

inline bool SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height || a.bpp != b.bpp)
        return false;
    return memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.height) == 0;
}

// A picture block (full, without palette when palette is false and dpi given, or short when
// dpi is false) of the picture's rows.
inline void AppendPicture(DocBytes& b, const NImageBuffer& pic, bool compressed, bool withDpi = true,
                          bool withPalette = true)
{
    b.u32(pic.width).u32(pic.height).u32(pic.bpp);
    if (withDpi)
        b.u32(pic.dpiX).u32(pic.dpiY);
    if (withPalette && withDpi && pic.bpp <= 8) {
        for (int i = 0; i < (1 << pic.bpp); ++i)
            b.u8(pic.palette[i][2]).u8(pic.palette[i][1]).u8(pic.palette[i][0]);
    }
    b.u32(compressed ? 1 : 0);
    const size_t size = static_cast<size_t>(pic.stride) * pic.height;
    if (compressed) {
        uLongf packed = compressBound(static_cast<uLong>(size));
        std::vector<uint8_t> out(packed);
        compress2(out.data(), &packed, pic.bits, static_cast<uLong>(size), 5);
        b.u32(static_cast<uint32_t>(packed)).raw(out.data(), packed);
    } else {
        b.raw(pic.bits, size);
    }
}

// The common part of record id 50 (with the record id in front).
inline void AppendCommon(DocBytes& b, uint32_t type, uint32_t id, RECT r, uint8_t shadow = 0,
                         uint32_t shadowColour = 0, uint8_t opacity = 255, float angle = 0.0f, uint8_t locked = 0,
                         uint8_t hidden = 0)
{
    b.u32(50).u32(type).u32(id).u32(r.left).u32(r.top).u32(r.right).u32(r.bottom);
    b.u8(shadow).u32(shadowColour).u8(opacity).f32(angle).u8(locked).u8(hidden);
    b.fill(6, 0).u32(0).u32(0);
}

// A rectangle record with the given outline colour.
inline void AppendRectangle(DocBytes& b, uint32_t id, uint32_t outline)
{
    AppendCommon(b, DOC_RECTANGLE, id, RECT{0, 0, 10, 10});
    b.u32(24).u32(outline).u32(0).u8(0).fill(3, 0).u32(1).u32(0).u32(0);
}

// A small 24-bpp base picture, written with the signature of the version and no objects.
inline DocBytes MinimalDocument(const NImageBuffer& base, const char* signature = "LMCDOC3", bool compressed = true)
{
    DocBytes b = Signature(signature);
    if (signature[6] == '3')
        b.u32(0).u32(0);
    if (signature[6] >= '2')
        b.u8(0);
    AppendPicture(b, base, compressed);
    return b;
}

// The objects of a document, head first.
inline std::vector<const DocObject*> Objects(const NObjectDocument& doc)
{
    std::vector<const DocObject*> list;
    for (const DocObject* o = doc.First(); o; o = o->next)
        list.push_back(o);
    return list;
}

// Loads a file into the document in a mode; the results come back in the fields.
struct Loaded {
    NRESULT result = NR_OK;
    NImageBuffer picture;
    uint64_t consumed = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::string xmp;
    std::string exif;

    void From(NObjectDocument& doc, const std::wstring& path, int mode = 0)
    {
        result = doc.Load(picture, path.c_str(), consumed, width, height, mode, xmp, exif);
    }
};

inline std::wstring WriteFixture(const TestDir& dir, const wchar_t* name, const DocBytes& bytes)
{
    const std::wstring path = dir.File(name);
    EXPECT_TRUE(WriteWholeFile(path, bytes.data));
    return path;
}

}  // namespace lmc
