#include "app/StartUp.h"

#include "platform/ProgramFolder.h"

namespace app {

std::optional<std::string> CommandLineImportFile(const std::vector<std::string>& arguments)
{
    if (arguments.size() < 2 || !platform::FileExists(arguments[1])) {
        return std::nullopt;
    }
    return arguments[1];
}

} // namespace app
