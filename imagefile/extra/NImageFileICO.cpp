#include "imagefile/extra/NImageFileICO.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/DlvTempFile.h"
#include "imagefile/extra/EmbeddedPicture.h"
#include "imagefile/extra/StdioStream.h"
#include "imagefile/formats/NImageFilePNG.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kMaxEntries = 32;
constexpr uint32_t kHeaderBytes = 6;
constexpr uint32_t kEntryBytes = 16;
constexpr uint32_t kBitmapHeaderBytes = 40;

struct IconEntry {
    uint32_t size;
    uint32_t offset;
};

struct IconDirectory {
    uint16_t count = 0;                // as the header says
    std::vector<IconEntry> entries;    // those the file holds in full
    uint64_t fileLength = 0;

    // The end of the icon's data: the furthest entry, but never past the file.
    uint64_t DataEnd() const
    {
        uint64_t end = kHeaderBytes + uint64_t{kEntryBytes} * entries.size();
        for (const IconEntry& e : entries)
            end = std::max<uint64_t>(end, uint64_t{e.offset} + e.size);
        return std::min(end, fileLength);
    }
};

// 200 for a header that is not an icon's, 300 when the directory's memory is missing.
NRESULT ReadDirectory(StdioStream& in, IconDirectory& dir)
{
    uint16_t reserved = 0;
    uint16_t type = 0;
    dir.fileLength = in.Length();
    if (!in.Seek(0) || !in.ReadU16(reserved) || !in.ReadU16(type) || !in.ReadU16(dir.count))
        return NR_NOT_THIS_FORMAT;
    if (reserved != 0 || (type != 1 && type != 2) || dir.count == 0)
        return NR_NOT_THIS_FORMAT;
    try {
        dir.entries.reserve(dir.count);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    for (int i = 0; i < dir.count; ++i) {
        uint8_t raw[kEntryBytes];
        if (!in.ReadExact(raw, sizeof(raw)))
            break;
        dir.entries.push_back({SignatureU32(raw + 8), SignatureU32(raw + 12)});
    }
    return NR_OK;
}

bool IsBitmapDepth(int depth)
{
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

// The limits of a bitmap entry that can be decoded: width 5..1024, stored height (colour and
// mask) 5..2049.
bool BitmapEntryFits(int32_t width, int32_t storedHeight, int depth)
{
    return width >= 5 && width <= 1024 && storedHeight >= 5 && storedHeight <= 2049 && IsBitmapDepth(depth);
}

struct EntryRating {
    bool usable = false;
    int64_t area = 0;
    int depth = 0;
};

// The bytes of a PNG entry that rate it: the signature and the IHDR chunk up to the colour type.
constexpr size_t kPngHeadBytes = 26;

// The size and depth of a PNG entry come from its IHDR chunk.
EntryRating RatePngHead(const uint8_t* head)
{
    EntryRating rating;
    auto be32 = [](const uint8_t* p) {
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    const uint32_t width = be32(head + 16);
    const uint32_t height = be32(head + 20);
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int colourType = head[25];
    if (memcmp(head + 12, "IHDR", 4) != 0 || width == 0 || height == 0 || colourType > 6 || channels[colourType] == 0)
        return rating;
    rating.usable = true;
    rating.area = int64_t{width} * height;
    rating.depth = head[24] * channels[colourType];
    return rating;
}

EntryRating RateEntry(StdioStream& in, const IconEntry& entry)
{
    EntryRating rating;
    uint8_t head[kBitmapHeaderBytes];
    if (!in.Seek(entry.offset) || !in.ReadExact(head, 8))
        return rating;
    if (NImageFilePNG::IsFormat(head, 0, 8))
        return in.ReadExact(head + 8, kPngHeadBytes - 8) ? RatePngHead(head) : rating;
    if (!in.ReadExact(head + 8, kBitmapHeaderBytes - 8))
        return rating;
    const int32_t width = static_cast<int32_t>(SignatureU32(head + 4));
    const int32_t storedHeight = static_cast<int32_t>(SignatureU32(head + 8));
    const int depth = SignatureU16(head + 14);
    if (!BitmapEntryFits(width, storedHeight, depth))
        return rating;
    rating.usable = true;
    rating.area = int64_t{width} * (storedHeight / 2);
    rating.depth = depth;
    return rating;
}

bool Masked(const std::vector<uint8_t>& mask, size_t maskStride, int x, int y)
{
    return (mask[static_cast<size_t>(y) * maskStride + static_cast<size_t>(x) / 8] & (0x80 >> (x & 7))) != 0;
}

int IndexAt(const NImageBuffer& pic, int x, int y)
{
    const uint8_t* row = pic.bits + static_cast<size_t>(y) * pic.stride;
    if (pic.bpp == 8)
        return row[x];
    return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
}

void SetIndex(NImageBuffer& pic, int x, int y, int index)
{
    uint8_t* row = pic.bits + static_cast<size_t>(y) * pic.stride;
    if (pic.bpp == 8) {
        row[x] = static_cast<uint8_t>(index);
    } else if (x & 1) {
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0xF0) | (index & 0x0F));
    } else {
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0x0F) | ((index & 0x0F) << 4));
    }
}

