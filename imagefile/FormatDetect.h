// Detection of a picture format by content: the first signature check that accepts the bytes at
// an offset names the format. Used when a file's extension led nowhere.
#pragma once

#include <cstdint>

#include "imagefile/FormatRegistry.h"

// Runs the checks of each enabled group in their fixed order with the same offset and length;
// the first that answers true decides. Group 1 holds the photo formats (PNG, JPEG, BMP, TGA,
// PDF, LMCDOC, TIFF, GIF), group 2 the further common formats, group 3 the rare ones. 0 when no
// check answers true or every group is disabled. MPO and JPS (group 3) accept only data that the
// JPEG check of group 1 accepts, so with group 1 enabled they are never answered; likewise every
// RIFF file that is not WebP answers ANI.
FileType DetectFormatFromBuffer(const uint8_t* bytes, uint64_t offset, uint64_t length,
                                bool group1, bool group2, bool group3);

// Reads the first 4096 bytes of the file into a zero-filled buffer and detects over all three
// groups with a length of 4096, so the checks of a shorter file see zeros after its end. 0 when
// the file cannot be opened or holds 19 bytes or less.
FileType DetectFormatFromFile(const wchar_t* path);
