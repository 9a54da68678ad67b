#include "imagefile/formats/NImageFileGIF.h"

#include "base/ScopedFile.h"
#include "imagefile/DataBound.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/GifLzw.h"

namespace {

constexpr uint32_t kKeyColour = 0x00FF00FF;           // magenta, COLORREF
constexpr int kMaxCountedSide = 10000;
constexpr int kMaxFirstFrameSide = 32000;
constexpr int kMaxLaterFrameSide = 4000;
constexpr uint64_t kStripBudget = 1000ull * 1048576;  // bytes the frame strip may take
constexpr uint16_t kMinimumDelay = 5;
constexpr uint16_t kNoTransparency = 0xFFFF;

bool ReadBytes(FILE* file, void* buffer, size_t count)
{
    return fread(buffer, 1, count, file) == count;
}

uint16_t LittleU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void WriteU16(FILE* file, uint32_t value)
{
    fputc(static_cast<int>(value & 0xFF), file);
    fputc(static_cast<int>((value >> 8) & 0xFF), file);
}

bool IsSignature(const uint8_t* p)
{
    return memcmp(p, "GIF87a", 6) == 0 || memcmp(p, "GIF89a", 6) == 0;
}

int32_t StrideOf(int32_t width, int depth)
{
    return static_cast<int32_t>(((static_cast<int64_t>(width) * depth + 31) / 8) & ~int64_t{3});
}

// Bits per pixel for a colour table of that many entries (0 when there is none).
int DepthForTable(int entries)
{
    if (entries <= 2)
        return 1;
    if (entries <= 16)
        return 4;
    return 8;
}

// Skips the code size byte and the data sub-blocks of an image that is not decoded.
void SkipImageData(FILE* file)
{
    if (fgetc(file) == EOF)
        return;
    GifLzwDecoder::SkipSubBlocks(file);
}

uint64_t Position(FILE* file)
{
    const int64_t at = _ftelli64(file);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

uint8_t IndexAt(const uint8_t* line, int x, int depth)
{
    switch (depth) {
    case 8:
        return line[x];
    case 4:
        return (x & 1) ? (line[x / 2] & 0x0F) : (line[x / 2] >> 4);
    default:
        return (line[x / 8] >> (7 - (x % 8))) & 1;
    }
}

void StoreIndex(uint8_t* line, int x, int depth, uint8_t index)
{
    switch (depth) {
    case 8:
        line[x] = index;
        break;
    case 4: {
        uint8_t& b = line[x / 2];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (index & 0x0F))
                    : static_cast<uint8_t>((b & 0x0F) | ((index & 0x0F) << 4));
        break;
    }
    default: {
        uint8_t& b = line[x / 8];
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        b = (index & 1) ? static_cast<uint8_t>(b | bit) : static_cast<uint8_t>(b & ~bit);
        break;
    }
    }
}

// A byte whose every pixel of the depth holds the index.
uint8_t RepeatedIndex(uint8_t index, int depth)
{
    if (depth == 4)
        return static_cast<uint8_t>(((index & 0x0F) << 4) | (index & 0x0F));
    if (depth == 1)
        return (index & 1) ? 0xFF : 0x00;
    return index;
}

// One decoded frame and where it goes on the logical screen.
struct FrameToCompose {
    const uint8_t* pixels;     // bottom-up rows of frameStride bytes
    int32_t frameStride;
    int depth;
    int32_t width;
    int32_t height;
    int32_t left;
    int32_t top;
    int transparent;           // -1 for none
    int disposal;
};

// Draws frame k into block k of the strip, after preparing the block by the frame's disposal.
void ComposeFrame(NImageBuffer& strip, int32_t screenWidth, int32_t screenHeight, int k, const FrameToCompose& f,
                  bool indexedOutput, uint8_t backgroundIndex, const uint8_t* paletteRgb)
{
    const size_t blockBytes = static_cast<size_t>(screenHeight) * strip.stride;
    uint8_t* block = strip.bits + blockBytes * static_cast<size_t>(k);
    if (k > 0) {
        if (f.disposal == 2) {
            if (f.transparent < 0 && indexedOutput)
                memset(block, RepeatedIndex(backgroundIndex, strip.bpp), blockBytes);
        } else {
            memcpy(block, block - blockBytes, blockBytes);
        }
    }

    const int32_t left = f.width > screenWidth ? 0 : f.left;
    const int32_t top = f.height > screenHeight ? 0 : f.top;
    const int32_t columns = std::min(screenWidth, f.width);
    const int32_t rows = std::min(screenHeight, f.height);
    for (int32_t y = 0; y < rows; ++y) {
        const int32_t canvasRow = top + y;
        if (canvasRow >= screenHeight)
            break;
        const uint8_t* source = f.pixels + static_cast<size_t>(f.height - 1 - y) * f.frameStride;
        uint8_t* target = block + static_cast<size_t>(screenHeight - 1 - canvasRow) * strip.stride;
        for (int32_t x = 0; x < columns; ++x) {
            const int32_t canvasColumn = left + x;
            if (canvasColumn >= screenWidth)
                break;
            const uint8_t index = IndexAt(source, x, f.depth);
            if (index == f.transparent)
                continue;
            if (indexedOutput) {
                StoreIndex(target, canvasColumn, strip.bpp, index);
            } else {
                uint8_t* pixel = target + static_cast<size_t>(canvasColumn) * 3;
                pixel[0] = paletteRgb[index * 3 + 2];
                pixel[1] = paletteRgb[index * 3 + 1];
                pixel[2] = paletteRgb[index * 3 + 0];
            }
        }
    }
}

void RecordTransparency(NImageBuffer& target, int transparent, bool indexedOutput)
{
    if (transparent < 0)
        return;
    target.hasTransparency = 1;
    if (indexedOutput)
        target.transparentIndex = static_cast<uint8_t>(transparent);
    else
        target.transparentColour = static_cast<int32_t>(kKeyColour);
}

// The logical screen packed byte for a depth of 1, 4 or 8.
uint8_t ScreenPackedByte(int depth)
{
    const int field = depth - 1;
    return static_cast<uint8_t>(0x80 | ((field & 3) << 5) | (field & 7));
}

void WriteHeader(FILE* file, const NImageBuffer& picture, int depth)
{
    fwrite("GIF89a", 1, 6, file);
    WriteU16(file, static_cast<uint32_t>(picture.width));
    WriteU16(file, static_cast<uint32_t>(picture.height));
    fputc(ScreenPackedByte(depth), file);
    fputc(0, file);   // background index
    fputc(0, file);   // aspect
}

bool SideFits(const NImageBuffer& picture)
{
    return picture.width <= 0xFFFF && picture.height <= 0xFFFF;
}

}  // namespace

