#include "imagefile/formats/NImageFilePLUGIN.h"

#include <windows.h>
#include <shlwapi.h>

#include <libexif/exif-utils.h>

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/ScopedFile.h"
#include "base/Utf8.h"
#include "imagefile/PlugInHost.h"

namespace {

constexpr int kMaxExtension = 15;
constexpr int kExifTextBytes = 128;

constexpr int kIfdMain = 0;
constexpr int kIfdExif = 2;
constexpr int kIfdGps = 3;

// The text of a fixed field, which a DLL may have filled to its last unit.
template <size_t N>
NString FieldText(const wchar_t (&field)[N])
{
    return NString(std::wstring(field, wcsnlen(field, N)).c_str());
}

// The field's text in the ANSI code page, at most kExifTextBytes bytes with its NUL.
template <size_t N>
std::string AnsiText(const wchar_t (&field)[N])
{
    std::string text = AnsiFromWide(field, wcsnlen(field, N));
    if (text.size() > kExifTextBytes - 1)
        text.resize(kExifTextBytes - 1);
    return text;
}

// The extension after the path's last '.', cut to 15 characters; false without a '.'.
bool PathExtension(const wchar_t* path, NString& extension)
{
    if (!path)
        return false;
    const wchar_t* dot = wcsrchr(path, L'.');
    if (!dot)
        return false;
    extension = NString(std::wstring(dot + 1, wcsnlen(dot + 1, kMaxExtension)).c_str());
    extension.MakeLower();
    return true;
}

// A GPS coordinate as degrees, minutes and seconds: three unsigned rationals in the EXIF
// data's byte order.
void WriteGpsCoordinate(NExifHolder& exif, int tag, double value)
{
    ExifEntry* entry = exif.AddUndefinedTag(kIfdGps, tag, 3 * 8);
    if (!entry || !entry->data || entry->size < 3 * 8)
        return;
    entry->format = EXIF_FORMAT_RATIONAL;
    entry->components = 3;
    const ExifByteOrder order = exif_data_get_byte_order(exif.data);
    const double magnitude = std::fabs(value);
    const double degrees = std::trunc(magnitude);
    const double minutesExact = (magnitude - degrees) * 60.0;
    const double minutes = std::trunc(minutesExact);
    const ExifRational parts[3] = {
        {static_cast<ExifLong>(degrees), 1},
        {static_cast<ExifLong>(minutes), 1},
        ExifRationalFromDouble((minutesExact - minutes) * 60.0),
    };
    for (int i = 0; i < 3; ++i)
        exif_set_rational(entry->data + i * 8, order, parts[i]);
}

// The plug-in's camera data as fresh EXIF data.
void BuildCameraExif(NExifHolder& exif, const PlugInFormatInfo& info)
{
    if (!exif.Reset())
        return;
    exif.SetTagText(AnsiText(info.cameraMake).c_str(), kIfdMain, 271);
    exif.SetTagText(AnsiText(info.cameraModel).c_str(), kIfdMain, 272);
    if (wcsnlen(info.date, 32) > 1) {
        const std::string date = AnsiText(info.date);
        exif.SetTagText(date.c_str(), kIfdMain, 306);
        exif.SetTagText(date.c_str(), kIfdExif, 36867);
        exif.SetTagText(date.c_str(), kIfdExif, 36868);
    }
    exif.SetTagDouble(info.apertureValue, kIfdExif, 37378);
    exif.SetTagDouble(info.focalLength, kIfdExif, 37386);
    exif.SetTagDouble(info.shutterSpeedValue, kIfdExif, 37377);
    exif.SetTagDouble(info.isoSpeed, kIfdExif, 34855);
    exif.SetTagDouble(info.exposureTime, kIfdExif, 33434);
    exif.SetTagDouble(info.fNumber, kIfdExif, 33437);
    exif.SetTagInt(info.whiteBalance, kIfdExif, 41987);
    exif.SetTagInt(info.flash, kIfdExif, 37385);
    exif.SetTagInt(info.lightSource, kIfdExif, 37384);
    exif.SetTagInt(info.meteringMode, kIfdExif, 37383);

    // A position needs both coordinates; one that is not a number names no place.
    const double latitude = info.latitude;
    const double longitude = info.longitude;
    if (latitude != 0 && longitude != 0 && std::isfinite(latitude) && std::isfinite(longitude)) {
        WriteGpsCoordinate(exif, 2, latitude);
        WriteGpsCoordinate(exif, 4, longitude);
        exif.SetTagText(info.latitudeSouth ? "S" : "N", kIfdGps, 1);
        exif.SetTagText(info.longitudeWest ? "W" : "E", kIfdGps, 3);
    }
}

uint64_t FileSize(const wchar_t* path)
{
    const ScopedFile file(path, L"rb");
    const int64_t size = file.Length();
    return size > 0 ? static_cast<uint64_t>(size) : 0;
}

bool DllExists(const NString& dllPath)
{
    return !dllPath.IsEmpty() && PathFileExistsW(dllPath.c_str());
}

}  // namespace

