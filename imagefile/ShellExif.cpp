#include "imagefile/ShellExif.h"

#include <windows.h>
#include <propidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/SystemOwners.h"
#include "base/Utf8.h"
#include "imagefile/ImageMetadata.h"
#include "imaging/NImageBuffer.h"

namespace {

// The shell's property keys (names as in the Windows SDK).
constexpr GUID kPhotoFormat = {0x14B81DA1, 0x0135, 0x4D31, {0x96, 0xD9, 0x6C, 0xBF, 0xC9, 0x67, 0x1A, 0x99}};
constexpr PROPERTYKEY kDateTaken = {kPhotoFormat, 36867};
constexpr PROPERTYKEY kCameraManufacturer = {kPhotoFormat, 271};
constexpr PROPERTYKEY kCameraModel = {kPhotoFormat, 272};
constexpr PROPERTYKEY kFlash = {kPhotoFormat, 37385};
constexpr PROPERTYKEY kFlashEnergy = {kPhotoFormat, 41483};
constexpr PROPERTYKEY kAperture = {kPhotoFormat, 37378};
constexpr PROPERTYKEY kBrightness = {{0x1A701BF6, 0x478C, 0x4361, {0x83, 0xAB, 0x37, 0x01, 0xBB, 0x05, 0x3C, 0x58}}, 100};
constexpr PROPERTYKEY kExposureBias = {kPhotoFormat, 37380};
constexpr PROPERTYKEY kExposureTime = {kPhotoFormat, 33434};
constexpr PROPERTYKEY kExposureProgram = {kPhotoFormat, 34850};
constexpr PROPERTYKEY kFNumber = {kPhotoFormat, 33437};
constexpr PROPERTYKEY kFocalLength = {kPhotoFormat, 37386};
constexpr PROPERTYKEY kMaxAperture = {{0x08F6D7C2, 0xE3F2, 0x44FC, {0xAF, 0x1E, 0x5A, 0xA5, 0xC8, 0x1A, 0x2D, 0x3E}}, 100};
constexpr PROPERTYKEY kShutterSpeed = {kPhotoFormat, 37377};
constexpr PROPERTYKEY kIsoSpeed = {kPhotoFormat, 34855};
constexpr PROPERTYKEY kOrientation = {kPhotoFormat, 274};
constexpr PROPERTYKEY kMeteringMode = {kPhotoFormat, 37383};
constexpr PROPERTYKEY kWhiteBalance = {{0xEE3D3D8A, 0x5381, 0x4CFA, {0xB1, 0x3B, 0xAA, 0xF6, 0x6B, 0x5F, 0x4E, 0xC9}}, 100};
constexpr PROPERTYKEY kLightSource = {kPhotoFormat, 37384};
constexpr PROPERTYKEY kGpsAltitude = {{0x827EDB4F, 0x5B73, 0x44A7, {0x89, 0x1D, 0xFD, 0xFF, 0xAB, 0xEA, 0x35, 0xCA}}, 100};
constexpr PROPERTYKEY kGpsAltitudeRef = {{0x46AC629D, 0x75EA, 0x4515, {0x86, 0x7F, 0x6D, 0xC4, 0x32, 0x1C, 0x58, 0x44}}, 100};
constexpr PROPERTYKEY kGpsDate = {{0x3602C812, 0x0F3B, 0x45F0, {0x85, 0xAD, 0x60, 0x34, 0x68, 0xD6, 0x94, 0x23}}, 100};
constexpr PROPERTYKEY kGpsLatitude = {{0x8727CFFF, 0x4868, 0x4EC6, {0xAD, 0x5B, 0x81, 0xB9, 0x85, 0x21, 0xD1, 0xAB}}, 100};
constexpr PROPERTYKEY kGpsLongitude = {{0xC4C4DBB2, 0xB593, 0x466B, {0xBB, 0xDA, 0xD0, 0x3D, 0x27, 0xD5, 0xE4, 0x3A}}, 100};
constexpr PROPERTYKEY kGpsLatitudeRef = {{0x029C0252, 0x5B86, 0x46C7, {0xAC, 0xA0, 0x27, 0x69, 0xFF, 0xC8, 0xE3, 0xD4}}, 100};
constexpr PROPERTYKEY kGpsLongitudeRef = {{0x33DCF22B, 0x28D5, 0x464C, {0x80, 0x35, 0x1E, 0xE9, 0xEF, 0xD2, 0x52, 0x78}}, 100};

constexpr int kMainIfd = 0;
constexpr int kExifIfd = 2;
constexpr int kGpsIfd = 3;
constexpr size_t kMaxTextBytes = 128;

// One value read from the store; cleared when it goes.
class PropertyValue {
public:
    PropertyValue() { PropVariantInit(&value_); }
    ~PropertyValue() { PropVariantClear(&value_); }
    PropertyValue(const PropertyValue&) = delete;
    PropertyValue& operator=(const PropertyValue&) = delete;

