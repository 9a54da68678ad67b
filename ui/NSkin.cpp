#include "ui/NSkin.h"

#include "base/Dpi.h"
#include "base/ExePath.h"
#include "imagefile/ImageFactory.h"
#include "ui/SkinPainters.h"

namespace {

const wchar_t kSection[] = L"Skin";

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// Bounded copy; false when the text had to be cut.
bool CopyText(wchar_t* buffer, int size, const wchar_t* text)
{
    if (!buffer || size <= 0)
        return false;
    const int length = lstrlenW(text);
    const int kept = length < size ? length : size - 1;
    CopyMemory(buffer, text, kept * sizeof(wchar_t));
    buffer[kept] = 0;
    return kept == length;
}

// Appends "\" (when missing) and the part; false when the result does not fit.
bool AppendPart(wchar_t* path, int size, const wchar_t* part)
{
    const int length = lstrlenW(path);
    const bool slash = length > 0 && path[length - 1] != L'\\';
    const int total = length + (slash ? 1 : 0) + lstrlenW(part);
    if (total >= size)
        return false;
    if (slash)
        lstrcatW(path, L"\\");
    lstrcatW(path, part);
    return true;
}

bool IsClass(const wchar_t* className, const wchar_t* name)
{
    return lstrcmpiW(className, name) == 0;
}

}  // namespace

bool ParseSkinColour(const wchar_t* text, COLORREF& colour)
{
    if (!text)
        return false;
    int channels[3];
    for (int i = 0; i < 3; ++i) {
        const int high = HexDigit(text[2 * i]);
        if (high < 0)
            return false;
        const int low = HexDigit(text[2 * i + 1]);
        if (low < 0)
            return false;
        channels[i] = high * 16 + low;
    }
    colour = RGB(channels[0], channels[1], channels[2]);
    return true;
}

NSkin::NSkin()
    : playerButtonWidth(0), playerButtonHeight(0), playerImageWidth(0), playerImageHeight(0),
      slideShowCellWidth(0), slideShowCellHeight(0), iconCellWidth(0), iconCellHeight(0),
      checkBoxFrameWidth(0), checkBoxFrameHeight(0), switchBoxFrameWidth(0), switchBoxFrameHeight(0),
      radioFrameWidth(0), radioFrameHeight(0), m_editTextColour(0),
      m_staticTextColour(0), m_name{}, m_folder{}, m_iniPath{}, m_inSubFolder(true), m_loaded(false),
      m_previous(nullptr)
{
}

NSkin::~NSkin()
{
    Unload();
}

bool NSkin::ComputeFolder(wchar_t* buffer, int size)
{
    NString program;
    if (!GetExeDirectory(program) || program.GetLength() == 0)
        return false;
    wchar_t folder[MAX_PATH] = {};
    if (!CopyText(folder, MAX_PATH, program.c_str()) || !AppendPart(folder, MAX_PATH, L"Skins"))
        return false;
    return CopyText(buffer, size, folder);
}

bool NSkin::ComputeIniPath(wchar_t* buffer, int size)
{
    wchar_t path[MAX_PATH] = {};
    if (!ComputeFolder(path, MAX_PATH))
        return false;
    if (m_inSubFolder && !AppendPart(path, MAX_PATH, m_name))
        return false;
    wchar_t file[MAX_PATH + 8] = {};
    lstrcpynW(file, m_name, MAX_PATH);
    lstrcatW(file, L".ini");
    if (!AppendPart(path, MAX_PATH, file))
        return false;
    return CopyText(buffer, size, path);
}

// Both answer the remembered path of a loaded skin, else the one of the current name ("" when it
// does not fit), cut to the buffer.
void NSkin::GetFolder(wchar_t* buffer, int size)
{
    wchar_t folder[MAX_PATH] = {};
    if (m_loaded)
        lstrcpynW(folder, m_folder, MAX_PATH);
    else if (!ComputeFolder(folder, MAX_PATH))
        folder[0] = 0;
    CopyText(buffer, size, folder);
}

void NSkin::GetIniPath(wchar_t* buffer, int size)
{
    wchar_t path[MAX_PATH] = {};
    if (m_loaded)
        lstrcpynW(path, m_iniPath, MAX_PATH);
    else if (!ComputeIniPath(path, MAX_PATH))
        path[0] = 0;
    CopyText(buffer, size, path);
}

COLORREF NSkin::GetColor(const wchar_t* key)
{
    wchar_t ini[MAX_PATH];
    GetIniPath(ini, MAX_PATH);
    COLORREF colour = RGB(0xFF, 0xFF, 0xFF);
    if (!key || ini[0] == 0)
        return colour;
    wchar_t value[10] = {};
    GetPrivateProfileStringW(kSection, key, L"FFFFFF", value, 10, ini);
    ParseSkinColour(value, colour);
    return colour;
}

