// The rebar and the status bar on the controls dialog: bands inserted, found and changed; panes
// made, sized and filled; and what both paint, captured.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ControlsTestSupport.h"
#include "ui/NReBar.h"
#include "ui/NSkin.h"
#include "ui/NStatusBar.h"

namespace {

constexpr COLORREF kStrip = RGB(255, 0, 255);
constexpr COLORREF kBarBack = RGB(30, 60, 90);
constexpr COLORREF kBarText = RGB(250, 250, 250);
constexpr COLORREF kGrip = RGB(0, 255, 0);

class BarsTest : public ControlsTest {
protected:
    void SetIniValue(const wchar_t* key, const wchar_t* value)
    {
        wchar_t ini[MAX_PATH] = {};
        app_.GetSkin()->GetIniPath(ini, MAX_PATH);
        WritePrivateProfileStringW(L"Skin", key, value, ini);
    }
    HWND Child(const wchar_t* text)
    {
        HWND child = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, dialog_, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        children.push_back(child);
        return child;
    }
    bool AddBand(NReBar& bar, HWND child)
    {
        REBARBANDINFOW band{};
        band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE;
        band.fStyle = RBBS_CHILDEDGE | RBBS_VARIABLEHEIGHT;
        band.hwndChild = child;
        band.cxMinChild = 40;
        band.cyMinChild = 20;
        band.cyChild = 20;
        band.cyMaxChild = 20;
        band.cx = 120;
        return bar.InsertBand(-1, &band);
    }
    std::vector<int> Edges(NStatusBar& bar)
    {
        std::vector<int> edges(NStatusBar::kMaxPanes + 1, 0);
        const int count = static_cast<int>(
            SendMessageW(bar.GetHwnd(), SB_GETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data())));
        edges.resize(count > 0 ? count : 0);
        return edges;
    }
    std::vector<HWND> children;
};

}  // namespace

TEST_F(BarsTest, BandsAreInsertedFoundAndChanged)
{
    NReBar bar;
    ASSERT_NE(bar.Create(dialog_), nullptr);
    wchar_t name[32] = {};
    GetClassNameW(bar.GetHwnd(), name, 32);
    EXPECT_STREQ(name, REBARCLASSNAMEW);

    HWND first = Child(L"first"), second = Child(L"second"), third = Child(L"third"), stranger = Child(L"none");
    EXPECT_EQ(bar.FindBand(first), -1);  // no bands
    EXPECT_EQ(bar.FindBand(nullptr), -1);
    ASSERT_TRUE(AddBand(bar, first));
    ASSERT_TRUE(AddBand(bar, second));
    ASSERT_TRUE(AddBand(bar, third));
    EXPECT_EQ(bar.GetBandCount(), 3);
    EXPECT_EQ(bar.FindBand(first), 0);
    EXPECT_EQ(bar.FindBand(third), 2);
    EXPECT_EQ(bar.FindBand(stranger), -1);
    EXPECT_EQ(bar.FindBand(nullptr), -1);

    ASSERT_TRUE(bar.DeleteBand(0));
    EXPECT_EQ(bar.FindBand(second), 0);
    EXPECT_EQ(bar.FindBand(first), -1);

    bar.SetBandHeight(0, 40);
    REBARBANDINFOW info{};
    info.fMask = RBBIM_CHILDSIZE;
    ASSERT_TRUE(bar.GetBandInfo(0, &info));
    EXPECT_EQ(info.cbSize, 128u);
    EXPECT_EQ(info.cyMinChild, 40u);
    EXPECT_EQ(info.cyMaxChild, 40u);

    ASSERT_TRUE(bar.SetBandColors(1, RGB(1, 2, 3), RGB(4, 5, 6)));
    info = REBARBANDINFOW{};
    info.fMask = RBBIM_COLORS;
    ASSERT_TRUE(bar.GetBandInfo(1, &info));
    EXPECT_EQ(info.clrFore, RGB(1, 2, 3));
    EXPECT_EQ(info.clrBack, RGB(4, 5, 6));

    ASSERT_TRUE(bar.ShowBand(1, false));
    info = REBARBANDINFOW{};
    info.fMask = RBBIM_STYLE;
    ASSERT_TRUE(bar.GetBandInfo(1, &info));
    EXPECT_TRUE(info.fStyle & RBBS_HIDDEN);
    EXPECT_TRUE(info.fStyle & RBBS_CHILDEDGE);

    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(16, 16, 24, RGB(9, 9, 9)));
    HBITMAP bitmap = CreateCompatibleBitmap(picture.dc, 8, 8);
    ASSERT_TRUE(bar.SetBandBitmap(0, bitmap));
    info = REBARBANDINFOW{};
    info.fMask = RBBIM_BACKGROUND | RBBIM_STYLE;
    ASSERT_TRUE(bar.GetBandInfo(0, &info));
    EXPECT_EQ(info.hbmBack, bitmap);
    EXPECT_TRUE(info.fStyle & RBBS_CHILDEDGE);  // the style is kept
    REBARINFO barInfo{};
    EXPECT_TRUE(bar.GetBarInfo(&barInfo));
    EXPECT_EQ(barInfo.cbSize, 16u);
    EXPECT_FALSE(bar.GetBarInfo(nullptr));
    EXPECT_FALSE(bar.InsertBand(0, nullptr));
    bar.Destroy();
    DeleteObject(bitmap);
}

