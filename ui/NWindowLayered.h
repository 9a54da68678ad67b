// NWindowLayered: a popup window that shows one 32-bit picture with per-pixel alpha (premultiplied)
// and one alpha for the whole window, through UpdateLayeredWindow. The busy overlays and the fancy
// dialog's frame are made of it.
#pragma once
#include <windows.h>

#include "imaging/NImageBuffer.h"
#include "ui/NWindow.h"

class NWindowLayered : public NWindow {
public:
    // A layered popup (WS_POPUP, WS_EX_LAYERED); Create adds the caller's styles.
    void PreCreateWindow(CREATESTRUCTW& cs) override;

    // Shows the picture (its top-left part when larger than the window) at the window's place
    // with the global alpha clamped to 0..255. False without a valid picture, without a window or
    // when the window has no area; a failing UpdateLayeredWindow is logged and the window keeps
    // its previous look. May be called from any thread.
    bool UpdateLayered(int alpha);

    static BYTE ClampAlpha(int alpha) { return static_cast<BYTE>(alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha)); }

    NImageBuffer picture;   // 32 bpp, premultiplied; as large as the window
};

// UpdateLayeredWindow of the window with the whole of source's device context (at 0, 0) and the
// given alpha; the window keeps its place and takes the source's size. Logs a failure with the
// caller's name. Shared by the layered windows of the framework.
bool ShowLayeredPicture(HWND window, const NImageBuffer& source, int alpha, const wchar_t* caller);
