#include "framework/data/CmDBDataModule.h"

#include "framework/data/CmDataSet.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/SilentAbort.h"
#include "framework/data/VersionModule.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

namespace {

class FakeUi : public framework::DataModuleUi
{
public:
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    bool Question(const std::string& text) override
    {
        Questions.push_back(text);
        return Answer;
    }
    void ShowLoginServer(TClsDBDataModule& module) override
    {
        ++LoginForms;
        if (OnLoginServer) {
            OnLoginServer(module);
        }
    }
    void ShowDatabaseError(const std::vector<TLogErrorDataBase>& errors, size_t current) override
    {
        Fail();
        DatabaseErrorsShown.push_back(errors.at(current).Message);
    }
    void ShowException(const std::string& text) override
    {
        Fail();
        Exceptions.push_back(text);
    }
    std::string FormCaptions() override { return "Notavia NFSe|Gerenciador de RPS|"; }
    void SetWaitCursor(bool) override { }
    void Terminate() override { Terminated = true; }

    void Fail()
    {
        if (Throw) {
            throw std::runtime_error("janela indisponível");
        }
    }

    bool Answer = false;
    bool Throw = false;
    bool Terminated = false;
    int LoginForms = 0;
    std::function<void(TClsDBDataModule&)> OnLoginServer;
    std::vector<std::string> Messages;
    std::vector<std::string> Questions;
    std::vector<std::string> DatabaseErrorsShown;
    std::vector<std::string> Exceptions;
};

// A schema check that accepts every database except the refused ones, and a creation that
// records the name (or fails).
struct FakeVersions
{
    int Checks = 0;
    std::set<std::string> Refused;
    std::vector<std::string> Created;
    bool FailCreation = false;
};
FakeVersions s_versions;

class FakeVersionModule : public framework::VersionModule
{
public:
    bool CheckAndUpgrade(const std::string& name) override
    {
        ++s_versions.Checks;
        return s_versions.Refused.count(name) == 0;
    }
    bool RunAllScripts(const std::string& name) override
    {
        s_versions.Created.push_back(name);
        if (s_versions.FailCreation) {
            throw framework::DatabaseError(-607, 0, "unsuccessful metadata update");
        }
        return true;
    }
    static std::unique_ptr<framework::VersionModule> Create() { return std::make_unique<FakeVersionModule>(); }
};

int s_logins = 0;
bool s_loginResult = true;

bool FakeLogin(TClsDBDataModule&)
{
    ++s_logins;
    return s_loginResult;
}

// The process-wide registrations a program makes at start, undone after each test.
class Registration
{
public:
    explicit Registration(framework::LoginAtStartupFunction login = nullptr)
    {
        s_versions = FakeVersions();
        s_logins = 0;
        s_loginResult = true;
        framework::SetVersionModuleClass(&FakeVersionModule::Create);
        framework::SetLoginAtStartup(login);
        framework::SetProgramModuloID(13);
    }
    ~Registration()
    {
        framework::SetVersionModuleClass(nullptr);
        framework::SetLoginAtStartup(nullptr);
        framework::SetProgramModuloID(0);
    }
};

std::string ConnectionIniName(const std::string& folder)
{
    return platform::IniFile(folder + "connection.ini").ReadString("CONNECTION", "DATABASENAME", "");
}

void WriteConnectionIni(const std::string& folder, const std::string& name)
{
    tests::WriteFile(folder + "connection.ini", "[CONNECTION]\r\nDATABASENAME=" + name + "\r\n");
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(TClsDBDataModule, FirstStartAsksForTheDatabaseAndRemembersIt)
{
    Registration registration;
    const std::string folder = tests::TempDir();
    const std::string database = tests::CopySchemaDatabase();
    FakeUi ui;
    ui.OnLoginServer = [&](TClsDBDataModule& module) { EXPECT_TRUE(module.ConnectDatabase(database)); };
    TClsDBDataModule module(&ui, folder);
    EXPECT_EQ(&module, ClsDBDataModule());
    EXPECT_EQ(13, SQLGlobals()->ModuloID());

    EXPECT_TRUE(module.AfterConstruction());
    EXPECT_EQ(1, ui.LoginForms);
    EXPECT_FALSE(ui.Terminated);
    EXPECT_TRUE(module.dbMain().Connected());
    EXPECT_EQ(database, ConnectionIniName(folder));
    EXPECT_EQ(1, s_versions.Checks);

    // The name already connected needs no second check; a blank one is refused with a message.
    EXPECT_TRUE(module.ConnectDatabase(database));
    EXPECT_EQ(1, s_versions.Checks);
    EXPECT_FALSE(module.ConnectDatabase("   "));
    EXPECT_EQ(std::vector<std::string> {"Digite o Servidor."}, ui.Messages);
    EXPECT_TRUE(module.dbMain().Connected());
}

TEST(TClsDBDataModule, StartUpEndsTheProgramWhenAStepFails)
{
    struct Case
    {
        const char* Name;
        bool Reachable;
        bool LoginRegistered;
        bool LoginResult;
        bool Opened;
        int Logins;
        size_t Questions;
    };
    const Case cases[] = {
        {"unreachable database, no retry", false, true, true, false, 0, 1},
        {"login refused", true, true, false, false, 1, 0},
        {"login accepted", true, true, true, true, 1, 0},
        {"no login step registered yet", true, false, true, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Registration registration(c.LoginRegistered ? &FakeLogin : nullptr);
        s_loginResult = c.LoginResult;
        const std::string folder = tests::TempDir() + std::to_string(&c - cases) + "/";
        std::filesystem::create_directories(folder);
        WriteConnectionIni(folder,
                           c.Reachable ? tests::CopySchemaDatabase(std::to_string(&c - cases) + ".fdb")
                                       : tests::TempDir() + "nao-existe.fdb");
        FakeUi ui;
        TClsDBDataModule module(&ui, folder);
        EXPECT_EQ(c.Opened, module.AfterConstruction());
        EXPECT_EQ(!c.Opened, ui.Terminated);
        EXPECT_EQ(!c.Opened, module.Terminated());
        EXPECT_EQ(c.Logins, s_logins);
        ASSERT_EQ(c.Questions, ui.Questions.size());
        if (c.Questions > 0) {
            EXPECT_EQ("Não foi possível conectar o banco de dados, deseja tentar novamente?", ui.Questions[0]);
            EXPECT_EQ(0, ui.LoginForms); // "No" does not open the form
        }
    }
}

TEST(TClsDBDataModule, AFailedSwitchKeepsThePreviousDatabaseWithItsTransactions)
{
    Registration registration;
    const std::string folder = tests::TempDir();
    const std::string first = tests::CopySchemaDatabase("primeiro.fdb");
    const std::string refused = tests::CopySchemaDatabase("recusado.fdb");
    const std::string second = tests::CopySchemaDatabase("segundo.fdb");
    s_versions.Refused.insert(refused);
    FakeUi ui;
    TClsDBDataModule module(&ui, folder);
    ASSERT_TRUE(module.ConnectDatabase(first));
    module.trMain().StartTransaction();
    TCmDataSet modules;
    modules.SetDatabase(&module.dbMain());
    modules.SetTransaction(&module.trMain());
    modules.SetSQLGlobals(&module.CmSQLGlobals());
    modules.SetSelectSQL("select ID from MODULO");
    modules.Open();

    for (const std::string& target : {refused, tests::TempDir() + "nao-existe.fdb"}) {
        SCOPED_TRACE(target);
        EXPECT_FALSE(module.ConnectDatabase(target));
        EXPECT_TRUE(module.dbMain().Connected());
        EXPECT_TRUE(modules.Active()) << "an open dataset comes back with the previous database";
        EXPECT_EQ(first, module.dbMain().DatabaseName());
        EXPECT_TRUE(module.trMain().InTransaction());
        EXPECT_FALSE(module.trPARAMETROS().InTransaction());
        EXPECT_EQ(first, ConnectionIniName(folder));
    }

    EXPECT_TRUE(module.ConnectDatabase(second));
    EXPECT_EQ(second, module.dbMain().DatabaseName());
    EXPECT_TRUE(module.trMain().InTransaction());
    EXPECT_TRUE(modules.Active()) << "an open dataset is carried over to the new database";
    EXPECT_EQ(modules.RecordCount(), 2);
    EXPECT_EQ(second, ConnectionIniName(folder));
}

TEST(TClsDBDataModule, HandlerLogsAndShowsEachKindOfException)
{
    Registration registration;
    const std::string folder = tests::TempDir();
    FakeUi ui;
    TClsDBDataModule module(&ui, folder);
    module.dbMain().SetDatabaseName("servidor:/dados/notavia.fdb");
    const platform::ScopedClockPin pin(platform::DateTime {2026, 12, 11, 14, 30, 5});

    auto raise = [&](auto error) { module.HandleException(std::make_exception_ptr(error)); };
    raise(framework::DatabaseError(-803, 0, "violation of PRIMARY or UNIQUE KEY constraint"));
    raise(framework::DatabaseError(-913, 0, "deadlock"));
    raise(framework::SilentAbort());
    raise(std::runtime_error("Arquivo não encontrado."));

    EXPECT_EQ((std::vector<std::string> {"violation of PRIMARY or UNIQUE KEY constraint", "deadlock"}),
              ui.DatabaseErrorsShown);
    EXPECT_EQ(std::vector<std::string> {"Arquivo não encontrado."}, ui.Exceptions);

    // Both database errors of the same second share one file.
    const std::vector<std::string> dba = FilesIn(folder + "Log/DBA/");
    ASSERT_EQ(1u, dba.size());
    EXPECT_EQ(folder + "Log/DBA/20261211_143005.INI", dba[0]);
    const platform::IniFile dbaLog(dba[0]);
    EXPECT_EQ(2, dbaLog.ReadInteger("CABECALHO", "QUANTIDADE", 0));
    EXPECT_EQ("deadlock", dbaLog.ReadString("ERROR(1)", "MESSAGE", ""));
    EXPECT_EQ("-913", dbaLog.ReadString("ERROR(1)", "SQLCODE", ""));
    EXPECT_EQ("servidor:/dados/notavia.fdb", dbaLog.ReadString("ERROR(0)", "SERVERNAME", ""));

    const std::vector<std::string> exceptions = FilesIn(folder + "Log/EXCEPTION/");
    ASSERT_EQ(1u, exceptions.size());
    const platform::IniFile exceptionLog(exceptions[0]);
    const std::vector<std::string> sections = exceptionLog.ReadSections();
    ASSERT_EQ(1u, sections.size());
    EXPECT_EQ("OCORRENCIA EM 11/12/2026 14:30:05", sections[0]);
    EXPECT_EQ("Notavia NFSe|Gerenciador de RPS|", exceptionLog.ReadString(sections[0], "FORMS", ""));
    EXPECT_EQ("Arquivo não encontrado.", exceptionLog.ReadString(sections[0], "MESSAGE", ""));

    // Windows that fail while showing an error, or exceptions of no known kind, never make the
    // handler throw; the records are still kept.
    ui.Throw = true;
    EXPECT_NO_THROW(raise(framework::DatabaseError(-902, 0, "connection lost")));
    EXPECT_NO_THROW(raise(std::runtime_error("outro")));
    EXPECT_NO_THROW(module.HandleException(std::make_exception_ptr(42)));
    EXPECT_EQ(3u, module.Log().DatabaseErrors().size());
    EXPECT_EQ(3u, module.Log().Exceptions().size());
}

TEST(TClsDBDataModule, CreatesAnEmbeddedDatabaseWhenNoServerIsGiven)
{
    Registration registration;
    FakeUi ui;
    TClsDBDataModule module(&ui, tests::TempDir());
    const std::string path = tests::TempDir() + "novo.fdb";
    EXPECT_TRUE(module.CreateDatabaseFile("", path));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::vector<std::string> {path}, s_versions.Created);
    // An existing file is never created over.
    EXPECT_THROW(module.CreateDatabaseFile("", path), framework::DatabaseError);

    // A failing schema leaves no half-built file behind, and the error goes on to the handler.
    s_versions.FailCreation = true;
    const std::string broken = tests::TempDir() + "quebrado.fdb";
    EXPECT_THROW(module.CreateDatabaseFile("", broken), framework::DatabaseError);
    EXPECT_FALSE(std::filesystem::exists(broken));
}
