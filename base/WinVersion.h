// The Windows version, asked once from the system (RtlGetVersion, which is not subject to the
// compatibility shims of GetVersionEx) and cached for the life of the process.
#pragma once
#include <windows.h>

// Fills the record (its size field set to sizeof(OSVERSIONINFOEXW)). False, with the record
// cleared apart from its size field, when the version cannot be had; a failed query is not
// cached, so a later call asks again.
bool GetOsVersion(OSVERSIONINFOEXW& info);

// True when the version is known and at least major.minor.
bool IsOsVersionAtLeast(DWORD major, DWORD minor);
inline bool IsWindows10OrLater() { return IsOsVersionAtLeast(10, 0); }
inline bool IsWindows81OrLater() { return IsOsVersionAtLeast(6, 3); }

// Forgets the cached version, so that tests can stand in another system through
// SetSystemExportLookupForTesting.
void ResetOsVersionCacheForTesting();
