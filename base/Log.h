// The library log: one time-stamped line per call in "_NLogMsg.txt" beside the program.
#pragma once
#include <cstdarg>
#include <string>

// Wide printf-style (%s wide, %S narrow). Appends "YYYY/MM/DD hh:mm:ss: text" (UTC) to the log
// file and sends the text to the debugger output. Answers whether the line reached the file.
bool LogMessage(const wchar_t* format, ...);
bool LogMessageV(const wchar_t* format, va_list args);

// The same line in the file (no debugger output), then the text in a message box captioned
// "ZUvo"; answers whether the box was closed with OK.
bool LogMessageBox(const wchar_t* format, ...);

// Appends one line "YYYY/MM/DD hh:mm:ss: text" with the current UTC time to the file at path
// (created when missing). Lines of all threads are serialised. Answers whether the line was written.
bool AppendLogLine(const wchar_t* path, const wchar_t* text);

// The start of such a line for the current UTC time: "YYYY/MM/DD hh:mm:ss: ".
std::wstring LogLineStamp();
