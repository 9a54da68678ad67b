#include "ui/NDialogWizard.h"

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "imaging/ImageDraw.h"
#include "ui/DialogFrame.h"
#include "ui/NWinApp.h"
#include "ui/SkinSeam.h"

namespace {

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

void EnableItem(HWND dialog, int id, bool enable)
{
    if (HWND item = GetDlgItem(dialog, id))
        EnableWindow(item, enable ? TRUE : FALSE);
}

}  // namespace

// ---- NDialogWizard::NCaption ----

NDialogWizard::NCaption::NCaption() : m_title(L""), m_subtitle(L"")
{
    Superclass(L"Static", L"NCaption");
}

NDialogWizard::NCaption::~NCaption()
{
    DeleteFont();
}

bool NDialogWizard::NCaption::AttachDlgItem(int controlId, NWindow* parent)
{
    return AttachFrameCaption(*this, controlId, parent);
}

void NDialogWizard::NCaption::OnCreate()
{
    m_title = CaptionWindowText(m_hWnd);
    CreateFont();
}

void NDialogWizard::NCaption::OnDestroy(WPARAM, LPARAM)
{
    DeleteFont();
}

void NDialogWizard::NCaption::CreateFont()
{
    DeleteFont();
    m_titleFont.Reset(MakeCaptionFont(12, 500, true));
    m_subtitleFont.Reset(MakeCaptionFont(10, 400, true));
    if (NSkin* skin = AppSkin()) {
        if (skin->LoadPng(m_headerPicture, L"WizardHeader", true))
            m_headerPicture.PremultiplyAlpha();
        skin->LoadJpg(m_headerBackground, L"WizardHeaderBack", true);
    }
}

void NDialogWizard::NCaption::DeleteFont()
{
    m_titleFont.Reset();
    m_subtitleFont.Reset();
    m_headerPicture.Destroy();
    m_headerBackground.Destroy();
}

void NDialogWizard::NCaption::SetTexts(const wchar_t* title, const wchar_t* subtitle)
{
    m_title = title ? title : L"";
    m_subtitle = subtitle ? subtitle : L"";
    if (GetHwnd()) {
        SetWindowTextW(m_hWnd, m_title.c_str());
        InvalidateRect(m_hWnd, nullptr, TRUE);
    }
}

void NDialogWizard::NCaption::DrawItem(DRAWITEMSTRUCT* item)
{
    if (!item || !item->hDC)
        return;
    const RECT& r = item->rcItem;
    const int width = r.right - r.left, height = r.bottom - r.top;
    NImageBuffer canvas;
    if (width <= 0 || height <= 0 || !canvas.Create(width, height, 24, GetSysColor(COLOR_BTNFACE)))
        return;
    HDC dc = canvas.dc;
    if (m_headerBackground.valid)
        m_headerBackground.BlitTo(dc, 0, 0, SRCCOPY);
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, CurrentSkin().GetColor(L"WizardCaptionTextColor"));
    const HGDIOBJ fallback = GetStockObject(DEFAULT_GUI_FONT);
    {
        const ObjectSelection font(dc, m_titleFont ? m_titleFont.Get() : fallback);
        RECT title{10, ScalePixelsForDpi(8), width, height};
        DrawTextW(dc, m_title.c_str(), -1, &title, DT_NOCLIP);
    }
    {
        const ObjectSelection font(dc, m_subtitleFont ? m_subtitleFont.Get() : fallback);
        RECT subtitle{10, ScalePixelsForDpi(30), width, height};
        DrawTextW(dc, m_subtitle.c_str(), -1, &subtitle, DT_NOCLIP);
    }
    if (m_headerPicture.valid) {
        AlphaBlendImage(dc, width - m_headerPicture.width, (height - m_headerPicture.height) / 2, m_headerPicture, 255,
                        AC_SRC_ALPHA);
    }
    canvas.BlitTo(item->hDC, r.left, r.top, SRCCOPY);
}

// ---- NDialogWizard ----

NDialogWizard::NDialogWizard(int resourceId, HWND parent, int headerId, int pageFrameId)
    : NDialog(resourceId, parent),
      m_currentPage(0),
      m_initialPage(0),
      m_headerId(headerId),
      m_pageFrameId(pageFrameId),
      m_pageArea{},
      m_title(L"")
{
}

NDialogWizard::~NDialogWizard() = default;

bool NDialogWizard::AddPage(NDialog* page, const wchar_t* title, const wchar_t* subtitle, int resourceId)
{
    if (GetHwnd())
        return false;
    m_pages.push_back(PageRecord{page, resourceId, NString(title ? title : L""), NString(subtitle ? subtitle : L"")});
    return true;
}

int NDialogWizard::FirstVisiblePage() const
{
    for (size_t i = 0; i < m_pages.size(); ++i) {
        NDialog* page = m_pages[i].page;
        if (page && page->GetHwnd() && IsWindowVisible(page->GetHwnd()))
            return static_cast<int>(i);
    }
    return -1;
}

