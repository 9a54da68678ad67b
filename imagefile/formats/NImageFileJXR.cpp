#include "imagefile/formats/NImageFileJXR.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/Log.h"
#include "base/ScopedFile.h"
#include "imagefile/DataBound.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/DlvTempFile.h"
#include "imagefile/formats/JxrCodec.h"
#include "imaging/DecodeBudget.h"

namespace {

// The most pixels one byte of a file is believed to code. A plain area still costs a few bits a
// macroblock: JxrEncApp's densest file (one grey, DC only, no chroma) codes 677 pixels a byte,
// about 3 bits for each 16 x 16 macroblock.
constexpr uint64_t kPixelsPerByte = 1024;
// The decoder's own rows: a band of 128 rows in the file's layout (up to 16 bytes a pixel) and
// the library's macroblock rows beside it.
constexpr uint64_t kDecoderRows = 128 + 32;
// jxrlib keeps some kilobytes for every pixel column of a macroblock row (3 KB for grey, more
// for more channels) whatever the height: a picture is believed wider than this only when its
// file has at least a byte for every column (a real picture has far more).
constexpr uint64_t kFreeColumns = 4096;

// jxrlib's "file input/output" error code, for the messages of steps that open files here.
constexpr int kFileError = -102;

// {6FDDC324-4E03-4BFE-B185-3D77768DC9xx}, jxrlib's pixel formats told apart by the last byte.
void SetPixelFormat(uint8_t (&guid)[16], uint8_t id)
{
    static const uint8_t base[15] = {0x24, 0xC3, 0xDD, 0x6F, 0x03, 0x4E, 0xFE, 0x4B,
                                     0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9};
    for (int i = 0; i < 15; ++i)
        guid[i] = base[i];
    guid[15] = id;
}
constexpr uint8_t kFormat24bppBGR = 0x0C;
constexpr uint8_t kFormat32bppBGRA = 0x0F;

int32_t WholeDpi(float value)
{
    // Values the file cannot mean (none, negative, not a number, absurdly large) keep 96.
    if (!(value >= 1.0f && value < 1000000.0f))
        return 96;
    return static_cast<int32_t>(std::lround(value));
}

}  // namespace

bool NImageFileJXR::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 1025))
        return false;
    const uint8_t* p = bytes + offset;
    if (!SignatureIs(p, "II\xBC\x01"))
        return false;
    constexpr size_t searched = 1024;
    constexpr char text[] = "WMPHOTO";
    constexpr size_t textLength = sizeof(text) - 1;
    for (size_t i = 0; i + textLength <= searched; ++i) {
        if (p[i] == 'W' && SignatureIs(p + i, text))
            return true;
    }
    return false;
}

FileType NImageFileJXR::GetFormatId() const
{
    return FT_JXR;
}

uint8_t NImageFileJXR::QuantiserIndex(bool lossless, int32_t quality)
{
    if (lossless)
        return 1;
    if (quality < 1)
        quality = 1;
    if (quality > 100)
        quality = 100;
    return static_cast<uint8_t>((quality * -255) / 100);
}

