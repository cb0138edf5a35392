#include "app/MainMenu.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmLogin.h"
#include "framework/forms/ClsAboutForm.h"
#include "framework/forms/MessageBox.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include <spawn.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

using namespace Qt::StringLiterals;

namespace {

// Whether some process of this user runs the executable at `path`. Another program's window
// cannot be brought forward from here on every desktop, so a running one is simply not started
// a second time.
bool IsProgramRunning(const QString& path)
{
    std::error_code error;
    const std::filesystem::path wanted = std::filesystem::weakly_canonical(path.toStdString(), error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::error_code ignored;
        const std::filesystem::path exe = std::filesystem::read_symlink(entry.path() / "exe", ignored);
        if (!ignored && exe == wanted) {
            return true;
        }
    }
    return false;
}

// Starts a program of the family on its own: in its folder, in a session of its own, and with
// the termination signals this program keeps blocked open to it again.
bool StartDetached(const std::string& path, const std::string& argument, const std::string& folder)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    std::string program = path;
    std::string userArgument = argument;
    char* const argv[] = {program.data(), userArgument.data(), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0;
}

} // namespace

TfrmMainMenu::TfrmMainMenu(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(u"frmMainMenu"_s);
    setWindowTitle(u"Notavia NFSe"_s);
    BuildMenus();
    m_panelUser = new QLabel(this);
    m_panelUser->setObjectName(u"StatusPanel0"_s);
    m_panelModule = new QLabel(this);
    m_panelModule->setObjectName(u"StatusPanel1"_s);
    m_panelDatabase = new QLabel(this);
    m_panelDatabase->setObjectName(u"StatusPanel2"_s);
    statusBar()->addWidget(m_panelUser);
    statusBar()->addWidget(m_panelModule);
    statusBar()->addWidget(m_panelDatabase, 1);
    m_programFolder = QString::fromStdString(platform::ProgramFolder());
    if (TCmSQLGlobals* globals = SQLGlobals()) {
        globals->DataAtual().SetData(platform::Clock::Today());
    }
}

TfrmMainMenu::~TfrmMainMenu() = default;

void TfrmMainMenu::BuildMenus()
{
    auto addItem = [this](QMenu* menu, const QString& name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    QMenu* cadastros = menuBar()->addMenu(u"&Cadastros"_s);
    cadastros->setObjectName(u"Cadastros1"_s);
    // Windows that are not part of this build yet stay visible but disabled.
    addItem(cadastros, u"ConfiguraoNotavia1"_s, u"Configuração Notavia..."_s)->setEnabled(false);
    cadastros->addSeparator()->setObjectName(u"N1"_s);
    connect(addItem(cadastros, u"Sair1"_s, u"Sair"_s), &QAction::triggered, this, &QWidget::close);

    QMenu* movimento = menuBar()->addMenu(u"&Movimento"_s);
    movimento->setObjectName(u"Movimento1"_s);
    addItem(movimento, u"GerenciadordeRPS1"_s, u"Gerenciador de RPS..."_s)->setEnabled(false);

    QMenu* ferramentas = menuBar()->addMenu(u"&Ferramentas"_s);
    ferramentas->setObjectName(u"Ferramentas1"_s);
    addItem(ferramentas, u"Opes1"_s, u"Opções..."_s)->setEnabled(false);

    m_menuModules = menuBar()->addMenu(u"Mó&dulos"_s);
    m_menuModules->setObjectName(u"menuModules"_s);
    m_menuModules->menuAction()->setVisible(false);

    QMenu* ajuda = menuBar()->addMenu(u"A&juda"_s);
    ajuda->setObjectName(u"Ajuda1"_s);
    connect(addItem(ajuda, u"About1"_s, u"Sobre..."_s), &QAction::triggered, this, &TfrmMainMenu::ShowAbout);
}

void TfrmMainMenu::SetSessionStatus(const app::SessionStatus& status)
{
    m_status = status;
    UpdateStatusBar();
}

void TfrmMainMenu::UpdateStatusBar()
{
    m_panelUser->setText(u"Usuário: "_s + m_status.Login + u" ("_s + m_status.FirstName + u" "_s + m_status.LastName +
                         u")"_s);
    m_panelModule->setText(u"Módulo: "_s + m_status.Module);
    m_panelDatabase->setText(u"Base de Dados: "_s + m_status.DatabaseName);
}

void TfrmMainMenu::PlaceAtTop()
{
    // Work windows open below this strip, so it spans the screen and stays short.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    setGeometry(area.left(), area.top(), area.width(), 100);
}

void TfrmMainMenu::showEvent(QShowEvent* event)
{
    PlaceAtTop();
    UpdateStatusBar();
    BuildModulesMenu();
    QMainWindow::showEvent(event);
}

void TfrmMainMenu::BuildModulesMenu()
{
    m_menuModules->clear();
    const QString running = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString& module : m_status.Modules) {
        const int moduloId = module.toInt();
        const TModuleEntry* entry = framework::ModuleEntry(moduloId);
        if (!entry || entry->FileName.empty()) {
            continue;
        }
        const QString fileName = QString::fromStdString(entry->FileName);
        if (fileName == running || !QFileInfo::exists(QDir(m_programFolder).filePath(fileName))) {
            continue;
        }
        QAction* action = m_menuModules->addAction(QString::fromStdString(entry->Caption));
        action->setObjectName(u"Modulo"_s + QString::number(moduloId));
        connect(action, &QAction::triggered, this, [this, moduloId] { OpenModule(moduloId); });
    }
    m_menuModules->menuAction()->setVisible(!m_menuModules->isEmpty());
}

