#include "app/AboutDlg.h"

#include "app/AppSettings.h"
#include "app/InetHandler.h"
#include "app/LanguageSettingsRes.h"
#include "ui/NWinApp.h"

namespace {

constexpr const wchar_t* kHomePage = L"https://www.delvarin.com";

}  // namespace

AboutDlg::AboutDlg(HWND parent) : NDialog(kResourceId, parent) {}

AboutDlg::~AboutDlg() = default;

NString AboutDlg::VersionText()
{
    NString text(kAppTitle);
    if (g_DlvInetHandler.IsSetUp())
        g_DlvInetHandler.GetDisplayVersion(text);
    return text;
}

NString AboutDlg::VersionLine()
{
    NString line;
    line.Format(L"%s (%s, %S, %S)", VersionText().c_str(), sizeof(void*) == 8 ? L"64-Bit" : L"32-Bit", __DATE__,
                __TIME__);
    return line;
}

int AboutDlg::OnInitDialog()
{
    LoadBackgroundImage(L"DlgBackground", true, false);
    SetItemText(IDC_ABOUT_VERSION, VersionLine());
    m_okButton.AttachControl(IDOK, this, -1);
    if (m_link.AttachDlgItem(IDC_ABOUT_LINK, this))
        m_link.SetUrl(kHomePage);
    m_linkGroup.AttachDlgItem(IDC_ABOUT_LINK_GROUP, this);
    m_productGroup.AttachDlgItem(IDC_ABOUT_PRODUCT_GROUP, this);
    return 1;
}

void AboutDlg::ApplyLanguage()
{
    SetWindowTextW(m_hWnd, kAppTitle);
    NWinApp* app = NGetApp();
    if (!app)
        return;
    const NString ok = app->GetLanguage()->GetText(L"Dlg_About", L"Ok", false);
    if (!ok.IsEmpty())
        SetDlgItemTextW(m_hWnd, IDOK, ok.c_str());
}
