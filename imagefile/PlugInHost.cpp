#include "imagefile/PlugInHost.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "base/Log.h"
#include "base/SystemOwners.h"
#include "imaging/NImageBuffer.h"

namespace {

constexpr int kPathUnits = 260;
constexpr int kExtensionUnits = 200;
constexpr size_t kRecordHeadBytes = offsetof(PlugInRecord, formatInfo);

// An export of the record's DLL, looked up afresh for every call; null when not loaded.
template <typename Fn>
Fn Export(const PlugInRecord& record, const char* name)
{
    if (!record.loaded || !record.module)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(record.module, name)));
}

// Ends a text field written by a DLL inside its own units.
template <size_t N>
void TerminateField(wchar_t (&field)[N])
{
    field[N - 1] = L'\0';
}

bool ValidDepth(int32_t bpp)
{
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

// Makes the target picture in exactly the size and depth the DLL reported, so that the rows it
// writes match the buffer.
bool CreateTarget(NImageBuffer& target, int32_t width, int32_t height, int32_t bpp, const uint8_t* palette)
{
    if (width < 1 || height < 1 || !ValidDepth(bpp))
        return false;
    if (!target.Create(width, height, bpp, 0, palette))
        return false;
    return target.valid && target.bits && target.width == width && target.height == height && target.bpp == bpp;
}

void SetPaletteFromBlock(NImageBuffer& target, int32_t bpp, const uint8_t* palette)
{
    if (bpp <= 8)
        target.SetPalette(palette, 1 << bpp);
}

}  // namespace

// ---- The host ----

PlugInHost::~PlugInHost()
{
    for (PlugInRecord& record : records)
        UnloadPlugIn(record);
}

PlugInHost& GetPlugInHost()
{
    static PlugInHost host;
    return host;
}

int PlugInCount()
{
    return static_cast<int>(GetPlugInHost().records.size());
}

const PlugInRecord* PlugInAt(int index)
{
    PlugInHost& host = GetPlugInHost();
    if (index < 0 || static_cast<size_t>(index) >= host.records.size())
        return nullptr;
    return &host.records[static_cast<size_t>(index)];
}

int GetCurrentPlugInIndex()
{
    return GetPlugInHost().currentIndex.load(std::memory_order_relaxed);
}

void SetCurrentPlugInIndex(int index)
{
    GetPlugInHost().currentIndex.store(index, std::memory_order_relaxed);
}

const PlugInRecord* GetCurrentPlugIn()
{
    return PlugInAt(GetCurrentPlugInIndex());
}

int FindPlugInForExtension(const wchar_t* extension, bool forWriting)
{
    if (!extension)
        return -1;
    const std::vector<PlugInRecord>& records = GetPlugInHost().records;
    std::vector<NString> tokens;
    for (size_t i = 0; i < records.size(); ++i) {
        const PlugInRecord& record = records[i];
        if ((forWriting ? record.canWrite : record.canRead) == 0)
            continue;
        SplitBarList(record, tokens);
        for (const NString& token : tokens) {
            if (token.CompareNoCase(extension) == 0)
                return static_cast<int>(i);
        }
    }
    return -1;
}

// ---- Start and end ----

NRESULT InitializePlugIns(const wchar_t* folder)
{
    if (!folder || !PathFileExistsW(folder))
        return NR_PLUGIN_MISSING;
    ScanPlugInFolder(GetPlugInHost(), folder);
    return NR_OK;
}

NRESULT UninitializePlugIns()
{
    PlugInHost& host = GetPlugInHost();
    for (PlugInRecord& record : host.records)
        UnloadPlugIn(record);
    std::vector<PlugInRecord>().swap(host.records);
    return NR_OK;
}

bool ScanPlugInFolder(PlugInHost& host, const wchar_t* folder)
{
    if (!folder)
        return true;
    // A DLL is described with the plug-in folder as the current directory, so that what it
    // loads by a relative name is found beside it.
    wchar_t saved[kPathUnits];
    DWORD savedLength = GetCurrentDirectoryW(kPathUnits, saved);
    bool restore = savedLength > 0 && savedLength < static_cast<DWORD>(kPathUnits);
    SetCurrentDirectoryW(folder);

    NString base(folder);
    base += L"\\";
    NString pattern = base + L"LMC_*.dll";
    WIN32_FIND_DATAW found;
    const FindHandleOwner search(pattern.GetLength() < kPathUnits ? FindFirstFileW(pattern.c_str(), &found) : nullptr);
    if (search) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            NString path = base + found.cFileName;
            if (path.GetLength() < kPathUnits)  // a cut path could name another file
                AddPlugIn(host, path.c_str());
        } while (FindNextFileW(search.Get(), &found));
    }
    if (restore)
        SetCurrentDirectoryW(saved);
    return true;
}

