#include "imagefile/extra/NImageFilePCD.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/FormatStream.h"

#include <cmath>
#include <vector>

namespace {

constexpr uint64_t kSignatureOffset = 2048;
constexpr size_t kOrientationByte = 72;
constexpr uint64_t kBaseOffset = 0x30000;
constexpr uint64_t kBase16Offset = 8192;

uint8_t ClampByte(float value)
{
    const float rounded = std::floor(value + 0.5f);
    if (rounded <= 0.0f)
        return 0;
    if (rounded >= 255.0f)
        return 255;
    return static_cast<uint8_t>(rounded);
}

}  // namespace

bool NImageFilePCD::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 2055))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p + 2048, "PCD_IPI");
}

PictureExtent NImageFilePCD::FindExtent(ByteSource& source)
{
    uint8_t signature[7];
    if (!source.ReadAt(kSignatureOffset, signature, sizeof signature))
        return PictureExtent::Unknown();
    return SignatureIs(signature, "PCD_IPI") ? PictureExtent::Unknown() : PictureExtent::Broken();
}

FileType NImageFilePCD::GetFormatId() const
{
    return FT_PCD;
}

void NImageFilePCD::YccToRgb(uint8_t luma, uint8_t chroma1, uint8_t chroma2, uint8_t rgb[3])
{
    const float y = luma;
    const float c1 = static_cast<float>(chroma1) - 156.0f;
    const float c2 = static_cast<float>(chroma2) - 137.0f;
    rgb[0] = ClampByte(1.407488f * y + 0.0000256f * c1 + 1.3230336f * c2);
    rgb[1] = ClampByte(1.407488f * y - 0.3954176f * c1 - 0.67392f * c2);
    rgb[2] = ClampByte(1.407488f * y + 2.0360448f * c1 + 0.0000256f * c2);
}

NRESULT NImageFilePCD::Load(const wchar_t* path, uint8_t preview, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;
    uint8_t signature[7];
    if (!in.Seek(kSignatureOffset) || !in.ReadExact(signature, sizeof signature) ||
        !SignatureIs(signature, "PCD_IPI"))
        return NR_NOT_THIS_FORMAT;

    fullWidth = 768;
    fullHeight = 512;
    const int width = preview ? 192 : 768;
    const int height = preview ? 128 : 512;
    NImageBuffer& out = target ? *target : picture;
    if (!out.Create(width, height, 24, 0, nullptr))
        return NR_PICTURE_CREATE_FAILED;

    uint8_t head[128];
    if (!in.Seek(0) || !in.ReadExact(head, sizeof head)) {
        out.Destroy();
        return NR_FILE_ERROR;   // the signature further on was readable: a read error
    }
    const unsigned orientation = head[kOrientationByte] & 0x3Fu;
    const bool topFirst = orientation == 8;

    // Row pairs: two luma rows, then half a row of C1 and half a row of C2 for both.
    const size_t w = static_cast<size_t>(width);
    std::vector<uint8_t> pair(w * 3);
    const size_t stride = static_cast<size_t>(out.stride);
    if (in.Seek(preview ? kBase16Offset : kBaseOffset)) {
        for (int p = 0; p < height / 2; ++p) {
            if (!in.ReadExact(pair.data(), pair.size()))
                break;   // the file ends: the rows below stay black
            const uint8_t* c1 = pair.data() + 2 * w;
            const uint8_t* c2 = c1 + w / 2;
            for (int k = 0; k < 2; ++k) {
                const int decoded = 2 * p + k;
                const int scanLine = topFirst ? height - 1 - decoded : decoded;
                const uint8_t* luma = pair.data() + static_cast<size_t>(k) * w;
                uint8_t* q = out.bits + static_cast<size_t>(scanLine) * stride;
                for (size_t x = 0; x < w; ++x) {
                    uint8_t rgb[3];
                    YccToRgb(luma[x], c1[x / 2], c2[x / 2], rgb);
                    q[x * 3] = rgb[2];
                    q[x * 3 + 1] = rgb[1];
                    q[x * 3 + 2] = rgb[0];
                }
            }
        }
    }

    // The larger resolutions of the pack follow Base; the whole file belongs to the picture.
    consumedSize = in.Length();
    in.Close();

    if (orientation == 9 || orientation == 11) {
        fullWidth = 512;
        fullHeight = 768;
        if (orientation == 9)
            out.Rotate90Clockwise();
        else
            out.Rotate90CounterClockwise();
        out.FlipVertical();
    }
    return NR_OK;
}
