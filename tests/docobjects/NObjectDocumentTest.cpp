// The document model: id renumbering on add, which fields each add copies, the payload copy
// rules, and emptying long lists.
#include "docobjects/NObjectDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <vector>

namespace {

std::vector<int32_t> Ids(const NObjectDocument& doc)
{
    std::vector<int32_t> ids;
    for (const DocObject* o = doc.First(); o; o = o->next)
        ids.push_back(o->id);
    return ids;
}

size_t Length(const NObjectDocument& doc)
{
    return Ids(doc).size();
}

// A given object with common fields that every add must copy or drop.
void Given(DocObject& o, int32_t type, int32_t id)
{
    o.Init();
    o.type = type;
    o.id = id;
    o.rect = RECT{1, 2, 30, 40};
    o.shadow = 1;
    o.shadowColour = 0x112233;
    o.opacity = 77;
    o.angle = 12.5f;
    o.locked = 1;
    o.hidden = 1;
    for (int i = 0; i < 6; ++i)
        o.furtherBytes[i] = static_cast<uint8_t>(i + 1);
    o.furtherValues[0] = 9;
    o.furtherValues[1] = 8;
}

bool AddRect(NObjectDocument& doc, int32_t id)
{
    DocObject o;
    Given(o, DOC_RECTANGLE, id);
    RectanglePayload p;
    return doc.AddRectangle(o, &p);
}

void MakePicture(NImageBuffer& pic, COLORREF colour)
{
    ASSERT_TRUE(pic.Create(5, 4, 24, colour, nullptr));
}

TEST(NObjectDocumentTest, ResetStateAndCount)
{
    NObjectDocument doc;
    EXPECT_EQ(doc.count, 1);
    EXPECT_EQ(doc.currentId, 12345);
    EXPECT_EQ(doc.First(), nullptr);
    ASSERT_TRUE(AddRect(doc, 7));
    EXPECT_EQ(doc.count, 2);
    EXPECT_EQ(doc.currentId, 7);
}

TEST(NObjectDocumentTest, DuplicateIdsTakeTheSmallestFreeId)
{
    NObjectDocument doc;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(AddRect(doc, 1));
    EXPECT_EQ(Ids(doc), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(doc.currentId, 3);

    NObjectDocument gap;
    AddRect(gap, 1);
    AddRect(gap, 3);
    AddRect(gap, 2);   // free: kept
    EXPECT_EQ(Ids(gap), (std::vector<int32_t>{1, 3, 2}));
    AddRect(gap, 3);   // taken: 4 is the smallest free id
    AddRect(gap, 9);
    AddRect(gap, 1);   // taken: 5
    EXPECT_EQ(Ids(gap), (std::vector<int32_t>{1, 3, 2, 4, 9, 5}));
    EXPECT_EQ(gap.currentId, 5);
}

TEST(NObjectDocumentTest, RenumberingChangesTheGivenObject)
{
    NObjectDocument doc;
    AddRect(doc, 1);
    DocObject o;
    Given(o, DOC_ELLIPSE, 1);
    EllipsePayload p;
    ASSERT_TRUE(doc.AddEllipse(o, &p));
    EXPECT_EQ(o.id, 2);
    EXPECT_EQ(doc.currentId, 2);
}

// Which types keep the given object's angle, and the common fields every add copies.
TEST(NObjectDocumentTest, AddCopiesCommonFieldsAndTheAngleOfRotatableTypes)
{
    struct Case {
        int32_t type;
        bool keepsAngle;
    };
    const Case cases[] = {
        {DOC_RECTANGLE, true}, {DOC_ELLIPSE, true},      {DOC_LINE, false},    {DOC_POLYLINE, false},
        {DOC_CALLOUT, false},  {DOC_ARROW, false},       {DOC_IMAGE_TEXT, true}, {DOC_TEXT, true},
        {DOC_ARROW_CURVE, false}, {DOC_CURVE, false},    {DOC_CURVE_IMAGE, false}, {DOC_PICTURE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        NObjectDocument doc;
        DocObject o;
        Given(o, c.type, 4);
        ASSERT_TRUE(doc.AddObjectCopy(&o));
        const DocObject* made = doc.First();
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->type, c.type);
        EXPECT_EQ(made->id, 4);
        EXPECT_EQ(made->angle, c.keepsAngle ? 12.5f : 0.0f);
        EXPECT_EQ(made->rect.right, 30);
        EXPECT_EQ(made->rect.bottom, 40);
        EXPECT_EQ(made->shadow, 1);
        EXPECT_EQ(made->shadowColour, 0x112233u);
        EXPECT_EQ(made->opacity, 77);
        EXPECT_EQ(made->locked, 1);
        EXPECT_EQ(made->hidden, 1);
        EXPECT_EQ(made->furtherBytes[5], 6);
        EXPECT_EQ(made->furtherValues[0], 0u);
        EXPECT_EQ(made->furtherValues[1], 0u);
        EXPECT_EQ(made->payload, nullptr);   // the given object had none
    }
}

TEST(NObjectDocumentTest, TypesWithoutACopyAreRefused)
{
    NObjectDocument doc;
    AddRect(doc, 1);
    for (int32_t type : std::initializer_list<int32_t>{0, DOC_OLD_TEXT, DOC_OLD_PICTURE, DOC_OLD_PICTURE_STYLED, 16, -3}) {
        DocObject o;
        Given(o, type, 1);
        EXPECT_FALSE(doc.AddObjectCopy(&o)) << type;
        EXPECT_EQ(o.id, 1);
    }
    EXPECT_FALSE(doc.AddObjectCopy(nullptr));
    EXPECT_EQ(doc.count, 2);
    EXPECT_EQ(doc.currentId, 1);
    EXPECT_EQ(Length(doc), 1u);
}

TEST(NObjectDocumentTest, PictureCopyIsDeepAndDropsTheFurtherValues)
{
    NObjectDocument doc;
    DocObject o;
    Given(o, DOC_PICTURE, 1);
    PicturePayload source;
    source.saturation = -5;
    source.contrast = 6;
    source.brightness = -700;
    source.warpMode = 1;
    for (int i = 0; i < 8; ++i)
        source.warp[i] = static_cast<int16_t>(10 * i - 3);
    for (int i = 0; i < 4; ++i)
        source.furtherValues[i] = 100 + i;
    MakePicture(source.picture, RGB(10, 20, 30));
    ASSERT_TRUE(doc.AddPicture(o, &source));

    const PicturePayload* copy = doc.First()->PayloadAs<PicturePayload>();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->saturation, -5);
    EXPECT_EQ(copy->contrast, 6);
    EXPECT_EQ(copy->brightness, -700);
    EXPECT_EQ(copy->warpMode, 1);
    EXPECT_EQ(memcmp(copy->warp, source.warp, sizeof(source.warp)), 0);
    for (int32_t v : copy->furtherValues)
        EXPECT_EQ(v, 0);
    ASSERT_TRUE(copy->picture.valid);
    EXPECT_NE(copy->picture.bits, source.picture.bits);
    source.picture.Fill(RGB(200, 200, 200));
    EXPECT_EQ(copy->picture.bits[0], 30);   // blue of the original colour
    EXPECT_EQ(doc.First()->warpModeKey, 255);
}

TEST(NObjectDocumentTest, CurveCopiesDropFurtherValuesAndTheHeadOfPlainCurves)
{
    CurvePayload source;
    source.penWidth = 3;
    source.endHead = 2;
    source.colour2 = 0xABCDEF;
    source.points[3] = DocPoint{7, 8};
    source.furtherValues[0] = 5;
    source.furtherValues[1] = 6;

    NObjectDocument doc;
    DocObject a;
    Given(a, DOC_ARROW_CURVE, 1);
    doc.AddArrowCurve(a, &source);
    DocObject c;
    Given(c, DOC_CURVE, 2);
    doc.AddCurve(c, &source);

    const CurvePayload* arrow = doc.First()->PayloadAs<CurvePayload>();
    const CurvePayload* curve = doc.First()->next->PayloadAs<CurvePayload>();
    ASSERT_TRUE(arrow && curve);
    EXPECT_EQ(arrow->endHead, 2);
    EXPECT_EQ(curve->endHead, 0);
    for (const CurvePayload* p : {arrow, curve}) {
        EXPECT_EQ(p->penWidth, 3);
        EXPECT_EQ(p->colour2, 0xABCDEFu);
        EXPECT_EQ(p->points[3].y, 8);
        EXPECT_EQ(p->furtherValues[0], 0);
        EXPECT_EQ(p->furtherValues[1], 0);
    }
}

TEST(NObjectDocumentTest, CurveWithImageCopyKeepsPointsAndClearsReservedFields)
{
    auto source = std::make_unique<CurveImagePayload>();
    source->penWidth = 4;
    source->reservedWord = 9;
    source->colour3 = 0x10;
    source->hidePictures = 1;
    source->reservedBytes[1] = 7;
    source->reservedValue = 99;
    source->points = {{1, 2}, {3, 4}, {5, 6}};
    MakePicture(source->picture, RGB(1, 2, 3));

    NObjectDocument doc;
    DocObject o;
    Given(o, DOC_CURVE_IMAGE, 1);
    o.payload = source.release();
    ASSERT_TRUE(doc.AddObjectCopy(&o));
    const CurveImagePayload* copy = doc.First()->PayloadAs<CurveImagePayload>();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->penWidth, 4);
    EXPECT_EQ(copy->colour3, 0x10u);
    EXPECT_EQ(copy->hidePictures, 1);
    EXPECT_EQ(copy->reservedWord, 0);
    EXPECT_EQ(copy->reservedBytes[1], 0);
    EXPECT_EQ(copy->reservedValue, 0);
    ASSERT_EQ(copy->points.size(), 3u);
    EXPECT_EQ(copy->points[2].x, 5);
    EXPECT_TRUE(copy->picture.valid);
    EXPECT_NE(copy->picture.bits, o.PayloadAs<CurveImagePayload>()->picture.bits);
}

