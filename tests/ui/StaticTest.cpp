// Skinned statics: colouring with and without a dialog background, the menu-title and hyperlink
// behaviour, and the group box.
#include <gtest/gtest.h>
#include <windows.h>

#include "ControlsTest.h"
#include "ControlsTestSupport.h"
#include "ui/NSkin.h"
#include "ui/NStatic.h"

namespace {

// A hyperlink whose shell call is recorded instead of made.
class RecordingLink : public NHyperLink {
public:
    bool ShellOpen(const wchar_t* target) override
    {
        opened.push_back(target);
        return shellAnswer;
    }
    std::vector<std::wstring> opened;
    bool shellAnswer = true;
};

// Sends the reflected colour message with a memory device context; answers the brush and the
// text colour set.
HBRUSH ColourOf(NWindow& control, COLORREF& text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    auto brush = reinterpret_cast<HBRUSH>(
        control.OnMessageReflect(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control.GetHwnd())));
    text = GetTextColor(dc);
    DeleteDC(dc);
    return brush;
}

}  // namespace

TEST_F(ControlsTest, StaticColoursOverTheSkinBrushOrTheBackground)
{
    NStatic label;
    ASSERT_TRUE(label.AttachDlgItem(IDC_CTL_LABEL, &dialog));
    EXPECT_TRUE(GetWindowLongPtrW(Item(IDC_CTL_LABEL), GWL_STYLE) & SS_NOTIFY);
    COLORREF text = 0;
    EXPECT_EQ(ColourOf(label, text), app_.GetSkin()->GetWindowBrush());
    EXPECT_EQ(text, ctl::kStaticText);
    label.SetTextColor(RGB(9, 8, 7));
    ColourOf(label, text);
    EXPECT_EQ(text, RGB(9, 8, 7));

    // On a dialog with a background picture the picture shows through.
    RECT client{};
    GetClientRect(dialog_, &client);
    NImageBuffer background;
    ASSERT_TRUE(MakePicture(background, client.right, client.bottom, 24, RGB(0, 0, 255)));
    ASSERT_TRUE(dialog.SetBackgroundImage(background));
    EXPECT_EQ(ColourOf(label, text), static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
    Show();
    RECT rect{};
    GetWindowRect(Item(IDC_CTL_LABEL), &rect);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
    Capture capture;
    ASSERT_TRUE(CaptureClient(dialog_, capture));
    EXPECT_EQ(capture.At(rect.right - 2, rect.bottom - 2), RGB(0, 0, 255));
}

TEST_F(ControlsTest, HyperLinkOpensOnReleaseAndSpaceAndShowsVisited)
{
    RecordingLink link;
    ASSERT_TRUE(link.AttachDlgItem(IDC_CTL_LINK, &dialog));
    EXPECT_EQ(std::wstring(link.GetUrl().c_str()), L"https://example.invalid/");
    COLORREF text = 0;
    ColourOf(link, text);
    EXPECT_EQ(text, RGB(0, 0, 255));

    SendMessageW(Item(IDC_CTL_LINK), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_EQ(link.opened.size(), 1u);
    EXPECT_EQ(link.opened[0], L"https://example.invalid/");
    EXPECT_TRUE(link.IsVisited());
    ColourOf(link, text);
    EXPECT_EQ(text, RGB(0x80, 0, 0x80));

    link.SetUrl(L"C:\\nowhere\\file.txt");
    SendMessageW(Item(IDC_CTL_LINK), WM_KEYUP, VK_RETURN, 0);
    EXPECT_EQ(link.opened.size(), 1u);  // only the space bar opens
    SendMessageW(Item(IDC_CTL_LINK), WM_KEYUP, VK_SPACE, 0);
    ASSERT_EQ(link.opened.size(), 2u);
    EXPECT_EQ(link.opened[1], L"C:\\nowhere\\file.txt");
}

TEST_F(ControlsTest, HyperLinkThatCouldNotOpenStaysUnvisited)
{
    RecordingLink link;
    link.shellAnswer = false;
    ASSERT_TRUE(link.AttachDlgItem(IDC_CTL_LINK, &dialog));
    EXPECT_FALSE(link.Open());
    EXPECT_FALSE(link.IsVisited());
}

// Fonts remade while the pointer is over the link (here by making it bold) start from the
// underlined hover font: the plain font must still come out without the underline.
TEST_F(ControlsTest, HyperLinkFontsRemadeWhileHoveredKeepThePlainFontPlain)
{
    RecordingLink link;
    ASSERT_TRUE(link.AttachDlgItem(IDC_CTL_LINK, &dialog));
    HWND item = Item(IDC_CTL_LINK);
    auto shown = [item] {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)), sizeof(font), &font);
        return font;
    };
    SendMessageW(item, WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(shown().lfUnderline);
    link.SetBold(true);
    EXPECT_TRUE(shown().lfUnderline);
    SendMessageW(item, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(shown().lfUnderline);
    EXPECT_EQ(shown().lfWeight, FW_BOLD);
}

TEST_F(ControlsTest, MenuTitleStaticRebuildsBothFontsAndUnderlinesOnHover)
{
    NMenuStatic title;
    ASSERT_TRUE(title.AttachDlgItem(IDC_CTL_MENUTITLE, &dialog));
    COLORREF text = 0;
    ColourOf(title, text);
    EXPECT_EQ(text, RGB(0x10, 0x20, 0x30));
    HFONT normal = title.GetNormalFont();
    HFONT hover = title.GetHoverFont();
    ASSERT_NE(normal, nullptr);
    ASSERT_NE(hover, nullptr);
    title.SetBold(true);
    EXPECT_NE(title.GetNormalFont(), nullptr);
    LOGFONTW font{};
    GetObjectW(title.GetNormalFont(), sizeof(font), &font);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_FALSE(font.lfUnderline);
    GetObjectW(title.GetHoverFont(), sizeof(font), &font);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_TRUE(font.lfUnderline);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_CTL_MENUTITLE), WM_GETFONT, 0, 0)), title.GetNormalFont());

    SendMessageW(Item(IDC_CTL_MENUTITLE), WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(title.IsHovered());
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_CTL_MENUTITLE), WM_GETFONT, 0, 0)), title.GetHoverFont());
    SendMessageW(Item(IDC_CTL_MENUTITLE), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(title.IsHovered());
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_CTL_MENUTITLE), WM_GETFONT, 0, 0)), title.GetNormalFont());
}

TEST_F(ControlsTest, GroupBoxIsDisabledOwnerDrawnAndAtTheBottom)
{
    NGroupBox group;
    ASSERT_TRUE(group.AttachDlgItem(IDC_CTL_GROUP, &dialog));
    HWND window = Item(IDC_CTL_GROUP);
    EXPECT_FALSE(IsWindowEnabled(window));
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_EQ(GetWindow(window, GW_HWNDLAST), window);
    EXPECT_EQ(group.OnCommand(MAKEWPARAM(IDC_CTL_GROUP, BN_CLICKED), 0), 0);
}
