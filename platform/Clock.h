#pragma once

#include "platform/DateTime.h"

#include <optional>

namespace platform {

// The one source of "now" in the system. Tests pin it so dates in file names, logs and
// requests are predictable; a pin lasts until it is released.
class Clock
{
public:
    static DateTime Now();
    static DateTime Today();

    static void Pin(const DateTime& value);
    static void Unpin();
};

// Pins the clock for a scope.
class ScopedClockPin
{
public:
    explicit ScopedClockPin(const DateTime& value) { Clock::Pin(value); }
    ~ScopedClockPin() { Clock::Unpin(); }
    ScopedClockPin(const ScopedClockPin&) = delete;
    ScopedClockPin& operator=(const ScopedClockPin&) = delete;
};

} // namespace platform
