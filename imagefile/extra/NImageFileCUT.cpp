#include "imagefile/extra/NImageFileCUT.h"

#include "imagefile/extra/FormatStream.h"
#include "imagefile/SignatureWindow.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kMaxPathCharacters = 260;
// The palette file: a 40-byte header, then entries of three 16-bit values (red, green, blue)
// in blocks of 512 bytes that no entry crosses.
constexpr uint64_t kPaletteHeaderBytes = 40;
constexpr uint64_t kPaletteBlockBytes = 512;
constexpr uint64_t kPaletteEntryBytes = 6;
// A row record: its 16-bit byte count, then runs, each of at most 127 bytes from a 2-byte
// repeat packet. A header size is believed only when the bytes after it can hold every row that
// densely.
constexpr uint64_t kRowCountBytes = 2;
constexpr uint64_t kBytesPerRepeat = 127;

}  // namespace

bool NImageFileCUT::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

FileType NImageFileCUT::GetFormatId() const
{
    return FT_CUT;
}

std::wstring NImageFileCUT::PalettePath(const wchar_t* path)
{
    std::wstring palette = path ? path : L"";
    if (palette.size() > kMaxPathCharacters)
        palette.resize(kMaxPathCharacters);
    const size_t dot = palette.find_last_of(L'.');
    const size_t slash = palette.find_last_of(L"\\/");
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
        palette.resize(dot);
    return palette + L".pal";
}

bool NImageFileCUT::ReadPalette(const wchar_t* path, uint8_t (&paletteRgb)[768])
{
    FormatStream in;
    if (!in.OpenRead(path))
        return false;
    uint64_t position = kPaletteHeaderBytes;
    for (int i = 0; i < 256; ++i) {
        // An entry that would cross a block boundary starts the next block.
        const uint64_t inBlock = position % kPaletteBlockBytes;
        if (inBlock + kPaletteEntryBytes > kPaletteBlockBytes)
            position += kPaletteBlockBytes - inBlock;
        uint8_t entry[kPaletteEntryBytes];
        if (position + kPaletteEntryBytes > in.Length() || !in.Seek(position) || !in.ReadExact(entry, sizeof entry))
            break;
        paletteRgb[i * 3] = entry[0];       // the low byte of each 16-bit value
        paletteRgb[i * 3 + 1] = entry[2];
        paletteRgb[i * 3 + 2] = entry[4];
        position += kPaletteEntryBytes;
    }
    return true;
}

NRESULT NImageFileCUT::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes];
    if (!in.ReadExact(h, sizeof h))
        return NR_FORMAT_INIT_FAILED;
    const unsigned width = SignatureU16(h);
    const unsigned height = SignatureU16(h + 2);
    const uint64_t densestRow = kRowCountBytes + 2 * ((uint64_t{width} + kBytesPerRepeat - 1) / kBytesPerRepeat);
    if (uint64_t{height} * densestRow > in.Remaining())
        return NR_INVALID_DATA;

    uint8_t paletteRgb[768];
    for (int i = 0; i < 256; ++i)
        paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i);
    ReadPalette(PalettePath(path).c_str(), paletteRgb);

    NImageBuffer& out = target ? *target : picture;
    if (!out.Create(static_cast<int>(width), static_cast<int>(height), 8, 0, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;

    // Each row record is decoded within its own byte count, and the next row starts behind it
    // whatever the runs consumed. Bytes a row's runs do not reach stay 0.
    FILE* file = in.get();
    std::vector<uint8_t> record;
    uint64_t next = kHeaderBytes;
    for (unsigned r = 0; r < height; ++r) {
        uint8_t count[2];
        if (!in.Seek(next) || !in.ReadExact(count, sizeof count))
            break;
        const uint64_t start = next + sizeof count;
        const size_t recordBytes = static_cast<size_t>(std::min<uint64_t>(SignatureU16(count), in.Remaining()));
        next = start + SignatureU16(count);
        record.resize(recordBytes);
        const size_t got = fread(record.data(), 1, recordBytes, file);
        uint8_t* line = out.bits + static_cast<size_t>(height - 1 - r) * out.stride;   // top row first
        size_t filled = 0;
        for (size_t at = 0; at < got;) {
            const unsigned n = record[at++];
            if (n == 0)
                break;
            const size_t run = n & 0x7F;
            if (n & 0x80) {
                if (at >= got)
                    break;
                const uint8_t value = record[at++];
                const size_t kept = std::min(run, width - filled);
                memset(line + filled, value, kept);
                filled += kept;
            } else {
                const size_t available = std::min(run, got - at);
                const size_t kept = std::min(available, width - filled);
                memcpy(line + filled, record.data() + at, kept);
                filled += kept;
                at += available;
            }
        }
        if (got < recordBytes)
            break;
    }
    consumedSize = std::min(next, in.Length());
    in.Close();
    fullWidth = static_cast<int32_t>(width);
    fullHeight = static_cast<int32_t>(height);
    return NR_OK;
}
