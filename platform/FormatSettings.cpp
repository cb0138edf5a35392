#include "platform/FormatSettings.h"

#include "platform/Clock.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

FormatSettings MakeBrazilian()
{
    FormatSettings s;
    s.CurrencyString = "";
    s.DecimalSeparator = ',';
    s.ThousandSeparator = '.';
    s.ListSeparator = ';';
    s.DateSeparator = '/';
    s.TimeSeparator = ':';
    s.ShortDateFormat = "dd/mm/yyyy";
    s.LongTimeFormat = "hh:nn:ss";
    s.LongMonthNames = {"Janeiro", "Fevereiro", "Março",    "Abril",   "Maio",     "Junho",
                        "Julho",   "Agosto",    "Setembro", "Outubro", "Novembro", "Dezembro"};
    s.LongDayNames = {"domingo",      "segunda-feira", "terça-feira", "quarta-feira",
                      "quinta-feira", "sexta-feira",   "sábado"};
    // Short names are the first three letters (not bytes) of the long ones.
    auto firstThree = [](const std::string& name) {
        size_t letters = 0;
        size_t i = 0;
        while (i < name.size() && letters < 3) {
            ++i;
            while (i < name.size() && (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) {
                ++i;
            }
            ++letters;
        }
        return name.substr(0, i);
    };
    for (size_t i = 0; i < 12; ++i) {
        s.ShortMonthNames[i] = firstThree(s.LongMonthNames[i]);
    }
    for (size_t i = 0; i < 7; ++i) {
        s.ShortDayNames[i] = firstThree(s.LongDayNames[i]);
    }
    return s;
}

// Decimal digits of |value| rounded half away from zero to `decimals` places, as
// integer digits and fraction digits.
struct Rounded
{
    std::string IntegerDigits;
    std::string FractionDigits;
    bool Zero = true;
};

Rounded RoundDecimal(double value, int decimals)
{
    char buffer[400]; // the largest double written out in full has 309 digits
    auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    std::string integer = text.substr(0, text.find('.'));
    std::string fraction = text.find('.') == std::string::npos ? "" : text.substr(text.find('.') + 1);
    if (static_cast<int>(fraction.size()) > decimals) {
        const bool up = fraction[static_cast<size_t>(decimals)] >= '5';
        fraction.resize(static_cast<size_t>(decimals));
        if (up) {
            std::string digits = integer + fraction;
            int i = static_cast<int>(digits.size()) - 1;
            while (i >= 0 && digits[static_cast<size_t>(i)] == '9') {
                digits[static_cast<size_t>(i--)] = '0';
            }
            if (i < 0) {
                digits.insert(0, "1");
            } else {
                ++digits[static_cast<size_t>(i)];
            }
            integer = digits.substr(0, digits.size() - fraction.size());
            fraction = digits.substr(digits.size() - fraction.size());
        }
    }
    fraction.resize(static_cast<size_t>(decimals), '0');
    Rounded r;
    r.Zero =
        integer.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos;
    r.IntegerDigits =
        integer.find_first_not_of('0') == std::string::npos ? "" : integer.substr(integer.find_first_not_of('0'));
    r.FractionDigits = fraction;
    return r;
}

struct NumberSection
{
    std::string Prefix;
    std::string Suffix;
    int MinInteger = 0;
    int MinDecimals = 0;
    int MaxDecimals = 0;
    bool Grouping = false;
    bool HasDigits = false;
};

// Splits on ";" outside quotes.
std::vector<std::string> SplitSections(std::string_view pattern)
{
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char c : pattern) {
        if (quote) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

NumberSection ParseSection(std::string_view section)
{
    NumberSection s;
    bool afterPoint = false;
    bool seenDigit = false;
    std::string literal;
    char quote = 0;
    for (char c : section) {
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                literal += c;
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (c == '0' || c == '#') {
            if (!seenDigit) {
                s.Prefix = literal;
                literal.clear();
            }
            seenDigit = true;
            if (afterPoint) {
                ++s.MaxDecimals;
                if (c == '0') {
                    s.MinDecimals = s.MaxDecimals;
                }
            } else if (c == '0') {
                ++s.MinInteger;
            }
            continue;
        }
        if (c == '.' && !afterPoint && seenDigit) {
            afterPoint = true;
            continue;
        }
        if (c == ',' && seenDigit && !afterPoint) {
            s.Grouping = true;
            continue;
        }
        literal += c;
    }
    s.HasDigits = seenDigit;
    if (seenDigit) {
        s.Suffix = literal;
    } else {
        s.Prefix = literal;
    }
    return s;
}

std::string RenderSection(const NumberSection& s, const Rounded& r, const FormatSettings& settings)
{
    if (!s.HasDigits) {
        return s.Prefix;
    }
    std::string integer = r.IntegerDigits;
    if (static_cast<int>(integer.size()) < s.MinInteger) {
        integer.insert(0, static_cast<size_t>(s.MinInteger) - integer.size(), '0');
    }
    if (s.Grouping && integer.size() > 3) {
        std::string grouped;
        const size_t lead = integer.size() % 3 == 0 ? 3 : integer.size() % 3;
        grouped = integer.substr(0, lead);
        for (size_t i = lead; i < integer.size(); i += 3) {
            grouped += settings.ThousandSeparator;
            grouped += integer.substr(i, 3);
        }
        integer = grouped;
    }
    std::string fraction = r.FractionDigits;
    while (static_cast<int>(fraction.size()) > s.MinDecimals && !fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    std::string out = s.Prefix + integer;
    if (!fraction.empty()) {
        out += settings.DecimalSeparator;
        out += fraction;
    }
    return out + s.Suffix;
}

int CountRun(std::string_view pattern, size_t i, char letter)
{
    int n = 0;
    while (i + static_cast<size_t>(n) < pattern.size() && (pattern[i + static_cast<size_t>(n)] | 0x20) == letter) {
        ++n;
    }
    return n;
}

std::string Pad(int value, int width)
{
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<size_t>(width) - text.size(), '0');
    }
    return text;
}

bool StartsWithIgnoreCase(std::string_view text, size_t at, std::string_view word)
{
    return text.size() - at >= word.size() && EqualsIgnoreCase(text.substr(at, word.size()), word);
}

} // namespace

