#include "framework/schema/CmControlVersion.h"

#include "framework/data/BackupService.h"
#include "framework/data/CmDBDataModule.h"
#include "framework/forms/MessageBox.h"
#include "framework/schema/dmVersaoNotavia.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace Qt::StringLiterals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// A database carrying COMMON.SQL up to 1.05 and the whole program set.
std::string DatabaseAt105(const std::string& fileName)
{
    const std::string path = tests::CreateEmptyDatabase(fileName);
    TdmVersaoNotavia module;
    module.ScriptsCommon().Versions().resize(6);
    module.RunAllScripts(path);
    return path;
}

// Answers the modal windows of an upgrade as they come up: the backup question with `backup`,
// then "Atualizar" once, and "Fechar" when the update was refused.
class UpgradeAnswers
{
public:
    explicit UpgradeAnswers(bool backup)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, backup] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                return;
            }
            if (modal->objectName() == u"ClsBackupAuth"_s) {
                modal->findChild<QCheckBox*>(u"chkBackup"_s)->setChecked(backup);
                modal->findChild<QPushButton*>(u"btnContinuar"_s)->click();
            } else if (modal->objectName() == u"ClsControlVersion"_s) {
                auto* atualizar = modal->findChild<QPushButton*>(u"btnAtualizar"_s);
                if (!atualizar->isEnabled()) {
                    return; // the backup is still running
                }
                if (Clicks++ == 0) {
                    atualizar->click();
                } else {
                    modal->findChild<QPushButton*>(u"btnFechar"_s)->click();
                }
            }
        });
        m_timer.start(10);
    }

    int Clicks = 0;

private:
    QTimer m_timer;
};

struct UpgradeRun
{
    bool Result = false;
    std::vector<std::string> Applied;
    QStringList Shown;
};

UpgradeRun Upgrade(const std::string& path, bool backup)
{
    framework::MessageBox::TakeShownTexts();
    UpgradeAnswers answers(backup);
    TdmVersaoNotavia module;
    module.SetUi(&framework::ControlVersionUi::Instance());
    UpgradeRun run;
    module.SetOnScript([&](const TVersion& item) { run.Applied.push_back(item.DisplayName()); });
    run.Result = module.CheckAndUpgrade(path);
    run.Shown = framework::MessageBox::TakeShownTexts();
    return run;
}

std::string Version(const std::string& path)
{
    tests::DatabaseSession db(path);
    return db.Value("select NUMERO from VERSAO where ID = 1");
}

} // namespace

TEST(TClsControlVersion, BackupThenTheMissingScriptsAfterOneQuestion)
{
    const std::string path = DatabaseAt105("antigo.fdb");
    const platform::ScopedClockPin pin(platform::DateTime {2026, 12, 11, 15, 4, 0});
    const UpgradeRun run = Upgrade(path, true);
    EXPECT_TRUE(run.Result);
    EXPECT_THAT(run.Applied, ElementsAre("COMMON.SQL - 1.06", "COMMON.SQL - 1.07", "COMMON.SQL - 1.08"));
    EXPECT_EQ(QStringList {u"Banco de Dados foi atualizado com sucesso."_s}, run.Shown);
    EXPECT_EQ("1.08", Version(path));
    const std::string backup = framework::BackupService::DefaultFileName(path, platform::Clock::Now());
    ASSERT_TRUE(std::filesystem::exists(backup));
    EXPECT_GT(std::filesystem::file_size(backup), 0u);
}

