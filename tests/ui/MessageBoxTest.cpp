// The framework's message box: its in-memory template, its answers, its captions and background.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "base/Dpi.h"
#include "common/TestFiles.h"
#include "ui/NMessageBox.h"
#include "ui/NWinApp.h"

namespace {

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

struct ParsedItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD atom;
    std::wstring title;
};

struct ParsedTemplate {
    DWORD style = 0, exStyle = 0;
    WORD count = 0;
    short cx = 0, cy = 0;
    std::wstring title;
    std::vector<ParsedItem> items;
    size_t end = 0;  // bytes used
};

// Reads a DLGTEMPLATE with DLGITEMTEMPLATE items whose classes are atoms.
ParsedTemplate ParseTemplate(const unsigned char* p)
{
    ParsedTemplate t;
    size_t pos = 0;
    auto dword = [&] { DWORD v; std::memcpy(&v, p + pos, 4); pos += 4; return v; };
    auto word = [&] { WORD v; std::memcpy(&v, p + pos, 2); pos += 2; return v; };
    auto text = [&] {
        std::wstring s;
        for (WORD c = word(); c != 0; c = word())
            s += static_cast<wchar_t>(c);
        return s;
    };
    t.style = dword();
    t.exStyle = dword();
    t.count = word();
    word();
    word();
    t.cx = static_cast<short>(word());
    t.cy = static_cast<short>(word());
    EXPECT_EQ(word(), 0);  // menu
    EXPECT_EQ(word(), 0);  // class
    t.title = text();
    for (int i = 0; i < t.count; ++i) {
        pos = (pos + 3) & ~size_t{3};
        ParsedItem item{};
        item.style = dword();
        EXPECT_EQ(dword(), 0u);
        item.x = static_cast<short>(word());
        item.y = static_cast<short>(word());
        item.cx = static_cast<short>(word());
        item.cy = static_cast<short>(word());
        item.id = word();
        EXPECT_EQ(word(), 0xFFFF);
        item.atom = word();
        item.title = text();
        EXPECT_EQ(word(), 0);  // creation data
        t.items.push_back(item);
    }
    t.end = pos;
    return t;
}

ParsedTemplate Build(int type, const wchar_t* caption, const wchar_t* text)
{
    size_t size = 0;
    HLOCAL memory = NMessageBox::BuildTemplate(type, caption, text, &size);
    EXPECT_NE(memory, nullptr);
    if (!memory)
        return {};
    auto* bytes = static_cast<const unsigned char*>(LocalLock(memory));
    ParsedTemplate parsed = ParseTemplate(bytes);
    EXPECT_LE(parsed.end, size);
    LocalUnlock(memory);
    LocalFree(memory);
    return parsed;
}

class MessageBoxTest : public testing::Test {
protected:
    NWinApp app{Instance(), 0, NString(L"MessageBoxTest")};
};

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// Shows the box; act runs once when it is open.
int RunBox(NMessageBox& box, std::function<void(HWND)> act)
{
    int visibleTicks = 0;  // the window is on the screen a tick after it became visible
    TimerDriver driver([&] {
        HWND window = box.GetHwnd();
        if (!window || !IsWindowVisible(window) || ++visibleTicks < 2)
            return false;
        act(window);
        return true;
    }, [&] { box.EndDialog(-7); });
    const int result = box.Show();
    EXPECT_FALSE(driver.TimedOut());
    return result;
}

}  // namespace

