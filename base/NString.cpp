#include "NString.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <malloc.h>
#include <stdio.h>
#include <utility>

namespace {

// The heap is exhausted: a caller of a string member has no way to go on
// with a half-built text, so the process ends here.
[[noreturn]] void OutOfMemory()
{
    std::abort();
}

// Lengths and indexes are int; anything longer than that is treated like an
// exhausted heap rather than silently wrapping.
size_t CheckLength(size_t length)
{
    if (length > static_cast<size_t>(INT_MAX) - 1)
        OutOfMemory();
    return length;
}

wchar_t* AllocUnits(size_t length)
{
    void* p = std::malloc((CheckLength(length) + 1) * sizeof(wchar_t));
    if (!p)
        OutOfMemory();
    return static_cast<wchar_t*>(p);
}

wchar_t* ReallocUnits(wchar_t* old, size_t length)
{
    void* p = std::realloc(old, (CheckLength(length) + 1) * sizeof(wchar_t));
    if (!p)
        OutOfMemory();
    return static_cast<wchar_t*>(p);
}

wchar_t* NewText(const wchar_t* text, size_t length)
{
    wchar_t* buffer = AllocUnits(length);
    if (length)
        std::wmemcpy(buffer, text, length);
    buffer[length] = 0;
    return buffer;
}

size_t TextLength(const wchar_t* text)
{
    return text ? std::wcslen(text) : 0;
}

const wchar_t* OrEmpty(const wchar_t* text)
{
    return text ? text : L"";
}

bool InSet(wchar_t unit, const wchar_t* set)
{
    return unit != 0 && set && std::wcschr(set, unit) != nullptr;
}

bool PointsInto(const wchar_t* p, const wchar_t* block, size_t units)
{
    if (!p || !block)
        return false;
    std::less_equal<const wchar_t*> le;
    std::less<const wchar_t*> lt;
    return le(block, p) && lt(p, block + units);
}

wchar_t FoldAscii(wchar_t unit)
{
    return (unit >= L'A' && unit <= L'Z') ? static_cast<wchar_t>(unit + (L'a' - L'A')) : unit;
}

int CompareOrdinal(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        const unsigned ua = static_cast<uint16_t>(*a);
        const unsigned ub = static_cast<uint16_t>(*b);
        if (ua != ub)
            return ua < ub ? -1 : 1;
        if (ua == 0)
            return 0;
    }
}

int CompareFolded(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        const int ua = static_cast<uint16_t>(FoldAscii(*a));
        const int ub = static_cast<uint16_t>(FoldAscii(*b));
        if (ua != ub || ua == 0)
            return ua - ub;
    }
}

