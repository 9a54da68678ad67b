#include "ui/NTreeView.h"

NTreeView::NTreeView()
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
}

NTreeView::~NTreeView() = default;

LRESULT NTreeView::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT NTreeView::OnNotifyReflect(WPARAM, NMHDR* header)
{
    if (!header)
        return 0;
    switch (header->code) {
    case TVN_BEGINDRAGW: return OnBeginDrag(header);
    case TVN_BEGINLABELEDITW: return OnBeginLabelEdit(header);
    case TVN_BEGINRDRAGW: return OnBeginRDrag(header);
    case TVN_DELETEITEMW: return OnDeleteItem(header);
    case TVN_ENDLABELEDITW: return OnEndLabelEdit(header);
    case TVN_GETDISPINFOW: return OnGetDispInfo(header);
    case TVN_GETINFOTIPW: return OnGetInfoTip(header);
    case TVN_ITEMEXPANDEDW: return OnItemExpanded(header);
    case TVN_ITEMEXPANDINGW: return OnItemExpanding(header);
    case TVN_KEYDOWN: return OnKeyDown(header);
    case TVN_SELCHANGEDW: return OnSelChanged(header);
    case TVN_SELCHANGINGW: return OnSelChanging(header);
    case TVN_SETDISPINFOW: return OnSetDispInfo(header);
    case TVN_SINGLEEXPAND: return OnSingleExpand(header);
    default: return 0;
    }
}

HTREEITEM NTreeView::InsertItem(HTREEITEM parent, HTREEITEM insertAfter, const wchar_t* text, LPARAM data)
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = insertAfter;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text ? text : L"");
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool NTreeView::Expand(HTREEITEM item, UINT code)
{
    return Send(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)) != 0;
}

bool NTreeView::SelectItem(HTREEITEM item)
{
    return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

COLORREF NTreeView::SetTextColor(COLORREF colour)
{
    return static_cast<COLORREF>(Send(TVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(colour)));
}

COLORREF NTreeView::SetBkColor(COLORREF colour)
{
    return static_cast<COLORREF>(Send(TVM_SETBKCOLOR, 0, static_cast<LPARAM>(colour)));
}

DWORD NTreeView::SetExtendedStyle(DWORD mask, DWORD style)
{
    return static_cast<DWORD>(Send(TVM_SETEXTENDEDSTYLE, mask, style));
}

HTREEITEM NTreeView::GetSelection()
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_CARET, 0));
}

HTREEITEM NTreeView::GetParentItem(HTREEITEM item)
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM NTreeView::GetChildItem(HTREEITEM item)
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM NTreeView::GetNextSiblingItem(HTREEITEM item)
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
}

LPARAM NTreeView::GetItemData(HTREEITEM item)
{
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    return item && Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)) ? data.lParam : 0;
}

NString NTreeView::GetItemText(HTREEITEM item)
{
    wchar_t text[260] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 260;
    if (!item || !Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)))
        return NString(L"");
    text[259] = L'\0';
    return NString(data.pszText ? data.pszText : L"");
}

int NTreeView::GetCount()
{
    return static_cast<int>(Send(TVM_GETCOUNT));
}

LRESULT NTreeView::OnBeginDrag(NMHDR*) { return 0; }
LRESULT NTreeView::OnBeginLabelEdit(NMHDR*) { return 0; }
LRESULT NTreeView::OnBeginRDrag(NMHDR*) { return 0; }
LRESULT NTreeView::OnDeleteItem(NMHDR*) { return 0; }
LRESULT NTreeView::OnEndLabelEdit(NMHDR*) { return 0; }
LRESULT NTreeView::OnGetDispInfo(NMHDR*) { return 0; }
LRESULT NTreeView::OnGetInfoTip(NMHDR*) { return 0; }
LRESULT NTreeView::OnItemExpanded(NMHDR*) { return 0; }
LRESULT NTreeView::OnItemExpanding(NMHDR*) { return 0; }
LRESULT NTreeView::OnKeyDown(NMHDR*) { return 0; }
LRESULT NTreeView::OnSelChanged(NMHDR*) { return 0; }
LRESULT NTreeView::OnSelChanging(NMHDR*) { return 0; }
LRESULT NTreeView::OnSetDispInfo(NMHDR*) { return 0; }
LRESULT NTreeView::OnSingleExpand(NMHDR*) { return 0; }