TEST(NObjectDocumentTest, FullTextAreasAreCopiedWithATerminator)
{
    auto callout = std::make_unique<CalloutPayload>();
    std::fill(std::begin(callout->text), std::end(callout->text), L'x');
    callout->frameWidth = 3;
    callout->pointerEnd = DocPoint{-4, 9};
    auto imageText = std::make_unique<ImageTextPayload>();
    std::fill(std::begin(imageText->text), std::end(imageText->text), L'y');
    imageText->furtherValues[1] = 17;

    NObjectDocument doc;
    DocObject a;
    Given(a, DOC_CALLOUT, 1);
    a.payload = callout.release();
    doc.AddObjectCopy(&a);
    DocObject b;
    Given(b, DOC_IMAGE_TEXT, 2);
    b.payload = imageText.release();
    doc.AddObjectCopy(&b);

    const CalloutPayload* c = doc.First()->PayloadAs<CalloutPayload>();
    const ImageTextPayload* t = doc.First()->next->PayloadAs<ImageTextPayload>();
    ASSERT_TRUE(c && t);
    EXPECT_EQ(wcslen(c->text), 8191u);
    EXPECT_EQ(wcslen(t->text), 8191u);
    EXPECT_EQ(c->frameWidth, 3);
    EXPECT_EQ(c->pointerEnd.x, -4);
    EXPECT_EQ(t->furtherValues[1], 17);
}

