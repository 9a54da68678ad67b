// The image-file base class: fresh state, option records, frame tables, paging and the
// writers' SaveFrom rule.
#include "imagefile/NImageFile.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A writer that records what its Save was given.
class RecordingWriter : public NImageFile {
public:
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override { return SaveFromSource(path, source); }
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override
    {
        ++saves;
        savedPath = path;
        savedPicture = picture;
        savedMetadata = metadata;
        return NR_OK;
    }

    int saves = 0;
    const wchar_t* savedPath = nullptr;
    NImageBuffer* savedPicture = nullptr;
    ImageMetadata* savedMetadata = nullptr;
};

// A multi-page class whose page index is limited to the last page.
class LimitedPages : public NImageFile {
public:
    void SetPage(int32_t index) override { SetPageLimitedToLast(index); }
};

}  // namespace

TEST(NImageFile, FreshObjectAnswersTheBaseDefaults)
{
    NImageFile file;
    EXPECT_EQ(file.GetFormatId(), 0);
    EXPECT_EQ(file.GetColorCount(), 256);
    EXPECT_EQ(file.GetConsumedSize(), 0u);
    EXPECT_EQ(file.GetPageCount(), 0);
    EXPECT_FALSE(file.IsMultiImage());
    EXPECT_FALSE(file.IsAnimated());
    EXPECT_FALSE(file.IsHighDynamicRange());
    EXPECT_EQ(file.ReservedOperation(), 0);
    ASSERT_NE(file.GetFileName(), nullptr);
    EXPECT_STREQ(file.GetFileName(), L"");
    EXPECT_FALSE(file.picture.valid);
    EXPECT_EQ(file.fullWidth, 0);
    EXPECT_EQ(file.fullHeight, 0);
    EXPECT_EQ(file.currentPage, 0);
    EXPECT_EQ(file.pageTotal, 0u);
    EXPECT_EQ(file.progressOverlay, nullptr);

    EXPECT_EQ(file.metadata.resolutionX, 96);
    EXPECT_EQ(file.metadata.resolutionY, 96);
    EXPECT_FALSE(file.metadata.exif.hasExif);
    EXPECT_EQ(file.metadata.exif.data, nullptr);
    EXPECT_FALSE(file.metadata.iptc.hasIptc);
    EXPECT_TRUE(file.metadata.xmp.empty());
    EXPECT_TRUE(file.metadata.make.IsEmpty());

    EXPECT_EQ(file.Load(L"x.jpg", 0, 0, nullptr), NR_FORMAT_NOT_SUPPORTED);
    EXPECT_EQ(file.Save(L"x.jpg", nullptr, nullptr), NR_FORMAT_NOT_SUPPORTED);
    EXPECT_EQ(file.SaveFrom(L"x.jpg", &file), NR_FORMAT_NOT_SUPPORTED);
    EXPECT_EQ(file.BeginPages(L"x.tif", nullptr), NR_NOT_IMPLEMENTED);
    EXPECT_EQ(file.AddPage(nullptr), NR_NOT_IMPLEMENTED);
    EXPECT_EQ(file.EndPages(), NR_NOT_IMPLEMENTED);
}

TEST(NImageFile, OptionRecordsStartAtTheirDefaults)
{
    NImageFile file;
    const ImageLoadOptions& load = file.loadOptions;
    EXPECT_EQ(load.backgroundColour, 0xFFFFFFu);
    EXPECT_EQ(load.applyOrientation, 0);
    EXPECT_EQ(load.shrinkLargePictures, 0);
    EXPECT_EQ(load.toneParameter, 0);
    EXPECT_EQ(load.plugInFlag, 0);
    EXPECT_TRUE(load.plugInPath.IsEmpty());
    EXPECT_EQ(load.document, nullptr);
    EXPECT_EQ(load.reservedFlag1, 1);
    EXPECT_EQ(load.reservedFlag2, 1);

    const ImageSaveOptions& save = file.saveOptions;
    EXPECT_EQ(save.animationOff, 0);
    EXPECT_EQ(save.jpegQuality, 85);
    EXPECT_EQ(save.jpegOptimize, 1);
    EXPECT_EQ(save.jpegProgressive, 0);
    EXPECT_EQ(save.jpegSmoothing, 0.0f);
    EXPECT_TRUE(save.jpegComment.IsEmpty());
    EXPECT_EQ(save.jngQuality, 85);
    EXPECT_EQ(save.jngOptimize, 1);
    EXPECT_EQ(save.jngFlag, 0);
    EXPECT_EQ(save.jp2Rate, 30);
    EXPECT_EQ(save.jp2Lossless, 1);
    EXPECT_EQ(save.jxrQuality, 85);
    EXPECT_EQ(save.jxrLossless, 1);
    EXPECT_EQ(save.webpQuality, 85);
    EXPECT_EQ(save.webpLossless, 1);
    EXPECT_EQ(save.pngCompressionLevel, 5);
    EXPECT_EQ(save.pngInterlace, 0);
    EXPECT_EQ(save.tgaRunLength, 0);
    EXPECT_EQ(save.sgiStorage, 1);
    EXPECT_EQ(save.rasRunLength, 1);
    EXPECT_EQ(save.tiffCompression, 2);
    EXPECT_EQ(save.documentCompression, 0);
    EXPECT_EQ(save.document, nullptr);
    EXPECT_EQ(save.documentPreview, nullptr);
}

