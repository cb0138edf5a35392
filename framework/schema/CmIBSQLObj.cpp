#include "framework/schema/CmIBSQLObj.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/SqlStatement.h"
#include "platform/Cp1252.h"
#include "platform/TextRules.h"

#include <fstream>
#include <iterator>
#include <sstream>

using framework::DatabaseError;
using framework::SqlStatement;
using framework::SqlStatementType;

namespace {

const char* const kParseError = "Unable to parse script";
const char* const kNoConnection = "No active connection";

std::string Trimmed(std::string_view text)
{
    return std::string(platform::Trim(text));
}

std::string Upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// 1-based position of the first occurrence, 0 when absent.
size_t Pos(std::string_view needle, std::string_view text)
{
    const size_t at = text.find(needle);
    return at == std::string_view::npos ? 0 : at + 1;
}

std::vector<std::string> Words(std::string_view text)
{
    std::vector<std::string> words;
    std::istringstream stream {std::string(text)};
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

bool IsBreak(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A name in quotes at the start of text: it ends at the matching quote that is followed by a
// blank, a line break or the end, so a path may hold the quote character itself.
bool ReadQuotedName(std::string_view text, std::string& name, std::string& rest)
{
    if (text.empty() || (text[0] != '\'' && text[0] != '"')) {
        return false;
    }
    const char quote = text[0];
    for (size_t at = 1; at < text.size(); ++at) {
        if (text[at] == quote && (at + 1 == text.size() || IsBreak(text[at + 1]))) {
            name = std::string(text.substr(1, at - 1));
            rest = std::string(text.substr(at + 1));
            return true;
        }
    }
    return false;
}

std::string Unquote(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Statements are only prepared in this transaction, never run: read-only and read committed,
// its commit costs the server no write (a script of five thousand inserts commits it five
// thousand times).
std::unique_ptr<TCmTransaction> NewPrepareTransaction(TCmDatabase& database)
{
    auto transaction = std::make_unique<TCmTransaction>("PrepareTrans");
    transaction->SetParams({"read", "read_committed", "rec_version", "nowait"});
    transaction->SetDefaultDatabase(&database);
    return transaction;
}

} // namespace

EISQLException::EISQLException(TEISQLExceptionCode code, const std::string& message, std::string text, int32_t sqlCode,
                               int64_t ibErrorCode)
    : DatabaseError(sqlCode, ibErrorCode, message)
    , m_ExceptionCode(code)
    , m_Text(std::move(text))
{ }

// The transactions one run works with: the ordinary one, the DDL one (possibly the same) and
// the one it prepares statements in, which it owns.
struct TCmIBSQLObj::Run
{
    TCmTransaction* Default = nullptr;
    TCmTransaction* DDL = nullptr;
    std::unique_ptr<TCmTransaction> Prepare;
};

TCmIBSQLObj::TCmIBSQLObj() = default;

TCmIBSQLObj::~TCmIBSQLObj()
{
    // The database may be someone else's and outlive us: take our transactions off its list.
    m_ownTransactions.clear();
}

std::vector<std::string> TCmIBSQLObj::SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> TCmIBSQLObj::SplitStatements(const std::vector<std::string>& lines,
                                                      const std::string& terminator)
{
    std::vector<std::string> result;
    std::string pending;
    std::string term = terminator;
    size_t i = 0;
    const size_t n = lines.size();
    while (i < n) {
        const std::string& line = lines[i++];
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty()) {
            continue;
        }
        if (trimmed == "*/") {
            if (!result.empty()) {
                result.back() += line;
            }
            continue;
        }
        if (StartsWith(trimmed, "/*")) {
            // A comment closed on its own line is dropped with whatever follows it there.
            if (line.find("*/") == std::string::npos) {
                const size_t opened = i - 1;
                while (i < n && lines[i].find("*/") == std::string::npos) {
                    ++i;
                }
                if (i >= n) {
                    throw EISQLException(TEISQLExceptionCode::eiParse, kParseError, lines[opened]);
                }
                pending = " " + lines[i].substr(lines[i].find("*/") + 2);
                ++i;
            }
            continue;
        }
        if (StartsWith(Upper(trimmed), "SET TERM")) {
            std::string rest = Trimmed(std::string_view(trimmed).substr(8));
            const size_t at = rest.find(term);
            if (at != std::string::npos) {
                rest.erase(at, term.size());
            }
            term = Trimmed(rest);
            continue;
        }
        const size_t p = Pos(term, trimmed);
        const size_t c = Pos("/*", line);
        std::string text;
        if (EndsWith(trimmed, term) || c > p) {
            std::string statement = trimmed;
            if (p > 0) {
                statement.erase(p - 1, term.size());
            }
            text = Trimmed(pending + " " + statement);
        } else {
            text = pending + " " + line;
            while (i < n) {
                const std::string& next = lines[i++];
                if (platform::Trim(next).empty()) {
                    continue;
                }
                text += "\r\n" + next;
                const size_t q = next.find(term);
                const size_t cc = next.find("/*");
                if (q != std::string::npos && (q + term.size() == next.size() || (cc != std::string::npos && q < cc))) {
                    break;
                }
            }
            const size_t at = text.find(term);
            if (at != std::string::npos) {
                text.erase(at, term.size());
            }
            text = Trimmed(text);
        }
        if (!text.empty()) {
            result.push_back(text);
        }
        pending.clear();
    }
    return result;
}

TCmDatabase& TCmIBSQLObj::EnsureDatabase()
{
    if (!m_Database) {
        m_ownDatabase = std::make_unique<TCmDatabase>("IBSQLObj");
        m_Database = m_ownDatabase.get();
    }
    return *m_Database;
}

void TCmIBSQLObj::ExecuteScript()
{
    m_terminator = ";";
    m_dialect = 3;
    m_charSet = "None";
    std::vector<std::string> statements;
    try {
        statements = SplitStatements(m_Query, m_terminator);
    } catch (const EISQLException& error) {
        throw EISQLException(TEISQLExceptionCode::eiParse, kParseError, error.Text());
    }

    Run run;
    if (m_Database && m_Database->Connected()) {
        run.Default = m_Database->Transactions(m_DefaultTransIDX);
        run.DDL = m_Database->Transactions(m_DDLTransIDX);
        run.Prepare = NewPrepareTransaction(*m_Database);
    }
    for (const std::string& statement : statements) {
        RunStatement(run, statement);
    }
}

void TCmIBSQLObj::RunStatement(Run& run, const std::string& statement)
{
    const std::string upper = Upper(Trimmed(statement));
    for (const char* ignored : {"BLOBDUMP", "EDIT", "EXIT", "HELP", "QUIT", "SHOW "}) {
        if (StartsWith(upper, ignored)) {
            return;
        }
    }
    if (StartsWith(upper, "IN ") || StartsWith(upper, "INPUT")) {
        DoInput(run, statement);
        return;
    }
    for (const char* toolSwitch : {"SET COUNT", "SET ECHO", "SET LIST", "SET PLAN", "SET STATS", "SET TIME"}) {
        if (StartsWith(upper, toolSwitch)) {
            return;
        }
    }
    if (StartsWith(upper, "SET NAMES")) {
        m_charSet = Trimmed(std::string_view(Trimmed(statement)).substr(9));
        return;
    }
    if (StartsWith(upper, "SET SQL DIALECT")) {
        try {
            m_dialect = std::stoi(upper.substr(std::min<size_t>(16, upper.size())));
        } catch (const std::exception&) {
            throw EISQLException(TEISQLExceptionCode::eiStatement, "Invalid SQL dialect", statement);
        }
        if (m_Database) {
            m_Database->SetSQLDialect(m_dialect);
        }
        return;
    }
    if (StartsWith(upper, "SET AUTODDL") || StartsWith(upper, "SET AUTO")) {
        const std::vector<std::string> words = Words(upper);
        m_AutoDDL = !(words.size() > 2 && words[2] == "OFF");
        return;
    }
    if (StartsWith(upper, "DROP DATABASE")) {
        if (!m_Database || !m_Database->Connected()) {
            throw EISQLException(TEISQLExceptionCode::eiConnection, kNoConnection, statement);
        }
        try {
            m_Database->DropDatabase();
        } catch (const DatabaseError& error) {
            throw EISQLException(TEISQLExceptionCode::eiStatement, error.what(), statement, error.SQLCode(),
                                 error.IBErrorCode());
        }
        return;
    }
    if (StartsWith(upper, "CREATE DATABASE")) {
        DoCreateDatabase(run, statement, 15);
        return;
    }
    if (StartsWith(upper, "CREATE SCHEMA")) {
        DoCreateDatabase(run, statement, 13);
        return;
    }
    if (StartsWith(upper, "CONNECT")) {
        DoConnect(run, statement);
        return;
    }

    if (!m_Database || !m_Database->Connected() || !run.Prepare) {
        throw EISQLException(TEISQLExceptionCode::eiConnection, kNoConnection, statement);
    }
    SqlStatement sql(m_Database, run.Prepare.get());
    // Procedure and trigger bodies use ":NAME" for their own variables.
    sql.SetParamCheck(false);
    SqlStatementType kind = SqlStatementType::Unknown;
    try {
        sql.SetSQL(statement);
        kind = sql.StatementType();
        run.Prepare->Commit();
    } catch (const DatabaseError& error) {
        if (run.Prepare->InTransaction()) {
            run.Prepare->Rollback();
        }
        throw EISQLException(TEISQLExceptionCode::eiStatement, error.what(), statement, error.SQLCode(),
                             error.IBErrorCode());
    }

    switch (kind) {
    case SqlStatementType::Commit:
        for (TCmTransaction* transaction : {run.Default, run.DDL}) {
            if (transaction->InTransaction()) {
                transaction->Commit();
            }
        }
        return;
    case SqlStatementType::Rollback:
        for (TCmTransaction* transaction : {run.Default, run.DDL}) {
            if (transaction->InTransaction()) {
                transaction->Rollback();
            }
        }
        return;
    case SqlStatementType::DDL:
    case SqlStatementType::SetGenerator:
        try {
            sql.SetTransaction(run.DDL);
            sql.ExecQuery();
            sql.Close();
            if (m_AutoDDL) {
                run.DDL->Commit();
            }
        } catch (const DatabaseError& error) {
            if (m_AutoDDL && run.DDL->InTransaction()) {
                run.DDL->Rollback();
            }
            throw EISQLException(TEISQLExceptionCode::eiStatement, error.what(), statement, error.SQLCode(),
                                 error.IBErrorCode());
        }
        return;
    default:
        try {
            sql.SetTransaction(run.Default);
            sql.ExecQuery();
            sql.Close();
        } catch (const DatabaseError& error) {
            throw EISQLException(TEISQLExceptionCode::eiStatement, error.what(), statement, error.SQLCode(),
                                 error.IBErrorCode());
        }
        return;
    }
}

void TCmIBSQLObj::DoCreateDatabase(Run& run, const std::string& statement, size_t keywordLength)
{
    std::string name;
    std::string rest;
    if (!ReadQuotedName(platform::TrimLeft(std::string_view(statement).substr(keywordLength)), name, rest)) {
        throw EISQLException(TEISQLExceptionCode::eiConnection, "An error occured parsing CREATE statement.",
                             statement);
    }
    for (char& c : rest) {
        if (c == '"') {
            c = '\'';
        }
    }
    std::vector<std::string> params;
    if (!platform::Trim(rest).empty()) {
        params.push_back(Trimmed(rest));
    }
    Reconnect(run, name, std::move(params), true);
}

void TCmIBSQLObj::DoConnect(Run& run, const std::string& statement)
{
    std::string name;
    std::string rest;
    if (!ReadQuotedName(platform::TrimLeft(std::string_view(statement).substr(7)), name, rest)) {
        throw EISQLException(TEISQLExceptionCode::eiConnection, "An error occured parsing CONNECT statement.",
                             statement);
    }
    std::vector<std::string> params;
    const std::vector<std::string> words = Words(rest);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string option = Upper(words[i]);
        if (i + 1 >= words.size()) {
            throw EISQLException(TEISQLExceptionCode::eiConnection, "An error occured parsing CONNECT statement.",
                                 statement);
        }
        const std::string& value = words[++i];
        if (option == "USER" || option == "USERNAME") {
            params.push_back("USER_NAME=" + Unquote(value));
        } else if (option == "PASS" || option == "PASSWORD") {
            params.push_back("PASSWORD=" + Unquote(value));
        } else if (option == "ROLE") {
            params.push_back("SQL_ROLE_NAME=" + value);
        } else if (option == "CACHE") {
            params.push_back("NUM_BUFFERS=" + Unquote(value));
        } else {
            throw EISQLException(TEISQLExceptionCode::eiConnection, "An error occured parsing CONNECT statement.",
                                 statement);
        }
    }
    if (!m_charSet.empty() && Upper(m_charSet) != "NONE") {
        params.push_back("lc_ctype=" + m_charSet);
    }
    params.push_back("isc_dpb_sql_dialect=" + std::to_string(m_dialect));
    Reconnect(run, name, std::move(params), false);
}

void TCmIBSQLObj::Reconnect(Run& run, const std::string& name, std::vector<std::string> params, bool create)
{
    TCmDatabase& database = EnsureDatabase();
    if (database.Connected()) {
        if (run.Default && run.Default->InTransaction()) {
            throw EISQLException(TEISQLExceptionCode::eiConnection,
                                 "Transaction is active\r\nCommit or Rollback the current transaction", name);
        }
        run.Prepare.reset();
        database.Close();
    }
    run.Prepare.reset();
    try {
        database.SetDatabaseName(name);
        database.SetSQLDialect(m_dialect);
        database.SetParams(std::move(params));
        if (create) {
            database.CreateDatabase();
        } else {
            database.Open();
        }
    } catch (const DatabaseError& error) {
        throw EISQLException(TEISQLExceptionCode::eiConnection, error.what(), name, error.SQLCode(),
                             error.IBErrorCode());
    }
    const std::vector<std::string> params3 = {"read_committed", "rec_version", "nowait"};
    auto ordinary = std::make_unique<TCmTransaction>("DefaultTrans");
    ordinary->SetParams(params3);
    ordinary->SetDefaultDatabase(&database);
    auto ddl = std::make_unique<TCmTransaction>("DDLTrans");
    ddl->SetParams(params3);
    ddl->SetDefaultDatabase(&database);
    m_DefaultTransIDX = database.FindTransaction(ordinary.get());
    m_DDLTransIDX = database.FindTransaction(ddl.get());
    run.Default = ordinary.get();
    run.DDL = ddl.get();
    m_ownTransactions.push_back(std::move(ordinary));
    m_ownTransactions.push_back(std::move(ddl));
    run.Prepare = NewPrepareTransaction(database);
}

void TCmIBSQLObj::DoInput(Run& /*run*/, const std::string& statement)
{
    const std::string trimmed = Trimmed(statement);
    const size_t blank = trimmed.find_first_of(" \t\r\n");
    const std::string fileName = Unquote(blank == std::string::npos ? "" : Trimmed(trimmed.substr(blank + 1)));
    std::ifstream file(fileName, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        throw EISQLException(TEISQLExceptionCode::eiFile, "Não foi possível ler o arquivo " + fileName, fileName);
    }
    TCmIBSQLObj nested;
    nested.SetDatabase(m_Database);
    nested.SetDefaultTransIDX(m_DefaultTransIDX);
    nested.SetDDLTransIDX(m_DDLTransIDX);
    nested.SetAutoDDL(m_AutoDDL);
    // Script files are written in the program's code page, like every file it reads.
    nested.SetQuery(SplitLines(platform::Cp1252ToUtf8Lossy(content)));
    nested.ExecuteScript();
}
