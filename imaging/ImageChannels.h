// Channel exchange on raw DIB rows, for readers and writers of formats that store red first.
#pragma once
#include <cstdint>

// Exchanges bytes 0 and 2 of every pixel of packed 24- or 32-bpp DIB rows (rows padded to 4 bytes).
// False for null rows, a bad size or another depth.
bool SwapRedBlueInBits(uint8_t* rows, int width, int height, int bpp);
