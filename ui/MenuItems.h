// Owner-drawn menu items: switching a whole menu tree to owner drawing and inserting one item.
#pragma once
#include <windows.h>

// Switches every item of the menu and its submenus to owner drawing (or back); answers the item
// count of the last menu walked.
int SetMenuOwnerDraw(HMENU menu, bool ownerDraw);
// Inserts an item by position; false when the system refuses it.
bool InsertMenuItemAt(HMENU menu, int position, UINT id, const wchar_t* text, bool ownerDraw);
// Removes the separators that would show at the top or bottom of a menu or next to another
// separator (left behind when the items they divided are missing), in the menu and its submenus.
void RemoveStraySeparators(HMENU menu);
