// The skinned combo box: the head painter, the dimmed text colour, notifications and the list.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ControlsTest.h"
#include "ControlsTestSupport.h"
#include "ui/ControlPainters.h"
#include "ui/NComboBox.h"

namespace {

class CountingCombo : public NComboBox {
public:
    LRESULT OnSelChange() override { return ++handled, 0; }
    LRESULT OnCloseUp() override { return ++handled, 0; }
    void DrawItem(DRAWITEMSTRUCT* item) override
    {
        ++drawn;
        NComboBox::DrawItem(item);
    }
    int handled = 0;
    int drawn = 0;
};

int CountNear(const Capture& capture, const RECT& rect, COLORREF colour, int distance)
{
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            count += ColourDistance(capture.At(x, y), colour) <= distance ? 1 : 0;
    return count;
}

}  // namespace

TEST(ComboBoxColour, DisabledTextHasItsLightnessHalved)
{
    struct Case {
        COLORREF in, out;
    } cases[] = {
        {RGB(255, 0, 0), RGB(127, 0, 0)},
        {RGB(128, 128, 128), RGB(64, 64, 64)},
        {RGB(0, 0, 0), RGB(0, 0, 0)},
        {RGB(255, 255, 255), RGB(127, 127, 127)},
        {RGB(0, 255, 0), RGB(0, 127, 0)},
        {RGB(0, 0, 255), RGB(0, 0, 127)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DimComboTextColour(c.in), c.out) << std::hex << c.in;
}

// Dark text, which halving its lightness leaves almost as it is, goes half way towards the head.
TEST(ComboBoxColour, DisabledDarkTextMovesTowardsTheHead)
{
    const struct {
        COLORREF text, top, bottom, out;
    } cases[] = {
        {RGB(0, 0, 0), RGB(255, 255, 255), RGB(241, 241, 241), RGB(124, 124, 124)},
        {RGB(0x1F, 0x29, 0x33), RGB(255, 255, 255), RGB(0xEE, 0xF2, 0xF6), RGB(0x8A, 0x90, 0x96)},
        {RGB(255, 0, 0), RGB(250, 250, 250), RGB(150, 150, 150), RGB(127, 0, 0)},  // dims as it is
        {RGB(128, 128, 128), RGB(255, 255, 255), RGB(255, 255, 255), RGB(64, 64, 64)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisabledComboTextColour(c.text, c.top, c.bottom), c.out) << std::hex << c.text;
}

TEST_F(ControlsTest, ComboBoxRoutesNotificationsByCode)
{
    CountingCombo combo;
    ASSERT_TRUE(combo.AttachDlgItem(IDC_CTL_COMBO, &dialog));
    EXPECT_EQ(combo.OnCommandReflect(MAKEWPARAM(IDC_CTL_COMBO, CBN_SELCHANGE), 0), 0);
    EXPECT_EQ(combo.OnCommandReflect(MAKEWPARAM(IDC_CTL_COMBO, CBN_CLOSEUP), 0), 0);
    EXPECT_EQ(combo.handled, 2);
    EXPECT_EQ(combo.OnCommandReflect(MAKEWPARAM(IDC_CTL_COMBO, 0), 0), 1);
    EXPECT_EQ(combo.OnCommandReflect(MAKEWPARAM(IDC_CTL_COMBO, 11), 0), 1);
    EXPECT_EQ(combo.handled, 2);
}

TEST_F(ControlsTest, ComboBoxTextsAndTheFirstDropDown)
{
    NComboBox combo;
    ASSERT_TRUE(combo.AttachDlgItem(IDC_CTL_COMBO, &dialog));
    EXPECT_EQ(combo.GetStyle() & 0xFFFF, NComboBox::kAttachedStyle & 0xFFFF);
    const int height = combo.GetUnscaledItemHeight();
    EXPECT_GT(height, 0);
    combo.AddString(L"a");
    combo.AddString(L"bb");
    NString text(L"unchanged");
    EXPECT_EQ(combo.GetLBText(2, text), CB_ERR);
    EXPECT_EQ(combo.GetLBText(-1, text), CB_ERR);
    EXPECT_EQ(std::wstring(text.c_str()), L"unchanged");
    EXPECT_EQ(combo.GetLBText(1, text), 2);
    EXPECT_EQ(std::wstring(text.c_str()), L"bb");

    EXPECT_EQ(combo.OnDropDown(), 1);
    EXPECT_EQ(combo.GetUnscaledItemHeight(), height);  // already read on attach
    EXPECT_GE(combo.GetDroppedWidth(), 100);
}

TEST_F(ControlsTest, ComboBoxHeadIsPaintedByTheSkin)
{
    CountingCombo combo;
    ASSERT_TRUE(combo.AttachDlgItem(IDC_CTL_COMBO, &dialog));
    combo.AddString(L"WWWWWW");
    combo.SetCurSel(0);
    Show();
    RECT rect{};
    GetWindowRect(Item(IDC_CTL_COMBO), &rect);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    // The border, the gradient's ends and the head text.
    EXPECT_EQ(capture.At(rect.left, rect.top + 3), ctl::kHeadBorder);
    EXPECT_LE(ColourDistance(capture.At(rect.left + 1, rect.top + 1), ctl::kHeadTop), 12);
    EXPECT_LE(ColourDistance(capture.At(rect.left + 1, rect.bottom - 2), ctl::kHeadBottom), 12);
    EXPECT_GT(CountNear(capture, rect, ctl::kHeadText, 40), 5);

    // Disabled: the text is drawn in the dimmed colour.
    EnableWindow(Item(IDC_CTL_COMBO), FALSE);
    InvalidateRect(Item(IDC_CTL_COMBO), nullptr, TRUE);
    PumpMessages(60);
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(CountNear(capture, rect, ctl::kHeadText, 40), 0);
    EXPECT_GT(CountNear(capture, rect, RGB(127, 0, 0), 40), 5);
}

TEST_F(ControlsTest, SelectedListItemGetsAnOutlineAndNoInversion)
{
    NComboBox combo;
    ASSERT_TRUE(combo.AttachDlgItem(IDC_CTL_COMBO, &dialog));
    combo.AddString(L"First");
    combo.AddString(L"Second");
    Show();
    combo.ShowDropDown(true);
    PumpMessages(30);
    ASSERT_TRUE(combo.GetDroppedState());
    auto draw = [&](UINT state) {
        NImageBuffer picture;
        EXPECT_TRUE(picture.Create(100, 16, 24, RGB(1, 2, 3)));
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_COMBOBOX;
        item.CtlID = IDC_CTL_COMBO;
        item.itemID = 1;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hwndItem = combo.GetHwnd();
        item.hDC = picture.dc;
        item.rcItem = {0, 0, 100, 16};
        combo.DrawItem(&item);
        return std::make_pair(GetPixel(picture.dc, 0, 8), GetPixel(picture.dc, 95, 8));
    };
    auto selected = draw(ODS_SELECTED);
    EXPECT_EQ(selected.first, RGB(0, 255, 0));     // AppComboBoxBorderColor outline
    EXPECT_EQ(selected.second, RGB(255, 255, 255));  // AppComboBoxBackColor, not a highlight
    auto plain = draw(0);
    EXPECT_EQ(plain.first, RGB(255, 255, 255));
    combo.ShowDropDown(false);
    PumpMessages(30);
}

namespace {

// Draws one item of a list variant into a fresh picture filled with a marker colour.
constexpr COLORREF kUntouched = RGB(1, 2, 3);

struct ItemPicture {
    NImageBuffer picture;
    COLORREF At(int x, int y) const { return GetPixel(picture.dc, x, y); }
    bool Untouched() const
    {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (At(x, y) != kUntouched)
                    return false;
        return true;
    }
};

void DrawListItem(NComboBox& combo, ItemPicture& out, UINT itemId, UINT state)
{
    ASSERT_TRUE(out.picture.Create(100, 16, 24, kUntouched));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_COMBOBOX;
    item.itemID = itemId;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = combo.GetHwnd();
    item.hDC = out.picture.dc;
    item.rcItem = {0, 0, 100, 16};
    combo.DrawItem(&item);
}

}  // namespace

TEST_F(ControlsTest, ColorListDrawsSwatchesAndNothingOutOfRange)
{
    NColorComboBox colors;
    ASSERT_TRUE(colors.AttachDlgItem(IDC_CTL_COLORLIST, &dialog));
    EXPECT_GT(colors.GetUnscaledItemHeight(), 0);
    // The template's style stays (the plain combo box would add WS_CLIPCHILDREN).
    EXPECT_TRUE(colors.GetStyle() & CBS_OWNERDRAWFIXED);
    EXPECT_FALSE(colors.GetStyle() & WS_CLIPCHILDREN);
    ItemPicture empty;
    DrawListItem(colors, empty, 0, ODS_SELECTED);
    EXPECT_TRUE(empty.Untouched());

    EXPECT_EQ(colors.AddColor(RGB(255, 0, 0)), 0);
    EXPECT_EQ(colors.AddColor(RGB(0, 0, 255)), 1);
    EXPECT_EQ(colors.GetCount(), 2);
    EXPECT_EQ(colors.GetColorAt(1), RGB(0, 0, 255));
    EXPECT_EQ(colors.GetColorAt(2), CLR_INVALID);

    struct Case {
        UINT id, state;
        int cursel;
    } outOfRange[] = {{2, 0, 0}, {static_cast<UINT>(-1), ODS_COMBOBOXEDIT, -1}, {0, ODS_COMBOBOXEDIT, -1}};
    for (const Case& c : outOfRange) {
        colors.SetCurSel(c.cursel);
        ItemPicture picture;
        DrawListItem(colors, picture, c.id, c.state);
        EXPECT_TRUE(picture.Untouched()) << "item " << static_cast<int>(c.id);
    }

    // A list item: light grey at the centre, its colour at the rim; selected ones get the outline.
    ItemPicture plain, selected, field;
    DrawListItem(colors, plain, 1, 0);
    EXPECT_LE(ColourDistance(plain.At(50, 8), RGB(0xE4, 0xE4, 0xE4)), 12);
    EXPECT_EQ(plain.At(1, 1), RGB(0, 0, 255));
    EXPECT_EQ(plain.At(0, 0), RGB(0, 0, 255));
    DrawListItem(colors, selected, 1, ODS_SELECTED);
    EXPECT_EQ(selected.At(0, 8), RGB(0, 255, 0));  // AppComboBoxBorderColor
    EXPECT_EQ(selected.At(1, 1), RGB(0, 0, 255));
    // The selection field shows the current selection's colour whatever item it is given.
    colors.SetCurSel(0);
    DrawListItem(colors, field, 1, ODS_COMBOBOXEDIT);
    EXPECT_EQ(field.At(1, 1), RGB(255, 0, 0));

    // On screen the system paints the closed box through the same drawing.
    colors.SetCurSel(1);
    Show();
    RECT rect{};
    GetWindowRect(Item(IDC_CTL_COLORLIST), &rect);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    const int middle = (rect.top + rect.bottom) / 2;
    const int arrow = GetSystemMetrics(SM_CXVSCROLL);
    EXPECT_LE(ColourDistance(capture.At((rect.left + rect.right - arrow) / 2, middle), RGB(0xE4, 0xE4, 0xE4)), 30);
    EXPECT_LE(ColourDistance(capture.At(rect.left + 4, rect.top + 4), RGB(0, 0, 255)), 30);
}

TEST_F(ControlsTest, FontListHoldsEveryFamilyOnceAndDrawsItsItems)
{
    NFontComboBox fonts;
    ASSERT_TRUE(fonts.AttachDlgItem(IDC_CTL_FONTLIST, &dialog));
    const int count = static_cast<int>(fonts.GetCount());
    ASSERT_GT(count, 0);
    NString first;
    ASSERT_GT(fonts.GetLBText(0, first), 0);
    for (int i = 0; i < count; ++i) {
        NString name;
        ASSERT_GT(fonts.GetLBText(i, name), 0);
        EXPECT_EQ(fonts.FindStringExact(i, name.c_str()), i) << "listed twice: " << name.c_str();
    }
    EXPECT_EQ(fonts.AddFontFamilies(), 0);
    EXPECT_EQ(fonts.GetCount(), count);

    // A listed name that merely begins with a family's name does not hide that family.
    fonts.ResetContent();
    const std::wstring longer = std::wstring(first.c_str()) + L" Condensed Extra";
    fonts.AddString(longer.c_str());
    EXPECT_EQ(fonts.AddFontFamilies(), count);
    EXPECT_NE(fonts.FindStringExact(-1, first.c_str()), CB_ERR);

    // An item: the back colour, black text, and the outline when selected.
    int index = static_cast<int>(fonts.FindStringExact(-1, first.c_str()));
    ItemPicture plain, selected;
    DrawListItem(fonts, plain, index, 0);
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 100; ++x)
            ink += ColourDistance(plain.At(x, y), RGB(0, 0, 0)) <= 80 ? 1 : 0;
    EXPECT_GT(ink, 5);
    EXPECT_EQ(plain.At(0, 8), RGB(255, 255, 255));
    EXPECT_EQ(plain.At(1, 0), RGB(255, 255, 255));
    DrawListItem(fonts, selected, index, ODS_SELECTED);
    EXPECT_EQ(selected.At(0, 8), RGB(0, 255, 0));
    // Out of range: filled, but no text.
    ItemPicture none;
    DrawListItem(fonts, none, 100000, 0);
    EXPECT_EQ(none.At(50, 8), RGB(255, 255, 255));
}
