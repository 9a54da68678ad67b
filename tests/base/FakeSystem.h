// Stands in a system of a chosen Windows version, with chosen run-time exports present, missing
// or replaced, for the functions that look exports up at run time. Restores the real system
// (and forgets the cached version) when it goes.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/SystemExport.h"
#include "base/WinVersion.h"
#include "common/TestFiles.h"

class FakeSystem {
public:
    FakeSystem(DWORD major, DWORD minor)
    {
        major_ = major;
        minor_ = minor;
        versionQueries_ = 0;
        versionStatus_ = 0;
        exports_.clear();
        missing_.clear();
        lookups_.clear();
        Replace("RtlGetVersion", &FakeRtlGetVersion);
        SetSystemExportLookupForTesting(&Lookup);
        ResetOsVersionCacheForTesting();
    }
    ~FakeSystem()
    {
        SetSystemExportLookupForTesting(nullptr);
        ResetOsVersionCacheForTesting();
    }
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;

    template <typename Fn>
    void Replace(const char* name, Fn fn)
    {
        exports_[name] = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(fn));
        missing_.erase(name);
    }
    void Remove(const char* name)
    {
        exports_.erase(name);
        missing_.insert(name);
    }

    static int VersionQueries() { return versionQueries_; }
    static void SetVersionStatus(LONG status) { versionStatus_ = status; }
    // "module!name" of every lookup, in order.
    static const std::vector<std::string>& Lookups() { return lookups_; }

private:
    static LONG WINAPI FakeRtlGetVersion(OSVERSIONINFOW* info)
    {
        ++versionQueries_;
        if (versionStatus_ != 0)
            return versionStatus_;
        info->dwMajorVersion = major_;
        info->dwMinorVersion = minor_;
        info->dwBuildNumber = 1234;
        return 0;
    }

    static FARPROC Lookup(const wchar_t* module, const char* name)
    {
        char narrow[64] = {};
        WideCharToMultiByte(CP_ACP, 0, module, -1, narrow, 63, nullptr, nullptr);
        CharLowerA(narrow);
        lookups_.push_back(std::string(narrow) + "!" + name);
        if (missing_.count(name))
            return nullptr;
        auto found = exports_.find(name);
        if (found != exports_.end())
            return found->second;
        HMODULE handle = GetModuleHandleW(module);
        return handle ? GetProcAddress(handle, name) : nullptr;
    }

    static inline DWORD major_ = 0;
    static inline DWORD minor_ = 0;
    static inline int versionQueries_ = 0;
    static inline LONG versionStatus_ = 0;
    static inline std::map<std::string, FARPROC> exports_;
    static inline std::set<std::string> missing_;
    static inline std::vector<std::string> lookups_;
};

// The lines added to the library log while it lives.
class LogWatch {
public:
    LogWatch() { before_ = Read().size(); }
    std::string NewText() const
    {
        std::string all = Read();
        return all.size() >= before_ ? all.substr(before_) : all;
    }

private:
    static std::string Read()
    {
        std::vector<unsigned char> bytes;
        ReadWholeFile(ProgramFolder() + L"\\_NLogMsg.txt", bytes);
        return std::string(bytes.begin(), bytes.end());
    }
    size_t before_ = 0;
};
