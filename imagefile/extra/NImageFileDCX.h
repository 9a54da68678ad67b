// NImageFileDCX: the DCX (multi-page PCX) format class.
//
// A DCX file is the magic 0x3ADE68B1, a table of up to 1024 page offsets (a 0 entry ends it) and
// the pages, each a PCX picture. Every page is a page of the file object; the consumed size of a
// load reaches the end of the furthest page, so a recovered file keeps all its pages. Pages are
// written with BeginPages, AddPage for each picture, and EndPages; the writer reserves the whole
// table, so its first page starts at byte 4100.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"
#include "imagefile/extra/StdioStream.h"

class NImageFileDCX : public NImageFile {
public:
    static constexpr uint32_t kMagic = 0x3ADE68B1;
    static constexpr int kMaxPages = 1024;

    // Signature check: 32 bits 0x3ADE68B1 (B1 68 DE 3A). Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where a file at byte 0 ends, as Load of its first page measures it: the end of the first
    // page or of the furthest one, whichever lies further. Broken for an empty page table or a
    // first page Load refuses; Unknown when the furthest page is no picture (Load then counts
    // the whole file).
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 200 wrong magic; 205 no pages; 403 the picture cannot be made;
    // 404 the page is not a PCX picture, lies beyond the pages listed, or is negative.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;

    // 104 the file cannot be created; 102 a write failed. A file begun earlier and not ended
    // is abandoned as it stands.
    NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference) override;
    // The picture becomes the next page. 102 no page file begun, or a write failed; 204 the
    // table is full (1024 pages); 400 no valid picture; 402 too large for PCX.
    NRESULT AddPage(NImageBuffer* page) override;
    // Writes the page table and closes the file. 102 no page file begun, or a write failed.
    NRESULT EndPages() override;

    // Reads the page table that follows the magic; answers the page count. A first entry of
    // 4100 means a full table of 1024 entries, whose non-zero entries count; otherwise the
    // entries up to the first 0. Entries not read are 0.
    static int ReadPageTable(StdioStream& in, uint32_t (&table)[kMaxPages]);

    // The page writer's state.
    uint32_t magic = 0;
    uint32_t pageOffsets[kMaxPages] = {};
    StdioStream output;
};
