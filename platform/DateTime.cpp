#include "platform/DateTime.h"

#include <ctime>

namespace platform {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDateTime(const DateTime& value)
{
    return value.Year >= 1 && value.Year <= 9999 && value.Month >= 1 && value.Month <= 12 && value.Day >= 1 &&
        value.Day <= DaysInMonth(value.Year, value.Month) && value.Hour >= 0 && value.Hour < 24 && value.Minute >= 0 &&
        value.Minute < 60 && value.Second >= 0 && value.Second < 60 && value.Millisecond >= 0 &&
        value.Millisecond < 1000;
}

int64_t DaysSinceEpoch(const DateTime& value)
{
    using namespace std::chrono;
    const year_month_day date {year {value.Year}, month {static_cast<unsigned>(value.Month)},
                               day {static_cast<unsigned>(value.Day)}};
    return sys_days {date}.time_since_epoch().count();
}

DateTime FromDaysSinceEpoch(int64_t days)
{
    using namespace std::chrono;
    const year_month_day date {sys_days {std::chrono::days {days}}};
    DateTime result;
    result.Year = static_cast<int>(date.year());
    result.Month = static_cast<int>(static_cast<unsigned>(date.month()));
    result.Day = static_cast<int>(static_cast<unsigned>(date.day()));
    result.Hour = result.Minute = result.Second = result.Millisecond = 0;
    return result;
}

int DayOfWeek(const DateTime& value)
{
    // 1970-01-01 was a Thursday (5 when Sunday is 1).
    const int64_t days = DaysSinceEpoch(value);
    return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

DateTime AddDays(const DateTime& value, int days)
{
    DateTime result = FromDaysSinceEpoch(DaysSinceEpoch(value) + days);
    result.Hour = value.Hour;
    result.Minute = value.Minute;
    result.Second = value.Second;
    result.Millisecond = value.Millisecond;
    return result;
}

DateTime StartOfMonth(const DateTime& value)
{
    return DateTime {value.Year, value.Month, 1, 0, 0, 0, 0};
}

DateTime EndOfMonth(const DateTime& value)
{
    return DateTime {value.Year, value.Month, DaysInMonth(value.Year, value.Month), 0, 0, 0, 0};
}

DateTime ToLocal(std::chrono::system_clock::time_point point)
{
    using namespace std::chrono;
    const auto millis = duration_cast<milliseconds>(point.time_since_epoch()).count();
    const time_t seconds = static_cast<time_t>(millis >= 0 ? millis / 1000 : (millis - 999) / 1000);
    tm parts {};
    localtime_r(&seconds, &parts);
    return DateTime {parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(millis - static_cast<long long>(seconds) * 1000)};
}

std::chrono::system_clock::time_point FromLocal(const DateTime& value)
{
    tm parts {};
    parts.tm_year = value.Year - 1900;
    parts.tm_mon = value.Month - 1;
    parts.tm_mday = value.Day;
    parts.tm_hour = value.Hour;
    parts.tm_min = value.Minute;
    parts.tm_sec = value.Second;
    parts.tm_isdst = -1;
    const time_t seconds = mktime(&parts);
    return std::chrono::system_clock::from_time_t(seconds) + std::chrono::milliseconds(value.Millisecond);
}

} // namespace platform
