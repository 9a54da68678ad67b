// Byte builders for the JPEG tests: marker segments, EXIF (TIFF) blocks with directories laid
// out on request, and small real JPEG files encoded with libjpeg.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

using Bytes = std::vector<uint8_t>;

inline void AppendBytes(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

inline Bytes TextBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// FF, the marker, the big-endian length (body + 2) and the body.
inline Bytes Segment(uint8_t marker, const Bytes& body)
{
    Bytes out = {0xFF, marker, static_cast<uint8_t>((body.size() + 2) >> 8), static_cast<uint8_t>(body.size() + 2)};
    AppendBytes(out, body);
    return out;
}

// A TIFF block: directories of entries whose values are placed after all directories.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian) : big_(bigEndian) {}

    int AddIfd()
    {
        ifds_.push_back({});
        return static_cast<int>(ifds_.size()) - 1;
    }
    // value: the raw bytes of the value in the block's byte order.
    void Add(int ifd, uint16_t tag, uint16_t format, uint32_t count, const Bytes& value)
    {
        ifds_[ifd].entries.push_back({tag, format, count, value, -1, false, false});
    }
    void AddShort(int ifd, uint16_t tag, uint16_t v) { Add(ifd, tag, 3, 1, U16(v)); }
    void AddLong(int ifd, uint16_t tag, uint32_t v) { Add(ifd, tag, 4, 1, U32(v)); }
    void AddAscii(int ifd, uint16_t tag, const std::string& text)
    {
        Bytes v = TextBytes(text);
        v.push_back(0);
        Add(ifd, tag, 2, static_cast<uint32_t>(v.size()), v);
    }
    void AddRationals(int ifd, uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values,
                      uint16_t format = 5)
    {
        Bytes v;
        for (auto [n, d] : values) {
            AppendBytes(v, U32(n));
            AppendBytes(v, U32(d));
        }
        Add(ifd, tag, format, static_cast<uint32_t>(values.size()), v);
    }
    // A LONG entry holding the offset of another directory.
    void AddPointer(int ifd, uint16_t tag, int target)
    {
        ifds_[ifd].entries.push_back({tag, 4, 1, {}, target, false, false});
    }
    // An entry whose value is an explicit offset (for out-of-range tests).
    void AddRawOffset(int ifd, uint16_t tag, uint16_t format, uint32_t count, uint32_t offset)
    {
        ifds_[ifd].entries.push_back({tag, format, count, U32(offset), -1, false, true});
    }
    void SetNext(int ifd, int target) { ifds_[ifd].next = target; }
    // Tags 513 and 514 in the directory; the bytes go at the very end of the block.
    void AddThumbnail(int ifd, const Bytes& bytes)
    {
        thumbnail_ = bytes;
        ifds_[ifd].entries.push_back({513, 4, 1, {}, -1, true, false});
        AddLong(ifd, 514, static_cast<uint32_t>(bytes.size()));
    }

    Bytes U16(uint16_t v) const
    {
        return big_ ? Bytes{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}
                    : Bytes{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    }
    Bytes U32(uint32_t v) const
    {
        Bytes hi = U16(static_cast<uint16_t>(v >> 16)), lo = U16(static_cast<uint16_t>(v));
        Bytes out = big_ ? hi : lo;
        AppendBytes(out, big_ ? lo : hi);
        return out;
    }

    Bytes Build() const
    {
        std::vector<uint32_t> ifdOffsets;
        uint32_t offset = 8;
        for (const Ifd& ifd : ifds_) {
            ifdOffsets.push_back(offset);
            offset += 2 + 12 * static_cast<uint32_t>(ifd.entries.size()) + 4;
        }
        uint32_t valueOffset = offset;
        Bytes values;
        Bytes out = big_ ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
        AppendBytes(out, U16(42));
        AppendBytes(out, U32(ifds_.empty() ? 0 : ifdOffsets[0]));
        uint32_t totalValues = 0;
        for (const Ifd& ifd : ifds_)
            for (const Entry& e : ifd.entries)
                if (e.value.size() > 4 && !e.rawOffset)
                    totalValues += static_cast<uint32_t>(e.value.size());
        const uint32_t thumbnailOffset = valueOffset + totalValues;
        for (const Ifd& ifd : ifds_) {
            AppendBytes(out, U16(static_cast<uint16_t>(ifd.entries.size())));
            for (const Entry& e : ifd.entries) {
                AppendBytes(out, U16(e.tag));
                AppendBytes(out, U16(e.format));
                AppendBytes(out, U32(e.count));
                if (e.target >= 0) {
                    AppendBytes(out, U32(ifdOffsets[e.target]));
                } else if (e.thumbnail) {
                    AppendBytes(out, U32(thumbnailOffset));
                } else if (e.rawOffset || e.value.size() <= 4) {
                    Bytes v = e.value;
                    v.resize(4, 0);
                    AppendBytes(out, v);
                } else {
                    AppendBytes(out, U32(valueOffset + static_cast<uint32_t>(values.size())));
                    AppendBytes(values, e.value);
                }
            }
            AppendBytes(out, U32(ifd.next >= 0 ? ifdOffsets[ifd.next] : 0));
        }
        AppendBytes(out, values);
        AppendBytes(out, thumbnail_);
        return out;
    }

    // The APP1 segment: "Exif" 00 00 and the TIFF block.
    Bytes ExifSegment() const
    {
        Bytes body = {'E', 'x', 'i', 'f', 0, 0};
        AppendBytes(body, Build());
        return Segment(0xE1, body);
    }

private:
    struct Entry {
        uint16_t tag;
        uint16_t format;
        uint32_t count;
        Bytes value;
        int target;
        bool thumbnail;
        bool rawOffset;
    };
    struct Ifd {
        std::vector<Entry> entries;
        int next = -1;
    };
    bool big_;
    std::vector<Ifd> ifds_;
    Bytes thumbnail_;
};

// A JPEG file of the picture given by colour(x, y) -> 0xRRGGBB, encoded by libjpeg as baseline
// 4:2:0 with the standard Huffman tables. `extraSegments` (whole marker segments) follow the
// JFIF header; without JFIF they come right after the start of image.
inline Bytes EncodeJpeg(int width, int height, const std::function<uint32_t(int, int)>& colour, int quality = 90,
                        const Bytes& extraSegments = {}, bool jfif = true)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.write_JFIF_header = jfif ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    // Raw segments written as markers: libjpeg adds FF, the marker and the length itself.
    for (size_t o = 0; o + 4 <= extraSegments.size(); ) {
        const unsigned length = (extraSegments[o + 2] << 8) | extraSegments[o + 3];
        jpeg_write_marker(&cinfo, extraSegments[o + 1], extraSegments.data() + o + 4, length - 2);
        o += 2 + length;
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            row[3 * x] = static_cast<uint8_t>(c >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return out;
}

inline uint32_t Solid(uint32_t rgb, int, int)
{
    return rgb;
}
