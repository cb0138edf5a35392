#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

// The program's module number in its maker's family of programs.
inline constexpr int kProgramModuloID = 13;

// The file the program was started with, when its first argument names an existing file:
// the program then imports it and ends. Any other first argument starts the interactive program.
std::optional<std::string> CommandLineImportFile(const std::vector<std::string>& arguments);

} // namespace app
