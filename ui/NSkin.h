// NSkin: the look of the window framework. A skin is a folder "Skins\<name>" beside the program
// holding "<name>.ini" (section "Skin": colours, integers, font flags, read anew on every call)
// and the pictures "<name><Picture>.png" / ".jpg". Fifteen control pictures are loaded, scaled
// and premultiplied once per load. A loaded skin installs itself as the framework's current skin
// (CurrentSkin) and puts the one before back when it is unloaded.
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "imaging/NImageBuffer.h"
#include "ui/SkinSeam.h"

class NComboBox;

class NSkin : public SkinSeam {
public:
    NSkin();
    ~NSkin() override;
    NSkin(const NSkin&) = delete;
    NSkin& operator=(const NSkin&) = delete;

    // False for a null name or a skin whose paths do not fit in MAX_PATH; a missing folder, ini
    // file or picture is no failure (defaults and empty pictures).
    bool Load(const wchar_t* skinName);
    void Unload();
    bool IsLoaded() const { return m_loaded; }

    // Six hex digits RRGGBB (either case); a missing key or a malformed value gives white.
    COLORREF GetColor(const wchar_t* key) override;
    // GetPrivateProfileIntW with the default 16.
    int GetInt(const wchar_t* key);
    // A font on the base of the system's message font: sizeKey in points (default 16), boldKey 1
    // for weight 600, italicKey / underlineKey non-zero to switch the style on (missing: off).
    // Null keys leave that property at its default; the key "FontName" names the face (else the
    // message font's). The caller owns the font.
    HFONT CreateSkinFont(const wchar_t* sizeKey, const wchar_t* boldKey, const wchar_t* italicKey,
                         const wchar_t* underlineKey);
    // The skin's ini file and the skins folder ("<program folder>\Skins"): remembered at load, else
    // made from the current name; cut to the buffer.
    void GetIniPath(wchar_t* buffer, int size);
    void GetFolder(wchar_t* buffer, int size);

    // The path of the skin's picture "<name><picture name><extension>"; false when it does not fit.
    bool GetPicturePath(wchar_t* buffer, int size, const wchar_t* name, const wchar_t* extension);
    bool LoadPng(NImageBuffer& picture, const wchar_t* name, bool scale);
    bool LoadJpg(NImageBuffer& picture, const wchar_t* name, bool scale) override;

    HBRUSH OnCtlColor(HWND parent, UINT message, HDC dc, HWND control, const NImageBuffer* background,
                      COLORREF staticTextColour) override;

    // Painters (SkinPainters.cpp). Flags are the owner-draw item states (ODS_*).
    void DrawButtonIcon(int index, UINT flags, HDC dc, int x, int y);
    // The push button and the closed combo box (ControlPainters.cpp).
    void DrawButton(HWND button, HDC dc, UINT flags, const RECT* item, int iconIndex, bool dropDown);
    void DrawComboBoxHead(NComboBox& comboBox, HDC dc, const RECT* rc);
    void DrawCheckBox(HWND control, HDC dc, UINT flags, const RECT* item, COLORREF disabled, COLORREF checked,
                      COLORREF normal);
    void DrawRadioItem(HWND control, HDC dc, UINT flags, const RECT* item, COLORREF disabled, COLORREF checked,
                       COLORREF normal);
    void DrawSwitchBox(HWND control, HDC dc, UINT flags, const RECT* item, COLORREF disabled, COLORREF checked,
                       COLORREF normal, COLORREF hover);
    void DrawGroupBox(HWND control, HDC dc, const RECT* rc);
    void DrawTrackBar(HWND control, HDC dc, const RECT* rc);
    void DrawSlideShowControl(int index, HDC dc, UINT flags, int x, int y);
    void DrawPlayerButton(int index, HDC dc, UINT flags);
    void DrawPlayerImage(int index, HDC dc, UINT flags, int x, int y, const NImageBuffer* picture);
    // A picture painted with DrawGradient (its direction codes). The caller owns the bitmap.
    HBITMAP MakeGradientBitmap(int width, int height, COLORREF colour1, COLORREF colour2, int direction);

    HBRUSH GetWindowBrush() const { return m_windowBrush.Get(); }
    COLORREF GetEditTextColor() const { return m_editTextColour; }
    COLORREF GetStaticTextColor() const { return m_staticTextColour; }
    const wchar_t* GetName() const { return m_name; }

    int16_t playerButtonWidth, playerButtonHeight, playerImageWidth, playerImageHeight;
    NImageBuffer player;
    int16_t slideShowCellWidth, slideShowCellHeight;
    NImageBuffer slideShowControls;
    NImageBuffer button;
    NImageBuffer buttonIcons;
    int16_t iconCellWidth, iconCellHeight;
    NImageBuffer checkBox;
    int16_t checkBoxFrameWidth, checkBoxFrameHeight;
    NImageBuffer switchBox;
    int16_t switchBoxFrameWidth, switchBoxFrameHeight;
    NImageBuffer radioItem;
    int16_t radioFrameWidth, radioFrameHeight;
    NImageBuffer trackBar, trackBarThumb, groupBox, toolbarButtonBackHover, toolbarButtonBackPressed,
        backgroundStatusBar, grabber, comboBoxDropDown;

protected:
    // The Alt key held down (GetAsyncKeyState); tests replace it.
    virtual bool IsAltDown();

private:
    // Computes the folder or ini path from the current name; false when it does not fit.
    bool ComputeFolder(wchar_t* buffer, int size);
    bool ComputeIniPath(wchar_t* buffer, int size);
    bool LoadPicture(NImageBuffer& picture, const wchar_t* name, const wchar_t* extension, bool scale);

    BrushOwner m_windowBrush;
    COLORREF m_editTextColour;
    COLORREF m_staticTextColour;
    wchar_t m_name[MAX_PATH];
    wchar_t m_folder[MAX_PATH];
    wchar_t m_iniPath[MAX_PATH];
    bool m_inSubFolder;
    bool m_loaded;
    SkinSeam* m_previous;  // the current skin before this one was loaded
};

// Parses RRGGBB (hex, either case) into a COLORREF; false for a short or malformed value.
bool ParseSkinColour(const wchar_t* text, COLORREF& colour);
