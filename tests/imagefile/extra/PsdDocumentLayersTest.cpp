// Saving a picture with a document of drawing objects as a layered PSD file: one layer per
// visible object, rendered on transparency, above a background layer of the picture; read back
// by ImageMagick layer by layer.
#include "docobjects/NObjectDocument.h"
#include "imagefile/extra/NImageFilePSD.h"

#include "RasterFixtures.h"
#include "common/NativeTool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

uint32_t Big32(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

uint16_t Big16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

DocObject& Given(DocObject& o, RECT rect, uint8_t opacity = 255)
{
    o.Init();
    o.id = 1;
    o.rect = rect;
    o.opacity = opacity;
    return o;
}

// A picture of 120 x 80 and a document of three visible objects and a hidden one: a
// half-transparent blue rectangle reaching over the picture's top-left corner, a red ellipse
// with a shadow, a hidden rectangle, and a green line drawn right to left.
class PsdDocumentLayers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(picture.Create(120, 80, 24, RGB(250, 240, 200)));
        RectanglePayload rect;
        rect.outlineColour = RGB(0, 0, 160);
        rect.fillColour = RGB(0, 0, 255);
        rect.filled = 1;
        rect.penWidth = 3;
        document.AddRectangle(Given(given, RECT{-10, -5, 40, 30}, 160), &rect);
        EllipsePayload ellipse;
        ellipse.outlineColour = RGB(120, 0, 0);
        ellipse.fillColour = RGB(255, 0, 0);
        ellipse.filled = 1;
        ellipse.penWidth = 2;
        Given(given, RECT{50, 20, 100, 60}).shadow = 1;
        document.AddEllipse(given, &ellipse);
        Given(given, RECT{0, 0, 120, 80}).hidden = 1;
        document.AddRectangle(given, &rect);
        LinePayload line;
        line.colour = RGB(0, 150, 0);
        line.penWidth = 5;
        line.start = {110, 70};
        line.end = {10, 50};
        document.AddLine(Given(given, RECT{110, 70, 10, 50}), &line);

        ImageSaveOptions options;
        options.document = &document;
        writer.SetSaveOptions(&options);
    }

    NGdiPlusSession gdiplus;
    TestDir dir;
    std::wstring path = dir.File(L"layers.psd");
    NImageBuffer picture;
    NObjectDocument document;
    DocObject given;
    NImageFilePSD writer;
    // The layers in file order: the background, then the visible objects in paint order.
    const RECT expected[4] = {{0, 0, 120, 80}, {-35, -30, 40 + 25, 30 + 25}, {25, -5, 125, 85}, {-15, 25, 135, 95}};
};

}  // namespace

TEST_F(PsdDocumentLayers, EveryVisibleObjectBecomesALayerAboveTheBackground)
{
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);
    EXPECT_TRUE(writer.layerPictures.empty());   // the lists describe one save only

    std::vector<uint8_t> b;
    ASSERT_TRUE(ReadWholeFile(path, b));
    const size_t section = 34;
    const uint32_t sectionLength = Big32(b, section);
    EXPECT_EQ(Big16(b, section + 8), 4);
    size_t at = section + 10;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at)), expected[k].top);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at + 4)), expected[k].left);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at + 8)), expected[k].bottom);
        EXPECT_EQ(static_cast<int32_t>(Big32(b, at + 12)), expected[k].right);
        const size_t name = at + 58 + 8 + 28;
        EXPECT_EQ(Big16(b, name + 2 * 11), '4' - k);   // "Glim Layer 4" down to 1
        at += 58 + Big32(b, at + 54);
    }
    // After the layers, the composite: the picture itself.
    EXPECT_EQ(Big16(b, section + 4 + sectionLength), 0);
    NImageFilePSD reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(reader.GetConsumedSize(), b.size());
    const Rgba p = PixelAt(reader.picture, 0, 0);
    EXPECT_EQ(p.r, 250);
    EXPECT_EQ(p.b, 200);
    // The document's objects are where they were.
    EXPECT_EQ(document.First()->rect.left, -10);
    EXPECT_EQ(document.First()->next->next->next->PayloadAs<LinePayload>()->start.x, 110);
}

TEST_F(PsdDocumentLayers, ImageMagickReadsEveryLayer)
{
    if (UnixPath(dir.Path()).empty() || !NativeProgramExists("/usr/bin/identify"))
        GTEST_SKIP() << "needs Wine and ImageMagick";
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);

    // identify lists the composite and the four layers with their sizes and places.
    ASSERT_TRUE(RunNativeCommand(dir.Path(), "/usr/bin/identify -format '%w %h %X %Y\\n' layers.psd > list.txt"));
    std::vector<uint8_t> listed;
    ASSERT_TRUE(ReadWholeFile(dir.File(L"list.txt"), listed));
    std::istringstream lines(std::string(listed.begin(), listed.end()));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 5u);
    for (int k = 0; k < 4; ++k) {
        char row[64];
        const RECT& r = expected[k];
        snprintf(row, sizeof row, "%ld %ld %+ld %+ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
        EXPECT_EQ(rows[k + 1], row) << k;
    }

    // Each layer's pixels: the object rendered on its own, straight colours and alpha; the
    // background opaque.
    std::vector<NImageBuffer> layers(4);
    ASSERT_TRUE(layers[0].Create(120, 80, 32, 0));
    picture.BlitTo(layers[0].dc, 0, 0, SRCCOPY);
    GdiFlush();
    layers[0].SetChannel(4, 255);
    int k = 1;
    for (DocObject* o = document.First(); o; o = o->next) {
        if (!o->hidden) {
            ASSERT_TRUE(document.RenderObjectToBitmap(o, layers[k++], 50, 3, 4, true));
        }
    }
    for (k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const std::string out = "layer" + std::to_string(k) + ".rgba";
        ASSERT_TRUE(RunNativeCommand(dir.Path(), "/usr/bin/convert 'layers.psd[" + std::to_string(k + 1) +
                                                     "]' -depth 8 rgba:" + out));
        std::vector<uint8_t> decoded;
        ASSERT_TRUE(ReadWholeFile(dir.File(std::wstring(out.begin(), out.end())), decoded));
        const NImageBuffer& layer = layers[k];
        ASSERT_EQ(decoded.size(), static_cast<size_t>(layer.width) * layer.height * 4);
        int wrong = 0, covered = 0;
        for (int y = 0; y < layer.height; ++y)
            for (int x = 0; x < layer.width; ++x) {
                const Rgba mine = PixelAt(layer, x, y);
                const uint8_t* theirs = decoded.data() + (static_cast<size_t>(y) * layer.width + x) * 4;
                if (mine.a != theirs[3] ||
                    (mine.a != 0 && (mine.r != theirs[0] || mine.g != theirs[1] || mine.b != theirs[2])))
                    ++wrong;
                covered += mine.a != 0;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(covered, 100);
    }
}

TEST_F(PsdDocumentLayers, ObjectsThatCannotBeLayersAreLeftOut)
{
    // An object wider than a PSD layer may be.
    RectanglePayload rect;
    rect.filled = 1;
    document.AddRectangle(Given(given, RECT{0, 0, 40000, 10}), &rect);
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);
    std::vector<uint8_t> b;
    ASSERT_TRUE(ReadWholeFile(path, b));
    EXPECT_EQ(Big16(b, 34 + 8), 4);

    // Without a document: no layer section.
    writer.ResetSaveOptions();
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);
    EXPECT_EQ(FileSize(path), 40u + 3u * 120 * 80);
}
