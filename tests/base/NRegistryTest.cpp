#include "base/NRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

// Every test works below a key of its own in the prefix's HKEY_CURRENT_USER and removes it.
class NRegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        key = L"Software\\VstBaseTests\\NRegistry" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VstBaseTests");  // only when no other run uses it
    }

    std::wstring Sub(const wchar_t* name) const { return key + L"\\" + name; }

    // Stores a value directly, bypassing NRegistry.
    void Put(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(k);
    }
    bool Get(const std::wstring& subkey, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
    {
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                         &size) != ERROR_SUCCESS)
            return false;
        data.resize(size);
        return RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type,
                            data.data(), &size) == ERROR_SUCCESS;
    }
    bool KeyExists(const std::wstring& subkey)
    {
        HKEY k;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        RegCloseKey(k);
        return true;
    }

    std::wstring key;
    NRegistry reg{HKEY_CURRENT_USER};
};

}  // namespace

TEST_F(NRegistryTest, StringsRoundTripWithTheirNul)
{
    ASSERT_TRUE(reg.WriteString(key.c_str(), L"Text", L"en-us"));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(Get(key, L"Text", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data.size(), 12u) << "five characters and the NUL";

    wchar_t buffer[32];
    EXPECT_TRUE(reg.ReadString(key.c_str(), L"Text", L"default", buffer));
    EXPECT_STREQ(buffer, L"en-us");
    NString text;
    reg.ReadString(key.c_str(), L"Text", L"default", text);
    EXPECT_STREQ(text.c_str(), L"en-us");

    ASSERT_TRUE(reg.WriteString(key.c_str(), L"Empty", L""));
    reg.ReadString(key.c_str(), L"Empty", L"default", text);
    EXPECT_STREQ(text.c_str(), L"");
    ASSERT_TRUE(reg.WriteStringValue(Sub(L"Deeper").c_str(), L"Other", nullptr));
    reg.ReadString(Sub(L"Deeper").c_str(), L"Other", L"default", text);
    EXPECT_STREQ(text.c_str(), L"");
}

TEST_F(NRegistryTest, ReadStringTakesEveryStringTypeAndNothingElse)
{
    const DWORD number = 7;
    Put(L"Dword", REG_DWORD, &number, 4);
    Put(L"Binary", REG_BINARY, L"abc", 8);
    Put(L"Expand", REG_EXPAND_SZ, L"%TEMP%\\x", 18);
    Put(L"Multi", REG_MULTI_SZ, L"first\0second\0", 28);
    Put(L"Link", REG_LINK, L"target", 12);             // no NUL stored
    Put(L"NoNul", REG_SZ, L"abcdef", 6);               // "abc" without its NUL
    Put(L"Odd", REG_SZ, L"abcdef", 7);                 // a stray half unit
    Put(L"Inner", REG_SZ, L"ab\0cd", 12);

    const struct {
        const wchar_t* name;
        const wchar_t* expected;
    } cases[] = {
        {L"Missing", L"default"}, {L"Dword", L"default"}, {L"Binary", L"default"},
        {L"Expand", L"%TEMP%\\x"}, {L"Multi", L"first"}, {L"Link", L"target"},
        {L"NoNul", L"abc"},       {L"Odd", L"abc"},      {L"Inner", L"ab"},
    };
    for (const auto& c : cases) {
        NString text;
        reg.ReadString(key.c_str(), c.name, L"default", text);
        EXPECT_STREQ(text.c_str(), c.expected) << c.name;
        wchar_t buffer[16];
        EXPECT_TRUE(reg.ReadString(key.c_str(), c.name, L"default", buffer));
        EXPECT_STREQ(buffer, c.expected) << c.name;
    }
    NString text;
    reg.ReadString(Sub(L"NoSuchKey").c_str(), L"Text", L"fallback", text);
    EXPECT_STREQ(text.c_str(), L"fallback");
    reg.ReadString(key.c_str(), L"Missing", nullptr, text);
    EXPECT_STREQ(text.c_str(), L"");
}

TEST_F(NRegistryTest, ReadStringNeverWritesPastTheCallersBuffer)
{
    const std::wstring longText(300, L'x');
    ASSERT_TRUE(reg.WriteString(key.c_str(), L"Long", longText.c_str()));

    struct {
        wchar_t field[32];
        wchar_t guard[8];
    } block;
    std::wmemset(block.guard, L'#', 8);
    EXPECT_FALSE(reg.ReadString(key.c_str(), L"Long", L"", block.field)) << "the text was cut";
    EXPECT_EQ(std::wstring(block.field), std::wstring(31, L'x'));
    EXPECT_EQ(std::wstring(block.guard, 8), std::wstring(8, L'#'));

    // A long default is cut the same way.
    EXPECT_FALSE(reg.ReadString(key.c_str(), L"Missing", longText.c_str(), block.field));
    EXPECT_EQ(std::wcslen(block.field), 31u);
    EXPECT_EQ(std::wstring(block.guard, 8), std::wstring(8, L'#'));

    wchar_t exact[301];
    EXPECT_TRUE(reg.ReadString(key.c_str(), L"Long", L"", exact, 301));
    EXPECT_EQ(std::wstring(exact), longText);
    wchar_t one[1] = {L'z'};
    EXPECT_FALSE(reg.ReadString(key.c_str(), L"Long", L"", one, 1));
    EXPECT_EQ(one[0], L'\0');
    EXPECT_FALSE(reg.ReadString(key.c_str(), L"Long", L"", nullptr, 10));
}

TEST_F(NRegistryTest, IntegersAndTheirTypes)
{
    ASSERT_TRUE(reg.WriteInt(key.c_str(), L"Negative", -5));
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Negative", 0), -5);
    DWORD type;
    std::vector<BYTE> data;
    ASSERT_TRUE(Get(key, L"Negative", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    const BYTE bigEndian[4] = {0x00, 0x00, 0x01, 0x02};
    Put(L"Big", REG_DWORD_BIG_ENDIAN, bigEndian, 4);
    Put(L"Text", REG_SZ, L"12", 6);
    Put(L"Short", REG_DWORD, bigEndian, 2);  // too few bytes for a number
    Put(L"Long", REG_DWORD, "\x01\x00\x00\x00\xFF\xFF", 6);

    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Big", -1), 0x102) << "big-endian data is read as big-endian";
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Text", -1), -1);
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Short", -1), -1);
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Long", -1), 1);
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Missing", 42), 42);

    int value = 99;
    EXPECT_FALSE(reg.ReadDword(key.c_str(), L"Text", value));
    EXPECT_EQ(value, 99);
    EXPECT_TRUE(reg.ReadDword(key.c_str(), L"Big", value));
    EXPECT_EQ(value, 0x102);

    const int stored = 123456;
    EXPECT_TRUE(reg.WriteDword(key.c_str(), L"ByPointer", &stored));
    EXPECT_FALSE(reg.WriteDword(key.c_str(), L"Null", nullptr));
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"ByPointer", 0), 123456);
}

TEST_F(NRegistryTest, BinaryValuesNeedTheExactSize)
{
    const BYTE bytes[5] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(reg.WriteBinary(key.c_str(), L"Bin", bytes, 5));
    BYTE out[8] = {};
    EXPECT_FALSE(reg.ReadBinary(key.c_str(), L"Bin", out, 4));
    EXPECT_FALSE(reg.ReadBinary(key.c_str(), L"Bin", out, 8));
    EXPECT_EQ(out[0], 0) << "nothing copied on a mismatch";
    EXPECT_TRUE(reg.ReadBinary(key.c_str(), L"Bin", out, 5));
    EXPECT_EQ(std::memcmp(out, bytes, 5), 0);

    Put(L"Resources", REG_RESOURCE_LIST, bytes, 3);
    EXPECT_TRUE(reg.ReadBinary(key.c_str(), L"Resources", out, 3));
    Put(L"Text", REG_SZ, L"ab", 6);
    EXPECT_FALSE(reg.ReadBinary(key.c_str(), L"Text", out, 6));
}

TEST_F(NRegistryTest, ReadValueKeepsTheValueWhenMissingAndLeavesTheRootOpen)
{
    ASSERT_TRUE(reg.WriteString(key.c_str(), L"A", L"one"));
    HKEY root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
    NRegistry below(root);

    NRegistryValue value(7u);
    EXPECT_FALSE(below.ReadValue(nullptr, L"Missing", value));
    DWORD number = 0;
    EXPECT_TRUE(value.GetDword(number));
    EXPECT_EQ(number, 7u);

    EXPECT_TRUE(below.ReadValue(nullptr, L"A", value));
    EXPECT_EQ(value.GetType(), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.GetSize(), 8u);
    EXPECT_TRUE(below.WriteInt(L"Child", L"B", 2)) << "the root key is still usable";
    EXPECT_EQ(below.ReadInt(L"Child", L"B", 0), 2);
    EXPECT_EQ(reg.ReadInt(Sub(L"Child").c_str(), L"B", 0), 2);
    RegCloseKey(root);
}

TEST_F(NRegistryTest, DeleteValueRemovesOneValueOrAWholeTree)
{
    ASSERT_TRUE(reg.WriteInt(key.c_str(), L"Keep", 1));
    ASSERT_TRUE(reg.WriteInt(key.c_str(), L"Drop", 2));
    EXPECT_TRUE(reg.DeleteValue(key.c_str(), L"Drop"));
    EXPECT_FALSE(reg.DeleteValue(key.c_str(), L"Drop"));
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Drop", -1), -1);
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Keep", -1), 1);

    for (const wchar_t* sub : {L"Tree\\A\\A1\\A11", L"Tree\\A\\A2", L"Tree\\B"})
        ASSERT_TRUE(reg.WriteString(Sub(sub).c_str(), L"v", L"x"));
    ASSERT_TRUE(reg.WriteString(Sub(L"Sibling").c_str(), L"v", L"x"));
    EXPECT_TRUE(reg.DeleteValue(Sub(L"Tree").c_str(), nullptr));
    EXPECT_FALSE(KeyExists(Sub(L"Tree")));
    EXPECT_TRUE(KeyExists(Sub(L"Sibling")));
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Keep", -1), 1);
    EXPECT_FALSE(reg.DeleteValue(Sub(L"Tree").c_str(), nullptr));
}

TEST_F(NRegistryTest, DeletingWithoutASubkeyNeverEmptiesTheRoot)
{
    ASSERT_TRUE(reg.WriteString(Sub(L"A").c_str(), L"v", L"x"));
    ASSERT_TRUE(reg.WriteString(Sub(L"B").c_str(), L"v", L"x"));
    HKEY root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
    NRegistry below(root);
    for (const wchar_t* sub : {static_cast<const wchar_t*>(nullptr), L"", L"\\", L"\\\\"})
        EXPECT_FALSE(below.DeleteValue(sub, nullptr)) << (sub ? sub : L"(null)");
    RegCloseKey(root);
    EXPECT_TRUE(KeyExists(Sub(L"A")));
    EXPECT_TRUE(KeyExists(Sub(L"B")));
}

TEST_F(NRegistryTest, QueryInfoCountsSubkeysAndValues)
{
    DWORD subkeys = 9, values = 9;
    EXPECT_FALSE(reg.QueryInfo(key.c_str(), &subkeys, &values)) << "missing";
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 9u - 9u);

    ASSERT_TRUE(reg.WriteInt(Sub(L"Empty").c_str(), L"v", 1));
    ASSERT_TRUE(reg.DeleteValue(Sub(L"Empty").c_str(), L"v"));
    subkeys = values = 9;
    EXPECT_FALSE(reg.QueryInfo(Sub(L"Empty").c_str(), &subkeys, &values)) << "an empty key answers false";
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);

    ASSERT_TRUE(reg.WriteInt(key.c_str(), L"v1", 1));
    ASSERT_TRUE(reg.WriteInt(key.c_str(), L"v2", 2));
    EXPECT_TRUE(reg.QueryInfo(key.c_str(), &subkeys, &values));
    EXPECT_EQ(subkeys, 1u);
    EXPECT_EQ(values, 2u);
    EXPECT_TRUE(reg.QueryInfo(key.c_str(), nullptr, &values));
    EXPECT_TRUE(reg.QueryInfo(key.c_str(), &subkeys, nullptr));
}

