#include "framework/data/CmDatabase.h"

#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/SqlStatement.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <utility>

using framework::DatabaseError;
using framework::TraceCategory;
namespace fb = framework::fb;

namespace {

std::string Lower(std::string_view text)
{
    std::string result(platform::Trim(text));
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string QuoteLiteral(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

} // namespace

TCmDatabase::TCmDatabase(std::string name)
    : m_Name(std::move(name))
{ }

TCmDatabase::~TCmDatabase()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the handle's deleter has let go of the attachment.
    }
    ReleaseDependants();
}

void TCmDatabase::SetDatabaseName(std::string name)
{
    if (Connected() && name != m_DatabaseName) {
        throw DatabaseError("Não é possível trocar o nome de um banco de dados conectado.");
    }
    m_DatabaseName = std::move(name);
}

void TCmDatabase::SetParams(std::vector<std::string> params)
{
    m_Params = std::move(params);
}

void TCmDatabase::SetDefaultTransaction(TCmTransaction* transaction)
{
    m_DefaultTransaction = transaction;
    if (transaction) {
        AddTransaction(transaction);
    }
}

void TCmDatabase::SetConnected(bool connected)
{
    if (connected && !Connected()) {
        Open();
    } else if (!connected && Connected()) {
        Close();
    }
}

std::vector<unsigned char> TCmDatabase::BuildConnectBlock() const
{
    fb::Status status;
    fb::XpbBuilderPtr dpb = fb::NewXpb(Firebird::IXpbBuilder::DPB);
    bool hasUser = false;
    for (const std::string& entry : m_Params) {
        if (platform::Trim(entry).empty()) {
            continue;
        }
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            throw DatabaseError("Parâmetro de conexão sem valor: " + entry);
        }
        std::string name = Lower(entry.substr(0, equals));
        const std::string value(platform::Trim(entry.substr(equals + 1)));
        if (name.rfind("isc_dpb_", 0) == 0) {
            name.erase(0, 8);
        }
        if (name == "user_name") {
            dpb->insertString(&status, isc_dpb_user_name, value.c_str());
            hasUser = true;
        } else if (name == "password") {
            dpb->insertString(&status, isc_dpb_password, value.c_str());
        } else if (name == "lc_ctype") {
            dpb->insertString(&status, isc_dpb_lc_ctype, value.c_str());
        } else if (name == "sql_role_name") {
            dpb->insertString(&status, isc_dpb_sql_role_name, value.c_str());
        } else if (name == "num_buffers") {
            dpb->insertInt(&status, isc_dpb_num_buffers, std::stoi(value));
        } else if (name == "force_write") {
            dpb->insertInt(&status, isc_dpb_force_write, std::stoi(value));
        } else if (name == "sql_dialect") {
            dpb->insertInt(&status, isc_dpb_sql_dialect, std::stoi(value));
        } else {
            throw DatabaseError("Parâmetro de conexão desconhecido: " + entry);
        }
    }
    // Every connection of the system is the administrator's; the embedded engine checks no password.
    if (!hasUser) {
        dpb->insertString(&status, isc_dpb_user_name, "SYSDBA");
    }
    const unsigned char* buffer = dpb->getBuffer(&status);
    return {buffer, buffer + dpb->getBufferLength(&status)};
}

void TCmDatabase::Open()
{
    if (Connected()) {
        return;
    }
    if (platform::Trim(m_DatabaseName).empty()) {
        throw DatabaseError("Nome do banco de dados não informado.");
    }
    const std::vector<unsigned char> dpb = BuildConnectBlock();
    try {
        fb::Status status;
        fb::ProviderPtr provider = fb::Dispatcher();
        Attach(fb::AttachmentPtr(
            provider->attachDatabase(&status, m_DatabaseName.c_str(), static_cast<unsigned>(dpb.size()), dpb.data())));
    } catch (const DatabaseError& error) {
        Trace(TraceCategory::Error, [&] { return m_Name + ": [Connect] " + m_DatabaseName + "\r\n" + error.what(); });
        throw;
    }
}

void TCmDatabase::CreateDatabase()
{
    if (Connected()) {
        throw DatabaseError("O banco de dados " + m_DatabaseName + " já está conectado.");
    }
    std::string statement = "CREATE DATABASE " + QuoteLiteral(m_DatabaseName);
    for (const std::string& clause : m_Params) {
        statement += ' ';
        statement += clause;
    }
    fb::Status status;
    FB_BOOLEAN isCreate = 0;
    Attach(fb::AttachmentPtr(fb::Util()->executeCreateDatabase(&status, static_cast<unsigned>(statement.size()),
                                                               statement.c_str(), static_cast<unsigned>(m_SQLDialect),
                                                               &isCreate)));
}

void TCmDatabase::Attach(fb::AttachmentPtr attachment)
{
    m_handle = std::move(attachment);
    fb::Attached();
    Trace(TraceCategory::Connect, [&] { return m_Name + ": [Connect] " + m_DatabaseName; });
}

