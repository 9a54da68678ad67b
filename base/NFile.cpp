#include "base/NFile.h"

#include <cwchar>

namespace {

DWORD AccessFor(unsigned mode)
{
    switch (mode & 0x3) {
    case 0: return GENERIC_READ;
    case 1: return GENERIC_WRITE;
    case 2: return GENERIC_READ | GENERIC_WRITE;
    default: return 0;
    }
}

DWORD SharingFor(unsigned mode)
{
    switch (mode & 0x70) {
    case 0x20: return FILE_SHARE_READ;
    case 0x30: return FILE_SHARE_WRITE;
    case 0x40: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;
    }
}

DWORD DispositionFor(unsigned mode)
{
    if (!(mode & NFile::modeCreate))
        return OPEN_EXISTING;
    return (mode & NFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

DWORD FlagsFor(unsigned mode)
{
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (mode & NFile::flagNoBuffering)
        flags |= FILE_FLAG_NO_BUFFERING;
    if (mode & NFile::flagWriteThrough)
        flags |= FILE_FLAG_WRITE_THROUGH;
    if (mode & NFile::flagRandomAccess)
        flags |= FILE_FLAG_RANDOM_ACCESS;
    if (mode & NFile::flagSequentialScan)
        flags |= FILE_FLAG_SEQUENTIAL_SCAN;
    return flags;
}

bool FitsPathField(const wchar_t* path)
{
    return path && *path && std::wcslen(path) <= static_cast<size_t>(NFile::maxPathUnits);
}

DWORD Low(uint64_t v) { return static_cast<DWORD>(v & 0xFFFFFFFFu); }
DWORD High(uint64_t v) { return static_cast<DWORD>(v >> 32); }

}  // namespace

NFile::NFile() noexcept
    : m_handle(INVALID_HANDLE_VALUE), m_open(false), m_ownsHandle(false), m_path{}
{
}

NFile::NFile(HANDLE handle) noexcept
    : m_handle(handle), m_open(true), m_ownsHandle(false), m_path{}
{
}

NFile::NFile(const wchar_t* path, unsigned mode) : NFile()
{
    Open(path, mode);
}

NFile::~NFile()
{
    if (m_handle != INVALID_HANDLE_VALUE && m_ownsHandle)
        Close();
}

bool NFile::Open(const wchar_t* path, unsigned mode)
{
    if (m_open)
        return false;
    m_ownsHandle = false;
    m_handle = INVALID_HANDLE_VALUE;
    // The stored path is what Rename and Remove act on, so a path that does not fit is refused
    // rather than cut (a cut path would name another file).
    if (!FitsPathField(path)) {
        m_path[0] = L'\0';
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wcscpy(m_path, path);

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE h = CreateFileW(path, AccessFor(mode), SharingFor(mode), (mode & modeNoInherit) ? nullptr : &inherit,
                           DispositionFor(mode), FlagsFor(mode), nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_handle = h;
    m_open = true;
    m_ownsHandle = true;
    return true;
}

void NFile::Close()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_ownsHandle = false;
    m_path[0] = L'\0';
}

bool NFile::Abort()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_path[0] = L'\0';
    return true;
}

bool NFile::Flush()
{
    if (!Usable())
        return false;
    return FlushFileBuffers(m_handle) != FALSE;
}

DWORD NFile::Read(void* buffer, DWORD count)
{
    if (!Usable() || count == 0 || !buffer)
        return 0;
    DWORD got = 0;
    if (!ReadFile(m_handle, buffer, count, &got, nullptr))
        return 0;
    return got;
}

bool NFile::Write(const void* buffer, DWORD count)
{
    if (!Usable() || count == 0 || !buffer)
        return false;
    DWORD written = 0;
    return WriteFile(m_handle, buffer, count, &written, nullptr) && written == count;
}

// Open (or attached) and holding a handle. Closed and aborted objects pass the open test but
// hold none; INVALID_HANDLE_VALUE is also the current-process pseudo-handle, so it never reaches
// a system call.
bool NFile::Usable() const
{
    if (m_open && m_handle != INVALID_HANDLE_VALUE)
        return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

bool NFile::ReadExact(void* buffer, DWORD count)
{
    return Read(buffer, count) == count;
}

uint8_t NFile::ReadByte()
{
    uint8_t b[1];
    return ReadExact(b, 1) ? b[0] : 0;
}

uint16_t NFile::ReadWord()
{
    uint8_t b[2];
    return ReadExact(b, 2) ? static_cast<uint16_t>(b[0] | (b[1] << 8)) : 0;
}

uint32_t NFile::ReadDword()
{
    uint8_t b[4];
    if (!ReadExact(b, 4))
        return 0;
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

uint64_t NFile::ReadQword()
{
    uint8_t b[8];
    if (!ReadExact(b, 8))
        return 0;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | b[i];
    return v;
}

uint16_t NFile::ReadWordBE()
{
    uint8_t b[2];
    return ReadExact(b, 2) ? static_cast<uint16_t>((b[0] << 8) | b[1]) : 0;
}

uint32_t NFile::ReadDwordBE()
{
    uint8_t b[4];
    if (!ReadExact(b, 4))
        return 0;
    return (static_cast<uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

bool NFile::WriteByte(unsigned value)
{
    const uint8_t b[1] = {static_cast<uint8_t>(value)};
    return Write(b, 1);
}

bool NFile::WriteWord(unsigned value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Write(b, 2);
}

bool NFile::WriteDword(uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(b, 4);
}

bool NFile::WriteQword(uint64_t value)
{
    uint8_t b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<uint8_t>(value >> (8 * i));
    return Write(b, 8);
}

bool NFile::WriteWordBE(unsigned value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return Write(b, 2);
}

bool NFile::WriteDwordBE(uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return Write(b, 4);
}

bool NFile::MoveTo(int64_t distance, DWORD origin, uint64_t* position)
{
    if (!Usable())
        return false;
    LARGE_INTEGER move, now;
    move.QuadPart = distance;
    if (!SetFilePointerEx(m_handle, move, &now, origin))
        return false;
    if (position)
        *position = static_cast<uint64_t>(now.QuadPart);
    return true;
}

uint64_t NFile::Seek(int64_t distance, DWORD origin)
{
    uint64_t position = 0;
    return MoveTo(distance, origin, &position) ? position : 0;
}

bool NFile::SeekToBegin()
{
    return MoveTo(0, FILE_BEGIN, nullptr);
}

bool NFile::SeekToEnd()
{
    return MoveTo(0, FILE_END, nullptr);
}

uint64_t NFile::GetPosition()
{
    return Seek(0, FILE_CURRENT);
}

uint64_t NFile::GetLength()
{
    LARGE_INTEGER size;
    if (!Usable() || !GetFileSizeEx(m_handle, &size))
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

bool NFile::SetLength(uint64_t length)
{
    if (!Usable() || length > static_cast<uint64_t>(INT64_MAX))
        return false;
    return MoveTo(static_cast<int64_t>(length), FILE_BEGIN, nullptr) && SetEndOfFile(m_handle);
}

bool NFile::LockRange(uint64_t offset, uint64_t count)
{
    if (!Usable())
        return false;
    return LockFile(m_handle, Low(offset), High(offset), Low(count), High(count)) != FALSE;
}

bool NFile::UnlockRange(uint64_t offset, uint64_t count)
{
    if (!Usable())
        return false;
    return UnlockFile(m_handle, Low(offset), High(offset), Low(count), High(count)) != FALSE;
}

bool NFile::Rename(const wchar_t* newPath)
{
    if (!m_open)
        return false;
    if (!FitsPathField(newPath)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wchar_t oldPath[maxPathUnits + 1];
    wcscpy(oldPath, m_path);
    Close();
    if (!oldPath[0]) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (!MoveFileW(oldPath, newPath))
        return false;
    wcscpy(m_path, newPath);
    return true;
}

bool NFile::Remove()
{
    if (!m_open)
        return false;
    wchar_t path[maxPathUnits + 1];
    wcscpy(path, m_path);
    Close();
    if (!path[0]) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return DeleteFileW(path) != FALSE;
}

std::unique_ptr<NFile> NFile::Duplicate() const
{
    if (!Usable())
        return nullptr;
    HANDLE process = GetCurrentProcess();
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, m_handle, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    auto file = std::make_unique<NFile>(copy);
    file->m_ownsHandle = true;  // the duplicate is its own: it closes it, also for an attached source
    return file;
}
