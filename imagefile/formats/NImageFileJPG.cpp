#include "imagefile/formats/NImageFileJPG.h"

#include "imagefile/ByteSource.h"

#include <windows.h>

#include <io.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The Windows headers define `boolean` as a byte; libjpeg was built with its own `int` boolean.
#define boolean jpeg_boolean
#include <jpeglib.h>
#undef boolean

#include <lcms2.h>
#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>
#include <libiptcdata/iptc-data.h>
#include <libiptcdata/iptc-jpeg.h>

#include "base/Log.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"

namespace {

constexpr size_t kEmbeddedSearchBytes = 102400;
constexpr uint64_t kSignatureWindow = 10;

// The XMP namespace that begins an XMP APP1 segment, with its terminating zero: 29 bytes.
constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kXmpSignatureLength = sizeof(kXmpSignature);
static_assert(kXmpSignatureLength == 29, "28 characters and a zero byte");
constexpr unsigned kXmpMinMarker = 50;
constexpr unsigned kXmpMaxMarker = 63999;

// An ICC profile chunk: "ICC_PROFILE", a zero byte, the sequence number and the chunk count.
constexpr char kIccSignature[] = "ICC_PROFILE";
constexpr unsigned kIccHeaderLength = 14;
constexpr int kMaxIccMarkers = 255;

constexpr unsigned kMaxSavedMarker = 0xFFFF;
constexpr size_t kMaxSegmentData = 65533;   // a JPEG segment's length field counts itself
constexpr size_t kMaxCommentBytes = 254;
constexpr int kMaxCommentCharacters = 1999;
constexpr int kMaxSavedCommentCharacters = 1023;
constexpr int kMaxExifTextCharacters = 199;
constexpr size_t kPhotoshopBlockSize = 65536;
constexpr char kMakerText[] = "Verolib https://verolib.example";
constexpr char kSoftwareText[] = "NImageFileJPG 1.0.2";

// The standard error manager with a jump target behind it. __builtin_setjmp/__builtin_longjmp
// only restore the stack and frame pointers, so the return from libjpeg never walks the
// unwinding tables of libjpeg's frames.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    void* jump[5];
    NImageFileJPG* owner;
    char message[JMSG_LENGTH_MAX];
};

void SetUpErrorManager(JpegErrorManager& manager, NImageFileJPG* owner)
{
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = NImageFileJPG::ErrorExit;
    manager.owner = owner;
    manager.message[0] = '\0';
}

bool IsNotJpegMessage(const JpegErrorManager& manager)
{
    return std::strstr(manager.message, "Not a JPEG file") != nullptr;
}

// Converts ANSI bytes to UTF-16, keeping at most maxCharacters characters.
NString FromAnsi(const char* bytes, int length, int maxCharacters)
{
    NString result(L"");
    if (!bytes || length <= 0)
        return result;
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    if (needed <= 0)
        return result;
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, length, wide.data(), needed);
    if (wide.size() > static_cast<size_t>(maxCharacters))
        wide.resize(static_cast<size_t>(maxCharacters));
    result.Assign(wide.c_str());   // a zero inside the bytes ends the text
    return result;
}

std::string ToAnsi(const wchar_t* text)
{
    std::string result;
    if (!text || !*text)
        return result;
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1)
        return result;
    result.resize(static_cast<size_t>(needed));
    WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), needed, nullptr, nullptr);
    result.resize(static_cast<size_t>(needed) - 1);
    return result;
}

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

// libexif's loader fed from a file opened by its wide name, so that EXIF is found whatever
// characters the path holds. Null when the file does not open or holds no EXIF block.
ExifData* ReadExifFromFile(const wchar_t* path)
{
    FILE* file = _wfopen(path, L"rb");
    if (!file)
        return nullptr;
    ExifLoader* loader = exif_loader_new();
    if (!loader) {
        std::fclose(file);
        return nullptr;
    }
    unsigned char buffer[1024];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof(buffer), file);
        if (got == 0)
            break;
        if (!exif_loader_write(loader, buffer, static_cast<unsigned int>(got)))
            break;
    }
    std::fclose(file);
    ExifData* data = exif_loader_get_data(loader);
    exif_loader_unref(loader);
    return data;
}

