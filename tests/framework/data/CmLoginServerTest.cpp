#include "framework/data/CmLoginServer.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/VersionModule.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

using namespace Qt::StringLiterals;

namespace {

class AnsweringUi : public framework::DataModuleUi
{
public:
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    bool Question(const std::string& text) override
    {
        Questions.push_back(text);
        return Answer;
    }
    void ShowLoginServer(TClsDBDataModule&) override { }
    void ShowDatabaseError(const std::vector<TLogErrorDataBase>&, size_t) override { }
    void ShowException(const std::string&) override { }
    std::string FormCaptions() override { return {}; }
    void SetWaitCursor(bool) override { }
    void Terminate() override { }

    bool Answer = false;
    std::vector<std::string> Messages;
    std::vector<std::string> Questions;
};

class AcceptingVersionModule : public framework::VersionModule
{
public:
    bool CheckAndUpgrade(const std::string&) override { return true; }
    bool RunAllScripts(const std::string&) override { return true; }
    static std::unique_ptr<framework::VersionModule> Create() { return std::make_unique<AcceptingVersionModule>(); }
};

struct Registration
{
    explicit Registration(bool versionModule)
    {
        framework::SetVersionModuleClass(versionModule ? &AcceptingVersionModule::Create : nullptr);
    }
    ~Registration() { framework::SetVersionModuleClass(nullptr); }
};

} // namespace

TEST(TClsLoginServer, AFailedConnectionKeepsTheSessionOnItsDatabase)
{
    Registration registration(true);
    const std::string folder = tests::TempDir();
    const std::string database = tests::CopySchemaDatabase();
    AnsweringUi ui;
    TClsDBDataModule module(&ui, folder);
    ASSERT_TRUE(module.ConnectDatabase(database));

    TClsLoginServer form(module);
    form.show();
    EXPECT_EQ(u"Servidor: "_s + QString::fromStdString(database), form.findChild<QLabel*>(u"lblServidor"_s)->text());
    auto* edit = form.findChild<QLineEdit*>(u"edtServidor"_s);
    EXPECT_EQ(QString::fromStdString(database), edit->text());
    EXPECT_FALSE(form.findChild<QPushButton*>(u"btnCriarBanco"_s)->isHidden());

    // "Yes" keeps the form open for another try, "No" closes it; the session keeps its database.
    edit->setText(QString::fromStdString(tests::TempDir() + "nao-existe.fdb"));
    ui.Answer = true;
    form.findChild<QPushButton*>(u"btnConectar"_s)->click();
    EXPECT_TRUE(form.isVisible());
    ui.Answer = false;
    form.findChild<QPushButton*>(u"btnConectar"_s)->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(QDialog::Rejected, form.result());
    EXPECT_EQ(2u, ui.Questions.size());
    EXPECT_TRUE(module.dbMain().Connected());
    EXPECT_EQ(database, module.dbMain().DatabaseName());
}

TEST(TClsCreateDataBase, OnlyTheFileIsRequiredAndNoServerMeansEmbedded)
{
    Registration registration(true);
    AnsweringUi ui;
    TClsDBDataModule module(&ui, tests::TempDir());
    TClsCreateDataBase form(module);
    form.show();
    form.findChild<QPushButton*>(u"btnCriar"_s)->click();
    EXPECT_EQ(std::vector<std::string> {"Digite o nome do arquivo (*.gdb)"}, ui.Messages);
    EXPECT_FALSE(form.Created());

    const std::string path = tests::TempDir() + "novo.fdb";
    form.findChild<QLineEdit*>(u"edtArquivo"_s)->setText(QString::fromStdString(path));
    form.findChild<QPushButton*>(u"btnCriar"_s)->click();
    EXPECT_TRUE(form.Created());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(path, form.DatabaseName());
    EXPECT_EQ("Banco de Dados criado com sucesso.", ui.Messages.back());

    form.findChild<QLineEdit*>(u"edtServidor"_s)->setText(u"servidor"_s);
    EXPECT_EQ("servidor:" + path, form.DatabaseName());
}

TEST(TClsLoginServer, CreatingADatabaseNeedsARegisteredVersionModule)
{
    Registration registration(false);
    AnsweringUi ui;
    TClsDBDataModule module(&ui, tests::TempDir());
    TClsLoginServer form(module);
    form.show();
    EXPECT_TRUE(form.findChild<QPushButton*>(u"btnCriarBanco"_s)->isHidden());
    EXPECT_EQ(u"Servidor: "_s, form.findChild<QLabel*>(u"lblServidor"_s)->text());
}
