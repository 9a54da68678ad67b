#include "ui/NDialog.h"

#include "base/Dpi.h"
#include "base/DpiAwareness.h"
#include "base/WindowPlacement.h"
#include "ui/NWinApp.h"
#include "ui/NWinException.h"
#include "ui/SkinSeam.h"

namespace {

constexpr int kItemTextUnits = 1024;

// Switches the thread to system-DPI awareness for a scope, optionally with the framework's DPI set
// to the desktop's, and restores both.
class SystemDpiScope {
public:
    SystemDpiScope(bool active, bool setDpi) : m_active(active), m_setDpi(setDpi && active)
    {
        if (!m_active)
            return;
        m_previousContext = SwitchThreadDpiContext(SystemAwareContext());
        if (m_setDpi)
            m_previousDpi = SetDpi(GetDesktopDpi());
    }
    ~SystemDpiScope()
    {
        if (!m_active)
            return;
        if (m_previousContext)
            SwitchThreadDpiContext(m_previousContext);
        if (m_setDpi)
            SetDpi(m_previousDpi);
    }
    SystemDpiScope(const SystemDpiScope&) = delete;
    SystemDpiScope& operator=(const SystemDpiScope&) = delete;

private:
    bool m_active;
    bool m_setDpi;
    DPI_AWARENESS_CONTEXT m_previousContext = nullptr;
    int m_previousDpi = 96;
};

}  // namespace

NDialog::NDialog()
    : m_inMemoryTemplate(false),
      m_modal(true),
      m_templateName(nullptr),
      m_template(nullptr),
      m_ownStaticTextColour(false),
      m_staticTextColour(0)
{
}

NDialog::NDialog(int resourceId, HWND parent) : NDialog()
{
    m_templateName = MAKEINTRESOURCEW(static_cast<WORD>(resourceId));
    m_hParent = parent;
}

NDialog::NDialog(const wchar_t* templateName, HWND parent) : NDialog()
{
    m_templateName = templateName;
    m_hParent = parent;
}

NDialog::NDialog(const DLGTEMPLATE* dialogTemplate, HWND parent) : NDialog()
{
    m_template = dialogTemplate;
    m_inMemoryTemplate = true;
    m_hParent = parent;
}

NDialog::~NDialog()
{
    if (m_hWnd) {
        if (IsWindow(m_hWnd)) {
            if (m_modal)
                ::EndDialog(m_hWnd, 0);
            else
                DestroyWindow(m_hWnd);
        }
        m_hWnd = nullptr;
    }
    m_background.Destroy();
}

bool NDialog::HasBackgroundImage() const
{
    return m_background.valid != 0;
}

LRESULT NDialog::OnCommand(WPARAM, LPARAM)
{
    return 0;
}

INT_PTR NDialog::DoModal(bool systemDpiAware)
{
    try {
        if (GetHwnd())
            throw NWinException(L"NDialog::DoModal ... Window already exists");
        m_modal = true;
        SetHook();
        INT_PTR result;
        {
            SystemDpiScope dpi(systemDpiAware, true);
            if (m_inMemoryTemplate)
                result = DialogBoxIndirectParamW(NGetAppInstance(), m_template, m_hParent, StaticDialogProc, 0);
            else
                result = DialogBoxParamW(NGetAppInstance(), m_templateName, m_hParent, StaticDialogProc, 0);
        }
        RemoveHook();
        m_hWnd = nullptr;
        return result;
    } catch (const NWinException& error) {
        RemoveHook();
        ReportWinException(error);
    } catch (...) {
        RemoveHook();
    }
    return 0;
}

HWND NDialog::DoModeless(int resourceId, HWND parent)
{
    try {
        if (GetHwnd())
            throw NWinException(L"NDialog::DoModeless ... Window already exists");
        m_hParent = parent;
        m_templateName = MAKEINTRESOURCEW(static_cast<WORD>(resourceId));
        m_modal = false;
        SetHook();
        HWND dialog;
        {
            SystemDpiScope dpi(true, false);
            if (m_inMemoryTemplate)
                dialog = CreateDialogIndirectParamW(NGetAppInstance(), m_template, m_hParent, StaticDialogProc, 0);
            else
                dialog = CreateDialogParamW(NGetAppInstance(), m_templateName, m_hParent, StaticDialogProc, 0);
        }
        m_hWnd = dialog;
        RemoveHook();
        if (!dialog)
            throw NWinException(L"NDialog::DoModeless ... Failed to create dialog");
    } catch (const NWinException& error) {
        RemoveHook();
        ReportWinException(error);
    } catch (...) {
        RemoveHook();
    }
    return GetHwnd();
}

bool NDialog::SetBackgroundImage(const NImageBuffer& picture)
{
    return m_background.Copy(picture);
}

bool NDialog::LoadBackgroundImage(const wchar_t* pictureName, bool stretch, bool fast)
{
    if (!pictureName || !CurrentSkin().LoadJpg(m_background, pictureName, false))
        return false;
    FitBackground(stretch, fast);
    return true;
}