void TfrmMainMenu::OpenModule(int moduloId)
{
    const TModuleEntry* entry = framework::ModuleEntry(moduloId);
    if (!entry) {
        return;
    }
    const QString path = QDir(m_programFolder).filePath(QString::fromStdString(entry->FileName));
    if (!QFileInfo::exists(path)) {
        framework::MessageBox::Warning(this, u"O programa "_s + path + u" não foi encontrado."_s);
        return;
    }
    if (!IsProgramRunning(path)) {
        const std::string user = ScrambleUserName(m_status.Login.toStdString());
        if (!StartDetached(path.toStdString(), user, m_programFolder.toStdString())) {
            framework::MessageBox::Warning(this, u"Não foi possível iniciar o programa "_s + path + u"."_s);
            return;
        }
    }
    close();
}

void TfrmMainMenu::closeEvent(QCloseEvent* event)
{
    if (QWidget* current = CurrentWorkWindow()) {
        current->close();
        if (current->parent() == this) {
            current->deleteLater();
        }
        *m_currentWorkWindow = nullptr;
        m_currentWorkWindow = nullptr;
    }
    QMainWindow::closeEvent(event);
}

QWidget* TfrmMainMenu::CurrentWorkWindow() const
{
    return m_currentWorkWindow ? m_currentWorkWindow->data() : nullptr;
}

void TfrmMainMenu::OpenWorkWindow(QPointer<QWidget>& variable, const WorkWindowFactory& create)
{
    if (m_currentWorkWindow && m_currentWorkWindow->isNull()) {
        m_currentWorkWindow = nullptr; // the window went away by itself
    }
    if (m_currentWorkWindow && m_currentWorkWindow != &variable) {
        QWidget* current = m_currentWorkWindow->data();
        current->close();
        if (!current->isVisible()) {
            if (current->parent() == this) {
                current->deleteLater();
                *m_currentWorkWindow = nullptr;
            }
            m_currentWorkWindow = nullptr;
        }
    }
    if (QWidget* current = CurrentWorkWindow()) {
        if (!current->isVisible()) {
            current->show();
        }
        return;
    }
    if (variable.isNull()) {
        variable = create(this);
        variable->setParent(this, Qt::Window);
    }
    m_currentWorkWindow = &variable;
    if (variable->isVisible()) {
        variable->raise();
        variable->activateWindow();
    } else {
        variable->show();
    }
}

void TfrmMainMenu::ShowAbout()
{
    TClsAboutForm about(this);
    about.exec();
}
