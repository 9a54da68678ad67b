// The grain texture and the masks shipped beside the program decode through the image file layer,
// as the picture-file effects get them: the grey pictures and the overlay with its alpha.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "imaging/NImageBuffer.h"

TEST(ShippedEffectPictures, DecodeWithTheirSizesAndDepths)
{
    const struct {
        const wchar_t* name;
        int width, height;
        bool alpha;
    } pictures[] = {
        {L"Frames\\Shape\\Border\\grainy.jpg", 128, 128, false},
        {L"Masks\\canvas.jpg", 64, 64, false},
        {L"Masks\\oval.jpg", 160, 120, false},
        {L"Masks\\vignette.png", 160, 120, true},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(testing::Message() << std::string(p.name, p.name + wcslen(p.name)));
        NImageBuffer picture;
        ASSERT_EQ(0, LoadImageIntoBitmap(picture, ResourcePath(p.name).c_str(), 0, 1, nullptr, 0));
        EXPECT_EQ(p.width, picture.width);
        EXPECT_EQ(p.height, picture.height);
        if (p.alpha) {
            EXPECT_EQ(32, picture.bpp) << "the overlay keeps its alpha";
        } else {
            EXPECT_LE(picture.bpp, 24);
        }
    }
}
