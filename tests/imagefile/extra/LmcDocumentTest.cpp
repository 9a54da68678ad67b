// The document file through NObjectDocument::Save and Load: every object type written and read
// back, the old versions and record forms built by hand, and damaged files (sizes, counts and
// lengths that do not fit, truncation).
#include "docobjects/DocFileStream.h"
#include "LmcFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>

using namespace lmc;

namespace {

void Common(DocObject& o, int32_t type, int32_t id, float angle = 0.0f)
{
    o.Init();
    o.type = type;
    o.id = id;
    o.rect = RECT{id, 2 * id, id + 50, 2 * id + 40};
    o.shadow = 1;
    o.shadowColour = 0x0A0B0C + id;
    o.opacity = static_cast<uint8_t>(100 + id);
    o.angle = angle;
    o.locked = 1;
    o.furtherBytes[2] = static_cast<uint8_t>(id);
}

void Picture(NImageBuffer& pic, int width, int height, int bpp = 24)
{
    if (bpp == 8) {
        uint8_t palette[256 * 3];
        for (int i = 0; i < 256; ++i) {
            palette[3 * i] = static_cast<uint8_t>(i);
            palette[3 * i + 1] = static_cast<uint8_t>(255 - i);
            palette[3 * i + 2] = static_cast<uint8_t>(i * 7);
        }
        ASSERT_TRUE(pic.Create(width, height, 8, 0, palette));
    } else {
        ASSERT_TRUE(pic.Create(width, height, bpp, 0, nullptr));
    }
    FillPattern(pic);
    pic.dpiX = 150;
    pic.dpiY = 72;
}

// One object of every type that a document holds.
void FillDocument(NObjectDocument& doc)
{
    DocObject o;
    {
        RectanglePayload p{0x111111, 0x222222, 1, 3, 2, 9};
        Common(o, DOC_RECTANGLE, 1, 15.0f);
        doc.AddRectangle(o, &p);
    }
    {
        EllipsePayload p{0x333333, 0x444444, 0, 5, 1};
        Common(o, DOC_ELLIPSE, 2, -30.0f);
        doc.AddEllipse(o, &p);
    }
    {
        LinePayload p{0x555555, 4, 3, {1, 2}, {30, 40}};
        Common(o, DOC_LINE, 3);
        doc.AddLine(o, &p);
    }
    {
        PolylinePayload p;
        p.colour = 0x666666;
        p.penWidth = 2;
        p.dashStyle = 4;
        p.storedCount = 99;   // brought in line when written
        p.points = {{0, 0}, {5, -5}, {10, 20}};
        Common(o, DOC_POLYLINE, 4);
        doc.AddPolyline(o, &p);
    }
    {
        auto p = std::make_unique<CalloutPayload>();
        wcscpy(p->text, L"callout text");
        p->textColour = 0x777777;
        p->fontSize = 14;
        wcscpy(p->font.lfFaceName, L"DejaVu Sans");
        p->font.lfWeight = 700;
        p->alignment = 2;
        p->frameColour = 0x888888;
        p->fillColour = 0x999999;
        p->filled = 1;
        p->cornerRadius = 6;
        p->dashStyle = 1;
        p->frameWidth = 2;
        p->pointerStart = {3, 4};
        p->pointerEnd = {-7, 8};
        Common(o, DOC_CALLOUT, 5);
        o.payload = p.release();
        doc.AddObjectCopy(&o);
        o.Reset();
    }
    {
        ArrowPayload p{0xAAAAAA, 6, 0, {5, 6}, {70, 80}, 3};
        Common(o, DOC_ARROW, 6);
        doc.AddArrow(o, &p);
    }
    {
        auto p = std::make_unique<ImageTextPayload>();
        wcscpy(p->text, L"under the picture");
        p->textColour = 0xBBBBBB;
        p->fontSize = 9;
        p->alignment = 1;
        p->furtherValues[0] = 41;
        p->furtherValues[1] = -42;
        Picture(p->picture, 7, 5);
        Common(o, DOC_IMAGE_TEXT, 7, 45.0f);
        o.payload = p.release();
        doc.AddObjectCopy(&o);
        o.Reset();
    }
    {
        TextPayload p;
        p.text = L"Heading \x00e9\x4e2d";
        p.fontSize = 22;
        wcscpy(p.font.lfFaceName, L"Liberation Serif");
        p.font.lfItalic = 1;
        p.alignment = 2;
        p.reserved = 5;
        p.textColour = 0x0000FF;
        p.outline = 1;
        p.outlineColour = 0x00FF00;
        p.effectStyle = 3;
        p.effectColour1 = 0x123456;
        p.effectColour2 = 0x654321;
        p.effectValue1 = 4;
        p.effectValue2 = 6;
        p.reflection = 1;
        p.furtherValues[0] = 77;
        p.furtherValues[1] = -78;
        Common(o, DOC_TEXT, 8, 90.0f);
        doc.AddText(o, &p);
    }
    {
        CurvePayload p;
        p.penWidth = 3;
        p.dashStyle = 2;
        p.gradientMode = 1;
        p.endHead = 4;
        p.colour1 = 1;
        p.colour2 = 2;
        p.colour3 = 3;
        p.points[0] = {0, 0};
        p.points[1] = {10, 0};
        p.points[2] = {10, 10};
        p.points[3] = {20, 10};
        Common(o, DOC_ARROW_CURVE, 9);
        doc.AddArrowCurve(o, &p);
        Common(o, DOC_CURVE, 10);
        doc.AddCurve(o, &p);
    }
    {
        auto p = std::make_unique<CurveImagePayload>();
        p->penWidth = 1;
        p->dashStyle = 3;
        p->gradientMode = 2;
        p->colour1 = 0xA;
        p->colour2 = 0xB;
        p->colour3 = 0xC;
        p->hidePictures = 1;
        p->points = {{1, 1}, {2, 3}, {5, 8}, {13, 21}};
        Picture(p->picture, 4, 3, 32);
        Common(o, DOC_CURVE_IMAGE, 11);
        o.payload = p.release();
        doc.AddObjectCopy(&o);
        o.Reset();
    }
    {
        PicturePayload p;
        p.saturation = -20;
        p.contrast = 30;
        p.brightness = -40;
        p.warpMode = 1;
        for (int i = 0; i < 8; ++i)
            p.warp[i] = static_cast<int16_t>(i * 3 - 4);
        Picture(p.picture, 6, 9, 8);
        Common(o, DOC_PICTURE, 12, 180.0f);
        doc.AddPicture(o, &p);
    }
}

const DocObject* ById(const NObjectDocument& doc, int32_t id)
{
    for (const DocObject* o : Objects(doc))
        if (o->id == id)
            return o;
    return nullptr;
}

void ExpectSameCommon(const DocObject& a, const DocObject& b)
{
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(memcmp(&a.rect, &b.rect, sizeof(RECT)), 0);
    EXPECT_EQ(a.shadow, b.shadow);
    EXPECT_EQ(a.shadowColour, b.shadowColour);
    EXPECT_EQ(a.opacity, b.opacity);
    EXPECT_EQ(a.angle, b.angle);
    EXPECT_EQ(a.locked, b.locked);
    EXPECT_EQ(a.hidden, b.hidden);
    EXPECT_EQ(memcmp(a.furtherBytes, b.furtherBytes, 6), 0);
}

class LmcDocumentTest : public ::testing::Test {
protected:
    TestDir dir;
};

// Every type written and read back, with raw and with compressed pictures.
TEST_F(LmcDocumentTest, EveryObjectTypeRoundTrips)
{
    for (bool compressed : {true, false}) {
        SCOPED_TRACE(compressed);
        NObjectDocument doc;
        FillDocument(doc);
        NImageBuffer base;
        Picture(base, 33, 17);
        const std::string xmp = "<x:xmpmeta>document</x:xmpmeta>";
        const std::string exif("Exif\0\0II*\0", 10);
        const std::wstring path = dir.File(compressed ? L"packed.lmcdoc" : L"raw.lmcdoc");
        ASSERT_EQ(doc.Save(base, path.c_str(), compressed, nullptr, xmp, exif), NR_OK);

        NObjectDocument back;
        Loaded l;
        l.From(back, path);
        ASSERT_EQ(l.result, NR_OK);
        EXPECT_TRUE(SamePixels(l.picture, base));
        EXPECT_EQ(l.picture.dpiX, 150);
        EXPECT_EQ(l.picture.dpiY, 72);
        EXPECT_EQ(l.width, 33);
        EXPECT_EQ(l.height, 17);
        EXPECT_EQ(l.xmp, xmp);
        EXPECT_EQ(l.exif, exif);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(path, bytes));
        EXPECT_EQ(l.consumed, bytes.size());

        const auto objects = Objects(back);
        ASSERT_EQ(objects.size(), 12u);
        for (int id = 1; id <= 12; ++id) {
            SCOPED_TRACE(id);
            const DocObject* a = ById(doc, id);
            const DocObject* b = ById(back, id);
            ASSERT_TRUE(a && b);
            ExpectSameCommon(*a, *b);
        }

        const auto* rect = ById(back, 1)->PayloadAs<RectanglePayload>();
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->fillColour, 0x222222u);
        EXPECT_EQ(rect->cornerRadius, 9);
        const auto* ellipse = ById(back, 2)->PayloadAs<EllipsePayload>();
        ASSERT_NE(ellipse, nullptr);
        EXPECT_EQ(ellipse->penWidth, 5);