ExifEntry* FindExifEntry(ExifData* data, int ifd, ExifTag tag)
{
    if (!data || ifd < 0 || ifd >= EXIF_IFD_COUNT || !data->ifd[ifd])
        return nullptr;
    return exif_content_get_entry(data->ifd[ifd], tag);
}

// Orientation 1 to 8 from tag 274 of the main directory; 1 when it is absent or not a SHORT.
int ExifOrientation(ExifData* data)
{
    const ExifEntry* entry = FindExifEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data || entry->size < 2)
        return 1;
    return exif_get_short(entry->data, exif_data_get_byte_order(data));
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
    return FromAnsi(value, static_cast<int>(std::strlen(value)), kMaxExifTextCharacters);
}

// The file's last-write time in local time, "year/month/day hour:minute". False when the file
// cannot be opened for the query.
bool FileDateText(const wchar_t* path, NString& text)
{
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FILETIME written = {};
    const BOOL gotTime = GetFileTime(handle, nullptr, nullptr, &written);
    CloseHandle(handle);
    FILETIME local = {};
    SYSTEMTIME time = {};
    if (!gotTime || !FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &time)) {
        text = L"Err: FormatFileDateToString()";
        return true;
    }
    text.Format(L"%.2d/%.2d/%.2d %2.2d:%2.2d", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
    return true;
}

// The descriptive texts that a preview load takes from EXIF.
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

void ReadComments(jpeg_decompress_struct& cinfo, ImageMetadata& metadata)
{
    metadata.comment = L"";
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_COM || !marker->data || marker->data_length == 0)
            continue;
        NString text = FromAnsi(reinterpret_cast<const char*>(marker->data), static_cast<int>(marker->data_length),
                                kMaxCommentCharacters);
        metadata.comment += text;
    }
}

void ReadXmp(jpeg_decompress_struct& cinfo, ImageMetadata& metadata)
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

bool IsIccMarker(const jpeg_saved_marker_ptr marker)
{
    return marker->marker == JPEG_APP0 + 2 && marker->data && marker->data_length >= kIccHeaderLength &&
           std::memcmp(marker->data, kIccSignature, sizeof(kIccSignature)) == 0;
}

// Joins the profile chunks of the APP2 markers in sequence order. Null (nothing allocated) when
// the chunks disagree on their count, a number is 0, too large or repeated, one is missing, or
// they hold no bytes. The caller frees the block with free().
uint8_t* ReadIccProfile(jpeg_decompress_struct& cinfo, size_t& profileLength)
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

// A transform from the profile's space to sRGB for the decoder's output; null when the profile
// does not open or does not describe that output.
cmsHTRANSFORM CreateProfileTransform(const uint8_t* profile, size_t length, J_COLOR_SPACE outputSpace)
{
    if (length > UINT_MAX)
        return nullptr;
    cmsHPROFILE input = cmsOpenProfileFromMem(profile, static_cast<cmsUInt32Number>(length));
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
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        if (srgb) {
            transform = cmsCreateTransform(input, inputFormat, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
            cmsCloseProfile(srgb);
        }
    }
    cmsCloseProfile(input);
    return transform;
}

// ---- Decoding ----

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    FILE* file;
    bool closeFile;
    cmsHTRANSFORM transform;
    uint8_t* profile;
};

// Everything a decode may hold; safe to run more than once.
void ReleaseDecode(DecodeJob& job)
{
    jpeg_destroy_decompress(&job.cinfo);
    if (job.transform) {
        cmsDeleteTransform(job.transform);
        job.transform = nullptr;
    }
    std::free(job.profile);
    job.profile = nullptr;
    if (job.closeFile && job.file) {
        std::fclose(job.file);
        job.file = nullptr;
    }
}

struct DecodeRequest {
    NImageFileJPG* owner;
    NImageBuffer* target;
    bool preview;
    bool fullLoad;             // Load: markers, metadata, profile; else a bare stream decode
    bool shrinkLarge;
    bool verifyOnly;           // decode at 1/8 and skip the colour profile: only success counts
    const wchar_t* path;       // Load only
    bool exifPresent;          // Load only
};

struct DecodeOutcome {
    NRESULT result = NR_OK;
    bool libjpegError = false;
    int orientation = 1;
    uint64_t consumed = 0;
};

int PreviewDenominator(JDIMENSION width, JDIMENSION height, JDIMENSION limit)
{
    const JDIMENSION larger = width > height ? width : height;
    if (larger > 4 * limit)
        return 8;
    if (larger > 2 * limit)
        return 4;
    if (larger > limit)
        return 2;
    return 1;
}

