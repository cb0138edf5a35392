#include "app/StartUp.h"

#include "app/DataModuleWindows.h"
#include "framework/data/BackupService.h"
#include "framework/data/CmDBDataModule.h"
#include "framework/data/VersionModule.h"
#include "framework/forms/MessageBox.h"
#include "framework/schema/dmVersaoNotavia.h"
#include "platform/Clock.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
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
        framework::SetVersionModuleClass(nullptr);
        framework::SetProgramModuloID(0);
    }
};

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
        const std::string folder = tests::TempDir() + (c.Upgraded ? "antigo/" : "novo/");
        std::filesystem::create_directories(folder);
        tests::WriteFile(folder + "connection.ini", "[CONNECTION]\r\nDATABASENAME=" + c.Database + "\r\n");
        framework::MessageBox::TakeShownTexts();
        ApproveUpgrade answers;
        app::DataModuleWindows windows;
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
        int Status;
        bool ImportReached;
    };
    const Case cases[] = {
        {"database named in connection.ini", true, 2, true},
        {"no connection.ini", false, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        // A program folder of its own: the program reads connection.ini and writes its library
        // beside its executable.
        const std::string folder = tests::TempDir() + (c.WithDatabase ? "com/" : "sem/");
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(tests::ProgramDir() + "Notavia", folder + "Notavia");
        if (c.WithDatabase) {
            tests::WriteFile(folder + "connection.ini",
                             "[CONNECTION]\r\nDATABASENAME=" + tests::CopySchemaDatabase("com/x.fdb") + "\r\n");
        }
        const tests::ProgramRun run = tests::RunProgram(folder + "Notavia", {file});
        EXPECT_EQ(c.Status, run.Status) << run.Errors;
        EXPECT_EQ(c.ImportReached, run.Errors.find("importação de arquivos TXT") != std::string::npos) << run.Errors;
        EXPECT_TRUE(std::filesystem::exists(folder + "NotaviaNFSe.so"));
    }
}
