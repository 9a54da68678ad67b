// A colour profile whose lookup table claims far more than its bytes is refused within the
// context's cap; real profiles still make their transforms.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <cstring>
#include <string>
#include <vector>

#include "JpegTestCodec.h"
#include "common/TestFiles.h"
#include "imagefile/IccContext.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The profile of a JPEG's first APP2 "ICC_PROFILE" segment (one segment is enough here).
Bytes JpegProfile(const std::wstring& name)
{
    Bytes jpeg;
    EXPECT_TRUE(ReadWholeFile(TestDataPath(name), jpeg));
    for (const size_t at : jpegtest::FindSegments(jpeg, 0xE2)) {
        const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (length > 16 && at + 2 + length <= jpeg.size() && std::memcmp(&jpeg[at + 4], "ICC_PROFILE", 12) == 0)
            return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4 + 14),
                         jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    }
    return {};
}

bool MakesTransform(IccContext& context, const Bytes& profile)
{
    cmsHPROFILE input = cmsOpenProfileFromMemTHR(context.Get(), profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (!input)
        return false;
    cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context.Get());
    cmsHTRANSFORM transform =
        cmsCreateTransformTHR(context.Get(), input, TYPE_CMYK_8_REV, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    const bool made = transform != nullptr;
    if (transform)
        cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(input);
    return made;
}

}  // namespace

TEST(IccContext, ALookupTableLargerThanItsProfileIsRefusedWithinTheCap)
{
    const Bytes real = JpegProfile(L"jpeg\\cmyk-icc.jpg");
    // Found by the fuzz campaign: a run of 39 bytes repeated inside the tag table makes a LUT16
    // tag claim a table of 233 MB.
    const Bytes claiming = JpegProfile(L"fuzz\\fuzz_20261211_237184.jpg");
    ASSERT_FALSE(real.empty());
    ASSERT_FALSE(claiming.empty());
    {
        IccContext context;
        ASSERT_NE(nullptr, context.Get());
        const uint64_t own = context.Usage().live;   // the context's own tables
        EXPECT_TRUE(MakesTransform(context, real));
        EXPECT_EQ(0u, context.Usage().refused);
        EXPECT_EQ(own, context.Usage().live);
    }
    {
        IccContext context;
        const uint64_t own = context.Usage().live;
        EXPECT_FALSE(MakesTransform(context, claiming));
        EXPECT_GT(context.Usage().refused, 0u);
        EXPECT_LE(context.Usage().peak, IccContext::kDefaultCap);
        EXPECT_EQ(own, context.Usage().live);
    }
}