TEST(TClsControlVersion, AWantedBackupThatFailedBlocksTheUpdate)
{
    struct Case
    {
        const char* Name;
        bool Backup;
        bool Updated;
    };
    const Case cases[] = {
        {"backup wanted and failed", true, false},
        {"backup declined", false, true},
    };
    const platform::ScopedClockPin pin(platform::DateTime {2026, 12, 11, 15, 4, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = DatabaseAt105(std::string(c.Backup ? "falha" : "sem") + ".fdb");
        // The service cannot write its file where a folder of that name stands.
        std::filesystem::create_directories(framework::BackupService::DefaultFileName(path, platform::Clock::Now()));
        const UpgradeRun run = Upgrade(path, c.Backup);
        EXPECT_EQ(c.Updated, run.Result);
        EXPECT_EQ(c.Updated ? "1.08" : "1.05", Version(path));
        if (!c.Updated) {
            EXPECT_TRUE(run.Applied.empty());
            ASSERT_FALSE(run.Shown.isEmpty());
            EXPECT_EQ(u"Backup não efetuado. Não será possível efetuar a atualização do banco de dados."_s,
                      run.Shown.front());
        }
    }
}

TEST(TClsControlVersion, OtherUsersBlockTheUpdateAndCanBeDisconnected)
{
    const std::string path = tests::CopySchemaDatabase();
    tests::DatabaseSession own(path);
    tests::DatabaseSession other(path);
    const std::string otherId = other.Value("select current_connection from RDB$DATABASE");
    // The engine's own attachments are there too, and are nobody to wait for.
    EXPECT_NE("0", own.Value("select count(*) from MON$ATTACHMENTS where MON$SYSTEM_FLAG <> 0"));

    framework::MessageBox::TakeShownTexts();
    TClsControlVersion dialog(own.Database, true);
    dialog.show();
    auto* list = dialog.findChild<QTreeWidget*>(u"lvConexoes"_s);
    EXPECT_TRUE(list->isHidden());
    dialog.Atualizar();
    EXPECT_EQ(QStringList {u"Processo não pode continuar pois existem usuários conectados a Base de Dados.\r\n"
                           "Existe(m) 1 usuário(s) conectados."_s},
              framework::MessageBox::TakeShownTexts());
    EXPECT_FALSE(list->isHidden());
    ASSERT_EQ(1, list->topLevelItemCount());
    EXPECT_EQ(otherId, std::to_string(list->topLevelItem(0)->data(0, Qt::UserRole).toLongLong()));
    EXPECT_NE(QDialog::Accepted, dialog.result());

    dialog.EndSelectedConnection();
    EXPECT_EQ(QStringList {u"Selecione uma máquina para encerrar a conexão!"_s},
              framework::MessageBox::TakeShownTexts());
    list->setCurrentItem(list->topLevelItem(0));
    framework::MessageBox::SetNextAnswer(QMessageBox::No);
    dialog.EndSelectedConnection();
    EXPECT_EQ(1, list->topLevelItemCount());
    list->setCurrentItem(list->topLevelItem(0));
    framework::MessageBox::SetNextAnswer(QMessageBox::Yes);
    dialog.EndSelectedConnection();
    EXPECT_EQ(0, list->topLevelItemCount());
    EXPECT_TRUE(list->isHidden());
    EXPECT_THROW(other.Value("select 1 from RDB$DATABASE"), framework::DatabaseError);

    framework::MessageBox::TakeShownTexts();
    dialog.Atualizar();
    EXPECT_EQ(QDialog::Accepted, dialog.result());
    EXPECT_TRUE(framework::MessageBox::TakeShownTexts().isEmpty());
}

TEST(TClsControlVersion, AFailingScriptIsShownAndLoggedWithItsStatement)
{
    const std::string path = DatabaseAt105("conflito.fdb");
    {
        tests::DatabaseSession db(path);
        db.Exec("alter table CLIENTE add PST_ENDERECO varchar(40)");
        db.Commit();
    }
    const std::string folder = tests::TempDir() + "programa/";
    std::filesystem::create_directories(folder);
    TClsDBDataModule dataModule(nullptr, folder);
    dataModule.dbMain().SetDatabaseName(path);

    const UpgradeRun run = Upgrade(path, false);
    EXPECT_FALSE(run.Result);
    EXPECT_EQ("1.05", Version(path));
    ASSERT_FALSE(run.Shown.isEmpty());
    const std::string shown = run.Shown.front().toStdString();
    EXPECT_THAT(shown, HasSubstr("COMMON.SQL - 1.06"));
    EXPECT_THAT(shown, HasSubstr("Comando:"));
    EXPECT_THAT(shown, HasSubstr("PST_ENDERECO"));

    ASSERT_EQ(1u, dataModule.Log().DatabaseErrors().size());
    const std::string logFolder = folder + "Log/DBA/";
    ASSERT_TRUE(std::filesystem::exists(logFolder));
    const auto file = std::filesystem::directory_iterator(logFolder)->path().string();
    const platform::IniFile log(file);
    EXPECT_THAT(log.ReadString("ERROR(0)", "MESSAGE", ""), HasSubstr("alter table CLIENTE"));
    EXPECT_EQ(path, log.ReadString("ERROR(0)", "SERVERNAME", ""));
}
