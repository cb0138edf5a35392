#include "platform/TextRules.h"

#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Reads one code point; a malformed byte is returned as kInvalid and consumed alone,
// so the caller can copy it through untouched.
char32_t NextCodePoint(std::string_view text, size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
    } else {
        ++i;
        return kInvalid;
    }
    if (i + length > text.size()) {
        ++i;
        return kInvalid;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kInvalid;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += length;
    return cp;
}

void AppendCodePoint(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <typename Map>
std::string MapCodePoints(std::string_view text, Map map)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        const char32_t cp = NextCodePoint(text, i);
        if (cp == kInvalid) {
            out += text[start];
            continue;
        }
        const char32_t mapped = map(cp);
        if (mapped != kInvalid) {
            AppendCodePoint(out, mapped);
        }
    }
    return out;
}

char32_t LowerCp1252(char32_t cp)
{
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) {
        return cp + 0x20;
    }
    switch (cp) {
    case 0x160: // Š
    case 0x152: // Œ
    case 0x17D: // Ž
        return cp + 1;
    case 0x178: // Ÿ
        return 0xFF;
    default:
        return cp;
    }
}

char32_t UpperCodePoint(char32_t cp)
{
    if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)) {
        return cp - 0x20;
    }
    switch (cp) {
    case 0x161: // š
    case 0x153: // œ
    case 0x17E: // ž
        return cp - 1;
    case 0xFF: // ÿ
        return 0x178;
    default:
        return cp;
    }
}

char32_t FoldAccent(char32_t cp)
{
    if (cp < 0xC0 || cp > 0xFC) {
        return cp;
    }
    if (cp <= 0xC4) {
        return 'A';
    }
    if (cp == 0xC7) {
        return 'C';
    }
    if (cp >= 0xC8 && cp <= 0xCB) {
        return 'E';
    }
    if (cp >= 0xCC && cp <= 0xCF) {
        return 'I';
    }
    if (cp == 0xD1) {
        return 'N';
    }
    if (cp >= 0xD2 && cp <= 0xD6) {
        return 'O';
    }
    if (cp >= 0xD9 && cp <= 0xDC) {
        return 'U';
    }
    if (cp >= 0xE0 && cp <= 0xE4) {
        return 'a';
    }
    if (cp == 0xE7) {
        return 'c';
    }
    if (cp >= 0xE8 && cp <= 0xEB) {
        return 'e';
    }
    if (cp >= 0xEC && cp <= 0xEF) {
        return 'i';
    }
    if (cp == 0xF1) {
        return 'n';
    }
    if (cp >= 0xF2 && cp <= 0xF6) {
        return 'o';
    }
    if (cp >= 0xF9) {
        return 'u';
    }
    return cp;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

} // namespace

size_t Utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0 && lead < 0xF0) {
        return 3;
    }
    if (lead >= 0xC2 && lead < 0xE0) {
        return 2;
    }
    return 1;
}

std::string_view Utf8Left(std::string_view text, size_t characters)
{
    size_t at = 0;
    for (size_t count = 0; at < text.size() && count < characters; ++count) {
        at = std::min(text.size(), at + Utf8SequenceLength(static_cast<unsigned char>(text[at])));
    }
    return text.substr(0, at);
}

std::string DigitsOnly(std::string_view text)
{
    std::string out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out), [](char c) { return c >= '0' && c <= '9'; });
    return out;
}

std::string_view TrimLeft(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) {
        ++start;
    }
    return text.substr(start);
}

std::string_view TrimRight(std::string_view text)
{
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

std::string_view Trim(std::string_view text)
{
    return TrimRight(TrimLeft(text));
}

std::string FoldCase(std::string_view utf8)
{
    return MapCodePoints(utf8, LowerCp1252);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    const bool ascii = std::none_of(a.begin(), a.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
        std::none_of(b.begin(), b.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (ascii) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return static_cast<char>(LowerCp1252(static_cast<unsigned char>(x))) ==
                       static_cast<char>(LowerCp1252(static_cast<unsigned char>(y)));
               });
    }
    return FoldCase(a) == FoldCase(b);
}

std::string FoldAccents(std::string_view utf8)
{
    return MapCodePoints(utf8, FoldAccent);
}

std::string UpperCp1252(std::string_view utf8)
{
    return MapCodePoints(utf8, UpperCodePoint);
}

std::string ReplaceIgnoringCase(std::string_view text, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return std::string(text);
    }
    const std::string folded = FoldCase(from);
    std::string result;
    size_t at = 0;
    while (at < text.size()) {
        if (at + from.size() <= text.size() && FoldCase(text.substr(at, from.size())) == folded) {
            result += to;
            at += from.size();
        } else {
            result += text[at++];
        }
    }
    return result;
}

std::string CityKey(std::string_view utf8)
{
    return MapCodePoints(utf8, [](char32_t cp) { return cp == ' ' ? kInvalid : UpperCodePoint(FoldAccent(cp)); });
}

} // namespace platform
