// Finding a byte pattern in a block of memory.
#pragma once
#include <cstddef>

// The first position in the block where the whole pattern occurs, and its offset from the block's
// start in *offset when offset is not null. Null when the block or the pattern is null or empty,
// when the pattern is longer than the block, or when it does not occur.
const unsigned char* FindBytesAt(const void* block, size_t blockSize, const void* pattern, size_t patternSize,
                                 size_t* offset);
const unsigned char* FindBytes(const void* block, size_t blockSize, const void* pattern, size_t patternSize);
