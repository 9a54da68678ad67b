// The options of one scan, collected by the start window before the scan window opens and only
// read while a scan runs. They are never stored between runs.
#pragma once
#include <cstdint>

#include "base/NString.h"

struct ScanOptionSet {
    int ScanFromFile = 0;           // 1: scan the image file rather than a drive
    NString ImageFilePath;          // the image file (at most 259 characters)
    wchar_t DriveLetter[2] = {};    // the drive letter and a NUL
    int ScanMethodIndex = 0;        // the chosen preset; the scan itself does not read it
    int SearchFilter1 = 1;          // format groups 1 to 4 enabled
    int SearchFilter2 = 0;
    int SearchFilter3 = 0;
    int SearchFilter4 = 0;
    int FileSizeOn = 0;             // minimum-file-size filter and its index 0..6
    int FileSizeIndex = 0;
    int PhotoSizeOn = 0;            // minimum-picture-size filter and its index 0..4
    int PhotoSizeIndex = 0;
    int ChunkSizeOn = 0;            // chunk-size choice and its index 0..10
    int ChunkSizeIndex = 0;
};

// The process-wide options.
extern ScanOptionSet ScanOptions;

// Bits of the enabled format groups: bit 0 is group 1 ... bit 3 group 4.
unsigned ScanGroupMask(const ScanOptionSet& options);

// The chunk-size factor: the table's entry for an index 0..10 when the choice is on, else 6.
// A chunk is factor x sector size x 10240 bytes.
uint32_t ChunkFactor(int chunkSizeOn, int chunkSizeIndex);
// factor x sector size x 10240, or 0 when that does not fit 32 bits or the sector size is 0.
uint32_t ChunkSizeBytes(uint32_t factor, uint32_t sectorSize);

// Minimum consumed length of a kept candidate for a file-size index 0..6; 0 (everything passes)
// for any other index.
uint64_t MinimumFileSize(int fileSizeIndex);
// Minimum picture side for a picture-size index 0..4; 0 (everything passes) for any other index.
uint32_t MinimumPictureSide(int photoSizeIndex);
