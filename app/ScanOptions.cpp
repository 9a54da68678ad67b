#include "app/ScanOptions.h"

ScanOptionSet ScanOptions;

unsigned ScanGroupMask(const ScanOptionSet& options)
{
    unsigned mask = 0;
    if (options.SearchFilter1)
        mask |= 1u;
    if (options.SearchFilter2)
        mask |= 2u;
    if (options.SearchFilter3)
        mask |= 4u;
    if (options.SearchFilter4)
        mask |= 8u;
    return mask;
}

uint32_t ChunkFactor(int chunkSizeOn, int chunkSizeIndex)
{
    static const uint32_t kFactors[11] = {1, 2, 3, 4, 6, 10, 14, 18, 20, 24, 30};
    if (chunkSizeOn && static_cast<unsigned>(chunkSizeIndex) <= 10)
        return kFactors[chunkSizeIndex];
    return 6;
}

uint32_t ChunkSizeBytes(uint32_t factor, uint32_t sectorSize)
{
    const uint64_t bytes = uint64_t{factor} * sectorSize * 10240u;
    if (bytes == 0 || bytes > 0xFFFFFFFFu)
        return 0;
    return static_cast<uint32_t>(bytes);
}

uint64_t MinimumFileSize(int fileSizeIndex)
{
    static const uint64_t kMinimum[7] = {500, 1024, 10240, 51200, 102400, 1048576, 5242880};
    if (static_cast<unsigned>(fileSizeIndex) <= 6)
        return kMinimum[fileSizeIndex];
    return 0;
}

uint32_t MinimumPictureSide(int photoSizeIndex)
{
    static const uint32_t kSides[5] = {100, 300, 500, 1000, 3000};
    if (static_cast<unsigned>(photoSizeIndex) <= 4)
        return kSides[photoSizeIndex];
    return 0;
}
