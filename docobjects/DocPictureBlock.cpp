#include "docobjects/DocPictureBlock.h"

#include "docobjects/NObjectDocument.h"

#include <zlib.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// Deflate never packs more than about 1032 bytes into one; data claiming a larger ratio cannot
// inflate to the rows, so no picture is made for it.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 1024;

// The depth at which the rows are stored for a bits-per-pixel value of the file.
uint32_t StoredDepth(uint32_t bitsPerPixel)
{
    if (bitsPerPixel <= 1)
        return 1;
    if (bitsPerPixel <= 4)
        return 4;
    if (bitsPerPixel <= 8)
        return 8;
    if (bitsPerPixel <= 16)
        return 16;
    if (bitsPerPixel <= 24)
        return 24;
    return 32;
}

// stride x height of the stored rows; false when it does not fit 64 bits.
bool StoredSize(uint32_t width, uint32_t height, uint32_t depth, uint64_t& size)
{
    const uint64_t stride = ((static_cast<uint64_t>(width) * depth + 31) / 32) * 4;
    if (height != 0 && stride > UINT64_MAX / height)
        return false;
    size = stride * height;
    return true;
}

}  // namespace

DocPictureStatus ReadDocPicture(DocFileReader& in, DocPictureForm form, NImageBuffer& picture,
                                DocPictureHeader* header)
{
    picture.Destroy();
    DocPictureHeader h;
    uint32_t dpiX = 96;
    uint32_t dpiY = 96;
    if (!in.U32(h.width) || !in.U32(h.height) || !in.U32(h.bitsPerPixel))
        return DocPictureStatus::Truncated;
    if (header)
        *header = h;
    if (form != DocPictureForm::Short && (!in.U32(dpiX) || !in.U32(dpiY)))
        return DocPictureStatus::Truncated;

    uint8_t paletteRgb[256 * 3] = {};
    const bool hasPalette = form == DocPictureForm::Full && h.bitsPerPixel <= 8;
    if (hasPalette && !in.Read(paletteRgb, (size_t{1} << h.bitsPerPixel) * 3))
        return DocPictureStatus::Truncated;

    uint32_t flag = 0;
    if (!in.U32(flag))
        return DocPictureStatus::Truncated;
    h.compressed = flag == 1;
    if (header)
        *header = h;

    const uint32_t depth = StoredDepth(h.bitsPerPixel);
    uint64_t needed = 0;
    const bool sized = StoredSize(h.width, h.height, depth, needed);
    uint32_t packed = 0;
    uint64_t dataLength = 0;
    if (h.compressed) {
        if (!in.U32(packed) || !in.Fits(packed))
            return DocPictureStatus::Truncated;
        dataLength = packed;
    } else {
        if (!sized || !in.Fits(needed))
            return DocPictureStatus::Truncated;
        dataLength = needed;
    }

    // Rows of 8 bpp or less need a palette, which only the full form carries.
    const bool makeable = h.width != 0 && h.height != 0 && h.width <= INT32_MAX && h.height <= INT32_MAX &&
                          (depth > 8 || hasPalette);
    if (!makeable) {
        in.Skip(dataLength);
        return DocPictureStatus::NotCreated;
    }
    if (h.compressed && (!sized || needed > packed * kMaxInflateRatio + kInflateSlack)) {
        in.Skip(dataLength);
        return DocPictureStatus::InflateFailed;
    }
    if (!picture.Create(static_cast<int>(h.width), static_cast<int>(h.height), static_cast<int>(depth), 0xFFFFFF,
                        hasPalette ? paletteRgb : nullptr) ||
        picture.bpp != depth || static_cast<uint64_t>(picture.stride) * picture.height != needed) {
        picture.Destroy();
        in.Skip(dataLength);
        return DocPictureStatus::NotCreated;
    }

    if (h.compressed) {
        uint8_t* source = new (std::nothrow) uint8_t[packed == 0 ? 1 : packed];
        if (!source) {
            picture.Destroy();
            in.Skip(dataLength);
            return DocPictureStatus::NoBuffer;
        }
        bool inflated = in.Read(source, packed);
        if (inflated) {
            uLongf produced = static_cast<uLongf>(needed);
            inflated = uncompress(picture.bits, &produced, source, packed) == Z_OK && produced == needed;
        }
        delete[] source;
        if (!inflated) {
            picture.Destroy();
            return DocPictureStatus::InflateFailed;
        }
    } else if (!in.Read(picture.bits, static_cast<size_t>(needed))) {
        picture.Destroy();
        return DocPictureStatus::Truncated;
    }

    if (form != DocPictureForm::Short) {
        picture.dpiX = static_cast<int32_t>(dpiX);
        picture.dpiY = static_cast<int32_t>(dpiY);
    }
    return DocPictureStatus::Read;
}

NRESULT WriteDocPicture(DocFileWriter& out, DocPictureForm form, const NImageBuffer& picture, bool compressed)
{
    if (!picture.valid) {
        out.U32(0);
        out.U32(0);
        out.U32(24);
        if (form != DocPictureForm::Short) {
            out.U32(96);
            out.U32(96);
        }
        out.U32(0);
        return out.Failed() ? NR_FILE_OPEN_WRITE : NR_OK;
    }

    // The forms without a palette cannot carry palette rows.
    const NImageBuffer* source = &picture;
    NImageBuffer widened;
    if (form != DocPictureForm::Full && picture.bpp <= 8) {
        if (!widened.Copy(picture) || !widened.ConvertToBpp(24, true))
            return NR_ALLOCATION_FAILED;
        source = &widened;
    }

    out.U32(static_cast<uint32_t>(source->width));
    out.U32(static_cast<uint32_t>(source->height));
    out.U32(source->bpp);
    if (form != DocPictureForm::Short) {
        out.U32(static_cast<uint32_t>(picture.dpiX));
        out.U32(static_cast<uint32_t>(picture.dpiY));
    }
    if (form == DocPictureForm::Full && source->bpp <= 8) {
        const size_t entries = size_t{1} << source->bpp;
        for (size_t i = 0; i < entries; ++i) {
            // The record keeps blue, green, red; the file red, green, blue.
            const uint8_t rgb[3] = {source->palette[i][2], source->palette[i][1], source->palette[i][0]};
            out.Write(rgb, 3);
        }
    }
    out.U32(compressed ? 1 : 0);
    if (out.Failed())
        return NR_FILE_OPEN_WRITE;
    if (compressed) {
        uint32_t length = 0;
        const NRESULT r = NObjectDocument::WriteCompressedBits(out.get(), *source, length);
        if (r != NR_OK)
            out.SetFailed();
        return r;
    }
    const size_t size = static_cast<size_t>(source->stride) * source->height;
    return out.Write(source->bits, size) ? NR_OK : NR_FILE_OPEN_WRITE;
}
