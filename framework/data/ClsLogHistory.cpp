#include "framework/data/ClsLogHistory.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmDataSet.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DataSetModel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {

// Columns in the order the user reads an entry: when, who, where, what.
const char* const kColumns[] = {"DATA", "HORA", "NOME_COMPLETO", "TELA", "LOG"};

} // namespace

TClsLogHistory::TClsLogHistory(TClsDBDataModule& module, std::string formName, int recordId, QWidget* parent)
    : QDialog(parent)
    , m_module(module)
    , m_formName(std::move(formName))
    , m_recordId(recordId)
    , m_transaction(std::make_unique<TCmTransaction>("trLogHistory"))
    , m_dataSet(std::make_unique<TCmDataSet>("USUARIO_LOG"))
{
    setObjectName(u"ClsLogHistory"_s);
    setWindowTitle(u"Histórico do Registro"_s);
    resize(760, 420);

    m_transaction->SetParams({"read_committed", "rec_version", "nowait"});
    m_transaction->SetDefaultAction(TTransactionAction::TARollbackRetaining);
    m_transaction->SetDefaultDatabase(&m_module.dbMain());

    m_dataSet->SetDatabase(&m_module.dbMain());
    m_dataSet->SetTransaction(m_transaction.get());
    std::string sql = "select UL.*, U.PRIMEIRO_NOME, U.ULTIMO_NOME from USUARIO_LOG UL  left outer join USUARIO U on "
                      "( U.ID = UL.USUARIOID )  where FORMNAME = :FORMNAME ";
    if (m_recordId > 0) {
        sql += " and TABLEID = :TABLEID ";
    }
    // Entries written within the same second keep the order they were written in.
    sql += " order by UL.DATA desc, UL.HORA desc, UL.ID desc";
    m_dataSet->SetSelectSQL(sql);
    m_dataSet->AddCalculatedField("NOME_COMPLETO", TFieldType::ftString);
    m_dataSet->AddCalculatedField("calcLOG", TFieldType::ftString);
    m_dataSet->OnCalcFields = [](TCmDataSet& dataSet) {
        dataSet.FieldByName("NOME_COMPLETO")
            .SetAsString(dataSet.FieldByName("PRIMEIRO_NOME").AsString() + " " +
                         dataSet.FieldByName("ULTIMO_NOME").AsString());
        dataSet.FieldByName("calcLOG").SetAsString(DisplayLog(dataSet.FieldByName("LOG").AsString()));
    };

    m_grid = new QTableView(this);
    m_grid->setObjectName(u"grdLog"_s);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(true);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_model = new framework::DataSetModel(m_dataSet.get(), this);
    m_grid->setModel(m_model);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName(u"btnOK"_s);
    buttons->button(QDialogButtonBox::Ok)->setText(u"OK"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid);
    layout->addWidget(buttons);
}

TClsLogHistory::~TClsLogHistory()
{
    CloseLog();
}

std::string TClsLogHistory::DisplayLog(const std::string& log)
{
    std::string text = log.starts_with('|') ? log.substr(1) : log;
    for (char& c : text) {
        if (c == '|') {
            c = '\n';
        }
    }
    return text;
}

void TClsLogHistory::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_dataSet->Active()) {
        // A window's handlers catch for themselves: the event loop must not see the error.
        try {
            OpenLog();
        } catch (...) {
            m_module.HandleException(std::current_exception());
        }
    }
}

void TClsLogHistory::OpenLog()
{
    if (!m_transaction->InTransaction()) {
        m_transaction->StartTransaction();
    }
    m_dataSet->InitFields();
    for (int i = 0; i < m_dataSet->FieldCount(); ++i) {
        TField& field = m_dataSet->Fields(i);
        field.SetVisible(std::find(std::begin(kColumns), std::end(kColumns), field.FieldName()) != std::end(kColumns));
    }
    m_dataSet->FieldByName("DATA").SetDisplayLabel("Data");
    m_dataSet->FieldByName("HORA").SetDisplayLabel("Hora");
    m_dataSet->FieldByName("NOME_COMPLETO").SetDisplayLabel("Usuário");
    m_dataSet->FieldByName("TELA").SetDisplayLabel("Tela");
    m_dataSet->FieldByName("LOG").SetDisplayLabel("Descrição");
    m_dataSet->FieldByName("LOG").OnGetText = [](const TField& field) { return DisplayLog(field.AsString()); };

    m_dataSet->ParamByName("FORMNAME").Value = framework::SqlValue::Text(m_formName);
    if (m_recordId > 0) {
        m_dataSet->ParamByName("TABLEID").Value = framework::SqlValue::Integer(m_recordId);
    }
    m_dataSet->Open();

    QHeaderView* header = m_grid->horizontalHeader();
    for (int wanted = 0; wanted < static_cast<int>(std::size(kColumns)); ++wanted) {
        for (int column = 0; column < m_model->columnCount(); ++column) {
            if (m_model->ColumnField(column)->FieldName() == kColumns[wanted]) {
                header->moveSection(header->visualIndex(column), wanted);
            }
        }
    }
    m_grid->resizeColumnsToContents();
    m_grid->resizeRowsToContents();
}

void TClsLogHistory::CloseLog()
{
    try {
        m_dataSet->Close();
        if (m_transaction->InTransaction()) {
            m_transaction->Rollback();
        }
    } catch (const std::exception&) {
        // Only reading was done: nothing is lost when the end of it fails.
    }
}

void TClsLogHistory::done(int result)
{
    CloseLog();
    QDialog::done(result);
}
