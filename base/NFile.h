// NFile: owner of one Win32 file handle, opened once in its life, with raw and
// little-/big-endian reads and writes and 64-bit positioning. No member throws or logs:
// failures answer false, 0 or null, and GetLastError tells why.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

class NFile {
public:
    // Open mode bits.
    enum : unsigned {
        modeRead = 0x0,            // access (mask 0x3)
        modeWrite = 0x1,
        modeReadWrite = 0x2,
        modeNoAccess = 0x3,
        shareNone = 0x00,          // sharing (mask 0x70)
        shareRead = 0x20,
        shareWrite = 0x30,
        shareReadWrite = 0x40,
        modeNoInherit = 0x80,      // without it the handle is inheritable
        modeCreate = 0x1000,       // create or empty the file
        modeNoTruncate = 0x2000,   // with modeCreate: create when missing, keep the contents
        flagNoBuffering = 0x10000,
        flagWriteThrough = 0x20000,
        flagRandomAccess = 0x40000,
        flagSequentialScan = 0x80000,
    };
    // Paths longer than this are refused, never cut.
    static constexpr int maxPathUnits = 1039;

    NFile() noexcept;
    // Attaches a handle: the object uses it and Close closes it, but the destructor does not.
    explicit NFile(HANDLE handle) noexcept;
    // Opens at once; when that fails the object stays fresh and may be opened later.
    NFile(const wchar_t* path, unsigned mode);
    ~NFile();
    NFile(const NFile&) = delete;
    NFile& operator=(const NFile&) = delete;

    // False when this object was opened before (also after Close), the path is null, empty or
    // longer than maxPathUnits, or CreateFileW fails.
    bool Open(const wchar_t* path, unsigned mode);
    void Close();
    bool Abort();  // closes without looking at the outcome; always true
    bool Flush();

    DWORD Read(void* buffer, DWORD count);
    bool Write(const void* buffer, DWORD count);  // false for a count of 0 or a short write

    // A value that could not be read completely answers 0.
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDword();
    uint64_t ReadQword();
    uint16_t ReadWordBE();
    uint32_t ReadDwordBE();
    // Write the low 8, 16, 32 or 64 bits.
    bool WriteByte(unsigned value);
    bool WriteWord(unsigned value);
    bool WriteDword(uint32_t value);
    bool WriteQword(uint64_t value);
    bool WriteWordBE(unsigned value);
    bool WriteDwordBE(uint32_t value);

    // origin: FILE_BEGIN, FILE_CURRENT or FILE_END. Answers the new position, 0 on failure.
    uint64_t Seek(int64_t distance, DWORD origin);
    bool SeekToBegin();  // these two answer whether the move succeeded
    bool SeekToEnd();
    uint64_t GetPosition();  // 0 on failure
    uint64_t GetLength();    // 0 on failure
    bool SetLength(uint64_t length);  // the position ends at the new end
    bool LockRange(uint64_t offset, uint64_t count);
    bool UnlockRange(uint64_t offset, uint64_t count);

    // Closes the file, then moves it to newPath, which becomes the stored path. A new path
    // longer than maxPathUnits is refused before anything happens.
    bool Rename(const wchar_t* newPath);
    // Closes the file, then deletes it.
    bool Remove();
    // A second object on a duplicate of the handle; it owns and closes that handle. Null when
    // there is no handle.
    std::unique_ptr<NFile> Duplicate() const;

    HANDLE GetHandle() const { return m_handle; }
    const wchar_t* GetPath() const { return m_path; }

private:
    bool Usable() const;
    bool MoveTo(int64_t distance, DWORD origin, uint64_t* position);
    bool ReadExact(void* buffer, DWORD count);

    HANDLE m_handle;
    bool m_open;
    bool m_ownsHandle;
    wchar_t m_path[maxPathUnits + 1];
};
