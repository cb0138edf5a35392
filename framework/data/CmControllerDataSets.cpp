#include "framework/data/CmControllerDataSets.h"

#include "framework/data/CmDataSet.h"

void TCmControllerDataSets::AddDataSets(const std::vector<TCmDataSet*>& dataSets)
{
    for (TCmDataSet* dataSet : dataSets) {
        if (dataSet) {
            m_entries.push_back({dataSet, dataSet->Transaction()});
        }
    }
}

void TCmControllerDataSets::DisableControls()
{
    for (const Entry& entry : m_entries) {
        entry.DataSet->DisableControls();
    }
}

void TCmControllerDataSets::EnableControls()
{
    for (const Entry& entry : m_entries) {
        entry.DataSet->EnableControls();
    }
}

void TCmControllerDataSets::OpenAll()
{
    DisableControls();
    try {
        for (const Entry& entry : m_entries) {
            if (entry.DataSet->Active()) {
                entry.DataSet->Close();
            }
            entry.DataSet->SetTransaction(m_Transaction);
            entry.DataSet->OpenShared();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TCmControllerDataSets::CloseAll()
{
    DisableControls();
    try {
        for (const Entry& entry : m_entries) {
            entry.DataSet->CloseShared();
            if (entry.DataSet->Active()) {
                entry.DataSet->Close();
                entry.DataSet->SetTransaction(entry.Transaction);
                entry.DataSet->Open();
            } else {
                entry.DataSet->SetTransaction(entry.Transaction);
            }
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}