int ShrinkDenominator(JDIMENSION width, JDIMENSION height)
{
    if (width >= 8008 && height >= 8008)
        return 8;
    if (width >= 4004 && height >= 4004)
        return 4;
    if (width >= 2002 && height >= 2002)
        return 2;
    return 1;
}

uint8_t* PictureRowFromTop(NImageBuffer& picture, JDIMENSION row)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - static_cast<int>(row)) * picture.stride;
}

void CopyDecodedRow(JSAMPROW samples, uint8_t* destination, JDIMENSION width, int components,
                    cmsHTRANSFORM transform)
{
    if (components == 4) {
        if (transform) {
            cmsDoTransform(transform, samples, samples, width);
            std::memcpy(destination, samples, static_cast<size_t>(width) * 3);
            return;
        }
        // Adobe-style CMYK is stored inverted: the samples are 255 - C, 255 - M, 255 - Y, 255 - K.
        const JSAMPLE* in = samples;
        uint8_t* out = destination;
        for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
            const unsigned k = in[3];
            out[0] = static_cast<uint8_t>(in[2] * k / 255);
            out[1] = static_cast<uint8_t>(in[1] * k / 255);
            out[2] = static_cast<uint8_t>(in[0] * k / 255);
        }
    } else if (components == 3) {
        if (transform)
            cmsDoTransform(transform, samples, samples, width);
        std::memcpy(destination, samples, static_cast<size_t>(width) * 3);
    } else {
        std::memcpy(destination, samples, width);
    }
}

constexpr uint64_t kHuffmanPixelsPerByte = 512;
constexpr uint64_t kArithmeticPixelsPerByte = 512 * 64;

// The length of the open file (0 when it cannot be told); the position is kept.
uint64_t StreamLength(FILE* file)
{
    const int64_t length = file ? _filelengthi64(_fileno(file)) : -1;
    return length > 0 ? static_cast<uint64_t>(length) : 0;
}