bool NDialog::FitBackground(bool stretch, bool fast)
{
    if (!m_background.valid)
        return false;
    if (stretch) {
        RECT client{};
        if (GetHwnd())
            GetClientRect(m_hWnd, &client);
        const int width = client.right - client.left;
        const int height = client.bottom - client.top;
        if (width >= 16 && width <= 9999 && height >= 16 && height <= 5999)
            m_background.ResizeImage(width, height, fast ? 0 : 9, false);
    } else {
        m_background.ScaleForDpi(!fast);
    }
    return true;
}

NImageBuffer* NDialog::GetBackgroundImage()
{
    return &m_background;
}

INT_PTR CALLBACK NDialog::StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    NDialog* dialog = dynamic_cast<NDialog*>(NWindow::FromHandle(window));
    if (!dialog) {
        ReportWinException(NWinException(L"NDialog::StaticDialogProc ... Failed to route message\n"));
        return 0;
    }
    if (message == WM_NCDESTROY) {
        // The handle dies with this message; a later window may be given the same value.
        dialog->ForgetHandle(window);
    }
    return dialog->DialogProc(window, message, wParam, lParam);
}

INT_PTR NDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        OnDlgDestroy();
        return 0;  // the system still frees what it made for the dialog (such as its font)
    case WM_MOVE:
        OnDlgMove();
        return 1;
    case WM_SIZE:
        OnDlgSize();
        return 1;
    case WM_ERASEBKGND: {
        const LRESULT result = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        if (result)
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return result ? 1 : 0;
    }
    case WM_UPDATEUISTATE:
        // Focus cues shown or hidden (Tab, Alt): the focused control draws its cue afresh.
        if (HWND focus = GetFocus(); focus && IsChild(window, focus))
            InvalidateRect(focus, nullptr, FALSE);
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 1;
    case WM_NOTIFY: {
        // The answer travels in DWLP_MSGRESULT (custom-draw flags and the like).
        const LRESULT result = OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam));
        if (result) {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return 1;
        }
        return 0;
    }
    case WM_INITDIALOG: {
        m_hWnd = window;
        HWND parent = (m_hParent && IsWindow(m_hParent)) ? m_hParent : nullptr;
        CenterWindowOn(window, parent ? parent : GetDesktopWindow());
        if (parent) {
            if (NWindow* parentObject = FromHandle(parent))
                SetSmallIcon(parentObject->GetSmallIcon());
        }
        ApplyLanguage();
        return OnInitDialog();
    }
    case WM_COMMAND: {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (NWindow* object = control ? FromHandle(control) : nullptr)
            object->OnCommandReflect(wParam, lParam);
        switch (LOWORD(wParam)) {
        case IDOK:
            return OnOK();
        case IDCANCEL:
            return OnCancel();
        default:
            OnCommand(wParam, lParam);
            return 0;
        }
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_PARENTNOTIFY:
        return ReflectMessage(window, message, wParam, lParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (FromHandle(control))
            return ReflectMessage(window, message, wParam, lParam);
        HBRUSH brush = CurrentSkin().OnCtlColor(window, message, reinterpret_cast<HDC>(wParam), control,
                                                m_background.valid ? &m_background : nullptr,
                                                m_ownStaticTextColour ? m_staticTextColour : kSkinStaticTextColour);
        if (brush)
            return reinterpret_cast<INT_PTR>(brush);
        return ReflectMessage(window, message, wParam, lParam);
    }
    default:
        return 0;
    }
}

bool NDialog::EndDialog(INT_PTR result)
{
    bool answer = false;
    if (m_hWnd && IsWindow(m_hWnd))
        answer = m_modal ? ::EndDialog(m_hWnd, result) != FALSE : DestroyWindow(m_hWnd) != FALSE;
    m_hWnd = nullptr;
    return answer;
}

int NDialog::OnInitDialog()
{
    return 1;
}

int NDialog::OnCancel()
{
    EndDialog(IDCANCEL);
    return 1;
}

int NDialog::OnOK()
{
    EndDialog(IDOK);
    return 1;
}

void NDialog::OnDlgMove() {}

void NDialog::OnDlgSize() {}

void NDialog::OnDlgDestroy() {}

LRESULT NDialog::OnEraseBkgnd(HDC dc)
{
    if (!m_background.valid)
        return 0;
    m_background.BlitTo(dc, 0, 0, SRCCOPY);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

bool NDialog::SetItemText(int controlId, const wchar_t* text)
{
    return SetDlgItemTextW(m_hWnd, controlId, text) != FALSE;
}

bool NDialog::GetItemText(int controlId, NString& text)
{
    wchar_t buffer[kItemTextUnits] = {};
    if (GetDlgItemTextW(m_hWnd, controlId, buffer, kItemTextUnits) == 0)
        return false;
    text = buffer;
    return true;
}

bool NDialog::SetItemInt(int controlId, int value, bool isSigned)
{
    return SetDlgItemInt(m_hWnd, controlId, static_cast<UINT>(value), isSigned ? TRUE : FALSE) != FALSE;
}

int NDialog::GetItemInt(int controlId, bool isSigned)
{
    return static_cast<int>(GetDlgItemInt(m_hWnd, controlId, nullptr, isSigned ? TRUE : FALSE));
}

void NDialog::ApplyLanguage() {}
