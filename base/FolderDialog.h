// The shell's folder chooser.
#pragma once
#include <windows.h>

// Lets the user choose a file-system folder, starting at startFolder (the current directory
// when it is null or empty). True with the chosen folder's path in the buffer; false, the buffer
// untouched, when the buffer is null or size is 0 or less (no dialog then), when the user
// cancels, or when the chosen item has no file-system path or it would not fit in size units
// with its NUL. The thread must have COM initialised (OleInitialize).
bool BrowseForFolder(HWND owner, const wchar_t* startFolder, wchar_t* buffer, int size);

// The chooser's callback; lParam of BFFM_INITIALIZED is the start folder. On start it takes the
// context-help button off the dialog and selects the start folder; whenever the selection moves
// to an item that is not an existing folder of the file system (a virtual folder, a shortcut)
// it disables OK.
int CALLBACK BrowseForFolderCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data);
