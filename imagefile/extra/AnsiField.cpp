#include "imagefile/extra/AnsiField.h"

#include <windows.h>

#include <cstring>
#include <vector>

NString AnsiFieldText(const void* bytes, size_t capacity)
{
    if (!bytes || capacity == 0)
        return NString(L"");
    const char* text = static_cast<const char*>(bytes);
    const void* end = memchr(text, 0, capacity);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : capacity;
    if (length == 0 || length > 0x7FFFFFFF)
        return NString(L"");
    const int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0)
        return NString(L"");
    std::vector<wchar_t> wide(static_cast<size_t>(units) + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(), units);
    return NString(wide.data());
}
