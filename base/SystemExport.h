// Functions of system DLLs looked up at run time, so that the program still starts on systems
// that lack them. The module is taken only when it is already loaded (GetModuleHandleW); it is
// never loaded here. Nothing is cached: every call looks the export up again.
#pragma once
#include <windows.h>

FARPROC FindSystemExport(const wchar_t* module, const char* name);

// Typed form: FindSystemExportAs<decltype(&Function)>(L"user32.dll", "Function").
template <typename Fn>
Fn FindSystemExportAs(const wchar_t* module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(FindSystemExport(module, name)));
}

// Tests replace the lookup to stand in missing or counting exports; null restores the real one.
using SystemExportLookup = FARPROC (*)(const wchar_t* module, const char* name);
void SetSystemExportLookupForTesting(SystemExportLookup lookup);
