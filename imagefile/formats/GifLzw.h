// GifLzwDecoder: the variable-length-code LZW decoder of the GIF format.
//
// One record decodes the LZW data of one GIF image straight from a stdio file into rows of
// palette indices in a bottom-up pixel buffer (1, 4 or 8 bits per pixel, GIF's four-pass
// interlacing included), or walks the data without storing anything (counting mode). Codes are
// at most 12 bits wide. The file is read in blocks of 16384 bytes, so after Decode the file's
// position lies past the data that was taken; FinishImageData puts it right after the image's
// data sub-blocks.
//
// The matching encoder lives in NImageFileGIF (its Compress family), whose object carries the
// encoder state.
//
// The record is large (its read block); make it on the stack or as a member, one per image.
#pragma once

#include <cstdint>
#include <cstdio>

class GifLzwDecoder {
public:
    static constexpr int kBlockSize = 16384;

    // Prepares the record for one image. pixels null: counting mode. The first row decoded is
    // the picture's top row, which is the last scan line in memory.
    void Begin(uint8_t* pixels, int32_t stride, int32_t depth, int32_t height, bool interlaced);

    // Decodes the image data that starts at the file's position (the minimum code size byte).
    // 0 when the end code was reached; -1 when the file ends before the code size byte; -5 when
    // the data ends before the end code or the pixel stack overflows; -10 when the row buffer
    // cannot be allocated; -20 for a minimum code size outside 2..9; -1 from PutRow when a row
    // falls outside the picture (decoding stops there). Rows written so far stay.
    int16_t Decode(FILE* file, int32_t lineWidth, bool counting);

    // After Decode: moves the file to just after the image's block terminator, skipping any
    // data sub-blocks that the decoder left unread (a stream that ends early or carries bytes
    // after its end code). False when the file cannot be positioned.
    bool FinishImageData(FILE* file) const;

    // Code tables back to their state after a clear code, for the minimum code size.
    void Reset(int32_t minimumCodeSize);
    // The next byte of the file (0..255), or -1 at its end.
    int GetByte(FILE* file);
    // The next code, or a negative value when the data ended.
    int16_t GetNextCode(FILE* file);
    // Places one row of `length` indices (packing them to the depth). 0, or -1 when the row
    // falls outside the picture.
    int PutRow(uint8_t* row, int32_t length, bool counting);

    // Skips data sub-blocks up to and including a zero-length one (or the end of the file).
    static void SkipSubBlocks(FILE* file);

    int32_t readPosition = kBlockSize + 1;   // next byte of the read block; past the end: read one
    int32_t bytesInBlock = 0;
    uint8_t readBlock[kBlockSize + 1];       // one more byte for the sentinel after a short read
    uint8_t* outputPixels = nullptr;         // null in counting mode
    int32_t rowOffset = 0;                   // byte offset of the next row in plain order
    int32_t stride = 0;
    int32_t depth = 0;
    int32_t interlaced = 0;
    int32_t interlaceRow = 0;                // next row, counted from the top
    int32_t interlaceStep = 8;
    int32_t height = 0;
    int32_t interlacePass = 0;               // passes finished
    int16_t codeSize = 0;
    int16_t clearCode = 0;
    int16_t endCode = 0;
    int16_t firstFreeCode = 0;
    int16_t sizeLimit = 0;                   // when the next slot reaches it, codes widen
    int16_t nextSlot = 0;
    int16_t bytesLeftInSubBlock = 0;
    int16_t bitsLeft = 0;
    uint8_t currentByte = 0;
    uint8_t subBlock[257];
    uint8_t* subBlockPointer = subBlock;
    bool terminatorTaken = false;            // the zero-length block that ends the data was read

private:
    // The next byte of the current sub-block, reading the next sub-block when it is used up.
    int NextDataByte(FILE* file);
};
