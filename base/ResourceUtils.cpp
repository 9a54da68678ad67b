#include "base/ResourceUtils.h"

#include <cstring>

int LoadResourceData(HMODULE module, const wchar_t* name, const wchar_t* type, void* buffer, DWORD* size)
{
    if (!size)
        return 0;
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return 0;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return 0;
    DWORD length = SizeofResource(module, found);
    if (!buffer) {
        *size = length;
        return 1;
    }
    if (*size < length)
        return 0;
    std::memcpy(buffer, data, length);
    return 1;
}
