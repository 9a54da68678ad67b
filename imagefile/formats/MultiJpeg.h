// Helpers shared by the format classes whose files hold several JPEG pictures (MPO) or one JPEG
// picture split into several (JPS).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

// The first-picture load of those classes (their preview and quick loads): decodes the first
// JPEG that starts in the first 102400 bytes of the file into target (null: the owner's own
// picture). The owner takes the file name, and the JPEG's full size and consumed size.
NRESULT LoadFirstJpegPicture(NImageFile& owner, const wchar_t* path, NImageBuffer* target);

// Where the JPEG stream that starts (with FF D8) at `start` of the bytes ends: the offset just
// past its end-of-image marker. Segments are skipped by their lengths, so JPEG data inside a
// segment (an EXIF thumbnail) is passed over. 0 when the stream is damaged or not complete.
size_t FindJpegStreamEnd(const uint8_t* bytes, size_t size, size_t start);
