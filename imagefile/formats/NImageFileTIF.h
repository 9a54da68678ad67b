// NImageFileTIF: the TIFF format class (FileType 41), reader and writer, through libtiff 4.
//
// Reading decodes one page (the current page, SetPage limits it to the last one). RGB, CMYK,
// YCbCr and LogLuv pages go through libtiff's RGBA reader: 24 bits per pixel, or 32 with alpha
// (straight, not premultiplied). Grey, bilevel and palette pages keep 1, 4 or 8 bits per pixel
// with a palette (16-bit grey keeps the high bytes); CIELab and other three- or four-sample pages
// become 24 or 32 bits; 32-bit samples are stretched between their 2nd and 98th percentiles.
// Fax pages at 204 x 98 or 200 x 100 dpi are doubled in height. Any strip or tile that does not
// decode fails the load (404): a damaged file is never passed off as a good picture.
//
// Consumed size: the whole file, set before the header test.
//
// Writing: one page per Save, or several through BeginPages / AddPage / EndPages (one directory
// per page). Palette pictures keep their palette, 16 and 24 bits become RGB, 32 bits RGB with
// unassociated alpha. Every libtiff write error is reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

struct tiff;

class NImageFileTIF : public NImageFile {
public:
    NImageFileTIF() = default;
    ~NImageFileTIF() override;   // closes a page file still open

    // Signature check: "II" and 42 little-endian (49 49 2A 00), or "MM" and 42 big-endian (4D 4D
    // 00 2A). Needs 4 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the TIFF at byte 0 of the source ends: the furthest byte that any directory of the
    // chain (with its sub-directories, EXIF, GPS and interoperability directories), any value
    // stored outside its entry, any strip, tile or JPEG interchange stream reaches, in either
    // byte order. Unknown when something points outside the data or the chain is damaged;
    // Broken for a first directory of no entries. The loader's consumed size is this end.
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 0; 103 when the file or libtiff cannot open it; 200 without a TIFF
    // header; 204 when the page is not in the file or its layout is inconsistent; 203 for sample
    // layouts this reader does not convert (2-bit samples, separate planes outside the RGBA
    // reader, ...); 300 when a buffer cannot be had; 403 when the picture cannot be made; 404
    // when libtiff refuses the page or any strip or tile fails to decode.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // One page with the compression of the save options (0 none, 1 PackBits, 3 CCITT G4 for
    // 1 bit, 4 JPEG for 16 and 24 bits, others Deflate); metadata is not written. 0; 400 without
    // a valid picture; 104 when the file cannot be created; 405 when libtiff fails to write (the
    // file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;   // limited to the last page

    // Page writing. BeginPages creates the file (104 when it cannot); the reference is not
    // used. AddPage writes one directory with the compression of the page-option field,
    // numbered by the pages written so far, with the page-total field as the total (0 =
    // unknown): 0, 205 without BeginPages, 400 for a missing or invalid picture, 405 when
    // writing fails. EndPages closes the file: 0, or 405 when the last flush fails.
    NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference) override;
    NRESULT AddPage(NImageBuffer* page) override;
    NRESULT EndPages() override;

    tiff* pageFile = nullptr;       // open between BeginPages and EndPages
    uint32_t pagesWritten = 0;      // directories written to the page file
};

// Decodes directory `page` of the open file into target (results as NImageFileTIF::Load) and
// fills the object's date, comment and artist texts.
NRESULT ReadTiffPage(NImageFileTIF& object, tiff* file, NImageBuffer& target, uint32_t page);

// Writes the bitmap as one directory with the object's TIFF compression option. markAsPage:
// NewSubfileType 2 (page), PageNumber (pageNumber, pageTotal) and PageName "Page %d".
// 0, or 405 when libtiff fails.
NRESULT WriteTiffPage(NImageFileTIF& object, tiff* file, const NImageBuffer& bitmap, uint32_t pageNumber,
                      uint32_t pageTotal, bool markAsPage);

// 16 when any of the first count entries of the three colour-map tables exceeds 255, else 8.
int TiffColorMapBits(int count, const uint16_t* red, const uint16_t* green, const uint16_t* blue);

// Copies `rows` runs of bytesPerRow bytes, stepping each side by the run plus its gap.
void CopyTileRows(uint8_t* destination, const uint8_t* source, size_t rows, size_t bytesPerRow,
                  size_t destinationGap, size_t sourceGap);