TEST_F(BarsTest, RebarPaintsTheSkinStripAfterTheControl)
{
    SetIniValue(L"ToolBarGradientLeftColor", L"FF00FF");
    NReBar bar;
    ASSERT_NE(bar.Create(dialog_), nullptr);
    ASSERT_TRUE(AddBand(bar, Child(L"band")));
    RECT client{};
    GetClientRect(bar.GetHwnd(), &client);
    GetClientRect(bar.GetHwnd(), &client);
    ASSERT_GE(client.bottom, 10);

    // The stages, as the parent reflects them (Wine's rebar itself sends only the band stage, so
    // the strip cannot be seen on its screen).
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(20, 10, 24, RGB(0, 0, 0)));
    struct Stage {
        DWORD stage;
        LRESULT result;
        bool strip;
    } stages[] = {{CDDS_PREPAINT, CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT, false},
                  {CDDS_ITEMPREPAINT, 0, false},
                  {CDDS_POSTPAINT, 0, true}};
    for (const Stage& s : stages) {
        NMCUSTOMDRAW draw{};
        draw.hdr.hwndFrom = bar.GetHwnd();
        draw.hdr.code = NM_CUSTOMDRAW;
        draw.dwDrawStage = s.stage;
        draw.hdc = picture.dc;
        // Through the dialog: its WM_NOTIFY reaches the rebar object, the answer comes back in
        // DWLP_MSGRESULT.
        SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 77);
        SendMessageW(dialog_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw));
        EXPECT_EQ(s.result ? GetWindowLongPtrW(dialog_, DWLP_MSGRESULT) : 0, s.result) << "stage " << s.stage;
        EXPECT_EQ(GetPixel(picture.dc, 1, 5) == kStrip, s.strip) << "stage " << s.stage;
    }
    EXPECT_EQ(GetPixel(picture.dc, 0, 9), kStrip);
    EXPECT_EQ(GetPixel(picture.dc, 2, 5), RGB(0, 0, 0));

    // Without a loaded skin nothing is painted.
    ASSERT_TRUE(picture.Fill(RGB(0, 0, 0)));
    app_.GetSkin()->Unload();
    NMCUSTOMDRAW draw{};
    draw.dwDrawStage = CDDS_POSTPAINT;
    draw.hdc = picture.dc;
    LRESULT result = 5;
    bar.CustomDraw(&draw, &result);
    EXPECT_EQ(GetPixel(picture.dc, 1, 5), RGB(0, 0, 0));
}

TEST_F(BarsTest, PaneCountIsLimited)
{
    NStatusBar bar;
    ASSERT_NE(bar.Create(dialog_), nullptr);
    wchar_t name[32] = {};
    GetClassNameW(bar.GetHwnd(), name, 32);
    EXPECT_STREQ(name, L"NStatusBar");
    EXPECT_EQ(bar.GetPaneCount(), 1);

    std::vector<int> edges;
    for (int i = 0; i < 257; ++i)
        edges.push_back(10 * (i + 1));
    LogWatch log;
    EXPECT_FALSE(bar.CreatePanes(257, edges.data()));
    EXPECT_TRUE(log.Saw("NStatusBar::CreatePanes ... Too many panes"));
    EXPECT_EQ(bar.GetPaneCount(), 1);
    EXPECT_TRUE(bar.CreatePanes(256, edges.data()));
    EXPECT_EQ(bar.GetPaneCount(), 256);
    EXPECT_FALSE(bar.CreatePanes(3, nullptr));
    EXPECT_EQ(bar.GetPaneCount(), 256);

    NStatusBar unmade;
    EXPECT_FALSE(unmade.CreatePanes(2, edges.data()));
}

TEST_F(BarsTest, PaneWidthsCountFromThePreviousPane)
{
    NStatusBar bar;
    ASSERT_NE(bar.Create(dialog_), nullptr);
    const int three[] = {100, 200, -1};
    ASSERT_TRUE(bar.CreatePanes(3, three));
    bar.SetPaneWidth(2, 50);
    EXPECT_EQ(Edges(bar), (std::vector<int>{100, 200, 250}));
    bar.SetPaneWidth(0, 80);
    EXPECT_EQ(Edges(bar), (std::vector<int>{80, 200, 250}));
    bar.SetPaneWidth(2, -1);
    EXPECT_EQ(Edges(bar), (std::vector<int>{80, 200, -1}));

    // Past the current panes: the panes in between are empty, ending where the last one ends.
    const int two[] = {100, 200};
    ASSERT_TRUE(bar.CreatePanes(2, two));
    bar.SetPaneWidth(4, 30);
    EXPECT_EQ(Edges(bar), (std::vector<int>{100, 200, 200, 200, 230}));

    // Refused, nothing changed.
    LogWatch log;
    bar.SetPaneWidth(-1, 10);
    bar.SetPaneWidth(1, -2);
    bar.SetPaneWidth(NStatusBar::kMaxPanes, 10);
    EXPECT_TRUE(log.Saw("NStatusBar::SetPaneWidth ... Invalid parameters"));
    EXPECT_EQ(Edges(bar), (std::vector<int>{100, 200, 200, 200, 230}));
}

