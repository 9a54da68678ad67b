#include "app/ResultDlg.h"

#include <shlobj.h>
#include <shellapi.h>

#include "app/ScanDlg.h"
#include "app/resource.h"
#include "base/FileUtils.h"
#include "base/IconOwner.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

constexpr wchar_t kSection[] = L"Dlg_Result";

NString Text(const wchar_t* key)
{
    NWinApp* app = NGetApp();
    return app ? app->GetLanguage()->GetText(kSection, key, true) : NString();
}

bool FileExistsAt(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

ResultDlg::ResultDlg(ScanDlg* scan)
    : NDialog(kResourceId, scan ? scan->GetHwnd() : nullptr), m_scan(scan), m_finished(false)
{
    SetUserData(scan);
}

ResultDlg::~ResultDlg() = default;

const wchar_t* ResultDlg::ScanFolder() const
{
    return m_scan ? m_scan->ScanFolder : L"";
}

INT_PTR ResultDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kReapplyLanguage) {
        ApplyLanguage();
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    return NDialog::DialogProc(window, message, wParam, lParam);
}

void ResultDlg::ApplyLanguage()
{
    if (!m_hWnd)
        return;
    SetWindowTextW(m_hWnd, Text(L"Title").c_str());
    // The count text is a format from the language file: it is used only when its conversions
    // take an int and a string, in that order.
    // A scan the user stopped says so: what it shows is what was kept until then.
    const bool stopped = m_scan && m_scan->ScanStopped;
    const wchar_t* key = stopped ? L"PhotosFoundStopped" : L"PhotosFound";
    const wchar_t* builtIn = stopped ? L"The scan was stopped: %d pictures in %s" : L"%d pictures in %s";
    NString format;
    if (NWinApp* app = NGetApp())
        format = app->GetLanguage()->GetFormatText(kSection, key, L"ds", builtIn);
    else
        format = builtIn;
    wchar_t count[512];
    const int kept = m_scan ? static_cast<int>(m_scan->KeptFiles.size()) : 0;
    _snwprintf(count, 511, format.c_str(), kept, ScanFolder());
    count[511] = 0;
    SetItemText(IDC_RESULT_COUNT, count);
    SetItemText(IDC_RESULT_SELECT_ALL, Text(L"SelectAll"));
    SetItemText(IDC_RESULT_DESELECT_ALL, Text(L"DeSelectAll"));
    SetItemText(IDOK, Text(L"KeepSel"));
    SetItemText(IDC_RESULT_OPEN_APP, Text(L"OpenPhotoApp"));
    SetItemText(IDC_RESULT_INFO, Text(L"Info"));
}

int ResultDlg::OnInitDialog()
{
    LoadSmallIcon(IDI_APP_ICON);
    if (const IconOwner big{static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 48, 48, 0))})
        SetBigIcon(big.Get());  // the window keeps its own copy
    LoadBackgroundImage(L"ResultScreenBack", true, false);

    m_keepButton.AttachControl(IDOK, this, 0);
    m_selectAllButton.AttachControl(IDC_RESULT_SELECT_ALL, this, 9);
    m_deselectAllButton.AttachControl(IDC_RESULT_DESELECT_ALL, this, 6);
    m_openApp.AttachControl(IDC_RESULT_OPEN_APP, this, 1);
    m_countText.AttachDlgItem(IDC_RESULT_COUNT, this);
    m_countText.SetBold(true);
    m_infoText.AttachDlgItem(IDC_RESULT_INFO, this);
    m_infoText.SetBold(true);
    m_keepButton.SetPulse(true);

    m_list.Setup(m_hWnd, GetDlgItem(m_hWnd, IDC_RESULT_LIST));
    m_list.SetViewMode(ResultList::kViewIcons);
    m_list.Fill(ScanFolder());
    if (m_scan && m_scan->KeptFiles.size() >= kReportViewFrom) {
        m_list.SetViewMode(ResultList::kViewReport);
        SendMessageW(m_list.GetListHwnd(), LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
        SendMessageW(m_list.GetListHwnd(), LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
    }
    return 1;
}

LRESULT ResultDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDC_RESULT_SELECT_ALL:
        m_list.SelectAll(true);
        break;
    case IDC_RESULT_DESELECT_ALL:
        m_list.SelectAll(false);
        break;
    default:
        break;
    }
    return NDialog::OnCommand(wParam, lParam);
}

LRESULT ResultDlg::OnNotify(WPARAM wParam, NMHDR* header)
{
    if (!header || header->idFrom != IDC_RESULT_LIST)
        return NWindow::OnNotify(wParam, header);
    LRESULT result = 0;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        result = m_list.GetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
        break;
    case LVN_GETINFOTIPW:
        result = m_list.GetInfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(header));
        break;
    case NM_CUSTOMDRAW:
        result = m_list.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        break;
    case NM_CLICK:
        result = m_list.ToggleSelection(reinterpret_cast<NMITEMACTIVATE*>(header));
        break;
    default:
        return NWindow::OnNotify(wParam, header);
    }
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return result;
}

int ResultDlg::OnCancel()
{
    EndDialog(0);
    return 1;
}

int ResultDlg::OnOK()
{
    EndDialog(1);
    return 1;
}

void ResultDlg::Recycle(const wchar_t* path)
{
    ShellDeleteFile(path, true);
}

void ResultDlg::ShellOpen(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory)
{
    ShellExecuteW(GetDesktopWindow(), L"open", file, parameters, directory, SW_SHOWNORMAL);
}

void ResultDlg::OpenKeptFiles()
{
    const wchar_t* folder = ScanFolder();
    if (!m_openApp.GetCheck()) {
        // The folder itself is opened (the shell opens nothing for a directory alone).
        if (folder[0])
            ShellOpen(folder, nullptr, folder);
        return;
    }
    wchar_t programFiles[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles))) {
        for (const wchar_t* version : {L"18", L"17", L"16", L"15", L"14", L"12", L"11", L"10"}) {
            wchar_t tail[128];
            _snwprintf(tail, 127, L"Delvarin\\Delvarin Lumicade %s\\lmc.exe", version);
            tail[127] = 0;
            wchar_t program[MAX_PATH];
            _snwprintf(program, MAX_PATH - 1, L"%s\\%s", programFiles, tail);
            program[MAX_PATH - 1] = 0;
            if (FileExistsAt(program)) {
                wchar_t parameters[MAX_PATH];
                _snwprintf(parameters, MAX_PATH - 1, L"-t=\"%s\"", folder);
                parameters[MAX_PATH - 1] = 0;
                ShellOpen(program, parameters, folder);
                return;
            }
        }
    }
    for (int i = 0; i < m_list.GetCount(); ++i) {
        if (m_list.IsSelected(i) && FileExistsAt(m_list.GetRecord(i)->path)) {
            ShellOpen(m_list.GetRecord(i)->path, nullptr, folder);
            return;
        }
    }
}

void ResultDlg::FinishFiles()
{
    if (m_finished)
        return;
    m_finished = true;
    // OK and Cancel alike: the unselected files go to the Recycle Bin, from where the user can
    // still take them back.
    for (int i = 0; i < m_list.GetCount(); ++i) {
        if (!m_list.IsSelected(i))
            Recycle(m_list.GetRecord(i)->path);
    }
    if (m_list.CountSelected() > 0)
        OpenKeptFiles();
    else if (ScanFolder()[0])
        RemoveDirectoryW(ScanFolder());
}

void ResultDlg::OnDlgDestroy()
{
    FinishFiles();
    m_list.Clear();
    NDialog::OnDlgDestroy();
}
