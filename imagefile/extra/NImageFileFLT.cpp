#include "imagefile/extra/NImageFileFLT.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Samples decoded per read for the 16- and 32-bit depths.
constexpr size_t kChunkSamples = 16384;

}  // namespace

bool NImageFileFLT::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 9))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "IMAGE11\0");
}

uint8_t NImageFileFLT::FloatSampleToIndex(float sample)
{
    if (std::isnan(sample) || sample == 0.0f)
        return 0;
    double value = sample > 0 ? double{sample} + 189.0 : 2.0 * sample + 189.0;
    // Out-of-range values are held to a range that converts without overflow.
    value = std::clamp(value, -9.0e15, 9.0e15);
    return static_cast<uint8_t>(static_cast<int64_t>(value) & 0xFF);
}

PictureExtent NImageFileFLT::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    uint8_t header[24];
    if (!in.Read(header, sizeof(header)))
        return PictureExtent::Unknown();
    if (!SignatureIs(header, "IMAGE11\0"))
        return PictureExtent::Broken();
    const uint16_t a = SignatureU16(header + 8);
    const uint16_t b = SignatureU16(header + 10);
    const uint32_t width = SignatureU32(header + 14);
    const uint32_t height = SignatureU32(header + 18);
    const uint16_t depth = SignatureU16(header + 22);
    if ((depth != 1 && depth != 8 && depth != 16 && depth != 32) ||
        !NImageBuffer::CreatableSize(width, height, depth == 1 ? 1 : 8, true) ||
        !DataBound::Fits(width, height, depth, kLargestPicture, DataBound::kRawCutShort))
        return PictureExtent::Broken();
    // 1 bit: the picture's padded rows in one read; else width samples a row.
    const uint64_t rowBytes = depth == 1 ? static_cast<uint64_t>(NImageBuffer::StrideFor(static_cast<int>(width), 1))
                                         : uint64_t{width} * (depth / 8);
    const uint64_t end = sizeof(header) + static_cast<uint16_t>(b - a) + rowBytes * height;
    if (end > in.Limit() || !DataBound::Fits(width, height, depth, end, DataBound::kRawCutShort))
        return PictureExtent::Unknown();
    return PictureExtent::Complete(end);
}

NRESULT NImageFileFLT::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t signature[8];
    if (!in.ReadExact(signature, sizeof(signature)) || !SignatureIs(signature, "IMAGE11\0"))
        return NR_NOT_THIS_FORMAT;

    uint16_t a = 0;
    uint16_t b = 0;
    uint16_t ignored = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t depth = 0;
    in.ReadU16(a);
    in.ReadU16(b);
    in.ReadU16(ignored);
    in.ReadU32(width);
    in.ReadU32(height);
    in.ReadU16(depth);
    if (depth != 1 && depth != 8 && depth != 16 && depth != 32)
        return NR_FORMAT_INIT_FAILED;
    in.Skip(static_cast<uint16_t>(b - a));

    const int paletteBits = std::min<int>(depth, 8);
    const int entries = 1 << paletteBits;
    const int step = 255 / (entries - 1);
    uint8_t paletteRgb[256 * 3] = {};
    for (int i = 0; i < entries; ++i)
        paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i * step);

    pic.Destroy();
    if (width == 0 || width > INT32_MAX || height == 0 || height > INT32_MAX)
        return NR_PICTURE_CREATE_FAILED;
    // Raw samples: a file cut short keeps its rows, when they are enough.
    if (!DataBound::Fits(width, height, depth, in.Length(), DataBound::kRawCutShort))
        return NR_INVALID_DATA;
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), depth == 1 ? 1 : 8, 0, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    const size_t stride = static_cast<size_t>(pic.stride);
    memset(pic.bits, 0, stride * pic.height);

    // The first stored row goes to buffer row 0; the flip below puts it at the top.
    if (depth == 1) {
        in.Read(pic.bits, stride * pic.height);
    } else if (depth == 8) {
        for (int y = 0; y < pic.height; ++y) {
            if (in.Read(pic.bits + y * stride, width) < width)
                break;
        }
    } else {
        const size_t sampleBytes = depth / 8;
        std::vector<uint8_t> chunk(kChunkSamples * sampleBytes);
        bool complete = true;
        for (int y = 0; y < pic.height && complete; ++y) {
            uint8_t* out = pic.bits + y * stride;
            for (size_t x = 0; x < width && complete;) {
                const size_t wanted = std::min<size_t>(kChunkSamples, width - x);
                const size_t got = in.Read(chunk.data(), wanted * sampleBytes) / sampleBytes;
                for (size_t i = 0; i < got; ++i, ++x) {
                    const uint8_t* s = chunk.data() + i * sampleBytes;
                    if (depth == 16) {
                        out[x] = s[1];
                    } else {
                        float sample;
                        memcpy(&sample, s, sizeof(sample));
                        out[x] = FloatSampleToIndex(sample);
                    }
                }
                complete = got == wanted;
            }
        }
    }
    pic.FlipVertical();

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileFLT::GetFormatId() const
{
    return FT_FLT;
}
