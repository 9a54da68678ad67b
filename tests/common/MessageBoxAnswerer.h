// Answers message boxes shown on the installing thread, so that tests never block on one.
#pragma once
#include <windows.h>
#include <string>

class MessageBoxAnswerer {
public:
    // answer: the button id to press (IDOK, IDCANCEL, IDYES, ...); 0 presses the box's default button.
    // ownBoxes: also answer the program's own skinned box (NMessageBox), which tests of that box
    // drive themselves.
    explicit MessageBoxAnswerer(int answer = 0, bool ownBoxes = false);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    int Count() const { return count_; }
    const std::wstring& LastText() const { return text_; }
    const std::wstring& LastCaption() const { return caption_; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void Answer(HWND box);

    HHOOK hook_ = nullptr;
    HWND answered_ = nullptr;  // activation can be reported more than once per box
    MessageBoxAnswerer* previous_ = nullptr;
    int answer_ = 0;
    bool ownBoxes_ = false;
    int count_ = 0;
    std::wstring text_;
    std::wstring caption_;
};
