#include "imagefile/ImageMetadata.h"

#include <libiptcdata/iptc-jpeg.h>

#include <windows.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/ScopedFile.h"
#include "base/Utf8.h"

namespace {

constexpr int kXpTitleTag = 40091;
constexpr int kXpKeywordsTag = 40094;
constexpr size_t kXpMaxCharacters = 16383;     // plus a terminator
constexpr unsigned kPhotoshopBlockSize = 65536;

ExifContent* Directory(ExifData* data, int ifd)
{
    if (!data || ifd < 0 || ifd >= EXIF_IFD_COUNT)
        return nullptr;
    return data->ifd[ifd];
}

// Gives the entry a fresh zero-filled value of `size` bytes (none for 0), releasing the old
// one. False, with the entry unchanged, when the memory cannot be had.
bool ReplaceValue(ExifEntry* entry, size_t size)
{
    if (size > UINT_MAX)
        return false;
    ExifMem* mem = exif_mem_new_default();
    if (!mem)
        return false;
    unsigned char* value = nullptr;
    if (size) {
        value = static_cast<unsigned char*>(exif_mem_alloc(mem, static_cast<ExifLong>(size)));
        if (!value) {
            exif_mem_unref(mem);
            return false;
        }
    }
    if (entry->data)
        exif_mem_free(mem, entry->data);
    exif_mem_unref(mem);
    entry->data = value;
    entry->size = static_cast<unsigned int>(size);
    return true;
}

bool SetFixedShape(ExifEntry* entry, ExifFormat format, unsigned long components)
{
    if (!ReplaceValue(entry, components * exif_format_get_size(format)))
        return false;
    entry->format = format;
    entry->components = components;
    return true;
}

// The whole part of a number, as the 32 bits a (signed or unsigned) rational part holds.
ExifLong WholePart(double value)
{
    if (std::isnan(value))
        return 0;
    double whole = std::trunc(value);
    if (whole < static_cast<double>(INT32_MIN))
        whole = static_cast<double>(INT32_MIN);
    if (whole > static_cast<double>(UINT32_MAX))
        whole = static_cast<double>(UINT32_MAX);
    return static_cast<ExifLong>(static_cast<int64_t>(whole));
}

// The Windows title and keyword tags hold UTF-16 text in BYTE components.
bool SetWindowsTextValue(ExifEntry* entry, const char* text)
{
    std::wstring wide = WideFromAnsi(text);
    if (wide.size() > kXpMaxCharacters)
        wide.resize(kXpMaxCharacters);

    std::vector<wchar_t> buffer(kXpMaxCharacters + 1, L'\0');
    wide.copy(buffer.data(), wide.size());
    const size_t bufferBytes = buffer.size() * sizeof(wchar_t);
    size_t size = 2 * std::strlen(text) + 2;
    if (size > bufferBytes)
        size = bufferBytes;

    if (!ReplaceValue(entry, size))
        return false;
    std::memcpy(entry->data, buffer.data(), size);
    entry->data[size - 1] = 0;
    entry->format = EXIF_FORMAT_BYTE;
    entry->components = size;
    return true;
}

bool SetTextValue(ExifEntry* entry, const char* text)
{
    const size_t size = std::strlen(text) + 1;
    if (!ReplaceValue(entry, size))
        return false;
    std::memcpy(entry->data, text, size);
    entry->components = size;
    return true;
}

// One value per component, separated by single spaces; the last component takes the rest.
bool SetNumericValues(ExifEntry* entry, ExifByteOrder order, const char* text)
{
    const unsigned itemSize = exif_format_get_size(entry->format);
    const char* token = text;
    for (unsigned long i = 0; i < entry->components; ++i) {
        unsigned char* slot = nullptr;
        if (itemSize && entry->data && (static_cast<uint64_t>(i) + 1) * itemSize <= entry->size)
            slot = entry->data + static_cast<size_t>(i) * itemSize;
        switch (entry->format) {
        case EXIF_FORMAT_SHORT:
            if (!slot)
                return false;
            exif_set_short(slot, order, static_cast<ExifShort>(std::strtol(token, nullptr, 10)));
            break;
        case EXIF_FORMAT_LONG:
        case EXIF_FORMAT_SLONG:
            if (!slot)
                return false;
            exif_set_long(slot, order, static_cast<ExifLong>(std::strtol(token, nullptr, 10)));
            break;
        case EXIF_FORMAT_RATIONAL:
        case EXIF_FORMAT_SRATIONAL: {
            if (!slot)
                return false;
            ExifRational value;
            value.numerator = WholePart(std::atof(token));
            value.denominator = 1;
            exif_set_rational(slot, order, value);
            break;
        }
        default:
            break;    // BYTE, SBYTE, SSHORT, FLOAT, DOUBLE: left as they are
        }
        if (i + 1 < entry->components) {
            const char* space = std::strchr(token, ' ');
            if (!space)
                return false;
            token = space + 1;
        }
    }
    return true;
}

}  // namespace

