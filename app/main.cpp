#include "app/Application.h"
#include "app/LibraryDeployment.h"
#include "app/MainMenu.h"
#include "app/StartUp.h"
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
    app::Application application(argc, argv);
    // Qt adopts the user's locale for the C library; numbers that C code and the XML and
    // database libraries print must keep "." whatever the desktop's language is.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(u"Notavia NFSe"_s);
    QApplication::setApplicationVersion(
        QString::fromLatin1(app::kLibraryVersion.data(), static_cast<qsizetype>(app::kLibraryVersion.size())));

    if (!DeployTransmissionLibrary()) {
        return 1;
    }

    const std::vector<std::string> arguments(argv, argv + argc);
    if (const auto importFile = app::CommandLineImportFile(arguments)) {
        std::fprintf(stderr, "A importação de arquivos TXT pela linha de comando ainda não está disponível: %s\n",
                     importFile->c_str());
        return 2;
    }

    TfrmMainMenu mainMenu;
    mainMenu.show();
    return QApplication::exec();
}