void PaintMaskedPixels(NImageBuffer& pic, const std::vector<uint8_t>& mask, size_t maskStride, COLORREF background)
{
    const int bytesPerPixel = pic.bpp / 8;
    for (int y = 0; y < pic.height; ++y) {
        uint8_t* row = pic.bits + static_cast<size_t>(y) * pic.stride;
        for (int x = 0; x < pic.width; ++x) {
            if (!Masked(mask, maskStride, x, y))
                continue;
            uint8_t* p = row + static_cast<size_t>(x) * bytesPerPixel;
            p[0] = GetBValue(background);
            p[1] = GetGValue(background);
            p[2] = GetRValue(background);
        }
    }
}

// Palette pictures: the masked pixels take one palette index that no visible pixel uses (the
// first masked pixel's own index when it is free), and that entry becomes the background
// colour and the picture's transparent index. When every index is in use the picture becomes
// 24 bits and the masked pixels are painted.
void ApplyMaskToPalette(NImageBuffer& pic, const std::vector<uint8_t>& mask, size_t maskStride, COLORREF background)
{
    const int entries = 1 << pic.bpp;
    bool visibleUses[256] = {};
    int firstMasked = -1;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const int index = IndexAt(pic, x, y);
            if (!Masked(mask, maskStride, x, y))
                visibleUses[index] = true;
            else if (firstMasked < 0)
                firstMasked = index;
        }
    }
    if (firstMasked < 0)
        return;
    int chosen = visibleUses[firstMasked] ? -1 : firstMasked;
    for (int i = 0; chosen < 0 && i < entries; ++i) {
        if (!visibleUses[i])
            chosen = i;
    }
    if (chosen < 0) {
        if (pic.ConvertToBpp(24, false))
            PaintMaskedPixels(pic, mask, maskStride, background);
        return;
    }

    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            if (Masked(mask, maskStride, x, y))
                SetIndex(pic, x, y, chosen);
        }
    }
    RGBQUAD quads[256];
    for (int i = 0; i < entries; ++i) {
        quads[i].rgbBlue = pic.palette[i][0];
        quads[i].rgbGreen = pic.palette[i][1];
        quads[i].rgbRed = pic.palette[i][2];
        quads[i].rgbReserved = 0;
    }
    quads[chosen].rgbBlue = GetBValue(background);
    quads[chosen].rgbGreen = GetGValue(background);
    quads[chosen].rgbRed = GetRValue(background);
    pic.SetPaletteRGBQuad(quads, entries);
    pic.hasTransparency = 1;
    pic.transparentIndex = static_cast<uint8_t>(chosen);
    pic.transparentColour = static_cast<int32_t>(background);
}

