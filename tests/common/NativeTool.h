// Running a native (Linux) program from a test that runs under Wine, to have an independent
// reader check what the program wrote: ImageMagick, apngdis and the like.
#pragma once

#include <string>

// The Unix path of a file under Wine; empty elsewhere.
std::string UnixPath(const std::wstring& path);

// Runs the shell command line (sh -c) in the folder, its output going to the files the command
// names. True when it finished within about ten seconds and ended with status 0. False at once
// when not under Wine.
bool RunNativeCommand(const std::wstring& folder, const std::string& command);

// True when the native program (an absolute path such as "/usr/bin/identify") exists.
bool NativeProgramExists(const char* program);
