#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <functional>
#include <string>

namespace framework {

// What a connection reports to whoever listens (the SQL monitor). A connection chooses the
// categories it reports with TCmDatabase::SetTraceFlags.
enum class TraceCategory : uint32_t
{
    Prepare = 1u << 0,
    Execute = 1u << 1,
    Fetch = 1u << 2,
    Error = 1u << 3,
    Statement = 1u << 4,
    Connect = 1u << 5,
    Transaction = 1u << 6,
    Blob = 1u << 7,
    Service = 1u << 8,
    Misc = 1u << 9,
};

using TraceFlags = uint32_t;
inline constexpr TraceFlags kTraceNone = 0;
inline constexpr TraceFlags kTraceAll = (1u << 10) - 1;

constexpr TraceFlags operator|(TraceCategory a, TraceCategory b)
{
    return static_cast<TraceFlags>(a) | static_cast<TraceFlags>(b);
}

struct TraceEvent
{
    TraceCategory Category = TraceCategory::Misc;
    std::string Text;
    platform::DateTime Time;
};

// The process-wide meeting point between tracing connections and listeners. Listeners are
// called on the thread that ran the statement, which for this program is the interface thread.
class SqlTrace
{
public:
    using Sink = std::function<void(const TraceEvent&)>;

    // Returns a ticket for RemoveSink.
    static int AddSink(Sink sink);
    static void RemoveSink(int ticket);
    static bool Listening();
    // Text is built only when somebody listens.
    static void Emit(TraceCategory category, const std::function<std::string()>& text);
};

} // namespace framework
