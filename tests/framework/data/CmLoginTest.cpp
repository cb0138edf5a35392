#include "framework/data/CmLogin.h"

#include "framework/data/ClsLogin.h"
#include "framework/data/CmDBDataModule.h"
#include "platform/Cp1252.h"
#include "platform/KeyStore.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

using namespace Qt::StringLiterals;

namespace {

class MessagesUi : public framework::DataModuleUi
{
public:
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    bool Question(const std::string&) override { return false; }
    void ShowLoginServer(TClsDBDataModule&) override { }
    void ShowDatabaseError(const std::vector<TLogErrorDataBase>&, size_t) override { }
    void ShowException(const std::string& text) override { Messages.push_back(text); }
    std::string FormCaptions() override { return {}; }
    void SetWaitCursor(bool) override { }
    void Terminate() override { }

    std::vector<std::string> Messages;
};

// Users for every branch of the login, on a database of the program's scripts:
//   MARIA, CARLA (supervised by MARIA) and NOVO (no password yet) may log in;
//   JOSE and ANA are deactivated (ANA without a password), PEDRO lacks the grant,
//   LUIS's supervisor is PEDRO, and ADMIN has only the administration module.
std::string UsersDatabase()
{
    const std::string path = tests::CopySchemaDatabase();
    tests::DatabaseSession db(path);
    const std::string secret = PasswordDigest("segredo");
    struct User
    {
        int Id;
        const char* Name;
        std::string Senha;
        int Supervisor;
        const char* Desativado;
        bool Grant;
    };
    const User users[] = {
        {2, "MARIA", secret, 1, "F", true}, {3, "PEDRO", secret, 1, "F", false}, {4, "JOSE", secret, 1, "T", true},
        {5, "ANA", "", 1, "T", true},       {6, "LUIS", secret, 3, "F", true},   {7, "CARLA", secret, 2, "F", true},
        {8, "NOVO", "", 1, "F", true},
    };
    for (const User& user : users) {
        db.Exec("insert into USUARIO (ID, USUARIO, PRIMEIRO_NOME, ULTIMO_NOME, SENHA, SUPERVISOR, SUPERVISORID, "
                "DESATIVADO) values (?, ?, 'Nome', 'Sobrenome', ?, 'F', ?, ?)",
                {framework::SqlValue::Integer(user.Id), framework::SqlValue::Text(user.Name),
                 framework::SqlValue::Text(user.Senha), framework::SqlValue::Integer(user.Supervisor),
                 framework::SqlValue::Text(user.Desativado)});
        if (user.Grant) {
            db.Exec("insert into USUARIO_MODULO (USUARIOID, MODULOID) values (?, 13)",
                    {framework::SqlValue::Integer(user.Id)});
        }
    }
    db.Exec("insert into USUARIO_MODULO (USUARIOID, MODULOID) values (2, 3)");
    db.Commit();
    return path;
}

struct ConnectedModule
{
    explicit ConnectedModule(const std::string& database)
        : Module(&Ui, tests::TempDir())
    {
        framework::SetProgramModuloID(13);
        if (!Module.ConnectDatabase(database)) {
            throw std::runtime_error("no connection to " + database);
        }
    }
    ~ConnectedModule() { framework::SetProgramModuloID(0); }

    MessagesUi Ui;
    TClsDBDataModule Module;
};

} // namespace

TEST(CmLogin, DigestAndScramblingVectors)
{
    EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", PasswordDigest(""));
    EXPECT_EQ("900150983CD24FB0D6963F7D28E17F72", PasswordDigest("abc"));
    EXPECT_EQ("AE4A7803202641A834921DAD2D15BB2C", PasswordDigest("ação")) << "digest of the cp1252 bytes";
    EXPECT_THROW(PasswordDigest("senha✓"), platform::EncodingError);

    struct Case
    {
        std::string Plain;
        std::string Scrambled;
    };
    const Case cases[] = {
        {"abc", "bcd"},   {"ã", "ã"},      {"João", "Kpãp"}, {"ADMIN", "BENJO"},
        {"zé 9", "{é!:"}, {"€", "\u0081"}, // lands on a byte the code page leaves undefined, and comes back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Plain);
        EXPECT_EQ(c.Scrambled, ScrambleUserName(c.Plain));
        EXPECT_EQ(c.Plain, UnscrambleUserName(c.Scrambled));
    }
    // A letter just before an accented one keeps its code when scrambled, as the family's
    // other programs do.
    EXPECT_EQ("¿", ScrambleUserName("¿"));
}

