// NImageFileICO: the icon and cursor format class.
//
// Reads icon and cursor files of up to 32 entries, each a device-independent bitmap with an AND
// mask or an embedded PNG picture (decoded by the PNG format class through a temporary file).
// Every entry is a page. A plain load shows entry 0; a preview load, or one with the quick flag,
// shows the preferred entry (the largest, then the deepest). Masked pixels show the load
// options' background colour. Writes one-entry icons whose entry is a PNG picture.
//
// The consumed size of a load is the end of the icon's data (the furthest entry), so a
// recovered icon keeps every entry, whichever page was decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileICO : public NImageFile {
public:
    // Signature check: 16 bits 0, a type (16 bits at 2) of 1 or 2 and an entry count (16 bits at
    // 4) from 1 to 31. Needs 7 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where an icon at byte 0 ends, as Load measures it: the end of its furthest entry. Broken
    // when Load finds no entry it can decode. Unknown also when an entry's header or bitmap
    // reaches past the furthest entry's end (a directory whose sizes do not match the entries):
    // the end Load reports then depends on the entry it shows.
    static PictureExtent FindExtent(ByteSource& source);

    // The page count is read on the first load only. 200 not an icon header; 204 the entry
    // cannot be decoded; 206 a PNG entry without a PNG reader; 300 no memory; 403 the picture
    // cannot be made; 404 no entry can be decoded, or a PNG entry fails to decode.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // 400 no valid picture; 104 the file cannot be created; 405 the PNG entry cannot be
    // written; 102 a write failed. A failed save leaves no file behind.
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    // Limited to the last page.
    void SetPage(int32_t index) override;

    // Rates every entry of the file and answers the preferred one in chosen: the largest area,
    // then the greatest depth, then the first. Entries that cannot be decoded are passed over;
    // false when there is none that can.
    bool ChooseEntry(const wchar_t* path, int* chosen);
    // Decodes one entry into target and records the consumed size and picture size.
    NRESULT LoadEntry(NImageBuffer* target, const wchar_t* path, int index);
};
