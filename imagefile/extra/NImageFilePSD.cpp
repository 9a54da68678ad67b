#include "imagefile/extra/NImageFilePSD.h"

#include "docobjects/NObjectDocument.h"
#include "imagefile/ByteCursor.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/BigEndianIO.h"
#include "imagefile/extra/FormatStream.h"
#include "imagefile/extra/PackBits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxSavedSide = 30000;
constexpr unsigned kMaxChannels = 16;
// Layers of a document's objects: rendered with this margin around the object (half of it on
// each side), with shadows offset by 3 and blurred by 4. A file holds at most 32767 layers.
constexpr int kLayerMargin = 50;
constexpr int kLayerShadowOffset = 3;
constexpr int kLayerShadowBlur = 4;
constexpr size_t kMaxLayers = 0x7FFF;

uint32_t BigU32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

uint16_t BigU16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

bool IsReadColourMode(unsigned mode)
{
    return mode <= 4 || mode == 7 || mode == 8 || mode == 9;
}

// Skips count bytes of a section, which must lie inside the file.
bool SkipSection(FormatStream& in, uint64_t count)
{
    return count <= in.Remaining() && in.Seek(in.Tell() + count);
}

// One PackBits row as ReadPackBitsRow reads it, without the bytes. False at the cursor's limit
// or once the reading passes `stop`.
bool SkipPackBitsRow(ByteCursor& in, size_t length, uint64_t stop)
{
    size_t filled = 0;
    while (filled < length) {
        if (in.Position() > stop)
            return false;
        const int header = in.Byte();
        if (header < 0)
            return false;
        if (header < 128) {
            if (!in.Skip(static_cast<uint64_t>(header) + 1))
                return false;
            filled += std::min<size_t>(static_cast<size_t>(header) + 1, length - filled);
        } else if (header > 128) {
            if (in.Byte() < 0)
                return false;
            filled += std::min(257 - static_cast<size_t>(header), length - filled);
        }
    }
    return true;
}

// Removes a file whose writing failed.
void RemovePartial(const wchar_t* path)
{
    if (path)
        DeleteFileW(path);
}

}  // namespace

NImageFilePSD::NImageFilePSD() = default;

NImageFilePSD::~NImageFilePSD() = default;

bool NImageFilePSD::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 4))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "8BPS");
}

FileType NImageFilePSD::GetFormatId() const
{
    return FT_PSD;
}

void NImageFilePSD::ClearLayers()
{
    std::vector<std::unique_ptr<NImageBuffer>>().swap(layerPictures);
    std::vector<RECT>().swap(layerRects);
}

// ---- Reading ----

