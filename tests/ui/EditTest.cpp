// The edit-control wrapper: texts in and out, undo, limits, lines, and its owner drawing, driven by
// messages on a child of the controls dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ControlsTestSupport.h"
#include "ui/NSkin.h"
#include "ui/NEdit.h"

namespace {

class EditTest : public ControlsTest {
protected:
    void Make(NEdit& edit, DWORD style = 0)
    {
        ASSERT_NE(edit.Create(dialog_, L"", style), nullptr);
        SetWindowPos(edit.GetHwnd(), nullptr, 10, 10, 200, 60, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    std::wstring Text(const NEdit& edit)
    {
        wchar_t text[256] = {};
        GetWindowTextW(edit.GetHwnd(), text, 256);
        return text;
    }
};

}  // namespace

TEST_F(EditTest, IsAVisibleChildOfItsOwnClass)
{
    NEdit edit;
    Make(edit);
    wchar_t name[32] = {};
    GetClassNameW(edit.GetHwnd(), name, 32);
    EXPECT_STREQ(name, L"NEdit");
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(edit.GetHwnd(), GWL_STYLE));
    EXPECT_EQ(style & 0xFFFF0000u, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    EXPECT_EQ(NWindow::FromHandle(edit.GetHwnd()), &edit);
}

TEST_F(EditTest, TextsGoInAndOutThroughNString)
{
    NEdit edit;
    Make(edit);
    NString text(L"stale");
    EXPECT_FALSE(edit.GetText(text));  // an empty control
    EXPECT_TRUE(text.IsEmpty());

    ASSERT_TRUE(edit.SetText(L"Hello world"));
    EXPECT_FALSE(edit.SetText(nullptr));  // the control keeps its text
    ASSERT_TRUE(edit.GetText(text));
    EXPECT_STREQ(text.c_str(), L"Hello world");

    const std::wstring longText(5000, L'w');
    ASSERT_TRUE(edit.SetText(longText.c_str()));
    ASSERT_TRUE(edit.GetText(text));
    EXPECT_EQ(text.GetLength(), 5000);
}

TEST_F(EditTest, SelectionReplacementAndUndo)
{
    NEdit edit;
    Make(edit);
    ASSERT_TRUE(edit.SetText(L"Hello world"));
    edit.SetSel(6, 11);
    DWORD start = 0, end = 0;
    EXPECT_EQ(edit.GetSel(&start, &end), static_cast<DWORD>(MAKELONG(6, 11)));
    EXPECT_EQ(start, 6u);
    EXPECT_EQ(end, 11u);

    edit.EmptyUndoBuffer();
    EXPECT_FALSE(edit.CanUndo());
    edit.ReplaceSel(L"there", true);
    EXPECT_EQ(Text(edit), L"Hello there");
    EXPECT_TRUE(edit.CanUndo());
    EXPECT_TRUE(edit.Undo());
    EXPECT_EQ(Text(edit), L"Hello world");

    edit.SetModify(true);
    EXPECT_TRUE(edit.GetModify());
    edit.SetModify(false);
    EXPECT_FALSE(edit.GetModify());
}

TEST_F(EditTest, LimitStopsTypingButNotSetText)
{
    NEdit edit;
    Make(edit);
    edit.LimitText(4);
    EXPECT_EQ(edit.GetLimitText(), 4u);
    for (wchar_t c : std::wstring(L"abcdef"))
        SendMessageW(edit.GetHwnd(), WM_CHAR, c, 1);
    EXPECT_EQ(Text(edit), L"abcd");
    edit.SetLimitText(10);
    EXPECT_EQ(edit.GetLimitText(), 10u);
    ASSERT_TRUE(edit.SetText(L"a text longer than ten"));
    EXPECT_EQ(Text(edit), L"a text longer than ten");
}

TEST_F(EditTest, LinesOfAMultiLineControl)
{
    NEdit edit;
    Make(edit, ES_MULTILINE | ES_AUTOVSCROLL);
    ASSERT_TRUE(edit.SetText(L"one\r\ntwo\r\nthree"));
    EXPECT_EQ(edit.GetLineCount(), 3);
    EXPECT_EQ(edit.LineIndex(1), 5);
    EXPECT_EQ(edit.LineLength(edit.LineIndex(2)), 5);
    EXPECT_EQ(edit.LineFromChar(6), 1);

    wchar_t line[16];
    EXPECT_EQ(edit.GetLine(2, line, 16), 5);
    EXPECT_STREQ(line, L"three");
    EXPECT_EQ(edit.GetLine(2, line, 3), 2);  // cut to the buffer and terminated
    EXPECT_STREQ(line, L"th");
    EXPECT_EQ(edit.GetLine(2, line, 1), 0);
    EXPECT_EQ(edit.GetLine(2, nullptr, 16), 0);

    edit.SetMargins(EC_LEFTMARGIN | EC_RIGHTMARGIN, 3, 7);
    EXPECT_EQ(edit.GetMargins(), static_cast<DWORD>(MAKELONG(3, 7)));
    const int stops[] = {16};
    EXPECT_TRUE(edit.SetTabStops(1, stops));
    EXPECT_EQ(edit.GetFirstVisibleLine(), 0);
}

TEST_F(EditTest, PasswordAndReadOnly)
{
    NEdit edit;
    Make(edit);
    edit.SetPasswordChar(L'*');
    EXPECT_EQ(edit.GetPasswordChar(), L'*');
    EXPECT_TRUE(edit.SetReadOnly(true));
    EXPECT_TRUE(GetWindowLongPtrW(edit.GetHwnd(), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(edit.SetReadOnly(false));
    EXPECT_FALSE(GetWindowLongPtrW(edit.GetHwnd(), GWL_STYLE) & ES_READONLY);
}

TEST_F(EditTest, OwnerDrawingFillsWithTheWindowColour)
{
    NEdit edit;
    Make(edit);
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(40, 20, 24, RGB(0, 0, 0)));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.hwndItem = edit.GetHwnd();
    item.hDC = picture.dc;
    item.rcItem = {5, 5, 30, 15};
    // The dialog reflects WM_DRAWITEM to the control object.
    SendMessageW(dialog_, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(GetPixel(picture.dc, 10, 10), ctl::kFill);
    EXPECT_EQ(GetPixel(picture.dc, 29, 14), ctl::kFill);
    EXPECT_EQ(GetPixel(picture.dc, 30, 10), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(picture.dc, 2, 2), RGB(0, 0, 0));
}

TEST_F(EditTest, TypedTextIsPainted)
{
    // The test skin has no edit text colour (white on the white edit): give it one.
    wchar_t ini[MAX_PATH] = {};
    app_.GetSkin()->GetIniPath(ini, MAX_PATH);
    WritePrivateProfileStringW(L"Skin", L"AppEditTextColor", L"000000", ini);
    ASSERT_TRUE(app_.GetSkin()->Load(L"SkinCtl"));
    NEdit edit;
    Make(edit);
    // Below the dialog's other controls, which would paint over it.
    RECT free{10, 158, 120, 170};
    MapDialogRect(dialog_, &free);
    SetWindowPos(edit.GetHwnd(), HWND_TOP, free.left, free.top, free.right - free.left, free.bottom - free.top,
                 SWP_NOACTIVATE);
    Show();
    Capture empty;
    ASSERT_TRUE(CaptureClient(edit.GetHwnd(), empty));
    for (wchar_t c : std::wstring(L"WWW"))
        SendMessageW(edit.GetHwnd(), WM_CHAR, c, 1);
    NString text;
    ASSERT_TRUE(edit.GetText(text));
    EXPECT_STREQ(text.c_str(), L"WWW");
    Capture typed;
    ASSERT_TRUE(CaptureClient(edit.GetHwnd(), typed));
    ASSERT_EQ(typed.pixels.size(), empty.pixels.size());
    int changed = 0;
    for (size_t i = 0; i < typed.pixels.size(); ++i)
        changed += typed.pixels[i] != empty.pixels[i] ? 1 : 0;
    EXPECT_GT(changed, 20);
    // Undone, the text goes from the screen too.
    ASSERT_TRUE(edit.CanUndo());
    ASSERT_TRUE(edit.Undo());
    Capture undone;
    ASSERT_TRUE(CaptureClient(edit.GetHwnd(), undone));
    EXPECT_FALSE(edit.GetText(text));
    int left = 0;
    for (size_t i = 0; i < undone.pixels.size(); ++i)
        left += undone.pixels[i] != empty.pixels[i] ? 1 : 0;
    EXPECT_LT(left, 5);  // at most the caret
}