NImageFileGIF::~NImageFileGIF() = default;

bool NImageFileGIF::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 6))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "GIF8") && (p[4] == '7' || p[4] == '9') && p[5] == 'a';
}

FileType NImageFileGIF::GetFormatId() const
{
    return FT_GIF;
}

bool NImageFileGIF::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileGIF::GetPageCount() const
{
    return pageCount;
}

void NImageFileGIF::SetPage(int32_t index)
{
    currentPage = index;
}

bool NImageFileGIF::IsAnimated() const
{
    return multiImage != 0;
}

int NImageFileGIF::CountFrames(const wchar_t* path, bool* anyLocalTable, uint64_t* streamEnd)
{
    ScopedFile in(path, L"rb");
    if (!in)
        return -1;
    FILE* file = in.Get();
    uint8_t head[13];
    if (!ReadBytes(file, head, 6) || !IsSignature(head))
        return -2;

    bool anyLocal = false;
    int count = 0;
    if (ReadBytes(file, head + 6, 7)) {
        const int32_t screenWidth = LittleU16(head + 6);
        const int32_t screenHeight = LittleU16(head + 8);
        const uint8_t packed = head[10];
        if (packed & 0x80)
            _fseeki64(file, 3ll << ((packed & 7) + 1), SEEK_CUR);

        bool counting = true;
        for (;;) {
            const int introducer = fgetc(file);
            if (introducer == EOF || introducer == 0x3B)
                break;
            if (introducer == 0x21) {
                if (fgetc(file) == EOF)
                    break;
                GifLzwDecoder::SkipSubBlocks(file);
            } else if (introducer == 0x2C) {
                uint8_t d[9];
                if (!ReadBytes(file, d, 9))
                    break;
                const int32_t width = LittleU16(d + 4);
                const int32_t height = LittleU16(d + 6);
                if (d[8] & 0x80) {
                    if (counting)
                        anyLocal = true;
                    _fseeki64(file, 3ll << ((d[8] & 7) + 1), SEEK_CUR);
                }
                if (!counting || width < 1 || width > kMaxCountedSide || height < 1 || height > kMaxCountedSide) {
                    SkipImageData(file);
                    continue;
                }
                if (count >= 1) {
                    // The strip holds every counted frame at the logical screen's size: a frame
                    // that would take it to the budget is not counted.
                    const uint64_t stride = (static_cast<uint64_t>(screenWidth) + 3) & ~uint64_t{3};
                    const uint64_t estimate =
                        static_cast<uint64_t>(screenHeight) * (count + 1) * stride * (anyLocal ? 3 : 1);
                    if (estimate >= kStripBudget) {
                        counting = false;   // the walk goes on to find the end of the stream
                        SkipImageData(file);
                        continue;
                    }
                }
                // Counting needs only the end of the image data, not its pixels.
                SkipImageData(file);
                ++count;
            }
            // Any other byte is ignored.
        }
    }
    if (anyLocalTable)
        *anyLocalTable = anyLocal;
    if (streamEnd) {
        // A skip may have gone past the end of a damaged file: the stream ends with the file.
        const uint64_t at = Position(file);
        uint64_t size = at;
        if (_fseeki64(file, 0, SEEK_END) == 0)
            size = Position(file);
        *streamEnd = at < size ? at : size;
    }
    return count;
}

