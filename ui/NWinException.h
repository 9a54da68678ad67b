// The window framework's error type. Framework operations throw it internally and catch it in
// the same operation, which then reports it and answers its failure value.
#pragma once
#include <windows.h>

#include "base/NString.h"

class NWinException {
public:
    // The error code is the thread's last error at the moment the exception is made.
    explicit NWinException(const wchar_t* text);
    NWinException(DWORD code, const wchar_t* text);

    DWORD GetCode() const { return m_code; }
    const NString& GetText() const { return m_text; }

private:
    DWORD m_code;
    NString m_text;
};

// Sends the text to the debugger output, then logs "Exception: Err-Code: %d, Text: %s".
void ReportWinException(const NWinException& error);
