#include "imagefile/formats/NImageFileJPP.h"

#include "base/ScopedFile.h"
#include "imagefile/DataBound.h"
#include "imagefile/formats/JppDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

bool NImageFileJPP::IsFormat(const uint8_t*, uint64_t, uint64_t)
{
    return false;
}

FileType NImageFileJPP::GetFormatId() const
{
    return FT_JPP;
}

NRESULT NImageFileJPP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    SetFileName(path);
    ScopedFile in(path, L"rb");
    FILE* file = in.Get();
    if (!file)
        return NR_FILE_OPEN_READ;
    int64_t size = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        size = _ftelli64(file);
    if (size < 0 || _fseeki64(file, 0, SEEK_SET) != 0)
        return NR_FILE_OPEN_READ;
    const std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size ? static_cast<size_t>(size) : 1]);
    if (!block)
        return NR_ALLOCATION_FAILED;
    uint8_t* const bytes = block.get();
    const size_t got = fread(bytes, 1, static_cast<size_t>(size), file);
    const int64_t position = _ftelli64(file);
    consumedSize = position > 0 ? static_cast<uint64_t>(position) : 0;
    in.Close();

    // A file too short to hold the header has no sizes to go by.
    if (got < JppDecoder::kHeaderSize)
        return NR_INVALID_DATA;
    std::unique_ptr<JppDecoder> decoder(new (std::nothrow) JppDecoder());
    if (!decoder)
        return NR_ALLOCATION_FAILED;
    uint16_t width = 0;
    uint16_t height = 0;
    size_t dataOffset = 0;
    if (!decoder->ParseHeader(bytes, got, width, height, dataOffset))
        return NR_PICTURE_CREATE_FAILED;
    // Huffman-coded blocks: no more than 512 pixels a byte of the file.
    if (!DataBound::Fits(width, height, 8, got, 512))
        return NR_INVALID_DATA;
    NImageBuffer* picture = target ? target : &this->picture;
    if (!picture->Create(width, height, 24, 0, nullptr))
        return NR_PICTURE_CREATE_FAILED;
    decoder->DecodePicture(bytes + dataOffset, picture->bits);
    // The picture ends with the last byte the decoder took; whole bytes still waiting in its bit
    // reader were never used. A decoder that ran out of data used the whole file.
    if (decoder->bytesLeft > 0) {
        const size_t read = got - dataOffset - decoder->bytesLeft;
        const size_t unused = std::min<size_t>(read, static_cast<size_t>(decoder->bitCount / 8));
        consumedSize = dataOffset + read - unused;
    }
    fullWidth = picture->width;
    fullHeight = picture->height;
    return NR_OK;
}
