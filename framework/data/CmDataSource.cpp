#include "framework/data/CmDataSource.h"

TCmDataSource::TCmDataSource(TCmDataSet* dataSet)
{
    SetDataSet(dataSet);
}

TCmDataSource::~TCmDataSource()
{
    if (m_DataSet) {
        m_DataSet->RemoveDataLink(this);
    }
}

void TCmDataSource::SetDataSet(TCmDataSet* dataSet)
{
    if (dataSet == m_DataSet) {
        return;
    }
    if (m_DataSet) {
        m_DataSet->RemoveDataLink(this);
    }
    m_DataSet = dataSet;
    if (m_DataSet) {
        m_DataSet->AddDataLink(this);
    }
    DataSetChanged();
    StateChanged();
}

void TCmDataSource::SetEnabled(bool enabled)
{
    if (enabled == m_Enabled) {
        return;
    }
    m_Enabled = enabled;
    DataSetChanged();
    StateChanged();
}

TDataSetState TCmDataSource::State() const
{
    return m_DataSet && m_Enabled ? m_DataSet->State() : TDataSetState::dsInactive;
}

void TCmDataSource::Edit()
{
    if (m_AutoEdit && State() == TDataSetState::dsBrowse) {
        m_DataSet->Edit();
    }
}

void TCmDataSource::DataSetChanged()
{
    if (m_Enabled && OnDataChange) {
        OnDataChange(*this, nullptr);
    }
}

void TCmDataSource::RecordChanged(const TField* field)
{
    if (m_Enabled && OnDataChange) {
        OnDataChange(*this, field);
    }
}

void TCmDataSource::DataSetScrolled()
{
    DataSetChanged();
}

void TCmDataSource::StateChanged()
{
    if (m_Enabled && OnStateChange) {
        OnStateChange(*this);
    }
}

void TCmDataSource::DataSetGone()
{
    m_DataSet = nullptr;
    DataSetChanged();
    StateChanged();
}
