#include "app/MainMenu.h"

#include <QApplication>

#include <clocale>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Qt adopts the user's locale for the C library; numbers that C code and the XML and
    // database libraries print must keep "." whatever the desktop's language is.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(u"Notavia NFSe"_s);

    TfrmMainMenu mainMenu;
    mainMenu.show();
    return QApplication::exec();
}
