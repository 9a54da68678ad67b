// NSimpleFile: a plain file handle with presets for reading and writing, 32-bit positioning and a
// read-only mapping of the whole file. Failures answer false or 0; nothing is logged.
#pragma once

#include <windows.h>

#include <cstddef>

class NSimpleFile {
public:
    NSimpleFile() noexcept = default;
    ~NSimpleFile();
    NSimpleFile(const NSimpleFile&) = delete;
    NSimpleFile& operator=(const NSimpleFile&) = delete;

    // CreateFileW with FILE_SHARE_READ. False at once while the object holds a handle, and also
    // after a failed open until Close has run.
    bool Open(const wchar_t* path, DWORD desiredAccess, DWORD creationDisposition, DWORD flagsAndAttributes);
    bool OpenRead(const wchar_t* path);   // GENERIC_READ, an existing file
    bool OpenWrite(const wchar_t* path);  // GENERIC_WRITE, created when missing, kept otherwise
    bool Close();                         // unmaps first; false when nothing was open

    // Read, Write, Seek and GetSize answer 0 without a handle and while mapped.
    DWORD Read(void* buffer, DWORD count);
    DWORD Write(const void* buffer, DWORD count);
    // A signed move (negative moves back). Answers the low 32 bits of the new position, or
    // INVALID_SET_FILE_POINTER on failure.
    DWORD Seek(LONG distance, DWORD moveMethod);
    // The file size; INVALID_FILE_SIZE on failure and for files of 4 GiB or more.
    DWORD GetSize();

    // Maps the whole (non-empty) file read-only.
    bool Map();
    bool Unmap();
    bool IsMapped() const { return m_mapped; }
    const void* GetView() const { return m_mapped ? m_view : nullptr; }
    size_t GetViewSize() const { return m_mapped ? m_viewSize : 0; }

private:
    bool HasHandle() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }

    HANDLE m_handle = nullptr;
    bool m_mapped = false;
    const void* m_view = nullptr;
    size_t m_viewSize = 0;
};
