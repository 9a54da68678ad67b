// The settings frame and the wizard frame with test pages: pages added, created on first show,
// switched by the tree or by Next and Back, the buttons reaching the pages, the header captions
// painted from the skin, and both frames run modally to their end.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "FramesTest.h"
#include "SkinTestSupport.h"
#include "UiTestSupport.h"
#include "base/Dpi.h"
#include "common/TestFiles.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageFactory.h"
#include "ui/NDialogSettings.h"
#include "ui/NDialogWizard.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

namespace {

constexpr COLORREF kCaptionStart = RGB(20, 40, 160);
constexpr COLORREF kCaptionEnd = RGB(120, 200, 250);
constexpr COLORREF kCaptionText = RGB(255, 255, 255);
constexpr COLORREF kTreeText = RGB(10, 20, 30);
constexpr COLORREF kTreeBack = RGB(240, 230, 200);
constexpr COLORREF kSettingsPicture = RGB(220, 0, 0);
constexpr COLORREF kSettingsBack = RGB(0, 100, 0);
constexpr COLORREF kWizardText = RGB(255, 255, 0);
constexpr COLORREF kWizardPicture = RGB(0, 0, 230);
constexpr COLORREF kWizardBack = RGB(100, 0, 100);
constexpr COLORREF kFooter = RGB(0, 120, 140);

// A page that records what reaches it and answers OK and Cancel as told.
class TestPage : public NDialog {
public:
    int OnInitDialog() override
    {
        ++created;
        return 1;
    }
    int OnOK() override
    {
        ++okCalls;
        return okAnswer;
    }
    int OnCancel() override
    {
        ++cancelCalls;
        return cancelAnswer;
    }
    // Commands sent to the page itself (its controls' notifications are not recorded).
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (!lParam)
            commands.push_back(LOWORD(wParam));
        return 0;
    }
    bool Visible() { return GetHwnd() && IsWindowVisible(GetHwnd()); }

    int created = 0, okCalls = 0, cancelCalls = 0;
    int okAnswer = 1, cancelAnswer = 1;
    std::vector<int> commands;
};

bool SaveJpeg(const std::wstring& path, int width, int height, COLORREF colour)
{
    NImageBuffer picture;
    return MakePicture(picture, width, height, 24, colour) &&
           SaveImageFile(&picture, path.c_str(), FT_JPG, nullptr) == NR_OK;
}

std::wstring ItemText(HWND dialog, int id)
{
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, id, text, 64);
    return text;
}

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

int NearCount(const Capture& capture, COLORREF colour, int tolerance, const RECT& area)
{
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF c = capture.At(x, y);
            if (c != CLR_INVALID && ColourDistance(c, colour) <= tolerance)
                ++count;
        }
    }
    return count;
}

class FramesTest : public testing::Test {
protected:
    void SetUp() override
    {
        skin_.Ini(L"[Skin]\r\nAppWindowBackColor=FFFFFF\r\nSettingsCaptionStartColor=1428A0\r\n"
                  L"SettingsCaptionEndColor=78C8FA\r\nSettingsCaptionTextColor=FFFFFF\r\n"
                  L"SettingsTreeViewTextColor=0A141E\r\nSettingsTreeViewBackColor=F0E6C8\r\n"
                  L"WizardCaptionTextColor=FFFF00\r\n");
        NImageBuffer picture;
        ASSERT_TRUE(MakePicture(picture, 20, 16, 32, kSettingsPicture));
        ASSERT_TRUE(skin_.Picture(L"SettingsHeader", picture));
        ASSERT_TRUE(MakePicture(picture, 24, 24, 32, kWizardPicture));
        ASSERT_TRUE(skin_.Picture(L"WizardHeader", picture));
        ASSERT_TRUE(SaveJpeg(skin_.Path() + L"\\SkinFrmSettingsHeaderBack.jpg", 800, 80, kSettingsBack));
        ASSERT_TRUE(SaveJpeg(skin_.Path() + L"\\SkinFrmWizardHeaderBack.jpg", 800, 80, kWizardBack));
        ASSERT_TRUE(SaveJpeg(skin_.Path() + L"\\SkinFrmWizardFooterBack.jpg", 800, 600, kFooter));
        ASSERT_TRUE(app_.GetSkin()->Load(L"SkinFrm"));

        ASSERT_TRUE(WriteUtf16File(lang_.File(L"F-en-us.polylex"),
                                   L"[Messages]\r\nOk=Okay\r\nCancel=Abort\r\nHelp=Assist\r\nNext=Onward\r\n"
                                   L"Back=Backward\r\nFinish=Done\r\n"));
        app_.GetLanguage()->Init(lang_.Path().c_str(), L"F", L"polylex");
        ASSERT_TRUE(app_.GetLanguage()->Load(L"en-us"));
        SetCursorPos(0, 0);
    }
    void TearDown() override { PumpMessages(10); }

