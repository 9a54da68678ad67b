#include "imagefile/ExifDirectory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/ScopedFile.h"
#include "base/Utf8.h"

namespace {

constexpr int kMaxDepth = 4;
// Real EXIF data has five directories; a crafted segment whose entries point back at their own
// directories would otherwise fan out to millions of walks within the depth limit.
constexpr int32_t kMaxDirectoriesPerSegment = 64;
constexpr uint32_t kMaxComponents = 65536;
constexpr uint32_t kExifHeaderSize = 8;   // two length bytes and "Exif" 00 00

const char* const kOrientationNames[9] = {
    "Undefined", "Normal", "flip horizontal", "rotate 180", "flip vertical",
    "transpose", "rotate 90", "transverse", "rotate 270",
};

enum ExifFormat {
    kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
    kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12,
};

// One directory entry, its value located and checked against the data.
struct EntryView {
    uint16_t tag = 0;
    int format = 0;
    uint32_t components = 0;
    uint32_t byteCount = 0;
    uint32_t value = 0;       // offset of the value from the TIFF header
    bool external = false;    // the value lies at an offset (more than four bytes)
};

// Reads the entry at `entry` (12 bytes inside the data). False when the entry is to be skipped:
// an unknown format, too many components, or a value outside the data.
bool ReadEntry(const JpegSectionList& list, const uint8_t* tiff, uint32_t entry, uint32_t exifLength,
               int minFormat, EntryView& out)
{
    const uint8_t* p = tiff + entry;
    out.tag = GetExifU16(list, p);
    out.format = GetExifU16(list, p + 2);
    out.components = GetExifU32(list, p + 4);
    if (out.format < minFormat || out.format > kDouble || out.components > kMaxComponents)
        return false;
    out.byteCount = out.components * ExifFormatSize(out.format);
    out.external = out.byteCount > 4;
    if (out.external) {
        const uint32_t offset = GetExifU32(list, p + 8);
        if (static_cast<uint64_t>(offset) + out.byteCount > exifLength)
            return false;
        out.value = offset;
    } else {
        out.value = entry + 8;
    }
    return true;
}

int32_t WholePart(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int32_t>(value);
}

// Copies at most `limit` bytes of a text value (never more than the value holds) and ends it.
void CopyText(char* destination, uint32_t limit, const uint8_t* value, uint32_t byteCount)
{
    const uint32_t n = byteCount < limit ? byteCount : limit;
    const size_t length = strnlen(reinterpret_cast<const char*>(value), n);
    memcpy(destination, value, length);
    destination[length] = '\0';
}

void CopyUserComment(JpegSectionList& list, uint8_t* tiff, uint32_t exifLength, const EntryView& e)
{
    uint8_t* value = tiff + e.value;
    for (uint32_t end = e.byteCount; end > 0 && value[end - 1] == ' '; --end)
        value[end - 1] = 0;
    uint32_t n = e.byteCount;
    if (n > exifLength - e.value)
        n = exifLength - e.value;
    if (n > kJpegCommentSize - 1)
        n = kJpegCommentSize - 1;
    char* comment = list.facts.comment;
    uint32_t start = 0;
    if (n >= 6 && memcmp(value, "ASCII", 5) == 0) {
        start = n;
        for (uint32_t i = 5; i < 10 && i < n; ++i) {
            if (value[i] != 0 && value[i] != ' ') {
                start = i;
                break;
            }
        }
    }
    memcpy(comment, value + start, n - start);
    comment[n - start] = '\0';
}

void CopyWindowsComment(JpegSectionList& list, const uint8_t* value, uint32_t byteCount)
{
    // UTF-16 text with room for its two-byte terminator.
    uint32_t n = byteCount < kJpegCommentSize - 2 ? byteCount : kJpegCommentSize - 2;
    n &= ~1u;
    memcpy(list.facts.comment, value, n);
    list.facts.comment[n] = '\0';
    list.facts.comment[n + 1] = '\0';
    list.facts.commentUtf16Units = static_cast<int32_t>(n / 2);
}

// One GPS coordinate: three rationals as "DDd MMm SS.SSs" after the reference and a space.
void FormatCoordinate(const JpegSectionList& list, char* text, const uint8_t* value, int format)
{
    char pattern[64] = "";
    double parts[3];
    for (int k = 0; k < 3; ++k) {
        const uint8_t* rational = value + 8 * k;
        parts[k] = ExifValueAsDouble(list, rational, format, 8);
        uint32_t denominator = GetExifU32(list, rational + 4);
        // As many decimals as the denominator has places (none for 1), at most six.
        int decimals = 0;
        while (denominator > 1 && decimals < 6) {
            denominator /= 10;
            ++decimals;
        }
        const int width = decimals == 0 ? 2 : decimals + 3;
        static const char kUnits[3] = {'d', 'm', 's'};
        char field[16];
        snprintf(field, sizeof(field), "%s%%%d.%df%c", k ? " " : "", width, decimals, kUnits[k]);
        strcat(pattern, field);
    }
    snprintf(text + 2, 29, pattern, parts[0], parts[1], parts[2]);
}

}  // namespace

