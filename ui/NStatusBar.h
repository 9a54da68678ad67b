// NStatusBar: the common-controls status bar ("msctls_statusbar32", superclassed as "NStatusBar")
// with up to 256 panes. The bar keeps each pane's text and alignment itself and paints them off
// screen over the skin's status-bar picture (or colour), with the skin's grip picture in the
// corner, then copies the result with one BitBlt.
//
// Errors of the pane operations are reported to the library log; the operation then changes
// nothing more.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "base/GdiOwners.h"
#include "base/NString.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWindow.h"

class NStatusBar : public NWindow {
public:
    static constexpr int kMaxPanes = 256;
    enum Alignment : int32_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };

    NStatusBar();
    ~NStatusBar() override;

    // WM_DRAWITEM goes to DrawItem, then to the base.
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    // Gives the control the system's status font.
    void OnCreated() override;
    void OnDestroy(WPARAM wParam, LPARAM lParam) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // The text the control holds for the pane. False without a window or memory.
    virtual bool GetPaneText(int index, NString& text);
    // Sets the panes' right edges (-1: to the bar's right end). More than 256 panes are refused.
    virtual bool CreatePanes(int count, const int* rightEdges);
    // Keeps the text and alignment for the pane, sets its width (-1: to the bar's right end; other
    // widths are scaled for the DPI) and its text. SBT flags as for SB_SETTEXT.
    virtual void AddPane(int index, int width, const wchar_t* text, UINT flags, int alignment);
    // Sets and keeps the pane's text and alignment; nothing for a pane the bar does not have.
    virtual void SetPaneText(int index, const wchar_t* text, UINT flags, int alignment);
    // Sets the pane's width measured from the previous pane's right edge (pane 0: from the left;
    // -1: to the bar's right end). A pane past the current ones makes the panes in between empty.
    virtual void SetPaneWidth(int index, int width);
    // Back to one pane over the whole bar; the kept texts are dropped.
    virtual void RemovePanes();
    virtual void DrawItem(DRAWITEMSTRUCT* item);

    const std::vector<NString>& GetKeptTexts() const { return m_texts; }
    const std::vector<int32_t>& GetKeptAlignments() const { return m_alignments; }
    // The number of panes the control has (0 without a window).
    int GetPaneCount();

protected:
    void Paint(HWND window);

    std::vector<NString> m_texts;
    std::vector<int32_t> m_alignments;
    NImageBuffer m_picture;
    FontOwner m_font;
};