NRESULT NImageFileGIF::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    SetFileName(path);
    bool anyLocal = false;
    uint64_t streamEnd = 0;
    int count = CountFrames(path, &anyLocal, &streamEnd);
    if (count == -2)
        return NR_NOT_THIS_FORMAT;
    if (count == -1)
        return NR_FILE_OPEN_READ;
    if (count <= 0)
        return NR_INVALID_DATA;

    const bool indexedOutput = count == 1 || !anyLocal;
    const bool firstOnly = count == 1 || preview || quick;
    NImageBuffer& out = target ? *target : picture;

    ScopedFile in(path, L"rb");
    if (!in)
        return NR_FILE_OPEN_READ;
    FILE* file = in.Get();
    uint8_t head[13];
    if (!ReadBytes(file, head, 13) || !IsSignature(head))
        return NR_INVALID_DATA;
    const int32_t screenWidth = LittleU16(head + 6);
    const int32_t screenHeight = LittleU16(head + 8);

    // Every frame is at most what the file's LZW data can give; the strip of composed frames is
    // held to that too, keeping the frames that fit (a screen that does not fit once is refused).
    const uint64_t fileLength = DataBound::FileLength(path);
    if (!firstOnly) {
        const uint64_t screenArea = static_cast<uint64_t>(screenWidth) * static_cast<uint64_t>(screenHeight);
        const uint64_t most = fileLength * DataBound::kLzw;
        if (screenArea == 0 || screenArea > most)
            return NR_INVALID_DATA;
        count = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(count), most / screenArea));
    }
    if (pageCount == 0) {
        currentPage = 0;
        multiImage = count > 1 ? 1 : 0;
        pageCount = std::max(count, 1);
    }
    frameDelays.assign(static_cast<size_t>(count), 0);
    frameDisposals.assign(static_cast<size_t>(count), 0);
    frameTransparentIndexes.assign(static_cast<size_t>(count), 0);
    const uint8_t screenPacked = head[10];
    const uint8_t backgroundIndex = head[11];
    const bool hasGlobal = (screenPacked & 0x80) != 0;

    uint8_t current[768];
    uint8_t global[768];
    uint8_t outputPalette[768];
    memset(current, 0xFF, sizeof(current));
    memset(global, 0xFF, sizeof(global));
    memset(outputPalette, 0, sizeof(outputPalette));
    int currentSize = 0;
    const int globalSize = 1 << ((screenPacked & 7) + 1);
    if (hasGlobal) {
        if (!ReadBytes(file, current, static_cast<size_t>(globalSize) * 3))
            return NR_INVALID_DATA;
        memcpy(global, current, sizeof(global));
        memcpy(outputPalette, current, sizeof(outputPalette));
        currentSize = globalSize;
        colorCount = globalSize;
    } else {
        const int step = 255 / (globalSize - 1);
        for (int i = 0; i < 256; ++i)
            outputPalette[i * 3] = outputPalette[i * 3 + 1] = outputPalette[i * 3 + 2] =
                static_cast<uint8_t>((i * step) & 0xFF);
        colorCount = 256;
    }

    bool controlPending = false;
    uint8_t controlPacked = 0;
    uint16_t controlDelay = 0;
    uint8_t controlTransparent = 0;
    int decoded = 0;   // frames decoded so far (k)
    bool stripMade = false;
    auto decoder = std::make_unique<GifLzwDecoder>();

    for (;;) {
        const int introducer = fgetc(file);
        if (introducer == EOF || introducer == 0x3B)
            break;
        if (introducer == 0x21) {
            const int label = fgetc(file);
            if (label == EOF)
                break;
            if (label == 0xF9) {
                uint8_t g[5];
                if (!ReadBytes(file, g, 5))
                    break;
                controlPacked = g[1];
                controlDelay = LittleU16(g + 2);
                controlTransparent = g[4];
                controlPending = true;
                // The block size byte said 4: the data ends at its terminator.
                if (g[0] != 4)
                    _fseeki64(file, static_cast<int64_t>(g[0]) - 4, SEEK_CUR);
            }
            GifLzwDecoder::SkipSubBlocks(file);
            continue;
        }
        if (introducer != 0x2C)
            continue;

        uint8_t d[9];
        if (!ReadBytes(file, d, 9))
            break;
        const int32_t left = LittleU16(d);
        const int32_t top = LittleU16(d + 2);
        const int32_t width = LittleU16(d + 4);
        const int32_t height = LittleU16(d + 6);
        const uint8_t packed = d[8];
        const bool hasLocal = (packed & 0x80) != 0;
        if (hasLocal) {
            const int localSize = 1 << ((packed & 7) + 1);
            memset(current, 0xFF, sizeof(current));
            if (!ReadBytes(file, current, static_cast<size_t>(localSize) * 3))
                break;
            currentSize = localSize;
            if (!hasGlobal)
                colorCount = localSize;
        }

        // Frame values.
        const int k = decoded;
        uint16_t delay = kMinimumDelay;
        int transparent = -1;
        int disposal = 1;
        if (controlPending) {
            delay = controlDelay > kMinimumDelay ? controlDelay : kMinimumDelay;
            if (controlPacked & 1)
                transparent = controlTransparent;
            disposal = (controlPacked >> 2) & 7;
            if (disposal == 3 || disposal > 4)
                disposal = 1;
            controlPending = false;
        }
        if (k < count) {
            frameDelays[k] = delay;
            frameDisposals[k] = static_cast<uint8_t>(disposal);
            frameTransparentIndexes[k] = transparent < 0 ? kNoTransparency : static_cast<uint16_t>(transparent);
        }

        if (width == 0 || height == 0) {
            if (k == 0)
                return NR_FORMAT_INIT_FAILED;
            SkipImageData(file);
            continue;
        }
        if (k == 0 && (width > kMaxFirstFrameSide || height > kMaxFirstFrameSide))
            return NR_FORMAT_INIT_FAILED;
        if (!DataBound::Fits(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 8, fileLength,
                             DataBound::kLzw)) {
            if (k == 0)
                return NR_INVALID_DATA;
            SkipImageData(file);
            continue;
        }
        if (k > 0 && (width > kMaxLaterFrameSide || height > kMaxLaterFrameSide)) {
            SkipImageData(file);
            continue;
        }

        const int depth = DepthForTable(currentSize);
        const int32_t frameStride = StrideOf(width, depth);
        if (transparent >= 0) {
            current[transparent * 3 + 0] = 0xFF;
            current[transparent * 3 + 1] = 0x00;
            current[transparent * 3 + 2] = 0xFF;
        }
        if (hasLocal || hasGlobal)
            memcpy(outputPalette, current, static_cast<size_t>(currentSize) * 3);

        if (firstOnly && loadOptions.verifyOnly) {
            // A verification: damaged image data only leaves a frame partly drawn, so the answer
            // and the consumed size do not depend on it, and the frame is not decoded.
            if (!out.Create(1, 1, depth, kKeyColour, outputPalette))
                return NR_ALLOCATION_FAILED;
            verifiedSmaller = 1;
            consumedSize = streamEnd;
            fullWidth = width;
            fullHeight = height;
            return NR_OK;
        }

        std::unique_ptr<uint8_t[]> frameBuffer;
        uint8_t* pixels = nullptr;
        if (firstOnly) {
            if (out.Create(width, height, depth, kKeyColour, outputPalette))
                pixels = out.bits;
        } else {
            frameBuffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(frameStride) * height]);
            if (frameBuffer) {
                memset(frameBuffer.get(), 0, static_cast<size_t>(frameStride) * height);
                pixels = frameBuffer.get();
            }
        }
        if (!pixels) {
            if (k == 0)
                return NR_ALLOCATION_FAILED;
            SkipImageData(file);
            continue;
        }

        decoder->Begin(pixels, frameStride, depth, height, (packed & 0x40) != 0);
        decoder->Decode(file, width, false);   // damaged data leaves the frame partly drawn

        if (firstOnly) {
            RecordTransparency(out, transparent, indexedOutput);
            decoded = 1;
            break;
        }

        decoder->FinishImageData(file);
        decoded = k + 1;
        if (!stripMade) {
            const int stripDepth = indexedOutput ? depth : 24;
            const int64_t stripHeight = static_cast<int64_t>(screenHeight) * count;
            if (stripHeight > INT32_MAX ||
                !out.Create(screenWidth, static_cast<int32_t>(stripHeight), stripDepth, kKeyColour, outputPalette))
                return NR_ALLOCATION_FAILED;
            stripMade = true;
        }
        RecordTransparency(out, transparent, indexedOutput);

        FrameToCompose f{pixels, frameStride, depth, width, height, left, top, transparent, disposal};
        ComposeFrame(out, screenWidth, screenHeight, k, f, indexedOutput, backgroundIndex, outputPalette);
        frameBuffer.reset();

        if (hasGlobal) {
            memcpy(current, global, sizeof(current));
            currentSize = globalSize;
        }
        if (decoded == count)
            break;
    }

    if (decoded == 0)
        return NR_INVALID_DATA;
    consumedSize = streamEnd;
    fullWidth = out.width;
    fullHeight = out.height;
    if (decoded > 1 && !preview && !quick)
        out.height = screenHeight;
    return NR_OK;
}

