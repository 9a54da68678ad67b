// A module with resources chosen by the test: a copy of the test program with the resources
// written into it (UpdateResourceW), loaded as an image resource. Removed when it goes.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/TestFiles.h"

class TestResourceModule {
public:
    struct Resource {
        const wchar_t* type;
        const wchar_t* name;
        std::vector<unsigned char> data;
    };

    explicit TestResourceModule(const std::vector<Resource>& resources)
    {
        wchar_t self[MAX_PATH * 4] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
        path_ = dir_.File(L"resources.dll");
        if (!CopyFileW(self, path_.c_str(), FALSE))
            return;
        HANDLE update = BeginUpdateResourceW(path_.c_str(), FALSE);
        if (!update)
            return;
        bool ok = true;
        for (const auto& r : resources)
            ok = ok && UpdateResourceW(update, r.type, r.name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                       const_cast<unsigned char*>(r.data.data()),
                                       static_cast<DWORD>(r.data.size()));
        if (!EndUpdateResourceW(update, !ok) || !ok)
            return;
        module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    ~TestResourceModule()
    {
        if (module_)
            FreeLibrary(module_);
    }
    TestResourceModule(const TestResourceModule&) = delete;
    TestResourceModule& operator=(const TestResourceModule&) = delete;

    HMODULE Get() const { return module_; }

private:
    TestDir dir_;
    std::wstring path_;
    HMODULE module_ = nullptr;
};
