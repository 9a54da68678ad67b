// NLanguage: the multi-language text table, filled from one language file.
//
// Language files are UTF-16 little-endian text (the byte-order mark is skipped), one per language,
// in one folder, named <base>-<code>.<extension> (for example VST-en-us.polylex). Grammar:
//   [Section]              opens a section (the name runs to ']' or the end of the line)
//   Key=Text               a key line; Text runs to the end of the line
//   Key__D=Reference       directly after a key line: that key's reference text (the text the
//                          translation was made from); a lookup may fall back to it
// Other lines (empty, comments without '=') are ignored. In texts, \t \r \n stand for TAB, CR and
// LF. Texts are stored as read; lookups unescape them and trim trailing blanks. Lists are texts
// whose items are separated by '|'. Names, keys and codes compare case-sensitively.
//
// Texts from a language file are data: a text used as a printf format must be taken through
// GetFormatText, which checks its conversions against the caller's arguments.
#pragma once
#include <windows.h>

#include <cstddef>
#include <vector>

#include "base/NString.h"
#include "base/TextSource.h"

struct NLanguageSection {
    NString name;
    // Parallel lists: entry i of each belongs to the i-th key line of the section.
    std::vector<NString> keys;
    std::vector<NString> referenceTexts;  // "" when the key has none
    std::vector<NString> values;          // "" when the text is empty
};

class NLanguage : public NTextSource {
public:
    NLanguage();
    ~NLanguage();
    NLanguage(const NLanguage&) = delete;
    NLanguage& operator=(const NLanguage&) = delete;

    // Remembers the folder (without a trailing backslash), base name and extension (without the
    // dot) and lists the language codes of the files found there. A missing folder changes nothing.
    void Init(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension);
    // Back to the state before Init.
    void Clear();
    bool IsInitialized() const { return m_initialized; }

    // "<folder>\<base>-<current code>.<extension>"; "" before Init.
    NString GetFilePath() const;
    // Loads the file of the code; when it is missing, the first listed code of the same primary
    // language (never a "platt" dialect). False, with an empty table, when nothing could be read or
    // the file is not UTF-16 text.
    bool Load(const wchar_t* code);

    // The text of the key; with useReference its reference text when the text is empty. "" when
    // the section or key is missing.
    NString GetText(const wchar_t* section, const wchar_t* key, bool useReference) const;
    // The text of the key, or its reference text when the text is empty.
    NString GetText(const wchar_t* section, const wchar_t* key) const override
    {
        return GetText(section, key, true);
    }
    void GetText(NString& text, const wchar_t* section, const wchar_t* key, bool useReference) const;
    NString GetReferenceText(const wchar_t* section, const wchar_t* key) const;
    // The '|'-separated items of the text (the reference text's items when it has more). An empty
    // text is logged and gives an empty list.
    void GetTextList(const wchar_t* section, const wchar_t* key, std::vector<NString>& list) const;

    // A text to be used as a printf format with arguments of the given kinds (see FormatCheck.h):
    // the text when its conversions fit them, else the reference text when that fits, else the
    // built-in text (which the caller must make fit). A misfit is logged.
    NString GetFormatText(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                          const wchar_t* builtIn) const override;

    // ---- Writing and merging (NLanguageFile.cpp) ----
    // A new table of one "Header" section (language names, and prompts for the translator) for the
    // code; nothing is written. False, nothing changed, before Init or for a null code.
    bool CreateTemplate(const wchar_t* code, const wchar_t* languageName, const wchar_t* localName);
    // Writes the table to GetFilePath as UTF-16 with a byte-order mark: the new file replaces the
    // old one only once it is written whole. False when it cannot be written.
    bool Save();
    // Store the text (escaped) as the value or the reference text of the first key of that name in
    // the sections of that name. False, nothing changed, when there is no such key.
    bool SetText(const wchar_t* section, const wchar_t* key, const wchar_t* text);
    bool SetReferenceText(const wchar_t* section, const wchar_t* key, const wchar_t* text);
    void ClearTexts();
    void ClearReferenceTexts();
    bool HasSection(const wchar_t* section) const;
    // Whether the first section of that name has the key.
    bool HasKey(const wchar_t* section, const wchar_t* key) const;
    // Appends the key (texts as stored, escaped) to every section of that name. A key that a
    // language file cannot hold (empty, starting with '[', holding '=', a line break or ending in
    // "__D") is refused.
    void AddKey(const wchar_t* section, const wchar_t* key, const wchar_t* referenceText, const wchar_t* value);
    // Brings this translation in line with the reference language's file: adds its missing sections
    // and keys (untranslated), takes its texts as reference texts; with synchronise also drops what
    // it lacks and empties translations whose reference text changed. False, nothing changed, when
    // the reference file cannot be loaded.
    bool UpdateFromReference(const wchar_t* referenceCode, bool synchronise);
    // Takes the reference texts of the keys both files have from the other file (its texts with
    // overwrite, or where it has no reference text). An empty text never replaces one.
    bool ImportReferenceTexts(const wchar_t* code, bool overwrite);
    // Takes the other file's texts: into empty keys (all keys with overwrite), and its keys and
    // sections that this table lacks.
    bool MergeTexts(const wchar_t* code, bool overwrite);
    // The system's language code when its file exists, else a listed code of the same primary
    // language, else "en-us".
    NString GetSystemLanguageCode() const;

    const NString& GetCurrentCode() const { return m_currentCode; }
    const std::vector<NString>& GetCodes() const { return m_codes; }
    const std::vector<NLanguageSection>& GetSections() const { return m_sections; }

    // Parses count UTF-16 units of a language file and appends its sections.
    static void Parse(const wchar_t* units, size_t count, std::vector<NLanguageSection>& sections);

private:
    const NString* FindEntry(const wchar_t* section, const wchar_t* key, bool reference) const;
    NString* FindEntry(const wchar_t* section, const wchar_t* key, bool reference)
    {
        return const_cast<NString*>(static_cast<const NLanguage*>(this)->FindEntry(section, key, reference));
    }
    NLanguageSection* FirstSection(const wchar_t* name);
    // Loads the file of code from this table's folder into other (initialised alike).
    bool LoadOther(const wchar_t* code, NLanguage& other) const;

    std::vector<NLanguageSection> m_sections;
    bool m_initialized;
    NString m_folder;
    NString m_baseName;
    NString m_extension;
    NString m_currentCode;
    std::vector<NString> m_codes;
};

// "en-us" style code of a locale: the ISO language name, and when the locale has a country, a
// hyphen and the ISO country name, in lower case.
NString LcidToLanguageCode(LCID lcid);
// True for the right-to-left languages "he-il", "ar-sa" and "fa-ir" (case-sensitive).
bool IsRightToLeftLanguage(const wchar_t* code);
