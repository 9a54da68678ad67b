// Plain libjpeg encoding and decoding in memory for the JPEG class and factory tests: pictures
// of any size made row by row (no full picture in memory), reference decodes to compare the
// class's pixels with, and marker surgery on encoded bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#define boolean jpeg_boolean
#include <jpeglib.h>
#undef boolean

namespace jpegtest {

using Bytes = std::vector<uint8_t>;

struct EncodeSpec {
    int width = 16;
    int height = 16;
    int components = 3;                    // 1 grey, 3 RGB (given red first), 4 CMYK, other: unknown
    J_COLOR_SPACE space = JCS_RGB;         // JCS_UNKNOWN for component counts other than 1, 3, 4
    int quality = 90;
    bool progressive = false;
    bool adobeMarker = false;              // CMYK: write the APP14 marker (inverted samples)
    // Fills one row of width x components samples; null fills every sample with 128.
    std::function<void(int row, uint8_t* samples)> fill;
};

inline Bytes Encode(const EncodeSpec& spec)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(spec.width);
    cinfo.image_height = static_cast<JDIMENSION>(spec.height);
    cinfo.input_components = spec.components;
    cinfo.in_color_space = spec.space;
    jpeg_set_defaults(&cinfo);
    if (spec.space == JCS_UNKNOWN)
        jpeg_set_colorspace(&cinfo, JCS_UNKNOWN);
    jpeg_set_quality(&cinfo, spec.quality, TRUE);
    if (spec.components == 4)
        cinfo.write_Adobe_marker = spec.adobeMarker ? TRUE : FALSE;
    if (spec.progressive)
        jpeg_simple_progression(&cinfo);
    // One scan holds at most four components: more get a sequential scan each.
    std::vector<jpeg_scan_info> scans;
    if (!spec.progressive && spec.components > MAX_COMPS_IN_SCAN) {
        for (int c = 0; c < spec.components; ++c) {
            jpeg_scan_info scan = {};
            scan.comps_in_scan = 1;
            scan.component_index[0] = c;
            scan.Se = 63;
            scans.push_back(scan);
        }
        cinfo.scan_info = scans.data();
        cinfo.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(spec.width) * spec.components, 128);
    while (cinfo.next_scanline < cinfo.image_height) {
        if (spec.fill)
            spec.fill(static_cast<int>(cinfo.next_scanline), row.data());
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

struct Decoded {
    int width = 0;
    int height = 0;
    int components = 0;
    Bytes samples;   // rows from the top, width x components each
};

// libjpeg's own decode with its defaults (accurate DCT, fancy upsampling) into the colour space.
inline Decoded DecodeReference(const Bytes& jpeg, J_COLOR_SPACE space)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = space;
    jpeg_start_decompress(&cinfo);
    Decoded d;
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    d.components = cinfo.output_components;
    d.samples.resize(static_cast<size_t>(d.width) * d.height * d.components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW pointer = d.samples.data() + static_cast<size_t>(cinfo.output_scanline) * d.width * d.components;
        jpeg_read_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return d;
}

// FF, the marker, the big-endian length (body + 2) and the body.
inline Bytes Segment(uint8_t marker, const Bytes& body)
{
    Bytes out = {0xFF, marker, static_cast<uint8_t>((body.size() + 2) >> 8),
                 static_cast<uint8_t>((body.size() + 2) & 0xFF)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// The segments put right after the start-of-image marker.
inline Bytes InsertAfterSoi(const Bytes& jpeg, const std::vector<Bytes>& segments)
{
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (const Bytes& s : segments)
        out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// The segment put right before the end-of-image marker (after the scan data).
inline Bytes InsertBeforeEoi(const Bytes& jpeg, const Bytes& segment)
{
    Bytes out(jpeg.begin(), jpeg.end() - 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// An APP2 ICC chunk: "ICC_PROFILE", 0, sequence number, chunk count, the bytes.
inline Bytes IccChunk(int sequence, int count, const uint8_t* bytes, size_t length)
{
    Bytes body = Text("ICC_PROFILE");
    body.push_back(0);
    body.push_back(static_cast<uint8_t>(sequence));
    body.push_back(static_cast<uint8_t>(count));
    body.insert(body.end(), bytes, bytes + length);
    return Segment(0xE2, body);
}

// Offsets of each segment of the given marker before the first start of scan.
inline std::vector<size_t> FindSegments(const Bytes& jpeg, uint8_t marker)
{
    std::vector<size_t> found;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t m = jpeg[at + 1];
        const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (m == marker)
            found.push_back(at);
        if (m == 0xDA)
            break;
        at += 2 + length;
    }
    return found;
}

// The body of the segment at the offset (after its length field).
inline Bytes SegmentBody(const Bytes& jpeg, size_t at)
{
    const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
    return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4),
                 jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
}

}  // namespace jpegtest
