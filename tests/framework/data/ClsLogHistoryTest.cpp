#include "framework/data/ClsLogHistory.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmDataSet.h"
#include "framework/data/CmTransaction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>

#include <gtest/gtest.h>

using framework::SqlValue;
using namespace Qt::StringLiterals;

namespace {

// What the grid shows, column by column in the order the user sees them.
std::vector<std::vector<std::string>> GridRows(const QTableView& grid)
{
    const QAbstractItemModel& model = *grid.model();
    const QHeaderView& header = *grid.horizontalHeader();
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        std::vector<std::string> cells;
        for (int visual = 0; visual < model.columnCount(); ++visual) {
            cells.push_back(model.data(model.index(row, header.logicalIndex(visual))).toString().toStdString());
        }
        rows.push_back(cells);
    }
    return rows;
}

} // namespace

TEST(TClsLogHistory, ShowsARecordsEntriesNewestFirstAndRollsBackOnClose)
{
    const std::string path = tests::CopySchemaDatabase();
    TClsDBDataModule module(nullptr, tests::TempDir());
    ASSERT_TRUE(module.ConnectDatabase(path));
    module.CmSQLGlobals().SetUsuarioID(1);
    struct Entry
    {
        int RecordId;
        const char* Form;
        const char* Log;
        const char* Date;
        const char* Time;
    };
    // Written in an order that is none of the orders the history could wrongly use.
    const Entry entries[] = {
        {7, "frmClientes", "Registro Inserido|Nome:Ana.", "2026-01-02", "10:00:00"},
        {7, "frmClientes", "Modificado:|Nome:Ana>>Bia|Obs:>>x.", "2026-01-03", "09:00:00"},
        {7, "frmClientes", "Modificado:|Obs:x>>y.", "2026-01-02", "11:30:00"},
        {8, "frmClientes", "Registro Inserido|Nome:Caio.", "2026-01-04", "08:00:00"},
        {7, "frmEmissor", "Modificado:|Razão:A>>B.", "2026-01-05", "08:00:00"},
    };
    {
        tests::DatabaseSession db(path);
        for (const Entry& e : entries) {
            module.WriteUserLog(nullptr, "Cadastro de Clientes - (02/01/2026)", e.RecordId, e.Log, e.Form);
            db.Exec("update USUARIO_LOG set DATA = ?, HORA = ? where LOG = ?",
                    {SqlValue::Text(e.Date), SqlValue::Text(e.Time), SqlValue::Text(e.Log)});
        }
        db.Commit();
    }

    TClsLogHistory dialog(module, "frmClientes", 7);
    EXPECT_EQ(u"Histórico do Registro"_s, dialog.windowTitle());
    dialog.show();
    EXPECT_TRUE(dialog.Transaction().InTransaction());
    const auto* grid = dialog.findChild<QTableView*>(u"grdLog"_s);
    ASSERT_NE(nullptr, grid);
    EXPECT_EQ(
        (std::vector<std::vector<std::string>> {
            {"03/01/2026", "09:00:00", "Administrador Sistema", "Cadastro de Clientes",
             "Modificado:\nNome:Ana>>Bia\nObs:>>x."},
            {"02/01/2026", "11:30:00", "Administrador Sistema", "Cadastro de Clientes", "Modificado:\nObs:x>>y."},
            {"02/01/2026", "10:00:00", "Administrador Sistema", "Cadastro de Clientes", "Registro Inserido\nNome:Ana."},
        }),
        GridRows(*grid));
    EXPECT_EQ("Modificado:\nNome:Ana>>Bia\nObs:>>x.", [&] {
        dialog.DataSet().First();
        return dialog.DataSet().FieldByName("calcLOG").AsString();
    }());

    dialog.accept();
    EXPECT_FALSE(dialog.DataSet().Active());
    EXPECT_FALSE(dialog.Transaction().InTransaction());
}

TEST(TClsLogHistory, WithoutARecordShowsTheWholeScreen)
{
    const std::string path = tests::CopySchemaDatabase();
    TClsDBDataModule module(nullptr, tests::TempDir());
    ASSERT_TRUE(module.ConnectDatabase(path));
    module.CmSQLGlobals().SetUsuarioID(1);
    module.WriteUserLog(nullptr, "Clientes", 7, "primeiro", "frmClientes");
    module.WriteUserLog(nullptr, "Clientes", 0, "segundo", "frmClientes");
    module.WriteUserLog(nullptr, "Clientes", 8, "terceiro", "frmClientes");
    module.WriteUserLog(nullptr, "Emissor", 7, "outra tela", "frmEmissor");

    TClsLogHistory dialog(module, "frmClientes", 0);
    dialog.show();
    std::vector<std::string> logs;
    for (TCmDataSet& log = dialog.DataSet(); !log.Eof(); log.Next()) {
        logs.push_back(log.FieldByName("LOG").AsString());
    }
    // Written within the same second: the order of writing decides.
    EXPECT_EQ((std::vector<std::string> {"terceiro", "segundo", "primeiro"}), logs);
    dialog.reject();
    EXPECT_FALSE(dialog.Transaction().InTransaction());
}