    // False when the store cannot answer.
    bool Read(IPropertyStore* store, const PROPERTYKEY& key) { return SUCCEEDED(store->GetValue(key, &value_)); }
    const PROPVARIANT& get() const { return value_; }

    // Whole numbers of every integer type; false for anything else (also an empty value).
    bool AsInteger(int64_t& out) const
    {
        switch (value_.vt) {
        case VT_UI1: out = value_.bVal; return true;
        case VT_I1: out = value_.cVal; return true;
        case VT_UI2: out = value_.uiVal; return true;
        case VT_I2: out = value_.iVal; return true;
        case VT_UI4: out = value_.ulVal; return true;
        case VT_I4: out = value_.lVal; return true;
        case VT_UINT: out = value_.uintVal; return true;
        case VT_INT: out = value_.intVal; return true;
        case VT_UI8: out = static_cast<int64_t>(value_.uhVal.QuadPart); return true;
        case VT_I8: out = value_.hVal.QuadPart; return true;
        default: return false;
        }
    }
    bool AsDouble(double& out) const
    {
        int64_t whole = 0;
        if (value_.vt == VT_R8)
            out = value_.dblVal;
        else if (value_.vt == VT_R4)
            out = value_.fltVal;
        else if (AsInteger(whole))
            out = static_cast<double>(whole);
        else
            return false;
        return std::isfinite(out);
    }
    // Null unless the value is a text.
    const wchar_t* AsText() const
    {
        if (value_.vt == VT_LPWSTR)
            return value_.pwszVal;
        if (value_.vt == VT_BSTR)
            return value_.bstrVal;
        return nullptr;
    }

private:
    PROPVARIANT value_;
};

ExifEntry* FindEntry(const NExifHolder& exif, int ifd, int tag)
{
    if (!exif.data || ifd < 0 || ifd >= EXIF_IFD_COUNT || !exif.data->ifd[ifd])
        return nullptr;
    return exif_content_get_entry(exif.data->ifd[ifd], static_cast<ExifTag>(tag));
}

ExifSRational SignedRationalFromDouble(double value)
{
    ExifSRational r = {0, 1};
    if (!std::isfinite(value))
        return r;
    const double magnitude = std::fabs(value);
    int32_t denominator = magnitude < 2147.0 ? 1000000 : magnitude < 2147483.0 ? 1000 : 1;
    double numerator = std::round(value * denominator);
    if (numerator > INT32_MAX)
        numerator = INT32_MAX;
    if (numerator < -INT32_MAX)
        numerator = -INT32_MAX;
    r.numerator = static_cast<ExifSLong>(numerator);
    r.denominator = denominator;
    return r;
}

// The tag's entry with the number, fraction included (the holder's text path keeps whole
// numbers only).
void WriteNumber(NExifHolder& exif, int ifd, int tag, double value)
{
    exif.SetTagDouble(value, ifd, tag);
    ExifEntry* entry = FindEntry(exif, ifd, tag);
    if (!entry || !entry->data || entry->size < 8)
        return;
    const ExifByteOrder order = exif_data_get_byte_order(exif.data);
    if (entry->format == EXIF_FORMAT_RATIONAL)
        exif_set_rational(entry->data, order, ExifRationalFromDouble(value));
    else if (entry->format == EXIF_FORMAT_SRATIONAL)
        exif_set_srational(entry->data, order, SignedRationalFromDouble(value));
}

// The tag's entry with the whole number, also for entries of BYTE format.
void WriteInteger(NExifHolder& exif, int ifd, int tag, int64_t value)
{
    const int32_t narrow = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
    exif.SetTagInt(narrow, ifd, tag);
    ExifEntry* entry = FindEntry(exif, ifd, tag);
    if (entry && entry->data && entry->size >= 1 && entry->format == EXIF_FORMAT_BYTE)
        entry->data[0] = static_cast<unsigned char>(narrow);
}

void CopyInteger(IPropertyStore* store, const PROPERTYKEY& key, NExifHolder& exif, int ifd, int tag)
{
    PropertyValue value;
    int64_t number = 0;
    if (value.Read(store, key) && value.AsInteger(number))
        WriteInteger(exif, ifd, tag, number);
}

void CopyNumber(IPropertyStore* store, const PROPERTYKEY& key, NExifHolder& exif, int ifd, int tag)
{
    PropertyValue value;
    double number = 0.0;
    if (value.Read(store, key) && value.AsDouble(number))
        WriteNumber(exif, ifd, tag, number);
}

void CopyText(IPropertyStore* store, const PROPERTYKEY& key, NExifHolder& exif, int ifd, int tag, size_t maxBytes)
{
    PropertyValue value;
    if (!value.Read(store, key))
        return;
    const wchar_t* text = value.AsText();
    if (!text)
        return;
    const std::string ansi = AnsiFromWideCut(text, maxBytes - 1);
    exif.SetTagText(ansi.c_str(), ifd, tag);
}

// Degrees, minutes and seconds as three unsigned rationals; fractions of the degrees and
// minutes move on to the next part.
void CopyPosition(IPropertyStore* store, const PROPERTYKEY& key, NExifHolder& exif, int tag)
{
    PropertyValue value;
    if (!value.Read(store, key))
        return;
    const PROPVARIANT& v = value.get();
    if (v.vt != (VT_VECTOR | VT_R8) || v.cadbl.cElems < 3 || !v.cadbl.pElems)
        return;
    const double* parts = v.cadbl.pElems;
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(parts[i]))
            return;
    const double degrees = std::fabs(parts[0]);
    const double wholeDegrees = std::trunc(degrees);
    const double minutes = (degrees - wholeDegrees) * 60.0 + std::fabs(parts[1]);
    const double wholeMinutes = std::trunc(minutes);
    const double seconds = (minutes - wholeMinutes) * 60.0 + std::fabs(parts[2]);