uint32_t ExifFormatSize(int format)
{
    static const uint8_t kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return format >= 0 && format <= 12 ? kSizes[format] : 0;
}

uint16_t GetU16BigEndian(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint16_t GetExifU16(const JpegSectionList& list, const uint8_t* p)
{
    if (list.exif.bigEndian)
        return static_cast<uint16_t>((p[0] << 8) | p[1]);
    return static_cast<uint16_t>((p[1] << 8) | p[0]);
}

uint32_t GetExifU32(const JpegSectionList& list, const uint8_t* p)
{
    if (list.exif.bigEndian)
        return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 8) | p[3];
    return (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[1]) << 8) | p[0];
}

int32_t GetExifS32(const JpegSectionList& list, const uint8_t* p)
{
    return static_cast<int32_t>(GetExifU32(list, p));
}

void PutExifU16(const JpegSectionList& list, uint8_t* p, uint16_t value)
{
    if (list.exif.bigEndian) {
        p[0] = static_cast<uint8_t>(value >> 8);
        p[1] = static_cast<uint8_t>(value);
    } else {
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>(value >> 8);
    }
}

void PutExifU32(const JpegSectionList& list, uint8_t* p, uint32_t value)
{
    if (list.exif.bigEndian) {
        PutExifU16(list, p, static_cast<uint16_t>(value >> 16));
        PutExifU16(list, p + 2, static_cast<uint16_t>(value));
    } else {
        PutExifU16(list, p, static_cast<uint16_t>(value));
        PutExifU16(list, p + 2, static_cast<uint16_t>(value >> 16));
    }
}

double ExifValueAsDouble(const JpegSectionList& list, const uint8_t* value, int format, uint32_t byteCount)
{
    if (byteCount < ExifFormatSize(format))
        return 0;
    switch (format) {
    case kByte:
        return value[0];
    case kSByte:
        return static_cast<int8_t>(value[0]);
    case kShort:
        return GetExifU16(list, value);
    case kSShort:
        return static_cast<int16_t>(GetExifU16(list, value));
    case kLong:
        return GetExifU32(list, value);
    case kSLong:
        return GetExifS32(list, value);
    case kRational:
    case kSRational: {
        const int32_t numerator = GetExifS32(list, value);
        const int32_t denominator = GetExifS32(list, value + 4);
        return denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
    }
    case kFloat: {
        float f;
        memcpy(&f, value, sizeof(f));
        return f;
    }
    case kDouble: {
        double d;
        memcpy(&d, value, sizeof(d));
        return d;
    }
    default:
        return 0;
    }
}

