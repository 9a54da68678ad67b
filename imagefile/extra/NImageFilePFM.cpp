#include "imagefile/extra/NImageFilePFM.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kLongestField = 40;

bool IsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The next field of the header: white space is skipped before it, and exactly one white-space
// character ends it. False at the end of the file or for a field longer than kLongestField.
bool ReadField(StdioStream& in, char* field)
{
    int c = in.ReadByte();
    while (IsSpace(c))
        c = in.ReadByte();
    size_t length = 0;
    while (c >= 0 && !IsSpace(c)) {
        if (length == kLongestField)
            return false;
        field[length++] = static_cast<char>(c);
        c = in.ReadByte();
    }
    field[length] = 0;
    return c >= 0 && length > 0;
}

bool ParseSize(const char* text, uint32_t& value)
{
    char* end = nullptr;
    if (*text < '0' || *text > '9')
        return false;
    const unsigned long long number = strtoull(text, &end, 10);
    if (*end != 0 || number == 0 || number > INT32_MAX)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

uint8_t ToneChannel(float value, double multiplier)
{
    double x = value;
    x = x > 0.15 ? x - 0.15 : 0.0;   // also catches NaN
    x *= multiplier;
    if (x > 1.0)
        x = std::log((x - 1.0) * 0.184874 + 1.0) / 0.184874 + 1.0;
    const double y = std::sqrt(x) * 84.66;
    if (!(y > 0.0))
        return 0;
    return y >= 255.0 ? 255 : static_cast<uint8_t>(y);
}

}  // namespace

bool NImageFilePFM::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 3))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 'P' && (p[1] == 'F' || p[1] == 'f');
}

void NImageFilePFM::ToneMap(float red, float green, float blue, int exposure, uint8_t out[3])
{
    const double multiplier = exposure != 0 ? std::pow(2.0, exposure + 2.47393) : 5.55555;
    out[0] = ToneChannel(red, multiplier);
    out[1] = ToneChannel(green, multiplier);
    out[2] = ToneChannel(blue, multiplier);
}

NRESULT NImageFilePFM::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t magic[2] = {};
    if (!in.ReadExact(magic, 2) || magic[0] != 'P' || (magic[1] != 'F' && magic[1] != 'f'))
        return NR_NOT_THIS_FORMAT;
    const bool colour = magic[1] == 'F';
    const int channels = colour ? 3 : 1;

    char field[kLongestField + 1];
    uint32_t width = 0;
    uint32_t height = 0;
    if (!ReadField(in, field) || !ParseSize(field, width) || !ReadField(in, field) || !ParseSize(field, height) ||
        !ReadField(in, field))
        return NR_FORMAT_INIT_FAILED;
    char* end = nullptr;
    const double scaleValue = strtod(field, &end);
    if (*end != 0 || !std::isfinite(scaleValue) || scaleValue == 0.0)
        return NR_FORMAT_INIT_FAILED;
    const bool littleEndian = scaleValue < 0;
    const float scale = static_cast<float>(std::fabs(scaleValue));

    const size_t rowFloats = static_cast<size_t>(width) * channels;
    const uint64_t dataBytes = in.Length() - static_cast<uint64_t>(in.Tell());
    if (!DataBound::Fits(rowFloats, height, 32, dataBytes, DataBound::kRawCutShort))
        return NR_INVALID_DATA;

    uint8_t grey[256 * 3];
    for (int i = 0; i < 256; ++i)
        grey[i * 3] = grey[i * 3 + 1] = grey[i * 3 + 2] = static_cast<uint8_t>(i);
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), colour ? 24 : 8, loadOptions.backgroundColour,
                    colour ? nullptr : grey))
        return NR_PICTURE_CREATE_FAILED;

    std::vector<uint8_t> row;
    try {
        row.resize(rowFloats * 4);
    } catch (const std::bad_alloc&) {
        pic.Destroy();
        return NR_ALLOCATION_FAILED;
    }
    const int exposure = loadOptions.toneParameter;
    for (uint32_t y = 0; y < height; ++y) {
        if (!in.ReadExact(row.data(), row.size()))
            break;
        float samples[3] = {};
        uint8_t* out = pic.bits + static_cast<size_t>(y) * pic.stride;   // bottom row first
        for (uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const uint8_t* b = row.data() + (static_cast<size_t>(x) * channels + c) * 4;
                const uint32_t bits = littleEndian
                                          ? (uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) |
                                             (uint32_t{b[3]} << 24))
                                          : ((uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
                                             (uint32_t{b[2]} << 8) | uint32_t{b[3]});
                float value;
                memcpy(&value, &bits, 4);
                samples[c] = value / scale;
            }
            uint8_t mapped[3];
            if (colour) {
                ToneMap(samples[0], samples[1], samples[2], exposure, mapped);
                out[x * 3] = mapped[2];
                out[x * 3 + 1] = mapped[1];
                out[x * 3 + 2] = mapped[0];
            } else {
                ToneMap(samples[0], 0.0f, 0.0f, exposure, mapped);
                out[x] = mapped[0];
            }
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFilePFM::GetFormatId() const
{
    return FT_PFM;
}

bool NImageFilePFM::IsHighDynamicRange() const
{
    return true;
}