NRESULT NImageFileGIF::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileGIF::Save(const wchar_t* path, NImageBuffer* bitmap, ImageMetadata*)
{
    NImageBuffer* source = bitmap ? bitmap : &picture;
    if (!source->valid)
        return NR_PICTURE_NOT_VALID;
    if (!SideFits(*source))
        return NR_FORMAT_INIT_FAILED;

    NImageBuffer reduced;
    NImageBuffer* written = source;
    int depth = source->bpp;
    if (depth > 8) {
        if (!reduced.Copy(*source) || !reduced.ConvertToBpp(8, false))
            return NR_PICTURE_CREATE_FAILED;
        written = &reduced;
        depth = 8;
    }

    ScopedFile out(path, L"wb");
    if (!out)
        return NR_FILE_OPEN_WRITE;
    FILE* file = out.Get();
    WriteHeader(file, *written, depth);
    WriteColorTable(file, written, depth);
    NRESULT result = WriteFrame(file, written, 100, false);
    fputc(0x3B, file);
    const bool writeFailed = fflush(file) != 0 || ferror(file) != 0;
    const bool closeFailed = !out.Close();
    if (result == NR_OK && (writeFailed || closeFailed))
        result = NR_FILE_ERROR;
    if (result != NR_OK)
        _wremove(path);
    return result;
}

