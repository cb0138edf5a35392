#include "app/MainMenu.h"

using namespace Qt::StringLiterals;

TfrmMainMenu::TfrmMainMenu(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(u"frmMainMenu"_s);
    setWindowTitle(u"Notavia NFSe"_s);
}

TfrmMainMenu::~TfrmMainMenu() = default;
