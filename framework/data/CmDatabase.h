#pragma once

#include "framework/data/FirebirdHandles.h"
#include "framework/data/SqlTrace.h"

#include <functional>
#include <string>
#include <vector>

class TCmTransaction;
namespace framework {
class SqlStatement;
}

// One connection to a Firebird database. A name without a host ("/data/x.fdb") opens the file
// with the embedded engine; "host:path" or "host/port:path" goes through a Firebird server.
// Texts cross the boundary as cp1252: the database's character set is NONE and holds the bytes.
class TCmDatabase
{
public:
    explicit TCmDatabase(std::string name = {});
    ~TCmDatabase();
    TCmDatabase(const TCmDatabase&) = delete;
    TCmDatabase& operator=(const TCmDatabase&) = delete;

    // The component's own name, shown in trace texts ("dbMain").
    const std::string& Name() const { return m_Name; }
    void SetName(std::string name) { m_Name = std::move(name); }

    const std::string& DatabaseName() const { return m_DatabaseName; }
    void SetDatabaseName(std::string name);

    // Connection: "name=value" entries (user_name, password, lc_ctype, sql_role_name,
    // num_buffers, sql_dialect, force_write; an "isc_dpb_" prefix is accepted). Creation: the clauses of the
    // CREATE DATABASE statement, one per entry (USER 'SYSDBA', PAGE_SIZE 4096, …).
    const std::vector<std::string>& Params() const { return m_Params; }
    void SetParams(std::vector<std::string> params);

    int SQLDialect() const { return m_SQLDialect; }
    void SetSQLDialect(int dialect) { m_SQLDialect = dialect; }
    bool LoginPrompt() const { return m_LoginPrompt; }
    void SetLoginPrompt(bool prompt) { m_LoginPrompt = prompt; }

    TCmTransaction* DefaultTransaction() const { return m_DefaultTransaction; }
    void SetDefaultTransaction(TCmTransaction* transaction);

    bool Connected() const { return m_handle != nullptr; }
    void SetConnected(bool connected);
    void Open();
    // Ends every active transaction by its default action, closes the statements and detaches.
    void Close();
    // Creates the file (dialect SQLDialect, the clauses of Params) and stays connected to it.
    void CreateDatabase();
    // Drops the connected database; the connection ends with it.
    void DropDatabase();

    // The transactions linked to this database, in the order they were linked.
    int AddTransaction(TCmTransaction* transaction);
    void RemoveTransaction(TCmTransaction* transaction);
    int TransactionCount() const { return static_cast<int>(m_transactions.size()); }
    TCmTransaction* Transactions(int index) const;
    int FindTransaction(const TCmTransaction* transaction) const;

    // The user names of every attachment to this database, this one included.
    std::vector<std::string> UserNames();

    framework::TraceFlags TraceFlags() const { return m_TraceFlags; }
    void SetTraceFlags(framework::TraceFlags flags) { m_TraceFlags = flags; }
    void Trace(framework::TraceCategory category, const std::function<std::string()>& text) const;

    // For the layer's statements and transactions.
    Firebird::IAttachment* Handle() const;
    void AddStatement(framework::SqlStatement* statement);
    void RemoveStatement(framework::SqlStatement* statement);

private:
    std::vector<unsigned char> BuildConnectBlock() const;
    void Attach(framework::fb::AttachmentPtr attachment);
    void EndTransactions(bool rollbackOnly);
    void ReleaseDependants();

    std::string m_Name;
    std::string m_DatabaseName;
    std::vector<std::string> m_Params;
    int m_SQLDialect = 3;
    bool m_LoginPrompt = false;
    TCmTransaction* m_DefaultTransaction = nullptr;
    framework::TraceFlags m_TraceFlags = framework::kTraceNone;
    framework::fb::AttachmentPtr m_handle;
    std::vector<TCmTransaction*> m_transactions;
    std::vector<framework::SqlStatement*> m_statements;
};
