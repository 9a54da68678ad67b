// The skin's painters of the push button and of the combo box's closed head, and the state
// choices they make. They paint into an off-screen picture and copy it to the target at the end.
#pragma once
#include <windows.h>

class NSkin;
class NComboBox;
class NImageBuffer;

// Row of the skin's "Button" picture (rows of 24 pixels) for owner-draw item states: 4 hovered and
// pressed, 1 hovered, 2 grayed or disabled, 3 default or focused, else 0.
int SkinButtonRow(UINT flags);
// Frame of a button's own five-frame picture: 4 hovered and pressed, 1 hovered, 2 disabled or
// grayed, 3 default or focused, else 0.
int ButtonFrameIndex(UINT flags);

// A button from a picture of two frames, its normal and its hovered look (ODS_HOTLIGHT in flags):
// the frame is stretched over the item rectangle. Layouts: 0 lower half normal, upper half hovered;
// 1 left normal, right hovered; 2 upper normal, lower hovered; 3 right normal, left hovered.
// False, and nothing drawn, for another layout, an invalid picture or an empty rectangle.
bool DrawTwoFrameButton(const NImageBuffer& picture, int layout, HDC dc, UINT flags, const RECT* item);

// ODS_DISABLED for a disabled control, else ODS_HOTLIGHT while the cursor is over it, else 0.
UINT PointerStateFlags(HWND control);

// A button's caption in the text rectangle, moved right and down by `pressed` pixels: one line
// centred vertically, or with multiLine word-wrapped, the block centred vertically in `height`
// and reaching to multiLineRight. centre: DT_CENTER or 0. Long paths end in an ellipsis. The
// focus rectangle follows it when itemState asks for one (FocusCue.h), kept inside bounds.
void DrawButtonCaption(HWND control, HDC dc, UINT itemState, const wchar_t* caption, RECT text, int height,
                       int multiLineRight, int pressed, UINT centre, bool multiLine, const RECT& bounds);

// The skin's push button: nine pieces of the "Button" row, an icon of the strip "ButtonIcons"
// (index >= 0), a colour swatch (-2) or none (-1, the text centred), the caption, and with
// dropDown the "ComboBoxDropDown" arrow at the right. Draws nothing while the skin is not loaded.
void DrawSkinButton(NSkin& skin, HWND button, HDC dc, UINT flags, const RECT* item, int iconIndex, bool dropDown);

// The closed combo box: gradient, current text (dimmed when disabled), border and arrow.
void DrawSkinComboBoxHead(NSkin& skin, NComboBox& comboBox, HDC dc, const RECT* rc);
// The head text colour of a disabled combo box: the colour's HSL lightness halved.
COLORREF DimComboTextColour(COLORREF colour);
// The text colour a disabled head uses over its gradient from headTop to headBottom: the dimmed
// colour above, or for text so dark that dimming hardly changes it (by less than 64 in every
// channel), the text mixed half and half with the head.
COLORREF DisabledComboTextColour(COLORREF text, COLORREF headTop, COLORREF headBottom);
