#include "base/ByteSearch.h"

#include <cstring>

const unsigned char* FindBytesAt(const void* block, size_t blockSize, const void* pattern, size_t patternSize,
                                 size_t* offset)
{
    if (!block || !blockSize || !pattern || !patternSize || patternSize > blockSize)
        return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(block);
    const auto* wanted = static_cast<const unsigned char*>(pattern);
    const size_t last = blockSize - patternSize;
    for (size_t i = 0; i <= last; ++i) {
        const void* hit = std::memchr(bytes + i, wanted[0], last - i + 1);
        if (!hit)
            return nullptr;
        i = static_cast<size_t>(static_cast<const unsigned char*>(hit) - bytes);
        if (std::memcmp(bytes + i, wanted, patternSize) == 0) {
            if (offset)
                *offset = i;
            return bytes + i;
        }
    }
    return nullptr;
}

const unsigned char* FindBytes(const void* block, size_t blockSize, const void* pattern, size_t patternSize)
{
    return FindBytesAt(block, blockSize, pattern, patternSize, nullptr);
}