// The decode between opening and closing the file. libjpeg errors come back to the jump
// target below; no object with a destructor may live in this frame or in a frame that calls
// libjpeg below it, since the jump skips them.
void RunDecode(DecodeJob& job, const DecodeRequest& request, DecodeOutcome& outcome)
{
    jpeg_decompress_struct& cinfo = job.cinfo;
    SetUpErrorManager(job.error, request.owner);
    cinfo.err = &job.error.pub;
    if (__builtin_setjmp(job.error.jump)) {
        ReleaseDecode(job);
        outcome.libjpegError = true;
        outcome.result = IsNotJpegMessage(job.error) ? NR_NOT_THIS_FORMAT : NR_DECODE_FAILED;
        return;
    }

    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, job.file);
    if (request.fullLoad) {
        jpeg_save_markers(&cinfo, JPEG_COM, kMaxSavedMarker);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 1, kMaxSavedMarker);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 2, kMaxSavedMarker);
    }
    jpeg_read_header(&cinfo, TRUE);
    // The header's size is believed as far as the file's data can code it (at least one bit a
    // block with Huffman coding: 512 pixels a byte; arithmetic coding 64 times that), before the
    // decoder or the picture takes memory for it.
    if (!DataBound::Fits(cinfo.image_width, cinfo.image_height, 8, StreamLength(job.file),
                         cinfo.arith_code ? kArithmeticPixelsPerByte : kHuffmanPixelsPerByte)) {
        ReleaseDecode(job);
        outcome.result = NR_INVALID_DATA;
        return;
    }

    cinfo.scale_num = 1;
    if (request.verifyOnly) {
        // Every coefficient is still entropy-decoded, so what would fail still fails.
        cinfo.scale_denom = 8;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.do_block_smoothing = FALSE;
    } else if (request.fullLoad) {
        if (request.preview)
            cinfo.scale_denom = PreviewDenominator(cinfo.image_width, cinfo.image_height, 500);
        else if (request.shrinkLarge)
            cinfo.scale_denom = ShrinkDenominator(cinfo.image_width, cinfo.image_height);
        else
            cinfo.scale_denom = 1;
        cinfo.buffered_image = FALSE;
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_fancy_upsampling = TRUE;
        cinfo.do_block_smoothing = TRUE;
    } else if (request.preview) {
        cinfo.scale_denom = PreviewDenominator(cinfo.image_width, cinfo.image_height, 400);
        cinfo.dct_method = JDCT_IFAST;
    }
    if (cinfo.out_color_space == JCS_RGB)
        cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);

    // Only grey, three-component and CMYK output fit a picture; others would overrun the rows.
    const int components = cinfo.output_components;
    if (components != 1 && components != 3 && components != 4) {
        ReleaseDecode(job);
        outcome.result = NR_DECODE_FAILED;
        return;
    }
    const int depth = components == 1 ? 8 : 24;
    uint8_t greyPalette[256 * 3];
    for (int i = 0; i < 256; ++i)
        greyPalette[3 * i] = greyPalette[3 * i + 1] = greyPalette[3 * i + 2] = static_cast<uint8_t>(i);
    NImageBuffer& target = *request.target;
    if (cinfo.output_width > INT_MAX || cinfo.output_height > INT_MAX ||
        !target.Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), depth, 0,
                       depth == 8 ? greyPalette : nullptr)) {
        ReleaseDecode(job);
        outcome.result = NR_PICTURE_CREATE_FAILED;
        return;
    }
    const JDIMENSION rowWidth =
        components == 4 ? cinfo.output_width * 4 : static_cast<JDIMENSION>(target.stride);
    if (cinfo.X_density > 1)
        target.dpiX = cinfo.X_density;
    if (cinfo.Y_density > 1)
        target.dpiY = cinfo.Y_density;

    if (request.fullLoad && !request.verifyOnly) {
        ImageMetadata& metadata = request.owner->metadata;
        ReadComments(cinfo, metadata);
        if (request.exifPresent) {
            outcome.orientation = ExifOrientation(metadata.exif.data);
            if (request.preview)
                ReadPreviewExifTexts(metadata, request.path);
        }
        ReadXmp(cinfo, metadata);
        size_t profileLength = 0;
        job.profile = ReadIccProfile(cinfo, profileLength);
        if (job.profile) {
            if (cinfo.out_color_space == JCS_CMYK || cinfo.out_color_space == JCS_EXT_BGR)
                job.transform = CreateProfileTransform(job.profile, profileLength, cinfo.out_color_space);
            std::free(job.profile);
            job.profile = nullptr;
        }
    }

    JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, rowWidth, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION row = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) {
            ReleaseDecode(job);
            outcome.result = NR_DECODE_FAILED;
            return;
        }
        CopyDecodedRow(rows[0], PictureRowFromTop(target, row), cinfo.output_width, components, job.transform);
    }
    if (request.owner) {
        request.owner->fullWidth = static_cast<int32_t>(cinfo.image_width);
        request.owner->fullHeight = static_cast<int32_t>(cinfo.image_height);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    const int64_t position = _ftelli64(job.file);
    outcome.consumed = position > 0 ? static_cast<uint64_t>(position) : 0;
    ReleaseDecode(job);
    outcome.result = NR_OK;
}

// ---- Encoding ----

struct EncodeJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    FILE* file;
    uint8_t* row;              // a row block of the picture, freed after it is written
};

void ReleaseEncode(EncodeJob& job)
{
    jpeg_destroy_compress(&job.cinfo);
    std::free(job.row);
    job.row = nullptr;
}

struct EncodeRequest {
    const NImageBuffer* picture;
    int quality;
    bool optimize;
    float smoothing;
    bool progressive;
    const std::string* comment;        // ANSI bytes, written when not empty
    const std::vector<uint8_t>* xmp;   // the whole segment, written when not empty
    const uint8_t* exif;
    size_t exifLength;
    const uint8_t* photoshop;
    size_t photoshopLength;
};

// True for an 8-bit picture whose 256 palette entries are all grey.
bool HasGreyPalette(const NImageBuffer& picture)
{
    if (picture.bpp != 8)
        return false;
    for (int i = 0; i < 256; ++i) {
        if (picture.palette[i][0] != picture.palette[i][1] || picture.palette[i][1] != picture.palette[i][2])
            return false;
    }
    return true;
}

