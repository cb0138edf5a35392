#include "app/MainMenu.h"

#include "app/Application.h"
#include "framework/data/CmLogin.h"
#include "framework/forms/MessageBox.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>

using namespace Qt::StringLiterals;

namespace {

// A work window that can refuse to close, as one with unsaved changes does.
class WorkWindow : public QWidget
{
public:
    explicit WorkWindow(QWidget* owner)
        : QWidget(owner, Qt::Window)
    { }
    bool RefuseClose = false;

protected:
    void closeEvent(QCloseEvent* event) override { event->setAccepted(!RefuseClose); }
};

TfrmMainMenu::WorkWindowFactory Factory(int& created)
{
    return [&created](QWidget* owner) {
        ++created;
        return new WorkWindow(owner);
    };
}

} // namespace

TEST(TfrmMainMenu, MenusInTheirOrderWithTheirCaptions)
{
    TfrmMainMenu window;
    window.show();
    EXPECT_EQ(window.windowTitle(), u"Notavia NFSe"_s);
    QStringList menus;
    for (QAction* action : window.menuBar()->actions()) {
        if (action->isVisible()) {
            menus << action->text().remove(u'&');
        }
    }
    EXPECT_EQ(menus, (QStringList {u"Cadastros"_s, u"Movimento"_s, u"Ferramentas"_s, u"Ajuda"_s}))
        << "the Módulos menu stays hidden while it has no items";
    auto* cadastros = window.findChild<QMenu*>(u"Cadastros1"_s);
    ASSERT_TRUE(cadastros);
    EXPECT_EQ(cadastros->actions().first()->text(), u"Configuração Notavia..."_s);
    EXPECT_TRUE(window.findChild<QAction*>(u"Sair1"_s)->isEnabled());
    EXPECT_TRUE(window.findChild<QAction*>(u"About1"_s));
}

TEST(TfrmMainMenu, SpansTheTopOfTheScreenAndShowsTheSession)
{
    TfrmMainMenu window;
    window.SetSessionStatus({u"ADMIN"_s, u"Administrador"_s, u"Sistema"_s, u"NOTAVIA NFSE"_s, u"/dados/x.fdb"_s, {}});
    window.show();
    EXPECT_EQ(window.height(), 100);
    EXPECT_EQ(window.findChild<QLabel*>(u"StatusPanel0"_s)->text(), u"Usuário: ADMIN (Administrador Sistema)"_s);
    EXPECT_EQ(window.findChild<QLabel*>(u"StatusPanel1"_s)->text(), u"Módulo: NOTAVIA NFSE"_s);
    EXPECT_EQ(window.findChild<QLabel*>(u"StatusPanel2"_s)->text(), u"Base de Dados: /dados/x.fdb"_s);
}

