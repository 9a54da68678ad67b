// FoundFileRecord: one file listed in the result window, and the utilities on arrays of them:
// sorting by five keys, finding a record by its path, and growing or shrinking an array.
//
// Arrays are either a heap array with a separate count (owned through std::unique_ptr) or a
// vector. Paths compare without regard to case; a path that fills its 260 units without a
// terminator is taken as those 260 units.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct FoundFileRecord {
    wchar_t path[MAX_PATH];
    uint64_t size;           // the low 32 bits of the directory listing's size
    FILETIME lastWrite;
    FILETIME date;           // a JPEG's EXIF date and time when it can be read, else lastWrite
    uint16_t width;          // the picture's full size and depth, filled when its tile is drawn
    uint16_t height;
    uint8_t bitsPerPixel;
    uint8_t type;            // 0 unless a caller sets it; only the sorting reads it
};

// Sort keys.
enum FoundFileSortKey {
    kSortByPath = 0,       // natural order (file9 before file10) on Windows 7 and later
    kSortBySize = 1,
    kSortByLastWrite = 2,
    kSortByDate = 3,
    kSortByTypeThenDate = 4,
};

// Negative, 0 or positive as a sorts before, with or after b by the key (ascending).
// naturalPathOrder: compare paths with digits as numbers, ignoring case (else lstrcmpiW's order).
// An unknown key answers 0.
int CompareFoundFileRecords(const FoundFileRecord& a, const FoundFileRecord& b, int key, bool naturalPathOrder);

// Sorts in place; paths in natural order on Windows 7 and later. A null array, a count of 0 or a
// key outside 0..4 leaves the array as it is.
void SortFoundFileRecords(FoundFileRecord* records, size_t count, int key, bool ascending);

// Removes the record at index: the records after it move up one place and count decreases by
// one; the array keeps its allocation. False for a null array, a count of 0 or an index past
// the last record.
bool RemoveFoundFileRecord(FoundFileRecord* records, size_t index, size_t& count);

// Replaces the array by a new one of count + 1 records with the record copied to the end; count
// increases by one. A null array is taken only with a count of 0. False, with array and count as
// they were, when the new size does not fit or memory runs out.
bool AppendFoundFileRecord(std::unique_ptr<FoundFileRecord[]>& records, const FoundFileRecord& record,
                           size_t& count);

// Replaces the array by a new one of count + extra records: the first count records copied, the
// rest zeroed. A null array is taken only with a count of 0. False, with the array as it was, when
// the new size does not fit or memory runs out.
bool ResizeFoundFileRecords(std::unique_ptr<FoundFileRecord[]>& records, size_t count, size_t extra);

// The first record whose path equals path without regard to case. False when there is none or
// the array or path is null.
bool FindFoundFileRecord(const FoundFileRecord* records, size_t count, const wchar_t* path, size_t& index);
bool FindFoundFileRecordInVector(const std::vector<FoundFileRecord>& records, const wchar_t* path, size_t& index);

constexpr uint32_t kFoundFileRecordNotFound = 0xFFFFFFFF;

// A record whose path equals path (without regard to case), searched linearly up to 500 records
// and in ten interleaved strides beyond, so a record near either end is found early. With several
// equal paths the one found is not necessarily the first. kFoundFileRecordNotFound when absent or
// for a null array, null path or a count of 0.
uint32_t FindFoundFileRecordStrided(const FoundFileRecord* records, uint32_t count, const wchar_t* path);
