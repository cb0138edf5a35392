#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace framework {

// A schema script carried inside the program (UTF-8; the database layer writes it as cp1252).
struct EmbeddedScript
{
    std::string_view Set;
    std::string_view Version;
    std::string_view Text;
};

// Every script of the program, set by set, each set in the order its versions apply.
std::span<const EmbeddedScript> EmbeddedScripts();

// The program's embedded resource of type "SQLFILE" with that name.
std::optional<std::string_view> FindSqlResource(std::string_view name);

} // namespace framework