bool AddPlugIn(PlugInHost& host, const wchar_t* dllPath)
{
    ScopedPlugIn plugIn;
    if (!plugIn.Load(dllPath))
        return false;
    UnloadPlugIn(plugIn.Record());
    host.records.push_back(plugIn.Record());
    return true;
}

// ---- One DLL ----

bool LoadPlugIn(PlugInRecord& record, const wchar_t* dllPath)
{
    if (!dllPath)
        return false;
    memset(&record, 0, kRecordHeadBytes);
    size_t length = wcslen(dllPath);
    if (length >= static_cast<size_t>(kPathUnits)) {
        // Cutting the path could load a different file.
        LogMessage(L"No PlugIn Load: %s", dllPath);
        return false;
    }
    wmemcpy(record.path, dllPath, length + 1);

    if (!LoadPlugInModule(record) || !record.module) {
        LogMessageBox(L"No PlugIn Load: %s", dllPath);
        return false;
    }

    record.version = kPlugInInterfaceVersion;
    if (PlugInGetInfoFn getInfo = Export<PlugInGetInfoFn>(record, "Dll_GetPlugInInfo")) {
        // The fields the host owns are kept whatever the DLL writes into them.
        HMODULE module = record.module;
        uint8_t loaded = record.loaded;
        getInfo(&record);
        record.module = module;
        record.loaded = loaded;
        wmemcpy(record.path, dllPath, length + 1);
        wmemset(record.path + length + 1, L'\0', kPathUnits - length - 1);
        TerminateField(record.name);
        TerminateField(record.filterDescription);
        TerminateField(record.filterPattern);
    }
    if (record.version != kPlugInInterfaceVersion) {
        UnloadPlugIn(record);
        return false;
    }
    return true;
}

bool LoadPlugInModule(PlugInRecord& record)
{
    if (record.loaded && record.module)
        return true;
    record.path[kPathUnits - 1] = L'\0';
    // A broken file is reported by the caller, never by a system error box.
    DWORD previousMode = 0;
    BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    record.module = LoadLibraryW(record.path);
    if (modeSet)
        SetThreadErrorMode(previousMode, nullptr);
    record.loaded = record.module ? 1 : 0;
    if (!record.loaded)
        return false;
    if (PlugInInitializeFn initialize = Export<PlugInInitializeFn>(record, "Dll_InitializePlugIn"))
        initialize();
    return true;
}

bool UnloadPlugIn(PlugInRecord& record)
{
    if (record.loaded) {
        if (PlugInUninitializeFn uninitialize = Export<PlugInUninitializeFn>(record, "Dll_UninitializePlugIn"))
            uninitialize();
        if (record.module)
            FreeLibrary(record.module);
        record.module = nullptr;
        record.loaded = 0;
    }
    return true;
}

// ---- Lists ----

void SplitBarText(const wchar_t* list, int maxUnits, int maxToken, std::vector<NString>& tokens)
{
    tokens.clear();
    int count = 0;
    if (list) {
        while (count < maxUnits && list[count] != L'\0')
            ++count;
    }
    std::wstring token;
    int i = 0;
    while (i < count) {
        if (static_cast<int>(token.size()) < maxToken)
            token += list[i];
        ++i;
        if (i < count && list[i] == L'|') {
            tokens.emplace_back(token.c_str());
            token.clear();
            ++i;  // the separator; what follows starts the next token, even another '|'
        }
    }
    tokens.emplace_back(token.c_str());
}

void SplitBarList(const PlugInRecord& record, std::vector<NString>& tokens)
{
    SplitBarText(record.extensions, kExtensionUnits, kExtensionUnits - 1, tokens);
}

// ---- Decoding and encoding ----