void ParseExifSegment(JpegSectionList& list, uint8_t* data, uint32_t size)
{
    JpegExifState& state = list.exif;
    JpegPictureFacts& facts = list.facts;
    state.focalPlaneXResolution = 0;
    state.focalPlaneUnit = 0;
    state.exifPictureWidth = 0;
    state.orientationCount = 0;
    state.directoriesWalked = 0;

    if (!data || size < kExifHeaderSize + 8 || memcmp(data + 2, "Exif", 4) != 0 || data[6] || data[7])
        return;
    facts.exifSeen = 1;

    uint8_t* tiff = data + kExifHeaderSize;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        state.bigEndian = 0;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        state.bigEndian = 1;
    else
        return;
    if (GetExifU16(list, tiff + 2) != 42)
        return;

    const uint32_t first = GetExifU32(list, tiff + 4);
    if (!((first >= 8 && first <= 16) || (first >= 16 && first <= size - 16)))
        return;

    state.thumbnailDirectory = -1;
    WalkExifDirectory(list, first, tiff, size - kExifHeaderSize, 0);

    facts.thumbnailAtEnd = facts.thumbnailOffset >= facts.largestExifOffset ? 1 : 0;

    if (state.focalPlaneXResolution != 0) {
        facts.ccdWidth = static_cast<float>(state.exifPictureWidth * state.focalPlaneUnit /
                                            state.focalPlaneXResolution);
        if (facts.focalLength != 0 && facts.focalLength35mm == 0 && facts.ccdWidth != 0)
            facts.focalLength35mm = WholePart(facts.focalLength / facts.ccdWidth * 36 + 0.5);
    }
}