TEST(CmLogin, DecisionTable)
{
    ConnectedModule connected(UsersDatabase());
    TCmTransaction transaction;
    transaction.SetDefaultDatabase(&connected.Module.dbMain());
    transaction.StartTransaction();
    struct Case
    {
        const char* User;
        const char* Password;
        framework::LoginDecision Expected;
    };
    using framework::LoginDecision;
    const Case cases[] = {
        {"MARIA", "segredo", LoginDecision::Accepted},
        {"MARIA", "errada", LoginDecision::Refused},
        {"MARIA", "", LoginDecision::Refused},
        {"maria", "segredo", LoginDecision::Refused}, // the login name is compared as stored
        {"CARLA", "segredo", LoginDecision::Accepted},
        {"JOSE", "segredo", LoginDecision::Refused},
        {"ANA", "", LoginDecision::Refused}, // deactivated, and no password to choose either
        {"PEDRO", "segredo", LoginDecision::Refused},
        {"LUIS", "segredo", LoginDecision::Refused},
        {"NOVO", "", LoginDecision::NeedsPassword},
        {"ADMIN", "", LoginDecision::Refused},
        {"NINGUEM", "", LoginDecision::Refused},
        {"O'Brien", "", LoginDecision::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.User);
        const auto user = framework::FindModuleUser(connected.Module.dbMain(), transaction, c.User, 13);
        EXPECT_EQ(c.Expected, framework::DecideLogin(user, c.Password));
    }
    transaction.Rollback();
}

TEST(CmLogin, TheDialogFillsTheSessionAndRemembersTheUser)
{
    ConnectedModule connected(UsersDatabase());
    TClsLogin login(connected.Module);
    login.SetModuloID(13);
    login.show();
    login.findChild<QLineEdit*>(u"edtUsuario"_s)->setText(u"MARIA"_s);
    login.findChild<QLineEdit*>(u"edtSenha"_s)->setText(u"segredo"_s);
    login.findChild<QCheckBox*>(u"chkLembrar"_s)->setChecked(false);
    login.Login();
    EXPECT_EQ(QDialog::Accepted, login.result());
    EXPECT_TRUE(connected.Ui.Messages.empty());

    const TCmSQLGlobals& session = connected.Module.CmSQLGlobals();
    EXPECT_EQ("MARIA", session.Usuario());
    EXPECT_EQ(2, session.UsuarioID());
    EXPECT_EQ("Nome", session.FirstName());
    EXPECT_EQ("NOTAVIA NFSE", session.Modulo());
    EXPECT_EQ(13, session.ModuloID());
    EXPECT_EQ(std::vector<std::string> {"13"}, session.Modules()) << "the dialog leaves module 3 out";
    EXPECT_FALSE(connected.Module.trMain().Active()) << "closing the dialog commits";

    const platform::KeyStore keys;
    EXPECT_EQ("MARIA", keys.ReadString(framework::kRememberedUserKey, "USER"));
    EXPECT_EQ("False", keys.ReadString(framework::kRememberedUserKey, "REMEMBER"));

    // Not remembered: the next dialog starts empty, on the user edit.
    TClsLogin next(connected.Module);
    next.show();
    EXPECT_TRUE(next.findChild<QLineEdit*>(u"edtUsuario"_s)->text().isEmpty());
    EXPECT_FALSE(next.findChild<QCheckBox*>(u"chkLembrar"_s)->isChecked());
}

TEST(CmLogin, ThreeWrongAttemptsCloseTheDialog)
{
    ConnectedModule connected(UsersDatabase());
    platform::KeyStore().WriteString(framework::kRememberedUserKey, "USER", "JOSE");
    TClsLogin login(connected.Module);
    login.SetModuloID(13);
    login.show();
    EXPECT_EQ(u"JOSE"_s, login.findChild<QLineEdit*>(u"edtUsuario"_s)->text()) << "remembered by default";
    // The picture of the dialog, kept in the build tree beside the main menu's.
    const std::string shots = tests::ProgramDir() + "../screenshots/";
    std::filesystem::create_directories(shots);
    EXPECT_TRUE(login.grab().save(QString::fromStdString(shots + "Login.png")));
    login.findChild<QLineEdit*>(u"edtSenha"_s)->setText(u"segredo"_s);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_TRUE(login.isVisible()) << attempt;
        login.Login();
    }
    EXPECT_FALSE(login.isVisible());
    EXPECT_EQ(QDialog::Rejected, login.result());
    EXPECT_EQ(std::vector<std::string>(3, "Login Incorreto."), connected.Ui.Messages);
    EXPECT_TRUE(connected.Module.CmSQLGlobals().Usuario().empty());
}