        // Lines and arrows come back as straight curves.
        const DocObject* line = ById(back, 3);
        ASSERT_EQ(line->type, DOC_CURVE);
        const auto* lc = line->PayloadAs<CurvePayload>();
        EXPECT_EQ(lc->penWidth, 4);
        EXPECT_EQ(lc->dashStyle, 3);
        EXPECT_EQ(lc->colour1, 0x555555u);
        EXPECT_EQ(lc->colour3, 0x555555u);
        EXPECT_EQ(lc->points[0].x, 1);
        EXPECT_EQ(lc->points[1].y, 40);
        EXPECT_EQ(lc->points[3].x, 30);
        const DocObject* arrow = ById(back, 6);
        ASSERT_EQ(arrow->type, DOC_ARROW_CURVE);
        EXPECT_EQ(arrow->PayloadAs<CurvePayload>()->endHead, 3);
        EXPECT_EQ(arrow->PayloadAs<CurvePayload>()->points[2].y, 80);

        const auto* poly = ById(back, 4)->PayloadAs<PolylinePayload>();
        ASSERT_NE(poly, nullptr);
        EXPECT_EQ(poly->colour, 0x666666u);
        EXPECT_EQ(poly->penWidth, 2);
        EXPECT_EQ(poly->dashStyle, 4);
        EXPECT_EQ(poly->storedCount, 3);
        ASSERT_EQ(poly->points.size(), 3u);
        EXPECT_EQ(poly->points[1].y, -5);

