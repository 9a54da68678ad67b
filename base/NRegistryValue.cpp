#include "base/NRegistryValue.h"

#include <cstring>
#include <cwchar>

namespace {

// Zero bytes kept after the data: a whole zero unit even when the size is odd.
constexpr size_t kTerminatorBytes = 4;

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_LINK || type == REG_MULTI_SZ;
}

bool IsBinaryType(DWORD type)
{
    return type == REG_BINARY || type == REG_RESOURCE_LIST || type == REG_FULL_RESOURCE_DESCRIPTOR;
}

// Bytes of a text with its NUL, or 0 when that does not fit a registry value size.
DWORD TextBytes(size_t units)
{
    if (units >= (MAXDWORD - kTerminatorBytes) / sizeof(wchar_t))
        return 0;
    return static_cast<DWORD>((units + 1) * sizeof(wchar_t));
}

}  // namespace

NRegistryValue::NRegistryValue() : m_heap(HeapCreate(0, 0, 0))
{
}

NRegistryValue::NRegistryValue(DWORD value) : NRegistryValue()
{
    SetDword(value);
}

NRegistryValue::NRegistryValue(const wchar_t* text) : NRegistryValue()
{
    SetString(text, false);
}

NRegistryValue::NRegistryValue(const void* bytes, unsigned size) : NRegistryValue()
{
    SetBinary(bytes, size);
}

NRegistryValue::~NRegistryValue()
{
    Free();
    if (m_heap)
        HeapDestroy(m_heap);
}

void* NRegistryValue::Alloc(DWORD size)
{
    Free();
    if (!m_heap)
        return nullptr;
    m_data = HeapAlloc(m_heap, HEAP_ZERO_MEMORY, static_cast<size_t>(size) + kTerminatorBytes);
    if (m_data)
        m_size = size;
    return m_data;
}

void NRegistryValue::Free()
{
    if (m_data)
        HeapFree(m_heap, 0, m_data);
    m_data = nullptr;
    m_size = 0;
}

bool NRegistryValue::GetString(const wchar_t** text) const
{
    if (!text || !IsStringType(m_type) || !m_data)
        return false;
    *text = static_cast<const wchar_t*>(m_data);
    return true;
}

bool NRegistryValue::GetBinary(void* buffer, DWORD size) const
{
    if (!IsBinaryType(m_type) || size != m_size || (size && (!buffer || !m_data)))
        return false;
    if (size)
        std::memcpy(buffer, m_data, size);
    return true;
}

bool NRegistryValue::GetDword(DWORD& value) const
{
    if ((m_type != REG_DWORD && m_type != REG_DWORD_BIG_ENDIAN) || m_size < 4 || !m_data)
        return false;
    const auto* b = static_cast<const unsigned char*>(m_data);
    if (m_type == REG_DWORD)
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<DWORD>(b[3]) << 24);
    else
        value = (static_cast<DWORD>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    return true;
}

bool NRegistryValue::SetDword(DWORD value)
{
    m_type = REG_DWORD;
    if (!Alloc(sizeof(value)))
        return false;
    std::memcpy(m_data, &value, sizeof(value));
    return true;
}

bool NRegistryValue::SetString(const wchar_t* text, bool expandable)
{
    m_type = expandable ? REG_EXPAND_SZ : REG_SZ;
    const size_t units = text ? std::wcslen(text) : 0;
    const DWORD bytes = TextBytes(units);
    if (!bytes || !Alloc(bytes))
        return false;
    if (units)
        std::memcpy(m_data, text, units * sizeof(wchar_t));
    return true;
}

bool NRegistryValue::SetMultiString(const wchar_t* const* texts, int count)
{
    m_type = REG_MULTI_SZ;
    if (count < 0 || (count > 0 && !texts)) {
        Free();
        return false;
    }
    size_t units = 1;  // the closing NUL
    for (int i = 0; i < count; ++i)
        units += (texts[i] ? std::wcslen(texts[i]) : 0) + 1;
    if (count == 0)
        units = 2;  // an empty list is two NULs
    const DWORD bytes = TextBytes(units - 1);
    if (!bytes || !Alloc(bytes))
        return false;
    auto* out = static_cast<wchar_t*>(m_data);
    for (int i = 0; i < count; ++i) {
        const size_t n = texts[i] ? std::wcslen(texts[i]) : 0;
        if (n)
            std::wmemcpy(out, texts[i], n);
        out += n + 1;  // the block is zero-filled, so the NUL is already there
    }
    return true;
}

bool NRegistryValue::SetBinary(const void* bytes, DWORD size)
{
    m_type = REG_BINARY;
    if (size && !bytes) {
        Free();
        return false;
    }
    if (!Alloc(size))
        return false;
    if (size)
        std::memcpy(m_data, bytes, size);
    return true;
}
