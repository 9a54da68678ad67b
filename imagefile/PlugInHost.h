// The format plug-in host: finds the DLLs "LMC_*.dll" of the plug-in folder at start, keeps one
// description record per usable DLL, and wraps the calls into a DLL. A DLL is never kept
// loaded: each read or write loads it from its path for that one operation.
//
// The list is filled at start and emptied at exit on the user-interface thread and only read in
// between; the current index is written by whichever thread chooses a plug-in.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/NString.h"
#include "docobjects/NResult.h"
#include "imagefile/PlugInInterface.h"

class NImageBuffer;

// The process-wide host: the records of the usable DLLs, in the order the folder search found
// them, and the index of the plug-in chosen last.
class PlugInHost {
public:
    PlugInHost() = default;
    ~PlugInHost();  // unloads and releases every record
    PlugInHost(const PlugInHost&) = delete;
    PlugInHost& operator=(const PlugInHost&) = delete;

    std::vector<PlugInRecord> records;
    std::atomic<int32_t> currentIndex{0};
};

PlugInHost& GetPlugInHost();

// ---- Queries for the format registry and the plug-in format class ----
int PlugInCount();
const PlugInRecord* PlugInAt(int index);          // null out of range
int GetCurrentPlugInIndex();
void SetCurrentPlugInIndex(int index);
// The record at the current index; null when the list is empty or the index is out of range.
const PlugInRecord* GetCurrentPlugIn();
// Index of the first record (in list order) that lists the extension (no dot, any case) and
// can read it (forWriting false) or write it (forWriting true); -1 when none does.
int FindPlugInForExtension(const wchar_t* extension, bool forWriting);

// ---- Start and end ----
// NR_PLUGIN_MISSING (600) when the folder does not exist; otherwise scans it and answers 0.
NRESULT InitializePlugIns(const wchar_t* folder);
// Unloads every record and empties the list; answers 0.
NRESULT UninitializePlugIns();
// Describes every "LMC_*.dll" of the folder into the host's list; always true.
bool ScanPlugInFolder(PlugInHost& host, const wchar_t* folder);
// Describes one DLL and appends its record (unloaded) when the DLL is usable.
bool AddPlugIn(PlugInHost& host, const wchar_t* dllPath);

// ---- One DLL ----
// Clears the record up to its format info, stores the path, loads the DLL, initialises it and
// asks for its description. False (and the DLL unloaded) when it does not load or changes the
// version field. A DLL that does not load is reported with a log line and a message box.
bool LoadPlugIn(PlugInRecord& record, const wchar_t* dllPath);
// Loads the record's DLL unless it is loaded already, then Dll_InitializePlugIn.
bool LoadPlugInModule(PlugInRecord& record);
// When loaded: Dll_UninitializePlugIn, FreeLibrary, module null, loaded 0. Always true.
bool UnloadPlugIn(PlugInRecord& record);

// A record loaded for the length of one operation; unloaded when the holder goes.
class ScopedPlugIn {
public:
    ScopedPlugIn() : record_{} {}
    ~ScopedPlugIn() { UnloadPlugIn(record_); }
    ScopedPlugIn(const ScopedPlugIn&) = delete;
    ScopedPlugIn& operator=(const ScopedPlugIn&) = delete;

    bool Load(const wchar_t* dllPath) { return LoadPlugIn(record_, dllPath); }
    PlugInRecord& Record() { return record_; }

private:
    PlugInRecord record_;
};

// ---- Lists ----
// The record's extension list split at '|': read to its NUL or 200 units, tokens of at most 199
// characters; a '|' right after a separator (or at the start) belongs to the next token.
void SplitBarList(const PlugInRecord& record, std::vector<NString>& tokens);
// The same rule for any list of at most maxUnits units with tokens of at most maxToken characters.
void SplitBarText(const wchar_t* list, int maxUnits, int maxToken, std::vector<NString>& tokens);

// ---- Decoding and encoding (the record's DLL loaded) ----
// Fills the record's format info through Dll_GetFormatInfo, makes the target picture in the
// reported size (the preview size when a preview is asked for and offered) and has the DLL
// decode into it. pixelsOnly clears the metadata request of the format info.
NRESULT DecodeWithPlugIn(PlugInRecord& record, const wchar_t* path, NImageBuffer* target, bool preview,
                         bool pixelsOnly, int32_t optionValue, uint8_t optionFlag);
// NR_PICTURE_NOT_VALID (400) for an invalid picture or no path; else Dll_EncodeFormat's status.
NRESULT EncodeWithPlugIn(PlugInRecord& record, const wchar_t* path, NImageBuffer* source, int32_t option);
// Dll_IsFormat answered 1.
bool IsFormatWithPlugIn(PlugInRecord& record, uintptr_t a, uintptr_t b, uintptr_t c);
// The DLL's own file list (Dll_GetPlugInFiles), split at '|'.
void GetPlugInFileList(PlugInRecord& record, std::vector<NString>& files);