TEST(NImageFile, OptionSettersCopyDeeplyAndIgnoreNull)
{
    NImageFile file;
    file.SetLoadOptions(nullptr);
    file.SetSaveOptions(nullptr);
    EXPECT_EQ(file.loadOptions.backgroundColour, 0xFFFFFFu);
    EXPECT_EQ(file.saveOptions.jpegQuality, 85);

    NImageBuffer preview;
    auto load = std::make_unique<ImageLoadOptions>();
    load->backgroundColour = 0x102030;
    load->toneParameter = -4;
    load->plugInPath = L"C:\\PlugIns\\LMC_a.dll";
    auto save = std::make_unique<ImageSaveOptions>();
    save->jpegQuality = 40;
    save->jpegComment = L"hello";
    save->documentPreview = &preview;
    file.SetLoadOptions(load.get());
    file.SetSaveOptions(save.get());
    load.reset();
    save.reset();

    EXPECT_EQ(file.loadOptions.backgroundColour, 0x102030u);
    EXPECT_EQ(file.loadOptions.toneParameter, -4);
    EXPECT_STREQ(file.loadOptions.plugInPath.c_str(), L"C:\\PlugIns\\LMC_a.dll");
    EXPECT_EQ(file.saveOptions.jpegQuality, 40);
    EXPECT_STREQ(file.saveOptions.jpegComment.c_str(), L"hello");
    EXPECT_EQ(file.saveOptions.documentPreview, &preview);

    file.ResetLoadOptions();
    file.ResetSaveOptions();
    EXPECT_EQ(file.loadOptions.backgroundColour, 0xFFFFFFu);
    EXPECT_TRUE(file.loadOptions.plugInPath.IsEmpty());
    EXPECT_EQ(file.saveOptions.jpegQuality, 85);
    EXPECT_TRUE(file.saveOptions.jpegComment.IsEmpty());
    EXPECT_EQ(file.saveOptions.documentPreview, nullptr);
}

TEST(NImageFile, FrameTablesAnswerZeroOutsideTheirLength)
{
    NImageFile file;
    file.frameDelays = {10, 20, 30};
    file.frameDisposals = {1, 2, 3};
    file.frameTransparentIndexes = {0xFFFF, 5, 7};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(file.GetFrameDelay(i), file.frameDelays[i]);
        EXPECT_EQ(file.GetFrameDisposal(i), file.frameDisposals[i]);
        EXPECT_EQ(file.GetFrameTransparentIndex(i), file.frameTransparentIndexes[i]);
    }
    for (int index : {3, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(file.GetFrameDelay(index), 0) << index;
        EXPECT_EQ(file.GetFrameDisposal(index), 0) << index;
        EXPECT_EQ(file.GetFrameTransparentIndex(index), 0) << index;
    }
}

TEST(NImageFile, PageIndexLimitedToTheLastPage)
{
    struct Case {
        int32_t pages;
        int32_t index;
        int32_t current;
    };
    const Case cases[] = {
        {3, 7, 2}, {3, 1, 1}, {3, 2, 2}, {3, -1, 2}, {3, INT32_MIN, 2}, {0, 5, 0}, {0, -1, 0}, {1, 0, 0},
    };
    for (const Case& c : cases) {
        LimitedPages file;
        file.pageCount = c.pages;
        file.SetPage(c.index);
        EXPECT_EQ(file.currentPage, c.current) << c.pages << " pages, index " << c.index;
    }

    NImageFile plain;
    plain.SetPage(7);
    EXPECT_EQ(plain.currentPage, 0);
}

TEST(NImageFile, WriterSaveFromUsesTheSourcePictureAndMetadata)
{
    RecordingWriter writer;
    EXPECT_EQ(writer.SaveFrom(L"out.bmp", nullptr), NR_INVALID_DATA);
    EXPECT_EQ(writer.saves, 0);

    NImageFile source;
    EXPECT_EQ(writer.SaveFrom(L"out.bmp", &source), NR_OK);
    EXPECT_EQ(writer.saves, 1);
    EXPECT_STREQ(writer.savedPath, L"out.bmp");
    EXPECT_EQ(writer.savedPicture, &source.picture);
    EXPECT_EQ(writer.savedMetadata, &source.metadata);
}

TEST(NImageFile, FileNameIsStoredAndNeverNull)
{
    NImageFile file;
    file.SetFileName(L"C:\\pictures\\a.jpg");
    EXPECT_STREQ(file.GetFileName(), L"C:\\pictures\\a.jpg");
    file.SetFileName(nullptr);
    ASSERT_NE(file.GetFileName(), nullptr);
    EXPECT_STREQ(file.GetFileName(), L"");
}

TEST(NImageFile, GenericHolderAnswersItsStoredId)
{
    NImageFileGeneric generic;
    EXPECT_EQ(generic.GetFormatId(), 0);
    generic.formatId = FT_RAW;
    NImageFile* base = &generic;
    EXPECT_EQ(base->GetFormatId(), 36);
    EXPECT_EQ(base->Load(L"x.raw", 0, 1, nullptr), NR_FORMAT_NOT_SUPPORTED);
}

TEST(NImageFile, OwnerDeletesThroughTheBaseReleasingDerivedMembers)
{
    static int destroyed = 0;
    struct WithMember : NImageFile {
        ~WithMember() override { ++destroyed; }
        NString own = L"decoder message";
    };
    std::unique_ptr<NImageFile> owner(new WithMember);
    ASSERT_TRUE(owner->picture.Create(4, 3, 24, 0));
    ASSERT_TRUE(owner->metadata.exif.Reset());
    owner.reset();
    EXPECT_EQ(destroyed, 1);
}
