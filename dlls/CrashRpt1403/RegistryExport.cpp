#include "RegistryExport.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "OwnedHandles.h"
#include "ReportXml.h"

namespace {

constexpr int kMaxDepth = 16;
constexpr DWORD kMaxShownBytes = 64 * 1024;  // longer values are shown cut
constexpr DWORD kMaxNameUnits = 16384;        // the registry's own limit for value names

struct RootKey {
    const wchar_t* name;
    const wchar_t* shortName;
    HKEY key;
};

const RootKey kRoots[] = {
    {L"HKEY_CURRENT_USER", L"HKCU", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKEY_CLASSES_ROOT", L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKEY_USERS", L"HKU", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", L"HKCC", HKEY_CURRENT_CONFIG},
};

bool SplitKeyPath(const std::wstring& keyPath, HKEY& root, std::wstring& subkey)
{
    const size_t slash = keyPath.find(L'\\');
    const std::wstring rootName = keyPath.substr(0, slash);
    subkey = slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1);
    for (const RootKey& r : kRoots) {
        if (CompareStringOrdinal(rootName.c_str(), -1, r.name, -1, TRUE) == CSTR_EQUAL ||
            CompareStringOrdinal(rootName.c_str(), -1, r.shortName, -1, TRUE) == CSTR_EQUAL) {
            root = r.key;
            return true;
        }
    }
    return false;
}

const wchar_t* TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_DWORD: return L"REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return L"REG_DWORD_BIG_ENDIAN";
    case REG_QWORD: return L"REG_QWORD";
    case REG_BINARY: return L"REG_BINARY";
    case REG_NONE: return L"REG_NONE";
    default: return L"REG_OTHER";
    }
}

// The value's data as text: strings as they stand (the items of a multi-string separated by a
// line feed), numbers in hexadecimal and decimal, everything else as hexadecimal bytes.
std::wstring DataText(DWORD type, const std::vector<BYTE>& data, DWORD size)
{
    wchar_t number[64];
    if ((type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) && size == 4) {
        DWORD v;
        memcpy(&v, data.data(), 4);
        if (type == REG_DWORD_BIG_ENDIAN)
            v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
        _snwprintf(number, 63, L"0x%08lx (%lu)", static_cast<unsigned long>(v), static_cast<unsigned long>(v));
        number[63] = 0;
        return number;
    }
    if (type == REG_QWORD && size == 8) {
        unsigned long long v;
        memcpy(&v, data.data(), 8);
        _snwprintf(number, 63, L"0x%016llx (%llu)", v, v);
        number[63] = 0;
        return number;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        for (wchar_t& c : text) {
            if (c == L'\0')
                c = L'\n';
        }
        return text;
    }
    std::wstring hex;
    static const wchar_t digits[] = L"0123456789abcdef";
    for (DWORD i = 0; i < size; ++i) {
        if (i)
            hex += L' ';
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

void ExportKey(HKEY key, const std::wstring& name, bool withSubkeys, int depth, std::wstring& xml)
{
    const std::wstring indent(static_cast<size_t>(depth + 1) * 2, L' ');
    xml += indent + L"<k name=\"" + XmlEscape(name) + L"\">\n";

    std::vector<wchar_t> valueName(kMaxNameUnits + 1);
    std::vector<BYTE> data;
    for (DWORD index = 0;; ++index) {
        DWORD nameUnits = kMaxNameUnits + 1;
        DWORD type = 0, size = 0;
        LONG rc = RegEnumValueW(key, index, valueName.data(), &nameUnits, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            break;
        const std::wstring vname(valueName.data(), nameUnits);
        data.assign(static_cast<size_t>(size) + sizeof(wchar_t), 0);
        DWORD got = size;
        rc = RegQueryValueExW(key, vname.c_str(), nullptr, &type, data.data(), &got);
        if (rc != ERROR_SUCCESS)
            continue;  // changed or gone since the enumeration
        const bool cut = got > kMaxShownBytes;
        if (cut)
            got = kMaxShownBytes;
        xml += indent + L"  <v name=\"" + XmlEscape(vname) + L"\" type=\"" + TypeName(type) + L"\" value=\"" +
               XmlEscape(DataText(type, data, got)) + (cut ? L"\" cut=\"1\"/>\n" : L"\"/>\n");
    }

    if (withSubkeys && depth < kMaxDepth) {
        std::vector<wchar_t> subName(256);
        for (DWORD index = 0;; ++index) {
            DWORD units = static_cast<DWORD>(subName.size());
            LONG rc = RegEnumKeyExW(key, index, subName.data(), &units, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS)
                break;
            const std::wstring sub(subName.data(), units);
            HKEY opened = nullptr;
            if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
                const crashrpt::RegistryKey child(opened);
                ExportKey(child.get(), sub, withSubkeys, depth + 1, xml);
            }
        }
    }
    xml += indent + L"</k>\n";
}

}  // namespace

bool ExportRegistryKey(const std::wstring& keyPath, bool withSubkeys, const std::wstring& filePath)
{
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<registry>\n";
    HKEY root;
    std::wstring subkey;
    HKEY opened = nullptr;
    if (SplitKeyPath(keyPath, root, subkey) &&
        RegOpenKeyExW(root, subkey.empty() ? nullptr : subkey.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
        const crashrpt::RegistryKey key(opened);
        ExportKey(key.get(), keyPath, withSubkeys, 0, xml);
    } else {
        xml += L"  <k name=\"" + XmlEscape(keyPath) + L"\" missing=\"1\"/>\n";
    }
    xml += L"</registry>\n";
    return WriteUtf8File(filePath, xml);
}
