#include "base/Utf8.h"

#include <windows.h>

#include <climits>
#include <cwchar>
#include <cstring>

#include "base/NString.h"

namespace {

// Decodes the sequence at bytes[0..available) and answers its length (1 to 4), or 0 when it is not
// well-formed: a bad lead byte, a missing or bad continuation byte, an overlong form, a surrogate
// or a code point above U+10FFFF.
size_t DecodeOne(const unsigned char* bytes, size_t available, char32_t& codePoint)
{
    const unsigned lead = bytes[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t length;
    char32_t value;
    // The allowed range of the second byte narrows for the leads that could start overlong
    // forms (E0, F0), surrogates (ED) or values above U+10FFFF (F4).
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;  // 80..C1 and F5..FF never lead
    }
    if (available < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned b = bytes[k];
        if (b < low || b > high)
            return 0;
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (b & 0x3F);
    }
    codePoint = value;
    return length;
}

bool Utf8ToUtf16(const unsigned char* bytes, size_t length, std::u16string& out)
{
    out.clear();
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        char32_t cp;
        const size_t n = DecodeOne(bytes + i, length - i, cp);
        if (n == 0)
            return false;
        i += n;
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (cp >> 10));
            out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        }
    }
    return true;
}

bool AssignFromUtf8(const unsigned char* bytes, size_t length, NString& result)
{
    std::u16string wide;
    if (length >= static_cast<size_t>(INT_MAX) || !Utf8ToUtf16(bytes, length, wide)) {
        result = L"";
        return false;
    }
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    NString text;
    const int units = static_cast<int>(wide.size());
    if (units)
        std::memcpy(text.GetBuffer(units), wide.data(), wide.size() * sizeof(char16_t));
    text.ReleaseBuffer(-1);  // the text ends at a zero unit, if the input held one
    if (units == 0)
        text = L"";
    result = text;
    return true;
}

}  // namespace

bool IsValidUtf8(const void* bytes, size_t length)
{
    if (length && !bytes)
        return false;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < length;) {
        char32_t cp;
        const size_t n = DecodeOne(p + i, length - i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

bool NStringFromUtf8(const char* text, NString& result)
{
    const size_t length = text ? std::strlen(text) : 0;
    return AssignFromUtf8(reinterpret_cast<const unsigned char*>(text), length, result);
}

bool NStringFromUtf8(const std::string& text, NString& result)
{
    return AssignFromUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), result);
}

bool NStringToUtf8(const NString& text, std::string& result)
{
    const wchar_t* p = text.c_str();
    const size_t units = static_cast<size_t>(text.GetLength());
    std::string out;
    out.reserve(units * 3);
    for (size_t i = 0; i < units; ++i) {
        char32_t cp = static_cast<char16_t>(p[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const char32_t next = i + 1 < units ? static_cast<char16_t>(p[i + 1]) : 0;
            if (next < 0xDC00 || next > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    result.swap(out);
    return true;
}

std::wstring WideFromAnsi(const char* text, size_t length)
{
    std::wstring result;
    if (!text || length == 0 || length > static_cast<size_t>(INT_MAX))
        return result;
    const int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0)
        return result;
    result.resize(static_cast<size_t>(units));
    if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), result.data(), units) != units)
        result.clear();
    return result;
}

std::wstring WideFromAnsi(const char* text)
{
    return text ? WideFromAnsi(text, std::strlen(text)) : std::wstring();
}

std::string AnsiFromWide(const wchar_t* text, size_t length)
{
    std::string result;
    if (!text || length == 0 || length > static_cast<size_t>(INT_MAX))
        return result;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return result;
    result.resize(static_cast<size_t>(bytes));
    if (WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), bytes, nullptr, nullptr) !=
        bytes)
        result.clear();
    return result;
}

std::string AnsiFromWide(const wchar_t* text)
{
    return text ? AnsiFromWide(text, std::wcslen(text)) : std::string();
}

NString NStringFromAnsi(const char* text, size_t length, size_t maxCharacters)
{
    NString result(L"");
    std::wstring wide = WideFromAnsi(text, length);
    if (wide.size() > maxCharacters)
        wide.resize(maxCharacters);
    result.Assign(wide.c_str());   // a zero inside the bytes ends the text
    return result;
}

std::string AnsiFromWideCut(const wchar_t* text, size_t maxBytes)
{
    std::string result = AnsiFromWide(text);
    if (result.size() > maxBytes)
        result.resize(maxBytes);
    return result;
}
