#include "imagefile/extra/NImageFileLMC.h"

#include "docobjects/NObjectDocument.h"
#include "imagefile/SignatureWindow.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kMakerText[] = "Verolib https://verolib.example";
constexpr char kSoftwareText[] = "NImageFileLMC 3.0.0";
constexpr size_t kMinMetadataBytes = 10;   // shorter XMP or EXIF blocks are not used
constexpr float kPreviewSide = 200.0f;
constexpr int kPreviewResizeMode = 9;      // Lanczos3

std::string ExifDateTimeNow()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d %2.2d:%2.2d:%2.2d", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

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
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_ORIENTATION);
        DropThumbnail(exif.data);
    } else if (exif.Reset()) {
        exif.SetTagText(kMakerText, EXIF_IFD_0, EXIF_TAG_MAKE);
        exif.SetTagText(kSoftwareText, EXIF_IFD_0, EXIF_TAG_SOFTWARE);
        exif.SetTagText(ExifDateTimeNow().c_str(), EXIF_IFD_0, EXIF_TAG_DATE_TIME);
    } else {
        return std::string();
    }
    exif.SetTagDouble(picture.dpiX, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
    exif.SetTagDouble(picture.dpiY, EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
    exif.SetTagInt(2, EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
    exif.SetTagInt(picture.width, EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH);
    exif.SetTagInt(picture.height, EXIF_IFD_0, EXIF_TAG_IMAGE_LENGTH);
    exif.SetTagInt(1, EXIF_IFD_0, EXIF_TAG_ORIENTATION);

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

}  // namespace

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