bool NImageFilePLUGIN::IsFormat(const uint8_t*, uint64_t, uint64_t)
{
    return false;
}

FileType NImageFilePLUGIN::GetFormatId() const
{
    return FT_PLUGIN;
}

bool NImageFilePLUGIN::IsHighDynamicRange() const
{
    return highDynamicRange != 0;
}

NRESULT NImageFilePLUGIN::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    SetFileName(path);
    if (!path)
        return NR_FILE_NOT_FOUND;
    if (!DllExists(loadOptions.plugInPath))
        return NR_PLUGIN_MISSING;
    ScopedPlugIn plugIn;
    if (!plugIn.Load(loadOptions.plugInPath.c_str()))
        return NR_PLUGIN_INIT_FAILED;
    PlugInRecord& record = plugIn.Record();
    if (!record.canRead)
        return NR_FORMAT_NOT_SUPPORTED;

    NRESULT status = DecodeWithPlugIn(record, path, target ? target : &picture, preview != 0, quick != 0,
                                      loadOptions.toneParameter, loadOptions.plugInFlag);

    const PlugInFormatInfo& info = record.formatInfo;
    metadata.make = FieldText(info.cameraMake);
    metadata.model = FieldText(info.cameraModel);
    metadata.date = FieldText(info.date);
    metadata.comment = FieldText(info.comment);
    highDynamicRange = info.highDynamicRange ? 1 : 0;
    if (info.hasCameraData)
        BuildCameraExif(metadata.exif, info);

    fullWidth = info.width;
    fullHeight = info.height;
    consumedSize = FileSize(path);
    return status;
}

NRESULT NImageFilePLUGIN::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* image = source ? source : &picture;
    if (!image->valid)
        return NR_PICTURE_NOT_VALID;
    if (!DllExists(saveOptions.plugInPath))
        return NR_PLUGIN_MISSING;
    ScopedPlugIn plugIn;
    if (!plugIn.Load(saveOptions.plugInPath.c_str()))
        return NR_PLUGIN_INIT_FAILED;
    if (!plugIn.Record().canWrite)
        return NR_FORMAT_NOT_SUPPORTED;
    return EncodeWithPlugIn(plugIn.Record(), path, image, 0);
}

namespace {

// The plug-in that handles the path's extension for reading or writing, and its DLL's path;
// false when none does.
bool FindPlugInForPath(const wchar_t* path, bool writing, int& index, NString& dllPath)
{
    NString extension;
    if (!PathExtension(path, extension))
        return false;
    index = FindPlugInForExtension(extension.c_str(), writing);
    const PlugInRecord* record = PlugInAt(index);
    if (!record)
        return false;
    dllPath = FieldText(record->path);
    return true;
}

}  // namespace

NImageFilePLUGIN* CreatePlugInReader(const wchar_t* path, ImageLoadOptions* options)
{
    NImageFilePLUGIN* file = new NImageFilePLUGIN();
    int index = 0;
    NString dllPath;
    if (!FindPlugInForPath(path, false, index, dllPath))
        return file;
    if (options) {
        options->plugInPath = dllPath;
    } else {
        ImageLoadOptions own;
        own.backgroundColour = 0;
        own.plugInPath = dllPath;
        file->SetLoadOptions(&own);
    }
    SetCurrentPlugInIndex(index);
    return file;
}

NImageFilePLUGIN* CreatePlugInWriter(const wchar_t* path, ImageSaveOptions* options)
{
    NImageFilePLUGIN* file = new NImageFilePLUGIN();
    int index = 0;
    NString dllPath;
    if (!FindPlugInForPath(path, true, index, dllPath))
        return file;
    if (options) {
        options->plugInPath = dllPath;
    } else {
        ImageSaveOptions own;
        own.plugInPath = dllPath;
        file->SetSaveOptions(&own);
    }
    SetCurrentPlugInIndex(index);
    return file;
}
