// The load and save factories: how the rest of the program reads and writes picture files
// without knowing their formats.
//
// A load trusts the caller's FileType, else the file's extension; when that format's class
// answers NR_NOT_THIS_FORMAT (200) the content decides (DetectFormatFromFile, once per call, never
// retrying an id), and last the first JPEG stream found in the first 100 KB of the file is
// decoded (pictures embedded in raw camera files and other containers). Any other answer of a
// class, success or error, ends the search and is passed through unchanged.
//
// The factories keep no state and may run on several threads at once.
#pragma once

#include <windows.h>

#include <cstdint>

#include "docobjects/NResult.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageOptions.h"

class NImageBuffer;
class NImageFile;

// The format object for the id: a new object of the id's class (plug-in ids excluded), or null
// when the id has no class or the object cannot be made. The caller owns it.
NImageFile* CreateImageFileObject(FileType id);

// Loads the file into a new format object stored in *out, also when the result is an error (it
// then holds what the loader left); the caller deletes it. NR_FILE_NOT_FOUND (100) for a null
// path, with nothing stored. A successfully decoded 32-bpp picture whose alpha is 0 everywhere
// is made opaque and converted to 24 bpp. When nothing decodes the answer is 200 with an empty
// NImageFileGeneric of id 0. options may be changed (a plug-in's DLL path is written into it).
NRESULT LoadImageFile(NImageFile** out, const wchar_t* path, uint8_t preview, uint8_t quick,
                      ImageLoadOptions* options, FileType id);
// The same search, decoding into the caller's picture; every format object is destroyed inside.
// When nothing decodes the answer is 200 and the target is untouched.
NRESULT LoadImageIntoBitmap(NImageBuffer& target, const wchar_t* path, uint8_t preview, uint8_t quick,
                            ImageLoadOptions* options, FileType id);

// The last resort alone: the first JPEG within the first 102400 bytes of the file. *out gets an
// NImageFileGeneric that holds a copy of the picture, with the id of the file's extension, and
// consumed size 0; when no JPEG is found (200) its id is 0 and it has no picture.
NRESULT LoadFallbackImageFile(const wchar_t* path, NImageFile** out);
NRESULT LoadFallbackIntoBitmap(const wchar_t* path, NImageBuffer& target);

// Saves the picture with the writer of the id (0: of the path's extension), without metadata.
// NR_FILE_NOT_FOUND (100) for a null path; NR_NO_WRITER (201), and no file, for an id without a
// writer. options may be changed (a plug-in's DLL path is written into it).
NRESULT SaveImageFile(NImageBuffer* picture, const wchar_t* path, FileType id, ImageSaveOptions* options);
// Saves a loaded object's picture and metadata. id 0 or the source's own id: the source writes
// itself; another id: that format's writer takes the source's picture and metadata.
// NR_FILE_NOT_FOUND (100) for a null path or source; NR_NO_WRITER (201) as above.
NRESULT SaveImageFileFrom(NImageFile* source, const wchar_t* path, FileType id, ImageSaveOptions* options);

// Loads a picture resource (BMP, PNG, JPEG or TGA bytes) through a temporary file, which is
// removed again. NR_RESOURCE_NOT_VALID (500) when the resource is missing or empty,
// NR_RESOURCE_FETCH_FAILED (501) when its bytes cannot be read; else the load's answer.
NRESULT LoadImageFromResource(NImageBuffer& target, HMODULE module, const wchar_t* name, const wchar_t* type);

// For tests of the search itself: LoadImageFile and LoadImageIntoBitmap with another maker of
// format objects in place of CreateImageFileObject (plug-in objects are still made by the
// plug-in host).
using ImageFileMaker = NImageFile* (*)(FileType id);
NRESULT LoadImageFileWith(ImageFileMaker maker, NImageFile** out, const wchar_t* path, uint8_t preview,
                          uint8_t quick, ImageLoadOptions* options, FileType id);
NRESULT LoadImageIntoBitmapWith(ImageFileMaker maker, NImageBuffer& target, const wchar_t* path, uint8_t preview,
                                uint8_t quick, ImageLoadOptions* options, FileType id);
