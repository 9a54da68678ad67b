// NMessageBox: the framework's message box, a modal dialog built in memory with a centred text,
// one to three skinned buttons (NButton) captioned from the language table ("Messages": "Ok", "Cancel", "Yes",
// "No"), and a background that is either a skin picture or a vertical gradient of the skin colours
// "MessageBoxColorStart" and "MessageBoxColorEnd".
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "base/NString.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"

class NMessageBox : public NDialog {
public:
    enum Type { typeOk = 0, typeOkCancel = 1, typeYesNo = 2, typeYesNoCancel = 3 };
    static constexpr int textId = 1111;

    // backgroundName: a skin JPEG picture shown behind the box, or null for the gradient.
    NMessageBox(int type, const wchar_t* caption, const wchar_t* text, HWND parent,
                const wchar_t* backgroundName = nullptr);
    ~NMessageBox() override;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    int OnCancel() override;
    int OnOK() override;
    void OnDlgDestroy() override;
    void ApplyLanguage() override;

    // Shows the box modally and answers IDOK, IDCANCEL, IDYES or IDNO: 0 when it is open already,
    // IDCANCEL when it cannot be shown (no memory for its template, an unknown type).
    virtual int Show();
    virtual void SetBackgroundName(const wchar_t* name);

    // The box's dialog template in moveable memory (LocalAlloc LHND); the caller frees it. Null for
    // an unknown type or when no memory can be had.
    static HLOCAL BuildTemplate(int type, const wchar_t* caption, const wchar_t* text, size_t* size = nullptr);

    // The skinned buttons: OK, Cancel, Yes and No.
    static constexpr int kButtonCount = 4;
    NButton& GetButton(int index) { return m_buttons[index]; }

private:
    NButton m_buttons[kButtonCount];
    int m_type;
    NString m_caption;
    NString m_text;
    bool m_hasBackgroundName;
    NString m_backgroundName;
    FontOwner m_font;
};