// ---- NExifHolder ----

NExifHolder::~NExifHolder()
{
    Release();
}

void NExifHolder::Release()
{
    if (data)
        exif_data_unref(data);
    data = nullptr;
    hasExif = 0;
}

bool NExifHolder::Reset()
{
    Release();
    data = exif_data_new();
    if (!data)
        return false;
    hasExif = 1;
    return true;
}

bool NExifHolder::SetTagText(const char* text, int ifd, int tag)
{
    ExifContent* content = Directory(data, ifd);
    if (!text || !content)
        return false;
    const ExifTag exifTag = static_cast<ExifTag>(tag);
    ExifEntry* entry = exif_content_get_entry(content, exifTag);
    if (!entry) {
        entry = exif_entry_new();
        if (!entry)
            return false;
        exif_content_add_entry(content, entry);
        if (entry->parent != content) {
            exif_entry_unref(entry);
            return false;
        }
        exif_entry_initialize(entry, exifTag);
        exif_entry_unref(entry);    // the directory keeps its reference
    }

    // The GPS position tags get fixed shapes, whichever directory they are in.
    switch (tag) {
    case 0:
        if (!SetFixedShape(entry, EXIF_FORMAT_LONG, 1))
            return false;
        break;
    case 2:
    case 4:
        if (!SetFixedShape(entry, EXIF_FORMAT_RATIONAL, 3))
            return false;
        break;
    case 1:
    case 3:
        if (!SetFixedShape(entry, EXIF_FORMAT_ASCII, 0))
            return false;
        break;
    default:
        break;
    }

    if (tag == kXpTitleTag || tag == kXpKeywordsTag)
        return SetWindowsTextValue(entry, text);
    if (entry->format == EXIF_FORMAT_ASCII || entry->format == EXIF_FORMAT_UNDEFINED)
        return SetTextValue(entry, text);
    return SetNumericValues(entry, exif_data_get_byte_order(data), text);
}

bool NExifHolder::SetTagInt(int32_t value, int ifd, int tag)
{
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
    return SetTagText(text, ifd, tag);
}

bool NExifHolder::SetTagDouble(double value, int ifd, int tag)
{
    char text[64];
    _gcvt(value, 10, text);
    return SetTagText(text, ifd, tag);
}

bool NExifHolder::GetTagDouble(double& value, int ifd, int tag) const
{
    ExifContent* content = Directory(data, ifd);
    if (!content)
        return false;
    ExifEntry* entry = exif_content_get_entry(content, static_cast<ExifTag>(tag));
    if (!entry)
        return false;
    const bool readable = entry->data && entry->size >= 8;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (entry->format == EXIF_FORMAT_RATIONAL && readable) {
        const ExifRational r = exif_get_rational(entry->data, order);
        value = r.denominator ? static_cast<double>(r.numerator) / r.denominator : 0.0;
    } else if (entry->format == EXIF_FORMAT_SRATIONAL && readable) {
        const ExifSRational r = exif_get_srational(entry->data, order);
        value = r.denominator ? static_cast<double>(r.numerator) / r.denominator : 0.0;
    }
    return true;
}

bool NExifHolder::RemoveTag(int ifd, int tag)
{
    ExifContent* content = Directory(data, ifd);
    if (!content)
        return false;
    ExifEntry* entry = exif_content_get_entry(content, static_cast<ExifTag>(tag));
    if (!entry)
        return false;
    exif_content_remove_entry(content, entry);
    return true;
}

bool NExifHolder::RemoveGpsTags()
{
    for (int tag = 0; tag <= 30; ++tag)
        RemoveTag(3, tag);
    return true;
}

ExifEntry* NExifHolder::AddUndefinedTag(int ifd, int tag, uint32_t byteCount)
{
    ExifContent* content = Directory(data, ifd);
    if (!content)
        return nullptr;
    // A directory holds one entry per tag: the new entry takes the old one's place.
    if (ExifEntry* old = exif_content_get_entry(content, static_cast<ExifTag>(tag)))
        exif_content_remove_entry(content, old);

    ExifEntry* entry = exif_entry_new();
    if (!entry)
        return nullptr;
    if (!ReplaceValue(entry, byteCount)) {
        exif_entry_unref(entry);
        return nullptr;
    }
    entry->tag = static_cast<ExifTag>(tag);
    entry->format = EXIF_FORMAT_UNDEFINED;
    entry->components = byteCount;
    exif_content_add_entry(content, entry);
    const bool added = entry->parent == content;
    exif_entry_unref(entry);
    return added ? entry : nullptr;
}

