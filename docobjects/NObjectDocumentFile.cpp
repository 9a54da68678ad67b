// The document file: reading and writing NObjectDocument with its base picture, preview and
// metadata. Layout, all little-endian:
//   "LMCDOC" and a version digit 1..3 as nine UTF-16 units (the last two 0)
//   version 3: XMP text and EXIF block, each a u32 length and the bytes
//   versions 2, 3: preview flag u8; when 1: u32 width, u32 height, compressed 24-bpp rows
//   the base picture (full picture block, DocPictureBlock.h)
//   object records to the end of the file (DocRecords.h)
#include "docobjects/NObjectDocument.h"

#include "docobjects/DocFileStream.h"
#include "docobjects/DocPictureBlock.h"
#include "docobjects/DocRecords.h"
#include "docobjects/PendingFile.h"

#include <zlib.h>

#include <new>
#include <vector>

namespace {

constexpr int kSignatureBytes = 18;
constexpr int kCompressionLevel = 5;

// The version digit of a signature "LMCDOC1" to "LMCDOC3" (letters in either case, then a 0
// unit); 0 for anything else.
int SignatureVersion(const uint8_t* bytes)
{
    constexpr char letters[] = "LMCDOC";
    for (int i = 0; i < 6; ++i) {
        unsigned unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 'a' && unit <= 'z')
            unit -= 'a' - 'A';
        if (unit != static_cast<unsigned>(letters[i]))
            return 0;
    }
    const unsigned digit = bytes[12] | (bytes[13] << 8);
    const unsigned after = bytes[14] | (bytes[15] << 8);
    if (digit < '1' || digit > '3' || after != 0)
        return 0;
    return static_cast<int>(digit - '0');
}

// A u32 length and that many bytes. False when they are not in the file.
bool ReadByteString(DocFileReader& in, std::string& text)
{
    text.clear();
    uint32_t length = 0;
    if (!in.U32(length) || !in.Fits(length))
        return false;
    try {
        text.resize(length);
    } catch (const std::bad_alloc&) {
        text.clear();
        return in.Skip(length);
    }
    return in.Read(text.data(), length);
}

bool WriteByteString(DocFileWriter& out, const std::string& text)
{
    return out.U32(static_cast<uint32_t>(text.size())) && out.Write(text.data(), text.size());
}

// The preview of mode 1: 24-bpp rows compressed, into target.
NRESULT ReadPreview(DocFileReader& in, NImageBuffer& target)
{
    uint32_t width = 0, height = 0, packed = 0;
    if (!in.U32(width) || !in.U32(height) || !in.U32(packed) || !in.Fits(packed))
        return NR_DECOMPRESSION_FAILED;
    const uint64_t stride = ((static_cast<uint64_t>(width) * 24 + 31) / 32) * 4;
    const uint64_t needed = stride * height;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return NR_PICTURE_CREATE_FAILED;
    if (needed > static_cast<uint64_t>(packed) * 1040 + 1024)
        return NR_DECOMPRESSION_FAILED;   // more than deflate can pack into the data
    if (!target.Create(static_cast<int>(width), static_cast<int>(height), 24, 0xFFFFFF, nullptr))
        return NR_PICTURE_CREATE_FAILED;
    uint8_t* source = new (std::nothrow) uint8_t[packed == 0 ? 1 : packed];
    if (!source) {
        target.Destroy();
        return NR_ALLOCATION_FAILED;
    }
    bool inflated = in.Read(source, packed);
    if (inflated) {
        uLongf produced = static_cast<uLongf>(needed);
        inflated = uncompress(target.bits, &produced, source, packed) == Z_OK && produced == needed;
    }
    delete[] source;
    if (!inflated) {
        target.Destroy();
        return NR_DECOMPRESSION_FAILED;
    }
    return NR_OK;
}

}  // namespace

NRESULT NObjectDocument::WriteCompressedBits(FILE* file, const NImageBuffer& picture, uint32_t& compressedLength)
{
    compressedLength = 0;
    if (!file || !picture.valid)
        return NR_PICTURE_NOT_VALID;
    const uLong size = static_cast<uLong>(static_cast<size_t>(picture.stride) * picture.height);
    uLongf packed = compressBound(size);
    uint8_t* buffer = new (std::nothrow) uint8_t[packed];
    if (!buffer)
        return NR_ALLOCATION_FAILED;
    if (compress2(buffer, &packed, picture.bits, size, kCompressionLevel) != Z_OK) {
        delete[] buffer;
        return NR_COMPRESSION_FAILED;
    }
    const uint8_t length[4] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                               static_cast<uint8_t>(packed >> 16), static_cast<uint8_t>(packed >> 24)};
    const bool written = fwrite(length, 1, 4, file) == 4 && fwrite(buffer, 1, packed, file) == packed;
    delete[] buffer;
    if (!written)
        return NR_FILE_OPEN_WRITE;
    compressedLength = static_cast<uint32_t>(packed);
    return NR_OK;
}

