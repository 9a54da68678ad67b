#include "ui/NDialogSettings.h"

#include <algorithm>

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

// Calls act once for every page that has a window, in the order the pages were added.
template <typename Act>
void ForEachPageWindow(const std::vector<NDialogSettings::PageRecord>& pages, Act act)
{
    std::vector<NDialog*> done;
    for (const NDialogSettings::PageRecord& record : pages) {
        NDialog* page = record.page;
        if (!page || std::find(done.begin(), done.end(), page) != done.end() || !page->GetHwnd())
            continue;
        done.push_back(page);
        act(*page);
    }
}

}  // namespace

// ---- NDialogSettings::NCaption ----

NDialogSettings::NCaption::NCaption() : m_text(L""), m_headerMode(0)
{
    Superclass(L"Static", L"NCaption");
}

NDialogSettings::NCaption::~NCaption()
{
    DeleteFont();
}

bool NDialogSettings::NCaption::AttachDlgItem(int controlId, NWindow* parent)
{
    return AttachFrameCaption(*this, controlId, parent);
}

void NDialogSettings::NCaption::OnCreate()
{
    m_text = CaptionWindowText(m_hWnd);
    CreateFont();
}

void NDialogSettings::NCaption::CreateFont()
{
    DeleteFont();
    if (m_headerMode) {
        m_captionFont.Reset(MakeCaptionFont(20, 500, false));
        if (NSkin* skin = AppSkin()) {
            if (skin->LoadPng(m_headerPicture, L"SettingsHeader", true))
                m_headerPicture.PremultiplyAlpha();
            skin->LoadJpg(m_headerBackground, L"SettingsHeaderBack", true);
        }
    } else {
        m_captionFont.Reset(MakeCaptionFont(13, 600, false));
    }
}

void NDialogSettings::NCaption::DeleteFont()
{
    m_captionFont.Reset();
    m_headerPicture.Destroy();
    m_headerBackground.Destroy();
}

void NDialogSettings::NCaption::SetText(const wchar_t* text)
{
    m_text = text ? text : L"";
    if (GetHwnd()) {
        SetWindowTextW(m_hWnd, m_text.c_str());
        InvalidateRect(m_hWnd, nullptr, TRUE);
    }
}

void NDialogSettings::NCaption::SetHeaderMode(int mode)
{
    m_headerMode = mode;
    if (GetHwnd())
        CreateFont();
}

void NDialogSettings::NCaption::DrawItem(DRAWITEMSTRUCT* item)
{
    if (!item || !item->hDC)
        return;
    const RECT& r = item->rcItem;
    const int width = r.right - r.left, height = r.bottom - r.top;
    NImageBuffer canvas;
    if (width <= 0 || height <= 0 || !canvas.Create(width, height, 24, 0))
        return;
    HDC dc = canvas.dc;
    SkinSeam& skin = CurrentSkin();
    RECT text{0, 0, width, height};
    ObjectSelection font(dc, m_captionFont.Get());
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, skin.GetColor(L"SettingsCaptionTextColor"));
    if (m_headerMode) {
        if (m_headerBackground.valid)
            m_headerBackground.BlitTo(dc, 0, 0, SRCCOPY);
        text.left = m_headerPicture.valid ? m_headerPicture.width : 0;
        DrawTextW(dc, m_text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
        if (m_headerPicture.valid)
            AlphaBlendImage(dc, 0, (height - m_headerPicture.height) / 2, m_headerPicture, 255, AC_SRC_ALPHA);
    } else {
        DrawGradient(dc, 0, 0, width, height, skin.GetColor(L"SettingsCaptionStartColor"),
                     skin.GetColor(L"SettingsCaptionEndColor"), 3);
        DrawTextW(dc, m_text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_NOCLIP);
    }
    canvas.BlitTo(item->hDC, r.left, r.top, SRCCOPY);
}

// ---- NDialogSettings ----

NDialogSettings::NDialogSettings(int resourceId, HWND parent, int headerId, int pageFrameId, int treeId, bool skinned)
    : NDialog(resourceId, parent),
      m_currentPage(0),
      m_initialPage(0),
      m_headerId(headerId),
      m_pageFrameId(pageFrameId),
      m_pageArea{},
      m_treeId(treeId),
      m_title(L""),
      m_skinned(skinned),
      m_selectingItem(false)
{
}

NDialogSettings::~NDialogSettings() = default;

bool NDialogSettings::AddPage(NDialog* page, const wchar_t* name, int resourceId, NDialog* parentPage)
{
    if (GetHwnd())
        return false;
    m_pages.push_back(PageRecord{page, resourceId, NString(name ? name : L""), parentPage});
    return true;
}

HTREEITEM NDialogSettings::FindTreeItem(NDialog* page)
{
    if (!page)
        return TVI_ROOT;
    auto it = m_treeItems.find(page);
    return it == m_treeItems.end() ? TVI_ROOT : it->second;
}

int NDialogSettings::RecordIndex(LPARAM data) const
{
    for (size_t i = 0; i < m_pages.size(); ++i) {
        if (data == reinterpret_cast<LPARAM>(&m_pages[i]))
            return static_cast<int>(i);
    }
    return -1;
}