void NImageFileGIF::WriteColorTable(FILE* file, const NImageBuffer* bitmap, int bits)
{
    const int entries = 1 << bits;
    for (int i = 0; i < entries && i < 256; ++i) {
        fputc(bitmap->palette[i][2], file);
        fputc(bitmap->palette[i][1], file);
        fputc(bitmap->palette[i][0], file);
    }
}

void NImageFileGIF::WriteGraphicControl(FILE* file, const NImageBuffer* bitmap, uint32_t delayMilliseconds)
{
    const uint8_t control[] = {0x21, 0xF9, 0x04, static_cast<uint8_t>(bitmap->hasTransparency ? 0x09 : 0x00)};
    fwrite(control, 1, sizeof(control), file);
    WriteU16(file, (delayMilliseconds / 10) & 0xFFFF);
    fputc(bitmap->transparentIndex, file);
    fputc(0, file);
}

void NImageFileGIF::ResetEncoder()
{
    largestCodeSize = 12;
    codeLimit = 4096;
    memset(hashKeys, 0, sizeof(hashKeys));
    memset(hashCodes, 0, sizeof(hashCodes));
    memset(packet, 0, sizeof(packet));
    packetLength = 0;
    bitAccumulator = 0;
    bitsInAccumulator = 0;
}

NRESULT NImageFileGIF::WriteFrame(FILE* file, NImageBuffer* bitmap, uint32_t delayMilliseconds, bool writeLocalTable)
{
    ResetEncoder();
    const int depth = bitmap->bpp;
    if (depth > 8)
        return NR_WRONG_BPP;
    if (!bitmap->valid || !bitmap->bits)
        return NR_ALLOCATION_FAILED;
    if (!SideFits(*bitmap))
        return NR_FORMAT_INIT_FAILED;

    WriteGraphicControl(file, bitmap, delayMilliseconds);
    fputc(0x2C, file);
    WriteU16(file, 0);
    WriteU16(file, 0);
    WriteU16(file, static_cast<uint32_t>(bitmap->width));
    WriteU16(file, static_cast<uint32_t>(bitmap->height));
    if (writeLocalTable) {
        fputc(0x80 | (depth - 1), file);
        WriteColorTable(file, bitmap, depth);
    } else {
        fputc(0x00, file);
    }
    const int minimumCodeSize = std::max(depth, 2);
    fputc(minimumCodeSize, file);
    Compress(minimumCodeSize + 1, *bitmap, file);
    fputc(0, file);
    return NR_OK;
}

