// NButton: the skinned push button. It attaches to a button item of a dialog template, makes it
// owner-drawn and paints it when the parent reflects WM_DRAWITEM: through the skin's painter, or
// through its own painter once it has a five-frame picture of its own. Hovering fades between the
// normal and the hover look (250 ms); a default button (id 1 or 6) pulses between them (800 ms a
// phase). An embedded tool tip can show the full caption of a button too narrow for it.
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "imaging/NImageBuffer.h"
#include "ui/NToolTip.h"
#include "ui/NWindow.h"

class NButton : public NWindow {
public:
    enum { kFadeTimer = 1, kPulseTimer = 2 };

    NButton();
    ~NButton() override;

    HWND Detach() override;
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    bool SetFont(HFONT font) override;
    void OnCreate() override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // iconIndex: -1 none, -2 a colour swatch, else the icon of the skin's "ButtonIcons" strip.
    virtual bool AttachControl(int id, NWindow* parent, int iconIndex);
    virtual LRESULT Click();
    virtual LRESULT GetCheck();
    virtual LRESULT SetCheck(int state);
    virtual HICON GetIcon();
    virtual HICON SetIcon(HICON icon);
    virtual HBITMAP GetBitmap();
    virtual HBITMAP SetBitmap(HBITMAP bitmap);
    virtual LRESULT GetState();
    virtual LRESULT SetState(int state);
    virtual LRESULT SetButtonStyle(DWORD style);
    virtual void SetIconIndex(int index);
    virtual void SetAnimated(bool animated);
    virtual void SetSwatchColor(COLORREF colour);
    virtual COLORREF GetSwatchColor() const;
    virtual void SetPicture(const NImageBuffer& picture);
    virtual void SetSideImage(const NImageBuffer& picture);
    virtual void SetPulse(bool on);
    virtual void EnableToolTip(bool on);
    virtual void SetToolTipText(const wchar_t* text);
    virtual void SetFlat(bool flat);
    virtual void SetTextColors(COLORREF normal, COLORREF hover, COLORREF disabled);
    virtual void SetHoverFrame(bool on);
    virtual void DrawItem(DRAWITEMSTRUCT* item);
    // The button's own painter (its five-frame picture).
    virtual void Paint(HWND window, HDC dc, UINT flags, const RECT* rect, int iconIndex);
    virtual void CreateFonts();
    virtual void DeleteFonts();

    // Blend weights of the fade and the pulse after elapsed milliseconds, always 0..255.
    static int FadeAlpha(DWORD elapsed);
    static int PulseAlpha(DWORD elapsed, bool rising);

    int GetAlpha() const { return m_alpha; }
    bool IsPulsing() const { return m_pulse; }
    bool IsHovered() const { return m_hover; }
    int GetIconIndex() const { return m_iconIndex; }
    NToolTip& GetToolTip() { return m_toolTip; }

protected:
    // The tick count the animations run on.
    virtual DWORD Now();

private:
    void ResetState();
    void StartPulse(bool rising);
    void PaintLook(HDC dc, UINT flags, const RECT* rect);

    bool m_tracking;
    bool m_hover;
    int m_iconIndex;
    COLORREF m_swatchColour;
    bool m_animated;
    DWORD m_animationStart;
    int m_alpha;
    bool m_pulse;
    bool m_pulseRising;
    NImageBuffer m_picture;
    bool m_ownPainting;
    NToolTip m_toolTip;
    bool m_flat;
    FontOwner m_hoverFont;
    FontOwner m_normalFont;
    bool m_ownColours;
    COLORREF m_textColour;
    COLORREF m_hoverTextColour;
    COLORREF m_disabledTextColour;
    bool m_hoverFrame;
    NImageBuffer m_sideImage;
};