    // Opens the frame modelessly and shows it.
    HWND Open(NDialog& frame, int resourceId)
    {
        HWND window = frame.DoModeless(resourceId, nullptr);
        if (window) {
            ShowWindow(window, SW_SHOWNA);
            UpdateWindow(window);
            PumpMessages(40);
        }
        return window;
    }
    // Runs the frame modally; act runs on every tick once it is on the screen, until it answers true.
    INT_PTR RunModal(NDialog& frame, std::function<bool(HWND)> act)
    {
        int visibleTicks = 0;
        TimerDriver driver([&] {
            HWND window = frame.GetHwnd();
            if (!window || !IsWindowVisible(window) || ++visibleTicks < 2)
                return false;
            return act(window);
        }, [&] { frame.EndDialog(-7); });
        const INT_PTR result = frame.DoModal(true);
        EXPECT_FALSE(driver.TimedOut());
        return result;
    }
    void Command(HWND frame, int id)
    {
        SendMessageW(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(frame, id)));
        PumpMessages(20);
    }

    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"FramesTest")};
    SkinFolder skin_{L"SkinFrm"};
    TestDir lang_;
};

struct SettingsPages {
    TestPage a, b, c, d;
};

class SettingsFrameTest : public FramesTest {
protected:
    void AddPages(NDialogSettings& frame, SettingsPages& p)
    {
        // C names D as its parent before D is added: C goes to the top level.
        ASSERT_TRUE(frame.AddPage(&p.a, L"Page A", IDD_FRAME_PAGE, nullptr));
        ASSERT_TRUE(frame.AddPage(&p.b, L"Page B", IDD_FRAME_PAGE, &p.a));
        ASSERT_TRUE(frame.AddPage(&p.c, L"Page C", IDD_FRAME_PAGE, &p.d));
        ASSERT_TRUE(frame.AddPage(&p.d, L"Page D", IDD_FRAME_PAGE, nullptr));
    }
    std::vector<std::wstring> Siblings(NTreeView& tree, HTREEITEM first)
    {
        std::vector<std::wstring> texts;
        for (HTREEITEM item = first; item; item = tree.GetNextSiblingItem(item))
            texts.push_back(tree.GetItemText(item).c_str());
        return texts;
    }
    void Select(NDialogSettings& frame, NDialog& page)
    {
        frame.GetTree().SelectItem(frame.FindTreeItem(&page));
        PumpMessages(20);
    }
};

}  // namespace

