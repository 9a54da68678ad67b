// The GIF LZW codec: GifLzwDecoder, and the encoder members of NImageFileGIF.
#include "imagefile/formats/GifLzw.h"

#include <cstring>
#include <memory>
#include <new>

#include "imagefile/formats/NImageFileGIF.h"

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kStackLimit = 4095;

// Rows of the four interlace passes: first row and step.
constexpr int32_t kPassStart[4] = {0, 4, 2, 1};
constexpr int32_t kPassStep[4] = {8, 8, 4, 2};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Decoder
// ---------------------------------------------------------------------------------------------

void GifLzwDecoder::Begin(uint8_t* pixels, int32_t rowStride, int32_t bitsPerPixel, int32_t rows, bool interlace)
{
    outputPixels = pixels;
    stride = rowStride;
    depth = pixels ? bitsPerPixel : 0;
    height = rows;
    interlaced = interlace ? 1 : 0;
    rowOffset = rows > 0 ? (rows - 1) * rowStride : 0;
    interlaceStep = 8;
    interlaceRow = 0;
    interlacePass = 0;
    readPosition = kBlockSize + 1;
    bytesInBlock = 0;
    terminatorTaken = false;
}

void GifLzwDecoder::Reset(int32_t minimumCodeSize)
{
    codeSize = static_cast<int16_t>(minimumCodeSize + 1);
    clearCode = static_cast<int16_t>(1 << minimumCodeSize);
    endCode = static_cast<int16_t>(clearCode + 1);
    firstFreeCode = static_cast<int16_t>(clearCode + 2);
    nextSlot = firstFreeCode;
    sizeLimit = static_cast<int16_t>(1 << (minimumCodeSize + 1));
    bytesLeftInSubBlock = 0;
    bitsLeft = 0;
}

int GifLzwDecoder::GetByte(FILE* file)
{
    if (readPosition > kBlockSize - 1) {
        const size_t got = fread(readBlock, 1, kBlockSize, file);
        bytesInBlock = static_cast<int32_t>(got);
        if (got < static_cast<size_t>(kBlockSize))
            readBlock[got] = 0xFF;
        readPosition = 0;
    }
    if (readPosition >= bytesInBlock)
        return -1;
    return readBlock[readPosition++];
}

int GifLzwDecoder::NextDataByte(FILE* file)
{
    if (bytesLeftInSubBlock <= 0) {
        const int length = GetByte(file);
        if (length < 0)
            return length;
        if (length == 0) {
            // The block terminator: the data ends here, whether or not an end code came.
            terminatorTaken = true;
            return -1;
        }
        for (int i = 0; i < length; ++i) {
            const int b = GetByte(file);
            if (b < 0)
                return b;
            subBlock[i] = static_cast<uint8_t>(b);
        }
        subBlockPointer = subBlock;
        bytesLeftInSubBlock = static_cast<int16_t>(length);
    }
    --bytesLeftInSubBlock;
    return *subBlockPointer++;
}

int16_t GifLzwDecoder::GetNextCode(FILE* file)
{
    if (bitsLeft == 0) {
        const int b = NextDataByte(file);
        if (b < 0)
            return static_cast<int16_t>(b);
        currentByte = static_cast<uint8_t>(b);
        bitsLeft = 8;
    }
    int32_t value = currentByte >> (8 - bitsLeft);
    while (bitsLeft < codeSize) {
        const int b = NextDataByte(file);
        if (b < 0)
            return static_cast<int16_t>(b);
        currentByte = static_cast<uint8_t>(b);
        value |= static_cast<int32_t>(currentByte) << bitsLeft;
        bitsLeft = static_cast<int16_t>(bitsLeft + 8);
    }
    bitsLeft = static_cast<int16_t>(bitsLeft - codeSize);
    return static_cast<int16_t>(value & ((1 << codeSize) - 1));
}