NRESULT NImageFileJXR::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    SetFileName(path);
    NImageBuffer& bitmap = target ? *target : picture;
    if (!path)
        return NR_DECODE_FAILED;
    ScopedFile file(path, L"rb");
    if (!file)
        return NR_DECODE_FAILED;

    JxrDecodeArgs args;
    JxrInitDecodeArgs(&args);
    JxrDecoder* decoder = nullptr;
    JxrPictureInfo info{};
    int status = JxrOpenDecoder(file.Release(), &args, &decoder, &info);   // takes the file
    if (status != JXR_OK)
        return status == JXR_NO_MEMORY ? NR_PICTURE_CREATE_FAILED : NR_DECODE_FAILED;

    // The header's size is believed as far as the file's bytes can code it; the decoder's own
    // rows (in the file's pixel layout, up to 16 bytes a pixel) come from the decode budget.
    const uint64_t fileLength = DataBound::FileLength(path);
    if (!DataBound::Fits(static_cast<uint64_t>(info.width), static_cast<uint64_t>(info.height), 8, fileLength,
                         kPixelsPerByte) ||
        static_cast<uint64_t>(info.width) > fileLength + kFreeColumns) {
        JxrCloseDecoder(decoder);
        return NR_INVALID_DATA;
    }
    NDecodeLease decoderMemory;
    if (!decoderMemory.Take(static_cast<uint64_t>(info.width) * 16 * kDecoderRows)) {
        JxrCloseDecoder(decoder);
        return NR_NOT_ENOUGH_MEMORY;
    }
    if (!bitmap.Create(info.width, info.height, info.bitsPerPixel, 0)) {
        JxrCloseDecoder(decoder);
        return NR_PICTURE_CREATE_FAILED;
    }
    bitmap.dpiX = WholeDpi(info.dpiX);
    bitmap.dpiY = WholeDpi(info.dpiY);
    status = JxrDecodePixels(decoder, bitmap.bits, static_cast<uint32_t>(bitmap.stride));
    JxrCloseDecoder(decoder);
    if (status != JXR_OK) {
        bitmap.Destroy();
        return status == JXR_NO_MEMORY ? NR_PICTURE_CREATE_FAILED : NR_DECODE_FAILED;
    }
    // Decoded top row first into a bottom-up picture.
    bitmap.FlipVertical();
    fullWidth = info.width;
    fullHeight = info.height;
    consumedSize = DataBound::FileLength(path);
    // The picture ends where its directory and data end; bytes after them are not its own.
    if (const ScopedFile again{path, L"rb"}) {
        StdioByteSource bytes(again.Get());
        const PictureExtent extent = FindExtent(bytes);
        if (extent.IsComplete())
            consumedSize = extent.end;
    }
    return NR_OK;
}

PictureExtent NImageFileJXR::FindExtent(ByteSource& source)
{
    uint8_t header[8];
    if (!source.ReadAt(0, header, 8))
        return PictureExtent::Unknown();
    if (header[0] != 'I' || header[1] != 'I' || header[2] != 0xBC || header[3] != 0x01)
        return PictureExtent::Broken();
    const uint32_t directory = SignatureU32(header + 4);
    uint16_t count = 0;
    if (directory < 8 || !source.ReadU16LE(directory, count))
        return PictureExtent::Unknown();
    if (count == 0 || count > 512)
        return PictureExtent::Unknown();
    uint64_t end = uint64_t{directory} + 2 + 12 * uint64_t{count} + 4;
    if (end > source.Size())
        return PictureExtent::Unknown();
    uint8_t entries[512 * 12];
    if (!source.ReadAt(directory + 2, entries, 12 * size_t{count}))
        return PictureExtent::Unknown();
    uint64_t imageOffset = 0;
    uint64_t imageBytes = 0;
    uint64_t alphaOffset = 0;
    uint64_t alphaBytes = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = entries + 12 * size_t{i};
        const uint16_t tag = SignatureU16(e);
        const uint16_t type = SignatureU16(e + 2);
        const uint32_t n = SignatureU32(e + 4);
        uint32_t unit = 0;
        switch (type) {
        case 1: case 2: case 6: case 7: unit = 1; break;
        case 3: case 8: unit = 2; break;
        case 4: case 9: case 11: unit = 4; break;
        case 5: case 10: case 12: unit = 8; break;
        default: break;
        }
        const uint64_t bytes = uint64_t{n} * unit;
        if (bytes > 4) {
            const uint64_t at = SignatureU32(e + 8);
            if (!source.Holds(at, bytes))
                return PictureExtent::Unknown();
            end = std::max(end, at + bytes);
        }
        // The picture and alpha data: offset and byte count, SHORT or LONG values held in place.
        const uint64_t value = type == 3 ? SignatureU16(e + 8) : SignatureU32(e + 8);
        if (n == 1 && (type == 3 || type == 4)) {
            if (tag == 0xBCC0)
                imageOffset = value;
            else if (tag == 0xBCC1)
                imageBytes = value;
            else if (tag == 0xBCC2)
                alphaOffset = value;
            else if (tag == 0xBCC3)
                alphaBytes = value;
        }
    }
    if (imageOffset == 0 || imageBytes == 0 || !source.Holds(imageOffset, imageBytes))
        return PictureExtent::Unknown();
    end = std::max(end, imageOffset + imageBytes);
    if (alphaOffset != 0 && alphaBytes != 0) {
        // jxrlib, the reference encoder, writes the alpha plane's end position where its byte
        // count belongs. The plane follows the whole picture data, so a true count larger than
        // its offset would mean an alpha plane larger than everything before it: a value above
        // the offset is taken as that end position.
        const uint64_t alphaEnd = alphaBytes > alphaOffset ? alphaBytes : alphaOffset + alphaBytes;
        if (alphaEnd > source.Size())
            return PictureExtent::Unknown();
        end = std::max(end, alphaEnd);
    }
    return PictureExtent::Complete(end);
}

