#include "base/WinVersion.h"

#include <cstring>

#include "base/SystemExport.h"

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

// Filled by the first successful query. Two threads filling it at once write the same bytes;
// the flag is published after the record.
OSVERSIONINFOEXW g_cached;
volatile LONG g_cacheFilled = 0;

}  // namespace

bool GetOsVersion(OSVERSIONINFOEXW& info)
{
    if (InterlockedCompareExchange(&g_cacheFilled, 0, 0)) {
        std::memcpy(&info, &g_cached, sizeof info);
        return true;
    }
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    auto query = FindSystemExportAs<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (!query)
        return false;
    if (query(reinterpret_cast<OSVERSIONINFOW*>(&info)) != 0) {
        // A failed query says nothing about the system: report it and keep asking next time.
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        return false;
    }
    std::memcpy(&g_cached, &info, sizeof info);
    InterlockedExchange(&g_cacheFilled, 1);
    return true;
}

bool IsOsVersionAtLeast(DWORD major, DWORD minor)
{
    OSVERSIONINFOEXW info;
    if (!GetOsVersion(info))
        return false;
    return info.dwMajorVersion > major || (info.dwMajorVersion == major && info.dwMinorVersion >= minor);
}

void ResetOsVersionCacheForTesting()
{
    InterlockedExchange(&g_cacheFilled, 0);
}
