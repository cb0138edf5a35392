#include "app/StartUp.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmLogin.h"
#include "framework/schema/CmControlVersion.h"
#include "framework/schema/dmVersaoNotavia.h"
#include "platform/ProgramFolder.h"

#include <QApplication>
#include <QLocale>
#include <QToolTip>

namespace app {

std::optional<std::string> CommandLineImportFile(const std::vector<std::string>& arguments)
{
    if (arguments.size() < 2 || !platform::FileExists(arguments[1])) {
        return std::nullopt;
    }
    return arguments[1];
}

StartAction ChooseStartAction(bool opened, const std::vector<std::string>& arguments)
{
    if (!opened) {
        return StartAction::End;
    }
    return CommandLineImportFile(arguments) ? StartAction::Import : StartAction::MainMenu;
}

std::unique_ptr<framework::VersionModule> CreateVersionModule()
{
    auto module = std::make_unique<TdmVersaoNotavia>();
    module->SetUi(&framework::ControlVersionUi::Instance());
    return module;
}

void PrepareStartUp()
{
    // Texts the program formats itself use platform::BrazilianFormatSettings(); Qt's own
    // widgets (dates, numbers in spin boxes) follow the same conventions.
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    framework::SetProgramModuloID(kProgramModuloID);
    framework::SetVersionModuleClass(&CreateVersionModule);
    framework::SetLoginAtStartup(&::LoginAtStartup);
    // This program is the only one of its family built here; the other entries stay empty.
    framework::ModuleEntries()[kProgramModuloID - 1] = {"Notavia NFSe", "Notavia"};
}

SessionStatus SessionStatusOf(TClsDBDataModule& module)
{
    const TCmSQLGlobals& globals = module.CmSQLGlobals();
    SessionStatus status;
    status.Login = QString::fromStdString(globals.Usuario());
    status.FirstName = QString::fromStdString(globals.FirstName());
    status.LastName = QString::fromStdString(globals.LastName());
    status.Module = QString::fromStdString(globals.Modulo());
    status.DatabaseName = QString::fromStdString(module.dbMain().DatabaseName());
    for (const std::string& moduleId : globals.Modules()) {
        status.Modules.append(QString::fromStdString(moduleId));
    }
    return status;
}

} // namespace app
