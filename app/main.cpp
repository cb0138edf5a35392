#include "app/Application.h"
#include "app/DataModuleWindows.h"
#include "app/LibraryDeployment.h"
#include "app/MainMenu.h"
#include "app/StartUp.h"
#include "framework/data/CmDBDataModule.h"
#include "framework/forms/MessageBox.h"
#include "platform/ProgramFolder.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

bool DeployTransmissionLibrary()
{
    const std::string target = platform::JoinPath(platform::ProgramFolder(), app::kLibraryFileName);
    try {
        app::DeployLibrary(target, app::EmbeddedLibrary());
        return true;
    } catch (const std::exception& e) {
        framework::MessageBox::Error(nullptr, QString::fromUtf8(e.what()));
        return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    app::Application::BlockTerminationSignals();
    app::Application application(argc, argv);
    application.QuitOnTerminationSignals();
    // Qt adopts the user's locale for the C library; numbers that C code and the XML and
    // database libraries print must keep "." whatever the desktop's language is.
    std::setlocale(LC_NUMERIC, "C");
    app::PrepareStartUp();
    QApplication::setApplicationName(u"Notavia NFSe"_s);
    QApplication::setApplicationVersion(
        QString::fromLatin1(app::kLibraryVersion.data(), static_cast<qsizetype>(app::kLibraryVersion.size())));

    // The main data module comes first: it finds the database, brings it up to date, connects
    // and logs in, and from here on every exception that reaches the event loop is its to show.
    app::DataModuleWindows windows;
    TClsDBDataModule dataModule(&windows);
    application.SetExceptionHandler([&dataModule](std::exception_ptr error) { dataModule.HandleException(error); });
    bool opened = false;
    try {
        opened = dataModule.AfterConstruction();
    } catch (...) {
        dataModule.HandleException(std::current_exception());
    }
    // TODO: the customer, users and city-code data modules join here with their windows; the
    // menu items that need them stay disabled until then.

    if (!DeployTransmissionLibrary()) {
        return 1;
    }
    const std::vector<std::string> arguments(argv, argv + argc);
    switch (app::ChooseStartAction(opened, arguments)) {
    case app::StartAction::End:
        return 1;
    case app::StartAction::Import:
        // TODO: the TXT import module runs here and the program ends; until it exists the
        // caller learns from the exit code that nothing was imported.
        std::fprintf(stderr, "A importação de arquivos TXT pela linha de comando ainda não está disponível: %s\n",
                     arguments[1].c_str());
        return 2;
    case app::StartAction::MainMenu:
        break;
    }

    TfrmMainMenu mainMenu;
    mainMenu.SetSessionStatus(app::SessionStatusOf(dataModule));
    mainMenu.show();
    return QApplication::exec();
}
