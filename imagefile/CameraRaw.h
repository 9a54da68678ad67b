// Signature check for the camera raw data of several makers. No format class stands behind it:
// the scan names what it finds FileType 36 ("raw") and nothing here decodes it.
#pragma once

#include <cstddef>
#include <cstdint>

// True when camera raw data begins at `offset` of the buffer of `length` bytes. Same contract as
// the format classes' IsFormat checks: false for a null buffer or a length of 0, never reads
// outside the buffer, allocates nothing, keeps no state. Three groups of tests, each made only
// when its bytes fit:
//   4 bytes:  TIFF-like headers: "MM" 00 2A, "II" 2A 00 (any TIFF, also a plain TIFF picture),
//             "II" 1A 00 (Canon CRW), "II" 55 00 (Panasonic), "II" "RO" (Olympus ORF);
//   13 bytes: "ftyp" at 4 and "crx " or " xrc" at 8 (Canon CR3 read at its box size);
//   32 bytes: "ARECOYK" at 25 (Contax N Digital), "FUJIFILMCCD-RAW" (Fujifilm RAF), "NOKIARAW",
//             "DSC-Image", "PWAD", "ftypcrx" (Canon CR3 read at its box type).
bool IsCameraRawData(const uint8_t* buffer, size_t offset, size_t length);
