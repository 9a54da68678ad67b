#include "base/NRegistry.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "base/SystemOwners.h"

namespace {

constexpr REGSAM kRead = KEY_READ;                    // 0x20019
constexpr REGSAM kWrite = KEY_WRITE;                  // 0x20006
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;   // 0x2001F
constexpr DWORD kIniUnits = 4096;

// Copies text[0..length) into the buffer, cut to fit with its NUL; false when cut.
bool CopyBounded(const wchar_t* text, size_t length, wchar_t* buffer, size_t bufferUnits)
{
    if (!buffer || bufferUnits == 0)
        return false;
    const size_t n = length < bufferUnits ? length : bufferUnits - 1;
    if (n)
        std::wmemcpy(buffer, text, n);
    buffer[n] = L'\0';
    return n == length;
}

// The text of a string value: up to its first NUL, and never past its data.
bool StoredText(const NRegistryValue& value, const wchar_t*& text, size_t& length)
{
    const wchar_t* data = nullptr;
    if (!value.GetString(&data))
        return false;
    text = data;
    length = wcsnlen(data, value.GetSize() / sizeof(wchar_t));
    return true;
}

// A subkey that names a key below the root (not null, not empty, not only separators).
bool NamesKeyBelowRoot(const wchar_t* subkey)
{
    if (!subkey)
        return false;
    for (const wchar_t* p = subkey; *p; ++p)
        if (*p != L'\\')
            return true;
    return false;
}

// Deletes parent\name with all keys below it, depth first. What was deleted before a failure
// stays deleted.
bool DeleteKeyTree(HKEY parent, const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(parent, name, 0, kReadWrite, &key) != ERROR_SUCCESS)
        return false;
    {
        const RegistryKeyOwner keyOwner(key);   // closed before the key is deleted
        for (;;) {
            DWORD subkeys = 0, longest = 0;
            if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                return false;
            if (subkeys == 0)
                break;
            std::vector<wchar_t> child(static_cast<size_t>(longest) + 1, L'\0');
            if (RegEnumKeyW(key, 0, child.data(), longest + 1) != ERROR_SUCCESS || !DeleteKeyTree(key, child.data()))
                return false;
        }
    }
    return RegDeleteKeyW(parent, name) == ERROR_SUCCESS;
}

}  // namespace

NRegistry::NRegistry(HKEY rootKey) : m_rootKey(rootKey)
{
}

NRegistry::NRegistry(const NRegistry& other) : m_rootKey(other.m_rootKey)
{
}

NRegistry::~NRegistry() = default;

HKEY NRegistry::SetRootKey(HKEY rootKey)
{
    HKEY previous = m_rootKey;
    m_rootKey = rootKey;
    return previous;
}

bool NRegistry::ConnectRemote(const wchar_t* machineName, HKEY predefinedKey)
{
    HKEY connected = nullptr;
    if (RegConnectRegistryW(machineName, predefinedKey, &connected) != ERROR_SUCCESS)
        return false;
    m_rootKey = connected;
    return true;
}

// ---------------------------------------------------------------------------
// Strings and integers

// In ini mode every call needs a file and a section: without them the profile functions would pick
// a file of their own (win.ini) or act on a whole section.
bool NRegistry::WriteString(const wchar_t* subkey, const wchar_t* name, const wchar_t* text)
{
    if (iniMode) {
        // A null name or text would delete the section or the entry instead of writing.
        if (!name || iniFilePath.IsEmpty() || iniSection.IsEmpty())
            return false;
        return WritePrivateProfileStringW(iniSection.c_str(), name, text ? text : L"", iniFilePath.c_str()) != FALSE;
    }
    return WriteStringValue(subkey, name, text);
}

bool NRegistry::WriteInt(const wchar_t* subkey, const wchar_t* name, int value)
{
    if (iniMode) {
        wchar_t digits[16];
        _snwprintf(digits, 15, L"%d", value);
        digits[15] = L'\0';
        return WriteString(subkey, name, digits);
    }
    return WriteDword(subkey, name, &value);
}

bool NRegistry::ReadString(const wchar_t* subkey, const wchar_t* name, const wchar_t* defaultText,
                           wchar_t* buffer, size_t bufferUnits)
{
    if (!buffer || bufferUnits == 0)
        return false;
    NString text;
    ReadString(subkey, name, defaultText, text);
    return CopyBounded(text.c_str(), static_cast<size_t>(text.GetLength()), buffer, bufferUnits);
}

void NRegistry::ReadString(const wchar_t* subkey, const wchar_t* name, const wchar_t* defaultText, NString& result)
{
    const wchar_t* fallback = defaultText ? defaultText : L"";
    if (iniMode) {
        if (!name || iniFilePath.IsEmpty() || iniSection.IsEmpty()) {
            result = fallback;
            return;
        }
        std::vector<wchar_t> text(kIniUnits, L'\0');
        GetPrivateProfileStringW(iniSection.c_str(), name, fallback, text.data(), kIniUnits, iniFilePath.c_str());
        text[kIniUnits - 1] = L'\0';
        result = text.data();
        return;
    }
    NRegistryValue value;
    const wchar_t* stored = nullptr;
    size_t length = 0;
    if (ReadValue(subkey, name, value) && StoredText(value, stored, length)) {
        NString text;
        if (length)
            std::wmemcpy(text.GetBuffer(static_cast<int>(length)), stored, length);
        else
            text = L"";
        result = text;
        return;
    }
    result = fallback;
}