        const auto* callout = ById(back, 5)->PayloadAs<CalloutPayload>();
        ASSERT_NE(callout, nullptr);
        EXPECT_STREQ(callout->text, L"callout text");
        EXPECT_STREQ(callout->font.lfFaceName, L"DejaVu Sans");
        EXPECT_EQ(callout->font.lfWeight, 700);
        EXPECT_EQ(callout->fillColour, 0x999999u);
        EXPECT_EQ(callout->frameWidth, 2);
        EXPECT_EQ(callout->pointerEnd.x, -7);

        const auto* imageText = ById(back, 7)->PayloadAs<ImageTextPayload>();
        ASSERT_NE(imageText, nullptr);
        EXPECT_STREQ(imageText->text, L"under the picture");
        EXPECT_EQ(imageText->furtherValues[1], -42);
        EXPECT_TRUE(SamePixels(imageText->picture, ById(doc, 7)->PayloadAs<ImageTextPayload>()->picture));

        const auto* text = ById(back, 8)->PayloadAs<TextPayload>();
        const auto* textBefore = ById(doc, 8)->PayloadAs<TextPayload>();
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text->text.c_str(), textBefore->text.c_str());
        EXPECT_EQ(memcmp(&text->font, &textBefore->font, sizeof(LOGFONTW)), 0);
        EXPECT_EQ(text->fontSize, 22);
        EXPECT_EQ(text->alignment, 2);
        EXPECT_EQ(text->reserved, 5);
        EXPECT_EQ(text->textColour, 0x0000FFu);
        EXPECT_EQ(text->outline, 1);
        EXPECT_EQ(text->outlineColour, 0x00FF00u);
        EXPECT_EQ(text->effectStyle, 3);
        EXPECT_EQ(text->effectColour1, 0x123456u);
        EXPECT_EQ(text->effectColour2, 0x654321u);
        EXPECT_EQ(text->effectValue1, 4);
        EXPECT_EQ(text->effectValue2, 6);
        EXPECT_EQ(text->reflection, 1);
        EXPECT_EQ(text->furtherValues[1], -78);

        EXPECT_EQ(ById(back, 9)->PayloadAs<CurvePayload>()->endHead, 4);
        EXPECT_EQ(ById(back, 10)->PayloadAs<CurvePayload>()->endHead, 0);
        EXPECT_EQ(ById(back, 10)->PayloadAs<CurvePayload>()->points[2].y, 10);

        const auto* curveImage = ById(back, 11)->PayloadAs<CurveImagePayload>();
        ASSERT_NE(curveImage, nullptr);
        EXPECT_EQ(curveImage->dashStyle, 3);
        EXPECT_EQ(curveImage->colour3, 0xCu);
        EXPECT_EQ(curveImage->hidePictures, 1);
        ASSERT_EQ(curveImage->points.size(), 4u);
        EXPECT_EQ(curveImage->points[3].y, 21);
        EXPECT_TRUE(SamePixels(curveImage->picture, ById(doc, 11)->PayloadAs<CurveImagePayload>()->picture));

        const auto* pic = ById(back, 12)->PayloadAs<PicturePayload>();
        ASSERT_NE(pic, nullptr);
        EXPECT_EQ(pic->saturation, -20);
        EXPECT_EQ(pic->contrast, 30);
        EXPECT_EQ(pic->brightness, -40);
        EXPECT_EQ(pic->warpMode, 1);
        EXPECT_EQ(pic->warp[7], 17);
        EXPECT_TRUE(SamePixels(pic->picture, ById(doc, 12)->PayloadAs<PicturePayload>()->picture));
        EXPECT_EQ(PixelAt(pic->picture, 2, 1), PixelAt(ById(doc, 12)->PayloadAs<PicturePayload>()->picture, 2, 1));
    }
}

TEST_F(LmcDocumentTest, WriterSkipsEmptyRectanglesAndWritesTheUnwarpedPicture)
{
    NObjectDocument doc;
    DocObject o;
    RectanglePayload r;
    o.Init();
    o.id = 1;
    o.rect = RECT{5, 5, 5, 20};   // no width
    doc.AddRectangle(o, &r);
    o.rect = RECT{0, 0, 3, 3};
    o.id = 2;
    PicturePayload p;
    Picture(p.picture, 4, 4);
    doc.AddPicture(o, &p);
    DocObject* listed = doc.GetObject(2);
    ASSERT_NE(listed, nullptr);
    Picture(listed->unwarpedCache, 9, 2);

    NImageBuffer base;
    Picture(base, 3, 3);
    const std::wstring path = dir.File(L"skip.lmcdoc");
    ASSERT_EQ(doc.Save(base, path.c_str(), true, nullptr, "", ""), NR_OK);
    NObjectDocument back;
    Loaded l;
    l.From(back, path);
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(back);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->id, 2);
    EXPECT_EQ(objects[0]->PayloadAs<PicturePayload>()->picture.width, 9);
    // The payload's own picture is untouched.
    EXPECT_EQ(listed->PayloadAs<PicturePayload>()->picture.width, 4);
}

