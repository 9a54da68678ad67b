#include "imagefile/formats/NImageFileWEBP.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "base/ReadTarget.h"
#include "base/ScopedFile.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imaging/DecodeBudget.h"

namespace {

// The most pixels one byte of a WebP file is believed to code. Both codings can go further (a
// plain area costs next to nothing), but a real picture of one colour that large is rare, and a
// header must not make the decoder take gigabytes for a few bytes.
constexpr uint64_t kPixelsPerByte = 512;

// The decoder's output buffer, released with the object.
struct DecodedPicture {
    WebPDecoderConfig config;
    bool haveOutput = false;
    ~DecodedPicture()
    {
        if (haveOutput)
            WebPFreeDecBuffer(&config.output);
    }
};

struct AnimationDecoder {
    WebPAnimDecoder* decoder = nullptr;
    ~AnimationDecoder()
    {
        if (decoder)
            WebPAnimDecoderDelete(decoder);
    }
};

// Top-down rows (top row first, `rowStride` bytes apart, `bytesPerPixel` 3 or 4 of them used
// per pixel, taken from `sourcePixelBytes`-byte pixels) into the bottom-up picture.
void CopyRowsTopDown(NImageBuffer& out, const uint8_t* rows, size_t rowStride, int sourcePixelBytes)
{
    const int pixelBytes = out.bpp / 8;
    for (int i = 0; i < out.height; ++i) {
        const uint8_t* source = rows + static_cast<size_t>(i) * rowStride;
        uint8_t* line = out.bits + static_cast<size_t>(out.height - 1 - i) * out.stride;
        if (pixelBytes == sourcePixelBytes) {
            memcpy(line, source, static_cast<size_t>(out.width) * pixelBytes);
            continue;
        }
        for (int x = 0; x < out.width; ++x)
            memcpy(line + static_cast<size_t>(x) * pixelBytes, source + static_cast<size_t>(x) * sourcePixelBytes,
                   static_cast<size_t>(pixelBytes));
    }
}

}  // namespace

bool NImageFileWEBP::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 16))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "RIFF") && SignatureIs(p + 8, "WEBP") && SignatureIs(p + 12, "VP");
}

FileType NImageFileWEBP::GetFormatId() const
{
    return FT_WEBP;
}

NRESULT NImageFileWEBP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    SetFileName(path);
    DecodedPicture decoded;
    if (!WebPInitDecoderConfig(&decoded.config))
        return NR_FORMAT_INIT_FAILED;

    // The whole file, which is also the consumed size.
    ScopedFile in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    FILE* file = in.Get();
    int64_t length = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        length = _ftelli64(file);
    if (length < 0 || _fseeki64(file, 0, SEEK_SET) != 0)
        return NR_FILE_OPEN_READ;
    consumedSize = static_cast<uint64_t>(length);
    // One byte more than the file so that an empty file still gets a buffer.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1]);
    if (!bytes)
        return NR_ALLOCATION_FAILED;
    PrepareReadTarget(bytes.get(), static_cast<size_t>(length));
    const size_t size = fread(bytes.get(), 1, static_cast<size_t>(length), file);
    in.Close();
    {
        // The picture ends with its RIFF container; bytes after it belong to something else.
        MemoryByteSource whole(bytes.get(), size);
        const PictureExtent extent = FindExtent(whole);
        if (extent.IsComplete())
            consumedSize = extent.end;
    }

    if (!IsFormat(bytes.get(), 0, size))
        return NR_INVALID_DATA;
    WebPBitstreamFeatures& features = decoded.config.input;
    if (WebPGetFeatures(bytes.get(), size, &features) != VP8_STATUS_OK)
        return NR_INVALID_DATA;
    const bool alpha = features.has_alpha != 0;
    NImageBuffer& out = target ? *target : picture;
    // The size the header gives (an animation's canvas) must make a picture before the decoder
    // reserves memory for it.
    const int stride = NImageBuffer::StrideFor(features.width, alpha ? 32 : 24);
    if (features.height <= 0 || stride <= 0 || static_cast<int64_t>(stride) * features.height > INT32_MAX)
        return NR_PICTURE_CREATE_FAILED;
    // Nor may it claim more pixels than the file's data can code; the decoder's own blocks (the
    // output rows, an animation's two canvases) come from the decode budget.
    if (!DataBound::Fits(static_cast<uint64_t>(features.width), static_cast<uint64_t>(features.height), 8, size,
                         kPixelsPerByte))
        return NR_INVALID_DATA;
    NDecodeLease decoderMemory;
    const uint64_t area = static_cast<uint64_t>(features.width) * static_cast<uint64_t>(features.height);
    if (!decoderMemory.Take(area * (features.has_animation ? 8 : 4)))
        return NR_NOT_ENOUGH_MEMORY;

    if (features.has_animation) {
        // The first frame, composed on the canvas (top row first, four bytes a pixel).
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return NR_FORMAT_INIT_FAILED;
        options.color_mode = MODE_BGRA;
        options.use_threads = 0;
        WebPData data = {bytes.get(), size};
        AnimationDecoder animation;
        animation.decoder = WebPAnimDecoderNew(&data, &options);
        WebPAnimInfo info;
        uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!animation.decoder || !WebPAnimDecoderGetInfo(animation.decoder, &info) ||
            !WebPAnimDecoderGetNext(animation.decoder, &canvas, &timestamp) || !canvas)
            return NR_DECODE_FAILED;
        if (info.canvas_width > INT32_MAX || info.canvas_height > INT32_MAX ||
            !out.Create(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height), alpha ? 32 : 24, 0))
            return NR_PICTURE_CREATE_FAILED;
        CopyRowsTopDown(out, canvas, static_cast<size_t>(info.canvas_width) * 4, 4);
    } else {
        decoded.config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
        // A verification decodes every block but keeps only an eighth of each side.
        const bool scaled = loadOptions.verifyOnly != 0 && (features.width >= 16 || features.height >= 16);
        if (scaled) {
            decoded.config.options.use_scaling = 1;
            decoded.config.options.scaled_width = std::max(1, features.width / 8);
            decoded.config.options.scaled_height = std::max(1, features.height / 8);
        }
        decoded.haveOutput = true;
        const VP8StatusCode status = WebPDecode(bytes.get(), size, &decoded.config);
        bytes.reset();
        if (status != VP8_STATUS_OK)
            return NR_DECODE_FAILED;
        const WebPRGBABuffer& rows = decoded.config.output.u.RGBA;
        const int width = decoded.config.output.width;
        const int height = decoded.config.output.height;
        if (!rows.rgba || !out.Create(width, height, alpha ? 32 : 24, 0))
            return NR_PICTURE_CREATE_FAILED;
        CopyRowsTopDown(out, rows.rgba, static_cast<size_t>(rows.stride), alpha ? 4 : 3);
        if (scaled) {
            verifiedSmaller = 1;
            fullWidth = features.width;
            fullHeight = features.height;
            return NR_OK;
        }
    }
    fullWidth = out.width;
    fullHeight = out.height;
    return NR_OK;
}

