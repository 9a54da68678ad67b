// NEdit: the framework's wrapper of the system edit control. Every EM_* message and the clipboard
// messages are operations of their own that send to the control and answer what it answers; the
// text is read and written through NString. Owner drawing fills the item with the skin's window
// colour.
#pragma once
#include <windows.h>

#include "base/NString.h"
#include "ui/NWindow.h"

class NEdit : public NWindow {
public:
    NEdit();
    ~NEdit() override;

    // WM_DRAWITEM goes to DrawItem; every message then goes to the base.
    LRESULT OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A visible child of the class "NEdit".
    void PreCreateWindow(CREATESTRUCTW& cs) override;

    virtual void DrawItem(DRAWITEMSTRUCT* item);
    virtual bool CanUndo();
    // The character nearest to the client point: its index in the low word, its line in the high.
    virtual LRESULT CharFromPos(int x, int y);
    virtual void EmptyUndoBuffer();
    virtual bool FmtLines(bool addSoftBreaks);
    virtual int GetFirstVisibleLine();
    virtual HLOCAL GetHandle();
    virtual UINT GetLimitText();
    // Copies the line into buffer (units characters, at most 65535) and terminates it; answers the
    // number of characters copied. Nothing is copied into a buffer of fewer than 2 units.
    virtual int GetLine(int line, wchar_t* buffer, int units);
    virtual int GetLineCount();
    // Left margin in the low word, right margin in the high word.
    virtual DWORD GetMargins();
    virtual bool GetModify();
    virtual wchar_t GetPasswordChar();
    virtual void GetRect(RECT* rect);
    // Either pointer may be null. Answers start in the low word and end in the high word.
    virtual DWORD GetSel(DWORD* start, DWORD* end);
    virtual int GetThumb();
    virtual EDITWORDBREAKPROCW GetWordBreakProc();
    virtual void LimitText(int count);
    virtual int LineFromChar(int index);
    virtual int LineIndex(int line);
    virtual int LineLength(int index);
    virtual bool LineScroll(int characters, int lines);
    // The client point of the character: x in the low word, y in the high word.
    virtual LRESULT PosFromChar(int index);
    virtual void ReplaceSel(const wchar_t* text, bool canUndo);
    virtual LRESULT Scroll(int action);
    virtual void ScrollCaret();
    virtual void SetHandle(HLOCAL handle);
    virtual void SetLimitText(int count);
    virtual void SetMargins(UINT flags, int left, int right);
    virtual void SetModify(bool modified);
    virtual void SetPasswordChar(wchar_t character);
    virtual bool SetReadOnly(bool readOnly);
    virtual void SetRect(const RECT* rect);
    virtual void SetRectNP(const RECT* rect);
    virtual void SetSel(int start, int end);
    virtual bool SetTabStops(int count, const int* stops);
    virtual void SetWordBreakProc(EDITWORDBREAKPROCW procedure);
    virtual bool Undo();
    virtual void Copy();
    virtual void Cut();
    virtual void Paste();
    // False for a null text; else whether the control took it.
    virtual bool SetText(const wchar_t* text);
    // The control's text. False, with text empty, when the control has none or it cannot be read.
    virtual bool GetText(NString& text);

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
};