    ExifEntry* entry = exif.AddUndefinedTag(kGpsIfd, tag, 24);
    if (!entry || !entry->data)
        return;
    entry->format = EXIF_FORMAT_RATIONAL;
    entry->components = 3;
    const ExifByteOrder order = exif_data_get_byte_order(exif.data);
    const ExifRational d = {static_cast<ExifLong>(std::fmin(wholeDegrees, 4294967295.0)), 1};
    const ExifRational m = {static_cast<ExifLong>(std::fmin(wholeMinutes, 4294967295.0)), 1};
    exif_set_rational(entry->data, order, d);
    exif_set_rational(entry->data + 8, order, m);
    exif_set_rational(entry->data + 16, order, ExifRationalFromDouble(seconds));
}

void CopyReference(IPropertyStore* store, const PROPERTYKEY& key, NExifHolder& exif, int tag)
{
    PropertyValue value;
    if (!value.Read(store, key))
        return;
    const wchar_t* text = value.AsText();
    if (!text || !*text)
        return;
    const wchar_t first[2] = {text[0], 0};
    const std::string ansi = AnsiFromWideCut(first, kMaxTextBytes - 1);
    exif.SetTagText(ansi.c_str(), kGpsIfd, tag);
}

// The calendar fields of a UTC file time in local time (the fields as they are when there is no
// local equivalent).
bool LocalFields(const FILETIME& time, SYSTEMTIME& fields)
{
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&time, &utc))
        return false;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &fields))
        fields = utc;
    return true;
}

bool LastWriteTime(const wchar_t* path, FILETIME& time)
{
    if (!path)
        return false;
    const KernelHandleOwner file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && GetFileTime(file.Get(), nullptr, nullptr, &time) != FALSE;
}

void CopyGpsDate(IPropertyStore* store, NExifHolder& exif)
{
    PropertyValue value;
    if (!value.Read(store, kGpsDate) || value.get().vt != VT_FILETIME)
        return;
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&value.get().filetime, &utc))
        return;
    // The GPS date is a UTC date in the form EXIF gives it.
    char text[32];
    std::snprintf(text, sizeof text, "%04u:%02u:%02u", utc.wYear, utc.wMonth, utc.wDay);
    exif.SetTagText(text, kGpsIfd, 29);
}

}  // namespace

