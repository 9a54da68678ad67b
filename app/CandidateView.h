// Decoding a candidate or a found file for verification and for thumbnails, with a placeholder
// picture that names the error when the file does not decode.
#pragma once
#include "imagefile/NImageFile.h"

// Loads the file through the load factory (format by extension, then by content). out receives
// the object the factory made, also on failure (with the error placeholder as its picture); the
// caller deletes it. Audio, video and slide-show files get a holder of their type with an empty
// picture. True only when the file decoded; result, when given, receives the factory's answer.
// verifyOnly: the verification of a scan candidate, which needs to know only whether it decodes,
// its full size and its consumed size (see ImageLoadOptions::verifyOnly); a file that does not
// decode then gets no placeholder.
bool LoadImageForView(NImageFile** out, const wchar_t* path, bool preview, bool quick, NRESULT* result = nullptr,
                      bool verifyOnly = false);

// Draws a 500 x 200 placeholder into the object's picture: the file name, the format's
// description and the error text (printf-style format and arguments, cut to 2047 units), over a
// faint symbol. Answers false (also for a null object).
bool DrawErrorPlaceholder(NImageFile* file, const wchar_t* format, ...);