// A PNG entry: its bytes go through a temporary file to the PNG reader.
NRESULT LoadPngEntry(StdioStream& in, const IconEntry& entry, uint64_t fileLength, NImageBuffer& target)
{
    const uint64_t available = fileLength > entry.offset ? fileLength - entry.offset : 0;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(entry.size, available));
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    if (!in.Seek(entry.offset))
        return NR_DECODE_FAILED;
    bytes.resize(in.Read(bytes.data(), size));
    in.Close();

    DlvTempFile temp;
    if (!temp.CreateWith(bytes.data(), bytes.size()))
        return NR_DECODE_FAILED;
    const NRESULT result = LoadEmbeddedPicture(target, temp.Path(), FT_PNG);
    if (result == NR_FORMAT_NOT_SUPPORTED)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    if (result == NR_NOT_THIS_FORMAT || result == NR_NO_WRITER)
        return NR_DECODE_FAILED;
    return result;
}

}  // namespace

bool NImageFileICO::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 7))
        return false;
    const uint8_t* p = bytes + offset;
    if (SignatureU16(p) != 0)
        return false;
    const uint16_t type = SignatureU16(p + 2);
    const uint16_t count = SignatureU16(p + 4);
    return (type == 1 || type == 2) && count >= 1 && count <= 31;
}

PictureExtent NImageFileICO::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    uint16_t reserved = 0;
    uint16_t type = 0;
    uint16_t count = 0;
    if (!in.U16LE(reserved) || !in.U16LE(type) || !in.U16LE(count))
        return PictureExtent::Unknown();
    if (reserved != 0 || (type != 1 && type != 2) || count == 0)
        return PictureExtent::Broken();

    // The directory as ReadDirectory reads it; DataEnd over every entry.
    IconEntry entries[kMaxEntries];
    uint64_t dataEnd = kHeaderBytes + uint64_t{kEntryBytes} * count;
    for (int i = 0; i < count; ++i) {
        uint8_t raw[kEntryBytes];
        if (!in.Read(raw, sizeof(raw)))
            return PictureExtent::Unknown();
        const IconEntry entry = {SignatureU32(raw + 8), SignatureU32(raw + 12)};
        dataEnd = std::max<uint64_t>(dataEnd, uint64_t{entry.offset} + entry.size);
        if (i < kMaxEntries)
            entries[i] = entry;
    }

    // Rate the entries as ChooseEntry does. One whose header lies past the largest picture is
    // in no file Load could read it from; one past what can be read leaves the answer open.
    // Where the data ends for good, no file Load could be given reaches further either.
    const uint64_t reach = source.EndIsFinal() ? source.Size() : kLargestPicture;
    bool usable = false;
    bool unread = false;
    bool inconsistent = false;
    for (int i = 0; i < std::min<int>(count, kMaxEntries); ++i) {
        const uint64_t at = entries[i].offset;
        uint8_t head[kBitmapHeaderBytes];
        if (!in.Seek(at) || !in.Read(head, kPngHeadBytes)) {
            unread = unread || at + kPngHeadBytes <= reach;
            continue;
        }
        if (NImageFilePNG::IsFormat(head, 0, 8)) {
            usable = usable || RatePngHead(head).usable;
            // The rating must not look past the entries' end, or a file cut there rates it otherwise.
            inconsistent = inconsistent || at + kPngHeadBytes > dataEnd;
            continue;
        }
        if (!in.Read(head + kPngHeadBytes, sizeof(head) - kPngHeadBytes)) {
            unread = unread || at + sizeof(head) <= reach;
            continue;
        }
        inconsistent = inconsistent || at + sizeof(head) > dataEnd;
        const uint32_t headerSize = SignatureU32(head);
        const int32_t width = static_cast<int32_t>(SignatureU32(head + 4));
        const int32_t storedHeight = static_cast<int32_t>(SignatureU32(head + 8));
        const int depth = SignatureU16(head + 14);
        if (!BitmapEntryFits(width, storedHeight, depth))
            continue;
        usable = true;
        // Nor may the entry's bitmap and mask reach past it: the end Load reports would then
        // depend on the entry it shows.
        const uint64_t height = static_cast<uint64_t>(storedHeight / 2);
        const uint64_t paletteStart =
            headerSize > kBitmapHeaderBytes && headerSize <= 124 ? headerSize : kBitmapHeaderBytes;
        const uint64_t palette = depth <= 8 ? (uint64_t{4} << depth) : 0;
        const uint64_t stride = static_cast<uint64_t>(NImageBuffer::StrideFor(width, depth));
        const uint64_t maskStride = ((static_cast<uint64_t>(width) + 31) / 32) * 4;
        inconsistent = inconsistent || at + paletteStart + palette + (stride + maskStride) * height > dataEnd;
    }
    if (!usable && !unread)
        return PictureExtent::Broken();
    if (unread || inconsistent || dataEnd > in.Limit())
        return PictureExtent::Unknown();
    return PictureExtent::Complete(dataEnd);
}

