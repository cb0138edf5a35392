#include "framework/schema/CmIBSQLObj.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/schema/EmbeddedScripts.h"
#include "platform/TextRules.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using ::testing::ElementsAreArray;

namespace {

struct SplitCase
{
    const char* Name;
    std::vector<std::string> Lines;
    std::vector<std::string> Statements;
};

std::vector<std::string> Lines(std::string_view text)
{
    return TCmIBSQLObj::SplitLines(text);
}

} // namespace

TEST(TCmIBSQLObj, SplitStatements)
{
    const SplitCase cases[] = {
        {"one statement per line",
         {"select 1 from A;", "", "   ", "  select 2 from B ;  "},
         {"select 1 from A", "select 2 from B"}},
        {"set term both ways",
         {"set term ^ ;", "create procedure P as", "begin", "  X = 1;", "end^", "set TERM ; ^", "select 1 from A;"},
         {"create procedure P as\r\nbegin\r\n  X = 1;\r\nend", "select 1 from A"}},
        {"create table over three lines under ^, a column line ending in a comment",
         {"SET TERM ^;", "  create table T (", "    A integer, /* a coluna */", ") ^"},
         {"create table T (\r\n    A integer, /* a coluna */\r\n)"}},
        {"a comment closed on its line is dropped with the statement after it",
         {"/* cabeçalho */ select 1 from A;", "select 2 from B;"},
         {"select 2 from B"}},
        {"text after a comment over several lines begins the next statement",
         {"/* começo", "   meio", "fim */ select 1", "from A;"},
         {"select 1 from A"}},
        {"a trailing comment stays in its statement", {"select 1 from A; /* fim */"}, {"select 1 from A /* fim */"}},
        {"the terminator before a comment ends a statement of several lines",
         {"select 1", "from A; /* fim */", "select 2 from B;"},
         {"select 1\r\nfrom A /* fim */", "select 2 from B"}},
        {"a line that is only */ joins the statement before it", {"select 1 from A;", "*/"}, {"select 1 from A*/"}},
        {"the end of the script ends a statement", {"select 1", "from A"}, {"select 1\r\nfrom A"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_THAT(TCmIBSQLObj::SplitStatements(c.Lines, ";"), ElementsAreArray(c.Statements));
    }
}

TEST(TCmIBSQLObj, AnUnclosedCommentFailsTheSplit)
{
    try {
        TCmIBSQLObj::SplitStatements({"select 1 from A;", "/* sem fim", "select 2 from B;"}, ";");
        FAIL() << "no error";
    } catch (const EISQLException& error) {
        EXPECT_EQ(TEISQLExceptionCode::eiParse, error.ExceptionCode());
        EXPECT_STREQ("Unable to parse script", error.what());
        EXPECT_EQ("/* sem fim", error.Text());
    }
}

// The splitter drops a statement that shares a line with a comment closed on that line, and it
// keeps a statement running when its terminator is followed by blanks; neither may happen in
// the scripts the program carries.
TEST(TCmIBSQLObj, TheShippedScriptsSplitCleanly)
{
    std::vector<std::pair<std::string, std::string_view>> scripts;
    for (const framework::EmbeddedScript& script : framework::EmbeddedScripts()) {
        scripts.emplace_back(std::string(script.Set) + " " + std::string(script.Version), script.Text);
    }
    scripts.emplace_back("13NOTAVIANFSE101SQL", *framework::FindSqlResource("13NOTAVIANFSE101SQL"));
    for (const auto& [name, text] : scripts) {
        SCOPED_TRACE(name);
        const std::vector<std::string> lines = Lines(text);
        for (const std::string& line : lines) {
            const std::string_view trimmed = platform::Trim(line);
            if (trimmed.starts_with("/*") && line.find("*/") != std::string::npos) {
                EXPECT_TRUE(platform::Trim(line.substr(line.find("*/") + 2)).empty()) << line;
            }
            EXPECT_EQ(line.size(), platform::TrimRight(line).size()) << "blanks at the end of: " << line;
        }
        std::vector<std::string> statements;
        ASSERT_NO_THROW(statements = TCmIBSQLObj::SplitStatements(lines, ";"));
        for (const std::string& statement : statements) {
            EXPECT_FALSE(statement.ends_with(";")) << statement;
            EXPECT_FALSE(statement.ends_with("^")) << statement;
        }
    }
}

TEST(TCmIBSQLObj, AScriptCreatesConnectsAndDropsADatabase)
{
    const std::string path = tests::TempDir() + "script.fdb";
    {
        TCmIBSQLObj script;
        script.SetQuery(Lines("SET SQL DIALECT 3;\n"
                              "SET NAMES NONE;\n"
                              "CREATE DATABASE '" +
                              path +
                              "' USER \"SYSDBA\" PASSWORD \"quartzite\" PAGE_SIZE 4096;\n"
                              "SET ECHO ON;\n"
                              "SHOW TABLES;\n"
                              "create table T (A integer, B varchar(10));\n"
                              "insert into T (A, B) values (1, 'um');\n"
                              "commit work;\n"
                              "insert into T (A, B) values (2, 'dois');\n"
                              "rollback;\n"
                              "CONNECT '" +
                              path +
                              "' USER 'SYSDBA' PASSWORD 'quartzite' CACHE 100;\n"
                              "insert into T (A, B) values (3, 'três');\n"
                              "commit;\n"));
        script.ExecuteScript();
    }
    {
        tests::DatabaseSession session(path);
        EXPECT_EQ((std::vector<std::vector<std::string>> {{"1", "um"}, {"3", "três"}}),
                  session.Rows("select A, B from T order by A"));
        EXPECT_EQ("4096", session.Value("select MON$PAGE_SIZE from MON$DATABASE"));
    }
    TCmIBSQLObj drop;
    drop.SetQuery(Lines("CONNECT '" + path + "';\nDROP DATABASE;\n"));
    drop.ExecuteScript();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TCmIBSQLObj, FailuresNameWhatFailed)
{
    const std::string path = tests::CreateEmptyDatabase();
    struct Case
    {
        const char* Name;
        std::string Script;
        bool Connected;
        TEISQLExceptionCode Code;
        std::string Message;
        std::string Text;
        int32_t SQLCode;
    };
    const Case cases[] = {
        {"statement without a connection", "insert into T values (1);", false, TEISQLExceptionCode::eiConnection,
         "No active connection", "insert into T values (1)", 0},
        {"unclosed comment", "/* nada\nselect 1 from RDB$DATABASE;", true, TEISQLExceptionCode::eiParse,
         "Unable to parse script", "/* nada", 0},
        {"create without a quoted name", "create database semaspas.fdb;", false, TEISQLExceptionCode::eiConnection,
         "An error occured parsing CREATE statement.", "create database semaspas.fdb", 0},
        {"connect with a stray word", "connect '" + path + "' user 'SYSDBA' depressa;", false,
         TEISQLExceptionCode::eiConnection, "An error occured parsing CONNECT statement.",
         "connect '" + path + "' user 'SYSDBA' depressa", 0},
        {"server refuses a statement", "create table X (A inteiro);", true, TEISQLExceptionCode::eiStatement,
         "unsuccessful metadata update", "create table X (A inteiro)", -607},
        {"nested script missing", "input " + tests::TempDir() + "nada.sql;", true, TEISQLExceptionCode::eiFile,
         "Não foi possível ler o arquivo " + tests::TempDir() + "nada.sql", tests::TempDir() + "nada.sql", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TCmDatabase database;
        TCmTransaction transaction("DefaultTrans");
        database.SetDefaultTransaction(&transaction);
        database.SetDatabaseName(path);
        if (c.Connected) {
            database.Open();
        }
        TCmIBSQLObj script;
        script.SetDatabase(&database);
        script.SetQuery(Lines(c.Script));
        try {
            script.ExecuteScript();
            ADD_FAILURE() << "no error";
        } catch (const EISQLException& error) {
            EXPECT_EQ(c.Code, error.ExceptionCode());
            EXPECT_THAT(error.what(), ::testing::StartsWith(c.Message));
            EXPECT_EQ(c.Text, error.Text());
            if (c.SQLCode != 0) {
                EXPECT_EQ(c.SQLCode, error.SQLCode()) << error.what();
            }
        }
    }
}

TEST(TCmIBSQLObj, DdlCommitsAtOnceUnlessAutoDdlIsOff)
{
    const std::string path = tests::CreateEmptyDatabase();
    TCmDatabase database;
    TCmTransaction ordinary("DefaultTrans");
    TCmTransaction ddl("DDLTrans");
    ordinary.SetDefaultDatabase(&database);
    ddl.SetDefaultDatabase(&database);
    database.SetDatabaseName(path);
    database.Open();

    TCmIBSQLObj script;
    script.SetDatabase(&database);
    script.SetDefaultTransIDX(0);
    script.SetDDLTransIDX(1);
    script.SetQuery(Lines("create table A (X integer);\n"
                          "set autoddl off;\n"
                          "create table B (X integer);\n"));
    script.ExecuteScript();
    EXPECT_FALSE(ordinary.InTransaction());
    EXPECT_TRUE(ddl.InTransaction()) << "the second table waits for a commit";
    ddl.Rollback();

    tests::DatabaseSession session(path);
    EXPECT_EQ((std::vector<std::vector<std::string>> {{"A"}}),
              session.Rows("select trim(RDB$RELATION_NAME) from RDB$RELATIONS where RDB$SYSTEM_FLAG = 0"));
}

TEST(TCmIBSQLObj, InputRunsANestedScriptOnTheSameConnection)
{
    const std::string path = tests::CreateEmptyDatabase();
    const std::string nested = tests::TempDir() + "aninhado.sql";
    // Script files on disk are cp1252: "Ação".
    tests::WriteFile(nested,
                     "set term ^ ;\ncreate table N (A varchar(10))^\nset term ; ^\n"
                     "insert into N values ('A\xe7\xe3o');\n");
    {
        TCmDatabase database;
        TCmTransaction transaction("DefaultTrans");
        transaction.SetDefaultAction(TTransactionAction::TACommit);
        database.SetDefaultTransaction(&transaction);
        database.SetDatabaseName(path);
        database.Open();
        TCmIBSQLObj script;
        script.SetDatabase(&database);
        script.SetQuery({"INPUT " + nested + ";", "commit;"});
        script.ExecuteScript();
    }
    tests::DatabaseSession session(path);
    EXPECT_EQ("Ação", session.Value("select A from N"));
}
