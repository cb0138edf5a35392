#include "app/StartUp.h"

#include "app/DataModuleWindows.h"
#include "framework/data/BackupService.h"
#include "framework/data/ClsLogin.h"
#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmLogin.h"
#include "framework/data/VersionModule.h"
#include "framework/forms/MessageBox.h"
#include "framework/schema/dmVersaoNotavia.h"
#include "platform/Clock.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

using namespace Qt::StringLiterals;

TEST(StartUp, OnlyAnExistingFileAsFirstArgumentMeansImport)
{
    const std::string file = tests::TempDir() + "RPS_0001.txt";
    tests::WriteFile(file, "RPS");
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", file}), file);
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", file, "ignored"}), file);
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", tests::TempDir() + "RPS_0001.tx"}), std::nullopt);
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", tests::TempDir()}), std::nullopt) << "a folder is no file";
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", "", file}), std::nullopt) << "only the first argument counts";
    EXPECT_EQ(app::CommandLineImportFile({"Notavia"}), std::nullopt);
}

TEST(StartUp, AFailedOpeningNeverImports)
{
    const std::string file = tests::TempDir() + "RPS_0001.txt";
    tests::WriteFile(file, "RPS");
    const std::string misspelt = tests::TempDir() + "RPS_OOO1.txt";
    struct Case
    {
        const char* Name;
        bool Opened;
        std::vector<std::string> Arguments;
        app::StartAction Action;
    };
    const Case cases[] = {
        {"existing file", true, {"Notavia", file}, app::StartAction::Import},
        {"misspelt path", true, {"Notavia", misspelt}, app::StartAction::MainMenu},
        {"no argument", true, {"Notavia"}, app::StartAction::MainMenu},
        {"existing file, opening failed", false, {"Notavia", file}, app::StartAction::End},
        {"no argument, opening failed", false, {"Notavia"}, app::StartAction::End},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(c.Action, app::ChooseStartAction(c.Opened, c.Arguments));
    }
}