// Palette pictures cannot be stored in the forms without a palette; they are written at 24 bpp.
TEST_F(LmcDocumentTest, PalettePicturesInsideTextAndCurveObjectsAreWidened)
{
    NObjectDocument doc;
    DocObject o;
    auto it = std::make_unique<ImageTextPayload>();
    Picture(it->picture, 5, 4, 8);
    Common(o, DOC_IMAGE_TEXT, 1);
    o.payload = it.release();
    doc.AddObjectCopy(&o);
    o.Reset();
    auto ci = std::make_unique<CurveImagePayload>();
    Picture(ci->picture, 3, 6, 8);
    Common(o, DOC_CURVE_IMAGE, 2);
    o.payload = ci.release();
    doc.AddObjectCopy(&o);
    o.Reset();

    NImageBuffer base;
    Picture(base, 2, 2);
    const std::wstring path = dir.File(L"palette.lmcdoc");
    ASSERT_EQ(doc.Save(base, path.c_str(), false, nullptr, "", ""), NR_OK);
    NObjectDocument back;
    Loaded l;
    l.From(back, path);
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(back);
    ASSERT_EQ(objects.size(), 2u);
    const NImageBuffer& a = objects[0]->PayloadAs<ImageTextPayload>()->picture;
    const NImageBuffer& b = objects[1]->PayloadAs<CurveImagePayload>()->picture;
    ASSERT_TRUE(a.valid && b.valid);
    EXPECT_EQ(a.bpp, 24);
    EXPECT_EQ(b.bpp, 24);
    const NImageBuffer& source = doc.First()->PayloadAs<ImageTextPayload>()->picture;
    EXPECT_EQ(PixelAt(a, 3, 2), PixelAt(source, 3, 2));
}

// Version 1: no metadata strings, no preview flag; the base picture follows the signature.
TEST_F(LmcDocumentTest, VersionOneAndTwoFiles)
{
    NImageBuffer base;
    Picture(base, 6, 5);
    for (const char* signature : {"LMCDOC1", "LMCDOC2", "lmcdoc2", "LmCdOc3"}) {
        SCOPED_TRACE(signature);
        DocBytes b = MinimalDocument(base, signature);
        AppendRectangle(b, 4, 0xABCDEF);
        const std::wstring path = WriteFixture(dir, L"old.lmcdoc", b);
        for (int mode : {0, 1}) {
            // Mode 1 without a preview decodes everything.
            NObjectDocument doc;
            Loaded l;
            l.xmp = "stale";
            l.From(doc, path, mode);
            ASSERT_EQ(l.result, NR_OK);
            EXPECT_TRUE(SamePixels(l.picture, base));
            EXPECT_TRUE(l.xmp.empty());
            EXPECT_EQ(l.consumed, b.size());
            ASSERT_EQ(Objects(doc).size(), 1u);
            EXPECT_EQ(Objects(doc)[0]->PayloadAs<RectanglePayload>()->outlineColour, 0xABCDEFu);
        }
    }
}

TEST_F(LmcDocumentTest, SignatureMustNameAKnownVersion)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    for (const char* signature : {"LMCDOC4", "LMCDOC0", "LMCDOX3", "LMCDOC"}) {
        SCOPED_TRACE(signature);
        DocBytes b = Signature(signature);
        b.u32(0).u32(0).u8(0);
        AppendPicture(b, base, true);
        NObjectDocument doc;
        Loaded l;
        l.From(doc, WriteFixture(dir, L"bad.lmcdoc", b));
        EXPECT_EQ(l.result, NR_NOT_THIS_FORMAT);
    }
    NObjectDocument doc;
    Loaded l;
    l.From(doc, dir.File(L"missing.lmcdoc"));
    EXPECT_EQ(l.result, NR_FILE_OPEN_READ);
    l.From(doc, WriteFixture(dir, L"short.lmcdoc", Signature("LMCDOC3").fill(0, 0)));
    EXPECT_EQ(l.result, NR_INVALID_DATA);   // signature, then nothing
}

// Mode 1 takes the preview and reports the base picture's size.
TEST_F(LmcDocumentTest, PreviewModeReadsThePreview)
{
    NImageBuffer preview;
    Picture(preview, 4, 3);
    NImageBuffer base;
    Picture(base, 40, 30, 32);
    NObjectDocument doc;
    const std::wstring path = dir.File(L"preview.lmcdoc");
    ASSERT_EQ(doc.Save(base, path.c_str(), true, &preview, "", ""), NR_OK);

    Loaded l;
    l.From(doc, path, 1);
    ASSERT_EQ(l.result, NR_OK);
    EXPECT_EQ(l.picture.bpp, 24);
    EXPECT_TRUE(SamePixels(l.picture, preview));
    EXPECT_EQ(l.width, 40);
    EXPECT_EQ(l.height, 30);
    EXPECT_GT(l.consumed, 0u);

    Loaded full;
    full.From(doc, path, 0);
    ASSERT_EQ(full.result, NR_OK);
    EXPECT_TRUE(SamePixels(full.picture, base));
}