int NSkin::GetInt(const wchar_t* key)
{
    wchar_t ini[MAX_PATH];
    GetIniPath(ini, MAX_PATH);
    if (!key || ini[0] == 0)
        return 16;
    return static_cast<int>(GetPrivateProfileIntW(kSection, key, 16, ini));
}

HFONT NSkin::CreateSkinFont(const wchar_t* sizeKey, const wchar_t* boldKey, const wchar_t* italicKey,
                            const wchar_t* underlineKey)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    if (font.lfFaceName[0] == 0)
        lstrcpyW(font.lfFaceName, L"Liberation Sans");
    wchar_t ini[MAX_PATH];
    GetIniPath(ini, MAX_PATH);
    wchar_t face[LF_FACESIZE] = {};
    if (GetPrivateProfileStringW(kSection, L"FontName", L"", face, LF_FACESIZE, ini) > 0)
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    if (sizeKey) {
        const int points = static_cast<int>(GetPrivateProfileIntW(kSection, sizeKey, 16, ini));
        font.lfHeight = -MulDiv(points, GetDesktopDpi(), 72);
    }
    if (boldKey)
        font.lfWeight = GetPrivateProfileIntW(kSection, boldKey, 0, ini) == 1 ? 600 : 400;
    if (italicKey)
        font.lfItalic = GetPrivateProfileIntW(kSection, italicKey, 0, ini) != 0;
    if (underlineKey)
        font.lfUnderline = GetPrivateProfileIntW(kSection, underlineKey, 0, ini) != 0;
    font.lfQuality = CLEARTYPE_QUALITY;
    return CreateFontIndirectW(&font);
}

bool NSkin::GetPicturePath(wchar_t* buffer, int size, const wchar_t* name, const wchar_t* extension)
{
    if (!buffer || size < 1 || !name || !extension)
        return false;
    buffer[0] = 0;
    wchar_t path[MAX_PATH] = {};
    GetFolder(path, MAX_PATH);
    if (m_inSubFolder && !AppendPart(path, MAX_PATH, m_name))
        return false;
    wchar_t file[3 * MAX_PATH] = {};
    lstrcpynW(file, m_name, MAX_PATH);
    lstrcatW(file, name);
    lstrcatW(file, extension);
    if (lstrlenW(file) >= MAX_PATH || !AppendPart(path, MAX_PATH, file) || lstrlenW(path) >= size)
        return false;
    lstrcpynW(buffer, path, size);
    return true;
}

bool NSkin::LoadPicture(NImageBuffer& picture, const wchar_t* name, const wchar_t* extension, bool scale)
{
    wchar_t path[MAX_PATH] = {};
    if (!GetPicturePath(path, MAX_PATH, name, extension))
        return false;
    const FileType type = lstrcmpiW(extension, L".png") == 0 ? FT_PNG : FT_JPG;
    if (LoadImageIntoBitmap(picture, path, 0, 0, nullptr, type) != NR_OK)
        return false;
    if (scale)
        picture.ScaleForDpi(true);
    return true;
}

bool NSkin::LoadPng(NImageBuffer& picture, const wchar_t* name, bool scale)
{
    return LoadPicture(picture, name, L".png", scale);
}

bool NSkin::LoadJpg(NImageBuffer& picture, const wchar_t* name, bool scale)
{
    return LoadPicture(picture, name, L".jpg", scale);
}

