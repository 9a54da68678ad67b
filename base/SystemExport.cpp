#include "base/SystemExport.h"

#include <atomic>

namespace {

FARPROC RealLookup(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    return handle ? GetProcAddress(handle, name) : nullptr;
}

std::atomic<SystemExportLookup> g_lookup{RealLookup};

}  // namespace

FARPROC FindSystemExport(const wchar_t* module, const char* name)
{
    if (!module || !name)
        return nullptr;
    return g_lookup.load(std::memory_order_acquire)(module, name);
}

void SetSystemExportLookupForTesting(SystemExportLookup lookup)
{
    g_lookup.store(lookup ? lookup : RealLookup, std::memory_order_release);
}