NRESULT NImageFileICO::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    fileName = path;
    if (pageCount == 0) {
        StdioStream in;
        if (!in.Open(path, L"rb"))
            return NR_FILE_OPEN_READ;
        IconDirectory dir;
        const NRESULT result = ReadDirectory(in, dir);
        if (result != NR_OK)
            return result;
        in.Close();
        int chosen = 0;
        if (!ChooseEntry(path, &chosen))
            return NR_DECODE_FAILED;
        pageCount = std::min<int>(dir.count, kMaxEntries);
        multiImage = pageCount > 1;
        currentPage = (preview || quick) ? chosen : 0;
    }
    return LoadEntry(target ? target : &picture, path, currentPage);
}

bool NImageFileICO::ChooseEntry(const wchar_t* path, int* chosen)
{
    if (chosen)
        *chosen = 0;
    StdioStream in;
    IconDirectory dir;
    if (!in.Open(path, L"rb") || ReadDirectory(in, dir) != NR_OK)
        return false;
    const int usableEntries = std::min<int>(static_cast<int>(dir.entries.size()), kMaxEntries);
    int best = -1;
    EntryRating bestRating;
    for (int i = 0; i < usableEntries; ++i) {
        const EntryRating rating = RateEntry(in, dir.entries[i]);
        if (!rating.usable)
            continue;
        if (best < 0 || rating.area > bestRating.area ||
            (rating.area == bestRating.area && rating.depth > bestRating.depth)) {
            best = i;
            bestRating = rating;
        }
    }
    if (best < 0)
        return false;
    if (chosen)
        *chosen = best;
    return true;
}

