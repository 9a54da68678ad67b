// NLanguage: creating, editing, writing and merging language files.
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "base/Log.h"
#include "base/NFile.h"
#include "docobjects/PendingFile.h"
#include "ui/NLanguage.h"

namespace {

// Written files are a few hundred kilobytes; a table that would not fit one write is refused.
constexpr size_t kMaxFileBytes = 256u * 1024 * 1024;

const wchar_t kFileHead[] = L"; UTF-16 little endian encoded!\r\n; Created with PolylexEditor.\r\n\r\n";

// Stored texts never hold a raw TAB or line break: they are kept as \t, \r and \n.
NString Escape(const wchar_t* text)
{
    NString stored(text ? text : L"");
    stored.Replace(L"\t", L"\\t");
    stored.Replace(L"\r", L"\\r");
    stored.Replace(L"\n", L"\\n");
    return stored;
}

// A text read from a CR LF file ends in its line's CR: cut, so that it is not written twice.
NString WithoutLineEnd(const NString& text)
{
    NString cut(text);
    cut.TrimRight(L'\r');
    cut.TrimRight(L'\n');
    return cut;
}

int FindKey(const NLanguageSection& section, const wchar_t* key)
{
    for (size_t i = 0; i < section.keys.size(); ++i) {
        if (section.keys[i].Compare(key) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// Inserts a key at index (at the end when the index lies past it) into all three lists.
void InsertKey(NLanguageSection& section, size_t index, const NString& key, const NString& reference,
               const NString& value)
{
    index = std::min(index, section.keys.size());
    section.keys.insert(section.keys.begin() + static_cast<std::ptrdiff_t>(index), key);
    section.referenceTexts.insert(section.referenceTexts.begin() + static_cast<std::ptrdiff_t>(index), reference);
    section.values.insert(section.values.begin() + static_cast<std::ptrdiff_t>(index), value);
}

void EraseKey(NLanguageSection& section, size_t index)
{
    section.keys.erase(section.keys.begin() + static_cast<std::ptrdiff_t>(index));
    section.referenceTexts.erase(section.referenceTexts.begin() + static_cast<std::ptrdiff_t>(index));
    section.values.erase(section.values.begin() + static_cast<std::ptrdiff_t>(index));
}

// A key that, written as "key=...", reads back as the same key line.
bool IsWritableKey(const wchar_t* key)
{
    if (!key || !*key || *key == L'[')
        return false;
    const size_t length = std::wcslen(key);
    if (std::wcspbrk(key, L"=\r\n"))
        return false;
    return !(length >= 3 && std::wcscmp(key + length - 3, L"__D") == 0);
}

NString PrimaryLanguage(const NString& code)
{
    NString primary(code);
    primary.TruncateAt(L'-');
    return primary;
}

void AppendLine(std::wstring& out, const NString& text)
{
    out += text.c_str();
    out += L"\r\n";
}

}  // namespace

NLanguageSection* NLanguage::FirstSection(const wchar_t* name)
{
    for (NLanguageSection& section : m_sections) {
        if (section.name.Compare(name) == 0)
            return &section;
    }
    return nullptr;
}

bool NLanguage::LoadOther(const wchar_t* code, NLanguage& other) const
{
    if (!m_initialized || !code)
        return false;
    other.Init(m_folder.c_str(), m_baseName.c_str(), m_extension.c_str());
    return other.IsInitialized() && other.Load(code);
}

bool NLanguage::CreateTemplate(const wchar_t* code, const wchar_t* languageName, const wchar_t* localName)
{
    if (!m_initialized || !code)
        return false;
    m_sections.clear();
    m_currentCode = code;
    NLanguageSection header;
    header.name = L"Header";
    const NString name = Escape(languageName), local = Escape(localName);
    const struct {
        const wchar_t* key;
        NString reference;
        NString value;
    } keys[] = {
        {L"LanguageName", name, name},
        {L"LanguageNameLocal", local, local},
        {L"Application", NString(L"Application Name"), NString(L"")},
        {L"Author", NString(L"Your Name"), NString(L"")},
        {L"Email", NString(L"Your Email"), NString(L"")},
        {L"Comment", NString(L"Your Comment"), NString(L"")},
    };
    for (const auto& entry : keys) {
        header.keys.push_back(NString(entry.key));
        header.referenceTexts.push_back(entry.reference);
        header.values.push_back(entry.value);
    }
    m_sections.push_back(std::move(header));
    return true;
}

bool NLanguage::Save()
{
    if (!m_initialized)
        return false;
    std::wstring out(1, L'\xFEFF');
    out += kFileHead;
    for (const NLanguageSection& section : m_sections) {
        out += L'[';
        out += WithoutLineEnd(section.name).c_str();
        out += L"]\r\n";
        for (size_t i = 0; i < section.keys.size(); ++i) {
            AppendLine(out, section.keys[i] + L"=" + WithoutLineEnd(section.values[i]));
            const NString reference = WithoutLineEnd(section.referenceTexts[i]);
            if (!reference.IsEmpty())
                AppendLine(out, section.keys[i] + L"__D=" + reference);
        }
        out += L"\r\n\r\n";
    }
    const size_t bytes = out.size() * sizeof(wchar_t);
    const NString path = GetFilePath();
    if (bytes > kMaxFileBytes) {
        LogMessage(L"NLanguage::Save ... %s: the table is too large", path.c_str());
        return false;
    }

    // The old file is replaced only by a complete new one.
    PendingFile pending;
    if (!pending.Begin(path.c_str())) {
        LogMessage(L"NLanguage::Save ... cannot create a file beside %s", path.c_str());
        return false;
    }
    {
        NFile file;
        if (!file.Open(pending.WorkPath(), NFile::modeWrite | NFile::shareNone | NFile::modeCreate))
            return false;
        if (!file.Write(out.data(), static_cast<DWORD>(bytes)) || !file.Flush()) {
            LogMessage(L"NLanguage::Save ... writing %s failed", path.c_str());
            return false;
        }
    }
    if (!pending.Commit()) {
        LogMessage(L"NLanguage::Save ... cannot replace %s", path.c_str());
        return false;
    }
    return true;
}

bool NLanguage::SetText(const wchar_t* section, const wchar_t* key, const wchar_t* text)
{
    NString* value = FindEntry(section, key, false);
    if (!value)
        return false;
    *value = Escape(text);
    return true;
}

bool NLanguage::SetReferenceText(const wchar_t* section, const wchar_t* key, const wchar_t* text)
{
    NString* reference = FindEntry(section, key, true);
    if (!reference)
        return false;
    *reference = Escape(text);
    return true;
}

void NLanguage::ClearTexts()
{
    for (NLanguageSection& section : m_sections) {
        for (NString& value : section.values)
            value = L"";
    }
}

void NLanguage::ClearReferenceTexts()
{
    for (NLanguageSection& section : m_sections) {
        for (NString& reference : section.referenceTexts)
            reference = L"";
    }
}

bool NLanguage::HasSection(const wchar_t* section) const
{
    if (!section)
        return false;
    return std::any_of(m_sections.begin(), m_sections.end(),
                       [section](const NLanguageSection& s) { return s.name.Compare(section) == 0; });
}

bool NLanguage::HasKey(const wchar_t* section, const wchar_t* key) const
{
    if (!section || !key)
        return false;
    for (const NLanguageSection& s : m_sections) {
        if (s.name.Compare(section) == 0)
            return FindKey(s, key) >= 0;
    }
    return false;
}

void NLanguage::AddKey(const wchar_t* section, const wchar_t* key, const wchar_t* referenceText, const wchar_t* value)
{
    if (!section)
        return;
    if (!IsWritableKey(key)) {
        LogMessage(L"NLanguage::AddKey ... [%s] the key \"%s\" cannot be written to a language file", section,
                   key ? key : L"");
        return;
    }
    for (NLanguageSection& s : m_sections) {
        if (s.name.Compare(section) == 0)
            InsertKey(s, s.keys.size(), NString(key), Escape(referenceText), Escape(value));
    }
}

bool NLanguage::UpdateFromReference(const wchar_t* referenceCode, bool synchronise)
{
    NLanguage reference;
    if (!LoadOther(referenceCode, reference))
        return false;

    if (synchronise) {
        for (size_t s = 0; s < m_sections.size();) {
            NLanguageSection& section = m_sections[s];
            if (!reference.HasSection(section.name.c_str())) {
                m_sections.erase(m_sections.begin() + static_cast<std::ptrdiff_t>(s));
                continue;
            }
            for (size_t k = 0; k < section.keys.size();) {
                if (reference.HasKey(section.name.c_str(), section.keys[k].c_str()))
                    ++k;
                else
                    EraseKey(section, k);
            }
            ++s;
        }
    }

    for (size_t r = 0; r < reference.m_sections.size(); ++r) {
        const NLanguageSection& source = reference.m_sections[r];
        const wchar_t* name = source.name.c_str();
        if (source.name.Compare(L"Header") == 0)
            continue;
        if (!HasSection(name)) {
            // A new section: the reference's texts become the reference texts, nothing is translated.
            NLanguageSection copy = source;
            for (size_t k = 0; k < copy.keys.size(); ++k) {
                if (!copy.values[k].IsEmpty())
                    copy.referenceTexts[k] = copy.values[k];
                copy.values[k] = L"";
            }
            m_sections.insert(m_sections.begin() + static_cast<std::ptrdiff_t>(std::min(r, m_sections.size())),
                              std::move(copy));
            continue;
        }
        for (size_t i = 0; i < source.keys.size(); ++i) {
            const wchar_t* key = source.keys[i].c_str();
            NString current = reference.GetReferenceText(name, key);
            if (current.IsEmpty())
                current = reference.GetText(name, key, true);
            if (!HasKey(name, key)) {
                InsertKey(*FirstSection(name), i, source.keys[i], Escape(current.c_str()), NString(L""));
                continue;
            }
            const NString previous = GetReferenceText(name, key);
            if (synchronise) {
                SetReferenceText(name, key, current.c_str());
                // A translation made from another source text must be redone. Without a reference
                // text of its own nothing says what it was made from: it is kept.
                if (!previous.IsEmpty() && previous.Compare(current) != 0)
                    SetText(name, key, L"");
            } else if (previous.IsEmpty()) {
                SetReferenceText(name, key, current.c_str());
            }
        }
    }
    return true;
}

bool NLanguage::ImportReferenceTexts(const wchar_t* code, bool overwrite)
{
    NLanguage other;
    if (!LoadOther(code, other))
        return false;
    for (const NLanguageSection& source : other.m_sections) {
        const wchar_t* name = source.name.c_str();
        if (source.name.Compare(L"Header") == 0 || !HasSection(name))
            continue;
        for (const NString& key : source.keys) {
            if (!HasKey(name, key.c_str()))
                continue;
            NString text = other.GetReferenceText(name, key.c_str());
            if (text.IsEmpty() || overwrite)
                text = other.GetText(name, key.c_str(), true);
            if (!text.IsEmpty())
                SetReferenceText(name, key.c_str(), text.c_str());
        }
    }
    return true;
}

bool NLanguage::MergeTexts(const wchar_t* code, bool overwrite)
{
    NLanguage other;
    if (!LoadOther(code, other))
        return false;
    for (size_t r = 0; r < other.m_sections.size(); ++r) {
        const NLanguageSection& source = other.m_sections[r];
        const wchar_t* name = source.name.c_str();
        if (!HasSection(name)) {
            NLanguageSection copy = source;
            for (size_t k = 0; k < copy.keys.size(); ++k) {
                if (copy.values[k].IsEmpty())
                    copy.values[k] = copy.referenceTexts[k];
            }
            m_sections.insert(m_sections.begin() + static_cast<std::ptrdiff_t>(std::min(r, m_sections.size())),
                              std::move(copy));
            continue;
        }
        for (size_t j = 0; j < source.keys.size(); ++j) {
            const wchar_t* key = source.keys[j].c_str();
            const NString& text = source.values[j].IsEmpty() ? source.referenceTexts[j] : source.values[j];
            if (!HasKey(name, key)) {
                InsertKey(*FirstSection(name), j, source.keys[j], source.referenceTexts[j], text);
                continue;
            }
            // The other file's stored text is escaped already; only its line end is cut. An empty
            // text never replaces a translation.
            const NString stored = WithoutLineEnd(text);
            if (stored.IsEmpty())
                continue;
            if (overwrite || GetText(name, key, true).IsEmpty())
                SetText(name, key, stored.c_str());
        }
    }
    return true;
}

NString NLanguage::GetSystemLanguageCode() const
{
    const NString system = LcidToLanguageCode(GetSystemDefaultLCID());
    if (m_initialized) {
        NString path;
        path.Format(L"%s\\%s-%s.%s", m_folder.c_str(), m_baseName.c_str(), system.c_str(), m_extension.c_str());
        if (PathFileExistsW(path.c_str()))
            return system;
        const NString primary = PrimaryLanguage(system);
        for (const NString& code : m_codes) {
            if (PrimaryLanguage(code).Compare(primary) == 0)
                return code;
        }
    }
    return NString(L"en-us");
}
