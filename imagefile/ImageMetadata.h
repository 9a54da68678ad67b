// ImageMetadata: what a picture file says about its picture besides the pixels (descriptive
// texts, resolution, EXIF, IPTC and XMP). Every format object carries one; readers fill it,
// writers take what their format can hold.
#pragma once

#include "base/NString.h"

#include <libexif/exif-data.h>
#include <libiptcdata/iptc-data.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Owns libexif data. Directories are libexif's indexes: 0 main, 1 thumbnail, 2 EXIF, 3 GPS,
// 4 interoperability. `hasExif` says the data holds something usable; `data` may be set while
// the flag is clear (data that was read and found empty is kept).
class NExifHolder {
public:
    NExifHolder() = default;
    ~NExifHolder();
    NExifHolder(const NExifHolder&) = delete;
    NExifHolder& operator=(const NExifHolder&) = delete;

    // Sets the tag's value from text, creating the entry (with libexif's standard format for
    // the tag) when it is missing. Numeric entries take one value per component, separated by
    // single spaces; rationals keep only the whole part (72.5 becomes 72/1). False when there
    // is no data, memory runs out, or the text holds fewer values than the entry needs.
    bool SetTagText(const char* text, int ifd, int tag);
    bool SetTagInt(int32_t value, int ifd, int tag);       // decimal text, then SetTagText
    bool SetTagDouble(double value, int ifd, int tag);     // 10 significant digits, then SetTagText
    // RATIONAL and SRATIONAL entries as a number (0 for a zero denominator); other formats
    // leave `value` unchanged. False when the tag is absent.
    bool GetTagDouble(double& value, int ifd, int tag) const;
    // False when the directory held no such entry.
    bool RemoveTag(int ifd, int tag);
    // Removes the GPS tags 0 to 30 from the GPS directory. Always true.
    bool RemoveGpsTags();
    // A new UNDEFINED entry of `byteCount` zeroed bytes, replacing any entry of that tag; the
    // directory owns it, the caller fills its value. Null when there is no data or no memory.
    ExifEntry* AddUndefinedTag(int ifd, int tag, uint32_t byteCount);
    // Parses an EXIF block (with or without the "Exif\0\0" header) into the data. True when a
    // thumbnail or any entry resulted; otherwise the flag is cleared.
    bool LoadFromBytes(const uint8_t* bytes, size_t length);
    // Fresh, empty data; false (flag clear, no data) when it cannot be made.
    bool Reset();
    // Releases the data and clears the flag.
    void Release();

    uint8_t hasExif = 0;
    ExifData* data = nullptr;
};

// Owns libiptcdata data.
class NIptcHolder {
public:
    NIptcHolder() = default;
    ~NIptcHolder();
    NIptcHolder(const NIptcHolder&) = delete;
    NIptcHolder& operator=(const NIptcHolder&) = delete;

    // Replaces the data by the IPTC record of the JPEG file's Photoshop block. False when the
    // file does not open or holds no IPTC record; parse errors are reported on stderr.
    bool LoadFromJpeg(const wchar_t* path);
    void Release();

    uint8_t hasIptc = 0;
    IptcData* data = nullptr;
};

// value as numerator / 1000000 for magnitudes that fit (the sign is dropped); larger
// magnitudes use a smaller power of ten as denominator so the numerator fits 32 bits, and
// values beyond 4294967295 saturate. Not-a-number and infinities give 0/1.
ExifRational ExifRationalFromDouble(double value);

// The date and time as EXIF writes them: "year:month:day hour:minute:second".
std::string ExifDateTimeText(int year, int month, int day, int hour, int minute, int second);
// The local time now in that form.
std::string ExifDateTimeNow();

// For a picture being written: removes the tags that describe the picture as it was taken
// (resolution, its unit, orientation)...
void RemovePictureLayoutTags(NExifHolder& exif);
// ...and sets them for the picture written: dpi in dots per inch, the size, orientation 1.
void SetPictureLayoutTags(NExifHolder& exif, int dpiX, int dpiY, int width, int height);
// Makes the data anew as this library writes it: its maker, the software named and the date now.
// False when the data cannot be made.
bool ResetExifForWriter(NExifHolder& exif, const char* software);

struct ImageMetadata {
    NString make;          // camera make, or the software that made the file
    NString model;
    NString date;          // as the reader found it (EXIF form year:month:day hh:mm:ss, ...)
    NString comment;       // comment, description or title
    NString artist;
    int32_t resolutionX = 96;   // dots per inch
    int32_t resolutionY = 96;
    NExifHolder exif;
    NIptcHolder iptc;
    std::string xmp;       // the XMP packet as found in the file (8-bit text)
};