TEST_F(SettingsFrameTest, TreeListsThePagesAndSelectingShowsThem)
{
    SettingsPages p;
    TestPage &a = p.a, &b = p.b, &d = p.d;
    NDialogSettings frame(IDD_FRAME_SETTINGS, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA, IDC_FRAME_TREE, false);
    AddPages(frame, p);
    HWND window = Open(frame, IDD_FRAME_SETTINGS);
    ASSERT_NE(window, nullptr);
    TestPage late;
    EXPECT_FALSE(frame.AddPage(&late, L"Late", IDD_FRAME_PAGE, nullptr));
    EXPECT_EQ(frame.GetPages().size(), 4u);

    NTreeView& tree = frame.GetTree();
    EXPECT_EQ(tree.GetCount(), 4);
    const HTREEITEM first = tree.GetChildItem(TVI_ROOT);
    EXPECT_EQ(Siblings(tree, first), (std::vector<std::wstring>{L"Page A", L"Page C", L"Page D"}));
    EXPECT_EQ(Siblings(tree, tree.GetChildItem(first)), std::vector<std::wstring>{L"Page B"});
    EXPECT_EQ(frame.FindTreeItem(&b), tree.GetChildItem(first));
    EXPECT_EQ(frame.FindTreeItem(nullptr), TVI_ROOT);
    EXPECT_EQ(frame.FindTreeItem(&late), TVI_ROOT);

    // The first page is shown in the page area; the others are not made yet.
    ASSERT_TRUE(a.Visible());
    EXPECT_EQ(a.created, 1);
    EXPECT_EQ(d.GetHwnd(), nullptr);
    EXPECT_STREQ(frame.GetHeader().GetText().c_str(), L"Page A");
    RECT placed{};
    GetWindowRect(a.GetHwnd(), &placed);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_TRUE(EqualRect(&placed, &frame.GetPageArea()));
    RECT area{};
    GetWindowRect(GetDlgItem(window, IDC_FRAME_AREA), &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_TRUE(EqualRect(&area, &frame.GetPageArea()));

    // The tree switches pages; a page seen before comes back as the same window.
    const HWND pageA = a.GetHwnd();
    Select(frame, d);
    EXPECT_EQ(frame.GetCurrentPage(), 3);
    EXPECT_TRUE(d.Visible());
    EXPECT_FALSE(a.Visible());
    EXPECT_STREQ(frame.GetHeader().GetText().c_str(), L"Page D");
    Select(frame, a);
    EXPECT_TRUE(a.Visible());
    EXPECT_FALSE(d.Visible());
    EXPECT_EQ(a.GetHwnd(), pageA);
    EXPECT_EQ(a.created, 1);
    EXPECT_EQ(d.created, 1);
    EXPECT_EQ(tree.GetSelection(), frame.FindTreeItem(&a));

    // ShowPage selects the page's tree item itself.
    ASSERT_TRUE(frame.ShowPage(1));
    EXPECT_TRUE(b.Visible());
    EXPECT_EQ(tree.GetSelection(), frame.FindTreeItem(&b));
    EXPECT_EQ(b.created, 1);

    // An index outside the pages changes nothing.
    EXPECT_FALSE(frame.ShowPage(4));
    EXPECT_FALSE(frame.ShowPage(-1));
    EXPECT_EQ(frame.GetCurrentPage(), 1);
    EXPECT_TRUE(b.Visible());
    frame.EndDialog(0);
}

TEST_F(SettingsFrameTest, HelpReachesOnlyVisiblePages)
{
    SettingsPages p;
    TestPage &a = p.a, &b = p.b, &d = p.d;
    NDialogSettings frame(IDD_FRAME_SETTINGS, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA, IDC_FRAME_TREE, false);
    AddPages(frame, p);
    HWND window = Open(frame, IDD_FRAME_SETTINGS);
    ASSERT_NE(window, nullptr);
    Select(frame, d);
    Select(frame, a);
    ASSERT_NE(d.GetHwnd(), nullptr);
    Command(window, IDHELP);
    EXPECT_EQ(a.commands, std::vector<int>{IDHELP});
    EXPECT_TRUE(d.commands.empty());
    EXPECT_TRUE(b.commands.empty());
    frame.EndDialog(0);
}

TEST_F(SettingsFrameTest, OkAndCancelReachEveryPageThatWasMade)
{
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
        SettingsPages p;
        TestPage &a = p.a, &b = p.b, &d = p.d;
        NDialogSettings frame(IDD_FRAME_SETTINGS, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA, IDC_FRAME_TREE, true);
        AddPages(frame, p);
        int step = 0;
        const INT_PTR result = RunModal(frame, [&](HWND window) {
            if (step++ == 0) {
                Select(frame, d);
                return false;
            }
            PostMessageW(window, WM_COMMAND, button, 0);
            return true;
        });
        EXPECT_EQ(result, button);
        const int TestPage::*calls = button == IDOK ? &TestPage::okCalls : &TestPage::cancelCalls;
        EXPECT_EQ(a.*calls, 1);
        EXPECT_EQ(d.*calls, 1);
        EXPECT_EQ(b.*calls, 0);  // never shown, never made
        EXPECT_EQ(b.created, 0);
        // Closing destroyed the pages and forgot them.
        EXPECT_EQ(a.GetHwnd(), nullptr);
        EXPECT_EQ(d.GetHwnd(), nullptr);
        EXPECT_TRUE(frame.GetPages().empty());
    }
}

