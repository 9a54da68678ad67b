#include "imagefile/formats/JpegMetadata.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>
#include <libiptcdata/iptc-jpeg.h>

#include "base/ScopedFile.h"
#include "base/SystemOwners.h"
#include "base/Utf8.h"

namespace {

// An ICC profile chunk: "ICC_PROFILE", a zero byte, the sequence number and the chunk count.
constexpr char kIccSignature[] = "ICC_PROFILE";
constexpr unsigned kIccHeaderLength = 14;
constexpr int kMaxIccMarkers = 255;

constexpr unsigned kXmpMinMarker = 50;
constexpr unsigned kXmpMaxMarker = 63999;
constexpr int kMaxCommentCharacters = 1999;
constexpr int kMaxExifTextCharacters = 199;
constexpr size_t kPhotoshopBlockSize = 65536;
constexpr char kSoftwareText[] = "NImageFileJPG 1.0.2";

ExifEntry* FindExifEntry(ExifData* data, int ifd, ExifTag tag)
{
    if (!data || ifd < 0 || ifd >= EXIF_IFD_COUNT || !data->ifd[ifd])
        return nullptr;
    return exif_content_get_entry(data->ifd[ifd], tag);
}

// The tag's value as libexif formats it, as UTF-16; empty when the tag is absent.
NString ExifText(ExifData* data, int ifd, ExifTag tag)
{
    ExifEntry* entry = FindExifEntry(data, ifd, tag);
    if (!entry)
        return NString(L"");
    char value[1024] = {};
    exif_entry_get_value(entry, value, sizeof(value));
    value[sizeof(value) - 1] = '\0';
    return NStringFromAnsi(value, std::strlen(value), kMaxExifTextCharacters);
}

// The file's last-write time in local time, "year/month/day hour:minute". False when the file
// cannot be opened for the query.
bool FileDateText(const wchar_t* path, NString& text)
{
    const KernelHandleOwner file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    FILETIME written = {};
    const BOOL gotTime = GetFileTime(file.Get(), nullptr, nullptr, &written);
    FILETIME local = {};
    SYSTEMTIME time = {};
    if (!gotTime || !FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &time)) {
        text = L"Err: FormatFileDateToString()";
        return true;
    }
    text.Format(L"%.2d/%.2d/%.2d %2.2d:%2.2d", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
    return true;
}

bool IsIccMarker(const jpeg_saved_marker_ptr marker)
{
    return marker->marker == JPEG_APP0 + 2 && marker->data && marker->data_length >= kIccHeaderLength &&
           std::memcmp(marker->data, kIccSignature, sizeof(kIccSignature)) == 0;
}

}  // namespace

// ---- EXIF ----

bool ExifHasContent(const ExifData* data)
{
    if (!data)
        return false;
    if (data->data || data->size)
        return true;
    for (int i = 0; i < EXIF_IFD_COUNT; ++i) {
        if (data->ifd[i] && data->ifd[i]->count)
            return true;
    }
    return false;
}

ExifData* ReadJpegExif(const wchar_t* path)
{
    ScopedFile file(path, L"rb");
    if (!file)
        return nullptr;
    ExifLoader* loader = exif_loader_new();
    if (!loader)
        return nullptr;
    unsigned char buffer[1024];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof(buffer), file.Get());
        if (got == 0)
            break;
        if (!exif_loader_write(loader, buffer, static_cast<unsigned int>(got)))
            break;
    }
    file.Close();
    ExifData* data = exif_loader_get_data(loader);
    exif_loader_unref(loader);
    return data;
}

int JpegExifOrientation(ExifData* data)
{
    const ExifEntry* entry = FindExifEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data || entry->size < 2)
        return 1;
    return exif_get_short(entry->data, exif_data_get_byte_order(data));
}

void ReadPreviewExifTexts(ImageMetadata& metadata, const wchar_t* path)
{
    ExifData* data = metadata.exif.data;
    double x = 0.0;
    double y = 0.0;
    metadata.exif.GetTagDouble(x, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
    metadata.exif.GetTagDouble(y, EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
    // Cut to whole dots per inch; 1 or less (also absent or nonsense values) means 96.
    const int resolutionX = (x >= 2.0 && x < static_cast<double>(INT_MAX)) ? static_cast<int>(x) : 96;
    const int resolutionY = (y >= 2.0 && y < static_cast<double>(INT_MAX)) ? static_cast<int>(y) : 96;
    metadata.resolutionX = resolutionX;
    metadata.resolutionY = resolutionY;

    metadata.make = ExifText(data, EXIF_IFD_0, EXIF_TAG_MAKE);
    metadata.model = ExifText(data, EXIF_IFD_0, EXIF_TAG_MODEL);
    if (metadata.make.IsEmpty() && metadata.model.IsEmpty())
        metadata.make = ExifText(data, EXIF_IFD_0, EXIF_TAG_SOFTWARE);

    if (FindExifEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL))
        metadata.date = ExifText(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
    else if (FindExifEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED))
        metadata.date = ExifText(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED);
    else
        metadata.date = ExifText(data, EXIF_IFD_0, EXIF_TAG_DATE_TIME);
    if (metadata.date.IsEmpty() || metadata.date.Compare(L"0000:00:00 00:00:00") == 0) {
        NString fileDate;
        if (FileDateText(path, fileDate))
            metadata.date = fileDate;
    }
}

// ---- Markers kept by the decoder ----

void ReadJpegComments(jpeg_decompress_struct& cinfo, ImageMetadata& metadata)
{
    metadata.comment = L"";
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_COM || !marker->data || marker->data_length == 0)
            continue;
        NString text = NStringFromAnsi(reinterpret_cast<const char*>(marker->data), marker->data_length,
                                       kMaxCommentCharacters);
        metadata.comment += text;
    }
}

