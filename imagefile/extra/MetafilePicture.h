// Metafiles into pictures, for the readers of metafiles and of the metafile previews in drawing
// and EPS files: the bytes are checked record by record before GDI sees them, converted to an
// enhanced metafile, and played into a 24-bit picture filled with a background colour.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/FileMappingView.h"
#include "base/GdiOwners.h"
#include "docobjects/NResult.h"

class NImageBuffer;

// A whole file mapped for reading, unmapped when the object goes.
class MappedFileBytes {
public:
    MappedFileBytes() = default;
    ~MappedFileBytes() { UnmapFileView(&view_); }
    MappedFileBytes(const MappedFileBytes&) = delete;
    MappedFileBytes& operator=(const MappedFileBytes&) = delete;

    // False when the file cannot be opened or mapped (an empty file cannot be mapped).
    bool Open(const wchar_t* path);
    const uint8_t* Data() const { return static_cast<const uint8_t*>(view_.view); }
    uint64_t Size() const { return size_; }
    // True when `length` bytes from `start` lie inside the file.
    bool Holds(uint64_t start, uint64_t length) const { return start <= size_ && length <= size_ - start; }

private:
    FileMappingView view_;
    uint64_t size_ = 0;
};

// Owner of an enhanced-metafile handle.
using EnhancedMetafile = EnhancedMetafileOwner;

// The length of the Windows metafile at `bytes` (its 18-byte header and its records up to and
// including the end record), or 0 when the header is not one or a record does not lie whole
// inside `size` bytes.
size_t WindowsMetafileLength(const uint8_t* bytes, size_t size);
// The length of the enhanced metafile at `bytes` (its header record and its records up to and
// including the end-of-file record), or 0 when it is not sound inside `size` bytes.
size_t EnhancedMetafileLength(const uint8_t* bytes, size_t size);

// An enhanced metafile from the Windows metafile at `bytes` (checked first; its size field is set
// to the checked length), with the picture information and reference device given, or none.
// Null when the bytes are not a sound metafile or GDI refuses them.
HENHMETAFILE ConvertWindowsMetafile(const uint8_t* bytes, size_t size, const METAFILEPICT* information, HDC reference);
// An enhanced metafile from checked enhanced-metafile bytes; null when they are not sound.
HENHMETAFILE OpenEnhancedMetafile(const uint8_t* bytes, size_t size);

// The largest side of a picture painted from a metafile: a larger drawing is scaled down to fit,
// keeping its proportions.
constexpr int kLargestMetafileSide = 2048;
void FitMetafileSize(int64_t& width, int64_t& height);

// Makes picture a 24-bit picture of width x height filled with the background colour and plays
// the metafile over all of it, passing over the records that would draw a curve or stroke a pen
// more than 65,536 pixels across, or write text more than 8,192 pixels high, at that size. With `keyBackground` the picture records the background as its
// transparent colour. 403 when the picture cannot be made.
NRESULT PaintMetafile(HENHMETAFILE metafile, int width, int height, COLORREF background, bool keyBackground,
                      NImageBuffer& picture);

// A Windows metafile embedded in another file (the preview of a drawing or an EPS file), played at
// the size of its bounds: |right| x |bottom| reference pixels, at most kLargestMetafileSide a side.
// 404 the bytes are not a sound metafile or GDI refuses them; 205 the bounds give no size; 403 the
// picture cannot be made.
NRESULT PaintMetafilePreview(const uint8_t* bytes, size_t size, COLORREF background, bool keyBackground,
                             NImageBuffer& picture);