TEST(MessageBoxTemplate, LayoutAt96Dpi)
{
    ASSERT_EQ(GetDpi(), 96);
    ParsedTemplate ok = Build(NMessageBox::typeOk, L"Caption", L"The message");
    EXPECT_EQ(ok.style, 0x90C80880u);
    EXPECT_EQ(ok.exStyle, static_cast<DWORD>(WS_EX_TOPMOST));
    EXPECT_EQ(ok.count, 2);
    EXPECT_EQ(ok.cx, 260);
    EXPECT_EQ(ok.cy, 90);
    EXPECT_EQ(ok.title, L"Caption");
    ASSERT_EQ(ok.items.size(), 2u);
    const ParsedItem& text = ok.items[0];
    EXPECT_EQ(text.style, 0x50000001u);
    EXPECT_EQ(text.atom, 0x0082);
    EXPECT_EQ(text.id, NMessageBox::textId);
    EXPECT_EQ(text.x, 10);
    EXPECT_EQ(text.y, 5);
    EXPECT_EQ(text.cx, 240);
    EXPECT_EQ(text.cy, 60);
    EXPECT_EQ(text.title, L"The message");
    const ParsedItem& button = ok.items[1];
    EXPECT_EQ(button.atom, 0x0080);
    EXPECT_EQ(button.id, IDOK);
    EXPECT_EQ(button.x, 105);
    EXPECT_EQ(button.y, 65);
    EXPECT_EQ(button.cx, 50);
    EXPECT_EQ(button.cy, 16);
    EXPECT_EQ(button.title, L"OK");
    EXPECT_EQ(button.style & 0xFFFF0000u, 0x50010000u);  // child, visible, tab stop

    struct Case {
        int type;
        std::vector<WORD> ids;
        std::vector<short> xs;
    } cases[] = {
        {NMessageBox::typeOkCancel, {IDOK, IDCANCEL}, {70, 140}},
        {NMessageBox::typeYesNo, {IDYES, IDNO}, {70, 140}},
        {NMessageBox::typeYesNoCancel, {IDYES, IDNO, IDCANCEL}, {45, 105, 165}},
    };
    for (const Case& c : cases) {
        ParsedTemplate t = Build(c.type, L"", L"");  // empty caption and text still fit
        EXPECT_EQ(t.title, L"");
        ASSERT_EQ(t.items.size(), c.ids.size() + 1);
        EXPECT_EQ(t.items[0].title, L"");
        for (size_t i = 0; i < c.ids.size(); ++i) {
            EXPECT_EQ(t.items[i + 1].id, c.ids[i]) << c.type;
            EXPECT_EQ(t.items[i + 1].x, c.xs[i]) << c.type;
        }
    }
    // Odd and even lengths of caption and text: the items always fit their block.
    for (const wchar_t* s : {L"a", L"ab", L"abc", L"abcd"})
        for (int type = 0; type < 4; ++type)
            Build(type, s, s);
    EXPECT_EQ(NMessageBox::BuildTemplate(4, L"x", L"y"), nullptr);
    EXPECT_EQ(NMessageBox::BuildTemplate(-1, L"x", L"y"), nullptr);
}

TEST_F(MessageBoxTest, AnswersByTypeAndEvent)
{
    struct Case {
        int type;
        const char* event;
        int expected;
    } cases[] = {
        {NMessageBox::typeOk, "ok", IDOK},
        {NMessageBox::typeOk, "escape", IDCANCEL},
        {NMessageBox::typeOkCancel, "cancel", IDCANCEL},
        {NMessageBox::typeOkCancel, "enter", IDOK},
        {NMessageBox::typeYesNo, "escape", IDNO},
        {NMessageBox::typeYesNo, "close", IDNO},
        {NMessageBox::typeYesNo, "enter", IDYES},
        {NMessageBox::typeYesNo, "focus-no-ok", IDNO},
        {NMessageBox::typeYesNo, "yes", IDYES},
        {NMessageBox::typeYesNoCancel, "escape", IDCANCEL},
        {NMessageBox::typeYesNoCancel, "no", IDNO},
        {NMessageBox::typeYesNoCancel, "ok", IDYES},
    };
    for (const Case& c : cases) {
        NMessageBox box(c.type, L"Question", L"Go on?", nullptr);
        const std::string event = c.event;
        const int result = RunBox(box, [&](HWND window) {
            if (event == "ok")
                PostMessageW(window, WM_COMMAND, IDOK, 0);
            else if (event == "cancel")
                PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            else if (event == "yes")
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(window, IDYES)));
            else if (event == "no")
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(window, IDNO)));
            else if (event == "close")
                PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            else if (event == "focus-no-ok") {
                SetFocus(GetDlgItem(window, IDNO));
                PostMessageW(window, WM_COMMAND, IDOK, 0);
            } else {
                HWND focus = GetFocus();
                const UINT key = event == "enter" ? VK_RETURN : VK_ESCAPE;
                PostMessageW(focus ? focus : window, WM_KEYDOWN, key, 1);
            }
        });
        EXPECT_EQ(result, c.expected) << "type " << c.type << ", " << c.event;
    }
}

