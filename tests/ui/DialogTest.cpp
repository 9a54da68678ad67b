// The dialog base class: modal and modeless runs, keys, icons, backgrounds, control colours,
// item texts, the DPI switch, and a skinned dialog with its texts from a language file.
#include <gtest/gtest.h>

#include <string>

#include "UiTest.h"
#include "UiTestSupport.h"
#include "base/Dpi.h"
#include "common/TestFiles.h"
#include "ui/LanguageHelpers.h"
#include "ui/NDialog.h"
#include "ui/NWinApp.h"

namespace {

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

class DialogTest : public testing::Test {
protected:
    NWinApp app{Instance(), 0, NString(L"DialogTest")};
};

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// Sizes the dialog so that its client area is width x height.
void SetClientSize(HWND dialog, int width, int height)
{
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The thread's DPI awareness (DPI_AWARENESS value), -1 where the system cannot tell.
int Awareness()
{
    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using GetAwareness = int(WINAPI*)(DPI_AWARENESS_CONTEXT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto getContext = reinterpret_cast<GetContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto getAwareness = reinterpret_cast<GetAwareness>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    if (!getContext || !getAwareness)
        return -1;
    return getAwareness(getContext());
}

// Posts a key press to the dialog's focused control (or the given control when the focus is elsewhere).
void PressKey(HWND dialog, UINT key, int fallbackControl)
{
    HWND target = GetFocus();
    if (!target || (target != dialog && !IsChild(dialog, target)))
        target = GetDlgItem(dialog, fallbackControl);
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// Runs the dialog modally; act runs once when it is open and answers whether it is done acting.
INT_PTR RunModal(NDialog& dialog, std::function<bool(HWND)> act, bool systemDpiAware = true)
{
    int visibleTicks = 0;  // the window is on the screen a tick after it became visible
    TimerDriver driver([&] {
        HWND window = dialog.GetHwnd();
        if (!window || !IsWindowVisible(window) || ++visibleTicks < 2)
            return false;
        return act(window);
    }, [&] { dialog.EndDialog(-7); });
    const INT_PTR result = dialog.DoModal(systemDpiAware);
    EXPECT_FALSE(driver.TimedOut());
    return result;
}

}  // namespace

TEST_F(DialogTest, EnterAndEscapeEndAModalDialog)
{
    NDialog dialog(IDD_TEST_PLAIN, nullptr);
    EXPECT_EQ(RunModal(dialog, [](HWND d) { PressKey(d, VK_RETURN, IDC_TEST_EDIT); return true; }), IDOK);
    EXPECT_EQ(dialog.GetHwnd(), nullptr);
    // The object may run again.
    EXPECT_EQ(RunModal(dialog, [](HWND d) { PressKey(d, VK_ESCAPE, IDC_TEST_EDIT); return true; }), IDCANCEL);
    // The dialog's handle left the map when it closed.
    app.LockMap();
    EXPECT_TRUE(app.GetWindowMap().empty());
    app.UnlockMap();
}

TEST_F(DialogTest, DoModalOnAnOpenDialogAnswersZero)
{
    NDialog dialog(IDD_TEST_PLAIN, nullptr);
    INT_PTR nested = -1;
    LogWatch log;
    const INT_PTR result = RunModal(dialog, [&](HWND d) {
        nested = dialog.DoModal();
        PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(nested, 0);
    EXPECT_TRUE(log.Saw("NDialog::DoModal ... Window already exists"));

    // A template that does not exist: the system's -1, and nothing left behind.
    NDialog missing(999, nullptr);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_EQ(missing.GetThreadRecord()->creationHook, nullptr);
}

TEST_F(DialogTest, ModalRunRestoresTheDpiValue)
{
    const int before = SetDpi(144);
    int inside = 0;
    const int awarenessBefore = Awareness();
    int awarenessInside = -5;
    NDialog dialog(IDD_TEST_PLAIN, nullptr);
    RunModal(dialog, [&](HWND d) {
        inside = GetDpi();
        awarenessInside = Awareness();
        PostMessageW(d, WM_COMMAND, IDOK, 0);
        return true;
    });
    EXPECT_EQ(inside, GetDesktopDpi());
    EXPECT_EQ(GetDpi(), 144);
    EXPECT_EQ(awarenessInside, 1);  // system aware (DPI_AWARENESS_SYSTEM_AWARE)
    EXPECT_EQ(Awareness(), awarenessBefore);
    // Without the switch the value stays as it is.
    RunModal(dialog, [&](HWND d) {
        inside = GetDpi();
        PostMessageW(d, WM_COMMAND, IDOK, 0);
        return true;
    }, false);
    EXPECT_EQ(inside, 144);
    SetDpi(before);
}

TEST_F(DialogTest, ModelessDialogTakesTheSmallIconOfAFrameworkParentOnly)
{
    NWindow frameworkParent;
    ASSERT_NE(frameworkParent.CreateEx(0, nullptr, L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                                       nullptr),
              nullptr);
    frameworkParent.SetSmallIcon(LoadIconW(nullptr, IDI_APPLICATION));
    HWND plainParent = CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, Instance(),
                                       nullptr);
    SendMessageW(plainParent, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadIconW(nullptr, IDI_APPLICATION)));

    NDialog withFramework;
    HWND a = withFramework.DoModeless(IDD_TEST_PLAIN, frameworkParent.GetHwnd());
    ASSERT_NE(a, nullptr);
    EXPECT_NE(withFramework.GetSmallIcon(), nullptr);
    LogWatch log;
    EXPECT_EQ(withFramework.DoModeless(IDD_TEST_PLAIN, nullptr), a);
    EXPECT_TRUE(log.Saw("NDialog::DoModeless ... Window already exists"));

    NDialog withPlain;
    ASSERT_NE(withPlain.DoModeless(IDD_TEST_PLAIN, plainParent), nullptr);
    EXPECT_EQ(withPlain.GetSmallIcon(), nullptr);

    // Ending a modeless dialog destroys it.
    EXPECT_TRUE(withPlain.EndDialog(IDOK));
    EXPECT_EQ(withPlain.GetHwnd(), nullptr);
    DestroyWindow(plainParent);

    NDialog missing;
    EXPECT_EQ(missing.DoModeless(998, nullptr), nullptr);
    EXPECT_TRUE(log.Saw("NDialog::DoModeless ... Failed to create dialog"));
}

TEST_F(DialogTest, BackgroundIsStretchedToTheClientAreaAndPainted)
{
    TestSkin skin;
    skin.pictureWidth = 40;
    skin.pictureHeight = 30;
    skin.pictureColour = RGB(30, 144, 255);
    NDialog dialog;
    HWND handle = dialog.DoModeless(IDD_TEST_PLAIN, nullptr);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(dialog.HasBackgroundImage());

    SetClientSize(handle, 300, 200);
    ASSERT_TRUE(dialog.LoadBackgroundImage(L"DlgBackground", true, false));
    EXPECT_EQ(skin.lastPictureName, L"DlgBackground");
    EXPECT_TRUE(dialog.HasBackgroundImage());
    EXPECT_EQ(dialog.GetBackgroundImage()->width, 300);
    EXPECT_EQ(dialog.GetBackgroundImage()->height, 200);

    ShowWindow(handle, SW_SHOWNA);
    Capture capture;
    ASSERT_TRUE(CaptureClient(handle, capture));
    EXPECT_EQ(capture.At(1, 1), RGB(30, 144, 255));
    EXPECT_EQ(capture.At(capture.width - 2, capture.height / 2), RGB(30, 144, 255));

    // A client area of 15 pixels in one direction keeps the picture's size; so does no stretching
    // at 96 DPI.
    SetClientSize(handle, 15, 200);
    ASSERT_TRUE(dialog.LoadBackgroundImage(L"DlgBackground", true, true));
    EXPECT_EQ(dialog.GetBackgroundImage()->width, 40);
    ASSERT_TRUE(dialog.LoadBackgroundImage(L"DlgBackground", false, false));
    EXPECT_EQ(dialog.GetBackgroundImage()->width, 40);

    skin.pictureWidth = 0;  // the picture is missing
    EXPECT_FALSE(dialog.LoadBackgroundImage(L"DlgBackground", true, false));
    dialog.EndDialog(0);
}

TEST_F(DialogTest, PlainControlsAreColouredThroughTheSkinWithTheBackground)
{
    TestSkin skin;
    skin.pictureWidth = 20;
    skin.pictureHeight = 20;
    class ColouredStatic : public NWindow {
    public:
        LRESULT OnMessageReflect(UINT, WPARAM, LPARAM) override
        {
            return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
        }
    };
    class OwnColourDialog : public NDialog {
    public:
        OwnColourDialog()
        {
            m_ownStaticTextColour = true;
            m_staticTextColour = RGB(1, 2, 3);
        }
    };
    OwnColourDialog dialog;
    HWND handle = dialog.DoModeless(IDD_TEST_PLAIN, nullptr);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(dialog.LoadBackgroundImage(L"DlgBackground", true, false));
    HWND label = GetDlgItem(handle, IDC_TEST_LABEL);
    HDC dc = GetDC(label);

    // A plain static: the skin gets the dialog, the control, the background and the dialog's colour.
    skin.brushColour = RGB(9, 9, 9);
    const LRESULT brush =
        SendMessageW(handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
    EXPECT_NE(brush, 0);
    EXPECT_EQ(skin.lastControl, label);
    EXPECT_EQ(skin.lastBackground, dialog.GetBackgroundImage());
    EXPECT_EQ(skin.lastStaticColour, RGB(1, 2, 3));

    // A framework static answers the message itself; the skin is not asked.
    ColouredStatic framework;
    ASSERT_TRUE(framework.Attach(label));
    const int calls = skin.ctlColorCalls;
    EXPECT_EQ(SendMessageW(handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)),
              reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(skin.ctlColorCalls, calls);
    ReleaseDC(label, dc);
    framework.Detach();
    dialog.EndDialog(0);
}

TEST_F(DialogTest, NotificationAnswersReachTheSender)
{
    class Answering : public NWindow {
    public:
        LRESULT OnNotifyReflect(WPARAM, NMHDR*) override { return 0x20; }  // such as a custom-draw flag
    };
    NDialog dialog;
    HWND handle = dialog.DoModeless(IDD_TEST_PLAIN, nullptr);
    ASSERT_NE(handle, nullptr);
    Answering edit;
    ASSERT_TRUE(edit.AttachDlgItem(IDC_TEST_EDIT, &dialog));
    NMHDR header{edit.GetHwnd(), IDC_TEST_EDIT, 0xFFFFFFF4u};
    EXPECT_EQ(SendMessageW(handle, WM_NOTIFY, IDC_TEST_EDIT, reinterpret_cast<LPARAM>(&header)), 0x20);
    edit.Detach();
    dialog.EndDialog(0);
}

TEST_F(DialogTest, MessagesOfAnUnboundDialogAreReported)
{
    LogWatch log;
    HWND orphan = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_TEST_PLAIN), nullptr, NDialog::StaticDialogProc, 0);
    ASSERT_NE(orphan, nullptr);
    EXPECT_TRUE(log.Saw("NDialog::StaticDialogProc ... Failed to route message"));
    DestroyWindow(orphan);
}

TEST_F(DialogTest, ItemTextsAndNumbers)
{
    NDialog dialog;
    ASSERT_NE(dialog.DoModeless(IDD_TEST_PLAIN, nullptr), nullptr);
    NString text(L"unchanged");
    ASSERT_TRUE(dialog.SetItemText(IDC_TEST_EDIT, L""));
    EXPECT_FALSE(dialog.GetItemText(IDC_TEST_EDIT, text));
    EXPECT_EQ(std::wstring(text.c_str()), L"unchanged");

    SendDlgItemMessageW(dialog.GetHwnd(), IDC_TEST_EDIT, EM_SETLIMITTEXT, 4000, 0);
    const std::wstring long2000(2000, L'x');
    ASSERT_TRUE(dialog.SetItemText(IDC_TEST_EDIT, long2000.c_str()));
    ASSERT_TRUE(dialog.GetItemText(IDC_TEST_EDIT, text));
    EXPECT_EQ(text.GetLength(), 1023);

    EXPECT_TRUE(dialog.SetItemInt(IDC_TEST_EDIT, -42, true));
    EXPECT_EQ(dialog.GetItemInt(IDC_TEST_EDIT, true), -42);
    EXPECT_TRUE(dialog.SetItemText(IDC_TEST_LABEL, NString(L"label")));
    ASSERT_TRUE(dialog.GetItemText(IDC_TEST_LABEL, text));
    EXPECT_EQ(std::wstring(text.c_str()), L"label");
    dialog.EndDialog(0);
}

namespace {

// A dialog of the application's kind: texts from the language table, background from the skin.
class SkinnedDialog : public NDialog {
public:
    SkinnedDialog() : NDialog(IDD_TEST_SKINNED, nullptr) {}
    void ApplyLanguage() override
    {
        ++languageApplied;
        NLanguage* language = NGetApp()->GetLanguage();
        TranslateWindowTitle(m_hWnd, L"Dlg_Test");
        SetItemText(IDC_TEST_LABEL, language->GetText(L"Dlg_Test", L"Label", true));
        SetItemText(IDC_TEST_NOTE, language->GetText(L"Dlg_Test", L"Second", true));
    }
    int OnInitDialog() override
    {
        LoadBackgroundImage(L"DlgBackground", true, false);
        return 1;
    }
    int languageApplied = 0;
};

}  // namespace

TEST_F(DialogTest, SkinnedDialogFromATemplateShowsTheBackgroundAndTheLanguageTexts)
{
    NLanguage* language = app.GetLanguage();
    language->Init(TestDataPath(L"ui\\lang").c_str(), L"Test", L"polylex");
    ASSERT_TRUE(language->Load(L"en-us"));
    const COLORREF back = RGB(30, 144, 255);
    const COLORREF text = RGB(255, 255, 255);
    TestSkin skin;
    skin.pictureWidth = 64;
    skin.pictureHeight = 48;
    skin.pictureColour = back;
    skin.brushColour = back;
    skin.textColour = text;

    SkinnedDialog dialog;
    Capture capture;
    RECT labelRect{};
    std::wstring title, label, note, germanTitle, germanLabel;
    const INT_PTR result = RunModal(dialog, [&](HWND d) {
        title = TextOf(d);
        label = TextOf(GetDlgItem(d, IDC_TEST_LABEL));
        note = TextOf(GetDlgItem(d, IDC_TEST_NOTE));
        CaptureClient(d, capture);
        GetWindowRect(GetDlgItem(d, IDC_TEST_LABEL), &labelRect);
        MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&labelRect), 2);
        // Switching the language and applying it again.
        language->Load(L"de-de");
        dialog.ApplyLanguage();
        germanTitle = TextOf(d);
        germanLabel = TextOf(GetDlgItem(d, IDC_TEST_LABEL));
        PostMessageW(d, WM_COMMAND, IDOK, 0);
        return true;
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(title, L"Test window");
    EXPECT_EQ(label, L"Texts from the language file");
    EXPECT_EQ(note, L"Found in the second section");
    EXPECT_EQ(germanTitle, L"Testfenster");
    EXPECT_EQ(germanLabel, L"Texte aus der Sprachdatei");

    // The captured dialog: the skin's background everywhere but the texts and buttons; the label is
    // drawn in the text colour over the background.
    ASSERT_GT(capture.width, 0);
    EXPECT_EQ(capture.At(2, 2), back);
    EXPECT_EQ(capture.At(capture.width - 3, capture.height / 2), back);
    EXPECT_EQ(capture.At(2, capture.height - 3), back);
    EXPECT_GT(capture.Count(back), capture.width * capture.height / 2);
    int textPixels = 0, backPixels = 0;
    for (int y = labelRect.top; y < labelRect.bottom; ++y) {
        for (int x = labelRect.left; x < labelRect.right; ++x) {
            const COLORREF c = capture.At(x, y);
            textPixels += ColourDistance(c, text) < 60 ? 1 : 0;
            backPixels += c == back ? 1 : 0;
        }
    }
    EXPECT_GT(textPixels, 20);
    EXPECT_GT(backPixels, textPixels);
}
