#include "framework/data/CmTransaction.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/SqlStatement.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <chrono>

using framework::DatabaseError;
using framework::SqlStatement;
using framework::SqlValue;

namespace {

const std::vector<std::string> kFrameworkParams = {"read_committed", "rec_version", "nowait"};

struct Session
{
    explicit Session(const std::string& path, std::vector<std::string> params = kFrameworkParams)
    {
        transaction.SetParams(std::move(params));
        database.SetDefaultTransaction(&transaction);
        database.SetDatabaseName(path);
        database.Open();
    }

    void Exec(const std::string& sql)
    {
        SqlStatement statement(&database, &transaction);
        statement.SetSQL(sql);
        statement.ExecQuery();
    }

    std::string Text(const std::string& sql)
    {
        SqlStatement statement(&database, &transaction);
        statement.SetSQL(sql);
        statement.ExecQuery();
        return statement.Eof() ? "<eof>" : statement.Fields(0).Value.AsString();
    }

    TCmDatabase database;
    TCmTransaction transaction;
};

} // namespace

TEST(TCmTransaction, LockConflictUnderNowaitRaisesAtOnceWithItsSqlCode)
{
    const std::string path = tests::CopySchemaDatabase();
    Session first(path);
    first.Exec("update USUARIO set OBSERVACAO = 'primeiro' where ID = 1");

    TCmTransaction second;
    second.SetParams(kFrameworkParams);
    second.SetDefaultDatabase(&first.database);
    SqlStatement update(&first.database, &second);
    update.SetSQL("update USUARIO set OBSERVACAO = 'segundo' where ID = 1");
    const auto started = std::chrono::steady_clock::now();
    try {
        update.ExecQuery();
        FAIL() << "the second update did not conflict";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(-913, error.SQLCode()) << error.what();
        EXPECT_NE(std::string(error.what()).find("update conflicts with concurrent update"), std::string::npos)
            << error.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    // The failed statement leaves the second transaction usable.
    EXPECT_TRUE(second.InTransaction());
    second.Rollback();
}

TEST(TCmTransaction, RetainingEndsTheWorkButKeepsTheTransactionAndItsCursor)
{
    const std::string path = tests::CopySchemaDatabase();
    Session writer(path);
    Session reader(path);

    SqlStatement cursor(&writer.database, &writer.transaction);
    cursor.SetSQL("select ID from MODULO order by ID");
    cursor.ExecQuery();
    ASSERT_EQ(3, cursor.Fields(0).Value.AsInteger());

    writer.Exec("insert into UNIDADE (SIGLA, TITULO) values ('CX', 'Caixa')");
    writer.transaction.CommitRetaining();
    EXPECT_TRUE(writer.transaction.InTransaction());
    EXPECT_EQ("Caixa", reader.Text("select TITULO from UNIDADE where SIGLA = 'CX'"));
    ASSERT_TRUE(cursor.Next());
    EXPECT_EQ(13, cursor.Fields(0).Value.AsInteger());

    writer.Exec("update UNIDADE set TITULO = 'Pacote' where SIGLA = 'CX'");
    writer.transaction.RollbackRetaining();
    EXPECT_TRUE(writer.transaction.InTransaction());
    EXPECT_EQ("Caixa", writer.Text("select TITULO from UNIDADE where SIGLA = 'CX'"));

    // A hard commit closes the cursors it carried.
    writer.transaction.Commit();
    EXPECT_FALSE(cursor.Open());
}

TEST(TCmTransaction, ParameterBlockNamesAreCheckedAndApplied)
{
    const std::string path = tests::CopySchemaDatabase();
    {
        Session bad(path, {"read_committed", "rec_versoin"});
        try {
            bad.transaction.StartTransaction();
            FAIL() << "misspelt parameter accepted";
        } catch (const DatabaseError& error) {
            EXPECT_STREQ("Parâmetro de transação desconhecido: rec_versoin", error.what());
        }
        EXPECT_FALSE(bad.transaction.InTransaction());
    }
    // A read-only transaction really is one.
    Session readOnly(path, {"read", "read_committed", "isc_tpb_rec_version", "nowait"});
    EXPECT_THROW(readOnly.Exec("insert into UNIDADE (SIGLA) values ('X')"), DatabaseError);
}
