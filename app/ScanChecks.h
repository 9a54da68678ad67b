// The signature checks of the scan's four format groups, in the fixed order in which they are
// tried at every byte offset, and the hits of one offset.
//
//   group 1: JPEG, PNG, GIF, TIFF, PDF
//   group 2: camera raw data
//   group 3: WebP, JPEG XR, JPEG 2000, HEIC
//   group 4: document, BMP, PSD, JNG, MNG, Amiga IFF, Radiance HDR, PhotoCD, FLT, DCX, ICO
#pragma once
#include <cstddef>
#include <cstdint>

#include "imagefile/FormatRegistry.h"
#include "imagefile/PictureExtent.h"

using ScanCheckFunction = bool (*)(const uint8_t* buffer, size_t offset, size_t length);
using ScanExtentFunction = PictureExtent (*)(ByteSource& source);

struct ScanCheck {
    int group;                 // 1..4
    FileType type;             // what a hit yields
    ScanCheckFunction check;
    ScanExtentFunction extent; // where a picture of the type ends; null: not known
};

inline constexpr int kScanCheckCount = 21;
// The checks in their order (group by group).
const ScanCheck* ScanChecks();

// Group bits as in ScanGroupMask: bit 0 is group 1.
inline constexpr unsigned kAllScanGroups = 0xFu;

// The walk that measures a candidate of the type (see PictureExtent.h); null when the type has
// none, its candidates then keep the length of one read block.
ScanExtentFunction ScanExtentOf(FileType type);

// Runs every check of the enabled groups at the offset and writes the type of each that answers
// true, in order, to hits (room for kScanCheckCount). Answers the number of hits. A camera-raw hit
// is dropped where the TIFF check of group 1 answered at the same offset: it is the same data,
// already taken as a TIFF picture.
int CollectScanHits(const uint8_t* buffer, size_t offset, size_t length, unsigned groupMask, FileType* hits);