bool NSkin::Load(const wchar_t* skinName)
{
    if (!skinName)
        return false;
    if (m_loaded)
        Unload();
    if (lstrlenW(skinName) >= MAX_PATH)
        return false;
    lstrcpynW(m_name, skinName, MAX_PATH);
    // A skin whose files cannot be named within MAX_PATH is refused rather than read from a cut path.
    if (!ComputeFolder(m_folder, MAX_PATH) || !ComputeIniPath(m_iniPath, MAX_PATH)) {
        m_name[0] = m_folder[0] = m_iniPath[0] = 0;
        return false;
    }
    m_windowBrush.Reset(CreateSolidBrush(GetColor(L"AppWindowBackColor")));
    m_editTextColour = GetColor(L"AppEditTextColor");
    m_staticTextColour = GetColor(L"AppStaticTextColor");

    auto load = [this](NImageBuffer& picture, const wchar_t* name, bool scale) {
        if (LoadPng(picture, name, scale))
            picture.PremultiplyAlpha();
        else
            picture.Destroy();
    };
    auto toInt16 = [](int value) { return static_cast<int16_t>(value); };
    load(button, L"Button", false);
    load(checkBox, L"CheckBox", true);
    checkBoxFrameWidth = toInt16(checkBox.valid ? checkBox.width / 3 : 0);
    checkBoxFrameHeight = toInt16(checkBox.valid ? checkBox.height : 0);
    load(switchBox, L"SwitchBox", true);
    switchBoxFrameWidth = toInt16(switchBox.valid ? switchBox.width / 3 : 0);
    switchBoxFrameHeight = toInt16(switchBox.valid ? switchBox.height : 0);
    load(radioItem, L"RadioItem", true);
    radioFrameWidth = toInt16(radioItem.valid ? radioItem.width / 2 : 0);
    radioFrameHeight = toInt16(radioItem.valid ? radioItem.height : 0);
    load(buttonIcons, L"ButtonIcons", true);
    iconCellWidth = iconCellHeight = toInt16(ScalePixelsForDpi(16));
    load(player, L"Player", true);
    playerButtonWidth = toInt16(ScalePixelsForDpi(GetInt(L"cxPlayerButton")));
    playerButtonHeight = toInt16(ScalePixelsForDpi(GetInt(L"cyPlayerButton")));
    playerImageWidth = toInt16(ScalePixelsForDpi(GetInt(L"cxPlayerImage")));
    playerImageHeight = toInt16(ScalePixelsForDpi(GetInt(L"cyPlayerImage")));
    load(slideShowControls, L"SlideShowControls", true);
    slideShowCellWidth = toInt16(slideShowControls.valid ? slideShowControls.width / 11 : 0);
    slideShowCellHeight = toInt16(slideShowControls.valid ? slideShowControls.height / 4 : 0);
    load(groupBox, L"Groupbox", false);
    load(toolbarButtonBackHover, L"ToolbarButtonBackHover", false);
    load(toolbarButtonBackPressed, L"ToolbarButtonBackPressed", false);
    load(grabber, L"Grabber", false);
    load(backgroundStatusBar, L"BackgroundStatusBar", false);
    load(trackBar, L"TrackBar", false);
    load(trackBarThumb, L"TrackBarThumb", false);
    load(comboBoxDropDown, L"ComboBoxDropDown", false);
    m_loaded = true;
    SkinSeam* before = SetCurrentSkin(this);
    if (before != this)
        m_previous = before;
    return true;
}

void NSkin::Unload()
{
    playerButtonWidth = playerButtonHeight = playerImageWidth = playerImageHeight = 0;
    for (NImageBuffer* picture : {&player, &slideShowControls, &button, &buttonIcons, &checkBox, &switchBox,
                                  &radioItem, &trackBar, &trackBarThumb, &groupBox, &toolbarButtonBackHover,
                                  &toolbarButtonBackPressed, &backgroundStatusBar, &grabber, &comboBoxDropDown})
        picture->Destroy();
    m_windowBrush.Reset();
    m_name[0] = m_folder[0] = m_iniPath[0] = 0;
    m_loaded = false;
    if (&CurrentSkin() == this)
        SetCurrentSkin(m_previous);
    m_previous = nullptr;
}

bool NSkin::IsAltDown()
{
    return GetAsyncKeyState(VK_MENU) < 0;
}

HBRUSH NSkin::OnCtlColor(HWND, UINT message, HDC dc, HWND control, const NImageBuffer* background,
                         COLORREF staticTextColour)
{
    if (!m_loaded)
        return nullptr;
    wchar_t className[260] = {};
    GetClassNameW(control, className, 260);
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    switch (message) {
    case WM_CTLCOLOREDIT:
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, m_editTextColour);
        return GetSysColorBrush(COLOR_WINDOW);
    case WM_CTLCOLORLISTBOX:
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, m_editTextColour);
        return GetSysColorBrush(COLOR_WINDOW);
    case WM_CTLCOLORDLG:
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, m_editTextColour);
        return m_windowBrush.Get();
    case WM_CTLCOLORSCROLLBAR:
        return m_windowBrush.Get();
    case WM_CTLCOLORSTATIC: {
        SetTextColor(dc, staticTextColour == kSkinStaticTextColour ? m_staticTextColour : staticTextColour);
        SetBkMode(dc, TRANSPARENT);
        RECT client = {};
        GetClientRect(control, &client);
        if (IsClass(className, L"EDIT") && background && background->valid)
            CopyBackgroundUnder(control, dc, *background, client.right, client.bottom);
        if (IsAltDown()) {
            SetBkMode(dc, TRANSPARENT);
            return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        }
        if (!background)
            return m_windowBrush.Get();
        break;
    }
    default:
        break;
    }
    if (IsClass(className, L"msctls_trackbar32")) {
        SetTextColor(dc, m_staticTextColour);
        SetBkMode(dc, TRANSPARENT);
        if (IsAltDown() && background)
            return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    if (IsClass(className, L"COMBOBOX")) {
        SetTextColor(dc, m_editTextColour);
        return GetSysColorBrush(COLOR_WINDOW);
    }
    if (IsClass(className, L"BUTTON") && (style & 7) == BS_GROUPBOX) {
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    SetBkMode(dc, TRANSPARENT);
    if (!background || !background->valid)
        return m_windowBrush.Get();
    if (IsClass(className, L"BUTTON") || IsClass(className, L"STATIC") || IsClass(className, L"msctls_trackbar32")) {
        RECT client = {};
        GetClientRect(control, &client);
        CopyBackgroundUnder(control, dc, *background, client.right, client.bottom);
    }
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}
