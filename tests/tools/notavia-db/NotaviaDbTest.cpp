#include "framework/schema/dmVersaoNotavia.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

namespace {

struct Result
{
    int ExitCode = -1;
    std::string Output; // stdout and stderr together
};

Result RunTool(const std::string& arguments)
{
    // Under the sanitizers, LeakSanitizer's own tracer can crash in a process that ends right after
    // the embedded engine's service threads; the tool's exit code is what these tests look at.
    const std::string command =
        "ASAN_OPTIONS=detect_leaks=0 " + tests::ProgramDir() + "notavia-db " + arguments + " 2>&1";
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        result.Output.append(buffer, got);
    }
    const int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quoted(const std::string& path)
{
    return "'" + path + "'";
}

} // namespace

TEST(NotaviaDb, CreateThenVersionPrintsBothScriptSets)
{
    const std::string path = tests::TempDir() + "x.fdb";
    const Result created = RunTool("create " + Quoted(path));
    ASSERT_EQ(0, created.ExitCode) << created.Output;
    EXPECT_THAT(created.Output, ::testing::HasSubstr("Aplicando NOTAVIA-NFSE.SQL - 1.04\n"));

    const Result version = RunTool("version " + Quoted(path));
    EXPECT_EQ(0, version.ExitCode);
    EXPECT_EQ("COMMON.SQL 1.08\nNOTAVIA-NFSE.SQL 1.04\n", version.Output);

    {
        // The scripts run with asynchronous writes; the database handed over writes synchronously.
        tests::DatabaseSession session(path);
        EXPECT_EQ("1", session.Value("select MON$FORCED_WRITES from MON$DATABASE"));
    }

    const Result again = RunTool("create " + Quoted(path));
    EXPECT_EQ(3, again.ExitCode);
    EXPECT_THAT(again.Output, ::testing::HasSubstr("já existe; nada foi alterado."));
    EXPECT_EQ(0, RunTool("version " + Quoted(path)).ExitCode) << "the existing database is untouched";
}

TEST(NotaviaDb, BackupWritesAGbkBesideTheDatabase)
{
    const std::string path = tests::CopySchemaDatabase();
    const Result named = RunTool("backup " + Quoted(path) + " " + Quoted(tests::TempDir() + "copia.gbk"));
    ASSERT_EQ(0, named.ExitCode) << named.Output;
    EXPECT_THAT(named.Output, ::testing::HasSubstr("gbak:"));
    EXPECT_TRUE(std::filesystem::exists(tests::TempDir() + "copia.gbk"));

    const Result dated = RunTool("backup " + Quoted(path));
    ASSERT_EQ(0, dated.ExitCode) << dated.Output;
    EXPECT_THAT(
        dated.Output,
        ::testing::ContainsRegex("Backup gravado: .*notavia\\.fdb-[0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{2}-[0-9]{2}\\.gbk"));
}

