#include "base/Base64.h"

#include <windows.h>

#include <climits>

#include "base/NString.h"
#include "base/Utf8.h"

namespace {

// 6-bit value of a Base64 character, -1 for anything else.
int SextetOf(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSkippedSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Emits the bytes of a group of `count` (2 to 4) sextets: one byte fewer than the sextets.
void EmitGroup(const int (&s)[4], int count, std::string& out)
{
    out += static_cast<char>(((s[0] << 2) | (s[1] >> 4)) & 0xFF);
    if (count > 2)
        out += static_cast<char>((((s[1] & 15) << 4) | (s[2] >> 2)) & 0xFF);
    if (count > 3)
        out += static_cast<char>((((s[2] & 3) << 6) | s[3]) & 0xFF);
}

}  // namespace

std::string Base64Encode(const void* bytes, size_t length)
{
    std::string out;
    if (!bytes || length == 0)
        return out;
    const auto* p = static_cast<const unsigned char*>(bytes);
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; length - i >= 3; i += 3) {
        const unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += Base64Alphabet[(v >> 18) & 63];
        out += Base64Alphabet[(v >> 12) & 63];
        out += Base64Alphabet[(v >> 6) & 63];
        out += Base64Alphabet[v & 63];
    }
    const size_t rest = length - i;
    if (rest) {
        const unsigned v = (p[i] << 16) | (rest == 2 ? p[i + 1] << 8 : 0);
        out += Base64Alphabet[(v >> 18) & 63];
        out += Base64Alphabet[(v >> 12) & 63];
        out += rest == 2 ? Base64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& bytes)
{
    bytes.clear();
    bytes.reserve(text.size() / 4 * 3 + 2);
    int group[4] = {};
    int collected = 0;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (IsSkippedSpace(c))
            continue;
        const int v = SextetOf(static_cast<unsigned char>(c));
        if (v < 0)
            break;
        group[collected++] = v;
        if (collected == 4) {
            EmitGroup(group, 4, bytes);
            collected = 0;
        }
    }
    if (collected >= 2)
        EmitGroup(group, collected, bytes);
    if (collected == 1)
        return false;  // six bits carry no whole byte: the text was cut
    if (i == text.size())
        return true;
    if (text[i] != '=')
        return false;
    // Padding completes the last group to four characters; only white space may follow it.
    int padding = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == '=')
            ++padding;
        else if (!IsSkippedSpace(text[i]))
            return false;
    }
    return collected != 0 && collected + padding == 4;
}

std::string Base64Decode(std::string_view text)
{
    std::string bytes;
    Base64Decode(text, bytes);
    return bytes;
}

bool DecodeBase64Text(const NString& source, NString& result)
{
    const int units = source.GetLength();
    if (units == 0)
        return false;
    const std::string narrow = AnsiFromWide(source.c_str(), static_cast<size_t>(units));
    if (narrow.empty())
        return false;

    std::string bytes;
    if (!Base64Decode(narrow, bytes))
        return false;
    // The decoded text ends at its first zero byte.
    const size_t zero = bytes.find('\0');
    if (zero != std::string::npos)
        bytes.resize(zero);
    if (bytes.size() > static_cast<size_t>(INT_MAX) / 2)
        return false;
    NString text;
    if (!bytes.empty()) {
        const std::wstring wide = WideFromAnsi(bytes.data(), bytes.size());
        if (wide.empty())
            return false;
        text = wide.c_str();
    } else {
        text = L"";
    }
    result = text;
    return !result.IsEmpty();
}
