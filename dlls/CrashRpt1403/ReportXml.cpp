#include "ReportXml.h"

#include "OwnedHandles.h"

#include <windows.h>

std::wstring XmlEscape(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        switch (c) {
        case L'&': out += L"&amp;"; continue;
        case L'<': out += L"&lt;"; continue;
        case L'>': out += L"&gt;"; continue;
        case L'"': out += L"&quot;"; continue;
        case L'\'': out += L"&apos;"; continue;
        case L'\t': out += L"&#9;"; continue;
        case L'\r': out += L"&#13;"; continue;
        case L'\n': out += L"&#10;"; continue;
        default: break;
        }
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) {
            out += L'\xFFFD';
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                out += c;
                out += text[++i];
            } else {
                out += L'\xFFFD';
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            out += L'\xFFFD';
        } else {
            out += c;
        }
    }
    return out;
}

bool WriteUtf8File(const std::wstring& path, const std::wstring& text)
{
    std::string utf8;
    if (!text.empty()) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                              nullptr, nullptr);
        if (bytes <= 0)
            return false;
        utf8.resize(static_cast<size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                            nullptr);
    }
    crashrpt::KernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!crashrpt::IsOpen(file))
        return false;
    DWORD written = 0;
    bool ok = utf8.empty() || (WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
                               written == utf8.size());
    // The close is where the file system reports what it could not write.
    ok = CloseHandle(file.release()) && ok;
    return ok;
}
