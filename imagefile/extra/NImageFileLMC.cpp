#include "imagefile/extra/NImageFileLMC.h"

#include "docobjects/NObjectDocument.h"
#include "imagefile/ByteCursor.h"
#include "imagefile/SignatureWindow.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kSoftwareText[] = "NImageFileLMC 3.0.0";
constexpr size_t kMinMetadataBytes = 10;   // shorter XMP or EXIF blocks are not used
constexpr float kPreviewSide = 200.0f;
constexpr int kPreviewResizeMode = 9;      // Lanczos3

// A copy of the caller's EXIF data, entries kept as they are (no tags added or dropped by the
// library). False when there is nothing to copy.
bool CopyExif(const NExifHolder& source, NExifHolder& copy)
{
    if (!source.hasExif || !source.data)
        return false;
    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    exif_data_save_data(source.data, &bytes, &length);
    bool copied = false;
    if (bytes && length != 0 && copy.Reset()) {
        exif_data_unset_option(copy.data, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
        exif_data_unset_option(copy.data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        exif_data_load_data(copy.data, bytes, length);
        copied = true;
    }
    std::free(bytes);
    return copied;
}

void DropThumbnail(ExifData* data)
{
    if (data->data) {
        ExifMem* mem = exif_mem_new_default();
        if (mem) {
            exif_mem_free(mem, data->data);
            exif_mem_unref(mem);
        } else {
            std::free(data->data);
        }
        data->data = nullptr;
    }
    data->size = 0;
}

// The EXIF block of a saved document: the caller's data with the resolution, size and
// orientation of this picture and without a thumbnail, or a new block naming the writer.
std::string DocumentExif(const NExifHolder& callers, const NImageBuffer& picture)
{
    NExifHolder exif;
    if (CopyExif(callers, exif)) {
        RemovePictureLayoutTags(exif);
        DropThumbnail(exif.data);
    } else if (!ResetExifForWriter(exif, kSoftwareText)) {
        return std::string();
    }
    SetPictureLayoutTags(exif, picture.dpiX, picture.dpiY, picture.width, picture.height);

    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    exif_data_save_data(exif.data, &bytes, &length);
    std::string block;
    if (bytes)
        block.assign(reinterpret_cast<const char*>(bytes), length);
    std::free(bytes);
    return block;
}

// The picture scaled to fit a 200 x 200 box (enlarged when smaller), proportions kept.
bool MakePreview(const NImageBuffer& picture, NImageBuffer& preview)
{
    if (!preview.Copy(picture))
        return false;
    const float scale = std::min(kPreviewSide / static_cast<float>(picture.width),
                                 kPreviewSide / static_cast<float>(picture.height));
    const int width = std::max(1, static_cast<int>(static_cast<float>(picture.width) * scale));
    const int height = std::max(1, static_cast<int>(static_cast<float>(picture.height) * scale));
    return preview.ResizeImage(width, height, kPreviewResizeMode, false);
}

// ---- The document's structure, as NObjectDocument::Load reads it ----

constexpr uint32_t kCommonPartIds[] = {50, 3936, 7836};   // the record ids writers use
constexpr uint64_t kDeflateRatio = 1040;                  // as the picture-block reader allows
constexpr uint64_t kDeflateSlack = 1024;
constexpr int kMaxRecordsWalked = 65536;

enum class BlockForm { Full, NoPalette, Short };

struct BlockInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;        // as the rows are stored
    bool compressed = false;
    bool sized = false;        // stride x height fits 64 bits
    uint64_t needed = 0;       // stride x height
    uint32_t packed = 0;
    bool pastLargest = false;  // its data would reach past the largest picture
};

// A picture block passed over as the reader reads it: false when it runs past what can be read.
// Raw rows too large for any file also answer false, with `sized` false in the info.
bool SkipPictureBlock(ByteCursor& in, BlockForm form, BlockInfo& b)
{
    b = BlockInfo();
    b.sized = true;
    uint32_t bitsPerPixel = 0;
    uint32_t flag = 0;
    if (!in.U32LE(b.width) || !in.U32LE(b.height) || !in.U32LE(bitsPerPixel))
        return false;
    if (form != BlockForm::Short && !in.Skip(8))
        return false;
    if (form == BlockForm::Full && bitsPerPixel <= 8 && !in.Skip(uint64_t{3} << bitsPerPixel))
        return false;
    if (!in.U32LE(flag))
        return false;
    b.compressed = flag == 1;
    b.depth = bitsPerPixel <= 1 ? 1 : bitsPerPixel <= 4 ? 4 : bitsPerPixel <= 8 ? 8 : bitsPerPixel <= 16 ? 16
              : bitsPerPixel <= 24 ? 24 : 32;
    const uint64_t stride = ((uint64_t{b.width} * b.depth + 31) / 32) * 4;
    b.sized = b.height == 0 || stride <= UINT64_MAX / b.height;
    b.needed = b.sized ? stride * b.height : 0;
    uint64_t data = b.needed;
    if (b.compressed) {
        if (!in.U32LE(b.packed))
            return false;
        data = b.packed;
    } else if (!b.sized) {
        return false;
    }
    if (in.Skip(data))
        return true;
    b.pastLargest = in.PastLargest(data);
    return false;
}

// A u32 size and that many bytes.
bool SkipSized(ByteCursor& in)
{
    uint32_t size = 0;
    return in.U32LE(size) && in.Skip(size);
}

// Count points of two i32.
bool SkipPoints(ByteCursor& in, uint64_t count)
{
    return count <= in.Remaining() / 8 && in.Skip(count * 8);
}

// The payload of an object of that type; false when it runs past what can be read.
bool SkipPayload(ByteCursor& in, uint32_t type)
{
    BlockInfo block;
    uint32_t size = 0;
    switch (type) {
    case DOC_POLYLINE: {
        uint32_t count = 0;
        if (!in.Skip(16) || !in.U32LE(count))
            return false;
        return static_cast<int32_t>(count) <= 0 || SkipPoints(in, count);
    }
    case DOC_IMAGE_TEXT:
        return SkipSized(in) && SkipPictureBlock(in, BlockForm::NoPalette, block);
    case DOC_TEXT: {
        uint32_t length = 0;
        return in.Skip(4) && in.U32LE(length) && in.Skip(2 * uint64_t{length} + 127);
    }
    case DOC_CURVE_IMAGE: {
        uint32_t count = 0;
        return in.Skip(4 + 28) && in.U32LE(count) && SkipPoints(in, count) &&
               SkipPictureBlock(in, BlockForm::Short, block);
    }
    case DOC_PICTURE:
        return in.U32LE(size) && in.Skip(37) && SkipPictureBlock(in, BlockForm::Full, block);
    case DOC_OLD_PICTURE_STYLED:
        return in.U32LE(size) && in.Skip(20) && SkipPictureBlock(in, BlockForm::Full, block);
    case DOC_OLD_PICTURE:
        return SkipPictureBlock(in, BlockForm::Full, block);
    default:
        // Fixed-size payloads and unknown types alike: a size and that many bytes.
        return SkipSized(in);
    }
}

}  // namespace