int GifLzwDecoder::PutRow(uint8_t* row, int32_t length, bool counting)
{
    if (counting || !outputPixels)
        return 0;
    if (length < 0)
        length = 0;

    // Pack the indices to the depth, highest bits first. Packing forward in place never
    // overtakes the indices still to be read.
    size_t bytes = static_cast<size_t>(length);
    if (depth == 4) {
        for (int32_t i = 0; i < length; i += 2) {
            const uint8_t high = row[i] & 0x0F;
            const uint8_t low = i + 1 < length ? (row[i + 1] & 0x0F) : 0;
            row[i / 2] = static_cast<uint8_t>((high << 4) | low);
        }
        bytes = (static_cast<size_t>(length) + 1) / 2;
    } else if (depth == 1) {
        for (int32_t i = 0; i < length; i += 8) {
            uint8_t packed = 0;
            for (int32_t b = 0; b < 8 && i + b < length; ++b)
                packed |= static_cast<uint8_t>((row[i + b] & 1) << (7 - b));
            row[i / 8] = packed;
        }
        bytes = (static_cast<size_t>(length) + 7) / 8;
    }
    if (bytes > static_cast<size_t>(stride))
        bytes = static_cast<size_t>(stride);

    int64_t offset;
    const int64_t lastOffset = static_cast<int64_t>(height - 1) * stride;
    if (!interlaced) {
        offset = rowOffset;
        if (offset < 0 || offset > lastOffset)
            return -1;
        rowOffset -= stride;
    } else {
        const int32_t line = height - interlaceRow - 1;
        offset = static_cast<int64_t>(line) * stride;
        if (line < 0 || offset > lastOffset)
            return -1;
        interlaceRow += interlaceStep;
        while (interlaceRow >= height) {
            ++interlacePass;
            if (interlacePass < 4) {
                interlaceRow = kPassStart[interlacePass];
                interlaceStep = kPassStep[interlacePass];
            } else {
                // Rows beyond the four passes start again from the top, one by one.
                interlaceRow = 0;
                interlaceStep = 1;
                break;
            }
        }
    }
    memcpy(outputPixels + offset, row, bytes);
    return 0;
}

