// NDialogWizard: a dialog frame for a sequence of pages. A header caption shows each page's title
// and subtitle above a framed area that shows one page at a time; Back (id 7), Next (IDOK, Finish
// on the last page), Cancel and Help (9) move through the pages. Each page is an NDialog of its own
// (a child dialog template), created modelessly inside the frame when it is first shown; a page
// lets the wizard go on only when its OnOK answers 1.
//
// The frame's dialog template holds the header and the page-area controls (their ids are given to
// the constructor) and the four buttons.
#pragma once
#include <windows.h>

#include <vector>

#include "base/GdiOwners.h"
#include "base/NString.h"
#include "imaging/NImageBuffer.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"

class NDialogWizard : public NDialog {
public:
    static constexpr int kBackId = 7;

    // The owner-drawn header: title and subtitle over the skin's header background, the skin's
    // header picture at the right.
    class NCaption : public NStatic {
    public:
        NCaption();
        ~NCaption() override;

        bool AttachDlgItem(int controlId, NWindow* parent) override;
        void OnCreate() override;
        void OnDestroy(WPARAM wParam, LPARAM lParam) override;
        void DrawItem(DRAWITEMSTRUCT* item) override;
        void CreateFont() override;
        void DeleteFont() override;
        virtual void SetTexts(const wchar_t* title, const wchar_t* subtitle);

        const NString& GetTitle() const { return m_title; }
        const NString& GetSubtitle() const { return m_subtitle; }

    private:
        FontOwner m_titleFont;
        FontOwner m_subtitleFont;
        NString m_title;
        NString m_subtitle;
        NImageBuffer m_headerPicture;
        NImageBuffer m_headerBackground;
    };

    struct PageRecord {
        NDialog* page;  // not owned
        int resourceId;
        NString title;
        NString subtitle;
    };

    NDialogWizard(int resourceId, HWND parent, int headerId, int pageFrameId);
    ~NDialogWizard() override;

    // Appends a page. False, nothing added, once the dialog window exists.
    virtual bool AddPage(NDialog* page, const wchar_t* title, const wchar_t* subtitle, int resourceId);
    // Hides the current page, shows the page at index (created on first use) and sets the header
    // and the buttons for it. False, nothing changed, for an index outside the pages or a record
    // without a page.
    virtual bool ShowPage(int index);
    void SetInitialPage(int index) { m_initialPage = index; }
    void SetTitle(const wchar_t* title) { m_title = title; }

    int OnInitDialog() override;
    int OnOK() override;
    int OnCancel() override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnDlgDestroy() override;
    void ApplyLanguage() override;

    int GetCurrentPage() const { return m_currentPage; }
    const std::vector<PageRecord>& GetPages() const { return m_pages; }
    const RECT& GetPageArea() const { return m_pageArea; }
    NCaption& GetHeader() { return m_header; }
    HFONT GetButtonFont() const { return m_buttonFont.Get(); }

private:
    // The first page, in order, whose window is visible; -1 when none is.
    int FirstVisiblePage() const;

    std::vector<PageRecord> m_pages;
    int m_currentPage;
    int m_initialPage;
    NCaption m_header;
    int m_headerId;
    NWindow m_pageFrame;
    int m_pageFrameId;
    RECT m_pageArea;
    NString m_title;
    NButton m_nextButton;
    NButton m_backButton;
    NButton m_cancelButton;
    NButton m_helpButton;
    FontOwner m_buttonFont;
};