int NRegistry::ReadInt(const wchar_t* subkey, const wchar_t* name, int defaultValue)
{
    if (iniMode) {
        if (!name || iniFilePath.IsEmpty() || iniSection.IsEmpty())
            return defaultValue;
        return static_cast<int>(
            GetPrivateProfileIntW(iniSection.c_str(), name, defaultValue, iniFilePath.c_str()));
    }
    int value = defaultValue;
    ReadDword(subkey, name, value);
    return value;
}

// ---------------------------------------------------------------------------
// Registry values

bool NRegistry::ReadValue(const wchar_t* subkey, const wchar_t* name, NRegistryValue& value)
{
    HKEY key;
    if (RegOpenKeyExW(m_rootKey, subkey, 0, kRead, &key) != ERROR_SUCCESS)
        return false;
    const RegistryKeyOwner keyOwner(key);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;  // `value` keeps what it held
    // The value may change between the size query and the read: a grown value is asked again,
    // a shrunk one keeps only the bytes read.
    std::vector<BYTE> bytes;
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        bytes.assign(size ? size : 1, 0);
        size = static_cast<DWORD>(bytes.size());
        status = RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    }
    void* data = status == ERROR_SUCCESS ? value.Alloc(size) : nullptr;
    if (!data) {
        value.Free();
        return false;
    }
    if (size)
        std::memcpy(data, bytes.data(), size);
    value.SetType(type);
    return true;
}

bool NRegistry::WriteValue(const wchar_t* subkey, const wchar_t* name, const NRegistryValue& value)
{
    HKEY key;
    if (RegCreateKeyExW(m_rootKey, subkey ? subkey : L"", 0, nullptr, REG_OPTION_NON_VOLATILE, kWrite, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const RegistryKeyOwner keyOwner(key);
    const LSTATUS status = RegSetValueExW(key, name, 0, value.GetType(), static_cast<const BYTE*>(value.GetData()),
                                          value.GetSize());
    return status == ERROR_SUCCESS;
}

bool NRegistry::ReadDword(const wchar_t* subkey, const wchar_t* name, int& value)
{
    NRegistryValue stored;
    DWORD number = 0;
    if (!ReadValue(subkey, name, stored) || !stored.GetDword(number))
        return false;
    value = static_cast<int>(number);
    return true;
}

bool NRegistry::ReadBinary(const wchar_t* subkey, const wchar_t* name, void* buffer, DWORD size)
{
    NRegistryValue stored;
    return ReadValue(subkey, name, stored) && stored.GetBinary(buffer, size);
}

bool NRegistry::WriteDword(const wchar_t* subkey, const wchar_t* name, const int* value)
{
    if (!value)
        return false;
    NRegistryValue stored;
    return stored.SetDword(static_cast<DWORD>(*value)) && WriteValue(subkey, name, stored);
}

bool NRegistry::WriteBinary(const wchar_t* subkey, const wchar_t* name, const void* bytes, DWORD size)
{
    NRegistryValue stored;
    return stored.SetBinary(bytes, size) && WriteValue(subkey, name, stored);
}

bool NRegistry::WriteStringValue(const wchar_t* subkey, const wchar_t* name, const wchar_t* text)
{
    NRegistryValue stored;
    return stored.SetString(text, false) && WriteValue(subkey, name, stored);
}

bool NRegistry::DeleteValue(const wchar_t* subkey, const wchar_t* name)
{
    if (!name) {
        // Deleting "the subkey" of an empty name would empty the root key itself.
        if (!NamesKeyBelowRoot(subkey)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        return DeleteKeyTree(m_rootKey, subkey);
    }
    HKEY key;
    if (RegOpenKeyExW(m_rootKey, subkey, 0, kReadWrite, &key) != ERROR_SUCCESS)
        return false;
    const RegistryKeyOwner keyOwner(key);
    const LSTATUS status = RegDeleteValueW(key, name);
    return status == ERROR_SUCCESS;
}

bool NRegistry::QueryInfo(const wchar_t* subkey, DWORD* subkeyCount, DWORD* valueCount)
{
    if (subkeyCount)
        *subkeyCount = 0;
    if (valueCount)
        *valueCount = 0;
    HKEY key;
    if (RegOpenKeyExW(m_rootKey, subkey, 0, kRead, &key) != ERROR_SUCCESS)
        return false;
    const RegistryKeyOwner keyOwner(key);
    DWORD subkeys = 0, values = 0;
    const LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return false;
    if (subkeyCount)
        *subkeyCount = subkeys;
    if (valueCount)
        *valueCount = values;
    return subkeys != 0 || values != 0;
}
