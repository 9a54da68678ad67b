// NImageFilePDF: the PDF format class (FileType 49). Writes PDF 1.4 files with one picture per
// page (a JPEG made by the JPEG class, or deflated RGB), and gets pictures back out of PDF files.
//
// Reading walks the file's objects (PdfLayout) instead of trusting its cross-reference table, so
// that damaged and carved files still give their pictures. The pages are the image streams it
// can decode, in file order: JPEG (DCTDecode) streams, and Flate streams of 8-bit DeviceRGB or
// DeviceGray samples without a predictor or with a PNG predictor, 5 to 20000 pixels a side.
// Images that only serve as another image's mask are not pages. A file without such a stream
// falls back to the first JPEG signature within its first 102400 bytes.
//
// Consumed size: the end of the whole document, just past the "%%EOF" line of its last revision,
// for every kind of load; the size of the file when that end is not in the file (a document cut
// off, or one too damaged to walk). A carved candidate cut to it keeps every page, its
// cross-reference table and its trailer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/ScopedFile.h"
#include "imagefile/NImageFile.h"
#include "imagefile/formats/PdfDocument.h"

class NImageFilePDF : public NImageFile {
public:
    NImageFilePDF();
    ~NImageFilePDF() override;   // closes a page file still open

    // Signature check: "%PDF". Needs 4 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the PDF at byte 0 of the source ends, as the loader's consumed size: just past the
    // "%%EOF" that closes the last revision. Unknown when the walk finds no end.
    static PictureExtent FindExtent(ByteSource& source);

    // Decodes the current page (SetPage; page 0 at first). A full load (neither flag) of an
    // object without a page count sets it and the multi-image flag; preview and quick loads leave
    // them. 0; 103 when the file cannot be opened; 200 without "%PDF" at its start; 204 for a
    // current page outside the pages; 205 when there is no picture to decode; 300 when memory
    // runs out; 302 when Flate data does not inflate to the picture's size; 403 when the picture
    // cannot be made; 404 (or another code of the JPEG class) when a JPEG stream does not decode.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // A one-page document holding the picture as JPEG; metadata is not used. 0; 400 without a
    // valid picture; 104 when the file (or the page's temporary JPEG) cannot be created; the JPEG
    // writer's error; 300 when memory runs out; 102 when writing fails (the file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;   // stores the index as it is

    // Page writing: BeginPages creates the file (104) and the document (205 when it cannot be
    // made; the file stays open until EndPages). AddPage adds the picture as a JPEG page: 205
    // without a document or at the page limit, 400 without a valid picture, else as Save.
    // EndPages writes the document and closes the file: 0, or Save's writing errors.
    NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference) override;
    NRESULT AddPage(NImageBuffer* page) override;
    NRESULT EndPages() override;

    // Page makers. AddJpegPage saves the picture (as 24 bits per pixel) with the JPEG class to a
    // temporary file ("vlb" in the temporary folder, removed again) and adds its bytes.
    // AddFlatePage adds the picture's rows as deflated R,G,B (compress2, level 6): 0, 300, 301
    // "compression failed", or the document's refusal.
    static NRESULT AddJpegPage(PdfDocument& target, const NImageBuffer& bitmap);
    static NRESULT AddFlatePage(PdfDocument& target, const NImageBuffer& bitmap);

    ScopedFile pageFile;                      // open between BeginPages and EndPages
    std::unique_ptr<PdfDocument> document;    // being written between the same two calls
};
