#include "framework/data/CmTransaction.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/DatabaseError.h"
#include "framework/data/SqlStatement.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <cstring>
#include <utility>

using framework::DatabaseError;
using framework::TraceCategory;
namespace fb = framework::fb;

namespace {

struct TpbName
{
    const char* Name;
    unsigned char Tag;
};

constexpr TpbName kTpbTags[] = {
    {"concurrency", isc_tpb_concurrency},
    {"consistency", isc_tpb_consistency},
    {"read_committed", isc_tpb_read_committed},
    {"rec_version", isc_tpb_rec_version},
    {"no_rec_version", isc_tpb_no_rec_version},
    {"wait", isc_tpb_wait},
    {"nowait", isc_tpb_nowait},
    {"read", isc_tpb_read},
    {"write", isc_tpb_write},
    {"no_auto_undo", isc_tpb_no_auto_undo},
    {"autocommit", isc_tpb_autocommit},
    {"ignore_limbo", isc_tpb_ignore_limbo},
    {"restart_requests", isc_tpb_restart_requests},
    {"lock_read", isc_tpb_lock_read},
    {"lock_write", isc_tpb_lock_write},
    {"lock_timeout", isc_tpb_lock_timeout},
};

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

} // namespace

TCmTransaction::TCmTransaction(std::string name)
    : m_Name(std::move(name))
{ }

TCmTransaction::~TCmTransaction()
{
    CloseCursors();
    // An abandoned transaction is rolled back by its handle's deleter.
    m_handle.reset();
    if (m_DefaultDatabase) {
        m_DefaultDatabase->RemoveTransaction(this);
    }
}

void TCmTransaction::SetParams(std::vector<std::string> params)
{
    m_Params = std::move(params);
}

void TCmTransaction::SetDefaultDatabase(TCmDatabase* database)
{
    if (database == m_DefaultDatabase) {
        return;
    }
    if (InTransaction()) {
        throw DatabaseError("Não é possível trocar o banco de dados de uma transação ativa.");
    }
    if (m_DefaultDatabase) {
        m_DefaultDatabase->RemoveTransaction(this);
    }
    m_DefaultDatabase = database;
    if (database) {
        database->AddTransaction(this);
    }
}

void TCmTransaction::SetActive(bool active)
{
    if (active && !InTransaction()) {
        StartTransaction();
    } else if (!active && InTransaction()) {
        Rollback();
    }
}

std::vector<unsigned char> TCmTransaction::BuildParameterBlock() const
{
    if (m_Params.empty()) {
        return {};
    }
    fb::Status status;
    fb::XpbBuilderPtr tpb = fb::NewXpb(Firebird::IXpbBuilder::TPB);
    for (const std::string& entry : m_Params) {
        if (platform::Trim(entry).empty()) {
            continue;
        }
        const size_t equals = entry.find('=');
        std::string name = Lower(entry.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? "" : std::string(platform::Trim(entry.substr(equals + 1)));
        if (name.rfind("isc_tpb_", 0) == 0) {
            name.erase(0, 8);
        }
        const auto* known = std::find_if(std::begin(kTpbTags), std::end(kTpbTags),
                                         [&](const TpbName& tag) { return name == tag.Name; });
        if (known == std::end(kTpbTags)) {
            throw DatabaseError("Parâmetro de transação desconhecido: " + entry);
        }
        if (known->Tag == isc_tpb_lock_timeout) {
            tpb->insertInt(&status, known->Tag, std::stoi(value));
        } else if (known->Tag == isc_tpb_lock_read || known->Tag == isc_tpb_lock_write) {
            tpb->insertString(&status, known->Tag, value.c_str());
        } else {
            tpb->insertTag(&status, known->Tag);
        }
    }
    const unsigned char* buffer = tpb->getBuffer(&status);
    return {buffer, buffer + tpb->getBufferLength(&status)};
}

void TCmTransaction::StartTransaction()
{
    if (InTransaction()) {
        throw DatabaseError("A transação " + m_Name + " já está ativa.");
    }
    if (!m_DefaultDatabase || !m_DefaultDatabase->Connected()) {
        throw DatabaseError("Banco de dados não conectado.");
    }
    const std::vector<unsigned char> tpb = BuildParameterBlock();
    fb::Status status;
    m_handle.reset(m_DefaultDatabase->Handle()->startTransaction(&status, static_cast<unsigned>(tpb.size()),
                                                                 tpb.empty() ? nullptr : tpb.data()));
    m_DefaultDatabase->Trace(TraceCategory::Transaction, [&] { return m_Name + ": [Start transaction]"; });
}

Firebird::ITransaction* TCmTransaction::Handle() const
{
    if (!m_handle) {
        throw DatabaseError("A transação " + m_Name + " não está ativa.");
    }
    return m_handle.get();
}

void TCmTransaction::Commit()
{
    Handle();
    CloseCursors();
    fb::Status status;
    m_handle->commit(&status);
    // A successful commit frees the client's handle.
    (void)m_handle.release();
    if (m_DefaultDatabase) {
        m_DefaultDatabase->Trace(TraceCategory::Transaction, [&] { return m_Name + ": [Commit (Hard commit)]"; });
    }
}

void TCmTransaction::Rollback()
{
    Handle();
    CloseCursors();
    fb::Status status;
    m_handle->rollback(&status);
    (void)m_handle.release();
    if (m_DefaultDatabase) {
        m_DefaultDatabase->Trace(TraceCategory::Transaction, [&] { return m_Name + ": [Rollback]"; });
    }
}

void TCmTransaction::CommitRetaining()
{
    fb::Status status;
    Handle()->commitRetaining(&status);
    if (m_DefaultDatabase) {
        m_DefaultDatabase->Trace(TraceCategory::Transaction, [&] { return m_Name + ": [Commit retaining]"; });
    }
}

void TCmTransaction::RollbackRetaining()
{
    fb::Status status;
    Handle()->rollbackRetaining(&status);
    if (m_DefaultDatabase) {
        m_DefaultDatabase->Trace(TraceCategory::Transaction, [&] { return m_Name + ": [Rollback retaining]"; });
    }
}

void TCmTransaction::EndByDefaultAction()
{
    if (!InTransaction()) {
        return;
    }
    if (m_DefaultAction == TTransactionAction::TACommit || m_DefaultAction == TTransactionAction::TACommitRetaining) {
        Commit();
    } else {
        Rollback();
    }
}

void TCmTransaction::AddCursor(framework::SqlStatement* statement)
{
    if (std::find(m_cursors.begin(), m_cursors.end(), statement) == m_cursors.end()) {
        m_cursors.push_back(statement);
    }
}

void TCmTransaction::RemoveCursor(framework::SqlStatement* statement)
{
    std::erase(m_cursors, statement);
}

void TCmTransaction::CloseCursors()
{
    // Closing removes the statement from the list.
    while (!m_cursors.empty()) {
        m_cursors.back()->Close();
    }
}

void TCmTransaction::DatabaseGone()
{
    CloseCursors();
    m_handle.reset();
    m_DefaultDatabase = nullptr;
}
