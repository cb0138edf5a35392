#pragma once

#include "app/MainMenu.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TClsDBDataModule;
namespace framework {
class VersionModule;
}

namespace app {

// The program's module number in its maker's family of programs.
inline constexpr int kProgramModuloID = 13;

// The file the program was started with, when its first argument names an existing file:
// the program then imports it and ends. Any other first argument starts the interactive program.
std::optional<std::string> CommandLineImportFile(const std::vector<std::string>& arguments);

enum class StartAction
{
    End,    // the opening sequence failed: nothing to import into, no menu
    Import, // the first argument is an existing file
    MainMenu,
};

// What the program does once its data modules are up. A failed opening ends the program even
// when a file was given, so an import never runs without a database or a user.
StartAction ChooseStartAction(bool opened, const std::vector<std::string>& arguments);

// Regional conventions and the program's registration with the framework (module number and
// schema-version module), before any data module exists.
void PrepareStartUp();

// The program's schema-version module, answering its questions with the upgrade dialogs.
std::unique_ptr<framework::VersionModule> CreateVersionModule();

// What the main menu's status bar shows for the session of `module`.
SessionStatus SessionStatusOf(TClsDBDataModule& module);

} // namespace app
