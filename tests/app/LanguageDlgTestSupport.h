// Helpers of the tests of the language, options and about windows: a modal window driven from a
// thread timer, a private program folder and settings file, and a parent window that counts
// the language-changed message.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "app/AppSettings.h"
#include "common/TestFiles.h"
#include "ui/NDialog.h"
#include "ui/NWinApp.h"

// Runs the dialog modally; once it is shown, act runs with its window (and should end it). A
// dialog still open after timeoutMs is cancelled. Answers DoModal's result.
INT_PTR RunModal(NDialog& dialog, const std::function<void(HWND)>& act, int timeoutMs = 5000);

// Pumps this thread's messages for the given time.
void PumpFor(int milliseconds);

// The text of a dialog item or window.
std::wstring ItemText(HWND dialog, int id);
std::wstring WindowText(HWND window);

// A private program folder ("lang" with language files, "Flags") and settings file, used by the
// language functions for the scope's lifetime; the process-wide settings come back afterwards.
class LanguageScope {
public:
    LanguageScope();
    ~LanguageScope();
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

    // Copies the committed language file / flag of the code into the private folder.
    void AddShippedLanguage(const wchar_t* code);
    void AddShippedFlag(const wchar_t* name);
    // Writes a language file of the code with the given text (UTF-16 with byte-order mark).
    void AddLanguage(const std::wstring& code, const std::wstring& text);
    // The value stored in the private settings file ("" when missing).
    std::wstring Stored(const wchar_t* name) const;
    void Store(const wchar_t* name, const wchar_t* value);

    const std::wstring& Folder() const { return dir_.Path(); }
    const std::wstring& SettingsFile() const { return settings_; }
    NWinApp& App() { return app_; }

private:
    TestDir dir_;
    std::wstring settings_;
    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"LanguageTests")};
    wchar_t savedCode_[kLanguageCodeUnits];
    int savedDetected_;
    wchar_t savedFolder_[kOutputFolderUnits];
};

// A hidden top-level window that counts the language-changed messages it receives.
class CountingParent {
public:
    CountingParent();
    ~CountingParent();
    HWND Hwnd() const { return window_; }
    int Count() const { return count_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    int count_ = 0;
};
