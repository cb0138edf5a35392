#include "framework/data/CmDataSet.h"

#include "framework/data/CmControllerDataSets.h"
#include "framework/data/CmDataSource.h"
#include "framework/data/CmDatabase.h"
#include "framework/data/CmIBSQL.h"
#include "framework/data/CmSQLGlobals.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DataSetModel.h"
#include "framework/data/DatabaseError.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

using framework::DatabaseError;
using framework::SqlValue;

namespace {

struct SortCase
{
    const char* Name;
    const char* Select;
    const char* OrderByFields;
    const char* Expected;
};

TEST(TCmDataSet, SortRewriteResolvesEachEntryAgainstTheSelect)
{
    const SortCase cases[] = {
        {"quoted table reference under its alias, after the where clause", "select C.* from CLIENTE C where C.ID > 0",
         "\"CLIENTE\".\"NOME\" DESC", "select C.* from CLIENTE C where C.ID > 0 order by C.NOME DESC"},
        {"an existing sort clause is replaced", "select * from CLIENTE order by NOME", "CLIENTE.CODIGO ASC",
         "select * from CLIENTE order by CLIENTE.CODIGO ASC"},
        {"a column position is used as it stands", "select ID, NOME from CLIENTE", "2 DESC",
         "select ID, NOME from CLIENTE order by 2 DESC"},
        {"an unqualified column takes the table name", "select * from CLIENTE", "CODIGO",
         "select * from CLIENTE order by CLIENTE.CODIGO"},
        {"several entries in order", "select C.* from CLIENTE C", "\"CLIENTE\".\"NOME\";1 DESC",
         "select C.* from CLIENTE C order by C.NOME, 1 DESC"},
        {"reserved words after the table are no alias",
         "select N.*, C.NOME from NFSE_RPS N left join CLIENTE C on C.CNPJ_CPF = N.PRE_CPFCNPJPRESTADOR",
         "\"CLIENTE\".\"NOME\"",
         "select N.*, C.NOME from NFSE_RPS N left join CLIENTE C on C.CNPJ_CPF = N.PRE_CPFCNPJPRESTADOR order by "
         "C.NOME"},
        {"a table without alias keeps its name", "select * from CLIENTE where ID > 0", "\"CLIENTE\".\"NOME\"",
         "select * from CLIENTE where ID > 0 order by CLIENTE.NOME"},
        {"line breaks and lower case in the select", "select *\nfrom cliente c\nwhere c.ID > 0\nORDER BY c.ID",
         "\"CLIENTE\".\"NOME\" DESC", "select *\nfrom cliente c\nwhere c.ID > 0 order by c.NOME DESC"},
    };
    for (const SortCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TCmDataSet::RewriteOrderBy(c.Select, c.OrderByFields), c.Expected);
    }
}

// A copy of the program's database with a few customers, and a dataset over CLIENTE.
class CmDataSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_transaction.SetParams({"read_committed", "rec_version", "nowait"});
        m_database.SetDefaultTransaction(&m_transaction);
        m_database.SetDatabaseName(tests::CopySchemaDatabase());
        m_database.Open();
        for (int id = 40; id <= 45; ++id) {
            Exec("insert into CLIENTE (ID, CODIGO, NOME) values (?, ?, ?)",
                 {SqlValue::Integer(id), SqlValue::Text("000000" + std::to_string(id)),
                  SqlValue::Text("Cliente " + std::to_string(id))});
        }
        Exec("insert into CLIENTE (ID, CODIGO, NOME) values (50, null, 'Sem código')");
        m_transaction.CommitRetaining();

        m_clientes.SetDatabase(&m_database);
        m_clientes.SetTransaction(&m_transaction);
        m_clientes.SetSelectSQL("select * from CLIENTE order by ID");
        m_clientes.SetInsertSQL("insert into CLIENTE (ID, CODIGO, NOME) values (:ID, :CODIGO, :NOME)");
        m_clientes.SetModifySQL("update CLIENTE set ID = :ID, CODIGO = :CODIGO, NOME = :NOME where ID = :OLD_ID");
        m_clientes.SetDeleteSQL("delete from CLIENTE where ID = :OLD_ID");
        m_clientes.SetRefreshSQL("select * from CLIENTE where ID = :ID");
    }

    void Exec(const std::string& sql, const std::vector<SqlValue>& values = {})
    {
        TCmIBSQL statement(&m_database, &m_transaction);
        statement.SetSQL(sql);
        for (size_t i = 0; i < values.size(); ++i) {
            statement.Params(static_cast<int>(i)).Value = values[i];
        }
        statement.ExecQuery();
    }

    std::string Value(const std::string& sql)
    {
        TCmIBSQL statement(&m_database, &m_transaction);
        statement.SetSQL(sql);
        statement.ExecQuery();
        return statement.Eof()                   ? "<eof>"
            : statement.Fields(0).Value.IsNull() ? "<null>"
                                                 : statement.Fields(0).Value.AsString();
    }

    TCmDatabase m_database;
    TCmTransaction m_transaction;
    TCmDataSet m_clientes {"CLIENTE"};
};

} // namespace

