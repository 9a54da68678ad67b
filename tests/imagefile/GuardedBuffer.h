// Test memory fenced by no-access pages: any read before its first byte or past its last byte
// faults at once. Header only, shared by the signature tests and the fuzz driver.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

class GuardedBuffer {
public:
    // Room for up to `capacity` bytes between a leading and a trailing no-access page.
    explicit GuardedBuffer(size_t capacity)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        usable_ = (capacity + page_ - 1) / page_ * page_;
        if (usable_ == 0)
            usable_ = page_;
        base_ = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, usable_ + 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (base_ && (!VirtualProtect(base_, page_, PAGE_NOACCESS, &old) ||
                      !VirtualProtect(base_ + page_ + usable_, page_, PAGE_NOACCESS, &old))) {
            VirtualFree(base_, 0, MEM_RELEASE);
            base_ = nullptr;
        }
    }
    ~GuardedBuffer()
    {
        if (base_)
            VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    bool valid() const { return base_ != nullptr; }
    size_t capacity() const { return usable_; }

    // Copies `length` bytes so that they end right at the trailing no-access page and answers
    // where they start (for a length of 0, the first byte of that page).
    uint8_t* AtEnd(const void* bytes, size_t length)
    {
        uint8_t* start = base_ + page_ + usable_ - length;
        if (length)
            memcpy(start, bytes, length);
        return start;
    }
    // Copies `length` bytes so that they start right after the leading no-access page.
    uint8_t* AtStart(const void* bytes, size_t length)
    {
        uint8_t* start = base_ + page_;
        if (length)
            memcpy(start, bytes, length);
        return start;
    }

private:
    uint8_t* base_ = nullptr;
    size_t page_ = 4096;
    size_t usable_ = 0;
};
