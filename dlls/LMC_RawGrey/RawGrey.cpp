// LMC_RawGrey: a format plug-in for raw grey pictures.
//
// File layout (little-endian):
//   "RGRY", width (uint32), height (uint32), width x height grey bytes, top row first;
//   optionally then "TEXT", a byte count (uint32) and that many bytes of UTF-8 lines "key=value".
// Keys of the text block: make, model, date, comment (camera texts), aperture, focal, iso,
// shutter, exposure, fnumber (numbers), whitebalance, flash, lightsource, metering (integers),
// lat and lon (degrees, negative for south and west). Any of them marks the picture as having
// camera data. "hdr=1" marks a high-dynamic-range picture; "preview=0" turns the preview off;
// "faildecode=N" makes both decoders answer the status N after the description succeeded.
//
// Decoding gives an 8-bit picture with a grey palette; the preview takes every second pixel of
// every second row. Load option value: added to every grey level (clamped); load option flag:
// nonzero inverts the picture. Encoding accepts 1, 4, 8, 16, 24 and 32 bits per pixel.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/PlugInInterface.h"

namespace {

struct StreamCloser {
    void operator()(FILE* stream) const noexcept { fclose(stream); }
};
using Stream = std::unique_ptr<FILE, StreamCloser>;

constexpr int32_t kOk = 0;
constexpr int32_t kFileNotFound = 100;
constexpr int32_t kOpenRead = 103;
constexpr int32_t kOpenWrite = 104;
constexpr int32_t kNotThisFormat = 200;
constexpr int32_t kInvalid = 204;
constexpr int32_t kNotEnoughMemory = 303;
constexpr int32_t kWrongBpp = 401;

constexpr uint32_t kMaxSide = 32768;
constexpr uint32_t kMaxText = 65536;
constexpr size_t kHeaderBytes = 12;

int g_initialised = 0;

uint32_t ReadLe32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The parsed file: size, pixel offset and the text block.
struct RawGreyFile {
    std::vector<uint8_t> bytes;
    uint32_t width = 0;
    uint32_t height = 0;
    std::string text;
};

int32_t ReadRawGrey(const wchar_t* path, RawGreyFile& file)
{
    if (!path)
        return kFileNotFound;
    const Stream stream(_wfopen(path, L"rb"));
    FILE* f = stream.get();
    if (!f)
        return kOpenRead;
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t n;
    bool tooLarge = false;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (data.size() + n > kHeaderBytes + size_t{kMaxSide} * kMaxSide + 8 + kMaxText) {
            tooLarge = true;
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    if (data.size() < kHeaderBytes || memcmp(data.data(), "RGRY", 4) != 0)
        return kNotThisFormat;
    if (tooLarge)
        return kInvalid;
    uint32_t w = ReadLe32(&data[4]);
    uint32_t h = ReadLe32(&data[8]);
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide)
        return kInvalid;
    size_t pixelBytes = size_t{w} * h;
    if (data.size() - kHeaderBytes < pixelBytes)
        return kInvalid;
    size_t rest = data.size() - kHeaderBytes - pixelBytes;
    const uint8_t* tail = data.data() + kHeaderBytes + pixelBytes;
    if (rest >= 8 && memcmp(tail, "TEXT", 4) == 0) {
        uint32_t length = ReadLe32(tail + 4);
        if (length <= kMaxText && length <= rest - 8)
            file.text.assign(reinterpret_cast<const char*>(tail + 8), length);
    }
    file.bytes = std::move(data);
    file.width = w;
    file.height = h;
    return kOk;
}

void CopyText(wchar_t* field, int units, const std::string& utf8)
{
    field[0] = L'\0';
    if (utf8.empty())
        return;
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), field, units - 1);
    if (n < 0 || n > units - 1)
        n = 0;
    field[n] = L'\0';
}

