#pragma once

#include "framework/data/FirebirdHandles.h"

#include <string>
#include <vector>

class TCmDatabase;
namespace framework {
class SqlStatement;
}

// How a transaction ends when its owner does not say (a database closing, a dataset's default).
enum class TTransactionAction
{
    TARollback,
    TACommit,
    TARollbackRetaining,
    TACommitRetaining,
};

// What an automatic stop does; kept for the datasets that stop transactions on their own.
enum class TAutoStopAction
{
    saNone,
    saRollback,
    saCommit,
    saRollbackRetaining,
    saCommitRetaining,
};

// A Firebird transaction on one database, started with a parameter block written as the
// names "read_committed", "rec_version", "nowait", … (see SetParams).
class TCmTransaction
{
public:
    explicit TCmTransaction(std::string name = {});
    ~TCmTransaction();
    TCmTransaction(const TCmTransaction&) = delete;
    TCmTransaction& operator=(const TCmTransaction&) = delete;

    const std::string& Name() const { return m_Name; }
    void SetName(std::string name) { m_Name = std::move(name); }

    // One name per entry: concurrency, consistency, read_committed, rec_version, no_rec_version,
    // wait, nowait, read, write, no_auto_undo, autocommit, ignore_limbo, restart_requests,
    // lock_timeout=N, lock_read=TABLE, lock_write=TABLE (an "isc_tpb_" prefix is accepted).
    // Empty: the server's default (concurrency, wait, write).
    const std::vector<std::string>& Params() const { return m_Params; }
    void SetParams(std::vector<std::string> params);

    TCmDatabase* DefaultDatabase() const { return m_DefaultDatabase; }
    void SetDefaultDatabase(TCmDatabase* database);

    TTransactionAction DefaultAction() const { return m_DefaultAction; }
    void SetDefaultAction(TTransactionAction action) { m_DefaultAction = action; }
    TAutoStopAction AutoStopAction() const { return m_AutoStopAction; }
    void SetAutoStopAction(TAutoStopAction action) { m_AutoStopAction = action; }

    bool InTransaction() const { return m_handle != nullptr; }
    bool Active() const { return InTransaction(); }
    // true starts; false rolls back.
    void SetActive(bool active);

    void StartTransaction();
    void Commit();
    void Rollback();
    // End the work but keep the transaction and its open cursors.
    void CommitRetaining();
    void RollbackRetaining();
    // Ends an active transaction by its default action (a retaining action ends it for good).
    void EndByDefaultAction();

    // For the layer's statements.
    Firebird::ITransaction* Handle() const;
    void AddCursor(framework::SqlStatement* statement);
    void RemoveCursor(framework::SqlStatement* statement);

private:
    friend class TCmDatabase;
    void DatabaseGone();
    void CloseCursors();
    std::vector<unsigned char> BuildParameterBlock() const;

    std::string m_Name;
    std::vector<std::string> m_Params;
    TCmDatabase* m_DefaultDatabase = nullptr;
    TTransactionAction m_DefaultAction = TTransactionAction::TACommit;
    TAutoStopAction m_AutoStopAction = TAutoStopAction::saNone;
    framework::fb::TransactionPtr m_handle;
    std::vector<framework::SqlStatement*> m_cursors;
};