void WalkExifDirectory(JpegSectionList& list, uint32_t directory, uint8_t* tiff, uint32_t exifLength, int depth)
{
    if (depth > kMaxDepth || list.exif.directoriesWalked >= kMaxDirectoriesPerSegment)
        return;
    ++list.exif.directoriesWalked;
    if (exifLength < 2 || directory > exifLength - 2)
        return;
    JpegPictureFacts& facts = list.facts;
    const uint32_t count = GetExifU16(list, tiff + directory);
    const uint64_t end = static_cast<uint64_t>(directory) + 2 + 12ull * count;
    if (end + 4 > exifLength && end != exifLength && end + 2 != exifLength)
        return;

    uint32_t thumbnailOffsetHere = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t entry = directory + 2 + 12 * i;
        EntryView e;
        if (!ReadEntry(list, tiff, entry, exifLength, 0, e))
            continue;
        if (e.external && e.value > facts.largestExifOffset)
            facts.largestExifOffset = e.value;
        uint8_t* value = tiff + e.value;
        const double number = ExifValueAsDouble(list, value, e.format, e.byteCount);

        switch (e.tag) {
        case 271:
            CopyText(facts.cameraMake, sizeof(facts.cameraMake) - 1, value, e.byteCount);
            break;
        case 272:
            CopyText(facts.cameraModel, sizeof(facts.cameraModel) - 1, value, e.byteCount);
            break;
        case 274:
            if (list.exif.orientationCount < 2) {
                list.exif.orientationOffsets[list.exif.orientationCount] = e.value;
                list.exif.orientationFormats[list.exif.orientationCount] = e.format;
                if (list.exif.orientationCount == 0) {
                    const int32_t orientation = WholePart(number);
                    facts.orientation = orientation >= 0 && orientation <= 8 ? orientation : 0;
                }
                ++list.exif.orientationCount;
            }
            break;
        case 282:
            if (depth == 0) {
                facts.xResolution = static_cast<float>(number);
                if (facts.yResolution == 0)
                    facts.yResolution = facts.xResolution;
            }
            break;
        case 283:
            if (depth == 0) {
                facts.yResolution = static_cast<float>(number);
                if (facts.xResolution == 0)
                    facts.xResolution = facts.yResolution;
            }
            break;
        case 296:
            if (depth == 0)
                facts.resolutionUnit = WholePart(number);
            break;
        case 306:
        case 36868:
            if (strlen(facts.date) == 19 && facts.date[0] >= '0' && facts.date[0] <= '9')
                break;
            [[fallthrough]];
        case 36867:
            CopyText(facts.date, 19, value, e.byteCount);
            facts.dateValueOffset = static_cast<int32_t>(e.value);
            break;
        case 513:
            list.exif.thumbnailDirectory = static_cast<int32_t>(directory);
            thumbnailOffsetHere = static_cast<uint32_t>(WholePart(number));
            break;
        case 514:
            facts.thumbnailSize = static_cast<uint32_t>(WholePart(number));
            facts.thumbnailSizeValueOffset = static_cast<int32_t>(e.value);
            break;
        case 33434:
            facts.exposureTime = static_cast<float>(number);
            break;
        case 33437:
            facts.fNumber = static_cast<float>(number);
            break;
        case 34665:
        case 40965: {
            const uint32_t sub = GetExifU32(list, value);
            if (sub < exifLength)
                WalkExifDirectory(list, sub, tiff, exifLength, depth + 1);
            break;
        }
        case 34850:
            facts.exposureProgram = WholePart(number);
            break;
        case 34853: {
            const uint32_t sub = GetExifU32(list, value);
            if (sub < exifLength)
                ParseGpsDirectory(list, sub, tiff, exifLength);
            break;
        }
        case 34855:
            facts.isoEquivalent = WholePart(number);
            if (facts.isoEquivalent < 50)
                facts.isoEquivalent *= 200;
            break;
        case 37377:
            if (facts.exposureTime == 0)
                facts.exposureTime = static_cast<float>(1.0 / std::exp2(number));
            break;
        case 37378:
        case 37381:
            if (facts.fNumber == 0)
                facts.fNumber = static_cast<float>(std::exp2(number / 2));
            break;
        case 37380:
            facts.exposureBias = static_cast<float>(number);
            break;
        case 37382:
            facts.subjectDistance = static_cast<float>(number);
            break;
        case 37383:
            facts.meteringMode = WholePart(number);
            break;
        case 37384:
            facts.lightSource = WholePart(number);
            break;
        case 37385:
            facts.flash = WholePart(number);
            break;
        case 37386:
            facts.focalLength = static_cast<float>(number);
            break;
        case 37500:
            ParseMakerNote(list, e.value, e.byteCount, tiff, exifLength);
            break;
        case 37510:
            if (facts.comment[0] == '\0')
                CopyUserComment(list, tiff, exifLength, e);
            break;
        case 40092:
            if (facts.comment[0] == '\0' && e.byteCount >= 2)
                CopyWindowsComment(list, value, e.byteCount);
            break;
        case 40962:
        case 40963:
            if (WholePart(number) > list.exif.exifPictureWidth)
                list.exif.exifPictureWidth = WholePart(number);
            break;
        case 41486:
            list.exif.focalPlaneXResolution = number;
            break;
        case 41488:
            switch (WholePart(number)) {
            case 1:
            case 2: list.exif.focalPlaneUnit = 25.4; break;
            case 3: list.exif.focalPlaneUnit = 10; break;
            case 4: list.exif.focalPlaneUnit = 1; break;
            case 5: list.exif.focalPlaneUnit = 0.001; break;
            default: break;
            }
            break;
        case 41493:
            if (facts.isoEquivalent == 0)
                facts.isoEquivalent = WholePart(number);
            break;
        case 41986:
            facts.exposureMode = WholePart(number);
            break;
        case 41987:
            facts.whiteBalance = WholePart(number);
            break;
        case 41988:
            facts.digitalZoomRatio = static_cast<float>(number);
            break;
        case 41989:
            facts.focalLength35mm = WholePart(number);
            break;
        case 41996:
            facts.subjectDistanceRange = WholePart(number);
            break;
        default:
            break;
        }
    }

    // The next directory of the chain.
    if (end + 4 <= exifLength) {
        const uint32_t next = GetExifU32(list, tiff + end);
        if (next != 0 && next < exifLength) {
            WalkExifDirectory(list, next, tiff, exifLength, depth + 1);
            if (next > facts.largestExifOffset)
                facts.largestExifOffset = next;
        }
    }

    if (thumbnailOffsetHere != 0) {
        facts.thumbnailAtEnd = 0;
        if (thumbnailOffsetHere <= exifLength) {
            facts.thumbnailOffset = thumbnailOffsetHere;
            const uint32_t room = exifLength - thumbnailOffsetHere;
            if (facts.thumbnailSize > room)
                facts.thumbnailSize = room;
        }
    }
}

