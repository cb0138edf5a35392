#include "framework/data/ChangeDescription.h"

#include "framework/data/CmDataSet.h"
#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <functional>

using framework::ChangeKind;
using framework::SqlValue;

namespace {

// One stored item (an empty-text, a NULL and a binary column among them) in a dataset whose
// labels are what a screen would show.
class ChangeDescriptionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string path = tests::CopySchemaDatabase();
        {
            tests::DatabaseSession db(path);
            db.Exec("create table ITEM (ID integer not null primary key, NOME varchar(30), VALOR numeric(15,2), "
                    "ENTREGA date, OBS varchar(20), CODIGO varchar(10), FOTO blob sub_type 0)");
            db.Commit();
            db.Exec("insert into ITEM values (1, 'Ana', 10.5, '2026-12-11', null, '', ?)",
                    {SqlValue::Binary(std::string("\x89PNG\xff\x00", 6))});
            db.Commit();
        }
        m_transaction.SetParams({"read_committed", "rec_version", "nowait"});
        m_database.SetDefaultTransaction(&m_transaction);
        m_database.SetDatabaseName(path);
        m_database.Open();
        m_items.SetDatabase(&m_database);
        m_items.SetSelectSQL("select * from ITEM order by ID");
        m_items.Open();
        m_items.FieldByName("ID").SetVisible(false);
        m_items.FieldByName("NOME").SetDisplayLabel("Nome");
        m_items.FieldByName("VALOR").SetDisplayLabel("Valor");
        m_items.FieldByName("ENTREGA").SetDisplayLabel("Entrega");
        m_items.FieldByName("OBS").SetDisplayLabel("Obs");
        m_items.FieldByName("CODIGO").SetDisplayLabel("Código");
    }

    TCmDatabase m_database;
    TCmTransaction m_transaction;
    TCmDataSet m_items {"ITEM"};
};

struct Case
{
    const char* Name;
    ChangeKind Kind;
    bool Child;
    std::function<void(TCmDataSet&)> Change;
    const char* Expected;
};

TEST_F(ChangeDescriptionTest, DescribesInsertsChangesAndDeletesAsTheLogShowsThem)
{
    auto insert = [](std::function<void(TCmDataSet&)> fill) {
        return [fill](TCmDataSet& items) {
            items.Insert();
            items.FieldByName("ID").SetAsInteger(2);
            fill(items);
        };
    };
    auto edit = [](std::function<void(TCmDataSet&)> change) {
        return [change](TCmDataSet& items) {
            items.Edit();
            change(items);
        };
    };
    auto nothing = [](TCmDataSet&) {};
    const Case cases[] = {
        {"insert lists every visible field it was given", ChangeKind::Insert, false, insert([](TCmDataSet& items) {
             items.FieldByName("NOME").SetAsString("Bia");
             items.FieldByName("VALOR").SetAsString("2,25");
             items.FieldByName("ENTREGA").SetAsString("01/02/2027");
             items.FieldByName("OBS").SetAsString("");
         }),
         "Registro Inserido|Nome:Bia|Valor:2,25|Entrega:01/02/2027."},
        {"insert of a child item", ChangeKind::Insert, true,
         insert([](TCmDataSet& items) { items.FieldByName("NOME").SetAsString("Bia"); }), "Item Inserido:|Nome:Bia."},
        {"insert that gave only hidden or empty fields says nothing", ChangeKind::Insert, false,
         insert([](TCmDataSet& items) { items.FieldByName("CODIGO").SetAsString(""); }), ""},
        {"change lists old and new values of the fields that differ", ChangeKind::Change, false,
         edit([](TCmDataSet& items) {
             items.FieldByName("NOME").SetAsString("Ana Maria");
             items.FieldByName("VALOR").SetAsString("11");
             items.FieldByName("OBS").SetAsString("urgente");
             items.FieldByName("CODIGO").Clear();
         }),
         "Modificado:|Nome:Ana>>Ana Maria|Valor:10,5>>11|Obs:>>urgente."},
        {"change of a child item, a value emptied", ChangeKind::Change, true,
         edit([](TCmDataSet& items) { items.FieldByName("ENTREGA").Clear(); }),
         "Item Modificado:|Entrega:11/12/2026>>."},
        {"change of hidden fields only says nothing", ChangeKind::Change, false, edit([](TCmDataSet& items) {
             items.FieldByName("ID").SetAsInteger(9);
             items.FieldByName("OBS").SetVisible(false);
             items.FieldByName("OBS").SetAsString("escondido");
         }),
         ""},
        {"NULL turned into an empty text is no change", ChangeKind::Change, false,
         edit([](TCmDataSet& items) { items.FieldByName("OBS").SetAsString(""); }), ""},
        {"a changed picture is no readable change", ChangeKind::Change, false,
         edit([](TCmDataSet& items) { items.FieldByName("FOTO").SetValue(SqlValue::Binary("\x01\xfe")); }), ""},
        {"delete lists the stored values that are not empty", ChangeKind::Delete, false, nothing,
         "Excluído:|Nome:Ana|Valor:10,5|Entrega:11/12/2026."},
        {"delete of a child item", ChangeKind::Delete, true,
         [](TCmDataSet& items) { items.FieldByName("VALOR").SetVisible(false); },
         "Item Excluído:|Nome:Ana|Entrega:11/12/2026."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        m_items.First();
        c.Change(m_items);
        EXPECT_EQ(c.Expected, framework::ChangeDescription(m_items, c.Kind, c.Child));
        if (m_items.State() != TDataSetState::dsBrowse) {
            m_items.Cancel();
        }
        for (int i = 0; i < m_items.FieldCount(); ++i) {
            m_items.Fields(i).SetVisible(m_items.Fields(i).FieldName() != "ID");
        }
    }
}

} // namespace