TEST(TfrmMainMenu, OneWorkWindowAtATime)
{
    TfrmMainMenu window;
    QPointer<QWidget> config;
    QPointer<QWidget> manager;
    int created = 0;

    window.OpenWorkWindow(config, Factory(created));
    ASSERT_TRUE(config);
    EXPECT_TRUE(config->isVisible());
    EXPECT_EQ(window.CurrentWorkWindow(), config.data());

    // The same item again changes nothing.
    window.OpenWorkWindow(config, Factory(created));
    EXPECT_EQ(created, 1);

    // Another item closes and frees the current window first.
    QPointer<QWidget> firstConfig = config;
    window.OpenWorkWindow(manager, Factory(created));
    EXPECT_EQ(created, 2);
    EXPECT_TRUE(config.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(firstConfig.isNull());
    EXPECT_EQ(window.CurrentWorkWindow(), manager.data());
}

TEST(TfrmMainMenu, AWindowThatRefusesToCloseStaysCurrent)
{
    TfrmMainMenu window;
    QPointer<QWidget> config;
    QPointer<QWidget> manager;
    int created = 0;
    window.OpenWorkWindow(manager, Factory(created));
    static_cast<WorkWindow*>(manager.data())->RefuseClose = true;

    window.OpenWorkWindow(config, Factory(created));
    EXPECT_EQ(created, 1) << "the other window must not open";
    EXPECT_TRUE(config.isNull());
    EXPECT_EQ(window.CurrentWorkWindow(), manager.data());
    EXPECT_TRUE(manager->isVisible());
}

TEST(TfrmMainMenu, AHiddenWorkWindowIsShownAgainAsItWas)
{
    TfrmMainMenu window;
    QPointer<QWidget> manager;
    int created = 0;
    window.OpenWorkWindow(manager, Factory(created));
    manager->setWindowTitle(u"estado da janela"_s);
    manager->hide(); // its own exit button hides it

    window.OpenWorkWindow(manager, Factory(created));
    EXPECT_EQ(created, 1);
    EXPECT_TRUE(manager->isVisible());
    EXPECT_EQ(manager->windowTitle(), u"estado da janela"_s);
}

TEST(TfrmMainMenu, TheModulesMenuOffersInstalledProgramsAndHandsTheUserOver)
{
    // A program of the family that notes the argument it was started with, and the signals it
    // got blocked (read by grep, which inherits them: the shell itself blocks all of them for a
    // moment whenever it starts a command).
    const std::string folder = tests::TempDir();
    const std::string started = folder + "iniciado.txt";
    tests::WriteFile(folder + "outro",
                     "#!/bin/sh\ngrep SigBlk /proc/self/status > '" + folder + "sinais.txt'\nprintf '%s' \"$1\" > '" +
                         started + ".tmp' && mv '" + started + ".tmp' '" + started + "'\n");
    std::filesystem::permissions(folder + "outro", std::filesystem::perms::owner_all);
    const std::string running = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    tests::WriteFile(folder + running, "");
    auto& entries = framework::ModuleEntries();
    const auto saved = entries;
    entries[4] = {"Outro Programa", "outro"};
    entries[6] = {"Não Instalado", "ausente"};
    entries[12] = {"Este Programa", running};

    TfrmMainMenu window;
    window.SetProgramFolder(QString::fromStdString(folder));
    window.SetSessionStatus({u"ADMIN"_s,
                             u"Administrador"_s,
                             u"Sistema"_s,
                             u"NOTAVIA NFSE"_s,
                             u"/dados/x.fdb"_s,
                             {u"3"_s, u"5"_s, u"7"_s, u"13"_s}});
    window.show();
    auto* modules = window.findChild<QMenu*>(u"menuModules"_s);
    ASSERT_EQ(modules->actions().size(), 1) << "only installed programs other than this one";
    EXPECT_EQ(modules->actions().first()->text(), u"Outro Programa"_s);
    EXPECT_TRUE(modules->menuAction()->isVisible());

    // As in the running program, which keeps them for its event loop.
    app::Application::BlockTerminationSignals();
    modules->actions().first()->trigger();
    // The file appears whole (renamed into place); the wait is long for a loaded machine.
    for (int i = 0; i < 3000 && !std::filesystem::exists(started); ++i) {
        QThread::msleep(10);
    }
    EXPECT_EQ("", framework::MessageBox::TakeShownTexts().join(u"|"_s).toStdString()) << "no failure to start";
    EXPECT_EQ(ScrambleUserName("ADMIN"), tests::ReadFile(started));
    EXPECT_EQ("SigBlk:\t0000000000000000\n", tests::ReadFile(folder + "sinais.txt"))
        << "the other program must be stoppable";
    EXPECT_FALSE(window.isVisible()) << "the program hands over and ends";

    // Without other programs the menu is hidden.
    TfrmMainMenu alone;
    alone.SetProgramFolder(QString::fromStdString(folder));
    alone.SetSessionStatus({u"ADMIN"_s, {}, {}, {}, {}, {u"13"_s}});
    alone.show();
    EXPECT_FALSE(alone.findChild<QMenu*>(u"menuModules"_s)->menuAction()->isVisible());
    entries = saved;
}