PictureExtent NImageFilePSD::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    uint8_t head[26];
    if (!in.Read(head, sizeof head))
        return PictureExtent::Unknown();
    if (!SignatureIs(head, "8BPS") || BigU16(head + 4) != 1)
        return PictureExtent::Broken();
    const unsigned channels = BigU16(head + 12);
    const uint32_t height = BigU32(head + 14);
    const uint32_t width = BigU32(head + 18);
    const unsigned depth = BigU16(head + 22);
    const unsigned mode = BigU16(head + 24);
    if (channels == 0 || channels > kMaxChannels || !IsReadColourMode(mode))
        return PictureExtent::Broken();
    int pictureBits = 0;
    unsigned planesRead = 0;
    if (depth == 1 && channels == 1) {
        pictureBits = 1;
        planesRead = 1;
    } else if (depth == 8 || depth == 16) {
        pictureBits = channels <= 2 ? 8 : channels == 3 ? 24 : 32;
        planesRead = channels <= 2 ? 1 : channels == 3 ? 3 : 4;
    } else {
        return PictureExtent::Broken();
    }
    if (!NImageBuffer::CreatableSize(width, height, pictureBits, pictureBits <= 8))
        return PictureExtent::Broken();
    const size_t planeRow = pictureBits == 1 ? (static_cast<size_t>(width) + 7) / 8 : width;
    const size_t fileRow = planeRow * (depth == 16 ? 2 : 1);

    // Colour mode data, image resources, layers and masks: each a length and its bytes, which
    // Load needs in the file.
    for (int section = 0; section < 3; ++section) {
        uint32_t length = 0;
        if (!in.U32BE(length))
            return PictureExtent::Unknown();
        if (!in.Skip(length))
            return in.PastLargest(length) ? PictureExtent::Broken() : PictureExtent::Unknown();
    }
    uint16_t compression = 0;
    if (!in.U16BE(compression))
        return PictureExtent::Unknown();
    if (compression > 1)
        return PictureExtent::Broken();
    const uint64_t rows = uint64_t{channels} * height;
    // Load believes the header's size only as far as the first plane can fit into the file (at
    // two bytes for 128 when run-length coded), after the row counts.
    const uint64_t counts = compression == 0 ? 0 : rows * 2;
    const uint64_t firstPlaneBytes =
        uint64_t{height} * (compression == 0 ? fileRow : 2 * ((uint64_t{fileRow} + 127) / 128));
    if (in.PastLargest(counts) || firstPlaneBytes > kLargestPicture - in.Position() - counts)
        return PictureExtent::Broken();
    if (compression == 0) {
        const uint64_t end = in.Position() + rows * fileRow;
        return end <= in.Limit() ? PictureExtent::Complete(end) : PictureExtent::Unknown();
    }

    // Run-length rows: the byte counts of every row of every channel give the composite's end;
    // Load also decodes the rows of the planes it shows, which end there in any real file.
    if (!in.Holds(counts))
        return PictureExtent::Unknown();
    uint64_t sum = 0;
    for (uint64_t i = 0; i < rows; ++i) {
        uint16_t count = 0;
        if (!in.U16BE(count))
            return PictureExtent::Unknown();
        sum += count;
    }
    const uint64_t compositeEnd = in.Position() + sum;
    if (compositeEnd > in.Limit())
        return PictureExtent::Unknown();
    const uint64_t shownRows = uint64_t{planesRead} * height;
    for (uint64_t y = 0; y < shownRows; ++y) {
        if (!SkipPackBitsRow(in, fileRow, compositeEnd) || in.Position() > compositeEnd)
            return PictureExtent::Unknown();
    }
    return PictureExtent::Complete(compositeEnd);
}

