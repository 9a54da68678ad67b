#include "imagefile/ImageOptions.h"

void ImageLoadOptions::Reset()
{
    *this = ImageLoadOptions();
}

ImageSaveOptions::ImageSaveOptions() = default;

ImageSaveOptions::~ImageSaveOptions() = default;

void ImageSaveOptions::Reset()
{
    *this = ImageSaveOptions();
}
