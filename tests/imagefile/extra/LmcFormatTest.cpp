// The document format class: loading the picture, preview and metadata (with and without an
// attached document), saving with the preview and the EXIF block it builds, and carved
// candidates with trailing bytes.
#include "imagefile/extra/NImageFileLMC.h"

#include "imagefile/ImageFactory.h"
#include "LmcFixtures.h"

#include <libexif/exif-data.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace lmc;

namespace {

void Picture(NImageBuffer& pic, int width, int height, int bpp = 24)
{
    ASSERT_TRUE(pic.Create(width, height, bpp, 0, nullptr));
    FillPattern(pic);
    pic.dpiX = 300;
    pic.dpiY = 200;
}

void AddRectangleObject(NObjectDocument& doc, int32_t id)
{
    DocObject o;
    o.id = id;
    o.rect = RECT{0, 0, 20, 10};
    RectanglePayload p;
    p.outlineColour = 0x00FF00;
    doc.AddRectangle(o, &p);
}

// The EXIF data of a block as the writer stored it.
struct ParsedExif {
    ExifData* data = nullptr;
    explicit ParsedExif(const std::string& block)
    {
        if (!block.empty())
            data = exif_data_new_from_data(reinterpret_cast<const unsigned char*>(block.data()),
                                           static_cast<unsigned int>(block.size()));
    }
    ~ParsedExif()
    {
        if (data)
            exif_data_unref(data);
    }
    ExifEntry* Entry(ExifTag tag) const { return data ? exif_content_get_entry(data->ifd[EXIF_IFD_0], tag) : nullptr; }
    int Short(ExifTag tag) const
    {
        ExifEntry* e = Entry(tag);
        return e ? exif_get_short(e->data, exif_data_get_byte_order(data)) : -1;
    }
    long Long(ExifTag tag) const
    {
        ExifEntry* e = Entry(tag);
        if (!e)
            return -1;
        return e->format == EXIF_FORMAT_SHORT ? exif_get_short(e->data, exif_data_get_byte_order(data))
                                              : static_cast<long>(exif_get_long(e->data, exif_data_get_byte_order(data)));
    }
    double Rational(ExifTag tag) const
    {
        ExifEntry* e = Entry(tag);
        if (!e)
            return -1;
        const ExifRational r = exif_get_rational(e->data, exif_data_get_byte_order(data));
        return r.denominator ? static_cast<double>(r.numerator) / r.denominator : 0;
    }
    std::string Text(ExifTag tag) const
    {
        ExifEntry* e = Entry(tag);
        return e && e->data ? std::string(reinterpret_cast<const char*>(e->data), strnlen(reinterpret_cast<const char*>(e->data), e->size)) : std::string();
    }
};

class LmcFormatTest : public ::testing::Test {
protected:
    TestDir dir;

    // A document file with a preview, metadata and two objects.
    std::wstring WriteDocument(const wchar_t* name, const NImageBuffer& base, const NImageBuffer* preview,
                               const std::string& xmp, const std::string& exif)
    {
        NObjectDocument doc;
        AddRectangleObject(doc, 1);
        AddRectangleObject(doc, 2);
        const std::wstring path = dir.File(name);
        EXPECT_EQ(doc.Save(base, path.c_str(), true, preview, xmp, exif), NR_OK);
        return path;
    }
};

TEST_F(LmcFormatTest, LoadsPictureMetadataAndConsumedSize)
{
    NImageBuffer base;
    Picture(base, 30, 20);
    NExifHolder camera;
    ASSERT_TRUE(camera.Reset());
    camera.SetTagText("Test camera", EXIF_IFD_0, EXIF_TAG_MODEL);
    unsigned char* block = nullptr;
    unsigned int blockLength = 0;
    exif_data_save_data(camera.data, &block, &blockLength);
    const std::string exif(reinterpret_cast<const char*>(block), blockLength);
    std::free(block);
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    const std::wstring path = WriteDocument(L"meta.lmcdoc", base, nullptr, xmp, exif);

    NImageFileLMC file;
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(file.picture, base));
    EXPECT_EQ(file.fullWidth, 30);
    EXPECT_EQ(file.fullHeight, 20);
    EXPECT_STREQ(file.GetFileName(), path.c_str());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(file.GetConsumedSize(), bytes.size());
    EXPECT_EQ(file.metadata.xmp, xmp);
    ASSERT_TRUE(file.metadata.exif.hasExif);
    ExifEntry* model = exif_content_get_entry(file.metadata.exif.data->ifd[EXIF_IFD_0], EXIF_TAG_MODEL);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(model->data), "Test camera");
    EXPECT_EQ(file.GetFormatId(), 50);

    // Into a given picture; the own picture stays empty.
    NImageFileLMC other;
    NImageBuffer target;
    ASSERT_EQ(other.Load(path.c_str(), 0, 0, &target), NR_OK);
    EXPECT_TRUE(SamePixels(target, base));
    EXPECT_FALSE(other.picture.valid);
}

