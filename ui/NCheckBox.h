// NCheckBox and NRadioItem: skinned check box and radio button. Each attaches to a button item of
// a dialog template, makes it owner-drawn and paints it through the skin's painters when the parent
// reflects WM_DRAWITEM. The control keeps the checked state itself: it flips on every click the
// button reports (BN_CLICKED, from the mouse or the keyboard), before the parent's own handler
// reads it.
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "ui/NWindow.h"

class NCheckBox : public NWindow {
public:
    NCheckBox();
    ~NCheckBox() override;

    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCommandReflect(WPARAM wParam, LPARAM lParam) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    bool SetFont(HFONT font) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // initialState 1 checks the box; any other value leaves it unchecked.
    virtual bool AttachControl(int id, NWindow* parent, int initialState);
    virtual LRESULT Click();
    virtual LRESULT SetButtonStyle(DWORD style);
    // own false: the skin's colours, with the frame colour equal to the checked colour.
    virtual void SetTextColors(bool own, COLORREF disabled, COLORREF checked, COLORREF normal, COLORREF frame);
    virtual void SetBold(bool on);
    virtual void SetItalic(bool on);
    virtual void SetUnderline(bool on);
    virtual void SetAnimated(bool on);
    virtual void SetHoverFrame(bool on);
    virtual void DrawItem(DRAWITEMSTRUCT* item);
    virtual void CreateFont();
    virtual void DeleteFont();
    // The switch-box look (a cross-fade between the normal and the hover look).
    void DrawSwitchItem(DRAWITEMSTRUCT* item);

    bool GetCheck() const { return checked; }
    COLORREF GetDisabledColour() const { return m_disabledColour; }
    COLORREF GetCheckedColour() const { return m_checkedColour; }
    COLORREF GetNormalColour() const { return m_normalColour; }
    COLORREF GetFrameColour() const { return m_frameColour; }
    HFONT GetOwnFont() const { return m_font.Get(); }
    bool IsHovered() const { return m_hover; }

    // Callers may write it directly and then repaint the control.
    bool checked;

protected:
    virtual const wchar_t* const* ColourKeys() const;
    // Flags for painting: disabled, else hot when the cursor is over the control, plus the item's.
    UINT ItemFlags(const DRAWITEMSTRUCT* item) const;
    void ResetState();

    FontOwner m_font;
    bool m_bold;
    bool m_italic;
    bool m_underline;
    COLORREF m_disabledColour;
    COLORREF m_checkedColour;
    COLORREF m_normalColour;
    COLORREF m_frameColour;
    bool m_tracking;
    bool m_hover;
    bool m_animated;
    DWORD m_animationStart;
    int m_alpha;
    bool m_hoverFrame;
};

class NRadioItem : public NCheckBox {
public:
    void DrawItem(DRAWITEMSTRUCT* item) override;

protected:
    const wchar_t* const* ColourKeys() const override;
};
