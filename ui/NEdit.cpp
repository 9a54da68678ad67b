#include "ui/NEdit.h"

#include <algorithm>
#include <memory>
#include <new>

#include "base/GdiOwners.h"
#include "ui/SkinSeam.h"

NEdit::NEdit()
{
    Superclass(L"Edit", L"NEdit");
}

NEdit::~NEdit() = default;

LRESULT NEdit::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT NEdit::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM)
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

void NEdit::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    m_cs.lpszClass = L"NEdit";
}

void NEdit::DrawItem(DRAWITEMSTRUCT* item)
{
    if (!item || !item->hDC)
        return;
    const BrushOwner brush(CreateSolidBrush(CurrentSkin().GetColor(L"AppWindowBackColor")));
    if (brush)
        FillRect(item->hDC, &item->rcItem, brush.Get());
}

bool NEdit::CanUndo() { return Send(EM_CANUNDO) != 0; }
LRESULT NEdit::CharFromPos(int x, int y) { return Send(EM_CHARFROMPOS, 0, MAKELPARAM(x, y)); }
void NEdit::EmptyUndoBuffer() { Send(EM_EMPTYUNDOBUFFER); }
bool NEdit::FmtLines(bool addSoftBreaks) { return Send(EM_FMTLINES, addSoftBreaks ? TRUE : FALSE) != 0; }
int NEdit::GetFirstVisibleLine() { return static_cast<int>(Send(EM_GETFIRSTVISIBLELINE)); }
HLOCAL NEdit::GetHandle() { return reinterpret_cast<HLOCAL>(Send(EM_GETHANDLE)); }
UINT NEdit::GetLimitText() { return static_cast<UINT>(Send(EM_GETLIMITTEXT)); }

int NEdit::GetLine(int line, wchar_t* buffer, int units)
{
    if (!buffer || units < 2)
        return 0;
    // The control reads the room from the buffer's first unit and does not terminate the copy.
    const int room = std::min(units - 1, 0xFFFF);
    buffer[0] = static_cast<wchar_t>(room);
    const int copied = static_cast<int>(Send(EM_GETLINE, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(buffer)));
    const int length = std::clamp(copied, 0, room);
    buffer[length] = L'\0';
    return length;
}

int NEdit::GetLineCount() { return static_cast<int>(Send(EM_GETLINECOUNT)); }
DWORD NEdit::GetMargins() { return static_cast<DWORD>(Send(EM_GETMARGINS)); }
bool NEdit::GetModify() { return Send(EM_GETMODIFY) != 0; }
wchar_t NEdit::GetPasswordChar() { return static_cast<wchar_t>(Send(EM_GETPASSWORDCHAR)); }
void NEdit::GetRect(RECT* rect) { Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(rect)); }

DWORD NEdit::GetSel(DWORD* start, DWORD* end)
{
    return static_cast<DWORD>(Send(EM_GETSEL, reinterpret_cast<WPARAM>(start), reinterpret_cast<LPARAM>(end)));
}

int NEdit::GetThumb() { return static_cast<int>(Send(EM_GETTHUMB)); }
EDITWORDBREAKPROCW NEdit::GetWordBreakProc() { return reinterpret_cast<EDITWORDBREAKPROCW>(Send(EM_GETWORDBREAKPROC)); }
void NEdit::LimitText(int count) { Send(EM_LIMITTEXT, static_cast<WPARAM>(count)); }
int NEdit::LineFromChar(int index) { return static_cast<int>(Send(EM_LINEFROMCHAR, static_cast<WPARAM>(index))); }
int NEdit::LineIndex(int line) { return static_cast<int>(Send(EM_LINEINDEX, static_cast<WPARAM>(line))); }
int NEdit::LineLength(int index) { return static_cast<int>(Send(EM_LINELENGTH, static_cast<WPARAM>(index))); }

bool NEdit::LineScroll(int characters, int lines)
{
    return Send(EM_LINESCROLL, static_cast<WPARAM>(characters), static_cast<LPARAM>(lines)) != 0;
}

LRESULT NEdit::PosFromChar(int index) { return Send(EM_POSFROMCHAR, static_cast<WPARAM>(index)); }

void NEdit::ReplaceSel(const wchar_t* text, bool canUndo)
{
    Send(EM_REPLACESEL, canUndo ? TRUE : FALSE, reinterpret_cast<LPARAM>(text ? text : L""));
}

LRESULT NEdit::Scroll(int action) { return Send(EM_SCROLL, static_cast<WPARAM>(action)); }
void NEdit::ScrollCaret() { Send(EM_SCROLLCARET); }
void NEdit::SetHandle(HLOCAL handle) { Send(EM_SETHANDLE, reinterpret_cast<WPARAM>(handle)); }
void NEdit::SetLimitText(int count) { Send(EM_SETLIMITTEXT, static_cast<WPARAM>(count)); }

void NEdit::SetMargins(UINT flags, int left, int right)
{
    Send(EM_SETMARGINS, flags, MAKELPARAM(left, right));
}

void NEdit::SetModify(bool modified) { Send(EM_SETMODIFY, modified ? TRUE : FALSE); }
void NEdit::SetPasswordChar(wchar_t character) { Send(EM_SETPASSWORDCHAR, static_cast<WPARAM>(character & 0xFFFF)); }
bool NEdit::SetReadOnly(bool readOnly) { return Send(EM_SETREADONLY, readOnly ? TRUE : FALSE) != 0; }
void NEdit::SetRect(const RECT* rect) { Send(EM_SETRECT, 0, reinterpret_cast<LPARAM>(rect)); }
void NEdit::SetRectNP(const RECT* rect) { Send(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(rect)); }
void NEdit::SetSel(int start, int end) { Send(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end)); }

bool NEdit::SetTabStops(int count, const int* stops)
{
    return Send(EM_SETTABSTOPS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(stops)) != 0;
}

void NEdit::SetWordBreakProc(EDITWORDBREAKPROCW procedure)
{
    Send(EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(procedure));
}

bool NEdit::Undo() { return Send(EM_UNDO) != 0; }
void NEdit::Copy() { Send(WM_COPY); }
void NEdit::Cut() { Send(WM_CUT); }
void NEdit::Paste() { Send(WM_PASTE); }

bool NEdit::SetText(const wchar_t* text)
{
    if (!text)
        return false;
    return SetWindowTextW(m_hWnd, text) == TRUE;
}

bool NEdit::GetText(NString& text)
{
    text.Empty();
    const int length = GetWindowTextLengthW(m_hWnd);
    if (length <= 0)
        return false;
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[static_cast<size_t>(length) + 1]);
    if (!buffer)
        return false;
    buffer[0] = L'\0';
    const int copied = GetWindowTextW(m_hWnd, buffer.get(), length + 1);
    if (copied > 0) {
        buffer[std::min(copied, length)] = L'\0';
        text = buffer.get();
    }
    return true;
}
