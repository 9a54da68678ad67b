// NDialogSettings: a dialog frame for settings pages. A tree lists the pages by name, a header
// caption shows the selected page's name above a framed area in which the page is shown, and OK,
// Cancel and Help go to every page. Each page is an NDialog of its own (a child dialog template),
// created modelessly inside the frame when it is first selected and destroyed with the frame.
//
// The frame's dialog template holds the tree, the header and the page-area controls (their ids are
// given to the constructor) and the buttons IDOK, IDCANCEL and IDHELP (9).
#pragma once
#include <windows.h>

#include <map>
#include <vector>

#include "base/GdiOwners.h"
#include "base/NString.h"
#include "imaging/NImageBuffer.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"
#include "ui/NTreeView.h"

class NDialogSettings : public NDialog {
public:
    // The owner-drawn header: the page's name over a radial gradient, or in header mode over the
    // skin's header pictures.
    class NCaption : public NStatic {
    public:
        NCaption();
        ~NCaption() override;

        bool AttachDlgItem(int controlId, NWindow* parent) override;
        void OnCreate() override;
        void DrawItem(DRAWITEMSTRUCT* item) override;
        void CreateFont() override;
        void DeleteFont() override;
        virtual void SetText(const wchar_t* text);
        virtual void SetHeaderMode(int mode);

        const NString& GetText() const { return m_text; }
        HFONT GetCaptionFont() const { return m_captionFont.Get(); }
        int GetHeaderMode() const { return m_headerMode; }

    private:
        FontOwner m_captionFont;
        NString m_text;
        NImageBuffer m_headerPicture;
        NImageBuffer m_headerBackground;
        int m_headerMode;
    };

    struct PageRecord {
        NDialog* page;  // not owned
        int resourceId;
        NString name;
        NDialog* parent;  // null for a top-level page
    };

    // skinned: header in picture mode, tree coloured from the skin.
    NDialogSettings(int resourceId, HWND parent, int headerId, int pageFrameId, int treeId, bool skinned);
    ~NDialogSettings() override;

    // Appends a page; parentPage places it below that page in the tree (when that page is in the
    // tree by then). False, nothing added, once the dialog window exists.
    virtual bool AddPage(NDialog* page, const wchar_t* name, int resourceId, NDialog* parentPage);
    // Hides the current page and shows the page at index (created on first use). False, nothing
    // changed, for an index outside the pages or a record without a page.
    virtual bool ShowPage(int index);
    // The page's tree item; TVI_ROOT for a null page or one without an item.
    virtual HTREEITEM FindTreeItem(NDialog* page);
    // The page shown when the dialog opens (0 unless set).
    void SetInitialPage(int index) { m_initialPage = index; }
    // The window title set when the dialog opens (the template's when empty).
    void SetTitle(const wchar_t* title) { m_title = title; }

    int OnInitDialog() override;
    int OnOK() override;
    int OnCancel() override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnDlgDestroy() override;
    LRESULT OnNotify(WPARAM wParam, NMHDR* header) override;
    void ApplyLanguage() override;

    int GetCurrentPage() const { return m_currentPage; }
    const std::vector<PageRecord>& GetPages() const { return m_pages; }
    const RECT& GetPageArea() const { return m_pageArea; }
    NCaption& GetHeader() { return m_header; }
    NTreeView& GetTree() { return m_tree; }
    HFONT GetButtonFont() const { return m_buttonFont.Get(); }

private:
    // The index of the record at that address, -1 when it is none of ours.
    int RecordIndex(LPARAM data) const;

    std::vector<PageRecord> m_pages;
    std::map<NDialog*, HTREEITEM> m_treeItems;
    int m_currentPage;
    int m_initialPage;
    NCaption m_header;
    int m_headerId;
    NWindow m_pageFrame;
    int m_pageFrameId;
    RECT m_pageArea;
    NTreeView m_tree;
    int m_treeId;
    NString m_title;
    NButton m_okButton;
    NButton m_cancelButton;
    NButton m_helpButton;
    FontOwner m_buttonFont;
    bool m_skinned;
    bool m_selectingItem;  // ShowPage selects the page's item: that selection is no user's choice
};
