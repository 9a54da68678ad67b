#include "app/StartUpDlg.h"

#include <cwchar>

#include "app/StartUpDlgShared.h"

using startup::kSection;
using startup::Text;

namespace {

constexpr int kDriveItemUnits = 257;   // 256 characters and the NUL
constexpr int kVolumeLabelUnits = 128;
constexpr DWORD kDriveRootUnits = 1024;

}  // namespace

void StartUpDlg::FillDriveList()
{
    m_driveList.ResetContent();
    wchar_t roots[kDriveRootUnits] = {};
    const DWORD length = GetDriveRoots(roots, kDriveRootUnits);
    if (length == 0 || length >= kDriveRootUnits) {
        m_driveList.SetCurSel(0);
        return;
    }
    roots[kDriveRootUnits - 1] = 0;
    roots[kDriveRootUnits - 2] = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
            const UINT type = GetDriveTypeOf(root);
            NString typeText;
            if (pass == 1 && type == DRIVE_REMOVABLE)
                typeText = Text(kSection, L"Device");
            else if (pass == 1 && type == DRIVE_NO_ROOT_DIR)
                typeText = Text(kSection, L"DeviceUnknown");
            else if (pass == 2 && type == DRIVE_FIXED)
                typeText = Text(kSection, L"DeviceDisk");
            else if (pass == 2 && type == DRIVE_RAMDISK)
                typeText = Text(kSection, L"DeviceRAM");
            else if (pass == 2 && type == DRIVE_CDROM)
                typeText = L"CD/DVD";
            else
                continue;
            wchar_t label[kVolumeLabelUnits] = {};
            if (!GetVolumeLabelOf(root, label, kVolumeLabelUnits))
                label[0] = 0;
            label[kVolumeLabelUnits - 1] = 0;
            // The root without its backslash, in upper case ("E:").
            wchar_t drive[3] = {static_cast<wchar_t>(towupper(root[0])), root[0] ? root[1] : L'\0', 0};
            wchar_t item[kDriveItemUnits];
            _snwprintf(item, kDriveItemUnits - 1, L"%s %s <%s>", drive, label, typeText.c_str());
            item[kDriveItemUnits - 1] = 0;
            m_driveList.AddString(item);
        }
    }
    m_driveList.SetCurSel(0);
}

DWORD StartUpDlg::GetDriveRoots(wchar_t* buffer, DWORD units)
{
    return GetLogicalDriveStringsW(units, buffer);
}

UINT StartUpDlg::GetDriveTypeOf(const wchar_t* root)
{
    return GetDriveTypeW(root);
}

bool StartUpDlg::GetVolumeLabelOf(const wchar_t* root, wchar_t* label, DWORD units)
{
    return GetVolumeInformationW(root, label, units, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
}
