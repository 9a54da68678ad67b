// Raw bytes of a resource.
#pragma once
#include <windows.h>

// Without a buffer: stores the resource's size in *size and answers 1. With a buffer: copies the
// resource into it and answers 1 when *size (the buffer's size) holds it, else 0 with nothing
// copied. 0 when size is null or the resource cannot be found, loaded or locked.
int LoadResourceData(HMODULE module, const wchar_t* name, const wchar_t* type, void* buffer, DWORD* size);
