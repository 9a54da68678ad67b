#include "ui/NMessageBox.h"

#include <cstring>
#include <cwchar>

#include "base/Dpi.h"
#include "base/Log.h"
#include "base/SystemOwners.h"
#include "imaging/ImageDraw.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWinApp.h"
#include "ui/NWinException.h"
#include "ui/SkinSeam.h"

namespace {

constexpr DWORD kDialogStyle = 0x90C80880;  // WS_POPUP WS_VISIBLE WS_CAPTION WS_SYSMENU DS_CENTER DS_MODALFRAME
constexpr DWORD kDialogExStyle = WS_EX_TOPMOST;
constexpr DWORD kTextStyle = WS_CHILD | WS_VISIBLE | SS_CENTER;
// Owner-drawn push buttons, painted by the skinned buttons attached to them.
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;

struct ItemLayout {
    int x;
    WORD id;
    const wchar_t* title;
};

// Writes the template into a block of known size; every write is checked against the end.
class TemplateWriter {
public:
    TemplateWriter(unsigned char* base, size_t size) : m_base(base), m_size(size) {}

    bool Ok() const { return m_ok; }
    void Align()
    {
        while (m_ok && (m_pos & 3) != 0)
            Bytes("\0", 1);
    }
    void Dword(DWORD value) { Bytes(&value, 4); }
    void Word(WORD value) { Bytes(&value, 2); }
    void Short(int value)
    {
        const short v = static_cast<short>(value);
        Bytes(&v, 2);
    }
    void Text(const wchar_t* text)
    {
        Bytes(text, (std::wcslen(text) + 1) * sizeof(wchar_t));
    }
    void Item(DWORD style, int x, int y, int cx, int cy, WORD id, WORD atom, const wchar_t* title)
    {
        Align();
        Dword(style);
        Dword(0);
        Short(x);
        Short(y);
        Short(cx);
        Short(cy);
        Word(id);
        Word(0xFFFF);
        Word(atom);
        Text(title);
        Word(0);  // no creation data
    }

private:
    void Bytes(const void* data, size_t count)
    {
        if (!m_ok || count > m_size - m_pos) {
            m_ok = false;
            return;
        }
        std::memcpy(m_base + m_pos, data, count);
        m_pos += count;
    }