TEST_F(CmDataSetTest, ReturnsToTheRecordItStoodOnAfterCloseAndReopen)
{
    m_clientes.OpenShared();
    m_clientes.LocateID(42);
    ASSERT_EQ(m_clientes.FieldByName("NOME").AsString(), "Cliente 42");
    m_clientes.CloseShared();
    EXPECT_FALSE(m_clientes.Active());
    EXPECT_EQ(m_clientes.CurrentID(), 42);

    m_clientes.SetIDToFind(m_clientes.LastCloseID());
    m_clientes.OpenShared();
    EXPECT_EQ(m_clientes.CurrentID(), 42);
    EXPECT_EQ(m_clientes.RecNo(), 3);
    EXPECT_EQ(m_clientes.IDToFind(), -1);

    // Another sort keeps the record too: the windows reopen and find it by ID.
    m_clientes.Close();
    m_clientes.SetOrderByFields("\"CLIENTE\".\"NOME\" DESC");
    m_clientes.Open();
    m_clientes.LocateID(m_clientes.LastCloseID());
    EXPECT_EQ(m_clientes.FieldByName("NOME").AsString(), "Cliente 42");
    EXPECT_EQ(m_clientes.SelectSQL(), "select * from CLIENTE order by CLIENTE.NOME DESC");
    m_clientes.First();
    EXPECT_EQ(m_clientes.FieldByName("ID").AsInteger(), 50);
}

TEST_F(CmDataSetTest, SharedOpenStaysOpenUntilTheLastClose)
{
    m_clientes.OpenShared();
    m_clientes.OpenShared();
    m_clientes.CloseShared();
    EXPECT_TRUE(m_clientes.Active());
    m_clientes.CloseShared();
    EXPECT_FALSE(m_clientes.Active());
    EXPECT_FALSE(m_clientes.Prepared());
}

