// Two faulty format plug-ins for the host's tests, built from this one source:
// - BROKEN_VERSION: describes itself but changes the interface version, so the host refuses it.
// - otherwise: exports only the initialise and uninitialise functions; it has no description
//   and no decoder or encoder.
#include <windows.h>

#include <cwchar>

#include "imagefile/PlugInInterface.h"

extern "C" {

int32_t Dll_InitializePlugIn()
{
    return 0;
}

int32_t Dll_UninitializePlugIn()
{
    return 0;
}

#ifdef BROKEN_VERSION
int32_t Dll_GetPlugInInfo(PlugInRecord* record)
{
    wcscpy(record->name, L"Version Three");
    wcscpy(record->extensions, L"rgy");
    record->canRead = 1;
    record->canWrite = 1;
    record->version = 3;
    return 0;
}
#endif

}  // extern "C"