TEST(CmLogin, AFirstPasswordIsChosenOnceAndThenRequired)
{
    const std::string database = UsersDatabase();
    ConnectedModule connected(database);
    struct Attempt
    {
        std::optional<std::string> Chosen; // what the password dialog answers; none: cancelled
        const char* Typed;
        int Result;
    };
    const Attempt attempts[] = {
        {std::nullopt, "", QDialog::Rejected}, // cancelling the new password is no login
        {"nova123", "", QDialog::Accepted},    // the confirmed password logs the user in
        {"outra", "", QDialog::Rejected},      // from now on it is asked for
        {std::nullopt, "nova123", QDialog::Accepted},
    };
    int asked = 0;
    for (const Attempt& a : attempts) {
        SCOPED_TRACE(a.Typed);
        TClsLogin login(connected.Module);
        login.SetModuloID(13);
        login.ConfirmPassword = [&](const std::string& user) {
            EXPECT_EQ("NOVO", user);
            ++asked;
            return a.Chosen;
        };
        login.show();
        login.findChild<QLineEdit*>(u"edtUsuario"_s)->setText(u"NOVO"_s);
        login.findChild<QLineEdit*>(u"edtSenha"_s)->setText(QString::fromUtf8(a.Typed));
        login.Login();
        if (a.Result == QDialog::Rejected) {
            login.reject();
        }
        EXPECT_EQ(a.Result, login.result());
    }
    EXPECT_EQ(2, asked);
    tests::DatabaseSession db(database);
    EXPECT_EQ(PasswordDigest("nova123"), db.Value("select SENHA from USUARIO where ID = 8"));
}

TEST(CmLogin, ThePasswordDialogChecksLengthAndConfirmation)
{
    MessagesUi ui;
    struct Case
    {
        const char* Password;
        const char* Confirmation;
        const char* Message; // empty: confirmed
    };
    const Case cases[] = {
        {"ab", "ab", "A senha deve ter no mínimo 3 caracteres."},
        {"abc", "abd", "A senha de confirmação está incorreta."},
        {"abc✓", "abc✓", "A senha contém caracteres não permitidos."},
        {"abc", "abc", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Password);
        ui.Messages.clear();
        TClsLoginConfirmUser dialog("NOVO", &ui);
        dialog.show();
        dialog.findChild<QLineEdit*>(u"edtSenha"_s)->setText(QString::fromUtf8(c.Password));
        dialog.findChild<QLineEdit*>(u"edtConfirmarSenha"_s)->setText(QString::fromUtf8(c.Confirmation));
        dialog.Confirmar();
        if (*c.Message) {
            EXPECT_EQ(std::vector<std::string> {c.Message}, ui.Messages);
            EXPECT_TRUE(dialog.isVisible());
        } else {
            EXPECT_TRUE(ui.Messages.empty());
            EXPECT_EQ(QDialog::Accepted, dialog.result());
            EXPECT_EQ("abc", dialog.Password());
        }
    }
}

TEST(CmLogin, TheUnattendedStartLogsInWithoutADialog)
{
    ConnectedModule connected(UsersDatabase());
    const std::string file = tests::TempDir() + "RPS.txt";
    tests::WriteFile(file, "RPS");
    struct Case
    {
        const char* Name;
        std::string AutoLogin; // the section written into connection.ini
        std::vector<std::string> Arguments;
        bool Dialog;
    };
    const Case cases[] = {
        {"file and scrambled user",
         "[AUTOLOGIN]\r\nUSER=" + ScrambleUserName("MARIA") + "\r\n",
         {"Notavia", file},
         false},
        {"no file argument", "[AUTOLOGIN]\r\nUSER=" + ScrambleUserName("MARIA") + "\r\n", {"Notavia"}, true},
        {"no AUTOLOGIN section", "", {"Notavia", file}, true},
        {"deactivated user", "[AUTOLOGIN]\r\nUSER=" + ScrambleUserName("JOSE") + "\r\n", {"Notavia", file}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        tests::WriteFile(tests::TempDir() + "connection.ini", "[CONNECTION]\r\nDATABASENAME=x\r\n" + c.AutoLogin);
        connected.Module.CmSQLGlobals().SetUsuario("");
        bool dialog = false;
        const bool ok = framework::LoginAtStartup(connected.Module, c.Arguments, [&] {
            dialog = true;
            return false;
        });
        EXPECT_EQ(c.Dialog, dialog);
        EXPECT_EQ(!c.Dialog, ok);
        if (!c.Dialog) {
            EXPECT_EQ("MARIA", connected.Module.CmSQLGlobals().Usuario());
            EXPECT_EQ((std::vector<std::string> {"3", "13"}), connected.Module.CmSQLGlobals().Modules())
                << "the unattended login keeps module 3";
        }
    }
}