NRESULT NImageFileICO::LoadEntry(NImageBuffer* target, const wchar_t* path, int index)
{
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    IconDirectory dir;
    NRESULT result = ReadDirectory(in, dir);
    if (result != NR_OK)
        return result;
    if (index < 0 || index >= std::min<int>(static_cast<int>(dir.entries.size()), kMaxEntries))
        return NR_INVALID_DATA;
    const IconEntry entry = dir.entries[index];

    uint8_t head[kBitmapHeaderBytes];
    if (!in.Seek(entry.offset) || !in.ReadExact(head, 8))
        return NR_INVALID_DATA;
    if (NImageFilePNG::IsFormat(head, 0, 8)) {
        result = LoadPngEntry(in, entry, dir.fileLength, pic);
        if (result == NR_OK) {
            consumedSize = dir.DataEnd();
            fullWidth = pic.width;
            fullHeight = pic.height;
        }
        return result;
    }

    if (!in.ReadExact(head + 8, kBitmapHeaderBytes - 8))
        return NR_INVALID_DATA;
    const uint32_t headerSize = SignatureU32(head);
    const int32_t width = static_cast<int32_t>(SignatureU32(head + 4));
    const int32_t storedHeight = static_cast<int32_t>(SignatureU32(head + 8));
    const int depth = SignatureU16(head + 14);
    if (!BitmapEntryFits(width, storedHeight, depth))
        return NR_INVALID_DATA;
    const int height = storedHeight / 2;

    // The palette follows the bitmap header (40 bytes, or the larger size the header gives).
    const uint32_t paletteStart = headerSize > kBitmapHeaderBytes && headerSize <= 124 ? headerSize : kBitmapHeaderBytes;
    uint8_t paletteRgb[256 * 3] = {};
    if (!in.Seek(uint64_t{entry.offset} + paletteStart))
        return NR_INVALID_DATA;
    if (depth <= 8) {
        const size_t entries = size_t{1} << depth;
        uint8_t quads[256 * 4] = {};
        in.Read(quads, entries * 4);
        for (size_t i = 0; i < entries; ++i) {
            paletteRgb[i * 3 + 0] = quads[i * 4 + 2];
            paletteRgb[i * 3 + 1] = quads[i * 4 + 1];
            paletteRgb[i * 3 + 2] = quads[i * 4 + 0];
        }
    }

    const COLORREF background = loadOptions.backgroundColour;
    pic.Destroy();
    if (!pic.Create(width, height, depth, background, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    in.Read(pic.bits, static_cast<size_t>(pic.stride) * pic.height);

    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    std::vector<uint8_t> mask(maskStride * height);
    // A mask that is cut short, or that marks every pixel, is not applied.
    const bool wholeMask = in.ReadExact(mask.data(), mask.size());
    bool everyPixel = true;
    for (int y = 0; y < height && everyPixel; ++y) {
        for (int x = 0; x < width && everyPixel; ++x)
            everyPixel = Masked(mask, maskStride, x, y);
    }
    if (wholeMask && !everyPixel) {
        if (depth == 24 || depth == 32)
            PaintMaskedPixels(pic, mask, maskStride, background);
        else if (depth == 4 || depth == 8)
            ApplyMaskToPalette(pic, mask, maskStride, background);
    }

    consumedSize = std::max(in.PositionInFile(), dir.DataEnd());
    fullWidth = width;
    fullHeight = height;
    return NR_OK;
}

NRESULT NImageFileICO::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileICO::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    StdioStream out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    auto fail = [&](NRESULT code) {
        out.Close();
        DeleteFileW(path);
        return code;
    };

    const uint8_t sizeByteX = pic->width < 256 ? static_cast<uint8_t>(pic->width) : 0;
    const uint8_t sizeByteY = pic->height < 256 ? static_cast<uint8_t>(pic->height) : 0;
    bool ok = out.WriteU16(0) && out.WriteU16(1) && out.WriteU16(1);
    ok = ok && out.WriteByte(sizeByteX) && out.WriteByte(sizeByteY) && out.WriteByte(0) && out.WriteByte(0) &&
         out.WriteU16(1) && out.WriteU16(pic->bpp) && out.WriteU32(0) && out.WriteU32(0);
    if (!ok)
        return fail(NR_FILE_ERROR);

    DlvTempFile temp;
    if (!temp.Create() || SaveEmbeddedPicture(*pic, temp.Path(), FT_PNG) != NR_OK)
        return fail(NR_ENCODE_FAILED);
    StdioStream png;
    if (!png.Open(temp.Path(), L"rb"))
        return fail(NR_ENCODE_FAILED);
    uint64_t size = 0;
    uint8_t buffer[65536];
    for (;;) {
        const size_t got = png.Read(buffer, sizeof(buffer));
        if (got == 0)
            break;
        if (!out.Write(buffer, got))
            return fail(NR_FILE_ERROR);
        size += got;
    }
    png.Close();
    temp.Remove();
    if (size == 0 || size > UINT32_MAX)
        return fail(NR_ENCODE_FAILED);

    ok = out.Seek(kHeaderBytes + 8) && out.WriteU32(static_cast<uint32_t>(size)) &&
         out.WriteU32(kHeaderBytes + kEntryBytes);
    ok = out.Close() && ok;
    if (!ok) {
        DeleteFileW(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

FileType NImageFileICO::GetFormatId() const
{
    return FT_ICO;
}

bool NImageFileICO::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileICO::GetPageCount() const
{
    return pageCount;
}

void NImageFileICO::SetPage(int32_t index)
{
    SetPageLimitedToLast(index);
}
