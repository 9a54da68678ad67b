#include "imagefile/extra/AnsiField.h"

#include <cstring>

#include "base/Utf8.h"

NString AnsiFieldText(const void* bytes, size_t capacity)
{
    if (!bytes || capacity == 0)
        return NString(L"");
    const char* text = static_cast<const char*>(bytes);
    return NStringFromAnsi(text, strnlen(text, capacity), capacity);
}
