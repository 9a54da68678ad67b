#include "ui/NLanguage.h"

#include <shlwapi.h>

#include <new>

#include "base/Log.h"
#include "base/NFile.h"
#include "base/SystemOwners.h"
#include "ui/FormatCheck.h"

namespace {

// Language files are a few hundred lines; anything beyond this is not one.
constexpr uint64_t kMaxFileBytes = 64u * 1024 * 1024;
constexpr wchar_t kByteOrderMark = 0xFEFF;

NString MakeText(const wchar_t* begin, const wchar_t* end)
{
    NString text;
    const int length = static_cast<int>(end - begin);
    wchar_t* buffer = text.GetBuffer(length);
    std::wmemcpy(buffer, begin, static_cast<size_t>(length));
    text.ReleaseBuffer(length);
    return text;
}

// Escapes turned into their characters, trailing blanks, tabs and line ends cut.
NString Unescape(const NString& stored)
{
    NString text(stored);
    text.Replace(L"\\t", L"\t");
    text.Replace(L"\\r", L"\r");
    text.Replace(L"\\n", L"\n");
    text.TrimRight(L" \t\r\n");
    return text;
}

void SplitList(const NString& text, std::vector<NString>& items)
{
    items.clear();
    NString item(L"");
    for (int i = 0; i < text.GetLength(); ++i) {
        const wchar_t ch = text.GetAt(i);
        if (ch == L'|') {
            items.push_back(item);
            item = NString(L"");
        } else {
            item.AppendChar(ch);
        }
    }
    items.push_back(item);
}

}  // namespace

NLanguage::NLanguage() : m_initialized(false) {}

NLanguage::~NLanguage()
{
    Clear();
}

void NLanguage::Init(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension)
{
    if (!folder || !baseName || !extension || !PathFileExistsW(folder))
        return;
    Clear();
    m_folder = folder;
    m_baseName = baseName;
    m_extension = extension;

    NString pattern;
    pattern.Format(L"%s\\%s-*.%s", folder, baseName, extension);
    WIN32_FIND_DATAW found;
    const FindHandleOwner find(FindFirstFileW(pattern.c_str(), &found));
    if (find) {
        do {
            NString code(found.cFileName);
            code.DeleteThrough(L'-');
            code.TruncateAt(L'.');
            m_codes.push_back(code);
        } while (FindNextFileW(find.Get(), &found));
    }
    m_initialized = true;
}

void NLanguage::Clear()
{
    if (!m_initialized)
        return;
    m_initialized = false;
    m_folder = L"";
    m_baseName = L"";
    m_extension = L"";
    m_currentCode = L"";
    m_codes.clear();
    m_sections.clear();
}

NString NLanguage::GetFilePath() const
{
    NString path(L"");
    if (m_initialized)
        path.Format(L"%s\\%s-%s.%s", m_folder.c_str(), m_baseName.c_str(), m_currentCode.c_str(), m_extension.c_str());
    return path;
}