bool ExifFromShellProperties(const wchar_t* path, const NImageBuffer* picture, ImageMetadata* target)
{
    if (!target)
        return false;
    IPropertyStore* store = nullptr;
    if (!path || FAILED(SHGetPropertyStoreFromParsingName(path, nullptr, GPS_DEFAULT, IID_IPropertyStore,
                                                          reinterpret_cast<void**>(&store))) ||
        !store)
        return true;
    ExifFromPropertyStore(store, path, picture, target);
    store->Release();
    return true;
}

bool ExifFromPropertyStore(IPropertyStore* store, const wchar_t* path, const NImageBuffer* picture,
                           ImageMetadata* target)
{
    if (!target)
        return false;
    if (!store)
        return true;
    NExifHolder& exif = target->exif;
    if (!exif.Reset())
        return true;

    if (picture && picture->valid) {
        exif.SetTagDouble(picture->dpiX, kMainIfd, 282);
        exif.SetTagDouble(picture->dpiY, kMainIfd, 283);
        exif.SetTagText("2", kMainIfd, 296);
        exif.SetTagInt(picture->width, kMainIfd, 256);
        exif.SetTagInt(picture->height, kMainIfd, 257);
    }
    exif.SetTagText("1", kMainIfd, 274);

    // The date taken decides whether the camera's values belong to this file: without one the
    // shell's other values are not trusted either.
    bool cameraBlock = false;
    {
        PropertyValue value;
        if (value.Read(store, kDateTaken)) {
            FILETIME taken = {0, 0};
            if (value.get().vt == VT_FILETIME)
                taken = value.get().filetime;
            SYSTEMTIME fields = {};
            bool haveFields = FileTimeToSystemTime(&taken, &fields) != FALSE;
            if (haveFields && fields.wYear == 1601) {
                FILETIME written;
                if (LastWriteTime(path, written))
                    haveFields = LocalFields(written, fields);
            } else if (haveFields) {
                haveFields = LocalFields(taken, fields);
                cameraBlock = true;
            }
            if (haveFields) {
                const std::string text = ExifDateTimeText(fields.wYear, fields.wMonth, fields.wDay, fields.wHour,
                                                          fields.wMinute, fields.wSecond);
                exif.SetTagText(text.c_str(), kMainIfd, 306);
                exif.SetTagText(text.c_str(), kExifIfd, 36867);
                exif.SetTagText(text.c_str(), kExifIfd, 36868);
            }
        }
    }

    CopyText(store, kCameraManufacturer, exif, kMainIfd, 271, kMaxTextBytes);
    CopyText(store, kCameraModel, exif, kMainIfd, 272, kMaxTextBytes);

    if (cameraBlock) {
        CopyInteger(store, kFlash, exif, kExifIfd, 37385);
        CopyNumber(store, kFlashEnergy, exif, kExifIfd, 41483);
        CopyNumber(store, kAperture, exif, kExifIfd, 37378);
        CopyNumber(store, kBrightness, exif, kExifIfd, 37379);
        CopyNumber(store, kExposureBias, exif, kExifIfd, 37380);
        CopyNumber(store, kExposureTime, exif, kExifIfd, 33434);
        CopyInteger(store, kExposureProgram, exif, kExifIfd, 34850);
        CopyNumber(store, kFNumber, exif, kExifIfd, 33437);
        CopyNumber(store, kFocalLength, exif, kExifIfd, 37386);
        CopyNumber(store, kMaxAperture, exif, kExifIfd, 37381);
        CopyNumber(store, kShutterSpeed, exif, kExifIfd, 37377);
        CopyInteger(store, kIsoSpeed, exif, kExifIfd, 34855);
        CopyInteger(store, kOrientation, exif, kExifIfd, 274);
        CopyInteger(store, kMeteringMode, exif, kExifIfd, 37383);
        CopyInteger(store, kWhiteBalance, exif, kExifIfd, 41987);
        CopyInteger(store, kLightSource, exif, kExifIfd, 37384);
        CopyNumber(store, kGpsAltitude, exif, kGpsIfd, 6);
        CopyInteger(store, kGpsAltitudeRef, exif, kGpsIfd, 5);
        CopyGpsDate(store, exif);
        CopyPosition(store, kGpsLatitude, exif, 2);
        CopyPosition(store, kGpsLongitude, exif, 4);
        CopyReference(store, kGpsLatitudeRef, exif, 1);
        CopyReference(store, kGpsLongitudeRef, exif, 3);
    }
    return true;
}
