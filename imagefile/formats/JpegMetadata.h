// The metadata of JPEG files: EXIF read from the file (with the texts a preview takes from it),
// the comment, XMP and ICC profile markers the decoder kept, and the EXIF and IPTC blocks a save
// writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <lcms2.h>
#include <libexif/exif-data.h>

#include "imagefile/ImageMetadata.h"
#include "imaging/NImageBuffer.h"
#include "imagefile/formats/JpegLib.h"

// ---- EXIF ----

// True when libexif found an EXIF block with any content.
bool ExifHasContent(const ExifData* data);
// libexif's loader fed from a file opened by its wide name, so that EXIF is found whatever
// characters the path holds. Null when the file does not open or holds no EXIF block.
ExifData* ReadJpegExif(const wchar_t* path);
// Orientation 1 to 8 from tag 274 of the main directory; 1 when it is absent or not a SHORT.
int JpegExifOrientation(ExifData* data);
// The resolution, make, model and date texts that a preview load takes from EXIF (the date
// from the file's last-write time when EXIF has none).
void ReadPreviewExifTexts(ImageMetadata& metadata, const wchar_t* path);

// ---- Markers kept by the decoder ----

// The COM markers joined, as UTF-16 from the ANSI code page.
void ReadJpegComments(jpeg_decompress_struct& cinfo, ImageMetadata& metadata);
// The packet of the last XMP APP1 marker, up to its first zero byte.
void ReadJpegXmp(jpeg_decompress_struct& cinfo, ImageMetadata& metadata);
// Joins the profile chunks of the APP2 markers in sequence order. Null (nothing allocated) when
// the chunks disagree on their count, a number is 0, too large or repeated, one is missing, or
// they hold no bytes. The caller frees the block with free().
uint8_t* ReadJpegIccProfile(jpeg_decompress_struct& cinfo, size_t& profileLength);
// A transform, made in the context (IccContext), from the profile's space to sRGB for the
// decoder's output; null when the profile does not open, does not describe that output or would
// take more than the context allows.
cmsHTRANSFORM CreateJpegProfileTransform(cmsContext context, const uint8_t* profile, size_t length,
                                         J_COLOR_SPACE outputSpace);

// ---- Saving ----

// Brings the EXIF data up to date for a save of the picture: a camera's tags are kept, but
// resolution, size and orientation describe this picture and the thumbnail goes; without EXIF
// it is made anew with this library's maker, software and date.
void UpdateExifForSave(NExifHolder& exif, const NImageBuffer& picture);
// The IPTC data in a Photoshop image-resource block; empty without IPTC data. False when the
// data does not fit a block.
bool MakePhotoshopIptcBlock(NIptcHolder& iptc, std::vector<uint8_t>& block);
