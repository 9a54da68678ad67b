// Big-endian integers on C streams, for the IFF, PSD and further readers and writers.
#pragma once

#include <cstdint>
#include <cstdio>

// Read 2 or 4 bytes, first byte most significant. A value that cannot be read completely
// answers 0 (feof or ferror of the stream tells the caller).
uint16_t ReadBigEndianU16(FILE* file);
uint32_t ReadBigEndianU32(FILE* file);

// Write the low 16 or all 32 bits, most significant byte first; true when every byte was taken.
bool WriteBigEndianU16(FILE* file, uint32_t value);
bool WriteBigEndianU32(FILE* file, uint32_t value);