void ParseMakerNote(JpegSectionList& list, uint32_t value, uint32_t byteCount, uint8_t* tiff, uint32_t exifLength)
{
    (void)byteCount;
    if (strstr(list.facts.cameraMake, "Canon"))
        ParseCanonMakerNote(list, value, tiff, exifLength);
}

void ParseCanonMakerNote(JpegSectionList& list, uint32_t value, uint8_t* tiff, uint32_t exifLength)
{
    if (exifLength < 2 || value > exifLength - 2)
        return;
    // The note's numbers are little-endian whatever the order of the EXIF data.
    const int32_t savedOrder = list.exif.bigEndian;
    list.exif.bigEndian = 0;
    const uint32_t count = GetExifU16(list, tiff + value);
    if (static_cast<uint64_t>(value) + 2 + 12ull * count <= exifLength) {
        JpegPictureFacts& facts = list.facts;
        for (uint32_t i = 0; i < count; ++i) {
            EntryView e;
            if (!ReadEntry(list, tiff, value + 2 + 12 * i, exifLength, 0, e))
                continue;
            const uint8_t* v = tiff + e.value;
            if (e.tag == 1 && e.format == kShort && e.components > 16) {
                const uint16_t iso = GetExifU16(list, v + 2 * 16);
                if (iso >= 16 && iso <= 24)
                    facts.isoEquivalent = 50 << (iso - 16);
            } else if (e.tag == 4 && e.format == kShort) {
                if (e.components > 7) {
                    switch (GetExifU16(list, v + 2 * 7)) {
                    case 1:
                    case 2: facts.lightSource = 1; break;
                    case 3: facts.lightSource = 3; break;
                    case 4: facts.lightSource = 2; break;
                    case 5: facts.lightSource = 4; break;
                    default: break;
                    }
                }
                if (e.components > 19 && facts.subjectDistance <= 0) {
                    const uint16_t distance = GetExifU16(list, v + 2 * 19);
                    facts.subjectDistance = distance == 0xFFFF ? -1.0f : distance / 100.0f;
                }
            }
        }
    }
    list.exif.bigEndian = savedOrder;
}

void ParseGpsDirectory(JpegSectionList& list, uint32_t directory, uint8_t* tiff, uint32_t exifLength)
{
    JpegPictureFacts& facts = list.facts;
    facts.gpsPresent = 1;
    strcpy(facts.latitude, "? ?");
    strcpy(facts.longitude, "? ?");
    facts.altitude[0] = '\0';
    if (exifLength < 2 || directory > exifLength - 2)
        return;
    const uint32_t count = GetExifU16(list, tiff + directory);
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = static_cast<uint64_t>(directory) + 2 + 12ull * i;
        if (entry + 12 > exifLength)
            break;
        EntryView e;
        if (!ReadEntry(list, tiff, static_cast<uint32_t>(entry), exifLength, 1, e))
            continue;
        const uint8_t* value = tiff + e.value;
        switch (e.tag) {
        case 1:
            facts.latitude[0] = static_cast<char>(value[0]);
            break;
        case 3:
            facts.longitude[0] = static_cast<char>(value[0]);
            break;
        case 2:
        case 4:
            if ((e.format == kRational || e.format == kSRational) && e.components >= 3)
                FormatCoordinate(list, e.tag == 2 ? facts.latitude : facts.longitude, value, e.format);
            break;
        case 5:
            facts.altitude[0] = value[0] ? '-' : ' ';
            break;
        case 6:
            snprintf(facts.altitude + 1, sizeof(facts.altitude) - 1, "%.2fm",
                     ExifValueAsDouble(list, value, e.format, e.byteCount));
            break;
        default:
            break;
        }
    }
}

