// A whole file mapped into memory: the record and the functions that fill and release it.
#pragma once

#include <windows.h>

#include <cstdint>

struct FileMappingView {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    void* view = nullptr;
};

// Maps the whole file read-only (opened for reading, others may read). Answers 1 with the three
// fields filled, or 0 with every handle obtained closed and the record reset (an empty or missing
// file answers 0). The size of the data is the size of the file handle.
int MapFileForReading(const wchar_t* path, const wchar_t* mappingName, FileMappingView* record);

// Maps `size` bytes for reading and writing (0: the whole file), with the given creation
// disposition and no sharing. Answers 1 or 0 like MapFileForReading.
int MapFileReadWrite(const wchar_t* path, const wchar_t* mappingName, FileMappingView* record,
                     DWORD creationDisposition, uint64_t size);

// Unmaps the view and closes both handles, each only when held, and resets the record, so a second
// call does nothing. Always answers 1.
int UnmapFileView(FileMappingView* record);
