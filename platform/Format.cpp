#include "platform/Format.h"

#include <charconv>
#include <cstdlib>

namespace platform {
namespace {

struct Spec
{
    bool LeftAlign = false;
    bool ZeroPad = false;
    int Width = 0;
    int Precision = -1;
    char Conversion = 0;
};

[[noreturn]] void Fail(std::string_view pattern)
{
    throw FormatError("Formato \"" + std::string(pattern) + "\" inválido ou incompatível com os argumentos.");
}

int ReadNumber(std::string_view pattern, size_t& i)
{
    int value = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
        value = value * 10 + (pattern[i] - '0');
        if (value > 10000) {
            Fail(pattern);
        }
        ++i;
    }
    return value;
}

std::string Digits(unsigned long long value, int base, bool upper)
{
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    std::string text(buffer, result.ptr);
    if (upper) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'f') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
    }
    return text;
}

std::string FormatInteger(const Spec& spec, bool negative, unsigned long long magnitude)
{
    const int base = (spec.Conversion == 'x' || spec.Conversion == 'X') ? 16 : 10;
    std::string digits = Digits(magnitude, base, spec.Conversion == 'X');
    if (spec.Precision >= 0 && static_cast<int>(digits.size()) < spec.Precision) {
        digits.insert(0, static_cast<size_t>(spec.Precision) - digits.size(), '0');
    }
    const std::string sign = negative ? "-" : "";
    const int used = static_cast<int>(sign.size() + digits.size());
    if (spec.ZeroPad && !spec.LeftAlign && spec.Precision < 0 && used < spec.Width) {
        digits.insert(0, static_cast<size_t>(spec.Width - used), '0');
    }
    return sign + digits;
}

std::string FormatFixed(const Spec& spec, double value)
{
    char buffer[512];
    const int precision = spec.Precision < 0 ? 6 : spec.Precision;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (result.ec != std::errc()) {
        return "INF";
    }
    std::string text(buffer, result.ptr);
    if (spec.ZeroPad && !spec.LeftAlign && static_cast<int>(text.size()) < spec.Width) {
        const size_t at = (!text.empty() && text[0] == '-') ? 1 : 0;
        text.insert(at, static_cast<size_t>(spec.Width) - text.size(), '0');
    }
    return text;
}

std::string Render(std::string_view pattern, const Spec& spec, const FormatArg& arg)
{
    const auto& value = arg.Value();
    switch (spec.Conversion) {
    case 's':
        if (const auto* text = std::get_if<std::string_view>(&value)) {
            std::string_view shown = *text;
            if (spec.Precision >= 0 && shown.size() > static_cast<size_t>(spec.Precision)) {
                shown = shown.substr(0, static_cast<size_t>(spec.Precision));
            }
            return std::string(shown);
        }
        Fail(pattern);
    case 'd':
    case 'u':
    case 'x':
    case 'X':
        if (const auto* number = std::get_if<long long>(&value)) {
            const bool negative = *number < 0;
            const unsigned long long magnitude =
                negative ? 0ULL - static_cast<unsigned long long>(*number) : static_cast<unsigned long long>(*number);
            return FormatInteger(spec, negative, magnitude);
        }
        if (const auto* number = std::get_if<unsigned long long>(&value)) {
            return FormatInteger(spec, false, *number);
        }
        Fail(pattern);
    case 'f':
        if (const auto* number = std::get_if<double>(&value)) {
            return FormatFixed(spec, *number);
        }
        if (const auto* number = std::get_if<long long>(&value)) {
            return FormatFixed(spec, static_cast<double>(*number));
        }
        Fail(pattern);
    default:
        Fail(pattern);
    }
}

} // namespace

std::string FormatArgs(std::string_view pattern, std::span<const FormatArg> args)
{
    std::string out;
    out.reserve(pattern.size() + 16 * args.size());
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        if (++i >= pattern.size()) {
            Fail(pattern);
        }
        if (pattern[i] == '%') {
            out += '%';
            continue;
        }
        Spec spec;
        for (; i < pattern.size() && (pattern[i] == '-' || pattern[i] == '0'); ++i) {
            (pattern[i] == '-' ? spec.LeftAlign : spec.ZeroPad) = true;
        }
        spec.Width = ReadNumber(pattern, i);
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            spec.Precision = ReadNumber(pattern, i);
        }
        if (i >= pattern.size() || next >= args.size()) {
            Fail(pattern);
        }
        spec.Conversion = pattern[i] == 'i' ? 'd' : pattern[i];
        std::string piece = Render(pattern, spec, args[next++]);
        if (static_cast<int>(piece.size()) < spec.Width) {
            const std::string pad(static_cast<size_t>(spec.Width) - piece.size(), ' ');
            piece = spec.LeftAlign ? piece + pad : pad + piece;
        }
        out += piece;
    }
    // Arguments the pattern does not use are ignored: custom templates may leave fields out.
    return out;
}

} // namespace platform