void ReadJpegXmp(jpeg_decompress_struct& cinfo, ImageMetadata& metadata)
{
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || !marker->data)
            continue;
        const unsigned length = marker->data_length;
        if (length < kXmpMinMarker || length > kXmpMaxMarker)
            continue;
        if (std::memcmp(marker->data, kXmpSignature, kXmpSignatureLength) != 0)
            continue;
        const char* packet = reinterpret_cast<const char*>(marker->data + kXmpSignatureLength);
        const size_t available = length - kXmpSignatureLength;
        const void* zero = std::memchr(packet, 0, available);
        const size_t packetLength = zero ? static_cast<size_t>(static_cast<const char*>(zero) - packet) : available;
        metadata.xmp.assign(packet, packetLength);
    }
}

uint8_t* ReadJpegIccProfile(jpeg_decompress_struct& cinfo, size_t& profileLength)
{
    profileLength = 0;
    int count = 0;
    jpeg_saved_marker_ptr chunks[kMaxIccMarkers + 1] = {};
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (!IsIccMarker(marker))
            continue;
        const int chunkCount = GETJOCTET(marker->data[13]);
        const int sequence = GETJOCTET(marker->data[12]);
        if (count == 0)
            count = chunkCount;
        else if (chunkCount != count)
            return nullptr;
        if (sequence == 0 || sequence > count || chunks[sequence])
            return nullptr;
        chunks[sequence] = marker;
    }
    if (count == 0)
        return nullptr;
    size_t total = 0;
    for (int i = 1; i <= count; ++i) {
        if (!chunks[i])
            return nullptr;
        total += chunks[i]->data_length - kIccHeaderLength;
    }
    if (total == 0)
        return nullptr;
    auto* profile = static_cast<uint8_t*>(std::malloc(total));
    if (!profile)
        return nullptr;
    size_t at = 0;
    for (int i = 1; i <= count; ++i) {
        const size_t part = chunks[i]->data_length - kIccHeaderLength;
        std::memcpy(profile + at, chunks[i]->data + kIccHeaderLength, part);
        at += part;
    }
    profileLength = total;
    return profile;
}

cmsHTRANSFORM CreateJpegProfileTransform(cmsContext context, const uint8_t* profile, size_t length,
                                         J_COLOR_SPACE outputSpace)
{
    if (length > UINT_MAX || !context)
        return nullptr;
    cmsHPROFILE input = cmsOpenProfileFromMemTHR(context, profile, static_cast<cmsUInt32Number>(length));
    if (!input)
        return nullptr;
    cmsUInt32Number inputFormat = 0;
    const cmsColorSpaceSignature space = cmsGetColorSpace(input);
    if (outputSpace == JCS_CMYK && space == cmsSigCmykData)
        inputFormat = TYPE_CMYK_8_REV;
    else if (outputSpace == JCS_EXT_BGR && space == cmsSigRgbData)
        inputFormat = TYPE_BGR_8;
    cmsHTRANSFORM transform = nullptr;
    if (inputFormat) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
        if (srgb) {
            transform = cmsCreateTransformTHR(context, input, inputFormat, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
            cmsCloseProfile(srgb);
        }
    }
    cmsCloseProfile(input);
    return transform;
}

// ---- Saving ----

void UpdateExifForSave(NExifHolder& exif, const NImageBuffer& picture)
{
    if (exif.hasExif && exif.data) {
        RemovePictureLayoutTags(exif);
        if (exif.data->data) {
            ExifMem* mem = exif_mem_new_default();
            if (mem) {
                exif_mem_free(mem, exif.data->data);
                exif_mem_unref(mem);
            } else {
                std::free(exif.data->data);
            }
            exif.data->data = nullptr;
        }
        exif.data->size = 0;
    } else {
        ResetExifForWriter(exif, kSoftwareText);
    }
    SetPictureLayoutTags(exif, picture.dpiX, picture.dpiY, picture.width, picture.height);
}

bool MakePhotoshopIptcBlock(NIptcHolder& iptc, std::vector<uint8_t>& block)
{
    block.clear();
    if (!iptc.hasIptc || !iptc.data)
        return true;
    iptc_data_sort(iptc.data);
    unsigned char* iptcBytes = nullptr;
    unsigned int iptcLength = 0;
    if (iptc_data_save(iptc.data, &iptcBytes, &iptcLength) != 0 || !iptcBytes)
        return true;
    block.resize(kPhotoshopBlockSize);
    const int length = iptc_jpeg_ps3_save_iptc(nullptr, 0, iptcBytes, iptcLength, block.data(),
                                               static_cast<unsigned int>(block.size()));
    iptc_data_free_buf(iptc.data, iptcBytes);
    if (length < 0) {
        block.clear();
        return false;
    }
    block.resize(static_cast<size_t>(length));
    return true;
}