TEST_F(CmDataSetTest, CancellingTheFirstInsertIntoAnEmptySetLeavesItEmpty)
{
    m_clientes.SetSelectSQL("select * from CLIENTE where ID < 0");
    m_clientes.Open();
    framework::DataSetModel model(&m_clientes);
    ASSERT_TRUE(m_clientes.IsEmpty());

    m_clientes.Insert();
    m_clientes.FieldByName("NOME").SetAsString("Rascunho");
    EXPECT_EQ(model.rowCount(), 1);
    m_clientes.Cancel();

    EXPECT_EQ(m_clientes.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(m_clientes.IsEmpty());
    EXPECT_TRUE(m_clientes.Eof());
    EXPECT_TRUE(m_clientes.Bof());
    EXPECT_EQ(m_clientes.CurrentID(), -1);
    EXPECT_TRUE(m_clientes.FieldByName("NOME").IsNull());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(Value("select count(*) from CLIENTE where NOME = 'Rascunho'"), "0");
}

TEST_F(CmDataSetTest, InsertEditDeleteAndCancelReachTheTable)
{
    m_clientes.Open();
    m_clientes.Last();
    m_clientes.Append();
    m_clientes.FieldByName("ID").SetAsInteger(60);
    m_clientes.FieldByName("CODIGO").SetAsString("00000060");
    m_clientes.FieldByName("NOME").SetAsString("Olhos-d'Água Comércio");
    m_clientes.Post();
    EXPECT_EQ(Value("select NOME from CLIENTE where ID = 60"), "Olhos-d'Água Comércio");
    EXPECT_EQ(m_clientes.RecordCount(), 8);

    // A change of the key itself: the stored row is found by its old ID.
    m_clientes.Edit();
    m_clientes.FieldByName("ID").SetAsInteger(61);
    EXPECT_EQ(m_clientes.FieldByName("ID").OldValue().AsInteger(), 60);
    m_clientes.Post();
    EXPECT_EQ(Value("select count(*) from CLIENTE where ID = 60"), "0");
    EXPECT_EQ(Value("select NOME from CLIENTE where ID = 61"), "Olhos-d'Água Comércio");

    m_clientes.Edit();
    m_clientes.FieldByName("NOME").SetAsString("Desistido");
    m_clientes.Cancel();
    EXPECT_EQ(m_clientes.FieldByName("NOME").AsString(), "Olhos-d'Água Comércio");

    m_clientes.LocateID(43);
    m_clientes.Delete();
    EXPECT_EQ(Value("select count(*) from CLIENTE where ID = 43"), "0");
    EXPECT_EQ(m_clientes.RecordCount(), 7);
    EXPECT_EQ(m_clientes.CurrentID(), 44);

    EXPECT_THROW(m_clientes.FieldByName("NOME").SetAsString("fora de edição"), DatabaseError);
}

TEST_F(CmDataSetTest, AFailedPostKeepsTheRecordInEdit)
{
    m_clientes.Open();
    m_clientes.Append();
    m_clientes.FieldByName("ID").SetAsInteger(41); // the primary key is taken
    m_clientes.FieldByName("NOME").SetAsString("Repetido");
    EXPECT_THROW(m_clientes.Post(), DatabaseError);
    EXPECT_EQ(m_clientes.State(), TDataSetState::dsInsert);
    EXPECT_EQ(m_clientes.FieldByName("NOME").AsString(), "Repetido");
    m_clientes.Cancel();
    EXPECT_EQ(m_clientes.RecordCount(), 7);
}

struct DuplicateCase
{
    const char* Name;
    int EditID; // 0: a new record
    const char* Codigo;
    bool Expected;
};

TEST_F(CmDataSetTest, HasDuplicateFindsOtherRowsWithTheKeyButNeverTheRowItself)
{
    const DuplicateCase cases[] = {
        {"a stored record is not its own duplicate", 42, nullptr, false},
        {"a new record with a stored code", 0, "00000042", true},
        {"blanks around the code are ignored", 0, " 00000042 ", true},
        {"a new record with a new code", 0, "00000099", false},
        {"a stored record given another's code", 42, "00000043", true},
        {"an empty code matches a stored null code", 0, "", true},
        {"the only row with a null code is not its own duplicate", 50, nullptr, false},
        {"a quote in the code is only a character", 0, "d'Água' or 1=1 --", false},
    };
    m_clientes.SetUniqueKeys({"CODIGO"});
    m_clientes.Open();
    for (const DuplicateCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.EditID == 0) {
            m_clientes.Append();
        } else {
            m_clientes.LocateID(c.EditID);
            m_clientes.Edit();
        }
        if (c.Codigo) {
            m_clientes.FieldByName("CODIGO").SetAsString(c.Codigo);
        }
        EXPECT_EQ(m_clientes.HasDuplicate(), c.Expected);
        m_clientes.Cancel();
    }
    // Browsing a stored record counts the same way.
    m_clientes.LocateID(44);
    EXPECT_FALSE(m_clientes.HasDuplicate());
}

