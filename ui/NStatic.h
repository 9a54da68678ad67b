// Skinned static controls: NStatic (a label drawn transparently over the dialog's background in
// the skin's or its own colour), NMenuStatic (a label behaving like a menu title), NHyperLink (a
// label that opens its target with the shell) and NGroupBox (an owner-drawn group frame kept at the
// bottom of the z-order).
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "base/NString.h"
#include "ui/NWindow.h"

class NStatic : public NWindow {
public:
    NStatic();
    ~NStatic() override;

    bool AttachDlgItem(int controlId, NWindow* parent) override;
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    bool SetFont(HFONT font) override;

    virtual void DrawItem(DRAWITEMSTRUCT* item);
    virtual void SetTextColor(COLORREF colour);
    virtual void SetBold(bool on);
    virtual void SetItalic(bool on);
    virtual void SetUnderline(bool on);
    virtual void CreateFont();
    virtual void DeleteFont();

    LRESULT SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap();
    LRESULT SetIcon(HICON icon);
    HICON GetIcon();
    LRESULT SetCursorImage(HCURSOR cursor);
    HCURSOR GetCursorImage();
    LRESULT SetMetafile(HENHMETAFILE metafile);
    HENHMETAFILE GetMetafile();

    bool HasOwnColour() const { return m_ownColour; }
    COLORREF GetOwnColour() const { return m_textColour; }

protected:
    // The text colour of the reflected WM_CTLCOLORSTATIC.
    virtual COLORREF TextColour();
    void ClearFlags();
    // LOGFONT of the control's current font; false without one.
    bool CurrentLogFont(LOGFONTW& font) const;

    FontOwner m_font;
    bool m_ownColour;
    COLORREF m_textColour;
    bool m_bold;
    bool m_italic;
    bool m_underline;
};

// What the menu-title static and the hyperlink share: a hand cursor, a normal font and its
// underlined twin shown while the pointer rests on the control, and clicks (or a released space
// bar) that activate it.
class NHoverStatic : public NStatic {
public:
    bool AttachDlgItem(int controlId, NWindow* parent) override;
    bool SetFont(HFONT font) override;
    void OnCreate() override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void DeleteFont() override;

    HFONT GetNormalFont() const { return m_normalFont.Get(); }
    HFONT GetHoverFont() const { return m_hoverFont.Get(); }
    bool IsHovered() const { return m_hover; }

protected:
    NHoverStatic();
    // Makes the normal font and its underlined twin from font and takes the hand cursor.
    void MakeHoverFonts(const LOGFONTW& font);
    // A click or a released space bar.
    virtual void OnActivate() {}

    bool m_tracking;
    bool m_hover;
    HCURSOR m_cursor;
    FontOwner m_hoverFont;
    FontOwner m_normalFont;
};

// A static that behaves like a menu title: hand cursor, underlined while hovered.
class NMenuStatic : public NHoverStatic {
public:
    NMenuStatic();

    void PreCreateWindow(CREATESTRUCTW& cs) override;
    void SetBold(bool on) override;
    void SetItalic(bool on) override;
    void SetUnderline(bool on) override;
    void CreateFont() override;

protected:
    COLORREF TextColour() override;
};

// A static that opens its target (by default its own text) with the shell.
class NHyperLink : public NHoverStatic {
public:
    NHyperLink();

    void PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnCreate() override;
    void CreateFont() override;

    void SetUrl(const wchar_t* target);
    const NString& GetUrl() const { return m_target; }
    bool IsVisited() const { return m_visited; }
    // Opens the target; the link shows as visited once the shell has opened it.
    bool Open();

protected:
    COLORREF TextColour() override;
    void OnActivate() override;
    // ShellExecuteExW with the default verb; tests replace it.
    virtual bool ShellOpen(const wchar_t* target);

    bool m_visited;
    NString m_target;
};

class NGroupBox : public NWindow {
public:
    NGroupBox();

    bool AttachDlgItem(int controlId, NWindow* parent) override;
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void DrawItem(DRAWITEMSTRUCT* item);
};
