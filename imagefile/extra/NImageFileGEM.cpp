#include "imagefile/extra/NImageFileGEM.h"

#include "imagefile/DataBound.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The most bytes of picture one byte of a GEM file can give: solid runs of 127 bytes, rows
// repeated up to 255 times.
constexpr uint64_t kDensestRatio = 127 * 255;

constexpr uint32_t kHeaderBytes = 16;

uint16_t BigEndian16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// A header as GEM writers make it, whatever pixel size it records.
bool IsPlainHeader(const uint8_t* h)
{
    const int headerWords = BigEndian16(h + 2);
    const int planes = BigEndian16(h + 4);
    return headerWords >= 8 && headerWords <= 255 && ((planes >= 1 && planes <= 8) || planes == 24) &&
           BigEndian16(h + 8) != 0 && BigEndian16(h + 10) != 0;
}

// Decodes the coded bytes of one scan line (all planes) into row. `repeat` receives the
// scan line's vertical replication count (1 when none). False when the file ended before the
// row was complete; the rest of the row is then 0.
bool DecodeRow(StdioStream& in, std::vector<uint8_t>& row, const std::vector<uint8_t>::size_type patternLength,
               int runFactor, int& repeat)
{
    std::fill(row.begin(), row.end(), 0);
    repeat = 1;
    const size_t count = row.size();
    size_t filled = 0;
    auto put = [&](uint8_t value) {
        if (filled < count)
            row[filled++] = value;
    };
    std::vector<uint8_t> pattern(patternLength);
    while (filled < count) {
        const int code = in.ReadByte();
        if (code < 0)
            return false;
        if (code == 0x00) {
            const int n = in.ReadByte();
            if (n < 0)
                return false;
            if (n == 0) {
                // 00 00 FF count: the scan line that follows is repeated; otherwise an empty
                // pattern run.
                const int marker = in.ReadByte();
                if (marker < 0)
                    return false;
                if (marker == 0xFF) {
                    const int times = in.ReadByte();
                    if (times < 0)
                        return false;
                    repeat = std::max(times, 1);
                    continue;
                }
                if (patternLength > 1 && !in.Skip(patternLength - 1))
                    return false;
                continue;
            }
            if (!in.ReadExact(pattern.data(), patternLength))
                return false;
            const int64_t copies = int64_t{n} * runFactor;
            for (int64_t c = 0; c < copies && filled < count; ++c) {
                for (uint8_t b : pattern)
                    put(b);
            }
        } else if (code == 0x80) {
            const int n = in.ReadByte();
            if (n < 0)
                return false;
            const int64_t literal = int64_t{n} * runFactor;
            for (int64_t i = 0; i < literal; ++i) {
                const int b = in.ReadByte();
                if (b < 0)
                    return false;
                put(static_cast<uint8_t>(b));
            }
        } else {
            const uint8_t value = (code & 0x80) ? 0xFF : 0x00;
            const size_t run = static_cast<size_t>(code & 0x7F) * runFactor;
            const size_t stored = std::min(run, count - filled);
            memset(row.data() + filled, value, stored);
            filled += stored;
        }
    }
    return true;
}

// One decoded scan line into a picture row.
void StoreRow(const std::vector<uint8_t>& row, int planes, bool trueColour, NImageBuffer& pic, uint8_t* out)
{
    const int width = pic.width;
    if (planes == 1 || trueColour) {
        memcpy(out, row.data(), std::min<size_t>(row.size(), static_cast<size_t>(pic.stride)));
        return;
    }
    if (planes > 8)
        return;
    const size_t planeBytes = (static_cast<size_t>(width) + 7) / 8;
    const int white = (1 << planes) - 1;
    for (int x = 0; x < width; ++x) {
        int value = 0;
        for (int p = 0; p < planes; ++p) {
            if (row[p * planeBytes + x / 8] & (0x80 >> (x & 7)))
                value |= planes <= 4 ? (1 << p) : (1 << (planes - 1 - p));
        }
        const int index = white - value;
        if (planes <= 4) {
            uint8_t& b = out[x / 2];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | index) : static_cast<uint8_t>((b & 0x0F) | (index << 4));
        } else {
            out[x] = static_cast<uint8_t>(index);
        }
    }
}

}  // namespace

bool NImageFileGEM::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 12))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureU32(p + 8) == 0x55005500;
}

NRESULT NImageFileGEM::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    const size_t got = in.Read(h, sizeof(h));
    if (got < 12)
        return NR_NOT_THIS_FORMAT;
    if (SignatureU32(h + 8) != 0x55005500 && (got < kHeaderBytes || !IsPlainHeader(h)))
        return NR_NOT_THIS_FORMAT;

    const int headerWords = h[3];
    const int planes = h[5];
    const size_t patternLength = std::max<uint16_t>(BigEndian16(h + 6), 1);
    const int width = BigEndian16(h + 12);
    const int height = BigEndian16(h + 14);
    const bool trueColour = headerWords == 9 || planes == 24;

    uint8_t paletteRgb[256 * 3] = {};
    if (planes == 1) {
        paletteRgb[0] = paletteRgb[1] = paletteRgb[2] = 255;
    } else if (planes >= 2 && planes <= 8) {
        const int entries = 1 << planes;
        const int step = 255 / (entries - 1);
        for (int i = 0; i < entries; ++i)
            paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i * step);
    }
    pic.Destroy();
    // Without planes there is no row to read (and a 1-bit picture would be written as 4-bit).
    if (planes == 0)
        return NR_INVALID_DATA;
    // Solid runs give 127 bytes from one, and a row may be repeated 255 times by four bytes.
    if (width > 0 && height > 0 &&
        !DataBound::Fits(static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                         static_cast<uint64_t>(trueColour ? 24 : planes), in.Length(), kDensestRatio))
        return NR_INVALID_DATA;
    if (width <= 0 || height <= 0 || !pic.Create(width, height, trueColour ? 24 : planes, 0, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    // The true-colour variant keeps its run factor in the word behind the plain header.
    int runFactor = 1;
    uint64_t dataStart = kHeaderBytes;
    if (trueColour) {
        uint8_t word[2] = {};
        in.Seek(kHeaderBytes);
        in.Read(word, sizeof(word));
        runFactor = word[1];
        dataStart += 2;
    }
    dataStart = std::max<uint64_t>(dataStart, uint64_t{2} * headerWords);

    const size_t rowBytes = trueColour ? static_cast<size_t>(width) * 3
                                       : static_cast<size_t>(planes) * ((static_cast<size_t>(width) + 7) / 8);
    std::vector<uint8_t> row(rowBytes);
    if (in.Seek(dataStart)) {
        for (int y = 0; y < height;) {
            int repeat = 1;
            const bool complete = DecodeRow(in, row, patternLength, runFactor, repeat);
            for (int r = 0; r < repeat && y < height; ++r, ++y)
                StoreRow(row, planes, trueColour, pic, pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride);
            if (!complete)
                break;
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileGEM::GetFormatId() const
{
    return FT_GEM;
}