TEST_F(CmDataSetTest, HasDuplicateChecksEveryKeyAndNeedsOne)
{
    m_clientes.Open();
    EXPECT_THROW(
        {
            try {
                m_clientes.HasDuplicate();
            } catch (const DatabaseError& error) {
                EXPECT_STREQ(error.what(), "UniqueKeys not assigned (ChavesÚnicas não atribuidas)");
                throw;
            }
        },
        DatabaseError);

    // Two keys joined by OR, each of two columns joined by AND; empty columns as null.
    m_clientes.SetUniqueKeys({"CODIGO;NOME", "NOME;CNPJ_CPF"});
    m_clientes.Append();
    m_clientes.FieldByName("CODIGO").SetAsString("00000099");
    m_clientes.FieldByName("NOME").SetAsString("Cliente 41");
    EXPECT_TRUE(m_clientes.HasDuplicate()); // NOME matches and CNPJ_CPF is null on both
    m_clientes.FieldByName("CNPJ_CPF").SetAsString("123");
    EXPECT_FALSE(m_clientes.HasDuplicate());
}

TEST_F(CmDataSetTest, UniqueKeysDerivedFromTheCatalogueLeaveThePrimaryKeyOut)
{
    m_clientes.SetUniqueKeys({"X"});
    m_clientes.DeriveUniqueKeys();
    EXPECT_EQ(m_clientes.UniqueKeys(), std::vector<std::string>({"CODIGO"}));

    Exec("create unique index CLIENTE_DOC on CLIENTE (CNPJ_CPF, IE_RG)");
    m_transaction.Commit();
    TCmDataSet clientes("cliente");
    clientes.SetDatabase(&m_database);
    clientes.DeriveUniqueKeys();
    EXPECT_EQ(clientes.UniqueKeys(), std::vector<std::string>({"CODIGO", "CNPJ_CPF;IE_RG"}));
    EXPECT_FALSE(m_transaction.InTransaction());
}

TEST_F(CmDataSetTest, SelectParametersSurviveTheSortRewriteAndFollowTheMaster)
{
    m_clientes.SetSelectSQL("select * from CLIENTE where ID >= :MINIMO");
    m_clientes.ParamByName("MINIMO").Value = SqlValue::Integer(44);
    m_clientes.SetOrderByFields("CLIENTE.ID DESC");
    m_clientes.Open();
    ASSERT_EQ(m_clientes.RecordCount(), 3);
    EXPECT_EQ(m_clientes.CurrentID(), 50);

    TCmDataSet detalhe("DETALHE");
    detalhe.SetDatabase(&m_database);
    detalhe.SetSelectSQL("select ID, NOME from CLIENTE where ID = :ID");
    detalhe.SetDataSource(&m_clientes);
    detalhe.Open();
    EXPECT_EQ(detalhe.FieldByName("NOME").AsString(), "Sem código");
    m_clientes.Next();
    EXPECT_EQ(detalhe.FieldByName("NOME").AsString(), "Cliente 45");
}