// Old common parts keep only type, id, rectangle and shadow; the rest is the empty object's.
TEST_F(LmcDocumentTest, OldRecordFormsAndDuplicateIds)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    DocBytes b = MinimalDocument(base, "LMCDOC2");
    for (uint32_t recordId : {7836u, 3936u}) {
        b.u32(recordId).u32(DOC_RECTANGLE).u32(5).u32(1).u32(2).u32(31).u32(42).u32(7).u32(0x00C0FFEE);
        b.fill(recordId - 32, 0x5A);   // the rest of the old common part
        b.u32(24).u32(0x123).u32(0).u8(0).fill(3, 0).u32(1).u32(0).u32(0);
    }
    const std::wstring path = WriteFixture(dir, L"oldrecords.lmcdoc", b);
    NObjectDocument doc;
    Loaded l;
    l.From(doc, path);
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(doc);
    ASSERT_EQ(objects.size(), 2u);
    for (const DocObject* o : objects) {
        EXPECT_EQ(o->opacity, 255);
        EXPECT_EQ(o->angle, 0.0f);
        EXPECT_EQ(o->locked, 0);
        EXPECT_EQ(o->hidden, 0);
        EXPECT_EQ(o->shadow, 1);
        EXPECT_EQ(o->shadowColour, 0x00C0FFEEu);
        EXPECT_EQ(o->rect.right, 31);
        EXPECT_EQ(o->PayloadAs<RectanglePayload>()->outlineColour, 0x123u);
    }
    // Both records said id 5: the second takes the smallest free id.
    EXPECT_EQ(objects[0]->id, 5);
    EXPECT_EQ(objects[1]->id, 1);
    EXPECT_EQ(doc.currentId, 1);
}

// Flags above 1 are read as clear; an unknown common-part length is passed over.
TEST_F(LmcDocumentTest, OutOfRangeFlagsAndUnknownCommonParts)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    DocBytes b = MinimalDocument(base);
    AppendCommon(b, DOC_ELLIPSE, 3, RECT{0, 0, 4, 4}, 9, 0x10, 128, 12.0f, 2, 7);
    b.u32(20).u32(1).u32(2).u8(1).fill(3, 0).u32(3).u32(0);
    b.u32(12).fill(12, 0xEE);   // a common part of unknown length: type 0, skipped as unknown
    b.u32(5).fill(5, 0x11);
    AppendRectangle(b, 8, 0x42);
    NObjectDocument doc;
    Loaded l;
    l.From(doc, WriteFixture(dir, L"flags.lmcdoc", b));
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(doc);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]->locked, 0);
    EXPECT_EQ(objects[0]->hidden, 0);
    EXPECT_EQ(objects[0]->shadow, 1);
    EXPECT_EQ(objects[0]->opacity, 128);
    EXPECT_EQ(objects[0]->angle, 12.0f);
    EXPECT_EQ(objects[1]->id, 8);
}

// The old types 1, 5 and 10 become texts and pictures.
TEST_F(LmcDocumentTest, LegacyTypesAreConverted)
{
    NImageBuffer base;
    Picture(base, 3, 3);
    NImageBuffer inner;
    Picture(inner, 5, 2);
    DocBytes b = MinimalDocument(base, "LMCDOC1");

    AppendCommon(b, DOC_OLD_TEXT, 1, RECT{0, 0, 10, 10}, 0, 0, 255, 33.0f);
    b.u32(16492);
    DocBytes area;
    area.units("old words");
    area.fill(16384 - area.size(), 0);
    b.raw(area.data.data(), area.size());
    LOGFONTW font = {};
    wcscpy(font.lfFaceName, L"Liberation Mono");
    font.lfHeight = -13;
    b.u32(0x0000AA).u32(17).raw(&font, sizeof(font)).u8(1).fill(7, 0);

    AppendCommon(b, DOC_OLD_PICTURE, 2, RECT{0, 0, 10, 10}, 0, 0, 200, 10.0f);
    AppendPicture(b, inner, true);

    AppendCommon(b, DOC_OLD_PICTURE_STYLED, 3, RECT{0, 0, 10, 10});
    b.u32(0).f32(270.0f).u8(static_cast<uint8_t>(-8)).u8(9).u16(static_cast<uint16_t>(-10)).u32(1).u32(2).u32(3);
    AppendPicture(b, inner, false);

    NObjectDocument doc;
    Loaded l;
    l.From(doc, WriteFixture(dir, L"legacy.lmcdoc", b));
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(doc);
    ASSERT_EQ(objects.size(), 3u);

    ASSERT_EQ(objects[0]->type, DOC_TEXT);
    EXPECT_EQ(objects[0]->angle, 33.0f);
    const auto* text = objects[0]->PayloadAs<TextPayload>();
    EXPECT_STREQ(text->text.c_str(), L"old words");
    EXPECT_EQ(text->textColour, 0x0000AAu);
    EXPECT_EQ(text->fontSize, 17);
    EXPECT_STREQ(text->font.lfFaceName, L"Liberation Mono");
    EXPECT_EQ(text->alignment, 1);
    EXPECT_EQ(text->outline, 0);
    EXPECT_EQ(text->outlineColour, 0xFFFFFFu);
    EXPECT_EQ(text->effectColour1, 0xFFFFFFu);
    EXPECT_EQ(text->effectColour2, 0u);
    EXPECT_EQ(text->effectValue1, 2);
    EXPECT_EQ(text->effectValue2, 2);

    ASSERT_EQ(objects[1]->type, DOC_PICTURE);
    EXPECT_EQ(objects[1]->opacity, 200);
    const auto* plain = objects[1]->PayloadAs<PicturePayload>();
    EXPECT_EQ(plain->saturation, 0);
    EXPECT_EQ(plain->warpMode, 0);
    EXPECT_TRUE(SamePixels(plain->picture, inner));

    ASSERT_EQ(objects[2]->type, DOC_PICTURE);
    EXPECT_EQ(objects[2]->angle, 270.0f);
    const auto* styled = objects[2]->PayloadAs<PicturePayload>();
    EXPECT_EQ(styled->saturation, -8);
    EXPECT_EQ(styled->contrast, 9);
    EXPECT_EQ(styled->brightness, -10);
    EXPECT_EQ(styled->furtherValues[3], 0);
    EXPECT_TRUE(SamePixels(styled->picture, inner));
}

