// Owners of GDI resources: objects freed by DeleteObject (fonts, brushes, pens, bitmaps,
// regions), device contexts made by CreateCompatibleDC or CreateDC, a window's DC from GetDC,
// and an object selected into a DC for a scope.
//
// Declare the owner of an object before the selection that uses it, so the selection is undone
// before the object is deleted.
#pragma once

#include <windows.h>

#include "base/HandleOwner.h"

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
struct EnhancedMetafileDeleter {
    void operator()(HENHMETAFILE metafile) const noexcept { DeleteEnhMetaFile(metafile); }
};
struct DcDeleter {
    void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};

using FontOwner = HandleOwner<HFONT, GdiObjectDeleter>;
using BrushOwner = HandleOwner<HBRUSH, GdiObjectDeleter>;
using PenOwner = HandleOwner<HPEN, GdiObjectDeleter>;
using BitmapOwner = HandleOwner<HBITMAP, GdiObjectDeleter>;
using RegionOwner = HandleOwner<HRGN, GdiObjectDeleter>;
using EnhancedMetafileOwner = HandleOwner<HENHMETAFILE, EnhancedMetafileDeleter>;
// A DC of CreateCompatibleDC or CreateDC (never one of GetDC: see WindowDc).
using MemoryDcOwner = HandleOwner<HDC, DcDeleter>;

// The DC of a window (null: the screen) from GetDC, released when the object goes.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : m_window(window), m_dc(GetDC(window)) {}
    ~WindowDc()
    {
        if (m_dc)
            ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC Get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// Selects an object (a font, brush, pen or bitmap; not a region) into a DC and selects the
// previous one back when it goes. A null DC or object selects nothing.
class ObjectSelection {
public:
    ObjectSelection(HDC dc, HGDIOBJ object) noexcept
        : m_dc(dc), m_previous(dc && object ? SelectObject(dc, object) : nullptr)
    {
        if (m_previous == HGDI_ERROR)
            m_previous = nullptr;
    }
    ~ObjectSelection()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
    }
    ObjectSelection(const ObjectSelection&) = delete;
    ObjectSelection& operator=(const ObjectSelection&) = delete;

    // False when the object could not be selected.
    bool Selected() const noexcept { return m_previous != nullptr; }

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};