// Returns false after a libjpeg error (the job is then released).
bool RunEncode(EncodeJob& job, const EncodeRequest& request, NImageFileJPG* owner)
{
    jpeg_compress_struct& cinfo = job.cinfo;
    SetUpErrorManager(job.error, owner);
    cinfo.err = &job.error.pub;
    if (__builtin_setjmp(job.error.jump)) {
        ReleaseEncode(job);
        return false;
    }

    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, job.file);

    const NImageBuffer& picture = *request.picture;
    const bool grey = HasGreyPalette(picture);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = grey ? 1 : 3;
    // Rows are handed over blue-first; libjpeg stores them as standard red-first colour.
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, request.quality, TRUE);
    cinfo.smoothing_factor = static_cast<int>(request.smoothing * 100.0f);
    cinfo.optimize_coding = request.optimize ? TRUE : FALSE;
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(picture.dpiX);
    cinfo.Y_density = static_cast<UINT16>(picture.dpiY);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
    for (int c = 1; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (request.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);

    if (!request.comment->empty())
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(request.comment->data()),
                          static_cast<unsigned>(request.comment->size()));
    if (request.exif && request.exifLength)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, request.exif, static_cast<unsigned>(request.exifLength));
    if (!request.xmp->empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, request.xmp->data(), static_cast<unsigned>(request.xmp->size()));
    if (request.photoshop && request.photoshopLength)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 13, request.photoshop, static_cast<unsigned>(request.photoshopLength));

    JSAMPARRAY greyRow = nullptr;
    if (grey)
        greyRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             cinfo.image_width, 1);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int scanLine = picture.height - 1 - static_cast<int>(cinfo.next_scanline);
        JSAMPROW samples = nullptr;
        if (grey) {
            // The palette says which grey each index stands for.
            const uint8_t* indexes = picture.bits + static_cast<size_t>(scanLine) * picture.stride;
            for (JDIMENSION x = 0; x < cinfo.image_width; ++x)
                greyRow[0][x] = picture.palette[indexes[x]][0];
            samples = greyRow[0];
        } else {
            job.row = picture.GetRowAs(24, scanLine);
            if (!job.row) {
                ReleaseEncode(job);
                return false;
            }
            samples = job.row;
        }
        jpeg_write_scanlines(&cinfo, &samples, 1);
        std::free(job.row);
        job.row = nullptr;
    }
    jpeg_finish_compress(&cinfo);
    ReleaseEncode(job);
    return true;
}

// The time now as EXIF writes it.
std::string ExifDateTimeNow()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d %2.2d:%2.2d:%2.2d", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

}  // namespace

NImageFileJPG::NImageFileJPG()
{
    decoderMessage = L"";
}

NImageFileJPG::~NImageFileJPG() = default;

bool NImageFileJPG::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, kSignatureWindow))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

FileType NImageFileJPG::GetFormatId() const
{
    return FT_JPG;
}

void NImageFileJPG::ErrorExit(jpeg_common_struct* common)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(common->err);
    manager->message[0] = '\0';
    (*common->err->format_message)(common, manager->message);
    manager->message[JMSG_LENGTH_MAX - 1] = '\0';
    if (manager->owner) {
        NString text = FromAnsi(manager->message, static_cast<int>(std::strlen(manager->message)), JMSG_LENGTH_MAX);
        manager->owner->decoderMessage = text;
    }
    __builtin_longjmp(manager->jump, 1);
}

NRESULT NImageFileJPG::Load(const wchar_t* path, uint8_t preview, uint8_t /*quick*/, NImageBuffer* target)
{
    SetFileName(path);
    if (!path)
        return NR_FILE_OPEN_READ;

    const bool verifyOnly = loadOptions.verifyOnly != 0;
    metadata.exif.Release();
    if (!verifyOnly)
        metadata.exif.data = ReadExifFromFile(path);
    metadata.exif.hasExif = ExifHasContent(metadata.exif.data) ? 1 : 0;
    // The previous load's IPTC data goes in any case; only full loads read it again.
    metadata.iptc.Release();
    if (!preview && !verifyOnly)
        metadata.iptc.LoadFromJpeg(path);

    FILE* file = _wfopen(path, L"rb");
    if (!file)
        return NR_FILE_OPEN_READ;

    DecodeJob job;
    std::memset(&job, 0, sizeof(job));
    job.file = file;
    job.closeFile = true;
    DecodeRequest request = {};
    request.owner = this;
    request.target = target ? target : &picture;
    request.preview = preview != 0;
    request.fullLoad = true;
    request.shrinkLarge = loadOptions.shrinkLargePictures != 0;
    request.verifyOnly = verifyOnly;
    request.path = path;
    request.exifPresent = metadata.exif.hasExif != 0;
    DecodeOutcome outcome;
    RunDecode(job, request, outcome);
    ReleaseDecode(job);

    if (outcome.libjpegError)
        LogMessage(L"JPG Decoder: %s - %s", decoderMessage.c_str(), path);
    if (outcome.result != NR_OK)
        return outcome.result;
    consumedSize = outcome.consumed;
    // A multi-picture file (MPO) holds its further pictures after the first one's end of image.
    if (FILE* again = _wfopen(path, L"rb")) {
        StdioByteSource bytes(again);
        if (const uint64_t end = FindMultiPictureEnd(bytes))
            consumedSize = end;
        std::fclose(again);
    }
    if (loadOptions.applyOrientation)
        request.target->ApplyOrientation(outcome.orientation);
    return NR_OK;
}