// Records whose size field does not match their type are passed over whole; reading goes on.
TEST_F(LmcDocumentTest, MismatchedSizesAndUnknownTypesAreSkipped)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    NImageBuffer inner;
    Picture(inner, 3, 3);
    DocBytes b = MinimalDocument(base);
    AppendCommon(b, DOC_RECTANGLE, 1, RECT{0, 0, 5, 5});
    b.u32(28).fill(28, 0x33);                     // a rectangle of 28 bytes
    AppendCommon(b, DOC_LINE, 2, RECT{0, 0, 5, 5});
    b.u32(24).fill(24, 0x33);
    AppendCommon(b, DOC_IMAGE_TEXT, 3, RECT{0, 0, 5, 5});
    b.u32(17400).fill(17400, 0x44);               // not the known layout: passed over with its picture
    AppendPicture(b, inner, true, true, false);
    AppendCommon(b, 42, 4, RECT{0, 0, 5, 5});     // unknown type
    b.u32(6).fill(6, 0x55);
    AppendRectangle(b, 5, 0x77);

    NObjectDocument doc;
    Loaded l;
    l.From(doc, WriteFixture(dir, L"mismatch.lmcdoc", b));
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(doc);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->id, 5);
    EXPECT_EQ(l.consumed, b.size());
}

// A record id 0 ends the list; what follows is not read.
TEST_F(LmcDocumentTest, RecordIdZeroEndsTheList)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    DocBytes b = MinimalDocument(base);
    AppendRectangle(b, 1, 1);
    const size_t end = b.size() + 4;
    b.u32(0);
    AppendRectangle(b, 2, 2);
    NObjectDocument doc;
    Loaded l;
    l.From(doc, WriteFixture(dir, L"zero.lmcdoc", b));
    ASSERT_EQ(l.result, NR_OK);
    EXPECT_EQ(Objects(doc).size(), 1u);
    EXPECT_EQ(l.consumed, end);
}

// A reader that wants the picture only reads the same records and keeps none of them.
TEST_F(LmcDocumentTest, ObjectsCanBeReadWithoutKeepingThem)
{
    NObjectDocument doc;
    FillDocument(doc);
    NImageBuffer base;
    Picture(base, 8, 8);
    const std::wstring path = dir.File(L"dropped.lmcdoc");
    ASSERT_EQ(doc.Save(base, path.c_str(), true, nullptr, "", ""), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));

    NObjectDocument passing;
    passing.keepLoadedObjects = false;
    Loaded l;
    l.From(passing, path);
    ASSERT_EQ(l.result, NR_OK);
    EXPECT_EQ(passing.First(), nullptr);
    EXPECT_EQ(l.consumed, bytes.size());
    EXPECT_TRUE(SamePixels(l.picture, base));
}

// Cut anywhere inside the records, a file keeps the objects before the cut; the consumed size
// is the whole file.
TEST_F(LmcDocumentTest, TruncatedRecordsEndTheList)
{
    NObjectDocument doc;
    FillDocument(doc);
    NImageBuffer base;
    Picture(base, 8, 8);
    const std::wstring full = dir.File(L"full.lmcdoc");
    ASSERT_EQ(doc.Save(base, full.c_str(), true, nullptr, "", ""), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(full, bytes));

    // Where the records start: after the base picture.
    DocBytes start = MinimalDocument(base);
    const size_t recordsAt = start.size();
    ASSERT_LT(recordsAt, bytes.size());

    size_t previous = 0;
    for (size_t cut = recordsAt; cut < bytes.size(); cut += 97) {
        const std::wstring path = dir.File(L"cut.lmcdoc");
        ASSERT_TRUE(WriteWholeFile(path, bytes.data(), cut));
        NObjectDocument back;
        Loaded l;
        l.From(back, path);
        ASSERT_EQ(l.result, NR_OK) << cut;
        EXPECT_EQ(l.consumed, cut);
        EXPECT_TRUE(SamePixels(l.picture, base));
        const size_t n = Objects(back).size();
        EXPECT_GE(n, previous);
        EXPECT_LT(n, 12u);
        previous = n;
    }
}