TEST_F(CmDataSetTest, FieldsKnowTheirOriginTypeAndDisplay)
{
    m_clientes.SetSelectSQL(
        "select C.ID, C.NOME, C.DESATIVACAO_DATA, C.ID * 1.5 as METADE from CLIENTE C order by C.ID");
    m_clientes.InitFields();
    TField& id = m_clientes.FieldByName("ID");
    EXPECT_EQ(id.DataType(), TFieldType::ftInteger);
    EXPECT_EQ(id.Origin(), "\"CLIENTE\".\"ID\"");
    EXPECT_EQ(m_clientes.FieldByName("NOME").DataType(), TFieldType::ftString);
    EXPECT_EQ(m_clientes.FieldByName("NOME").Size(), 50);
    EXPECT_EQ(m_clientes.FieldByName("DESATIVACAO_DATA").DataType(), TFieldType::ftDate);
    EXPECT_EQ(m_clientes.FieldByName("METADE").Origin(), "");
    EXPECT_TRUE(m_clientes.HasColumn("metade"));
    EXPECT_FALSE(m_clientes.HasColumn("CODIGO"));

    // Display settings made before the first open live on through reopening.
    m_clientes.FieldByName("METADE").SetDisplayFormat("#,##0.00");
    m_clientes.FieldByName("NOME").SetDisplayLabel("Razão social");
    TField& status = m_clientes.AddCalculatedField("calcSTATUS", TFieldType::ftInteger);
    m_clientes.OnCalcFields = [](TCmDataSet& dataSet) {
        dataSet.FieldByName("calcSTATUS").SetAsInteger(dataSet.FieldByName("ID").AsInteger() % 2 ? 3 : 1);
    };
    m_clientes.Open();
    m_clientes.Close();
    m_clientes.Open();
    m_clientes.Locate("ID", {SqlValue::Integer(45)});
    EXPECT_EQ(m_clientes.FieldByName("METADE").DisplayText(), "67,50");
    EXPECT_EQ(status.AsInteger(), 3);
    EXPECT_EQ(&m_clientes.FieldByName("calcSTATUS"), &status);

    m_clientes.FieldByName("DESATIVACAO_DATA").SetVisible(false);
    framework::DataSetModel model(&m_clientes);
    ASSERT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Razão social"));
    EXPECT_EQ(model.rowCount(), 7);
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("60,00"));
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), QStringLiteral("1"));
    EXPECT_EQ(model.data(model.index(1, 3)).toString(), QStringLiteral("3"));
}

TEST_F(CmDataSetTest, LocateMatchesCaseAndPrefixOnRequest)
{
    m_clientes.Open();
    EXPECT_FALSE(m_clientes.Locate("NOME", {SqlValue::Text("cliente 44")}));
    EXPECT_TRUE(m_clientes.Locate("NOME", {SqlValue::Text("cliente 44")},
                                  static_cast<unsigned>(TLocateOption::loCaseInsensitive)));
    EXPECT_EQ(m_clientes.CurrentID(), 44);
    EXPECT_TRUE(m_clientes.Locate("CODIGO;NOME", {SqlValue(), SqlValue::Text("Sem")},
                                  static_cast<unsigned>(TLocateOption::loPartialKey)));
    EXPECT_EQ(m_clientes.CurrentID(), 50);
    const TBookmark mark = m_clientes.GetBookmark();
    m_clientes.First();
    m_clientes.GotoBookmark(mark);
    EXPECT_EQ(m_clientes.CurrentID(), 50);
}

TEST_F(CmDataSetTest, RegistersWithTheSessionWhileItLives)
{
    TCmSQLGlobals globals;
    {
        TCmDataSet dataSet("X");
        dataSet.SetSQLGlobals(&globals);
        ASSERT_EQ(globals.DataSetCount(), 1);
        EXPECT_EQ(globals.DataSets(0), &dataSet);
        EXPECT_EQ(dataSet.TableName(), "X");
    }
    EXPECT_EQ(globals.DataSetCount(), 0);
}

TEST_F(CmDataSetTest, ControllerMovesDatasetsIntoItsTransactionAndBack)
{
    TCmTransaction janela;
    janela.SetDefaultDatabase(&m_database);
    janela.SetParams({"read_committed", "rec_version", "nowait"});
    TCmTransaction outra;
    outra.SetDefaultDatabase(&m_database);
    TCmDataSet lista("LISTA");
    lista.SetDatabase(&m_database);
    lista.SetTransaction(&outra);
    lista.SetSelectSQL("select * from CLIENTE");
    // Another window keeps CLIENTE open.
    m_clientes.OpenShared();

    TCmControllerDataSets controller;
    controller.SetTransaction(&janela);
    controller.AddDataSets({&m_clientes, &lista});
    janela.StartTransaction();
    controller.OpenAll();
    EXPECT_EQ(m_clientes.Transaction(), &janela);
    EXPECT_EQ(lista.Transaction(), &janela);
    EXPECT_TRUE(lista.Active());
    EXPECT_EQ(m_clientes.SharedCount(), 2);

    controller.CloseAll();
    EXPECT_TRUE(m_clientes.Active());
    EXPECT_EQ(m_clientes.Transaction(), &m_transaction);
    EXPECT_EQ(m_clientes.RecordCount(), 7);
    EXPECT_FALSE(lista.Active());
    EXPECT_EQ(lista.Transaction(), &outra);
}