void ApplyText(const std::string& text, PlugInFormatInfo& info, bool& preview, int32_t& failure)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        double number = strtod(value.c_str(), nullptr);
        int32_t whole = static_cast<int32_t>(strtol(value.c_str(), nullptr, 10));
        bool camera = true;
        if (key == "make")
            CopyText(info.cameraMake, 64, value);
        else if (key == "model")
            CopyText(info.cameraModel, 64, value);
        else if (key == "date")
            CopyText(info.date, 32, value);
        else if (key == "comment")
            CopyText(info.comment, 128, value);
        else if (key == "aperture")
            info.apertureValue = number;
        else if (key == "focal")
            info.focalLength = number;
        else if (key == "iso")
            info.isoSpeed = number;
        else if (key == "shutter")
            info.shutterSpeedValue = number;
        else if (key == "exposure")
            info.exposureTime = number;
        else if (key == "fnumber")
            info.fNumber = number;
        else if (key == "whitebalance")
            info.whiteBalance = whole;
        else if (key == "flash")
            info.flash = whole;
        else if (key == "lightsource")
            info.lightSource = whole;
        else if (key == "metering")
            info.meteringMode = whole;
        else if (key == "lat") {
            info.latitudeSouth = std::signbit(number) ? 1 : 0;
            info.latitude = static_cast<float>(std::fabs(number));
        } else if (key == "lon") {
            info.longitudeWest = std::signbit(number) ? 1 : 0;
            info.longitude = static_cast<float>(std::fabs(number));
        } else {
            camera = false;
            if (key == "hdr")
                info.highDynamicRange = whole;
            else if (key == "preview")
                preview = whole != 0;
            else if (key == "faildecode")
                failure = whole;
        }
        if (camera)
            info.hasCameraData = 1;
    }
}

void GreyPalette(uint8_t* palette)
{
    for (int i = 0; i < 256; ++i)
        palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = static_cast<uint8_t>(i);
}

uint8_t Adjust(uint8_t grey, const PlugInFormatInfo& info)
{
    int v = grey + info.loadOptionValue;
    v = v < 0 ? 0 : (v > 255 ? 255 : v);
    return static_cast<uint8_t>(info.loadOptionFlag ? 255 - v : v);
}

// Writes the picture, taking every step-th pixel of every step-th row, as bottom-up 8-bit rows.
int32_t DecodeInto(const wchar_t* path, PlugInFormatInfo* info, void* rows, uint8_t* palette, uint32_t step,
                   int32_t expectedWidth, int32_t expectedHeight, int32_t expectedBpp)
{
    if (!info || !rows || !palette)
        return kInvalid;
    RawGreyFile file;
    int32_t status = ReadRawGrey(path, file);
    if (status != kOk)
        return status;
    bool preview = true;
    int32_t failure = 0;
    PlugInFormatInfo scratch = {};
    ApplyText(file.text, scratch, preview, failure);
    if (failure != 0)
        return failure;
    uint32_t outWidth = (file.width + step - 1) / step;
    uint32_t outHeight = (file.height + step - 1) / step;
    // The host made the picture from the format info; refuse anything else.
    if (expectedBpp != 8 || static_cast<uint32_t>(expectedWidth) != outWidth ||
        static_cast<uint32_t>(expectedHeight) != outHeight)
        return kInvalid;
    size_t stride = (size_t{outWidth} + 3) & ~size_t{3};
    uint8_t* out = static_cast<uint8_t*>(rows);
    const uint8_t* pixels = file.bytes.data() + kHeaderBytes;
    for (uint32_t y = 0; y < outHeight; ++y) {
        const uint8_t* src = pixels + size_t{y} * step * file.width;
        uint8_t* dst = out + (outHeight - 1 - y) * stride;  // bottom-up
        for (uint32_t x = 0; x < outWidth; ++x)
            dst[x] = Adjust(src[x * step], *info);
    }
    GreyPalette(palette);
    return kOk;
}

uint8_t Luma(int r, int g, int b)
{
    return static_cast<uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
}

}  // namespace

extern "C" {

int32_t Dll_InitializePlugIn()
{
    ++g_initialised;
    return kOk;
}

int32_t Dll_UninitializePlugIn()
{
    if (g_initialised > 0)
        --g_initialised;
    return kOk;
}

int32_t Dll_GetPlugInInfo(PlugInRecord* record)
{
    if (!record)
        return kInvalid;
    wcscpy(record->name, L"Raw Grey Picture");
    wcscpy(record->extensions, L"rgy|rawgrey");
    wcscpy(record->filterDescription, L"Raw Grey Picture (*.rgy;*.rawgrey)");
    wcscpy(record->filterPattern, L"*.rgy;*.rawgrey");
    record->canRead = 1;
    record->canWrite = 1;
    return kOk;
}

// (bytes, offset, length): whether a raw grey header starts at bytes[offset].
int32_t Dll_IsFormat(uintptr_t bytes, uintptr_t offset, uintptr_t length)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes);
    if (!p || length == 0 || offset > length || length - offset < kHeaderBytes)
        return 0;
    p += offset;
    if (memcmp(p, "RGRY", 4) != 0)
        return 0;
    uint32_t w = ReadLe32(p + 4), h = ReadLe32(p + 8);
    return (w >= 1 && w <= kMaxSide && h >= 1 && h <= kMaxSide) ? 1 : 0;
}

