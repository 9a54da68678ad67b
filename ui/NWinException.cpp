#include "ui/NWinException.h"

#include "base/Log.h"

NWinException::NWinException(const wchar_t* text) : m_code(GetLastError()), m_text(text ? text : L"") {}

NWinException::NWinException(DWORD code, const wchar_t* text) : m_code(code), m_text(text ? text : L"") {}

void ReportWinException(const NWinException& error)
{
    OutputDebugStringW(error.GetText().c_str());
    LogMessage(L"Exception: Err-Code: %d, Text: %s", static_cast<int>(error.GetCode()), error.GetText().c_str());
}
