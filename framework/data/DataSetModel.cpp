#include "framework/data/DataSetModel.h"

namespace framework {

DataSetModel::DataSetModel(TCmDataSet* dataSet, QObject* parent)
    : QAbstractTableModel(parent)
    , m_dataSet(dataSet)
{
    if (m_dataSet) {
        m_dataSet->AddDataLink(this);
    }
    RebuildColumns();
}

DataSetModel::~DataSetModel()
{
    if (m_dataSet) {
        m_dataSet->RemoveDataLink(this);
    }
}

void DataSetModel::DataSetGone()
{
    beginResetModel();
    m_dataSet = nullptr;
    RebuildColumns();
    endResetModel();
}

void DataSetModel::RebuildColumns()
{
    m_columns.clear();
    if (!m_dataSet) {
        m_rows = 0;
        return;
    }
    for (int i = 0; i < m_dataSet->FieldCount(); ++i) {
        if (m_dataSet->Fields(i).Visible()) {
            m_columns.push_back(i);
        }
    }
    m_rows = m_dataSet->Active() ? m_dataSet->RecordCount() : 0;
}

TField* DataSetModel::ColumnField(int column) const
{
    if (!m_dataSet || column < 0 || column >= static_cast<int>(m_columns.size()) ||
        m_columns[static_cast<size_t>(column)] >= m_dataSet->FieldCount()) {
        return nullptr;
    }
    return &m_dataSet->Fields(m_columns[static_cast<size_t>(column)]);
}

int DataSetModel::CurrentRow() const
{
    return m_dataSet && m_dataSet->Active() ? m_dataSet->RecNo() - 1 : -1;
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    const TField* field = ColumnField(index.column());
    if (!field || !index.isValid() || index.row() >= m_dataSet->RecordCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(m_dataSet->DisplayTextAt(index.row(), field->Index()));
    }
    if (role == Qt::TextAlignmentRole && field->IsNumeric()) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const TField* field = ColumnField(section);
    return field ? QVariant(QString::fromStdString(field->DisplayLabel())) : QVariant();
}

void DataSetModel::DataSetChanged()
{
    beginResetModel();
    RebuildColumns();
    endResetModel();
}

void DataSetModel::RecordChanged(const TField* field)
{
    (void)field;
    const int row = CurrentRow();
    if (row >= 0 && row < m_rows && !m_columns.empty()) {
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

} // namespace framework
