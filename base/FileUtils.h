// Deleting and copying files through the shell, and a quick check that a file can be read.
#pragma once
#include <windows.h>

#include "base/NString.h"

// Deletes the file (or folder) at the path through the shell without asking, into the Recycle
// Bin when toRecycleBin is set. 1 on success, 0 otherwise. A path that the shell cannot take
// whole (null, empty, longer than 259 units, or holding the wildcards '*' or '?') is refused
// with 0: the operation never acts on anything but the named item. The shell may show its own
// progress and error windows, so this belongs to the user-interface thread.
int ShellDeleteFile(const wchar_t* path, bool toRecycleBin);

// Copies source to destination through the shell (folders made as needed, nothing asked); the
// destination then gets FILE_ATTRIBUTE_NORMAL. On failure, including a path refused as above,
// the failure is logged and shown in a message box, and the answer is false.
bool CopyFileShell(const wchar_t* destination, const wchar_t* source, HWND owner);

// True when the file opens for reading and holds at least 20 bytes. Otherwise false with the
// error text "Failed to open file for read!" or "Invalid file size!".
bool CheckFileReadable(const wchar_t* path, NString& error);