TEST(NObjectDocumentTest, TextAndPolylineCopies)
{
    TextPayload text;
    text.text = L"caption";
    text.fontSize = 18;
    wcscpy(text.font.lfFaceName, L"DejaVu Sans");
    text.outline = 1;
    text.effectColour2 = 0x445566;
    text.furtherValues[1] = -2;
    PolylinePayload line;
    line.colour = 0xFF;
    line.storedCount = 2;
    line.points = {{0, 0}, {10, 10}};

    NObjectDocument doc;
    DocObject a;
    Given(a, DOC_TEXT, 1);
    doc.AddText(a, &text);
    DocObject b;
    Given(b, DOC_POLYLINE, 1);
    doc.AddPolyline(b, &line);
    text.text = L"changed";

    const TextPayload* t = doc.First()->PayloadAs<TextPayload>();
    const PolylinePayload* p = doc.First()->next->PayloadAs<PolylinePayload>();
    ASSERT_TRUE(t && p);
    EXPECT_STREQ(t->text.c_str(), L"caption");
    EXPECT_EQ(t->fontSize, 18);
    EXPECT_STREQ(t->font.lfFaceName, L"DejaVu Sans");
    EXPECT_EQ(t->outline, 1);
    EXPECT_EQ(t->effectColour2, 0x445566u);
    EXPECT_EQ(t->furtherValues[1], -2);
    EXPECT_EQ(p->storedCount, 2);
    ASSERT_EQ(p->points.size(), 2u);
    EXPECT_EQ(p->points[1].y, 10);
    EXPECT_EQ(doc.First()->next->id, 2);
}

