#pragma once

#include "framework/data/CmDataSet.h"

#include <QAbstractTableModel>

#include <vector>

namespace framework {

// A dataset as a Qt table: one column per visible field (in field order, titled with the
// display label), one row per buffered record, cells in the field's display text. It follows
// the dataset through its data link and never moves the current record itself; a dataset
// destroyed first leaves it empty.
class DataSetModel : public QAbstractTableModel, private TCmDataLink
{
public:
    explicit DataSetModel(TCmDataSet* dataSet, QObject* parent = nullptr);
    ~DataSetModel() override;
    DataSetModel(const DataSetModel&) = delete;
    DataSetModel& operator=(const DataSetModel&) = delete;

    TCmDataSet* DataSet() const { return m_dataSet; }
    // The field shown in a column, or none.
    TField* ColumnField(int column) const;
    // The row of the current record, -1 without one.
    int CurrentRow() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void DataSetChanged() override;
    void RecordChanged(const TField* field) override;
    void DataSetScrolled() override { }
    void DataSetGone() override;
    void RebuildColumns();

    TCmDataSet* m_dataSet;
    std::vector<int> m_columns; // field index of each column
    int m_rows = 0;
};

} // namespace framework