const FormatSettings& BrazilianFormatSettings()
{
    static const FormatSettings s_settings = MakeBrazilian();
    return s_settings;
}

std::string FormatFloat(std::string_view pattern, double value, const FormatSettings& settings)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "INF" : "-INF";
    }
    const std::vector<std::string> sections = SplitSections(pattern);
    const NumberSection positive = ParseSection(sections[0]);
    if (!positive.HasDigits && sections.size() == 1 && pattern.empty()) {
        return FloatToStr(value, settings);
    }
    const Rounded rounded = RoundDecimal(value, positive.MaxDecimals);
    if (rounded.Zero && sections.size() >= 3 && !sections[2].empty()) {
        const NumberSection zero = ParseSection(sections[2]);
        return RenderSection(zero, RoundDecimal(0.0, zero.MaxDecimals), settings);
    }
    if (value < 0 && !rounded.Zero) {
        if (sections.size() >= 2 && !sections[1].empty()) {
            const NumberSection negative = ParseSection(sections[1]);
            return RenderSection(negative, RoundDecimal(value, negative.MaxDecimals), settings);
        }
        return "-" + RenderSection(positive, rounded, settings);
    }
    return RenderSection(positive, rounded, settings);
}

std::string FormatDateTime(std::string_view pattern, const DateTime& value, const FormatSettings& settings)
{
    std::string out;
    bool afterHour = false;
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        const char lower = static_cast<char>(c | 0x20);
        if (c == '\'' || c == '"') {
            const size_t end = pattern.find(c, i + 1);
            out += pattern.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
            i = end == std::string_view::npos ? pattern.size() : end + 1;
            continue;
        }
        if (StartsWithIgnoreCase(pattern, i, "am/pm")) {
            out += value.Hour < 12 ? "am" : "pm";
            i += 5;
            continue;
        }
        if (c == '/') {
            out += settings.DateSeparator;
            ++i;
            continue;
        }
        if (c == ':') {
            out += settings.TimeSeparator;
            ++i;
            continue;
        }
        if (lower != 'd' && lower != 'm' && lower != 'y' && lower != 'h' && lower != 'n' && lower != 's' &&
            lower != 'z') {
            out += c;
            ++i;
            continue;
        }
        const int run = CountRun(pattern, i, lower);
        i += static_cast<size_t>(run);
        switch (lower) {
        case 'd':
            if (run >= 5) {
                out += FormatDateTime(settings.ShortDateFormat, value, settings);
            } else if (run == 4) {
                out += settings.LongDayNames[static_cast<size_t>(DayOfWeek(value) - 1)];
            } else if (run == 3) {
                out += settings.ShortDayNames[static_cast<size_t>(DayOfWeek(value) - 1)];
            } else {
                out += Pad(value.Day, run);
            }
            break;
        case 'm':
            if (afterHour && run <= 2) {
                out += Pad(value.Minute, run);
            } else if (run >= 4) {
                out += settings.LongMonthNames[static_cast<size_t>(value.Month - 1)];
            } else if (run == 3) {
                out += settings.ShortMonthNames[static_cast<size_t>(value.Month - 1)];
            } else {
                out += Pad(value.Month, run);
            }
            break;
        case 'y':
            out += run <= 2 ? Pad(value.Year % 100, 2) : Pad(value.Year, 4);
            break;
        case 'h':
            out += Pad(value.Hour, run >= 2 ? 2 : 1);
            break;
        case 'n':
            out += Pad(value.Minute, run >= 2 ? 2 : 1);
            break;
        case 's':
            out += Pad(value.Second, run >= 2 ? 2 : 1);
            break;
        case 'z':
            out += Pad(value.Millisecond, run >= 3 ? 3 : 1);
            break;
        default:
            break;
        }
        afterHour = lower == 'h';
    }
    return out;
}