bool NLanguage::Load(const wchar_t* code)
{
    if (!m_initialized || !code)
        return false;
    m_sections.clear();
    m_currentCode = code;

    NString path = GetFilePath();
    if (!PathFileExistsW(path.c_str())) {
        NString primary(code);
        primary.TruncateAt(L'-');
        const NString* fallback = nullptr;
        for (const NString& listed : m_codes) {
            if (listed.Find(L"platt") >= 0)
                continue;
            NString listedPrimary(listed);
            listedPrimary.TruncateAt(L'-');
            if (listedPrimary.Compare(primary) == 0) {
                fallback = &listed;
                break;
            }
        }
        if (!fallback)
            return false;
        m_currentCode = *fallback;
        path = GetFilePath();
    }

    NFile file;
    if (!file.Open(path.c_str(), NFile::modeRead | NFile::shareRead))
        return false;
    const uint64_t bytes = file.GetLength();
    if (bytes > kMaxFileBytes) {
        LogMessage(L"NLanguage::Load ... %s is too large for a language file", path.c_str());
        return false;
    }
    const size_t units = static_cast<size_t>(bytes / 2);
    std::vector<wchar_t> data;
    try {
        data.resize(units + 1, L'\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (bytes > 0 && file.Read(data.data(), static_cast<DWORD>(bytes)) != static_cast<DWORD>(bytes))
        return false;
    file.Close();

    Parse(data.data(), units, m_sections);
    // Text in another encoding has no '[' unit and so no sections; it is not a language file.
    if (m_sections.empty() && units > 0 && data[0] != kByteOrderMark) {
        LogMessage(L"NLanguage::Load ... %s is not a UTF-16 language file", path.c_str());
        return false;
    }
    return true;
}

void NLanguage::Parse(const wchar_t* units, size_t count, std::vector<NLanguageSection>& sections)
{
    if (!units)
        return;
    const wchar_t* const end = units + count;
    const wchar_t* p = units;
    while (p < end && *p != L'[')
        ++p;
    while (p < end) {
        // *p is '[': the name runs to ']' or the end of the line, which is consumed.
        ++p;
        const wchar_t* nameBegin = p;
        while (p < end && *p != L']' && *p != L'\n')
            ++p;
        NLanguageSection section;
        section.name = MakeText(nameBegin, p);
        if (p < end)
            ++p;

        int lastKey = -1;  // index of the key read on the line before, -1 when there was none
        while (p < end && *p != L'[') {
            const wchar_t* lineBegin = p;
            while (p < end && *p != L'\n')
                ++p;
            const wchar_t* lineEnd = p;
            if (p < end)
                ++p;

            const wchar_t* equals = std::wmemchr(lineBegin, L'=', static_cast<size_t>(lineEnd - lineBegin));
            if (!equals) {
                lastKey = -1;
                continue;
            }
            // A reference line's key ends in "__D"; "__D" elsewhere is ordinary text.
            const bool isReference = equals - lineBegin >= 3 && std::wmemcmp(equals - 3, L"__D", 3) == 0;
            if (isReference) {
                if (lastKey >= 0)
                    section.referenceTexts[static_cast<size_t>(lastKey)] = MakeText(equals + 1, lineEnd);
                lastKey = -1;
                continue;
            }
            section.keys.push_back(MakeText(lineBegin, equals));
            // An empty text, or only the CR of a CR LF line end, counts as empty.
            const wchar_t* valueBegin = equals + 1;
            const bool empty = valueBegin == lineEnd || (lineEnd - valueBegin == 1 && *valueBegin == L'\r');
            section.values.push_back(empty ? NString(L"") : MakeText(valueBegin, lineEnd));
            section.referenceTexts.push_back(NString(L""));
            lastKey = static_cast<int>(section.keys.size()) - 1;
        }
        sections.push_back(std::move(section));
    }
}

const NString* NLanguage::FindEntry(const wchar_t* section, const wchar_t* key, bool reference) const
{
    if (!section || !key)
        return nullptr;
    for (const NLanguageSection& s : m_sections) {
        if (s.name.Compare(section) != 0)
            continue;
        for (size_t i = 0; i < s.keys.size(); ++i) {
            if (s.keys[i].Compare(key) == 0)
                return reference ? &s.referenceTexts[i] : &s.values[i];
        }
    }
    return nullptr;
}

NString NLanguage::GetText(const wchar_t* section, const wchar_t* key, bool useReference) const
{
    const NString* value = FindEntry(section, key, false);
    if (!value)
        return NString(L"");
    if (useReference && value->IsEmpty())
        value = FindEntry(section, key, true);
    return Unescape(*value);
}

void NLanguage::GetText(NString& text, const wchar_t* section, const wchar_t* key, bool useReference) const
{
    text = GetText(section, key, useReference);
}

NString NLanguage::GetReferenceText(const wchar_t* section, const wchar_t* key) const
{
    const NString* reference = FindEntry(section, key, true);
    return reference ? Unescape(*reference) : NString(L"");
}

void NLanguage::GetTextList(const wchar_t* section, const wchar_t* key, std::vector<NString>& list) const
{
    list.clear();
    const NString text = GetText(section, key, true);
    if (text.IsEmpty()) {
        // Logged only: a missing list must not stop the program with one box per list.
        LogMessage(L"No text? %s %s", section ? section : L"", key ? key : L"");
        return;
    }
    SplitList(text, list);
    const NString reference = GetReferenceText(section, key);
    if (!reference.IsEmpty()) {
        std::vector<NString> referenceItems;
        SplitList(reference, referenceItems);
        if (referenceItems.size() > list.size())
            list = std::move(referenceItems);
    }
}

NString NLanguage::GetFormatText(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                                 const wchar_t* builtIn) const
{
    // GetText already answers the reference text when the translation is empty.
    const NString text = GetText(section, key, true);
    if (!text.IsEmpty()) {
        if (FormatFitsArguments(text.c_str(), argumentKinds))
            return text;
        LogMessage(L"NLanguage::GetFormatText ... [%s] %s does not fit its arguments", section ? section : L"",
                   key ? key : L"");
        const NString reference = GetReferenceText(section, key);
        if (!reference.IsEmpty() && FormatFitsArguments(reference.c_str(), argumentKinds))
            return reference;
    }
    return NString(builtIn ? builtIn : L"");
}

NString LcidToLanguageCode(LCID lcid)
{
    wchar_t buffer[33] = {};
    if (GetLocaleInfoW(lcid, LOCALE_SISO639LANGNAME, buffer, 32) == 0) {
        if (GetLocaleInfoW(lcid, LOCALE_SABBREVLANGNAME, buffer, 32) != 0)
            buffer[2] = L'\0';
    }
    size_t length = std::wcslen(buffer);
    bool country = false;
    if (length < 32) {
        buffer[length++] = L'-';
        buffer[length] = L'\0';
        wchar_t* tail = buffer + length;
        const int room = static_cast<int>(32 - length);
        if (room > 0 && GetLocaleInfoW(lcid, LOCALE_SISO3166CTRYNAME, tail, room) != 0 && *tail != L'\0') {
            country = true;
        } else if (room > 0 && GetLocaleInfoW(lcid, LOCALE_SABBREVCTRYNAME, tail, room) != 0 &&
                   std::wcslen(tail) == 2) {
            country = true;
        } else {
            *tail = L'\0';
        }
        if (!country)
            buffer[--length] = L'\0';
    }
    for (wchar_t* p = buffer; *p; ++p) {
        if (*p >= L'A' && *p <= L'Z')
            *p = static_cast<wchar_t>(*p - L'A' + L'a');
    }
    return NString(buffer);
}

bool IsRightToLeftLanguage(const wchar_t* code)
{
    if (!code)
        return false;
    return std::wcscmp(code, L"he-il") == 0 || std::wcscmp(code, L"ar-sa") == 0 || std::wcscmp(code, L"fa-ir") == 0;
}
