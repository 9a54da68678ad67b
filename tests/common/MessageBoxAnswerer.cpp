#include "common/MessageBoxAnswerer.h"

#include "ui/NMessageBox.h"

namespace {
thread_local MessageBoxAnswerer* t_current = nullptr;

bool IsMessageBox(HWND hwnd, bool ownBoxes)
{
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    // Message boxes are dialogs whose text is the static control 0xFFFF (the system's box) or
    // NMessageBox::textId (the program's own box).
    if (lstrcmpW(cls, L"#32770") != 0)
        return false;
    return GetDlgItem(hwnd, 0xFFFF) != nullptr || (ownBoxes && GetDlgItem(hwnd, NMessageBox::textId) != nullptr);
}

std::wstring WindowText(HWND hwnd)
{
    int n = GetWindowTextLengthW(hwnd);
    std::wstring s(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
    s.resize(static_cast<size_t>(GetWindowTextW(hwnd, s.data(), n + 1)));
    return s;
}
}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(int answer, bool ownBoxes)
    : previous_(t_current), answer_(answer), ownBoxes_(ownBoxes)
{
    hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
    t_current = this;
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
    t_current = previous_;
}

void MessageBoxAnswerer::Answer(HWND box)
{
    if (box == answered_ && IsWindow(box))
        return;
    answered_ = box;
    ++count_;
    caption_ = WindowText(box);
    HWND text = GetDlgItem(box, 0xFFFF);
    text_ = WindowText(text ? text : GetDlgItem(box, NMessageBox::textId));
    int id = answer_;
    if (id == 0) {
        LRESULT def = SendMessageW(box, DM_GETDEFID, 0, 0);
        id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

LRESULT CALLBACK MessageBoxAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    MessageBoxAnswerer* self = t_current;
    if (code == HCBT_ACTIVATE && self && IsMessageBox(reinterpret_cast<HWND>(wParam), self->ownBoxes_))
        self->Answer(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