TEST_F(NRegistryTest, RootKeyCopyAndConnect)
{
    EXPECT_EQ(reg.GetRootKey(), HKEY_CURRENT_USER);
    EXPECT_EQ(reg.SetRootKey(HKEY_LOCAL_MACHINE), HKEY_CURRENT_USER);
    EXPECT_EQ(reg.SetRootKey(HKEY_CURRENT_USER), HKEY_LOCAL_MACHINE);

    NRegistry ini(HKEY_CURRENT_USER);
    ini.iniFilePath = L"C:\\x.ini";
    ini.iniSection = L"S";
    ini.iniMode = true;
    NRegistry copy(ini);
    EXPECT_EQ(copy.GetRootKey(), HKEY_CURRENT_USER);
    EXPECT_FALSE(copy.iniMode);
    EXPECT_TRUE(copy.iniFilePath.IsEmpty());
    EXPECT_TRUE(copy.iniSection.IsEmpty());

    ASSERT_TRUE(reg.WriteInt(key.c_str(), L"Seen", 5));
    NRegistry local(HKEY_CURRENT_USER);
    ASSERT_TRUE(local.ConnectRemote(nullptr, HKEY_CURRENT_USER));
    EXPECT_EQ(local.ReadInt(key.c_str(), L"Seen", 0), 5);
    HKEY connected = local.GetRootKey();
    EXPECT_FALSE(local.ConnectRemote(L"\\\\vst-no-such-host.invalid", HKEY_CURRENT_USER));
    EXPECT_EQ(local.GetRootKey(), connected) << "a failed connection keeps the root key";
    RegCloseKey(connected);

    NRegistry* owned = new NRegistry(HKEY_CURRENT_USER);
    delete owned;
}

