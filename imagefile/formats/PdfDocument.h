// The PDF writer's in-memory document: PDF 1.4 with one picture per page, each page as large as
// its picture (one point per pixel). A document is made, receives its pages, is finished (XMP
// metadata, info, catalog, page tree, cross-reference table, trailer) and is serialised into
// one buffer, which frees it.
//
// Objects: 1 the page tree; per page n, n+1, ... n+4: the image, the page, its content stream,
// the content's length and the page's resources (n = 2, 7, 12, ...); then the metadata, the
// info dictionary and the catalog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "docobjects/NResult.h"

struct PdfPage {
    std::vector<uint8_t> data;   // the image stream's bytes (a JPEG file, or deflated R,G,B rows)
    uint32_t width = 0;          // pixels
    uint32_t height = 0;
    int32_t pageObject = 0;
    std::string header;          // the image object up to its data
    std::string tail;            // the end of the image object and the page's four other objects
};

struct PdfDocument {
    std::vector<std::unique_ptr<PdfPage>> pages;
    int32_t pageCount = 0;
    std::string headerText;
    std::string finalText;
    std::vector<std::string> xref;   // one 20-character entry per object number
    uint32_t pageWidth = 0;          // points (the document's default page; pages take their picture's size)
    uint32_t pageHeight = 0;
    double contentWidth = 0;
    double contentHeight = 0;
    int32_t nextObject = 2;          // 1 is the page tree
    uint64_t currentLength = 0;      // bytes of the file so far
    int32_t imageCounter = 0;        // names /I0, /I1, ...
};

constexpr int32_t kPdfMaxPages = 15256;
// Offsets are written with ten digits.
constexpr uint64_t kPdfMaxLength = 9999999999ull;

// A new document with its header written; null when memory runs out.
std::unique_ptr<PdfDocument> PdfCreateDocument(double widthInches, double heightInches, double marginInches);

// Appends a page showing the picture's data: a JPEG file (jpeg) or deflated 8-bit R,G,B rows.
// 0; 205 (nothing added, one line in the library log) at the page limit or when the file would
// grow past what its offsets can express; 300 when memory runs out.
NRESULT PdfAddImagePage(PdfDocument& document, uint32_t width, uint32_t height, uint32_t length,
                        const uint8_t* data, bool jpeg);

// Writes the metadata, info, catalog, page tree, cross-reference table and trailer. Texts are
// 8-bit; they are escaped for XML and for PDF strings. The total length in bytes, 0 when the
// document has no header or no final text.
uint64_t PdfFinishDocument(PdfDocument& document, const std::string& date, const std::string& title,
                           const std::string& author, const std::string& keywords, const std::string& subject,
                           const std::string& creator);

// Copies the finished document into output when length (in: its capacity) holds it, setting
// length to the bytes written. The document and its pages are freed in every case.
bool PdfSerialize(std::unique_ptr<PdfDocument> document, uint8_t* output, uint64_t& length);

// Sets the cross-reference entry of the object (-1: the next object number) to the offset, kind
// 'n' (in use) or 'f' (free).
void PdfSetXrefEntry(PdfDocument& document, int32_t object, uint64_t offset, char kind);

// The local time as 14 digits, year to second.
std::string PdfDateText();
