#include "ui/FormatCheck.h"

#include <cwchar>

namespace {

constexpr int kMaxField = 999;

// Reads a run of decimal digits; false when it exceeds kMaxField.
bool ReadField(const wchar_t*& p)
{
    int value = 0;
    while (*p >= L'0' && *p <= L'9') {
        value = value * 10 + (*p - L'0');
        if (value > kMaxField)
            return false;
        ++p;
    }
    return true;
}

// The argument kind a conversion character takes; 0 when the conversion is refused.
wchar_t KindOf(wchar_t conversion, wchar_t prefix)
{
    switch (conversion) {
    case L'd': case L'i': case L'u': case L'x': case L'X': case L'o':
        return (prefix == 0 || prefix == L'h' || prefix == L'l') ? L'd' : 0;
    case L'c': case L'C':
        return (prefix == 0 || prefix == L'h' || prefix == L'l' || prefix == L'w') ? L'd' : 0;
    case L's':
        return (prefix == 0 || prefix == L'l' || prefix == L'w') ? L's' : 0;
    case L'f': case L'F': case L'e': case L'E': case L'g': case L'G': case L'a': case L'A':
        return (prefix == 0 || prefix == L'l') ? L'f' : 0;
    default:
        return 0;  // %n writes memory, %p and %S take other types, anything else is unknown
    }
}

}  // namespace

bool FormatFitsArguments(const wchar_t* format, const wchar_t* argumentKinds)
{
    if (!format || !argumentKinds)
        return false;
    const size_t available = std::wcslen(argumentKinds);
    size_t used = 0;
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%')
            continue;
        ++p;
        if (*p == L'%')
            continue;
        while (*p == L'-' || *p == L'+' || *p == L' ' || *p == L'#' || *p == L'0')
            ++p;
        if (!ReadField(p))
            return false;
        if (*p == L'.') {
            ++p;
            if (!ReadField(p))
                return false;
        }
        wchar_t prefix = 0;
        if (*p == L'h' || *p == L'l' || *p == L'w') {
            prefix = *p;
            ++p;
        }
        if (*p == 0)
            return false;
        const wchar_t kind = KindOf(*p, prefix);  // '*', '$', "ll" and "I64" land here as unknown
        if (kind == 0 || used >= available || argumentKinds[used] != kind)
            return false;
        ++used;
    }
    return true;
}
