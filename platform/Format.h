#pragma once

#include <array>
#include <concepts>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace platform {

// Raised when a pattern and its arguments do not fit together.
class FormatError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

class FormatArg
{
public:
    FormatArg(std::string_view text)
        : m_value(text)
    { }
    FormatArg(const std::string& text)
        : m_value(std::string_view(text))
    { }
    FormatArg(const char* text)
        : m_value(std::string_view(text ? text : ""))
    { }
    template <std::signed_integral T>
    FormatArg(T number)
        : m_value(static_cast<long long>(number))
    { }
    template <std::unsigned_integral T>
    FormatArg(T number)
        : m_value(static_cast<unsigned long long>(number))
    { }
    FormatArg(double number)
        : m_value(number)
    { }

    const auto& Value() const { return m_value; }

private:
    std::variant<std::string_view, long long, unsigned long long, double> m_value;
};

std::string FormatArgs(std::string_view pattern, std::span<const FormatArg> args);

// The system's "%s"/"%d" texts, filled without the C locale and without ever taking a
// caller's text as the pattern. Supports %s %d %u %x %X %f %%, flags "-" and "0", width and
// precision (on integers the precision is the minimum number of digits, so "%4.4d" pads to 4).
// A missing argument is an error; an unused one is ignored.
template <typename... Args>
std::string Format(std::string_view pattern, const Args&... args)
{
    const std::array<FormatArg, sizeof...(Args)> list {FormatArg(args)...};
    return FormatArgs(pattern, list);
}

} // namespace platform
