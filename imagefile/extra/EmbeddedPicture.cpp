#include "imagefile/extra/EmbeddedPicture.h"

#include "imaging/NImageBuffer.h"

#if __has_include("imagefile/ImageFactory.h")
#include "imagefile/ImageFactory.h"
#define VST_HAVE_IMAGE_FACTORY 1
#endif

NRESULT LoadEmbeddedPicture(NImageBuffer& target, const wchar_t* path, FileType type)
{
#ifdef VST_HAVE_IMAGE_FACTORY
    return LoadImageIntoBitmap(target, path, 0, 1, nullptr, type);
#else
    (void)target;
    (void)path;
    (void)type;
    return NR_FORMAT_NOT_SUPPORTED;
#endif
}

NRESULT SaveEmbeddedPicture(NImageBuffer& picture, const wchar_t* path, FileType type)
{
#ifdef VST_HAVE_IMAGE_FACTORY
    return SaveImageFile(&picture, path, type, nullptr);
#else
    (void)picture;
    (void)path;
    (void)type;
    return NR_NO_WRITER;
#endif
}
