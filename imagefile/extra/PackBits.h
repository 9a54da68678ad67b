// PackBits (Apple's run-length coding, ByteRun1 in IFF files), as the PSD and IFF readers use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// One coded row of length bytes into row (cleared by the caller). A count that runs past the
// row's end is cut there, but the bytes it names are still consumed, so the next code starts
// where its encoder put it; code 128 does nothing. False when the file ends first; what was
// read stays in the row.
bool ReadPackBitsRow(FILE* file, uint8_t* row, size_t length);