int CollateText(const wchar_t* a, const wchar_t* b)
{
    const int r = std::wcscoll(a, b);
    return (r > 0) - (r < 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, assignment, destruction

NString::NString(const NString& other)
    : m_pszData(NewText(other.c_str(), TextLength(other.m_pszData)))
{
}

NString::NString(NString&& other) noexcept
    : m_pszData(other.m_pszData)
{
    // Behaves like the copy: a null source still gives an allocated empty string.
    if (m_pszData)
        other.m_pszData = nullptr;
    else
        m_pszData = NewText(L"", 0);
}

NString::NString(const wchar_t* text)
    : m_pszData(NewText(OrEmpty(text), TextLength(text)))
{
}

NString::NString(wchar_t ch, int count)
    : m_pszData(nullptr)
{
    if (count <= 0)
        return;
    m_pszData = AllocUnits(static_cast<size_t>(count));
    std::wmemset(m_pszData, ch, static_cast<size_t>(count));
    m_pszData[count] = 0;
}

NString::~NString()
{
    std::free(m_pszData);
    m_pszData = nullptr;
}

NString& NString::operator=(const NString& other)
{
    if (m_pszData != other.m_pszData)
        AssignText(other.GetLength(), other.c_str());
    return *this;
}

NString& NString::operator=(NString&& other) noexcept
{
    if (m_pszData == other.m_pszData)
        return *this;
    if (!other.m_pszData) {
        AssignText(0, L"");
        return *this;
    }
    TakeBuffer(other.m_pszData);
    other.m_pszData = nullptr;
    return *this;
}

NString& NString::operator=(const wchar_t* text)
{
    if (text)
        AssignText(static_cast<int>(CheckLength(std::wcslen(text))), text);
    return *this;
}

NString& NString::Assign(const wchar_t* text)
{
    return *this = text;
}

// ---------------------------------------------------------------------------
// Length and characters

int NString::GetLength() const
{
    return static_cast<int>(TextLength(m_pszData));
}

bool NString::IsEmpty() const
{
    return !m_pszData || m_pszData[0] == 0;
}

bool NString::IsBlank() const
{
    if (!m_pszData)
        return true;
    for (const wchar_t* p = m_pszData; *p; ++p) {
        if (*p != L' ')
            return false;
    }
    return true;
}

void NString::Empty()
{
    if (m_pszData)
        m_pszData[0] = 0;
}

wchar_t NString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return 0;
    return m_pszData[index];
}

void NString::SetAt(int index, wchar_t ch)
{
    if (index >= 0 && index < GetLength())
        m_pszData[index] = ch;
}

// ---------------------------------------------------------------------------
// Appending and concatenation

void NString::Append(const wchar_t* text)
{
    // The new buffer is filled before the old one goes, so text may point
    // into this string.
    ConcatTexts(c_str(), OrEmpty(text));
}

void NString::AppendChar(wchar_t ch)
{
    const size_t length = TextLength(m_pszData);
    wchar_t* buffer = AllocUnits(length + 1);
    if (length)
        std::wmemcpy(buffer, m_pszData, length);
    buffer[length] = ch;
    buffer[length + 1] = 0;
    TakeBuffer(buffer);
}

NString& NString::operator+=(const NString& text)
{
    Append(text.c_str());
    return *this;
}

NString& NString::operator+=(const wchar_t* text)
{
    Append(text);
    return *this;
}

NString& NString::operator+=(wchar_t ch)
{
    AppendChar(ch);
    return *this;
}

NString operator+(const NString& left, const NString& right)
{
    NString result;
    result.ConcatTexts(left.c_str(), right.c_str());
    return result;
}

NString operator+(const NString& left, const wchar_t* right)
{
    NString result;
    result.ConcatTexts(left.c_str(), OrEmpty(right));
    return result;
}

NString operator+(const wchar_t* left, const NString& right)
{
    NString result;
    result.ConcatTexts(OrEmpty(left), right.c_str());
    return result;
}

// ---------------------------------------------------------------------------
// In-place changes

void NString::MakeUpper()
{
    if (!m_pszData)
        return;
    for (wchar_t* p = m_pszData; *p; ++p) {
        if (*p >= L'a' && *p <= L'z')
            *p = static_cast<wchar_t>(*p - (L'a' - L'A'));
    }
}

void NString::MakeLower()
{
    if (!m_pszData)
        return;
    for (wchar_t* p = m_pszData; *p; ++p)
        *p = FoldAscii(*p);
}

void NString::MakeReverse()
{
    const int length = GetLength();
    for (int i = 0, j = length - 1; i < j; ++i, --j)
        std::swap(m_pszData[i], m_pszData[j]);
}

namespace {

// Removes the first `run` units of a NUL-terminated text of `length` units.
void DropFront(wchar_t* text, size_t length, size_t run)
{
    if (run)
        std::wmemmove(text, text + run, length - run + 1);
}

}  // namespace

void NString::TrimLeft()
{
    if (!m_pszData)
        return;
    size_t run = 0;
    while (m_pszData[run] && std::iswspace(m_pszData[run]))
        ++run;
    DropFront(m_pszData, std::wcslen(m_pszData), run);
}

void NString::TrimLeft(wchar_t ch)
{
    if (!m_pszData || ch == 0)
        return;
    size_t run = 0;
    while (m_pszData[run] == ch)
        ++run;
    DropFront(m_pszData, std::wcslen(m_pszData), run);
}

void NString::TrimLeft(const wchar_t* set)
{
    if (!m_pszData)
        return;
    size_t run = 0;
    while (InSet(m_pszData[run], set))
        ++run;
    DropFront(m_pszData, std::wcslen(m_pszData), run);
}

void NString::TrimRight()
{
    size_t end = TextLength(m_pszData);
    while (end > 0 && std::iswspace(m_pszData[end - 1]))
        --end;
    if (m_pszData)
        m_pszData[end] = 0;
}

void NString::TrimRight(wchar_t ch)
{
    size_t end = TextLength(m_pszData);
    while (end > 0 && ch != 0 && m_pszData[end - 1] == ch)
        --end;
    if (m_pszData)
        m_pszData[end] = 0;
}

void NString::TrimRight(const wchar_t* set)
{
    size_t end = TextLength(m_pszData);
    while (end > 0 && InSet(m_pszData[end - 1], set))
        --end;
    if (m_pszData)
        m_pszData[end] = 0;
}

void NString::DeleteThrough(wchar_t ch)
{
    if (!m_pszData || ch == 0)
        return;
    const wchar_t* hit = std::wcschr(m_pszData, ch);
    if (!hit)
        return;
    const size_t run = static_cast<size_t>(hit - m_pszData) + 1;
    DropFront(m_pszData, std::wcslen(m_pszData), run);
}

void NString::TruncateAt(wchar_t ch)
{
    // Find(0) answers the length, where SetAt does nothing.
    SetAt(Find(ch), 0);
}

int NString::Replace(wchar_t oldCh, wchar_t newCh)
{
    if (oldCh == newCh || IsEmpty())
        return 0;
    const size_t length = std::wcslen(m_pszData);
    int count = 0;
    for (size_t i = 0; i < length; ++i) {
        if (m_pszData[i] == oldCh) {
            m_pszData[i] = newCh;
            ++count;
        }
    }
    return count;
}

int NString::Replace(const wchar_t* search, const wchar_t* replacement)
{
    const size_t searchLength = TextLength(search);
    if (searchLength == 0 || IsEmpty())
        return 0;
    replacement = OrEmpty(replacement);
    size_t length = std::wcslen(m_pszData);

    // Texts taken from this string itself must not change under the moves below.
    NString searchCopy;
    NString replacementCopy;
    if (PointsInto(search, m_pszData, length + 1)) {
        searchCopy = search;
        search = searchCopy.m_pszData;
    }
    if (PointsInto(replacement, m_pszData, length + 1)) {
        replacementCopy = replacement;
        replacement = replacementCopy.m_pszData;
    }
    const size_t replacementLength = std::wcslen(replacement);

    size_t count = 0;
    for (const wchar_t* p = std::wcsstr(m_pszData, search); p; p = std::wcsstr(p + searchLength, search))
        ++count;
    if (count == 0)
        return 0;

    if (replacementLength > searchLength) {
        const size_t growth = replacementLength - searchLength;
        if (growth > (static_cast<size_t>(INT_MAX) - length) / count)
            OutOfMemory();
        ReallocBuffer(static_cast<int>(CheckLength(length + growth * count)));
    }

    wchar_t* from = m_pszData;
    for (size_t done = 0; done < count; ++done) {
        wchar_t* match = std::wcsstr(from, search);
        if (!match)
            break;
        const size_t behind = length - static_cast<size_t>(match - m_pszData) - searchLength;
        std::wmemmove(match + replacementLength, match + searchLength, behind + 1);
        if (replacementLength)
            std::wmemcpy(match, replacement, replacementLength);
        length = length - searchLength + replacementLength;
        from = match + replacementLength;
    }
    return static_cast<int>(count);
}

int NString::Delete(int index, int count)
{
    const int length = GetLength();
    if (index < 0 || index > length || count <= 0)
        return length;
    if (count > length - index)
        count = length - index;
    if (count == 0)
        return length;
    std::wmemmove(m_pszData + index, m_pszData + index + count,
                  static_cast<size_t>(length - index - count) + 1);
    return length - count;
}

int NString::Remove(wchar_t ch)
{
    if (!m_pszData || ch == 0)
        return 0;
    wchar_t* out = m_pszData;
    for (const wchar_t* in = m_pszData; *in; ++in) {
        if (*in != ch)
            *out++ = *in;
    }
    *out = 0;
    return 0;
}

// ---------------------------------------------------------------------------
// Searching

int NString::Find(wchar_t ch) const
{
    return Find(ch, 0);
}

int NString::Find(wchar_t ch, int start) const
{
    if (start < 0)
        start = 0;
    if (start >= GetLength())
        return -1;
    const wchar_t* hit = std::wcschr(m_pszData + start, ch);
    return hit ? static_cast<int>(hit - m_pszData) : -1;
}

int NString::Find(const wchar_t* text) const
{
    return Find(text, 0);
}

int NString::Find(const wchar_t* text, int start) const
{
    if (start < 0)
        start = 0;
    if (!m_pszData || start >= GetLength())
        return -1;
    if (!text || !*text)
        return start;
    const wchar_t* hit = std::wcsstr(m_pszData + start, text);
    return hit ? static_cast<int>(hit - m_pszData) : -1;
}

int NString::FindOneOf(const wchar_t* set) const
{
    if (!m_pszData)
        return -1;
    const size_t index = std::wcscspn(m_pszData, OrEmpty(set));
    return m_pszData[index] ? static_cast<int>(index) : -1;
}

int NString::ReverseFind(wchar_t ch) const
{
    if (!m_pszData)
        return -1;
    const wchar_t* hit = std::wcsrchr(m_pszData, ch);
    return hit ? static_cast<int>(hit - m_pszData) : -1;
}

// ---------------------------------------------------------------------------
// Substrings

NString NString::Mid(int start, int count) const
{
    const int length = GetLength();
    if (start < 0)
        start = 0;
    if (count < 0)
        count = 0;
    if (static_cast<int64_t>(start) + count > length)
        count = length - start;
    NString result(L"");
    if (start <= length && count > 0)
        CopySubstring(result, count, start, 0);
    return result;
}

NString NString::Mid(int start) const
{
    const int64_t count = static_cast<int64_t>(GetLength()) - start;
    return Mid(start, count > INT_MAX ? INT_MAX : static_cast<int>(count));
}

NString NString::Left(int count) const
{
    const int length = GetLength();
    if (count < 0)
        count = 0;
    if (count >= length)
        return NString(c_str());
    NString result(L"");
    CopySubstring(result, count, 0, 0);
    return result;
}

NString NString::Right(int count) const
{
    const int length = GetLength();
    if (count < 0)
        count = 0;
    if (count >= length)
        return NString(c_str());
    NString result(L"");
    CopySubstring(result, count, length - count, 0);
    return result;
}

NString NString::SpanIncluding(const wchar_t* set) const
{
    return Left(static_cast<int>(std::wcsspn(c_str(), OrEmpty(set))));
}

NString NString::SpanExcluding(const wchar_t* set) const
{
    return Left(static_cast<int>(std::wcscspn(c_str(), OrEmpty(set))));
}

// ---------------------------------------------------------------------------
// Splitting

bool NString::Split(std::vector<NString>& tokens, wchar_t separator) const
{
    // Splitting an element of the target vector: keep the text alive while
    // the vector is emptied.
    const bool ownedByTarget = !tokens.empty() &&
        std::less_equal<const NString*>()(tokens.data(), this) &&
        std::less<const NString*>()(this, tokens.data() + tokens.size());
    if (ownedByTarget && m_pszData) {
        const NString self(*this);
        return self.Split(tokens, separator);
    }

    const bool isNull = (m_pszData == nullptr);
    std::vector<NString>().swap(tokens);
    if (isNull)
        return false;

    const wchar_t* tokenStart = m_pszData;
    for (const wchar_t* p = m_pszData;; ++p) {
        const bool atEnd = (*p == 0);
        if (atEnd || *p == separator) {
            NString token;
            token.AssignText(static_cast<int>(p - tokenStart), tokenStart);
            tokens.push_back(std::move(token));
            if (atEnd)
                break;
            tokenStart = p + 1;
        }
    }
    return tokens.size() > 1;
}

// ---------------------------------------------------------------------------
// Comparison

int NString::Compare(const wchar_t* text) const
{
    return m_pszData ? CompareOrdinal(m_pszData, OrEmpty(text)) : -1;
}

int NString::Compare(const NString& text) const
{
    return Compare(text.c_str());
}

int NString::CompareNoCase(const wchar_t* text) const
{
    return m_pszData ? CompareFolded(m_pszData, OrEmpty(text)) : -1;
}

int NString::CompareNoCase(const NString& text) const
{
    return CompareNoCase(text.c_str());
}

int NString::Collate(const wchar_t* text) const
{
    return m_pszData ? CollateText(m_pszData, OrEmpty(text)) : -1;
}

int NString::Collate(const NString& text) const
{
    return Collate(text.c_str());
}

// ---------------------------------------------------------------------------
// Formatting

void NString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void NString::FormatV(const wchar_t* format, va_list args)
{
    // The runtime's _vsnwprintf answers -1 both when the text does not fit and
    // when the format cannot be carried out, so growth stops at a ceiling.
    // Small texts grow by 128 units; past 64K units the buffer doubles.
    constexpr size_t kStep = 128;
    constexpr size_t kLinearLimit = 64 * 1024;
    constexpr size_t kMaxUnits = 16 * 1024 * 1024;

    format = OrEmpty(format);
    size_t units = kStep;
    for (;;) {
        wchar_t* temp = AllocUnits(units - 1);
        va_list pass;
        va_copy(pass, args);
        const int written = _vsnwprintf(temp, units - 1, format, pass);
        va_end(pass);
        if (written >= 0 && static_cast<size_t>(written) < units) {
            temp[written] = 0;
            // The old text may have been an argument: it goes only now.
            TakeBuffer(ReallocUnits(temp, static_cast<size_t>(written)));
            return;
        }
        std::free(temp);
        if (units >= kMaxUnits) {
            AssignText(0, L"");
            return;
        }
        units += (units < kLinearLimit) ? kStep : units;
        if (units > kMaxUnits)
            units = kMaxUnits;
    }
}

// ---------------------------------------------------------------------------
// Direct buffer access

wchar_t* NString::GetBuffer(int length)
{
    ReallocBuffer(length < 0 ? 0 : length);
    return m_pszData;
}

void NString::ReleaseBuffer(int length)
{
    if (length >= 0) {
        ReallocBuffer(length);
        return;
    }
    if (m_pszData)
        m_pszData = ReallocUnits(m_pszData, std::wcslen(m_pszData));
}

// ---------------------------------------------------------------------------
// Internals

wchar_t* NString::AllocBuffer(int length)
{
    if (length < 0)
        length = 0;
    wchar_t* buffer = AllocUnits(static_cast<size_t>(length));
    buffer[length] = 0;
    TakeBuffer(buffer);
    return m_pszData;
}

void NString::ReallocBuffer(int length)
{
    if (length < 0)
        length = 0;
    const size_t size = static_cast<size_t>(length);
    // Units the block did not hold before are zeroed, so nothing undefined is
    // ever read back from the buffer.
    const size_t oldUnits = m_pszData ? _msize(m_pszData) / sizeof(wchar_t) : 0;
    m_pszData = ReallocUnits(m_pszData, size);
    if (oldUnits < size)
        std::wmemset(m_pszData + oldUnits, 0, size - oldUnits);
    m_pszData[size] = 0;
}

void NString::AssignText(int length, const wchar_t* text)
{
    // Copied before the old buffer goes, so text may point into it.
    TakeBuffer(NewText(text, length < 0 ? 0 : static_cast<size_t>(length)));
}

void NString::CopySubstring(NString& target, int count, int index, int extra) const
{
    if (count < 0)
        count = 0;
    if (extra < 0)
        extra = 0;
    if (count + extra == 0)
        return;
    const int length = GetLength();
    if (index < 0 || index > length)
        index = length;
    if (count > length - index)
        count = length - index;
    const size_t units = CheckLength(static_cast<size_t>(count) + static_cast<size_t>(extra));
    wchar_t* buffer = AllocUnits(units);
    if (count)
        std::wmemcpy(buffer, m_pszData + index, static_cast<size_t>(count));
    std::wmemset(buffer + count, 0, units + 1 - static_cast<size_t>(count));
    target.TakeBuffer(buffer);
}

void NString::ConcatTexts(const wchar_t* first, const wchar_t* second)
{
    const size_t firstLength = TextLength(first);
    const size_t secondLength = TextLength(second);
    wchar_t* buffer = AllocUnits(CheckLength(firstLength + secondLength));
    if (firstLength)
        std::wmemcpy(buffer, first, firstLength);
    if (secondLength)
        std::wmemcpy(buffer + firstLength, second, secondLength);
    buffer[firstLength + secondLength] = 0;
    TakeBuffer(buffer);
}

void NString::TakeBuffer(wchar_t* buffer) noexcept
{
    std::free(m_pszData);
    m_pszData = buffer;
}