// The objects go to an attached document only for a full load.
TEST_F(LmcFormatTest, AttachedDocumentReceivesTheObjects)
{
    NImageBuffer base;
    Picture(base, 8, 8);
    const std::wstring path = WriteDocument(L"objects.lmcdoc", base, nullptr, "", "");

    NObjectDocument attached;
    AddRectangleObject(attached, 40);
    ImageLoadOptions options;
    options.document = &attached;

    NImageFileLMC quick;
    quick.SetLoadOptions(&options);
    ASSERT_EQ(quick.Load(path.c_str(), 0, 1, nullptr), NR_OK);
    ASSERT_EQ(Objects(attached).size(), 1u);
    EXPECT_EQ(Objects(attached)[0]->id, 40);

    NImageFileLMC full;
    full.SetLoadOptions(&options);
    ASSERT_EQ(full.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    const auto objects = Objects(attached);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]->id, 1);
    EXPECT_EQ(objects[1]->id, 2);
    EXPECT_TRUE(SamePixels(full.picture, base));
}

// The preview flag decodes the stored preview, and the full size is still reported.
TEST_F(LmcFormatTest, PreviewLoadReadsThePreview)
{
    NImageBuffer base;
    Picture(base, 64, 48);
    NImageBuffer preview;
    Picture(preview, 16, 12);
    const std::wstring path = WriteDocument(L"withpreview.lmcdoc", base, &preview, "", "");
    NImageFileLMC file;
    ASSERT_EQ(file.Load(path.c_str(), 1, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(file.picture, preview));
    EXPECT_EQ(file.fullWidth, 64);
    EXPECT_EQ(file.fullHeight, 48);
}

TEST_F(LmcFormatTest, SaveNeedsAPictureAndADocument)
{
    NImageFileLMC file;
    const std::wstring path = dir.File(L"nothing.lmcdoc");
    NObjectDocument doc;
    ImageSaveOptions options;
    options.document = &doc;
    file.SetSaveOptions(&options);
    EXPECT_EQ(file.Save(path.c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);

    NImageFileLMC bare;
    NImageBuffer pic;
    Picture(pic, 4, 4);
    EXPECT_EQ(bare.Save(path.c_str(), &pic, nullptr), NR_ENCODE_FAILED);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(bare.SaveFrom(path.c_str(), nullptr), NR_INVALID_DATA);
}

// Without a preview of its own, the picture fitted into 200 x 200 at 24 bpp is stored.
TEST_F(LmcFormatTest, SaveMakesAPreviewAndKeepsTheDocument)
{
    NImageBuffer pic;
    Picture(pic, 400, 100, 32);
    NObjectDocument doc;
    AddRectangleObject(doc, 3);
    ImageSaveOptions options;
    options.document = &doc;
    NImageFileLMC writer;
    writer.SetSaveOptions(&options);
    const std::wstring path = dir.File(L"saved.lmcdoc");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);

    NImageFileLMC reader;
    ASSERT_EQ(reader.Load(path.c_str(), 1, 0, nullptr), NR_OK);
    EXPECT_EQ(reader.picture.width, 200);
    EXPECT_EQ(reader.picture.height, 50);
    EXPECT_EQ(reader.picture.bpp, 24);
    EXPECT_EQ(reader.fullWidth, 400);

    NObjectDocument back;
    ImageLoadOptions load;
    load.document = &back;
    NImageFileLMC full;
    full.SetLoadOptions(&load);
    ASSERT_EQ(full.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(full.picture, pic));
    ASSERT_EQ(Objects(back).size(), 1u);
    EXPECT_EQ(Objects(back)[0]->id, 3);

    // A preview given in the options is stored as it is.
    NImageBuffer own;
    Picture(own, 10, 7);
    options.documentPreview = &own;
    writer.SetSaveOptions(&options);
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    NImageFileLMC again;
    ASSERT_EQ(again.Load(path.c_str(), 1, 0, nullptr), NR_OK);
    EXPECT_TRUE(SamePixels(again.picture, own));
}

// A picture without EXIF gets a block naming the writer.
TEST_F(LmcFormatTest, SaveWritesANewExifBlock)
{
    NImageBuffer pic;
    Picture(pic, 12, 9);
    NObjectDocument doc;
    ImageSaveOptions options;
    options.document = &doc;
    NImageFileLMC writer;
    writer.SetSaveOptions(&options);
    ImageMetadata meta;
    meta.xmp = "short";   // ten bytes or fewer are not stored
    const std::wstring path = dir.File(L"newexif.lmcdoc");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, &meta), NR_OK);

    NObjectDocument back;
    Loaded l;
    l.From(back, path);
    ASSERT_EQ(l.result, NR_OK);
    EXPECT_TRUE(l.xmp.empty());
    ParsedExif exif(l.exif);
    ASSERT_NE(exif.data, nullptr);
    EXPECT_EQ(exif.Text(EXIF_TAG_MAKE), "Verolib https://verolib.example");
    EXPECT_EQ(exif.Text(EXIF_TAG_SOFTWARE), "NImageFileLMC 3.0.0");
    EXPECT_EQ(exif.Text(EXIF_TAG_DATE_TIME).size(), 19u);
    EXPECT_EQ(exif.Rational(EXIF_TAG_X_RESOLUTION), 300.0);
    EXPECT_EQ(exif.Rational(EXIF_TAG_Y_RESOLUTION), 200.0);
    EXPECT_EQ(exif.Short(EXIF_TAG_RESOLUTION_UNIT), 2);
    EXPECT_EQ(exif.Long(EXIF_TAG_IMAGE_WIDTH), 12);
    EXPECT_EQ(exif.Long(EXIF_TAG_IMAGE_LENGTH), 9);
    EXPECT_EQ(exif.Short(EXIF_TAG_ORIENTATION), 1);
    EXPECT_FALSE(meta.exif.hasExif);   // the caller's metadata gained nothing
}

