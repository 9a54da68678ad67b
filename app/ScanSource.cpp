#include "app/ScanSource.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

ScanSourceHandle::~ScanSourceHandle()
{
    Close();
}

bool ScanSourceHandle::Open(const wchar_t* name, DWORD& error)
{
    Close();
    error = 0;
    if (!name) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    m_handle.Reset(
        CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!m_handle) {
        error = GetLastError();
        return false;
    }
    return true;
}

void ScanSourceHandle::Close()
{
    m_handle.Reset();
    m_size = 0;
    m_sectorSize = 512;
}

void ScanSourceHandle::MeasureAsFile()
{
    LARGE_INTEGER size{};
    m_size = (m_handle && GetFileSizeEx(m_handle.Get(), &size) && size.QuadPart > 0)
                 ? static_cast<uint64_t>(size.QuadPart)
                 : 0;
    m_sectorSize = 512;
}

bool ScanSourceHandle::MeasureAsVolume(uint64_t& diskSizeEx)
{
    diskSizeEx = 0;
    if (!m_handle)
        return false;
    DWORD returned = 0;
    DISK_GEOMETRY_EX geometryEx{};
    if (DeviceIoControl(m_handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometryEx, sizeof(geometryEx),
                        &returned, nullptr) &&
        geometryEx.DiskSize.QuadPart > 0)
        diskSizeEx = static_cast<uint64_t>(geometryEx.DiskSize.QuadPart);

    DISK_GEOMETRY geometry{};
    if (!DeviceIoControl(m_handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &returned,
                         nullptr))
        return false;
    m_sectorSize = geometry.BytesPerSector ? geometry.BytesPerSector : 512;

    // Whole cylinders leave the volume's tail out, and the geometry describes the whole disk: the
    // volume's own length is what is read when the system tells it.
    GET_LENGTH_INFORMATION lengthInfo{};
    if (DeviceIoControl(m_handle.Get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof(lengthInfo), &returned,
                        nullptr) &&
        lengthInfo.Length.QuadPart > 0) {
        m_size = static_cast<uint64_t>(lengthInfo.Length.QuadPart);
    } else if (diskSizeEx) {
        m_size = diskSizeEx;
    } else {
        m_size = uint64_t{geometry.BytesPerSector} * geometry.SectorsPerTrack * geometry.TracksPerCylinder *
                 static_cast<uint64_t>(geometry.Cylinders.QuadPart);
    }
    return true;
}

bool ScanSourceHandle::MeasureByReading()
{
    constexpr uint64_t kSector = 512;
    constexpr uint64_t kLimit = uint64_t{1} << 56;
    m_size = 0;
    m_sectorSize = static_cast<uint32_t>(kSector);
    uint8_t probe[kSector];
    // Bytes that a read at the position delivers. A position the handle cannot be set to lies
    // behind the end; a read that fails there lies inside the device (a bad sector).
    auto bytesAt = [&](uint64_t position) -> uint64_t {
        LARGE_INTEGER target;
        target.QuadPart = static_cast<LONGLONG>(position);
        if (!SetFilePointerEx(m_handle.Get(), target, nullptr, FILE_BEGIN))
            return 0;
        DWORD got = 0;
        if (!ReadFile(m_handle.Get(), probe, static_cast<DWORD>(kSector), &got, nullptr))
            return kSector;
        return got;
    };
    if (!m_handle || bytesAt(0) == 0)
        return false;
    // Doubling finds a position behind the end, halving the last sector that holds data.
    uint64_t inside = 0;
    uint64_t behind = kSector;
    while (bytesAt(behind) != 0) {
        inside = behind;
        behind *= 2;
        if (behind >= kLimit)
            return false;
    }
    while (behind - inside > kSector) {
        const uint64_t middle = inside + (behind - inside) / 2 / kSector * kSector;
        if (bytesAt(middle) != 0)
            inside = middle;
        else
            behind = middle;
    }
    m_size = inside + bytesAt(inside);
    return true;
}

bool ScanSourceHandle::ReadAt(uint64_t position, void* buffer, uint32_t count, uint32_t& bytesRead, DWORD& error)
{
    bytesRead = 0;
    error = 0;
    if (!m_handle) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    // A read at its own position: several threads may read the source at once.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    const BOOL ok = ReadFile(m_handle.Get(), buffer, count, &got, &at);
    bytesRead = got;
    if (!ok) {
        error = GetLastError();
        if (error == ERROR_HANDLE_EOF) {   // a read that starts at or past the end
            error = 0;
            return true;
        }
        return false;
    }
    return true;
}

bool ReadRange(ScanSource& source, uint64_t position, void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, count);
    const uint64_t size = source.Size();
    if (position >= size)
        return count == 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, size - position));
    const uint32_t sector = std::max<uint32_t>(source.SectorSize(), 1);
    // Whole sectors around the range, a piece at a time.
    constexpr uint32_t kPiece = 1u << 20;
    std::vector<uint8_t> piece;
    bool any = false;
    uint64_t at = position - position % sector;
    const uint64_t end = position + count;
    while (at < end) {
        const uint64_t pieceEnd = std::min<uint64_t>(at + kPiece, (end + sector - 1) / sector * sector);
        const uint32_t length = static_cast<uint32_t>(pieceEnd - at);
        piece.resize(length);
        uint32_t got = 0;
        DWORD error = 0;
        const bool ok = source.ReadAt(at, piece.data(), length, got, error);
        if (!ok) {
            // Sector by sector: what can be read, with zeros for the rest.
            for (uint32_t s = 0; s < length; s += sector) {
                uint32_t sectorGot = 0;
                const uint32_t n = std::min(sector, length - s);
                if (!source.ReadAt(at + s, piece.data() + s, n, sectorGot, error))
                    std::memset(piece.data() + s, 0, n);
                else if (sectorGot < n)
                    std::memset(piece.data() + s + sectorGot, 0, n - sectorGot);
            }
            got = length;
        }
        if (got < length)
            std::memset(piece.data() + got, 0, length - got);
        any = any || got > 0;
        const uint64_t from = std::max(at, position);
        const uint64_t to = std::min(pieceEnd, end);
        if (to > from)
            std::memcpy(out + (from - position), piece.data() + (from - at), static_cast<size_t>(to - from));
        at = pieceEnd;
    }
    return any;
}
