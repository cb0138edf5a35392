#include "app/DataModuleWindows.h"

#include "framework/data/ClsLogHistory.h"
#include "framework/data/ClsLogin.h"
#include "framework/data/CmLoginServer.h"
#include "framework/forms/MessageBox.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace app {
namespace {

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

void DataModuleWindows::ShowMessage(const std::string& text)
{
    framework::MessageBox::Information(QApplication::activeWindow(), Utf8(text));
}

bool DataModuleWindows::Question(const std::string& text)
{
    return framework::MessageBox::Question(QApplication::activeWindow(), Utf8(text), u"Confirmar"_s);
}

void DataModuleWindows::ShowLoginServer(TClsDBDataModule& module)
{
    // Nobody could type a name into a form on no screen: the program ends, saying why.
    if (!framework::HasScreen()) {
        std::fprintf(stderr, "Banco de dados não definido em connection.ini e sem tela para perguntar: %s\n",
                     module.ProgramFolder().c_str());
        return;
    }
    TClsLoginServer form(module, QApplication::activeWindow());
    form.exec();
}

bool DataModuleWindows::ShowLogin(TClsDBDataModule& module)
{
    if (!framework::HasScreen()) {
        std::fprintf(stderr, "Sem tela para o login e sem usuário na seção AUTOLOGIN de connection.ini: %s\n",
                     module.ProgramFolder().c_str());
        return false;
    }
    TClsLogin login(module, QApplication::activeWindow());
    login.SetModuloID(framework::ProgramModuloID());
    return login.exec() == QDialog::Accepted;
}

void DataModuleWindows::ShowRecordHistory(TClsDBDataModule& module, const std::string& formName, int recordId)
{
    TClsLogHistory dialog(module, formName, recordId, QApplication::activeWindow());
    dialog.exec();
}

void DataModuleWindows::ShowDatabaseError(const std::vector<TLogErrorDataBase>& errors, size_t current)
{
    // TODO: the full error dialog (every error of the session, with navigation) replaces this
    // box; until then the newest error is shown with its code, and all of them are in Log/DBA.
    if (current >= errors.size()) {
        return;
    }
    const TLogErrorDataBase& error = errors[current];
    framework::MessageBox::Error(QApplication::activeWindow(),
                                 Utf8(error.Message) + u"\n\nSQLCODE: "_s + QString::number(error.SQLCode),
                                 u"Erro no Banco de Dados"_s);
}

void DataModuleWindows::ShowException(const std::string& text)
{
    framework::MessageBox::Error(QApplication::activeWindow(), Utf8(text));
}

std::string DataModuleWindows::FormCaptions()
{
    std::string forms;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isWindow()) {
            forms += widget->windowTitle().toStdString() + "|";
        }
    }
    return forms;
}

void DataModuleWindows::SetWaitCursor(bool waiting)
{
    if (waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

} // namespace app
