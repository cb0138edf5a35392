#pragma once

#include <string_view>
#include <vector>

namespace engine {

struct LocalEntry
{
    std::string_view Name;
    std::string_view Value;
};

// The engine's own city table, in the order its lines are added to the locals list.
const std::vector<LocalEntry>& BuiltInLocais();

} // namespace engine