NRESULT NImageFileJPG::DecodeStream(NImageFileJPG* owner, NImageBuffer& target, FILE* file, uint8_t preview)
{
    if (!file)
        return NR_FILE_OPEN_READ;
    DecodeJob job;
    std::memset(&job, 0, sizeof(job));
    job.file = file;
    job.closeFile = false;
    DecodeRequest request = {};
    request.owner = owner;
    request.target = &target;
    request.preview = preview != 0;
    DecodeOutcome outcome;
    RunDecode(job, request, outcome);
    ReleaseDecode(job);
    return outcome.result;
}

NRESULT NImageFileJPG::LoadEmbeddedJpeg(const wchar_t* path, NImageBuffer* target)
{
    if (!path)
        return NR_FILE_OPEN_READ;
    FILE* file = _wfopen(path, L"rb");
    if (!file)
        return NR_FILE_OPEN_READ;
    std::vector<uint8_t> head(kEmbeddedSearchBytes, 0);
    std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);

    size_t offset = 0;
    bool found = false;
    for (; offset + kSignatureWindow <= head.size(); ++offset) {
        if (IsFormat(head.data(), offset, head.size())) {
            found = true;
            break;
        }
    }
    if (!found)
        return NR_NOT_THIS_FORMAT;

    file = _wfopen(path, L"rb");
    if (!file)
        return NR_NOT_THIS_FORMAT;
    NImageBuffer& destination = target ? *target : picture;
    NRESULT result = NR_DECODE_FAILED;
    if (_fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) == 0)
        result = DecodeStream(this, destination, file, 0);
    fullWidth = destination.valid ? destination.width : 0;
    fullHeight = destination.valid ? destination.height : 0;
    const int64_t position = _ftelli64(file);
    consumedSize = position > 0 ? static_cast<uint64_t>(position) : 0;
    std::fclose(file);
    return result;
}