TEST(NotaviaDb, ExitCodesAndMessages)
{
    const std::string empty = tests::CreateEmptyDatabase();
    const std::string backup = tests::TempDir() + "existe.gbk";
    tests::WriteFile(backup, "não sobrescrever");
    struct Case
    {
        const char* Name;
        std::string Arguments;
        int ExitCode;
        std::string Message;
    };
    const Case cases[] = {
        {"no command", "", 2, "Uso:"},
        {"unknown command", "apagar x.fdb", 2, "Uso:"},
        {"missing database", "version " + Quoted(tests::TempDir() + "nada.fdb"), 3, "não existe"},
        {"database without versions", "version " + Quoted(empty), 4, "Não foi possível ler as versões de"},
        {"backup over an existing file", "backup " + Quoted(empty) + " " + Quoted(backup), 3, "já existe"},
        {"backup into a missing folder", "backup " + Quoted(empty) + " " + Quoted(tests::TempDir() + "a/b.gbk"), 4,
         "O backup de"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Result result = RunTool(c.Arguments);
        EXPECT_EQ(c.ExitCode, result.ExitCode) << result.Output;
        EXPECT_THAT(result.Output, ::testing::HasSubstr(c.Message));
    }
    EXPECT_EQ("não sobrescrever", tests::ReadFile(backup));
}

TEST(NotaviaDb, UpgradeBacksUpThenRunsOnlyTheMissingScripts)
{
    const std::string path = tests::CreateEmptyDatabase("antigo.fdb");
    {
        TdmVersaoNotavia module;
        module.ScriptsCommon().Versions().resize(6); // COMMON.SQL up to 1.05
        module.RunAllScripts(path);
    }
    const Result upgraded = RunTool("upgrade " + Quoted(path));
    ASSERT_EQ(0, upgraded.ExitCode) << upgraded.Output;
    EXPECT_THAT(upgraded.Output,
                ::testing::ContainsRegex("Backup gravado: .*antigo\\.fdb-[-0-9]+\\.gbk\n"
                                         "Aplicando COMMON.SQL - 1.06\n"
                                         "Aplicando COMMON.SQL - 1.07\n"
                                         "Aplicando COMMON.SQL - 1.08\n"
                                         "Banco de Dados foi atualizado com sucesso.\n$"));
    EXPECT_EQ("COMMON.SQL 1.08\nNOTAVIA-NFSE.SQL 1.04\n", RunTool("version " + Quoted(path)).Output);

    // Up to date: nothing to back up, nothing to run.
    const Result again = RunTool("upgrade " + Quoted(path));
    EXPECT_EQ(0, again.ExitCode);
    EXPECT_EQ("", again.Output);

    const Result users = RunTool("users " + Quoted(path));
    EXPECT_EQ(0, users.ExitCode);
    EXPECT_EQ("Nenhum outro usuário conectado.\n", users.Output);
}

TEST(NotaviaDb, UpgradeRefusesANewerOrBusyDatabase)
{
    const std::string newer = tests::CopySchemaDatabase("nova.fdb");
    {
        tests::DatabaseSession db(newer);
        db.Exec("update VERSAO set NUMERO = '1.09' where ID = 1");
        db.Commit();
    }
    const Result refused = RunTool("upgrade " + Quoted(newer));
    EXPECT_EQ(4, refused.ExitCode);
    EXPECT_THAT(refused.Output, ::testing::HasSubstr("Programa: COMMON.SQL-1.08\r\nBanco de Dados: COMMON.SQL-1.09"));
    EXPECT_THAT(refused.Output, ::testing::Not(::testing::HasSubstr("Backup gravado")));

    // The embedded engine lets one process at a time open the file: the tool says why it stops.
    const std::string busy = tests::CopySchemaDatabase("ocupado.fdb");
    tests::DatabaseSession holder(busy);
    const Result locked = RunTool("upgrade " + Quoted(busy));
    EXPECT_EQ(4, locked.ExitCode);
    EXPECT_THAT(locked.Output, ::testing::HasSubstr("Não foi possível ler as versões de"));
}

TEST(NotaviaDb, GrantLetsAUserIntoTheProgram)
{
    const std::string database = tests::CopySchemaDatabase();
    const std::string count = "select count(*) from USUARIO_MODULO where USUARIOID = 1 and MODULOID = 13";
    for (int run = 0; run < 2; ++run) {
        const Result result = RunTool("grant " + Quoted(database) + " ADMIN");
        EXPECT_EQ(0, result.ExitCode) << result.Output;
        EXPECT_THAT(result.Output, ::testing::HasSubstr("Usuário ADMIN liberado"));
    }
    {
        tests::DatabaseSession db(database);
        EXPECT_EQ("1", db.Value(count)) << "a second grant keeps the one row";
    }
    const Result unknown = RunTool("grant " + Quoted(database) + " \"O'Brien\"");
    EXPECT_EQ(4, unknown.ExitCode) << unknown.Output;
    EXPECT_THAT(unknown.Output, ::testing::HasSubstr("O usuário \"O'Brien\" não está cadastrado."));
    EXPECT_EQ(2, RunTool("grant " + Quoted(database)).ExitCode);
}
