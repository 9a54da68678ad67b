#include "imagefile/formats/NImageFileHEIC.h"

#include <cstdio>
#include <cstring>

#include "base/ScopedFile.h"
#include "imagefile/ShellExif.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/WicReader.h"

bool NImageFileHEIC::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 13))
        return false;
    const uint8_t* p = bytes + offset;
    if (!SignatureIs(p + 4, "ftyp"))
        return false;
    const uint8_t* brand = p + 8;
    return SignatureIs(brand, "mif1") || SignatureIs(brand, "msf1") || SignatureIs(brand, "heic") ||
           SignatureIs(brand, "heis");
}

FileType NImageFileHEIC::GetFormatId() const
{
    return FT_HEIC;
}

NRESULT NImageFileHEIC::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    SetFileName(path);
    {
        const ScopedFile file(path, L"rb");
        if (!file)
            return NR_FILE_OPEN_READ;
        uint8_t head[32] = {};
        const size_t read = fread(head, 1, sizeof head, file.Get());
        if (!IsFormat(head, 0, read))
            return NR_NOT_THIS_FORMAT;
        // The picture ends with its last top-level box; a damaged box chain counts the whole file.
        StdioByteSource bytes(file.Get());
        const PictureExtent extent = FindExtent(bytes);
        consumedSize = extent.IsComplete() ? extent.end : bytes.Size();
    }

    // Looking for a decoder the system does not have costs the Imaging Component a walk over
    // every codec for every file: whether it has one is asked once.
    static const bool haveDecoder = WicHasDecoderFor(L".heic");
    if (!haveDecoder)
        return NR_COMPRESSION_NOT_SUPPORTED;
    NImageBuffer& bitmap = target ? *target : picture;
    const NRESULT result = DecodeWithWic(path, bitmap);
    if (result != NR_OK)
        return result;
    ExifFromShellProperties(path, &bitmap, &metadata);
    fullWidth = bitmap.width;
    fullHeight = bitmap.height;
    return NR_OK;
}

PictureExtent NImageFileHEIC::FindExtent(ByteSource& source)
{
    uint8_t head[16];
    if (!source.ReadAt(0, head, 16))
        return PictureExtent::Unknown();
    if (!IsFormat(head, 0, 16))
        return PictureExtent::Broken();
    // The top-level boxes an HEIF file holds; anything else after them is another file's data.
    static const char* const kKnown[] = {"ftyp", "meta", "mdat", "moov", "free", "skip", "uuid", "idat",
                                         "pdin", "moof", "mfra", "styp", "sidx", "wide", "prft"};
    uint64_t position = 0;
    bool meta = false;
    for (int boxes = 0; boxes < 4096; ++boxes) {
        uint32_t length = 0;
        uint8_t type[4];
        if (!source.ReadU32BE(position, length) || !source.ReadAt(position + 4, type, 4))
            break;
        bool known = false;
        for (const char* name : kKnown)
            known = known || std::memcmp(type, name, 4) == 0;
        if (!known || (boxes == 0 && std::memcmp(type, "ftyp", 4) != 0))
            break;
        uint64_t boxLength = length;
        uint64_t header = 8;
        if (length == 1) {
            if (!source.ReadU64BE(position + 8, boxLength))
                break;
            header = 16;
        }
        if (boxLength < header)
            break;
        // A box that runs to the end of the file or past the data: where it ends is unknown.
        if (length == 0 || !source.Holds(position, boxLength))
            return PictureExtent::Unknown();
        meta = meta || std::memcmp(type, "meta", 4) == 0;
        position += boxLength;
    }
    if (!meta)
        return PictureExtent::Unknown();
    return PictureExtent::Complete(position);
}