int NDialogSettings::OnInitDialog()
{
    if (!m_title.IsEmpty())
        SetWindowTextW(m_hWnd, m_title.c_str());

    m_header.SetHeaderMode(m_skinned ? 1 : 0);
    m_header.AttachDlgItem(m_headerId, this);
    m_pageFrame.AttachDlgItem(m_pageFrameId, this);
    m_pageArea = ControlRectInClient(m_hWnd, m_pageFrame.GetHwnd());

    m_okButton.AttachControl(IDOK, this, 0);
    m_cancelButton.AttachControl(IDCANCEL, this, 1);
    m_helpButton.AttachControl(IDHELP, this, 7);
    m_buttonFont.Reset(MakeBoldControlFont(GetDlgItem(m_hWnd, IDOK)));
    if (m_buttonFont) {
        m_okButton.SetFont(m_buttonFont.Get());
        m_cancelButton.SetFont(m_buttonFont.Get());
        m_helpButton.SetFont(m_buttonFont.Get());
    }

    m_tree.AttachDlgItem(m_treeId, this);
    m_tree.ModifyStyle(0, TVS_TRACKSELECT);
    if (m_skinned) {
        SkinSeam& skin = CurrentSkin();
        m_tree.SetExtendedStyle(TVS_EX_DOUBLEBUFFER | TVS_EX_FADEINOUTEXPANDOS,
                                TVS_EX_DOUBLEBUFFER | TVS_EX_FADEINOUTEXPANDOS);
        m_tree.SetTextColor(skin.GetColor(L"SettingsTreeViewTextColor"));
        m_tree.SetBkColor(skin.GetColor(L"SettingsTreeViewBackColor"));
    }
    for (PageRecord& record : m_pages) {
        // A page whose parent is not in the tree yet goes to the top level.
        const HTREEITEM parent = FindTreeItem(record.parent);
        const HTREEITEM item =
            m_tree.InsertItem(parent, TVI_LAST, record.name.c_str(), reinterpret_cast<LPARAM>(&record));
        m_tree.Expand(parent, TVE_EXPAND);
        if (item && record.page)
            m_treeItems.emplace(record.page, item);  // a page listed twice keeps its first item
    }

    SetFocus(GetDlgItem(m_hWnd, IDOK));
    m_currentPage = m_initialPage;
    ShowPage(m_initialPage);
    return 0;
}

bool NDialogSettings::ShowPage(int index)
{
    if (!GetHwnd() || index < 0 || static_cast<size_t>(index) >= m_pages.size() || !m_pages[index].page)
        return false;
    NDialog* current = m_currentPage >= 0 && static_cast<size_t>(m_currentPage) < m_pages.size()
                           ? m_pages[m_currentPage].page
                           : nullptr;
    const PageRecord& record = m_pages[index];
    SwitchFramePage(current, *record.page, record.resourceId, m_hWnd, m_pageArea);

    m_header.SetText(record.name.c_str());
    auto it = m_treeItems.find(record.page);
    if (it != m_treeItems.end()) {
        m_selectingItem = true;
        m_tree.SelectItem(it->second);
        m_selectingItem = false;
    }
    m_currentPage = index;
    return true;
}

LRESULT NDialogSettings::OnNotify(WPARAM wParam, NMHDR* header)
{
    if (header && !m_selectingItem && header->code == static_cast<UINT>(TVN_SELCHANGEDW) && m_tree.GetHwnd() &&
        header->hwndFrom == m_tree.GetHwnd()) {
        const auto* change = reinterpret_cast<const NMTREEVIEWW*>(header);
        const int index = RecordIndex(m_tree.GetItemData(change->itemNew.hItem));
        if (index >= 0)
            ShowPage(index);
    }
    return NDialog::OnNotify(wParam, header);
}

int NDialogSettings::OnOK()
{
    ForEachPageWindow(m_pages, [](NDialog& page) { page.OnOK(); });
    EndDialog(IDOK);
    return 1;
}

int NDialogSettings::OnCancel()
{
    ForEachPageWindow(m_pages, [](NDialog& page) { page.OnCancel(); });
    EndDialog(IDCANCEL);
    return 1;
}

LRESULT NDialogSettings::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDHELP) {
        ForEachPageWindow(m_pages, [](NDialog& page) {
            if (IsWindowVisible(page.GetHwnd()))
                PostMessageW(page.GetHwnd(), WM_COMMAND, IDHELP, 0);
        });
    }
    return NDialog::OnCommand(wParam, lParam);
}

void NDialogSettings::ApplyLanguage()
{
    SetDlgItemTextW(m_hWnd, IDOK, FrameButtonText(L"Ok", L"OK").c_str());
    SetDlgItemTextW(m_hWnd, IDCANCEL, FrameButtonText(L"Cancel", L"Cancel").c_str());
    SetDlgItemTextW(m_hWnd, IDHELP, FrameButtonText(L"Help", L"Help").c_str());
}

void NDialogSettings::OnDlgDestroy()
{
    ForEachPageWindow(m_pages, [](NDialog& page) { page.Destroy(); });
    m_pages.clear();
    m_treeItems.clear();
    m_buttonFont.Reset();
}
