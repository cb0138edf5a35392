#pragma once

#include "framework/data/CmDataSet.h"

#include <functional>

// What a window's controls hang on: one dataset, told to them as data and state changes while
// the source is enabled. The dataset must outlive the source or be taken from it first.
class TCmDataSource : private TCmDataLink
{
public:
    explicit TCmDataSource(TCmDataSet* dataSet = nullptr);
    ~TCmDataSource() override;
    TCmDataSource(const TCmDataSource&) = delete;
    TCmDataSource& operator=(const TCmDataSource&) = delete;

    TCmDataSet* DataSet() const { return m_DataSet; }
    void SetDataSet(TCmDataSet* dataSet);
    bool Enabled() const { return m_Enabled; }
    void SetEnabled(bool enabled);
    // A control typing into the record puts a browsing dataset into edit first.
    bool AutoEdit() const { return m_AutoEdit; }
    void SetAutoEdit(bool autoEdit) { m_AutoEdit = autoEdit; }

    // Inactive without a dataset.
    TDataSetState State() const;
    // What a control calls before changing a field: edit when allowed and browsing.
    void Edit();

    // Field: the one whose value changed, none when the record moved or everything changed.
    std::function<void(TCmDataSource&, const TField*)> OnDataChange;
    std::function<void(TCmDataSource&)> OnStateChange;

private:
    void DataSetChanged() override;
    void RecordChanged(const TField* field) override;
    void DataSetScrolled() override;
    void StateChanged() override;
    void DataSetGone() override;

    TCmDataSet* m_DataSet = nullptr;
    bool m_Enabled = true;
    bool m_AutoEdit = true;
};