bool NExifHolder::LoadFromBytes(const uint8_t* bytes, size_t length)
{
    if (!bytes || length == 0)
        return false;
    if (!hasExif || !data) {
        if (!Reset())
            return false;
    }
    const unsigned int size = length > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(length);
    exif_data_load_data(data, bytes, size);
    hasExif = 1;

    bool found = data->data != nullptr || data->size != 0;
    for (int i = 0; i < EXIF_IFD_COUNT && !found; ++i)
        found = data->ifd[i] && data->ifd[i]->count != 0;
    if (!found)
        hasExif = 0;
    return found;
}

// ---- NIptcHolder ----

NIptcHolder::~NIptcHolder()
{
    Release();
}

void NIptcHolder::Release()
{
    if (data)
        iptc_data_unref(data);
    data = nullptr;
    hasIptc = 0;
}

bool NIptcHolder::LoadFromJpeg(const wchar_t* path)
{
    Release();
    if (!path)
        return false;
    std::vector<unsigned char> block(kPhotoshopBlockSize);
    int blockLength;
    {
        const ScopedFile file(path, L"rb");
        if (!file)
            return false;
        blockLength = iptc_jpeg_read_ps3(file.Get(), block.data(), kPhotoshopBlockSize);
    }
    if (blockLength < 0) {
        std::fprintf(stderr, "Error: iptc_jpeg_read_ps3: %d\n", blockLength);
        return false;
    }
    if (blockLength == 0)
        return false;

    unsigned int iptcLength = 0;
    const int offset = iptc_jpeg_ps3_find_iptc(block.data(), static_cast<unsigned int>(blockLength), &iptcLength);
    if (offset < 0) {
        std::fprintf(stderr, "Error: iptc_jpeg_ps3_find_iptc: %d\n", offset);
        return false;
    }
    if (offset == 0)
        return false;
    if (static_cast<uint64_t>(offset) + iptcLength > static_cast<uint64_t>(blockLength))
        return false;
    data = iptc_data_new_from_data(block.data() + offset, iptcLength);
    if (!data)
        return false;
    hasIptc = 1;
    return true;
}

// ---- ExifRationalFromDouble ----

ExifRational ExifRationalFromDouble(double value)
{
    ExifRational result = {0, 1};
    if (!std::isfinite(value))
        return result;
    const double magnitude = std::fabs(value);
    // Six decimals, as "%f" writes them; fewer when the numerator would not fit.
    uint32_t denominator = 1000000;
    while (denominator > 1 && magnitude * denominator + 0.5 > static_cast<double>(UINT32_MAX))
        denominator /= 10;
    const double scaled = std::floor(magnitude * denominator + 0.5);
    result.numerator = scaled > static_cast<double>(UINT32_MAX) ? UINT32_MAX : static_cast<ExifLong>(scaled);
    result.denominator = denominator;
    return result;
}

std::string ExifDateTimeText(int year, int month, int day, int hour, int minute, int second)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d %2.2d:%2.2d:%2.2d", year, month, day, hour, minute, second);
    return text;
}

std::string ExifDateTimeNow()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return ExifDateTimeText(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

void RemovePictureLayoutTags(NExifHolder& exif)
{
    exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
    exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
    exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
    exif.RemoveTag(EXIF_IFD_0, EXIF_TAG_ORIENTATION);
}

void SetPictureLayoutTags(NExifHolder& exif, int dpiX, int dpiY, int width, int height)
{
    exif.SetTagDouble(dpiX, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
    exif.SetTagDouble(dpiY, EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION);
    exif.SetTagInt(2, EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT);
    exif.SetTagInt(width, EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH);
    exif.SetTagInt(height, EXIF_IFD_0, EXIF_TAG_IMAGE_LENGTH);
    exif.SetTagInt(1, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
}

bool ResetExifForWriter(NExifHolder& exif, const char* software)
{
    if (!exif.Reset())
        return false;
    exif.SetTagText("Verolib https://verolib.example", EXIF_IFD_0, EXIF_TAG_MAKE);
    exif.SetTagText(software, EXIF_IFD_0, EXIF_TAG_SOFTWARE);
    exif.SetTagText(ExifDateTimeNow().c_str(), EXIF_IFD_0, EXIF_TAG_DATE_TIME);
    return true;
}