NRESULT NImageFileJPG::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileJPG::Save(const wchar_t* path, NImageBuffer* givenPicture, ImageMetadata* givenMetadata)
{
    const NImageBuffer& image = givenPicture ? *givenPicture : picture;
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;
    ImageMetadata& meta = givenMetadata ? *givenMetadata : metadata;
    if (!path)
        return NR_FILE_OPEN_WRITE;

    // Comment: the metadata's, else the options' default, when it has two or more characters.
    NString comment;
    if (meta.comment.GetLength() >= 2)
        comment = meta.comment;
    else if (saveOptions.jpegComment.GetLength() >= 2)
        comment = saveOptions.jpegComment;
    if (comment.GetLength() > kMaxSavedCommentCharacters)
        comment = comment.Left(kMaxSavedCommentCharacters);

    // EXIF: a camera's tags are kept, but resolution, size and orientation describe this picture.
    NExifHolder& exif = meta.exif;
    if (exif.hasExif && exif.data) {
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
        exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_ORIENTATION);
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
    } else if (exif.Reset()) {
        exif.SetTagText(kMakerText, EXIF_IFD_0, EXIF_TAG_MAKE);
        exif.SetTagText(kSoftwareText, EXIF_IFD_0, EXIF_TAG_SOFTWARE);
        exif.SetTagText(ExifDateTimeNow().c_str(), EXIF_IFD_0, EXIF_TAG_DATE_TIME);
    }
    exif.SetTagDouble(image.dpiX, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
    exif.SetTagDouble(image.dpiY, EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
    exif.SetTagInt(2, EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
    exif.SetTagInt(image.width, EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH);
    exif.SetTagInt(image.height, EXIF_IFD_0, EXIF_TAG_IMAGE_LENGTH);
    exif.SetTagInt(1, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    unsigned char* exifBytes = nullptr;
    unsigned int exifLength = 0;
    if (exif.hasExif && exif.data)
        exif_data_save_data(exif.data, &exifBytes, &exifLength);

    // IPTC in a Photoshop image-resource block.
    std::vector<uint8_t> photoshop;
    bool photoshopFailed = false;
    if (meta.iptc.hasIptc && meta.iptc.data) {
        iptc_data_sort(meta.iptc.data);
        unsigned char* iptcBytes = nullptr;
        unsigned int iptcLength = 0;
        if (iptc_data_save(meta.iptc.data, &iptcBytes, &iptcLength) == 0 && iptcBytes) {
            photoshop.resize(kPhotoshopBlockSize);
            const int length = iptc_jpeg_ps3_save_iptc(nullptr, 0, iptcBytes, iptcLength, photoshop.data(),
                                                       static_cast<unsigned int>(photoshop.size()));
            if (length < 0) {
                photoshopFailed = true;
                photoshop.clear();
            } else {
                photoshop.resize(static_cast<size_t>(length));
            }
            iptc_data_free_buf(meta.iptc.data, iptcBytes);
        }
    }

    NRESULT result = NR_ENCODE_FAILED;
    if (!photoshopFailed) {
        const std::string xmp = meta.xmp;
        result = WriteJpeg(this, path, image, saveOptions.jpegQuality, saveOptions.jpegOptimize != 0,
                           saveOptions.jpegSmoothing, saveOptions.jpegProgressive != 0, comment.c_str(), xmp,
                           exifBytes, exifLength, photoshop.data(), photoshop.size());
    }
    std::free(exifBytes);
    return result;
}

NRESULT NImageFileJPG::WriteJpeg(NImageFileJPG* owner, const wchar_t* path, const NImageBuffer& image, int quality,
                                 bool optimize, float smoothing, bool progressive, const wchar_t* comment,
                                 const std::string& xmp, const uint8_t* exif, size_t exifLength,
                                 const uint8_t* photoshop, size_t photoshopLength)
{
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;

    std::string commentBytes;
    if (comment && std::wcslen(comment) > 1) {
        commentBytes = ToAnsi(comment);
        if (commentBytes.size() > kMaxCommentBytes)
            commentBytes.resize(kMaxCommentBytes);
    }
    std::vector<uint8_t> xmpSegment;
    if (xmp.size() > 10) {
        size_t packetLength = std::strlen(xmp.c_str());
        if (packetLength > 65535)
            packetLength = 65535;
        xmpSegment.reserve(kXmpSignatureLength + packetLength + 1);
        xmpSegment.insert(xmpSegment.end(), kXmpSignature, kXmpSignature + kXmpSignatureLength);
        xmpSegment.insert(xmpSegment.end(), xmp.data(), xmp.data() + packetLength);
        xmpSegment.push_back(0);
    }
    // A segment that does not fit its 16-bit length fails the save before the file exists.
    if ((exif && exifLength > kMaxSegmentData) || xmpSegment.size() > kMaxSegmentData ||
        (photoshop && photoshopLength > kMaxSegmentData))
        return NR_ENCODE_FAILED;

    if (!path)
        return NR_FILE_OPEN_WRITE;
    FILE* file = _wfopen(path, L"wb");
    if (!file)
        return NR_FILE_OPEN_WRITE;

    EncodeJob job;
    std::memset(&job, 0, sizeof(job));
    job.file = file;
    EncodeRequest request = {};
    request.picture = &image;
    request.quality = quality;
    request.optimize = optimize;
    request.smoothing = smoothing;
    request.progressive = progressive;
    request.comment = &commentBytes;
    request.xmp = &xmpSegment;
    request.exif = exif;
    request.exifLength = exif ? exifLength : 0;
    request.photoshop = photoshop;
    request.photoshopLength = photoshop ? photoshopLength : 0;
    const bool encoded = RunEncode(job, request, owner);
    ReleaseEncode(job);
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed) {
        DeleteFileW(path);
        return NR_ENCODE_FAILED;
    }
    return NR_OK;
}
