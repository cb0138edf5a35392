#include "platform/DateTime.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(DateTime, CalendarArithmetic)
{
    EXPECT_EQ(DayOfWeek(DateTime {2026, 12, 11}), 6); // Friday
    EXPECT_EQ(DayOfWeek(DateTime {1899, 12, 30}), 7); // Saturday
    EXPECT_EQ(AddDays(DateTime {2024, 2, 28, 10}, 1), (DateTime {2024, 2, 29, 10}));
    EXPECT_EQ(AddDays(DateTime {2026, 12, 31}, 1), (DateTime {2027, 1, 1}));
    EXPECT_EQ(EndOfMonth(DateTime {2100, 2, 10}), (DateTime {2100, 2, 28}));
    EXPECT_EQ(StartOfMonth(DateTime {2026, 5, 31, 23}), (DateTime {2026, 5, 1}));
    EXPECT_FALSE(IsValidDateTime(DateTime {2026, 2, 29}));
    EXPECT_TRUE(IsValidDateTime(DateTime {2028, 2, 29, 23, 59, 59, 999}));
}

TEST(DateTime, LocalConversionRoundTrips)
{
    const DateTime value {2026, 1, 15, 9, 30, 0, 250};
    EXPECT_EQ(ToLocal(FromLocal(value)), value);
}

TEST(Clock, PinFixesNowUntilReleased)
{
    const DateTime pinned {2025, 6, 1, 12, 0, 0, 0};
    {
        ScopedClockPin pin(pinned);
        EXPECT_EQ(Clock::Now(), pinned);
        EXPECT_EQ(Clock::Today(), (DateTime {2025, 6, 1}));
    }
    EXPECT_GT(Clock::Now().Year, 2025);
}