NRESULT NObjectDocument::Save(const NImageBuffer& picture, const wchar_t* path, bool compressed,
                              const NImageBuffer* preview, const std::string& xmp, const std::string& exif)
{
    if (!path || !*path)
        return NR_FILE_OPEN_WRITE;
    if (!picture.valid)
        return NR_PICTURE_NOT_VALID;
    if (xmp.size() > UINT32_MAX || exif.size() > UINT32_MAX)
        return NR_INVALID_DATA;

    PendingFile pending;
    DocFileWriter out;
    if (!pending.Begin(path) || !out.Open(pending.WorkPath()))
        return NR_FILE_OPEN_WRITE;

    static const char16_t kSignature[9] = u"LMCDOC3\0";
    for (char16_t unit : kSignature)
        out.U16(unit);
    WriteByteString(out, xmp);
    WriteByteString(out, exif);

    NRESULT result = NR_OK;
    if (preview && preview->valid) {
        const NImageBuffer* rows = preview;
        NImageBuffer widened;
        if (preview->bpp != 24) {
            if (!widened.Copy(*preview) || !widened.ConvertToBpp(24, true))
                result = NR_ALLOCATION_FAILED;
            rows = &widened;
        }
        if (result == NR_OK) {
            out.U8(1);
            out.U32(static_cast<uint32_t>(rows->width));
            out.U32(static_cast<uint32_t>(rows->height));
            uint32_t length = 0;
            if (!out.Failed())
                result = WriteCompressedBits(out.get(), *rows, length);
        }
    } else {
        out.U8(0);
    }

    if (result == NR_OK)
        result = WriteDocPicture(out, DocPictureForm::Full, picture, compressed);

    for (DocObject* o = root.next; o && result == NR_OK; o = o->next) {
        const int64_t w = static_cast<int64_t>(o->rect.right) - o->rect.left;
        const int64_t h = static_cast<int64_t>(o->rect.bottom) - o->rect.top;
        if (o->type < 1 || o->type > 15 || w == 0 || h == 0)
            continue;
        result = WriteDocRecord(out, *o, compressed);
    }

    const bool closed = out.Close();
    if (result == NR_OK && !closed)
        result = NR_FILE_OPEN_WRITE;
    if (result == NR_OK && !pending.Commit())
        result = NR_FILE_OPEN_WRITE;
    return result;
}

NRESULT NObjectDocument::Load(NImageBuffer& target, const wchar_t* path, uint64_t& consumed, int32_t& width,
                              int32_t& height, int mode, std::string& xmp, std::string& exif)
{
    Clear();
    consumed = 0;
    xmp.clear();
    exif.clear();

    DocFileReader in;
    if (!in.Open(path))
        return NR_FILE_OPEN_READ;
    uint8_t signature[kSignatureBytes];
    if (!in.Read(signature, sizeof(signature)))
        return NR_NOT_THIS_FORMAT;
    const int version = SignatureVersion(signature);
    if (version == 0)
        return NR_NOT_THIS_FORMAT;

    if (version == 3 && (!ReadByteString(in, xmp) || !ReadByteString(in, exif)))
        return NR_INVALID_DATA;

    if (version >= 2) {
        uint8_t hasPreview = 0;
        if (!in.U8(hasPreview))
            return NR_INVALID_DATA;
        if (hasPreview != 0) {
            if (mode == 1) {
                const NRESULT r = ReadPreview(in, target);
                if (r != NR_OK)
                    return r;
                uint32_t baseWidth = 0, baseHeight = 0;
                if (in.U32(baseWidth) && in.U32(baseHeight)) {
                    width = static_cast<int32_t>(baseWidth);
                    height = static_cast<int32_t>(baseHeight);
                }
                consumed = in.Position();
                return NR_OK;
            }
            uint32_t packed = 0;
            if (!in.Skip(8) || !in.U32(packed) || !in.Skip(packed))
                return NR_INVALID_DATA;
        }
    }

    DocPictureHeader header;
    const DocPictureStatus status = ReadDocPicture(in, DocPictureForm::Full, target, &header);
    width = static_cast<int32_t>(header.width);
    height = static_cast<int32_t>(header.height);
    switch (status) {
    case DocPictureStatus::Read:
        break;
    case DocPictureStatus::NotCreated:
        return NR_PICTURE_CREATE_FAILED;
    case DocPictureStatus::NoBuffer:
        return NR_ALLOCATION_FAILED;
    case DocPictureStatus::InflateFailed:
        return NR_DECOMPRESSION_FAILED;
    case DocPictureStatus::Truncated:
    default:
        return header.compressed ? NR_DECOMPRESSION_FAILED : NR_INVALID_DATA;
    }

    DocRecordOutcome outcome;
    do {
        outcome = ReadDocRecord(in, *this);
        if (!keepLoadedObjects)
            FreeObjects(root.next);
    } while (outcome == DocRecordOutcome::Next);
    // A record cut by the end of the file was read up to that end.
    consumed = outcome == DocRecordOutcome::Truncated ? in.Length() : in.Position();
    return NR_OK;
}
