// NDialogFancy: a dialog with a skinned frame around it (the skin picture "DialogFancyBorder" cut
// into corners and stretched edges, the dialog's title in its top band) and a pointer picture
// ("DialogFancyPointer") above it, both layered popups that follow the dialog. The dialog can be
// dragged by its body and, when asked to, closes itself once it loses activation to a window that
// is not its own while the cursor is outside it.
#pragma once
#include <windows.h>

#include "ui/NDialog.h"
#include "ui/NWindowLayered.h"

class NDialogFancy : public NDialog {
public:
    NDialogFancy(int resourceId, HWND parent);

    // Where the dialog shows (screen coordinates); -1, -1: where the dialog frame centres it.
    void SetInitialPosition(int x, int y)
    {
        m_initialX = x;
        m_initialY = y;
    }
    void SetCloseWhenDeactivated(bool close) { m_closeWhenDeactivated = close; }

    // Builds the border and pointer popups around the dialog.
    void MakeFrame();
    // Moves the dialog to its initial position, activates it and shows both popups.
    void ShowFrame();
    // Centres the border on the dialog again and puts the pointer above it.
    void PlaceFrame();
    void DestroyFrame();

    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    void OnDlgMove() override;
    void OnDlgDestroy() override;

    HWND GetBorderWindow() const { return m_border.GetHwnd(); }
    HWND GetPointerWindow() const { return m_pointer.GetHwnd(); }
    const NImageBuffer& GetBorderPicture() const { return m_border.picture; }

private:
    NWindowLayered m_border;
    bool m_borderMade = false;
    NWindowLayered m_pointer;
    int m_initialX = -1;
    int m_initialY = -1;
    bool m_closeWhenDeactivated = false;
};