int NDialogWizard::OnInitDialog()
{
    if (!m_title.IsEmpty())
        SetWindowTextW(m_hWnd, m_title.c_str());
    LoadBackgroundImage(L"WizardFooterBack", false, false);

    m_header.AttachDlgItem(m_headerId, this);
    m_pageFrame.AttachDlgItem(m_pageFrameId, this);
    m_pageArea = ControlRectInClient(m_hWnd, m_pageFrame.GetHwnd());
    m_pageArea.top -= 1;

    m_nextButton.AttachControl(IDOK, this, 20);
    m_backButton.AttachControl(kBackId, this, 19);
    m_cancelButton.AttachControl(IDCANCEL, this, 1);
    m_helpButton.AttachControl(IDHELP, this, 7);
    m_buttonFont.Reset(MakeBoldControlFont(GetDlgItem(m_hWnd, IDOK)));
    if (m_buttonFont) {
        for (NButton* button : {&m_nextButton, &m_backButton, &m_cancelButton, &m_helpButton})
            button->SetFont(m_buttonFont.Get());
    }

    SetFocus(GetDlgItem(m_hWnd, IDOK));
    m_currentPage = m_initialPage;
    ShowPage(m_initialPage);
    return 0;
}

bool NDialogWizard::ShowPage(int index)
{
    if (!GetHwnd() || index < 0 || static_cast<size_t>(index) >= m_pages.size() || !m_pages[index].page)
        return false;
    NDialog* current = m_currentPage >= 0 && static_cast<size_t>(m_currentPage) < m_pages.size()
                           ? m_pages[m_currentPage].page
                           : nullptr;
    const PageRecord& record = m_pages[index];
    SwitchFramePage(current, *record.page, record.resourceId, m_hWnd, m_pageArea);
    m_header.SetTexts(record.title.c_str(), record.subtitle.c_str());

    const bool last = static_cast<size_t>(index) + 1 == m_pages.size();
    SetDlgItemTextW(m_hWnd, IDOK, last ? FrameButtonText(L"Finish", L"Finish").c_str()
                                       : FrameButtonText(L"Next", L"Next").c_str());
    // The last page is finished, not left: only Finish stays. Other pages can be left every way.
    EnableItem(m_hWnd, kBackId, !last && index != 0);
    EnableItem(m_hWnd, IDCANCEL, !last);
    EnableItem(m_hWnd, IDHELP, !last);
    m_currentPage = index;
    return true;
}

int NDialogWizard::OnOK()
{
    const int index = FirstVisiblePage();
    if (index < 0 || m_pages[index].page->OnOK() != 1)
        return 1;
    if (static_cast<size_t>(index) + 1 < m_pages.size())
        ShowPage(index + 1);
    else
        EndDialog(IDOK);
    return 1;
}

int NDialogWizard::OnCancel()
{
    bool asked = false;
    int lastAnswer = 1;
    for (const PageRecord& record : m_pages) {
        if (!record.page || !record.page->GetHwnd())
            continue;
        lastAnswer = record.page->OnCancel();
        asked = true;
    }
    if (asked && lastAnswer == 0)
        return 1;  // the page keeps the wizard open
    EndDialog(IDCANCEL);
    return 1;
}

LRESULT NDialogWizard::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case kBackId: {
        const int index = FirstVisiblePage();
        if (index >= 0) {
            PostMessageW(m_pages[index].page->GetHwnd(), WM_COMMAND, kBackId, 0);
            if (index > 0)
                ShowPage(index - 1);
        }
        break;
    }
    case IDHELP:
        for (const PageRecord& record : m_pages) {
            if (record.page && record.page->GetHwnd() && IsWindowVisible(record.page->GetHwnd()))
                PostMessageW(record.page->GetHwnd(), WM_COMMAND, IDHELP, 0);
        }
        break;
    default:
        break;
    }
    return NDialog::OnCommand(wParam, lParam);
}

void NDialogWizard::ApplyLanguage()
{
    SetDlgItemTextW(m_hWnd, IDOK, FrameButtonText(L"Next", L"Next").c_str());
    SetDlgItemTextW(m_hWnd, kBackId, FrameButtonText(L"Back", L"Back").c_str());
    SetDlgItemTextW(m_hWnd, IDCANCEL, FrameButtonText(L"Cancel", L"Cancel").c_str());
    SetDlgItemTextW(m_hWnd, IDHELP, FrameButtonText(L"Help", L"Help").c_str());
}

void NDialogWizard::OnDlgDestroy()
{
    for (const PageRecord& record : m_pages) {
        if (record.page && record.page->GetHwnd())
            record.page->Destroy();
    }
    m_pages.clear();
    m_buttonFont.Reset();
}