void TCmDatabase::EndTransactions(bool rollbackOnly)
{
    for (TCmTransaction* transaction : std::vector<TCmTransaction*>(m_transactions)) {
        if (!transaction->InTransaction()) {
            continue;
        }
        try {
            if (rollbackOnly) {
                transaction->Rollback();
            } else {
                transaction->EndByDefaultAction();
            }
        } catch (const DatabaseError&) {
            // A commit the server refused leaves the transaction open; it must not keep the
            // connection alive, so it is rolled back.
            if (transaction->InTransaction()) {
                transaction->Rollback();
            }
        }
    }
    for (framework::SqlStatement* statement : std::vector<framework::SqlStatement*>(m_statements)) {
        statement->Unprepare();
    }
}

void TCmDatabase::Close()
{
    if (!Connected()) {
        return;
    }
    EndTransactions(false);
    Trace(TraceCategory::Connect, [&] { return m_Name + ": [Disconnect]"; });
    fb::AttachmentPtr handle = std::move(m_handle);
    fb::Status status;
    handle->detach(&status);
    // Detached: the client freed the handle.
    (void)handle.release();
}

void TCmDatabase::DropDatabase()
{
    if (!Connected()) {
        throw DatabaseError("Banco de dados não conectado.");
    }
    EndTransactions(true);
    fb::AttachmentPtr handle = std::move(m_handle);
    fb::Status status;
    handle->dropDatabase(&status);
    (void)handle.release();
    Trace(TraceCategory::Connect, [&] { return m_Name + ": [Drop database] " + m_DatabaseName; });
}

int TCmDatabase::AddTransaction(TCmTransaction* transaction)
{
    const int found = FindTransaction(transaction);
    if (found >= 0) {
        return found;
    }
    m_transactions.push_back(transaction);
    if (!transaction->DefaultDatabase()) {
        transaction->SetDefaultDatabase(this);
    }
    return static_cast<int>(m_transactions.size()) - 1;
}

void TCmDatabase::RemoveTransaction(TCmTransaction* transaction)
{
    if (FindTransaction(transaction) < 0) {
        return;
    }
    std::erase(m_transactions, transaction);
    if (m_DefaultTransaction == transaction) {
        m_DefaultTransaction = nullptr;
    }
    if (transaction->DefaultDatabase() == this) {
        if (transaction->InTransaction()) {
            transaction->Rollback();
        }
        transaction->m_DefaultDatabase = nullptr;
    }
}

TCmTransaction* TCmDatabase::Transactions(int index) const
{
    if (index < 0 || index >= TransactionCount()) {
        throw DatabaseError("Índice de transação fora dos limites: " + std::to_string(index));
    }
    return m_transactions[static_cast<size_t>(index)];
}

int TCmDatabase::FindTransaction(const TCmTransaction* transaction) const
{
    const auto found = std::find(m_transactions.begin(), m_transactions.end(), transaction);
    return found == m_transactions.end() ? -1 : static_cast<int>(found - m_transactions.begin());
}

std::vector<std::string> TCmDatabase::UserNames()
{
    const unsigned char items[] = {isc_info_user_names, isc_info_end};
    std::vector<unsigned char> buffer(8192);
    fb::Status status;
    Handle()->getInfo(&status, sizeof(items), items, static_cast<unsigned>(buffer.size()), buffer.data());
    std::vector<std::string> names;
    size_t at = 0;
    while (at < buffer.size() && buffer[at] != isc_info_end) {
        const unsigned char item = buffer[at++];
        if (at + 2 > buffer.size()) {
            break;
        }
        const size_t length = buffer[at] | (buffer[at + 1] << 8);
        at += 2;
        if (item == isc_info_user_names && length > 0 && at + length <= buffer.size()) {
            const size_t nameLength = std::min<size_t>(buffer[at], length - 1);
            names.emplace_back(reinterpret_cast<const char*>(&buffer[at + 1]), nameLength);
        } else if (item == isc_info_truncated) {
            break;
        }
        at += length;
    }
    return names;
}

void TCmDatabase::Trace(TraceCategory category, const std::function<std::string()>& text) const
{
    if ((m_TraceFlags & static_cast<framework::TraceFlags>(category)) != 0) {
        framework::SqlTrace::Emit(category, text);
    }
}

Firebird::IAttachment* TCmDatabase::Handle() const
{
    if (!m_handle) {
        throw DatabaseError("Banco de dados não conectado.");
    }
    return m_handle.get();
}

void TCmDatabase::AddStatement(framework::SqlStatement* statement)
{
    if (std::find(m_statements.begin(), m_statements.end(), statement) == m_statements.end()) {
        m_statements.push_back(statement);
    }
}

void TCmDatabase::RemoveStatement(framework::SqlStatement* statement)
{
    std::erase(m_statements, statement);
}

void TCmDatabase::ReleaseDependants()
{
    for (TCmTransaction* transaction : std::vector<TCmTransaction*>(m_transactions)) {
        transaction->DatabaseGone();
    }
    m_transactions.clear();
    for (framework::SqlStatement* statement : std::vector<framework::SqlStatement*>(m_statements)) {
        statement->DatabaseGone();
    }
    m_statements.clear();
}