TEST_F(BarsTest, PanesKeepTheirTextsAndAlignments)
{
    NStatusBar bar;
    ASSERT_NE(bar.Create(dialog_), nullptr);
    bar.AddPane(0, 100, L"Ready", 0, NStatusBar::kAlignCenter);
    bar.AddPane(1, -1, L"Right", 0, NStatusBar::kAlignRight);
    EXPECT_EQ(Edges(bar), (std::vector<int>{100, -1}));
    NString text;
    ASSERT_TRUE(bar.GetPaneText(0, text));
    EXPECT_STREQ(text.c_str(), L"Ready");
    ASSERT_TRUE(bar.GetPaneText(1, text));
    EXPECT_STREQ(text.c_str(), L"Right");
    ASSERT_EQ(bar.GetKeptTexts().size(), 2u);
    EXPECT_EQ(bar.GetKeptAlignments(), (std::vector<int32_t>{1, 2}));

    bar.SetPaneText(0, L"Busy", 0, NStatusBar::kAlignLeft);
    ASSERT_TRUE(bar.GetPaneText(0, text));
    EXPECT_STREQ(text.c_str(), L"Busy");
    EXPECT_STREQ(bar.GetKeptTexts()[0].c_str(), L"Busy");
    EXPECT_EQ(bar.GetKeptAlignments()[0], 0);
    bar.SetPaneText(9, L"nowhere", 0, 0);  // a pane the bar does not have
    EXPECT_EQ(bar.GetKeptTexts().size(), 2u);

    // A pane added past the next one keeps every kept text at its own pane.
    bar.SetPaneWidth(1, 50);
    bar.AddPane(3, 40, L"Fourth", 0, NStatusBar::kAlignLeft);
    ASSERT_EQ(bar.GetKeptTexts().size(), 4u);
    EXPECT_STREQ(bar.GetKeptTexts()[2].c_str(), L"");
    EXPECT_STREQ(bar.GetKeptTexts()[3].c_str(), L"Fourth");
    ASSERT_TRUE(bar.GetPaneText(3, text));
    EXPECT_STREQ(text.c_str(), L"Fourth");

    bar.RemovePanes();
    EXPECT_EQ(bar.GetPaneCount(), 1);
    EXPECT_TRUE(bar.GetKeptTexts().empty());
    EXPECT_TRUE(bar.GetKeptAlignments().empty());
}

TEST_F(BarsTest, StatusBarPaintsItsTextsOverTheSkin)
{
    SetIniValue(L"StatusBarBackColor", L"1E3C5A");
    SetIniValue(L"StatusBarTextColor", L"FAFAFA");
    NImageBuffer grip;
    ASSERT_TRUE(MakePicture(grip, 6, 6, 32, kGrip));
    ASSERT_TRUE(folder_.Picture(L"Grabber", grip));
    ASSERT_TRUE(app_.GetSkin()->Load(L"SkinCtl"));

    NStatusBar bar;
    ASSERT_NE(bar.Create(dialog_), nullptr);
    bar.AddPane(0, 120, L"WWWWWWWW", 0, NStatusBar::kAlignLeft);
    bar.AddPane(1, -1, L"", 0, NStatusBar::kAlignLeft);
    // The dialog's own buttons lie over the bottom of the dialog: out of the way.
    ShowWindow(Item(IDOK), SW_HIDE);
    ShowWindow(Item(IDCANCEL), SW_HIDE);
    Show();
    Capture capture;
    ASSERT_TRUE(CaptureClient(bar.GetHwnd(), capture));
    ASSERT_GT(capture.width, 130);
    RECT pane{};
    SendMessageW(bar.GetHwnd(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&pane));
    int text = 0, back = 0;
    for (int y = 0; y < capture.height; ++y) {
        for (int x = 0; x < capture.width; ++x) {
            const COLORREF c = capture.At(x, y);
            if (ColourDistance(c, kBarText) < 40)
                text += x < pane.right ? 1 : 1000;
            else if (c == kBarBack)
                ++back;
        }
    }
    EXPECT_GT(text, 10);      // the text in its pane
    EXPECT_LT(text, 1000);    // and nowhere else
    EXPECT_GT(back, capture.width * capture.height / 2);
    // The grip: its bottom-right corner one pixel inside the client's.
    EXPECT_EQ(capture.At(capture.width - 2, capture.height - 2), kGrip);
    EXPECT_EQ(capture.At(capture.width - 7, capture.height - 7), kGrip);
    EXPECT_EQ(capture.At(capture.width - 1, capture.height - 1), kBarBack);
    EXPECT_EQ(capture.At(capture.width - 8, capture.height - 8), kBarBack);
}
