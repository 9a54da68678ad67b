// What the scan reads: a disk-image file or a volume, read raw from its first byte.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/SystemOwners.h"

class ScanSource {
public:
    virtual ~ScanSource() = default;
    // Bytes to scan, and the sector size (the unit in which unreadable areas are stepped over).
    virtual uint64_t Size() const = 0;
    virtual uint32_t SectorSize() const = 0;
    // Reads count bytes from the position into the buffer. False with the system's error code when
    // the read failed; bytesRead tells what arrived (it may be less than count at the source's end).
    // Reads may come from several threads at once. A volume is read in whole sectors at sector
    // positions only: ReadRange below reads any range.
    virtual bool ReadAt(uint64_t position, void* buffer, uint32_t count, uint32_t& bytesRead, DWORD& error) = 0;
};

// Reads count bytes from any position into the buffer, through whole sectors where the source
// needs them; zeros where the source has ended or a sector cannot be read. False when nothing
// could be read at all.
bool ReadRange(ScanSource& source, uint64_t position, void* buffer, size_t count);

// A source over a handle of its own (closed with the object).
class ScanSourceHandle : public ScanSource {
public:
    ScanSourceHandle() = default;
    ~ScanSourceHandle() override;
    ScanSourceHandle(const ScanSourceHandle&) = delete;
    ScanSourceHandle& operator=(const ScanSourceHandle&) = delete;

    // Opens the name read-only, sharing reading and writing with others. False, with the error
    // code, when it does not open.
    bool Open(const wchar_t* name, DWORD& error);
    // File mode: the file's size (0 when it cannot be read) with 512-byte sectors.
    void MeasureAsFile();
    // Volume mode: size and sector size from the disk geometry. The length of the volume comes
    // first from its length information, then from the extended geometry's disk size, and only
    // when both fail from cylinders x tracks x sectors x bytes. False when the geometry cannot be
    // read. diskSizeEx gets the extended geometry's disk size (0 when unknown).
    bool MeasureAsVolume(uint64_t& diskSizeEx);
    // For a device that tells no geometry (a Unix device behind a drive under Wine): the size
    // found by reading, as the first position at which a 512-byte read delivers nothing, with
    // 512-byte sectors. False when nothing can be read.
    bool MeasureByReading();
    void Close();
    bool IsOpen() const { return static_cast<bool>(m_handle); }

    uint64_t Size() const override { return m_size; }
    uint32_t SectorSize() const override { return m_sectorSize; }
    bool ReadAt(uint64_t position, void* buffer, uint32_t count, uint32_t& bytesRead, DWORD& error) override;

private:
    KernelHandleOwner m_handle;
    uint64_t m_size = 0;
    uint32_t m_sectorSize = 512;
};
