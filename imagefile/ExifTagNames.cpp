#include "imagefile/ExifTagNames.h"

#include <algorithm>
#include <iterator>

#include "base/TextSource.h"
#include "imagefile/LibraryTexts.h"

namespace {

struct ExifTagKey {
    int32_t tag;
    const wchar_t* key;
};

// Sorted by tag number.
constexpr ExifTagKey kTagKeys[] = {
    {0, L"GPSVersionID"},
    {1, L"GPSLatitudeRef"},
    {2, L"GPSLatitude"},
    {3, L"GPSLongitudeRef"},
    {4, L"GPSLongitude"},
    {5, L"GPSAltitudeRef"},
    {6, L"GPSAltitude"},
    {7, L"GPSTimeStamp"},
    {8, L"GPSSatellites"},
    {9, L"GPSStatus"},
    {10, L"GPSMeasureMode"},
    {11, L"GPSDOP"},
    {12, L"GPSSpeedRef"},
    {13, L"GPSSpeed"},
    {14, L"GPSTrackRef"},
    {15, L"GPSTrack"},
    {16, L"GPSImgDirectionRef"},
    {17, L"GPSImgDirection"},
    {18, L"GPSMapDatum"},
    {19, L"GPSDestLatitudeRef"},
    {20, L"GPSDestLatitude"},
    {21, L"GPSDestLongitudeRef"},
    {22, L"GPSDestLongitude"},
    {23, L"GPSDestBearingRef"},
    {24, L"GPSDestBearing"},
    {25, L"GPSDestDistanceRef"},
    {26, L"GPSDestDistance"},
    {27, L"GPSProcessingMethod"},
    {28, L"GPSAreaInformation"},
    {29, L"GPSDateStamp"},
    {30, L"GPSDifferential"},
    {256, L"ImageWidth"},
    {257, L"ImageLength"},
    {258, L"BitsPerSample"},
    {259, L"Compression"},
    {262, L"PhotometricInterpretation"},
    {266, L"FillOrder"},
    {269, L"DocumentName"},
    {270, L"ImageDescription"},
    {271, L"Make"},
    {272, L"Model"},
    {274, L"Orientation"},
    {277, L"SamplesPerPixel"},
    {282, L"XResolution"},
    {283, L"YResolution"},
    {296, L"ResolutionUnit"},
    {305, L"Software"},
    {306, L"DateTime"},
    {315, L"Artist"},
    {33423, L"BatteryLevel"},
    {33432, L"Copyright"},
    {33434, L"ExposureTime"},
    {33437, L"FNumber"},
    {34850, L"ExposureProgram"},
    {34852, L"SpectralSensitivity"},
    {34855, L"ISOSpeedRatings"},
    {34858, L"TimeZoneOffset"},
    {36867, L"DateTimeOriginal"},
    {36868, L"DateTimeDigitized"},
    {37377, L"ShutterSpeedValue"},
    {37378, L"ApertureValue"},
    {37379, L"BrightnessValue"},
    {37380, L"ExposureBiasValue"},
    {37381, L"MaxApertureValue"},
    {37382, L"SubjectDistance"},
    {37383, L"MeteringMode"},
    {37384, L"LightSource"},
    {37385, L"Flash"},
    {37386, L"FocalLength"},
    {37396, L"SubjectArea"},
    {37500, L"MakerNote"},
    {37510, L"UserComment"},
    {40091, L"XPTitle"},
    {40092, L"XPComment"},
    {40093, L"XPAuthor"},
    {40094, L"XPKeywords"},
    {40095, L"XPSubject"},
    {40962, L"PixelXDimension"},
    {40963, L"PixelYDimension"},
    {40964, L"RelatedSoundFile"},
    {41483, L"FlashEnergy"},
    {41484, L"SpatialFrequencyResponse"},
    {41486, L"FocalPlaneXResolution"},
    {41487, L"FocalPlaneYResolution"},
    {41488, L"FocalPlaneResolutionUnit"},
    {41492, L"SubjectLocation"},
    {41493, L"ExposureIndex"},
    {41495, L"SensingMethod"},
    {41729, L"SceneType"},
    {41985, L"CustomRendered"},
    {41986, L"ExposureMode"},
    {41987, L"WhiteBalance"},
    {41988, L"DigitalZoomRatio"},
    {41990, L"SceneCaptureType"},
    {41991, L"GainControl"},
    {41992, L"Contrast"},
    {41993, L"Saturation"},
    {41994, L"Sharpness"},
    {41995, L"DeviceSettingDescription"},
    {41996, L"SubjectDistanceRange"},
    {42016, L"ImageUniqueID"},
    {42240, L"Gamma"},
};
static_assert(std::size(kTagKeys) == 102);
static_assert(std::is_sorted(std::begin(kTagKeys), std::end(kTagKeys),
                             [](const ExifTagKey& a, const ExifTagKey& b) { return a.tag < b.tag; }));

constexpr wchar_t kUnknown[] = L"Unknown";

}  // namespace

const wchar_t* GetExifTagKey(int32_t tag)
{
    const ExifTagKey* end = std::end(kTagKeys);
    const ExifTagKey* found =
        std::lower_bound(std::begin(kTagKeys), end, tag, [](const ExifTagKey& row, int32_t t) { return row.tag < t; });
    return found != end && found->tag == tag ? found->key : nullptr;
}

bool GetExifTagDisplayName(NString& text, int32_t tag, const NTextSource* texts)
{
    if (!texts)
        return false;
    const wchar_t* key = GetExifTagKey(tag);
    if (!key) {
        text = kUnknown;
        return false;
    }
    text = texts->GetText(L"EXIF", key);
    // A file without the text must not leave the caller with an empty name that it takes as a
    // translation: the standard name is shown instead.
    if (text.IsEmpty()) {
        text = key;
        return false;
    }
    return text.Compare(kUnknown) != 0;
}

bool GetExifTagDisplayName(NString& text, int32_t tag)
{
    return GetExifTagDisplayName(text, tag, GetLibraryTextSource());
}
