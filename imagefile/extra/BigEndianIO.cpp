#include "imagefile/extra/BigEndianIO.h"

uint16_t ReadBigEndianU16(FILE* file)
{
    uint8_t b[2];
    if (!file || fread(b, 1, sizeof b, file) != sizeof b)
        return 0;
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t ReadBigEndianU32(FILE* file)
{
    uint8_t b[4];
    if (!file || fread(b, 1, sizeof b, file) != sizeof b)
        return 0;
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | b[3];
}

bool WriteBigEndianU16(FILE* file, uint32_t value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return file && fwrite(b, 1, sizeof b, file) == sizeof b;
}

bool WriteBigEndianU32(FILE* file, uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return file && fwrite(b, 1, sizeof b, file) == sizeof b;
}