namespace {

// Keeps the backup box checked and approves the update, as a user at the desk would.
class ApproveUpgrade
{
public:
    ApproveUpgrade()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                return;
            }
            if (modal->objectName() == u"ClsBackupAuth"_s) {
                modal->findChild<QPushButton*>(u"btnContinuar"_s)->click();
            } else if (modal->objectName() == u"ClsControlVersion"_s) {
                auto* atualizar = modal->findChild<QPushButton*>(u"btnAtualizar"_s);
                if (atualizar->isEnabled()) {
                    atualizar->click();
                }
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

struct Registration
{
    Registration() { app::PrepareStartUp(); }
    ~Registration()
    {
        framework::SetLoginAtStartup(nullptr);
        framework::SetVersionModuleClass(nullptr);
        framework::SetProgramModuloID(0);
    }
};

// The desktop's windows, with a user at the desk who logs in as ADMIN through the dialog and
// chooses a first password.
class LoginAsAdmin : public app::DataModuleWindows
{
public:
    bool ShowLogin(TClsDBDataModule& module) override
    {
        TClsLogin login(module);
        login.SetModuloID(framework::ProgramModuloID());
        login.ConfirmPassword = [](const std::string&) { return std::optional<std::string>("segredo"); };
        login.show();
        login.findChild<QLineEdit*>(u"edtUsuario"_s)->setText(u"ADMIN"_s);
        login.Login();
        return login.result() == QDialog::Accepted;
    }
};

void GrantNotavia(const std::string& database)
{
    tests::DatabaseSession db(database);
    db.Exec("insert into USUARIO_MODULO (USUARIOID, MODULOID) values (1, 13)");
    db.Commit();
}

} // namespace

TEST(StartUp, OpensTheMenuOnANewDatabaseAndUpgradesAnOldOneFirst)
{
    Registration registration;
    const platform::ScopedClockPin pin(platform::DateTime {2026, 12, 11, 15, 20, 0});
    std::string oldDatabase = tests::CreateEmptyDatabase("antigo.fdb");
    {
        TdmVersaoNotavia module;
        module.ScriptsCommon().Versions().resize(6);
        module.RunAllScripts(oldDatabase);
    }
    struct Case
    {
        const char* Name;
        std::string Database;
        bool Upgraded;
    };
    const Case cases[] = {
        {"new database", tests::CopySchemaDatabase(), false},
        {"database at COMMON.SQL 1.05", oldDatabase, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        GrantNotavia(c.Database);
        const std::string folder = tests::TempDir() + (c.Upgraded ? "antigo/" : "novo/");
        std::filesystem::create_directories(folder);
        tests::WriteFile(folder + "connection.ini", "[CONNECTION]\r\nDATABASENAME=" + c.Database + "\r\n");
        framework::MessageBox::TakeShownTexts();
        ApproveUpgrade answers;
        LoginAsAdmin windows;
        TClsDBDataModule module(&windows, folder);
        ASSERT_TRUE(module.AfterConstruction());
        EXPECT_FALSE(windows.Terminated());
        EXPECT_EQ(
            c.Upgraded,
            std::filesystem::exists(framework::BackupService::DefaultFileName(c.Database, platform::Clock::Now())));
        EXPECT_EQ(c.Upgraded ? QStringList {u"Banco de Dados foi atualizado com sucesso."_s} : QStringList {},
                  framework::MessageBox::TakeShownTexts());
        tests::DatabaseSession db(c.Database);
        EXPECT_EQ("1.08", db.Value("select NUMERO from VERSAO where ID = 1"));

        TfrmMainMenu menu;
        menu.SetSessionStatus(app::SessionStatusOf(module));
        menu.show();
        EXPECT_EQ(u"Base de Dados: "_s + QString::fromStdString(c.Database),
                  menu.findChild<QLabel*>(u"StatusPanel2"_s)->text());
        EXPECT_EQ(u"Usuário: ADMIN (Administrador Sistema)"_s, menu.findChild<QLabel*>(u"StatusPanel0"_s)->text());
        EXPECT_EQ(u"Módulo: NOTAVIA NFSE"_s, menu.findChild<QLabel*>(u"StatusPanel1"_s)->text());
        EXPECT_EQ(11, module.CmSQLGlobals().DataAtual().Dia());
        if (!c.Upgraded) {
            // The picture of the program after its first start, kept in the build tree.
            const std::string shots = tests::ProgramDir() + "../screenshots/";
            std::filesystem::create_directories(shots);
            EXPECT_TRUE(menu.grab().save(QString::fromStdString(shots + "MainMenu.png")));
        }
    }
}

TEST(StartUp, TheProgramImportsOnlyAfterASuccessfulOpening)
{
    const std::string file = tests::TempDir() + "RPS_0001.txt";
    tests::WriteFile(file, "RPS");
    struct Case
    {
        const char* Name;
        bool WithDatabase;
        std::string AutoLogin; // the AUTOLOGIN section of connection.ini
        int Status;
        bool ImportReached;
    };
    const Case cases[] = {
        {"database and the unattended user", true, "[AUTOLOGIN]\r\nUSER=" + ScrambleUserName("ADMIN") + "\r\n", 2,
         true},
        {"user not scrambled", true, "[AUTOLOGIN]\r\nUSER=ADMIN\r\n", 1, false},
        {"no AUTOLOGIN section", true, "", 1, false},
        {"no connection.ini", false, "", 1, false},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        // A program folder of its own: the program reads connection.ini and writes its library
        // beside its executable.
        const std::string folder = tests::TempDir() + std::to_string(++run) + "/";
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(tests::ProgramDir() + "Notavia", folder + "Notavia");
        if (c.WithDatabase) {
            const std::string database = tests::CopySchemaDatabase(std::to_string(run) + "/x.fdb");
            GrantNotavia(database);
            tests::WriteFile(folder + "connection.ini",
                             "[CONNECTION]\r\nDATABASENAME=" + database + "\r\n" + c.AutoLogin);
        }
        const tests::ProgramRun result = tests::RunProgram(folder + "Notavia", {file});
        EXPECT_EQ(c.Status, result.Status) << result.Errors;
        EXPECT_EQ(c.ImportReached, result.Errors.find("importação de arquivos TXT") != std::string::npos)
            << result.Errors;
        EXPECT_TRUE(std::filesystem::exists(folder + "NotaviaNFSe.so"));
    }
}
