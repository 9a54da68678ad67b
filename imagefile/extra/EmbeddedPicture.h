// Hands a picture file that one format class took out of its own file (an icon's PNG entry, an
// animated cursor's frame) to the load and save factories, which pick the format class.
#pragma once

#include "docobjects/NResult.h"
#include "imagefile/FormatRegistry.h"

class NImageBuffer;

// Loads the file into target with the preview flag clear and the quick flag set, no load
// options. NR_FORMAT_NOT_SUPPORTED when the library has no reader for the type.
NRESULT LoadEmbeddedPicture(NImageBuffer& target, const wchar_t* path, FileType type);
// Saves the picture as a file of the type. NR_NO_WRITER when the library has no writer for it.
NRESULT SaveEmbeddedPicture(NImageBuffer& picture, const wchar_t* path, FileType type);
