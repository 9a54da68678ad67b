// The JPEG format class: what reading and writing share (the signature, libjpeg's error exit).
// Reading is in JpegRead.cpp, the embedded-picture fallback in JpegEmbedded.cpp, writing in
// JpegWrite.cpp, metadata in JpegMetadata.cpp and the walk over the markers in JpegExtent.cpp.
#include "imagefile/formats/NImageFileJPG.h"

#include <cstring>

#include "base/Utf8.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/JpegLib.h"

void SetUpJpegErrorManager(JpegErrorManager& manager, NImageFileJPG* owner)
{
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = NImageFileJPG::ErrorExit;
    manager.owner = owner;
    manager.message[0] = '\0';
}

bool IsNotJpegMessage(const JpegErrorManager& manager)
{
    return std::strstr(manager.message, "Not a JPEG file") != nullptr;
}

NImageFileJPG::NImageFileJPG()
{
    decoderMessage = L"";
}

NImageFileJPG::~NImageFileJPG() = default;

bool NImageFileJPG::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, kJpegSignatureWindow))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

FileType NImageFileJPG::GetFormatId() const
{
    return FT_JPG;
}

void NImageFileJPG::ErrorExit(jpeg_common_struct* common)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(common->err);
    manager->message[0] = '\0';
    (*common->err->format_message)(common, manager->message);
    manager->message[JMSG_LENGTH_MAX - 1] = '\0';
    if (manager->owner) {
        NString text = NStringFromAnsi(manager->message, std::strlen(manager->message), JMSG_LENGTH_MAX);
        manager->owner->decoderMessage = text;
    }
    __builtin_longjmp(manager->jump, 1);
}

NRESULT NImageFileJPG::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}
