#include "imagefile/CameraRaw.h"

#include "imagefile/SignatureWindow.h"

bool IsCameraRawData(const uint8_t* buffer, size_t offset, size_t length)
{
    if (!SignatureFits(buffer, offset, length, 4))
        return false;
    const uint8_t* p = buffer + offset;

    if (p[0] == 'M' && p[1] == 'M' && p[2] == 0x00 && p[3] == 0x2A)
        return true;
    if (p[0] == 'I' && p[1] == 'I') {
        if (p[3] == 0x00 && (p[2] == 0x2A || p[2] == 0x1A || p[2] == 0x55))
            return true;
        if (p[2] == 'R' && p[3] == 'O')
            return true;
    }

    if (SignatureFits(buffer, offset, length, 13) && SignatureIs(p + 4, "ftyp") &&
        (SignatureIs(p + 8, "crx ") || SignatureIs(p + 8, " xrc")))
        return true;

    if (!SignatureFits(buffer, offset, length, 32))
        return false;
    return SignatureIs(p + 25, "ARECOYK") || SignatureIs(p, "FUJIFILMCCD-RAW") ||
           SignatureIs(p, "NOKIARAW") || SignatureIs(p, "DSC-Image") || SignatureIs(p, "PWAD") ||
           SignatureIs(p, "ftypcrx");
}
