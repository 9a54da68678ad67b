// ShellExif: EXIF data for a picture that Windows decoded, built from what the shell property
// system knows about its file (size and resolution of the decoded picture, date taken, camera,
// exposure and GPS position).
#pragma once

struct IPropertyStore;
class NImageBuffer;
struct ImageMetadata;

// Opens the file's property store and hands it to ExifFromPropertyStore. False only for a null
// target; true (target unchanged) also when the shell has no store for the file.
bool ExifFromShellProperties(const wchar_t* path, const NImageBuffer* picture, ImageMetadata* target);

// Replaces the target's EXIF data by new data made from the store's values. IFD 0: resolution and
// size of the picture (when one is given), orientation 1, make and model, the date. The date
// taken goes to DateTime, DateTimeOriginal and DateTimeDigitized in local time; when the store
// has no date taken, the file's last-write time is used instead and no camera or GPS value is
// written; when asking for it fails, no date, camera or GPS value is written. Values the store
// does not hold (empty, or of a type that holds no number or text) are skipped; rationals keep
// their fractions. False only for a null target.
bool ExifFromPropertyStore(IPropertyStore* store, const wchar_t* path, const NImageBuffer* picture,
                           ImageMetadata* target);
