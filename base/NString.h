// NString: the wide (UTF-16) text type used throughout the program.
//
// One pointer to a NUL-terminated heap buffer and nothing else: no stored
// length, capacity or sharing, and every copy is deep. A null pointer is the
// "null state"; a buffer holding just a NUL is the "allocated empty" state.
// Both are empty, but a null-state string answers -1 to every comparison.
//
// Formats follow the Windows runtime: %s takes a wide string, %S a narrow
// one and %c a wide character. Case mapping touches ASCII letters only.
// Running out of heap ends the process; no member reports it.
#pragma once

#include <cstdarg>
#include <vector>

class NString {
public:
    NString() noexcept : m_pszData(nullptr) {}
    NString(const NString& other);
    NString(NString&& other) noexcept;
    NString(const wchar_t* text);        // null gives an allocated empty string
    NString(wchar_t ch, int count);      // count <= 0 gives the null state
    ~NString();

    NString& operator=(const NString& other);
    NString& operator=(NString&& other) noexcept;
    NString& operator=(const wchar_t* text);    // null leaves the string as it is
    NString& Assign(const wchar_t* text);

    // Never null: L"" for the null state.
    const wchar_t* c_str() const noexcept { return m_pszData ? m_pszData : L""; }

    int GetLength() const;
    bool IsEmpty() const;
    bool IsBlank() const;                 // empty, or spaces (U+0020) only
    void Empty();
    wchar_t GetAt(int index) const;
    wchar_t operator[](int index) const { return GetAt(index); }
    void SetAt(int index, wchar_t ch);

    void Append(const wchar_t* text);
    void AppendChar(wchar_t ch);
    NString& operator+=(const NString& text);
    NString& operator+=(const wchar_t* text);
    NString& operator+=(wchar_t ch);

    void MakeUpper();
    void MakeLower();
    void MakeReverse();
    void TrimLeft();
    void TrimLeft(wchar_t ch);
    void TrimLeft(const wchar_t* set);
    void TrimRight();
    void TrimRight(wchar_t ch);
    void TrimRight(const wchar_t* set);
    void DeleteThrough(wchar_t ch);
    void TruncateAt(wchar_t ch);
    int Replace(wchar_t oldCh, wchar_t newCh);
    int Replace(const wchar_t* search, const wchar_t* replacement);
    int Delete(int index, int count);
    int Remove(wchar_t ch);

    int Find(wchar_t ch) const;
    int Find(wchar_t ch, int start) const;
    int Find(const wchar_t* text) const;
    int Find(const wchar_t* text, int start) const;
    int FindOneOf(const wchar_t* set) const;
    int ReverseFind(wchar_t ch) const;

    NString Mid(int start, int count) const;
    NString Mid(int start) const;
    NString Left(int count) const;
    NString Right(int count) const;
    NString SpanIncluding(const wchar_t* set) const;
    NString SpanExcluding(const wchar_t* set) const;

    bool Split(std::vector<NString>& tokens, wchar_t separator) const;

    int Compare(const wchar_t* text) const;
    int Compare(const NString& text) const;
    int CompareNoCase(const wchar_t* text) const;
    int CompareNoCase(const NString& text) const;
    int Collate(const wchar_t* text) const;
    int Collate(const NString& text) const;

    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);

    wchar_t* GetBuffer(int length);
    void ReleaseBuffer(int length = -1);

private:
    wchar_t* AllocBuffer(int length);
    void ReallocBuffer(int length);
    void AssignText(int length, const wchar_t* text);
    void CopySubstring(NString& target, int count, int index, int extra) const;
    void ConcatTexts(const wchar_t* first, const wchar_t* second);
    void TakeBuffer(wchar_t* buffer) noexcept;

    friend NString operator+(const NString& left, const NString& right);
    friend NString operator+(const NString& left, const wchar_t* right);
    friend NString operator+(const wchar_t* left, const NString& right);

    wchar_t* m_pszData;
};

static_assert(sizeof(NString) == sizeof(void*), "NString must stay one pointer");

NString operator+(const NString& left, const NString& right);
NString operator+(const NString& left, const wchar_t* right);
NString operator+(const wchar_t* left, const NString& right);
