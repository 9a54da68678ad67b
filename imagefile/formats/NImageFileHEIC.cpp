#include "imagefile/formats/NImageFileHEIC.h"

#include <cstdio>

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
    FILE* file = path ? _wfopen(path, L"rb") : nullptr;
    if (!file)
        return NR_FILE_OPEN_READ;
    uint8_t head[32] = {};
    const size_t read = fread(head, 1, sizeof head, file);
    if (!IsFormat(head, 0, read)) {
        fclose(file);
        return NR_NOT_THIS_FORMAT;
    }
    int64_t length = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        length = _ftelli64(file);
    fclose(file);
    consumedSize = length > 0 ? static_cast<uint64_t>(length) : 0;

    NImageBuffer& bitmap = target ? *target : picture;
    const NRESULT result = DecodeWithWic(path, bitmap);
    if (result != NR_OK)
        return result;
    ExifFromShellProperties(path, &bitmap, &metadata);
    fullWidth = bitmap.width;
    fullHeight = bitmap.height;
    return NR_OK;
}
