// MyMainMenu: the start window's menu bar. It draws the program's commands with their icons from
// the bar's icon strip, the internet library's items with the library's own icons, and sets the
// menu's texts from the language table.
#pragma once
#include <windows.h>

#include "ui/NMenuBar.h"

class MyMainMenu : public NMenuBar {
public:
    // The icon of a command: an index into the icon strip, -2 for an internet item with an icon
    // of its own, -1 for none.
    static int IconIndexOf(UINT commandId);

    void OnDrawItem(DRAWITEMSTRUCT* item, HMENU menu) override;
    void OnInitMenuPopup() override;

    // Titles and item texts from section "Menu".
    void ApplyLanguage();
    // Greys the Exit command.
    void DisableExitItem();
};