NRESULT NImageFileWEBP::Save(const wchar_t* path, NImageBuffer* bitmap, ImageMetadata*)
{
    NImageBuffer& source = bitmap ? *bitmap : picture;
    if (!source.valid || !source.bits)
        return NR_PICTURE_NOT_VALID;

    // The encoder takes rows top first: it starts at the top scan line and steps backwards
    // through memory, so the picture is never turned over in place.
    const bool alpha = source.bpp == 32;
    const uint8_t* rows = source.bits;
    int stride = source.stride;
    std::unique_ptr<uint8_t, decltype(&free)> converted(nullptr, &free);
    if (source.bpp != 24 && source.bpp != 32) {
        converted.reset(source.GetBitsAs(24));
        if (!converted)
            return NR_ALLOCATION_FAILED;
        rows = converted.get();
        stride = NImageBuffer::StrideFor(source.width, 24);
    }
    const uint8_t* top = rows + static_cast<size_t>(source.height - 1) * static_cast<size_t>(stride);

    uint8_t* output = nullptr;
    size_t size = 0;
    const int width = source.width;
    const int height = source.height;
    if (saveOptions.webpLossless) {
        size = alpha ? WebPEncodeLosslessBGRA(top, width, height, -stride, &output)
                     : WebPEncodeLosslessBGR(top, width, height, -stride, &output);
    } else {
        const float quality = static_cast<float>(saveOptions.webpQuality);
        size = alpha ? WebPEncodeBGRA(top, width, height, -stride, quality, &output)
                     : WebPEncodeBGR(top, width, height, -stride, quality, &output);
    }
    converted.reset();
    std::unique_ptr<uint8_t, decltype(&WebPFree)> encoded(output, &WebPFree);
    if (!encoded || size == 0)
        return NR_ENCODE_FAILED;

    ScopedFile out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    const bool written = fwrite(encoded.get(), 1, size, out.Get()) == size;
    if (!out.Close() || !written) {
        _wremove(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

PictureExtent NImageFileWEBP::FindExtent(ByteSource& source)
{
    uint8_t head[16];
    if (!source.ReadAt(0, head, 16))
        return PictureExtent::Unknown();
    if (!IsFormat(head, 0, 16))
        return PictureExtent::Broken();
    const uint32_t riffSize = uint32_t{head[4]} | (uint32_t{head[5]} << 8) | (uint32_t{head[6]} << 16) |
                              (uint32_t{head[7]} << 24);
    // "WEBP" and one chunk header at least; libwebp refuses less.
    if (riffSize < 12)
        return PictureExtent::Broken();
    const uint64_t end = uint64_t{riffSize} + 8;
    if (end > source.Size())
        return PictureExtent::Unknown();
    return PictureExtent::Complete(end);
}
