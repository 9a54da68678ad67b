// Shared by the plug-in tests: where the test plug-ins lie, raw grey files, and a host that is
// empty before and after each test.
//
// Beside the test program: PlugIns\LMC_RawGrey.dll (reads and writes "rgy" and "rawgrey"),
// PlugInsBroken\LMC_BadVersion.dll (changes the interface version) and
// PlugInsBroken\LMC_NoInfo.dll (no description, no decoder, no encoder).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "imagefile/PlugInHost.h"

inline std::wstring PlugInFolder()
{
    return ProgramFolder() + L"\\PlugIns";
}
inline std::wstring RawGreyDll()
{
    return PlugInFolder() + L"\\LMC_RawGrey.dll";
}
inline std::wstring BrokenPlugIn(const wchar_t* name)
{
    return ProgramFolder() + L"\\PlugInsBroken\\" + name;
}

// A raw grey file: "RGRY", width, height, the grey bytes top row first, and the text block
// ("key=value" lines) when text is not empty.
inline std::vector<uint8_t> RawGreyBytes(uint32_t width, uint32_t height, const std::vector<uint8_t>& grey,
                                         const std::string& text = std::string())
{
    std::vector<uint8_t> bytes = {'R', 'G', 'R', 'Y'};
    for (uint32_t v : {width, height})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    bytes.insert(bytes.end(), grey.begin(), grey.end());
    if (!text.empty()) {
        bytes.insert(bytes.end(), {'T', 'E', 'X', 'T'});
        const uint32_t length = static_cast<uint32_t>(text.size());
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return bytes;
}

// Grey levels 0, 1, 2, ... row by row, top row first.
inline std::vector<uint8_t> GreyRamp(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> grey(size_t{width} * height);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<uint8_t>(i * 7 + 3);
    return grey;
}

// Grey level of the pixel (x, y), y counted from the top, of an 8-bit picture's bottom-up rows.
inline uint8_t PixelAt(const uint8_t* bits, int stride, int height, int x, int y)
{
    return bits[static_cast<size_t>(height - 1 - y) * stride + x];
}

inline bool ModuleIsLoaded(const std::wstring& path)
{
    return GetModuleHandleW(path.c_str()) != nullptr;
}

// A description record as a DLL would give it, for tests of the list without a DLL.
inline PlugInRecord FakeRecord(const wchar_t* path, const wchar_t* extensions, bool canRead, bool canWrite)
{
    PlugInRecord record = {};
    record.version = kPlugInInterfaceVersion;
    wcsncpy(record.path, path, 259);
    wcsncpy(record.name, L"Fake", 143);
    wcsncpy(record.extensions, extensions, 199);
    record.canRead = canRead ? 1 : 0;
    record.canWrite = canWrite ? 1 : 0;
    return record;
}

// Every test starts and ends with an empty plug-in list.
class PlugInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UninitializePlugIns();
        SetCurrentPlugInIndex(0);
    }
    void TearDown() override
    {
        UninitializePlugIns();
        SetCurrentPlugInIndex(0);
    }
};
