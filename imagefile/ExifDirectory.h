// The EXIF reader of JpegSectionList: walks the TIFF directories of an EXIF APP1 segment and
// fills the list's picture facts (camera, date, exposure, resolution, orientation, comment,
// thumbnail position, GPS texts); the thumbnail and orientation edits that work on the EXIF data
// in place; and ReadExifDateTime, the date a JPEG file's picture was taken.
//
// The EXIF segment's data is laid out as: two length bytes, "Exif" 00 00, then the TIFF header
// ("II" or "MM", 42, the offset of the first directory). Every offset inside is counted from the
// TIFF header and is checked against the data before it is used.
#pragma once

#include "imagefile/JpegSections.h"

#include <windows.h>

#include <cstdint>
#include <ctime>

// Bytes per component of EXIF formats 0..12 (0 for the others).
uint32_t ExifFormatSize(int format);

// Called for an APP1 "Exif" section while reading (data = the section data, length bytes first).
void ParseExifSegment(JpegSectionList& list, uint8_t* data, uint32_t size);
// Walks the directory at `directory` of the TIFF data of `exifLength` bytes at `tiff`.
void WalkExifDirectory(JpegSectionList& list, uint32_t directory, uint8_t* tiff, uint32_t exifLength, int depth);
// The first component of a value as a number; 0 for text, undefined bytes, or a value whose
// `byteCount` is shorter than one component.
double ExifValueAsDouble(const JpegSectionList& list, const uint8_t* value, int format, uint32_t byteCount);

// Numbers in the byte order of the list's EXIF data.
uint16_t GetExifU16(const JpegSectionList& list, const uint8_t* p);
int32_t GetExifS32(const JpegSectionList& list, const uint8_t* p);
uint32_t GetExifU32(const JpegSectionList& list, const uint8_t* p);
void PutExifU16(const JpegSectionList& list, uint8_t* p, uint16_t value);
void PutExifU32(const JpegSectionList& list, uint8_t* p, uint32_t value);
uint16_t GetU16BigEndian(const uint8_t* p);

// The maker note at `value` (an offset from the TIFF header) of `byteCount` bytes; read for
// Canon cameras only.
void ParseMakerNote(JpegSectionList& list, uint32_t value, uint32_t byteCount, uint8_t* tiff, uint32_t exifLength);
void ParseCanonMakerNote(JpegSectionList& list, uint32_t value, uint8_t* tiff, uint32_t exifLength);
void ParseGpsDirectory(JpegSectionList& list, uint32_t directory, uint8_t* tiff, uint32_t exifLength);

// Writes orientation 1 into the remembered orientation entries of the EXIF section; answers
// the name of the orientation that was read, or null when nothing could be written.
const char* ResetExifOrientation(JpegSectionList& list);
// Sets the thumbnail length entries to 0 and answers the EXIF section's size without the
// thumbnail, or 0 when there is no thumbnail at the end of the EXIF data.
uint32_t CutExifThumbnail(JpegSectionList& list);
// Replaces the thumbnail at the end of the EXIF data by the file (null: removes it). 1 done.
int ReplaceExifThumbnail(JpegSectionList& list, const wchar_t* path);
// Writes the thumbnail's bytes to a file. 1 done.
int SaveExifThumbnail(JpegSectionList& list, const wchar_t* path);

// "YYYY:MM:DD HH:MM:SS" (any separators; also "MM.DD.YYYY ...") into the calendar record;
// 0 when fewer than five numbers are found.
int ParseExifDateText(struct tm& calendar, const char* text);
// The date the picture of a JPEG file was taken (its EXIF date), as a FILETIME of that calendar
// time without any time-zone change. False when the file has no usable date.
bool ReadExifDateTime(const wchar_t* path, FILETIME* out);
