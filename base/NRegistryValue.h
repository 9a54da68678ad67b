// NRegistryValue: one registry value in transit (its type and bytes), held in a private heap of its own.
#pragma once

#include <windows.h>

class NRegistryValue {
public:
    NRegistryValue();
    explicit NRegistryValue(DWORD value);                 // REG_DWORD
    explicit NRegistryValue(const wchar_t* text);         // REG_SZ
    NRegistryValue(const void* bytes, unsigned size);     // REG_BINARY
    ~NRegistryValue();
    NRegistryValue(const NRegistryValue&) = delete;
    NRegistryValue& operator=(const NRegistryValue&) = delete;

    DWORD GetType() const { return m_type; }
    void SetType(DWORD type) { m_type = type; }
    DWORD GetSize() const { return m_size; }
    void* GetData() { return m_data; }
    const void* GetData() const { return m_data; }

    // Replaces the data with `size` zero bytes; null (and size 0) when no memory could be had.
    // The block always ends in a hidden zero unit past `size`, so string data is terminated.
    void* Alloc(DWORD size);
    void Free();  // the type stays

    // A pointer to the data as text, for REG_SZ, REG_EXPAND_SZ, REG_LINK and REG_MULTI_SZ.
    bool GetString(const wchar_t** text) const;
    // Copies the bytes of a REG_BINARY, REG_RESOURCE_LIST or REG_FULL_RESOURCE_DESCRIPTOR value
    // whose size is exactly `size`.
    bool GetBinary(void* buffer, DWORD size) const;
    // The number held by a REG_DWORD (little-endian) or REG_DWORD_BIG_ENDIAN value of 4 bytes or more.
    bool GetDword(DWORD& value) const;

    // These answer false when no memory could be had.
    bool SetDword(DWORD value);
    bool SetString(const wchar_t* text, bool expandable = false);  // null stores just the NUL
    bool SetMultiString(const wchar_t* const* texts, int count);     // null entries count as empty
    bool SetBinary(const void* bytes, DWORD size);

private:
    HANDLE m_heap;
    void* m_data = nullptr;
    DWORD m_size = 0;
    DWORD m_type = 0;
};
