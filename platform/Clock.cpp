#include "platform/Clock.h"

#include <chrono>
#include <mutex>

namespace platform {
namespace {

std::mutex s_mutex;
std::optional<DateTime> s_pinned;

} // namespace

DateTime Clock::Now()
{
    {
        std::lock_guard lock(s_mutex);
        if (s_pinned) {
            return *s_pinned;
        }
    }
    return ToLocal(std::chrono::system_clock::now());
}

DateTime Clock::Today()
{
    const DateTime now = Now();
    return DateTime {now.Year, now.Month, now.Day, 0, 0, 0, 0};
}

void Clock::Pin(const DateTime& value)
{
    std::lock_guard lock(s_mutex);
    s_pinned = value;
}

void Clock::Unpin()
{
    std::lock_guard lock(s_mutex);
    s_pinned.reset();
}

} // namespace platform