NRESULT NImageFilePSD::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;
    FILE* file = in.get();

    uint8_t head[26];
    const size_t got = fread(head, 1, sizeof head, file);
    if (got < 4 || !SignatureIs(head, "8BPS"))
        return NR_NOT_THIS_FORMAT;
    if (got < sizeof head)
        return NR_INVALID_DATA;
    if (BigU16(head + 4) != 1)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    const unsigned channels = BigU16(head + 12);
    const uint32_t height = BigU32(head + 14);
    const uint32_t width = BigU32(head + 18);
    const unsigned depth = BigU16(head + 22);
    const unsigned mode = BigU16(head + 24);
    if (channels == 0 || channels > kMaxChannels || !IsReadColourMode(mode))
        return NR_SUBFEATURE_NOT_SUPPORTED;

    // Layout of the picture read: bit depth, planes read, decoded bytes per plane row.
    int pictureBits = 0;
    unsigned planesRead = 0;
    if (depth == 1 && channels == 1) {
        pictureBits = 1;
        planesRead = 1;
    } else if (depth == 8 || depth == 16) {
        if (channels <= 2) {
            pictureBits = 8;
            planesRead = 1;
        } else if (channels == 3) {
            pictureBits = 24;
            planesRead = 3;
        } else {
            pictureBits = 32;
            planesRead = 4;
        }
    } else {
        return NR_SUBFEATURE_NOT_SUPPORTED;   // other depths and bit-plane layouts are not read
    }
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return NR_PICTURE_CREATE_FAILED;
    const size_t planeRow = pictureBits == 1 ? (static_cast<size_t>(width) + 7) / 8 : width;
    const size_t sampleBytes = depth == 16 ? 2 : 1;
    const size_t fileRow = planeRow * sampleBytes;

    // The palette (red, green, blue triplets) from the colour mode and its data.
    uint8_t paletteRgb[768] = {};
    uint8_t modeLength[4];
    if (!in.ReadExact(modeLength, 4))
        return NR_INVALID_DATA;
    const uint32_t modeDataLength = BigU32(modeLength);
    if (modeDataLength > in.Remaining())
        return NR_INVALID_DATA;
    uint32_t modeDataTaken = 0;
    if (mode == 0) {
        paletteRgb[0] = paletteRgb[1] = paletteRgb[2] = 0xFF;
    } else if (mode == 2) {
        uint8_t thirds[768] = {};
        modeDataTaken = std::min<uint32_t>(modeDataLength, sizeof thirds);
        if (!in.ReadExact(thirds, modeDataTaken))
            return NR_INVALID_DATA;
        for (int i = 0; i < 256; ++i) {
            paletteRgb[i * 3] = thirds[i];
            paletteRgb[i * 3 + 1] = thirds[256 + i];
            paletteRgb[i * 3 + 2] = thirds[512 + i];
        }
    } else {
        // Grey and duotone files, and single channels of the other modes, show as grey.
        for (int i = 0; i < 256; ++i)
            paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i);
    }
    if (!SkipSection(in, modeDataLength - modeDataTaken))
        return NR_INVALID_DATA;
    for (int section = 0; section < 2; ++section) {   // image resources, layers and masks
        uint8_t length[4];
        if (!in.ReadExact(length, 4) || !SkipSection(in, BigU32(length)))
            return NR_INVALID_DATA;
    }
    uint8_t compressionField[2];
    if (!in.ReadExact(compressionField, 2))
        return NR_INVALID_DATA;
    const unsigned compression = BigU16(compressionField);
    if (compression > 1)
        return NR_SUBFEATURE_NOT_SUPPORTED;

    // Where the composite ends: every channel, also those not read.
    uint64_t compositeEnd = 0;
    if (compression == 1) {
        // The byte counts of all rows of all channels come first; their sum gives the end.
        const uint64_t countBytes = uint64_t{channels} * height * 2;
        if (countBytes > in.Remaining())
            return NR_INVALID_DATA;
        uint64_t sum = 0;
        uint8_t block[4096];
        for (uint64_t left = countBytes; left > 0;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(left, sizeof block));
            if (!in.ReadExact(block, n))
                return NR_INVALID_DATA;
            for (size_t i = 0; i < n; i += 2)
                sum += BigU16(block + i);
            left -= n;
        }
        compositeEnd = in.Tell() + sum;
    } else {
        compositeEnd = in.Tell();   // plus the planes, once the picture's size is known to fit
    }
    // The header's size is believed only as far as the file can hold it: the first plane read
    // must fit into the bytes left, at one byte a sample raw or, run-length coded, at two bytes
    // for every 128 bytes of a row (the densest run). A file cut later keeps the rows it has;
    // a header that claims far more rows than the file could hold would only make a huge,
    // empty picture.
    const uint64_t firstPlaneBytes =
        uint64_t{height} * (compression == 0 ? fileRow : 2 * ((uint64_t{fileRow} + 127) / 128));
    if (firstPlaneBytes > in.Remaining())
        return NR_INVALID_DATA;

    NImageBuffer& out = target ? *target : picture;
    if (!out.Create(static_cast<int>(width), static_cast<int>(height), pictureBits, 0,
                    pictureBits <= 8 ? paletteRgb : nullptr))
        return NR_PICTURE_CREATE_FAILED;

    if (compression == 0)
        compositeEnd += uint64_t{channels} * height * fileRow;

    // Plane k of the file goes to byte k of each pixel in red, green, blue, alpha order.
    static const unsigned kPlaneByte[4] = {2, 1, 0, 3};
    const size_t stride = static_cast<size_t>(out.stride);
    std::vector<uint8_t> row((fileRow + 3) & ~size_t{3});
    bool complete = true;
    for (unsigned plane = 0; plane < planesRead && complete; ++plane) {
        for (uint32_t y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            complete = compression == 0 ? fread(row.data(), 1, fileRow, file) == fileRow
                                        : ReadPackBitsRow(file, row.data(), fileRow);
            if (sampleBytes == 2) {
                for (size_t x = 0; x < planeRow; ++x)   // the high byte of each sample
                    row[x] = row[2 * x];
            }
            uint8_t* line = out.bits + static_cast<size_t>(height - 1 - y) * stride;
            if (planesRead == 1) {
                memcpy(line, row.data(), std::min(planeRow, stride));
            } else {
                const unsigned byte = kPlaneByte[plane];
                for (size_t x = 0; x < width; ++x)
                    line[x * planesRead + byte] = row[x];
            }
            if (!complete)
                break;   // the file ends here: what was not read stays as created
        }
    }
    // Channels after those read belong to the file too; a file that ends early ends there.
    consumedSize = complete ? std::max(in.Tell(), std::min(compositeEnd, in.Length())) : in.Length();
    in.Close();

    if (mode == 4 && pictureBits == 32) {
        // Inverted CMYK (255 = no ink) to RGB; the 32-bit picture stays when this fails.
        NImageBuffer rgb;
        if (rgb.Create(out.width, out.height, 24, 0x00FFFFFF, nullptr)) {
            for (int y = 0; y < out.height; ++y) {
                const uint8_t* s = out.bits + static_cast<size_t>(y) * out.stride;
                uint8_t* d = rgb.bits + static_cast<size_t>(y) * rgb.stride;
                for (int x = 0; x < out.width; ++x, s += 4, d += 3) {
                    d[0] = static_cast<uint8_t>(s[0] * s[3] / 255);
                    d[1] = static_cast<uint8_t>(s[1] * s[3] / 255);
                    d[2] = static_cast<uint8_t>(s[2] * s[3] / 255);
                }
            }
            out.Copy(rgb);
        }
    }
    fullWidth = static_cast<int32_t>(width);
    fullHeight = static_cast<int32_t>(height);
    return NR_OK;
}