TEST_F(MessageBoxTest, ShowsCaptionTextAndTranslatedButtons)
{
    NLanguage* language = app.GetLanguage();
    language->Init(TestDataPath(L"ui\\lang").c_str(), L"Test", L"polylex");
    ASSERT_TRUE(language->Load(L"de-de"));
    NMessageBox box(NMessageBox::typeYesNoCancel, L"Frage", L"Weiter?", nullptr);
    std::wstring caption, text, yes, no, cancel;
    HWND focus = nullptr, yesButton = nullptr;
    int nested = -1;
    LogWatch log;
    RunBox(box, [&](HWND window) {
        caption = TextOf(window);
        text = TextOf(GetDlgItem(window, NMessageBox::textId));
        yes = TextOf(GetDlgItem(window, IDYES));
        no = TextOf(GetDlgItem(window, IDNO));
        cancel = TextOf(GetDlgItem(window, IDCANCEL));
        focus = GetFocus();
        yesButton = GetDlgItem(window, IDYES);
        nested = box.Show();
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(caption, L"Frage");
    EXPECT_EQ(text, L"Weiter?");
    EXPECT_EQ(yes, L"Ja");
    EXPECT_EQ(no, L"Nein");
    EXPECT_EQ(cancel, L"Abbrechen");
    EXPECT_EQ(focus, yesButton);  // Yes/No boxes start on Yes
    EXPECT_EQ(nested, 0);
    EXPECT_TRUE(log.Saw("NDialog::DoModal ... Window already exists"));

    // Without a language file the buttons keep their built-in captions.
    language->Clear();
    NMessageBox plain(NMessageBox::typeOkCancel, L"Note", L"Text", nullptr);
    std::wstring ok, cancel2;
    RunBox(plain, [&](HWND window) {
        ok = TextOf(GetDlgItem(window, IDOK));
        cancel2 = TextOf(GetDlgItem(window, IDCANCEL));
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(ok, L"OK");
    EXPECT_EQ(cancel2, L"Cancel");
}

TEST_F(MessageBoxTest, BackgroundIsTheSkinGradientOrANamedPicture)
{
    TestSkin skin;
    const COLORREF start = RGB(200, 40, 0);
    const COLORREF end = RGB(0, 40, 200);
    skin.colours[L"MessageBoxColorStart"] = start;
    skin.colours[L"MessageBoxColorEnd"] = end;
    NMessageBox box(NMessageBox::typeOk, L"Gradient", L"Painted", nullptr);
    Capture capture;
    int backgroundHeight = 0;
    RunBox(box, [&](HWND window) {
        CaptureClient(window, capture);
        backgroundHeight = box.GetBackgroundImage()->height;
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    ASSERT_GT(capture.height, 20);
    EXPECT_EQ(backgroundHeight, capture.height);
    EXPECT_LE(ColourDistance(capture.At(1, 0), start), 2);
    EXPECT_LE(ColourDistance(capture.At(1, capture.height - 1), end), 2 + 200 / capture.height);
    const COLORREF middle = capture.At(1, capture.height / 2);
    EXPECT_NEAR(GetRValue(middle), 100, 4);
    EXPECT_NEAR(GetBValue(middle), 100, 4);

    skin.pictureWidth = 30;
    skin.pictureHeight = 20;
    skin.pictureColour = RGB(10, 120, 30);
    NMessageBox pictured(NMessageBox::typeOk, L"Picture", L"Painted", nullptr, L"MessageBack");
    RunBox(pictured, [&](HWND window) {
        CaptureClient(window, capture);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(skin.lastPictureName, L"MessageBack");
    EXPECT_EQ(pictured.GetBackgroundImage()->width, capture.width);  // stretched to the client area
    EXPECT_EQ(capture.At(1, 1), RGB(10, 120, 30));
}
