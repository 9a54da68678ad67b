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

// A static that behaves like a menu title: hand cursor, underlined while hovered.
class NMenuStatic : public NStatic {
public:
    NMenuStatic();
    ~NMenuStatic() override;

    bool AttachDlgItem(int controlId, NWindow* parent) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    bool SetFont(HFONT font) override;
    void OnCreate() override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void SetBold(bool on) override;
    void SetItalic(bool on) override;
    void SetUnderline(bool on) override;
    void CreateFont() override;
    void DeleteFont() override;

    HFONT GetNormalFont() const { return m_normalFont.Get(); }
    HFONT GetHoverFont() const { return m_hoverFont.Get(); }
    bool IsHovered() const { return m_hover; }

protected:
    COLORREF TextColour() override;
    bool m_tracking;
    bool m_hover;
    HCURSOR m_cursor;
    FontOwner m_hoverFont;
    FontOwner m_normalFont;
};

// A static that opens its target (by default its own text) with the shell.
class NHyperLink : public NStatic {
public:
    NHyperLink();
    ~NHyperLink() override;

    bool AttachDlgItem(int controlId, NWindow* parent) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    bool SetFont(HFONT font) override;
    void OnCreate() override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void CreateFont() override;
    void DeleteFont() override;

    void SetUrl(const wchar_t* target);
    const NString& GetUrl() const { return m_target; }
    bool IsVisited() const { return m_visited; }
    // Opens the target; the link shows as visited once the shell has opened it.
    bool Open();

protected:
    COLORREF TextColour() override;
    // ShellExecuteExW with the default verb; tests replace it.
    virtual bool ShellOpen(const wchar_t* target);

    bool m_tracking;
    bool m_hover;
    bool m_visited;
    HCURSOR m_cursor;
    FontOwner m_hoverFont;
    FontOwner m_normalFont;
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