TEST(NObjectDocumentTest, PayloadAccessFollowsTheType)
{
    DocObject o;
    o.type = DOC_ELLIPSE;
    o.payload = new EllipsePayload();
    EXPECT_NE(o.PayloadAs<EllipsePayload>(), nullptr);
    EXPECT_EQ(o.PayloadAs<RectanglePayload>(), nullptr);
}

TEST(NObjectDocumentTest, InitAndResetStates)
{
    DocObject o;
    EXPECT_EQ(o.type, 0);
    EXPECT_EQ(o.id, 1);
    EXPECT_EQ(o.opacity, 255);
    EXPECT_EQ(o.warpKey[0], -1);
    EXPECT_EQ(o.warpKey[7], -1);
    EXPECT_EQ(o.warpModeKey, 0);

    PicturePayload source;
    MakePicture(source.picture, RGB(9, 9, 9));
    source.furtherValues[2] = 4;
    o.InitPicture(DOC_PICTURE, 6, RECT{0, 0, 5, 5}, 1, 0x10, 200, 33.0f, &source);
    EXPECT_EQ(o.id, 6);
    EXPECT_EQ(o.angle, 33.0f);
    EXPECT_EQ(o.warpModeKey, 255);
    ASSERT_NE(o.PayloadAs<PicturePayload>(), nullptr);
    EXPECT_TRUE(o.PayloadAs<PicturePayload>()->picture.valid);
    EXPECT_EQ(o.PayloadAs<PicturePayload>()->furtherValues[2], 0);

    CalloutPayload callout;
    o.InitCallout(DOC_CALLOUT, 2, RECT{0, 0, 1, 1}, 0, 0, 255, &callout);
    EXPECT_EQ(o.angle, 0.0f);
    EXPECT_NE(o.PayloadAs<CalloutPayload>(), nullptr);

    // A payload record that the type does not name is not attached.
    o.InitText(DOC_RECTANGLE, 2, RECT{0, 0, 1, 1}, 0, 0, 255, 0.0f, nullptr);
    EXPECT_EQ(o.payload, nullptr);

    o.shadowCache.Create(2, 2, 32, 0, nullptr);
    o.Reset();
    EXPECT_EQ(o.type, 0);
    EXPECT_EQ(o.id, 0);
    EXPECT_EQ(o.opacity, 255);
    EXPECT_EQ(o.payload, nullptr);
    EXPECT_FALSE(o.shadowCache.valid);
    EXPECT_EQ(o.warpModeKey, 255);
}

TEST(NObjectDocumentTest, GetObjectFindsTheFirstWithTheId)
{
    NObjectDocument doc;
    AddRect(doc, 4);
    AddRect(doc, 8);
    ASSERT_NE(doc.GetObject(8), nullptr);
    EXPECT_EQ(doc.GetObject(8), doc.First()->next);
    EXPECT_EQ(doc.GetObject(5), nullptr);
}

TEST(NObjectDocumentTest, LongListsAreFreedAndCleared)
{
    NObjectDocument doc;
    const int n = 100000;
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(AddRect(doc, 1));   // every add renumbers
    EXPECT_EQ(doc.count, n + 1);
    EXPECT_EQ(doc.currentId, n);
    doc.Clear();
    EXPECT_EQ(doc.count, 1);
    EXPECT_EQ(doc.currentId, 12345);
    EXPECT_EQ(doc.First(), nullptr);
    // The ids of the freed objects are free again.
    AddRect(doc, 1);
    EXPECT_EQ(Ids(doc), (std::vector<int32_t>{1}));
}

TEST(NObjectDocumentTest, FreeingATailChainCutsTheList)
{
    NObjectDocument doc;
    for (int id : {1, 2, 3, 4})
        AddRect(doc, id);
    doc.FreeObjects(doc.GetObject(3));
    EXPECT_EQ(Ids(doc), (std::vector<int32_t>{1, 2}));
    // Appending goes on after the new tail, and the freed ids are free again.
    AddRect(doc, 1);
    EXPECT_EQ(Ids(doc), (std::vector<int32_t>{1, 2, 3}));
}

}  // namespace
