// Releasing GDI handles held in members.
#pragma once
#include <windows.h>

// Deletes the GDI object the member holds (a font, brush, pen or bitmap) and clears the member.
template <typename Handle>
void DeleteGdiObject(Handle& member)
{
    if (member) {
        DeleteObject(reinterpret_cast<HGDIOBJ>(member));
        member = nullptr;
    }
}
