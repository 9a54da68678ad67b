// Owners of kernel objects and other system resources: kernel handles (files, mappings,
// threads, events), file searches, registry keys and LocalAlloc memory (as FormatMessage hands
// it out). Move-only; nothing throws.
//
// CreateFile and FindFirstFile answer INVALID_HANDLE_VALUE when they fail: their owners take it
// as no handle, so the result goes straight in and the owner says whether there is one.
//
//     KernelHandleOwner file(CreateFileW(path, GENERIC_READ, ...));
//     if (!file)
//         return false;
#pragma once

#include <windows.h>

#include "base/HandleOwner.h"

struct KernelHandleDeleter {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
struct FindHandleDeleter {
    void operator()(HANDLE search) const noexcept { FindClose(search); }
};
struct RegistryKeyDeleter {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
struct LocalMemoryDeleter {
    void operator()(HLOCAL memory) const noexcept { LocalFree(memory); }
};

// A handle owner for calls that answer INVALID_HANDLE_VALUE on failure (null also counts as none).
template <typename Free>
class InvalidIsNoneOwner : public HandleOwner<HANDLE, Free> {
public:
    InvalidIsNoneOwner() noexcept = default;
    explicit InvalidIsNoneOwner(HANDLE handle) noexcept : HandleOwner<HANDLE, Free>(Valid(handle)) {}
    void Reset(HANDLE handle = nullptr) noexcept { HandleOwner<HANDLE, Free>::Reset(Valid(handle)); }

private:
    static HANDLE Valid(HANDLE handle) noexcept { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
};

// A kernel handle; Close tells whether closing succeeded (a written file's last error can show
// there).
class KernelHandleOwner : public InvalidIsNoneOwner<KernelHandleDeleter> {
public:
    using InvalidIsNoneOwner::InvalidIsNoneOwner;
    // True when nothing was held or the handle closed without an error; the owner is empty after.
    bool Close() noexcept
    {
        const HANDLE handle = Release();
        return !handle || CloseHandle(handle) != FALSE;
    }
};
using FindHandleOwner = InvalidIsNoneOwner<FindHandleDeleter>;
using RegistryKeyOwner = HandleOwner<HKEY, RegistryKeyDeleter>;
using LocalMemoryOwner = HandleOwner<HLOCAL, LocalMemoryDeleter>;
