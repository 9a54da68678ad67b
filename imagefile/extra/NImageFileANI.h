// NImageFileANI: the animated cursor format class (read only).
//
// An animated cursor is a RIFF "ACON" file: an "anih" chunk with the frame count and flags, and
// one "icon" chunk per frame (usually inside a "LIST" "fram" chunk), each holding an icon file.
// Every frame is a page; a load decodes the current page's preferred icon entry through the
// icon format class. The consumed size is the end of the RIFF data, so every frame counts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class StdioStream;

class NImageFileANI : public NImageFile {
public:
    // Signature check: "RIFF" (any RIFF file). Needs 4 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // 200 no "RIFF"; 205 the page is negative, not below the frame count, or its "icon" chunk
    // is missing; 206 no "anih" chunk, or its flags say the frames are not icon files; 300 no
    // memory for the frame; else the frame's result.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;

    // Walks the RIFF chunks by their sizes (descending into "LIST" chunks) from the start of the
    // file and stops at the data of the occurrence-th chunk (1 = the first) whose tag is `tag`;
    // size receives the chunk's size. False when there is no such chunk.
    static bool FindChunk(StdioStream& in, const char (&tag)[5], int occurrence, uint32_t* size);
    // Decodes frame `index` into target.
    NRESULT LoadFrame(NImageBuffer* target, const wchar_t* path, int index);
};
