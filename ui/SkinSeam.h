// Where the windows, dialogs and the message box ask the skin for colours, control brushes and
// background pictures. The base class answers as a skin that is not loaded: no brush (the caller
// colours the control otherwise), white for every colour (the default of a missing colour key) and
// no picture. The skin manager installs itself here; tests may install a stand-in.
#pragma once
#include <windows.h>

class NImageBuffer;

// The static text colour that stands for the skin's own (see OnCtlColor).
inline constexpr COLORREF kSkinStaticTextColour = 0xFF00FF;

class SkinSeam {
public:
    virtual ~SkinSeam() = default;
    // The answer to WM_CTLCOLOR* of a control that does not paint itself. background is the
    // parent dialog's picture or null; kSkinStaticTextColour stands for the skin's own.
    virtual HBRUSH OnCtlColor(HWND parent, UINT message, HDC dc, HWND control, const NImageBuffer* background,
                              COLORREF staticTextColour);
    virtual COLORREF GetColor(const wchar_t* key);
    // Loads the skin's JPEG picture of that name; scale: fit it to the display's DPI.
    virtual bool LoadJpg(NImageBuffer& picture, const wchar_t* name, bool scale);
};

// The installed skin, or the unloaded default. Never null.
SkinSeam& CurrentSkin();
// Installs a skin (not owned; it must outlive its use); null restores the unloaded default.
// Answers the one installed before.
SkinSeam* SetCurrentSkin(SkinSeam* skin);