    unsigned char* m_base;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

int ButtonCount(int type)
{
    switch (type) {
    case NMessageBox::typeOk:
        return 1;
    case NMessageBox::typeOkCancel:
    case NMessageBox::typeYesNo:
        return 2;
    case NMessageBox::typeYesNoCancel:
        return 3;
    default:
        return 0;
    }
}

}  // namespace

NMessageBox::NMessageBox(int type, const wchar_t* caption, const wchar_t* text, HWND parent,
                         const wchar_t* backgroundName)
    : NDialog(),
      m_type(type),
      m_caption(caption ? caption : L""),
      m_text(text ? text : L""),
      m_hasBackgroundName(false)
{
    m_hParent = parent;
    if (backgroundName)
        SetBackgroundName(backgroundName);
}

NMessageBox::~NMessageBox() = default;

void NMessageBox::SetBackgroundName(const wchar_t* name)
{
    m_hasBackgroundName = name != nullptr;
    m_backgroundName = name ? name : L"";
}

HLOCAL NMessageBox::BuildTemplate(int type, const wchar_t* caption, const wchar_t* text, size_t* size)
{
    const int buttons = ButtonCount(type);
    if (buttons == 0)
        return nullptr;
    caption = caption ? caption : L"";
    text = text ? text : L"";
    const size_t captionLength = std::wcslen(caption);
    const size_t textLength = std::wcslen(text);
    if (captionLength > 0x1000000 || textLength > 0x1000000)
        return nullptr;
    const size_t bytes = ((2 * captionLength + 27) & ~size_t{3}) + ((2 * textLength + 29) & ~size_t{3}) +
                         (type == typeOk ? 30 : type == typeYesNoCancel ? 102 : 70);

    LocalMemoryOwner memory(LocalAlloc(LHND, bytes));
    if (!memory)
        return nullptr;
    auto* base = static_cast<unsigned char*>(LocalLock(memory.Get()));
    if (!base)
        return nullptr;

    const int width = ScalePixelsForDpi(260);
    const int half = width / 2;
    const int buttonWidth = ScalePixelsForDpi(50);
    const int halfButton = buttonWidth / 2;
    const int gap = ScalePixelsForDpi(10);
    const int buttonTop = ScalePixelsForDpi(65);
    const int buttonHeight = ScalePixelsForDpi(16);

    ItemLayout items[3] = {};
    switch (type) {
    case typeOk:
        items[0] = {half - halfButton, IDOK, L"OK"};
        break;
    case typeOkCancel:
        items[0] = {half - buttonWidth - gap, IDOK, L"OK"};
        items[1] = {half + gap, IDCANCEL, L"Cancel"};
        break;
    case typeYesNo:
        items[0] = {half - buttonWidth - gap, IDYES, L"Yes"};
        items[1] = {half + gap, IDNO, L"No"};
        break;
    default:
        items[0] = {half - halfButton - buttonWidth - gap, IDYES, L"Yes"};
        items[1] = {half - halfButton, IDNO, L"No"};
        items[2] = {half + halfButton + gap, IDCANCEL, L"Cancel"};
        break;
    }

    TemplateWriter out(base, bytes);
    out.Dword(kDialogStyle);
    out.Dword(kDialogExStyle);
    out.Word(static_cast<WORD>(buttons + 1));
    out.Short(0);
    out.Short(0);
    out.Short(width);
    out.Short(ScalePixelsForDpi(90));
    out.Word(0);  // no menu
    out.Word(0);  // the system dialog class
    out.Text(caption);
    out.Item(kTextStyle, gap, ScalePixelsForDpi(5), width - ScalePixelsForDpi(20), ScalePixelsForDpi(60),
             static_cast<WORD>(textId), kStaticAtom, text);
    for (int i = 0; i < buttons; ++i)
        out.Item(kButtonStyle, items[i].x, buttonTop, buttonWidth, buttonHeight, items[i].id, kButtonAtom, items[i].title);
    LocalUnlock(memory.Get());
    if (!out.Ok())
        return nullptr;
    if (size)
        *size = bytes;
    return memory.Release();
}

int NMessageBox::Show()
{
    if (GetHwnd()) {
        ReportWinException(NWinException(L"NDialog::DoModal ... Window already exists"));
        return 0;
    }
    const LocalMemoryOwner memory(BuildTemplate(m_type, m_caption.c_str(), m_text.c_str()));
    if (!memory) {
        LogMessage(L"NMessageBox::Show ... no template for type %d", m_type);
        return IDCANCEL;
    }
    auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(LocalLock(memory.Get()));
    if (!dialogTemplate)
        return IDCANCEL;
    INT_PTR result = 0;
    try {
        m_modal = true;
        SetHook();
        result = DialogBoxIndirectParamW(NGetAppInstance(), dialogTemplate, m_hParent, StaticDialogProc, 0);
        RemoveHook();
    } catch (const NWinException& error) {
        RemoveHook();
        ReportWinException(error);
        result = 0;
    }
    m_hWnd = nullptr;
    LocalUnlock(memory.Get());
    return static_cast<int>(result);
}

int NMessageBox::OnInitDialog()
{
    if (m_hParent) {
        if (NWindow* parent = FromHandle(m_hParent))
            SetSmallIcon(parent->GetSmallIcon());
    }

    if (m_hasBackgroundName) {
        LoadBackgroundImage(m_backgroundName.c_str(), true, false);
    } else {
        RECT client{};
        GetClientRect(m_hWnd, &client);
        NImageBuffer gradient;
        if (gradient.Create(client.right - client.left, client.bottom - client.top, 24, RGB(0xFF, 0xFF, 0xFF))) {
            SkinSeam& skin = CurrentSkin();
            DrawGradient(gradient.dc, 0, 0, gradient.width, gradient.height, skin.GetColor(L"MessageBoxColorStart"),
                         skin.GetColor(L"MessageBoxColorEnd"), 1);
            SetBackgroundImage(gradient);
        }
    }

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        LOGFONTW font = metrics.lfMessageFont;
        font.lfQuality = CLEARTYPE_NATURAL_QUALITY;
        font.lfHeight = PointsToFontHeight(12);
        m_font.Reset(CreateFontIndirectW(&font));
        if (m_font)
            SetFont(m_font.Get());
    }
    static const int buttonIds[kButtonCount] = {IDOK, IDCANCEL, IDYES, IDNO};
    static const int iconIndexes[kButtonCount] = {0, 1, 0, 5};
    for (int i = 0; i < kButtonCount; ++i) {
        if (!GetDlgItem(m_hWnd, buttonIds[i]))
            continue;  // not in this type's template
        if (m_buttons[i].AttachControl(buttonIds[i], this, -1)) {
            m_buttons[i].SetIconIndex(iconIndexes[i]);
            if (m_font)
                m_buttons[i].SetFont(m_font.Get());
        }
    }
    SendDlgItemMessageW(m_hWnd, textId, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);

    if (HWND ok = GetDlgItem(m_hWnd, IDOK))
        SetFocus(ok);
    if (HWND yes = GetDlgItem(m_hWnd, IDYES))
        SetFocus(yes);
    return 0;
}

void NMessageBox::ApplyLanguage()
{
    NWinApp* app = NGetApp();
    if (!app)
        return;
    static const struct {
        int id;
        const wchar_t* key;
    } captions[] = {{IDOK, L"Ok"}, {IDCANCEL, L"Cancel"}, {IDYES, L"Yes"}, {IDNO, L"No"}};
    for (const auto& caption : captions) {
        if (!GetDlgItem(m_hWnd, caption.id))
            continue;
        // Without a text in the table the button keeps its built-in caption.
        const NString text = app->GetLanguage()->GetText(L"Messages", caption.key, true);
        if (!text.IsEmpty())
            SetItemText(caption.id, text.c_str());
    }
}

int NMessageBox::OnOK()
{
    int result = IDOK;
    if (m_type == typeYesNo || m_type == typeYesNoCancel) {
        HWND no = GetDlgItem(m_hWnd, IDNO);
        result = (no && GetFocus() == no) ? IDNO : IDYES;
    }
    EndDialog(result);
    return 1;
}

int NMessageBox::OnCancel()
{
    EndDialog(m_type == typeYesNo ? IDNO : IDCANCEL);
    return 1;
}

LRESULT NMessageBox::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(wParam);
    if (id == IDYES || id == IDNO)
        EndDialog(id);
    return NDialog::OnCommand(wParam, lParam);
}

void NMessageBox::OnDlgDestroy()
{
    for (NButton& button : m_buttons)
        button.Detach();
    m_font.Reset();
}
