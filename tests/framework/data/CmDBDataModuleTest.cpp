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
    void ShowRecordHistory(TClsDBDataModule&, const std::string& formName, int recordId) override
    {
        Histories.push_back(formName + "#" + std::to_string(recordId));
    }

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
    std::vector<std::string> Histories;
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

namespace {

// A module connected to a private copy of the program's database, logged in as the
// administrator (USUARIO 1) in module 13.
struct ConnectedModule
{
    ConnectedModule()
        : Path(tests::CopySchemaDatabase())
        , Module(&Ui, tests::TempDir())
    {
        EXPECT_TRUE(Module.ConnectDatabase(Path));
        Module.CmSQLGlobals().SetUsuarioID(1);
    }

    Registration Registry;
    std::string Path;
    FakeUi Ui;
    TClsDBDataModule Module;
};

std::string Repeat(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

} // namespace

TEST(TClsDBDataModule, ParametersAreFoundByUpperCaseNamesInTheirOwnScope)
{
    ConnectedModule m;
    TClsDBDataModule& module = m.Module;
    EXPECT_EQ("", module.GetParam("NUNCA_GRAVADO"));

    // Written twice under names of any case: one row, the second value, stored as given.
    EXPECT_TRUE(module.SetParam("cor", "azul"));
    EXPECT_TRUE(module.SetParam("Cor", "Verde-água"));
    EXPECT_EQ("Verde-água", module.GetParam("COR"));

    // The issuer screen's alias: user and module ids as text.
    EXPECT_TRUE(module.SetUserParam("emi_apelido", "D'Ávila & Filhos", "13", "5"));
    EXPECT_EQ("D'Ávila & Filhos", module.GetUserParam("Emi_Apelido", "5", "13"));
    // A login name scopes a setting just as well, in any case.
    EXPECT_TRUE(module.SetUserParam("ordem", "NOME desc", "13", "joão"));
    EXPECT_EQ("NOME desc", module.GetUserParam("ORDEM", "JOÃO", "13"));

    // Global and user scopes, and different users, never see each other's rows.
    EXPECT_EQ("", module.GetParam("EMI_APELIDO"));
    EXPECT_EQ("", module.GetUserParam("EMI_APELIDO", "6", "13"));
    EXPECT_EQ("", module.GetUserParam("EMI_APELIDO", "5", "3"));
    EXPECT_TRUE(module.SetParam("EMI_APELIDO", "global"));
    EXPECT_EQ("D'Ávila & Filhos", module.GetUserParam("EMI_APELIDO", "5", "13"));
    EXPECT_EQ("global", module.GetParam("emi_apelido"));
    EXPECT_FALSE(module.trPARAMETROS().InTransaction());

    tests::DatabaseSession db(m.Path);
    EXPECT_EQ((std::vector<std::vector<std::string>> {
                  {"<null>", "", "", "COR", "0", "0", "Verde-água"},
                  {"<null>", "5", "13", "EMI_APELIDO", "0", "0", "D'Ávila & Filhos"},
                  {"<null>", "JOÃO", "13", "ORDEM", "0", "0", "NOME desc"},
                  {"<null>", "", "", "EMI_APELIDO", "0", "0", "global"},
              }),
              db.Rows("select APELIDO, USUARIO, MODULO, PARAMETRO, ANO, MES, VALOR from PARAMETROS order by ID"));
}

TEST(TClsDBDataModule, FailedParameterCallsReportFailureAndLeaveNothingPending)
{
    ConnectedModule m;
    TClsDBDataModule& module = m.Module;
    // The failure value is no text any stored value can be, not even "ÿ".
    EXPECT_TRUE(module.SetParam("Y", "ÿ"));
    EXPECT_EQ("ÿ", module.GetParam("Y"));
    EXPECT_NE(framework::kParamReadFailure, module.GetParam("Y"));

    const std::string longUser = "USUARIO_COMPRIDO"; // the column holds 10 characters
    EXPECT_EQ(framework::kParamReadFailure, module.GetUserParam("X", longUser, "13"));
    EXPECT_FALSE(module.trPARAMETROS().InTransaction());

    struct Case
    {
        const char* Name;
        std::string Parameter;
        std::string Value;
        std::string User;
    };
    const Case cases[] = {
        {"user longer than its column", "X", "v", longUser},
        {"name longer than its column", Repeat("N", 21), "v", ""},
        {"value longer than its column", "X", Repeat("v", 101), ""},
        {"value the database cannot hold", "X", "seta →", ""},
        {"the failure value itself", "X", std::string(framework::kParamReadFailure), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(module.SetUserParam(c.Parameter, c.Value, c.User.empty() ? "" : "13", c.User));
        EXPECT_FALSE(module.trPARAMETROS().InTransaction());
    }
    tests::DatabaseSession db(m.Path);
    EXPECT_EQ("0", db.Value("select count(*) from PARAMETROS where PARAMETRO <> 'Y'"));

    // The store works on after a failure, and a module without a connection only fails.
    EXPECT_TRUE(module.SetParam("X", "depois"));
    EXPECT_EQ("depois", module.GetParam("X"));
    FakeUi ui;
    TClsDBDataModule unconnected(&ui, tests::TempDir());
    EXPECT_EQ(framework::kParamReadFailure, unconnected.GetParam("X"));
    EXPECT_FALSE(unconnected.SetParam("X", "v"));
}

TEST(TClsDBDataModule, UserLogRowsHoldTheSessionAndTextsCutToTheirColumns)
{
    struct Case
    {
        const char* Name;
        std::string Title;
        int RecordId;
        std::string Description;
        std::string Tela;
        std::string TableId;
        std::string Log;
    };
    const std::string accented = Repeat("ç", 300);
    const Case cases[] = {
        {"working-date suffix dropped", "Cadastro de Clientes - (11/12/2026)", 42, "Modificado:|Nome:A>>B.",
         "Cadastro de Clientes", "42", "Modificado:|Nome:A>>B."},
        {"everything from the first dash on dropped", "Configuração - Emissor - (11/12/2026)", 7, "x", "Configuração",
         "7", "x"},
        {"no record: null id", "Emissor", 0, "x", "Emissor", "<null>", "x"},
        {"negative record: null id", "Emissor", -1, "x", "Emissor", "<null>", "x"},
        {"300 characters stored as 255", "T", 1, Repeat("a", 300), "T", "1", Repeat("a", 255)},
        {"cut between characters, not inside one", "T", 1, Repeat("a", 254) + "éééé", "T", "1", Repeat("a", 254) + "é"},
        {"an over-long title is cut too", "Cadastro de " + accented, 1, "x", "Cadastro de " + Repeat("ç", 243), "1",
         "x"},
    };
    ConnectedModule m;
    TClsDBDataModule& module = m.Module;
    tests::DatabaseSession db(m.Path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        db.Exec("delete from USUARIO_LOG");
        db.Commit();
        module.WriteUserLog(nullptr, c.Title, c.RecordId, c.Description, "frmClientes");
        EXPECT_FALSE(module.trIBSQLLOG().InTransaction());
        EXPECT_EQ((std::vector<std::vector<std::string>> {{"1", "13", c.TableId, "frmClientes", c.Tela, c.Log}}),
                  db.Rows("select USUARIOID, MODULOID, TABLEID, FORMNAME, TELA, LOG from USUARIO_LOG"));
        EXPECT_EQ("1", db.Value("select count(*) from USUARIO_LOG where DATA is not null and HORA is not null"));
    }

    // A description with nothing to say writes nothing.
    db.Exec("delete from USUARIO_LOG");
    db.Commit();
    module.WriteUserLog(nullptr, "Emissor", 1, " \t ", "frmClientes");
    module.WriteUserLog(nullptr, "Emissor", 1, "", "frmClientes");
    EXPECT_EQ("0", db.Value("select count(*) from USUARIO_LOG"));
}

TEST(TClsDBDataModule, UserLogRowLivesAndDiesWithTheCallersTransaction)
{
    ConnectedModule m;
    TClsDBDataModule& module = m.Module;
    tests::DatabaseSession db(m.Path);
    auto rows = [&] {
        db.Commit();
        return db.Value("select count(*) from USUARIO_LOG");
    };

    module.trMain().StartTransaction();
    module.WriteUserLog(&module.trMain(), "Clientes", 1, "Excluído:|Nome:Ana.", "frmClientes");
    EXPECT_EQ("0", rows()) << "not visible before the caller commits";
    module.trMain().RollbackRetaining();
    EXPECT_EQ("0", rows());
    module.WriteUserLog(&module.trMain(), "Clientes", 1, "Excluído:|Nome:Ana.", "frmClientes");
    module.trMain().CommitRetaining();
    EXPECT_EQ("1", rows());
    EXPECT_FALSE(module.trIBSQLLOG().InTransaction());

    // A failing insert raises; the caller's change fails with it, and the module's own
    // transaction is not left holding the attempt.
    EXPECT_THROW(module.WriteUserLog(&module.trMain(), "Clientes", 1, "x", Repeat("F", 129)), framework::DatabaseError);
    EXPECT_THROW(module.WriteUserLog(nullptr, "Clientes", 1, "x", Repeat("F", 129)), framework::DatabaseError);
    EXPECT_FALSE(module.trIBSQLLOG().InTransaction());
    module.WriteUserLog(nullptr, "Clientes", 2, "y", "frmClientes");
    EXPECT_EQ("2", rows());
}

TEST(TClsDBDataModule, RecordHistoryIsShownThroughTheWindows)
{
    Registration registration;
    FakeUi ui;
    TClsDBDataModule module(&ui, tests::TempDir());
    module.ShowRecordHistory("frmClientes", 42);
    module.ShowRecordHistory("frmEmissor", 0);
    EXPECT_EQ((std::vector<std::string> {"frmClientes#42", "frmEmissor#0"}), ui.Histories);
    TClsDBDataModule windowless(nullptr, tests::TempDir());
    EXPECT_NO_THROW(windowless.ShowRecordHistory("frmClientes", 42));
}