// ---- Writing ----

NRESULT NImageFilePSD::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

bool NImageFilePSD::WriteLayers(FILE* file)
{
    const size_t count = layerPictures.size();
    if (!file || count == 0 || count > 0x7FFF || layerRects.size() != count)
        return false;
    for (const auto& layer : layerPictures) {
        if (!layer || !layer->valid)
            return false;
    }

    // Records and channel blocks in writing order: the background (last entry) first.
    std::vector<size_t> order;
    order.push_back(count - 1);
    for (size_t i = 0; i + 1 < count; ++i)
        order.push_back(i);

    // Every length is known beforehand.
    auto nameUnits = [](size_t number) {
        char text[32];
        const int n = snprintf(text, sizeof text, "Glim Layer %u", static_cast<unsigned>(number));
        return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
    };
    auto extraLength = [&](size_t number) -> uint64_t {
        const uint64_t units = nameUnits(number).size();
        const uint64_t evenUnits = (units + 1) & ~uint64_t{1};
        return 4 + 4 + 12 + 8 + 4 + (4 + 2 * evenUnits);
    };
    auto channelBytes = [&](size_t i) -> uint64_t {
        return uint64_t{static_cast<uint32_t>(layerPictures[i]->width)} * static_cast<uint32_t>(layerPictures[i]->height);
    };
    uint64_t infoLength = 2;
    for (size_t k = 0; k < count; ++k) {
        const size_t i = order[k];
        infoLength += 16 + 2 + 4 * 6 + 4 + 4 + 4 + 4 + extraLength(count - k);
        infoLength += 4 * (2 + channelBytes(i));
        if (2 + channelBytes(i) > UINT32_MAX)
            return false;
    }
    const bool pad = (infoLength & 1) != 0;   // the layer information is kept to an even length
    infoLength += pad ? 1 : 0;
    const uint64_t sectionLength = 4 + infoLength + 4;
    if (sectionLength > UINT32_MAX)
        return false;

    bool ok = WriteBigEndianU32(file, static_cast<uint32_t>(sectionLength));
    ok = ok && WriteBigEndianU32(file, static_cast<uint32_t>(infoLength));
    ok = ok && WriteBigEndianU16(file, static_cast<uint32_t>(count));

    for (size_t k = 0; k < count && ok; ++k) {
        const size_t i = order[k];
        const size_t number = count - k;
        const RECT& r = layerRects[i];
        ok = WriteBigEndianU32(file, static_cast<uint32_t>(r.top)) &&
             WriteBigEndianU32(file, static_cast<uint32_t>(r.left)) &&
             WriteBigEndianU32(file, static_cast<uint32_t>(r.bottom)) &&
             WriteBigEndianU32(file, static_cast<uint32_t>(r.right)) && WriteBigEndianU16(file, 4);
        const uint32_t dataLength = static_cast<uint32_t>(2 + channelBytes(i));
        for (int id = -1; id <= 2 && ok; ++id)
            ok = WriteBigEndianU16(file, static_cast<uint16_t>(id)) && WriteBigEndianU32(file, dataLength);
        static const uint8_t blend[12] = {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm', 255, 0, 0, 0};
        ok = ok && fwrite(blend, 1, sizeof blend, file) == sizeof blend;
        ok = ok && WriteBigEndianU32(file, static_cast<uint32_t>(extraLength(number)));
        ok = ok && WriteBigEndianU32(file, 0) && WriteBigEndianU32(file, 0);
        static const uint8_t pascalName[12] = {10, 'l', 'a', 'y', 'e', 'r', ' ', 'n', 'a', 'm', 'e', 0};
        ok = ok && fwrite(pascalName, 1, sizeof pascalName, file) == sizeof pascalName;
        const std::string name = nameUnits(number);
        const uint32_t units = static_cast<uint32_t>(name.size());
        const uint32_t evenUnits = (units + 1) & ~1u;
        ok = ok && fwrite("8BIMluni", 1, 8, file) == 8;
        ok = ok && WriteBigEndianU32(file, 4 + 2 * evenUnits) && WriteBigEndianU32(file, units);
        for (uint32_t u = 0; u < evenUnits && ok; ++u)
            ok = WriteBigEndianU16(file, u < units ? static_cast<uint8_t>(name[u]) : 0);
    }

    // Channel blocks: alpha, red, green, blue, each rows of bytes from the top.
    for (size_t k = 0; k < count && ok; ++k) {
        const NImageBuffer& layer = *layerPictures[order[k]];
        const size_t w = static_cast<size_t>(layer.width);
        std::vector<uint8_t> plane(w);
        std::unique_ptr<uint8_t, decltype(&free)> converted(nullptr, &free);
        if (layer.bpp != 32 && layer.bpp != 24) {
            converted.reset(layer.GetBitsAs(24));
            if (!converted)
                return false;
        }
        const size_t pixelBytes = layer.bpp == 32 ? 4 : 3;
        const size_t stride = converted ? static_cast<size_t>(NImageBuffer::StrideFor(layer.width, 24))
                                        : static_cast<size_t>(layer.stride);
        const uint8_t* bits = converted ? converted.get() : layer.bits;
        static const int kChannelByte[4] = {3, 2, 1, 0};
        for (int c = 0; c < 4 && ok; ++c) {
            ok = WriteBigEndianU16(file, 0);
            for (int y = 0; y < layer.height && ok; ++y) {
                const uint8_t* line = bits + static_cast<size_t>(layer.height - 1 - y) * stride;
                for (size_t x = 0; x < w; ++x)
                    plane[x] = (kChannelByte[c] == 3 && pixelBytes == 3) ? 255 : line[x * pixelBytes + kChannelByte[c]];
                ok = fwrite(plane.data(), 1, w, file) == w;
            }
        }
    }
    if (ok && pad)
        ok = fputc(0, file) != EOF;
    return ok && WriteBigEndianU32(file, 0);   // no global layer mask
}

bool NImageFilePSD::RenderDocumentLayers(NObjectDocument& document, const NImageBuffer& image)
{
    for (DocObject* o = document.First(); o; o = o->next) {
        if (o->hidden)
            continue;
        if (layerPictures.size() + 1 >= kMaxLayers)
            break;   // the background needs its place too
        // Layers larger than a PSD file may be are left out, as are objects that draw nothing.
        const int64_t width = std::abs(int64_t{o->rect.right} - o->rect.left) + kLayerMargin;
        const int64_t height = std::abs(int64_t{o->rect.bottom} - o->rect.top) + kLayerMargin;
        if (width > kMaxSavedSide || height > kMaxSavedSide)
            continue;
        auto layer = std::make_unique<NImageBuffer>();
        if (!document.RenderObjectToBitmap(o, *layer, kLayerMargin, kLayerShadowOffset, kLayerShadowBlur, true))
            continue;
        const LONG left = std::min(o->rect.left, o->rect.right) - kLayerMargin / 2;   // inside +-2^30
        const LONG top = std::min(o->rect.top, o->rect.bottom) - kLayerMargin / 2;
        layerRects.push_back(RECT{left, top, left + layer->width, top + layer->height});
        layerPictures.push_back(std::move(layer));
    }
    auto background = std::make_unique<NImageBuffer>();
    if (!background->Copy(image))
        return false;
    if (background->bpp != 32 && (!background->ConvertToBpp(32, false) || !background->SetChannel(4, 255)))
        return false;
    layerRects.push_back(RECT{0, 0, image.width, image.height});
    layerPictures.push_back(std::move(background));
    return true;
}

NRESULT NImageFilePSD::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    const NImageBuffer& image = source ? *source : picture;
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;
    if (image.width > kMaxSavedSide || image.height > kMaxSavedSide)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    // The layer lists describe one save only: a document attached to the save options gives one
    // layer per visible object above a background layer of the picture.
    ClearLayers();
    if (saveOptions.document && !RenderDocumentLayers(*saveOptions.document, image)) {
        ClearLayers();
        return NR_ALLOCATION_FAILED;
    }

    FormatStream out;
    if (!out.OpenWrite(path)) {
        ClearLayers();
        return NR_FILE_OPEN_WRITE;
    }
    FILE* file = out.get();
    const uint32_t width = static_cast<uint32_t>(image.width);
    const uint32_t height = static_cast<uint32_t>(image.height);
    bool ok = fwrite("8BPS", 1, 4, file) == 4 && WriteBigEndianU16(file, 1) && WriteBigEndianU32(file, 0) &&
              WriteBigEndianU16(file, 0) && WriteBigEndianU16(file, 3) && WriteBigEndianU32(file, height) &&
              WriteBigEndianU32(file, width) && WriteBigEndianU16(file, 8) && WriteBigEndianU16(file, 3) &&
              WriteBigEndianU32(file, 0) && WriteBigEndianU32(file, 0);
    if (ok)
        ok = layerPictures.empty() ? WriteBigEndianU32(file, 0) : WriteLayers(file);
    ClearLayers();
    ok = ok && WriteBigEndianU16(file, 0);

    // The composite: the document preview when it has the picture's size, else the picture.
    const NImageBuffer* preview = saveOptions.documentPreview;
    const NImageBuffer& composite =
        (preview && preview->valid && preview->width == image.width && preview->height == image.height) ? *preview
                                                                                                       : image;
    std::unique_ptr<uint8_t, decltype(&free)> converted(nullptr, &free);
    if (composite.bpp != 24) {
        converted.reset(composite.GetBitsAs(24));   // 32 bpp is laid over white
        if (!converted)
            ok = false;
    }
    const uint8_t* bits = converted ? converted.get() : composite.bits;
    const size_t stride = converted ? static_cast<size_t>(NImageBuffer::StrideFor(composite.width, 24))
                                    : static_cast<size_t>(composite.stride);
    std::vector<uint8_t> plane(width);
    for (int c = 0; c < 3 && ok; ++c) {
        const size_t byte = 2 - static_cast<size_t>(c);   // red, green, blue of B,G,R
        for (uint32_t y = 0; y < height && ok; ++y) {
            const uint8_t* line = bits + static_cast<size_t>(height - 1 - y) * stride;
            for (size_t x = 0; x < width; ++x)
                plane[x] = line[x * 3 + byte];
            ok = fwrite(plane.data(), 1, width, file) == width;
        }
    }
    if (!out.Close() || !ok) {
        RemovePartial(path);
        return NR_FILE_OPEN_WRITE;
    }
    return NR_OK;
}