// A camera's EXIF is kept, but the block describes the saved picture; the caller's own data
// (orientation, resolution, thumbnail) is not changed.
TEST_F(LmcFormatTest, SaveKeepsTheCallersExif)
{
    NImageBuffer pic;
    Picture(pic, 12, 9);
    ImageMetadata meta;
    ASSERT_TRUE(meta.exif.Reset());
    meta.exif.SetTagText("Camera X", EXIF_IFD_0, EXIF_TAG_MODEL);
    meta.exif.SetTagInt(6, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    meta.exif.SetTagDouble(72, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION);
    const unsigned char thumbnail[] = {0xFF, 0xD8, 0xFF, 0xD9};
    meta.exif.data->data = static_cast<unsigned char*>(std::malloc(sizeof(thumbnail)));
    memcpy(meta.exif.data->data, thumbnail, sizeof(thumbnail));
    meta.exif.data->size = sizeof(thumbnail);
    meta.xmp = "<x:xmpmeta>kept packet</x:xmpmeta>";

    NObjectDocument doc;
    ImageSaveOptions options;
    options.document = &doc;
    NImageFileLMC writer;
    writer.SetSaveOptions(&options);
    const std::wstring path = dir.File(L"camera.lmcdoc");
    ASSERT_EQ(writer.Save(path.c_str(), &pic, &meta), NR_OK);

    NObjectDocument back;
    Loaded l;
    l.From(back, path);
    ASSERT_EQ(l.result, NR_OK);
    EXPECT_EQ(l.xmp, meta.xmp);
    ParsedExif exif(l.exif);
    ASSERT_NE(exif.data, nullptr);
    EXPECT_EQ(exif.Text(EXIF_TAG_MODEL), "Camera X");
    EXPECT_EQ(exif.Short(EXIF_TAG_ORIENTATION), 1);
    EXPECT_EQ(exif.Rational(EXIF_TAG_X_RESOLUTION), 300.0);
    EXPECT_EQ(exif.Long(EXIF_TAG_IMAGE_WIDTH), 12);
    EXPECT_EQ(exif.Text(EXIF_TAG_MAKE), "");   // not a new block
    EXPECT_EQ(exif.data->size, 0u);

    ExifEntry* orientation = exif_content_get_entry(meta.exif.data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    ASSERT_NE(orientation, nullptr);
    EXPECT_EQ(exif_get_short(orientation->data, exif_data_get_byte_order(meta.exif.data)), 6);
    double resolution = 0;
    ASSERT_TRUE(meta.exif.GetTagDouble(resolution, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION));
    EXPECT_EQ(resolution, 72.0);
    ASSERT_NE(meta.exif.data->data, nullptr);
    EXPECT_EQ(meta.exif.data->size, sizeof(thumbnail));
}

// Found by content and by extension through the factory.
TEST_F(LmcFormatTest, FactoryFindsTheFormat)
{
    NImageBuffer base;
    Picture(base, 5, 5);
    DocBytes b = MinimalDocument(base, "lmcdoc2");
    for (const wchar_t* name : {L"found.lmcdoc", L"found.bin"}) {
        SCOPED_TRACE(name);
        const std::wstring path = WriteFixture(dir, name, b);
        NImageFile* file = nullptr;
        ASSERT_EQ(LoadImageFile(&file, path.c_str(), 0, 1, nullptr, 0), NR_OK);
        std::unique_ptr<NImageFile> owned(file);
        EXPECT_EQ(file->GetFormatId(), 50);
        EXPECT_TRUE(SamePixels(file->picture, base));
        EXPECT_EQ(file->GetConsumedSize(), b.size());
    }
}

// A document followed by other bytes, as the scan carves it: the consumed size never stops
// short of the document (the record list has no end marker, so bytes that do not end it are
// counted too).
TEST_F(LmcFormatTest, CarvedCandidateWithTrailingBytes)
{
    NImageBuffer base;
    Picture(base, 24, 16);
    const std::wstring clean = WriteDocument(L"clean.lmcdoc", base, nullptr, "", "");
    std::vector<uint8_t> document;
    ASSERT_TRUE(ReadWholeFile(clean, document));

    struct Case {
        const char* name;
        std::vector<uint8_t> tail;
        uint64_t expected;   // consumed size
    };
    std::vector<uint8_t> text(3000);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<uint8_t>("scan garbage "[i % 13]);
    const Case cases[] = {
        {"zero bytes", std::vector<uint8_t>(4096, 0), document.size() + 4},
        {"text", text, document.size() + text.size()},
        {"0xAB", std::vector<uint8_t>(5000, 0xAB), document.size() + 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> carved = document;
        carved.insert(carved.end(), c.tail.begin(), c.tail.end());
        const std::wstring path = dir.File(L"carved.bin");
        ASSERT_TRUE(WriteWholeFile(path, carved));
        NImageFile* file = nullptr;
        ASSERT_EQ(LoadImageFile(&file, path.c_str(), 0, 1, nullptr, FT_LMC), NR_OK);
        std::unique_ptr<NImageFile> owned(file);
        EXPECT_TRUE(SamePixels(file->picture, base));
        EXPECT_EQ(file->GetConsumedSize(), c.expected);
        EXPECT_GE(file->GetConsumedSize(), document.size());
    }
}

}  // namespace