TEST_F(SettingsFrameTest, ButtonsTreeAndHeaderAreSetUp)
{
    for (bool skinned : {false, true}) {
        SCOPED_TRACE(skinned ? "skinned" : "plain");
        TestPage page;
        NDialogSettings frame(IDD_FRAME_SETTINGS, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA, IDC_FRAME_TREE, skinned);
        frame.SetTitle(L"My settings");
        ASSERT_TRUE(frame.AddPage(&page, L"General", IDD_FRAME_PAGE, nullptr));
        HWND window = Open(frame, IDD_FRAME_SETTINGS);
        ASSERT_NE(window, nullptr);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        EXPECT_STREQ(title, L"My settings");
        EXPECT_EQ(ItemText(window, IDOK), L"Okay");
        EXPECT_EQ(ItemText(window, IDCANCEL), L"Abort");
        EXPECT_EQ(ItemText(window, IDHELP), L"Assist");
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(frame.GetButtonFont(), sizeof(font), &font));
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window, IDHELP), WM_GETFONT, 0, 0)),
                  frame.GetButtonFont());

        // The header is owner drawn whatever type its template gave it (here right-aligned).
        HWND header = GetDlgItem(window, IDC_FRAME_HEADER);
        EXPECT_EQ(GetWindowLongPtrW(header, GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);
        EXPECT_EQ(frame.GetHeader().GetHeaderMode(), skinned ? 1 : 0);
        ASSERT_TRUE(GetObjectW(frame.GetHeader().GetCaptionFont(), sizeof(font), &font));
        EXPECT_EQ(font.lfWeight, skinned ? 500 : 600);
        EXPECT_EQ(font.lfHeight, -MulDiv(skinned ? 20 : 13, GetDesktopDpi(), 72));

        HWND tree = frame.GetTree().GetHwnd();
        EXPECT_TRUE(GetWindowLongPtrW(tree, GWL_STYLE) & TVS_TRACKSELECT);
        if (skinned) {
            EXPECT_EQ(static_cast<COLORREF>(SendMessageW(tree, TVM_GETBKCOLOR, 0, 0)), kTreeBack);
            EXPECT_EQ(static_cast<COLORREF>(SendMessageW(tree, TVM_GETTEXTCOLOR, 0, 0)), kTreeText);
        }

        // What the header shows, captured.
        Capture capture;
        ASSERT_TRUE(CaptureClient(header, capture));
        const RECT whole{0, 0, capture.width, capture.height};
        EXPECT_GT(NearCount(capture, kCaptionText, 40, whole), 5);
        if (skinned) {
            EXPECT_LE(ColourDistance(capture.At(3, capture.height / 2), kSettingsPicture), 8);
            EXPECT_LE(ColourDistance(capture.At(capture.width - 3, 2), kSettingsBack), 12);
        } else {
            EXPECT_LE(ColourDistance(capture.At(0, 0), kCaptionEnd), 8);
            EXPECT_LE(ColourDistance(capture.At(capture.width - 1, capture.height - 1), kCaptionEnd), 8);
            const COLORREF inner = capture.At(capture.width / 2 + 50, capture.height / 2);
            EXPECT_LT(ColourDistance(inner, kCaptionStart), ColourDistance(inner, kCaptionEnd));
        }
        frame.EndDialog(0);
        PumpMessages(10);
    }
}

namespace {

struct WizardPages {
    TestPage p0, p1, p2;
};

class WizardFrameTest : public FramesTest {
protected:
    void AddPages(NDialogWizard& wizard, WizardPages& p)
    {
        ASSERT_TRUE(wizard.AddPage(&p.p0, L"Welcome", L"Start here", IDD_FRAME_PAGE));
        ASSERT_TRUE(wizard.AddPage(&p.p1, L"Options", L"Choose", IDD_FRAME_PAGE));
        ASSERT_TRUE(wizard.AddPage(&p.p2, L"Ready", L"Last look", IDD_FRAME_PAGE));
    }
};

}  // namespace