TEST_F(NRegistryTest, IniModeKeepsStringsAndIntegersInTheFile)
{
    TestDir dir;
    NRegistry store(HKEY_CURRENT_USER);
    store.iniFilePath = dir.File(L"settings.ini").c_str();
    store.iniSection = L"Delvarin Vastrel 2";
    store.iniMode = true;

    EXPECT_TRUE(store.WriteInt(key.c_str(), L"Number", -5));
    EXPECT_TRUE(store.WriteString(key.c_str(), L"Folder", L"C:\\Pictures"));
    EXPECT_EQ(store.ReadInt(key.c_str(), L"Number", 0), -5);
    EXPECT_EQ(store.ReadInt(L"ignored", L"Missing", 17), 17);
    wchar_t buffer[8];
    EXPECT_FALSE(store.ReadString(nullptr, L"Folder", L"", buffer));
    EXPECT_STREQ(buffer, L"C:\\Pict");
    NString text;
    store.ReadString(nullptr, L"Folder", L"", text);
    EXPECT_STREQ(text.c_str(), L"C:\\Pictures");
    store.ReadString(nullptr, L"Missing", L"def", text);
    EXPECT_STREQ(text.c_str(), L"def");

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(dir.File(L"settings.ini"), bytes));
    const std::string file(bytes.begin(), bytes.end());
    EXPECT_NE(file.find("[Delvarin Vastrel 2]"), std::string::npos) << file;
    EXPECT_NE(file.find("Number=-5"), std::string::npos) << file;
    EXPECT_FALSE(KeyExists(key)) << "nothing reached the registry";

    // The registry-only calls stay in the registry.
    const int five = 5;
    EXPECT_TRUE(store.WriteDword(key.c_str(), L"Reg", &five));
    EXPECT_EQ(reg.ReadInt(key.c_str(), L"Reg", 0), 5);
    EXPECT_EQ(store.ReadInt(key.c_str(), L"Reg", -1), -1);

    // A null name would delete the section: refused.
    EXPECT_FALSE(store.WriteString(nullptr, nullptr, L"x"));
    EXPECT_EQ(store.ReadInt(nullptr, L"Number", 0), -5);
    store.ReadString(nullptr, nullptr, L"def", text);
    EXPECT_STREQ(text.c_str(), L"def");

    // Values longer than the ini buffer come back cut to 4095 units.
    EXPECT_TRUE(store.WriteString(nullptr, L"Long", std::wstring(5000, L'y').c_str()));
    store.ReadString(nullptr, L"Long", L"", text);
    EXPECT_EQ(text.GetLength(), 4095);

    NRegistry noFile(HKEY_CURRENT_USER);
    noFile.iniMode = true;
    noFile.iniSection = L"S";
    EXPECT_FALSE(noFile.WriteInt(nullptr, L"Number", 1));
    EXPECT_EQ(noFile.ReadInt(nullptr, L"Number", 3), 3);
}