std::optional<double> TryStrToFloat(std::string_view text, const FormatSettings& settings)
{
    std::string_view trimmed = Trim(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    std::string normal;
    normal.reserve(trimmed.size());
    for (char c : trimmed) {
        if (c == settings.DecimalSeparator) {
            normal += '.';
        } else if (c == '.' || c == ',' || c == ' ') {
            return std::nullopt;
        } else {
            normal += c;
        }
    }
    size_t start = normal[0] == '+' ? 1 : 0;
    double value = 0;
    auto result = std::from_chars(normal.data() + start, normal.data() + normal.size(), value);
    if (result.ec != std::errc() || result.ptr != normal.data() + normal.size()) {
        return std::nullopt;
    }
    return value;
}

double StrToFloat(std::string_view text, const FormatSettings& settings)
{
    if (auto value = TryStrToFloat(text, settings)) {
        return *value;
    }
    throw ConversionError("'" + std::string(text) + "' não é um valor numérico válido.");
}

namespace {

struct NumberPart
{
    int Value = 0;
    size_t Digits = 0;
};

// Unsigned decimal parts split at `separator`; empty when a part is not made of digits only.
std::optional<std::vector<NumberPart>> NumberParts(std::string_view text, char separator)
{
    std::vector<NumberPart> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find(separator, start), text.size());
        const std::string_view part = text.substr(start, end - start);
        if (part.empty() || part.size() > 4) {
            return std::nullopt;
        }
        int value = 0;
        for (char c : part) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        parts.push_back({value, part.size()});
        if (end == text.size()) {
            return parts;
        }
        start = end + 1;
    }
}

} // namespace

std::optional<DateTime> TryStrToDate(std::string_view text, const FormatSettings& settings)
{
    const auto parts = NumberParts(Trim(text), settings.DateSeparator);
    if (!parts || parts->size() < 2 || parts->size() > 3) {
        return std::nullopt;
    }
    // The order of day, month and year follows the short date format's first letters.
    std::string order;
    for (char c : settings.ShortDateFormat) {
        const char lower = static_cast<char>(c | 0x20);
        if ((lower == 'd' || lower == 'm' || lower == 'y') && order.find(lower) == std::string::npos) {
            order += lower;
        }
    }
    if (order.size() != 3) {
        order = "dmy";
    }
    const int today = Clock::Today().Year;
    DateTime value;
    value.Year = today;
    size_t next = 0;
    for (char part : order) {
        if (part == 'y' && parts->size() == 2) {
            continue;
        }
        const NumberPart number = (*parts)[next++];
        if (part == 'd') {
            value.Day = number.Value;
        } else if (part == 'm') {
            value.Month = number.Value;
        } else if (number.Digits <= 2) {
            const int century = (today - 50) / 100 * 100;
            value.Year = century + number.Value < today - 50 ? century + 100 + number.Value : century + number.Value;
        } else {
            value.Year = number.Value;
        }
    }
    if (value.Year < 1 || !IsValidDateTime(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<DateTime> TryStrToTime(std::string_view text, const FormatSettings& settings)
{
    const auto parts = NumberParts(Trim(text), settings.TimeSeparator);
    if (!parts || parts->size() < 2 || parts->size() > 3) {
        return std::nullopt;
    }
    DateTime value;
    value.Hour = (*parts)[0].Value;
    value.Minute = (*parts)[1].Value;
    value.Second = parts->size() == 3 ? (*parts)[2].Value : 0;
    if (value.Hour > 23 || value.Minute > 59 || value.Second > 59) {
        return std::nullopt;
    }
    return value;
}

std::optional<DateTime> TryStrToDateTime(std::string_view text, const FormatSettings& settings)
{
    const std::string_view trimmed = Trim(text);
    const size_t blank = trimmed.find(' ');
    auto date = TryStrToDate(trimmed.substr(0, blank), settings);
    if (!date || blank == std::string_view::npos) {
        return date;
    }
    const auto time = TryStrToTime(trimmed.substr(blank), settings);
    if (!time) {
        return std::nullopt;
    }
    date->Hour = time->Hour;
    date->Minute = time->Minute;
    date->Second = time->Second;
    return date;
}

std::string FloatToStr(double value, const FormatSettings& settings)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    for (char& c : text) {
        if (c == '.') {
            c = settings.DecimalSeparator;
        }
    }
    return text;
}

std::string MoneyText(double value)
{
    static const FormatSettings s_dot;
    return FormatFloat("0.00", value, s_dot);
}

} // namespace platform