NRESULT NImageFileJXR::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileJXR::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer& bitmap = source ? *source : picture;
    if (!bitmap.valid)
        return NR_PICTURE_NOT_VALID;
    if (!path)
        return NR_FILE_NOT_FOUND;
    const bool withAlpha = bitmap.bpp == 32;

    JxrEncodeArgs args;
    JxrInitEncodeArgs(&args);
    args.quantiser = QuantiserIndex(saveOptions.jxrLossless != 0, saveOptions.jxrQuality);
    args.alphaQuantiser = 1;
    args.channels = withAlpha ? 4 : 3;
    args.alphaMode = withAlpha ? 2 : 0;
    SetPixelFormat(args.pixelFormat, withAlpha ? kFormat32bppBGRA : kFormat24bppBGR);

    // The intermediate BMP goes to a new file of its own: a file that already carries the name
    // the target would suggest (its extension changed to .bmp) belongs to the user.
    DlvTempFile intermediate;
    if (!intermediate.Create()) {
        LogMessageBox(L"FAILED CreateDecoderFromFile %d - %s", kFileError, L"");
        return NR_ENCODE_FAILED;
    }
    NRESULT written;
    if (bitmap.bpp >= 24) {
        written = SaveImageFile(&bitmap, intermediate.Path(), FT_BMP, nullptr);
    } else {
        NImageBuffer copy;
        written = copy.Copy(bitmap) && copy.ConvertToBpp(24, true)
                      ? SaveImageFile(&copy, intermediate.Path(), FT_BMP, nullptr)
                      : NR_NOT_ENOUGH_MEMORY;
    }
    if (written != NR_OK) {
        LogMessageBox(L"FAILED CreateDecoderFromFile %d - %s", kFileError, intermediate.Path());
        return NR_ENCODE_FAILED;
    }

    ScopedFile bmp(intermediate.Path(), L"rb");
    if (!bmp) {
        LogMessageBox(L"FAILED CreateDecoderFromFile %d - %s", kFileError, intermediate.Path());
        return NR_ENCODE_FAILED;
    }
    ScopedFile output(path, L"wb");
    if (!output) {
        LogMessageBox(L"CreateStreamFromFilename %d", kFileError);
        return NR_FILE_OPEN_WRITE;
    }
    int code = 0;
    const int status = JxrEncodeFromBmp(bmp.Release(), output.Release(), &args, static_cast<float>(bitmap.dpiX),
                                        static_cast<float>(bitmap.dpiY), &code);   // closes both
    if (status == JXR_OK)
        return NR_OK;

    DeleteFileW(path);   // nothing usable was written
    switch (status) {
    case JXR_ENCODER_FAILED:
        LogMessageBox(L"Failed PKImageEncode_Create_WMP %d", code);
        return NR_ENCODE_FAILED;
    case JXR_STREAM_FAILED:
        LogMessageBox(L"CreateStreamFromFilename %d", code);
        return NR_FILE_OPEN_WRITE;
    case JXR_CODEC_FACTORY_FAILED:
        LogMessageBox(L"PKCreateCodecFactory %d", code);
        return NR_ENCODE_FAILED;
    case JXR_SOURCE_FAILED:
        LogMessageBox(L"FAILED CreateDecoderFromFile %d - %s", code, intermediate.Path());
        return NR_ENCODE_FAILED;
    default:
        LogMessage(L"JPEG XR encoding failed %d", code);
        return NR_ENCODE_FAILED;
    }
}
