// ResultDlg: the result window of a scan. It opens over the scan window (its parent, which holds
// the kept files and the scan's folder), shows every picture of the scan's folder as a tile, and
// lets the user choose which to keep. Keeping the selection moves the other files to the Recycle
// Bin and opens what is left, whether the window ends with OK, Cancel or its close box.
#pragma once
#include <windows.h>

#include "app/ResultList.h"
#include "ui/NButton.h"
#include "ui/NCheckBox.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"

class ScanDlg;

class ResultDlg : public NDialog {
public:
    static constexpr int kResourceId = 114;
    static constexpr UINT kReapplyLanguage = WM_APP + 0x267;
    // From this many kept files on, the list shows rows instead of tiles.
    static constexpr size_t kReportViewFrom = 1000;

    explicit ResultDlg(ScanDlg* scan);
    ~ResultDlg() override;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnNotify(WPARAM wParam, NMHDR* header) override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    int OnCancel() override;   // ends with 0; the files are treated as after OK
    int OnOK() override;       // keeps the selection, ends with 1
    void OnDlgDestroy() override;  // deals with the files, then clears the list
    void ApplyLanguage() override;

    ResultList& GetList() { return m_list; }
    NCheckBox& GetOpenAppBox() { return m_openApp; }

protected:
    // Opens a file or folder with the shell (the folder as the working directory). Tests replace it.
    virtual void ShellOpen(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory);
    // Moves the file to the Recycle Bin. Tests may replace it.
    virtual void Recycle(const wchar_t* path);

private:
    void FinishFiles();
    void OpenKeptFiles();
    const wchar_t* ScanFolder() const;

    ScanDlg* m_scan;
    bool m_finished;
    NStatic m_countText;
    NStatic m_infoText;
    NButton m_keepButton;
    NButton m_selectAllButton;
    NButton m_deselectAllButton;
    NCheckBox m_openApp;
    ResultList m_list;
};