const char* ResetExifOrientation(JpegSectionList& list)
{
    if (list.exif.orientationCount <= 0)
        return nullptr;
    JpegSection* section = FindMarkerSection(list, 0xE1);
    if (!section || section->size < kExifHeaderSize)
        return nullptr;
    uint8_t* tiff = section->data + kExifHeaderSize;
    const uint32_t exifLength = section->size - kExifHeaderSize;
    const int count = list.exif.orientationCount < 2 ? list.exif.orientationCount : 2;
    for (int i = 0; i < count; ++i) {
        const uint32_t offset = list.exif.orientationOffsets[i];
        const int format = list.exif.orientationFormats[i];
        const uint32_t width = (format == kByte || format == kSByte) ? 1
                             : format == kShort ? 2
                             : (format == kLong || format == kSLong) ? 4 : 0;
        if (width == 0)
            return nullptr;
        if (static_cast<uint64_t>(offset) + width > exifLength)
            return nullptr;
        if (width == 1)
            tiff[offset] = 1;
        else if (width == 2)
            PutExifU16(list, tiff + offset, 1);
        else
            PutExifU32(list, tiff + offset, 1);
    }
    const int32_t orientation = list.facts.orientation;
    return kOrientationNames[orientation >= 0 && orientation <= 8 ? orientation : 0];
}

uint32_t CutExifThumbnail(JpegSectionList& list)
{
    const JpegPictureFacts& facts = list.facts;
    if (list.exif.thumbnailDirectory < 0 || !facts.thumbnailOffset || !facts.thumbnailSize || !facts.thumbnailAtEnd)
        return 0;
    JpegSection* section = FindMarkerSection(list, 0xE1);
    if (!section || section->size < kExifHeaderSize)
        return 0;
    uint8_t* tiff = section->data + kExifHeaderSize;
    const uint32_t exifLength = section->size - kExifHeaderSize;
    const uint32_t directory = static_cast<uint32_t>(list.exif.thumbnailDirectory);
    if (exifLength < 2 || directory > exifLength - 2 || facts.thumbnailOffset > exifLength)
        return 0;
    const uint32_t count = GetExifU16(list, tiff + directory);
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = static_cast<uint64_t>(directory) + 2 + 12ull * i;
        if (entry + 12 > exifLength)
            break;
        if (GetExifU16(list, tiff + entry) != 514)
            continue;
        if (GetExifU16(list, tiff + entry + 2) != kLong)
            return 0;
        PutExifU32(list, tiff + entry + 8, 0);
    }
    return facts.thumbnailOffset + kExifHeaderSize;
}

