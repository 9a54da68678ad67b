// HandleOwner: owner of one handle of a kind (a GDI object, a menu, an icon...), freed by the
// kind's Free when the owner goes or takes another handle. Move-only; nothing throws. A null
// handle is never freed.
//
//     FontOwner font(CreateFontIndirectW(&logFont));   // HandleOwner<HFONT, GdiObjectDeleter>
//     SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
//
// The kinds in use are named in GdiOwners.h, MenuOwner.h and IconOwner.h.
#pragma once

template <typename HandleType, typename Free>
class HandleOwner {
public:
    using Handle = HandleType;

    HandleOwner() noexcept = default;
    // Takes ownership of the handle (null is fine).
    explicit HandleOwner(Handle handle) noexcept : m_handle(handle) {}
    ~HandleOwner() { Reset(); }

    HandleOwner(HandleOwner&& other) noexcept : m_handle(other.Release()) {}
    HandleOwner& operator=(HandleOwner&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;

    Handle Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }

    // Frees the handle held, unless it is the one given, and keeps the given one.
    void Reset(Handle handle = nullptr) noexcept
    {
        const Handle old = m_handle;
        m_handle = handle;
        if (old && old != handle)
            Free()(old);
    }
    // Gives the handle up without freeing it; the owner is empty afterwards.
    Handle Release() noexcept
    {
        const Handle handle = m_handle;
        m_handle = nullptr;
        return handle;
    }

private:
    Handle m_handle = nullptr;
};