int32_t Dll_GetFormatInfo(const wchar_t* path, PlugInFormatInfo* info)
{
    if (!info || info->size != static_cast<int32_t>(sizeof(PlugInFormatInfo)))
        return kInvalid;
    RawGreyFile file;
    int32_t status = ReadRawGrey(path, file);
    if (status != kOk)
        return status;
    info->width = static_cast<int32_t>(file.width);
    info->height = static_cast<int32_t>(file.height);
    info->bitsPerPixel = 8;
    info->metadataWanted = 1;
    bool preview = true;
    int32_t failure = 0;
    ApplyText(file.text, *info, preview, failure);
    if (preview) {
        info->hasPreview = 1;
        info->previewWidth = static_cast<int32_t>((file.width + 1) / 2);
        info->previewHeight = static_cast<int32_t>((file.height + 1) / 2);
        info->previewBitsPerPixel = 8;
    }
    return kOk;
}

int32_t Dll_DecodeFormat(const wchar_t* path, PlugInFormatInfo* info, void* rows, uint8_t* palette)
{
    if (!info)
        return kInvalid;
    return DecodeInto(path, info, rows, palette, 1, info->width, info->height, info->bitsPerPixel);
}

int32_t Dll_DecodeFormatPreview(const wchar_t* path, PlugInFormatInfo* info, void* rows, uint8_t* palette)
{
    if (!info || !info->hasPreview)
        return kInvalid;
    return DecodeInto(path, info, rows, palette, 2, info->previewWidth, info->previewHeight,
                      info->previewBitsPerPixel);
}

int32_t Dll_EncodeFormat(const wchar_t* path, PlugInFormatInfo* info, void* rows, uint8_t* palette,
                         int32_t /*option*/)
{
    if (!path || !info || !rows || !palette || info->size != static_cast<int32_t>(sizeof(PlugInFormatInfo)))
        return kInvalid;
    int32_t bpp = info->bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return kWrongBpp;
    if (info->width < 1 || info->height < 1 || static_cast<uint32_t>(info->width) > kMaxSide ||
        static_cast<uint32_t>(info->height) > kMaxSide)
        return kInvalid;
    uint32_t w = static_cast<uint32_t>(info->width), h = static_cast<uint32_t>(info->height);
    size_t stride = ((size_t{w} * bpp + 31) / 32) * 4;
    std::vector<uint8_t> out;
    try {
        out.resize(kHeaderBytes + size_t{w} * h);
    } catch (...) {
        return kNotEnoughMemory;
    }
    memcpy(out.data(), "RGRY", 4);
    PutLe32(&out[4], w);
    PutLe32(&out[8], h);
    const uint8_t* in = static_cast<const uint8_t*>(rows);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = in + (h - 1 - y) * stride;  // top row first in the file
        uint8_t* dst = &out[kHeaderBytes + size_t{y} * w];
        for (uint32_t x = 0; x < w; ++x) {
            int r, g, b;
            if (bpp <= 8) {
                unsigned index;
                if (bpp == 8)
                    index = row[x];
                else if (bpp == 4)
                    index = (row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F;
                else
                    index = (row[x / 8] >> (7 - (x & 7))) & 1;
                r = palette[index * 3];
                g = palette[index * 3 + 1];
                b = palette[index * 3 + 2];
            } else if (bpp == 16) {
                unsigned v = row[x * 2] | (row[x * 2 + 1] << 8);
                b = ((v & 31) * 255 + 15) / 31;
                g = (((v >> 5) & 31) * 255 + 15) / 31;
                r = (((v >> 10) & 31) * 255 + 15) / 31;
            } else {
                const uint8_t* px = row + x * (bpp / 8);
                b = px[0];
                g = px[1];
                r = px[2];
            }
            dst[x] = Luma(r, g, b);
        }
    }
    Stream f(_wfopen(path, L"wb"));
    if (!f)
        return kOpenWrite;
    bool ok = fwrite(out.data(), 1, out.size(), f.get()) == out.size();
    // The close is where a full disk shows.
    ok = (fclose(f.release()) == 0) && ok;
    return ok ? kOk : kOpenWrite;
}

int32_t Dll_GetPlugInFiles(wchar_t* buffer, int32_t units)
{
    static const wchar_t kFiles[] = L"LMC_RawGrey.dll|RawGrey.txt";
    if (!buffer || units < static_cast<int32_t>(sizeof kFiles / sizeof kFiles[0]))
        return kInvalid;
    wcscpy(buffer, kFiles);
    return kOk;
}

}  // extern "C"