// Counts and lengths far beyond the file end the list instead of being allocated.
TEST_F(LmcDocumentTest, CountsBeyondTheFileAreNotTrusted)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    struct Case {
        const char* name;
        void (*payload)(DocBytes&);
    };
    const Case cases[] = {
        {"polyline", [](DocBytes& b) { b.u32(16).u32(1).u32(0).u32(1).u32(0x7FFFFFFF).u32(1).u32(2); }},
        {"text", [](DocBytes& b) { b.u32(0).u32(0xFFFFFFF0).units("abc"); }},
        {"curve image", [](DocBytes& b) { b.u32(0).fill(28, 0).u32(0x40000000).u32(1).u32(1); }},
        {"picture", [](DocBytes& b) {
             b.u32(41).fill(37, 0).u32(60000).u32(60000).u32(32).u32(96).u32(96).u32(0).fill(64, 0);
         }},
        {"packed picture", [](DocBytes& b) {
             b.u32(41).fill(37, 0).u32(4).u32(4).u32(24).u32(96).u32(96).u32(1).u32(0xFFFFFF00).fill(8, 0);
         }},
        {"unknown", [](DocBytes& b) { b.u32(0xFFFFFFFF).fill(8, 0); }},
    };
    const uint32_t types[] = {DOC_POLYLINE, DOC_TEXT, DOC_CURVE_IMAGE, DOC_PICTURE, DOC_PICTURE, 99};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        DocBytes b = MinimalDocument(base);
        AppendRectangle(b, 1, 0x1);
        AppendCommon(b, types[i], 2, RECT{0, 0, 5, 5});
        cases[i].payload(b);
        NObjectDocument doc;
        Loaded l;
        l.From(doc, WriteFixture(dir, L"counts.lmcdoc", b));
        ASSERT_EQ(l.result, NR_OK);
        EXPECT_EQ(Objects(doc).size(), 1u);
        EXPECT_EQ(l.consumed, b.size());
    }
}

// Pictures inside objects: one that does not inflate drops its object, one that cannot be
// made leaves the object without a picture; either way the stream stays in step.
TEST_F(LmcDocumentTest, BrokenPayloadPicturesKeepTheStreamInStep)
{
    NImageBuffer base;
    Picture(base, 2, 2);
    DocBytes b = MinimalDocument(base);
    AppendCommon(b, DOC_PICTURE, 1, RECT{0, 0, 5, 5});
    b.u32(41).fill(37, 0).u32(4).u32(4).u32(24).u32(96).u32(96).u32(1).u32(8).fill(8, 0x99);   // not zlib
    AppendCommon(b, DOC_PICTURE, 2, RECT{0, 0, 5, 5});
    b.u32(41).fill(37, 0).u32(0).u32(4).u32(24).u32(96).u32(96).u32(0);                          // 0 wide
    AppendCommon(b, DOC_CURVE_IMAGE, 3, RECT{0, 0, 5, 5});
    b.u32(0).fill(28, 0).u32(1).u32(3).u32(4);
    b.u32(2).u32(2).u32(8).u32(0).fill(8, 0x10);   // 8 bpp without a palette: cannot be made
    AppendRectangle(b, 4, 0x4);

    NObjectDocument doc;
    Loaded l;
    l.From(doc, WriteFixture(dir, L"payloads.lmcdoc", b));
    ASSERT_EQ(l.result, NR_OK);
    const auto objects = Objects(doc);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]->id, 2);
    EXPECT_FALSE(objects[0]->PayloadAs<PicturePayload>()->picture.valid);
    EXPECT_EQ(objects[1]->id, 3);
    EXPECT_FALSE(objects[1]->PayloadAs<CurveImagePayload>()->picture.valid);
    ASSERT_EQ(objects[1]->PayloadAs<CurveImagePayload>()->points.size(), 1u);
    EXPECT_EQ(objects[2]->id, 4);
}

// Base pictures: every stored depth, and the failures before the records.
TEST_F(LmcDocumentTest, BasePictureDepthsAndFailures)
{
    for (int bpp : {8, 24, 32}) {
        for (bool compressed : {true, false}) {
            NImageBuffer base;
            Picture(base, 9, 7, bpp);
            NObjectDocument doc;
            const std::wstring path = dir.File(L"depth.lmcdoc");
            ASSERT_EQ(doc.Save(base, path.c_str(), compressed, nullptr, "", ""), NR_OK);
            Loaded l;
            l.From(doc, path);
            ASSERT_EQ(l.result, NR_OK);
            EXPECT_TRUE(SamePixels(l.picture, base)) << bpp << " " << compressed;
            if (bpp == 8) {
                EXPECT_EQ(PixelAt(l.picture, 4, 3), PixelAt(base, 4, 3));
            }
        }
    }

    NImageBuffer base;
    Picture(base, 9, 7);
    struct Case {
        const char* name;
        DocBytes bytes;
        NRESULT expected;
    };
    DocBytes header = Signature();
    header.u32(0).u32(0).u8(0);
    std::vector<Case> cases;
    {
        DocBytes b = header;
        b.u32(9).u32(7).u32(24).u32(96).u32(96).u32(1).u32(10).fill(10, 0x77);
        cases.push_back({"does not inflate", b, NR_DECOMPRESSION_FAILED});
    }
    {
        DocBytes b = header;
        b.u32(9).u32(7).u32(24).u32(96).u32(96).u32(1).u32(1000).fill(10, 0x77);
        cases.push_back({"packed data cut", b, NR_DECOMPRESSION_FAILED});
    }
    {
        DocBytes b = header;
        b.u32(9).u32(7).u32(24).u32(96).u32(96).u32(0).fill(10, 0x77);
        cases.push_back({"raw rows cut", b, NR_INVALID_DATA});
    }
    {
        DocBytes b = header;
        b.u32(0).u32(7).u32(24).u32(96).u32(96).u32(0);
        cases.push_back({"no width", b, NR_PICTURE_CREATE_FAILED});
    }
    {
        DocBytes b = header;
        b.u32(100000).u32(100000).u32(32).u32(96).u32(96).u32(1).u32(20).fill(20, 0);
        cases.push_back({"more than zlib can pack", b, NR_DECOMPRESSION_FAILED});
    }
    {
        DocBytes b = Signature();
        b.u32(0x7FFFFFFF).fill(20, 0);
        cases.push_back({"XMP beyond the file", b, NR_INVALID_DATA});
    }
    {
        DocBytes b = Signature();
        b.u32(0).u32(0).u8(1).u32(2).u32(2).u32(0x10000);
        cases.push_back({"preview beyond the file", b, NR_INVALID_DATA});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NObjectDocument doc;
        Loaded l;
        l.From(doc, WriteFixture(dir, L"fail.lmcdoc", c.bytes));
        EXPECT_EQ(l.result, c.expected);
        EXPECT_FALSE(l.picture.valid);
    }
}

