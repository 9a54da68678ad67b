// NRegistry: named values under subkeys of a root registry key. Strings and integers can instead
// live in one section of an ini file (set iniFilePath and iniSection, then iniMode). Each call opens
// its subkey, works and closes it; the root key belongs to the caller. Failures answer false or
// the default; nothing is logged.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/NRegistryValue.h"
#include "base/NString.h"

class NRegistry {
public:
    explicit NRegistry(HKEY rootKey);
    NRegistry(const NRegistry& other);  // the root key only: the copy works on the registry
    NRegistry& operator=(const NRegistry&) = delete;
    virtual ~NRegistry();

    HKEY GetRootKey() const { return m_rootKey; }
    HKEY SetRootKey(HKEY rootKey);  // answers the previous root key
    // The predefined key of a machine (null: this one) becomes the root key; the caller closes it.
    bool ConnectRemote(const wchar_t* machineName, HKEY predefinedKey);

    // Strings and integers: in ini mode the subkey is ignored and a null value name is refused.
    bool WriteString(const wchar_t* subkey, const wchar_t* name, const wchar_t* text);
    bool WriteInt(const wchar_t* subkey, const wchar_t* name, int value);
    // Copies the stored text (a value of a string type; the first string of a REG_MULTI_SZ; up to
    // the end of its data when it holds no NUL), else the default, into `buffer`, cut to
    // bufferUnits - 1 units and a NUL. Answers false when the text had to be cut (or there is no
    // buffer), true when all of it fit.
    bool ReadString(const wchar_t* subkey, const wchar_t* name, const wchar_t* defaultText, wchar_t* buffer,
                    size_t bufferUnits);
    template <size_t N>
    bool ReadString(const wchar_t* subkey, const wchar_t* name, const wchar_t* defaultText, wchar_t (&buffer)[N])
    {
        return ReadString(subkey, name, defaultText, buffer, N);
    }
    void ReadString(const wchar_t* subkey, const wchar_t* name, const wchar_t* defaultText, NString& result);
    // The number held by a REG_DWORD or REG_DWORD_BIG_ENDIAN value, else the default.
    int ReadInt(const wchar_t* subkey, const wchar_t* name, int defaultValue);

    // Registry only, also in ini mode.
    bool ReadValue(const wchar_t* subkey, const wchar_t* name, NRegistryValue& value);
    bool WriteValue(const wchar_t* subkey, const wchar_t* name, const NRegistryValue& value);
    bool ReadDword(const wchar_t* subkey, const wchar_t* name, int& value);  // `value` kept on false
    bool ReadBinary(const wchar_t* subkey, const wchar_t* name, void* buffer, DWORD size);  // exact size only
    bool WriteDword(const wchar_t* subkey, const wchar_t* name, const int* value);
    bool WriteBinary(const wchar_t* subkey, const wchar_t* name, const void* bytes, DWORD size);
    bool WriteStringValue(const wchar_t* subkey, const wchar_t* name, const wchar_t* text);
    // With a name, deletes that value. With a null name, deletes the subkey and everything below it;
    // that needs a subkey below the root: a null or empty subkey is refused.
    bool DeleteValue(const wchar_t* subkey, const wchar_t* name);
    // Counts of the subkey's subkeys and values (either pointer may be null; both set to 0 first).
    // True only when the key was read and at least one count is not 0.
    bool QueryInfo(const wchar_t* subkey, DWORD* subkeyCount, DWORD* valueCount);

    NString iniFilePath;
    NString iniSection;
    bool iniMode = false;

private:
    HKEY m_rootKey;
};
