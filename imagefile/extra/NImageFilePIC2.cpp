#include "imagefile/extra/NImageFilePIC2.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 17;
constexpr size_t kBlockHeaderBytes = 5;

// The colour of an EGA colour code: bits 2 and 5 red, 1 and 4 green, 0 and 3 blue.
void EgaColour(uint8_t code, uint8_t* rgb)
{
    rgb[0] = static_cast<uint8_t>(((code & 0x04) ? 0x80 : 0) + ((code & 0x20) ? 0x40 : 0));
    rgb[1] = static_cast<uint8_t>(((code & 0x02) ? 0x80 : 0) + ((code & 0x10) ? 0x40 : 0));
    rgb[2] = static_cast<uint8_t>(((code & 0x01) ? 0x80 : 0) + ((code & 0x08) ? 0x40 : 0));
}

// The 16 colour codes of the standard EGA palette.
constexpr uint8_t kDefaultEgaCodes[16] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};

// Places the rows of the unpacked stream into the picture as they complete.
class RowSink {
public:
    RowSink(NImageBuffer& pic, int depth, size_t rowBytes, uint64_t rows)
        : pic_(pic), depth_(depth), rows_(rows), row_(rowBytes)
    {
    }

    bool Done() const { return done_ >= rows_; }

    void Put(uint8_t value, uint64_t count)
    {
        while (count > 0 && !Done()) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count, row_.size() - filled_));
            memset(row_.data() + filled_, value, n);
            filled_ += n;
            count -= n;
            if (filled_ == row_.size())
                Flush();
        }
    }

private:
    void Flush()
    {
        filled_ = 0;
        const uint64_t index = done_++;
        if (depth_ == 1 || depth_ == 8) {
            // Bottom row first.
            memcpy(pic_.bits + static_cast<size_t>(index) * pic_.stride, row_.data(), row_.size());
            return;
        }
        // Bit planes one after another, each bottom row first; plane p adds 2^p to a pixel.
        const uint64_t height = static_cast<uint64_t>(pic_.height);
        const int plane = static_cast<int>(index / height);
        uint8_t* out = pic_.bits + static_cast<size_t>(index % height) * pic_.stride;
        for (int x = 0; x < pic_.width; ++x) {
            if (row_[static_cast<size_t>(x) / 8] & (0x80 >> (x & 7)))
                out[x / 2] = static_cast<uint8_t>(out[x / 2] | ((1 << plane) << ((x & 1) ? 0 : 4)));
        }
    }

    NImageBuffer& pic_;
    int depth_;
    uint64_t rows_;
    std::vector<uint8_t> row_;
    size_t filled_ = 0;
    uint64_t done_ = 0;
};

}  // namespace

bool NImageFilePIC2::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 2))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureU16(p) == 0x1234;
}

NRESULT NImageFilePIC2::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    const size_t got = in.Read(h, sizeof(h));
    if (!IsFormat(h, 0, got))
        return NR_NOT_THIS_FORMAT;
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    const uint32_t width = SignatureU16(h + 2);
    const uint32_t height = SignatureU16(h + 4);
    const int planes = (h[10] >> 4) + 1;
    const int depth = planes * (h[10] & 0x0F);
    const bool sixBitPalette = h[12] == 'M';
    const uint32_t paletteBytes = SignatureU16(h + 15);
    if (depth != 1 && depth != 8 && (depth < 2 || depth > 4))
        return NR_SUBFEATURE_NOT_SUPPORTED;

    uint8_t palette[256 * 3] = {};
    const size_t paletteRead = in.Read(palette, std::min<size_t>(paletteBytes, sizeof(palette)));
    if (depth == 1) {
        palette[3] = palette[4] = palette[5] = 255;   // 0 black, 1 white
        palette[0] = palette[1] = palette[2] = 0;
    } else if (depth <= 4 && !sixBitPalette) {
        uint8_t codes[16];
        const size_t entries = size_t{1} << depth;
        for (size_t i = 0; i < entries; ++i)
            codes[i] = paletteRead == 0 ? kDefaultEgaCodes[i] : palette[i];
        for (size_t i = 0; i < entries; ++i)
            EgaColour(codes[i], palette + i * 3);
    } else if (paletteRead == 0 && depth == 8) {
        for (int i = 0; i < 256; ++i)
            palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = static_cast<uint8_t>(i);
    } else {
        for (size_t i = 0; i < paletteRead; ++i)
            palette[i] = static_cast<uint8_t>(palette[i] * 4);
    }

    const size_t rowBytes = depth == 8 ? width : (width + 7) / 8;
    const uint64_t rows = uint64_t{height} * (depth >= 2 && depth <= 4 ? depth : 1);
    const uint64_t dataStart = kHeaderBytes + uint64_t{paletteBytes};
    const uint64_t fileLength = in.Length();
    // The densest run (marker, 0, a 16-bit count, value) gives 65535 bytes from 5.
    if (dataStart > fileLength || !DataBound::Yields(DataBound::PackedBytes(rowBytes, rows, 8), fileLength - dataStart, 65535, 5))
        return NR_INVALID_DATA;
    if (width == 0 || height == 0 ||
        !pic.Create(static_cast<int>(width), static_cast<int>(height), depth >= 2 && depth <= 4 ? 4 : depth, 0,
                    palette))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    RowSink sink(pic, depth, rowBytes, rows);
    uint64_t furthest = dataStart;
    uint16_t blocks = 0;
    if (in.Seek(dataStart) && in.ReadU16(blocks)) {
        for (uint32_t b = 0; b < blocks && !sink.Done(); ++b) {
            const int64_t start = in.Tell();
            uint8_t bh[kBlockHeaderBytes];
            if (start < 0 || !in.ReadExact(bh, sizeof(bh)))
                break;
            const uint32_t blockBytes = SignatureU16(bh);
            const uint32_t unpackedBytes = SignatureU16(bh + 2);
            const int marker = bh[4];
            uint32_t unpacked = 0;
            bool ended = false;
            while (unpacked < unpackedBytes && !sink.Done()) {
                const int c = in.ReadByte();
                if (c < 0) {
                    ended = true;
                    break;
                }
                if (c != marker) {
                    sink.Put(static_cast<uint8_t>(c), 1);
                    ++unpacked;
                    continue;
                }
                uint32_t count = 0;
                const int n = in.ReadByte();
                if (n < 0) {
                    ended = true;
                    break;
                }
                count = static_cast<uint32_t>(n);
                if (count == 0) {
                    uint16_t wide = 0;
                    if (!in.ReadU16(wide)) {
                        ended = true;
                        break;
                    }
                    count = wide;
                }
                const int value = in.ReadByte();
                if (value < 0) {
                    ended = true;
                    break;
                }
                count = std::min(count, unpackedBytes - unpacked);
                sink.Put(static_cast<uint8_t>(value), count);
                unpacked += count;
            }
            furthest = std::max<uint64_t>(furthest, in.PositionInFile());
            if (ended)
                break;
            // The next block starts behind this one; a size too small to hold its own header
            // leaves the reading where the decoding stopped.
            if (blockBytes >= kBlockHeaderBytes && !in.Seek(static_cast<uint64_t>(start) + blockBytes))
                break;
        }
    }

    consumedSize = std::min(std::max<uint64_t>(furthest, in.PositionInFile()), fileLength);
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFilePIC2::GetFormatId() const
{
    return FT_PIC2;
}
