#include "app/LanguageDlg.h"

#include <algorithm>

#include <cwchar>

#include "app/AppSettings.h"
#include "app/LanguageSettingsRes.h"
#include "base/GdiOwners.h"
#include "base/IconOwner.h"
#include "base/Log.h"
#include "ui/LanguageHelpers.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

constexpr int kTextUnits = 260;  // name, author, code and comment cells
constexpr int kCodeBufferUnits = 512;

NString ProgramFolder()
{
    const LanguageSources& sources = Language_Sources();
    if (!sources.programFolder.IsEmpty())
        return sources.programFolder;
    NWinApp* app = NGetApp();
    return app ? app->GetModuleDir() : NString(L"");
}

const wchar_t* SettingsFile()
{
    const LanguageSources& sources = Language_Sources();
    return sources.settingsFile.IsEmpty() ? nullptr : sources.settingsFile.c_str();
}

// Copies the text into the field when it fits with its NUL; false, field unchanged, otherwise.
bool CopyCode(wchar_t* field, int units, const wchar_t* code)
{
    const size_t length = wcslen(code);
    if (length == 0 || length >= static_cast<size_t>(units))
        return false;
    wmemcpy(field, code, length + 1);
    return true;
}

// At most kTextUnits - 1 characters of the text.
NString CellText(const NString& text)
{
    return text.GetLength() < kTextUnits ? text : text.Left(kTextUnits - 1);
}

HBITMAP LoadFlag(const NString& folder, const wchar_t* code)
{
    NString path;
    path.Format(L"%s\\Flags\\%s.bmp", folder.c_str(), code);
    return static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 16, 16,
                                           LR_LOADFROMFILE | LR_CREATEDIBSECTION));
}

// Adds a fully transparent 16 x 16 picture to the image list.
void AddEmptyPicture(HIMAGELIST images)
{
    if (!images)
        return;
    const COLORREF key = RGB(255, 0, 255);
    MemoryDcOwner dc;
    BitmapOwner picture;
    {
        const WindowDc screen(nullptr);
        dc.Reset(CreateCompatibleDC(screen.Get()));
        picture.Reset(CreateCompatibleBitmap(screen.Get(), 16, 16));
    }
    if (dc && picture) {
        {
            ObjectSelection selection(dc.Get(), picture.Get());
            const BrushOwner brush(CreateSolidBrush(key));
            const RECT all = {0, 0, 16, 16};
            FillRect(dc.Get(), &all, brush.Get());
        }
        ImageList_AddMasked(images, picture.Get(), key);
    }
}

}  // namespace

LanguageSources& Language_Sources()
{
    static LanguageSources sources;
    return sources;
}

void Language_Initialize()
{
    LoadSettings(SettingsFile());
    NWinApp* app = NGetApp();
    if (!app)
        return;
    NLanguage* language = app->GetLanguage();
    const NString folder = ProgramFolder() + L"\\lang";
    language->Init(folder.c_str(), L"VST", L"polylex");

    if (GeneralDetectedLanguage == 0) {
        const LCID locale = Language_Sources().systemLocale ? Language_Sources().systemLocale : GetSystemDefaultLCID();
        const NString systemCode = LcidToLanguageCode(locale);
        // The system's code, cut to the field.
        const NString cut = systemCode.Left(kLanguageCodeUnits - 1);
        if (!cut.IsEmpty())
            wmemcpy(GeneralLanguageFile, cut.c_str(), static_cast<size_t>(cut.GetLength()) + 1);
        GeneralDetectedLanguage = 1;
    }

    if (!language->Load(GeneralLanguageFile) && !language->Load(L"en-us"))
        LogMessageBox(L"%s", L"Failed load en-us fall-back language?!?");
}

void Language_Uninitialize()
{
    NWinApp* app = NGetApp();
    if (app)
        app->GetLanguage()->Clear();
    SaveSettings(SettingsFile());
}

void SetMenuTitleText(HMENU menu, const wchar_t* key, UINT position)
{
    TranslateMenuItemByPosition(menu, key, position);
}

void SetMainMenuItemText(HMENU menu, const wchar_t* key, UINT commandId)
{
    TranslateMenuItemById(menu, key, commandId);
}

void TranslateLanguageWindowTitle(HWND window)
{
    TranslateWindowTitle(window, L"Dlg_Language");
}

LanguageDlg::LanguageDlg(HWND parent) : NDialog(kResourceId, parent) {}

LanguageDlg::~LanguageDlg() = default;

LRESULT LanguageDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    return NDialog::OnCommand(wParam, lParam);
}

INT_PTR LanguageDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return NDialog::DialogProc(window, message, wParam, lParam);
}

