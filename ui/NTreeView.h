// NTreeView: a wrapper of the common-controls tree view. Its item operations send TVM_* messages;
// the tree's notifications, reflected by its parent, go to one handler each (all answer 0 here).
#pragma once
#include <windows.h>

#include <commctrl.h>

#include "base/NString.h"
#include "ui/NWindow.h"

class NTreeView : public NWindow {
public:
    NTreeView();
    ~NTreeView() override;

    // Turns each tree-view notification into a call of its handler; other codes answer 0.
    LRESULT OnNotifyReflect(WPARAM wParam, NMHDR* header) override;

    // A new item with the text and data under parent after insertAfter (TVI_LAST, TVI_FIRST, ...).
    virtual HTREEITEM InsertItem(HTREEITEM parent, HTREEITEM insertAfter, const wchar_t* text, LPARAM data);
    // code: TVE_EXPAND, TVE_COLLAPSE or TVE_TOGGLE.
    virtual bool Expand(HTREEITEM item, UINT code);
    virtual bool SelectItem(HTREEITEM item);
    virtual COLORREF SetTextColor(COLORREF colour);
    virtual COLORREF SetBkColor(COLORREF colour);
    virtual DWORD SetExtendedStyle(DWORD mask, DWORD style);
    virtual HTREEITEM GetSelection();
    virtual HTREEITEM GetParentItem(HTREEITEM item);
    virtual HTREEITEM GetChildItem(HTREEITEM item);
    virtual HTREEITEM GetNextSiblingItem(HTREEITEM item);
    virtual LPARAM GetItemData(HTREEITEM item);
    virtual NString GetItemText(HTREEITEM item);
    virtual int GetCount();

    // Notification handlers.
    virtual LRESULT OnBeginDrag(NMHDR* header);
    virtual LRESULT OnBeginLabelEdit(NMHDR* header);
    virtual LRESULT OnBeginRDrag(NMHDR* header);
    virtual LRESULT OnDeleteItem(NMHDR* header);
    virtual LRESULT OnEndLabelEdit(NMHDR* header);
    virtual LRESULT OnGetDispInfo(NMHDR* header);
    virtual LRESULT OnGetInfoTip(NMHDR* header);
    virtual LRESULT OnItemExpanded(NMHDR* header);
    virtual LRESULT OnItemExpanding(NMHDR* header);
    virtual LRESULT OnKeyDown(NMHDR* header);
    virtual LRESULT OnSelChanged(NMHDR* header);
    virtual LRESULT OnSelChanging(NMHDR* header);
    virtual LRESULT OnSetDispInfo(NMHDR* header);
    virtual LRESULT OnSingleExpand(NMHDR* header);

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
};