int ReplaceExifThumbnail(JpegSectionList& list, const wchar_t* path)
{
    JpegPictureFacts& facts = list.facts;
    if (!facts.thumbnailOffset || !facts.thumbnailAtEnd)
        return 0;
    JpegSection* section = FindMarkerSection(list, 0xE1);
    if (!section || section->size < kExifHeaderSize ||
        facts.thumbnailOffset > section->size - kExifHeaderSize || facts.thumbnailSizeValueOffset < 0)
        return 0;

    uint8_t* thumbnail = nullptr;
    uint32_t newSize = 0;
    if (path) {
        const ScopedFile file(path, L"rb");
        if (!file)
            return 0;
        const int64_t length = file.Length();
        // The whole EXIF segment must still fit its 16-bit length field.
        const uint64_t limit = 0xFFFFu - kExifHeaderSize - facts.thumbnailOffset;
        if (length < 0 || static_cast<uint64_t>(length) > limit)
            return 0;
        newSize = static_cast<uint32_t>(length);
        thumbnail = static_cast<uint8_t*>(malloc(newSize ? newSize : 1));
        const bool read = thumbnail && fread(thumbnail, 1, newSize, file.Get()) == newSize;
        if (!read) {
            free(thumbnail);
            return 0;
        }
    } else if (facts.thumbnailSize == 0) {
        return 0;
    }

    const uint32_t total = facts.thumbnailOffset + kExifHeaderSize + newSize;
    if (static_cast<uint64_t>(facts.thumbnailSizeValueOffset) + kExifHeaderSize + 4 > total) {
        free(thumbnail);
        return 0;
    }
    uint8_t* data = static_cast<uint8_t*>(realloc(section->data, total));
    if (!data) {
        free(thumbnail);
        return 0;
    }
    section->data = data;
    section->size = total;
    if (newSize)
        memcpy(data + kExifHeaderSize + facts.thumbnailOffset, thumbnail, newSize);
    free(thumbnail);
    facts.thumbnailSize = newSize;
    PutExifU32(list, data + kExifHeaderSize + facts.thumbnailSizeValueOffset, newSize);
    data[0] = static_cast<uint8_t>(total >> 8);
    data[1] = static_cast<uint8_t>(total);
    return 1;
}

int SaveExifThumbnail(JpegSectionList& list, const wchar_t* path)
{
    const JpegPictureFacts& facts = list.facts;
    if (!facts.thumbnailOffset || !facts.thumbnailSize || !path)
        return 0;
    const JpegSection* section = FindMarkerSection(list, 0xE1);
    if (!section || static_cast<uint64_t>(facts.thumbnailOffset) + kExifHeaderSize + facts.thumbnailSize > section->size)
        return 0;
    ScopedFile file(path, L"wb");
    if (!file)
        return 0;
    const bool written = fwrite(section->data + kExifHeaderSize + facts.thumbnailOffset, 1, facts.thumbnailSize,
                                file.Get()) == facts.thumbnailSize;
    if (!file.Close() || !written) {
        _wremove(path);
        return 0;
    }
    return 1;
}

int ParseExifDateText(struct tm& calendar, const char* text)
{
    calendar.tm_wday = -1;
    calendar.tm_isdst = -1;
    calendar.tm_sec = 0;
    if (!text)
        return 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const int fields = sscanf(text, "%d%*c%d%*c%d%*c%d:%d:%d", &year, &month, &day, &hour, &minute, &second);
    if (fields < 5)
        return 0;
    if (year <= 12 && day > 2000 && strlen(text) > 2 && text[2] == '.') {
        const int scannedYear = year;
        year = day;
        day = month;
        month = scannedYear;
    }
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    if (fields >= 6)
        calendar.tm_sec = second;
    return 1;
}

bool ReadExifDateTime(const wchar_t* path, FILETIME* out)
{
    JpegSectionList list;
    ResetMarkerSections(list);
    ReadMarkerSectionsFromFile(list, path, kKeepMetadata);

    bool ok = false;
    wchar_t date[129] = {};
    const std::wstring text = WideFromAnsi(list.facts.date, strnlen(list.facts.date, sizeof(list.facts.date)));
    wcsncpy(date, text.c_str(), 128);
    if (out && wcslen(date) >= 19 && _wcsicmp(date, L"0000:00:00 00:00:00") != 0) {
        auto field = [&](int start, int count) {
            wchar_t digits[5] = {};
            wcsncpy(digits, date + start, static_cast<size_t>(count));
            return static_cast<WORD>(wcstol(digits, nullptr, 10));
        };
        SYSTEMTIME time = {};
        time.wYear = field(0, 4);
        time.wMonth = field(5, 2);
        time.wDay = field(8, 2);
        time.wHour = field(11, 2);
        time.wMinute = field(14, 2);
        time.wSecond = field(17, 2);
        FILETIME converted;
        if (SystemTimeToFileTime(&time, &converted)) {
            *out = converted;
            ok = true;
        }
    }
    FreeMarkerSections(list);
    return ok;
}
