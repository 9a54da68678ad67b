#include "imagefile/extra/PackBits.h"

#include <algorithm>
#include <cstring>

bool ReadPackBitsRow(FILE* file, uint8_t* row, size_t length)
{
    uint8_t skipped[128];
    size_t filled = 0;
    while (filled < length) {
        const int header = fgetc(file);
        if (header == EOF)
            return false;
        if (header < 128) {
            const size_t count = static_cast<size_t>(header) + 1;
            const size_t kept = std::min(count, length - filled);
            if (fread(row + filled, 1, kept, file) != kept)
                return false;
            filled += kept;
            if (count > kept && fread(skipped, 1, count - kept, file) != count - kept)
                return false;
        } else if (header > 128) {
            const int value = fgetc(file);
            if (value == EOF)
                return false;
            const size_t kept = std::min(257 - static_cast<size_t>(header), length - filled);
            memset(row + filled, value, kept);
            filled += kept;
        }
    }
    return true;
}