NRESULT NImageFileGIF::BeginPages(const wchar_t* path, NImageBuffer* reference)
{
    if (!reference || !reference->valid)
        return NR_PICTURE_NOT_VALID;
    // Pages carry palette indices: a deeper reference has no colour table to write.
    if (reference->bpp > 8)
        return NR_WRONG_BPP;
    if (!SideFits(*reference))
        return NR_FORMAT_INIT_FAILED;
    if (!pageFile.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    pageWriteFailed = false;
    WriteHeader(pageFile.Get(), *reference, reference->bpp);
    WriteColorTable(pageFile.Get(), reference, reference->bpp);
    return NR_OK;
}

NRESULT NImageFileGIF::AddPage(NImageBuffer* page)
{
    if (!pageFile)
        return NR_FILE_ERROR;
    if (!page)
        return NR_PICTURE_NOT_VALID;
    const NRESULT result = WriteFrame(pageFile.Get(), page, pageDelay, true);
    if (ferror(pageFile.Get())) {
        pageWriteFailed = true;
        return NR_FILE_ERROR;
    }
    return result;
}

NRESULT NImageFileGIF::EndPages()
{
    if (!pageFile)
        return NR_OK;
    fputc(0x3B, pageFile.Get());
    const bool writeFailed = pageWriteFailed || fflush(pageFile.Get()) != 0 || ferror(pageFile.Get()) != 0;
    const bool closeFailed = !pageFile.Close();
    return writeFailed || closeFailed ? NR_FILE_ERROR : NR_OK;
}

PictureExtent NImageFileGIF::FindExtent(ByteSource& source)
{
    uint8_t head[13];
    if (!source.ReadAt(0, head, 13))
        return PictureExtent::Unknown();
    if (!IsFormat(head, 0, 13))
        return PictureExtent::Broken();
    ByteSourceReader in(source, 13);
    if (head[10] & 0x80)
        in.Skip(3ull << ((head[10] & 7) + 1));
    // A chain of sub-blocks up to its terminator; false when the data ends first.
    auto skipSubBlocks = [&in]() {
        for (;;) {
            const int length = in.Next();
            if (length < 0)
                return false;
            if (length == 0)
                return true;
            in.Skip(static_cast<uint64_t>(length));
        }
    };
    for (;;) {
        const int introducer = in.Next();
        if (introducer == 0x3B)
            return PictureExtent::Complete(in.Position());
        if (introducer == 0x21) {
            if (in.Next() < 0 || !skipSubBlocks())
                return PictureExtent::Unknown();
        } else if (introducer == 0x2C) {
            uint8_t d[9];
            if (!in.Read(d, 9))
                return PictureExtent::Unknown();
            if (d[8] & 0x80)
                in.Skip(3ull << ((d[8] & 7) + 1));
            if (in.Next() < 0 || !skipSubBlocks())
                return PictureExtent::Unknown();
        } else {
            // The end of the data, or a byte that starts no block: the loader then reads on
            // byte by byte, which no walk can bound.
            return PictureExtent::Unknown();
        }
    }
}
