// NComboBox: a combo-box item of a dialog template made a skinned, owner-drawn drop-down list. The
// closed head is painted by the skin's head painter; the items of the opened list in the skin's
// combo colours. The item must be declared CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS
// in the template: the owner-draw style cannot be given to an existing combo box.
#pragma once
#include <windows.h>

#include <vector>

#include "base/NString.h"
#include "ui/NWindow.h"

class NComboBox : public NWindow {
public:
    static constexpr DWORD kAttachedStyle = 0x56000213;

    NComboBox();
    ~NComboBox() override;

    bool AttachDlgItem(int controlId, NWindow* parent) override;
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    LRESULT OnCommandReflect(WPARAM wParam, LPARAM lParam) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    virtual void DrawItem(DRAWITEMSTRUCT* item);
    virtual LRESULT AddString(const wchar_t* text);
    virtual LRESULT DeleteString(int index);
    virtual LRESULT Dir(UINT attributes, const wchar_t* path);
    virtual LRESULT FindString(int start, const wchar_t* text);
    virtual LRESULT FindStringExact(int start, const wchar_t* text);
    virtual LRESULT GetCount();
    virtual LRESULT GetCurSel();
    virtual LRESULT GetDroppedControlRect(RECT* rect);
    virtual LRESULT GetDroppedState();
    virtual LRESULT GetDroppedWidth();
    virtual LRESULT GetEditSel(DWORD* start, DWORD* end);
    virtual LRESULT GetExtendedUI();
    virtual LRESULT GetHorizontalExtent();
    virtual LRESULT GetItemData(int index);
    virtual LRESULT GetItemHeight(int index);
    virtual LRESULT GetLBText(int index, wchar_t* buffer);
    // The item's text; -1 (text unchanged) for an index out of range.
    virtual int GetLBText(int index, NString& text);
    virtual LRESULT GetLBTextLen(int index);
    virtual LRESULT GetLocale();
    virtual LRESULT GetTopIndex();
    virtual LRESULT InsertString(int index, const wchar_t* text);
    virtual LRESULT LimitText(int count);
    virtual LRESULT ResetContent();
    virtual LRESULT SelectString(int start, const wchar_t* text);
    virtual LRESULT SetCurSel(int index);
    virtual LRESULT SetDroppedWidth(int width);
    virtual LRESULT SetEditSel(int start, int end);
    virtual LRESULT SetExtendedUI(bool on);
    virtual LRESULT SetHorizontalExtent(int extent);
    virtual LRESULT SetItemData(int index, DWORD value);
    virtual LRESULT SetItemDataPtr(int index, void* value);
    virtual LRESULT SetItemHeight(int index, int height);
    virtual LRESULT SetLocale(LCID locale);
    virtual LRESULT SetTopIndex(int index);
    virtual LRESULT ShowDropDown(bool show);
    // The list as wide as its widest text (at least 100 pixels).
    virtual void FitDroppedWidth();

    // Notification handlers (CBN_*), each answering 0 unless said otherwise.
    virtual LRESULT OnCloseUp();
    virtual LRESULT OnDblClk();
    virtual LRESULT OnDropDown();  // answers 1
    virtual LRESULT OnEditChange();
    virtual LRESULT OnEditUpdate();
    virtual LRESULT OnErrSpace();
    virtual LRESULT OnKillFocus();
    virtual LRESULT OnSelChange();
    virtual LRESULT OnSelEndCancel();
    virtual LRESULT OnSelEndOk();
    virtual LRESULT OnSetFocus();

    int GetUnscaledItemHeight() const { return m_itemHeight; }

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Reads the template's item height and gives the list items and the selection field its
    // DPI-scaled value.
    void ScaleItemHeights();
    // The list entry an item stands for: the current selection for the selection field.
    int ItemIndexOf(const DRAWITEMSTRUCT& item);
    int m_itemHeight;
};

// The list variants keep the template's style on attach and let the system paint the closed box,
// which asks them to draw the selection field like any list item.

// A list of colours, each item a swatch: a radial gradient from light grey to the colour.
class NColorComboBox : public NComboBox {
public:
    NColorComboBox();

    bool AttachDlgItem(int controlId, NWindow* parent) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawItem(DRAWITEMSTRUCT* item) override;

    // Appends a colour and its list item; answers the item's index, CB_ERR when the list refuses it.
    virtual int AddColor(COLORREF colour);
    // CLR_INVALID for an index out of range.
    COLORREF GetColorAt(int index) const;
    int GetColorCount() const { return static_cast<int>(m_colors.size()); }

protected:
    std::vector<COLORREF> m_colors;
};

// The font families of the desktop, each item written in its own face.
class NFontComboBox : public NComboBox {
public:
    bool AttachDlgItem(int controlId, NWindow* parent) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawItem(DRAWITEMSTRUCT* item) override;

    // Adds every device or TrueType family not yet listed; answers the number added.
    virtual int AddFontFamilies();
};
