#include "framework/data/CmDatabase.h"

#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/SqlStatement.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using framework::DatabaseError;
using framework::SqlStatement;
using framework::SqlValue;

namespace {

int64_t Count(TCmDatabase& database, const std::string& sql)
{
    SqlStatement statement(&database, database.DefaultTransaction());
    statement.SetSQL(sql);
    statement.ExecQuery();
    return statement.Fields(0).Value.AsInteger();
}

} // namespace

TEST(TCmDatabase, CreatesDialectThreeDatabaseWithPageSize4096AndDropsIt)
{
    const std::string path = tests::TempDir() + "novo.fdb";
    TCmDatabase database("dbNovo");
    TCmTransaction transaction("trNovo");
    database.SetDefaultTransaction(&transaction);
    database.SetDatabaseName(path);
    database.SetSQLDialect(3);
    // The creation clauses as the create-database form writes them, double quotes included.
    database.SetParams({"USER \"SYSDBA\"", "PASSWORD \"quartzite\"", "PAGE_SIZE 4096"});
    database.CreateDatabase();
    ASSERT_TRUE(database.Connected());
    EXPECT_EQ(4096, Count(database, "select MON$PAGE_SIZE from MON$DATABASE"));
    EXPECT_EQ(3, Count(database, "select MON$SQL_DIALECT from MON$DATABASE"));
    transaction.Commit();

    database.DropDatabase();
    EXPECT_FALSE(database.Connected());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TCmDatabase, ServerErrorsCarryTheirSqlCodeAndMessage)
{
    TCmDatabase database;
    TCmTransaction transaction;
    database.SetDefaultTransaction(&transaction);
    database.SetDatabaseName(tests::CreateEmptyDatabase());
    database.Open();

    struct Case
    {
        const char* Name;
        const char* Sql;
        int32_t SQLCode;
        const char* Text;
    };
    const Case cases[] = {
        {"unknown table", "select * from NAO_EXISTE", -204, "NAO_EXISTE"},
        {"syntax", "selec 1 from RDB$DATABASE", -104, "Token unknown"},
        {"conversion", "select cast('abc' as integer) from RDB$DATABASE", -413, "conversion error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SqlStatement statement(&database, &transaction);
        statement.SetSQL(c.Sql);
        try {
            statement.ExecQuery();
            ADD_FAILURE() << "no error";
        } catch (const DatabaseError& error) {
            EXPECT_EQ(c.SQLCode, error.SQLCode());
            EXPECT_NE(0, error.IBErrorCode());
            EXPECT_NE(std::string(error.what()).find(c.Text), std::string::npos) << error.what();
        }
    }
}

TEST(TCmDatabase, AMissingFileFailsToConnectAndCreatesNothing)
{
    const std::string path = tests::TempDir() + "nao-existe.fdb";
    TCmDatabase database;
    database.SetDatabaseName(path);
    EXPECT_THROW(database.Open(), DatabaseError);
    EXPECT_FALSE(database.Connected());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TCmDatabase, ConnectionParametersAreCheckedBeforeConnecting)
{
    TCmDatabase database;
    database.SetDatabaseName(tests::CreateEmptyDatabase());
    database.SetParams({"user_name=SYSDBA", "senha_errada=1"});
    try {
        database.Open();
        FAIL() << "unknown parameter accepted";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ("Parâmetro de conexão desconhecido: senha_errada=1", error.what());
    }
    database.SetParams({"isc_dpb_user_name=SYSDBA", "password=quartzite", "lc_ctype=NONE", "sql_dialect=3"});
    database.Open();
    EXPECT_TRUE(database.Connected());
}

TEST(TCmDatabase, UserNamesListsEveryAttachment)
{
    const std::string path = tests::CreateEmptyDatabase();
    TCmDatabase first;
    first.SetDatabaseName(path);
    first.Open();
    EXPECT_EQ(std::vector<std::string>({"SYSDBA"}), first.UserNames());

    TCmDatabase second;
    second.SetDatabaseName(path);
    second.Open();
    EXPECT_EQ(2u, first.UserNames().size());
    second.Close();
    EXPECT_EQ(1u, first.UserNames().size());
}

TEST(TCmDatabase, CloseEndsTransactionsByTheirDefaultAction)
{
    const std::string path = tests::CopySchemaDatabase();
    TCmDatabase database;
    TCmTransaction commits;
    commits.SetDefaultAction(TTransactionAction::TACommitRetaining);
    TCmTransaction rollsBack;
    rollsBack.SetDefaultAction(TTransactionAction::TARollbackRetaining);
    database.SetDatabaseName(path);
    commits.SetDefaultDatabase(&database);
    rollsBack.SetDefaultDatabase(&database);
    database.Open();

    SqlStatement kept(&database, &commits);
    kept.SetSQL("insert into UNIDADE (SIGLA, TITULO) values ('KG', 'Quilo')");
    kept.ExecQuery();
    SqlStatement lost(&database, &rollsBack);
    lost.SetSQL("insert into UNIDADE (SIGLA, TITULO) values ('LT', 'Litro')");
    lost.ExecQuery();
    database.Close();
    EXPECT_FALSE(commits.InTransaction());
    EXPECT_FALSE(rollsBack.InTransaction());
    EXPECT_FALSE(kept.Prepared());

    database.SetDefaultTransaction(&commits);
    database.Open();
    EXPECT_EQ(1, Count(database, "select count(*) from UNIDADE where SIGLA = 'KG'"));
    EXPECT_EQ(0, Count(database, "select count(*) from UNIDADE where SIGLA = 'LT'"));
}

TEST(TCmDatabase, TraceReportsOnlyTheChosenCategories)
{
    std::vector<framework::TraceEvent> events;
    const int ticket = framework::SqlTrace::AddSink([&](const framework::TraceEvent& e) { events.push_back(e); });

    TCmDatabase database("dbMain");
    TCmTransaction transaction("trMain");
    database.SetDefaultTransaction(&transaction);
    database.SetDatabaseName(tests::CreateEmptyDatabase());
    database.SetTraceFlags(framework::TraceCategory::Execute | framework::TraceCategory::Error);
    database.Open();
    SqlStatement statement(&database, &transaction);
    statement.SetSQL("select 1 from RDB$DATABASE where 1 = :UM");
    statement.SetParam("UM", SqlValue::Integer(1));
    statement.ExecQuery();
    statement.SetSQL("select * from NAO_EXISTE");
    EXPECT_THROW(statement.ExecQuery(), DatabaseError);
    framework::SqlTrace::RemoveSink(ticket);

    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(framework::TraceCategory::Execute, events[0].Category);
    EXPECT_NE(events[0].Text.find("UM = 1"), std::string::npos) << events[0].Text;
    EXPECT_EQ(framework::TraceCategory::Error, events[1].Category);
    EXPECT_NE(events[1].Text.find("NAO_EXISTE"), std::string::npos) << events[1].Text;
}