TEST_F(CmDataSetTest, ProcedureLiteralsAndTextsKeepQuotesAsCharacters)
{
    TCmIBSQL sql(&m_database, &m_transaction);
    sql.ExecProcedureLiteral("SETPARAMS", {"", "joao", "13", "CIDADE", "2026", "12", "Olhos-d'Água"});
    EXPECT_EQ(Value("select VALOR from PARAMETROS where PARAMETRO = 'CIDADE'"), "Olhos-d'Água");

    sql.ExecText(
        "update CLIENTE set NOME = " + FormatValueSql("x'; delete from CLIENTE; --", framework::LiteralKind::Text) +
        " where ID = " + FormatValueSql("42", framework::LiteralKind::Integer));
    EXPECT_EQ(Value("select NOME from CLIENTE where ID = 42"), "x'; delete from CLIENTE; --");
    EXPECT_EQ(Value("select count(*) from CLIENTE"), "7");
}

TEST_F(CmDataSetTest, ModelFollowsReopeningEditsAndTheEndOfItsDataset)
{
    auto dataSet = std::make_unique<TCmDataSet>("CLIENTE");
    dataSet->SetDatabase(&m_database);
    dataSet->SetSelectSQL("select ID, NOME from CLIENTE where ID <= :ULTIMO order by ID");
    dataSet->SetModifySQL("update CLIENTE set NOME = :NOME where ID = :OLD_ID");
    dataSet->ParamByName("ULTIMO").Value = SqlValue::Integer(41);
    framework::DataSetModel model(dataSet.get());
    EXPECT_EQ(model.rowCount(), 0);
    dataSet->Open();
    EXPECT_EQ(model.rowCount(), 2);

    int changedRow = -1;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& topLeft, const QModelIndex&) { changedRow = topLeft.row(); });
    dataSet->Next();
    dataSet->Edit();
    dataSet->FieldByName("NOME").SetAsString("Renomeado");
    EXPECT_EQ(changedRow, 1);
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("Renomeado"));
    dataSet->Post();

    // Controls disabled: nothing is told until they are enabled again, then everything once.
    dataSet->DisableControls();
    dataSet->Close();
    dataSet->ParamByName("ULTIMO").Value = SqlValue::Integer(45);
    dataSet->Open();
    EXPECT_EQ(model.rowCount(), 2);
    dataSet->EnableControls();
    EXPECT_EQ(model.rowCount(), 6);

    dataSet.reset();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.DataSet(), nullptr);
}

TEST_F(CmDataSetTest, DataSourceTellsItsControlsWhileEnabledAndEditsOnRequest)
{
    std::vector<std::string> told;
    TCmDataSource source;
    source.OnDataChange = [&](TCmDataSource&, const TField* field) {
        told.push_back(field ? "data " + field->FieldName() : std::string("data"));
    };
    source.OnStateChange = [&](TCmDataSource& s) {
        told.push_back(s.State() == TDataSetState::dsEdit ? "state edit" : "state");
    };
    source.SetDataSet(&m_clientes);
    m_clientes.Open();
    told.clear();

    source.Edit();
    EXPECT_EQ(m_clientes.State(), TDataSetState::dsEdit);
    m_clientes.FieldByName("NOME").SetAsString("Outro");
    EXPECT_EQ(told, std::vector<std::string>({"state edit", "data NOME"}));
    m_clientes.Cancel();

    told.clear();
    source.SetEnabled(false);
    m_clientes.Next();
    source.SetAutoEdit(false);
    source.SetEnabled(true);
    source.Edit();
    EXPECT_EQ(m_clientes.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(told, std::vector<std::string>({"data", "state"}));
}