// Saving never leaves a partial file: a failure keeps what was at the path and leaves no
// working file behind.
TEST_F(LmcDocumentTest, FailedSaveLeavesNothingBehind)
{
    NImageBuffer base;
    Picture(base, 4, 4);
    NObjectDocument doc;
    // The target is a folder: the finished file cannot take its place.
    const std::wstring folder = dir.File(L"taken.lmcdoc");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(doc.Save(base, folder.c_str(), true, nullptr, "", ""), NR_FILE_OPEN_WRITE);
    // A folder that does not exist.
    EXPECT_EQ(doc.Save(base, dir.File(L"none\\x.lmcdoc").c_str(), true, nullptr, "", ""), NR_FILE_OPEN_WRITE);
    // No picture.
    NImageBuffer empty;
    EXPECT_EQ(doc.Save(empty, dir.File(L"empty.lmcdoc").c_str(), true, nullptr, "", ""), NR_PICTURE_NOT_VALID);

    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir.Path() + L"\\*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
        if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0)
            names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"taken.lmcdoc"}));
}

// A save over an existing file replaces it whole.
TEST_F(LmcDocumentTest, SaveReplacesAnExistingFile)
{
    const std::wstring path = dir.File(L"again.lmcdoc");
    ASSERT_TRUE(WriteWholeFile(path, std::vector<unsigned char>(100000, 0xEE)));
    NImageBuffer base;
    Picture(base, 4, 4);
    NObjectDocument doc;
    ASSERT_EQ(doc.Save(base, path.c_str(), true, nullptr, "", ""), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_LT(bytes.size(), 1000u);
    Loaded l;
    l.From(doc, path);
    EXPECT_EQ(l.result, NR_OK);
    EXPECT_EQ(l.consumed, bytes.size());
}

// Damaged copies of a full document (bytes changed at random places, some files cut short)
// load without a crash and with one of the reader's answers.
TEST_F(LmcDocumentTest, DamagedDocumentsLoadSafely)
{
    NObjectDocument doc;
    FillDocument(doc);
    NImageBuffer base;
    Picture(base, 12, 10);
    NImageBuffer preview;
    Picture(preview, 3, 2);
    const std::wstring path = dir.File(L"whole.lmcdoc");
    ASSERT_EQ(doc.Save(base, path.c_str(), false, &preview, "xmp packet text", "exif block bytes"), NR_OK);
    std::vector<uint8_t> original;
    ASSERT_TRUE(ReadWholeFile(path, original));

    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    const std::wstring damaged = dir.File(L"damaged.lmcdoc");
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = original;
        const int changes = 1 + next() % 6;
        for (int i = 0; i < changes; ++i) {
            const size_t at = next() % bytes.size();
            switch (next() % 3) {
            case 0:
                bytes[at] = static_cast<uint8_t>(next());
                break;
            case 1:
                bytes[at] ^= 0x80;
                break;
            default:
                // A length field becomes huge.
                if (at + 4 <= bytes.size())
                    memset(&bytes[at], 0xFF, 4);
                break;
            }
        }
        if (next() % 4 == 0)
            bytes.resize(next() % bytes.size());
        ASSERT_TRUE(WriteWholeFile(damaged, bytes));
        for (int mode : {0, 1}) {
            NObjectDocument back;
            Loaded l;
            l.From(back, damaged, mode);
            const NRESULT allowed[] = {NR_OK, NR_NOT_THIS_FORMAT, NR_INVALID_DATA, NR_ALLOCATION_FAILED,
                                       NR_DECOMPRESSION_FAILED, NR_PICTURE_CREATE_FAILED};
            EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), l.result), std::end(allowed))
                << "round " << round << " answered " << l.result;
            EXPECT_LE(l.consumed, bytes.size());
        }
    }
}

TEST(LmcStreamTest, ReadFileU32IsLittleEndianAndZeroAtTheEnd)
{
    TestDir dir;
    const std::wstring path = dir.File(L"u32.bin");
    const uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB};
    ASSERT_TRUE(WriteWholeFile(path, bytes, sizeof(bytes)));
    FILE* f = _wfopen(path.c_str(), L"rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadFileU32(f), 0x12345678u);
    EXPECT_EQ(ReadFileU32(f), 0u);
    EXPECT_TRUE(feof(f));
    fclose(f);
}

}  // namespace