TEST_F(WizardFrameTest, NextAndBackMoveThroughThePages)
{
    WizardPages p;
    TestPage &p0 = p.p0, &p1 = p.p1, &p2 = p.p2;
    NDialogWizard wizard(IDD_FRAME_WIZARD, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA);
    AddPages(wizard, p);
    HWND window = Open(wizard, IDD_FRAME_WIZARD);
    ASSERT_NE(window, nullptr);
    TestPage late;
    EXPECT_FALSE(wizard.AddPage(&late, L"Late", L"", IDD_FRAME_PAGE));

    // First page: Back is off, Next reads Next.
    EXPECT_TRUE(p0.Visible());
    EXPECT_EQ(p1.GetHwnd(), nullptr);
    EXPECT_STREQ(wizard.GetHeader().GetTitle().c_str(), L"Welcome");
    EXPECT_STREQ(wizard.GetHeader().GetSubtitle().c_str(), L"Start here");
    EXPECT_EQ(ItemText(window, IDOK), L"Onward");
    EXPECT_EQ(ItemText(window, IDC_FRAME_BACK), L"Backward");
    EXPECT_FALSE(Enabled(window, IDC_FRAME_BACK));
    EXPECT_TRUE(Enabled(window, IDCANCEL));
    RECT area{};
    GetWindowRect(GetDlgItem(window, IDC_FRAME_AREA), &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(wizard.GetPageArea().top, area.top - 1);
    EXPECT_EQ(wizard.GetPageArea().left, area.left);

    Command(window, IDOK);
    EXPECT_EQ(p0.okCalls, 1);
    EXPECT_TRUE(p1.Visible());
    EXPECT_FALSE(p0.Visible());
    EXPECT_TRUE(Enabled(window, IDC_FRAME_BACK));
    EXPECT_STREQ(wizard.GetHeader().GetTitle().c_str(), L"Options");

    // Last page: Finish, and nothing but Finish.
    Command(window, IDOK);
    EXPECT_TRUE(p2.Visible());
    EXPECT_EQ(wizard.GetCurrentPage(), 2);
    EXPECT_EQ(ItemText(window, IDOK), L"Done");
    EXPECT_FALSE(Enabled(window, IDC_FRAME_BACK));
    EXPECT_FALSE(Enabled(window, IDCANCEL));
    EXPECT_FALSE(Enabled(window, IDHELP));

    // Back (sent as a command): the page hears it, the page before comes back with its buttons.
    Command(window, IDC_FRAME_BACK);
    EXPECT_EQ(p2.commands, std::vector<int>{IDC_FRAME_BACK});
    EXPECT_TRUE(p1.Visible());
    EXPECT_EQ(p1.created, 1);
    EXPECT_EQ(ItemText(window, IDOK), L"Onward");
    EXPECT_TRUE(Enabled(window, IDC_FRAME_BACK));
    EXPECT_TRUE(Enabled(window, IDCANCEL));
    EXPECT_TRUE(Enabled(window, IDHELP));

    Command(window, IDHELP);
    EXPECT_EQ(p1.commands, std::vector<int>{IDHELP});
    EXPECT_TRUE(p0.commands.empty());
    wizard.EndDialog(0);
}

TEST_F(WizardFrameTest, APageThatRefusesKeepsTheWizardThere)
{
    WizardPages p;
    TestPage &p0 = p.p0, &p1 = p.p1;
    NDialogWizard wizard(IDD_FRAME_WIZARD, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA);
    AddPages(wizard, p);
    p0.okAnswer = 0;
    HWND window = Open(wizard, IDD_FRAME_WIZARD);
    ASSERT_NE(window, nullptr);
    Command(window, IDOK);
    EXPECT_EQ(p0.okCalls, 1);
    EXPECT_TRUE(p0.Visible());
    EXPECT_EQ(p1.GetHwnd(), nullptr);
    EXPECT_EQ(wizard.GetCurrentPage(), 0);

    // Back on the first page only tells the page.
    Command(window, IDC_FRAME_BACK);
    EXPECT_EQ(p0.commands, std::vector<int>{IDC_FRAME_BACK});
    EXPECT_TRUE(p0.Visible());
    EXPECT_EQ(wizard.GetCurrentPage(), 0);
    EXPECT_FALSE(wizard.ShowPage(3));
    EXPECT_TRUE(p0.Visible());
    wizard.EndDialog(0);
}

TEST_F(WizardFrameTest, FinishEndsWithOkAndAPageMayHoldCancel)
{
    WizardPages p;
    TestPage &p0 = p.p0, &p1 = p.p1, &p2 = p.p2;
    NDialogWizard wizard(IDD_FRAME_WIZARD, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA);
    AddPages(wizard, p);
    int presses = 0;
    EXPECT_EQ(RunModal(wizard, [&](HWND window) {
                  PostMessageW(window, WM_COMMAND, IDOK, 0);
                  return ++presses == 3;
              }),
              IDOK);
    EXPECT_EQ(p0.okCalls, 1);
    EXPECT_EQ(p1.okCalls, 1);
    EXPECT_EQ(p2.okCalls, 1);
    EXPECT_EQ(p2.GetHwnd(), nullptr);
    EXPECT_TRUE(wizard.GetPages().empty());

    WizardPages q;
    NDialogWizard second(IDD_FRAME_WIZARD, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA);
    AddPages(second, q);
    q.p1.cancelAnswer = 0;
    int step = 0;
    EXPECT_EQ(RunModal(second, [&](HWND window) {
                  switch (step++) {
                  case 0:
                      PostMessageW(window, WM_COMMAND, IDOK, 0);  // to the second page
                      return false;
                  case 1:
                      PostMessageW(window, WM_COMMAND, IDCANCEL, 0);  // the second page says no
                      return false;
                  case 2:
                      EXPECT_TRUE(q.p1.Visible());
                      EXPECT_EQ(q.p0.cancelCalls, 1);
                      EXPECT_EQ(q.p1.cancelCalls, 1);
                      q.p1.cancelAnswer = 1;
                      PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                      return true;
                  default:
                      return true;
                  }
              }),
              IDCANCEL);
    EXPECT_EQ(q.p1.cancelCalls, 2);
    EXPECT_EQ(q.p2.cancelCalls, 0);
}

TEST_F(WizardFrameTest, HeaderAndFooterArePaintedFromTheSkin)
{
    WizardPages p;
    NDialogWizard wizard(IDD_FRAME_WIZARD, nullptr, IDC_FRAME_HEADER, IDC_FRAME_AREA);
    AddPages(wizard, p);
    HWND window = Open(wizard, IDD_FRAME_WIZARD);
    ASSERT_NE(window, nullptr);
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(wizard.GetButtonFont(), sizeof(font), &font));
    EXPECT_EQ(font.lfWeight, FW_BOLD);

    Capture header;
    ASSERT_TRUE(CaptureClient(GetDlgItem(window, IDC_FRAME_HEADER), header));
    ASSERT_GT(header.width, 100);
    // The picture at the right edge, vertically centred; the background elsewhere.
    EXPECT_LE(ColourDistance(header.At(header.width - 3, header.height / 2), kWizardPicture), 8);
    EXPECT_LE(ColourDistance(header.At(header.width / 2, header.height - 2), kWizardBack), 12);
    // Title from (10, 8), subtitle from (10, 30).
    EXPECT_GT(NearCount(header, kWizardText, 60, RECT{10, 8, 200, 28}), 5);
    EXPECT_GT(NearCount(header, kWizardText, 60, RECT{10, 30, 200, header.height}), 5);
    EXPECT_EQ(NearCount(header, kWizardText, 60, RECT{0, 0, 9, header.height}), 0);

    // The footer picture behind the dialog.
    Capture client;
    ASSERT_TRUE(CaptureClient(window, client));
    EXPECT_LE(ColourDistance(client.At(3, client.height - 3), kFooter), 12);
    wizard.EndDialog(0);
}
