#pragma once

#include <chrono>
#include <compare>
#include <cstdint>

namespace platform {

// A local calendar date and wall-clock time, as the system stores and shows it.
struct DateTime
{
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;

    auto operator<=>(const DateTime&) const = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDateTime(const DateTime& value);

// Days since 1970-01-01 of the date part, and back.
int64_t DaysSinceEpoch(const DateTime& value);
DateTime FromDaysSinceEpoch(int64_t days);

// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(const DateTime& value);

DateTime AddDays(const DateTime& value, int days);
DateTime StartOfMonth(const DateTime& value);
DateTime EndOfMonth(const DateTime& value);

// Conversions with the system clock, in the process's local time zone (TZ).
DateTime ToLocal(std::chrono::system_clock::time_point point);
std::chrono::system_clock::time_point FromLocal(const DateTime& value);

} // namespace platform
