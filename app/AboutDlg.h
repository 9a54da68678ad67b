// The about window: the product's name and version, its bitness and its build date and time.
#pragma once
#include <windows.h>

#include "base/NString.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"

class AboutDlg : public NDialog {
public:
    enum { kResourceId = 104 };

    explicit AboutDlg(HWND parent);
    ~AboutDlg() override;

    int OnInitDialog() override;
    void ApplyLanguage() override;

    // "<version> (64-Bit, <build date>, <build time>)"; the version is the product's unless the
    // internet library gives one to show.
    static NString VersionLine();
    // The product's version text: kAppTitle, or the internet library's display version.
    static NString VersionText();

    NHyperLink& GetLink() { return m_link; }

private:
    NButton m_okButton;
    NHyperLink m_link;
    NGroupBox m_productGroup;
    NGroupBox m_linkGroup;
};
