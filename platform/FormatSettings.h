#pragma once

#include "platform/DateTime.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Regional conventions as a value handed to whoever formats; the process locale is never
// changed, so C and library code elsewhere keep printing "." as the decimal point.
struct FormatSettings
{
    std::string CurrencyString;
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char ListSeparator = ',';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "yyyy-mm-dd";
    std::string LongTimeFormat = "hh:nn:ss";
    std::array<std::string, 12> LongMonthNames;
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 7> LongDayNames; // Sunday first
    std::array<std::string, 7> ShortDayNames;
};

// The conventions the program sets at start: "," decimal, "." thousands, "dd/mm/yyyy",
// Portuguese month and day names.
const FormatSettings& BrazilianFormatSettings();

class ConversionError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

// Number patterns of the "#,##0.00" family: "0" a required digit, "#" an optional one, the
// first "." the decimal point, a "," in the integer part turns on thousands grouping, up to
// three sections "positive;negative;zero", text in quotes and text around the digits kept.
// Rounds half away from zero on the shortest decimal form of the value, so 2.675 shows "2,68".
std::string FormatFloat(std::string_view pattern, double value, const FormatSettings& settings);

// Date patterns: d dd ddd dddd ddddd, m mm mmm mmmm (minutes right after an hour), yy yyyy,
// h hh, n nn, s ss, z zzz, am/pm, "/" and ":" as the regional separators, quoted text kept.
// Letters match in any case.
std::string FormatDateTime(std::string_view pattern, const DateTime& value, const FormatSettings& settings);

// A decimal number written with the regional decimal separator, blanks around it allowed,
// no thousands separators. Throws ConversionError naming the text.
double StrToFloat(std::string_view text, const FormatSettings& settings);
std::optional<double> TryStrToFloat(std::string_view text, const FormatSettings& settings);

// A date typed in the regional short date order (day, month, year for "dd/mm/yyyy"), parts
// separated by the date separator; a missing year is the current one, a two-digit year falls
// within fifty years of the current one. A time is hours:minutes[:seconds]. A date and time is a
// date, optionally followed by blanks and a time. Empty for anything that is not a valid value.
std::optional<DateTime> TryStrToDate(std::string_view text, const FormatSettings& settings);
std::optional<DateTime> TryStrToTime(std::string_view text, const FormatSettings& settings);
std::optional<DateTime> TryStrToDateTime(std::string_view text, const FormatSettings& settings);

// Shortest text that reads back as the same number, with the regional decimal separator.
std::string FloatToStr(double value, const FormatSettings& settings);

// Money in files for the engine: two decimals, "." as the point, no thousands separator,
// whatever the regional conventions are.
std::string MoneyText(double value);

} // namespace platform