int16_t GifLzwDecoder::Decode(FILE* file, int32_t lineWidth, bool counting)
{
    uint8_t stack[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint16_t prefix[kMaxCodes];
    memset(readBlock, 0, sizeof(readBlock));
    memset(stack, 0, sizeof(stack));
    memset(suffix, 0, sizeof(suffix));
    memset(prefix, 0, sizeof(prefix));

    const int minimum = GetByte(file);
    if (minimum < 0)
        return static_cast<int16_t>(minimum);
    if (minimum < 2 || minimum > 9)
        return -20;
    Reset(minimum);

    if (lineWidth < 1)
        lineWidth = 1;
    size_t rowBytes = static_cast<size_t>(lineWidth) + 1;
    if (stride > 0 && rowBytes < static_cast<size_t>(stride))
        rowBytes = static_cast<size_t>(stride);
    const std::unique_ptr<uint8_t[]> rowOwner(new (std::nothrow) uint8_t[rowBytes]);
    if (!rowOwner)
        return -10;
    uint8_t* const row = rowOwner.get();
    memset(row, 0, rowBytes);

    int32_t rowCount = lineWidth;
    uint8_t* rowPointer = row;
    int lastResult = 0;
    int oldCode = 0;
    int firstCharacter = 0;
    int stackSize = 0;

    // Appends one index to the row; a completed row is placed. False when placing failed.
    auto emit = [&](int index) -> bool {
        *rowPointer++ = static_cast<uint8_t>(index);
        if (--rowCount == 0) {
            lastResult = PutRow(row, lineWidth, counting);
            if (lastResult < 0)
                return false;
            rowPointer = row;
            rowCount = lineWidth;
        }
        return true;
    };

    for (;;) {
        int c = GetNextCode(file);
        if (c == endCode)
            break;
        if (c < 0)
            return -5;
        if (c == clearCode) {
            codeSize = static_cast<int16_t>(minimum + 1);
            nextSlot = firstFreeCode;
            sizeLimit = static_cast<int16_t>(1 << codeSize);
            do {
                c = GetNextCode(file);
            } while (c == clearCode);
            if (c == endCode)
                break;
            if (c < 0)
                return -5;
            if (c >= nextSlot)
                c = 0;
            oldCode = firstCharacter = c;
            if (!emit(c))
                return static_cast<int16_t>(lastResult);
            continue;
        }

        int code = c;
        if (code >= nextSlot) {
            stack[stackSize++] = static_cast<uint8_t>(firstCharacter);
            code = oldCode;
        }
        while (code >= firstFreeCode && code < kMaxCodes - 1) {
            if (stackSize >= kStackLimit)
                return -5;
            stack[stackSize++] = suffix[code];
            code = prefix[code];
        }
        if (stackSize >= kStackLimit)
            return -5;
        stack[stackSize++] = static_cast<uint8_t>(code);
        if (nextSlot < sizeLimit) {
            suffix[nextSlot] = static_cast<uint8_t>(code);
            prefix[nextSlot] = static_cast<uint16_t>(oldCode);
            ++nextSlot;
            firstCharacter = code;
            oldCode = c;
        }
        if (nextSlot >= sizeLimit && codeSize < 12) {
            sizeLimit = static_cast<int16_t>(sizeLimit << 1);
            ++codeSize;
        }
        while (stackSize > 0) {
            if (!emit(stack[--stackSize]))
                return static_cast<int16_t>(lastResult);
        }
    }

    if (rowCount != lineWidth)
        lastResult = PutRow(row, lineWidth - rowCount, counting);
    return static_cast<int16_t>(lastResult < 0 ? lastResult : 0);
}

void GifLzwDecoder::SkipSubBlocks(FILE* file)
{
    // Read through the stream's buffer rather than sought over: a seek drops the buffer, and
    // every sub-block would cost a read from the file.
    uint8_t skipped[255];
    for (;;) {
        const int length = fgetc(file);
        if (length <= 0)
            return;   // terminator or end of file
        if (fread(skipped, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length))
            return;
    }
}

bool GifLzwDecoder::FinishImageData(FILE* file) const
{
    // The block was read past the last byte taken: step back to just after that byte.
    if (readPosition <= bytesInBlock && bytesInBlock > 0) {
        const int64_t unread = static_cast<int64_t>(bytesInBlock) - readPosition;
        if (unread > 0 && _fseeki64(file, -unread, SEEK_CUR) != 0)
            return false;
    }
    if (!terminatorTaken)
        SkipSubBlocks(file);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Encoder (members of NImageFileGIF)
// ---------------------------------------------------------------------------------------------

namespace {

constexpr uint32_t kBitMasks[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
                                    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};
constexpr int kHashShift = 4;
constexpr int kPacketLimit = 254;

int32_t LargestCode(int32_t bits)
{
    return (1 << bits) - 1;
}

}  // namespace

void NImageFileGIF::ResetPacket()
{
    packetLength = 0;
}

void NImageFileGIF::FlushPacket(FILE* file)
{
    if (packetLength > 0) {
        fputc(packetLength, file);
        fwrite(packet, 1, static_cast<size_t>(packetLength), file);
        packetLength = 0;
    }
}

void NImageFileGIF::PutPacketByte(uint8_t byte, FILE* file)
{
    packet[packetLength++] = byte;
    if (packetLength >= kPacketLimit)
        FlushPacket(file);
}

void NImageFileGIF::ClearHash(int32_t entries)
{
    if (entries > kHashSize)
        entries = kHashSize;
    for (int32_t i = 0; i < entries; ++i)
        hashKeys[i] = -1;
}

void NImageFileGIF::ClearBlock(FILE* file)
{
    ClearHash(kHashSize);
    nextFreeCode = clearCode + 2;
    clearPending = 1;
    OutputCode(clearCode, file);
}

void NImageFileGIF::OutputCode(int32_t code, FILE* file)
{
    bitAccumulator &= kBitMasks[bitsInAccumulator];
    if (bitsInAccumulator > 0)
        bitAccumulator |= static_cast<uint32_t>(code) << bitsInAccumulator;
    else
        bitAccumulator = static_cast<uint32_t>(code);
    bitsInAccumulator += codeSize;
    while (bitsInAccumulator >= 8) {
        PutPacketByte(static_cast<uint8_t>(bitAccumulator & 0xFF), file);
        bitAccumulator >>= 8;
        bitsInAccumulator -= 8;
    }

    if (nextFreeCode > largestCodeOfSize || clearPending) {
        if (clearPending) {
            codeSize = initialCodeSize;
            largestCodeOfSize = LargestCode(codeSize);
            clearPending = 0;
        } else {
            ++codeSize;
            largestCodeOfSize = codeSize == largestCodeSize ? codeLimit : LargestCode(codeSize);
        }
    }

    if (code == endCode) {
        while (bitsInAccumulator > 0) {
            PutPacketByte(static_cast<uint8_t>(bitAccumulator & 0xFF), file);
            bitAccumulator >>= 8;
            bitsInAccumulator -= 8;
        }
        bitsInAccumulator = 0;
        FlushPacket(file);
        fflush(file);
    }
}

int NImageFileGIF::NextPixel(const NImageBuffer& pixels)
{
    if (pixelsLeft <= 0)
        return -1;
    --pixelsLeft;
    const uint8_t* line = pixels.bits + static_cast<size_t>(pixelRow) * pixels.stride;
    int index = 0;
    switch (encodeBitsPerPixel) {
    case 8:
        index = line[pixelColumn];
        break;
    case 4:
        index = (pixelColumn & 1) ? (line[pixelColumn / 2] & 0x0F) : (line[pixelColumn / 2] >> 4);
        break;
    case 1:
        index = (line[pixelColumn / 8] >> (7 - (pixelColumn % 8))) & 1;
        break;
    default:
        index = 0;
        break;
    }
    if (++pixelColumn == encodeWidth) {
        pixelColumn = 0;
        --pixelRow;
    }
    return index;
}

void NImageFileGIF::Compress(int32_t initialSize, const NImageBuffer& pixels, FILE* file)
{
    encodeWidth = pixels.width;
    encodeHeight = pixels.height;
    encodeBitsPerPixel = pixels.bpp;
    pixelColumn = 0;
    pixelRow = pixels.height - 1;
    pixelsLeft = pixels.width * pixels.height;

    initialCodeSize = initialSize;
    clearPending = 0;
    codeSize = initialCodeSize;
    largestCodeOfSize = LargestCode(codeSize);
    clearCode = 1 << (initialSize - 1);
    endCode = clearCode + 1;
    nextFreeCode = clearCode + 2;
    bitAccumulator = 0;
    bitsInAccumulator = 0;
    ResetPacket();

    int32_t prefix = NextPixel(pixels);
    ClearHash(kHashSize);
    OutputCode(clearCode, file);
    if (prefix < 0) {
        OutputCode(endCode, file);
        return;
    }

    for (int32_t p = NextPixel(pixels); p >= 0; p = NextPixel(pixels)) {
        const int32_t key = (p << largestCodeSize) + prefix;
        int32_t i = (p << kHashShift) ^ prefix;
        if (hashKeys[i] == key) {
            prefix = hashCodes[i];
            continue;
        }
        if (hashKeys[i] >= 0) {
            const int32_t displacement = i == 0 ? 1 : kHashSize - i;
            bool found = false;
            do {
                i -= displacement;
                if (i < 0)
                    i += kHashSize;
                if (hashKeys[i] == key) {
                    found = true;
                    break;
                }
            } while (hashKeys[i] > 0);
            if (found) {
                prefix = hashCodes[i];
                continue;
            }
        }
        OutputCode(prefix, file);
        prefix = p;
        if (nextFreeCode < codeLimit) {
            hashCodes[i] = static_cast<uint16_t>(nextFreeCode++);
            hashKeys[i] = key;
        } else {
            ClearBlock(file);
        }
    }
    OutputCode(prefix, file);
    OutputCode(endCode, file);
}
