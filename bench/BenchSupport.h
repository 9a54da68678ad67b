// Helpers of the benchmark programs: a millisecond clock, best-of-n timing and a 24-bit BMP
// reader for the pictures the run scripts make.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "base/SystemOwners.h"
#include "bench/BenchClock.h"
#include "imaging/NImageBuffer.h"

inline double NowMs()
{
    return BenchSeconds() * 1000.0;
}

// Best time of `runs` runs of work; false when a run fails. prepare, when given, runs before each
// run outside the timing.
inline bool Time(int runs, double& best, const std::function<bool()>& work,
                 const std::function<bool()>& prepare = nullptr)
{
    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        if (prepare && !prepare())
            return false;
        const double start = NowMs();
        if (!work())
            return false;
        best = std::min(best, NowMs() - start);
    }
    return true;
}

// A bottom-up 24-bit BMP with a 40-byte (or larger) header.
inline bool LoadBmp24(const wchar_t* path, NImageBuffer& picture)
{
    const KernelHandleOwner file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    std::vector<uint8_t> bytes;
    bool ok = GetFileSizeEx(file.Get(), &size) && size.QuadPart > 54 && size.QuadPart < (1LL << 31);
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    }
    if (!ok || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    BITMAPINFOHEADER header;
    memcpy(&header, bytes.data() + 14, sizeof(header));
    uint32_t offset;
    memcpy(&offset, bytes.data() + 10, 4);
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight <= 0)
        return false;
    const uint64_t need = uint64_t(NImageBuffer::StrideFor(header.biWidth, 24)) * header.biHeight;
    if (offset > bytes.size() || bytes.size() - offset < need)
        return false;
    return picture.CreateFromBits(header.biWidth, header.biHeight, 24, bytes.data() + offset, nullptr);
}

// A camera-sized 6000 x 4000 picture when none is given: a smooth field with fine detail
// (gradients plus a hashed texture).
inline bool MakeBenchPicture(NImageBuffer& picture)
{
    const int w = 6000, h = 4000;
    if (!picture.Create(w, h, 24, 0))
        return false;
    GdiFlush();
    for (int y = 0; y < h; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
        for (int x = 0; x < w; ++x) {
            const uint32_t hash = (uint32_t(x) * 2654435761u) ^ (uint32_t(y) * 40503u);
            row[x * 3] = static_cast<uint8_t>(x * 255 / w ^ (hash >> 28));
            row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / h + (hash >> 27));
            row[x * 3 + 2] = static_cast<uint8_t>((x + y) * 255 / (w + h) ^ ((hash >> 24) & 31));
        }
    }
    return true;
}