TEST(NRegistryValueTest, SettersLayOutTheData)
{
    NRegistryValue value;
    EXPECT_EQ(value.GetType(), 0u);
    EXPECT_EQ(value.GetSize(), 0u);
    EXPECT_EQ(value.GetData(), nullptr);

    EXPECT_TRUE(value.SetMultiString(nullptr, 0));
    EXPECT_EQ(value.GetType(), static_cast<DWORD>(REG_MULTI_SZ));
    ASSERT_EQ(value.GetSize(), 4u);
    EXPECT_EQ(std::memcmp(value.GetData(), "\0\0\0\0", 4), 0);

    const wchar_t* list[] = {L"ab", nullptr, L"c"};
    EXPECT_TRUE(value.SetMultiString(list, 3));
    ASSERT_EQ(value.GetSize(), 14u);
    EXPECT_EQ(std::memcmp(value.GetData(), L"ab\0\0c\0", 14), 0);

    EXPECT_TRUE(value.SetString(nullptr));
    EXPECT_EQ(value.GetSize(), 2u);
    EXPECT_TRUE(value.SetString(L"%PATH%", true));
    EXPECT_EQ(value.GetType(), static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(value.GetSize(), 14u);
    const wchar_t* text = nullptr;
    EXPECT_TRUE(value.GetString(&text));
    EXPECT_STREQ(text, L"%PATH%");
    DWORD number;
    EXPECT_FALSE(value.GetDword(number));

    const unsigned char bytes[3] = {1, 2, 3};
    NRegistryValue binary(bytes, 3);
    unsigned char out[3] = {};
    EXPECT_FALSE(binary.GetBinary(out, 2));
    EXPECT_TRUE(binary.GetBinary(out, 3));
    EXPECT_EQ(out[2], 3);
    EXPECT_FALSE(binary.GetString(&text));

    NRegistryValue fromText(L"x");
    EXPECT_EQ(fromText.GetType(), static_cast<DWORD>(REG_SZ));
    NRegistryValue fromNumber(static_cast<DWORD>(0x01020304));
    EXPECT_TRUE(fromNumber.GetDword(number));
    EXPECT_EQ(number, 0x01020304u);
    EXPECT_EQ(std::memcmp(fromNumber.GetData(), "\x04\x03\x02\x01", 4), 0);
}

TEST(NRegistryValueTest, AllocZeroFillsAndKeepsStringDataTerminated)
{
    NRegistryValue value;
    value.SetType(REG_SZ);
    auto* data = static_cast<unsigned char*>(value.Alloc(7));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(value.GetSize(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(data[i], 0);
    std::memset(data, 'a', 7);  // no NUL in the data
    const wchar_t* text = nullptr;
    ASSERT_TRUE(value.GetString(&text));
    EXPECT_EQ(std::wcslen(text), 4u) << "the text ends right after the data";

    value.Free();
    EXPECT_EQ(value.GetData(), nullptr);
    EXPECT_EQ(value.GetSize(), 0u);
    EXPECT_EQ(value.GetType(), static_cast<DWORD>(REG_SZ));
    EXPECT_FALSE(value.GetString(&text));
}
