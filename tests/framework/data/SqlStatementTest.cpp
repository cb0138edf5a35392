#include "framework/data/SqlStatement.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

using framework::DatabaseError;
using framework::SqlStatement;
using framework::SqlValue;
using framework::SqlValueKind;
using platform::DateTime;

namespace {

class SqlStatementTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_transaction.SetParams({"read_committed", "rec_version", "nowait"});
        m_database.SetDefaultTransaction(&m_transaction);
        m_database.SetDatabaseName(tests::CreateEmptyDatabase());
        m_database.Open();
    }

    void Exec(const std::string& sql)
    {
        SqlStatement statement(&m_database, &m_transaction);
        statement.SetSQL(sql);
        statement.ExecQuery();
    }

    TCmDatabase m_database;
    TCmTransaction m_transaction;
};

} // namespace

TEST_F(SqlStatementTest, EveryColumnTypeOfTheSchemaRoundTrips)
{
    Exec("create table TIPOS (ID integer not null primary key, PEQUENO smallint, INTEIRO integer, "
         "DUPLO double precision, FIXO char(3), TEXTO varchar(20), DIA date, HORA time, MOMENTO timestamp, "
         "MEMO blob sub_type text segment size 80, BINARIO blob sub_type 0)");
    m_transaction.Commit();

    const std::string longText(100000, 'x');
    const std::string bytes("\x00\x01\xff\x80 PNG", 8);
    struct Case
    {
        const char* Column;
        SqlValue Value;
        SqlValueKind Kind;
        std::string Expected;
    };
    const Case cases[] = {
        {"PEQUENO", SqlValue::Integer(-32768), SqlValueKind::Integer, "-32768"},
        {"INTEIRO", SqlValue::Integer(2147483647), SqlValueKind::Integer, "2147483647"},
        {"INTEIRO", SqlValue::Text("42"), SqlValueKind::Integer, "42"},
        {"DUPLO", SqlValue::Double(1234.5678), SqlValueKind::Double, "1234.5678"},
        {"FIXO", SqlValue::Text("ab"), SqlValueKind::Text, "ab "},
        {"TEXTO", SqlValue::Text("São Paulo"), SqlValueKind::Text, "São Paulo"},
        {"TEXTO", SqlValue::Integer(7), SqlValueKind::Text, "7"},
        {"DIA", SqlValue::Date({2016, 12, 31}), SqlValueKind::Date, "2016-12-31"},
        {"HORA", SqlValue::Time({1899, 12, 30, 23, 59, 58}), SqlValueKind::Time, "23:59:58"},
        {"MOMENTO", SqlValue::Timestamp({2024, 2, 29, 8, 5, 9}), SqlValueKind::Timestamp, "2024-02-29 08:05:09"},
        {"MEMO", SqlValue::Text("linha 1\r\nAção"), SqlValueKind::Text, "linha 1\r\nAção"},
        {"MEMO", SqlValue::Text(longText), SqlValueKind::Text, longText},
        {"BINARIO", SqlValue::Binary(bytes), SqlValueKind::Binary, bytes},
    };
    int id = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Column) + " " + c.Value.AsString().substr(0, 20));
        SqlStatement insert(&m_database, &m_transaction);
        insert.SetSQL(std::string("insert into TIPOS (ID, ") + c.Column + ") values (:ID, :VALOR)");
        insert.SetParam("ID", SqlValue::Integer(++id));
        insert.SetParam("valor", c.Value);
        insert.ExecQuery();
        EXPECT_EQ(1, insert.RowsAffected());

        SqlStatement select(&m_database, &m_transaction);
        select.SetSQL(std::string("select ") + c.Column + " from TIPOS where ID = :ID");
        select.SetParam("ID", SqlValue::Integer(id));
        select.ExecQuery();
        ASSERT_FALSE(select.Eof());
        const SqlValue& value = select.FieldByName(c.Column);
        EXPECT_EQ(c.Kind, value.Kind());
        EXPECT_EQ(c.Expected, value.AsString());
        EXPECT_FALSE(select.Next());
        EXPECT_TRUE(select.Eof());
    }
}

