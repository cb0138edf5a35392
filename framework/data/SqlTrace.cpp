#include "framework/data/SqlTrace.h"

#include "platform/Clock.h"

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace framework {
namespace {

std::mutex s_mutex;
std::map<int, SqlTrace::Sink> s_sinks;
std::atomic<int> s_sinkCount {0};
int s_nextTicket = 1;

} // namespace

int SqlTrace::AddSink(Sink sink)
{
    std::lock_guard lock(s_mutex);
    const int ticket = s_nextTicket++;
    s_sinks.emplace(ticket, std::move(sink));
    s_sinkCount = static_cast<int>(s_sinks.size());
    return ticket;
}

void SqlTrace::RemoveSink(int ticket)
{
    std::lock_guard lock(s_mutex);
    s_sinks.erase(ticket);
    s_sinkCount = static_cast<int>(s_sinks.size());
}

bool SqlTrace::Listening()
{
    return s_sinkCount > 0;
}

void SqlTrace::Emit(TraceCategory category, const std::function<std::string()>& text)
{
    if (!Listening()) {
        return;
    }
    TraceEvent event {category, text(), platform::Clock::Now()};
    std::vector<Sink> sinks;
    {
        std::lock_guard lock(s_mutex);
        for (const auto& [ticket, sink] : s_sinks) {
            sinks.push_back(sink);
        }
    }
    // A listener may remove itself while being called, so the calls run outside the lock.
    for (const Sink& sink : sinks) {
        sink(event);
    }
}

} // namespace framework
