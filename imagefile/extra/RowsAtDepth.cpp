#include "imagefile/extra/RowsAtDepth.h"

#include "imaging/NImageBuffer.h"

#include <cstdlib>

RowsAtDepth::~RowsAtDepth()
{
    free(converted_);
}

bool RowsAtDepth::Prepare(const NImageBuffer& picture, int bitsPerPixel)
{
    free(converted_);
    converted_ = nullptr;
    rows_ = nullptr;
    if (!picture.valid || !picture.bits || (bitsPerPixel != 24 && bitsPerPixel != 32))
        return false;
    stride_ = static_cast<size_t>(NImageBuffer::StrideFor(picture.width, bitsPerPixel));
    if (stride_ == 0)
        return false;
    if (picture.bpp == bitsPerPixel) {
        rows_ = picture.bits;
        return true;
    }
    converted_ = picture.GetBitsAs(bitsPerPixel);
    rows_ = converted_;
    return rows_ != nullptr;
}
