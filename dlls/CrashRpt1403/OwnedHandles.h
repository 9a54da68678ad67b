// Owners of the handles the crash reporter opens while it writes a report: a kernel handle
// (file or thread), registry keys, and the screen capture's DC and bitmap. The library builds from its own folder
// only, so it keeps these few lines of its own.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace crashrpt {

struct KernelHandleCloser {
    void operator()(HANDLE handle) const noexcept
    {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
struct MemoryDcDeleter {
    void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
struct RegistryKeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};

// A file or thread; INVALID_HANDLE_VALUE counts as none.
using KernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleCloser>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

inline bool IsOpen(const KernelHandle& handle)
{
    return handle && handle.get() != INVALID_HANDLE_VALUE;
}

// The screen's DC, given back when the owner goes.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc()
    {
        if (dc_)
            ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

}  // namespace crashrpt