PictureExtent NImageFileLMC::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    uint8_t signature[18];
    if (!in.Read(signature, sizeof(signature)))
        return PictureExtent::Unknown();
    if (!IsFormat(signature, 0, sizeof(signature)) || SignatureU16(signature + 14) != 0)
        return PictureExtent::Broken();
    // Up to the base picture Load needs every byte in its file; what would lie past the
    // largest picture is in none.
    const uint16_t version = SignatureU16(signature + 12) - '0';
    bool pastLargest = false;
    auto skipSized = [&] {
        uint32_t size = 0;
        if (!in.U32LE(size))
            return false;
        pastLargest = !in.Holds(size) && in.PastLargest(size);
        return in.Skip(size);
    };
    if (version == 3 && (!skipSized() || !skipSized()))   // XMP text, EXIF block
        return pastLargest ? PictureExtent::Broken() : PictureExtent::Unknown();
    if (version >= 2) {
        const int hasPreview = in.Byte();
        if (hasPreview < 0 || (hasPreview != 0 && (!in.Skip(8) || !skipSized())))
            return pastLargest ? PictureExtent::Broken() : PictureExtent::Unknown();
    }

    // The base picture: Load refuses one it cannot make or that cannot inflate to its rows.
    BlockInfo base;
    if (!SkipPictureBlock(in, BlockForm::Full, base))
        return !base.sized || base.pastLargest ? PictureExtent::Broken() : PictureExtent::Unknown();
    if (!base.sized || !NImageBuffer::CreatableSize(base.width, base.height, static_cast<int>(base.depth), base.depth <= 8) ||
        (base.compressed && base.needed > base.packed * kDeflateRatio + kDeflateSlack))
        return PictureExtent::Broken();

    // The object records.
    for (int records = 0; records < kMaxRecordsWalked; ++records) {
        const uint64_t start = in.Position();
        if (in.Remaining() == 0)   // the records end with the bytes there are
            return start == source.Size() ? PictureExtent::Complete(start) : PictureExtent::Unknown();
        uint32_t recordId = 0;
        if (!in.U32LE(recordId))
            return PictureExtent::Unknown();
        if (recordId == 0)
            return PictureExtent::Complete(in.Position());
        if (std::find(std::begin(kCommonPartIds), std::end(kCommonPartIds), recordId) == std::end(kCommonPartIds))
            return PictureExtent::Complete(start);
        uint32_t type = 0;
        if (!in.Holds(recordId) || !in.U32LE(type) || !in.Skip(recordId - 4) || !SkipPayload(in, type))
            return PictureExtent::Unknown();
    }
    return PictureExtent::Unknown();
}

