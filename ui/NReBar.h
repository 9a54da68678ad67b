// NReBar: a thin wrapper of the common-controls rebar ("ReBarWindow32"). Bands are managed through
// the RB_* messages; after the control has painted, a two-pixel strip in the skin's tool-bar colour
// is drawn along its left edge. The window is made with the system class itself (no superclass):
// its parent reflects the rebar's notifications to the object.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include "ui/NWindow.h"

class NReBar : public NWindow {
public:
    NReBar();
    ~NReBar() override;

    // NM_CUSTOMDRAW goes to CustomDraw, whose result it answers; other notifications answer 0.
    LRESULT OnNotifyReflect(WPARAM wParam, NMHDR* header) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;

    virtual bool DeleteBand(int index);
    // The index of the band whose child window is child (the last such band), -1 for a null
    // child, a rebar without bands or when no band holds it.
    virtual int FindBand(HWND child);
    virtual int GetBandCount();
    // These fill in the record's size themselves.
    virtual bool GetBandInfo(int index, REBARBANDINFOW* info);
    virtual bool GetBarInfo(REBARINFO* info);
    virtual bool InsertBand(int index, REBARBANDINFOW* info);
    // Fixes the band's child height (least and largest) and maximises the band.
    virtual void SetBandHeight(int index, int height);
    virtual bool SetBandColors(int index, COLORREF foreground, COLORREF background);
    virtual bool SetBandBitmap(int index, HBITMAP bitmap);
    virtual bool SetBandInfo(int index, REBARBANDINFOW* info);
    virtual bool SetBarInfo(REBARINFO* info);
    virtual bool ShowBand(int index, bool show);
    virtual void CustomDraw(NMCUSTOMDRAW* draw, LRESULT* result);

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
};
