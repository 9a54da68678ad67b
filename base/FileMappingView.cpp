#include "base/FileMappingView.h"

namespace {

int MapFile(const wchar_t* path, const wchar_t* mappingName, FileMappingView* record, DWORD access, DWORD sharing,
            DWORD disposition, DWORD attributes, DWORD protection, DWORD viewAccess, uint64_t size)
{
    if (!record)
        return 0;
    *record = FileMappingView();
    if (!path)
        return 0;
    record->file = CreateFileW(path, access, sharing, nullptr, disposition, attributes, nullptr);
    if (record->file != INVALID_HANDLE_VALUE) {
        record->mapping = CreateFileMappingW(record->file, nullptr, protection, static_cast<DWORD>(size >> 32),
                                             static_cast<DWORD>(size), mappingName);
        if (record->mapping) {
            record->view = MapViewOfFile(record->mapping, viewAccess, 0, 0, static_cast<SIZE_T>(size));
            if (record->view)
                return 1;
        }
    }
    const DWORD error = GetLastError();
    UnmapFileView(record);
    SetLastError(error);
    return 0;
}

}  // namespace

int MapFileForReading(const wchar_t* path, const wchar_t* mappingName, FileMappingView* record)
{
    return MapFile(path, mappingName, record, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY,
                   PAGE_READONLY, FILE_MAP_READ, 0);
}

int MapFileReadWrite(const wchar_t* path, const wchar_t* mappingName, FileMappingView* record,
                     DWORD creationDisposition, uint64_t size)
{
    if (size > SIZE_MAX)
        return 0;
    return MapFile(path, mappingName, record, GENERIC_READ | GENERIC_WRITE, 0, creationDisposition,
                   FILE_ATTRIBUTE_NORMAL, PAGE_READWRITE, FILE_MAP_ALL_ACCESS, size);
}

int UnmapFileView(FileMappingView* record)
{
    if (!record)
        return 1;
    if (record->view)
        UnmapViewOfFile(record->view);
    if (record->mapping)
        CloseHandle(record->mapping);
    if (record->file && record->file != INVALID_HANDLE_VALUE)
        CloseHandle(record->file);
    *record = FileMappingView();
    return 1;
}
