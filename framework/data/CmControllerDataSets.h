#pragma once

#include <cstddef>
#include <vector>

class TCmDataSet;
class TCmTransaction;

// Moves a group of framework datasets into one transaction while a window works with them,
// and gives each back the transaction it had when it was registered.
class TCmControllerDataSets
{
public:
    TCmControllerDataSets() = default;
    TCmControllerDataSets(const TCmControllerDataSets&) = delete;
    TCmControllerDataSets& operator=(const TCmControllerDataSets&) = delete;

    // Starting it is the owner's business, before OpenAll.
    TCmTransaction* Transaction() const { return m_Transaction; }
    void SetTransaction(TCmTransaction* transaction) { m_Transaction = transaction; }

    // Each dataset with the transaction it has now.
    void AddDataSets(const std::vector<TCmDataSet*>& dataSets);
    int Count() const { return static_cast<int>(m_entries.size()); }
    TCmDataSet* DataSets(int index) const { return m_entries.at(static_cast<size_t>(index)).DataSet; }

    // Every dataset reopened (shared) in the controller's transaction.
    void OpenAll();
    // Every dataset closed (shared); one another user keeps open is reopened in its own
    // transaction, the others get it back closed.
    void CloseAll();

private:
    struct Entry
    {
        TCmDataSet* DataSet = nullptr;
        TCmTransaction* Transaction = nullptr;
    };
    void DisableControls();
    void EnableControls();

    TCmTransaction* m_Transaction = nullptr;
    std::vector<Entry> m_entries;
};
