// Writes the values of a registry key (and, when asked, of its subkeys) into an XML file.
#pragma once
#include <string>

// keyPath starts with a root key name ("HKEY_CURRENT_USER\Software\..."; short forms such as
// "HKCU" are taken too). A key that does not exist gives a file that says so. False when the
// file cannot be written.
bool ExportRegistryKey(const std::wstring& keyPath, bool withSubkeys, const std::wstring& filePath);