TEST_F(SqlStatementTest, NullAndEmptyTextStayApart)
{
    Exec("create table T (ID integer, NOME varchar(10), MEMO blob sub_type text)");
    m_transaction.Commit();
    SqlStatement insert(&m_database, &m_transaction);
    insert.SetSQL("insert into T (ID, NOME, MEMO) values (:ID, :NOME, :MEMO)");
    insert.SetParam("ID", SqlValue::Integer(1));
    insert.SetParam("NOME", SqlValue());
    insert.SetParam("MEMO", SqlValue());
    insert.ExecQuery();
    insert.SetParam("ID", SqlValue::Integer(2));
    insert.SetParam("NOME", SqlValue::Text(""));
    insert.SetParam("MEMO", SqlValue::Text(""));
    insert.ExecQuery();

    SqlStatement select(&m_database, &m_transaction);
    select.SetSQL("select ID, NOME, MEMO, NOME is null as NULO from T order by ID");
    select.ExecQuery();
    EXPECT_TRUE(select.FieldByName("NOME").IsNull());
    EXPECT_TRUE(select.FieldByName("MEMO").IsNull());
    EXPECT_EQ(1, select.FieldByName("NULO").AsInteger());
    ASSERT_TRUE(select.Next());
    EXPECT_EQ(SqlValueKind::Text, select.FieldByName("NOME").Kind());
    EXPECT_EQ("", select.FieldByName("NOME").AsString());
    EXPECT_EQ(0, select.FieldByName("NULO").AsInteger());
}

TEST_F(SqlStatementTest, TextIsStoredAsCp1252AndRefusedWhenCp1252CannotHoldIt)
{
    Exec("create table T (NOME varchar(20))");
    m_transaction.Commit();
    SqlStatement insert(&m_database, &m_transaction);
    insert.SetSQL("insert into T (NOME) values (:NOME)");
    // é, the en dash and the euro sign are one byte each in cp1252.
    insert.SetParam("NOME", SqlValue::Text("Café – 5 €"));
    insert.ExecQuery();

    SqlStatement select(&m_database, &m_transaction);
    select.SetSQL("select NOME, octet_length(NOME), NOME = 'Café – 5 €' from T");
    select.ExecQuery();
    EXPECT_EQ("Café – 5 €", select.Fields(0).Value.AsString());
    EXPECT_EQ(10, select.Fields(1).Value.AsInteger());
    // The statement text itself crosses as cp1252 too.
    EXPECT_EQ(1, select.Fields(2).Value.AsInteger());

    insert.SetParam("NOME", SqlValue::Text("東京"));
    try {
        insert.ExecQuery();
        FAIL() << "text outside cp1252 stored";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("O valor do parâmetro NOME tem um caractere"), std::string::npos)
            << error.what();
    }
    select.ExecQuery();
    EXPECT_FALSE(select.Next());
}

TEST_F(SqlStatementTest, NamedParametersAreFoundOutsideLiteralsAndComments)
{
    SqlStatement statement(&m_database, &m_transaction);
    statement.SetSQL("select :A || ':B' || \":C\" || /* :D */ :a || ? as R from RDB$DATABASE where :Primeiro_2 = 1");
    ASSERT_EQ(3, statement.ParamCount());
    EXPECT_EQ("A", statement.Params(0).Name);
    EXPECT_EQ("", statement.Params(1).Name);
    EXPECT_EQ("PRIMEIRO_2", statement.Params(2).Name);
    EXPECT_THROW(statement.ParamByName("B"), DatabaseError);
    // ":C" names a column here, so the server refuses it; the point is what reached it.
    statement.SetSQL("select cast(:A as varchar(5)) || ':B' || /* :D */ cast(:a as varchar(5)) || "
                     "cast(? as varchar(5)) as R from RDB$DATABASE where :Primeiro_2 = 1");
    statement.SetParam("a", SqlValue::Text("x"));
    statement.Params(1).Value = SqlValue::Text("y");
    statement.SetParam("PRIMEIRO_2", SqlValue::Integer(1));
    statement.ExecQuery();
    EXPECT_EQ("x:Bxy", statement.FieldByName("r").AsString());
}

TEST_F(SqlStatementTest, ExecuteProcedureReturnsItsOutputRow)
{
    Exec("create procedure SOMA (A integer, B integer) returns (C integer) as begin C = A + B; end");
    m_transaction.Commit();
    SqlStatement statement(&m_database, &m_transaction);
    statement.SetSQL("execute procedure SOMA :A, :B");
    EXPECT_EQ(framework::SqlStatementType::ExecProcedure, statement.StatementType());
    statement.SetParam("A", SqlValue::Integer(2));
    statement.SetParam("B", SqlValue::Integer(40));
    statement.ExecQuery();
    EXPECT_FALSE(statement.Eof());
    EXPECT_EQ(42, statement.FieldByName("C").AsInteger());
}