NRESULT DecodeWithPlugIn(PlugInRecord& record, const wchar_t* path, NImageBuffer* target, bool preview,
                         bool pixelsOnly, int32_t optionValue, uint8_t optionFlag)
{
    PlugInFormatInfo& info = record.formatInfo;
    memset(&info, 0, sizeof info);
    info.size = sizeof(PlugInFormatInfo);
    info.loadOptionFlag = optionFlag;

    PlugInGetFormatInfoFn getFormatInfo = Export<PlugInGetFormatInfoFn>(record, "Dll_GetFormatInfo");
    if (!getFormatInfo)
        return NR_PLUGIN_FUNCTION_MISSING;
    int32_t status = getFormatInfo(path, &info);
    if (status != 0)
        return static_cast<NRESULT>(status);
    TerminateField(info.cameraMake);
    TerminateField(info.cameraModel);
    TerminateField(info.date);
    TerminateField(info.comment);

    info.loadOptionValue = optionValue;
    if (pixelsOnly)
        info.metadataWanted = 0;
    if (!target)
        return NR_PICTURE_CREATE_FAILED;

    uint8_t palette[kPlugInPaletteBytes] = {};
    if (preview && info.hasPreview) {
        const int32_t bpp = info.previewBitsPerPixel;
        if (!CreateTarget(*target, info.previewWidth, info.previewHeight, bpp, palette))
            return NR_PICTURE_CREATE_FAILED;
        PlugInDecodeFn decodePreview = Export<PlugInDecodeFn>(record, "Dll_DecodeFormatPreview");
        if (!decodePreview)
            return NR_PLUGIN_FUNCTION_MISSING;
        status = decodePreview(path, &info, target->bits, palette);
        if (status != 0)
            return static_cast<NRESULT>(status);
        SetPaletteFromBlock(*target, bpp, palette);
        return NR_OK;
    }

    const int32_t bpp = info.bitsPerPixel;
    if (!CreateTarget(*target, info.width, info.height, bpp, palette))
        return NR_PICTURE_CREATE_FAILED;
    PlugInDecodeFn decode = Export<PlugInDecodeFn>(record, "Dll_DecodeFormat");
    if (!decode)
        return NR_PLUGIN_FUNCTION_MISSING;
    status = decode(path, &info, target->bits, palette);
    SetPaletteFromBlock(*target, bpp, palette);
    return static_cast<NRESULT>(status);
}

NRESULT EncodeWithPlugIn(PlugInRecord& record, const wchar_t* path, NImageBuffer* source, int32_t option)
{
    if (!source || !source->valid || !source->bits || !path)
        return NR_PICTURE_NOT_VALID;
    PlugInFormatInfo& info = record.formatInfo;
    memset(&info, 0, sizeof info);
    info.size = sizeof(PlugInFormatInfo);
    info.width = source->width;
    info.height = source->height;
    info.bitsPerPixel = source->bpp;

    uint8_t palette[kPlugInPaletteBytes] = {};
    if (source->bpp <= 8) {
        const int entries = 1 << source->bpp;
        for (int i = 0; i < entries; ++i) {
            palette[i * 3] = source->palette[i][2];
            palette[i * 3 + 1] = source->palette[i][1];
            palette[i * 3 + 2] = source->palette[i][0];
        }
    }
    PlugInEncodeFn encode = Export<PlugInEncodeFn>(record, "Dll_EncodeFormat");
    if (!encode)
        return NR_PLUGIN_FUNCTION_MISSING;
    return static_cast<NRESULT>(encode(path, &info, source->bits, palette, option));
}

bool IsFormatWithPlugIn(PlugInRecord& record, uintptr_t a, uintptr_t b, uintptr_t c)
{
    PlugInIsFormatFn isFormat = Export<PlugInIsFormatFn>(record, "Dll_IsFormat");
    return isFormat && isFormat(a, b, c) == 1;
}

void GetPlugInFileList(PlugInRecord& record, std::vector<NString>& files)
{
    files.clear();
    record.path[kPathUnits - 1] = L'\0';
    if (!record.loaded)
        LogMessage(L"No PlugIn Load GetPlugInFiles: %s", record.path);
    PlugInGetFilesFn getFiles = Export<PlugInGetFilesFn>(record, "Dll_GetPlugInFiles");
    if (!getFiles)
        return;
    wchar_t buffer[kPlugInFileListUnits] = {};
    getFiles(buffer, kPlugInFileListUnits);
    buffer[kPlugInFileListUnits - 1] = L'\0';
    SplitBarText(buffer, kPlugInFileListUnits, kPlugInFileListUnits - 1, files);
}
