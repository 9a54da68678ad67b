// NToolTip: a small top-most popup showing one line of text in the skin's tool-tip colours. The
// push button embeds one and shows it below itself when its caption does not fit.
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "ui/NWindow.h"

class NToolTip : public NWindow {
public:
    NToolTip();
    ~NToolTip() override;

    void PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnCreate() override;
    void OnPaint(HDC dc) override;
    void OnDestroy(WPARAM wParam, LPARAM lParam) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Sets and measures the text and sizes the window to it; the same text in any letter case
    // changes nothing. False for a null text.
    bool SetText(const wchar_t* text);

    int GetTextWidth() const { return m_textWidth; }
    int GetTextHeight() const { return m_textHeight; }

private:
    FontOwner m_font;
    COLORREF m_backColour;
    COLORREF m_textColour;
    int m_textWidth;
    int m_textHeight;
};
