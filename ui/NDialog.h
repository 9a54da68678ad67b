// NDialog: a system dialog made from a dialog resource or an in-memory template, run modally or
// modelessly, bound to its object while the system creates it.
//
// On WM_INITDIALOG the dialog is centred over its parent (or the screen), takes over the small
// icon of a framework parent, sets its texts (ApplyLanguage) and then runs OnInitDialog. An
// optional background picture from the skin is painted behind the dialog and behind its plain
// controls.
#pragma once
#include <windows.h>

#include "base/NString.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWindow.h"

class NDialog : public NWindow {
public:
    NDialog();
    NDialog(int resourceId, HWND parent);
    NDialog(const wchar_t* templateName, HWND parent);  // the name is kept, not copied
    NDialog(const DLGTEMPLATE* dialogTemplate, HWND parent);
    ~NDialog() override;

    bool HasBackgroundImage() const override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

    // Runs the dialog modally and answers its result: 0 when it is open already, -1 when the system
    // cannot show it. systemDpiAware: run it system-DPI aware at the desktop's DPI.
    virtual INT_PTR DoModal(bool systemDpiAware = true);
    // Creates the dialog modelessly; answers the window (the existing one when it is open), or null.
    virtual HWND DoModeless(int resourceId, HWND parent);
    virtual bool SetBackgroundImage(const NImageBuffer& picture);
    // Loads the skin's JPEG picture as the background and fits it: stretched to the client area
    // (16 to 9999 by 16 to 5999 pixels; other sizes keep it as it is) or scaled for the DPI.
    virtual bool LoadBackgroundImage(const wchar_t* pictureName, bool stretch, bool fast);
    virtual NImageBuffer* GetBackgroundImage();
    virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Ends a modal dialog with the result, destroys a modeless one. Answers the system call's answer.
    virtual bool EndDialog(INT_PTR result);
    virtual int OnInitDialog();
    virtual int OnCancel();  // ends with IDCANCEL
    virtual int OnOK();      // ends with IDOK
    virtual void OnDlgMove();
    virtual void OnDlgSize();
    virtual void OnDlgDestroy();
    virtual LRESULT OnEraseBkgnd(HDC dc);
    virtual bool SetItemText(int controlId, const wchar_t* text);
    // The control's text (at most 1023 characters); false, text unchanged, when it is empty.
    virtual bool GetItemText(int controlId, NString& text);
    virtual bool SetItemInt(int controlId, int value, bool isSigned);
    virtual int GetItemInt(int controlId, bool isSigned);
    bool SetItemText(int controlId, const NString& text) { return SetItemText(controlId, text.c_str()); }
    bool SetItemInt(int controlId, int value) { return SetItemInt(controlId, value, true); }
    // Derived dialogs set their texts from the language table here.
    virtual void ApplyLanguage();

    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    bool FitBackground(bool stretch, bool fast);

    bool m_inMemoryTemplate;
    bool m_modal;
    const wchar_t* m_templateName;
    const DLGTEMPLATE* m_template;
    NImageBuffer m_background;
    bool m_ownStaticTextColour;
    COLORREF m_staticTextColour;
};
