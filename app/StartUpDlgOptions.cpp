#include "app/StartUpDlg.h"

#include <cwchar>

#include "app/AppSettings.h"
#include "app/ScanOptions.h"
#include "app/ScanWorker.h"
#include "app/StartUpDlgRes.h"
#include "app/StartUpDlgShared.h"
#include "ui/LanguageHelpers.h"
#include "ui/NLanguage.h"
#include "ui/NMessageBox.h"

using startup::kSection;
using startup::Language;
using startup::Repaint;
using startup::Text;

namespace {

constexpr const wchar_t* kScanSection = L"Dlg_Scan";
// The chunk sizes past the language list's six: factors 14, 18, 20, 24 and 30.
constexpr const wchar_t* kExtraChunkSizes[] = {L"70 MB", L"90 MB", L"100 MB", L"120 MB", L"150 MB"};

// The upper-case drive letter a full path starts with, or 0 (a share, a device path).
wchar_t DriveLetterOf(const wchar_t* path)
{
    if (!path || !path[0])
        return 0;
    wchar_t full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    if (!iswalpha(full[0]) || full[1] != L':')
        return 0;
    return static_cast<wchar_t>(towupper(full[0]));
}

struct Preset {
    bool groups[4];
    bool fileSizeOn;
    int fileSizeIndex;
    bool photoSizeOn;
    int photoSizeIndex;
    bool chunkSizeOn;
    int chunkSizeIndex;
};

constexpr Preset kPresets[] = {
    {{true, false, false, false}, true, 3, true, 2, true, 1},
    {{false, true, false, false}, true, 6, true, 3, true, 4},
    {{true, true, true, false}, true, 5, true, 3, true, 4},
    {{true, false, true, false}, true, 5, true, 3, true, 1},
    {{true, true, true, true}, false, 0, false, 0, true, 2},
};

}  // namespace

void StartUpDlg::FillOptionLists()
{
    FillComboBoxFromText(m_presetList.GetHwnd(), kSection, L"ScanMethodCBX", ScanOptions.ScanMethodIndex);
    FillComboBoxFromText(m_fileSizeList.GetHwnd(), kSection, L"FileSizeCBX", ScanOptions.FileSizeIndex);
    FillComboBoxFromText(m_photoSizeList.GetHwnd(), kSection, L"PhotoSizeCBX", ScanOptions.PhotoSizeIndex);
    FillComboBoxFromText(m_chunkSizeList.GetHwnd(), kSection, L"ChunkSizeCBX", ScanOptions.ChunkSizeIndex);
    for (const wchar_t* size : kExtraChunkSizes)
        m_chunkSizeList.AddString(size);
    // An index past the language's six items names one of the sizes added only now.
    if (m_chunkSizeList.GetCurSel() < 0 && ScanOptions.ChunkSizeIndex >= 0)
        m_chunkSizeList.SetCurSel(ScanOptions.ChunkSizeIndex);
}

void StartUpDlg::RefillLists()
{
    NComboBox* lists[] = {&m_presetList, &m_fileSizeList, &m_photoSizeList, &m_chunkSizeList};
    int selected[4];
    for (int i = 0; i < 4; ++i)
        selected[i] = static_cast<int>(lists[i]->GetCurSel());
    wchar_t driveLetter = 0;
    NString drive;
    if (m_driveList.GetLBText(static_cast<int>(m_driveList.GetCurSel()), drive) > 0)
        driveLetter = static_cast<wchar_t>(towupper(drive.c_str()[0]));

    FillDriveList();
    FillOptionLists();

    for (int i = 0; i < 4; ++i) {
        if (selected[i] >= 0 && selected[i] < static_cast<int>(lists[i]->GetCount()))
            lists[i]->SetCurSel(selected[i]);
    }
    const int drives = static_cast<int>(m_driveList.GetCount());
    for (int i = 0; driveLetter && i < drives; ++i) {
        NString item;
        if (m_driveList.GetLBText(i, item) > 0 && towupper(item.c_str()[0]) == driveLetter) {
            m_driveList.SetCurSel(i);
            break;
        }
    }
}

void StartUpDlg::ApplyScanMethodPreset()
{
    NCheckBox* boxes[] = {&m_fileSizeBox, &m_photoSizeBox, &m_chunkSizeBox, &m_group1Box,
                          &m_group2Box,   &m_group3Box,    &m_group4Box};
    for (NCheckBox* box : boxes) {
        box->checked = false;
        Repaint(box->GetHwnd());
    }
    const int index = static_cast<int>(m_presetList.GetCurSel());
    ScanOptions.ScanMethodIndex = index;
    if (index >= 0 && index < static_cast<int>(sizeof(kPresets) / sizeof(kPresets[0]))) {
        const Preset& preset = kPresets[index];
        NCheckBox* groups[] = {&m_group1Box, &m_group2Box, &m_group3Box, &m_group4Box};
        for (int i = 0; i < 4; ++i)
            groups[i]->checked = preset.groups[i];
        if (preset.fileSizeOn) {
            m_fileSizeBox.checked = true;
            m_fileSizeList.SetCurSel(preset.fileSizeIndex);
        }
        if (preset.photoSizeOn) {
            m_photoSizeBox.checked = true;
            m_photoSizeList.SetCurSel(preset.photoSizeIndex);
        }
        if (preset.chunkSizeOn) {
            m_chunkSizeBox.checked = true;
            m_chunkSizeList.SetCurSel(preset.chunkSizeIndex);
        }
        for (NCheckBox* box : boxes)
            Repaint(box->GetHwnd());
    }
    EnableListOf(IDC_START_FILE_SIZE_ON);
    EnableListOf(IDC_START_PHOTO_SIZE_ON);
    EnableListOf(IDC_START_CHUNK_SIZE_ON);
}

