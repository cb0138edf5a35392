#pragma once

#include <QDialog>

#include <memory>
#include <string>

class QTableView;
class TClsDBDataModule;
class TCmDataSet;
class TCmTransaction;

namespace framework {
class DataSetModel;
}

// The user-log entries of one record (recordId > 0) or of every record of a screen, newest
// first, read in a transaction of its own that is rolled back when the dialog closes.
class TClsLogHistory : public QDialog
{
    Q_OBJECT

public:
    TClsLogHistory(TClsDBDataModule& module, std::string formName, int recordId, QWidget* parent = nullptr);
    ~TClsLogHistory() override;

    TCmDataSet& DataSet() const { return *m_dataSet; }
    TCmTransaction& Transaction() const { return *m_transaction; }

    // A stored description as it is read: no leading "|", every other "|" a line break.
    static std::string DisplayLog(const std::string& log);

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void OpenLog();
    void CloseLog();

    TClsDBDataModule& m_module;
    std::string m_formName;
    int m_recordId;
    // The dataset goes before the transaction it reads in.
    std::unique_ptr<TCmTransaction> m_transaction;
    std::unique_ptr<TCmDataSet> m_dataSet;
    QTableView* m_grid;
    framework::DataSetModel* m_model;
};