bool NImageFileLMC::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 14))
        return false;
    const uint8_t* p = bytes + offset;
    // Letters fold to upper case by ASCII rules only; the digit must match exactly.
    constexpr char letters[] = "LMCDOC";
    for (size_t i = 0; i + 1 < sizeof(letters); ++i) {
        const uint16_t unit = SignatureU16(p + 2 * i);
        const uint16_t upper =
            (unit >= 'a' && unit <= 'z') ? static_cast<uint16_t>(unit - ('a' - 'A')) : unit;
        if (upper != static_cast<uint16_t>(letters[i]))
            return false;
    }
    const uint16_t version = SignatureU16(p + 12);
    return version >= '1' && version <= '3';
}

FileType NImageFileLMC::GetFormatId() const
{
    return FT_LMC;
}

NRESULT NImageFileLMC::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    SetFileName(path);
    NImageBuffer& into = target ? *target : picture;
    std::string exif;
    NRESULT result;
    if (!preview && !quick && loadOptions.document) {
        result = loadOptions.document->Load(into, path, consumedSize, fullWidth, fullHeight, 0, metadata.xmp, exif);
    } else {
        // The objects are read and checked, but not kept.
        NObjectDocument passing;
        passing.keepLoadedObjects = false;
        result = passing.Load(into, path, consumedSize, fullWidth, fullHeight, preview ? 1 : 0, metadata.xmp, exif);
    }
    if (exif.size() > kMinMetadataBytes)
        metadata.exif.LoadFromBytes(reinterpret_cast<const uint8_t*>(exif.data()), exif.size());
    return result;
}

NRESULT NImageFileLMC::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileLMC::Save(const wchar_t* path, NImageBuffer* givenPicture, ImageMetadata* givenMetadata)
{
    const NImageBuffer& image = givenPicture ? *givenPicture : picture;
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;
    const ImageMetadata& meta = givenMetadata ? *givenMetadata : metadata;
    NObjectDocument* document = saveOptions.document;
    if (!document)
        return NR_ENCODE_FAILED;

    NImageBuffer preview;
    const NImageBuffer* chosen = saveOptions.documentPreview;
    bool havePreview = chosen && chosen->valid ? preview.Copy(*chosen) : MakePreview(image, preview);
    if (!havePreview)
        preview.Destroy();

    const std::string xmp = meta.xmp.size() > kMinMetadataBytes ? meta.xmp : std::string();
    const std::string exif = DocumentExif(meta.exif, image);
    return document->Save(image, path, true, preview.valid ? &preview : nullptr, xmp, exif);
}