bool StartUpDlg::CollectScanOptions()
{
    ScanOptions.ScanFromFile = IsWindowVisible(GetDlgItem(m_hWnd, IDC_START_CHOOSE_FILE)) ? 1 : 0;
    wchar_t path[MAX_PATH] = {};
    GetDlgItemTextW(m_hWnd, IDC_START_FILE_PATH, path, MAX_PATH);
    ScanOptions.ImageFilePath = path;
    // An image file that cannot be read is said so now, before any window or folder is made.
    if (ScanOptions.ScanFromFile) {
        NString problem;
        if (!CheckImageFile(path, problem)) {
            NMessageBox box(NMessageBox::typeOk, kAppTitle, problem.c_str(), m_hWnd);
            box.Show();
            return false;
        }
    }

    wchar_t letter = 0;
    const int selected = static_cast<int>(m_driveList.GetCurSel());
    if (selected >= 0) {
        NString item;
        if (m_driveList.GetLBText(selected, item) >= 0 && !item.IsEmpty())
            letter = item.c_str()[0];
    }

    if (m_driveItem.checked && letter) {
        const wchar_t root[4] = {letter, L':', L'\\', 0};
        if (GetDriveTypeOf(root) == DRIVE_FIXED) {
            // Pictures saved onto the scanned drive may land on the very clusters they are
            // recovered from: there the user may stop before anything is written.
            if (DriveLetterOf(GeneralOutputFolder) == towupper(letter)) {
                const wchar_t* builtIn =
                    L"The output folder %s lies on the drive you are about to scan: recovered pictures may "
                    L"overwrite the very pictures you want back. Choose Cancel to pick another output folder "
                    L"under Settings > Options first, or OK to scan anyway.";
                NLanguage* language = Language();
                const NString format =
                    language ? language->GetFormatText(kScanSection, L"FixedDiskSameDrive", L"s", builtIn)
                             : NString(builtIn);
                wchar_t text[1024];
                _snwprintf(text, 1023, format.c_str(), GeneralOutputFolder);
                text[1023] = 0;
                NMessageBox box(NMessageBox::typeOkCancel, kAppTitle, text, m_hWnd);
                if (box.Show() != IDOK)
                    return false;
            } else {
                NString warning;
                if (NLanguage* language = Language())
                    warning = language->GetText(kScanSection, L"FixedDiskWarningNew", false);
                if (warning.IsEmpty())
                    warning = Text(kScanSection, L"FixedDiskWarning");
                NMessageBox box(NMessageBox::typeOk, kAppTitle, warning.c_str(), m_hWnd);
                box.Show();
            }
        }
    }

    ScanOptions.DriveLetter[0] = letter;
    ScanOptions.DriveLetter[1] = 0;
    ScanOptions.ScanMethodIndex = static_cast<int>(m_presetList.GetCurSel());
    ScanOptions.SearchFilter1 = m_group1Box.checked ? 1 : 0;
    ScanOptions.SearchFilter2 = m_group2Box.checked ? 1 : 0;
    ScanOptions.SearchFilter3 = m_group3Box.checked ? 1 : 0;
    ScanOptions.SearchFilter4 = m_group4Box.checked ? 1 : 0;
    if (!ScanOptions.SearchFilter1 && !ScanOptions.SearchFilter2 && !ScanOptions.SearchFilter3 &&
        !ScanOptions.SearchFilter4)
        ScanOptions.SearchFilter1 = 1;
    ScanOptions.FileSizeOn = m_fileSizeBox.checked ? 1 : 0;
    if (ScanOptions.FileSizeOn)
        ScanOptions.FileSizeIndex = static_cast<int>(m_fileSizeList.GetCurSel());
    ScanOptions.PhotoSizeOn = m_photoSizeBox.checked ? 1 : 0;
    if (ScanOptions.PhotoSizeOn)
        ScanOptions.PhotoSizeIndex = static_cast<int>(m_photoSizeList.GetCurSel());
    ScanOptions.ChunkSizeOn = m_chunkSizeBox.checked ? 1 : 0;
    if (ScanOptions.ChunkSizeOn)
        ScanOptions.ChunkSizeIndex = static_cast<int>(m_chunkSizeList.GetCurSel());
    return true;
}