int LanguageDlg::OnInitDialog()
{
    LoadBackgroundImage(L"DlgBackground", true, false);
    m_okButton.AttachControl(IDOK, this, 0);

    HWND list = GetDlgItem(m_hWnd, IDC_LANGUAGE_LIST);
    NWinApp* app = NGetApp();
    NLanguage* language = app ? app->GetLanguage() : nullptr;

    // Headers in reverse column order: comment, code, author, language. A list without the
    // comment gets it in front; a list still too short takes the missing headers from English.
    std::vector<NString> headers;
    if (language)
        language->GetTextList(L"Dlg_Language", L"ListHeaders", headers);
    if (headers.size() == 3)
        headers.insert(headers.begin(), NString(L"Comment"));
    static const wchar_t* const kDefaultHeaders[4] = {L"Comment", L"Code", L"Author", L"Language"};
    for (size_t i = headers.size(); i < 4; ++i)
        headers.push_back(NString(kDefaultHeaders[i]));
    for (int entry = 0; entry < 4; ++entry) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = entry == 0 ? 105 - GetSystemMetrics(SM_CXVSCROLL) : 100;
        column.pszText = const_cast<wchar_t*>(headers[static_cast<size_t>(entry)].c_str());
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    }

    DWORD extended = LVS_EX_FULLROWSELECT;
    if (_wcsicmp(GeneralLanguageFile, L"zh-cn") != 0 && _wcsicmp(GeneralLanguageFile, L"zh-tw") != 0)
        extended |= LVS_EX_GRIDLINES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(extended));

    const NString folder = ProgramFolder();
    NLanguage files;
    const NString filesFolder = folder + L"\\Lang";
    files.Init(filesFolder.c_str(), L"VST", L"polylex");
    const std::vector<NString> codes = files.GetCodes();
    const int count = static_cast<int>(codes.size());
    // Handed to the list view below, which then owns it.
    ImageListOwner flags(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, count, 1));
    m_rowCodes.clear();

    for (int i = 0; i < count; ++i) {
        const NString& code = codes[static_cast<size_t>(i)];
        files.Load(code.c_str());
        NString name;
        name.Format(L"%s (%s)", files.GetText(L"Header", L"LanguageName", false).c_str(),
                    files.GetText(L"Header", L"LanguageNameLocal", false).c_str());
        name = CellText(name);
        const NString author = CellText(files.GetText(L"Header", L"Author", false));
        const NString codeCell = CellText(code);
        const NString comment = CellText(files.GetText(L"Header", L"Comment", false));

        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        item.iImage = i;
        const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        const NString* cells[3] = {&author, &codeCell, &comment};
        for (int sub = 1; sub <= 3; ++sub) {
            LVITEMW subItem = {};
            subItem.iSubItem = sub;
            subItem.pszText = const_cast<wchar_t*>(cells[sub - 1]->c_str());
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&subItem));
        }
        m_rowCodes.push_back(code);

        if (code.CompareNoCase(GeneralLanguageFile) == 0) {
            LVITEMW state = {};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
            SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
        }

        BitmapOwner flag(LoadFlag(folder, code.c_str()));
        if (!flag)
            flag.Reset(LoadFlag(folder, L"unknown"));
        if (!flags || !flag || ImageList_Add(flags.Get(), flag.Get(), nullptr) < 0) {
            Beep(200, 200);
            // An empty picture keeps image i on row i for the rows that follow.
            AddEmptyPicture(flags.Get());
        }
    }
    files.Clear();

    // A list the view held before goes.
    const ImageListOwner previous(reinterpret_cast<HIMAGELIST>(
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(flags.Release()))));
    int used = 0;
    for (int column = 0; column < 3; ++column) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
        used += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }
    // The comment column shows its whole texts: as wide as they need, at least the room left.
    const int least = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 3, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 3, LVSCW_AUTOSIZE);
    RECT client{};
    GetClientRect(list, &client);
    const int needed = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 3, 0));
    const int room = client.right - used;
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 3, std::max({least, needed, room}));
    SetFocus(list);
    return 0;
}

void LanguageDlg::ApplyLanguage()
{
    NWinApp* app = NGetApp();
    if (!app)
        return;
    TranslateWindowTitle(m_hWnd, L"Dlg_Language");
    const NString ok = app->GetLanguage()->GetText(L"Messages", L"Ok", false);
    if (!ok.IsEmpty())
        SetDlgItemTextW(m_hWnd, IDOK, ok.c_str());
}

int LanguageDlg::OnOK()
{
    HWND list = GetDlgItem(m_hWnd, IDC_LANGUAGE_LIST);
    const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                  MAKELPARAM(LVNI_FOCUSED | LVNI_SELECTED, 0)));
    if (row >= 0) {
        wchar_t code[kCodeBufferUnits] = {};
        LVITEMW item = {};
        item.iSubItem = 2;
        item.pszText = code;
        item.cchTextMax = kCodeBufferUnits;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        // A code too long for the stored field is not taken (it would be stored cut).
        if (_wcsicmp(code, GeneralLanguageFile) != 0 && CopyCode(GeneralLanguageFile, kLanguageCodeUnits, code)) {
            Language_Uninitialize();
            Language_Initialize();
            if (m_hParent)
                PostMessageW(m_hParent, kLanguageChangedMessage, 0, 0);
        }
    }
    EndDialog(1);
    return 1;
}
