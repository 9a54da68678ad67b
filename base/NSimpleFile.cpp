#include "base/NSimpleFile.h"

#include "base/SystemOwners.h"

#include <cstdint>

NSimpleFile::~NSimpleFile()
{
    Close();
}

bool NSimpleFile::Open(const wchar_t* path, DWORD desiredAccess, DWORD creationDisposition,
                       DWORD flagsAndAttributes)
{
    if (m_handle)
        return false;
    // A failed open keeps INVALID_HANDLE_VALUE here, so the object refuses to open again
    // until Close.
    m_handle = CreateFileW(path, desiredAccess, FILE_SHARE_READ, nullptr, creationDisposition, flagsAndAttributes,
                           nullptr);
    return m_handle != INVALID_HANDLE_VALUE;
}

bool NSimpleFile::OpenRead(const wchar_t* path)
{
    return Open(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY);
}

bool NSimpleFile::OpenWrite(const wchar_t* path)
{
    return Open(path, GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
}

bool NSimpleFile::Close()
{
    if (!m_handle)
        return false;
    if (m_mapped)
        Unmap();
    // INVALID_HANDLE_VALUE (left by a failed open) is the current-process pseudo-handle: not closed.
    const bool closed = m_handle != INVALID_HANDLE_VALUE && CloseHandle(m_handle);
    m_handle = nullptr;
    return closed;
}

DWORD NSimpleFile::Read(void* buffer, DWORD count)
{
    DWORD got = 0;
    if (!HasHandle() || m_mapped || !ReadFile(m_handle, buffer, count, &got, nullptr))
        return 0;
    return got;
}

DWORD NSimpleFile::Write(const void* buffer, DWORD count)
{
    DWORD written = 0;
    if (!HasHandle() || m_mapped || !WriteFile(m_handle, buffer, count, &written, nullptr))
        return 0;
    return written;
}

DWORD NSimpleFile::Seek(LONG distance, DWORD moveMethod)
{
    if (!HasHandle() || m_mapped)
        return 0;
    // The high part carries the sign, so a negative distance moves backwards.
    LONG high = distance < 0 ? -1 : 0;
    return SetFilePointer(m_handle, distance, &high, moveMethod);
}

DWORD NSimpleFile::GetSize()
{
    if (!HasHandle() || m_mapped)
        return 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_handle, &size) || size.QuadPart >= static_cast<LONGLONG>(INVALID_FILE_SIZE))
        return INVALID_FILE_SIZE;
    return static_cast<DWORD>(size.QuadPart);
}

bool NSimpleFile::Map()
{
    if (!HasHandle() || m_mapped)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_handle, &size) || size.QuadPart == 0 ||
        static_cast<uint64_t>(size.QuadPart) > SIZE_MAX)
        return false;
    // The mapping and the view cover the whole file, whatever its size.
    const KernelHandleOwner mapping(CreateFileMappingW(m_handle, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return false;
    const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);   // keeps the mapping alive
    if (!view)
        return false;
    m_view = view;
    m_viewSize = static_cast<size_t>(size.QuadPart);
    m_mapped = true;
    return true;
}

bool NSimpleFile::Unmap()
{
    if (!HasHandle() || !m_mapped)
        return false;
    m_mapped = false;
    const void* view = m_view;
    m_view = nullptr;
    m_viewSize = 0;
    return UnmapViewOfFile(view) != FALSE;
}
